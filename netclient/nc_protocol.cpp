// The request engine: one request at a time per connection.
//
// Request on the wire: code (16-bit), body length (32-bit), both in the
// server's byte order, then the body XORed with the login key. The header
// goes out as a small frame in front of the body so both leave in one piece.
// Reply: status (16-bit), length (32-bit; -1 is invalid), body XORed.
//
// States: 0 idle; 1 header sent or queued; 2 body being sent; 3 reply header
// being received; 4 reply body being received. Each call of ProcessRequest
// moves as far as the link allows; a completed exchange is decoded by its
// code (DecodeReply) and the connection returns to state 0.
//
// Every length from the reply is checked before use: the header's length
// against the largest body accepted, each decoder's reads against the bytes
// that arrived (a short body is -9800).
#include "netclient/nc_connection.h"

#include "platform/clock.h"

#include <cstring>

namespace nc {

namespace {

// Replies that may use the connection's receive buffer (their content is
// decoded at once and never handed to the caller as a handle).
bool UsesReceiveBuffer(int16_t code)
{
    switch (code) {
    case kNcReqUnsent5:
    case kNcReqDeleteCurrentRecord:
    case kNcReqStartTransaction:
    case kNcReqCommit:
    case kNcReqRollBack:
    case kNcReqDeleteSelectedRecords:
    case kNcReqSelectAllRecords:
    case kNcReqRecordsInFile:
    case kNcReqGotoRecord:
    case kNcReqSelectionPosition:
    case kNcReqSearch:
    case kNcReqSort:
    case kNcReqFlushServer:
    case kNcReqGotoSelectedRecord:
    case kNcReqCountFiles:
    case kNcReqUnlockCurrentRecord:
    case kNcReqUnsent67:
    case kNcReqUnsent68:
    case kNcReqCopySelection:
    case kNcReqUseSelection:
    case kNcReqKillSelection:
    case kNcReqMoveSelection:
    case kNcReqAutoSequenceNumber:
    case kNcReqArrayToSelection:
    case kNcReqOneToManyJoin:
    case kNcReqSetReadOnly:
    case kNcReqSetReadWrite:
    case kNcReqSearchInSelection:
    case kNcReqUnsent100:
    case kNcReqGetNbUsers:
    case kNcReqGetNbUserProcesses:
    case kNcReqSumField:
    case kNcReqAverageField:
    case kNcReqMinField:
    case kNcReqMaxField:
    case kNcReqWriteData:
    case kNcReqManyToOneJoin:
    case kNcReqShrinkSelection:
    case kNcReqGetFirstNthValues:
    case kNcReqServerCurrentTime: return true;
    default: return false;
    }
}

void ReleaseReply(QXConnection *c)
{
    if (c->reply) {
        UnlockQXHandle(c->reply);
        FreeQXHandle(c->reply);
        c->reply = nullptr;
    }
    c->replyData = nullptr;
    c->discard.clear();
    c->discard.shrink_to_fit();
}

template <typename T>
T *Result(QXConnection *c, int i)
{
    return static_cast<T *>(c->result[i]);
}

int16_t DecodeReply(QXConnection *c);

int16_t Finish(QXConnection *c, int16_t result)
{
    bool transferOk = result >= 0;
    c->state = 0;
    if (transferOk) {
        bool locked = c->replyStatus == QX_ERR_RECORD_LOCKED &&
                      (c->code == kNcReqGetFields || c->code == kNcReqGetRelatedFields ||
                       c->code == kNcReqGetRelatedFormattedFields);
        if (c->replyStatus < 0 && !locked) {
            result = c->replyStatus;
            ReleaseReply(c);
        } else {
            result = DecodeReply(c);
        }
    }
    ReleaseReply(c);
    c->bodyCopy.clear();
    c->bodyCopy.shrink_to_fit();
    c->body = nullptr;
    c->requestArg = nullptr;
    c->lastResult = result;
    if (result == QX_ERR_TIMED_OUT || result == QX_ERR_LINK || result == QX_ERR_NOT_ANSWERING)
        c->broken = true;
    return result;
}

// Hands the reply handle to the submitting call (or releases it).
void GiveReply(QXConnection *c)
{
    if (c->reply) {
        UnlockQXHandle(c->reply);
        if (c->replyOut)
            *c->replyOut = c->reply;
        else
            FreeQXHandle(c->reply);
        c->reply = nullptr;
    }
}

int16_t DecodeReply(QXConnection *c)
{
    const bool hasBody = c->replyLength > 0 && c->replyData;
    const size_t n = hasBody ? size_t(c->replyLength) : 0;
    NcReader r(c->replyData, n, c->swap);
    switch (c->code) {
    case kNcReqDeleteCurrentRecord:
    case kNcReqStartTransaction:
    case kNcReqCommit:
    case kNcReqRollBack:
    case kNcReqGotoRecord:
    case kNcReqSort:
    case kNcReqFlushServer:
    case kNcReqGotoSelectedRecord:
    case kNcReqUnlockCurrentRecord:
    case kNcReqCopySelection:
    case kNcReqKillSelection:
    case kNcReqMoveSelection:
    case kNcReqOneToManyJoin:
    case kNcReqSetReadOnly:
    case kNcReqSetReadWrite:
    case kNcReqShrinkSelection:
    case kNcReqGetFirstNthValues:
    case kNcReqSelectAllRecords:
    case kNcReqManyToOneJoin:
    case kNcReqModifyRecord:
    case kNcReqNewRecord: return 0;
    case kNcReqDeleteSelectedRecords:
    case kNcReqArrayToSelection:
    case kNcReqWriteData: return hasBody ? QX_ERR_UNEXPECTED_DATA : 0;
    case kNcReqUnsent5:
    case kNcReqRecordsInFile:
    case kNcReqAutoSequenceNumber:
    case kNcReqServerCurrentTime:
    case kNcReqSearch:
    case kNcReqSearchInSelection:
        if (hasBody && Result<int32_t>(c, 0)) {
            int32_t v = r.I32();
            if (r.Failed())
                return QX_ERR_BAD_REPLY_LENGTH;
            *Result<int32_t>(c, 0) = v;
        }
        return 0;
    case kNcReqSelectionPosition: {
        int got = 0;
        for (int i = 0; i < 4; ++i) {
            if (r.Left() < 4)
                break;
            int32_t v = r.I32();
            ++got;
            if (Result<int32_t>(c, i))
                *Result<int32_t>(c, i) = v;
        }
        for (int i = got; i < 4; ++i)
            if (Result<int32_t>(c, i))
                *Result<int32_t>(c, i) = 0;
        c->decodedCount = got;
        return 0;
    }
    case kNcReqCountFiles:
    case kNcReqUseSelection:
    case kNcReqGetNbUsers:
    case kNcReqGetNbUserProcesses: {
        if (!hasBody)
            return QX_ERR_NO_REPLY_BODY;
        int16_t v = r.I16();
        if (r.Failed())
            return QX_ERR_BAD_REPLY_LENGTH;
        if (Result<int16_t>(c, 0))
            *Result<int16_t>(c, 0) = v;
        return 0;
    }
    case kNcReqSumField:
    case kNcReqAverageField:
    case kNcReqMinField:
    case kNcReqMaxField: {
        if (!hasBody)
            return 0;
        const uint8_t *p = r.Bytes(10);
        if (!p)
            return QX_ERR_BAD_REPLY_LENGTH;
        if (auto *out = Result<uint8_t>(c, 0)) {
            double d = RealFromServer(p);
            std::memcpy(out, &d, 8);
            out[8] = out[9] = 0;
        }
        return 0;
    }
    case kNcReqServerCurrentDate: {
        if (!hasBody)
            return QX_ERR_NO_REPLY_BODY;
        int16_t d[3];
        for (auto &v : d)
            v = r.I16();
        if (r.Failed())
            return QX_ERR_BAD_REPLY_LENGTH;
        if (auto *out = Result<int16_t>(c, 0))
            std::memcpy(out, d, sizeof d);
        return 0;
    }
    default: GiveReply(c); return 0;
    }
}

void StartComponent(QXConnection *c, int32_t selector, void *data, int32_t length)
{
    ComponentParamBlock &pb = c->pending;
    pb = ComponentParamBlock{};
    pb.selector = selector;
    pb.channel = c->channel;
    pb.data = data;
    pb.length = length;
    CallNetworkComponent(c->componentNumber, &pb, c->component);
}

int16_t StepLocked(QXConnection *c);

} // namespace

namespace {

// Frames the request and starts it: 0, or the status of a start that failed.
int16_t StartRequest(QXConnection *c, NcRequest code, const uint8_t *body, int32_t length,
                     QXHandle *replyOut)
{
    if (length < 0)
        length = 0;
    if (uint32_t(length) > kMaxFrameData)
        return QX_ERR_NO_MEMORY; // more than one link frame carries
    uint8_t *own = nullptr;
    if (length > 0) {
        if (body == c->sendBuffer) {
            own = c->sendBuffer;
        } else if (!c->bodyCopy.empty() && body == c->bodyCopy.data()) {
            own = c->bodyCopy.data();
        } else if (length <= kWorkBuffer) {
            std::memmove(c->sendBuffer, body, size_t(length));
            own = c->sendBuffer;
        } else {
            try {
                c->bodyCopy.assign(body, body + length);
            } catch (...) {
                return QX_ERR_NO_MEMORY;
            }
            own = c->bodyCopy.data();
        }
    }
    Put16(c->requestHeader, code, c->swap);
    Put32(c->requestHeader + 2, length, c->swap);
    c->code = code;
    c->body = own;
    c->bodyLength = length;
    c->replyOut = replyOut;
    c->reply = nullptr;
    c->replyData = nullptr;
    c->replyStatus = 0;
    c->replyLength = 0;
    c->allocError = 0;
    c->state = 1;
    c->requestStartMs = PlatTickCount();
    if (replyOut)
        *replyOut = nullptr;
    {
        // With a body the header is queued as a small frame in front of it;
        // alone it is sent at once.
        std::lock_guard lock(c->component->mutex);
        c->requestEpoch = c->channel ? c->channel->epoch : 0;
        StartComponent(c, length > 0 ? 23 : 11, c->requestHeader, 6);
        if (c->pending.result < 0)
            return Finish(c, int16_t(c->pending.result));
    }
    return 0;
}

} // namespace

int16_t SubmitRequest(QXConnection *c, NcRequest code, const uint8_t *body, int32_t length,
                      QXHandle *replyOut)
{
    if (int16_t s = StartRequest(c, code, body, length, replyOut))
        return s;
    if (c->polled)
        return 0;
    int16_t r;
    while ((r = ProcessRequest(c)) == 1) {}
    return r;
}

int16_t SendRequest(QXConnection *c, NcRequest code, const uint8_t *body, int32_t length,
                    QXHandle *replyOut)
{
    if (int16_t s = StartRequest(c, code, body, length, replyOut))
        return s;
    // States 1 and 2 send; from 3 on the reply is awaited.
    int16_t r = 1;
    while (c->state != 0 && c->state < 3 && (r = ProcessRequest(c, true)) == 1) {}
    return c->state == 0 ? r : 1;
}

int16_t RunToEnd(QXConnection *c)
{
    // Counted as a request submitted now: what came before was the caller's
    // time, not the server's.
    c->requestStartMs = PlatTickCount();
    int16_t r = 0;
    while (c->state != 0 && (r = ProcessRequest(c)) == 1) {}
    return r;
}

void SettleAhead(QXConnection *c)
{
    if (!c->aheadOut)
        return;
    c->aheadOut = false;
    RunToEnd(c);
    FreeQXHandle(c->aheadReply);
    c->aheadReply = nullptr;
    c->aheadTypes.clear();
}

int16_t ProcessRequest(QXConnection *c, bool untilSent)
{
    int16_t r;
    bool waitAfter;
    {
        std::lock_guard lock(c->component->mutex);
        r = StepLocked(c);
        waitAfter = r == 1 && !c->polled && c->pending.result == 1 && !(untilSent && c->state >= 3);
    }
    if (waitAfter) // wait for the socket outside the lock, so other connections move on
        LinkWait(c->component, 10);
    return r;
}

namespace {

int16_t StepLocked(QXConnection *c)
{
    c->lastTickMs = PlatTickCount();
    if (c->state == 0)
        return 0;
    if (c->pending.result == 1)
        IdleStep(c->component, c, false);
    if (c->pending.result == 1 &&
        ((c->replyTimeoutMs && DeadlinePassed(c->requestStartMs + c->replyTimeoutMs)) ||
         (c->hasDeadline && DeadlinePassed(c->deadlineMs)))) {
        LinkAbandon(c->channel, QX_ERR_TIMED_OUT);
        if (c->pending.result == 1)
            c->pending.result = QX_ERR_TIMED_OUT;
    }
    int32_t pr = c->pending.result;
    // The link was re-established under this exchange: the server never
    // answers it on the new connection, the caller starts again.
    if (pr != 1 && c->channel && c->channel->epoch != c->requestEpoch)
        return Finish(c, pr < 0 ? int16_t(pr) : int16_t(QX_ERR_LINK_REESTABLISHED));
    switch (c->state) {
    case 0: return 0;
    case 1:
        if (pr == 1)
            return 1;
        if (pr < 0)
            return Finish(c, int16_t(pr));
        c->state = 2;
        if (c->bodyLength > 0) {
            XorWithSessionKey(c->body, size_t(c->bodyLength), c->key);
            StartComponent(c, 11, c->body, c->bodyLength);
            if (c->pending.result < 0)
                return Finish(c, int16_t(c->pending.result));
        }
        return 1;
    case 2:
        if (pr == 1)
            return 1;
        if (pr < 0)
            return Finish(c, int16_t(pr));
        StartComponent(c, 10, c->replyHeader, 6);
        if (c->pending.result < 0)
            return Finish(c, int16_t(c->pending.result));
        c->state = 3;
        return 1;
    case 3: {
        if (pr == 1)
            return 1;
        if (pr < 0)
            return Finish(c, int16_t(pr));
        c->replyStatus = Get16(c->replyHeader, c->swap);
        c->replyLength = Get32(c->replyHeader + 2, c->swap);
        if (c->replyLength == -1 || c->replyLength > kMaxReplyBody)
            return Finish(c, QX_ERR_BAD_REPLY_LENGTH);
        if (c->replyLength <= 0) {
            c->replyLength = 0;
            return Finish(c, 0);
        }
        if (UsesReceiveBuffer(c->code) && c->replyLength <= kWorkBuffer) {
            c->replyData = c->receiveBuffer;
        } else {
            c->reply = AllocQXHandle(c->replyLength);
            c->replyData = c->reply ? static_cast<uint8_t *>(LockQXHandle(c->reply)) : nullptr;
            if (!c->replyData) {
                FreeQXHandle(c->reply);
                c->reply = nullptr;
                c->allocError = QX_ERR_NO_MEMORY;
                try {
                    c->discard.resize(size_t(c->replyLength));
                } catch (...) {
                    return Finish(c, QX_ERR_NO_MEMORY);
                }
                c->replyData = c->discard.data();
            }
        }
        StartComponent(c, 10, c->replyData, c->replyLength);
        if (c->pending.result < 0) {
            ReleaseReply(c);
            return Finish(c, int16_t(c->pending.result));
        }
        c->state = 4;
        return 1;
    }
    case 4:
        if (pr == 1)
            return 1;
        if (pr < 0) {
            ReleaseReply(c);
            return Finish(c, int16_t(pr));
        }
        if (c->allocError) {
            ReleaseReply(c);
            return Finish(c, c->allocError);
        }
        XorWithSessionKey(c->replyData, size_t(c->replyLength), c->key);
        return Finish(c, 0);
    default: return Finish(c, QX_ERR_BAD_CONNECTION);
    }
}

} // namespace

} // namespace nc

extern "C" int16_t _QX_ProcessQXRequest(QXHandle connection)
{
    nc::ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    return nc::ProcessRequest(c.get());
}
