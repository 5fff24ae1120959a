// Driver information: the answers of SQLGetInfo, and the data module's
// information of a connection (rcSourceInfo, rcconn.h) they draw on.
//
// rcDrsGetInfo answers one information type with a value and its kind;
// SQLGetInfo copies it into the application's buffer by kind. Most answers
// are fixed; some come from the connection's settings and data-source
// information, the transaction answers from the data module.
//
// The data-source information is read at connect (rcConReadDrmInfo) and
// again, first, whenever the table-access session reports that a database
// with pending information came into use (rcConDrmInfo).
#pragma once

#include <cstdint>

struct rcConn;
struct rcSourceInfo;

enum rcInfoKind : uint16_t {
    RC_INFO_STRING_ID = 0, // value: a string-table id
    RC_INFO_TEXT = 1,      // value: a pointer to a terminated text
    RC_INFO_U16 = 2,
    RC_INFO_U32 = 3,
};

// 0, or -1 with 5160 posted for a type it does not answer.
int rcDrsGetInfo(rcConn *conn, uint16_t infoType, uintptr_t *value, rcInfoKind *kind);
// Transaction items of the data module for types 26, 72 (isolation bits, also
// recorded for the transaction machine) and 46 (capability 0-5).
int rcInfDrmBitmask(rcConn *conn, uint16_t infoType, uint32_t *value);
// 1 when a value of SQL type `from` converts to `to`.
int rcInfCanConvert(rcConn *conn, int16_t from, int16_t to);

// Reads the data module's answers into the connection's rcSourceInfo, and
// the vendor predicates into its session.
void rcConReadDrmInfo(rcConn *conn);
// The data module's information, read again first when it is due.
rcSourceInfo *rcConDrmInfo(rcConn *conn);
// Frees the information texts (with the connection).
void rcInfFreeSourceInfo(rcConn *conn);
