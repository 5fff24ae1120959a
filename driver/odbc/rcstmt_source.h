// The connection as the front end's source of tables and types: tables are
// opened through the table-access layer and described from the data
// module's column catalog; types come from the connection's type catalog.
//
// One source serves one statement handle (SetStatement names its engine
// record), and opens its tables:
// - with the password the statement's table password list holds for the
//   table; when the data module answers that the password is missing or
//   wrong, the data source has tables with passwords and the connection may
//   show dialogs, the user is asked once (the table-password dialog); the
//   answer is added to the statement's and the connection's password lists
//   and the open is tried again;
// - through the statement's cache of open tables while its option 1153 is
//   on: a table the statement closes stays open (with its columns) and the
//   next statement on the handle that names it takes it again. Clearing the
//   option closes the kept tables not in use; the source closes them all
//   when it goes.
// A table's columns are read from the column catalog once per connection:
// they are kept on its table-access session (tam_tablefacts.h) for the next
// statement that names the table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/frontend/fe_prepared.h"

struct rcConn;
struct rcStmt;
struct TamSession;
struct TamTableHandle;

// The data module's table open (TamOpenTable); tests put their own in place.
using rcConnFeOpenFn = int32_t (*)(TamSession *session, const char *password, const char *database,
                                   const char *table, uint32_t flags, TamTableHandle **handle);
void rcConnFeSetOpenHook(rcConnFeOpenFn fn);

class rcConnFeSource : public rcFeSource {
public:
    explicit rcConnFeSource(rcConn *conn) : conn_(conn) {}
    ~rcConnFeSource() override;
    rcConnFeSource(const rcConnFeSource &) = delete;
    rcConnFeSource &operator=(const rcConnFeSource &) = delete;

    void SetStatement(rcStmt *stmt) { stmt_ = stmt; }
    // Closes the kept tables that are not in use (every one with all).
    void CloseKeptTables(bool all);
    // Tables the cache holds (tests).
    size_t KeptTables() const { return kept_.size(); }

    int OpenTable(rcErrorQueue *errors, rcTblEntry *entry) override;
    void CloseTable(rcTblEntry *entry) override;
    bool HasType(int16_t sqlType) override;
    uint32_t FixedLength(int16_t sqlType) override;
    int16_t SqlTypeOf(int16_t engineType) override;
    void DescribeResult(const rcSemTypeInfo &t, rcResultColumn *column) override;
    void DescribeParam(const rcSemTypeInfo &t, rcParamDesc *param) override;
    bool CaseSensitiveNames() override;
    uint16_t MaxColumns() override;
    uint32_t CommandMask() override;
    bool ReadOnly() override;
    int UseQualifier(rcErrorQueue *errors, const char *name) override;
    bool HasExtPredicate(const char *name, uint32_t position) override;

private:
    struct Kept {
        std::string path, name, alias;
        TamTableHandle *handle = nullptr;
        std::vector<rcTblColumn> columns;
        bool inUse = false;
    };
    int ReadColumns(rcErrorQueue *errors, rcTblEntry *entry);
    int ReadColumnCatalog(rcErrorQueue *errors, rcTblEntry *entry);
    int OpenWithPassword(rcErrorQueue *errors, rcTblEntry *entry);
    bool KeepTables() const;
    bool MayPrompt() const;
    rcConn *conn_;
    rcStmt *stmt_ = nullptr;
    std::vector<Kept> kept_; // the cache of open tables
};
