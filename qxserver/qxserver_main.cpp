// qxserver: an emulator of the QX Server for tests and the demo.
// The first line on standard output, "listening on PORT", tells that it
// accepts connections.
#include "qxserver/db/db_fixture.h"
#include "qxserver/srv_transport.h"

#include <csignal>
#include <cstdio>

namespace {
volatile bool gStop = false;
void OnSignal(int) { gStop = true; }
} // namespace

int main(int argc, char **argv)
{
    qxs::ServerOptions options;
    std::string error;
    if (!qxs::ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "qxserver: %s\n", error.c_str());
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
