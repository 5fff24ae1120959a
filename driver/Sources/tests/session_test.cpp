#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_login.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/tests/drm_fixture.h"

namespace {

using Sessions = DrmSessionTest;

uint32_t TypeCatalog(uint32_t s, uint32_t db, int32_t *result = nullptr)
{
    uint32_t info[11] = {44};
    int32_t r = DrmGetTypeCatalogInfo(s, db, info, sizeof info);
    if (result)
        *result = r;
    return info[1];
}

TEST_F(Sessions, IdsOnlyGrowAndFailedCreationsUseThemUp)
{
    uint32_t a = Begin();
    ASSERT_EQ(DrmEndSession(a), 0);
    sessions.clear();
    uint32_t b = Begin();
    EXPECT_EQ(b, a + 1); // never reused
    uint32_t db = Open(b);
    EXPECT_EQ(TypeCatalog(b, db), 1u); // first cursor of a session is 1
    int32_t r = 0;
    TypeCatalog(b, db + 100, &r); // unknown database: id 2 used up
    EXPECT_EQ(r, kDrmErrNoDatabase);
    uint32_t c = 0;
    EXPECT_EQ(DrmOpenTable(b, db, "NoSuchTable", "", 0, &c), kDrmErrNoTable); // id 3
    EXPECT_EQ(TypeCatalog(b, db), 4u);
    EXPECT_EQ(DrmCloseTable(b, 4), 0);
    EXPECT_EQ(DrmCloseTable(b, 4), kDrmErrBadCursor);
    EXPECT_EQ(DrmCloseTable(b, 99), kDrmErrBadCursor);
}

TEST_F(Sessions, ParametersAreKeptPerWholeId)
{
    uint32_t s = Begin();
    VDRMSession *session = DrmDriver().oGetSession(s);
    int32_t one = 1, two = 2;
    ASSERT_EQ(DrmSetParam(s, 3, 4, &one, 4), 0);
    ASSERT_EQ(DrmSetParam(s, 3, 4, &two, 4), 0);
    EXPECT_EQ(session->params.size(), 1u);
    EXPECT_EQ(session->paramGeneration, 2u);
    int32_t kept = 0;
    std::memcpy(&kept, session->oFindParam(3)->value.data(), 4);
    EXPECT_EQ(kept, 2);
    // Ids that share their low 16 bits are different parameters.
    ASSERT_EQ(DrmSetParam(s, 0x10003, 4, &one, 4), 0);
    ASSERT_EQ(DrmSetParam(s, 0xFFFF0003u, 4, &one, 4), 0);
    EXPECT_EQ(session->params.size(), 3u);
    std::memcpy(&kept, session->oFindParam(3)->value.data(), 4);
    EXPECT_EQ(kept, 2);
    // A NULL value copies nothing, whatever length comes with it.
    ASSERT_EQ(DrmSetParam(s, 7, 4, nullptr, 4000), 0);
    const DrmParam *null = session->oFindParam(7);
    ASSERT_NE(null, nullptr);
    EXPECT_TRUE(null->isNull);
    EXPECT_EQ(null->length, 0u);
    EXPECT_TRUE(null->value.empty());
}

TEST_F(Sessions, TransactionsRunOnEveryDatabaseUntilOneFails)
{
    uint32_t s = Begin();
    EXPECT_EQ(DrmSetTransact(s, 4), 0); // no database: nothing to do
    Open(s);
    Open(s);
    Open(s);
    server.calls.clear();
    server.commitStatusByConnection[2] = -9991;
    EXPECT_EQ(DrmSetTransact(s, 4), -1809); // the failing status, mapped
    EXPECT_EQ(server.calls, (std::vector<std::string>{"Commit 1", "Commit 2"}));
    server.calls.clear();
    EXPECT_EQ(DrmSetTransact(s, 3), 0);
    EXPECT_EQ(server.Count("StartQXTransaction"), 3u);
    EXPECT_EQ(DrmGetDatabaseTableInfo(s, 0, nullptr, 0), kDrmErrNoDatabase);
    EXPECT_EQ(DrmSetTransact(s, 5), 0);
    EXPECT_EQ(server.Count("RollBack"), 3u);
    server.calls.clear();
    EXPECT_EQ(DrmSetTransact(s, 9), kDrmErrNotSupported);
    EXPECT_EQ(DrmSetTransact(s, 1), 0);
    EXPECT_TRUE(server.calls.empty());
}

TEST_F(Sessions, RetrieveLists)
{
    uint32_t s = Begin();
    uint32_t db = Open(s);
    uint32_t t = OpenTable(s, db, "Customers");
    uint32_t empty[] = {4, 77};
    EXPECT_EQ(DrmSetRetrieveColumns(s, empty), 0); // no whole entry
    uint32_t list[] = {24, t, 1, t, 2, 99, 1};
    EXPECT_EQ(DrmSetRetrieveColumns(s, list), kDrmErrBadCursor);
    uint32_t good[] = {16, t, 1, t, 2};
    EXPECT_EQ(DrmSetRetrieveColumns(s, good), 0);
}

TEST_F(Sessions, DatabasesOpenLogInAndClose)
{
    // The login record holds 31 characters of each; more is refused, not cut.
    for (const auto &[user, password] : {std::pair{std::string(32, 'u'), std::string("pw")},
                                         std::pair{std::string("u"), std::string(32, 'p')}}) {
        uint32_t refused = Begin(user.c_str(), password.c_str());
        uint32_t none = 0;
        EXPECT_EQ(DrmOpenDatabase(refused, "TCP/IP:127.0.0.1", &none, 0), kDrmErrLoginTooLong);
        EXPECT_EQ(none, 0u);
    }
    EXPECT_TRUE(server.open.empty()) << "nothing sent to the server";
    uint32_t s = Begin(std::string(31, 'u').c_str(), "pw");
    uint32_t a = Open(s);
    ASSERT_EQ(DrmSetLoginPassword(s, "pw"), 0); // each open is given the password
    uint32_t b = Open(s);
    EXPECT_NE(a, b);
    EXPECT_EQ(server.open.size(), 2u);
    const uint8_t *login = server.lastLogin.bytes;
    EXPECT_EQ(login[0], 14);
    EXPECT_EQ(std::memcmp(login + 1, "QX ODBC Driver", 14), 0);
    EXPECT_EQ(login[32], 31); // the whole 31-character user
    EXPECT_EQ(login[64], 2);
    EXPECT_EQ(login[96], 4);
    EXPECT_EQ(std::memcmp(login + 97, "ODBC", 4), 0);
    EXPECT_EQ(login[128], 1);
    EXPECT_EQ(login[129], 0);

    uint32_t failed = 0;
    EXPECT_EQ(DrmOpenDatabase(s, "TCP/IP:10.9.9.9", &failed, 0), kDrmErrNoDatabase);
    EXPECT_EQ(failed, 0u);
    EXPECT_EQ(DrmOpenDatabase(s, "AppleTalk:Zone", &failed, 0), kDrmErrNoDatabase);
    uint32_t c = Open(s);
    EXPECT_EQ(c, b + 3); // failed opens used their ids

    uint32_t ta = OpenTable(s, a, "customers");
    uint32_t tb = OpenTable(s, b, "EMPTY");
    ASSERT_EQ(DrmCloseDatabase(s, a), 0);
    EXPECT_EQ(DrmCloseDatabase(s, a), kDrmErrNoDatabase);
    EXPECT_EQ(DrmMove(s, ta, kDrmMoveFirst), kDrmErrBadCursor);
    EXPECT_EQ(DrmMove(s, tb, kDrmMoveFirst), kDrmErrNoCurrentRecord); // still there
    EXPECT_EQ(server.open.size(), 2u);

    uint32_t other = Begin();
    EXPECT_EQ(DrmCloseDatabase(other, b), kDrmErrNoDatabase); // another session's
}

// The password serves one login: once an open is over (it worked or not),
// no byte of it is left in the session; a later open logs in with what the
// engine hands it for that open only.
TEST_F(Sessions, PasswordLastsOneLogin)
{
    const std::string secret = "Zq7-secret";
    auto holds = [&](uint32_t s) {
        const VDRMSession *session = DrmDriver().oGetSession(s);
        const char *bytes = reinterpret_cast<const char *>(session);
        return std::search(bytes, bytes + sizeof *session, secret.begin(), secret.end()) !=
               bytes + sizeof *session;
    };
    auto loginPassword = [&] {
        const uint8_t *p = server.lastLogin.bytes + 64;
        return std::string(reinterpret_cast<const char *>(p + 1), p[0]);
    };
    uint32_t s = Begin("user", secret.c_str());
    EXPECT_TRUE(holds(s)) << "kept for the first login";
    Open(s);
    EXPECT_EQ(loginPassword(), secret);
    EXPECT_FALSE(holds(s));
    // Not handed again: the login goes without one.
    Open(s);
    EXPECT_EQ(loginPassword(), "");
    ASSERT_EQ(DrmSetLoginPassword(s, secret.c_str()), 0);
    Open(s);
    EXPECT_EQ(loginPassword(), secret);
    EXPECT_FALSE(holds(s));
    // A failed open forgets it too.
    ASSERT_EQ(DrmSetLoginPassword(s, secret.c_str()), 0);
    uint32_t none = 0;
    EXPECT_EQ(DrmOpenDatabase(s, "TCP/IP:10.9.9.9", &none, 0), kDrmErrNoDatabase);
    EXPECT_FALSE(holds(s));
    EXPECT_EQ(DrmSetLoginPassword(s + 1000, secret.c_str()), -1104);
}

TEST_F(Sessions, FailedOpensCloseWhatTheyOpened)
{
    uint32_t s = Begin();
    server.status["GetServerInfo"] = -32003;
    uint32_t db = 0;
    EXPECT_EQ(DrmOpenDatabase(s, "TCP/IP:127.0.0.1", &db, 0), -1028);
    EXPECT_TRUE(server.open.empty());
    server.status.clear();
    server.fileListOverride = {1, 0}; // malformed catalog reply
    EXPECT_EQ(DrmOpenDatabase(s, "TCP/IP:127.0.0.1", &db, 0), -1028);
    EXPECT_TRUE(server.open.empty());
    EXPECT_EQ(db, 0u);
}

TEST_F(Sessions, EndingASessionReleasesEverything)
{
    uint32_t s = Begin();
    uint32_t a = Open(s);
    uint32_t b = Open(s);
    OpenTable(s, a, "Customers");
    TypeCatalog(s, b);
    uint32_t info[13] = {52};
    ASSERT_EQ(DrmGetTableColumnInfo(s, 1, info, sizeof info), 0);
    EXPECT_EQ(server.open.size(), 2u);
    ASSERT_EQ(DrmEndSession(s), 0);
    sessions.clear();
    EXPECT_TRUE(server.open.empty());
    EXPECT_EQ(DrmEndSession(s), -1);
}

} // namespace

namespace {

TEST_F(Sessions, ConcurrentSessionsGetDistinctIdsAndStayIntact)
{
    constexpr int kThreads = 4, kRounds = 50;
    std::vector<std::vector<uint32_t>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                uint32_t s = 0;
                if (DrmBeginSession(&s, "u", "p", "D") != 0)
                    continue;
                ids[t].push_back(s);
                int32_t v = i;
                DrmSetParam(s, static_cast<uint32_t>(i), 4, &v, 4);
                uint32_t out = 0;
                char buf[16];
                DrmGetInfo(s, 112, buf, sizeof buf, &out);
                uint32_t db = 0;
                DrmOpenDatabase(s, "TCP/IP:127.0.0.1", &db, 0);
                DrmEndSession(s);
            }
        });
    }
    for (std::thread &th : threads)
        th.join();
    std::set<uint32_t> all;
    size_t total = 0;
    for (const auto &v : ids) {
        all.insert(v.begin(), v.end());
        total += v.size();
    }
    EXPECT_EQ(total, static_cast<size_t>(kThreads * kRounds));
    EXPECT_EQ(all.size(), total);
    EXPECT_TRUE(server.open.empty());
    EXPECT_EQ(DrmDriver().sessions.oCount(), 0);
}

} // namespace
