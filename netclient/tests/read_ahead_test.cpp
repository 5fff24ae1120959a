// A window sent ahead (_QX_SendSubSelectionToArray, taken by
// _QX_ReceiveSubSelectionToArray) against qxserver with the demo fixture: it
// answers what the whole call answers, in both byte orders; any other call
// on the connection reads its reply and drops it first, so that one request
// is out at a time and the stream stays in step; statuses and time limits
// are the whole call's.
#include "netclient/qxnetclient.h"
#include "tests/support/qxserver_process.h"

#include <chrono>
#include <csignal>
#include <functional>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
enum { kCustomers = 1 };
enum { kId = 1, kName = 2, kCredit = 6, kNotes = 8 };

// Record numbers, a string, a real and a text: every size class of value.
const QXFieldPair kPairs[] = {{kCustomers, 0}, {kCustomers, kId}, {kCustomers, kName},
                              {kCustomers, kCredit}, {kCustomers, kNotes}};
const QXArrayDescription kWindow{5, kCustomers, kPairs};

Bytes Take(QXHandle h)
{
    Bytes out;
    if (!h)
        return out;
    auto *p = static_cast<const uint8_t *>(LockQXHandle(h));
    out.assign(p, p + SizeOfQXHandle(h));
    UnlockQXHandle(h);
    FreeQXHandle(h);
    return out;
}

class ReadAhead : public ::testing::Test {
protected:
    void TearDown() override { Disconnect(); }
    void Start(std::vector<std::string> args)
    {
        Disconnect();
        server_.Stop();
        args.insert(args.end(), {"--fixture", QX_DEMO_FIXTURE});
        std::string error;
        ASSERT_TRUE(server_.Start(args, &error)) << error;
        comp_ = _QX_InitNetworkComponent(0);
        std::string text = "127.0.0.1:" + std::to_string(server_.Port());
        Bytes addr(text.size() + 1);
        addr[0] = uint8_t(text.size());
        std::memcpy(addr.data() + 1, text.data(), text.size());
        ASSERT_EQ(_QX_FindQXServer(addr.data(), &loc_, 0, comp_), 0);
        QXLoginRecord login{};
        login.userName[0] = 4, std::memcpy(login.userName + 1, "demo", 4);
        login.password[0] = 4, std::memcpy(login.password + 1, "demo", 4);
        ASSERT_EQ(_QX_OpenQXConnection(&login, loc_, &conn_, 0, comp_), 0);
        ASSERT_EQ(_QX_SelectAllRecords(conn_, kCustomers), 0);
    }
    void Disconnect()
    {
        if (conn_)
            _QX_CloseQXConnection(conn_);
        if (loc_)
            _QX_FreeNetworkLocation(loc_, 0, comp_);
        if (comp_)
            _QX_DeInitNetworkComponent(0, comp_);
        conn_ = nullptr;
        loc_ = nullptr;
        comp_ = nullptr;
    }
    // The whole call's status and array.
    int16_t Whole(int32_t first, int32_t last, Bytes *out)
    {
        QXHandle h = nullptr;
        int16_t status = _QX_SubSelectionToArray(conn_, &kWindow, first, last, &h);
        *out = Take(h);
        return status;
    }
    int16_t Receive(Bytes *out)
    {
        QXHandle h = nullptr;
        int16_t status = _QX_ReceiveSubSelectionToArray(conn_, &h);
        *out = Take(h);
        return status;
    }

    QxServerProcess server_;
    QXComponent comp_ = nullptr;
    QXNetworkLocation loc_ = nullptr;
    QXHandle conn_ = nullptr;
};

TEST_F(ReadAhead, SentAheadTheWindowIsTheWholeCallsWindow)
{
    const struct {
        int32_t first, last;
    } windows[] = {{0, 99}, {99, 149}, {140, 260}, {0, 0}};
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian server" : "little-endian server");
        Start(big ? std::vector<std::string>{"--big-endian"} : std::vector<std::string>{});
        Bytes got;
        EXPECT_EQ(Receive(&got), QX_ERR_NOTHING_SENT) << "nothing sent yet";
        for (const auto &w : windows) {
            SCOPED_TRACE(std::to_string(w.first) + ".." + std::to_string(w.last));
            Bytes whole;
            ASSERT_EQ(Whole(w.first, w.last, &whole), 0);
            ASSERT_EQ(_QX_SendSubSelectionToArray(conn_, &kWindow, w.first, w.last), 0);
            ASSERT_EQ(Receive(&got), 0);
            EXPECT_EQ(got, whole);
            EXPECT_EQ(Receive(&got), QX_ERR_NOTHING_SENT) << "taken once";
            EXPECT_TRUE(got.empty());
        }
        // Taken with no array: read and dropped.
        ASSERT_EQ(_QX_SendSubSelectionToArray(conn_, &kWindow, 0, 99), 0);
        EXPECT_EQ(_QX_ReceiveSubSelectionToArray(conn_, nullptr), 0);
        EXPECT_EQ(Receive(&got), QX_ERR_NOTHING_SENT);
    }
}

// Whatever comes after the send on the connection finds the reply read and
// dropped; the call itself answers as usual, and so do the calls after it.
TEST_F(ReadAhead, AnyOtherCallDropsTheWindowSentAhead)
{
    Start({});
    Bytes first, second;
    ASSERT_EQ(Whole(0, 99, &first), 0);
    ASSERT_EQ(Whole(100, 149, &second), 0);
    struct Case {
        const char *what;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"a count",
         [&] {
             int32_t n = -1;
             EXPECT_EQ(_QX_RecordsInSelection(conn_, kCustomers, &n), 0);
             EXPECT_EQ(n, 150);
         }},
        {"the whole call of another window",
         [&] {
             Bytes got;
             EXPECT_EQ(Whole(100, 149, &got), 0);
             EXPECT_EQ(got, second);
         }},
        {"a call that answers an error",
         [&] { EXPECT_EQ(_QX_GotoSelectedRecord(conn_, kCustomers, 151), -9945); }},
        {"a new selection",
         [&] { EXPECT_EQ(_QX_SelectAllRecords(conn_, kCustomers), 0); }},
        {"a change of time limits", [&] { EXPECT_EQ(_QX_SetConnectionTimeouts(conn_, 0, 0), 0); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(_QX_SendSubSelectionToArray(conn_, &kWindow, 0, 99), 0);
        c.call();
        Bytes got;
        EXPECT_EQ(Receive(&got), QX_ERR_NOTHING_SENT);
        EXPECT_EQ(Whole(0, 99, &got), 0) << "in step";
        EXPECT_EQ(got, first);
    }
    // A second send replaces the first: its own window comes back.
    ASSERT_EQ(_QX_SendSubSelectionToArray(conn_, &kWindow, 0, 99), 0);
    ASSERT_EQ(_QX_SendSubSelectionToArray(conn_, &kWindow, 100, 149), 0);
    Bytes got;
    ASSERT_EQ(Receive(&got), 0);
    EXPECT_EQ(got, second);
    // Closing with a window out reads it first; the server serves on.
    ASSERT_EQ(_QX_SendSubSelectionToArray(conn_, &kWindow, 0, 99), 0);
    EXPECT_EQ(_QX_CloseQXConnection(conn_), 0);
    conn_ = nullptr;
    Disconnect();
    Start({});
    EXPECT_EQ(Whole(0, 99, &got), 0);
    EXPECT_EQ(got, first);
}

TEST_F(ReadAhead, StatusesAndTimeLimitsAreTheWholeCalls)
{
    Bytes got;
    // The server's status for the window, at the receive.
    Start({"--fail", "91:-9963"});
    EXPECT_EQ(Whole(0, 99, &got), -9963);
    ASSERT_EQ(_QX_SendSubSelectionToArray(conn_, &kWindow, 0, 99), 0);
    EXPECT_EQ(Receive(&got), -9963);
    EXPECT_TRUE(got.empty());
    // What the call refuses before sending, the send refuses.
    Start({});
    QXArrayDescription empty{0, kCustomers, kPairs};
    EXPECT_EQ(_QX_SendSubSelectionToArray(conn_, &empty, 0, 99), QX_ERR_BAD_CONNECTION);
    ASSERT_EQ(_QX_SetConnectionAsync(conn_), 0);
    EXPECT_EQ(_QX_SendSubSelectionToArray(conn_, &kWindow, 0, 99), QX_ERR_PENDING)
        << "a polled connection";
    ASSERT_EQ(_QX_SetConnectionSync(conn_), 0);
    // The reply time counts from the receive: time the caller spends before
    // it is not the server's.
    ASSERT_EQ(_QX_SetConnectionTimeouts(conn_, 300, 0), 0);
    ASSERT_EQ(_QX_SendSubSelectionToArray(conn_, &kWindow, 0, 99), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(Receive(&got), 0);
    // A server that does not answer: the receive gives up in time and the
    // connection is broken, as with the whole call.
    ::kill(server_.Pid(), SIGSTOP);
    ASSERT_EQ(_QX_SendSubSelectionToArray(conn_, &kWindow, 0, 99), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Receive(&got), QX_ERR_TIMED_OUT);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.5);
    EXPECT_EQ(_QX_SendSubSelectionToArray(conn_, &kWindow, 0, 99), QX_ERR_LINK);
    EXPECT_EQ(Whole(0, 99, &got), QX_ERR_LINK);
    ::kill(server_.Pid(), SIGCONT);
}

} // namespace
