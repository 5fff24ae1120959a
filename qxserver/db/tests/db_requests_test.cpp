// Requests on raw bytes: bodies built by hand in both byte orders, replies
// checked byte for byte, and refusals of short or malformed bodies.
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "qxserver/db/db_codec.h"
#include "qxserver/db/db_fixture.h"
#include "qxserver/db/db_requests.h"

namespace qxdb {
namespace {

// Table 1 "T": 1 ID longint, 2 Name alpha 10 indexed, 3 Score real,
// 4 Born date, 5 Notes text. Records 0-2.
const char *kFixture = R"({
  "users": [ {"name": "demo", "password": "demo"} ],
  "tables": [
    { "name": "T",
      "fields": [
        {"name": "ID", "type": "longint", "unique": true, "mandatory": true},
        {"name": "Name", "type": "alpha", "length": 10, "indexed": true},
        {"name": "Score", "type": "real"},
        {"name": "Born", "type": "date"},
        {"name": "Notes", "type": "text"} ],
      "records": [
        {"ID": 1, "Name": "lyon", "Score": 1.5, "Born": "2001-02-03", "Notes": "abc"},
        {"ID": 2, "Name": "Paris", "Score": -2.0},
        {"ID": 3, "Name": "LYON "} ] },
    { "name": "Second", "fields": [ {"name": "X", "type": "integer"} ] } ]
})";

using Bytes = std::vector<uint8_t>;

// Builds a body in one byte order.
struct Body {
    explicit Body(bool big) : w(big) {}
    Body &u8(uint8_t v)
    {
        w.Put8(v);
        return *this;
    }
    Body &i16(int v)
    {
        w.Put16(v);
        return *this;
    }
    Body &i32(int64_t v)
    {
        w.Put32(v);
        return *this;
    }
    Body &name(const std::string &s, size_t slot)
    {
        w.PutName(s, slot);
        return *this;
    }
    Body &prefixed(const std::string &s)
    {
        w.Put8(static_cast<uint8_t>(s.size()));
        w.PutBytes(s.data(), s.size());
        return *this;
    }
    Body &zeros(size_t n)
    {
        w.PutZeros(n);
        return *this;
    }
    Bytes bytes() { return w.bytes(); }
    Writer w;
};

class DbRequests : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        std::string err;
        ASSERT_TRUE(QxdbLoadFixtureText(kFixture, db, err)) << err;
        conn = db.Connect("demo");
        other = db.Connect("demo");
        opt.bigEndian = GetParam();
    }

    Reply Serve(int16_t code, const Bytes &body, Connection *c = nullptr)
    {
        return QxdbServeRequest(c ? *c : *conn, code, body.data(), body.size(), opt);
    }

    Body B() const { return Body(opt.bigEndian); }
    Bytes N16(int v) const { return B().i16(v).bytes(); }

    // A search body of one line per (field, op, alpha value, conjunction).
    Bytes SearchBody(int table, std::initializer_list<std::tuple<int, int, std::string, int>> lines)
    {
        Body b = B();
        b.i16(static_cast<int>(lines.size())).i16(table);
        for (const auto &[field, op, text, conj] : lines) {
            b.i16(field).i16(0).u8(static_cast<uint8_t>(op)).u8(0xEE); // caller's byte
            b.u8(kTypeAlpha).u8(0).prefixed(text).zeros(84 - 1 - text.size());
            b.u8(static_cast<uint8_t>(conj)).zeros(3);
        }
        return b.bytes();
    }

    Database db;
    std::unique_ptr<Connection> conn, other;
    WireOptions opt;
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, DbRequests, ::testing::Values(false, true),
                         [](const auto &info) {
                             return info.param ? "BigEndian" : "LittleEndian";
                         });

TEST_P(DbRequests, SearchThenSelectionInfoAndWindow)
{
    Reply r = Serve(35, SearchBody(1, {{2, 1, "LYON", 0}}));
    ASSERT_EQ(r.status, kOk);
    EXPECT_EQ(r.body, B().i32(2).bytes());

    r = Serve(23, N16(1));
    ASSERT_EQ(r.status, kOk);
    EXPECT_EQ(r.body,
              B().i32(3).i32(2).i32(0).i32(0).bytes()); // table, selection, position, record

    // Window of the selection: positions 1..5 (cut to the end), ID and Name.
    Bytes desc = B().i16(2).i16(-1).i16(1).i16(1).i16(1).i16(2).i32(1).i32(5).bytes();
    r = Serve(91, desc);
    ASSERT_EQ(r.status, kOk);
    EXPECT_EQ(r.body, B().i32(1).i32(3).prefixed("LYON ").bytes());

    // Whole selection, record numbers only.
    r = Serve(91, B().i16(1).i16(1).i16(1).i16(0).bytes());
    ASSERT_EQ(r.status, kOk);
    EXPECT_EQ(r.body, B().i32(2).i32(0).i32(2).bytes());

    // OR then narrowing in the selection with a line of table 0.
    r = Serve(35, SearchBody(1, {{2, 1, "paris", 0}, {2, 1, "lyon", 2}}));
    EXPECT_EQ(r.body, B().i32(3).bytes());
    r = Serve(97, SearchBody(1, {{2, 2, "lyon", 0}}));
    EXPECT_EQ(r.body, B().i32(1).bytes());
}

TEST_P(DbRequests, FieldsOfTheCurrentRecord)
{
    ASSERT_EQ(Serve(17, N16(1)).status, kOk);
    Reply r = Serve(52, B().i16(4).i16(1).i16(2).i16(3).i16(4).i16(5).bytes());
    ASSERT_EQ(r.status, kOk);
    Body want = B();
    want.i32(16).i32(16 + 2 + 5).i32(16 + 7 + 12).i32(16 + 19 + 8);
    want.i16(kTypeAlpha).prefixed("lyon");
    want.i16(kTypeReal).u8(0x3F).u8(0xFF).u8(0xC0).zeros(7);
    want.i16(kTypeDate).i16(3).i16(2).i16(2001);
    want.i16(kTypeText).i32(3).u8('a').u8('b').u8('c');
    EXPECT_EQ(r.body, want.bytes());

    // Related form: (table, field) pairs.
    r = Serve(64, B().i16(1).i16(1).i16(1).i16(1).bytes());
    ASSERT_EQ(r.status, kOk);
    EXPECT_EQ(r.body, B().i32(4).i16(kTypeLongInt).i32(1).bytes());

    // Locked by another connection: -4444 with the values.
    ASSERT_EQ(other->SelectAllRecords(1), kOk);
    ASSERT_EQ(other->SetReadWriteMode(1, true), kOk);
    ASSERT_EQ(other->GotoSelectedRecord(1, 0), kOk);
    r = Serve(52, B().i16(1).i16(1).i16(1).bytes());
    EXPECT_EQ(r.status, kStatusRecordLockedRead);
    EXPECT_EQ(r.body, B().i32(4).i16(kTypeLongInt).i32(1).bytes());
}

TEST_P(DbRequests, NewAndChangedRecordsFromRecordBuffers)
{
    Body b = B();
    b.i16(1);
    b.i16(1).i16(kTypeLongInt).i32(9);
    b.i16(2).i16(kTypeAlpha).prefixed("Zed");
    b.i16(3).i16(kTypeReal).u8(0xC0).u8(0x00).u8(0x80).zeros(7);
    b.i16(4).i16(kTypeDate).i16(31).i16(12).i16(1999);
    b.i16(5).i16(kTypeText).i32(5).prefixed("long"); // 5 bytes: length byte and "long"
    Reply r = Serve(55, b.bytes());
    ASSERT_EQ(r.status, kOk);
    EXPECT_TRUE(r.body.empty());
    std::vector<Value> v;
    ASSERT_EQ(conn->GetFields(1, {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}}, v), kOk);
    EXPECT_EQ(v[0].num, 9);
    EXPECT_EQ(v[1].bytes, "Zed");
    EXPECT_EQ(v[2].real, -2.0);
    EXPECT_EQ(v[3], Value::Date(1999, 12, 31));
    EXPECT_EQ(v[4].bytes, "\x04long");

    r = Serve(54, B().i16(1).i16(2).i16(kTypeAlpha).prefixed("Zoe").bytes());
    ASSERT_EQ(r.status, kOk);
    ASSERT_EQ(conn->GetFields(1, {{1, 2}}, v), kOk);
    EXPECT_EQ(v[0].bytes, "Zoe");

    // Duplicate unique value, cut buffer, unknown type.
    EXPECT_EQ(Serve(55, B().i16(1).i16(1).i16(kTypeLongInt).i32(9).bytes()).status,
              kStatusDuplicateKey);
    EXPECT_EQ(Serve(55, B().i16(1).i16(5).i16(kTypeText).i32(50).prefixed("x").bytes()).status,
              kStatusBadRequest);
    EXPECT_EQ(Serve(55, B().i16(1).i16(5).i16(77).i32(0).bytes()).status, kStatusBadValueType);
    // Text beyond what a selection array can carry.
    std::string big(kMaxTextLength + 1, 't');
    Body tooLong = B();
    tooLong.i16(1)
        .i16(1)
        .i16(kTypeLongInt)
        .i32(50)
        .i16(5)
        .i16(kTypeText)
        .i32(static_cast<int64_t>(big.size()));
    tooLong.w.PutBytes(big.data(), big.size());
    EXPECT_EQ(Serve(55, tooLong.bytes()).status, kStatusBadValueType);
    int32_t n = 0;
    ASSERT_EQ(conn->RecordsInFile(1, n), kOk);
    EXPECT_EQ(n, 4);
}

TEST_P(DbRequests, CatalogLayouts)
{
    Reply r = Serve(51, {});
    EXPECT_EQ(r.body, N16(2));
    r = Serve(99, {});
    EXPECT_EQ(r.body, B().name("T", 32).name("Second", 32).bytes());

    r = Serve(50, N16(1));
    ASSERT_EQ(r.status, kOk);
    ASSERT_EQ(r.body.size(), 30u + 66u * 5);
    EXPECT_EQ(Bytes(r.body.begin(), r.body.begin() + 2), N16(5));
    const uint8_t *row2 = r.body.data() + 30 + 66; // Name: alpha 10, indexed
    EXPECT_EQ(row2[0], 4);
    EXPECT_EQ(std::string(row2 + 1, row2 + 5), "Name");
    EXPECT_EQ(row2[32], kTypeAlpha);
    EXPECT_EQ(Bytes(row2 + 34, row2 + 36), N16(10));
    EXPECT_EQ(Bytes(row2 + 48, row2 + 50), N16(0x8000));
    const uint8_t *row1 = r.body.data() + 30; // ID: unique, mandatory
    EXPECT_EQ(Bytes(row1 + 40, row1 + 42), N16(3));
    EXPECT_EQ(row1[32], kTypeLongInt);
    EXPECT_EQ(Serve(50, N16(3)).status, kStatusBadTable);

    opt.version = 0x5FF; // older layouts
    r = Serve(99, {});
    EXPECT_EQ(r.body, B().name("T", 16).name("Second", 16).bytes());
    r = Serve(50, N16(1));
    ASSERT_EQ(r.body.size(), 24u + 46u * 5);
    EXPECT_EQ(r.body[24 + 46 + 16], kTypeAlpha);
    EXPECT_EQ(Bytes(r.body.begin() + 24 + 46 + 18, r.body.begin() + 24 + 46 + 20), N16(10));

    opt.version = 0x650;
    Bytes names = B().i16(2).name("t", 32).name("SCORE", 32).name("T", 32).name("nope", 32).bytes();
    r = Serve(65, names);
    EXPECT_EQ(r.body, B().i16(2).i16(1).i16(1).i16(3).i16(0).i16(0).bytes());
}

TEST_P(DbRequests, SortNamedSelectionsAndAggregates)
{
    ASSERT_EQ(Serve(17, N16(1)).status, kOk);
    Body sort = B();
    sort.i16(1).i16(1).i16(2).i16(1).u8(5).zeros(91); // Name descending
    ASSERT_EQ(Serve(36, sort.bytes()).status, kOk);
    Reply r = Serve(91, B().i16(1).i16(1).i16(1).i16(0).bytes());
    EXPECT_EQ(r.body, B().i32(3).i32(1).i32(0).i32(2).bytes()); // Paris, lyon, LYON (tie kept)
    Body bad = B();
    bad.i16(1).i16(1).i16(2).i16(1).u8(4).zeros(91);
    EXPECT_EQ(Serve(36, bad.bytes()).status, kStatusBadRequest);

    Bytes copy = B().i16(1).name("BM_19l", 82).i32(0).bytes();
    ASSERT_EQ(copy.size(), 88u);
    ASSERT_EQ(Serve(83, copy).status, kOk);
    ASSERT_EQ(Serve(123, B().i32(1).i16(1).bytes()).status, kOk); // shrink to 1
    r = Serve(84, B().i16(0).name("BM_19l", 82).i32(0).bytes());
    ASSERT_EQ(r.status, kOk);
    EXPECT_EQ(r.body, N16(1));
    r = Serve(23, N16(1));
    EXPECT_EQ(r.body, B().i32(3).i32(3).i32(0).i32(1).bytes());
    EXPECT_EQ(Serve(85, B().i16(0).name("BM_19l", 82).i32(0).bytes()).status, kOk);
    EXPECT_EQ(Serve(84, B().i16(0).name("BM_19l", 82).i32(0).bytes()).status, kStatusUnknownName);

    // A name whose length byte does not fit its slot.
    Bytes tooLong = B().i16(1).u8(82).zeros(81).i32(0).bytes();
    r = Serve(83, tooLong);
    EXPECT_EQ(r.status, kStatusNameTooLong);
    EXPECT_TRUE(r.body.empty());

    r = Serve(103, B().i16(3).i16(1).zeros(10).i32(-1).bytes());
    ASSERT_EQ(r.status, kOk);
    uint8_t want[10];
    QxdbRealToServer(-0.5, want);
    EXPECT_EQ(r.body, Bytes(want, want + 10));
    EXPECT_EQ(Serve(106, B().i16(2).i16(1).zeros(10).i32(-1).bytes()).status, kStatusBadValueType);

    r = Serve(94, B().i16(-1).i16(2).zeros(4).bytes());
    ASSERT_EQ(r.status, kOk);
    EXPECT_EQ(r.body, B().prefixed("lyon").prefixed("Paris").i32(2).bytes());
}

TEST_P(DbRequests, SetsAndSemaphores)
{
    ASSERT_EQ(Serve(35, SearchBody(1, {{2, 1, "lyon", 0}})).status, kOk);
    auto setBody = [&](const std::string &name, int record, int op) {
        return B().name(name, 82).i32(1).i32(record).i32(op).bytes();
    };
    ASSERT_EQ(setBody("s", 0, 0).size(), 94u);
    ASSERT_EQ(Serve(154, setBody("s", 0, 0)).status, kOk); // records 0, 2
    ASSERT_EQ(Serve(155, setBody("e", 0, 0)).status, kOk);
    ASSERT_EQ(Serve(156, setBody("e", 1, 1)).status, kOk); // add 1
    Bytes union17 = B().i16(2).prefixed("s").prefixed("e").prefixed("u").bytes();
    ASSERT_EQ(Serve(161, union17).status, kOk);
    Reply r = Serve(153, B().prefixed("u").bytes());
    EXPECT_EQ(r.body, B().i32(3).bytes());
    r = Serve(152, B().i32(1).name("e", 83).bytes());
    EXPECT_EQ(r.body, N16(1));
    ASSERT_EQ(Serve(156, setBody("e", 1, 0)).status, kOk); // remove 1
    r = Serve(152, B().i32(1).name("e", 83).bytes());
    EXPECT_EQ(r.body, N16(0));
    ASSERT_EQ(Serve(162, B().prefixed("s").prefixed("t").bytes()).status, kOk);
    ASSERT_EQ(Serve(160, B().prefixed("t").bytes()).status, kOk);
    EXPECT_EQ(Serve(91, B().i16(1).i16(1).i16(1).i16(0).bytes()).body,
              B().i32(2).i32(0).i32(2).bytes());
    ASSERT_EQ(Serve(159, B().prefixed("t").bytes()).status, kOk);
    EXPECT_EQ(Serve(160, B().prefixed("t").bytes()).status, kStatusUnknownName);

    auto sem = [&](const std::string &name, int op) {
        return B().name(name, 32).i32(0).i16(op).bytes();
    };
    ASSERT_EQ(sem("lock", 1).size(), 38u);
    r = Serve(14, sem("lock", 1));
    EXPECT_EQ(r.status, kOk);
    EXPECT_TRUE(r.body.empty()); // newly set: no body
    r = Serve(14, sem("lock", 1), other.get());
    EXPECT_EQ(r.body, N16(1)); // already set
    r = Serve(14, sem("lock", 0), other.get());
    EXPECT_EQ(r.body, N16(1));
    ASSERT_EQ(Serve(15, sem("lock", 2)).status, kOk);
    r = Serve(14, sem("lock", 0), other.get());
    EXPECT_EQ(r.body, N16(0));
    opt.version = 0x600; // name alone
    EXPECT_TRUE(Serve(14, B().prefixed("old").bytes()).body.empty());
    EXPECT_EQ(Serve(14, B().prefixed("old").bytes(), other.get()).body, N16(1));
}

TEST_P(DbRequests, TransactionsAndLocksOnTheWire)
{
    ASSERT_EQ(Serve(11, N16(0)).status, kOk);
    EXPECT_EQ(Serve(11, N16(0)).status, kStatusTransaction);
    ASSERT_EQ(Serve(22, B().i32(0).i16(1).i32(1).bytes()).status, kOk);
    ASSERT_EQ(Serve(9, B().i32(0).i16(1).bytes()).status, kOk);
    EXPECT_EQ(Serve(18, N16(1)).body, B().i32(2).bytes());
    EXPECT_EQ(Serve(18, N16(1), other.get()).body, B().i32(3).bytes());
    EXPECT_EQ(Serve(22, B().i32(0).i16(1).i32(1).bytes(), other.get()).status, kOk);
    EXPECT_EQ(Serve(9, B().i32(0).i16(1).bytes(), other.get()).status, kStatusRecordLocked);
    ASSERT_EQ(Serve(13, {}).status, kOk);
    EXPECT_EQ(Serve(9, B().i32(0).i16(1).bytes(), other.get()).status, kOk);
    EXPECT_EQ(Serve(88, N16(1)).body, B().i32(1).bytes());
}

TEST_P(DbRequests, ShortAndMalformedBodiesAreRefused)
{
    struct Case {
        int16_t code;
        Bytes body;
        int16_t status;
    };
    const Case cases[] = {
        {17, {}, kStatusBadRequest},
        {17, {1}, kStatusBadRequest},
        {35, B().i16(2).i16(1).zeros(96).bytes(), kStatusBadRequest}, // 2 lines, 1 given
        {35, B().i16(0).i16(1).bytes(), kStatusBadRequest},
        {35, B().i16(1).i16(1).i16(1).i16(0).u8(1).u8(0).u8(kTypeText).zeros(89).bytes(),
         kStatusBadValueType},
        {49, B().i32(0).bytes(), kStatusBadRequest},
        {49, B().i32(7).i16(1).bytes(), kStatusPosition},
        {52, B().i16(3).i16(1).i16(1).bytes(), kStatusBadRequest},
        {52, B().i16(1).i16(1).i16(1).bytes(), kStatusNoCurrentRecord},
        {91, B().i16(1).i16(-1).i16(1).i16(1).i32(0).bytes(), kStatusBadRequest},
        {92, B().i16(1).i16(1).i16(1).i16(0).i16(9).i32(5).i32(1).bytes(), kStatusBadRequest},
        {92, B().i16(1).i16(1).i16(1).i16(2).i16(0).i32(0).bytes(), kStatusBadRequest},
        {83, B().i16(1).name("x", 40).bytes(), kStatusBadRequest},
        {153, B().u8(200).bytes(), kStatusBadRequest},
        {161, B().i16(4).prefixed("a").prefixed("b").prefixed("c").bytes(), kStatusBadRequest},
        {14, B().name("s", 32).i32(0).bytes(), kStatusBadRequest},
        {14, B().name("s", 32).i32(0).i16(7).bytes(), kStatusBadRequest},
        {14, B().u8(40).zeros(37).bytes(), kStatusNameTooLong},
        {65, B().i16(1).zeros(63).bytes(), kStatusBadRequest},
        {109, B().zeros(9).bytes(), kStatusBadRequest},
        {109, B().zeros(10).bytes(), kStatusUnknownName},
        {44, {}, kStatusBadRequest}, // the login is the transport's
        {93, B().zeros(6).bytes(), kStatusBadRequest},
        {-1, {}, kStatusBadRequest},
    };
    for (const Case &c : cases) {
        Reply r = Serve(c.code, c.body);
        EXPECT_EQ(r.status, c.status) << "code " << c.code;
        EXPECT_TRUE(r.body.empty()) << "code " << c.code;
    }
    EXPECT_EQ(Serve(147, B().prefixed("demo").bytes()).body, N16(1));
    EXPECT_EQ(Serve(147, B().prefixed("nobody").bytes()).body, N16(0));
    EXPECT_EQ(Serve(146, B().name("proc", 32).zeros(40).bytes()).status, kStatusUnknownName);
    // Opaque data round trip.
    Bytes data = B().zeros(10).u8(7).u8(8).bytes();
    ASSERT_EQ(Serve(110, data).status, kOk);
    EXPECT_EQ(Serve(109, B().zeros(10).bytes()).body, (Bytes{7, 8}));
}

} // namespace
} // namespace qxdb
