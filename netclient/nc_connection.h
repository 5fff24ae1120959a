// The connection record and the request engine shared by the request calls.
#pragma once

#include "netclient/nc_codec.h"
#include "netclient/nc_component.h"
#include "netclient/qxnetclient.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace nc {
constexpr int32_t kWorkBuffer = 10240;
// Largest reply body accepted; a bigger announced length is a bad reply (-9800).
constexpr int32_t kMaxReplyBody = int32_t(kMaxFrameData);
constexpr uint16_t kMinServerVersion = 0x551;
// The user name of the probe login: length 3, then three bytes no real user
// name holds. The emulator recognises the same marker.
inline constexpr uint8_t kProbeMarker[4] = {3, 0x7F, 'Q', 'X'};
} // namespace nc

struct QXConnection {
    // Held by every call for its duration: a connection shared by several
    // threads carries one call at a time (re-entered by nested calls).
    std::recursive_mutex callMutex;
    int16_t lastResult = 0;
    uint32_t lastTickMs = 0;
    int16_t componentNumber = 0;
    QXComponent component = nullptr;
    LinkChannel *channel = nullptr;
    bool swap = false;
    uint8_t key[4] = {};
    bool polled = false;

    // The request in progress.
    int16_t state = 0;
    int16_t code = 0;
    uint8_t *body = nullptr;
    int32_t bodyLength = 0;
    std::vector<uint8_t> bodyCopy; // a body larger than the send buffer
    uint8_t requestHeader[6] = {};
    ComponentParamBlock pending;
    uint8_t replyHeader[6] = {};
    int16_t replyStatus = 0;
    int32_t replyLength = 0;
    QXHandle reply = nullptr;     // reply body in its own handle, locked
    uint8_t *replyData = nullptr; // where the reply body is (handle or receive buffer)
    std::vector<uint8_t> discard; // a body received only to stay in step
    QXHandle *replyOut = nullptr; // the submitting call's out argument
    void *result[4] = {};
    int16_t allocError = 0;
    int32_t decodedCount = 0;         // numbers a reply carried (code 23)
    uint32_t requestEpoch = 0;        // the channel's epoch when the request began
    const void *requestArg = nullptr; // request-specific input kept for decoding
    // A selection-array window sent ahead (_QX_SendSubSelectionToArray): out
    // on the link, its reply not yet taken. Any other call on the connection
    // first reads that reply and drops it (SettleAhead).
    bool aheadOut = false;
    int16_t aheadStatus = 0;         // its status when it ended while being sent
    QXHandle aheadReply = nullptr;   // where its reply handle lands
    std::vector<int16_t> aheadTypes; // its column types ({n, types}), for the conversion

    int32_t version = 0;
    bool systemTask = false;
    // Time limits (0: none): each request's reply, and all requests until an
    // absolute tick; a request past one abandons the link and marks the
    // connection broken, so that every later request answers QX_ERR_LINK.
    uint32_t replyTimeoutMs = 0;
    uint32_t requestStartMs = 0;
    bool hasDeadline = false;
    uint32_t deadlineMs = 0;
    bool broken = false;
    std::map<int16_t, std::vector<uint8_t>>
        fieldTypes; // table -> type of each field, from its definition
    uint8_t sendBuffer[nc::kWorkBuffer];
    uint8_t receiveBuffer[nc::kWorkBuffer];
    uint8_t macToWin[256];
    uint8_t winToMac[256];
};

namespace nc {

// Request codes of the server protocol, for the request senders and the reply
// decoder alike (a reply is decoded by the code of its request). One code
// serves both semaphore requests that set and test, the two selection-array
// requests, adding to and removing from a set, and the three set combinations.
// kNcReqUnsent* are never sent by a call of this library, but their replies
// still use the receive buffer, as the server may answer them.
enum NcRequest : int16_t {
    kNcReqUnsent5 = 5,
    kNcReqDeleteCurrentRecord = 9,
    kNcReqStartTransaction = 11,
    kNcReqCommit = 12,
    kNcReqRollBack = 13,
    kNcReqSemaphore = 14,
    kNcReqClearSemaphore = 15,
    kNcReqDeleteSelectedRecords = 16,
    kNcReqSelectAllRecords = 17,
    kNcReqRecordsInFile = 18,
    kNcReqGotoRecord = 22,
    kNcReqSelectionPosition = 23,
    kNcReqSearch = 35,
    kNcReqSort = 36,
    kNcReqFlushServer = 38,
    kNcReqLogin = 44,
    kNcReqGotoSelectedRecord = 49,
    kNcReqGetFileDefinition = 50,
    kNcReqCountFiles = 51,
    kNcReqGetFields = 52,
    kNcReqUnlockCurrentRecord = 53,
    kNcReqModifyRecord = 54,
    kNcReqNewRecord = 55,
    kNcReqGetRelatedFields = 64,
    kNcReqGetFieldNumbers = 65,
    kNcReqUnsent67 = 67,
    kNcReqUnsent68 = 68,
    kNcReqGetListProcess = 69,
    kNcReqGetUsersAndGroups = 74,
    kNcReqCopySelection = 83,
    kNcReqUseSelection = 84,
    kNcReqKillSelection = 85,
    kNcReqMoveSelection = 86,
    kNcReqAutoSequenceNumber = 88,
    kNcReqSelectionToArray = 91,
    kNcReqArrayToSelection = 92,
    kNcReqOneToManyJoin = 93,
    kNcReqBuildDistinctValues = 94,
    kNcReqSetReadOnly = 95,
    kNcReqSetReadWrite = 96,
    kNcReqSearchInSelection = 97,
    kNcReqGetFileList = 99,
    kNcReqUnsent100 = 100,
    kNcReqGetNbUsers = 101,
    kNcReqGetNbUserProcesses = 102,
    kNcReqSumField = 103,
    kNcReqAverageField = 104,
    kNcReqMinField = 105,
    kNcReqMaxField = 106,
    kNcReqReadData = 109,
    kNcReqWriteData = 110,
    kNcReqSetLogFile = 111,
    kNcReqStartFullBackup = 112,
    kNcReqStartIncBackup = 113,
    kNcReqSendToBackupModule = 116,
    kNcReqManyToOneJoin = 122,
    kNcReqShrinkSelection = 123,
    kNcReqGetFirstNthValues = 124,
    kNcReqServerCurrentDate = 126,
    kNcReqServerCurrentTime = 127,
    kNcReqGetRelatedFormattedFields = 141,
    kNcReqProcessNumber = 147,
    kNcReqIsInSet = 152,
    kNcReqRecordsInSet = 153,
    kNcReqCreateSet = 154,
    kNcReqCreateEmptySet = 155,
    kNcReqChangeSet = 156,
    kNcReqClearSet = 159,
    kNcReqUseSet = 160,
    kNcReqCombineSets = 161,
    kNcReqCopySet = 162,
};

// Locks a connection handle for the duration of a call. A window sent ahead
// is read and dropped first (the connection carries one request at a time),
// unless the call is the one that takes it.
class ConnRef {
public:
    enum Ahead { kSettleAhead, kKeepAhead };
    explicit ConnRef(QXHandle h, Ahead ahead = kSettleAhead);
    ~ConnRef();
    ConnRef(const ConnRef &) = delete;
    ConnRef &operator=(const ConnRef &) = delete;
    QXConnection *operator->() const { return conn_; }
    QXConnection *get() const { return conn_; }
    explicit operator bool() const { return conn_ != nullptr; }

private:
    QXHandle handle_;
    QXConnection *conn_ = nullptr;
};

// Common start of a request call: -32003 bad handle, -32001 busy, else 0.
int16_t CheckFree(const ConnRef &c);
// As CheckFree, and refuses polled mode for calls whose results arrive only
// in synchronous mode.
int16_t CheckSyncOnly(const ConnRef &c);

void CallNetworkComponent(int16_t number, ComponentParamBlock *pb, QXComponent object);
// One idle step: polls the component; when nothing moved and `wait` is set,
// waits briefly for a socket to become ready instead of spinning.
void IdleStep(QXComponent component, QXConnection *conn, bool wait);
// Repeats the idle step until the block's result is no longer 1. With a
// deadline (a tick count), a block still pending then gives up its link
// (LinkAbandon with QX_ERR_TIMED_OUT).
void WaitFor(QXComponent component, ComponentParamBlock *pb, QXConnection *conn,
             const uint32_t *deadlineMs = nullptr);
// True when the tick count `deadlineMs` has passed.
bool DeadlinePassed(uint32_t deadlineMs);

// Frames and sends a request whose body lies in the send buffer, in
// conn->bodyCopy or anywhere else (then it is copied). Synchronous: runs the
// exchange to its end and returns its status. Polled: returns 0 once started.
int16_t SubmitRequest(QXConnection *conn, NcRequest code, const uint8_t *body, int32_t length,
                      QXHandle *replyOut);
// As SubmitRequest on a synchronous connection, but returns as soon as the
// request is out (its reply being waited for): 1 then, else the status of an
// exchange that ended on the way.
int16_t SendRequest(QXConnection *conn, NcRequest code, const uint8_t *body, int32_t length,
                    QXHandle *replyOut);
// One step of the request state machine: 1 while running, else the status.
// `untilSent`: no waiting for the socket once the request is out.
int16_t ProcessRequest(QXConnection *conn, bool untilSent = false);
// Runs the request in progress to its end (its reply time counted from now):
// its status.
int16_t RunToEnd(QXConnection *conn);
// Reads the reply of a window sent ahead and drops it; nothing when none is out.
void SettleAhead(QXConnection *conn);

// What a call needs of the connection before it starts.
enum class CallMode {
    Any,      // polled or synchronous
    SyncOnly, // the call converts its reply, which only a synchronous call waits for
};

// One request call, in the order every call follows: the opening checks, the
// body, the submit. Holds the connection locked for the duration of the call.
class RequestCall {
public:
    explicit RequestCall(QXHandle connection) : c_(connection) {}
    // The opening checks: -32003 bad handle, -32001 busy (with SyncOnly, also
    // in polled mode), -9956 for a server older than `minimumVersion`. When
    // they pass, the results of the last request are forgotten and the body
    // starts empty in the send buffer. 0 when the call may go on.
    int16_t Open(CallMode mode = CallMode::Any, int minimumVersion = 0);
    // The body, after a successful Open.
    NcWriter &Body() { return w_; }
    // Starts a zero-filled body of `length` bytes in the send buffer or, when
    // larger, in the connection's own copy; false when memory is short.
    bool LargeBody(size_t length);
    // Submits the body written so far (-32004 when it did not fit).
    int16_t Send(NcRequest code, QXHandle *reply = nullptr);
    // Submits and hands back the reply body's bytes (empty without one).
    int16_t Exchange(NcRequest code, std::vector<uint8_t> &reply);
    QXConnection *operator->() const { return c_.get(); }
    QXConnection *get() const { return c_.get(); }

private:
    ConnRef c_;
    NcWriter w_{nullptr, 0, false};
};

// A request without a body; the reply's first number, when the caller wants
// it, goes to `result`.
int16_t BodylessRequest(QXHandle connection, NcRequest code, void *result = nullptr);

// Clears the result pointers of a request about to begin.
void BeginRequest(QXConnection *c);
// Takes a reply handle's bytes and releases it.
std::vector<uint8_t> TakeBytes(QXHandle h);
// A new handle holding `bytes`; null when memory is short.
QXHandle HandleOf(const std::vector<uint8_t> &bytes);
// Hands a result handle to the caller's out argument, or releases it when
// the caller passed none.
inline void GiveHandle(QXHandle h, QXHandle *out)
{
    if (out)
        *out = h;
    else
        FreeQXHandle(h);
}
// A new handle holding `bytes` given to `out`: 0, or -32004 when memory is short.
int16_t GiveBytes(const std::vector<uint8_t> &bytes, QXHandle *out);
// The field types of a table (index 0 = field 1), fetched once per connection.
int16_t FieldTypes(QXConnection *c, int16_t table, const std::vector<uint8_t> *&types);

// Reply converters, checked against the bytes they are given.
// A selection array (types: {n, n types} or null for a self-describing one):
// the byte size, 0 when it does not hold together.
long ConvertArrayData(QXConnection *c, const int16_t *types, uint8_t *data, size_t size,
                      int textDir, int valueDir);
// A table definition, widened for servers before 0x600: 0 or -9800.
int16_t ConvertDefinition(QXConnection *c, std::vector<uint8_t> &def);

} // namespace nc
