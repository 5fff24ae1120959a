#include "netclient/tests/fake_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

FakePeer::FakePeer(Script script)
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    ::listen(listenFd_, 4);
    socklen_t len = sizeof sa;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    thread_ = std::thread([this, script] {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return;
        fd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        int one = 1;
        if (fd_ >= 0)
            ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (fd_ >= 0)
            script(*this);
        Close();
    });
}

FakePeer::~FakePeer()
{
    if (thread_.joinable())
        thread_.join();
    Close();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

Bytes FakePeer::Read(size_t n) { return ReadSocket(fd_, n); }

void FakePeer::Write(const Bytes &b)
{
    size_t done = 0;
    while (fd_ >= 0 && done < b.size()) {
        ssize_t n = ::send(fd_, b.data() + done, b.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

void FakePeer::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

Bytes FakePeer::Handshake(const std::string &service, uint32_t length, uint32_t version)
{
    Bytes h(72, 0);
    h[0] = uint8_t(length >> 24), h[1] = uint8_t(length >> 16), h[2] = uint8_t(length >> 8),
    h[3] = uint8_t(length);
    h[4] = uint8_t(version >> 24), h[5] = uint8_t(version >> 16), h[6] = uint8_t(version >> 8),
    h[7] = uint8_t(version);
    h[8] = uint8_t(service.size());
    std::copy(service.begin(), service.end(), h.begin() + 9);
    return h;
}
