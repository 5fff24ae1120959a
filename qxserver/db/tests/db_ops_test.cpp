// Database operations as the server requests use them: searches, sorts,
// selections after changes, named selections, sets, transactions, locks
// and semaphores, seen from one or two connections.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>

#include <string>
#include <vector>

#include "qxserver/db/db_fixture.h"

namespace qxdb {
namespace {

// Table 1 "People": 1 ID longint unique, 2 Name alpha 20, 3 City alpha 20
// indexed, 4 Age integer indexed, 5 Born date, 6 Score real. Record numbers 0-5.
const char *kPeople = R"({
  "users": [ {"name": "demo", "password": "demo"} ],
  "tables": [
    { "name": "People",
      "fields": [
        {"name": "ID", "type": "longint", "indexed": true, "unique": true},
        {"name": "Name", "type": "alpha", "length": 20, "mandatory": true},
        {"name": "City", "type": "alpha", "length": 20, "indexed": true},
        {"name": "Age", "type": "integer", "indexed": true},
        {"name": "Born", "type": "date"},
        {"name": "Score", "type": "real"} ],
      "records": [
        {"ID": 10, "Name": "ann",   "City": "Paris",  "Age": 30, "Born": "1990-05-01", "Score": 1.5},
        {"ID": 11, "Name": "Bob",   "City": "paris ", "Age": 25, "Born": "1995-01-01", "Score": 2.5},
        {"ID": 12, "Name": "Cleo",  "City": "Lyon",   "Age": 30, "Score": 3.5},
        {"ID": 13, "Name": "dan",   "City": "Lyon",   "Age": 40, "Born": "1980-12-31", "Score": 0.5},
        {"ID": 14, "Name": "Émile", "City": "Berlin", "Age": 25, "Born": "1995-01-01", "Score": 2.5},
        {"ID": 15, "Name": "Fay",   "City": "Paris",  "Age": 50, "Born": "1970-07-07", "Score": 4.0} ] },
    { "name": "Other", "fields": [ {"name": "X", "type": "longint"} ], "records": [ {"X": 1} ] } ]
})";

class DbOps : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string err;
        ASSERT_TRUE(QxdbLoadFixtureText(kPeople, db, err)) << err;
        a = db.Connect("demo");
        b = db.Connect("demo");
    }

    // Record numbers of the current selection of table 1.
    static std::vector<int32_t> Selection(Connection &c, int16_t table = 1)
    {
        std::vector<Value> vals;
        int32_t rows = 0;
        EXPECT_EQ(c.SelectionToArray(table, {{table, 0}}, 0, 1000, vals, rows), kOk);
        std::vector<int32_t> out;
        for (const Value &v : vals)
            out.push_back(v.num);
        return out;
    }

    static Value Field(Connection &c, int field, int16_t expected = kOk)
    {
        std::vector<Value> vals;
        EXPECT_EQ(c.GetFields(1, {{1, static_cast<int16_t>(field)}}, vals), expected);
        return vals.empty() ? Value() : vals[0];
    }

    static SearchLine Line(int field, uint8_t op, Value v, uint8_t conj = kConjFirst)
    {
        SearchLine l;
        l.field = static_cast<int16_t>(field);
        l.op = op;
        l.conj = conj;
        l.value = std::move(v);
        return l;
    }

    Database db;
    std::unique_ptr<Connection> a, b;
};

TEST_F(DbOps, SearchLinesReadLeftToRight)
{
    struct Case {
        const char *what;
        std::vector<SearchLine> lines;
        std::vector<int32_t> expected;
    };
    const Case cases[] = {
        {"one line, text folded and trailing blanks ignored",
         {Line(3, kOpEq, Value::Alpha("PARIS"))},
         {0, 1, 5}},
        {"number against a real value", {Line(4, kOpGe, Value::Real(30.0))}, {0, 2, 3, 5}},
        {"a OR b AND c is (a OR b) AND c",
         {Line(3, kOpEq, Value::Alpha("Lyon")), Line(3, kOpEq, Value::Alpha("Berlin"), kConjOr),
          Line(4, kOpEq, Value::Int(25), kConjAnd)},
         {4}},
        {"a AND b OR c is (a AND b) OR c",
         {Line(3, kOpEq, Value::Alpha("Lyon")), Line(4, kOpEq, Value::Int(40), kConjAnd),
          Line(3, kOpEq, Value::Alpha("Berlin"), kConjOr)},
         {3, 4}},
        {"AND NOT",
         {Line(3, kOpEq, Value::Alpha("paris")), Line(4, kOpLt, Value::Long(30), kConjAndNot)},
         {0, 5}},
        {"negated first line", {Line(3, kOpEq, Value::Alpha("paris"), kConjAndNot)}, {2, 3, 4}},
        {"a AND NOT a is empty",
         {Line(3, kOpEq, Value::Alpha("paris")),
          Line(3, kOpEq, Value::Alpha("paris"), kConjAndNot)},
         {}},
        {"(a OR b) AND NOT c",
         {Line(3, kOpEq, Value::Alpha("Lyon")), Line(3, kOpEq, Value::Alpha("Berlin"), kConjOr),
          Line(4, kOpEq, Value::Int(25), kConjAndNot)},
         {2, 3}},
        {"dates, empty date below all", {Line(5, kOpLt, Value::Date(1990, 5, 1))}, {2, 3, 5}},
        {"not equal", {Line(1, kOpNe, Value::Long(12))}, {0, 1, 3, 4, 5}},
        {"accented fold", {Line(2, kOpEq, Value::Alpha(std::string("\x83MILE", 5)))}, {4}},
        {"nothing found", {Line(6, kOpGt, Value::Real(100))}, {}},
    };
    for (const Case &c : cases) {
        SearchRequest req;
        req.table = 1;
        req.lines = c.lines;
        int32_t found = -1;
        ASSERT_EQ(a->Search(req, found), kOk) << c.what;
        EXPECT_EQ(found, static_cast<int32_t>(c.expected.size())) << c.what;
        EXPECT_EQ(Selection(*a), c.expected) << c.what;
    }
}

TEST_F(DbOps, EqualityOnAUniqueFieldFollowsCommittedChanges)
{
    // Answered by the field's index: the same records a walk finds, through
    // changes, deletions and a transaction of another connection.
    auto find = [&](Connection &c, Value v) {
        SearchRequest req;
        req.table = 1;
        req.lines = {Line(1, kOpEq, std::move(v))};
        int32_t found = -1;
        EXPECT_EQ(c.Search(req, found), kOk);
        std::vector<int32_t> rows = Selection(c);
        EXPECT_EQ(found, static_cast<int32_t>(rows.size()));
        return rows;
    };
    using Rows = std::vector<int32_t>;
    EXPECT_EQ(find(*a, Value::Long(12)), (Rows{2}));
    EXPECT_EQ(find(*a, Value::Real(13.0)), (Rows{3}));
    EXPECT_EQ(find(*a, Value::Long(99)), (Rows{}));
    EXPECT_EQ(find(*a, Value::Long(0)), (Rows{}));
    ASSERT_EQ(a->GotoRecord(1, 0), kOk);
    ASSERT_EQ(a->ModifyRecord({1, {{1, Value::Long(99)}}}), kOk);
    ASSERT_EQ(a->GotoRecord(1, 1), kOk);
    ASSERT_EQ(a->DeleteCurrentRecord(1), kOk);
    EXPECT_EQ(find(*b, Value::Long(99)), (Rows{0}));
    EXPECT_EQ(find(*b, Value::Long(10)), (Rows{}));
    EXPECT_EQ(find(*b, Value::Long(11)), (Rows{}));
    // A record of an open transaction: seen by its own connection only.
    ASSERT_EQ(a->StartTransaction(), kOk);
    ASSERT_EQ(a->NewRecord({1, {{1, Value::Long(30)}, {2, Value::Alpha("New")}}}), kOk);
    EXPECT_EQ(find(*a, Value::Long(30)), (Rows{6}));
    EXPECT_EQ(find(*b, Value::Long(30)), (Rows{}));
    ASSERT_EQ(a->Commit(), kOk);
    EXPECT_EQ(find(*b, Value::Long(30)), (Rows{6}));
}

TEST_F(DbOps, EqualityOnAnIndexedFieldFindsWhatAWalkFinds)
{
    // One equality line is answered by the field's index; a second line that
    // every record passes makes the search walk the table. Both must agree,
    // also for texts equal under the collation (case, trailing blanks) and
    // after changes.
    auto find = [&](int field, const Value &v, bool walk) {
        SearchRequest req;
        req.table = 1;
        req.lines = {Line(field, kOpEq, v)};
        if (walk)
            req.lines.push_back(Line(1, kOpGe, Value::Long(-1000000)));
        int32_t found = -1;
        EXPECT_EQ(a->Search(req, found), kOk);
        return Selection(*a);
    };
    auto check = [&](const char *what) {
        SCOPED_TRACE(what);
        for (const char *city : {"Paris", "paris", "PARIS ", "Lyon", "Nowhere", ""})
            EXPECT_EQ(find(3, Value::Alpha(city), false), find(3, Value::Alpha(city), true))
                << city;
        for (int32_t age : {25, 30, 40, 99})
            EXPECT_EQ(find(4, Value::Int(age), false), find(4, Value::Int(age), true)) << age;
    };
    check("as loaded");
    EXPECT_EQ(find(4, Value::Int(25), false), (std::vector<int32_t>{1, 4}));
    ASSERT_EQ(a->GotoRecord(1, 2), kOk);
    ASSERT_EQ(a->ModifyRecord({1, {{3, Value::Alpha("Paris")}, {4, Value::Int(25)}}}), kOk);
    ASSERT_EQ(a->GotoRecord(1, 0), kOk);
    ASSERT_EQ(a->DeleteCurrentRecord(1), kOk);
    check("after a change and a deletion");
    EXPECT_EQ(find(4, Value::Int(25), false), (std::vector<int32_t>{1, 2, 4}));
}

TEST_F(DbOps, SearchRefusalsLeaveTheSelection)
{
    ASSERT_EQ(a->SelectAllRecords(1), kOk);
    struct Case {
        SearchRequest req;
        int16_t status;
    };
    auto req = [](int table, SearchLine l) {
        SearchRequest r;
        r.table = static_cast<int16_t>(table);
        r.lines.push_back(std::move(l));
        return r;
    };
    SearchLine otherTable = Line(1, kOpEq, Value::Long(1));
    otherTable.table = 2;
    const Case cases[] = {
        {req(1, Line(2, kOpEq, Value::Long(1))), kStatusBadValueType},
        {req(1, Line(4, kOpEq, Value::Alpha("1"))), kStatusBadValueType},
        {req(1, Line(5, kOpEq, Value::Long(1))), kStatusBadValueType},
        {req(1, Line(9, kOpEq, Value::Long(1))), kStatusBadField},
        {req(1, Line(0, kOpEq, Value::Long(1))), kStatusBadField},
        {req(3, Line(1, kOpEq, Value::Long(1))), kStatusBadTable},
        {req(1, otherTable), kStatusBadTable},
        {req(1, Line(1, 7, Value::Long(1))), kStatusBadRequest},
        {req(1, Line(1, kOpEq, Value::Long(1), 4)), kStatusBadRequest},
        {SearchRequest{1, {}}, kStatusBadRequest},
    };
    for (const Case &c : cases) {
        int32_t found = 99;
        EXPECT_EQ(a->Search(c.req, found), c.status);
        EXPECT_EQ(found, 0);
        EXPECT_EQ(Selection(*a).size(), 6u);
    }
}

TEST_F(DbOps, SearchInSelectionNarrowsAndKeepsOrder)
{
    ASSERT_EQ(a->SelectAllRecords(1), kOk);
    ASSERT_EQ(a->Sort({1, {{1, 0, false}}}), kOk); // ID descending
    int32_t found = 0;
    ASSERT_EQ(a->SearchInSelection({1, {Line(4, kOpLe, Value::Int(30))}}, found), kOk);
    EXPECT_EQ(found, 4);
    EXPECT_EQ(Selection(*a), (std::vector<int32_t>{4, 2, 1, 0}));
}

TEST_F(DbOps, SortsAreStableWithTies)
{
    struct Case {
        std::vector<SortKey> keys;
        std::vector<int32_t> expected;
    };
    const Case cases[] = {
        {{{4, 0, true}}, {1, 4, 0, 2, 3, 5}}, // ties keep selection order
        {{{4, 0, false}}, {5, 3, 0, 2, 1, 4}},
        {{{3, 0, true}, {4, 1, false}}, {4, 3, 2, 5, 0, 1}}, // City folded, then Age desc
        {{{5, 0, true}}, {2, 5, 3, 0, 1, 4}},                // empty date first
        {{{6, 0, true}, {2, 0, false}}, {3, 0, 4, 1, 2, 5}}, // Score, then Name desc
    };
    for (const Case &c : cases) {
        ASSERT_EQ(a->SelectAllRecords(1), kOk);
        ASSERT_EQ(a->Sort({1, c.keys}), kOk);
        EXPECT_EQ(Selection(*a), c.expected);
    }
    EXPECT_EQ(a->Sort({1, {{9, 0, true}}}), kStatusBadField);
    EXPECT_EQ(a->Sort({1, {{1, 2, true}}}), kStatusBadTable);
    EXPECT_EQ(a->Sort({1, {}}), kStatusBadRequest);
}

TEST_F(DbOps, SelectionAndCurrentRecordAfterChanges)
{
    ASSERT_EQ(a->Search({1, {Line(3, kOpEq, Value::Alpha("paris"))}}, *std::make_unique<int32_t>()),
              kOk);
    EXPECT_EQ(Selection(*a), (std::vector<int32_t>{0, 1, 5}));
    SelectionInfo info;
    ASSERT_EQ(a->GetSelectionInfo(1, info), kOk);
    EXPECT_EQ(info.recordsInTable, 6);
    EXPECT_EQ(info.recordsInSelection, 3);
    EXPECT_EQ(info.position, 0);
    EXPECT_EQ(info.record, 0);

    // A new record becomes current but does not join the selection.
    ASSERT_EQ(
        a->NewRecord(
            {1, {{1, Value::Long(20)}, {2, Value::Alpha("Gus")}, {3, Value::Alpha("Paris")}}}),
        kOk);
    ASSERT_EQ(a->GetSelectionInfo(1, info), kOk);
    EXPECT_EQ(info.record, 6);
    EXPECT_EQ(info.position, -1);
    EXPECT_EQ(info.recordsInTable, 7);
    EXPECT_EQ(Selection(*a), (std::vector<int32_t>{0, 1, 5}));
    EXPECT_EQ(Field(*a, 2).bytes, "Gus");

    // A change touches the current record only.
    ASSERT_EQ(a->GotoSelectedRecord(1, 1), kOk);
    ASSERT_EQ(a->ModifyRecord({1, {{4, Value::Long(26)}}}), kOk);
    EXPECT_EQ(Field(*a, 4).num, 26);
    EXPECT_EQ(Field(*a, 4).type, kTypeInteger);
    ASSERT_EQ(a->GetSelectionInfo(1, info), kOk);
    EXPECT_EQ(info.position, 1);
    EXPECT_EQ(info.record, 1);

    // Deleting the current record shifts the later positions down.
    ASSERT_EQ(a->DeleteCurrentRecord(1), kOk);
    EXPECT_EQ(Selection(*a), (std::vector<int32_t>{0, 5}));
    ASSERT_EQ(a->GetSelectionInfo(1, info), kOk);
    EXPECT_EQ(info.record, -1);
    EXPECT_EQ(a->ModifyRecord({1, {{4, Value::Long(1)}}}), kStatusNoCurrentRecord);
    EXPECT_EQ(a->DeleteCurrentRecord(1), kStatusNoCurrentRecord);
    Field(*a, 1, kStatusNoCurrentRecord);
    EXPECT_EQ(a->GotoRecord(1, 1), kStatusNoCurrentRecord);
    EXPECT_EQ(a->GotoSelectedRecord(1, 2), kStatusPosition);

    // Another connection's selection loses the deleted record too.
    ASSERT_EQ(b->SelectAllRecords(1), kOk);
    EXPECT_EQ(Selection(*b), (std::vector<int32_t>{0, 2, 3, 4, 5, 6}));
    ASSERT_EQ(a->GotoRecord(1, 2), kOk);
    ASSERT_EQ(a->DeleteCurrentRecord(1), kOk);
    EXPECT_EQ(Selection(*b), (std::vector<int32_t>{0, 3, 4, 5, 6}));

    // Record numbers are never given twice.
    ASSERT_EQ(a->NewRecord({1, {{1, Value::Long(21)}, {2, Value::Alpha("Hal")}}}), kOk);
    ASSERT_EQ(a->GetSelectionInfo(1, info), kOk);
    EXPECT_EQ(info.record, 7);

    // Deleting the selection empties it.
    ASSERT_EQ(b->DeleteSelectedRecords(1), kOk);
    int32_t n = -1;
    ASSERT_EQ(b->RecordsInFile(1, n), kOk);
    EXPECT_EQ(n, 1);
    EXPECT_TRUE(Selection(*b).empty());
    EXPECT_EQ(Selection(*a), std::vector<int32_t>{});
}

TEST_F(DbOps, RecordChecks)
{
    struct Case {
        RecordChange change;
        int16_t status;
    };
    const Case cases[] = {
        {{1, {{1, Value::Long(10)}, {2, Value::Alpha("dup")}}}, kStatusDuplicateKey},
        {{1, {{1, Value::Long(30)}}}, kStatusMandatory},
        {{1, {{1, Value::Long(30)}, {2, Value::Alpha("")}}}, kStatusMandatory},
        {{1, {{2, Value::Alpha("x")}, {4, Value::Alpha("12")}}}, kStatusBadValueType},
        {{1, {{2, Value::Alpha("x")}, {4, Value::Long(70000)}}}, kStatusBadValueType},
        {{1, {{2, Value::Alpha("x")}, {7, Value::Long(1)}}}, kStatusBadField},
        {{3, {{1, Value::Long(1)}}}, kStatusBadTable},
    };
    for (const Case &c : cases)
        EXPECT_EQ(a->NewRecord(c.change), c.status);
    int32_t n = 0;
    ASSERT_EQ(a->RecordsInFile(1, n), kOk);
    EXPECT_EQ(n, 6);
    // Alpha values are cut to the field length; text values mix with alpha.
    ASSERT_EQ(a->NewRecord({1, {{2, Value::Text(std::string(30, 'z'))}}}), kOk);
    EXPECT_EQ(Field(*a, 2).bytes, std::string(20, 'z'));
    EXPECT_EQ(Field(*a, 2).type, kTypeAlpha);
    // A record may keep its own unique value when changed.
    ASSERT_EQ(a->GotoRecord(1, 0), kOk);
    EXPECT_EQ(a->ModifyRecord({1, {{1, Value::Long(10)}, {3, Value::Alpha("Nice")}}}), kOk);
    EXPECT_EQ(a->ModifyRecord({1, {{1, Value::Long(11)}}}), kStatusDuplicateKey);
    // A unique value given up by a change or a deletion is free again.
    ASSERT_EQ(a->ModifyRecord({1, {{1, Value::Long(99)}}}), kOk);
    EXPECT_EQ(a->NewRecord({1, {{1, Value::Long(10)}, {2, Value::Alpha("new 10")}}}), kOk);
    ASSERT_EQ(a->GotoRecord(1, 1), kOk);
    ASSERT_EQ(a->DeleteCurrentRecord(1), kOk);
    EXPECT_EQ(a->NewRecord({1, {{1, Value::Long(11)}, {2, Value::Alpha("new 11")}}}), kOk);
    EXPECT_EQ(a->NewRecord({1, {{1, Value::Long(99)}, {2, Value::Alpha("dup")}}}),
              kStatusDuplicateKey);
}

TEST_F(DbOps, NamedSelectionsBelongToTheirConnection)
{
    ASSERT_EQ(a->Search({1, {Line(4, kOpEq, Value::Int(30))}}, *std::make_unique<int32_t>()), kOk);
    ASSERT_EQ(a->CopySelection("BM_19l", 1), kOk);
    ASSERT_EQ(a->SelectAllRecords(1), kOk);
    int16_t table = 0;
    EXPECT_EQ(b->UseSelection("BM_19l", table), kStatusUnknownName);
    ASSERT_EQ(a->UseSelection("BM_19l", table), kOk);
    EXPECT_EQ(table, 1);
    EXPECT_EQ(Selection(*a), (std::vector<int32_t>{0, 2}));
    // Used again: not consumed. Replaced by a second copy under the name.
    ASSERT_EQ(a->SelectAllRecords(1), kOk);
    ASSERT_EQ(a->UseSelection("BM_19l", table), kOk);
    EXPECT_EQ(Selection(*a), (std::vector<int32_t>{0, 2}));
    ASSERT_EQ(a->SelectAllRecords(1), kOk);
    ASSERT_EQ(a->CopySelection("BM_19l", 1), kOk);
    ASSERT_EQ(a->ShrinkSelection(1, 1), kOk);
    ASSERT_EQ(a->UseSelection("BM_19l", table), kOk);
    EXPECT_EQ(Selection(*a).size(), 6u);
    // Move empties the current selection.
    ASSERT_EQ(a->MoveSelection("moved", 1), kOk);
    EXPECT_TRUE(Selection(*a).empty());
    ASSERT_EQ(a->UseSelection("moved", table), kOk);
    EXPECT_EQ(Selection(*a).size(), 6u);
    EXPECT_EQ(a->KillSelection("BM_19l"), kOk);
    EXPECT_EQ(a->UseSelection("BM_19l", table), kStatusUnknownName);
    EXPECT_EQ(a->KillSelection("BM_19l"), kStatusUnknownName);
}

TEST_F(DbOps, SetsAndTheirOperations)
{
    ASSERT_EQ(a->Search({1, {Line(3, kOpEq, Value::Alpha("paris"))}}, *std::make_unique<int32_t>()),
              kOk);
    ASSERT_EQ(a->CreateSet("paris", 1), kOk); // 0 1 5
    ASSERT_EQ(a->Search({1, {Line(4, kOpEq, Value::Int(25))}}, *std::make_unique<int32_t>()), kOk);
    ASSERT_EQ(a->CreateSet("young", 1), kOk); // 1 4
    ASSERT_EQ(a->CreateEmptySet("other", 2), kOk);

    struct Case {
        SetOperation op;
        std::vector<int32_t> expected;
    };
    const Case cases[] = {
        {kSetUnion, {0, 1, 4, 5}}, {kSetIntersection, {1}}, {kSetDifference, {0, 5}}};
    for (const Case &c : cases) {
        ASSERT_EQ(a->CombineSets(c.op, "paris", "young", "r"), kOk);
        ASSERT_EQ(a->UseSet("r"), kOk);
        EXPECT_EQ(Selection(*a), c.expected);
    }
    EXPECT_EQ(a->CombineSets(kSetUnion, "paris", "other", "r"), kStatusBadTable);
    EXPECT_EQ(a->CombineSets(kSetUnion, "paris", "none", "r"), kStatusUnknownName);

    ASSERT_EQ(a->AddToSet("young", 1, 3), kOk);
    ASSERT_EQ(a->RemoveFromSet("young", 1, 1), kOk);
    EXPECT_EQ(a->AddToSet("young", 1, 99), kStatusNoCurrentRecord);
    EXPECT_EQ(a->AddToSet("young", 2, 0), kStatusBadTable);
    bool in = false;
    ASSERT_EQ(a->IsInSet("young", 3, in), kOk);
    EXPECT_TRUE(in);
    ASSERT_EQ(a->IsInSet("young", 1, in), kOk);
    EXPECT_FALSE(in);
    int32_t n = 0;
    ASSERT_EQ(a->RecordsInSet("young", n), kOk);
    EXPECT_EQ(n, 2);
    ASSERT_EQ(a->CopySet("young", "copy"), kOk);
    ASSERT_EQ(a->ClearSet("young"), kOk);
    EXPECT_EQ(a->RecordsInSet("young", n), kStatusUnknownName);
    ASSERT_EQ(a->RecordsInSet("copy", n), kOk);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(b->RecordsInSet("copy", n), kStatusUnknownName); // per connection

    // A deleted record leaves the sets.
    ASSERT_EQ(b->GotoRecord(1, 3), kOk);
    ASSERT_EQ(b->DeleteCurrentRecord(1), kOk);
    ASSERT_EQ(a->RecordsInSet("copy", n), kOk);
    EXPECT_EQ(n, 1);
}

TEST_F(DbOps, TransactionsAreInvisibleToOthersUntilCommit)
{
    ASSERT_EQ(a->StartTransaction(), kOk);
    EXPECT_EQ(a->StartTransaction(), kStatusTransaction);
    ASSERT_EQ(a->NewRecord({1, {{1, Value::Long(30)}, {2, Value::Alpha("New")}}}), kOk);
    ASSERT_EQ(a->GotoRecord(1, 0), kOk);
    ASSERT_EQ(a->ModifyRecord({1, {{3, Value::Alpha("Rome")}}}), kOk);
    ASSERT_EQ(a->GotoRecord(1, 3), kOk);
    ASSERT_EQ(a->DeleteCurrentRecord(1), kOk);

    int32_t n = 0;
    ASSERT_EQ(a->RecordsInFile(1, n), kOk);
    EXPECT_EQ(n, 6);
    ASSERT_EQ(a->SelectAllRecords(1), kOk);
    EXPECT_EQ(Selection(*a), (std::vector<int32_t>{0, 1, 2, 4, 5, 6}));

    ASSERT_EQ(b->SelectAllRecords(1), kOk);
    EXPECT_EQ(Selection(*b), (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
    ASSERT_EQ(b->GotoRecord(1, 0), kOk);
    // Changed record: others read the old values, flagged as locked.
    EXPECT_EQ(Field(*b, 3, kStatusRecordLockedRead).bytes, "Paris");
    EXPECT_EQ(b->ModifyRecord({1, {{3, Value::Alpha("Oslo")}}}), kStatusRecordLocked);
    ASSERT_EQ(b->GotoRecord(1, 3), kOk);
    EXPECT_EQ(b->DeleteCurrentRecord(1), kStatusRecordLocked);
    EXPECT_EQ(b->DeleteSelectedRecords(1), kStatusRecordLocked);
    EXPECT_EQ(b->GotoRecord(1, 6), kStatusNoCurrentRecord);
    // The unique value taken inside the transaction is taken for others too.
    EXPECT_EQ(b->NewRecord({1, {{1, Value::Long(30)}, {2, Value::Alpha("Dup")}}}),
              kStatusDuplicateKey);

    ASSERT_EQ(a->Commit(), kOk);
    EXPECT_EQ(Selection(*b), (std::vector<int32_t>{0, 1, 2, 4, 5}));
    ASSERT_EQ(b->GotoRecord(1, 0), kOk);
    EXPECT_EQ(Field(*b, 3).bytes, "Rome");
    ASSERT_EQ(b->GotoRecord(1, 6), kOk);
    EXPECT_EQ(Field(*b, 2).bytes, "New");
    EXPECT_EQ(b->ModifyRecord({1, {{3, Value::Alpha("Oslo")}}}), kOk);
    EXPECT_EQ(a->Commit(), kOk); // nothing open: nothing done
}

TEST_F(DbOps, RollBackAndDisconnectUndoChanges)
{
    ASSERT_EQ(a->StartTransaction(), kOk);
    ASSERT_EQ(a->NewRecord({1, {{1, Value::Long(30)}, {2, Value::Alpha("New")}}}), kOk);
    ASSERT_EQ(a->SelectAllRecords(1), kOk);
    ASSERT_EQ(a->CopySelection("keep", 1), kOk);
    ASSERT_EQ(a->GotoRecord(1, 1), kOk);
    ASSERT_EQ(a->DeleteCurrentRecord(1), kOk);
    ASSERT_EQ(a->RollBack(), kOk);
    EXPECT_FALSE(a->InTransaction());
    int32_t n = 0;
    ASSERT_EQ(a->RecordsInFile(1, n), kOk);
    EXPECT_EQ(n, 6);
    int16_t table = 0;
    ASSERT_EQ(a->UseSelection("keep", table), kOk);
    // The new record is gone; the deleted one is back in the table but not
    // in the selections it left.
    EXPECT_EQ(Selection(*a), (std::vector<int32_t>{0, 2, 3, 4, 5}));
    ASSERT_EQ(a->GotoRecord(1, 1), kOk);
    ASSERT_EQ(b->GotoRecord(1, 1), kOk);
    EXPECT_EQ(b->ModifyRecord({1, {{3, Value::Alpha("Oslo")}}}), kOk); // lock released
    // The rolled-back record number is not given again.
    ASSERT_EQ(b->NewRecord({1, {{1, Value::Long(31)}, {2, Value::Alpha("Next")}}}), kOk);
    SelectionInfo info;
    ASSERT_EQ(b->GetSelectionInfo(1, info), kOk);
    EXPECT_EQ(info.record, 7);

    ASSERT_EQ(a->StartTransaction(), kOk);
    ASSERT_EQ(a->GotoRecord(1, 0), kOk);
    ASSERT_EQ(a->ModifyRecord({1, {{3, Value::Alpha("Gone")}}}), kOk);
    a.reset(); // disconnect
    ASSERT_EQ(b->GotoRecord(1, 0), kOk);
    EXPECT_EQ(Field(*b, 3).bytes, "Paris");
    EXPECT_EQ(b->ModifyRecord({1, {{3, Value::Alpha("Free")}}}), kOk);
    EXPECT_EQ(db.ConnectionCount(), 1);
}

TEST_F(DbOps, ReadWriteLocks)
{
    ASSERT_EQ(a->SelectAllRecords(1), kOk);
    ASSERT_EQ(b->SelectAllRecords(1), kOk);
    ASSERT_EQ(a->SetReadWriteMode(1, true), kOk);
    ASSERT_EQ(a->GotoSelectedRecord(1, 2), kOk); // locks record 2
    ASSERT_EQ(b->GotoSelectedRecord(1, 2), kOk);
    Field(*b, 2, kStatusRecordLockedRead);
    EXPECT_EQ(b->ModifyRecord({1, {{3, Value::Alpha("X")}}}), kStatusRecordLocked);
    EXPECT_EQ(b->DeleteCurrentRecord(1), kStatusRecordLocked);
    Field(*a, 2); // the holder reads normally

    struct Release {
        const char *how;
        std::function<int16_t()> step;
    };
    const Release releases[] = {
        {"unlock", [&] { return a->UnlockCurrentRecord(1); }},
        {"read-only mode", [&] { return a->SetReadWriteMode(1, false); }},
        {"moving away", [&] { return a->GotoSelectedRecord(1, 3); }},
        {"saving",
         [&] {
             return a->ModifyRecord({1, {{4, Value::Int(31)}}});
         }},
    };
    for (const Release &r : releases) {
        ASSERT_EQ(a->SetReadWriteMode(1, true), kOk);
        ASSERT_EQ(a->GotoSelectedRecord(1, 2), kOk);
        Field(*b, 2, kStatusRecordLockedRead);
        ASSERT_EQ(r.step(), kOk) << r.how;
        Field(*b, 2);
        EXPECT_EQ(b->ModifyRecord({1, {{3, Value::Alpha(r.how)}}}), kOk) << r.how;
    }
    // Read-only mode takes no lock.
    ASSERT_EQ(a->SetReadWriteMode(1, false), kOk);
    ASSERT_EQ(a->GotoSelectedRecord(1, 2), kOk);
    Field(*b, 2);
}

TEST_F(DbOps, SemaphoresBelongToTheServer)
{
    bool was = true;
    ASSERT_EQ(a->SetSemaphore("job", was), kOk);
    EXPECT_FALSE(was);
    ASSERT_EQ(b->SetSemaphore("job", was), kOk);
    EXPECT_TRUE(was);
    ASSERT_EQ(a->SetSemaphore("job", was), kOk);
    EXPECT_TRUE(was);
    bool set = false;
    ASSERT_EQ(b->TestSemaphore("job", set), kOk);
    EXPECT_TRUE(set);
    ASSERT_EQ(b->ClearSemaphore("job"), kOk); // not the holder: no effect
    ASSERT_EQ(b->TestSemaphore("job", set), kOk);
    EXPECT_TRUE(set);
    ASSERT_EQ(a->ClearSemaphore("job"), kOk);
    ASSERT_EQ(b->TestSemaphore("job", set), kOk);
    EXPECT_FALSE(set);
    ASSERT_EQ(a->SetSemaphore("other", was), kOk);
    a.reset(); // released at disconnect
    ASSERT_EQ(b->TestSemaphore("other", set), kOk);
    EXPECT_FALSE(set);
}

// Field 0 beside fields gives each row's record number in its place, on
// every road a window takes: rows in storage order, rows in sorted order
// (their memory asked for ahead) and a window read ahead while idle.
TEST_F(DbOps, RecordNumbersBesideValues)
{
    struct Case {
        const char *what;
        bool sorted;
        bool readAhead;
    };
    const Case cases[] = {
        {"storage order", false, false},
        {"sorted", true, false},
        {"sorted, read ahead", true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(a->SelectAllRecords(1), kOk);
        if (c.sorted) {
            ASSERT_EQ(a->Sort({1, {{1, 0, false}}}), kOk);
        }
        const std::vector<int32_t> numbers = Selection(*a);
        ASSERT_GE(numbers.size(), 4u);
        std::vector<Value> vals, plain;
        int32_t rows = 0;
        if (c.readAhead) {
            ASSERT_EQ(a->SelectionToArray(1, {{1, 0}, {1, 1}, {1, 2}}, 0, 1, vals, rows), kOk);
            a->ReadAhead(); // brings positions 2 and 3
        }
        ASSERT_EQ(a->SelectionToArray(1, {{1, 2}, {1, 1}}, 2, 3, plain, rows), kOk);
        if (c.readAhead) {
            ASSERT_EQ(a->SelectionToArray(1, {{1, 0}, {1, 1}, {1, 2}}, 0, 1, vals, rows), kOk);
            a->ReadAhead();
        }
        ASSERT_EQ(a->SelectionToArray(1, {{1, 2}, {1, 0}, {1, 1}}, 2, 3, vals, rows), kOk);
        ASSERT_EQ(rows, 2);
        ASSERT_EQ(vals.size(), 6u);
        for (size_t r = 0; r < 2; ++r) {
            EXPECT_EQ(vals[3 * r].bytes, plain[2 * r].bytes);
            EXPECT_EQ(vals[3 * r + 1].num, numbers[2 + r]);
            EXPECT_EQ(vals[3 * r + 2].num, plain[2 * r + 1].num);
        }
    }
}

TEST_F(DbOps, ArraysDistinctValuesAndAggregates)
{
    ASSERT_EQ(a->SelectAllRecords(1), kOk);
    std::vector<Value> vals;
    int32_t rows = 0;
    ASSERT_EQ(a->SelectionToArray(1, {{1, 1}, {1, 2}}, 4, 10, vals, rows), kOk);
    ASSERT_EQ(rows, 2);
    ASSERT_EQ(vals.size(), 4u);
    EXPECT_EQ(vals[0].num, 14);
    EXPECT_EQ(vals[3].bytes, "Fay");
    ASSERT_EQ(a->SelectionToArray(1, {{1, 1}}, 6, 105, vals, rows), kOk);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(a->SelectionToArray(1, {{2, 1}}, 0, 1, vals, rows), kStatusBadTable);

    ASSERT_EQ(a->DistinctValues(1, 3, vals), kOk);
    ASSERT_EQ(vals.size(), 3u); // Berlin, Lyon, Paris ("paris " folds in)
    EXPECT_EQ(vals[0].bytes, "Berlin");
    EXPECT_EQ(vals[2].bytes, "Paris");

    struct Case {
        Aggregate kind;
        double expected;
    };
    const Case cases[] = {{kAggSum, 200}, {kAggAverage, 200.0 / 6}, {kAggMin, 25}, {kAggMax, 50}};
    for (const Case &c : cases) {
        double r = -1;
        ASSERT_EQ(a->AggregateField(c.kind, 1, 4, r), kOk);
        EXPECT_DOUBLE_EQ(r, c.expected);
    }
    double r = -1;
    EXPECT_EQ(a->AggregateField(kAggSum, 1, 2, r), kStatusBadValueType);
    ASSERT_EQ(a->ArrayToSelection(1, {5, 99, 0}), kOk);
    EXPECT_EQ(Selection(*a), (std::vector<int32_t>{5, 0}));
    ASSERT_EQ(a->ShrinkSelection(1, 0), kOk);
    ASSERT_EQ(a->AggregateField(kAggAverage, 1, 4, r), kOk);
    EXPECT_EQ(r, 0.0);
    int32_t seq = 0;
    ASSERT_EQ(a->AutoSequenceNumber(1, seq), kOk);
    EXPECT_EQ(seq, 1);
    ASSERT_EQ(b->AutoSequenceNumber(1, seq), kOk);
    EXPECT_EQ(seq, 2);
}

TEST_F(DbOps, ReadAheadFollowsTheSelectionAsItChanges)
{
    // The read-ahead of the next window only warms the caches: it must cope
    // with a selection that shrank, records deleted here or elsewhere, a
    // selection of another table, and change no window read after it.
    auto window = [&](int32_t first, int32_t last) {
        std::vector<Value> vals;
        int32_t rows = 0;
        EXPECT_EQ(a->SelectionToArray(1, {{1, 2}, {1, 3}}, first, last, vals, rows), kOk);
        std::vector<std::string> out;
        for (const Value &v : vals)
            out.push_back(v.bytes);
        return out;
    };
    a->ReadAhead(); // nothing read yet
    ASSERT_EQ(a->SelectAllRecords(1), kOk);
    ASSERT_EQ(a->Sort({1, {{2, 0, false}}}), kOk); // Name descending: 4 5 3 2 1 0
    const auto cold = window(3, 4);
    window(1, 2);
    a->ReadAhead(); // positions 3 and 4
    a->ReadAhead(); // once only
    EXPECT_EQ(window(3, 4), cold);
    EXPECT_EQ(cold, (std::vector<std::string>{"Cleo", "Lyon", "Bob", "paris "}));
    ASSERT_EQ(a->ShrinkSelection(1, 4), kOk);
    a->ReadAhead(); // positions 5 and 6: past the end now
    EXPECT_EQ(window(3, 4), (std::vector<std::string>{"Cleo", "Lyon"}));
    EXPECT_EQ(window(4, 5), std::vector<std::string>{});
    ASSERT_EQ(a->SelectAllRecords(1), kOk);
    ASSERT_EQ(a->Sort({1, {{1, 0, false}}}), kOk); // ID descending: 5 4 3 2 1 0
    window(0, 1);
    ASSERT_EQ(b->GotoRecord(1, 2), kOk);
    ASSERT_EQ(b->DeleteCurrentRecord(1), kOk);
    ASSERT_EQ(a->GotoRecord(1, 3), kOk);
    ASSERT_EQ(a->DeleteCurrentRecord(1), kOk);
    a->ReadAhead(); // positions 2 and 3, now records 1 and 0
    EXPECT_EQ(window(2, 3), (std::vector<std::string>{"Bob", "paris ", "ann", "Paris"}));
    window(0, 1);
    ASSERT_EQ(a->SelectAllRecords(2), kOk);
    ASSERT_EQ(a->ShrinkSelection(1, 0), kOk);
    a->ReadAhead();
}

} // namespace
} // namespace qxdb
