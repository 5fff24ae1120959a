// Preparation in the front end on a data source of our own: tables,
// semantic checks, parameter types, result columns, SET statements and
// native SQL, from statement text.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <map>
#include <strings.h>
#include <string>
#include <vector>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rclock.h"
#include "driver/core/rcmsgid.h"
#include "driver/frontend/fe_check.h"
#include "driver/frontend/fe_prepared.h"
#include "driver/frontend/tests/frontend_test_util.h"

namespace {

// Error queues need the driver's pools.
class Globals : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(rcInitDriverGlobals(), 0); }
};
const ::testing::Environment *const kGlobals = ::testing::AddGlobalTestEnvironment(new Globals);

struct ColSpec {
    const char *name;
    int16_t type;
    uint32_t length;
    uint16_t precision = 0;
    int16_t scale = 0;
    bool nullable = true;
};

// Two tables sharing the columns ID and NAME, one of every type, and one
// with a name that needs quotes.
const std::map<std::string, std::vector<ColSpec>> kTables = {
    {"EMP",
     {{"ID", SQL_INTEGER, 4, 0, 0, false},
      {"NAME", SQL_VARCHAR, 30},
      {"SALARY", SQL_DOUBLE, 8},
      {"HIRED", SQL_DATE, 6},
      {"DEPT", SQL_SMALLINT, 2}}},
    {"DEPT", {{"ID", SQL_SMALLINT, 2, 0, 0, false}, {"NAME", SQL_VARCHAR, 20}}},
    {"ALLTYPES",
     {{"A", SQL_CHAR, 10},
      {"V", SQL_VARCHAR, 40},
      {"L", SQL_LONGVARCHAR, 65500},
      {"D", SQL_DOUBLE, 8},
      {"I", SQL_INTEGER, 4},
      {"S", SQL_SMALLINT, 2},
      {"DT", SQL_DATE, 6},
      {"TM", SQL_TIME, 6},
      {"TS", SQL_TIMESTAMP, 16},
      {"B", SQL_BIT, 1},
      {"BIN", SQL_LONGVARBINARY, 65500},
      {"N", RC_SQL_DECIMAL38, 38, 20, 4},
      {"T", -28, 1},
      {"BG", SQL_BIGINT, 8}}},
    {"Order Lines",
     {{"Line No", SQL_INTEGER, 4}, {"Qty", SQL_SMALLINT, 2}, {"Note", SQL_VARCHAR, 10}}},
};

class FakeSource : public rcFeSource {
public:
    int OpenTable(rcErrorQueue *errors, rcTblEntry *entry) override
    {
        for (const auto &[name, cols] : kTables) {
            if (strcasecmp(name.c_str(), entry->name.c_str()) != 0)
                continue;
            uint32_t n = 0;
            for (const ColSpec &c : cols) {
                rcTblColumn col;
                col.name = c.name;
                col.number = ++n;
                col.type.sqlType = c.type;
                col.type.length = c.length;
                col.type.precision = c.precision;
                col.type.scale = c.scale;
                col.type.flags =
                    RC_SEM_NULLABILITY_KNOWN | (c.nullable ? uint32_t{RC_SEM_NULLABLE} : 0u);
                entry->columns.push_back(col);
            }
            ++open;
            return 0;
        }
        rcErrPost(errors, RC_ENG_INVALID_VIEW_TABLE_NAME, nullptr, 0,
                  ("Unable to open table: " + entry->name).c_str());
        return -1;
    }
    void CloseTable(rcTblEntry *) override { --open; }
    bool HasType(int16_t type) override { return type != SQL_REAL; }
    uint32_t FixedLength(int16_t type) override
    {
        switch (type) {
        case SQL_INTEGER: return 4;
        case SQL_SMALLINT: return 2;
        case SQL_DOUBLE: return 8;
        case SQL_DATE:
        case SQL_TIME: return 6;
        case SQL_TIMESTAMP: return 16;
        default: return 0;
        }
    }
    int16_t SqlTypeOf(int16_t type) override
    {
        return type == RC_SQL_DECIMAL38 ? SQL_DECIMAL : type == -28 ? SQL_TINYINT : type;
    }
    // The column sizes of the driver's type rules, for the types used here.
    static uint32_t ColumnSize(int16_t type, uint32_t length, uint16_t precision)
    {
        switch (type) {
        case SQL_INTEGER: return 10;
        case SQL_SMALLINT: return 5;
        case SQL_TINYINT:
        case -28: return 3;
        case SQL_BIT: return 1;
        case SQL_DOUBLE: return 15;
        case SQL_DATE: return 10;
        case SQL_TIME: return 8;
        case SQL_TIMESTAMP: return 23;
        case SQL_DECIMAL: return precision;
        default: return length;
        }
    }
    void DescribeResult(const rcSemTypeInfo &t, rcResultColumn *col) override
    {
        col->sqlType = SqlTypeOf(t.sqlType);
        col->precision = ColumnSize(col->sqlType, t.length, t.precision);
        bool exact = col->sqlType == SQL_INTEGER || col->sqlType == SQL_SMALLINT ||
                     col->sqlType == SQL_BIT || col->sqlType == SQL_TINYINT ||
                     col->sqlType == SQL_BIGINT;
        col->scale = col->sqlType == SQL_DECIMAL ? t.scale : exact ? 0 : -9999;
        col->displaySize = col->precision;
        col->length = t.length;
        col->typeName = "T" + std::to_string(col->sqlType);
        col->caseSensitive = col->sqlType == SQL_VARCHAR;
        col->searchable = SQL_SEARCHABLE;
    }
    void DescribeParam(const rcSemTypeInfo &t, rcParamDesc *d) override
    {
        d->sqlType = SqlTypeOf(t.sqlType);
        d->columnSize = ColumnSize(d->sqlType, t.length, t.precision);
        d->decimalDigits = d->sqlType == SQL_DECIMAL ? t.scale : 0;
        d->nullable = SQL_NULLABLE;
    }
    bool CaseSensitiveNames() override { return false; }
    uint16_t MaxColumns() override { return maxColumns; }
    uint32_t CommandMask() override { return mask; }
    bool ReadOnly() override { return readOnly; }
    int UseQualifier(rcErrorQueue *, const char *) override { return 0; }
    bool HasExtPredicate(const char *name, uint32_t position) override
    {
        auto it = predicates.find(name);
        return it != predicates.end() && it->second == position;
    }

    int open = 0;
    std::map<std::string, uint32_t> predicates; // vendor predicates: name, naming row
    uint16_t maxColumns = 256;
    uint32_t mask = RC_CMD_INSERT | RC_CMD_UPDATE | RC_CMD_DELETE;
    bool readOnly = false;
};

struct Outcome {
    int result = 0;
    uint32_t msgId = 0;
    std::string text;
};

Outcome Prepare(rcPrepared *prep, FakeSource *src, const std::string &text)
{
    rcErrorQueue errors{};
    Outcome out;
    out.result = rcDrsPrepare(prep, src, &errors, text.c_str(), true);
    if (errors.list != nullptr && rcListCount(errors.list) > 0) {
        auto *r = static_cast<rcErrorRecord *>(rcListAt(errors.list, 0));
        out.msgId = r->msgId;
        out.text = r->text != nullptr ? r->text : "";
    }
    rcErrQueueDestroy(&errors);
    return out;
}

struct FailCase {
    const char *sql;
    uint32_t msgId;
    const char *text; // part of the record's text, "" to skip
};

TEST(FePrepare, FailuresGiveTheirMessages)
{
    const FailCase cases[] = {
        {"", RC_MSG_SYNTAX_ERROR, ""},
        {"SELECT FROM", RC_MSG_SYNTAX_ERROR, ""},
        {"SELECT * FROM NOPE", RC_ENG_INVALID_VIEW_TABLE_NAME, "NOPE"},
        {"SELECT X FROM EMP", RC_ENG_INVALID_COLUMN_NAME_SELECT_LIST, "Invalid column name: 'X'."},
        {"SELECT ID FROM EMP, DEPT", RC_ENG_INVALID_COLUMN_NAME_SELECT_LIST,
         "Non unique column reference: ID."},
        {"SELECT E.NOPE FROM EMP E", RC_ENG_INVALID_COLUMN_NAME_SELECT_LIST, "NOPE"},
        {"SELECT Q.ID FROM EMP E", RC_MSG_SYNTAX_ERROR,
         "Unknown table or correlation name [Q] in select list."},
        {"SELECT ID FROM EMP WHERE Q.ID = 1", RC_MSG_SYNTAX_ERROR,
         "Unknown table or correlation name [Q]."},
        {"SELECT * FROM EMP, EMP", RC_MSG_SYNTAX_ERROR, "Table reference [EMP] must be unique."},
        {"SELECT * FROM EMP X, DEPT X", RC_MSG_SYNTAX_ERROR, "Table reference [X] must be unique."},
        {"SELECT ID FROM EMP WHERE NAME = 1", RC_ENG_INCOMPATIBLE_TYPES_PREDICATE, ""},
        {"SELECT ID FROM EMP WHERE HIRED > 3", RC_ENG_INCOMPATIBLE_TYPES_PREDICATE, ""},
        {"SELECT NAME * 2 FROM EMP", RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION, ""},
        {"SELECT HIRED * 2 FROM EMP", RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION, ""},
        {"SELECT TM + 1 FROM ALLTYPES", RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION, ""},
        {"SELECT A FROM ALLTYPES WHERE BIN = 'x'", RC_ENG_CANNOT_COMPARE_BINARY_DATA_TYPE, ""},
        {"SELECT A FROM ALLTYPES WHERE DT + A > {d '2020-01-01'}",
         RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION, ""},
        {"SELECT ID FROM EMP WHERE SUM(SALARY) > 1", RC_MSG_SYNTAX_ERROR,
         "Expression not row based in WHERE."},
        {"SELECT ID FROM EMP GROUP BY ID HAVING SALARY > 1", RC_MSG_SYNTAX_ERROR,
         "SALARY in HAVING"},
        {"SELECT ID FROM EMP HAVING ID > 1", RC_MSG_SYNTAX_ERROR, "ID in HAVING"},
        {"SELECT COUNT(*) FROM EMP HAVING COUNT(*) > 1", RC_MSG_SYNTAX_ERROR,
         "Having must be accompanied by group by."},
        // HAVING without GROUP BY is found when the statement is planned,
        // after the checks of its names and types.
        {"SELECT COUNT(NOPE) FROM EMP HAVING COUNT(*) > 1", RC_ENG_INVALID_COLUMN_NAME_SELECT_LIST,
         "NOPE"},
        {"INSERT INTO EMP (ID, NAME) VALUES (1, {fn UCASE('x')})", RC_MSG_SYNTAX_ERROR,
         "Invalid value in value list."},
        {"INSERT INTO EMP (ID, NAME) VALUES (1 + 1, 'x')", RC_MSG_SYNTAX_ERROR, "Syntax error"},
        {"SELECT ID, NAME FROM EMP GROUP BY ID", RC_MSG_SYNTAX_ERROR, "NAME in SELECT LIST"},
        {"SELECT ID FROM EMP WHERE ID IN (SELECT ID, NAME FROM DEPT)", RC_MSG_SYNTAX_ERROR,
         "Multiple columns not allowed in subquery."},
        {"SELECT ID FROM EMP ORDER BY ?", RC_MSG_SYNTAX_ERROR,
         "Dynamic Parameter not allowed in ORDER BY."},
        {"SELECT ? FROM EMP", RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE, ""},
        {"SELECT ID + ? FROM EMP", RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT,
         "Parameters are not permitted in the SELECT list."},
        {"SELECT ID FROM EMP WHERE ? + ? > 3", RC_MSG_INVALID_VARIABLE_PARAMETER, ""},
        {"SELECT ID FROM EMP WHERE ? = ?", RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE, ""},
        {"SELECT A FROM LPT1", RC_ENG_INVALID_VIEW_TABLE_NAME, "LPT1"},
        {"SELECT A FROM ALLTYPES ORDER BY BIN", RC_ENG_UNSUPPORTED_TYPE_ORDER_BY_CLAUSE, ""},
        {"SELECT SUM(NAME) FROM EMP", RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION, ""},
        {"UPDATE EMP SET NAME = 'x' WHERE ID IN (SELECT ID FROM DEPT)",
         RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT, ""},
        {"UPDATE EMP SET NAME = 'a', NAME = 'b'", RC_MSG_SYNTAX_ERROR,
         "Column id [NAME] must be unique."},
        {"INSERT INTO EMP (ID, NAME) VALUES (1)", RC_MSG_INSERT_VALUE_LIST_DOES_NOT, ""},
        {"INSERT INTO EMP (ID, NOPE) VALUES (1, 2)", RC_ENG_INVALID_COLUMN_NAME_SELECT_LIST,
         "NOPE"},
        {"CREATE TABLE X (A INTEGER)", RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT, ""},
        {"DROP TABLE EMP", RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT, ""},
        {"SELECT ID FROM EMP UNION SELECT ID, NAME FROM DEPT", RC_ENG_UNION_SELECT_LISTS_DO_NOT,
         ""},
        {"SELECT NAME FROM EMP UNION SELECT ID FROM DEPT", RC_ENG_UNION_SELECT_LISTS_DO_NOT, ""},
        {"SELECT BIN FROM ALLTYPES UNION SELECT BIN FROM ALLTYPES", RC_MSG_SYNTAX_ERROR,
         "SQL_LONGVARBINARY"},
        {"SELECT NAME FROM EMP UNION SELECT NAME FROM DEPT ORDER BY NAME", RC_MSG_SYNTAX_ERROR,
         "Reference to column name not allowed in ORDER BY with UNION."},
        {"SELECT * FROM {oj EMP E LEFT OUTER JOIN DEPT D ON E.DEPT = 1}", RC_MSG_SYNTAX_ERROR,
         "Literal not allowed in ON condition."},
        {"SELECT E.ID FROM ALLTYPES A, {oj EMP E LEFT OUTER JOIN DEPT D ON E.DEPT = A.S}",
         RC_MSG_GENERAL_ERROR, "On condition column reference must be within outer join scope: S."},
        {"SELECT E.ID FROM {oj EMP E LEFT OUTER JOIN DEPT D ON SUM(E.DEPT) = D.ID}",
         RC_MSG_SYNTAX_ERROR, "Expression not row based in OUTER JOIN."},
    };
    for (const FailCase &c : cases) {
        FakeSource src;
        rcPrepared prep;
        Outcome out = Prepare(&prep, &src, c.sql);
        EXPECT_EQ(out.result, -1) << c.sql;
        EXPECT_EQ(out.msgId, c.msgId) << c.sql << ": " << out.text;
        EXPECT_NE(out.text.find(c.text), std::string::npos) << c.sql << ": " << out.text;
        EXPECT_EQ(src.open, 0) << c.sql << ": a failed prepare leaves no table open";
    }
}

TEST(FePrepare, CommandMaskAndReadOnly)
{
    FakeSource src;
    src.mask = RC_CMD_INSERT;
    rcPrepared prep;
    EXPECT_EQ(Prepare(&prep, &src, "DELETE FROM EMP").msgId, RC_ENG_DELETE_STATEMENT_NOT_SUPPORTED);
    EXPECT_EQ(Prepare(&prep, &src, "UPDATE EMP SET ID = 1").msgId,
              RC_ENG_UPDATE_STATEMENT_NOT_SUPPORTED);
    src.readOnly = true;
    EXPECT_EQ(Prepare(&prep, &src, "INSERT INTO EMP (ID) VALUES (1)").msgId,
              RC_MSG_ACCESS_VIOLATION);
    // Every change, whatever the command mask says of it.
    for (const char *sql : {"DELETE FROM EMP", "CREATE INDEX I1 ON EMP (ID)", "DROP TABLE EMP",
                            "CREATE TABLE T1 (A INTEGER)", "DROP INDEX EMP.I1"})
        EXPECT_EQ(Prepare(&prep, &src, sql).msgId, RC_MSG_ACCESS_VIOLATION) << sql;
    EXPECT_EQ(src.open, 0);
}

TEST(FePrepare, OuterJoinsNestAndResolve)
{
    FakeSource src;
    rcPrepared prep;
    Outcome out =
        Prepare(&prep, &src,
                "SELECT E.NAME, D.NAME, A.V FROM {oj EMP E LEFT OUTER JOIN DEPT D ON E.DEPT = D.ID "
                "LEFT OUTER JOIN ALLTYPES A ON A.I = E.ID}");
    EXPECT_EQ(out.result, 0) << out.text;
    EXPECT_EQ(prep.columns.size(), 3u);
}

TEST(FePrepare, MoreColumnsThanMaxColSupportIsAnError)
{
    {
        // A table with more columns than the maximum is refused, not cut.
        FakeSource src;
        src.maxColumns = 3;
        rcPrepared prep;
        Outcome out = Prepare(&prep, &src, "SELECT ID FROM EMP");
        EXPECT_EQ(out.result, -1);
        EXPECT_NE(out.msgId, 0u);
        EXPECT_EQ(src.open, 0);
    }
    FakeSource src;
    src.maxColumns = 6;
    rcPrepared prep;
    EXPECT_EQ(Prepare(&prep, &src, "SELECT * FROM EMP").result, 0);
    Outcome out = Prepare(&prep, &src, "SELECT * FROM EMP, DEPT");
    EXPECT_EQ(out.msgId, RC_MSG_SYNTAX_ERROR);
    EXPECT_NE(out.text.find("Maximum number of 6 result columns exceeded."), std::string::npos)
        << out.text;
    out = Prepare(&prep, &src, "SELECT E.*, D.* FROM EMP E, DEPT D");
    EXPECT_EQ(out.msgId, RC_MSG_SYNTAX_ERROR) << out.text;
}

struct ColExpect {
    const char *name;
    int16_t sqlType;
    uint32_t precision;
    int16_t scale;
    uint16_t nullable;
    const char *table;
};

void ExpectColumns(const char *sql, const std::vector<ColExpect> &want)
{
    FakeSource src;
    rcPrepared prep;
    Outcome out = Prepare(&prep, &src, sql);
    ASSERT_EQ(out.result, 0) << sql << ": " << out.text;
    EXPECT_EQ(prep.kind, 100);
    ASSERT_EQ(prep.columns.size(), want.size()) << sql;
    for (size_t i = 0; i < want.size(); ++i) {
        const rcResultColumn &c = prep.columns[i];
        const ColExpect &w = want[i];
        EXPECT_EQ(c.name, w.name) << sql << " column " << i;
        EXPECT_EQ(c.sqlType, w.sqlType) << sql << " " << w.name;
        EXPECT_EQ(c.precision, w.precision) << sql << " " << w.name;
        EXPECT_EQ(c.scale, w.scale) << sql << " " << w.name;
        EXPECT_EQ(c.nullable, w.nullable) << sql << " " << w.name;
        EXPECT_EQ(c.tableName, w.table) << sql << " " << w.name;
    }
}

constexpr int16_t kNone = -9999;

TEST(FePrepare, ResultColumns)
{
    ExpectColumns("SELECT * FROM EMP, DEPT",
                  {{"ID", SQL_INTEGER, 10, 0, SQL_NO_NULLS, "EMP"},
                   {"NAME", SQL_VARCHAR, 30, kNone, SQL_NULLABLE, "EMP"},
                   {"SALARY", SQL_DOUBLE, 15, kNone, SQL_NULLABLE, "EMP"},
                   {"HIRED", SQL_DATE, 10, kNone, SQL_NULLABLE, "EMP"},
                   {"DEPT", SQL_SMALLINT, 5, 0, SQL_NULLABLE, "EMP"},
                   {"ID", SQL_SMALLINT, 5, 0, SQL_NO_NULLS, "DEPT"},
                   {"NAME", SQL_VARCHAR, 20, kNone, SQL_NULLABLE, "DEPT"}});
    ExpectColumns("SELECT d.*, e.NAME FROM EMP e, DEPT d WHERE e.DEPT = d.ID",
                  {{"ID", SQL_SMALLINT, 5, 0, SQL_NO_NULLS, "DEPT"},
                   {"NAME", SQL_VARCHAR, 20, kNone, SQL_NULLABLE, "DEPT"},
                   {"NAME", SQL_VARCHAR, 30, kNone, SQL_NULLABLE, "EMP"}});
    ExpectColumns(
        "SELECT SALARY * 2, NAME, ID + 1 AS NEXT_ID, COUNT(*), 'abc', NAME + 'x', USER FROM EMP",
        {{"EXPR_1", SQL_DOUBLE, 15, kNone, SQL_NULLABLE, ""},
         {"NAME", SQL_VARCHAR, 30, kNone, SQL_NULLABLE, "EMP"},
         {"NEXT_ID", SQL_DOUBLE, 15, kNone, SQL_NO_NULLS, ""},
         {"EXPR_2", SQL_INTEGER, 10, 0, SQL_NO_NULLS, ""},
         {"EXPR_3", SQL_CHAR, 3, kNone, SQL_NO_NULLS, ""},
         {"EXPR_4", SQL_VARCHAR, 31, kNone, SQL_NULLABLE, ""},
         {"EXPR_5", SQL_VARCHAR, 128, kNone, SQL_NO_NULLS, ""}});
    // Arithmetic on every numeric type is typed; DECIMAL38 stays exact.
    ExpectColumns("SELECT T + 1, BG * 2, N + 1, I + S, HIRED + 1, HIRED - HIRED FROM ALLTYPES, EMP",
                  {{"EXPR_1", SQL_DOUBLE, 15, kNone, SQL_NULLABLE, ""},
                   {"EXPR_2", SQL_DOUBLE, 15, kNone, SQL_NULLABLE, ""},
                   {"EXPR_3", SQL_DECIMAL, 74, 37, SQL_NULLABLE, ""},
                   {"EXPR_4", SQL_DOUBLE, 15, kNone, SQL_NULLABLE, ""},
                   {"EXPR_5", SQL_DATE, 10, kNone, SQL_NULLABLE, ""},
                   {"EXPR_6", SQL_DOUBLE, 15, kNone, SQL_NULLABLE, ""}});
    ExpectColumns("SELECT \"Line No\", MAX(Qty), {fn UCASE(Note)} FROM \"Order Lines\"",
                  {{"Line No", SQL_INTEGER, 10, 0, SQL_NULLABLE, "Order Lines"},
                   {"EXPR_1", SQL_SMALLINT, 5, 0, SQL_NULLABLE, ""},
                   {"EXPR_2", SQL_VARCHAR, 10, kNone, SQL_NULLABLE, ""}});
}

TEST(FePrepare, UnionTakesTheWidestCharacterColumn)
{
    ExpectColumns("SELECT NAME, ID FROM DEPT UNION ALL SELECT NAME, DEPT FROM EMP ORDER BY 1",
                  {{"NAME", SQL_VARCHAR, 30, kNone, SQL_NULLABLE, "DEPT"},
                   {"ID", SQL_SMALLINT, 5, 0, SQL_NO_NULLS, "DEPT"}});
}

TEST(FePrepare, CorrelatedSubqueryResolvesOutwards)
{
    FakeSource src;
    rcPrepared prep;
    Outcome out =
        Prepare(&prep, &src,
                "SELECT NAME FROM EMP E WHERE EXISTS (SELECT * FROM DEPT WHERE DEPT.ID = E.DEPT) "
                "AND ID IN (SELECT ID FROM DEPT)");
    EXPECT_EQ(out.result, 0) << out.text;
    EXPECT_EQ(src.open, 3);
    rcFeReset(&prep);
    EXPECT_EQ(src.open, 0);
}

struct ParamCase {
    const char *sql;
    std::vector<int16_t> types;
};

TEST(FePrepare, ParameterTypes)
{
    const ParamCase cases[] = {
        {"SELECT ID FROM EMP WHERE ID = ? AND NAME > ?", {SQL_INTEGER, SQL_VARCHAR}},
        {"SELECT ID FROM EMP WHERE ? < SALARY", {SQL_DOUBLE}},
        {"SELECT ID FROM EMP WHERE DEPT IN (1, ?, ?)", {SQL_SMALLINT, SQL_SMALLINT}},
        {"SELECT ID FROM EMP WHERE NAME LIKE ?", {SQL_VARCHAR}},
        {"SELECT ID FROM EMP WHERE HIRED BETWEEN ? AND ?", {SQL_DATE, SQL_DATE}},
        {"SELECT ID FROM EMP WHERE HIRED + ? > {d '2020-01-01'}", {SQL_INTEGER}},
        {"SELECT ID FROM EMP WHERE SALARY * ? > 10", {SQL_DOUBLE}},
        {"SELECT ID FROM EMP WHERE ID = (SELECT ID FROM DEPT WHERE NAME = ?)", {SQL_VARCHAR}},
        {"SELECT ID FROM EMP WHERE {fn UCASE(?)} = NAME", {SQL_CHAR}},
        {"INSERT INTO EMP (NAME, ID, HIRED) VALUES (?, ?, ?)",
         {SQL_VARCHAR, SQL_INTEGER, SQL_DATE}},
        {"INSERT INTO DEPT VALUES (?, ?)", {SQL_SMALLINT, SQL_VARCHAR}},
        {"UPDATE EMP SET SALARY = ?, NAME = ? WHERE ID = ?",
         {SQL_DOUBLE, SQL_VARCHAR, SQL_INTEGER}},
        {"DELETE FROM EMP WHERE HIRED < ?", {SQL_DATE}},
        {"SELECT ID FROM EMP WHERE ID = ? AND NAME = ? [? SQL_DOUBLE, ? SQL_CHAR(5)]",
         {SQL_DOUBLE, SQL_CHAR}},
    };
    for (const ParamCase &c : cases) {
        FakeSource src;
        rcPrepared prep;
        Outcome out = Prepare(&prep, &src, c.sql);
        ASSERT_EQ(out.result, 0) << c.sql << ": " << out.text;
        ASSERT_EQ(prep.params.size(), c.types.size()) << c.sql;
        for (size_t i = 0; i < c.types.size(); ++i)
            EXPECT_EQ(prep.params[i].sqlType, c.types[i]) << c.sql << " parameter " << i + 1;
    }
    FakeSource src;
    rcPrepared prep;
    ASSERT_EQ(Prepare(&prep, &src, "SELECT ID FROM EMP WHERE NAME = ? AND SALARY = ?").result, 0);
    EXPECT_EQ(prep.params[0].columnSize, 30u);
    EXPECT_EQ(prep.params[1].columnSize, 15u);
}

TEST(FePrepare, ExpressionNodesCarryTypes)
{
    FakeSource src;
    rcPrepared prep;
    ASSERT_EQ(Prepare(&prep, &src, "SELECT ID + 1 FROM EMP").result, 0);
    const rcParseNode *expr = prep.columns[0].expression;
    ASSERT_NE(expr, nullptr);
    EXPECT_EQ(rcSemTypeOf(expr)->sqlType, SQL_DOUBLE);
    const rcParseNode *left = expr->child;
    ASSERT_EQ(left->id, RC_N_Expression);
    EXPECT_EQ(rcSemTypeOf(left)->sqlType, SQL_INTEGER);
    const rcParseNode *colName = left->child->child;
    ASSERT_EQ(colName->id, RC_N_ColName);
    EXPECT_EQ(static_cast<const rcTblColumn *>(colName->sem)->name, "ID");
}

// The first node of kind id in the tree (depth first), or null.
const rcParseNode *FindNode(const rcParseNode *n, uint16_t id)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == id)
            return n;
        if (const rcParseNode *f = FindNode(n->child, id))
            return f;
    }
    return nullptr;
}

// A {pred} escape names one of the data source's predicates by an item that
// is a bare name, at the position of the predicate's naming row; its other
// items are arguments and are checked as such. Anything else is refused
// with the last name tried.
TEST(FePrepare, VendorPredicatesResolveAgainstTheDataSource)
{
    struct Case {
        const char *cond;
        const char *name; // the resolved name, or null: refused with text
        uint32_t position;
        const char *text;
    };
    const Case cases[] = {
        {"{pred near, NAME, 3}", "near", 0, ""},
        {"{pred NAME, within, ID}", "within", 1, ""},
        {"{pred NAME, near}", nullptr, 0, "Invalid extended predicate: near."},
        {"{pred Near, NAME}", nullptr, 0, "Invalid extended predicate: NAME."},
        {"{pred far, 3}", nullptr, 0, "Invalid extended predicate: far."},
        {"{pred 1, 2}", nullptr, 0, "Invalid extended predicate: ."},
        {"{pred E.near, NAME}", nullptr, 0, "Invalid extended predicate: NAME."},
        {"ID IN (SELECT ID FROM DEPT WHERE {pred far, ID + 1})", nullptr, 0,
         "Invalid extended predicate: far."},
        {"{pred near, NOPE}", nullptr, 0, "Invalid column name: 'NOPE'."},
    };
    for (const Case &c : cases) {
        FakeSource src;
        src.predicates = {{"near", 0}, {"within", 1}};
        rcPrepared prep;
        std::string sql = std::string("SELECT ID FROM EMP E WHERE ") + c.cond;
        Outcome out = Prepare(&prep, &src, sql);
        if (c.name == nullptr) {
            EXPECT_EQ(out.result, -1) << sql;
            EXPECT_EQ(out.text, c.text) << sql;
            bool unknown = std::string(c.text).rfind("Invalid extended", 0) == 0;
            EXPECT_EQ(out.msgId == RC_ENG_INVALID_EXTENDED_PREDICATE, unknown) << sql;
            continue;
        }
        ASSERT_EQ(out.result, 0) << sql << ": " << out.text;
        const rcParseNode *name = FindNode(prep.root, RC_N_VendorPredName);
        ASSERT_NE(name, nullptr) << sql;
        EXPECT_STREQ(name->text, c.name) << sql;
        EXPECT_EQ(name->attr, c.position) << sql;
        EXPECT_EQ(name->child, nullptr) << sql;
        // The other bare name is an argument: a column of the table.
        const rcParseNode *pred = FindNode(prep.root, RC_N_VendorStringPredicate);
        ASSERT_NE(pred, nullptr) << sql;
        const rcParseNode *arg = FindNode(pred->child, RC_N_ColName);
        ASSERT_NE(arg, nullptr) << sql;
        EXPECT_NE(arg->sem, nullptr) << sql;
    }
}

TEST(FeNativeSql, RegeneratedTextPreparesToTheSameTree)
{
    const char *texts[] = {
        "SELECT {fn UCASE(NAME)}, {fn CONVERT(ID, SQL_CHAR)} FROM EMP WHERE HIRED > {d "
        "'2020-01-02'}",
        "SELECT \"Line No\" FROM \"Order Lines\" WHERE Qty = 3",
        "SELECT E.NAME, D.NAME FROM {oj EMP E LEFT OUTER JOIN DEPT D ON E.DEPT = D.ID}",
        "SELECT NAME FROM EMP WHERE NAME LIKE 'a''b%' ORDER BY 1",
    };
    for (const char *text : texts) {
        rcErrorQueue errors{};
        std::string once, twice;
        ASSERT_EQ(rcDrsNativeSql(text, &once, &errors), 0) << text;
        ASSERT_EQ(rcDrsNativeSql(once.c_str(), &twice, &errors), 0) << once;
        EXPECT_EQ(once, twice);
        // The regenerated text parses to the same tree as the original.
        ParsedTree original(text), regenerated(once);
        ASSERT_EQ(original.result, RC_PRS_OK);
        ASSERT_EQ(regenerated.result, RC_PRS_OK) << once;
        EXPECT_EQ(CompactDump(regenerated.root), CompactDump(original.root)) << once;
        FakeSource src;
        rcPrepared prep;
        EXPECT_EQ(Prepare(&prep, &src, once).result, 0) << once;
        rcErrQueueDestroy(&errors);
    }
}

} // namespace
