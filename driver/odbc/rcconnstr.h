// Connection strings, keywords and data-source settings.
//
// One declarative keyword table (rcKeywordTable) drives everything here: the
// attribute table of a new connection, parsing of input strings, the completed
// output string, browse answers, the odbc.ini lookups and the masking of
// secret values in trace lines.
//
//   rcConInitKeywords(conn)            fill a new connection's attribute table
//   rcConnParseConnStr(conn, text)     0, 1 (warning 5175) or -1 (error posted)
//   rcConnBuildConnStr(...)            0, 1 (cut, 5102), 99 (browse: more needed), -1
//   rcConGetKeyword(conn, key, out)    the data source's setting wins over the string
//   rcConPassKeywords(conn)            hand the data module's keywords to the session
//   rcConnClearAttributes(conn)        forget every value
#pragma once

#include "driver/odbc/rcconn.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Where a keyword's value is used.
enum rcKeywordUse : uint8_t {
    RC_KW_SOURCE,  // names the data source or driver
    RC_KW_LOGIN,   // user or password for the session
    RC_KW_CONNECT, // database path, code page
    RC_KW_ENGINE,  // engine option (rcopt_engine.h)
};

struct rcKeywordDef {
    const char *keyword; // connection-string key, also the odbc.ini key
    uint32_t labelId;    // string id shown in browse strings; 0 none
    uint16_t kind;       // RC_ATTR_KIND_* bits
    bool secret;         // masked in trace lines
    rcKeywordUse use;
};

inline constexpr uint32_t kRcStaticKeywords = 19;
extern const rcKeywordDef rcKeywordTable[kRcStaticKeywords];

// A parsed pair pointing into the input text.
struct rcAttrPair {
    const char *key;
    size_t keyLength;
    const char *value;
    size_t valueLength;
};

enum : int {
    RC_ATTR_SYNTAX = -8,
    RC_ATTR_NO_EQUALS = -9,
    RC_ATTR_NO_MEMORY = -10,
};

// Fills the connection's attribute table: the static keywords, then the data
// module's own (driver information item 6) until it answers non-zero.
int rcConInitKeywords(rcConn *conn);
void rcConFreeKeywords(rcConn *conn);
// Parses "key=value;key=value" into list (of rcAttrPair). A value that begins
// with "{" runs to the matching "}" and may hold ";".
int rcAttrParse(rcList *list, const char *text);
int16_t rcConnParseConnStr(rcConn *conn, const char *text);
int16_t rcConnBuildConnStr(rcConn *conn, char *out, int64_t outSize, int64_t *outLength,
                           bool browse);
// 1 when value holds a character the key does not allow.
int rcConnCheckValue(const char *key, const char *value);
// 1 and the value (512 characters at most) when found, else 0 and "".
int rcConGetKeyword(rcConn *conn, const char *key, char *value);
void rcConPassKeywords(rcConn *conn);
void rcConnClearAttributes(rcConn *conn);
// Marks what a browse connect must ask for: the password and user id when the
// data module requires them (driver items 3 and 4), and DBQ when neither the
// string nor the data source names the database.
void rcConnMarkBrowseRequired(rcConn *conn);
// Stores value (at most 512 characters; longer is cut) and sets or clears the
// set flag by whether it is empty.
void rcConnSetAttr(rcConn *conn, uint32_t index, const char *value);
inline const char *rcConnAttrValue(const rcConn *conn, uint32_t index)
{
    return conn->attrs[index].value;
}

// A copy of a connection string with the values of secret keywords replaced by
// "****", for trace lines.
std::string rcConnMaskSecrets(const char *text);
