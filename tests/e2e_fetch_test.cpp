// Result sets through the unixODBC Driver Manager against qxserver: queries
// executed and read with SQLFetch and SQLGetData or with bound columns, the
// end of the result, SQL_MAX_ROWS, the cursor states around the fetch,
// closing and executing again, and the sort the NoOptSort option asks for.
#include "tests/e2e_fixture.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

class E2eFetch : public E2eConnected {
protected:
    void SetUp() override
    {
        fixture = QX_FETCH_FIXTURE;
        E2eConnected::SetUp();
    }
};

struct Case {
    const char *sql;
    std::vector<std::string> rows;
};

const Case kCases[] = {
    {"SELECT ID, Name FROM Emp ORDER BY ID", {"1|Ann", "2|Bo", "3|Cy", "4|Di", "5|Ed"}},
    {"SELECT Name FROM Emp WHERE Dept = 1 ORDER BY Name DESC", {"Cy", "Ann"}},
    {"SELECT ID, Nick FROM Emp WHERE Nick IS NULL OR ID = 5", {"4|NULL", "5|ed"}},
    {"SELECT ID * 10 + Dept FROM Emp WHERE ID > 3 ORDER BY 1", {"42", "53"}},
    {"SELECT e.Name, d.Name FROM Emp e, Dept d WHERE e.Dept = d.ID ORDER BY e.ID",
     {"Ann|Sales", "Bo|Lab", "Cy|Sales", "Di|Lab", "Ed|Desk"}},
    {"SELECT Dept, COUNT(*) FROM Emp GROUP BY Dept ORDER BY Dept", {"1|2", "2|2", "3|1"}},
    {"SELECT d.Name, COUNT(*) FROM Emp e, Dept d WHERE e.Dept = d.ID GROUP BY d.Name ORDER BY 2 "
     "DESC, 1",
     {"Lab|2", "Sales|2", "Desk|1"}},
    {"SELECT DISTINCT Dept FROM Emp ORDER BY Dept", {"1", "2", "3"}},
    {"SELECT Name FROM Emp WHERE ID > 99", {}},
};

TEST_F(E2eFetch, RowsThroughGetData)
{
    for (const Case &c : kCases)
        EXPECT_EQ(Query(c.sql), c.rows) << c.sql;
}

TEST_F(E2eFetch, RowsThroughBoundColumns)
{
    // An integer column bound as SQL_C_LONG, a text as SQL_C_CHAR, a NULL.
    SQLINTEGER id = 0;
    char name[8] = {};
    double salary = 0;
    char nick[8] = {};
    SQLLEN idLength = 0, nameLength = 0, salaryLength = 0, nickLength = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &idLength), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name, &nameLength), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 3, SQL_C_DOUBLE, &salary, 0, &salaryLength), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 4, SQL_C_CHAR, nick, sizeof nick, &nickLength), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(
                  stmt, Text("SELECT ID, Name, Salary, Nick FROM Emp WHERE ID >= 3 ORDER BY ID"),
                  SQL_NTS),
              SQL_SUCCESS)
        << Diag();
    std::vector<std::string> rows;
    while (SQLFetch(stmt) == SQL_SUCCESS)
        rows.push_back(std::to_string(id) + "|" +
                       std::string(name, static_cast<size_t>(nameLength)) + "|" +
                       std::to_string(static_cast<int>(salary)) + "|" +
                       (nickLength == SQL_NULL_DATA ? "NULL" : std::string(nick)));
    EXPECT_EQ(rows, (std::vector<std::string>{"3|Cy|1500|cy", "4|Di|0|NULL", "5|Ed|700|ed"}));
    EXPECT_NE(salaryLength, SQL_NULL_DATA);

    // A text longer than its buffer is cut with 01004; the length is the
    // whole value's.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    char small[3] = {};
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, small, sizeof small, &nameLength), SQL_SUCCESS);
    ASSERT_EQ(
        SQLExecDirect(stmt, Text("SELECT ID, Name, Salary, Nick FROM Emp WHERE ID = 1"), SQL_NTS),
        SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(Diag(), "01004 [Zorvi][Zorvi ODBC Driver]Data truncated column 2.");
    EXPECT_STREQ(small, "An");
    EXPECT_EQ(nameLength, 3);

    // Unbound, nothing is written.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
    id = -7;
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT ID FROM Emp WHERE ID = 2"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(id, -7);
}

TEST_F(E2eFetch, CursorStatesAroundTheFetch)
{
    char buf[16] = {};
    SQLLEN length = 0;
    // No result yet: the fetch is out of sequence.
    EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "S1010");
    ASSERT_EQ(SQLPrepare(stmt, Text("SELECT Name FROM Emp WHERE ID <= 2 ORDER BY ID"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    // Executed, not positioned: no current row.
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &length), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "24000");
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << Diag();
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, buf, -1, &length), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "S1090");
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, buf, sizeof buf, &length), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "S1002");
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_STREQ(buf, "Ann");
    SQLRETURN last = 0;
    EXPECT_EQ(ReadRows(&last), (std::vector<std::string>{"Bo"}));
    EXPECT_EQ(last, SQL_NO_DATA_FOUND);
    // Past the end: no data again, and no current row.
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA_FOUND);
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &length), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "24000");
    // Closed: executing again gives the same rows, twice.
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
        EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
        ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
        EXPECT_EQ(ReadRows(), (std::vector<std::string>{"Ann", "Bo"}));
    }
    // A new prepare replaces the plan.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLPrepare(stmt, Text("SELECT Name FROM Dept ORDER BY ID DESC"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    EXPECT_EQ(ReadRows(), (std::vector<std::string>{"Desk", "Lab", "Sales"}));
}

TEST_F(E2eFetch, MaxRowsStopsTheFetch)
{
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_MAX_ROWS, 2), SQL_SUCCESS);
    EXPECT_EQ(Query("SELECT ID FROM Emp ORDER BY ID DESC"), (std::vector<std::string>{"5", "4"}));
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_MAX_ROWS, 0), SQL_SUCCESS);
    EXPECT_EQ(Query("SELECT ID FROM Emp ORDER BY ID DESC").size(), 5u);
}

// The Doc table's long values as the fixture writes them.
std::string DocBody()
{
    std::string body;
    char piece[16];
    for (int i = 0; i < 200; ++i) {
        std::snprintf(piece, sizeof piece, "%04d-", i);
        body += piece;
    }
    return body;
}
std::string DocData()
{
    std::string data;
    for (int i = 0; i < 300; ++i)
        data += static_cast<char>(i % 256);
    return data;
}
std::string Hex(const std::string &bytes)
{
    std::string text;
    char pair[3];
    for (unsigned char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", c);
        text += pair;
    }
    return text;
}

struct PieceCase {
    SQLUSMALLINT column; // of SELECT ID, Title, Body, Data FROM Doc WHERE ID = 1
    SQLSMALLINT cType;
    SQLLEN bufferLength;
    std::string whole;
};

TEST_F(E2eFetch, GetDataDeliversEveryByteOnceThenNoData)
{
    const PieceCase cases[] = {
        {3, SQL_C_CHAR, 64, DocBody()},      // a long text
        {3, SQL_C_CHAR, 2, DocBody()},       // one character a call
        {4, SQL_C_BINARY, 64, DocData()},    // long binary data
        {4, SQL_C_CHAR, 33, Hex(DocData())}, // the same as hexadecimal text
        {2, SQL_C_CHAR, 3, "long"},          // a short text
        {2, SQL_C_BINARY, 3, "long"},        // a short text as bytes
        {1, SQL_C_CHAR, 1, "1"},             // a number as text, nothing fits
    };
    for (const PieceCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "column " << c.column << " type " << c.cType
                                        << " buffer " << c.bufferLength);
        ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT ID, Title, Body, Data FROM Doc WHERE ID = 1"),
                                SQL_NTS),
                  SQL_SUCCESS)
            << Diag();
        ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
        bool isChar = c.cType == SQL_C_CHAR;
        SQLLEN room = isChar ? (c.bufferLength > 0 ? c.bufferLength - 1 : 0) : c.bufferLength;
        std::string got;
        for (int call = 0; call < 10000; ++call) {
            std::vector<char> buf(static_cast<size_t>(c.bufferLength) + 1, '\x7f');
            SQLLEN length = 0;
            SQLRETURN rc = SQLGetData(stmt, c.column, c.cType, buf.data(), c.bufferLength, &length);
            if (rc == SQL_NO_DATA_FOUND)
                break;
            ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << Diag();
            // The indicator is what is left of the value from this piece on.
            EXPECT_EQ(length, static_cast<SQLLEN>(c.whole.size() - got.size()));
            SQLLEN n = length < room ? length : room;
            EXPECT_EQ(rc, length > room ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
            if (rc == SQL_SUCCESS_WITH_INFO) {
                EXPECT_EQ(Diag().substr(0, 5), "01004");
            }
            if (isChar && c.bufferLength > 0) {
                EXPECT_EQ(buf[static_cast<size_t>(n)], '\0');
            }
            // Nothing is written past the piece (and its terminator).
            EXPECT_EQ(buf[static_cast<size_t>(c.bufferLength)], '\x7f');
            got.append(buf.data(), static_cast<size_t>(n));
            if (rc == SQL_SUCCESS) {
                EXPECT_EQ(got.size(), c.whole.size());
            }
            if (room == 0 && rc == SQL_SUCCESS_WITH_INFO)
                break; // a buffer that holds nothing only tells the length
        }
        if (room > 0) {
            EXPECT_EQ(got, c.whole);
        }
        std::vector<char> after(static_cast<size_t>(c.bufferLength));
        SQLLEN length = 0;
        EXPECT_EQ(SQLGetData(stmt, c.column, c.cType, after.data(), c.bufferLength, &length),
                  room > 0 ? SQL_NO_DATA_FOUND : SQL_SUCCESS_WITH_INFO);
        ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    }
}

TEST_F(E2eFetch, GetDataStartsAfreshOnEachRowAndColumn)
{
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT ID, Body FROM Doc ORDER BY ID"), SQL_NTS),
              SQL_SUCCESS)
        << Diag();
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    char buf[11] = {};
    SQLLEN length = 0;
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buf, "0000-0001-");
    // A fixed-size value is whole at once; the next call says no data.
    SQLINTEGER id = 0;
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &id, 0, &length), SQL_SUCCESS);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &id, 0, &length), SQL_NO_DATA_FOUND);
    // The other column goes on where it stopped.
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buf, "0002-0003-");
    EXPECT_EQ(length, 990);
    // The next row's values start at their beginning; the empty text is NULL.
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_EQ(length, SQL_NULL_DATA);
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, buf, sizeof buf, &length), SQL_NO_DATA_FOUND);
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &id, 0, &length), SQL_SUCCESS);
    EXPECT_EQ(id, 2);
    // A bound column is the fetch's: SQLGetData refuses it.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &length), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT ID, Body FROM Doc ORDER BY ID"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &id, 0, &length), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "S1002");
}

// A NULL read as text into a buffer with room writes an empty string, by
// SQLGetData as by a bound column, for a column read from its table and for
// a computed one; a buffer of no bytes is left alone.
TEST_F(E2eFetch, NullIntoACharacterBufferIsAnEmptyString)
{
    const char *sql = "SELECT Nick, {fn UCASE(Nick)} FROM Emp WHERE ID = 4";
    for (SQLUSMALLINT column : {1, 2}) {
        SCOPED_TRACE(column);
        ASSERT_EQ(SQLExecDirect(stmt, Text(sql), SQL_NTS), SQL_SUCCESS) << Diag();
        ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
        char buf[8];
        std::memset(buf, 'x', sizeof buf);
        SQLLEN length = 0;
        EXPECT_EQ(SQLGetData(stmt, column, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS);
        EXPECT_EQ(length, SQL_NULL_DATA);
        EXPECT_EQ(buf[0], '\0');
        EXPECT_EQ(buf[1], 'x');
        ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);

        ASSERT_EQ(SQLExecDirect(stmt, Text(sql), SQL_NTS), SQL_SUCCESS);
        ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
        std::memset(buf, 'x', sizeof buf);
        EXPECT_EQ(SQLGetData(stmt, column, SQL_C_CHAR, buf, 0, &length), SQL_SUCCESS);
        EXPECT_EQ(length, SQL_NULL_DATA);
        EXPECT_EQ(buf[0], 'x');
        ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);

        std::memset(buf, 'x', sizeof buf);
        ASSERT_EQ(SQLBindCol(stmt, column, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS);
        ASSERT_EQ(SQLExecDirect(stmt, Text(sql), SQL_NTS), SQL_SUCCESS);
        EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS);
        EXPECT_EQ(length, SQL_NULL_DATA);
        EXPECT_EQ(buf[0], '\0');
        ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
        ASSERT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
    }
}

// A value cut by SQLGetData says which column; SQLBindCol refuses the
// bookmark column (the data source keeps no bookmarks) and a column past
// what a select list may hold, and a fetch with a binding past the result's
// columns fails before it reads a row.
TEST_F(E2eFetch, TruncationAndBindingMessages)
{
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT ID, {fn UCASE(Name)}, Name FROM Emp WHERE ID = 1"),
                            SQL_NTS),
              SQL_SUCCESS)
        << Diag();
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    char buf[3];
    SQLLEN length = 0;
    for (SQLUSMALLINT column : {2, 3}) {
        EXPECT_EQ(SQLGetData(stmt, column, SQL_C_CHAR, buf, sizeof buf, &length),
                  SQL_SUCCESS_WITH_INFO);
        EXPECT_EQ(Diag(), "01004 [Zorvi][Zorvi ODBC Driver]Data truncated column " +
                              std::to_string(column) + ".");
        EXPECT_EQ(length, 3);
    }
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);

    EXPECT_EQ(SQLBindCol(stmt, 0, SQL_C_BOOKMARK, buf, sizeof buf, &length), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1C00 [Zorvi][Zorvi ODBC Driver]Driver not capable.");
    EXPECT_EQ(SQLBindCol(stmt, 257, SQL_C_CHAR, buf, sizeof buf, &length), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "S1002");
    SQLINTEGER id = 0;
    ASSERT_EQ(SQLBindCol(stmt, 4, SQL_C_LONG, &id, 0, &length), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT ID FROM Emp ORDER BY ID"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "S1002");
    // No row went by: once the binding is gone the first row comes.
    ASSERT_EQ(SQLBindCol(stmt, 4, SQL_C_LONG, nullptr, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &length), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(id, 1);
}

TEST_F(E2eFetch, MaxLengthEndsValuesWithoutATerminatorInBinaryData)
{
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_MAX_LENGTH, 50), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT Title, Body, Data FROM Doc WHERE ID = 1"), SQL_NTS),
              SQL_SUCCESS)
        << Diag();
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    // A text in pieces stops after 50 characters: the call that reaches the
    // limit succeeds, the next has no data.
    char text[40];
    SQLLEN length = 0;
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, text, sizeof text, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(length, 50);
    EXPECT_EQ(std::string(text), DocBody().substr(0, 39));
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, text, sizeof text, &length), SQL_SUCCESS);
    EXPECT_EQ(length, 11);
    EXPECT_EQ(std::string(text), DocBody().substr(39, 11));
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, text, sizeof text, &length), SQL_NO_DATA_FOUND);
    // Binary data: 50 bytes and not one byte more, no terminator.
    char bytes[64];
    std::memset(bytes, 0x7f, sizeof bytes);
    EXPECT_EQ(SQLGetData(stmt, 3, SQL_C_BINARY, bytes, sizeof bytes, &length), SQL_SUCCESS);
    EXPECT_EQ(length, 50);
    EXPECT_EQ(std::string(bytes, 50), DocData().substr(0, 50));
    EXPECT_EQ(bytes[50], '\x7f');

    // Bound columns: the limit holds at the fetch; a text as bytes ends
    // without a terminator.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_MAX_LENGTH, 3), SQL_SUCCESS);
    char title[8];
    std::memset(title, 0x7f, sizeof title);
    char data[8];
    std::memset(data, 0x7f, sizeof data);
    SQLLEN titleLength = 0, dataLength = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_BINARY, title, sizeof title, &titleLength), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 3, SQL_C_CHAR, data, sizeof data, &dataLength), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT Title, Body, Data FROM Doc WHERE ID = 1"), SQL_NTS),
              SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS) << Diag();
    EXPECT_EQ(titleLength, 3);
    EXPECT_EQ(std::string(title, 3), "lon");
    EXPECT_EQ(title[3], '\x7f');
    // Three bytes of binary data as text: six hexadecimal characters.
    EXPECT_EQ(dataLength, 6);
    EXPECT_STREQ(data, "000102");
}

TEST_F(E2eFetch, DroppingAnOpenCursorReleasesIt)
{
    // Statements dropped with an open result (and a sorted temporary table)
    // leave nothing behind for the sanitizer to find.
    for (int i = 0; i < 3; ++i) {
        SQLHSTMT other = SQL_NULL_HSTMT;
        ASSERT_EQ(SQLAllocStmt(h->dbc, &other), SQL_SUCCESS);
        ASSERT_EQ(SQLExecDirect(other, Text("SELECT Name FROM Emp ORDER BY Name DESC"), SQL_NTS),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLFetch(other), SQL_SUCCESS);
        EXPECT_EQ(SQLFreeStmt(other, SQL_DROP), SQL_SUCCESS);
    }
}

// A query's ordering under the NoOptSort engine option: its temporary table
// never spills (five rows), yet the sort library sorts it through an "SWP"
// file in the TempFileDirectory; without the option it is sorted in memory.
// The engine trace (DebugLevel 2) tells which sort ran.
TEST_F(E2eFetch, NoOptSortSendsAQuerysOrderingThroughTheSortLibrary)
{
    const std::string work = dir + "/work";
    ASSERT_TRUE(std::filesystem::create_directory(work));
    auto swpFiles = [&] {
        size_t n = 0;
        for (const auto &e : std::filesystem::directory_iterator(work))
            n += e.path().filename().string().rfind("SWP", 0) == 0 ? 1 : 0;
        return n;
    };
    for (bool noOptSort : {false, true}) {
        Disconnect();
        WriteDsn(std::string("EngineTrace=2\n") + (noOptSort ? "NoOptSort=1\n" : "") +
                 "[ZorviEngineOptions]\nTempFileDirectory=" + work + "\n");
        ConnectDemo();
        ASSERT_EQ(SQLExecDirect(stmt, Text("SET DebugLevel 2"), SQL_NTS), SQL_SUCCESS) << Diag();
        size_t from = ReadFile("trace.log").size();
        ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT Name FROM Emp ORDER BY Name DESC"), SQL_NTS),
                  SQL_SUCCESS)
            << Diag();
        // The sorted rows are read from the table's file while the cursor is open.
        EXPECT_EQ(swpFiles(), noOptSort ? 1u : 0u) << (noOptSort ? "NoOptSort" : "in memory");
        EXPECT_EQ(ReadRows(), (std::vector<std::string>{"Ed", "Di", "Cy", "Bo", "Ann"}));
        EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
        EXPECT_EQ(swpFiles(), 0u);
        std::string trace = ReadFile("trace.log").substr(from);
        EXPECT_EQ(trace.find("Invoking Mervik sort...") != std::string::npos, noOptSort) << trace;
        EXPECT_EQ(trace.find("Performing internal sort...") != std::string::npos, !noOptSort)
            << trace;
    }
}

} // namespace
