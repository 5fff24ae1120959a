// The connection as the front end's source (see rcstmt_source.h).
#include "driver/odbc/rcstmt_source.h"

#include <cctype>
#include <cstring>
#include <string>

#include "driver/odbc/rcconn.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/odbc/rctypecat.h"
#include "driver/odbc/rcui_dialog.h"
#include "driver/engine/rcstmt.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"
#include "driver/engine/tam_tablefacts.h"
#include "driver/frontend/fe_check.h"

namespace {

// Words of the engine's column-catalog record that hold the catalog's column
// numbers (tam_catalog.cpp): name, type, maximum length, attributes,
// precision, scale.
enum : uint32_t {
    kWordName = 4,
    kWordType = 6,
    kWordLength = 11,
    kWordAttributes = 12,
    kWordPrecision = 16,
    kWordScale = 17,
};

// The data module's column attribute: 0x4 marks a column that cannot be empty.
constexpr uint32_t kDrmAttrNotNull = 0x4;

// The data module's answer to a missing or wrong table password.
constexpr int32_t kDrmErrBadTablePassword = -1905;
// Characters of a table password, and of the table name in a password entry.
constexpr size_t kPasswordMax = 30;
constexpr size_t kTableNameMax = 64;

rcConnFeOpenFn gOpen = &TamOpenTable;

void PostDrm(rcErrorQueue *errors, int32_t code)
{
    rcErrPost(errors, rcErrMapDrm(code), nullptr, code, nullptr);
}

int32_t ReadU32(TamSession *s, TamTableHandle *h, uint32_t column, uint32_t *out)
{
    uint32_t got = 0;
    *out = 0;
    return TamGetColumn(s, h, column, out, sizeof *out, &got, nullptr, SQL_INTEGER);
}

int32_t ReadI16(TamSession *s, TamTableHandle *h, uint32_t column, int16_t *out)
{
    uint32_t got = 0;
    *out = 0;
    return TamGetColumn(s, h, column, out, sizeof *out, &got, nullptr, SQL_SMALLINT);
}

} // namespace

void rcConnFeSetOpenHook(rcConnFeOpenFn fn) { gOpen = fn != nullptr ? fn : &TamOpenTable; }

rcConnFeSource::~rcConnFeSource() { CloseKeptTables(true); }

bool rcConnFeSource::KeepTables() const
{
    return stmt_ != nullptr && stmt_->options.keepTablesOpen != 0;
}

// Dialogs are shown unless the application set SQL_QUIET_MODE to a null
// window; without a display the dialog layer answers Cancel.
bool rcConnFeSource::MayPrompt() const { return conn_->quietModeSet == 0 || conn_->quietMode != 0; }

void rcConnFeSource::CloseKeptTables(bool all)
{
    for (size_t i = kept_.size(); i-- > 0;) {
        if (kept_[i].inUse && !all)
            continue;
        if (conn_->session != nullptr)
            TamCloseTable(conn_->session, kept_[i].handle);
        kept_.erase(kept_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

int rcConnFeSource::OpenWithPassword(rcErrorQueue *errors, rcTblEntry *entry)
{
    TamSession *session = conn_->session;
    char password[kPasswordMax + 1] = {};
    const char *pwd = nullptr;
    if (stmt_ != nullptr &&
        rcDrsFindTablePassword(stmt_, entry->name.c_str(), password, sizeof password) == 1)
        pwd = password;
    bool passwords =
        stmt_ != nullptr && (stmt_->sourceInfo.capabilities & RC_SRC_CAP_TABLE_PASSWORDS) != 0;
    int32_t rc = 0;
    for (int round = 0;; ++round) {
        rc = gOpen(session, pwd, entry->path.c_str(), entry->name.c_str(), 0, &entry->handle);
        if (rc != kDrmErrBadTablePassword || !passwords || !MayPrompt())
            break;
        if (round > 0)
            return rcErrRaise(errors, RC_ENG_INVALID_MISSING_PASSWORD);
        char answer[kPasswordMax + 1] = {};
        if (rcUiTablePasswordDialog(stmt_, entry->name.c_str(), answer, sizeof answer) != 0)
            return rcErrRaise(errors, RC_ENG_INVALID_MISSING_PASSWORD);
        std::string item = entry->name.substr(0, kTableNameMax) + "," + answer;
        if (rcDrsAddTablePassword(&stmt_->options.tablePasswords, item.c_str()) != 0 ||
            rcDrsAddTablePassword(&conn_->stmtOptions.tablePasswords, item.c_str()) != 0)
            return rcErrRaise(errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        std::memcpy(password, answer, sizeof password);
        pwd = password;
    }
    if (rc == 0)
        return 0;
    entry->handle = nullptr;
    if (rc == kDrmErrBadTablePassword)
        return rcFePostText(errors, RC_ENG_GENERAL_NO_TEXT, RC_TXT_MISSING_INVALID_PASSWORD_TABLE,
                            entry->name.c_str());
    PostDrm(errors, rc);
    return rcFePostText(errors, RC_MSG_GENERAL_ERROR, RC_TXT_UNABLE_OPEN_TABLE,
                        entry->name.c_str());
}

int rcConnFeSource::OpenTable(rcErrorQueue *errors, rcTblEntry *entry)
{
    TamSession *session = conn_->session;
    if (entry->path.empty())
        entry->path = conn_->qualifier;
    if ((conn_->info.capabilities & RC_CAP_FOLD_UPPER) != 0 &&
        (conn_->info.capabilities & RC_CAP_TABLE_CASE) == 0) {
        for (char &c : entry->name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (session == nullptr)
        return rcErrRaise(errors, RC_MSG_CONNECTION_NOT_OPEN);
    if (!KeepTables())
        CloseKeptTables(false);
    else
        for (Kept &k : kept_)
            if (!k.inUse && k.path == entry->path && k.name == entry->name &&
                k.alias == entry->alias) {
                // Taken from the cache: the table and its columns as they were read.
                k.inUse = true;
                entry->handle = k.handle;
                entry->columns = k.columns;
                return 0;
            }
    if (OpenWithPassword(errors, entry) != 0)
        return -1;
    if (ReadColumns(errors, entry) != 0) {
        CloseTable(entry);
        return -1;
    }
    if (KeepTables()) {
        Kept k;
        k.path = entry->path;
        k.name = entry->name;
        k.alias = entry->alias;
        k.handle = entry->handle;
        k.columns = entry->columns;
        k.inUse = true;
        kept_.push_back(std::move(k));
    }
    return 0;
}

// The columns as the connection's first statement naming the table read
// them (tam_tablefacts.h), else from the column catalog, then kept.
int rcConnFeSource::ReadColumns(rcErrorQueue *errors, rcTblEntry *entry)
{
    TamSession *session = conn_->session;
    if (const TamTableFacts *facts = TamFindTableFacts(session, entry->path, entry->name);
        facts != nullptr && facts->columnsRead) {
        entry->columns = facts->columns;
        return 0;
    }
    int result = ReadColumnCatalog(errors, entry);
    if (result == 0)
        if (TamTableFacts *facts = TamKeepTableFacts(session, entry->path, entry->name)) {
            facts->columns = entry->columns;
            facts->columnsRead = true;
        }
    return result;
}

int rcConnFeSource::ReadColumnCatalog(rcErrorQueue *errors, rcTblEntry *entry)
{
    TamSession *session = conn_->session;
    TamInfoRecord rec{};
    int32_t rc = TamGetTableColumnInfo(session, entry->handle, nullptr, &rec);
    if (rc != 0) {
        PostDrm(errors, rc);
        return rcFePostText(errors, RC_MSG_GENERAL_ERROR, RC_TXT_UNABLE_OPEN_TABLE,
                            entry->name.c_str());
    }
    uint16_t max = MaxColumns();
    int result = 0;
    for (rc = TamMove(session, rec.handle, kDrmMoveFirst); rc == 0;
         rc = TamMove(session, rec.handle, kDrmMoveNext)) {
        if (entry->columns.size() >= max) {
            // More columns than MaxColSupport: an error, never a silent cut.
            PostDrm(errors, kTamTooManyColumns);
            result = -1;
            break;
        }
        char name[kTamNameMax + 1] = {};
        uint32_t got = 0, type = 0, length = 0, attributes = 0, precision = 0;
        int16_t scale = 0;
        rc = TamGetColumn(session, rec.handle, rec.word[kWordName], name, sizeof name, &got,
                          nullptr, SQL_CHAR);
        if (rc == 0)
            rc = ReadU32(session, rec.handle, rec.word[kWordType], &type);
        if (rc == 0)
            rc = ReadU32(session, rec.handle, rec.word[kWordLength], &length);
        if (rc == 0)
            rc = ReadU32(session, rec.handle, rec.word[kWordAttributes], &attributes);
        if (rc == 0 && (type == 8 || type == 103)) {
            int16_t p = 0;
            rc = ReadI16(session, rec.handle, rec.word[kWordPrecision], &p);
            if (rc == 0)
                rc = ReadI16(session, rec.handle, rec.word[kWordScale], &scale);
            precision = static_cast<uint16_t>(p);
        }
        if (rc < 0 && rc != kDrmErrNoCurrentRecord) {
            PostDrm(errors, rc);
            result = -1;
            break;
        }
        rcTblColumn col;
        col.name = name;
        col.number = static_cast<uint32_t>(entry->columns.size() + 1);
        col.attributes = attributes;
        int16_t engine = 0;
        if (rcTypEngineTypeOfDrm(conn_, static_cast<int16_t>(type), &engine) != 0) {
            std::string text =
                "Unsupported data type in Column: " + col.name + ". Table: " + entry->name + ".";
            rcErrPost(errors, RC_MSG_DRIVER_NOT_CAPABLE, nullptr, 0, text.c_str());
            result = -1;
            break;
        }
        col.type.sqlType = engine;
        col.type.length = (engine == SQL_LONGVARCHAR || engine == SQL_LONGVARBINARY)
                              ? RC_SEM_LONG_LENGTH
                              : length;
        col.type.precision = static_cast<uint16_t>(precision);
        col.type.scale = scale;
        col.type.flags = RC_SEM_NULLABILITY_KNOWN |
                         ((attributes & kDrmAttrNotNull) != 0 ? 0u : uint32_t{RC_SEM_NULLABLE});
        for (const rcTblColumn &other : entry->columns)
            if (other.name == col.name) {
                rcFePostText(errors, RC_MSG_GENERAL_ERROR, RC_TXT_NON_UNIQUE_COLUMN_REFERENCE,
                             name);
                result = -1;
            }
        if (result != 0)
            break;
        entry->columns.push_back(std::move(col));
    }
    if (result == 0 && rc != 0 && rc != kDrmErrNoCurrentRecord && rc != -1601) {
        PostDrm(errors, rc);
        result = -1;
    }
    if (result == 0 && entry->columns.empty())
        result = rcFePostText(errors, RC_ENG_INVALID_VIEW_TABLE_NAME,
                              RC_TXT_TABLE_EMPTY_DOESNT_EXIST, entry->name.c_str());
    TamCloseTable(session, rec.handle);
    return result;
}

void rcConnFeSource::CloseTable(rcTblEntry *entry)
{
    for (size_t i = 0; entry->handle != nullptr && i < kept_.size(); ++i) {
        if (kept_[i].handle != entry->handle)
            continue;
        // A kept table stays open for the next statement while the option
        // holds.
        kept_[i].inUse = false;
        entry->handle = nullptr;
        if (!KeepTables())
            CloseKeptTables(false);
        return;
    }
    if (entry->handle != nullptr && conn_->session != nullptr)
        TamCloseTable(conn_->session, entry->handle);
    entry->handle = nullptr;
}

bool rcConnFeSource::HasType(int16_t sqlType) { return rcTypIsSupported(conn_, sqlType) != 0; }

uint32_t rcConnFeSource::FixedLength(int16_t sqlType)
{
    uint32_t length = 0;
    if (rcTypFixedLength(conn_, sqlType, &length) != 0 && rcTypDefaultOctetLength(sqlType, &length))
        return length;
    return length;
}

int16_t rcConnFeSource::SqlTypeOf(int16_t engineType)
{
    int16_t sql = 0;
    return rcTypSqlTypeOf(conn_, engineType, &sql) == 0 && sql != 0 ? sql : engineType;
}

void rcConnFeSource::DescribeResult(const rcSemTypeInfo &t, rcResultColumn *col)
{
    col->sqlType = SqlTypeOf(t.sqlType);
    int32_t length = static_cast<int32_t>(t.length);
    int32_t precision = t.precision;
    col->precision = static_cast<uint32_t>(rcTypColumnSizeOf(col->sqlType, length, precision));
    if (col->sqlType == SQL_DECIMAL || col->sqlType == SQL_NUMERIC || col->sqlType == SQL_BIGINT)
        col->precision = t.precision;
    int16_t scale = rcTypScaleOf(col->sqlType, t.scale);
    col->scale = scale == -30000 ? kRcNoScale : scale;
    col->displaySize = static_cast<uint32_t>(
        rcTypDisplaySize(col->sqlType, length, static_cast<int32_t>(col->precision)));
    col->length = static_cast<uint32_t>(
        rcTypOctetLength(col->sqlType, length, static_cast<int32_t>(col->precision)));
    uint16_t index = 0;
    const rcTypeEntry *e = rcTypFindBySqlType(conn_, 1, col->sqlType, &index) == 0
                               ? rcTypEntry(conn_, index)
                               : nullptr;
    col->typeName = e != nullptr && e->typeName != nullptr ? e->typeName : "";
    uint32_t flags = e != nullptr ? e->flags : 0;
    col->caseSensitive = (flags & RC_TYPE_CASE_SENSITIVE) != 0;
    switch (flags & 0x18) {
    case 0x08: col->searchable = SQL_ALL_EXCEPT_LIKE; break;
    case 0x10: col->searchable = SQL_LIKE_ONLY; break;
    case 0x18: col->searchable = SQL_SEARCHABLE; break;
    default: col->searchable = SQL_UNSEARCHABLE; break;
    }
    // A BIGINT the data source does not describe (CONVERT makes one) is signed.
    col->isUnsigned = (flags & 0x40) == 0 && !(e == nullptr && col->sqlType == SQL_BIGINT);
    col->money = (flags & 0x80) != 0;
    col->autoIncrement = (flags & 0x100) != 0;
}

void rcConnFeSource::DescribeParam(const rcSemTypeInfo &t, rcParamDesc *d)
{
    rcResultColumn col;
    DescribeResult(t, &col);
    d->sqlType = col.sqlType;
    d->columnSize = col.precision;
    d->decimalDigits = col.scale == kRcNoScale ? 0 : col.scale;
    d->nullable = SQL_NULLABLE;
}

bool rcConnFeSource::CaseSensitiveNames()
{
    return (conn_->info.capabilities & RC_CAP_COLUMN_CASE) != 0;
}

uint16_t rcConnFeSource::MaxColumns()
{
    return conn_->maxColSupport != 0 ? conn_->maxColSupport : kRcMinMaxColSupport;
}

uint32_t rcConnFeSource::CommandMask() { return conn_->info.access; }

bool rcConnFeSource::ReadOnly() { return conn_->accessMode == SQL_MODE_READ_ONLY; }

int rcConnFeSource::UseQualifier(rcErrorQueue *errors, const char *name)
{
    int32_t native = 0;
    if (rcConOpenQualifier(conn_, name, &native) == 0)
        return 0;
    // The connection posted on its own queue; the statement reports it too.
    PostDrm(errors, native != 0 ? native : -1);
    return -1;
}

bool rcConnFeSource::HasExtPredicate(const char *name, uint32_t position)
{
    const rcList *list = conn_->session != nullptr ? conn_->session->extPredicates : nullptr;
    return TamFindExtPredicate(list, name, position) != nullptr;
}
