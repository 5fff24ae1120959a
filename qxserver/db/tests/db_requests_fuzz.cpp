// Fuzz target: request bodies of every code served by the database.
// Input: byte 0 bit 0 = big-endian connection, bit 1 = an old server
// (version 0x5FF); bytes 1-2 the request code (little-endian); the rest the
// body. A few requests run first on the same connection, so that bodies
// also meet a selection, a current record and an open transaction.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "qxserver/db/db_fixture.h"
#include "qxserver/db/db_requests.h"

namespace {

const char *kFixture = R"({"users":[{"name":"u","password":"p"}],"tables":[
 {"name":"T","fields":[{"name":"A","type":"longint","unique":true},{"name":"B","type":"alpha","length":8},
  {"name":"C","type":"text"},{"name":"D","type":"date"},{"name":"E","type":"real"},{"name":"F","type":"picture"},
  {"name":"G","type":"blob"},{"name":"H","type":"time"},{"name":"I","type":"boolean"},{"name":"J","type":"integer"}],
  "records":[{"A":1,"B":"x","C":"long text","D":"2000-01-02","E":2.5,"F":"000102030405060708090a0b","G":"ff"},
             {"A":2,"B":"y"}]},
 {"name":"U","fields":[{"name":"A","type":"alpha"}],"records":[{"A":"q"}]}]})";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    qxdb::Database db;
    std::string err;
    if (!qxdb::QxdbLoadFixtureText(kFixture, db, err))
        __builtin_trap();
    auto conn = db.Connect("u");
    auto other = db.Connect("u");
    qxdb::WireOptions opt;
    opt.bigEndian = (data[0] & 1) != 0;
    opt.version = (data[0] & 2) != 0 ? 0x5FF : 0x650;
    conn->SelectAllRecords(1);
    conn->StartTransaction();
    other->SelectAllRecords(1);
    other->SetReadWriteMode(1, true);
    other->GotoSelectedRecord(1, 1);
    auto code = static_cast<int16_t>(data[1] | (data[2] << 8));
    qxdb::Reply r = qxdb::QxdbServeRequest(*conn, code, data + 3, size - 3, opt);
    if (r.status != 0 && r.status != -4444 && !r.body.empty())
        __builtin_trap();
    // The fixture must still save and load after whatever the request did.
    conn.reset();
    std::string text = qxdb::QxdbFixtureText(db);
    qxdb::Database back;
    if (!qxdb::QxdbLoadFixtureText(text, back, err))
        __builtin_trap();
    return 0;
}
