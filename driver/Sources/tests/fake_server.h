// A scripted stand-in for netclient: servers found by address, connections,
// a catalog built from a small description, and injectable statuses. Every
// call is logged as "Name" or "Name arg" for the tests to check.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver/Sources/drm_qx.h"

struct FakeField {
    std::string name;
    uint8_t type;
    uint16_t length = 0;
    uint16_t indexWord = 0; // the attribute number that marks indexes
};

struct FakeTable {
    std::string name;
    std::vector<FakeField> fields;
};

class FakeServer : public DrmServerApi {
public:
    FakeServer() { DrmSetServerApi(this); }
    ~FakeServer() override { DrmSetServerApi(nullptr); }

    // Scripting.
    std::set<std::string> knownAddresses{"127.0.0.1"};
    std::vector<FakeTable> tables;
    std::map<std::string, int32_t> status; // forced status per call name
    std::map<int, int32_t> commitStatusByConnection;
    std::vector<uint8_t> fileListOverride; // when set, returned as is
    std::map<int16_t, std::vector<uint8_t>> definitionOverride;
    int32_t serverVersion = 0x06050000;

    // Observations.
    std::vector<std::string> calls;
    std::set<DrmQxConnection> open;
    int initialisedComponents = 0;
    DrmLoginRecord lastLogin;

    int32_t Forced(const char *name)
    {
        auto it = status.find(name);
        return it == status.end() ? 0 : it->second;
    }

    int32_t InitQXWS() override
    {
        calls.push_back("InitQXWS");
        return 0;
    }
    int32_t DeInitQXWS() override
    {
        calls.push_back("DeInitQXWS");
        return 0;
    }
    DrmQxComponent InitNetworkComponent(uint16_t component) override
    {
        calls.push_back("InitNetworkComponent " + std::to_string(component));
        if (Forced("InitNetworkComponent") != 0)
            return 0;
        ++initialisedComponents;
        return 0x1000 + component;
    }
    int32_t DeInitNetworkComponent(uint16_t component, DrmQxComponent) override
    {
        calls.push_back("DeInitNetworkComponent " + std::to_string(component));
        --initialisedComponents;
        return 0;
    }
    int32_t GetComponentInfo(int16_t, uint16_t *component) override
    {
        *component = 2;
        return 0;
    }
    int32_t SelectQXServer(uint8_t *name, DrmQxLocation *location, uint16_t,
                           DrmQxComponent) override
    {
        calls.push_back("SelectQXServer");
        int32_t s = Forced("SelectQXServer");
        if (s == 0) {
            const char *chosen = "Sales BOX";
            name[0] = static_cast<uint8_t>(std::strlen(chosen));
            std::memcpy(name + 1, chosen, name[0]);
            *location = 77;
        }
        return s;
    }
    int32_t FindQXServer(std::string_view address, DrmQxLocation *location, uint16_t,
                         DrmQxComponent) override
    {
        std::string text(address);
        calls.push_back("FindQXServer " + text);
        if (!knownAddresses.count(text))
            return -10021;
        *location = 500 + static_cast<DrmQxLocation>(calls.size());
        return 0;
    }
    int32_t OpenQXConnection(DrmLoginRecord *login, DrmQxLocation, DrmQxConnection *connection,
                             uint16_t, DrmQxComponent) override
    {
        calls.push_back("OpenQXConnection");
        lastLogin = *login;
        if (int32_t s = Forced("OpenQXConnection")) {
            *connection = 0;
            return s;
        }
        *connection = nextConnection_++;
        open.insert(*connection);
        return 0;
    }
    int32_t CloseQXConnection(DrmQxConnection connection) override
    {
        calls.push_back("CloseQXConnection " + std::to_string(connection));
        return open.erase(connection) ? 0 : -32003;
    }
    int32_t FreeNetworkLocation(DrmQxLocation, uint16_t, DrmQxComponent) override
    {
        calls.push_back("FreeNetworkLocation");
        return 0;
    }
    int32_t GetServerInfo(DrmQxConnection, DrmServerInfo *info) override
    {
        info->version = serverVersion;
        info->bigEndian = 0;
        return Forced("GetServerInfo");
    }
    int32_t CountFiles(DrmQxConnection, int16_t *count) override
    {
        calls.push_back("CountFiles");
        *count = static_cast<int16_t>(tables.size());
        return Forced("CountFiles");
    }
    int32_t GetFileList(DrmQxConnection, std::vector<uint8_t> *bytes) override
    {
        calls.push_back("GetFileList");
        if (int32_t s = Forced("GetFileList"))
            return s;
        if (!fileListOverride.empty()) {
            *bytes = fileListOverride;
            return 0;
        }
        bytes->assign(2 + 32 * tables.size(), 0);
        uint16_t n = static_cast<uint16_t>(tables.size());
        std::memcpy(bytes->data(), &n, 2);
        for (size_t i = 0; i < tables.size(); ++i) {
            // A name slot holds 31 characters; longer test names are cut as
            // a server would send them.
            uint8_t *slot = bytes->data() + 2 + 32 * i;
            size_t length = std::min<size_t>(tables[i].name.size(), 31);
            slot[0] = static_cast<uint8_t>(length);
            std::memcpy(slot + 1, tables[i].name.data(), length);
        }
        return 0;
    }
    int32_t GetFileDefinition(DrmQxConnection, int16_t table, std::vector<uint8_t> *bytes) override
    {
        calls.push_back("GetFileDefinition " + std::to_string(table));
        if (int32_t s = Forced("GetFileDefinition"))
            return s;
        if (definitionOverride.count(table)) {
            *bytes = definitionOverride[table];
            return 0;
        }
        *bytes = Definition(tables.at(static_cast<size_t>(table - 1)));
        return 0;
    }
    int32_t StartQXTransaction(DrmQxConnection c) override
    {
        calls.push_back("StartQXTransaction " + std::to_string(c));
        return 0;
    }
    int32_t Commit(DrmQxConnection c) override
    {
        calls.push_back("Commit " + std::to_string(c));
        auto it = commitStatusByConnection.find(static_cast<int>(c));
        return it == commitStatusByConnection.end() ? 0 : it->second;
    }
    int32_t RollBack(DrmQxConnection c) override
    {
        calls.push_back("RollBack " + std::to_string(c));
        return 0;
    }

    // Table requests. The selection of every table holds `selectionSize`
    // records, numbered (`records`) 100 + their first position until records
    // leave it (DeleteCurrentRecord takes the record of the last
    // GotoSelectedRecord; a test may take out others with Remove). A window
    // gives each record's long-integer fields its number less 99 (its first
    // position from 1), its alpha fields "R" and that, and its record number
    // for field 0 (a request of field 0 alone is logged as "RecordNumbers").
    int32_t selectionSize = 0;
    std::vector<int32_t> records;
    int32_t gotoPosition = -1; // 0-based
    std::vector<int32_t> &Records()
    {
        if (records.size() != static_cast<size_t>(selectionSize)) {
            records.clear();
            for (int32_t p = 0; p < selectionSize; ++p)
                records.push_back(100 + p);
        }
        return records;
    }
    void Remove(int32_t position)
    {
        Records().erase(records.begin() + position);
        --selectionSize;
    }
    int32_t fileSize = 0;
    std::vector<QXSearchLine> lastSearch;
    std::vector<std::vector<std::pair<int16_t, QXValue>>> buffers; // values added per buffer

    std::string Name(const uint8_t *name)
    {
        return std::string(reinterpret_cast<const char *>(name) + 1, name[0]);
    }
    int32_t SelectAllRecords(DrmQxConnection, int16_t table) override
    {
        calls.push_back("SelectAllRecords " + std::to_string(table));
        return Forced("SelectAllRecords");
    }
    int32_t Search(DrmQxConnection, QXSearchArray *search, int32_t *found) override
    {
        calls.push_back("Search " + std::to_string(search->count));
        lastSearch.assign(search->lines, search->lines + search->count);
        *found = selectionSize;
        return Forced("Search");
    }
    int32_t Sort(DrmQxConnection, const QXSortSpec *sort) override
    {
        calls.push_back("Sort " + std::to_string(sort->keys[0].field));
        return Forced("Sort");
    }
    int32_t RecordsInSelection(DrmQxConnection, int16_t, int32_t *count) override
    {
        calls.push_back("RecordsInSelection");
        *count = selectionSize;
        return Forced("RecordsInSelection");
    }
    int32_t RecordsInFile(DrmQxConnection, int16_t, int32_t *count) override
    {
        calls.push_back("RecordsInFile");
        *count = fileSize;
        return Forced("RecordsInFile");
    }
    int32_t GotoSelectedRecord(DrmQxConnection, int16_t, int32_t position) override
    {
        calls.push_back("GotoSelectedRecord " + std::to_string(position));
        gotoPosition = position - 1;
        return Forced("GotoSelectedRecord");
    }
    int32_t SubSelectionToArray(DrmQxConnection, const QXArrayDescription *fields, int32_t first,
                                int32_t last, std::vector<uint8_t> *bytes) override
    {
        const bool numbers = fields->count == 1 && fields->pairs[0].field == 0;
        calls.push_back((numbers ? "RecordNumbers " : "SubSelectionToArray ") +
                        std::to_string(first) + " " + std::to_string(last));
        return Window(fields, first, last, bytes);
    }
    // With `sendsAhead`, a window request comes in halves, logged "Send
    // FIRST LAST" and "Receive" (or "Receive dropped"); the window is made
    // at the receive, from the records then.
    bool sendsAhead = false;
    struct {
        bool out = false;
        int16_t table = 0;
        std::vector<QXFieldPair> pairs;
        int32_t first = 0, last = 0;
    } sentAhead;
    int32_t SendSubSelectionToArray(DrmQxConnection, const QXArrayDescription *fields,
                                    int32_t first, int32_t last) override
    {
        if (!sendsAhead)
            return kDrmQxWhole;
        calls.push_back("Send " + std::to_string(first) + " " + std::to_string(last));
        if (int32_t st = Forced("SendSubSelectionToArray"))
            return st;
        sentAhead.out = true;
        sentAhead.table = fields->table;
        sentAhead.pairs.assign(fields->pairs, fields->pairs + fields->count);
        sentAhead.first = first;
        sentAhead.last = last;
        return 0;
    }
    int32_t ReceiveSubSelectionToArray(DrmQxConnection, std::vector<uint8_t> *bytes) override
    {
        if (!sendsAhead)
            return kDrmQxWhole;
        calls.push_back(bytes ? "Receive" : "Receive dropped");
        if (!sentAhead.out)
            return QX_ERR_NOTHING_SENT;
        sentAhead.out = false;
        if (!bytes)
            return 0;
        if (int32_t st = Forced("ReceiveSubSelectionToArray"))
            return st;
        QXArrayDescription fields{static_cast<int16_t>(sentAhead.pairs.size()), sentAhead.table,
                                  sentAhead.pairs.data()};
        return Window(&fields, sentAhead.first, sentAhead.last, bytes);
    }
    int32_t Window(const QXArrayDescription *fields, int32_t first, int32_t last,
                   std::vector<uint8_t> *bytes)
    {
        const bool numbers = fields->count == 1 && fields->pairs[0].field == 0;
        bytes->clear();
        if (int32_t st = Forced("SubSelectionToArray"))
            return st;
        const FakeTable &t = tables.at(static_cast<size_t>(fields->table - 1));
        uint32_t n = 0;
        bytes->resize(4);
        if (numbers) {
            for (int32_t p = std::max(first, 0); p <= last && p < selectionSize; ++p, ++n) {
                int32_t number = Records()[static_cast<size_t>(p)];
                bytes->insert(bytes->end(), reinterpret_cast<uint8_t *>(&number),
                              reinterpret_cast<uint8_t *>(&number) + 4);
            }
            std::memcpy(bytes->data(), &n, 4);
            return 0;
        }
        for (int i = 0; i < fields->count; ++i)
            if (fields->pairs[i].field == 0 && numbersAlone)
                return -9950; // as a server that sends record numbers only alone
        for (int32_t p = first; p <= last && p < selectionSize; ++p, ++n) {
            for (int i = 0; i < fields->count; ++i) {
                if (fields->pairs[i].field == 0) {
                    int32_t record = Records()[static_cast<size_t>(p)];
                    bytes->insert(bytes->end(), reinterpret_cast<uint8_t *>(&record),
                                  reinterpret_cast<uint8_t *>(&record) + 4);
                    continue;
                }
                const FakeField &f = t.fields.at(static_cast<size_t>(fields->pairs[i].field - 1));
                int32_t number = Records()[static_cast<size_t>(p)] - 99;
                std::string text(1, 'R');
                text += std::to_string(number);
                switch (f.type) {
                case 0:
                    bytes->push_back(static_cast<uint8_t>(text.size()));
                    bytes->insert(bytes->end(), text.begin(), text.end());
                    break;
                case 2: {
                    uint16_t len = static_cast<uint16_t>(text.size());
                    bytes->insert(bytes->end(), reinterpret_cast<uint8_t *>(&len),
                                  reinterpret_cast<uint8_t *>(&len) + 2);
                    bytes->insert(bytes->end(), text.begin(), text.end());
                    break;
                }
                case 8:
                    bytes->insert(bytes->end(), reinterpret_cast<uint8_t *>(&number),
                                  reinterpret_cast<uint8_t *>(&number) + 2);
                    break;
                case 9:
                    bytes->insert(bytes->end(), reinterpret_cast<uint8_t *>(&number),
                                  reinterpret_cast<uint8_t *>(&number) + 4);
                    break;
                default: bytes->insert(bytes->end(), 10, 0); break;
                }
            }
        }
        std::memcpy(bytes->data(), &n, 4);
        if (truncateArray > 0 && bytes->size() > truncateArray)
            bytes->resize(truncateArray);
        return 0;
    }
    size_t truncateArray = 0;
    bool numbersAlone = false; // field 0 only as the single column of an array
    int32_t SetReadWriteMode(DrmQxConnection, int16_t, uint8_t mode) override
    {
        calls.push_back("SetReadWriteMode " + std::to_string(mode));
        return Forced("SetReadWriteMode");
    }
    int lockedReads = 0; // the next field reads that find the record locked by another
    int32_t GetFields(DrmQxConnection, int16_t, int16_t field, uint8_t *locked) override
    {
        calls.push_back("GetFields " + std::to_string(field));
        *locked = lockedReads > 0 ? 1 : 0;
        lockedReads -= lockedReads > 0 ? 1 : 0;
        return Forced("GetFields");
    }
    QXHandle CreateBuffer(DrmQxConnection, int16_t table) override
    {
        calls.push_back("CreateBuffer " + std::to_string(table));
        if (Forced("CreateBuffer"))
            return nullptr;
        buffers.emplace_back();
        QXHandle h = AllocHandle(4);
        int32_t index = static_cast<int32_t>(buffers.size() - 1);
        std::memcpy(LockHandle(h), &index, 4);
        return h;
    }
    int32_t AddToBuffer(DrmQxConnection, QXHandle buffer, int16_t field,
                        const QXValue *value) override
    {
        calls.push_back("AddToBuffer " + std::to_string(field));
        if (!buffer)
            return -32003;
        int32_t index;
        std::memcpy(&index, LockHandle(buffer), 4);
        QXValue copy = *value;
        copy.data = nullptr;
        if (value
                ->data) { // keep the long value's bytes as the alpha text of the copy (tests read them back)
            copy.length = SizeOfHandle(value->data);
            longValues.emplace_back(static_cast<const char *>(LockHandle(value->data)),
                                    static_cast<size_t>(copy.length));
        }
        buffers.at(static_cast<size_t>(index)).emplace_back(field, copy);
        return Forced("AddToBuffer");
    }
    std::vector<std::string> longValues;
    int32_t NewRecord(DrmQxConnection, QXHandle) override
    {
        calls.push_back("NewRecord");
        return Forced("NewRecord");
    }
    int32_t ModifyRecord(DrmQxConnection, QXHandle) override
    {
        calls.push_back("ModifyRecord");
        return Forced("ModifyRecord");
    }
    int32_t DeleteCurrentRecord(DrmQxConnection, int16_t) override
    {
        calls.push_back("DeleteCurrentRecord");
        if (int32_t st = Forced("DeleteCurrentRecord"))
            return st;
        if (gotoPosition >= 0 && gotoPosition < selectionSize)
            Remove(gotoPosition);
        gotoPosition = -1;
        return 0;
    }
    int32_t CopySelection(DrmQxConnection, const uint8_t *name, int16_t) override
    {
        calls.push_back("CopySelection " + Name(name));
        return Forced("CopySelection");
    }
    int32_t UseSelection(DrmQxConnection, const uint8_t *name, int16_t *table) override
    {
        calls.push_back("UseSelection " + Name(name));
        *table = 1;
        return Forced("UseSelection");
    }
    int32_t KillSelection(DrmQxConnection, const uint8_t *name) override
    {
        calls.push_back("KillSelection " + Name(name));
        return 0;
    }

    // Handles: plain heap blocks with their size.
    struct Block {
        std::vector<uint8_t> bytes;
    };
    QXHandle AllocHandle(int32_t size) override
    {
        if (size < 0 || Forced("AllocHandle") != 0)
            return nullptr;
        auto *b = new Block{std::vector<uint8_t>(static_cast<size_t>(size), 0)};
        ++liveHandles;
        return reinterpret_cast<QXHandle>(b);
    }
    void *LockHandle(QXHandle h) override
    {
        return h ? reinterpret_cast<Block *>(h)->bytes.data() : nullptr;
    }
    void UnlockHandle(QXHandle) override {}
    int32_t SizeOfHandle(QXHandle h) override
    {
        return h ? static_cast<int32_t>(reinterpret_cast<Block *>(h)->bytes.size()) : 0;
    }
    void FreeHandle(QXHandle h) override
    {
        if (h) {
            --liveHandles;
            delete reinterpret_cast<Block *>(h);
        }
    }
    int liveHandles = 0;

    static std::vector<uint8_t> Definition(const FakeTable &t)
    {
        std::vector<uint8_t> d(30 + 66 * t.fields.size(), 0);
        uint16_t n = static_cast<uint16_t>(t.fields.size());
        std::memcpy(d.data(), &n, 2);
        for (size_t j = 0; j < t.fields.size(); ++j) {
            uint8_t *row = d.data() + 30 + 66 * j;
            const FakeField &f = t.fields[j];
            row[0] = static_cast<uint8_t>(f.name.size());
            std::memcpy(row + 1, f.name.data(), f.name.size());
            row[32] = f.type;
            std::memcpy(row + 34, &f.length, 2);
            std::memcpy(row + 48, &f.indexWord, 2);
        }
        return d;
    }

    size_t Count(const std::string &prefix) const
    {
        size_t n = 0;
        for (const std::string &c : calls)
            if (c.rfind(prefix, 0) == 0)
                ++n;
        return n;
    }

private:
    DrmQxConnection nextConnection_ = 1;
};

// The sample catalog most tests use.
inline std::vector<FakeTable> SampleTables()
{
    return {
        {"Customers",
         {{"ID", 9, 4, 0xE000}, {"Name", 0, 40, 0x8000}, {"Name2", 0, 20, 0}, {"Notes", 2, 0, 0}}},
        {"CUSTOMERS", {{"X", 8, 2, 0}}},
        {"Empty", {}},
    };
}
