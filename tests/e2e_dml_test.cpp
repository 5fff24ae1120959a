// Data changes through the unixODBC Driver Manager against qxserver: INSERT,
// UPDATE and DELETE followed by queries that show the change, SQLRowCount,
// read-only connections, auto-commit against manual commit and rollback, and
// the errors of values that do not fit their columns.
#include "tests/e2e_fixture.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// One connection and one statement of it.
struct Session {
    explicit Session(OdbcHandles *handles) : h(handles)
    {
        ok = SQL_SUCCEEDED(SQLConnect(h->dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS,
                                      Text("demo"), SQL_NTS)) &&
             SQLAllocStmt(h->dbc, &stmt) == SQL_SUCCESS;
    }
    ~Session()
    {
        if (stmt != SQL_NULL_HSTMT)
            SQLFreeStmt(stmt, SQL_DROP);
        SQLDisconnect(h->dbc);
    }
    // Every diagnostic of the statement as "STATE text" lines.
    std::string Diag() const
    {
        std::string all;
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        while (SQL_SUCCEEDED(
            SQLError(h->env, h->dbc, stmt, state, &native, message, sizeof message, &length))) {
            if (!all.empty())
                all += '\n';
            all += std::string(reinterpret_cast<char *>(state)) + " " +
                   reinterpret_cast<char *>(message);
        }
        return all;
    }
    // Runs a statement: "OK n", "INFO n <diagnostics>" (n from SQLRowCount)
    // or "ERROR <diagnostics>".
    std::string Exec(const std::string &sql)
    {
        SQLRETURN rc = SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
        return Outcome(rc);
    }
    std::string Outcome(SQLRETURN rc)
    {
        if (!SQL_SUCCEEDED(rc)) {
            std::string d = Diag();
            SQLFreeStmt(stmt, SQL_CLOSE);
            return "ERROR " + d;
        }
        std::string d = rc == SQL_SUCCESS_WITH_INFO ? Diag() : "";
        SQLLEN count = -2;
        EXPECT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
        SQLFreeStmt(stmt, SQL_CLOSE);
        return (rc == SQL_SUCCESS ? "OK " : "INFO ") + std::to_string(count) +
               (d.empty() ? "" : " " + d);
    }
    // The rows of a query as "v1|v2|..." (NULL as "NULL").
    std::vector<std::string> Query(const std::string &sql)
    {
        if (!SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS)))
            return {"ERROR " + Diag()};
        std::vector<std::string> rows;
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmt, &columns);
        while (SQL_SUCCEEDED(SQLFetch(stmt))) {
            std::string row;
            for (SQLUSMALLINT k = 1; k <= columns; ++k) {
                char buf[256] = {};
                SQLLEN length = 0;
                SQLGetData(stmt, k, SQL_C_CHAR, buf, sizeof buf, &length);
                if (k > 1)
                    row += '|';
                row += length == SQL_NULL_DATA ? "NULL" : buf;
            }
            rows.push_back(row);
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return rows;
    }
    OdbcHandles *h;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    bool ok = false;
};

using Rows = std::vector<std::string>;

class E2eDml : public E2eFixture {
protected:
    void SetUp() override
    {
        fixture = QX_DML_FIXTURE;
        E2eFixture::SetUp();
        h = std::make_unique<OdbcHandles>(SQL_OV_ODBC2);
        s = std::make_unique<Session>(h.get());
        std::string text;
        ASSERT_TRUE(s->ok) << h->Diag(nullptr, &text) << " " << text;
    }
    void TearDown() override
    {
        s.reset();
        h.reset();
        E2eFixture::TearDown();
    }
    std::unique_ptr<OdbcHandles> h;
    std::unique_ptr<Session> s;
};

TEST_F(E2eDml, InsertedRowsAreReadBack)
{
    struct Case {
        const char *insert;
        const char *expect; // Exec outcome
        const char *row;    // the row with ID 10 afterwards, "" for none
    };
    const Case cases[] = {
        {"INSERT INTO Items VALUES (10, 'pin', 7, 1.5, {d '2025-06-07'}, 1, 'note')", "OK 1",
         "10|pin|7|1.5|2025-06-07|1|note"},
        {"INSERT INTO Items (Name, ID) VALUES ('cap', 10)", "OK 1", "10|cap|0|0|NULL|0|NULL"},
        {"INSERT INTO Items (ID, Name, Qty, Price) VALUES (10, 'neg', -3, -2.25)", "OK 1",
         "10|neg|-3|-2.25|NULL|0|NULL"},
        {"INSERT INTO Items (ID, Name, Note) VALUES (10, USER, NULL)", "OK 1",
         "10|demo|0|0|NULL|0|NULL"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.insert);
        EXPECT_EQ(s->Exec(c.insert), c.expect);
        Rows rows =
            s->Query("SELECT ID, Name, Qty, Price, Day, Done, Note FROM Items WHERE ID = 10");
        EXPECT_EQ(rows, Rows{c.row});
        EXPECT_EQ(s->Exec("DELETE FROM Items WHERE ID = 10"), "OK 1");
    }
    // A function call is no value of a VALUES list.
    EXPECT_EQ(s->Exec("INSERT INTO Items (ID, Name, Price) VALUES (10, {fn UCASE('low')}, 4)"),
              "ERROR 37000 [Zorvi][Zorvi ODBC Driver]Invalid value in value list.");
    EXPECT_EQ(s->Query("SELECT COUNT(*) FROM Items"), Rows{"4"});
}

TEST_F(E2eDml, InsertFromQueryCopiesTheRows)
{
    EXPECT_EQ(s->Exec("INSERT INTO Archive (ID, Name) SELECT ID, Name FROM Items WHERE Qty = 2"),
              "OK 2");
    EXPECT_EQ(s->Query("SELECT ID, Name FROM Archive ORDER BY ID"), (Rows{"2|nut", "4|shaft"}));
    // Rows of the table being filled: the new rows are not read again.
    EXPECT_EQ(s->Exec("INSERT INTO Archive (ID, Name) SELECT ID + 100, Name FROM Archive"), "OK 2");
    EXPECT_EQ(s->Query("SELECT COUNT(*) FROM Archive"), Rows{"4"});
    // The query reads the table it fills through an index, one key after the
    // other, and as the inner table of a join: it reads none of the new rows.
    EXPECT_EQ(s->Exec("INSERT INTO Items (ID, Name, Qty) SELECT ID + 100, Name, Qty + 1 FROM "
                      "Items WHERE Qty IN (1, 2)"),
              "OK 3");
    EXPECT_EQ(s->Query("SELECT ID, Qty FROM Items WHERE ID > 100 ORDER BY ID"),
              (Rows{"101|2", "102|3", "104|3"}));
    EXPECT_EQ(s->Exec("SET NoJoinOpt ON"), "OK -1");
    EXPECT_EQ(s->Exec("INSERT INTO Archive (ID, Name) SELECT a.ID + 1000 * i.ID, a.Name FROM "
                      "Items i, Archive a WHERE i.ID < 3"),
              "OK 8");
    // The second row repeats a unique key: the statement fails and says how
    // far it came; the first row stays (auto-commit).
    std::string got = s->Exec("INSERT INTO Archive (ID, Name) SELECT 7777, Name FROM Items");
    EXPECT_EQ(got.substr(0, 12), "ERROR 23000 ") << got;
    EXPECT_NE(got.find("1 row(s) changed before the failure, 1 failed."), std::string::npos) << got;
    EXPECT_EQ(s->Query("SELECT COUNT(*) FROM Archive WHERE ID = 7777"), Rows{"1"});
    EXPECT_EQ(s->Exec("INSERT INTO Archive (ID) SELECT ID, Name FROM Items"),
              "ERROR 21S01 [Zorvi][Zorvi ODBC Driver]Insert value list does not match column "
              "list.");
}

// Values of dynamic parameters: one prepared INSERT executed for several
// rows, and an UPDATE whose value and condition are parameters.
TEST_F(E2eDml, ParametersGiveTheValues)
{
    SQLINTEGER id = 0;
    char name[16] = {};
    SQLLEN idLength = 0, nameLength = SQL_NTS;
    ASSERT_EQ(
        SQLPrepare(s->stmt, Text("INSERT INTO Items (ID, Name, Qty) VALUES (?, ?, -1)"), SQL_NTS),
        SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s->stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER,
                                               0, 0, &id, 0, &idLength)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s->stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR,
                                               10, 0, name, sizeof name, &nameLength)));
    for (int k = 0; k < 3; ++k) {
        id = 50 + k;
        std::snprintf(name, sizeof name, "p%d", k);
        ASSERT_EQ(SQLExecute(s->stmt), SQL_SUCCESS) << s->Diag();
        SQLLEN count = 0;
        EXPECT_EQ(SQLRowCount(s->stmt, &count), SQL_SUCCESS);
        EXPECT_EQ(count, 1);
    }
    SQLFreeStmt(s->stmt, SQL_RESET_PARAMS);
    EXPECT_EQ(s->Query("SELECT ID, Name FROM Items WHERE Qty = -1 ORDER BY ID"),
              (Rows{"50|p0", "51|p1", "52|p2"}));

    SQLINTEGER qty = 9, low = 51;
    SQLLEN qtyLength = 0, lowLength = 0;
    ASSERT_EQ(SQLPrepare(s->stmt, Text("UPDATE Items SET Qty = ? WHERE ID >= ?"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s->stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG,
                                               SQL_SMALLINT, 0, 0, &qty, 0, &qtyLength)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s->stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER,
                                               0, 0, &low, 0, &lowLength)));
    EXPECT_EQ(s->Outcome(SQLExecute(s->stmt)), "OK 2");
    SQLFreeStmt(s->stmt, SQL_RESET_PARAMS);
    EXPECT_EQ(s->Query("SELECT ID FROM Items WHERE Qty = 9 ORDER BY ID"), (Rows{"51", "52"}));
}

// Binary values are written from hexadecimal text.
TEST_F(E2eDml, BinaryValuesFromHexText)
{
    EXPECT_EQ(s->Exec("INSERT INTO Archive VALUES (1, 'b', '0A1bFF')"), "OK 1");
    EXPECT_EQ(s->Query("SELECT Raw FROM Archive WHERE ID = 1"), Rows{"0A1BFF"});
    EXPECT_EQ(s->Exec("UPDATE Archive SET Raw = '00' WHERE ID = 1"), "OK 1");
    EXPECT_EQ(s->Query("SELECT Raw FROM Archive"), Rows{"00"});
    std::string got = s->Exec("UPDATE Archive SET Raw = 'xyz'");
    EXPECT_EQ(got.substr(0, 6), "ERROR ") << got;
}

TEST_F(E2eDml, UpdateAndDeleteCountTheirRows)
{
    EXPECT_EQ(s->Exec("UPDATE Items SET Price = Price * 2, Note = 'x' WHERE Qty = 2"), "OK 2");
    EXPECT_EQ(s->Query("SELECT ID, Price, Note FROM Items ORDER BY ID"),
              (Rows{"1|0.5|small", "2|0.5|x", "3|12|big", "4|60|x"}));
    // No row matches: success with a count of 0, nothing changed.
    EXPECT_EQ(s->Exec("UPDATE Items SET Price = 0 WHERE Name = 'none'"), "OK 0");
    EXPECT_EQ(s->Exec("DELETE FROM Items WHERE Qty > 100"), "OK 0");
    EXPECT_EQ(s->Exec("UPDATE Items SET Done = 1"), "OK 4");
    EXPECT_EQ(s->Query("SELECT COUNT(*) FROM Items WHERE Done = 1"), Rows{"4"});
    EXPECT_EQ(s->Exec("DELETE FROM Items WHERE Price < 1"), "OK 2");
    EXPECT_EQ(s->Query("SELECT ID FROM Items ORDER BY ID"), (Rows{"3", "4"}));
    EXPECT_EQ(s->Exec("DELETE FROM Items"), "OK 2");
    EXPECT_EQ(s->Query("SELECT COUNT(*) FROM Items"), Rows{"0"});
}

// An UPDATE that changes the key of the index its rows are found through
// changes every row once.
TEST_F(E2eDml, UpdateOfTheScannedKeyChangesEachRowOnce)
{
    EXPECT_EQ(s->Exec("UPDATE Items SET Qty = Qty + 1 WHERE Qty IN (1, 2, 3)"), "OK 3");
    EXPECT_EQ(s->Query("SELECT ID, Qty FROM Items ORDER BY ID"),
              (Rows{"1|2", "2|3", "3|5", "4|3"}));
    EXPECT_EQ(s->Exec("UPDATE Items SET ID = ID + 10 WHERE ID >= 1"), "OK 4");
    EXPECT_EQ(s->Query("SELECT ID FROM Items ORDER BY ID"), (Rows{"11", "12", "13", "14"}));
    // Rows deleted through index ranges, one after the other.
    EXPECT_EQ(s->Exec("DELETE FROM Items WHERE Qty IN (3, 5)"), "OK 3");
    EXPECT_EQ(s->Query("SELECT ID, Qty FROM Items"), Rows{"11|2"});
}

TEST_F(E2eDml, ValuesThatDoNotFit)
{
    struct Case {
        const char *sql;
        const char *expect; // prefix of the Exec outcome
    };
    const Case cases[] = {
        {"INSERT INTO Items (ID, Nope) VALUES (20, 1)", "ERROR S0022"},
        {"UPDATE Items SET Nope = 1", "ERROR S0022"},
        {"INSERT INTO Items (ID, Name, Qty) VALUES (20, 'a', 'many')", "ERROR "},
        {"UPDATE Items SET Qty = 'many'", "ERROR "},
        {"INSERT INTO Items (ID, Name) VALUES (20)", "ERROR 21S01"},
        {"INSERT INTO Items (ID, Name, ID) VALUES (20, 'a', 21)", "ERROR "},
        // NOT NULL: a mandatory field.
        {"INSERT INTO Items (ID, Name) VALUES (20, NULL)", "ERROR 23000"},
        {"INSERT INTO Items (ID) VALUES (20)", "ERROR 23000"},
        {"UPDATE Items SET Name = NULL WHERE ID = 1", "ERROR 23000"},
        // A text longer than its alpha field is cut, with a warning.
        {"INSERT INTO Items (ID, Name) VALUES (20, 'abcdefghijklm')",
         "INFO 1 01004 [Zorvi][Zorvi ODBC Driver]Data truncated column: Name."},
        // A unique key given twice.
        {"INSERT INTO Items (ID, Name) VALUES (1, 'twin')", "ERROR 23000"},
        {"INSERT INTO Items (ID, Name) VALUES (99999999999, 'big')", "ERROR 22003"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        std::string got = s->Exec(c.sql);
        EXPECT_EQ(got.substr(0, std::strlen(c.expect)), c.expect) << got;
    }
    EXPECT_EQ(s->Query("SELECT ID, Name FROM Items WHERE ID >= 20"), Rows{"20|abcdefghij"});
    EXPECT_EQ(s->Query("SELECT Name FROM Items WHERE ID = 1"), Rows{"bolt"});
}

// Under auto-commit an UPDATE that fails part way fails, says how far it
// came, and the rows it changed stay changed.
TEST_F(E2eDml, UpdateFailingPartWayIsAnError)
{
    std::string got = s->Exec("UPDATE Items SET ID = 7 WHERE Qty = 2");
    EXPECT_EQ(got.substr(0, 6), "ERROR ") << got;
    EXPECT_NE(got.find("1 row(s) changed before the failure, 1 failed."), std::string::npos) << got;
    EXPECT_EQ(s->Query("SELECT ID FROM Items ORDER BY ID"), (Rows{"1", "3", "4", "7"}));
}

TEST_F(E2eDml, ReadOnlyConnectionsRefuseEveryChange)
{
    SQLHSTMT prepared = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocStmt(h->dbc, &prepared), SQL_SUCCESS);
    ASSERT_EQ(SQLPrepare(prepared, Text("DELETE FROM Items"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectOption(h->dbc, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY), SQL_SUCCESS);
    for (const char *sql : {
             "INSERT INTO Items (ID, Name) VALUES (30, 'ro')",
             "UPDATE Items SET Qty = 0",
             "DELETE FROM Items WHERE ID = 1",
             "CREATE VIEW V1 AS SELECT ID FROM Items",
             "DROP VIEW V1",
             "CREATE INDEX IQ ON Items (Price)",
         }) {
        SCOPED_TRACE(sql);
        std::string got = s->Exec(sql);
        // 42000, as the Driver Manager gives it to an ODBC 2 application.
        EXPECT_EQ(got.substr(0, 11), "ERROR 37000") << got;
        EXPECT_NE(got.find("Access violation."), std::string::npos) << got;
    }
    // Prepared before the connection became read-only: refused at execution.
    EXPECT_EQ(SQLExecute(prepared), SQL_ERROR);
    SQLFreeStmt(prepared, SQL_DROP);
    EXPECT_EQ(s->Query("SELECT COUNT(*) FROM Items WHERE Qty > 0"), Rows{"4"});
}

TEST_F(E2eDml, AutoCommitAgainstManualCommit)
{
    // A second connection sees what the first one committed.
    OdbcHandles h2(SQL_OV_ODBC2);
    Session other(&h2);
    ASSERT_TRUE(other.ok) << h2.Diag();

    EXPECT_EQ(s->Exec("UPDATE Items SET Qty = 50 WHERE ID = 1"), "OK 1");
    EXPECT_EQ(other.Query("SELECT Qty FROM Items WHERE ID = 1"), Rows{"50"});

    ASSERT_EQ(SQLSetConnectOption(h->dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
    EXPECT_EQ(s->Exec("UPDATE Items SET Qty = 60 WHERE ID = 1"), "OK 1");
    EXPECT_EQ(s->Exec("DELETE FROM Items WHERE ID = 2"), "OK 1");
    EXPECT_EQ(s->Query("SELECT ID, Qty FROM Items WHERE ID <= 2"), Rows{"1|60"});
    EXPECT_EQ(SQLTransact(SQL_NULL_HENV, h->dbc, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(s->Query("SELECT ID, Qty FROM Items WHERE ID <= 2"), (Rows{"1|50", "2|2"}));

    EXPECT_EQ(s->Exec("INSERT INTO Items (ID, Name) VALUES (40, 'kept')"), "OK 1");
    EXPECT_EQ(SQLTransact(SQL_NULL_HENV, h->dbc, SQL_COMMIT), SQL_SUCCESS);
    EXPECT_EQ(other.Query("SELECT Name FROM Items WHERE ID = 40"), Rows{"kept"});

    ASSERT_EQ(SQLSetConnectOption(h->dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON), SQL_SUCCESS);
    EXPECT_EQ(s->Exec("DELETE FROM Items WHERE ID = 40"), "OK 1");
    EXPECT_EQ(other.Query("SELECT COUNT(*) FROM Items WHERE ID = 40"), Rows{"0"});
}

// With auto-commit off a change opens a transaction: SQLDisconnect refuses
// with 25000 and keeps the connection (the change is neither lost nor
// committed behind the application's back) until SQLTransact ends it; after
// a commit the change is on the server for a new connection, after a
// rollback it is gone.
TEST_F(E2eDml, DisconnectInsideATransactionIsRefused)
{
    struct Case {
        const char *name;
        SQLUSMALLINT end;
        const char *seen; // Qty of item 1 after reconnecting
    };
    for (const Case &c : {Case{"commit", SQL_COMMIT, "71"}, Case{"rollback", SQL_ROLLBACK, "50"}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(s->Exec("UPDATE Items SET Qty = 50 WHERE ID = 1"), "OK 1");
        ASSERT_EQ(SQLSetConnectOption(h->dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
        EXPECT_EQ(s->Exec("UPDATE Items SET Qty = 71 WHERE ID = 1"), "OK 1");
        std::string text;
        EXPECT_EQ(SQLDisconnect(h->dbc), SQL_ERROR);
        EXPECT_EQ(h->Diag(nullptr, &text), "25000");
        EXPECT_NE(text.find("Invalid transaction state."), std::string::npos) << text;
        // Still connected, inside its transaction.
        EXPECT_EQ(s->Query("SELECT Qty FROM Items WHERE ID = 1"), Rows{"71"});
        EXPECT_EQ(SQLTransact(SQL_NULL_HENV, h->dbc, c.end), SQL_SUCCESS) << h->Diag();
        // A query in manual mode opens a transaction too; ending it lets go.
        EXPECT_EQ(s->Query("SELECT Qty FROM Items WHERE ID = 1"), Rows{c.seen});
        EXPECT_EQ(SQLDisconnect(h->dbc), SQL_ERROR);
        EXPECT_EQ(SQLTransact(SQL_NULL_HENV, h->dbc, SQL_ROLLBACK), SQL_SUCCESS) << h->Diag();
        s.reset(); // drops the statement and disconnects
        h = std::make_unique<OdbcHandles>(SQL_OV_ODBC2);
        s = std::make_unique<Session>(h.get());
        ASSERT_TRUE(s->ok) << h->Diag();
        EXPECT_EQ(s->Query("SELECT Qty FROM Items WHERE ID = 1"), Rows{c.seen});
    }
    // Switching auto-commit back on commits the open transaction and lets
    // the connection go.
    ASSERT_EQ(SQLSetConnectOption(h->dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
    EXPECT_EQ(s->Exec("UPDATE Items SET Qty = 72 WHERE ID = 1"), "OK 1");
    ASSERT_EQ(SQLSetConnectOption(h->dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON), SQL_SUCCESS);
    OdbcHandles h2(SQL_OV_ODBC2);
    Session other(&h2);
    ASSERT_TRUE(other.ok) << h2.Diag();
    EXPECT_EQ(other.Query("SELECT Qty FROM Items WHERE ID = 1"), Rows{"72"});
    // The isolation level cannot change inside a transaction (S1011).
    ASSERT_EQ(SQLSetConnectOption(h->dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
    EXPECT_EQ(s->Exec("UPDATE Items SET Qty = 73 WHERE ID = 1"), "OK 1");
    EXPECT_EQ(SQLSetConnectOption(h->dbc, SQL_TXN_ISOLATION, SQL_TXN_READ_COMMITTED), SQL_ERROR);
    EXPECT_EQ(h->Diag(), "S1011");
    EXPECT_EQ(SQLTransact(SQL_NULL_HENV, h->dbc, SQL_ROLLBACK), SQL_SUCCESS);
    // Outside it the option reaches the data source, which takes no level.
    EXPECT_EQ(SQLSetConnectOption(h->dbc, SQL_TXN_ISOLATION, SQL_TXN_READ_COMMITTED), SQL_ERROR);
    EXPECT_EQ(h->Diag(), "S1000");
}

// Changes made through a second statement while a query on the same table
// is being fetched: the query goes on with its rows.
TEST_F(E2eDml, ChangesWhileAQueryIsOpen)
{
    SQLHSTMT reader = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocStmt(h->dbc, &reader), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(reader, Text("SELECT ID FROM Items"), SQL_NTS), SQL_SUCCESS);
    std::vector<std::string> seen;
    SQLINTEGER id = 0;
    SQLLEN length = 0;
    ASSERT_EQ(SQLBindCol(reader, 1, SQL_C_LONG, &id, 0, &length), SQL_SUCCESS);
    while (SQLFetch(reader) == SQL_SUCCESS) {
        seen.push_back(std::to_string(id));
        // The row deleted below was read with the cursor's first window: it
        // is still fetched, and no longer there to change.
        EXPECT_EQ(s->Exec("UPDATE Items SET Qty = Qty + 10 WHERE ID = " + std::to_string(id)),
                  id == 3 ? "OK 0" : "OK 1");
        if (id == 2) {
            EXPECT_EQ(s->Exec("DELETE FROM Items WHERE ID = 3"), "OK 1");
        }
    }
    SQLFreeStmt(reader, SQL_DROP);
    EXPECT_EQ(seen, (Rows{"1", "2", "3", "4"}));
    EXPECT_EQ(s->Query("SELECT ID, Qty FROM Items ORDER BY ID"), (Rows{"1|11", "2|12", "4|12"}));
}

// The data source defines no tables or indexes: the definitions are refused
// with their own messages, and nothing changes.
TEST_F(E2eDml, DefinitionsTheDataSourceDoesNotOffer)
{
    const std::string unsupported = "ERROR 37000 [Zorvi][Zorvi ODBC Driver]";
    struct Case {
        const char *sql;
        const char *message;
    } const cases[] = {
        {"CREATE TABLE T1 (A INTEGER)", "Unsupported SQL command in statement."},
        {"DROP TABLE Items", "Unsupported SQL command in statement."},
        {"CREATE UNIQUE INDEX I1 ON Items (Price DESC, Name)",
         "Create index statement not supported."},
        {"DROP INDEX Items.Qty", "Drop index statement not supported."},
    };
    for (const Case &c : cases)
        EXPECT_EQ(s->Exec(c.sql), unsupported + c.message) << c.sql;
    EXPECT_EQ(s->Query("SELECT COUNT(*) FROM Items"), Rows{"4"});
}

// With ValidateIndex on, the index a query reads through is counted against
// its table by statements of the driver's own before the query runs; a sound
// index lets the query run as before.
TEST_F(E2eDml, ValidatedIndexLetsTheQueryRun)
{
    EXPECT_EQ(s->Exec("SET ValidateIndex ON"), "OK -1");
    EXPECT_EQ(s->Query("SELECT Name FROM Items WHERE Qty = 2 ORDER BY Name"),
              (Rows{"nut", "shaft"}));
    std::string trace = ReadFile("trace.log");
    EXPECT_NE(trace.find("Select * from \"ITEMS\" ORDER BY \"Qty\""), std::string::npos) << trace;
}

// The counting statements of index validation show in the trace as the
// calls they stand for, within the execution of the query they check.
TEST_F(E2eDml, ValidationStatementsShowInTheTraceAsCalls)
{
    EXPECT_EQ(s->Exec("SET ValidateIndex ON"), "OK -1");
    ASSERT_EQ(SQLExecDirect(s->stmt, Text("SELECT Name FROM Items WHERE Qty = 2"), SQL_NTS),
              SQL_SUCCESS);
    std::string trace = ReadFile("trace.log");
    size_t from = trace.find("\"SELECT Name FROM Items WHERE Qty = 2\"");
    ASSERT_NE(from, std::string::npos) << trace;
    from = trace.rfind('\n', from) + 1;
    std::vector<std::string> heads;
    for (size_t at = from; at < trace.size();) {
        size_t end = trace.find('\n', at);
        std::string line = trace.substr(at, end - at);
        if (line.rfind(">SQL", 0) == 0)
            heads.push_back(line.substr(0, line.find('(')));
        else if (line.rfind("<SQL", 0) == 0)
            heads.push_back(line.substr(0, line.find('.') + 1));
        at = end == std::string::npos ? trace.size() : end + 1;
    }
    // Items has four rows: each count reads them and the end.
    std::vector<std::string> count = {
        ">SQLAllocStmt",           "<SQLAllocStmt returned 0.",
        ">SQLExecDirect",          ">SQLPrepare",
        "<SQLPrepare returned 0.", ">SQLExecute",
        "<SQLExecute returned 0.", "<SQLExecDirect returned 0.",
    };
    for (int row = 0; row <= 4; ++row) {
        count.push_back(">SQLFetch");
        count.push_back(row < 4 ? "<SQLFetch returned 0." : "<SQLFetch returned 100.");
    }
    count.push_back(">SQLFreeStmt");
    count.push_back("<SQLFreeStmt returned 0.");
    std::vector<std::string> expected = {">SQLExecDirect", ">SQLPrepare", "<SQLPrepare returned 0.",
                                         ">SQLExecute"};
    expected.insert(expected.end(), count.begin(), count.end());
    expected.insert(expected.end(), count.begin(), count.end());
    expected.push_back("<SQLExecute returned 0.");
    expected.push_back("<SQLExecDirect returned 0.");
    EXPECT_EQ(heads, expected) << trace.substr(from);
}

TEST_F(E2eDml, RowCountOfOtherStatements)
{
    SQLLEN count = 0;
    ASSERT_EQ(SQLExecDirect(s->stmt, Text("SELECT ID FROM Items"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLRowCount(s->stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, -1);
    SQLFreeStmt(s->stmt, SQL_CLOSE);
    EXPECT_EQ(s->Exec("CREATE VIEW V2 AS SELECT ID FROM Items"), "OK -1");
    EXPECT_EQ(s->Exec("DROP VIEW V2"), "OK -1");
    // A prepared change runs again with each execution.
    ASSERT_EQ(SQLPrepare(s->stmt, Text("UPDATE Items SET Qty = Qty + 1 WHERE ID < 3"), SQL_NTS),
              SQL_SUCCESS);
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(SQLExecute(s->stmt), SQL_SUCCESS) << s->Diag();
        EXPECT_EQ(SQLRowCount(s->stmt, &count), SQL_SUCCESS);
        EXPECT_EQ(count, 2);
    }
    EXPECT_EQ(s->Query("SELECT Qty FROM Items WHERE ID < 3 ORDER BY ID"), (Rows{"4", "5"}));

    // An ODBC 3 application: a change that matches no row is no error either.
    OdbcHandles h3(SQL_OV_ODBC3);
    Session s3(&h3);
    ASSERT_TRUE(s3.ok);
    SQLRETURN rc = SQLExecDirect(s3.stmt, Text("DELETE FROM Items WHERE ID = 999"), SQL_NTS);
    EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_NO_DATA) << rc << " " << s3.Diag();
    EXPECT_EQ(SQLRowCount(s3.stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 0);
}

} // namespace
