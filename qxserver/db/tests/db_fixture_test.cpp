// Fixture files: loading, refusing bad content, saving and loading back.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "qxserver/db/db_fixture.h"
#include "qxserver/db/db_text.h"

namespace qxdb {
namespace {

// A table's committed records, by record number.
std::map<int32_t, std::vector<Value>> Records(const Table &t)
{
    std::map<int32_t, std::vector<Value>> out;
    t.ForEach([&](int32_t r, const Value *row) { out[r].assign(row, row + t.def.fields.size()); });
    return out;
}

const char *kSmall = R"({
  "users": [ {"name": "demo", "password": "demo"}, {"name": "ann", "password": ""} ],
  "tables": [
    { "name": "Customers",
      "fields": [
        {"name": "ID", "type": "longint", "indexed": true, "unique": true, "mandatory": true},
        {"name": "Name", "type": "alpha", "length": 20, "indexed": true},
        {"name": "Born", "type": "date"},
        {"name": "Rate", "type": "real"},
        {"name": "Notes", "type": "text"},
        {"name": "Active", "type": "boolean"},
        {"name": "Wake", "type": "time"},
        {"name": "Logo", "type": "picture"},
        {"name": "Small", "type": "integer"} ],
      "records": [
        {"ID": 1, "Name": "Zoë", "Born": "1970-02-28", "Rate": 1.5, "Notes": "line\r\nline",
         "Active": true, "Wake": "07:30:05", "Logo": "00ff10", "Small": -3},
        {"#": 5, "ID": 2, "Name": "Bo"},
        {"ID": 3, "Name": null} ] },
    { "name": "Empty", "fields": [] } ]
})";

TEST(DbFixture, LoadsTypesNumbersAndAccounts)
{
    Database db;
    std::string err;
    ASSERT_TRUE(QxdbLoadFixtureText(kSmall, db, err)) << err;
    EXPECT_EQ(db.CheckLogin("demo", "demo"), kOk);
    EXPECT_EQ(db.CheckLogin("demo", "x"), kStatusBadPassword);
    EXPECT_EQ(db.CheckLogin("nobody", "demo"), kStatusBadUser);
    EXPECT_EQ(db.CheckLogin("ann", ""), kOk);

    ASSERT_EQ(db.TableCount(), 2);
    const Table &t = db.tables[0];
    EXPECT_EQ(t.def.fields[1].length, 20);
    EXPECT_TRUE(t.def.fields[0].unique);
    EXPECT_TRUE(t.def.fields[0].mandatory);
    EXPECT_FALSE(t.def.fields[2].indexed);
    // Record numbers: sequential from 0, "#" resets the count.
    ASSERT_EQ(t.Count(), 3u);
    EXPECT_TRUE(t.Find(0) && t.Find(5) && t.Find(6));
    EXPECT_FALSE(t.Find(1) || t.Find(4) || t.Find(7) || t.Find(-1));
    EXPECT_EQ(t.nextRecord, 7);
    const Value *r = t.Find(0);
    EXPECT_EQ(r[1].bytes, std::string("Zo\x91", 3)); // e diaeresis in Mac Roman
    EXPECT_EQ(r[2], Value::Date(1970, 2, 28));
    EXPECT_EQ(r[3].real, 1.5);
    EXPECT_EQ(r[4].bytes, "line\r\nline");
    EXPECT_EQ(r[5].num, 1);
    EXPECT_EQ(r[6].num, 7 * 3600 + 30 * 60 + 5);
    EXPECT_EQ(r[7].bytes, std::string("\x00\xff\x10", 3));
    EXPECT_EQ(r[8].num, -3);
    EXPECT_TRUE(t.Find(5)[2].IsEmpty());
    EXPECT_TRUE(t.Find(6)[1].IsEmpty());
    EXPECT_EQ(db.FindTable("customers"), 1);
    EXPECT_EQ(db.FindField(1, "NOTES"), 5);
    EXPECT_EQ(db.FindField(1, "Nope"), 0);
}

TEST(DbFixture, SaveThenLoadGivesTheSameDatabase)
{
    Database db;
    std::string err;
    ASSERT_TRUE(QxdbLoadFixtureText(kSmall, db, err)) << err;
    db.tables[0].sequence = 12;
    std::string path = ::testing::TempDir() + "qxdb_roundtrip.json";
    ASSERT_TRUE(QxdbSaveFixture(db, path, err)) << err;

    Database back;
    ASSERT_TRUE(QxdbLoadFixture(path, back, err)) << err;
    std::remove(path.c_str());
    EXPECT_EQ(QxdbFixtureText(back), QxdbFixtureText(db));
    ASSERT_EQ(back.tables.size(), db.tables.size());
    for (size_t i = 0; i < db.tables.size(); ++i) {
        EXPECT_EQ(Records(back.tables[i]), Records(db.tables[i]));
        EXPECT_EQ(back.tables[i].nextRecord, db.tables[i].nextRecord);
        EXPECT_EQ(back.tables[i].sequence, db.tables[i].sequence);
    }
    EXPECT_EQ(back.users.size(), 2u);
}

TEST(DbFixture, RefusesBadContentAndSaysWhere)
{
    struct Case {
        const char *json;
        const char *mentions;
    };
    const Case cases[] = {
        {R"({"tables":[{"name":"T","fields":[{"name":"A","type":"money"}]}]})",
         "unknown field type"},
        {R"({"tables":[{"name":"T","fields":[{"name":"A","type":"alpha","length":81}]}]})",
         "1 to 80"},
        {R"({"tables":[{"name":"T","fields":[{"name":"A","type":"alpha","length":2}],
             "records":[{"A":"abc"}]}]})",
         "longer"},
        {R"({"tables":[{"name":"T","fields":[{"name":"A","type":"integer"}],"records":[{"A":40000}]}]})",
         "out of range"},
        {R"({"tables":[{"name":"T","fields":[{"name":"A","type":"date"}],"records":[{"A":"2001-02-29"}]}]})",
         "bad date"},
        {R"({"tables":[{"name":"T","fields":[{"name":"A","type":"time"}],"records":[{"A":"24:00:00"}]}]})",
         "bad time"},
        {R"({"tables":[{"name":"T","fields":[{"name":"A","type":"blob"}],"records":[{"A":"abc"}]}]})",
         "odd number"},
        {R"({"tables":[{"name":"T","fields":[{"name":"A","type":"longint"}],"records":[{"B":1}]}]})",
         "no field \"B\""},
        {R"({"tables":[{"name":"T","fields":[{"name":"A","type":"alpha","mandatory":true}],
             "records":[{"A":""}]}]})",
         "mandatory"},
        {R"({"tables":[{"name":"T","fields":[{"name":"A","type":"alpha","unique":true}],
             "records":[{"A":"x"},{"A":"X "}]}]})",
         "holds a value twice"},
        {R"({"tables":[{"name":"T","fields":[]},{"name":"T","fields":[]}]})", "two tables"},
        {R"({"tables":[{"name":"T","fields":[{"name":"A","type":"real"},{"name":"A","type":"real"}]}]})",
         "two fields"},
        {R"({"tables":[{"name":"T","fields":[],"records":[{"#":1},{"#":1}]}]})", "used twice"},
        {R"({"tables":[{"name":"T","fields":[],"records":[{"#":4}],"next_record":2}]})",
         "next_record"},
        {R"({"tables":[{"name":"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456","fields":[]}]})", "1 to 31"},
        {R"({"tables":[{"name":"T\u4e00","fields":[]}]})", "Mac Roman"},
        {R"({"users":[{"name":"x"}]})", "password"},
        {R"({"users": [)", "fixture"},
    };
    for (const Case &c : cases) {
        Database db;
        std::string err;
        EXPECT_FALSE(QxdbLoadFixtureText(c.json, db, err)) << c.json;
        EXPECT_NE(err.find(c.mentions), std::string::npos) << c.json << " -> " << err;
        EXPECT_EQ(db.TableCount(), 0);
    }
}

TEST(DbFixture, MissingFileIsAnError)
{
    Database db;
    std::string err;
    EXPECT_FALSE(QxdbLoadFixture("/nonexistent/dir/none.json", db, err));
    EXPECT_NE(err.find("cannot be opened"), std::string::npos);
}

TEST(DbText, MacRomanRoundTripAndCollation)
{
    std::string mac;
    ASSERT_TRUE(QxdbUtf8ToMacRoman("Année € ﬁ", mac));
    EXPECT_EQ(QxdbMacRomanToUtf8(mac), "Année € ﬁ");
    EXPECT_FALSE(QxdbUtf8ToMacRoman("\xe4\xb8", mac)); // cut UTF-8
    EXPECT_FALSE(QxdbUtf8ToMacRoman("\xff", mac));

    auto mr = [](const char *utf8) {
        std::string m;
        EXPECT_TRUE(QxdbUtf8ToMacRoman(utf8, m));
        return m;
    };
    struct Case {
        const char *a, *b;
        int expected;
    };
    const Case cases[] = {
        {"abc", "ABC", 0},     {"abc ", "ABC", 0}, {"abc", "abd", -1},
        {"ab", "abc", -1},     {"ab c", "ab", 1},  {"année", "ANNÉE", 0},
        {"œuvre", "ŒUVRE", 0}, {"Z", "é", -1},     {"", "   ", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(QxdbCompareText(mr(c.a), mr(c.b)), c.expected) << c.a << " vs " << c.b;
}

} // namespace
} // namespace qxdb

namespace qxdb {
namespace {

TEST(DbFixture, CheckedInFixturesLoadAndSaveToTheSameBytes)
{
    for (const char *file : {"demo.json", "edge.json"}) {
        std::string path = std::string(QXDB_FIXTURES_DIR) + "/" + file;
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in) << path;
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Database db;
        std::string err;
        ASSERT_TRUE(QxdbLoadFixtureText(text, db, err)) << err;
        EXPECT_EQ(db.CheckLogin("demo", "demo"), kOk);
        EXPECT_GE(db.TableCount(), 4);
        size_t records = 0;
        for (const auto &t : db.tables)
            records += t.Count();
        EXPECT_GT(records, 250u);
        EXPECT_EQ(QxdbFixtureText(db), text) << file;
    }
}

} // namespace
} // namespace qxdb
