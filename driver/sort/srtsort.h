// External sort library: sorts or merges record files on disk, driven by a
// textual control statement.
//
// Calls:
//   srtSetCallbacks(cb)   optional, before a sort: the engine's cancel probe
//                         and the comparisons of the engine's key types.
//   srtSortFiles(in, out, statement, &count, &error)
//                         one whole sort: parse the statement, read the input
//                         files in blocks, sort each block in memory, write
//                         runs to private work files, merge them into the
//                         output. error 0 is success; count is the number of
//                         records written.
//   srtRecordCall(fn, ...) record-at-a-time: 1 begin (control statement),
//                         2 put one record, 3 end input / get the next sorted
//                         record (again and again), 4 finish.
//
// Work files live in a directory made for each call under the WORK directory
// (default: $TMPDIR, else /tmp) and are all removed when the call ends,
// whether it succeeded, failed or was cancelled.
#pragma once

#include <cstddef>
#include <cstdint>

// Callbacks into the engine. Each receives the context pointer given with
// them. Any of them may be null: without a cancel probe a sort is never
// cancelled; without a string comparison CHA and SU compare bytes; without a
// value comparison the key types XD, XBD, XTS, XTM and XDT are refused (204).
struct SrtCallbacks {
    // Non-zero when the caller's statement has been cancelled.
    int (*cancelled)(void *context) = nullptr;
    // Engine string comparison of a and b over len bytes: <0, 0, >0.
    int (*stringCompare)(void *context, const unsigned char *a, const unsigned char *b,
                         size_t len) = nullptr;
    // Engine value comparison of two values of SQL type sqlType (32020 scaled
    // 64-bit, 32021 38-digit decimal, 11 timestamp, 10 time, 9 date); isNullA
    // and isNullB are the values' NULL indicators (0 = not NULL): <0, 0, >0.
    int (*valueCompare)(void *context, int sqlType, int isNullA, const unsigned char *a,
                        int isNullB, const unsigned char *b, size_t len) = nullptr;
    void *context = nullptr;
};

// Installs the callbacks for the following sorts (copied); null removes them.
__attribute__((visibility("default"))) void srtSetCallbacks(const SrtCallbacks *callbacks);

// Sorts the files named by inputNames (separated by blanks or "+"; a name in
// double quotes may hold either) into outputName as the control statement
// says. All three texts are zero-terminated.
__attribute__((visibility("default"))) void srtSortFiles(const char *inputNames,
                                                         const char *outputName,
                                                         const char *statement,
                                                         uint32_t *recordCount, uint32_t *error);

// The same with explicit lengths; the mode word is kept with the call's state
// and not otherwise used.
__attribute__((visibility("default"))) void
srtSortFilesLen(uint32_t mode, const char *inputNames, size_t inputLength, const char *outputName,
                size_t outputLength, const char *statement, size_t statementLength,
                uint32_t *recordCount, uint32_t *error);

// Record-at-a-time interface. function 1: data is the control statement and
// *length its length; 2: data is one record of *length bytes; 3: first call
// ends the input, every call copies the next sorted record into data (buffer
// of *length bytes on entry, record length on return) and sets *error to 1
// when none is left; 4: ends the sort and deletes its work files.
__attribute__((visibility("default"))) void srtRecordCall(int function, unsigned char *data,
                                                          uint32_t *length, uint32_t *error);

// Error codes beyond those of the control statement language that this
// library adds.
enum : uint32_t {
    SRT_ERR_SUM_OVERFLOW = 258, // a SUM result does not fit the width of its field
    SRT_ERR_CANCELLED = 350,    // the cancel probe stopped the sort
};
