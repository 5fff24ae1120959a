// Environment and connection handles: the records.
//
// An rcEnv owns the list of its connections; an rcConn carries everything a
// connection needs from allocation to disconnect: state, options, the keyword
// attribute table (rcconnstr.h), the translation library (rctranslate.h), the
// type catalog (rctypecat.h), trace channels and the table-access session.
// Allocation, connect, disconnect and free are the connect road's
// (rcconnect.h); the modules of the connection's parts work on these fields.
//
// Connection states: 1 allocated, 2 a browse connect waits for more keywords,
// 3 connected, 4 connected with statements, 5 transaction open.
//
// Besides the records, two routines every connection module shares: posting
// a data-module code on the connection and setting its current qualifier.
#pragma once

#include "driver/core/rcerror.h"
#include "driver/core/rclist.h"
#include "driver/core/rclock.h"
#include "driver/engine/rcstmt.h"
#include "driver/engine/tam_translate.h"
#include "driver/odbc/rcopt_engine.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

struct TamSession;
struct rcTraceChannel;
struct rcTypeEntry;
struct rcTypeMapping;
struct PlatModule;
struct rcConn;

// Tags of live handles (the first field of each handle record; the entry
// guard checks them, rcentry.h).
enum : uint32_t {
    kRcEnvTag = 0x56454351u,  // "QCEV"
    kRcConnTag = 0x43444351u, // "QCDC"
};

enum rcConnState : uint16_t {
    RC_CONN_ALLOCATED = 1,
    RC_CONN_BROWSING = 2,
    RC_CONN_CONNECTED = 3,
    RC_CONN_STATEMENTS = 4,
    RC_CONN_TRANSACTION = 5,
};

inline constexpr size_t kRcAttrValueMax = 512;   // characters of an attribute value
inline constexpr size_t kRcQualifierMax = 260;   // characters of the current qualifier
inline constexpr uint32_t kRcAttrTableSize = 39; // entries of the attribute table
inline constexpr uint32_t kRcFunctionTableSize = 100;
inline constexpr size_t kRcInfoTextSize = 129;

// One connection-string keyword of a connection.
struct rcConnAttr {
    const char *name; // keyword text (static table, or nameSlot)
    uint32_t labelId; // string id shown in browse strings; 0 none
    uint32_t set;     // the value was given or decided
    uint16_t kind;    // RC_ATTR_KIND_* bits
    char value[kRcAttrValueMax + 1];
    rcList *allowed;   // of const char *, with RC_ATTR_KIND_LIST
    char nameSlot[16]; // a data-module keyword's own name
};

enum : uint16_t {
    RC_ATTR_KIND_SOURCE = 1,   // DSN, DRIVER
    RC_ATTR_KIND_REQUIRED = 2, // must be given before a browse connect goes on
    RC_ATTR_KIND_VALUE = 4,
    RC_ATTR_KIND_LIST = 0x1000,
};

// The data module's answers to its information items.
struct rcSourceInfo {
    uint32_t validateQualifier; // driver item 1
    uint32_t collate;           // 100
    uint32_t access;            // 101
    uint32_t indexSupport;      // 102
    uint32_t colNullable;       // 103
    uint32_t tabNameExt;        // 111
    uint32_t pdFilterSupport;   // 118
    uint32_t joinPushDown;      // 119
    uint16_t qualMaxLen;        // 108
    uint16_t tabNameMaxLen;     // 109
    uint16_t colNameMaxLen;     // 110
    uint32_t capabilities;      // one bit per yes/no item
    char *driverName;           // driver item 2; 129 bytes each, owned
    char *dbmsName;             // 112
    char *isamVersion;          // 113
    char *qualTerm;             // 114
};

// Capability bits of rcSourceInfo::capabilities.
enum : uint32_t {
    RC_CAP_TABLE_CASE = 1,
    RC_CAP_COLUMN_CASE = 2,
    RC_CAP_QUALIFIER_CASE = 4,
    RC_CAP_TABLE_PASSWORD = 16,
    RC_CAP_SEEK_FIRST_LAST = 64,
    RC_CAP_FOLD_UPPER = 128,
    RC_CAP_PRIMARY_KEY = 256,
    RC_CAP_FOREIGN_KEY = 512,
    RC_CAP_TABLE_PRIVILEGE = 1024,
    RC_CAP_COLUMN_PRIVILEGE = 2048,
    RC_CAP_PROCEDURES = 4096,
    RC_CAP_VIEWS = 8192,
    RC_CAP_COLUMNS_BY_NAME = 16384,
    RC_CAP_FILTER_INDEX = 32768,
    RC_CAP_STORE_KEYWORDS = 65536,
};

struct rcEnv {
    uint32_t tag;        // kRcEnvTag while the handle lives (rcentry.h)
    rcList *connections; // of rcConn *
    rcErrorQueue errors;
    rcMutex *lock; // the connection list and the error queue (rcentry.h)
};

// A connect option set before the connection exists, replayed at connect.
struct rcPendingOption {
    uint16_t option;
    uint64_t value; // a text option holds an owned copy (char *)
};

struct rcConn {
    uint32_t tag;  // kRcConnTag while the handle lives (rcentry.h)
    rcMutex *lock; // everything of the connection and its statements (rcentry.h)
    rcEnv *env;
    uint16_t state;
    rcList *statements; // of rcStmtHandle * (rcstmt_handle.h)
    rcErrorQueue errors;

    // Connection options.
    uint32_t accessMode;
    uint32_t autoCommit;
    uint32_t loginTimeout;
    uint32_t txnIsolation;
    uint32_t odbcCursors;
    uint32_t packetSize;
    uint64_t quietMode;
    uint32_t quietModeSet; // the application set SQL_QUIET_MODE

    // Translation library (rctranslate.h).
    char *xlateName;
    PlatModule *xlateModule;
    TamTranslator xlate; // its two functions and the translation option (SQL_TRANSLATE_OPTION)
    uint8_t xlateWidth[256];   // bytes the library makes of each byte of the code page
    char xlateConnName[257];   // TranslationDLL= of the connection string ("" none; one byte
                               // more than a name may have, so a longer one is refused)
    char xlateConnOption[16];  // TranslationOption= of the connection string

    char qualifier[kRcQualifierMax + 1];
    uint32_t stmtDefaults[16]; // default statement option block

    // Type catalog (rctypecat.h).
    rcTypeEntry *typeEntries;
    rcTypeMapping *typeMappings;
    uint16_t typeMappingCount;
    uint16_t typeEntryCount;

    uint16_t functions[kRcFunctionTableSize];

    rcConnAttr *attrs;
    uint32_t attrCount;
    uint16_t firstDrmKeyword;

    rcTraceChannel *odbcTrace;
    uint32_t odbcTraceLevel;
    rcTraceChannel *engineTrace;

    TamSession *session;
    uint32_t passwordRequired;
    uint32_t userRequired;

    rcEngineOptions options; // engine option block (rcopt_engine.h)
    uint32_t qryPlan;        // query-plan flag
    uint32_t drmTrace;       // data-module trace flag
    rcSourceInfo info;
    uint16_t maxColSupport;

    rcList *pending; // of rcPendingOption

    // Transaction machine (rctxn.h).
    int16_t txnState;
    uint32_t txnOpen;

    rcStmtOptionBlock stmtOptions; // the engine option block its statements copy (with the
                                   // table passwords the dialog added)
    uint32_t cursorCounter;        // numbers the default cursor names of its statements
    // Counts what can make a text prepare otherwise than before: a definition
    // or view executed, a current qualifier opened, a SET statement applied,
    // a connection option set. A statement keeps its SQLExecDirect
    // preparation only while the count is what it was (rcstmt_exec.h).
    uint32_t prepareEpoch;
};

// The block of values edited by the login dialog and used by rcConLogin.
struct rcLoginBuffer {
    rcConn *conn;
    char pwd[kRcAttrValueMax + 1];
    char uid[kRcAttrValueMax + 1];
    char dsn[kRcAttrValueMax + 1];
    char dbq[kRcAttrValueMax + 1];
    char codePage[kRcAttrValueMax + 1];
};

// Attribute indexes of the static keyword table.
enum : uint32_t {
    RC_ATTR_DSN = 0,
    RC_ATTR_DRIVER = 1,
    RC_ATTR_UID = 2,
    RC_ATTR_PWD = 3,
    RC_ATTR_DBQ = 4,
    RC_ATTR_CODEPAGE = 5,
};

// Posts a data-module code on the connection: the message id rcErrMapDrm gives,
// the code as native error; the data module's own text for its private range.
void rcErrPostConnDrm(rcConn *conn, int32_t code);
// Makes text the current qualifier (connected: the session's current
// database first); 0, or -1 posted with the data module's code in *native.
int16_t rcConOpenQualifier(rcConn *conn, const char *text, int32_t *native);

inline TamSession *rcConDrmSession(rcConn *conn) { return conn->session; }
inline const char *rcConQualifier(rcConn *conn) { return conn->qualifier; }
inline void rcConSetQryPlan(rcConn *conn, uint32_t flag) { conn->qryPlan = flag; }
inline uint32_t rcConGetQryPlan(rcConn *conn) { return conn->qryPlan; }
