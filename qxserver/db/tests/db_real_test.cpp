// Reals in the emulator: the 10-byte server form of every double and back
// (golden bytes shared with the client library's tests), server reals that
// no double holds refused, and the special doubles stored, found, sorted and
// kept in fixture files.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "qxserver/db/db_codec.h"
#include "qxserver/db/db_fixture.h"
#include "qxserver/db/db_requests.h"

namespace qxdb {
namespace {

using Bytes = std::vector<uint8_t>;
using L = std::numeric_limits<double>;

std::string Hex(double d)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%a", d);
    return buf;
}
bool Same(double a, double b)
{
    return std::isnan(a) ? std::isnan(b) : std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

TEST(DbReal, GoldenBytesBothWays)
{
    struct Case {
        double value;
        Bytes wire;
    } cases[] = {
        {0.0, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {-0.0, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {1.0, {0x3F, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {1.5, {0x3F, 0xFF, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {-2.5, {0xC0, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {0.1, {0x3F, 0xFB, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xD0, 0x00}},
        {1.0 / 3.0, {0x3F, 0xFD, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xA8, 0x00}},
        {L::max(), {0x43, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF8, 0x00}},
        {-L::min(), {0xBC, 0x01, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {L::denorm_min(), {0x3B, 0xCD, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {std::nextafter(L::min(), 0.0),
         {0x3C, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0, 0x00}},
        {1e-310, {0x3B, 0xF9, 0x93, 0x44, 0x5B, 0x87, 0x31, 0x58, 0x00, 0x00}},
        {L::infinity(), {0x7F, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {-L::infinity(), {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {std::bit_cast<double>(uint64_t{0x7FF8000000000000}),
         {0x7F, 0xFF, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {std::bit_cast<double>(uint64_t{0xFFF8000000000000}),
         {0xFF, 0xFF, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {std::bit_cast<double>(uint64_t{0x7FF0000000000001}),
         {0x7F, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00}},
    };
    for (const Case &c : cases) {
        uint8_t out[10];
        QxdbRealToServer(c.value, out);
        EXPECT_EQ(Bytes(out, out + 10), c.wire) << Hex(c.value);
        double back = -1.0;
        ASSERT_TRUE(QxdbRealFromServer(c.wire.data(), back)) << Hex(c.value);
        EXPECT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(c.value))
            << Hex(c.value) << " read as " << Hex(back);
    }
}

TEST(DbReal, EveryDoubleComesBackBitForBit)
{
    for (uint64_t exp = 0; exp <= 0x7FF; ++exp)
        for (uint64_t frac : {uint64_t{0}, uint64_t{1}, uint64_t{0x8000000000000},
                              uint64_t{0xFFFFFFFFFFFFF}, uint64_t{0x0EDCBA9876543}})
            for (uint64_t sign : {uint64_t{0}, uint64_t{1}}) {
                double v = std::bit_cast<double>((sign << 63) | (exp << 52) | frac);
                uint8_t w[10];
                QxdbRealToServer(v, w);
                double back = -1.0;
                ASSERT_TRUE(QxdbRealFromServer(w, back)) << Hex(v);
                ASSERT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(v)) << Hex(v);
            }
}

// The emulator holds doubles: a server real with no exact double is refused,
// never stored as another number. Forms with the integer bit clear are read
// by their value.
TEST(DbReal, RealsWithoutAnExactDouble)
{
    struct Case {
        const char *what;
        Bytes wire;
        bool exact;
        double value;
    } cases[] = {
        {"2^1024", {0x43, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"-2^16383", {0xFF, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"just above DBL_MAX", {0x43, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0}, false, 0},
        {"1 + 2^-63", {0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 1}, false, 0},
        {"2^-1075", {0x3B, 0xCC, 0x80, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"1.5 x 2^-1074", {0x3B, 0xCD, 0xC0, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"smallest denormal", {0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 1}, false, 0},
        {"pseudo-denormal 2^-16382", {0x00, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"1 + 2^-52", {0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0x08, 0}, true, 1.0 + L::epsilon()},
        {"unnormal 0.5", {0x3F, 0xFF, 0x40, 0, 0, 0, 0, 0, 0, 0}, true, 0.5},
        {"unnormal 2^-1074", {0x3B, 0xCE, 0x40, 0, 0, 0, 0, 0, 0, 0}, true, L::denorm_min()},
        {"pseudo-zero", {0xC0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, true, -0.0},
        {"pseudo-infinity", {0x7F, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}, true, L::infinity()},
        {"NaN with low payload", {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 1}, true, L::quiet_NaN()},
    };
    for (const Case &c : cases) {
        double got = -1.0;
        ASSERT_EQ(QxdbRealFromServer(c.wire.data(), got), c.exact) << c.what;
        if (c.exact) {
            EXPECT_TRUE(Same(c.value, got)) << c.what << ": " << Hex(got);
        }
    }
}

// Table 1 "R": 1 ID longint unique, 2 X real. Records 0-1.
const char *kReals = R"({
  "users": [ {"name": "demo", "password": "demo"} ],
  "tables": [
    { "name": "R",
      "fields": [ {"name": "ID", "type": "longint", "unique": true},
                  {"name": "X", "type": "real", "indexed": true} ],
      "records": [ {"ID": 1, "X": "Infinity"}, {"ID": 2, "X": -0.0},
                   {"ID": 3, "X": "NaN"}, {"ID": 4, "X": 5e-324},
                   {"ID": 5, "X": "-Infinity"}, {"ID": 6, "X": 1.7976931348623157e308},
                   {"ID": 7, "X": 0} ] } ]
})";

class DbRealRequests : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        std::string err;
        ASSERT_TRUE(QxdbLoadFixtureText(kReals, db, err)) << err;
        conn = db.Connect("demo");
        opt.bigEndian = GetParam();
    }
    Reply Serve(int16_t code, const Bytes &body)
    {
        return QxdbServeRequest(*conn, code, body.data(), body.size(), opt);
    }
    Writer W() const { return Writer(opt.bigEndian); }
    // A new record {ID id, X as the 10 bytes}.
    int16_t NewRecord(int id, const Bytes &real)
    {
        Writer w = W();
        w.Put16(1);
        w.Put16(1), w.Put16(kTypeLongInt), w.Put32(id);
        w.Put16(2), w.Put16(kTypeReal), w.PutBytes(real.data(), real.size());
        return Serve(55, w.bytes()).status;
    }
    // Field X of the record with this ID, as the reply's 10 bytes.
    Bytes ReadX(int id)
    {
        Bytes out;
        SearchRequest req;
        req.table = 1;
        SearchLine l;
        l.field = 1;
        l.value = Value::Long(id);
        req.lines.push_back(l);
        int32_t found = 0;
        EXPECT_EQ(conn->Search(req, found), kOk);
        if (found != 1)
            return out;
        Writer w = W();
        w.Put16(1), w.Put16(1), w.Put16(2);
        Reply r = Serve(52, w.bytes());
        EXPECT_EQ(r.status, kOk);
        if (r.body.size() == 4 + 2 + 10)
            out.assign(r.body.begin() + 6, r.body.end());
        return out;
    }
    // IDs of the current selection, in its order.
    std::vector<int32_t> Ids()
    {
        std::vector<Value> vals;
        int32_t rows = 0;
        EXPECT_EQ(conn->SelectionToArray(1, {{1, 1}}, 0, 1000, vals, rows), kOk);
        std::vector<int32_t> ids;
        for (const Value &v : vals)
            ids.push_back(v.num);
        return ids;
    }
    Database db;
    std::unique_ptr<Connection> conn;
    WireOptions opt;
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, DbRealRequests, ::testing::Values(false, true),
                         [](const auto &info) {
                             return info.param ? "BigEndian" : "LittleEndian";
                         });

TEST_P(DbRealRequests, SpecialDoublesAreStoredAndSentBackAsWritten)
{
    const double values[] = {-0.0,          L::denorm_min(), -1e-310,          L::max(),
                             -L::infinity(), L::infinity(),  L::quiet_NaN(),   -L::quiet_NaN(),
                             std::bit_cast<double>(uint64_t{0x7FF0000000000001})};
    int id = 100;
    for (double v : values) {
        uint8_t wire[10];
        QxdbRealToServer(v, wire);
        Bytes b(wire, wire + 10);
        ASSERT_EQ(NewRecord(id, b), kOk) << Hex(v);
        EXPECT_EQ(ReadX(id), b) << Hex(v);
        ++id;
    }
}

TEST_P(DbRealRequests, ARealWithoutADoubleIsRefusedAndNothingStored)
{
    const Bytes tooBig{0x43, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0};
    const Bytes tooPrecise{0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 1};
    for (const Bytes &b : {tooBig, tooPrecise}) {
        EXPECT_EQ(NewRecord(200, b), kStatusBadValueType);
        int32_t n = 0;
        ASSERT_EQ(conn->RecordsInFile(1, n), kOk);
        EXPECT_EQ(n, 7);
        // Nor is it compared with in a search.
        Writer w = W();
        w.Put16(1), w.Put16(1);
        w.Put16(2), w.Put16(0), w.Put8(kOpGe), w.Put8(0);
        w.Put8(kTypeReal), w.Put8(0), w.PutBytes(b.data(), b.size()), w.PutZeros(74);
        w.Put8(0), w.PutZeros(3);
        EXPECT_EQ(Serve(35, w.bytes()).status, kStatusBadValueType);
    }
}

TEST_P(DbRealRequests, SearchesAndSortsOrderTheSpecialValues)
{
    auto search = [&](uint8_t op, double v) {
        SearchRequest req;
        req.table = 1;
        SearchLine l;
        l.field = 2;
        l.op = op;
        l.value = Value::Real(v);
        req.lines.push_back(l);
        int32_t found = 0;
        EXPECT_EQ(conn->Search(req, found), kOk);
        return Ids();
    };
    using V = std::vector<int32_t>;
    EXPECT_EQ(search(kOpEq, L::infinity()), (V{1}));
    EXPECT_EQ(search(kOpEq, -L::infinity()), (V{5}));
    EXPECT_EQ(search(kOpEq, 0.0), (V{2, 7})) << "-0.0 equals 0.0";
    EXPECT_EQ(search(kOpEq, L::quiet_NaN()), (V{3}));
    EXPECT_EQ(search(kOpGt, 1e308), (V{1, 3, 6})) << "NaN orders after every number";
    EXPECT_EQ(search(kOpLt, 1e-320), (V{2, 4, 5, 7}));
    ASSERT_EQ(conn->SelectAllRecords(1), kOk);
    ASSERT_EQ(conn->Sort({1, {{2, 1, true}}}), kOk);
    EXPECT_EQ(Ids(), (V{5, 2, 7, 4, 6, 1, 3}));
    ASSERT_EQ(conn->Sort({1, {{2, 1, false}}}), kOk);
    EXPECT_EQ(Ids(), (V{3, 1, 6, 4, 2, 7, 5}));
    double max = 0, min = 0;
    ASSERT_EQ(conn->SelectAllRecords(1), kOk);
    ASSERT_EQ(conn->AggregateField(kAggMax, 1, 2, max), kOk);
    ASSERT_EQ(conn->AggregateField(kAggMin, 1, 2, min), kOk);
    EXPECT_TRUE(std::isnan(max));
    EXPECT_EQ(min, -L::infinity());
}

TEST(DbReal, FixtureKeepsTheSpecialValues)
{
    Database db;
    std::string err;
    ASSERT_TRUE(QxdbLoadFixtureText(kReals, db, err)) << err;
    std::string text = QxdbFixtureText(db);
    for (const char *spelled : {"\"Infinity\"", "\"-Infinity\"", "\"NaN\"", "-0.0", "5e-324"})
        EXPECT_NE(text.find(spelled), std::string::npos) << spelled << " in " << text;
    Database again;
    ASSERT_TRUE(QxdbLoadFixtureText(text, again, err)) << err;
    EXPECT_EQ(QxdbFixtureText(again), text);
    const char *bad = R"({"tables":[{"name":"T","fields":[{"name":"X","type":"real"}],
                          "records":[{"X":"inf"}]}]})";
    Database refused;
    EXPECT_FALSE(QxdbLoadFixtureText(bad, refused, err));
    EXPECT_NE(err.find("NaN"), std::string::npos) << err;
}

} // namespace
} // namespace qxdb
