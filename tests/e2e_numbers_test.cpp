// Exact numbers end to end through the Driver Manager: exact literals of
// more digits than a double keeps, CONVERT to SQL_BIGINT and its range,
// 64-bit integer C types, a fraction lost in a parameter, and statement text
// that goes on past a NUL within the given length.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e_fixture.h"

namespace {

class E2eNumbers : public E2eConnected {
protected:
    // Every diagnostic record of the statement as "SQLSTATE" words.
    std::string States()
    {
        std::string all;
        SQLCHAR state[6] = {};
        SQLCHAR message[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        while (SQL_SUCCEEDED(
            SQLError(h->env, h->dbc, stmt, state, &native, message, sizeof message, &length))) {
            if (!all.empty())
                all += ' ';
            all.append(reinterpret_cast<const char *>(state));
        }
        return all;
    }
    // Runs "SELECT <item> FROM Customers WHERE ID = 1" and gets its one value.
    SQLRETURN One(const std::string &item)
    {
        std::string sql = "SELECT " + item + " FROM Customers WHERE ID = 1";
        SQLRETURN rc = SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
        if (SQL_SUCCEEDED(rc))
            rc = SQLFetch(stmt);
        return rc;
    }
    void Close() { SQLFreeStmt(stmt, SQL_CLOSE); }
};

// Each item's described type, precision and scale and its text, or the
// SQLSTATE of the first record where it fails.
TEST_F(E2eNumbers, ExactLiteralsAndBigIntConversionsKeepEveryDigit)
{
    struct Case {
        const char *item;
        SQLSMALLINT type;
        SQLULEN precision;
        SQLSMALLINT scale;
        const char *text;       // or the SQLSTATE of a failed execution (type 0)
        const char *fetchState; // the SQLSTATE of a failed SQLGetData
    };
    const Case cases[] = {
        {"12345678901234567890", SQL_DECIMAL, 20, 0, "12345678901234567890", nullptr},
        {"99999999999999999999999999999999999999", SQL_DECIMAL, 38, 0,
         "99999999999999999999999999999999999999", nullptr},
        {"-1234567890123456789.25", SQL_DECIMAL, 21, 2, "-1234567890123456789.25", nullptr},
        {"00000000000000000012.5", SQL_DECIMAL, 3, 1, "12.5", nullptr},
        {"12345678901234567890 + 1", SQL_DECIMAL, 74, 37, "12345678901234567891", nullptr},
        {"999999999999999999999999999999999999999", 0, 0, 0, "22003", nullptr}, // 39 digits
        {"CONVERT(5, SQL_BIGINT)", SQL_BIGINT, 19, 0, "5", nullptr},
        {"CONVERT(2.7, SQL_BIGINT)", SQL_BIGINT, 19, 0, "2", nullptr},
        {"CONVERT(-2.7, SQL_BIGINT)", SQL_BIGINT, 19, 0, "-2", nullptr},
        {"CONVERT(9223372036854775807, SQL_BIGINT)", SQL_BIGINT, 19, 0, "9223372036854775807",
         nullptr},
        {"CONVERT(-9223372036854775808, SQL_BIGINT)", SQL_BIGINT, 19, 0, "-9223372036854775808",
         nullptr},
        {"CONVERT(9223372036854775808, SQL_BIGINT)", SQL_BIGINT, 19, 0, "", "22003"},
        {"CONVERT(-1e20, SQL_BIGINT)", SQL_BIGINT, 19, 0, "", "22003"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.item);
        SQLRETURN rc = One(c.item);
        if (c.type == 0) {
            EXPECT_EQ(rc, SQL_ERROR);
            EXPECT_EQ(States().substr(0, 5), c.text);
            Close();
            continue;
        }
        ASSERT_EQ(rc, SQL_SUCCESS) << Diag();
        SQLSMALLINT type = 0, scale = -1, nullable = 0;
        SQLULEN precision = 0;
        SQLCHAR name[64];
        ASSERT_EQ(SQLDescribeCol(stmt, 1, name, sizeof name, nullptr, &type, &precision, &scale,
                                 &nullable),
                  SQL_SUCCESS);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(precision, c.precision);
        EXPECT_EQ(scale, c.scale);
        char text[128] = {};
        SQLLEN length = 0;
        rc = SQLGetData(stmt, 1, SQL_C_CHAR, text, sizeof text, &length);
        if (c.fetchState != nullptr) {
            EXPECT_EQ(rc, SQL_ERROR);
            // The evaluation's own S1000 comes with it.
            EXPECT_NE(States().find(c.fetchState), std::string::npos);
        } else {
            EXPECT_EQ(rc, SQL_SUCCESS) << Diag();
            EXPECT_EQ(std::string(text), c.text);
        }
        Close();
    }
}

// pyodbc and other ODBC 3 applications read a BIGINT column as
// SQL_C_SBIGINT, or SQL_C_UBIGINT when the column says it is unsigned.
TEST_F(E2eNumbers, BigIntColumnsReadAsSixtyFourBitIntegers)
{
    ASSERT_EQ(One("CONVERT(-9223372036854775808, SQL_BIGINT), CONVERT(12.75, SQL_DOUBLE), "
                  "12345678901234567890, 'x', CONVERT(-3, SQL_BIGINT)"),
              SQL_SUCCESS)
        << Diag();
    SQLLEN isUnsigned = -1;
    ASSERT_EQ(SQLColAttributes(stmt, 1, SQL_COLUMN_UNSIGNED, nullptr, 0, nullptr, &isUnsigned),
              SQL_SUCCESS);
    EXPECT_EQ(isUnsigned, SQL_FALSE);
    int64_t i = 0;
    uint64_t u = 0;
    SQLLEN length = 0;
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_SBIGINT, &i, 0, &length), SQL_SUCCESS) << Diag();
    EXPECT_EQ(i, INT64_MIN);
    EXPECT_EQ(length, 8);
    // A fraction lost is a truncation; the integer part is delivered.
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_SBIGINT, &i, 0, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(States(), "01004");
    EXPECT_EQ(i, 12);
    // 20 digits fit the unsigned type, not the signed one.
    EXPECT_EQ(SQLGetData(stmt, 3, SQL_C_UBIGINT, &u, 0, &length), SQL_SUCCESS) << Diag();
    EXPECT_EQ(u, 12345678901234567890ull);
    EXPECT_EQ(SQLGetData(stmt, 4, SQL_C_SBIGINT, &i, 0, &length), SQL_ERROR);
    EXPECT_EQ(States(), "22005");
    EXPECT_EQ(SQLGetData(stmt, 5, SQL_C_UBIGINT, &u, 0, &length), SQL_ERROR);
    EXPECT_EQ(States(), "22003");
    Close();

    ASSERT_EQ(One("12345678901234567890"), SQL_SUCCESS) << Diag();
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_SBIGINT, &i, 0, &length), SQL_ERROR);
    EXPECT_EQ(States(), "22003");
    Close();

    // Bound, through the fetch.
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_SBIGINT, &i, 0, &length), SQL_SUCCESS) << Diag();
    ASSERT_EQ(One("CONVERT(-9223372036854775807, SQL_BIGINT)"), SQL_SUCCESS) << Diag();
    EXPECT_EQ(i, -INT64_MAX);
    Close();
    SQLFreeStmt(stmt, SQL_UNBIND);
}

// A double with a fraction given for an integer column's parameter is cut
// toward zero with a warning (01004), as any double to integer conversion
// is, whichever SQL type the application declared and whether the statement
// was prepared first; a value beyond the integer's range is 22003.
TEST_F(E2eNumbers, FractionLostInAnIntegerParameterWarns)
{
    const char *sql = "SELECT ID FROM Customers WHERE ID = ?";
    for (SQLSMALLINT declared : {SQL_INTEGER, SQL_DOUBLE}) {
        for (bool prepared : {false, true}) {
            SCOPED_TRACE(std::to_string(declared) + (prepared ? " prepared" : " direct"));
            double value = 9.5;
            SQLLEN length = sizeof value;
            ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, declared, 15, 0,
                                       &value, 0, &length),
                      SQL_SUCCESS);
            auto run = [&] {
                if (!prepared)
                    return SQLExecDirect(stmt, Text(sql), SQL_NTS);
                SQLRETURN rc = SQLPrepare(stmt, Text(sql), SQL_NTS);
                return SQL_SUCCEEDED(rc) ? SQLExecute(stmt) : rc;
            };
            ASSERT_EQ(run(), SQL_SUCCESS_WITH_INFO) << Diag();
            EXPECT_EQ(States(), "01004");
            EXPECT_EQ(ReadRows(), std::vector<std::string>{"9"});
            Close();
            value = 9.0;
            ASSERT_EQ(run(), SQL_SUCCESS) << Diag();
            EXPECT_EQ(ReadRows(), std::vector<std::string>{"9"});
            Close();
            value = 3e10;
            EXPECT_EQ(run(), SQL_ERROR);
            EXPECT_EQ(States(), "22003");
            Close();
            SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        }
    }
}

// Text past a NUL within the given length is refused as a syntax error,
// never run as the statement before the NUL; NULs alone at the end are no
// text.
TEST_F(E2eNumbers, TextPastAnEmbeddedNulIsASyntaxError)
{
    const char sql[] = "SELECT ID FROM Customers\0 WHERE ID = 1";
    const auto whole = static_cast<SQLINTEGER>(sizeof sql - 1);
    EXPECT_EQ(SQLExecDirect(stmt, Text(sql), whole), SQL_ERROR);
    EXPECT_EQ(States(), "37000");
    EXPECT_EQ(SQLPrepare(stmt, Text(sql), whole), SQL_ERROR);
    EXPECT_EQ(States(), "37000");
    // The part before the NUL, given by its own length, runs.
    ASSERT_EQ(SQLExecDirect(stmt, Text(sql), 24), SQL_SUCCESS) << Diag();
    EXPECT_EQ(ReadRows().size(), 150u);
    Close();
    const char padded[] = "SELECT ID FROM Customers WHERE ID = 1\0\0";
    ASSERT_EQ(SQLPrepare(stmt, Text(padded), static_cast<SQLINTEGER>(sizeof padded - 1)),
              SQL_SUCCESS)
        << Diag();
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    EXPECT_EQ(ReadRows(), std::vector<std::string>{"1"});
    Close();
}

} // namespace
