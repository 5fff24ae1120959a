// Request handling of the emulator: one handler per request code, kept in a
// table, so that later steps register the database requests beside the
// transport's own (login, flush).
#pragma once

#include "qxserver/db/db_database.h"
#include "qxserver/srv_codec.h"
#include "qxserver/srv_options.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qxs {

// Statuses the emulator answers with.
enum : int16_t {
    kStatusBadPassword = -9978,
    kStatusBadAccount = -9979,
    kStatusNotSupported = -9990,
    kStatusNotLoggedIn = -9991,
    kStatusBadRequest = -9800,
};

// The marker that stands for the user name in the probe login.
inline constexpr uint8_t kProbeUser[4] = {3, 0x7F, 'Q', 'X'};

// One client connection (one channel of a link).
struct Session {
    uint16_t channel = 0;
    bool bigEndian = false; // the server's byte order for this session
    bool keyed = false;     // bodies are XORed once the probe reply went out
    bool loggedIn = false;
    std::string user;
    std::unique_ptr<qxdb::Connection> db; // the database connection after login
};

struct Request {
    int16_t code = 0;
    std::vector<uint8_t> body; // XOR already undone
};

struct Reply {
    int16_t status = 0;
    std::vector<uint8_t> body;
    bool keyAfter = false; // the session is keyed once this reply is sent
    std::string note;      // for the request log
};

struct ServerContext {
    explicit ServerContext(const ServerOptions &o) : options(o) {}
    const ServerOptions &options;
    qxdb::Database db;
};

using RequestHandler = Reply (*)(ServerContext &, Session &, const Request &);

class HandlerTable {
public:
    void Register(int16_t code, RequestHandler handler);
    RequestHandler Find(int16_t code) const;

private:
    std::array<RequestHandler, 512> handlers_{};
};

// Login (44) and flush (38).
void RegisterTransportHandlers(HandlerTable &table);
// Every request the database serves.
void RegisterDatabaseHandlers(HandlerTable &table);

// Runs the handler of the request's code (or answers "not supported"); only
// login is served before a session has logged in.
Reply HandleRequest(ServerContext &ctx, const HandlerTable &table, Session &s, const Request &r);

// Loads the fixture file (accounts and tables) into the database; no file
// gives an empty database.
bool LoadFixture(ServerContext &ctx, std::string &error);

} // namespace qxs
