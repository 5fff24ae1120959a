// Internal state of the sort library: the settings parsed from a control
// statement and the helpers the parts of a sort share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/sort/srtsort.h"

// Key and field types, by their index in the type table.
enum SrtType : uint8_t {
    SRT_CHA,
    SRT_ALP,
    SRT_SU,
    SRT_SLI,
    SRT_NUM,
    SRT_STI,
    SRT_STS,
    SRT_ZD,
    SRT_T,
    SRT_INT,
    SRT_PD,
    SRT_BIN,
    SRT_ALT,
    SRT_E,
    SRT_W,
    SRT_SP,
    SRT_DP,
    SRT_FI,
    SRT_FL,
    SRT_XD,
    SRT_XBD,
    SRT_XTS,
    SRT_XTM,
    SRT_XDT,
    SRT_TYPE_COUNT
};

// File organisations, by their index in the FILE table.
enum SrtOrg : uint8_t {
    SRT_FIX,
    SRT_FE,
    SRT_TXT,
    SRT_VS,
    SRT_BT,
    SRT_RV,
    SRT_CVS,
    SRT_PRE,
    SRT_GP,
    SRT_DB3
};

constexpr uint32_t SRT_LEN_TO_END = 65535; // "Z" key length, "E" output length

// A field of a record: a byte position and length (length SRT_LEN_TO_END runs
// to the record's end), or the number of a delimited field (length 0).
struct SrtField {
    uint32_t pos = 0;
    uint32_t len = 0;
    bool numbered = false;
};

struct SrtKey {
    SrtField field;
    SrtType type = SRT_CHA;
    bool descending = false;
};

enum SrtCondKind : uint8_t { SRT_COND_CMP, SRT_COND_AND, SRT_COND_OR };
enum SrtCondOp : uint8_t {
    SRT_OP_CO,
    SRT_OP_EQ,
    SRT_OP_NE,
    SRT_OP_GT,
    SRT_OP_GE,
    SRT_OP_LT,
    SRT_OP_LE
};

// One entry of a condition in postfix order.
struct SrtCondition {
    SrtCondKind kind = SRT_COND_CMP;
    SrtField field;
    SrtType type = SRT_CHA;
    SrtCondOp op = SRT_OP_EQ;
    bool withField = false; // compare with a second field instead of a constant
    SrtField other;
    std::string constant; // converted to the field's type
};

enum SrtOutKind : uint8_t {
    SRT_OUT_FIELD,
    SRT_OUT_TO_END,
    SRT_OUT_LITERAL,
    SRT_OUT_RECL,
    SRT_OUT_RRN,
    SRT_OUT_RBA,
    SRT_OUT_CRLF,
    SRT_OUT_BTR,
    SRT_OUT_HLR,
    SRT_OUT_DUPC,
    SRT_OUT_ARRN
};

struct SrtOutItem {
    SrtOutKind kind = SRT_OUT_FIELD;
    SrtField field;    // SRT_OUT_FIELD, SRT_OUT_TO_END (position only)
    std::string bytes; // literal
};

enum SrtDupMode : uint8_t { SRT_DUP_NONE, SRT_DUP_O, SRT_DUP_E, SRT_DUP_I };

// Statement flag indices used by the combination check.
enum SrtFlag : uint8_t {
    SRT_F_ADDR,
    SRT_F_BYPA,
    SRT_F_INCL,
    SRT_F_KEYO,
    SRT_F_LIMI,
    SRT_F_OMIT,
    SRT_F_OUTR,
    SRT_F_RECCALL,
    SRT_F_RECO,
    SRT_F_SORT,
    SRT_F_ORG0,
    SRT_F_COUNT = SRT_F_ORG0 + 10
};

// Everything a control statement sets.
struct SrtSettings {
    bool flags[SRT_F_COUNT] = {};
    bool merge = false; // MERG rather than SORT
    std::vector<SrtKey> keys;
    SrtOrg org = SRT_TXT;
    uint32_t recordLength = 0;
    uint32_t core = 2000; // kilobytes
    unsigned char delimiter = ',';
    unsigned char quote = '"';
    unsigned char endChar = 26;
    std::string workDir;
    std::vector<SrtCondition> conditions;
    bool omit = false;                // conditions are OMIT rather than INCL
    std::vector<SrtOutItem> outItems; // OUTR, or ADDR/KEYO turned into items
    bool layout = false;              // outItems replace the record
    std::vector<SrtField> sumFields;
    bool sum = false;
    SrtDupMode dupMode = SRT_DUP_NONE;
    std::vector<SrtField> dupFields;
    uint32_t dupBuffer = 1000;
    uint32_t dupcMin = 1; // DUPC(n): smallest group DUPO writes
    uint64_t limit = 0;   // LIMI/LAST, 0 = none
    uint64_t origin = 0;  // ORIG, 0 = none
    bool bypass = false;
    uint64_t bypassBytes = 0; // 0 with bypass: one record length
    bool bypassKeep = true;
    std::vector<unsigned char> gpTerminator;
    std::vector<unsigned char> gpEnd;
    std::string altsFile;
    unsigned char altWeights[256] = {};
    bool haveAlts = false;
    bool needRba = false; // an output item needs the byte address
};

// Parses a control statement into settings (starting from the defaults).
// recordCall: the statement begins a record-at-a-time sort. Returns 0 or the
// error code.
uint32_t srtParseControl(const char *text, size_t length, bool recordCall,
                         const SrtCallbacks &callbacks, SrtSettings &settings);

// The process-wide callbacks, copied.
SrtCallbacks srtCurrentCallbacks();
