// Query plans: the plan record of a prepared query and its tree of plan
// nodes, the statement context that planning and execution share, and the
// node operations.
//
// Interface and legal order (one rcPlnStmt per statement):
//   rcPlnStmtInit(stmt, errors, session)     once; the owner may then set
//                                            fnCode, engineOptions, param,
//                                            tmpOwner
//   rcPlnBuild(stmt, root)                   plans a checked query tree (the
//                                            tree and its tables stay alive
//                                            until rcPlnStmtFree)
//   rcExeOpenQuery / rcExeFetch / rcExeGetColumn / rcExeCloseQuery (rcexe.h)
//   rcPlnStmtFree(stmt)                      frees the plan, the programs and
//                                            every temporary table
// Node operations (rcPlnNewNode .. rcPlnNextOfKind) work on any tree.
//
// Nodes come zero-filled from the statement's plan pool and are never freed
// one by one. A node has a kind (PLN_JOIN .. PLN_UNION) that decides its
// child links: two-child kinds (join, aggregate) use `first` and `second`,
// one-child kinds `first`; the table node is a leaf. Every node but the root
// points at its parent.
//
// Column values: every base column the query reads gets one rcPlnColumn,
// whose reader goes to the table's data-module cursor, or, once a temporary
// table above the scan holds the rows, to that table's current row. Set
// functions are redirected the same way. So the expressions of the select
// list, HAVING and ORDER BY are compiled once and read the right row
// whatever temporary tables stand below them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "driver/engine/expr/rcevl.h"
#include "driver/engine/expr/rcexp.h"
#include "driver/engine/tree/rcmempool.h"
#include "driver/engine/temp/rcsrtfile.h"
#include "driver/engine/temp/rctmp.h"

struct rcErrorQueue;
struct rcParseNode;
struct rcTblEntry;
struct rcTblColumn;
struct TamSession;
struct TamTableHandle;
struct TempTable;

enum rcPlnKind : uint8_t {
    PLN_JOIN = 1,
    PLN_RESTRICT = 2,
    PLN_TABLE = 3,
    PLN_DISTINCT = 4,
    PLN_SETFUNC = 5,
    PLN_AGGREGATE = 6,
    PLN_GROUPRESULT = 7,
    PLN_GROUP = 8,
    PLN_TEMPTABLE = 9,
    PLN_SUBQUERY = 10,
    PLN_UNION = 11,
    PLN_HASHGROUP = 12, // grouping or DISTINCT without a sort of the rows (rcexegroup.h)
    PLN_TEMPSCAN = 13,  // the rows of a finished temporary table (exec/rcexeresult.h)
};

// Join subtypes.
enum : uint8_t {
    PLN_JOIN_INNER = 1,
    PLN_JOIN_OUTER_INDEX = 2,
    PLN_JOIN_OUTER = 3,
    PLN_JOIN_INNER_INDEX = 4,
};
// Restriction subtypes.
enum : uint8_t { PLN_RESTRICT_KEYS = 1, PLN_RESTRICT_FILTER = 2 };
// Table access modes.
enum : uint8_t { PLN_ACCESS_INDEX = 1, PLN_ACCESS_SCAN = 2 };
// Set-function codes.
enum : uint8_t { PLN_FN_MIN = 1, PLN_FN_MAX = 2, PLN_FN_SUM = 3, PLN_FN_COUNT = 4, PLN_FN_AVG = 5 };

// Longest key list an IN list or an OR of equalities makes.
constexpr uint16_t PLN_MAX_KEY_LIST = 256;

// Start of an index range.
enum : uint8_t { PLN_KEY_GT = 1, PLN_KEY_GE = 2, PLN_KEY_EQ = 4, PLN_KEY_LIKE = 7 };

// Results of next-row routines.
enum : int16_t {
    PLN_ROW = 0,
    PLN_ROW_WARNING = 1,
    PLN_END = 100,
    PLN_GROUP_END = 101,
    PLN_RANGE_END = 102,
    PLN_ERROR = -1,
};

struct rcPlnStmt;
struct PlanNode;
struct rcPlnPushDown;
struct rcGdoState;
struct QueryPlan;
using rcPlnNextFn = int16_t (*)(rcPlnStmt *stmt, PlanNode *node, int flag);

// A column of a temporary table as the plan fills it.
enum : uint8_t {
    PLN_TTCOL_KEY = 1,      // a sort key: the value of an expression slot
    PLN_TTCOL_COLUMN = 2,   // a base column (rcPlnColumn) read through
    PLN_TTCOL_SETFN = 3,    // the result of a set function
    PLN_TTCOL_BOOKMARK = 4, // a base table's bookmark (its long values are
                            // read from the table again, positioned there)
    PLN_TTCOL_LONG = 5,     // a long value (`column`) kept whole in the
                            // table's sort file; the column holds its offset
};
// An ordering ("ORD_TT") carries its long values (LONGVARCHAR, LONGVARBINARY)
// itself, whole up to RC_SRT_MAX_VALUE bytes, in PLN_TTCOL_LONG columns, so
// that its rows need no base table again; the other tables keep them by a
// bookmark or, over a union, in key pieces.
bool rcPlnKeepsLongValues(const PlanNode *temp);
// Longest text key a temporary table compares whole: a longer key value is
// split over pieces of PLN_KEY_PIECE bytes, each a key column of its own,
// so that sorting, DISTINCT and GROUP BY see the whole value; beyond this
// length the key is compared on its first PLN_KEY_MAX_VALUE bytes.
constexpr uint32_t PLN_KEY_MAX_VALUE = 16 * RC_TMP_MAX_VALUE;
// Bytes of a long value one piece holds: a temporary table keeps a text in
// RC_TMP_MAX_VALUE bytes with its terminator.
constexpr uint32_t PLN_KEY_PIECE = RC_TMP_MAX_VALUE - 1;
// Widest bookmark a temporary table keeps.
constexpr uint32_t PLN_BOOKMARK_MAX = 64;
struct rcPlnTempColumn {
    uint8_t kind;
    bool descending;
    int16_t sqlType;
    int32_t length;
    uint32_t precScale;
    rcExpSlot slot; // PLN_TTCOL_KEY
    const rcParseNode *expr; // PLN_TTCOL_KEY: the key's expression
    // A long text key: pieces (on the key's first column) counts the piece
    // columns that follow it; a piece column has part 1, 2, ... and reads
    // its bytes from the key's value, which is kept whole in the first
    // column's buffer (valueLength bytes, valueNull). A union's long column
    // is kept the same way (a key or a stored column with pieces, `column`
    // naming the union column), and read back whole from its pieces.
    uint16_t pieces;
    uint16_t part;
    int32_t valueLength;
    bool valueNull;
    struct rcPlnColumn *column; // PLN_TTCOL_COLUMN
    PlanNode *setFunction;      // PLN_TTCOL_SETFN
    PlanNode *table;            // PLN_TTCOL_BOOKMARK
    char *buffer;               // the value while a row is stored
    uint32_t bufferSize;
};
// The buffer a PLN_TTCOL_LONG column reads its value into: the longest value
// kept, a byte that tells a longer one, and a text's terminator.
constexpr uint32_t PLN_LONG_BUFFER = RC_SRT_MAX_VALUE + 2;
// The PLN_TTCOL_LONG entry of a long column: in the table, the value's
// 8-byte offset in the sort file (its buffer is the planner's to make).
inline rcPlnTempColumn rcPlnLongColumn(struct rcPlnColumn *column)
{
    rcPlnTempColumn c{};
    c.kind = PLN_TTCOL_LONG;
    c.column = column;
    c.sqlType = SQL_BINARY;
    c.length = sizeof(uint64_t);
    return c;
}

// Set-function accumulator (PLN_SETFUNC).
struct rcPlnAccumulator {
    int16_t resultType; // the function's SQL type (COUNT: INTEGER)
    uint32_t resultLength;
    uint16_t precision;
    int16_t scale;
    uint32_t count;
    bool noValue;    // no non-NULL value folded in yet
    bool groupEnded; // the last row passed was a group end
    double sum;
    MultiPrecisionNumber exact;
    rcExpValue value; // MIN and MAX; texts point into text[]
    char text[RC_TMP_MAX_VALUE + 1];
};

struct PlanNode {
    uint8_t kind;
    uint8_t subtype;
    uint16_t block;  // the query block (0 the statement's, then subqueries)
    PlanNode *first; // the child of one-child kinds
    PlanNode *second;
    PlanNode *parent;
    // Executor state.
    rcPlnNextFn firstNext;
    rcPlnNextFn secondNext;
    uint8_t firstFlag;
    uint8_t secondFlag;
    uint8_t state;
    bool opened;
    // PLN_TABLE.
    rcTblEntry *table;
    uint32_t nullRow; // every column reads as NULL (outer-join null row)
    uint8_t access;
    uint32_t rows;        // estimate after the table's own conditions
    uint32_t tableRows;   // the table's row count, once rowsAsked
    bool rowsAsked;       // tableRows and rows are known
    uint8_t pushedFilter; // the data module took its filter: 1 in part, 2 whole
    // Index access (access PLN_ACCESS_INDEX): the index, the start of the
    // range (kind and value) and the end test that holds once the scan has
    // left the range (0: none).
    const struct rcPlnIndex *index;
    uint8_t keyKind; // PLN_KEY_*
    rcExpSlot keySlot;
    rcFltId endTest;
    bool singleRow; // a unique index fully bound by equality
    bool indexSet;  // the index was given to the data module
    bool keyEmpty;  // the current range is empty
    char *keyBuffer;
    uint32_t keyBufferSize;
    // A key list (IN or ORed equalities): one equality range per entry, read
    // one after the other; an entry equal to an earlier one is skipped.
    rcExpSlot *keyList;
    rcFltId *keyEnds;
    uint16_t keyListCount;
    uint16_t keyListAt;
    char *keySeen; // the started keys, keyBufferSize bytes each
    uint32_t *keySeenLength;
    // PLN_RESTRICT (filter) and HAVING.
    const rcParseNode *cond;
    rcFltId filter;
    // PLN_SETFUNC.
    uint8_t function;
    uint16_t number;             // counted from 1 in the statement
    const rcParseNode *argument; // none for COUNT(*)
    rcExpSlot argSlot;
    rcPlnAccumulator *acc;
    // Redirect of a set function's value into a temporary table above it.
    TempTable *redirect;
    uint16_t redirectColumn;
    // PLN_TEMPTABLE.
    TempTable *temp;
    rcPlnTempColumn *columns;
    uint16_t columnCount;
    uint16_t keyCount;
    uint16_t tempNumber;
    char name[7];   // "GRP_TT", "ORD_TT", "DST_TT"
    bool presorted; // the rows arrive in key order: no sort
    // PLN_DISTINCT, PLN_GROUP: the temporary table below and its last row.
    PlanNode *sorted;
    int64_t savedRow;
    // PLN_AGGREGATE.
    bool oneRow;
    // PLN_SUBQUERY: the subquery's own plan and how its rows answer the
    // predicate (form 1 IN/ANY, 2 ALL, 3 EXISTS, 4 a single-row comparison).
    QueryPlan *subPlan;
    uint8_t form;
    uint16_t subBlock; // the subquery's block
    bool negated;      // NOT IN
    bool correlated;   // reads columns of enclosing blocks
    bool cached;       // an uncorrelated EXISTS answered in this open
    int16_t cachedResult;
    rcFltId compare; // correlated: outer value <op> the subquery's row (forms 1, 2, 4)
    struct rcSubPlanInfo *subInfo; // forms 1, 2, 4: values and strategy (rcplnsub.h)
    // PLN_UNION: its inputs and the values of its current row (rcplnunion.h).
    struct rcPlnUnion *unionState;
    // PLN_JOIN read through a hash table (rcplnhash.h); none: nested loop.
    struct rcPlnHashJoin *hashJoin;
    // PLN_HASHGROUP: its set functions and run-time state (rcexegroup.h).
    struct rcGrpNode *grouping;
};

// An index of a table, as the data module's index catalog gives it.
struct rcPlnKeyColumn {
    const rcTblColumn *column;
    bool ascending;
};
struct rcPlnIndex {
    char name[65];
    std::vector<rcPlnKeyColumn> keys;
    bool unique;
    uint32_t flags;     // the catalog's flags
    uint16_t orderKind; // 1 mixed, 2 ascending, 3 descending, 4 not orderable
};
struct rcPlnIndexList {
    const rcTblEntry *table;
    std::vector<rcPlnIndex> indexes;
};

// A base column read by the query.
struct rcPlnColumn {
    rcEvlColumnRef ref;  // what the programs read
    uint16_t block;      // the block of its table
    rcEvlTamSource base; // the table's cursor
    const rcTblColumn *column;
    PlanNode *tableNode;
    TempTable *redirect; // null: read the base table
    uint16_t redirectColumn;
    // A long text kept in pieces: redirectColumn holds its first bytes, the
    // redirectPieces columns after it the rest (see rcPlnTempColumn).
    uint16_t redirectPieces;
    // A long value kept in the table's sort file: redirectColumn holds its
    // offset there (PLN_TTCOL_LONG).
    bool redirectLong;
};

// A column the plan reads through the table-access layer (rcplnretr.h).
struct rcPlnRetrieveColumn {
    TamTableHandle *handle;
    uint32_t column;      // the data module's column number
    uint32_t cacheLength; // bytes its column-cache entry holds (0: never cached)
};

struct QueryPlan {
    uint8_t flags; // bit 0: GROUP BY
    PlanNode *firstTemp;
    const rcParseNode *residual; // WHERE predicates over several tables
    PlanNode *aggregate;
    PlanNode *distinct;
    PlanNode *orderBy;
    PlanNode *groupBy;
    PlanNode *root;
    uint8_t rootFlag; // first-or-next flag of the root's routine
    rcPlnNextFn rootNext;
};

constexpr uint8_t PLN_PLAN_GROUPED = 0x1;

// Engine options the planner reads (the statement's option mask).
enum : uint32_t {
    PLN_OPT_NOINDEXES = 0x4000,
    PLN_OPT_SAFEOPT = 0x40,
    PLN_OPT_NOJOINOPT = 0x200,
    PLN_OPT_NOHASHOPT = 0x200000, // no hash joins or hash grouping; subqueries
                                  // compare every kept row (rcexesub.h)
};

struct rcPlnStmt {
    rcErrorQueue *errors = nullptr;
    TamSession *session = nullptr;
    rcExpEnv env{};
    // Scalar-function code of a checked ScalarFn (the front end's table).
    int (*fnCode)(const rcParseNode *scalarFn) = nullptr;
    uint32_t engineOptions = 0;
    // Values of dynamic parameters (numbered from 0) for the current
    // execution: the owner's reader; none refuses parameters (5160).
    int16_t (*param)(void *ctx, uint32_t number, rcExpValue *out) = nullptr;
    void *paramCtx = nullptr;
    // The owner block of the statement's temporary tables: the statement
    // record's (rcTmpOwnerOf) when the executor made the planner
    // (rcExeMakePlanner); rcPlnStmtInit gives only the error queue.
    rcTmpOwner tmpOwner{};
    rcMemPool pool = nullptr; // the plan pool
    QueryPlan *plan = nullptr;
    // Planning results.
    std::vector<PlanNode *> tables;                          // table nodes in FROM order
    std::vector<rcPlnColumn *> columns;                      // every base column read
    std::vector<PlanNode *> setFunctions;                    // in statement order
    std::vector<PlanNode *> temps;                           // temporary-table nodes, bottom up
    std::vector<std::unique_ptr<rcPlnIndexList>> indexLists; // read once per table
    std::vector<rcExpSlot> results;                          // one slot per select-list item
    std::vector<const rcParseNode *> items;
    std::vector<PlanNode *> subqueries; // in the order they were planned
    std::vector<PlanNode *> hashJoins;  // joins with a hash table (rcplnhash.h)
    uint16_t blocks = 0;                // query blocks planned so far
    uint16_t currentBlock = 0;          // the block being planned
    void *building = nullptr;           // the planner of that block
    bool rowWarning = false;
    bool open = false;
    uint16_t tempCounter = 0;
    // What the data module offers (the statement's copy of the source
    // information; rcplnpush.h): filter operators (0: no filter push-down),
    // joins (0: none), and seeks to an index's first and last entries.
    uint32_t filterMask = 0;
    uint32_t joinMask = 0;
    bool seekFirstLast = false;
    rcPlnPushDown *pushDown = nullptr;
    rcGdoState *gdo = nullptr; // direct column retrieval (exec/rcexegdo.h)
    // The retrieve list (rcplnretr.h): table by table, and how many of
    // `columns` it was made from.
    std::vector<rcPlnRetrieveColumn> retrieve;
    size_t retrieveMadeFrom = 0;
};

void rcPlnStmtInit(rcPlnStmt *stmt, rcErrorQueue *errors, TamSession *session);
void rcPlnStmtFree(rcPlnStmt *stmt);

// What the executor hangs on the statement, released by rcPlnStmtFree (the
// executor defines them: exec/rcexesub.cpp, exec/rcexegdo.cpp,
// exec/rcexegroup.cpp): a subquery node's kept rows, the direct column
// retrieval state, a hash-grouping node's record.
void rcCurFreeNode(rcPlnStmt *stmt, PlanNode *node);
void rcGdoFree(rcPlnStmt *stmt);
void rcExeFreeHashGroup(PlanNode *node);

// Plans the checked tree of a query (SubSelectStmt, or FullSelectStmt with
// an ORDER BY as its next sibling). 0, or -1 after posting.
int16_t rcPlnBuild(rcPlnStmt *stmt, const rcParseNode *root);

// Plans one SELECT block of a UNION as a query block of its own: its plan
// and its select-list expressions. 0, or -1 after posting.
int16_t rcPlnBuildBranch(rcPlnStmt *stmt, const rcParseNode *block, QueryPlan *plan,
                         std::vector<const rcParseNode *> *items);

// The indexes of a table (read from the data module on first use; none
// with the NoIndexes option or when the data module has no index catalog).
// 0, or -1 after posting.
int16_t rcIdxGetInfo(rcPlnStmt *stmt, const rcTblEntry *table, const rcPlnIndexList **out);
// Chooses an index range for a table node from the conjuncts that filter it
// (conditions reading only this table, or, with outer tables listed, join
// conditions reading those). The conjuncts stay filters: the range only
// narrows what is read. 0 (with or without an index), -1 after posting.
int16_t rcOptChooseIndex(rcPlnStmt *stmt, PlanNode *table,
                         const std::vector<const rcParseNode *> &conds,
                         const std::vector<const rcTblEntry *> &outer);

// How well an index of the table serves the conditions (with outer tables
// listed: through a value read from them): 0 not, 1 a range, 2 equality,
// 3 equality on a unique key. Errors reading the index catalog count as 0
// here (index choice reports them).
int rcOptIndexUse(rcPlnStmt *stmt, const rcTblEntry *table,
                  const std::vector<const rcParseNode *> &conds,
                  const std::vector<const rcTblEntry *> &outer);

// The row count of a table as the data module gives it; PLN_ROWS_UNKNOWN
// when it cannot tell (never an error: the join order then guesses).
constexpr uint32_t PLN_ROWS_UNKNOWN = 1000000;
uint32_t rcOptTableRows(rcPlnStmt *stmt, const rcTblEntry *table);
// Rows of a table left after its own restrictions (conds read only this
// table), from its row count: 1 for an equality on a unique index, 5% for
// another indexed equality, half for an indexed range; without an index
// each equality keeps a fifth and each range half. Never below 1.
uint32_t rcOptEstimateRows(rcPlnStmt *stmt, const rcTblEntry *table, uint32_t rows,
                           const std::vector<const rcParseNode *> &conds);

// The subquery node of a predicate that holds a subquery, planned on first
// use; none after posting.
PlanNode *rcPlnSubqueryOf(rcPlnStmt *stmt, const rcParseNode *predicate);

// Node operations.
PlanNode *rcPlnNewNode(rcPlnStmt *stmt, uint8_t kind);
// which 1: the first child; 0: the second (two-child kinds); none for tables.
PlanNode **rcPlnChildLink(PlanNode *node, int which);
// The link that points at node: its parent's, or the plan's root field.
PlanNode **rcPlnLinkTo(QueryPlan *plan, PlanNode *node);
void rcPlnSetParent(PlanNode *parent, PlanNode **link, PlanNode *child);
// Puts newNode where link pointed; the old node becomes its child (which as
// for rcPlnChildLink).
void rcPlnReplace(PlanNode *parent, PlanNode *newNode, int which, PlanNode **link);
// Removes a node and splices its first child into its place.
void rcPlnDetach(QueryPlan *plan, PlanNode *node);
// The empty link at the bottom of a chain (mask as the planner uses it:
// 0x1 through an aggregate's first child, 0x2 then its second, 0x4 or 0x10
// joins through their first child); none when the chain ends in a table.
PlanNode **rcPlnFind(PlanNode **link, uint32_t mask, PlanNode **parent);
void rcPlnLink(PlanNode **rootLink, PlanNode *parent, PlanNode *node, uint32_t mask);
// Pre-order walk; the callback answers 0 to stop, 2 to skip the children.
using rcPlnVisitFn = int (*)(void *ctx, uint8_t kind, PlanNode *node);
int rcPlnVisit(void *ctx, PlanNode *node, rcPlnVisitFn callback);
PlanNode *rcPlnFirstOfKind(PlanNode *tree, uint8_t kind);
PlanNode *rcPlnWalkNext(PlanNode *tree, PlanNode *node);
PlanNode *rcPlnNextOfKind(PlanNode *tree, PlanNode *node, uint8_t kind);
// SQL type of a set function's result.
int16_t rcPlnSetFuncType(const PlanNode *node);
