// The query-plan file: with the connection's QryPlan flag on, the plan of
// every prepared query and UPDATE is described in a binary plan block and
// appended, with the statement's SQL text, to the file the data source's
// "QryPlanOutput" setting names, for a separate viewer.
//
// Interface and legal order (after rcPlnBuild succeeded, rcpln.h):
//   rcPlnFileBuildBlock(planner, limit, &block)   the plan block of the query
//   rcPlnFileAppend(path, sqlText, block, &why)   appends one record
//   rcSpyQueryPlan(path, sqlText, planner, errors) both; a failure is posted
//                                                 as a warning, the query stays
// The file (little-endian): an 8-byte header "SPY\0", u16 3101, u16 1, then
// records "QRY\0", u16 plan block length, u16 SQL length with its NUL, the
// SQL text with its NUL, the plan block.
//
// Plan block: word 0 (unset, 0), eleven words of tree offsets (the query's
// plan, then each subquery's plan in planning order, then each input of
// every UNION; unused words 0), the
// trees from offset 48. A tree is written depth-first: a 140-byte record per
// node (word 0 its class, the other words by class, offsets are block
// offsets), the node's texts, then its children. Texts are NUL-terminated,
// "%" doubled, cut at 255 characters, each starting on a 4-byte boundary.
// The block never grows past its limit: a record or text that would not fit
// whole is left out and its offset stays 0. A statement with more than eleven
// plan trees is refused (no record, a warning), never written in part; an SQL
// text longer than 65,534 bytes is cut so that its length field holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct rcErrorQueue;
struct rcPlnStmt;

inline constexpr char kRcPlnFileMagic[4] = {'S', 'P', 'Y', '\0'};
inline constexpr char kRcPlnRecordMagic[4] = {'Q', 'R', 'Y', '\0'};
inline constexpr uint16_t kRcPlnFileVersion = 3101;
inline constexpr uint16_t kRcPlnFileRevision = 1;
inline constexpr size_t kRcPlnFileHeaderSize = 8;
inline constexpr size_t kRcPlnRecordHeaderSize = 8;

inline constexpr uint32_t kRcPlnBlockSize = 16000; // default limit of a plan block
inline constexpr uint32_t kRcPlnMaxTrees = 11;     // words of the offset table
inline constexpr uint32_t kRcPlnTreesStart = 48;   // first tree's offset
inline constexpr uint32_t kRcPlnNodeRecordSize = 140;
inline constexpr size_t kRcPlnTextMax = 255;     // characters of one text
inline constexpr size_t kRcPlnTableTextMax = 60; // table name and alias in a table record
inline constexpr size_t kRcPlnSqlMax = 65534;    // SQL bytes a record holds (NUL added)

// Record classes (word 0 of a node record) by plan-node kind.
enum : uint32_t {
    RC_PLNF_JOIN = 1,
    RC_PLNF_RESTRICT = 2,
    RC_PLNF_TABLE = 3,
    RC_PLNF_DISTINCT = 4,
    RC_PLNF_SETFUNC = 5,
    RC_PLNF_AGGREGATE = 6,
    RC_PLNF_GROUPRESULT = 7,
    RC_PLNF_GROUP = 8,
    RC_PLNF_TEMPTABLE = 9,
    RC_PLNF_UNION = 10,
    RC_PLNF_SUBQUERY = 11,
    RC_PLNF_GROUPING = 12, // grouping or DISTINCT without a sort of the rows
};

// Builds the plan block of a planned query into *block (at most limit
// bytes, limit at least kRcPlnTreesStart). 0, or -1 with the reason in *why
// when the statement has more trees than the offset table holds.
int rcPlnFileBuildBlock(const rcPlnStmt *planner, uint32_t limit, std::vector<uint8_t> *block,
                        std::string *why);

// Appends one record to the file at path (created with its header when
// missing or empty), under an exclusive lock of the file so that writers of
// several processes do not interleave. 0, or -1 with the reason in *why.
int rcPlnFileAppend(const std::string &path, const char *sqlText, const std::vector<uint8_t> &block,
                    std::string *why);

// The query-plan step of a planned query: builds the block and appends the
// record when path is not empty. 0 written (or nothing to write), 1 when the
// record could not be written (a general warning with the reason is posted
// on errors). Takes the driver-wide lock.
int rcSpyQueryPlan(const char *path, const char *sqlText, const rcPlnStmt *planner,
                   rcErrorQueue *errors, uint32_t limit = kRcPlnBlockSize);
