#include "qxserver/srv_requests.h"

#include "qxserver/db/db_fixture.h"
#include "qxserver/db/db_codec.h"
#include "qxserver/db/db_requests.h"

#include <cstring>

namespace qxs {

void HandlerTable::Register(int16_t code, RequestHandler handler)
{
    if (code >= 0 && size_t(code) < handlers_.size())
        handlers_[size_t(code)] = handler;
}

RequestHandler HandlerTable::Find(int16_t code) const
{
    if (code < 0 || size_t(code) >= handlers_.size())
        return nullptr;
    return handlers_[size_t(code)];
}

namespace {

constexpr size_t kLoginSize = 130;

std::string PString(const uint8_t *field, size_t width)
{
    size_t n = std::min<size_t>(field[0], width - 1);
    return std::string(reinterpret_cast<const char *>(field + 1), n);
}

Reply Login(ServerContext &ctx, Session &s, const Request &r)
{
    Reply reply;
    if (r.body.size() != kLoginSize) {
        reply.status = kStatusBadRequest;
        reply.note = "bad login length";
        return reply;
    }
    const uint8_t *user = r.body.data() + 32;
    if (std::memcmp(user, kProbeUser, sizeof kProbeUser) == 0) {
        // Probe: byte-order word (0: the client must swap), version, a
        // second number, the key as it is.
        qxdb::Writer w(s.bigEndian);
        w.Put8(0);
        w.Put8(s.bigEndian ? 0 : 1);
        w.Put32(ctx.options.version);
        w.Put32(0);
        w.PutBytes(ctx.options.key, 4);
        reply.body = std::move(w.bytes());
        reply.keyAfter = true;
        reply.note = "probe";
        return reply;
    }
    std::string name = PString(user, 32);
    std::string password = PString(r.body.data() + 64, 32);
    reply.status = ctx.db.CheckLogin(name, password);
    if (reply.status == kStatusBadPassword) {
        reply.note = "login " + name + " bad password";
    } else if (reply.status != 0) {
        reply.note = "login " + name + " unknown";
    } else {
        s.db = ctx.db.Connect(name);
        s.loggedIn = true;
        s.user = name;
        reply.note = "login " + name;
    }
    return reply;
}

// The lines of a search request (35, 97) for the log:
// "search table 1: 1>200 AND 3=3 OR 2='N003'".
std::string DescribeSearch(bool bigEndian, const std::vector<uint8_t> &body)
{
    static const char *const kOps[] = {"?", "=", "<>", ">", ">=", "<", "<="};
    static const char *const kConj[] = {"", " AND ", " OR ", " AND NOT "};
    if (body.size() < 4)
        return "search";
    int16_t count = qxdb::QxdbLoad16(body.data(), bigEndian);
    std::string text =
        "search table " + std::to_string(qxdb::QxdbLoad16(body.data() + 2, bigEndian)) + ":";
    for (int16_t i = 0; i < count && body.size() >= 4 + size_t(i + 1) * 96; ++i) {
        const uint8_t *line = body.data() + 4 + size_t(i) * 96;
        const uint8_t *value = line + 8;
        std::string shown;
        switch (line[6]) {
        case 0: shown.assign(1, '\'').append(PString(value, 84)).push_back('\''); break;
        case 6:
        case 8: shown = std::to_string(qxdb::QxdbLoad16(value, bigEndian)); break;
        case 9:
        case 11: shown = std::to_string(qxdb::QxdbLoad32(value, bigEndian)); break;
        default: shown = "(type " + std::to_string(line[6]) + ")"; break;
        }
        text += (i == 0 ? std::string(line[92] == 3 ? " NOT " : " ")
                        : std::string(kConj[line[92] & 3])) +
                std::to_string(qxdb::QxdbLoad16(line, bigEndian)) + kOps[line[4] % 7] + shown;
    }
    return text;
}

Reply Database(ServerContext &ctx, Session &s, const Request &r)
{
    qxdb::WireOptions wire;
    wire.bigEndian = s.bigEndian;
    wire.version = uint16_t(ctx.options.version);
    qxdb::Reply answer = qxdb::QxdbServeRequest(*s.db, r.code, r.body.data(), r.body.size(), wire);
    Reply reply;
    reply.status = answer.status;
    reply.body = std::move(answer.body);
    if (r.code == 35 || r.code == 97)
        reply.note = DescribeSearch(s.bigEndian, r.body);
    return reply;
}

Reply Flush(ServerContext &, Session &, const Request &)
{
    Reply reply;
    reply.note = "flush";
    return reply;
}

} // namespace

void RegisterTransportHandlers(HandlerTable &table)
{
    table.Register(44, Login);
    table.Register(38, Flush);
}

void RegisterDatabaseHandlers(HandlerTable &table)
{
    for (int code = 0; code < 512; ++code)
        if (code != 44 && code != 38 && qxdb::QxdbServesCode(int16_t(code)))
            table.Register(int16_t(code), Database);
}

Reply HandleRequest(ServerContext &ctx, const HandlerTable &table, Session &s, const Request &r)
{
    RequestHandler h = table.Find(r.code);
    if (!h) {
        Reply reply;
        reply.status = kStatusNotSupported;
        reply.note = "not supported";
        return reply;
    }
    if (r.code != 44 && (!s.loggedIn || !s.db)) {
        Reply reply;
        reply.status = kStatusNotLoggedIn;
        reply.note = "not logged in";
        return reply;
    }
    return h(ctx, s, r);
}

bool LoadFixture(ServerContext &ctx, std::string &error)
{
    if (ctx.options.fixture.empty())
        return true;
    return qxdb::QxdbLoadFixture(ctx.options.fixture, ctx.db, error);
}

} // namespace qxs
