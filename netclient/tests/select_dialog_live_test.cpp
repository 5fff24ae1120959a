// The selection model against qxserver: answers to a broadcast on
// 127.255.255.255 fill the list, a new query keeps them, a server that stops
// answering leaves it.
#include "netclient/nc_select_dialog.h"
#include "tests/support/qxserver_process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>

namespace {

TEST(SelectModelLive, QueriesKeepFoundServersUntilTheyStopAnswering)
{
    QxServerProcess server;
    ASSERT_TRUE(server.Start({"--fixture", server.FixtureWithUsers({{"demo", "demo"}}), "--service",
                              "Sales", "--computer", "BOX"}));
    qxtest::TempDir dir("qxsel");
    ASSERT_FALSE(dir.Path().empty());
    qxtest::ScopedEnv noDialog("QX_DIALOG", "none");
    TcpComponent comp;
    comp.port = server.Port();
    comp.broadcastAddress = ntohl(inet_addr("127.255.255.255"));
    nc::NcServerListModel m(&comp, "QX Server", (dir / "QXNCTCP.INI").string());
    ASSERT_EQ(m.Start(), 0);
    m.Pump(500);
    ASSERT_EQ(m.BroadcastLines(), std::vector<std::string>{"Sales\tBOX"});
    // A new query goes out; before its answers arrive the list still holds the server.
    m.queryEveryMs = 0;
    m.Pump(0);
    EXPECT_EQ(m.BroadcastLines(), std::vector<std::string>{"Sales\tBOX"});
    ASSERT_TRUE(m.SelectBroadcast("Sales\tBOX"));
    EXPECT_FALSE(m.SelectBroadcast("Sales\tBO")) << "choices match exactly";
    EXPECT_EQ(m.Ok(), nc::kChoiceBroadcast);
    EXPECT_EQ(m.chosenName, "Sales BOX");
    EXPECT_EQ(m.location.port, server.Port());
    server.Stop();
    for (int i = 0; i < 3; ++i)
        m.Pump(50);
    EXPECT_TRUE(m.BroadcastLines().empty());
}

} // namespace
