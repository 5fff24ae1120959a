// UNION plans: the branches of a UNION planned one by one and read through
// PLN_UNION nodes.
//
// Interface and legal order:
//   rcUnBuildPlan(stmt, tree, orderBy)   from rcPlnBuild, for a query tree
//                                        holding Union_Opt; sets the plan's
//                                        root and the statement's result
//                                        columns (the first branch's items)
//   rcExeOpenUnion / rcExeNextUnion      the node's routines (rcexe.h)
//   rcUnColumnReader                     reads a column of a union node's
//                                        current row (set as the reader of
//                                        the node's rcPlnColumn entries)
//
// Plan: the UNION tree is read from the left, as standard SQL says. A UNION
// (duplicates removed) reads every SELECT block below it, whatever operators
// join them, through one PLN_UNION node (subtype 1); its rows go into a
// temporary table sorted on every column (the ORDER BY ordinals first, with
// their directions) and a PLN_DISTINCT passes the first row of each run of
// equal rows, so duplicates are found over all columns with the driver's
// text collation. A UNION ALL appends its inputs (subtype 2): SELECT blocks
// and, for a UNION to its left, that UNION's duplicate-free rows. ORDER BY
// over a UNION ALL sorts the appended rows in an "ORD_TT". Every SELECT block
// is planned as a query block of its own (rcPlnBuildBranch).
//
// Values: a union node has one rcPlnColumn per result column. Each row the
// node passes up is first evaluated from its input's value slots into the
// node's value buffers (sized at planning time), converted to the column's
// type; the column reader copies from there, or, once a temporary table
// above holds the rows, reads that table's current row (the usual redirect).
// A sort keeps the first RC_TMP_MAX_VALUE - 1 bytes of a long value and
// posts 01004 once per open when it cuts one; UNION ALL without ORDER BY
// passes long values whole, and an ORDER BY ("ORD_TT") keeps LONGVARCHAR and
// LONGVARBINARY values whole in its sort file (rcPlnKeepsLongValues).
#pragma once

#include <cstdint>

#include "driver/engine/plan/rcpln.h"

// One input of a union node: the subtree that gives its rows and the slots
// of its row's values; the query blocks planned for it (their column
// redirects are reset before the input is opened again).
struct rcPlnUnionInput {
    PlanNode *root;
    rcExpSlot *slots;
    uint16_t firstBlock;
    uint16_t endBlock;
};

// A value of the current row.
struct rcPlnUnionValue {
    char *buffer;
    uint32_t size;
    uint32_t length;
    bool isNull;
};

struct rcPlnUnion {
    rcPlnUnionInput *inputs;
    uint16_t inputCount;
    uint16_t current; // the input being read
    uint16_t columnCount;
    rcPlnColumn **columns;
    rcPlnUnionValue *values;
    bool cutWarned; // 01004 posted for a long value cut by the sort above
};

// Plans a query whose tree holds UNION (tree: the FullSelectStmt with the
// Union_Opt; orderBy: the statement's OrderBy_Opt or none). 0, or -1 after
// posting.
int16_t rcUnBuildPlan(rcPlnStmt *stmt, const rcParseNode *tree, const rcParseNode *orderBy);

// The reader of a union node's columns (rcEvlColumnReader).
int32_t rcUnColumnReader(void *source, uint32_t column, void *buffer, uint32_t length,
                         uint32_t *outLength, DRM_RETINFO *partial, int16_t sqlType);
