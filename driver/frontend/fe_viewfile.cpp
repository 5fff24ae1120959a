#include "driver/frontend/fe_viewfile.h"

#include <cstring>

#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "platform/file.h"

namespace {

void (*gLockedHook)() = nullptr;

void PutU16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t GetU16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t GetU32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// A name field: NUL-terminated inside its 64 bytes.
bool GetName(const uint8_t *p, char *out)
{
    const void *nul = std::memchr(p, 0, kRcVwNameSize);
    if (nul == nullptr)
        return false;
    std::memcpy(out, p, kRcVwNameSize);
    return true;
}

void PutName(uint8_t *p, const char *name)
{
    size_t len = strnlen(name, kRcVwNameMax);
    std::memset(p, 0, kRcVwNameSize);
    std::memcpy(p, name, len);
}

std::string PathOf(const std::string &dir, const char *file)
{
    std::string path = dir;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + file;
}

std::string SystemText(int err) { return std::string(" (") + std::strerror(err) + ")"; }

int FileError(rcVwFileError *err, const std::string &what, const std::string &path)
{
    int sys = PlatLastError();
    err->msgId = RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE;
    err->text = "Unable to " + what + " view file " + path + SystemText(sys) + ".";
    return -1;
}

int Damaged(rcVwFileError *err, const std::string &path, const std::string &why)
{
    err->msgId = RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE;
    err->text = "View file " + path + " is damaged: " + why + ".";
    return -1;
}

// A descriptor closed when the holder goes.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    void Reset(int fd)
    {
        Close();
        fd_ = fd;
    }
    bool Close()
    {
        bool ok = fd_ < 0 || PlatFileClose(fd_);
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

// Reads "zorview.def" when it exists. The stamp is taken from the open
// descriptor's file, so that a rename between the stat and the read cannot
// pair one version's stamp with another's contents.
int LoadDef(const std::string &dir, rcVwFileCatalog *catalog, rcVwFileError *err)
{
    std::string path = PathOf(dir, kRcVwDefFile);
    catalog->entries.clear();
    catalog->stamp = PlatFileStamp{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        PlatFileStamp before = PlatFileGetStamp(path.c_str());
        if (before.size < 0) {
            catalog->stamp = before;
            return 0;
        }
        Fd fd(PlatFileOpen(path.c_str(), PLAT_OPEN_READ));
        if (fd.get() < 0) {
            if (!PlatFileExists(path.c_str()))
                continue; // replaced between the stat and the open
            return FileError(err, "open", path);
        }
        std::vector<uint8_t> bytes(kRcVwDefSize + 1);
        int64_t got = PlatFileRead(fd.get(), bytes.data(), bytes.size());
        if (got < 0)
            return FileError(err, "read", path);
        PlatFileStamp after = PlatFileGetStamp(path.c_str());
        if (!(after == before))
            continue; // another writer renamed a new version in: read that one
        std::string why;
        if (!rcVwDecodeCatalog(bytes.data(), static_cast<size_t>(got), &catalog->entries, &why))
            return Damaged(err, path, why);
        catalog->stamp = before;
        return 0;
    }
    err->msgId = RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE;
    err->text = "View file " + path + " keeps changing while it is read.";
    return -1;
}

// Writes the catalogue to a new file in the directory and renames it over
// "zorview.def".
int WriteDef(const std::string &dir, const std::vector<rcViewEntry> &entries, rcVwFileError *err)
{
    std::string path = PathOf(dir, kRcVwDefFile);
    // A new name of this process (the lock keeps other writers out), created
    // with the same permissions as the file it replaces gets.
    std::string temp;
    Fd fd;
    for (unsigned attempt = 0; attempt < 100 && fd.get() < 0; ++attempt) {
        temp = path + "." + std::to_string(PlatProcessId()) + "." + std::to_string(attempt);
        fd.Reset(
            PlatFileOpen(temp.c_str(), PLAT_OPEN_WRITE | PLAT_OPEN_CREATE | PLAT_OPEN_EXCLUSIVE));
    }
    if (fd.get() < 0)
        return FileError(err, "create a temporary file for", path);
    std::vector<uint8_t> bytes = rcVwEncodeCatalog(entries);
    bool ok =
        PlatFileWrite(fd.get(), bytes.data(), bytes.size()) == static_cast<int64_t>(bytes.size()) &&
        PlatFileSync(fd.get());
    ok = fd.Close() && ok;
    if (!ok || !PlatFileRename(temp.c_str(), path.c_str())) {
        int r = FileError(err, "write", path);
        PlatFileDelete(temp.c_str());
        return r;
    }
    return 0;
}

// Appends a record to "zorview.dat"; *offset receives where it starts.
int AppendDat(const std::string &dir, const std::vector<rcViewColumn> &columns,
              const std::string &text, uint32_t *offset, rcVwFileError *err)
{
    std::string path = PathOf(dir, kRcVwDatFile);
    std::vector<uint8_t> record(columns.size() * kRcVwColumnSize + text.size() + 1);
    for (size_t i = 0; i < columns.size(); ++i)
        rcVwEncodeColumn(columns[i], record.data() + i * kRcVwColumnSize);
    std::memcpy(record.data() + columns.size() * kRcVwColumnSize, text.data(), text.size());
    record.back() = 0;

    int raw = PlatFileOpen(path.c_str(), PLAT_OPEN_WRITE);
    if (raw < 0 && !PlatFileExists(path.c_str()))
        raw = PlatFileOpen(path.c_str(), PLAT_OPEN_WRITE | PLAT_OPEN_CREATE | PLAT_OPEN_EXCLUSIVE);
    Fd fd(raw);
    if (fd.get() < 0)
        return FileError(err, "open", path);
    int64_t end = PlatFileSeek(fd.get(), 0, 2);
    if (end < 0)
        return FileError(err, "seek in", path);
    if (end + static_cast<int64_t>(record.size()) > int64_t(UINT32_MAX)) {
        err->msgId = RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE;
        err->text = "View file " + path + " is full.";
        return -1;
    }
    if (PlatFileWrite(fd.get(), record.data(), record.size()) !=
            static_cast<int64_t>(record.size()) ||
        !PlatFileSync(fd.get()))
        return FileError(err, "write", path);
    if (!fd.Close())
        return FileError(err, "close", path);
    *offset = static_cast<uint32_t>(end);
    return 0;
}

// The exclusive lock of one change, on "zorview.lck".
class ChangeLock {
public:
    int Take(const std::string &dir, rcVwFileError *err)
    {
        std::string path = PathOf(dir, kRcVwLockFile);
        int raw = PlatFileOpen(path.c_str(), PLAT_OPEN_READWRITE);
        if (raw < 0)
            raw = PlatFileOpen(path.c_str(), PLAT_OPEN_READWRITE | PLAT_OPEN_CREATE);
        fd_.Reset(raw);
        if (fd_.get() < 0)
            return FileError(err, "open", path);
        if (!PlatFileLockExclusive(fd_.get()))
            return FileError(err, "lock", path);
        return 0;
    }
    ~ChangeLock()
    {
        if (fd_.get() >= 0)
            PlatFileUnlock(fd_.get());
    }

private:
    Fd fd_;
};

int FindEntry(const std::vector<rcViewEntry> &entries, const char *name, bool caseSensitive)
{
    for (size_t i = 0; i < entries.size(); ++i)
        if (rcVwNameEqual(entries[i].name, name, caseSensitive))
            return static_cast<int>(i);
    return -1;
}

} // namespace

bool rcVwNameEqual(const char *a, const char *b, bool caseSensitive)
{
    return rcUtlStrCompare(a, b, caseSensitive ? 1 : 0) == 0;
}

void rcVwFileSetLockedHook(void (*hook)()) { gLockedHook = hook; }

std::vector<uint8_t> rcVwEncodeCatalog(const std::vector<rcViewEntry> &entries)
{
    std::vector<uint8_t> out(kRcVwDefSize, 0);
    size_t count = entries.size() < kRcVwSlots ? entries.size() : kRcVwSlots;
    PutU32(out.data(), 1);
    PutU16(out.data() + 4, static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        uint8_t *p = out.data() + 6 + i * kRcVwEntrySize;
        const rcViewEntry &e = entries[i];
        PutName(p, e.name);
        PutU16(p + 64, e.columnCount);
        PutU16(p + 66, 0);
        PutU32(p + 68, e.offset);
        PutU16(p + 72, e.textLength);
    }
    return out;
}

bool rcVwDecodeCatalog(const uint8_t *bytes, size_t size, std::vector<rcViewEntry> *entries,
                       std::string *why)
{
    entries->clear();
    if (size < 6) {
        *why = "the header is cut short (" + std::to_string(size) + " bytes)";
        return false;
    }
    // The header word is not checked: older writers left other values there.
    uint16_t count = GetU16(bytes + 4);
    if (count > kRcVwSlots) {
        *why = "view count " + std::to_string(count) + " is above " + std::to_string(kRcVwSlots);
        return false;
    }
    if (size < 6 + size_t(count) * kRcVwEntrySize) {
        *why = "it holds fewer entries than its view count " + std::to_string(count);
        return false;
    }
    entries->resize(count);
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t *p = bytes + 6 + size_t(i) * kRcVwEntrySize;
        rcViewEntry &e = (*entries)[i];
        if (!GetName(p, e.name) || e.name[0] == '\0') {
            *why = "entry " + std::to_string(i + 1) + " has no valid name";
            entries->clear();
            return false;
        }
        e.columnCount = GetU16(p + 64);
        e.offset = GetU32(p + 68);
        e.textLength = GetU16(p + 72);
        if (e.textLength == 0) {
            *why = "view " + std::string(e.name) + " has an empty definition";
            entries->clear();
            return false;
        }
    }
    return true;
}

void rcVwEncodeColumn(const rcViewColumn &c, uint8_t *out)
{
    PutName(out, c.name);
    PutU16(out + 64, static_cast<uint16_t>(c.sqlType));
    PutU32(out + 66, c.length);
    PutU32(out + 70, c.precision);
    PutU16(out + 74, static_cast<uint16_t>(c.scale));
    PutU32(out + 76, c.flags);
}

bool rcVwDecodeColumn(const uint8_t *in, rcViewColumn *c, std::string *why)
{
    if (!GetName(in, c->name) || c->name[0] == '\0') {
        *why = "a column record has no valid name";
        return false;
    }
    c->sqlType = static_cast<int16_t>(GetU16(in + 64));
    c->length = GetU32(in + 66);
    c->precision = GetU32(in + 70);
    c->scale = static_cast<int16_t>(GetU16(in + 74));
    c->flags = GetU32(in + 76);
    return true;
}

bool rcVwDecodeRecord(const uint8_t *bytes, size_t size, const rcViewEntry &entry,
                      std::vector<rcViewColumn> *columns, std::string *text, std::string *why)
{
    columns->clear();
    text->clear();
    size_t need = size_t(entry.columnCount) * kRcVwColumnSize + entry.textLength;
    if (size < need || entry.textLength == 0) {
        *why = "the record of view " + std::string(entry.name) + " is cut short";
        return false;
    }
    columns->resize(entry.columnCount);
    for (uint16_t i = 0; i < entry.columnCount; ++i) {
        if (!rcVwDecodeColumn(bytes + size_t(i) * kRcVwColumnSize, &(*columns)[i], why)) {
            columns->clear();
            *why += " in view " + std::string(entry.name);
            return false;
        }
    }
    const char *t =
        reinterpret_cast<const char *>(bytes) + size_t(entry.columnCount) * kRcVwColumnSize;
    size_t len = strnlen(t, entry.textLength);
    if (len != size_t(entry.textLength) - 1 || len == 0) {
        columns->clear();
        *why = "the definition of view " + std::string(entry.name) +
               " does not end where its length says";
        return false;
    }
    text->assign(t, len);
    return true;
}

int rcVwFileLoad(const std::string &dir, rcVwFileCatalog *catalog, rcVwFileError *err)
{
    return LoadDef(dir, catalog, err);
}

bool rcVwFileChanged(const std::string &dir, const rcVwFileCatalog &catalog)
{
    return !(PlatFileGetStamp(PathOf(dir, kRcVwDefFile).c_str()) == catalog.stamp);
}

int rcVwFileReadRecord(const std::string &dir, const rcViewEntry &entry,
                       std::vector<rcViewColumn> *columns, std::string *text, rcVwFileError *err)
{
    std::string path = PathOf(dir, kRcVwDatFile);
    columns->clear();
    text->clear();
    Fd fd(PlatFileOpen(path.c_str(), PLAT_OPEN_READ));
    if (fd.get() < 0) {
        if (!PlatFileExists(path.c_str()))
            return Damaged(err, path,
                           "the file is missing while view " + std::string(entry.name) +
                               " is listed");
        return FileError(err, "open", path);
    }
    int64_t end = PlatFileSeek(fd.get(), 0, 2);
    if (end < 0)
        return FileError(err, "seek in", path);
    uint64_t need = uint64_t(entry.columnCount) * kRcVwColumnSize + entry.textLength;
    if (uint64_t(entry.offset) + need > uint64_t(end))
        return Damaged(err, path,
                       "the record of view " + std::string(entry.name) +
                           " runs past the end of the file");
    std::vector<uint8_t> record(need);
    if (PlatFileSeek(fd.get(), entry.offset, 0) != int64_t(entry.offset))
        return FileError(err, "seek in", path);
    if (PlatFileRead(fd.get(), record.data(), record.size()) != static_cast<int64_t>(need))
        return FileError(err, "read", path);
    std::string why;
    if (!rcVwDecodeRecord(record.data(), record.size(), entry, columns, text, &why))
        return Damaged(err, path, why);
    return 0;
}

int rcVwFileAdd(const std::string &dir, const char *name, const std::vector<rcViewColumn> &columns,
                const std::string &text, bool caseSensitive, rcVwFileCatalog *catalog,
                rcVwFileError *err)
{
    if (name[0] == '\0' || std::strlen(name) > kRcVwNameMax) {
        err->msgId = RC_ENG_INVALID_VIEW_TABLE_NAME;
        err->text = "View names are 1 to " + std::to_string(kRcVwNameMax) + " characters long.";
        return -1;
    }
    if (text.size() + 1 > kRcVwTextMax || text.find('\0') != std::string::npos) {
        err->msgId = RC_MSG_SYNTAX_ERROR;
        err->text =
            "The view definition is longer than " + std::to_string(kRcVwTextMax - 1) + " bytes.";
        return -1;
    }
    if (columns.empty() || columns.size() > UINT16_MAX) {
        err->msgId = RC_ENG_INVALID_VIEW_COLUMN_LIST;
        err->text.clear();
        return -1;
    }
    ChangeLock lock;
    if (lock.Take(dir, err) != 0)
        return -1;
    rcVwFileCatalog current;
    if (LoadDef(dir, &current, err) != 0)
        return -1;
    if (gLockedHook != nullptr)
        gLockedHook();
    if (current.entries.size() + 1 >= kRcVwSlots) {
        err->msgId = RC_ENG_MAXIMUM_VIEW_COUNT_EXCEEDED;
        err->text.clear();
        return -1;
    }
    if (FindEntry(current.entries, name, caseSensitive) >= 0) {
        err->msgId = RC_ENG_VIEW_ALREADY_EXISTS;
        err->text.clear();
        return -1;
    }
    rcViewEntry entry;
    std::memcpy(entry.name, name, std::strlen(name));
    entry.columnCount = static_cast<uint16_t>(columns.size());
    entry.textLength = static_cast<uint16_t>(text.size() + 1);
    if (AppendDat(dir, columns, text, &entry.offset, err) != 0)
        return -1;
    current.entries.push_back(entry);
    if (WriteDef(dir, current.entries, err) != 0)
        return -1;
    current.stamp = PlatFileGetStamp(PathOf(dir, kRcVwDefFile).c_str());
    *catalog = std::move(current);
    return 0;
}

int rcVwFileRemove(const std::string &dir, const char *name, bool caseSensitive,
                   rcVwFileCatalog *catalog, rcVwFileError *err)
{
    ChangeLock lock;
    if (lock.Take(dir, err) != 0)
        return -1;
    rcVwFileCatalog current;
    if (LoadDef(dir, &current, err) != 0)
        return -1;
    if (gLockedHook != nullptr)
        gLockedHook();
    int at = FindEntry(current.entries, name, caseSensitive);
    if (at < 0) {
        err->msgId = RC_ENG_INVALID_VIEW_TABLE_NAME;
        err->text = "View " + std::string(name) + " does not exist.";
        return -1;
    }
    current.entries.erase(current.entries.begin() + at);
    if (WriteDef(dir, current.entries, err) != 0)
        return -1;
    current.stamp = PlatFileGetStamp(PathOf(dir, kRcVwDefFile).c_str());
    *catalog = std::move(current);
    return 0;
}
