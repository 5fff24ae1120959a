// qxserver: an emulator of the QX Server for tests and the demo.
// The first line on standard output, "listening on PORT", tells that it
// accepts connections.
#include "qxserver/db/db_fixture.h"
#include "qxserver/srv_transport.h"

#include <csignal>
#include <cstdio>
#include <string>

namespace {
volatile bool gStop = false;
void OnSignal(int) { gStop = true; }
} // namespace

const char kUsage[] =
    "usage: qxserver --port N --fixture FILE [options]\n"
    "  --port N              TCP and UDP port, 0 for a free one (default 19813)\n"
    "  --fixture FILE        JSON fixture: users and tables\n"
    "  --save                at exit, write the database back to the fixture\n"
    "  --version V           server version announced at login (default 0x650)\n"
    "  --big-endian          numbers in big-endian order\n"
    "  --key HEX8            login key (default 00A5005A)\n"
    "  --log FILE            decoded request log\n"
    "  --name NAME           published name for discovery (default \"QX Server\")\n"
    "  --service NAME        service name (handshake, discovery)\n"
    "  --computer NAME       computer name in discovery answers\n"
    "  --discovery-address A address of the UDP discovery socket (default 127.0.0.1)\n"
    "limits (a link past one is dropped):\n"
    "  --max-links N         links served at once (default 64)\n"
    "  --link-buffer BYTES   bytes one link may hold in each direction (default 80 MiB)\n"
    "  --login-timeout MS    links without a login are dropped after MS (default 30000, 0 never)\n"
    "latency:\n"
    "  --spin-us US          look for the next request this long without sleeping (0 never;\n"
    "                        default: as long as it pays, at most 300)\n"
    "fault injection:\n"
    "  --fail CODE:STATUS    answer request CODE with STATUS, no body\n"
    "  --handshake-word HEX4 send this byte-order word\n"
    "  --probe-no-body       probe login answered without a body\n"
    "  --short-body CODE     reply body cut to half\n"
    "  --overlong-body CODE  reply header announces a huge body\n"
    "  --mismatch-body CODE  body frame one byte longer than announced\n"
    "  --drop-mid-reply CODE connection dropped inside the reply\n"
    "  --drop-link CODE      connection dropped on CODE, sessions kept for a reconnect\n"
    "  --delay MS            every reply held back MS milliseconds\n"
    "The first line printed, \"listening on PORT\", tells that connections are accepted.\n";

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    qxs::ServerOptions options;
    std::string error;
    if (!qxs::ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "qxserver: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.save && options.fixture.empty()) {
        std::fprintf(stderr, "qxserver: --save needs --fixture\n");
        return 2;
    }
    qxs::ServerContext ctx(options);
    if (!qxs::LoadFixture(ctx, error)) {
        std::fprintf(stderr, "qxserver: %s\n", error.c_str());
        return 1;
    }
    qxs::HandlerTable table;
    qxs::RegisterTransportHandlers(table);
    qxs::RegisterDatabaseHandlers(table);
    qxs::ServerTransport transport(ctx, table);
    if (!transport.Start(error)) {
        std::fprintf(stderr, "qxserver: %s\n", error.c_str());
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("listening on %u\n", transport.Port());
    std::fflush(stdout);
    transport.Run(&gStop);
    if (options.save && !qxdb::QxdbSaveFixture(ctx.db, options.fixture, error)) {
        std::fprintf(stderr, "qxserver: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
