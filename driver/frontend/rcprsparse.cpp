// rcPrsParse: the USE statement, the grammar run, the checks on the linked
// tree, and the record of the last parse error.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "driver/frontend/rcprsctx.h"
#include "driver/frontend/rcprsfn.h"
#include "driver/core/rcerror.h"
#include "driver/core/rclock.h"
#include "driver/core/rcstrings.h"

namespace {

// Plain data only: thread-local state with a destructor would outlive the
// library on threads that end after the Driver Manager unloads it.
struct LastError {
    uint16_t id = 0;
    char text[512] = {};
    long pos = -1;
    void SetText(const std::string &s)
    {
        size_t n = std::min(s.size(), sizeof text - 1);
        std::memcpy(text, s.data(), n);
        text[n] = '\0';
    }
};

// The parse that is running on this thread, and the last error recorded.
thread_local rcPrsContext *tCurrent = nullptr;
thread_local LastError tLastError;

std::atomic<uint32_t> gLimits{0xFFFFFFFFu}; // create columns << 16 | select items

std::mutex gHooksLock;
rcPrsPassHooks gHooks;

std::string Format(uint16_t id, const char *arg, const char *arg2 = nullptr)
{
    const char *pattern = rcPrsMessageText(id);
    std::string out;
    for (const char *p = pattern; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += arg != nullptr ? arg : "";
            arg = arg2;
            arg2 = nullptr;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A USE statement: "USE", blanks, a path of 1-260 characters.
bool ParseUse(rcPrsContext *ctx, const char *text, int *result)
{
    const char *p = text;
    while (IsBlank(*p))
        ++p;
    if ((p[0] | 0x20) != 'u' || (p[1] | 0x20) != 's' || (p[2] | 0x20) != 'e')
        return false;
    const char *q = p + 3;
    bool blank = IsBlank(*q);
    while (IsBlank(*q))
        ++q;
    const char *end = q + std::strlen(q);
    while (end > q && IsBlank(end[-1]))
        --end;
    size_t len = size_t(end - q);
    *result = RC_PRS_SYNTAX;
    auto fail = [&]() {
        rcPrsRecordError(RC_PRS_MSG_SYNTAX);
        tLastError.pos = static_cast<long>(q - text);
        return true;
    };
    if (!blank || len == 0 || len > 260)
        return fail();
    char path[261];
    std::memcpy(path, q, len);
    path[len] = '\0';
    if (!rcPrsCheckPathQuotes(path) || path[0] == '\0')
        return fail();
    rcParseNode *root = rcPrsNewNode(ctx->arena, RC_N_UseStmt, nullptr);
    rcParseNode *use = rcPrsNewNameNode(ctx->arena, RC_T_IDENTIFIER, "USE");
    rcParseNode *pathNode = rcPrsNewNameNode(ctx->arena, RC_T_PATH, path);
    if (root == nullptr || use == nullptr || pathNode == nullptr) {
        rcPrsRecordError(RC_PRS_MSG_NOMEM);
        *result = RC_PRS_NOMEM;
        return true;
    }
    root->child = use;
    use->next = pathNode;
    rcPrsLinkTree(root);
    ctx->root = root;
    *result = RC_PRS_OK;
    return true;
}

// Checks every scalar-function call of the tree.
bool CheckScalarFunctions(rcParseNode *root)
{
    for (rcParseNode *fn = rcPrsFindFirst(root, RC_N_ScalarFn, nullptr); fn != nullptr;
         fn = rcPrsFindFirst(root, RC_N_ScalarFn, fn))
        if (rcPrsCheckScalarFnNode(fn) != 1)
            return false;
    return true;
}

int RunPasses(rcParseNode *root)
{
    rcPrsPassHooks hooks;
    {
        std::lock_guard<std::mutex> guard(gHooksLock);
        hooks = gHooks;
    }
    if (hooks.pass1 != nullptr && !hooks.pass1(root))
        return RC_PRS_PASS13;
    if (!CheckScalarFunctions(root))
        return RC_PRS_PASS2;
    if (hooks.pass2 != nullptr && !hooks.pass2(root))
        return RC_PRS_PASS2;
    if (hooks.pass3 != nullptr && !hooks.pass3(root))
        return RC_PRS_PASS13;
    return RC_PRS_OK;
}

} // namespace

const char *rcPrsMessageText(uint16_t id)
{
    if (id == RC_PRS_MSG_FREE_TEXT)
        return "%s%s";
    const char *text = rcResFind(id);
    return text != nullptr ? text : rcResFind(RC_PARSE_SYNTAX_ERROR);
}

void rcPrsRecordError(uint16_t id, const char *arg)
{
    tLastError.id = id;
    tLastError.SetText(Format(id, arg));
    tLastError.pos = tCurrent != nullptr ? tCurrent->scan.lastRead : -1;
}

void rcPrsRecordFreeText(const char *first, const char *second)
{
    rcPrsRecordError(RC_PRS_MSG_FREE_TEXT, nullptr);
    tLastError.SetText(Format(RC_PRS_MSG_FREE_TEXT, first, second));
}

void rcPrsFail(rcPrsContext *ctx, uint16_t id, const char *arg, int result)
{
    if (ctx->failed)
        return; // the first failure of a parse is the one reported
    ctx->failed = true;
    ctx->result = result;
    rcPrsRecordError(id, arg);
}

int rcPrsPostLastError(rcErrorQueue *queue)
{
    rcErrPost(queue, RC_MSG_SYNTAX_ERROR, nullptr, 0,
              tLastError.text[0] == '\0' ? rcPrsMessageText(RC_PRS_MSG_SYNTAX) : tLastError.text);
    return -1;
}

uint16_t rcPrsLastErrorId() { return tLastError.id; }

const char *rcPrsLastErrorText() { return tLastError.text; }

long rcPrsErrorPos() { return tLastError.pos; }

void rcPrsSetLimits(uint16_t maxCreateColumns, uint16_t maxSelectItems)
{
    gLimits.store((uint32_t(maxCreateColumns) << 16) | maxSelectItems);
}

void rcPrsSetPassHooks(const rcPrsPassHooks &hooks)
{
    std::lock_guard<std::mutex> guard(gHooksLock);
    gHooks = hooks;
}

rcMemPool rcPrsNewArena()
{
    rcMemPool pool = nullptr;
    return rcTreePoolCreate(&pool) == 0 ? pool : nullptr;
}

void rcPrsFreeArena(rcMemPool arena) { rcTreePoolDestroy(arena); }

int rcPrsParse(rcMemPool arena, const char *text, rcParseNode **root, bool escapes)
{
    *root = nullptr;
    tLastError = LastError{};
    if (arena == nullptr || text == nullptr) {
        rcPrsRecordError(RC_PRS_MSG_NOMEM);
        return RC_PRS_NOMEM;
    }
    rcPrsContext ctx;
    ctx.arena = arena;
    uint32_t limits = gLimits.load();
    ctx.maxCreateColumns = static_cast<uint16_t>(limits >> 16);
    ctx.maxSelectItems = static_cast<uint16_t>(limits & 0xFFFF);
    rcPrsContext *outer = tCurrent;
    tCurrent = &ctx;

    int result = RC_PRS_OK;
    if (!ParseUse(&ctx, text, &result)) {
        rcPrsScanReset(&ctx.scan, text, escapes);
        int status = rcPrsRunGrammar(&ctx);
        if (status == 0 && !ctx.failed && ctx.root != nullptr) {
            if (rcPrsLinkTreeDepth(ctx.root) > RC_PRS_MAX_TREE_DEPTH) {
                // Too deep to walk safely: fails as a parser stack overflow does.
                rcPrsFail(&ctx, RC_PRS_MSG_SYNTAX, nullptr, RC_PRS_SYNTAX);
                result = ctx.result;
            } else {
                result = RunPasses(ctx.root);
            }
        } else {
            if (!ctx.failed)
                rcPrsFail(&ctx, RC_PRS_MSG_SYNTAX, nullptr, RC_PRS_SYNTAX);
            result = ctx.result;
        }
    }
    *root = ctx.root;
    tCurrent = outer;
    return result;
}

int rcPrsParseLocked(rcMemPool arena, const char *text, rcParseNode **root, bool escapes)
{
    // The parser lock exists while an environment does; the parser keeps
    // its own state per parse, so it also runs safely without one.
    rcMutex *lock = *rcParserLockVar();
    bool held = lock != nullptr && rcMutexIsInit(lock) && rcMutexLock(lock) == 0;
    struct Release {
        rcMutex *lock;
        bool held;
        ~Release()
        {
            if (held)
                rcMutexUnlock(lock);
        }
    } release{lock, held};
    return rcPrsParse(arena, text, root, escapes);
}
