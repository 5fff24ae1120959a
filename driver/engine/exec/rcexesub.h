// Subquery predicates at run time: the answer of a subquery node for the
// current outer row, under standard three-valued logic.
//
// Interface and legal order (per subquery node of the statement):
//   rcCurResetNode(stmt, node)   at every open and close of the query: the
//                                rows kept by the last execution go
//   rcCurFetchNode(stmt, node)   any number of times while the query is open
//   rcCurFreeNode(stmt, node)    when the plan is freed
//
// A correlated subquery runs its plan for every answer. An uncorrelated
// EXISTS is answered once per execution. An uncorrelated subquery compared
// with values is read once per execution, at its first answer, and kept as
// the comparison needs it (rcSubRun): the smallest or largest value for
// ANY and ALL with <, <=, >, >=, both for <> ANY and = ALL, the values
// sorted without duplicates for = ANY (IN) and <> ALL (NOT IN), the one
// value of a single-row subquery, and always the row count and whether a
// NULL was among the rows. The index strategies of the planner
// (rcplnsub.h) take the smallest or largest value from the first or last
// key of an index instead, or answer = ANY by one equality seek per outer
// row (within the seek budget of an execution, then the rows are read
// once). Values are kept reduced only where the comparison of the outer
// value with each row orders like the rows among themselves (both text,
// both numbers, both dates or timestamps, both times, both binary);
// otherwise every value is kept and compared in turn, as also with the
// engine option NoHashOpt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/engine/plan/rcpln.h"

// 0 TRUE, 100 FALSE, RC_EXP_SUBQUERY_UNKNOWN UNKNOWN, -1 error posted.
int16_t rcCurFetchNode(rcPlnStmt *stmt, PlanNode *node);
void rcCurResetNode(rcPlnStmt *stmt, PlanNode *node);
// rcCurFreeNode: rcpln.h.

// A value kept with its own copy of a text.
struct rcSubHeld {
    rcExpValue value;
    std::string bytes;
    bool set = false;
};

// Values of one type, packed: fixed types in their own width, texts and
// binary data as (offset, length) into one text store.
struct rcSubStore {
    int16_t type = 0;
    uint32_t width = 0;
    uint32_t length = 0; // the byte length of a fixed-type value
    std::vector<unsigned char> fixed;
    std::vector<char> text;
    size_t Count() const { return width != 0 ? fixed.size() / width : 0; }
};

// What one execution keeps of an uncorrelated subquery.
struct rcSubRun {
    bool built = false;            // read (or sought) in this execution
    bool keepAll = false;          // every value kept, compared one by one
    uint64_t rows = 0;             // rows read (1 when a seek found some)
    bool nulls = false;            // a NULL among them
    int16_t type = 0;              // the type of the non-NULL values
    rcSubHeld low, high;           // the smallest and largest non-NULL value
    rcSubStore values;             // keepAll, or sorted without duplicates
    std::vector<rcSubHeld> others; // keepAll: values not of the store's type
    // Equality seeks.
    bool opened = false;     // the subquery's plan is open
    bool firstKnown = false; // rows and nulls learned from the first key
    uint32_t seeks = 0;
    bool seekOff = false; // this execution reads the rows instead
};

// The kept answer of an uncorrelated subquery compared with values
// (rcexesubkeep.cpp); the result codes of rcCurFetchNode.
int16_t rcSubKeptAnswer(rcPlnStmt *stmt, PlanNode *node);
// Index seeks (rcexesubseek.cpp): the smallest or largest value and the
// NULL and row facts from the first and last keys; 0 or -1.
int16_t rcSubSeekExtreme(rcPlnStmt *stmt, PlanNode *node, rcSubRun *run);
// The row count (0 or 1) and NULL facts from the first key; 0 or -1.
int16_t rcSubSeekFirstKey(rcPlnStmt *stmt, PlanNode *node, rcSubRun *run);
// One equality seek with the outer value x: *found when a row equals it;
// 0 or -1.
int16_t rcSubSeekEqual(rcPlnStmt *stmt, PlanNode *node, rcSubRun *run, bool *found);
// Makes the next read of the subquery's table after seeks read it whole.
// 0 or -1.
int16_t rcSubForgetSeeks(rcPlnStmt *stmt, PlanNode *node);
// Keeps a copy of v in held; rcSubHeldValue gives it back.
void rcSubHold(rcSubHeld *held, const rcExpValue &v);
rcExpValue rcSubHeldValue(const rcSubHeld &held);
