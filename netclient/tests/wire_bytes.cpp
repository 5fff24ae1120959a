#include "netclient/tests/wire_bytes.h"

#include <algorithm>
#include <poll.h>
#include <sys/socket.h>

Bytes WireNumber16(bool bigEndian, uint16_t v)
{
    return bigEndian ? Bytes{uint8_t(v >> 8), uint8_t(v)} : Bytes{uint8_t(v), uint8_t(v >> 8)};
}

Bytes WireNumber32(bool bigEndian, uint32_t v)
{
    Bytes b{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    if (bigEndian)
        std::reverse(b.begin(), b.end());
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes LinkFrame(uint8_t kind, uint16_t channel, uint32_t length, const Bytes &data)
{
    // Sized once and copied into: g++ 12 at -O3 reports a false -Warray-bounds when a vector
    // made from an initializer list grows by insert().
    const uint8_t head[12] = {kind,
                              0,
                              uint8_t(channel >> 8),
                              uint8_t(channel),
                              uint8_t(length >> 24),
                              uint8_t(length >> 16),
                              uint8_t(length >> 8),
                              uint8_t(length),
                              1,
                              2,
                              3,
                              4};
    Bytes f(sizeof head + data.size());
    std::copy(std::begin(head), std::end(head), f.begin());
    std::copy(data.begin(), data.end(), f.begin() + sizeof head);
    return f;
}

Bytes ReadSocket(int fd, size_t n)
{
    Bytes b;
    while (fd >= 0 && b.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        uint8_t buf[4096];
        ssize_t got = ::recv(fd, buf, std::min(sizeof buf, n - b.size()), 0);
        if (got <= 0)
            break;
        b.insert(b.end(), buf, buf + got);
    }
    return b;
}
