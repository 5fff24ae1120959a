// Dynamic parameters through the unixODBC Driver Manager against qxserver:
// bound values of every C type the conversions allow against every column
// type, NULL indicators and SQL_NTS, executing again with new values, the
// errors for wrong types and lengths, INSERT, UPDATE and DELETE with
// parameters, parameter arrays (SQLParamOptions), and values sent at
// execution in pieces (long ones included) with SQLParamData and SQLPutData.
#include "tests/e2e_fixture.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The long value of the fixture: a note of 3000 characters.
std::string LongNote()
{
    std::string s;
    for (int i = 0; i < 3000; ++i)
        s += static_cast<char>('a' + i % 26);
    return s;
}
std::string FixtureText()
{
    return R"({"users": [{"name":"demo","password":"demo"}],
 "tables": [
  {"name": "P",
   "fields": [
    {"name":"ID","type":"longint","indexed":true,"unique":true,"mandatory":true},
    {"name":"Name","type":"alpha","length":30,"indexed":true},
    {"name":"Salary","type":"real"},
    {"name":"Dept","type":"integer"},
    {"name":"Born","type":"date"},
    {"name":"Start","type":"time"},
    {"name":"Active","type":"boolean"},
    {"name":"Notes","type":"text"},
    {"name":"Pic","type":"picture"}
   ],
   "records": [
    {"ID":1,"Name":"Ann","Salary":1200.5,"Dept":1,"Born":"1990-05-01","Start":"09:30:00",
     "Active":true,"Notes":"short note","Pic":"0102"},
    {"ID":2,"Name":"Bo","Salary":980.0,"Dept":2,"Born":"1985-12-31","Start":"17:45:10",
     "Active":false,"Notes":")" +
           LongNote() + R"("},
    {"ID":3,"Name":"Cy","Salary":1500.0,"Dept":1,"Born":"2000-02-29","Start":"08:00:00",
     "Active":true,"Notes":"other"},
    {"ID":4,"Name":"Di","Salary":0,"Dept":2}
   ]}
 ]})";
}

constexpr SQLLEN kNoIndicator = -12345; // bind a null pcbValue

// One bound parameter: C type, SQL type, precision, the value's bytes and
// its length/indicator.
struct Param {
    SQLSMALLINT cType;
    SQLSMALLINT sqlType;
    std::string bytes;
    SQLLEN ind = SQL_NTS;
    SQLULEN colDef = 0;
    SQLLEN bufferLength = 0;
    bool nullValue = false; // bind a null rgbValue
};

template <typename T>
std::string Bytes(T v)
{
    return std::string(reinterpret_cast<const char *>(&v), sizeof v);
}
std::string Str(const char *s) { return std::string(s, std::strlen(s) + 1); }

Param Long(SQLINTEGER v) { return {SQL_C_LONG, SQL_INTEGER, Bytes(v), 0}; }
Param Chars(const char *s, SQLSMALLINT sqlType = SQL_VARCHAR)
{
    return {SQL_C_CHAR, sqlType, Str(s), SQL_NTS};
}

class E2eParam : public E2eConnected {
protected:
    void SetUp() override
    {
        fixture = (tempDir / "params.json").string();
        qxtest::WriteFile(fixture, FixtureText());
        E2eConnected::SetUp();
    }
    // SQLSTATE and text of the statement's first record ("" when none).
    std::string Diag(std::string *text = nullptr) const
    {
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLError(h->env, h->dbc, stmt, state, &native, message, sizeof message, &length);
        if (text)
            *text = SQL_SUCCEEDED(rc) ? reinterpret_cast<char *>(message) : "";
        return SQL_SUCCEEDED(rc) ? reinterpret_cast<char *>(state) : "";
    }
    // The first column of the remaining rows, joined by ",".
    std::string Rows()
    {
        std::string out;
        char buf[256];
        SQLLEN length = 0;
        while (SQLFetch(stmt) == SQL_SUCCESS) {
            EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &length)));
            if (!out.empty())
                out += ',';
            out += length == SQL_NULL_DATA ? "NULL" : buf;
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return out;
    }
    // Binds the parameters (kept alive in `params`) and executes sql: the
    // rows, or "ERROR <SQLSTATE>" with the first record's text in *text.
    std::string Run(const std::string &sql, std::vector<Param> ps, std::string *text = nullptr)
    {
        params = std::move(ps);
        inds.assign(params.size(), 0);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        for (size_t i = 0; i < params.size(); ++i) {
            Param &p = params[i];
            inds[i] = p.ind;
            SQLRETURN rc =
                SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, p.cType,
                                 p.sqlType, p.colDef, 0, p.nullValue ? nullptr : p.bytes.data(),
                                 p.bufferLength, p.ind == kNoIndicator ? nullptr : &inds[i]);
            if (rc != SQL_SUCCESS)
                return "BIND " + Diag(text);
        }
        SQLRETURN rc = SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
        if (!SQL_SUCCEEDED(rc))
            return "ERROR " + Diag(text);
        return Rows();
    }
    // Sends value in pieces of `piece` bytes for the parameter SQLParamData
    // names; the SQLPutData results that were not SQL_SUCCESS, with their
    // SQLSTATE.
    std::string PutPieces(const std::string &value, size_t piece, SQLLEN cb = 0)
    {
        std::string failures;
        for (size_t at = 0; at < value.size(); at += piece) {
            size_t n = std::min(piece, value.size() - at);
            SQLRETURN rc = SQLPutData(stmt, const_cast<char *>(value.data() + at),
                                      cb != 0 ? cb : static_cast<SQLLEN>(n));
            if (rc != SQL_SUCCESS)
                failures += std::to_string(rc) + " " + Diag() + ";";
        }
        return failures;
    }

    std::vector<Param> params;
    std::vector<SQLLEN> inds;
};

struct MatrixCase {
    const char *sql;
    Param param;
    const char *rows;
};

TEST_F(E2eParam, EveryCTypeAgainstEveryColumnType)
{
    DATE_STRUCT born{1985, 12, 31};
    TIME_STRUCT start{17, 45, 10};
    TIMESTAMP_STRUCT stamp{1990, 5, 1, 0, 0, 0, 0};
    const MatrixCase cases[] = {
        // longint
        {"SELECT ID FROM P WHERE ID = ?", Long(3), "3"},
        {"SELECT ID FROM P WHERE ID = ?",
         {SQL_C_SHORT, SQL_SMALLINT, Bytes<SQLSMALLINT>(3), 0},
         "3"},
        {"SELECT ID FROM P WHERE ID = ?",
         {SQL_C_ULONG, SQL_INTEGER, Bytes<SQLUINTEGER>(3), 0},
         "3"},
        {"SELECT ID FROM P WHERE ID = ?", {SQL_C_TINYINT, SQL_TINYINT, Bytes<SQLSCHAR>(3), 0}, "3"},
        {"SELECT ID FROM P WHERE ID = ?", {SQL_C_UTINYINT, SQL_TINYINT, Bytes<SQLCHAR>(3), 0}, "3"},
        {"SELECT ID FROM P WHERE ID = ?", {SQL_C_BIT, SQL_BIT, Bytes<SQLCHAR>(1), 0}, "1"},
        {"SELECT ID FROM P WHERE ID = ?", {SQL_C_DOUBLE, SQL_DOUBLE, Bytes(3.0), 0}, "3"},
        {"SELECT ID FROM P WHERE ID = ?", {SQL_C_FLOAT, SQL_REAL, Bytes(3.0f), 0}, "3"},
        {"SELECT ID FROM P WHERE ID = ?", Chars("3", SQL_INTEGER), "3"},
        {"SELECT ID FROM P WHERE ID < ? ORDER BY ID", Chars("3", SQL_NUMERIC), "1,2"},
        // integer
        {"SELECT ID FROM P WHERE Dept = ? ORDER BY ID", Long(2), "2,4"},
        {"SELECT ID FROM P WHERE Dept = ? ORDER BY ID", Chars(" 1 ", SQL_SMALLINT), "1,3"},
        // real
        {"SELECT ID FROM P WHERE Salary = ?", {SQL_C_DOUBLE, SQL_DOUBLE, Bytes(980.0), 0}, "2"},
        {"SELECT ID FROM P WHERE Salary = ?", {SQL_C_FLOAT, SQL_REAL, Bytes(1200.5f), 0}, "1"},
        {"SELECT ID FROM P WHERE Salary = ?", Long(1500), "3"},
        {"SELECT ID FROM P WHERE Salary = ?", Chars("1200.5", SQL_DOUBLE), "1"},
        {"SELECT ID FROM P WHERE Salary > ? ORDER BY ID", Chars("1000", SQL_FLOAT), "1,3"},
        // alpha: SQL_NTS, an explicit length shorter than the text, CHAR and VARCHAR
        {"SELECT ID FROM P WHERE Name = ?", Chars("Bo"), "2"},
        {"SELECT ID FROM P WHERE Name = ?", {SQL_C_CHAR, SQL_CHAR, "Boxx", 2}, "2"},
        {"SELECT ID FROM P WHERE Name = ?",
         {SQL_C_CHAR, SQL_VARCHAR, Str("Cy"), kNoIndicator},
         "3"},
        {"SELECT ID FROM P WHERE Name LIKE ? ORDER BY ID", Chars("%y"), "3"},
        {"SELECT ID FROM P WHERE Name = ?", Chars(""), ""},
        // date
        {"SELECT ID FROM P WHERE Born = ?", {SQL_C_DATE, SQL_DATE, Bytes(born), 0}, "2"},
        {"SELECT ID FROM P WHERE Born = ?", Chars("1990-05-01", SQL_DATE), "1"},
        {"SELECT ID FROM P WHERE Born = ?", {SQL_C_TIMESTAMP, SQL_TIMESTAMP, Bytes(stamp), 0}, "1"},
        {"SELECT ID FROM P WHERE Born < ? ORDER BY ID", Chars("1995-01-01", SQL_DATE), "1,2"},
        // time
        {"SELECT ID FROM P WHERE Start = ?", {SQL_C_TIME, SQL_TIME, Bytes(start), 0}, "2"},
        {"SELECT ID FROM P WHERE Start = ?", Chars("08:00:00", SQL_TIME), "3"},
        // boolean
        {"SELECT ID FROM P WHERE Active = ? ORDER BY ID",
         {SQL_C_BIT, SQL_BIT, Bytes<SQLCHAR>(1), 0},
         "1,3"},
        {"SELECT ID FROM P WHERE Active = ? ORDER BY ID", Long(1), "1,3"},
        // text
        {"SELECT ID FROM P WHERE Notes LIKE ?", Chars("short%", SQL_LONGVARCHAR), "1"},
        {"SELECT ID FROM P WHERE Notes LIKE ?", Chars("%note"), "1"},
        // NULL: by indicator, with and without a value address, and in a
        // type other than the marker's (a NULL is NULL in every type)
        {"SELECT ID FROM P WHERE Name = ?",
         {SQL_C_CHAR, SQL_VARCHAR, Str("Bo"), SQL_NULL_DATA},
         ""},
        {"SELECT ID FROM P WHERE ID = ?",
         {SQL_C_LONG, SQL_INTEGER, "", SQL_NULL_DATA, 0, 0, true},
         ""},
        {"SELECT ID FROM P WHERE Salary = ?", {SQL_C_CHAR, SQL_VARCHAR, "", SQL_NULL_DATA}, ""},
    };
    for (const MatrixCase &c : cases) {
        std::string text;
        EXPECT_EQ(Run(c.sql, {c.param}, &text), c.rows)
            << c.sql << " C type " << c.param.cType << " SQL type " << c.param.sqlType << " "
            << text;
    }
}

TEST_F(E2eParam, SeveralParametersNullsAndExecutingAgain)
{
    EXPECT_EQ(Run("SELECT ID FROM P WHERE ID = ? AND Name LIKE ?", {Long(3), Chars("C%")}), "3");
    EXPECT_EQ(Run("SELECT ID FROM P WHERE ID IN (?, ?)", {Long(1), Long(4)}), "1,4");
    EXPECT_EQ(Run("SELECT ID FROM P WHERE Name = ? OR ID = ?",
                  {{SQL_C_CHAR, SQL_VARCHAR, Str("Ann"), SQL_NULL_DATA}, Long(4)}),
              "4");

    // Prepared once, executed with the values the bound buffers hold at
    // each execution.
    SQLINTEGER id = 0;
    char name[16] = "";
    SQLLEN nameInd = SQL_NTS;
    ASSERT_EQ(SQLPrepare(stmt, Text("SELECT Name FROM P WHERE ID >= ? AND Name <> ? ORDER BY ID"),
                         SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr),
        SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 15, 0, name,
                               sizeof name, &nameInd),
              SQL_SUCCESS);
    const struct {
        SQLINTEGER id;
        const char *name;
        SQLLEN ind;
        const char *rows;
    } runs[] = {{1, "Bo", SQL_NTS, "Ann,Cy,Di"},
                {3, "Di", SQL_NTS, "Cy"},
                {2, "Cyan", 2, "Bo,Di"},
                {1, "", SQL_NULL_DATA, ""}};
    for (const auto &r : runs) {
        id = r.id;
        std::strcpy(name, r.name);
        nameInd = r.ind;
        ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
        EXPECT_EQ(Rows(), r.rows) << r.id << " " << r.name;
    }
    // Rebinding replaces the record.
    SQLSMALLINT small = 4;
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SHORT, SQL_SMALLINT, 0, 0, &small, 0,
                               nullptr),
              SQL_SUCCESS);
    std::strcpy(name, "x");
    nameInd = SQL_NTS;
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    EXPECT_EQ(Rows(), "Di");
    // SQL_RESET_PARAMS forgets the bindings.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    EXPECT_EQ(SQLExecute(stmt), SQL_ERROR);
    EXPECT_EQ(Diag(), "07001");
}

TEST_F(E2eParam, WrongTypesAndLengthsAreRefused)
{
    DATE_STRUCT day{2000, 1, 1};
    const struct {
        const char *sql;
        std::vector<Param> params;
        const char *result;
        const char *textHas;
    } cases[] = {
        // A marker typed as text bound as a number, and the reverse.
        {"SELECT ID FROM P WHERE Name = ?", {Long(1)}, "ERROR 22005", "Dynamic parameter #1"},
        {"SELECT ID FROM P WHERE Notes = ?", {Chars("x", SQL_INTEGER)}, "ERROR 22005", "#1"},
        {"SELECT ID FROM P WHERE Name = ?", {Chars("x", SQL_LONGVARCHAR)}, "ERROR 22005", "#1"},
        // A value that does not convert.
        {"SELECT ID FROM P WHERE ID = ?", {Chars("abc", SQL_INTEGER)}, "ERROR 22005", "#1"},
        {"SELECT ID FROM P WHERE ID = ?", {Chars("99999999999", SQL_INTEGER)}, "ERROR 22003", "#1"},
        {"SELECT ID FROM P WHERE Born = ?", {Chars("2001-02-30", SQL_DATE)}, "ERROR 22008", ""},
        {"SELECT ID FROM P WHERE ID = ?",
         {{SQL_C_DATE, SQL_DATE, Bytes(day), 0}},
         "ERROR 07006",
         ""},
        // A C type that does not convert to the SQL type.
        {"SELECT ID FROM P WHERE ID = ?",
         {{SQL_C_DATE, SQL_INTEGER, Bytes(day), 0}},
         "BIND 07006",
         ""},
        // Lengths: a null value address with length 0 for a number, a
        // negative length that means nothing, a length beyond the buffer, a
        // text longer than its precision.
        {"SELECT ID FROM P WHERE ID = ?",
         {{SQL_C_LONG, SQL_INTEGER, "", 0, 0, 0, true}},
         "ERROR S1090",
         "pcbValue must equal SQL_NULL_DATA"},
        {"SELECT ID FROM P WHERE Name = ?",
         {{SQL_C_CHAR, SQL_VARCHAR, Str("Bo"), -7}},
         "ERROR S1090",
         "Invalid value stored in pcbValue"},
        {"SELECT ID FROM P WHERE ID = ?",
         {{SQL_C_LONG, SQL_INTEGER, Bytes<SQLINTEGER>(1), -7}},
         "ERROR 37000",
         ""},
        {"SELECT ID FROM P WHERE Name = ?",
         {{SQL_C_CHAR, SQL_VARCHAR, "Bo\0", 5, 0, 3}},
         "ERROR 37000",
         "pcbValue length exceeds buffer length Parameter #1"},
        {"SELECT ID FROM P WHERE Name = ?",
         {{SQL_C_CHAR, SQL_VARCHAR, Str("abcdefg"), SQL_NTS, 5}},
         "ERROR 22001",
         "Parameter #1"},
        // Binding errors.
        {"SELECT ID FROM P WHERE Name = ?",
         {{SQL_C_CHAR, SQL_VARCHAR, Str("x"), SQL_NTS, 100000}},
         "BIND S1104",
         ""},
    };
    for (const auto &c : cases) {
        std::string text;
        EXPECT_EQ(Run(c.sql, c.params, &text), c.result) << c.sql << " " << text;
        EXPECT_NE(text.find(c.textHas), std::string::npos) << c.sql << " " << text;
    }

    // Parameter 2 of 3 never bound: one record naming it.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    SQLINTEGER one = 1;
    ASSERT_EQ(
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &one, 0, nullptr),
        SQL_SUCCESS);
    ASSERT_EQ(
        SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &one, 0, nullptr),
        SQL_SUCCESS);
    EXPECT_EQ(
        SQLExecDirect(stmt, Text("SELECT ID FROM P WHERE ID = ? OR ID = ? OR ID = ?"), SQL_NTS),
        SQL_ERROR);
    std::string text;
    EXPECT_EQ(Diag(&text), "07001");
    EXPECT_NE(text.find("parameter #2."), std::string::npos) << text;
    EXPECT_EQ(Diag(), "");

    // A query takes one row of values.
    SQLULEN row = 0;
    ASSERT_EQ(
        SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &one, 0, nullptr),
        SQL_SUCCESS);
    ASSERT_EQ(SQLParamOptions(stmt, 2, &row), SQL_SUCCESS);
    EXPECT_EQ(
        SQLExecDirect(stmt, Text("SELECT ID FROM P WHERE ID = ? OR ID = ? OR ID = ?"), SQL_NTS),
        SQL_ERROR);
    EXPECT_EQ(Diag(), "S1C00");
    ASSERT_EQ(SQLParamOptions(stmt, 1, &row), SQL_SUCCESS);
    ASSERT_EQ(
        SQLExecDirect(stmt, Text("SELECT ID FROM P WHERE ID = ? OR ID = ? OR ID = ?"), SQL_NTS),
        SQL_SUCCESS)
        << Diag();
    EXPECT_EQ(Rows(), "1");
    EXPECT_EQ(row, 1u);
}

TEST_F(E2eParam, ValuesSentAtExecutionInPieces)
{
    // Two parameters at execution: SQLParamData names them in order by
    // their rgbValue, then runs the query once.
    SQLLEN atExec = SQL_DATA_AT_EXEC, lenAtExec = SQL_LEN_DATA_AT_EXEC(3000);
    ASSERT_EQ(SQLPrepare(stmt, Text("SELECT ID FROM P WHERE Name = ? AND Notes = ?"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0,
                               reinterpret_cast<SQLPOINTER>(1), 0, &atExec),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 65500, 0,
                               reinterpret_cast<SQLPOINTER>(2), 0, &lenAtExec),
              SQL_SUCCESS);
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA) << Diag();
        SQLPOINTER token = nullptr;
        ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
        EXPECT_EQ(token, reinterpret_cast<SQLPOINTER>(1));
        EXPECT_EQ(PutPieces("Bo", 1), "");
        ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
        EXPECT_EQ(token, reinterpret_cast<SQLPOINTER>(2));
        // The long note in 30 pieces (NTS for the first run).
        std::string note = LongNote();
        if (run == 0) {
            for (size_t at = 0; at < note.size(); at += 100) {
                std::string piece = note.substr(at, 100);
                ASSERT_EQ(SQLPutData(stmt, piece.data(), SQL_NTS), SQL_SUCCESS) << Diag();
            }
        } else {
            EXPECT_EQ(PutPieces(note, 100), "");
        }
        ASSERT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << Diag();
        EXPECT_EQ(Rows(), "2");
    }
}

TEST_F(E2eParam, DataAtExecutionErrorsAndCancel)
{
    SQLLEN atExec = SQL_DATA_AT_EXEC;
    SQLINTEGER id = 0;
    SQLLEN idInd = SQL_DATA_AT_EXEC;
    ASSERT_EQ(SQLPrepare(stmt, Text("SELECT ID FROM P WHERE ID = ? OR Notes LIKE ?"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, &idInd),
        SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0,
                               reinterpret_cast<SQLPOINTER>(2), 0, &atExec),
              SQL_SUCCESS);
    SQLINTEGER four = 4;
    SQLPOINTER token = nullptr;
    // Executes and sends 4 for the first parameter: the second one is asked.
    auto start = [&] {
        ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA) << Diag();
        ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA) << Diag();
        EXPECT_EQ(token, &id);
        ASSERT_EQ(SQLPutData(stmt, &four, 0), SQL_SUCCESS) << Diag();
        ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA) << Diag();
        EXPECT_EQ(token, reinterpret_cast<SQLPOINTER>(2));
    };

    // SQLParamData before any SQLPutData for the named parameter; two
    // pieces of a number. A failed SQLPutData ends the dialogue.
    ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    EXPECT_EQ(SQLParamData(stmt, &token), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1010");
    ASSERT_EQ(SQLPutData(stmt, &four, 0), SQL_SUCCESS) << Diag();
    EXPECT_EQ(SQLPutData(stmt, &four, 0), SQL_ERROR);
    EXPECT_EQ(Diag(), "22003");
    EXPECT_EQ(SQLParamData(stmt, &token), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1010");

    // A negative length other than SQL_NTS and SQL_NULL_DATA.
    start();
    EXPECT_EQ(SQLPutData(stmt, const_cast<char *>("x"), -7), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1090");
    // A total beyond what a long text holds (65,500 bytes), in one piece of
    // more than 64 KB and in several: refused, never cut.
    std::string big(70000, 'z');
    start();
    EXPECT_EQ(SQLPutData(stmt, big.data(), static_cast<SQLLEN>(big.size())), SQL_ERROR);
    std::string text;
    EXPECT_EQ(Diag(&text), "22001");
    EXPECT_NE(text.find("Parameter #2"), std::string::npos) << text;
    start();
    EXPECT_EQ(PutPieces(big.substr(0, 65000), 30000), "");
    EXPECT_EQ(PutPieces(big.substr(0, 501), 501), "-1 22001;");

    // Cancelling in the middle ends the dialogue; the statement runs again
    // with values bound in place.
    start();
    ASSERT_EQ(SQLPutData(stmt, const_cast<char *>("sh"), 2), SQL_SUCCESS);
    EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS);
    id = 3;
    idInd = 0;
    char pattern[] = "short%";
    SQLLEN patternInd = SQL_NTS;
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, pattern,
                               sizeof pattern, &patternInd),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    EXPECT_EQ(Rows(), "1,3");

    // A NULL sent at execution is NULL: it matches nothing.
    idInd = SQL_DATA_AT_EXEC;
    ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    ASSERT_EQ(SQLPutData(stmt, nullptr, SQL_NULL_DATA), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << Diag();
    EXPECT_EQ(Rows(), "1");
    // After the run, SQLParamData has nothing to ask.
    EXPECT_EQ(SQLParamData(stmt, &token), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1010");
}

} // namespace

namespace {

TEST_F(E2eParam, NumberAndDescriptionOfParameters)
{
    ASSERT_EQ(SQLPrepare(stmt,
                         Text("SELECT ID FROM P WHERE ID = ? AND Name LIKE ? AND Born < ? AND "
                              "Salary > ? + 1"),
                         SQL_NTS),
              SQL_SUCCESS)
        << Diag();
    SQLSMALLINT count = 0;
    ASSERT_EQ(SQLNumParams(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 4);
    const struct {
        SQLSMALLINT type;
        SQLULEN size;
    } expected[] = {{SQL_INTEGER, 10}, {SQL_VARCHAR, 30}, {SQL_DATE, 10}, {SQL_DOUBLE, 15}};
    for (SQLUSMALLINT k = 1; k <= 4; ++k) {
        SQLSMALLINT type = 0, scale = -1, nullable = -1;
        SQLULEN size = 0;
        ASSERT_EQ(SQLDescribeParam(stmt, k, &type, &size, &scale, &nullable), SQL_SUCCESS) << k;
        EXPECT_EQ(type, expected[k - 1].type) << k;
        EXPECT_EQ(size, expected[k - 1].size) << k;
        EXPECT_EQ(scale, 0) << k;
        EXPECT_EQ(nullable, SQL_NULLABLE) << k;
    }
    // Parameter 0 (the Driver Manager refuses it before the driver) and one
    // beyond the count.
    SQLSMALLINT type = 0;
    EXPECT_EQ(SQLDescribeParam(stmt, 0, &type, nullptr, nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(SQLDescribeParam(stmt, 5, &type, nullptr, nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1093");
}

} // namespace

namespace {

// A row of P as "ID|Name|Salary|Dept|Born|Start|Active|Notes" (NULL for NULL).
std::string RowText(SQLHSTMT stmt)
{
    std::string out;
    for (SQLUSMALLINT k = 1; k <= 8; ++k) {
        char buf[256] = {};
        SQLLEN length = 0;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, k, SQL_C_CHAR, buf, sizeof buf, &length)));
        if (k > 1)
            out += '|';
        out += length == SQL_NULL_DATA ? "NULL" : buf;
    }
    return out;
}

} // namespace

class E2eParamChange : public E2eParam {
protected:
    void SetUp() override
    {
        E2eParam::SetUp();
        ASSERT_EQ(SQLAllocStmt(h->dbc, &reader), SQL_SUCCESS);
    }
    void TearDown() override
    {
        if (reader != SQL_NULL_HSTMT)
            SQLFreeStmt(reader, SQL_DROP);
        E2eParam::TearDown();
    }
    std::string Row(SQLINTEGER id)
    {
        std::string sql = "SELECT ID, Name, Salary, Dept, Born, Start, Active, Notes FROM P WHERE "
                          "ID = " +
                          std::to_string(id);
        EXPECT_EQ(SQLExecDirect(reader, Text(sql.c_str()), SQL_NTS), SQL_SUCCESS) << ReaderDiag();
        std::string out = SQLFetch(reader) == SQL_SUCCESS ? RowText(reader) : "none";
        SQLFreeStmt(reader, SQL_CLOSE);
        return out;
    }
    // Reads a column of the row of P with the id whole (one SQLGetData call).
    std::string ReadLong(SQLINTEGER id, const char *column, SQLSMALLINT cType)
    {
        std::string sql =
            std::string("SELECT ") + column + " FROM P WHERE ID = " + std::to_string(id);
        EXPECT_EQ(SQLExecDirect(reader, Text(sql.c_str()), SQL_NTS), SQL_SUCCESS) << ReaderDiag();
        std::string buf(300000, '\0');
        SQLLEN length = 0;
        std::string out = "none";
        if (SQLFetch(reader) == SQL_SUCCESS) {
            EXPECT_EQ(
                SQLGetData(reader, 1, cType, buf.data(), static_cast<SQLLEN>(buf.size()), &length),
                SQL_SUCCESS)
                << ReaderDiag();
            out = length == SQL_NULL_DATA ? "NULL" : buf.substr(0, static_cast<size_t>(length));
        }
        SQLFreeStmt(reader, SQL_CLOSE);
        return out;
    }
    std::string ReaderDiag() const
    {
        SQLCHAR state[6] = {};
        SQLCHAR message[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLError(h->env, h->dbc, reader, state, &native, message, sizeof message, &length);
        return std::string(reinterpret_cast<char *>(state)) + " " +
               reinterpret_cast<char *>(message);
    }
    SQLHSTMT reader = SQL_NULL_HSTMT;
};

TEST_F(E2eParamChange, InsertUpdateDeleteTakeParameters)
{
    DATE_STRUCT born{2001, 1, 2};
    TIME_STRUCT start{7, 8, 9};
    EXPECT_EQ(Run("INSERT INTO P (ID, Name, Salary, Dept, Born, Start, Active, Notes) VALUES (?, "
                  "?, ?, ?, ?, ?, ?, ?)",
                  {Long(10),
                   Chars("Eve"),
                   {SQL_C_DOUBLE, SQL_DOUBLE, Bytes(321.5), 0},
                   {SQL_C_SHORT, SQL_SMALLINT, Bytes<SQLSMALLINT>(3), 0},
                   {SQL_C_DATE, SQL_DATE, Bytes(born), 0},
                   {SQL_C_TIME, SQL_TIME, Bytes(start), 0},
                   {SQL_C_BIT, SQL_BIT, Bytes<SQLCHAR>(1), 0},
                   Chars("a note", SQL_LONGVARCHAR)}),
              "");
    EXPECT_EQ(Row(10), "10|Eve|321.5|3|2001-01-02|07:08:09|1|a note");
    // Text for numbers, dates and times; NULL by indicator.
    EXPECT_EQ(Run("INSERT INTO P (ID, Name, Salary, Dept, Born, Start, Notes) VALUES (?, ?, ?, ?, "
                  "?, ?, ?)",
                  {Chars("11", SQL_INTEGER),
                   Chars("Fay"),
                   Chars("2.25", SQL_DOUBLE),
                   Chars("4", SQL_SMALLINT),
                   Chars("1999-12-31", SQL_DATE),
                   Chars("23:59:58", SQL_TIME),
                   {SQL_C_CHAR, SQL_LONGVARCHAR, "", SQL_NULL_DATA, 0, 0, true}}),
              "");
    EXPECT_EQ(Row(11), "11|Fay|2.25|4|1999-12-31|23:59:58|0|NULL");

    EXPECT_EQ(Run("UPDATE P SET Name = ?, Salary = Salary + ? WHERE ID = ?",
                  {Chars("Gus"), Long(10), Long(11)}),
              "");
    EXPECT_EQ(Row(11), "11|Gus|12.25|4|1999-12-31|23:59:58|0|NULL");
    EXPECT_EQ(Run("DELETE FROM P WHERE ID = ? OR Name = ?", {Long(10), Chars("Gus")}), "");
    EXPECT_EQ(Row(10), "none");
    EXPECT_EQ(Row(11), "none");
    // A value that does not fit its column's type, and one that does not
    // convert: the statement fails and nothing is written.
    std::string text;
    EXPECT_EQ(Run("INSERT INTO P (ID, Dept) VALUES (?, ?)", {Long(12), Long(100000)}, &text),
              "ERROR 22003")
        << text;
    EXPECT_EQ(
        Run("INSERT INTO P (ID, Born) VALUES (?, ?)", {Long(12), Chars("soon", SQL_DATE)}, &text),
        "ERROR 22008")
        << text;
    EXPECT_EQ(Row(12), "none");
}

TEST_F(E2eParamChange, ArraysOfValuesRunOnceARow)
{
    SQLINTEGER ids[3] = {20, 21, 22};
    char names[3][8] = {"one", "two", "three"};
    SQLLEN nameInd[3] = {SQL_NTS, 2, SQL_NULL_DATA};
    SQLULEN row = 0;
    ASSERT_EQ(SQLPrepare(stmt, Text("INSERT INTO P (ID, Name) VALUES (?, ?)"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr),
        SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0, names,
                               sizeof names[0], nameInd),
              SQL_SUCCESS);
    ASSERT_EQ(SQLParamOptions(stmt, 3, &row), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    SQLLEN count = 0;
    EXPECT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(row, 3u);
    EXPECT_EQ(Row(20), "20|one|0|0|NULL|00:00:00|0|NULL");
    EXPECT_EQ(Row(21), "21|tw|0|0|NULL|00:00:00|0|NULL");
    EXPECT_EQ(Row(22), "22|NULL|0|0|NULL|00:00:00|0|NULL");

    // A row that fails stops the execution there: pirow names it, the rows
    // before it stay written.
    ASSERT_EQ(SQLPrepare(stmt, Text("INSERT INTO P (ID, Name) VALUES (?, ?)"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr),
        SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0, names,
                               sizeof names[0], nameInd),
              SQL_SUCCESS);
    ids[0] = 23;
    ids[1] = 20; // already there
    ids[2] = 24;
    EXPECT_EQ(SQLExecute(stmt), SQL_ERROR);
    EXPECT_EQ(Diag(), "23000");
    EXPECT_EQ(row, 2u);
    EXPECT_EQ(Row(23), "23|one|0|0|NULL|00:00:00|0|NULL");
    EXPECT_EQ(Row(24), "none");

    // UPDATE with two rows of values: the row counts add up.
    SQLSMALLINT depts[2] = {7, 8};
    SQLINTEGER keys[2] = {20, 99};
    ASSERT_EQ(SQLPrepare(stmt, Text("UPDATE P SET Dept = ? WHERE ID >= ?"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SHORT, SQL_SMALLINT, 0, 0, depts, 0,
                               nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(
        SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, keys, 0, nullptr),
        SQL_SUCCESS);
    ASSERT_EQ(SQLParamOptions(stmt, 2, &row), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    EXPECT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(row, 2u);
    EXPECT_EQ(Row(23), "23|one|0|7|NULL|00:00:00|0|NULL");
}

TEST_F(E2eParamChange, LongValuesInsertedInPieces)
{
    // A long note, and a picture of 150,000 bytes in pieces
    // of 70,000: stored whole, the statement run once.
    std::string note(30000, ' ');
    for (size_t i = 0; i < note.size(); ++i)
        note[i] = static_cast<char>('A' + i % 23);
    std::string pic(150000, '\0');
    for (size_t i = 0; i < pic.size(); ++i)
        pic[i] = static_cast<char>((i * 13 + i / 977) & 0xFF);
    SQLINTEGER id = 30;
    SQLLEN noteInd = SQL_LEN_DATA_AT_EXEC(30000), picInd = SQL_DATA_AT_EXEC;
    ASSERT_EQ(SQLPrepare(stmt, Text("INSERT INTO P (ID, Notes, Pic) VALUES (?, ?, ?)"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr),
        SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0,
                               reinterpret_cast<SQLPOINTER>(2), 0, &noteInd),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0,
                               reinterpret_cast<SQLPOINTER>(3), 0, &picInd),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA) << Diag();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, reinterpret_cast<SQLPOINTER>(2));
    EXPECT_EQ(PutPieces(note, 7000), "");
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, reinterpret_cast<SQLPOINTER>(3));
    EXPECT_EQ(PutPieces(pic, 70000), "");
    std::string text;
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << Diag(&text) << text;
    SQLLEN count = 0;
    EXPECT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(SQLParamData(stmt, &token), SQL_ERROR);
    EXPECT_EQ(ReadLong(30, "Notes", SQL_C_CHAR), note);
    std::string back = ReadLong(30, "Pic", SQL_C_BINARY);
    EXPECT_EQ(back.size(), pic.size());
    EXPECT_TRUE(back == pic);

    // A NULL sent at execution stores NULL.
    id = 31;
    ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA) << Diag();
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    ASSERT_EQ(SQLPutData(stmt, nullptr, SQL_NULL_DATA), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    ASSERT_EQ(SQLPutData(stmt, const_cast<char *>("\x05"), 1), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << Diag();
    EXPECT_EQ(ReadLong(31, "Notes", SQL_C_CHAR), "NULL");
    EXPECT_EQ(ReadLong(31, "Pic", SQL_C_BINARY), "\x05");

    // A dialogue cancelled half-way leaves no record behind, and the
    // statement runs again.
    ASSERT_EQ(SQLPrepare(stmt, Text("INSERT INTO P (ID, Notes, Pic) VALUES (?, ?, ?)"), SQL_NTS),
              SQL_SUCCESS);
    id = 32;
    ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA) << Diag();
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    ASSERT_EQ(SQLPutData(stmt, const_cast<char *>("half"), 4), SQL_SUCCESS);
    EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS);
    EXPECT_EQ(ReadLong(32, "Notes", SQL_C_CHAR), "none");
    ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA) << Diag();
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    ASSERT_EQ(SQLPutData(stmt, const_cast<char *>("whole"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    ASSERT_EQ(SQLPutData(stmt, const_cast<char *>("\x01\x02"), 2), SQL_SUCCESS);
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << Diag();
    EXPECT_EQ(ReadLong(32, "Notes", SQL_C_CHAR), "whole");
}
