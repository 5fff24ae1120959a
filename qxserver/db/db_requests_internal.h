// Shared by the request handler files of the emulator's database.
#pragma once

#include "qxserver/db/db_codec.h"
#include "qxserver/db/db_requests.h"

namespace qxdb {

struct RequestContext {
    Connection &conn;
    Reader in;
    Writer out;
    const WireOptions &opt;
    int16_t status = kOk;

    // Ends the request with `s` and no body.
    void Fail(int16_t s)
    {
        status = s;
        out.bytes().clear();
    }
};

using RequestHandler = void (*)(RequestContext &);

// Handlers of the catalog, named selections, sets, semaphores and
// administration requests (db_requests_more.cpp).
void QxdbServeCountFiles(RequestContext &);
void QxdbServeFileList(RequestContext &);
void QxdbServeFileDefinition(RequestContext &);
void QxdbServeFieldNumbers(RequestContext &);
void QxdbServeUserCount(RequestContext &);
void QxdbServeProcessList(RequestContext &);
void QxdbServeUsersAndGroups(RequestContext &);
void QxdbServeNothing(RequestContext &);
void QxdbServeProcessNumber(RequestContext &);
void QxdbServeExecuteOnServer(RequestContext &);
void QxdbServeServerDate(RequestContext &);
void QxdbServeServerTime(RequestContext &);
void QxdbServeWriteData(RequestContext &);
void QxdbServeReadData(RequestContext &);
void QxdbServeCopySelection(RequestContext &);
void QxdbServeMoveSelection(RequestContext &);
void QxdbServeUseSelection(RequestContext &);
void QxdbServeKillSelection(RequestContext &);
void QxdbServeCreateSet(RequestContext &);
void QxdbServeCreateEmptySet(RequestContext &);
void QxdbServeAddRemoveSet(RequestContext &);
void QxdbServeUseSet(RequestContext &);
void QxdbServeClearSet(RequestContext &);
void QxdbServeIsInSet(RequestContext &);
void QxdbServeRecordsInSet(RequestContext &);
void QxdbServeCopySet(RequestContext &);
void QxdbServeCombineSets(RequestContext &);
void QxdbServeSetSemaphore(RequestContext &);
void QxdbServeClearSemaphore(RequestContext &);

} // namespace qxdb
