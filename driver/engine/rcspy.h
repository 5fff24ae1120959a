// Diagnostic dumps ("spy"): what the engine hands to the data module, as
// readable lines: pushed-down filter trees with their literal data
// (DrmFilterTree, DrmDataTree), retrieve lists (DrmRetrieveList), word dumps
// of any length-prefixed block, vendor-predicate arguments and the values of a
// data block.
//
// Interface:
//   rcSpyOpen() / rcSpyClose()         the process-wide spy output, switched by
//                                      the engine options PrsSpy and FiltSpy
//   rcSpySetSink(fn, context)          where lines go (default: discarded)
//   rcSpyDump(kind, data[, dataTree])  writes one dump when the output is open,
//                                      under the driver-wide lock; nothing at all
//                                      (not even formatting) while it is closed
//   rcSpyWrite(text)                   writes text as it is (when open)
//   rcSpyFormat...(...)                the lines of one dump as a string, for the
//                                      dumps above and for tests
// Lines end with "\r\n" and are built in growing strings. Every word array is
// read against its own length word: a node, child index or value offset outside
// the array is shown as a warning line, never read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Bits of a statement's engine option mask that switch the dumps: PrsSpy
// (the view merge dump) and FiltSpy (the push-down dumps).
enum : uint32_t {
    RC_SPY_OPT_PRSSPY = 0x100,
    RC_SPY_OPT_FILTSPY = 0x400,
};

using rcSpySinkFn = void (*)(void *context, const char *text, size_t length);

void rcSpyOpen();
void rcSpyClose();
bool rcSpyIsOpen();
// A null function discards the output.
void rcSpySetSink(rcSpySinkFn fn, void *context);
void rcSpyWrite(const char *text);

enum rcSpyKind : int {
    RC_SPY_FILTER_TREE = 0,   // data: DrmFilterTree words; dataTree: DrmDataTree or null
    RC_SPY_TABLE_NAME = 1,    // data: the table name
    RC_SPY_FLUSH = 2,         // hands the output to the sink's flush (nothing here)
    RC_SPY_WORDS = 3,         // data: a block whose first u32 is its length in bytes
    RC_SPY_TEXT = 4,          // data: text written as it is
    RC_SPY_RETRIEVE_LIST = 5, // data: DrmRetrieveList
};
void rcSpyDump(int kind, const void *data, const uint32_t *dataTree = nullptr);

// Longest value text shown; longer values show "Data too long to display.".
inline constexpr size_t kRcSpyMaxValueText = 64;
// Deepest filter tree shown; deeper nodes show a warning line.
inline constexpr int kRcSpyMaxDepth = 64;

std::string rcSpyFormatFilterTree(const uint32_t *filter, const uint32_t *dataTree);
std::string rcSpyFormatTableName(const char *name);
std::string rcSpyFormatWords(const uint32_t *block);
std::string rcSpyFormatRetrieveList(const uint32_t *list);

// Argument types of a vendor-predicate call block.
enum : uint32_t {
    RC_SPY_ARG_PREDNAME = 16,
    RC_SPY_ARG_COLID = 32,
    RC_SPY_ARG_LITERAL = 64,
    RC_SPY_ARG_SEPARATOR = 128,
};
struct rcSpyPredArg {
    uint32_t argType;
    uint32_t drmColType;
    uint32_t dataOffset; // in 32-bit words from the start of the data block
    uint32_t isNull;
};
// One line for an argument; block has blockWords words.
std::string rcSpyFormatPredicateArg(uint32_t predId, const rcSpyPredArg &arg, const uint32_t *block,
                                    size_t blockWords);
// The values of a data block: word 0 the count of values, then per value the
// word index of its entry {data-module type, data length, NULL flag, data...};
// blockWords bounds every read. Two lines per value (the second when not
// NULL); entries of unknown type are skipped.
std::string rcSpyFormatColumnValues(const uint32_t *block, size_t blockWords);
// The type prefix of a value node ("Long: ", "Text: " ...) and of an engine
// SQL type ("SQL_INTEGER: " ...).
const char *rcSpyDrmTypeName(uint32_t type);
