// Helpers for tests that drive the network component through its selectors:
// blocks that keep their address while they are pending, and a loop that
// polls several components (client and server side) until a condition holds.
#pragma once

#include "netclient/nc_component.h"
#include "netclient/qxnetclient.h"

#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// One component and the blocks given to it; a pending block stays where it
// is until the component writes its result.
struct TestComponent {
    TestComponent() : comp(_QX_InitNetworkComponent(0)) {}
    ~TestComponent() { _QX_DeInitNetworkComponent(0, comp); }
    TestComponent(const TestComponent &) = delete;
    TestComponent &operator=(const TestComponent &) = delete;

    ComponentParamBlock &Call(int32_t selector,
                              const std::function<void(ComponentParamBlock &)> &fill = {})
    {
        ComponentParamBlock &pb = blocks.emplace_back();
        pb.selector = selector;
        pb.component = comp;
        if (fill)
            fill(pb);
        NetworkComponentEntry(&pb);
        return pb;
    }
    int32_t SetOption(const char (&code)[5], int32_t value, const void *data = nullptr)
    {
        return Call(12,
                    [&](ComponentParamBlock &pb) {
                        pb.code = FourCC(code);
                        pb.value = value;
                        pb.data = const_cast<void *>(data);
                    })
            .result;
    }
    int32_t Option(const char (&code)[5])
    {
        return Call(13, [&](ComponentParamBlock &pb) { pb.code = FourCC(code); }).value;
    }
    // One poll: selector 1 for a client, 5 for a server (which may hand over
    // a channel: the returned block then has result 0).
    ComponentParamBlock &Poll(int32_t selector) { return Call(selector); }

    QXComponent comp;
    std::deque<ComponentParamBlock> blocks;
};

inline std::vector<uint8_t> PStr(const std::string &s)
{
    std::vector<uint8_t> p(s.size() + 1);
    p[0] = uint8_t(s.size());
    std::copy(s.begin(), s.end(), p.begin() + 1);
    return p;
}

inline QXLocationRecord Loopback(uint16_t port)
{
    QXLocationRecord loc;
    loc.address = 0x7F000001;
    loc.port = port;
    return loc;
}

// Calls `step` until `done` holds, for at most `ms` milliseconds.
inline bool PollUntil(const std::function<bool()> &done, const std::function<void()> &step,
                      int ms = 3000)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        step();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// Starts the stream listener and the discovery socket on a free port.
inline uint16_t StartServer(TestComponent &server, const std::string &service)
{
    auto name = PStr(service);
    for (int attempt = 0; attempt < 5; ++attempt) { // the UDP port may happen to be taken
        server.SetOption("port", 0);
        if (server.Call(3, [&](ComponentParamBlock &pb) { pb.text = name.data(); }).result == 0)
            return uint16_t(server.Option("port"));
    }
    return 0;
}
