// Semantic checks and parameter typing.
//
// Two layers stand between the grammar and the planner:
//   - the parse-time passes (rcSemInstallPasses installs them into the
//     parser once): table references unique per FROM list, qualifiers that
//     name a table of their block, set functions only where rows are
//     grouped, HAVING over grouped columns, one-column subqueries, no
//     parameter in ORDER BY, ORDER BY of a UNION by ordinals only, no
//     function call among the values of VALUES and IN lists. Their
//     messages (1501-1536) travel as the text of 5124;
//   - the prepare-time check rcSemCheckStatement, run once the kind is known:
//     parameters numbered, tables opened (fe_tablelist.h), star items
//     expanded, every column reference resolved in its scope, every
//     expression typed, operands checked against each other, every
//     parameter given the type of what it meets, the select list checked.
//     Messages are posted on the statement's queue; the first error ends the
//     run with -1.
//
// Column references resolve in the innermost select block that has a table
// with that column, then outwards (correlated references); two tables of
// one block with the column make the reference ambiguous.
#pragma once

#include <cstdint>

#include "driver/engine/rcsem.h"
#include "driver/frontend/fe_prepared.h"

void rcSemInstallPasses();

int rcSemCheckStatement(rcPrepared *prep, rcErrorQueue *errors);

// Resolves the statement's vendor predicates ({pred ...}) against the data
// source's (fe_extpred.cpp): the item naming one becomes its name node.
// 0, or -1 after posting 11486 for an escape that names none.
int rcSemExtPredicates(rcPrepared *prep, rcErrorQueue *errors);

// Expression compatibility of two engine types.
bool rcSemTypesCompatible(int16_t a, int16_t b);
// The predicate rule: 0 when the two sides may be compared, else the message
// id. May turn a CHAR side compared with LONGVARCHAR into VARCHAR.
uint32_t rcSemCheckCompare(rcSemTypeInfo *left, rcSemTypeInfo *right, const char *op);
bool rcSemIsNumeric(int16_t type);
bool rcSemIsChar(int16_t type);
bool rcSemIsBinary(int16_t type);

// Reserved device names ("con", "nul", "prn", "com1".."com4", "LPT1".."LPT3").
bool rcSemIsReservedName(const char *name);

// Posts msgId with the text of textId formatted with arg (null: the text as
// it stands). Answers -1.
int rcFePostText(rcErrorQueue *errors, uint32_t msgId, uint32_t textId, const char *arg);
