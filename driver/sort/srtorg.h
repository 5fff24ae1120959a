// File organisations: how the input is cut into records and how the output
// is finished. Each organisation has a preparation (run once, on the first
// input), a record rule and a finishing step.
#pragma once

#include <string>
#include <vector>

#include "driver/sort/srtoutput.h"

struct SrtFormat {
    uint64_t skip = 0;       // bytes skipped at the start of every input file
    bool keepHeader = false; // the skipped bytes of the first input start the output
    std::string header;
    uint32_t rvPrefix = 1;  // RV: width of the length prefix
    uint32_t cvsHeader = 2; // CVS: width of the record header
    uint64_t preSize = 0;   // PRE: size of the first input
    bool endSeen = false;   // an input ended with its end-of-data mark
};

enum SrtRule { SRT_REC_OK, SRT_REC_INCOMPLETE, SRT_REC_END, SRT_REC_BAD };

// Reads what the organisation needs from the first input. May set the
// record length (DB3). Returns 0 or an error code.
uint32_t srtOrgPrepare(SrtSettings &s, const std::vector<std::string> &inputs, SrtFormat &f);

// Finds the record at p (avail bytes there; atEof: no more bytes follow in
// this file). SRT_REC_OK sets len.
SrtRule srtOrgRecord(const SrtSettings &s, const SrtFormat &f, const unsigned char *p, size_t avail,
                     bool atEof, size_t &len);

// Writes the kept header at the start of the output.
uint32_t srtOrgStart(const SrtFormat &f, SrtWriter &out);

// Writes the organisation's closing bytes and flushes; count is the number of
// records written.
uint32_t srtOrgFinish(const SrtSettings &s, const SrtFormat &f, SrtWriter &out, uint64_t count);
