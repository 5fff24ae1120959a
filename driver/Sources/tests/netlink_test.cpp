#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/Sources/drm_netlink.h"
#include "driver/Sources/tests/fake_server.h"

namespace {

TEST(NetPath, ParseAndFormat)
{
    struct Case {
        const char *text;
        uint16_t component;
        const char *address;
        const char *formatted;
    };
    const Case cases[] = {
        {"TCP/IP:10.0.0.5", 2, "10.0.0.5", "TCP/IP:10.0.0.5"},
        {"TCP/IP 10.0.0.5", 2, "10.0.0.5", "TCP/IP:10.0.0.5"}, // separator not checked
        {"TCP/IP:127.0.0.1:19813", 2, "127.0.0.1:19813", "TCP/IP:127.0.0.1:19813"},
        {"tcp/ip:host", 0, "", ""},
        {"Novell:host", 0, "", ""},
        {"Local:", 69, "", "Local:"},
        {"Local", 69, "", "Local:"}, // nothing past the name
        {"AppleTalk:Zone", 1, "Zone", "AppleTalk:Zone"},
        {"IPX:net", 4, "net", "IPX:net"},
        {"", 0, "", ""},
    };
    for (const Case &c : cases) {
        DrmNetPath p;
        EXPECT_TRUE(DrmParseNetPath(c.text, &p)) << c.text;
        EXPECT_EQ(p.component, c.component) << c.text;
        EXPECT_EQ(p.addressLength, std::strlen(c.address)) << c.text;
        EXPECT_STREQ(p.address, c.address) << c.text;
        char out[96];
        DrmFormatNetPath(&p, out, sizeof out);
        EXPECT_STREQ(out, c.formatted) << c.text;
    }
}

TEST(NetPath, AddressTooLongForTheRecordIsRefused)
{
    std::string fits = "TCP/IP:" + std::string(79, 'h');
    std::string over = "TCP/IP:" + std::string(80, 'h');
    DrmNetPath p;
    EXPECT_TRUE(DrmParseNetPath(fits.c_str(), &p));
    EXPECT_EQ(p.addressLength, 79);
    EXPECT_FALSE(DrmParseNetPath(over.c_str(), &p));
    EXPECT_EQ(p.component, 0);
    EXPECT_EQ(p.addressLength, 0);
    // Formatting into a small buffer is cut, never overrun.
    DrmParseNetPath(fits.c_str(), &p);
    char small[10];
    DrmFormatNetPath(&p, small, sizeof small);
    EXPECT_STREQ(small, "TCP/IP:hh");
}

class ServerLink : public ::testing::Test {
protected:
    void TearDown() override { DrmNetLibExit(); }

    int32_t Link(const char *text, DrmQxConnection *c)
    {
        DrmNetPath p;
        DrmParseNetPath(text, &p);
        DrmLoginRecord login;
        DrmMakeLoginRecord(&login, "QX ODBC Driver", "user", "pw", "ODBC", 1, 0);
        return DrmServerLink(&login, &p, c);
    }

    std::vector<std::string> Finds() const
    {
        std::vector<std::string> out;
        for (const std::string &c : server.calls)
            if (c.rfind("FindQXServer", 0) == 0)
                out.push_back(c.substr(13));
        return out;
    }

    FakeServer server;
};

TEST_F(ServerLink, BlanksAreTriedFromTheRightThenThePlainText)
{
    DrmQxConnection c = 0;
    EXPECT_EQ(Link("TCP/IP:Sales Server BOX", &c), -10021);
    EXPECT_EQ(Finds(), (std::vector<std::string>{"Sales Server\tBOX", "Sales\tServer BOX",
                                                 "Sales Server BOX"}));
    EXPECT_EQ(c, 0u);
    EXPECT_EQ(server.Count("OpenQXConnection"), 0u);

    server.calls.clear();
    server.knownAddresses.insert("Sales\tServer BOX");
    EXPECT_EQ(Link("TCP/IP:Sales Server BOX", &c), 0);
    EXPECT_EQ(Finds(), (std::vector<std::string>{"Sales Server\tBOX", "Sales\tServer BOX"}));
    EXPECT_NE(c, 0u);
    EXPECT_EQ(server.Count("FreeNetworkLocation"), 1u);
}

TEST_F(ServerLink, AnAddressWithoutBlanksIsLookedUpOnce)
{
    DrmQxConnection c = 0;
    EXPECT_EQ(Link("TCP/IP:127.0.0.1", &c), 0);
    EXPECT_EQ(Finds(), (std::vector<std::string>{"127.0.0.1"}));
    EXPECT_EQ(DrmServerLinkConnectionCount(), 1);
}

TEST_F(ServerLink, ConnectionsShareTheirComponentAndCloseOnce)
{
    DrmQxConnection a = 0, b = 0;
    ASSERT_EQ(Link("TCP/IP:127.0.0.1", &a), 0);
    ASSERT_EQ(Link("TCP/IP:127.0.0.1", &b), 0);
    EXPECT_EQ(server.Count("InitNetworkComponent"), 1u);
    EXPECT_EQ(DrmServerLinkComponentCount(), 1);
    EXPECT_EQ(DrmServerLinkConnectionCount(), 2);

    DrmQxConnection again = a;
    EXPECT_EQ(DrmCloseServerLink(&a), 0);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(DrmCloseServerLink(&a), -1);     // handle 0: no record holds it
    EXPECT_EQ(DrmCloseServerLink(&again), -1); // already closed: not closed twice
    EXPECT_EQ(server.Count("CloseQXConnection"), 1u);
    EXPECT_EQ(DrmServerLinkComponentCount(), 1); // component stays initialised
    EXPECT_EQ(server.open.size(), 1u);

    DrmNetLibExit(); // unload: close what is left, then de-init
    EXPECT_TRUE(server.open.empty());
    EXPECT_EQ(server.initialisedComponents, 0);
    EXPECT_EQ(server.calls.back(), "DeInitQXWS");
}

TEST_F(ServerLink, FailuresOfTheOpenAndOfTheComponent)
{
    DrmQxConnection c = 0;
    server.status["OpenQXConnection"] = -9978;
    EXPECT_EQ(Link("TCP/IP:127.0.0.1", &c), -9978);
    EXPECT_EQ(server.Count("FreeNetworkLocation"), 1u); // location released anyway
    EXPECT_EQ(DrmServerLinkConnectionCount(), 0);

    server.status["InitNetworkComponent"] = 1;
    EXPECT_EQ(Link("IPX:net", &c), -1);
    EXPECT_EQ(DrmServerLinkComponentCount(), 1); // only TCP/IP registered
}

TEST_F(ServerLink, CloseAllKeepsComponents)
{
    DrmQxConnection a = 0, b = 0;
    ASSERT_EQ(Link("TCP/IP:127.0.0.1", &a), 0);
    ASSERT_EQ(Link("TCP/IP:127.0.0.1", &b), 0);
    DrmCloseAllServerLinks();
    EXPECT_TRUE(server.open.empty());
    EXPECT_EQ(DrmServerLinkComponentCount(), 1);
    EXPECT_EQ(DrmServerLinkConnectionCount(), 0);
}

TEST_F(ServerLink, SelectServerFillsTheRecordOrPassesTheRefusal)
{
    DrmNetPath p;
    ASSERT_EQ(DrmSelectServer(&p), 0);
    EXPECT_EQ(p.component, 2);
    EXPECT_STREQ(p.address, "Sales BOX");
    EXPECT_EQ(server.Count("FreeNetworkLocation"), 1u);
    server.status["SelectQXServer"] = -10020;
    EXPECT_EQ(DrmSelectServer(&p), -10020);
}

} // namespace
