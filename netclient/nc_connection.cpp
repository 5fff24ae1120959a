// Connections: open (channel, byte-order word, probe login, version check,
// keyed login), close, and the mode switches.
#include "netclient/nc_connection.h"

#include "netclient/nc_charset.h"
#include "platform/clock.h"
#include "platform/memory.h"

#include <algorithm>

#include <cstring>
#include <new>

namespace nc {

namespace {

QXConnection *FromHandle(QXHandle h)
{
    if (!h)
        return nullptr;
    void *p = LockQXHandle(h);
    if (!p)
        return nullptr;
    QXConnection *conn;
    std::memcpy(&conn, p, sizeof conn);
    if (!conn)
        UnlockQXHandle(h);
    return conn;
}

void CloseChannel(QXConnection *conn)
{
    if (!conn->channel)
        return;
    ComponentParamBlock pb;
    pb.selector = 9;
    pb.channel = conn->channel;
    CallNetworkComponent(conn->componentNumber, &pb, conn->component);
    WaitFor(conn->component, &pb, conn);
    conn->channel = nullptr;
    IdleStep(conn->component, nullptr,
             false); // lets the link let go of its socket when it was the last channel
}

int16_t FailOpen(QXConnection *conn, int16_t status)
{
    CloseChannel(conn);
    delete conn;
    return status;
}

} // namespace

ConnRef::ConnRef(QXHandle h, Ahead ahead) : handle_(h), conn_(FromHandle(h))
{
    if (conn_) {
        conn_->callMutex.lock();
        if (ahead == kSettleAhead && conn_->aheadOut)
            SettleAhead(conn_);
    }
}

ConnRef::~ConnRef()
{
    if (conn_) {
        conn_->callMutex.unlock();
        UnlockQXHandle(handle_);
    }
}

int16_t CheckFree(const ConnRef &c)
{
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    if (c->broken)
        return QX_ERR_LINK;
    if (c->polled && c->state != 0)
        return QX_ERR_PENDING;
    return 0;
}

int16_t CheckSyncOnly(const ConnRef &c)
{
    if (int16_t s = CheckFree(c))
        return s;
    return c->polled ? QX_ERR_PENDING : 0;
}

void BeginRequest(QXConnection *c)
{
    for (void *&r : c->result)
        r = nullptr;
}

int16_t RequestCall::Open(CallMode mode, int minimumVersion)
{
    if (int16_t s = mode == CallMode::SyncOnly ? CheckSyncOnly(c_) : CheckFree(c_))
        return s;
    if (uint16_t(c_->version) < minimumVersion)
        return QX_ERR_SERVER_TOO_OLD;
    BeginRequest(c_.get());
    w_ = NcWriter(c_->sendBuffer, kWorkBuffer, c_->swap);
    return 0;
}

bool RequestCall::LargeBody(size_t length)
{
    uint8_t *body = c_->sendBuffer;
    if (length > size_t(kWorkBuffer)) {
        try {
            c_->bodyCopy.assign(length, 0);
        } catch (...) {
            return false;
        }
        body = c_->bodyCopy.data();
    }
    std::memset(body, 0, length);
    w_ = NcWriter(body, length, c_->swap);
    return true;
}

int16_t RequestCall::Send(nc::NcRequest code, QXHandle *reply)
{
    if (w_.Failed())
        return QX_ERR_NO_MEMORY;
    return SubmitRequest(c_.get(), code, w_.At(0), int32_t(w_.Size()), reply);
}

int16_t RequestCall::Exchange(nc::NcRequest code, std::vector<uint8_t> &reply)
{
    QXHandle h = nullptr;
    int16_t status = Send(code, &h);
    reply = TakeBytes(h);
    return status;
}

int16_t BodylessRequest(QXHandle connection, nc::NcRequest code, void *result)
{
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    r->result[0] = result;
    return r.Send(code);
}

std::vector<uint8_t> TakeBytes(QXHandle h)
{
    std::vector<uint8_t> out;
    if (!h)
        return out;
    int32_t n = SizeOfQXHandle(h);
    auto *p = static_cast<const uint8_t *>(LockQXHandle(h));
    if (p)
        out.assign(p, p + n);
    UnlockQXHandle(h);
    FreeQXHandle(h);
    return out;
}

QXHandle HandleOf(const std::vector<uint8_t> &bytes)
{
    QXHandle h = AllocQXHandle(int32_t(bytes.size()));
    void *p = h ? LockQXHandle(h) : nullptr;
    if (!p) {
        FreeQXHandle(h);
        return nullptr;
    }
    if (!bytes.empty())
        std::memcpy(p, bytes.data(), bytes.size());
    UnlockQXHandle(h);
    return h;
}

int16_t GiveBytes(const std::vector<uint8_t> &bytes, QXHandle *out)
{
    QXHandle h = HandleOf(bytes);
    if (!h)
        return QX_ERR_NO_MEMORY;
    GiveHandle(h, out);
    return 0;
}

} // namespace nc

using nc::ConnRef;

extern "C" {

int16_t _QX_OpenQXConnection(QXLoginRecord *login, QXNetworkLocation location, QXHandle *connection,
                             int16_t componentNumber, QXComponent component)
{
    if (connection)
        *connection = nullptr;
    if (!login || !location || !connection || !component)
        return QX_ERR_BAD_CONNECTION;

    // The whole open (connect, handshake, byte-order word, probe, login)
    // within the component's open time when it has one.
    uint32_t openTimeoutMs, replyTimeoutMs;
    {
        std::lock_guard lock(component->mutex);
        openTimeoutMs = component->openTimeoutMs;
        replyTimeoutMs = component->replyTimeoutMs;
    }
    uint32_t deadline = PlatTickCount() + openTimeoutMs;
    const uint32_t *openDeadline = openTimeoutMs ? &deadline : nullptr;

    ComponentParamBlock open;
    open.selector = 8;
    open.location = location;
    nc::CallNetworkComponent(componentNumber, &open, component);
    nc::WaitFor(component, &open, nullptr, openDeadline);
    if (open.result != 0) {
        if (open.channel) { // a channel whose link failed: give it back
            ComponentParamBlock close;
            close.selector = 9;
            close.channel = open.channel;
            nc::CallNetworkComponent(componentNumber, &close, component);
            nc::WaitFor(component, &close, nullptr);
            nc::IdleStep(component, nullptr, false);
        }
        return int16_t(open.result);
    }

    auto *conn = new (std::nothrow) QXConnection;
    if (!conn) {
        ComponentParamBlock close;
        close.selector = 9;
        close.channel = open.channel;
        nc::CallNetworkComponent(componentNumber, &close, component);
        nc::WaitFor(component, &close, nullptr);
        return QX_ERR_NO_MEMORY;
    }
    conn->componentNumber = componentNumber;
    conn->component = component;
    conn->channel = open.channel;
    conn->hasDeadline = openDeadline != nullptr;
    conn->deadlineMs = deadline;
    nc::BuildCharsetTables(conn->macToWin, conn->winToMac);

    // Byte-order word: 0xFFFF the server shares our order, 0 it does not.
    uint8_t word[2];
    ComponentParamBlock recv;
    recv.selector = 10;
    recv.channel = conn->channel;
    recv.data = word;
    recv.length = 2;
    nc::CallNetworkComponent(componentNumber, &recv, component);
    nc::WaitFor(component, &recv, conn, openDeadline);
    if (recv.result != 0)
        return nc::FailOpen(conn, int16_t(recv.result));
    if (word[0] == 0xFF && word[1] == 0xFF)
        conn->swap = false;
    else if (word[0] == 0 && word[1] == 0)
        conn->swap = true;
    else
        return nc::FailOpen(conn, QX_ERR_BAD_HANDSHAKE);

    // Probe login: the marker stands for the user, the password is blanked.
    login->loginFlag = 1;
    uint8_t *probe = conn->sendBuffer;
    std::memcpy(probe, login, sizeof(QXLoginRecord));
    std::memset(probe + 32, 0, 64);
    std::memcpy(probe + 32, nc::kProbeMarker, sizeof nc::kProbeMarker);
    QXHandle reply = nullptr;
    int16_t status =
        nc::SubmitRequest(conn, nc::kNcReqLogin, probe, int32_t(sizeof(QXLoginRecord)), &reply);
    if (status != 0) {
        FreeQXHandle(reply);
        return nc::FailOpen(conn, status);
    }
    if (!reply)
        return nc::FailOpen(conn, QX_ERR_NO_PROBE_BODY);
    int32_t size = SizeOfQXHandle(reply);
    auto *body = static_cast<const uint8_t *>(LockQXHandle(reply));
    if (!body || size < 14) {
        UnlockQXHandle(reply);
        FreeQXHandle(reply);
        return nc::FailOpen(conn, QX_ERR_BAD_REPLY_LENGTH);
    }
    conn->swap = body[0] == 0 && body[1] == 0;
    conn->version = nc::Get32(body + 2, conn->swap);
    std::memcpy(conn->key, body + 10, 4);
    UnlockQXHandle(reply);
    FreeQXHandle(reply);
    if (uint16_t(conn->version) < nc::kMinServerVersion)
        return nc::FailOpen(conn, QX_ERR_SERVER_TOO_OLD);

    // The real login, XORed with the key.
    std::memcpy(conn->sendBuffer, login, sizeof(QXLoginRecord));
    reply = nullptr;
    status = nc::SubmitRequest(conn, nc::kNcReqLogin, conn->sendBuffer,
                               int32_t(sizeof(QXLoginRecord)), &reply);
    // The login went out: no copy of the password stays with the connection.
    PlatWipe(conn->sendBuffer, sizeof(QXLoginRecord));
    FreeQXHandle(reply);
    if (status != 0)
        return nc::FailOpen(conn, status);
    conn->hasDeadline = false;
    conn->replyTimeoutMs = replyTimeoutMs;

    QXHandle h = AllocQXHandle(int32_t(sizeof(QXConnection *)));
    void *p = h ? LockQXHandle(h) : nullptr;
    if (!p) {
        FreeQXHandle(h);
        return nc::FailOpen(conn, QX_ERR_NO_MEMORY);
    }
    std::memcpy(p, &conn, sizeof conn);
    UnlockQXHandle(h);
    *connection = h;
    return 0;
}

int16_t _QX_CloseQXConnection(QXHandle connection)
{
    QXConnection *conn;
    ComponentParamBlock pb;
    {
        // The whole close runs as one call: a call on another thread either
        // ends before it or finds the handle released (-32003).
        ConnRef c(connection);
        if (!c)
            return QX_ERR_BAD_CONNECTION;
        if (c->state != 0)
            return QX_ERR_PENDING;
        conn = c.get();
        pb.selector = 9;
        pb.channel = conn->channel;
        nc::CallNetworkComponent(conn->componentNumber, &pb, conn->component);
        nc::WaitFor(conn->component, &pb, conn);
        conn->channel = nullptr;
        nc::IdleStep(conn->component, nullptr,
                     false); // the link closes once its last channel is gone
        FreeQXHandle(connection);
    }
    delete conn;
    return int16_t(pb.result);
}

int16_t _QX_SetConnectionTimeouts(QXHandle connection, int32_t replyMs, int32_t totalMs)
{
    ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    c->replyTimeoutMs = replyMs > 0 ? uint32_t(replyMs) : 0;
    c->hasDeadline = totalMs > 0;
    c->deadlineMs = PlatTickCount() + uint32_t(std::max(totalMs, 0));
    return 0;
}

int16_t _QX_GetServerInfo(QXHandle connection, QXServerInfo *info)
{
    ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    if (info) {
        info->version = c->version;
        info->bigEndian = c->swap ? 1 : 0;
    }
    return 0;
}

int16_t _QX_FlushServer(QXHandle connection)
{
    ConnRef c(connection);
    if (int16_t s = nc::CheckFree(c))
        return s;
    return nc::SubmitRequest(c.get(), nc::kNcReqFlushServer, nullptr, 0, nullptr);
}

int16_t _QX_SetConnectionSync(QXHandle connection)
{
    ConnRef c(connection);
    if (int16_t s = nc::CheckFree(c))
        return s;
    c->polled = false;
    return 0;
}

int16_t _QX_SetConnectionAsync(QXHandle connection)
{
    ConnRef c(connection);
    if (int16_t s = nc::CheckFree(c))
        return s;
    if (!c->polled) {
        c->polled = true;
        c->state = 0;
    }
    return 0;
}

int16_t _QX_IsConnectionAsync(QXHandle connection, uint8_t *polled)
{
    ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    if (polled)
        *polled = c->polled ? 1 : 0;
    return 0;
}

int16_t _QX_EnableSystemTask(QXHandle connection)
{
    ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    c->systemTask = true;
    return 0;
}

int16_t _QX_DisableSystemTask(QXHandle connection)
{
    ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    c->systemTask = false;
    return 0;
}

int16_t _QX_IsEnableSystemTask(QXHandle connection, uint8_t *enabled)
{
    ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    if (enabled)
        *enabled = c->systemTask ? 1 : 0;
    return 0;
}

} // extern "C"
