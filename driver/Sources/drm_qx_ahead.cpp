// Windows read ahead: one request per connection sent before it is needed.
//
// A table cursor reading on window after window sends the request of the
// next window as soon as one arrives; the next load finds the reply waiting.
// The connection carries one request at a time, so the request sent ahead
// is kept for its ticket only while nothing else goes to the connection:
// every other DrmQx call of the connection settles it first (reads its reply
// and drops it), and the cursor then asks for its window as it would have.
// Failures are taken only when they broke the connection (a timeout, a lost
// link: the request made later would have met them too); any other failure
// is left for the request made again.
//
// A change through any other connection of the process (a record made,
// changed or deleted, a commit or roll-back) voids every window sent before
// it: the window holds the records as they were when the server read it,
// and a scan must see what changed before it reached the window. Changes
// made elsewhere reach the server at no time the client can tell, as they do
// for a window asked for at its load.
#include <atomic>
#include <map>
#include <mutex>

#include "driver/Sources/drm_qx.h"
#include "driver/Sources/drm_trace.h"

namespace {

struct Ahead {
    DrmQxTicket ticket = 0;
    int32_t sendStatus = 0;
    bool whole = false; // the table has no halves: the request is made at the take
    int16_t table = 0;
    std::vector<QXFieldPair> pairs;
    int32_t first = 0, last = 0;
    uint64_t changes = 0; // gChanges when it was sent
};

// Never destroyed: a cursor released late in the process's exit still drops
// its window through them.
std::mutex &gMutex = *new std::mutex;
std::map<DrmQxConnection, Ahead> &gAhead = *new std::map<DrmQxConnection, Ahead>;
std::atomic<size_t> gOut{0}; // entries of gAhead, read without the lock
DrmQxTicket gLastTicket = 0;
std::atomic<uint64_t> gChanges{0}; // changes sent through any connection

bool BrokeConnection(int32_t status)
{
    return status == QX_ERR_TIMED_OUT || status == QX_ERR_LINK || status == QX_ERR_NOT_ANSWERING;
}

// Removes the connection's entry (and its ticket, when it must match).
bool Take(DrmQxConnection connection, DrmQxTicket ticket, Ahead *out)
{
    if (gOut.load(std::memory_order_acquire) == 0)
        return false;
    std::lock_guard lock(gMutex);
    auto it = gAhead.find(connection);
    if (it == gAhead.end() || (ticket != 0 && it->second.ticket != ticket))
        return false;
    *out = std::move(it->second);
    gAhead.erase(it);
    gOut.store(gAhead.size(), std::memory_order_release);
    return true;
}

void Drop(DrmQxConnection connection, const Ahead &ahead)
{
    if (ahead.whole || ahead.sendStatus != 0)
        return; // nothing out on the link
    DrmTraceQxCall("_QX_ReceiveSubSelectionToArray");
    DrmQxApi().ReceiveSubSelectionToArray(connection, nullptr);
}

} // namespace

void DrmQxSettleAhead(DrmQxConnection connection)
{
    Ahead ahead;
    if (Take(connection, 0, &ahead))
        Drop(connection, ahead);
}

DrmQxTicket DrmQxSendSubSelectionToArray(DrmQxConnection connection,
                                         const QXArrayDescription *fields, int32_t first,
                                         int32_t last)
{
    DrmQxSettleAhead(connection);
    if (!fields || fields->count < 1 || !fields->pairs)
        return 0;
    Ahead ahead;
    ahead.table = fields->table;
    ahead.pairs.assign(fields->pairs, fields->pairs + fields->count);
    ahead.first = first;
    ahead.last = last;
    ahead.changes = gChanges.load(std::memory_order_acquire);
    DrmTraceQxCall("_QX_SendSubSelectionToArray");
    ahead.sendStatus = DrmQxApi().SendSubSelectionToArray(connection, fields, first, last);
    if (ahead.sendStatus == kDrmQxWhole) {
        ahead.whole = true;
        ahead.sendStatus = 0;
    }
    std::lock_guard lock(gMutex);
    ahead.ticket = ++gLastTicket;
    const DrmQxTicket ticket = ahead.ticket;
    gAhead[connection] = std::move(ahead);
    gOut.store(gAhead.size(), std::memory_order_release);
    return ticket;
}

DrmQxTake DrmQxTakeSubSelectionToArray(DrmQxConnection connection, DrmQxTicket ticket,
                                       int32_t *status, std::vector<uint8_t> *bytes)
{
    *status = 0;
    bytes->clear();
    Ahead ahead;
    if (ticket == 0 || !Take(connection, ticket, &ahead))
        return DrmQxTake::kLost;
    if (ahead.changes != gChanges.load(std::memory_order_acquire)) {
        Drop(connection, ahead); // records may have changed since the server read them
        return DrmQxTake::kLost;
    }
    if (ahead.whole) {
        QXArrayDescription description{static_cast<int16_t>(ahead.pairs.size()), ahead.table,
                                       ahead.pairs.data()};
        DrmTraceQxCall("_QX_SubSelectionToArray");
        *status = DrmQxApi().SubSelectionToArray(connection, &description, ahead.first,
                                                 ahead.last, bytes);
        return DrmQxTake::kTaken;
    }
    if (ahead.sendStatus != 0) {
        *status = ahead.sendStatus;
        return BrokeConnection(ahead.sendStatus) ? DrmQxTake::kTaken : DrmQxTake::kAskAgain;
    }
    DrmTraceQxCall("_QX_ReceiveSubSelectionToArray");
    *status = DrmQxApi().ReceiveSubSelectionToArray(connection, bytes);
    if (*status == 0 || BrokeConnection(*status))
        return DrmQxTake::kTaken;
    bytes->clear();
    return *status == QX_ERR_NOTHING_SENT ? DrmQxTake::kLost : DrmQxTake::kAskAgain;
}

void DrmQxDropSubSelectionToArray(DrmQxConnection connection, DrmQxTicket ticket)
{
    Ahead ahead;
    if (ticket != 0 && Take(connection, ticket, &ahead))
        Drop(connection, ahead);
}

void DrmQxNoteChange() { gChanges.fetch_add(1, std::memory_order_acq_rel); }
