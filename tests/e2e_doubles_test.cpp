// Doubles through the unixODBC Driver Manager to qxserver and back: every
// double, the special ones included (NaN, infinities, subnormals, -0.0 and
// the extremes), written into a real field by INSERT and UPDATE with a
// parameter and read back bit for bit; float parameters; literals; the values
// a field cannot hold refused with 22003; and the special values a fixture
// holds read as they are.
#include "tests/e2e_fixture.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using DLim = std::numeric_limits<double>;
using FLim = std::numeric_limits<float>;

// The value as its bits, so that -0.0 differs from 0.0 and NaNs can be told.
std::string Bits(double d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%a (0x%016llx)", d,
                  static_cast<unsigned long long>(std::bit_cast<uint64_t>(d)));
    return buf;
}
std::string Bits(float f)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%a (0x%08x)", static_cast<double>(f),
                  std::bit_cast<uint32_t>(f));
    return buf;
}
// Equal bit for bit; a NaN only has to come back as a NaN.
bool Same(double a, double b)
{
    return std::isnan(a) ? std::isnan(b) : std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}
bool Same(float a, float b)
{
    return std::isnan(a) ? std::isnan(b) : std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

const std::vector<double> &SpecialDoubles()
{
    static const std::vector<double> values = {
        0.0,
        -0.0,
        1.0,
        -2.5,
        0.1,
        1.0 / 3.0,
        -3.141592653589793,
        1e300,
        -1e-300,
        DLim::max(),
        -DLim::max(),
        DLim::min(),
        -DLim::min(),
        DLim::denorm_min(),
        -DLim::denorm_min(),
        1e-310,
        -5e-324 * 3,
        std::nextafter(DLim::min(), 0.0), // the largest subnormal
        std::nextafter(1.0, 2.0),         // the last bit of the fraction
        DLim::infinity(),
        -DLim::infinity(),
        DLim::quiet_NaN(),
        -DLim::quiet_NaN(),
        std::bit_cast<double>(uint64_t{0x7FF8000000012345}), // a NaN with a payload
    };
    return values;
}

class E2eDoubles : public E2eConnected {
protected:
    void SetUp() override
    {
        fixture = QX_DOUBLES_FIXTURE;
        E2eConnected::SetUp();
    }

    // The value's bytes as a parameter binds them: terminated text as it is.
    template <typename T>
    static SQLPOINTER Data(T &v, SQLLEN &ind)
    {
        if constexpr (std::is_pointer_v<T>) {
            ind = SQL_NTS;
            return v;
        } else {
            ind = 0;
            return &v;
        }
    }
    // Executes sql with up to two parameters (C type, SQL type, value); the
    // SQLSTATE of a failure, "" on success.
    template <typename A, typename B = int>
    std::string Exec(const std::string &sql, SQLSMALLINT cA, SQLSMALLINT sA, A a,
                     SQLSMALLINT cB = 0, SQLSMALLINT sB = 0, B b = 0)
    {
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        SQLLEN indA = 0, indB = 0;
        if (SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, cA, sA, 15, 0, Data(a, indA), 0, &indA) !=
            SQL_SUCCESS)
            return "BIND " + Diag();
        if (cB != 0 && SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, cB, sB, 15, 0, Data(b, indB), 0,
                                        &indB) != SQL_SUCCESS)
            return "BIND " + Diag();
        SQLRETURN rc = SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
        std::string state = SQL_SUCCEEDED(rc) ? "" : Diag().substr(0, 5);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        return state;
    }
    std::string Exec(const std::string &sql)
    {
        SQLRETURN rc = SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
        std::string state = SQL_SUCCEEDED(rc) ? "" : Diag().substr(0, 5);
        SQLFreeStmt(stmt, SQL_CLOSE);
        return state;
    }

    // Column R of record `id` read with SQLGetData as cType into *out; the
    // SQLSTATE of a failure ("" on success).
    template <typename T>
    std::string Read(int id, SQLSMALLINT cType, T *out, const char *column = "R")
    {
        std::string sql = std::string("SELECT ") + column + " FROM D WHERE ID = " +
                          std::to_string(id);
        std::string state;
        if (!SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS)))
            state = "EXEC " + Diag();
        else if (SQLFetch(stmt) != SQL_SUCCESS)
            state = "FETCH " + Diag();
        else {
            SQLLEN length = 0;
            SQLRETURN rc = SQLGetData(stmt, 1, cType, out, sizeof *out, &length);
            if (rc != SQL_SUCCESS)
                state = Diag().substr(0, 5);
            else if (length == SQL_NULL_DATA)
                state = "NULL";
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return state;
    }
    // Column R of record `id` read through a bound column.
    double ReadBound(int id)
    {
        double d = -1.0;
        SQLLEN length = 0;
        std::string sql = "SELECT R FROM D WHERE ID = " + std::to_string(id);
        EXPECT_EQ(SQLBindCol(stmt, 1, SQL_C_DOUBLE, &d, sizeof d, &length), SQL_SUCCESS);
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS))) << Diag();
        EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS) << Diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        return d;
    }
    std::string Ids(const std::string &sql)
    {
        std::string out;
        for (const std::string &row : Query(sql))
            out += (out.empty() ? "" : ",") + row;
        return out;
    }
};

TEST_F(E2eDoubles, EveryDoubleSurvivesInsertAndUpdateBitForBit)
{
    const std::vector<double> &values = SpecialDoubles();
    for (size_t i = 0; i < values.size(); ++i) {
        SQLINTEGER id = static_cast<SQLINTEGER>(100 + i);
        double v = values[i];
        ASSERT_EQ(Exec("INSERT INTO D (ID, R) VALUES (?, ?)", SQL_C_LONG, SQL_INTEGER, id,
                       SQL_C_DOUBLE, SQL_DOUBLE, v),
                  "")
            << Bits(v);
        double back = -1.0;
        ASSERT_EQ(Read(id, SQL_C_DOUBLE, &back), "") << Bits(v);
        EXPECT_TRUE(Same(v, back)) << Bits(v) << " came back as " << Bits(back);
        double bound = ReadBound(id);
        EXPECT_TRUE(Same(v, bound)) << Bits(v) << " came back bound as " << Bits(bound);
    }
    // UPDATE writes each value over the one before it in the list.
    for (size_t i = 0; i < values.size(); ++i) {
        SQLINTEGER id = static_cast<SQLINTEGER>(100 + i);
        double v = values[(i + 1) % values.size()];
        ASSERT_EQ(Exec("UPDATE D SET R = ? WHERE ID = ?", SQL_C_DOUBLE, SQL_DOUBLE, v, SQL_C_LONG,
                       SQL_INTEGER, id),
                  "")
            << Bits(v);
        double back = -1.0;
        ASSERT_EQ(Read(id, SQL_C_DOUBLE, &back), "") << Bits(v);
        EXPECT_TRUE(Same(v, back)) << Bits(v) << " came back as " << Bits(back);
    }
}

TEST_F(E2eDoubles, SpecialValuesAreFoundAndOrdered)
{
    struct Row {
        int id;
        double v;
    } rows[] = {{10, DLim::infinity()}, {11, -DLim::infinity()}, {12, DLim::denorm_min()},
                {13, -0.0},             {14, DLim::max()},       {15, 1e-310}};
    for (const Row &r : rows)
        ASSERT_EQ(Exec("INSERT INTO D (ID, R) VALUES (?, ?)", SQL_C_LONG, SQL_INTEGER, r.id,
                       SQL_C_DOUBLE, SQL_DOUBLE, r.v),
                  "");
    // Searches with a special value as the parameter find the record.
    for (const Row &r : rows) {
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        double v = r.v;
        SQLLEN ind = 0;
        ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &v,
                                   0, &ind),
                  SQL_SUCCESS);
        std::string want = r.id == 13 ? "13" : std::to_string(r.id); // -0.0 = 0.0, none else
        EXPECT_EQ(Ids("SELECT ID FROM D WHERE R = ? AND ID >= 10"), want) << Bits(r.v);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    }
    EXPECT_EQ(Ids("SELECT ID FROM D WHERE ID >= 10 ORDER BY R"), "11,13,12,15,14,10");
    EXPECT_EQ(Ids("SELECT ID FROM D WHERE R > 1E308 AND ID >= 10"), "10,14");
    EXPECT_EQ(Ids("SELECT ID FROM D WHERE R < 0 AND ID >= 10"), "11");
    // The fixture's values: a NaN orders after every number, in the driver's
    // sort and in the server's search alike.
    EXPECT_EQ(Ids("SELECT ID FROM D WHERE ID < 10 ORDER BY R"), "4,7,5,6,1,8,3,2");
    EXPECT_EQ(Ids("SELECT ID FROM D WHERE R > 1E308 AND ID < 10"), "2,3,8");
    EXPECT_EQ(Ids("SELECT ID FROM D WHERE R = 1.5 AND ID < 10"), "1");
    EXPECT_EQ(Ids("SELECT ID FROM D WHERE R <> 1.5 AND ID < 4"), "2,3");
}

TEST_F(E2eDoubles, FloatParametersKeepTheirValue)
{
    const float values[] = {0.0f,           -0.0f,          1.5f,         -0.1f,
                            FLim::max(),    -FLim::max(),   FLim::min(),  FLim::denorm_min(),
                            FLim::infinity(), -FLim::infinity(), FLim::quiet_NaN()};
    SQLINTEGER id = 200;
    for (float f : values) {
        ASSERT_EQ(Exec("INSERT INTO D (ID, R) VALUES (?, ?)", SQL_C_LONG, SQL_INTEGER, id,
                       SQL_C_FLOAT, SQL_REAL, f),
                  "")
            << Bits(f);
        double d = -1.0;
        ASSERT_EQ(Read(id, SQL_C_DOUBLE, &d), "") << Bits(f);
        EXPECT_TRUE(Same(static_cast<double>(f), d)) << Bits(f) << " came back as " << Bits(d);
        float back = -1.0f;
        ASSERT_EQ(Read(id, SQL_C_FLOAT, &back), "") << Bits(f);
        EXPECT_TRUE(Same(f, back)) << Bits(f) << " came back as " << Bits(back);
        ++id;
    }
    // A double read as a float: the nearest float; beyond the float's range
    // 22003.
    double big = 1e300;
    ASSERT_EQ(Exec("INSERT INTO D (ID, R) VALUES (?, ?)", SQL_C_LONG, SQL_INTEGER, 300,
                   SQL_C_DOUBLE, SQL_DOUBLE, big),
              "");
    float f = 0.0f;
    EXPECT_EQ(Read(300, SQL_C_FLOAT, &f), "22003");
}

TEST_F(E2eDoubles, LiteralsKeepTheirValue)
{
    struct Case {
        const char *literal;
        double want;
    } cases[] = {
        {"1.7976931348623157E308", DLim::max()},
        {"-1.7976931348623157E308", -DLim::max()},
        {"2.2250738585072014E-308", DLim::min()},
        {"4.9406564584124654E-324", DLim::denorm_min()},
        {"-1E-310", -1e-310},
        {"0.1", 0.1},
        {"-0E0", -0.0},
        {"123456789012345678", 123456789012345678.0},
    };
    int id = 400;
    for (const Case &c : cases) {
        std::string sql = "INSERT INTO D (ID, R) VALUES (" + std::to_string(id) + ", " +
                          c.literal + ")";
        ASSERT_EQ(Exec(sql), "") << c.literal;
        double back = -1.0;
        ASSERT_EQ(Read(id, SQL_C_DOUBLE, &back), "") << c.literal;
        EXPECT_TRUE(Same(c.want, back)) << c.literal << " came back as " << Bits(back);
        ++id;
    }
}

TEST_F(E2eDoubles, SpecialValuesOfTheFixtureReadAsTheyAre)
{
    struct Case {
        int id;
        double want;
    } cases[] = {{2, DLim::quiet_NaN()},
                 {3, DLim::infinity()},
                 {4, -DLim::infinity()},
                 {5, -0.0},
                 {6, DLim::denorm_min()},
                 {7, -std::nextafter(DLim::min(), 0.0)},
                 {8, DLim::max()}};
    for (const Case &c : cases) {
        double back = -1.0;
        ASSERT_EQ(Read(c.id, SQL_C_DOUBLE, &back), "") << c.id;
        EXPECT_TRUE(Same(c.want, back)) << c.id << ": " << Bits(back);
    }
    // As text: infinities as the driver spells them; a NaN has no number to
    // show.
    char text[64] = {};
    EXPECT_EQ(Read(3, SQL_C_CHAR, &text), "");
    EXPECT_STREQ(text, "1E999");
    EXPECT_EQ(Read(4, SQL_C_CHAR, &text), "");
    EXPECT_STREQ(text, "-1E999");
    EXPECT_EQ(Read(2, SQL_C_CHAR, &text), "22003");
}

TEST_F(E2eDoubles, ValuesAFieldCannotHoldAreRefused)
{
    // Beyond the double's range, as a literal or as character data.
    EXPECT_EQ(Exec("INSERT INTO D (ID, R) VALUES (500, 1E400)"), "22003");
    EXPECT_EQ(Exec("INSERT INTO D (ID, R) VALUES (501, -1E400)"), "22003");
    char text[] = "1E400";
    EXPECT_EQ(Exec("INSERT INTO D (ID, R) VALUES (502, ?)", SQL_C_CHAR, SQL_DOUBLE, text), "22003");
    // No integer holds a NaN, an infinity or a number beyond its range.
    const double values[] = {DLim::quiet_NaN(), DLim::infinity(), -DLim::infinity(), 1e300,
                             40000.0};
    for (double v : values) {
        EXPECT_EQ(Exec("INSERT INTO D (ID, S) VALUES (503, ?)", SQL_C_DOUBLE, SQL_DOUBLE, v),
                  "22003")
            << Bits(v);
        if (v != 40000.0) {
            EXPECT_EQ(Exec("INSERT INTO D (ID, L) VALUES (503, ?)", SQL_C_DOUBLE, SQL_DOUBLE, v),
                      "22003")
                << Bits(v);
        }
    }
    EXPECT_EQ(Ids("SELECT ID FROM D WHERE ID > 8"), "") << "nothing was stored";
    // A NaN or an infinity read into an integer: 22003.
    const double specials[] = {DLim::quiet_NaN(), DLim::infinity()};
    int id = 510;
    for (double v : specials) {
        ASSERT_EQ(Exec("INSERT INTO D (ID, R) VALUES (?, ?)", SQL_C_LONG, SQL_INTEGER, id,
                       SQL_C_DOUBLE, SQL_DOUBLE, v),
                  "");
        SQLINTEGER n = 0;
        EXPECT_EQ(Read(id, SQL_C_LONG, &n), "22003") << Bits(v);
        ++id;
    }
}

} // namespace
