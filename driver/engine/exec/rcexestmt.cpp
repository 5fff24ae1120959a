// A statement's query in the executor (see rcexestmt.h).
#include "driver/engine/exec/rcexestmt.h"

#include <new>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexeprm.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/rcstmt.h"
#include "driver/engine/temp/rctmp.h"

void rcExeDeletePlanner(rcPlnStmt *p)
{
    if (p->open)
        rcExeCloseQuery(p);
    rcPlnStmtFree(p);
    delete p;
}

int16_t rcExeMakePlanner(rcStmt *stmt, const rcExeConnFacts &facts, const rcParseNode *root)
{
    if (stmt->planner != nullptr)
        return 0;
    auto *p = new (std::nothrow) rcPlnStmt;
    if (p == nullptr)
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    stmt->planner.hang(p, &rcExeDeletePlanner);
    rcPlnStmtInit(p, stmt->errors, facts.session);
    // The statement's temporary tables (orderings, groupings, hash joins,
    // kept subquery rows) take the statement's own owner block: its engine
    // options reach the sort driver, its engine trace names the join and
    // grouping methods the plan takes, and SQLCancel's flag stops its sorts.
    p->tmpOwner = rcTmpOwnerOf(stmt, &stmt->cancel);
    rcTrcWrite(p->tmpOwner.trace, 2, "rcExeMakePlanner(%ld)",
               static_cast<long>(reinterpret_cast<intptr_t>(stmt)));
    p->fnCode = facts.fnCode;
    p->env.userName = facts.userName != nullptr ? facts.userName : "";
    p->env.database = facts.database != nullptr ? facts.database : "";
    p->env.session = facts.session;
    p->env.vendor = facts.vendor;
    p->env.vendorCtx = facts.vendorCtx;
    p->engineOptions = stmt->options.engineOptionMask;
    p->filterMask = stmt->sourceInfo.filterMask;
    p->joinMask = stmt->sourceInfo.joinMask;
    p->seekFirstLast = (stmt->sourceInfo.capabilities & RC_SRC_CAP_SEEK_FIRST_LAST) != 0;
    // Parameter values come from the statement's descriptors.
    p->param = &rcPrmValue;
    p->paramCtx = stmt;
    if (rcPlnBuild(p, root) != 0) {
        rcExeFreePlanner(stmt);
        return -1;
    }
    stmt->plan = p->plan;
    return 0;
}

int16_t rcExeOpenStmt(rcStmt *stmt)
{
    if (stmt->planner == nullptr)
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR));
    if (rcExeOpenQuery(stmt->planner) != 0) {
        rcExeCloseQuery(stmt->planner);
        return -1;
    }
    stmt->engineState = RC_ENGINE_RESULT_OPEN;
    stmt->endOfData = 0;
    return 0;
}

int16_t rcDrsCloseResult(rcStmt *stmt)
{
    if (stmt->planner != nullptr && stmt->planner->open)
        rcExeCloseQuery(stmt->planner);
    stmt->endOfData = 0;
    stmt->engineState = RC_ENGINE_DONE;
    return 0;
}

void rcExeFreePlanner(rcStmt *stmt)
{
    stmt->planner.release();
    stmt->plan = nullptr;
}

bool rcExeStmtOpen(const rcStmt *stmt) { return stmt->planner != nullptr && stmt->planner->open; }
