// The database behind the emulator's request table: login makes the
// session's connection, database codes reach it, and a session's end is its
// disconnect.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "qxserver/db/db_fixture.h"
#include "qxserver/srv_requests.h"

namespace {

const char *kFixture = R"({"users":[{"name":"demo","password":"demo"}],
 "tables":[{"name":"T","fields":[{"name":"A","type":"longint"}],"records":[{"A":1},{"A":2}]}]})";

qxs::Request Login(const char *user, const char *password)
{
    qxs::Request r;
    r.code = 44;
    r.body.assign(130, 0);
    r.body[32] = uint8_t(std::strlen(user));
    std::memcpy(&r.body[33], user, std::strlen(user));
    r.body[64] = uint8_t(std::strlen(password));
    std::memcpy(&r.body[65], password, std::strlen(password));
    return r;
}

TEST(DbWiring, RequestsReachTheSessionsConnection)
{
    qxs::ServerOptions options;
    qxs::ServerContext ctx(options);
    qxdb::Database &db = ctx.db;
    std::string err;
    ASSERT_TRUE(qxdb::QxdbLoadFixtureText(kFixture, db, err)) << err;
    qxs::HandlerTable table;
    qxs::RegisterTransportHandlers(table);
    qxs::RegisterDatabaseHandlers(table);

    for (bool big : {false, true}) {
        auto s = std::make_unique<qxs::Session>();
        s->bigEndian = big;
        qxs::Request count;
        count.code = 18;
        count.body = big ? std::vector<uint8_t>{0, 1} : std::vector<uint8_t>{1, 0};
        EXPECT_NE(qxs::HandleRequest(ctx, table, *s, count).status, 0); // not logged in
        EXPECT_EQ(qxs::HandleRequest(ctx, table, *s, Login("demo", "x")).status,
                  qxdb::kStatusBadPassword);
        ASSERT_EQ(qxs::HandleRequest(ctx, table, *s, Login("demo", "demo")).status, 0);
        ASSERT_TRUE(s->db);
        EXPECT_EQ(db.ConnectionCount(), 1);

        qxs::Reply r = qxs::HandleRequest(ctx, table, *s, count);
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.body,
                  big ? (std::vector<uint8_t>{0, 0, 0, 2}) : (std::vector<uint8_t>{2, 0, 0, 0}));

        bool was = false;
        ASSERT_EQ(s->db->SetSemaphore("held", was), 0);
        s.reset(); // the channel closed
        EXPECT_EQ(db.ConnectionCount(), 0);
        auto probe = db.Connect("demo");
        bool set = true;
        ASSERT_EQ(probe->TestSemaphore("held", set), 0);
        EXPECT_FALSE(set);
    }
}

} // namespace
