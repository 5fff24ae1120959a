// Push-down: the parts of a query that the data module may do itself.
//
// Filters. After planning, rcFltPushDownAll offers every base table of
// every query block (the main query, each SELECT of a UNION, each subquery)
// the conditions the plan tests right above it (WHERE conjuncts on that
// table alone, and the single-table conjuncts of an outer join's ON clause).
// A correlated subquery's conjuncts that read an outer query's columns are
// not on its table alone: they stay with the engine, and its search, made
// once per execution, serves every outer row. Each
// offer is converted from the parse tree into a filter tree, reduced to what
// the data module's capability mask allows and to what converts without
// loss, encoded into DrmFilterTree and DrmDataTree words and handed to the
// data module (TamSetFilter). The engine's own filters always stay in the
// plan: a pushed filter only narrows what crosses the network, so the server
// may find more rows than the engine keeps but never fewer. Therefore a
// condition is pushed only when the server finds at least every row the
// engine's test passes:
//   - values convert exactly to the column's type (intcol = 1.5, a text
//     longer than PLN_PUSH_TEXT_MAX, a date with a time of day are kept);
//   - text columns are compared with = and <> only (the server orders text
//     otherwise than the driver's collation);
//   - comparisons are column against value; NOT is moved onto the
//     comparisons (NOT a < 1 is a >= 1); BETWEEN and IN lists become the
//     comparisons they stand for;
//   - a part that cannot be pushed drops out of an AND (the rest is pushed
//     as a part); an OR with such a side is kept whole.
// At every open rcFltBindParams hands the filters to the data module again
// (so the selection is searched afresh) with the current values of the
// parameters they use, except the filter of a table read by index seeks
// only (each seek searches afresh by its key) that uses no parameter and
// that the last open gave to the same cursor: the data module holds it
// still; a value that does not convert exactly, or is longer
// than PLN_PUSH_PARAM_MAX, takes that table's filter away for the execution.
// Parameter ids come from the session's counter (TamSession::paramIds).
//
// Joins: rcJpdPushJoins offers the statement's equality joins to the data
// module as the three join arrays when the join capability mask is not 0.
// A data module that declines (-2002) leaves the plan as it is; one that
// accepts is told the engine's answer words were read, and the engine keeps
// its own joins (it opens no virtual tables).
//
// Order of calls: rcPlnBuild plans and then runs rcJpdPushJoins and
// rcFltPushDownAll (a UNION only the latter, once its branches are planned);
// rcExeOpenQuery runs rcFltBindParams; rcPlnStmtFree runs rcFltPushDownFree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/engine/plan/rcpln.h"

// Value types of pushed values (the data module's type ids).
enum : uint16_t {
    PLN_PV_BIT = 1,
    PLN_PV_TINYINT = 2,
    PLN_PV_SMALLINT = 3,
    PLN_PV_INTEGER = 4,
    PLN_PV_SCALED64 = 5,
    PLN_PV_REAL = 6,
    PLN_PV_DOUBLE = 7,
    PLN_PV_TIMESTAMP = 8,
    PLN_PV_CHAR = 10,
    PLN_PV_LONGVARCHAR = 12,
    PLN_PV_DATE = 101,
    PLN_PV_TIME = 102,
    PLN_PV_DECIMAL38 = 103,
    PLN_PV_VARCHAR = 104,
    PLN_PV_UNTYPED = 501,
};

// Filter tree codes.
enum : uint16_t {
    PLN_FO_COLUMN = 500,
    PLN_FO_NONE = 1000,
    PLN_FO_AND = 1001,
    PLN_FO_OR = 1002,
    PLN_FO_NOT = 1003,
    PLN_FO_EQ = 1004,
    PLN_FO_LE = 1005,
    PLN_FO_GE = 1006,
    PLN_FO_LT = 1007,
    PLN_FO_GT = 1008,
    PLN_FO_NE = 1009,
    PLN_FO_ADD = 1010,
    PLN_FO_NEGATIVE = 1015,
    PLN_FO_LIKE = 1018,
    PLN_FO_ISNULL = 1021,
};

// The engine option NoFiltOpt: no filter push-down.
constexpr uint32_t PLN_OPT_NOFILTOPT = 0x800;

// Answers of the data module.
constexpr int32_t PLN_DRM_FILTER_REFUSED = -2003;
constexpr int32_t PLN_DRM_FILTER_PARTIAL = -2004;
constexpr int32_t PLN_DRM_JOIN_DECLINED = -2002;

// Longest text value a filter carries, and the longest parameter value.
constexpr uint32_t PLN_PUSH_TEXT_MAX = 256;
constexpr uint32_t PLN_PUSH_PARAM_MAX = 1024;
// Most values of one IN list pushed.
constexpr uint32_t PLN_PUSH_IN_MAX = 32;

// A parameter a pushed filter uses.
struct rcPlnPushedParam {
    uint32_t index; // in the statement's parameter list, from 0
    uint32_t id;    // the data module's parameter id
    uint16_t type;  // value type (PLN_PV_*)
};

// A table whose filter the data module took (whole or in part).
struct rcPlnPushedTable {
    PlanNode *table = nullptr;
    std::vector<uint32_t> filter;
    std::vector<uint32_t> data; // empty: no DrmDataTree
    bool partial = false;       // the data module took a part only
    bool installed = false;     // the filter is with the data module now
    std::vector<rcPlnPushedParam> params;
    // The last open gave this filter, as it stands, to this cursor (see
    // rcFltBindParams); keptCursor is the cursor's number.
    bool kept = false;
    uint32_t keptCursor = 0;
};

struct rcPlnPushDown {
    std::vector<rcPlnPushedTable> tables;
    // Value type each parameter was pushed under (0: not pushed).
    std::vector<uint16_t> marks;
    // Join arrays of the last offer (for the trace and tests).
    bool joinOffered = false;
    int32_t joinAnswer = 0;
};

int16_t rcFltPushDownAll(rcPlnStmt *stmt);
// Offers the conditions (conjuncts) to the table's cursor: 0 (pushed or
// not), -1 after posting.
int16_t rcFltPushDownTable(rcPlnStmt *stmt, const std::vector<const rcParseNode *> &conds,
                           PlanNode *table);
int16_t rcFltBindParams(rcPlnStmt *stmt);
void rcFltPushDownFree(rcPlnStmt *stmt);

int16_t rcJpdPushJoins(rcPlnStmt *stmt, const rcParseNode *root);

// A filter's words in readable form, column numbers as "c<n>":
// "(c1 = 3 AND c2 <> 'x')", parameters as "?<id>".
std::string rcFltTreeText(const uint32_t *filter, const uint32_t *data);

// MIN and MAX answered by index seeks (rcplnseek.cpp): marks the set-function
// nodes of an ungrouped single-table query without WHERE whose arguments are
// the first key columns of indexes (not of text, which the server orders
// otherwise than the driver). Never fails.
void rcOptMinMaxByIndex(rcPlnStmt *stmt, const rcParseNode *root);
