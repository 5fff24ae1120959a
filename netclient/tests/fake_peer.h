// A scripted server for byte-level tests: listens on a loopback port, accepts
// one connection and runs a script on it in its own thread, with blocking
// reads that give up after a few seconds.
#pragma once

#include "netclient/tests/wire_bytes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class FakePeer {
public:
    using Script = std::function<void(FakePeer &)>;
    explicit FakePeer(Script script);
    ~FakePeer(); // waits for the script to end
    uint16_t Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

    // Reads exactly n bytes (fewer when the client closed or time ran out).
    Bytes Read(size_t n);
    void Write(const Bytes &b);
    void Close();

    // The link handshake block.
    static Bytes Handshake(const std::string &service, uint32_t length = 72, uint32_t version = 2);

private:
    int listenFd_ = -1;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};
