// The server side of every request the client library sends, over the
// emulator's database: decode a request body, run the Connection operation,
// encode the reply body.
//
// The transport calls QxdbServeRequest once per request of a logged-in
// connection, with the body already freed of the login-key XOR, and sends
// back the status and body it returns (XORing the body itself). The login
// (code 44) is the transport's. Numbers are read and written in the order the
// transport chose for the connection (`bigEndian`); `version` selects the
// older layouts of table lists, table definitions, user lists and semaphore
// bodies for servers before 0x600 / 0x650. A body too short for its code,
// or a code the database does not serve, answers -9950 with no body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qxserver/db/db_database.h"

namespace qxdb {

struct WireOptions {
    bool bigEndian = false;
    uint16_t version = 0x0650;
};

struct Reply {
    int16_t status = 0;
    std::vector<uint8_t> body; // empty: the reply carries no body
};

Reply QxdbServeRequest(Connection &c, int16_t code, const uint8_t *body, size_t length,
                       const WireOptions &opt);

// True for the codes QxdbServeRequest serves.
bool QxdbServesCode(int16_t code);

} // namespace qxdb
