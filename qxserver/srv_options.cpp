#include "qxserver/srv_options.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <unistd.h>

namespace qxs {

namespace {

bool Number(const std::string &s, long lo, long hi, long &out)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    long v = std::strtol(s.c_str(), &end, 0);
    if (*end || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool Code(const std::string &s, std::set<int16_t> &into)
{
    long v;
    if (!Number(s, -32768, 32767, v))
        return false;
    into.insert(int16_t(v));
    return true;
}

} // namespace

bool ParseOptions(int argc, char **argv, ServerOptions &o, std::string &error)
{
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0)
        o.computer = host;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string &v) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        std::string v;
        long n;
        if (a == "--big-endian") {
            o.bigEndian = true;
        } else if (a == "--save") {
            o.save = true;
        } else if (a == "--probe-no-body") {
            o.probeNoBody = true;
        } else if (!value(v)) {
            return false;
        } else if (a == "--port" && Number(v, 0, 65535, n)) {
            o.port = uint16_t(n);
        } else if (a == "--fixture") {
            o.fixture = v;
        } else if (a == "--version" && Number(v, 0, 0x7FFFFFFF, n)) {
            o.version = int32_t(n);
        } else if (a == "--key" && v.size() == 8 && Number("0x" + v, 0, 0xFFFFFFFFL, n)) {
            for (int k = 0; k < 4; ++k)
                o.key[k] = uint8_t(uint32_t(n) >> (24 - 8 * k));
        } else if (a == "--log") {
            o.logFile = v;
        } else if (a == "--name") {
            o.published = v;
        } else if (a == "--service") {
            o.service = v;
        } else if (a == "--computer") {
            o.computer = v;
        } else if (a == "--fail") {
            size_t colon = v.find(':');
            long code, status;
            if (colon == std::string::npos || !Number(v.substr(0, colon), -32768, 32767, code) ||
                !Number(v.substr(colon + 1), -32768, 32767, status)) {
                error = "--fail wants CODE:STATUS";
                return false;
            }
            o.failStatus[int16_t(code)] = int16_t(status);
        } else if (a == "--handshake-word" && Number(v, 0, 0xFFFF, n)) {
            o.handshakeWord = int32_t(n);
        } else if (a == "--short-body" && Code(v, o.shortBody)) {
        } else if (a == "--overlong-body" && Code(v, o.overlongBody)) {
        } else if (a == "--mismatch-body" && Code(v, o.mismatchBody)) {
        } else if (a == "--drop-mid-reply" && Code(v, o.dropMidReply)) {
        } else if (a == "--drop-link" && Code(v, o.dropLink)) {
        } else if (a == "--delay" && Number(v, 0, 600000, n)) {
            o.delayMs = uint32_t(n);
        } else if (a == "--discovery-address") {
            in_addr addr{};
            if (::inet_pton(AF_INET, v.c_str(), &addr) != 1) {
                error = "--discovery-address wants an IPv4 address";
                return false;
            }
            o.discoveryAddress = ntohl(addr.s_addr);
        } else if (a == "--max-links" && Number(v, 1, 100000, n)) {
            o.maxLinks = uint32_t(n);
        } else if (a == "--link-buffer" && Number(v, 1024, 0x7FFFFFFF, n)) {
            o.linkBuffer = size_t(n);
        } else if (a == "--login-timeout" && Number(v, 0, 86400000, n)) {
            o.loginTimeoutMs = uint32_t(n);
        } else if (a == "--spin-us" && Number(v, 0, 1000000, n)) {
            o.spinMicros = int32_t(n);
        } else {
            error = "bad argument: " + a + " " + v;
            return false;
        }
    }
    if (o.computer.size() > 31)
        o.computer.resize(31);
    return true;
}

} // namespace qxs
