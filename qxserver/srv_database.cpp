// The database requests of the emulator: every code the database serves is
// handed to it with the session's connection and byte order.
#include "qxserver/db/db_requests.h"
#include "qxserver/srv_requests.h"

namespace qxs {
namespace {

Reply ServeFromDatabase(ServerContext &ctx, Session &s, const Request &r)
{
    Reply reply;
    if (!s.db) {
        reply.status = kStatusNotSupported;
        reply.note = "no database";
        return reply;
    }
    qxdb::WireOptions opt;
    opt.bigEndian = s.order.bigEndian;
    opt.version = uint16_t(ctx.options.version);
    qxdb::Reply dbReply = qxdb::QxdbServeRequest(*s.db, r.code, r.body.data(), r.body.size(), opt);
    reply.status = dbReply.status;
    reply.body = std::move(dbReply.body);
    reply.note = "db";
    return reply;
}

} // namespace

void RegisterDatabaseHandlers(HandlerTable &table)
{
    for (int code = 0; code < 512; ++code) {
        auto c = int16_t(code);
        if (qxdb::QxdbServesCode(c) && table.Find(c) == nullptr)
            table.Register(c, ServeFromDatabase);
    }
}

} // namespace qxs
