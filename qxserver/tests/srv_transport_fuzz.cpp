// Fuzz target: the emulator's transport, fed the bytes a client sends on one
// link (frames, channel opens and closes, requests in any cut).
// Input: byte 0 bit 0 = log in first (the harness opens channel 1 and logs in
// as u/p, so the rest meets a keyed, logged-in session), bit 1 = big-endian
// server; byte 1 the size of the pieces the rest is fed in (0: all at once);
// the rest the client's bytes. Limits are small so that inputs reach them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "qxserver/db/db_codec.h"
#include "qxserver/db/db_fixture.h"
#include "qxserver/srv_transport.h"

namespace {

const char *kFixture = R"({"users":[{"name":"u","password":"p"}],"tables":[
 {"name":"T","fields":[{"name":"A","type":"longint"},{"name":"B","type":"alpha","length":8}],
  "records":[{"A":1,"B":"x"},{"A":2,"B":"y"}]}]})";

std::vector<uint8_t> Frame(uint8_t kind, uint16_t channel, const std::vector<uint8_t> &data)
{
    std::vector<uint8_t> f(qxs::kFrameHeaderSize);
    qxs::EncodeFrameHeader(f.data(), kind, channel, uint32_t(data.size()));
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

std::vector<uint8_t> Login(bool big, const uint8_t key[4], bool probe)
{
    std::vector<uint8_t> r(6 + 130, 0);
    qxdb::QxdbStore16(r.data(), 44, big);
    qxdb::QxdbStore32(r.data() + 2, 130, big);
    uint8_t *body = r.data() + 6;
    if (probe) {
        const uint8_t marker[4] = {3, 0x7F, 'Q', 'X'};
        std::memcpy(body + 32, marker, 4);
    } else {
        body[32] = 1, body[33] = 'u', body[64] = 1, body[65] = 'p';
        qxs::XorBody(body, 130, key);
    }
    body[128] = 1;
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    qxs::ServerOptions options;
    options.bigEndian = (data[0] & 2) != 0;
    options.linkBuffer = 64 * 1024;
    qxs::ServerContext ctx(options);
    std::string error;
    if (!qxdb::QxdbLoadFixtureText(kFixture, ctx.db, error))
        __builtin_trap();
    qxs::HandlerTable table;
    qxs::RegisterTransportHandlers(table);
    qxs::RegisterDatabaseHandlers(table);
    qxs::ServerTransport transport(ctx, table);
    std::vector<uint8_t> out;
    uint32_t link = transport.OpenMemoryLink(out);
    if (out.size() != qxs::kHandshakeSize)
        __builtin_trap();
    if (data[0] & 1) {
        for (const std::vector<uint8_t> &step :
             {Frame(1, 1, {}), Frame(3, 1, Login(options.bigEndian, options.key, true)),
              Frame(3, 1, Login(options.bigEndian, options.key, false))}) {
            out.clear();
            if (!transport.FeedMemoryLink(link, step.data(), step.size(), out) || out.empty())
                __builtin_trap();
        }
        // The login's reply: status 0.
        if (out.size() != qxs::kFrameHeaderSize + 6 || out[qxs::kFrameHeaderSize] != 0 ||
            out[qxs::kFrameHeaderSize + 1] != 0)
            __builtin_trap();
    }
    size_t piece = data[1] ? data[1] : size;
    for (size_t at = 2; at < size; at += piece) {
        out.clear();
        size_t n = std::min(piece, size - at);
        if (!transport.FeedMemoryLink(link, data + at, n, out))
            break;
        // Whatever comes back is whole frames with good markers.
        for (size_t p = 0; p < out.size();) {
            qxs::FrameHeader h;
            if (out.size() - p < qxs::kFrameHeaderSize ||
                !qxs::DecodeFrameHeader(out.data() + p, h))
                break; // a reply cut on purpose by fault injection is not configured here
            p += qxs::kFrameHeaderSize + (h.kind == qxs::kKindData ? h.length : 0);
            if (p > out.size())
                __builtin_trap();
        }
    }
    return 0;
}
