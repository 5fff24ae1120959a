// Rows read back while other statements delete records: results that went
// through a sort (the driver keeps a bookmark per row and reads the row's
// text through it later), one of them over a join, a plain scan read in
// windows, and an UPDATE through the index whose key it changes (it collects
// bookmarks first). The deletions come from another statement of the same
// connection, or from a second connection. Whatever is deleted, a row that
// comes back must be its record's own row (a deleted one is skipped, comes
// as it was read or fails with a bookmark error), and no live record may be
// skipped or changed in another's place.
#include "tests/e2e_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::string>;

constexpr int kRecords = 250;

std::string NameOf(int id)
{
    char name[16];
    std::snprintf(name, sizeof name, "N%03d", id);
    return name;
}

// Items: Id longint (indexed), Name alpha and Note text (both "N" and the
// Id), Rank integer (not indexed, the reverse of Id), Qty integer.
std::string Fixture()
{
    std::string f = R"({"users": [{"name": "demo", "password": "demo"}], "tables": [
 {"name": "Items", "fields": [
   {"name": "Id", "type": "longint", "indexed": true, "unique": true, "mandatory": true},
   {"name": "Name", "type": "alpha", "length": 20},
   {"name": "Rank", "type": "integer"},
   {"name": "Qty", "type": "integer"},
   {"name": "Note", "type": "text"}],
  "records": [)";
    for (int i = 1; i <= kRecords; ++i)
        f += (i > 1 ? ",\n" : "") + std::string("{\"Id\": ") + std::to_string(i) +
             ", \"Name\": \"" + NameOf(i) + "\", \"Rank\": " + std::to_string(kRecords + 1 - i) +
             ", \"Qty\": " + std::to_string(i % 5) + ", \"Note\": \"" + NameOf(i) + "\"}";
    return f + "]}]}";
}

// One connection with statements of its own.
struct Conn {
    Conn() : h(SQL_OV_ODBC2)
    {
        ok = SQL_SUCCEEDED(
            SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS));
    }
    ~Conn()
    {
        for (SQLHSTMT s : stmts)
            SQLFreeStmt(s, SQL_DROP);
        SQLDisconnect(h.dbc);
    }
    SQLHSTMT Stmt()
    {
        SQLHSTMT s = SQL_NULL_HSTMT;
        EXPECT_EQ(SQLAllocStmt(h.dbc, &s), SQL_SUCCESS);
        stmts.push_back(s);
        return s;
    }
    std::string Diag(SQLHSTMT s) const
    {
        std::string all;
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        while (SQL_SUCCEEDED(
            SQLError(h.env, h.dbc, s, state, &native, message, sizeof message, &length)))
            all += std::string(reinterpret_cast<char *>(state)) + " " +
                   reinterpret_cast<char *>(message) + ";";
        return all;
    }
    // Runs a statement on a statement handle of its own: "OK n" or "ERROR ...".
    std::string Exec(const std::string &sql)
    {
        if (!exec)
            exec = Stmt();
        SQLRETURN rc = SQLExecDirect(exec, Text(sql.c_str()), SQL_NTS);
        std::string out;
        if (!SQL_SUCCEEDED(rc)) {
            out = "ERROR " + Diag(exec);
        } else {
            SQLLEN count = -2;
            SQLRowCount(exec, &count);
            out = "OK " + std::to_string(count);
        }
        SQLFreeStmt(exec, SQL_CLOSE);
        return out;
    }
    // Up to `n` rows of an open result as "Id|Name"; a failed fetch gives a
    // row "ERROR ..." and reading goes on (at most ten times).
    Rows Fetch(SQLHSTMT s, size_t n = SIZE_MAX)
    {
        Rows rows;
        int errors = 0;
        while (rows.size() < n) {
            SQLRETURN rc = SQLFetch(s);
            if (rc == SQL_NO_DATA_FOUND)
                break;
            if (!SQL_SUCCEEDED(rc)) {
                rows.push_back("ERROR " + Diag(s));
                if (++errors == 10)
                    break;
                continue;
            }
            SQLINTEGER id = 0;
            char name[32] = {};
            SQLLEN l1 = 0, l2 = 0;
            EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(s, 1, SQL_C_LONG, &id, 0, &l1))) << Diag(s);
            EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(s, 2, SQL_C_CHAR, name, sizeof name, &l2)))
                << Diag(s);
            rows.push_back(std::to_string(id) + "|" + name);
        }
        return rows;
    }
    Rows Query(const std::string &sql)
    {
        SQLHSTMT s = Stmt();
        if (!SQL_SUCCEEDED(SQLExecDirect(s, Text(sql.c_str()), SQL_NTS)))
            return {"ERROR " + Diag(s)};
        Rows rows = Fetch(s);
        SQLFreeStmt(s, SQL_CLOSE);
        return rows;
    }

    OdbcHandles h;
    bool ok = false;
    std::vector<SQLHSTMT> stmts;
    SQLHSTMT exec = SQL_NULL_HSTMT;
};

Rows RowsOf(const std::vector<int> &ids)
{
    Rows rows;
    for (int id : ids)
        rows.push_back(std::to_string(id) + "|" + NameOf(id));
    return rows;
}

std::vector<int> Range(int from, int to, const std::set<int> &without = {})
{
    std::vector<int> ids;
    for (int i = from; from <= to ? i <= to : i >= to; i += from <= to ? 1 : -1)
        if (!without.count(i))
            ids.push_back(i);
    return ids;
}

// The rows as received, with a row that failed because its record is gone
// ("ERROR ...") and the rows of deleted records read before their deletion
// (`asRead`) taken out: what is left must be exactly the live records.
Rows WithoutDeleted(Rows rows, const std::set<int> &asRead)
{
    Rows out;
    for (const std::string &r : rows) {
        if (r.rfind("ERROR ", 0) == 0 && r.find("Bookmark") != std::string::npos)
            continue;
        int id = std::atoi(r.c_str());
        if (asRead.count(id) && r == RowsOf({id})[0])
            continue;
        out.push_back(r);
    }
    return out;
}

// "" when the rows are as expected, else where they first differ, with the
// rows around it and both lengths.
std::string Differ(const Rows &got, const Rows &want)
{
    if (got == want)
        return "";
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at])
        ++at;
    std::string out = "rows " + std::to_string(got.size()) + ", expected " +
                      std::to_string(want.size()) + "; from row " + std::to_string(at) + ": got";
    for (size_t k = at; k < got.size() && k < at + 6; ++k)
        out += " [" + got[k] + "]";
    out += ", expected";
    for (size_t k = at; k < want.size() && k < at + 6; ++k)
        out += " [" + want[k] + "]";
    return out;
}

class E2eBookmarks : public E2eFixture {
protected:
    void SetUp() override
    {
        fixture = (tempDir / "items.json").string();
        std::ofstream(fixture) << Fixture();
        E2eFixture::SetUp();
        a = std::make_unique<Conn>();
        other = std::make_unique<Conn>();
        ASSERT_TRUE(a->ok && other->ok);
    }
    void TearDown() override
    {
        a.reset();
        other.reset();
        E2eFixture::TearDown();
    }
    // The deleting connection: the reading one or the second one.
    Conn &Deleter(bool same) { return same ? *a : *other; }
    void Delete(bool same, const std::vector<int> &ids)
    {
        for (int id : ids)
            ASSERT_EQ(Deleter(same).Exec("DELETE FROM Items WHERE Id = " + std::to_string(id)),
                      "OK 1");
    }
    std::unique_ptr<Conn> a, other;
};

// ORDER BY a column without an index: the rows go through a sort (read back
// through their bookmarks, or carried whole through it). Deleting records
// that sort late but lie early in the table must not shift the records read
// back: a deleted record's row is as it was read, or missing.
TEST_F(E2eBookmarks, SortedRowsReadBackAfterDeletesAreTheirOwnRecords)
{
    std::set<int> deleted;
    for (bool same : {true, false}) {
        SCOPED_TRACE(same ? "same connection" : "other connection");
        SQLHSTMT s = a->Stmt();
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLExecDirect(s, Text("SELECT Id, Note FROM Items ORDER BY Rank"), SQL_NTS)))
            << a->Diag(s);
        int top = same ? kRecords : kRecords - 1;
        ASSERT_EQ(a->Fetch(s, 1), RowsOf({top}));
        // Not yet read: the first records of the table and two more; already
        // read: the top one.
        int k = same ? 0 : 1;
        std::vector<int> gone = {1 + k, 10 + k, 120 + k, top};
        Delete(same, gone);
        deleted.insert(gone.begin(), gone.end());
        EXPECT_EQ(Differ(WithoutDeleted(a->Fetch(s), deleted), RowsOf(Range(top - 1, 1, deleted))),
                  "");
        SQLFreeStmt(s, SQL_CLOSE);
    }
}

// The same through a join of the table with itself: the inner rows are
// found by a key seek, a selection of one record for each bookmark.
TEST_F(E2eBookmarks, JoinedRowsReadBackAfterDeletes)
{
    SQLHSTMT s = a->Stmt();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(
        s,
        Text("SELECT a.Id, b.Note FROM Items a, Items b WHERE b.Id = a.Id AND a.Qty = 0 "
             "ORDER BY a.Rank"),
        SQL_NTS)))
        << a->Diag(s);
    ASSERT_EQ(a->Fetch(s, 1), RowsOf({250}));
    Delete(true, {5, 100, 245});
    Delete(false, {10, 200});
    std::vector<int> ids;
    for (int i = 245; i > 0; i -= 5)
        if (i != 5 && i != 10 && i != 100 && i != 200 && i != 245)
            ids.push_back(i);
    EXPECT_EQ(Differ(WithoutDeleted(a->Fetch(s), {5, 10, 100, 200, 245}), RowsOf(ids)), "");
    SQLFreeStmt(s, SQL_CLOSE);
}

// A scan without a sort reads its selection in windows of 100 records:
// records deleted behind the reader must not make the next window skip live
// records; one deleted ahead of it is skipped, or returned as it was read
// when it was in the window already held.
TEST_F(E2eBookmarks, ScansGoOnWithTheNextRecordAfterDeletes)
{
    for (bool same : {true, false}) {
        SCOPED_TRACE(same ? "same connection" : "other connection");
        int shift = same ? 0 : 1000; // the second pass reads the records made by the first
        for (int i = 1; !same && i <= kRecords; ++i) {
            ASSERT_EQ(a->Exec("INSERT INTO Items (Id, Name, Rank, Qty) VALUES (" +
                              std::to_string(i + shift) + ", '" + NameOf(i + shift) + "', 0, 0)"),
                      "OK 1");
        }
        SQLHSTMT s = a->Stmt();
        std::string sql =
            "SELECT Id, Name FROM Items WHERE Rank " + std::string(same ? "> 0" : "= 0");
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, Text(sql.c_str()), SQL_NTS))) << a->Diag(s);
        ASSERT_EQ(a->Fetch(s, 150), RowsOf(Range(1 + shift, 150 + shift)));
        Delete(same, {5 + shift, 120 + shift, 170 + shift, 230 + shift});
        EXPECT_EQ(Differ(WithoutDeleted(a->Fetch(s), {170 + shift}),
                         RowsOf(Range(151 + shift, 250 + shift, {170 + shift, 230 + shift}))),
                  "");
        SQLFreeStmt(s, SQL_CLOSE);
    }
}

// UPDATE through the index whose key it changes collects bookmarks of the
// rows first and changes them afterwards. Here it runs while a sorted result
// holds bookmarks of the same table, with records deleted before and after:
// each change lands on its own record, and the sorted result still reads
// its own records' notes back.
TEST_F(E2eBookmarks, UpdatesThroughCollectedBookmarksChangeTheirOwnRecords)
{
    SQLHSTMT s = a->Stmt();
    ASSERT_TRUE(
        SQL_SUCCEEDED(SQLExecDirect(s, Text("SELECT Id, Note FROM Items ORDER BY Rank"), SQL_NTS)));
    ASSERT_EQ(a->Fetch(s, 1), RowsOf({250}));
    Delete(true, {1, 2});
    EXPECT_EQ(a->Exec("UPDATE Items SET Id = Id + 1000 WHERE Id > 240"), "OK 10");
    Delete(false, {3});
    EXPECT_EQ(a->Exec("UPDATE Items SET Qty = 9 WHERE Id < 20"), "OK 16");
    Rows rest = a->Fetch(s);
    SQLFreeStmt(s, SQL_CLOSE);
    std::map<int, std::string> byId;
    for (const std::string &r : a->Query("SELECT Id, Note FROM Items"))
        byId[std::atoi(r.c_str())] = r;
    EXPECT_EQ(byId.size(), static_cast<size_t>(kRecords - 3));
    for (int i = 4; i <= kRecords; ++i) {
        int id = i > 240 ? i + 1000 : i;
        EXPECT_EQ(byId[id], std::to_string(id) + "|" + NameOf(i)) << id;
    }
    EXPECT_EQ(a->Query("SELECT Id, Note FROM Items WHERE Qty = 9"), RowsOf(Range(4, 19)));
    // The sorted result's keys are as it read them; its notes are its own
    // records' (1..3 are gone: read before their deletion, or not at all).
    EXPECT_EQ(Differ(WithoutDeleted(rest, {1, 2, 3}), RowsOf(Range(249, 4))), "");
}

} // namespace
