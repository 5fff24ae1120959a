#include "driver/frontend/fe_view.h"

#include <cstring>
#include <mutex>
#include <new>

#include "driver/core/rcmsgid.h"
#include "driver/frontend/rcprsunparse.h"
#include "platform/filelock.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace {

constexpr int kDirValueSize = 256; // the setting is read into 255 characters

std::string gTestDirectory;

// The catalogue last read from the definitions file, shared by the
// statements of the process: a statement's own catalogue goes with its
// prepared state, and reading the file again at every prepare cost a point
// query a sixth of its time. It serves while the file's stamp (device,
// inode, size and modification time) is the one it was read with. Never
// freed: it lives as long as the process.
struct SharedCatalog {
    std::mutex mu;
    std::string dir;
    rcVwFileCatalog file;
    bool valid = false;
};

SharedCatalog &Shared()
{
    static SharedCatalog *shared = new SharedCatalog;
    return *shared;
}

bool TableCase(const rcStmt *stmt)
{
    return (stmt->sourceInfo.capabilities & RC_VW_CAP_TABLE_CASE) != 0;
}

int Post(rcStmt *stmt, uint32_t msgId, const std::string &text = std::string())
{
    rcErrPost(rcVwErrors(stmt), msgId, nullptr, 0, text.empty() ? nullptr : text.c_str());
    return -1;
}

int PostFileError(rcStmt *stmt, const rcVwFileError &err)
{
    return Post(stmt, err.msgId, err.text);
}

// The release of the statement's view slot.
void FreeCatalog(rcViewCatalog *views) { delete views; }

rcViewCatalog *Catalog(rcStmt *stmt)
{
    if (stmt->views == nullptr) {
        auto *views = new (std::nothrow) rcViewCatalog;
        if (views == nullptr)
            Post(stmt, RC_MSG_MEMORY_ALLOCATION_ERROR);
        else
            stmt->views.hang(views, &FreeCatalog);
    }
    return stmt->views;
}

// Windows-style settings name directories with backslashes.
std::string AsDirectory(std::string dir)
{
    for (char &c : dir)
        if (c == '\\')
            c = '/';
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

// The last IDENTIFIER child of a TableName or ViewedTableName: the name
// without its qualifier.
const rcParseNode *NameLeaf(const rcParseNode *nameNode)
{
    const rcParseNode *leaf = nullptr;
    if (nameNode == nullptr)
        return nullptr;
    for (const rcParseNode *c = nameNode->child; c != nullptr; c = c->next)
        if (c->id == RC_T_IDENTIFIER)
            leaf = c;
    return leaf;
}

const rcParseNode *ChildOf(const rcParseNode *node, uint16_t id)
{
    for (const rcParseNode *c = node != nullptr ? node->child : nullptr; c != nullptr; c = c->next)
        if (c->id == id)
            return c;
    return nullptr;
}

} // namespace

void rcVwSetTestDirectory(const char *dir) { gTestDirectory = dir != nullptr ? dir : ""; }

int rcVwGetDir(rcStmt *stmt, std::string *dir)
{
    if (!gTestDirectory.empty()) {
        *dir = AsDirectory(gTestDirectory);
        return 0;
    }
    char value[kDirValueSize] = {};
    PlatGetProfileString("ZorviEngineOptions", "ViewFileDirectory", "", value, kDirValueSize,
                         "odbc.ini");
    if (value[0] != '\0') {
        *dir = AsDirectory(value);
        return 0;
    }
    // The qualifier of this system's connections names a server, not a
    // directory: it serves only when it is one.
    const char *qualifier = stmt->conn != nullptr ? stmt->conn->qualifier() : nullptr;
    if (qualifier != nullptr && qualifier[0] != '\0' &&
        PlatIsDirectory(AsDirectory(qualifier).c_str())) {
        *dir = AsDirectory(qualifier);
        return 0;
    }
    // Else the driver's own configuration directory, made when missing.
    *dir = AsDirectory(PlatDirectory(PlatDir::DriveRoot));
    if (!PlatIsDirectory(dir->c_str()) && !PlatMakeDirectories(dir->c_str()))
        return Post(stmt, RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE,
                    "Unable to create the view file directory " + *dir + ".");
    return 0;
}

int rcVwLoadCatalog(rcStmt *stmt)
{
    rcViewCatalog *cat = Catalog(stmt);
    if (cat == nullptr)
        return -1;
    std::string dir;
    if (rcVwGetDir(stmt, &dir) != 0)
        return -1;
    if (cat->loaded && cat->dir == dir && !rcVwFileChanged(dir, cat->file))
        return 0;
    SharedCatalog &shared = Shared();
    std::lock_guard<std::mutex> hold(shared.mu);
    if (shared.valid && shared.dir == dir && !rcVwFileChanged(dir, shared.file)) {
        cat->dir = dir;
        cat->file = shared.file;
    } else {
        rcVwFileError err;
        rcVwFileCatalog file;
        if (rcVwFileLoad(dir, &file, &err) != 0) {
            cat->loaded = false;
            return PostFileError(stmt, err);
        }
        cat->dir = dir;
        cat->file = std::move(file);
        shared.dir = dir;
        shared.file = cat->file;
        shared.valid = true;
    }
    cat->loaded = true;
    if (cat->enumIndex > cat->file.entries.size())
        cat->enumIndex = static_cast<uint16_t>(cat->file.entries.size());
    return 0;
}

int rcVwIsViewName(rcStmt *stmt, const char *name)
{
    if (rcVwLoadCatalog(stmt) != 0)
        return 0;
    for (const rcViewEntry &e : stmt->views->file.entries)
        if (rcVwNameEqual(e.name, name, TableCase(stmt)))
            return 1;
    return 0;
}

int rcVwLookup(rcStmt *stmt, const char *name, uint16_t *columnCount, rcViewEntry *entry)
{
    if (rcVwLoadCatalog(stmt) != 0)
        return -1;
    rcViewCatalog *cat = stmt->views;
    for (const rcViewEntry &e : cat->file.entries) {
        if (!rcVwNameEqual(e.name, name, TableCase(stmt)))
            continue;
        rcVwFileError err;
        cat->columns.clear();
        cat->text.clear();
        cat->current = rcViewEntry{};
        if (rcVwFileReadRecord(cat->dir, e, &cat->columns, &cat->text, &err) != 0)
            return PostFileError(stmt, err);
        cat->current = e;
        if (columnCount != nullptr)
            *columnCount = e.columnCount;
        if (entry != nullptr)
            *entry = e;
        return 0;
    }
    return 1000;
}

int rcVwNextName(rcStmt *stmt, bool restart, char *name)
{
    if (rcVwLoadCatalog(stmt) != 0)
        return -1;
    rcViewCatalog *cat = stmt->views;
    if (restart)
        cat->enumIndex = 0;
    if (cat->enumIndex >= cat->file.entries.size())
        return 100;
    std::memcpy(name, cat->file.entries[cat->enumIndex].name, kRcVwNameSize);
    ++cat->enumIndex;
    return 0;
}

int rcVwGetColumn(rcStmt *stmt, int index, char *name, int16_t *sqlType, uint32_t *length,
                  uint32_t *precision, int16_t *scale, uint32_t *flags)
{
    if (index < 0)
        return -1;
    if (stmt->views == nullptr || size_t(index) >= stmt->views->columns.size())
        return 100;
    const rcViewColumn &c = stmt->views->columns[size_t(index)];
    if (name != nullptr)
        std::memcpy(name, c.name, kRcVwNameSize);
    if (sqlType != nullptr)
        *sqlType = c.sqlType;
    if (length != nullptr)
        *length = c.length;
    if (precision != nullptr)
        *precision = c.precision;
    if (scale != nullptr)
        *scale = c.scale;
    if (flags != nullptr)
        *flags = (c.flags & kRcVwColumnFlagMask) | kRcVwColumnFlagAlways;
    return 0;
}

const char *rcVwGetText(rcStmt *stmt)
{
    return stmt->views != nullptr ? stmt->views->text.c_str() : "";
}

std::string rcVwQueryText(const rcParseNode *createRoot)
{
    const rcParseNode *query = ChildOf(createRoot, RC_N_QuerySpec);
    return query != nullptr ? rcPrsUnparseNode(query) : std::string();
}

namespace {

// One change of the view files (add or remove, under their lock): the
// statement's catalogue then holds what was written.
template <typename Change>
int ChangeFiles(rcStmt *stmt, Change change)
{
    rcViewCatalog *cat = Catalog(stmt);
    if (cat == nullptr)
        return -1;
    std::string dir;
    if (rcVwGetDir(stmt, &dir) != 0)
        return -1;
    rcVwFileError err;
    rcVwFileCatalog written;
    if (change(dir, &written, &err) != 0)
        return PostFileError(stmt, err);
    cat->dir = dir;
    cat->file = std::move(written);
    cat->loaded = true;
    return 0;
}

} // namespace

int rcVwCreate(rcStmt *stmt, const rcParseNode *createRoot, const rcVwColumnDesc *columns,
               size_t count)
{
    if (createRoot == nullptr || createRoot->id != RC_N_CreateViewStmt)
        return Post(stmt, RC_MSG_SYNTAX_ERROR);
    const rcParseNode *leaf = NameLeaf(ChildOf(createRoot, RC_N_ViewedTableName));
    if (leaf == nullptr)
        return Post(stmt, RC_MSG_SYNTAX_ERROR);
    const char *name = leaf->text;
    if (std::strlen(name) > kRcVwNameMax)
        return Post(stmt, RC_ENG_INVALID_VIEW_TABLE_NAME,
                    "View name longer than " + std::to_string(kRcVwNameMax) + " characters.");
    // The names of the column list, when one is written.
    std::vector<const char *> listed;
    bool hasList = false;
    if (const rcParseNode *list = ChildOf(createRoot, RC_N_ColIdList_Opt)) {
        hasList = true;
        rcParseNode *from = const_cast<rcParseNode *>(list->child);
        for (const rcParseNode *n = rcPrsFindFirst(from, RC_N_ColId, nullptr); n != nullptr;
             n = rcPrsFindNext(from, RC_N_ColId, const_cast<rcParseNode *>(n), true))
            listed.push_back(n->child != nullptr ? n->child->text : n->text);
    }
    if (count == 0 || (hasList && listed.size() != count))
        return Post(stmt, RC_ENG_INVALID_VIEW_COLUMN_LIST);
    std::vector<rcViewColumn> records(count);
    for (size_t i = 0; i < count; ++i) {
        const char *colName = hasList ? listed[i] : columns[i].name;
        if (colName == nullptr || colName[0] == '\0' || std::strlen(colName) > kRcVwNameMax)
            return Post(stmt, RC_ENG_INVALID_VIEW_COLUMN_LIST,
                        "View column names are 1 to " + std::to_string(kRcVwNameMax) +
                            " characters long.");
        rcViewColumn &r = records[i];
        std::memcpy(r.name, colName, std::strlen(colName));
        if (!TableCase(stmt))
            for (char *p = r.name; *p != '\0'; ++p)
                *p = PlatAsciiUpper(*p);
        r.sqlType = columns[i].sqlType;
        r.length = columns[i].length;
        r.precision = columns[i].precision;
        r.scale = columns[i].scale;
        r.flags = columns[i].flags & 0x1FFF;
    }
    std::string text = rcVwQueryText(createRoot);
    if (text.empty())
        return Post(stmt, RC_MSG_SYNTAX_ERROR);
    return ChangeFiles(
        stmt, [&](const std::string &dir, rcVwFileCatalog *written, rcVwFileError *err) {
            return rcVwFileAdd(dir, name, records, text, TableCase(stmt), written, err);
        });
}

int rcVwDrop(rcStmt *stmt, const rcParseNode *dropRoot)
{
    if (dropRoot == nullptr || dropRoot->id != RC_N_DropViewStmt)
        return Post(stmt, RC_MSG_SYNTAX_ERROR);
    const rcParseNode *leaf = NameLeaf(ChildOf(dropRoot, RC_N_ViewedTableName));
    if (leaf == nullptr)
        return Post(stmt, RC_MSG_SYNTAX_ERROR);
    return ChangeFiles(stmt,
                       [&](const std::string &dir, rcVwFileCatalog *written, rcVwFileError *err) {
                           return rcVwFileRemove(dir, leaf->text, TableCase(stmt), written, err);
                       });
}

void rcVwFreeCatalog(rcStmt *stmt) { stmt->views.release(); }
