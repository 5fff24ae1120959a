// Command line of qxserver.
//
//   qxserver --port N --fixture FILE [options]
//     --port N              TCP and UDP port (0: a free port); default 19813
//     --fixture FILE        JSON fixture: users and tables
//     --save                at exit, write the database back to the fixture
//     --version V           server version announced at login (default 0x650)
//     --big-endian          numbers in big-endian order (the client swaps)
//     --key HEX8            login key, 8 hex digits (default 00A5005A)
//     --log FILE            decoded request log, one line per frame/request
//     --name NAME           published name answered in discovery ("QX Server")
//     --service NAME        service name (handshake, discovery)
//     --computer NAME       computer name in discovery answers
//     --discovery-address A the address the UDP discovery socket listens on
//                           (default 127.0.0.1; 0.0.0.0 answers broadcasts
//                           from the network)
//   limits (a link past one is dropped; the server keeps serving the others):
//     --max-links N         links served at once (default 64); more are
//                           accepted and closed at once
//     --link-buffer BYTES   bytes one link may hold in each direction: its
//                           unfinished frames and requests, and the replies
//                           it has not read yet (default 80 MiB)
//     --login-timeout MS    a link with no logged-in session is dropped this
//                           long after it was accepted (default 30000, 0 never)
//   latency:
//     --spin-us US          after serving a request, look for the next one
//                           this long without sleeping (0 never); by default
//                           as long as it pays, at most 300 (srv_spin.h)
//   fault injection (CODE is a request code):
//     --fail CODE:STATUS    answer CODE with STATUS and no body
//     --handshake-word HEX4 send this byte-order word instead of the true one
//     --probe-no-body       answer the probe login without a body
//     --short-body CODE     reply body cut to half its length
//     --overlong-body CODE  reply header announces a body far too large
//     --mismatch-body CODE  body frame one byte longer than the header says
//     --drop-mid-reply CODE send the reply header, then drop the connection
//     --delay MS            hold every reply back MS milliseconds
//     --drop-link CODE      on request CODE drop the TCP connection without a
//                           reply; the sessions wait 60 s for the client to
//                           come back with a reconnect frame
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

namespace qxs {

struct ServerOptions {
    uint16_t port = 19813;
    std::string fixture;
    bool save = false;
    int32_t version = 0x650;
    bool bigEndian = false;
    uint8_t key[4] = {0x00, 0xA5, 0x00, 0x5A};
    std::string logFile;
    std::string published = "QX Server";
    std::string service = "QX Emulator";
    std::string computer;
    std::map<int16_t, int16_t> failStatus;
    int32_t handshakeWord = -1; // -1: the true word
    bool probeNoBody = false;
    std::set<int16_t> shortBody, overlongBody, mismatchBody, dropMidReply, dropLink;
    uint32_t delayMs = 0;
    uint32_t discoveryAddress = 0x7F000001; // host order
    uint32_t maxLinks = 64;
    size_t linkBuffer = 80u * 1024 * 1024;
    uint32_t loginTimeoutMs = 30000;
    int32_t spinMicros = -1; // -1: as long as it pays (srv_spin.h)
};

// False with a message for a bad command line.
bool ParseOptions(int argc, char **argv, ServerOptions &out, std::string &error);

} // namespace qxs
