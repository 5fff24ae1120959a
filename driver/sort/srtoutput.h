// The output step: duplicate handling (DUPO, DUPE, DUPI, SUM), the output
// layout (OUTR, ADDR, KEYO) and buffered writing.
//
// Records reach SrtOutput::put in output order; finish() deals with the
// record still held by duplicate handling. SrtWriter buffers whole blocks and
// reports write failures with the codes it was given.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver/sort/srtkeys.h"

class SrtWriter {
public:
    // errFull is reported when the disk is full, errOther for other write
    // failures. framed: each record is preceded by its 4-byte length.
    SrtWriter(int fd, size_t bufferSize, uint32_t errFull, uint32_t errOther, bool framed = false);
    uint32_t write(const unsigned char *data, size_t len);
    uint32_t putRecord(const unsigned char *data, size_t len);
    uint32_t flush();
    uint64_t written() const { return total_; }
    int fd() const { return fd_; }
    void setFd(int fd) { fd_ = fd; }

private:
    int fd_;
    std::unique_ptr<unsigned char[]> buf_;
    size_t size_;
    size_t used_ = 0;
    uint64_t total_ = 0;
    uint32_t errFull_, errOther_;
    bool framed_;
};

class SrtOutput {
public:
    SrtOutput(const SrtCompare &cmp, SrtWriter &writer);
    uint32_t put(const unsigned char *rec, uint32_t len, uint64_t rrn, uint64_t rba);
    uint32_t finish();
    uint64_t count() const { return count_; }

private:
    uint32_t emit(const unsigned char *rec, uint32_t len, uint64_t rrn, uint64_t rba,
                  uint64_t group);
    bool sameGroup(const unsigned char *rec, uint32_t len) const;
    uint32_t addSums(const unsigned char *rec, uint32_t len);
    uint32_t endGroup();

    const SrtCompare &cmp_;
    const SrtSettings &s_;
    SrtWriter &writer_;
    uint64_t count_ = 0;
    std::vector<unsigned char> held_;
    bool holding_ = false;
    uint64_t heldRrn_ = 0, heldRba_ = 0, group_ = 0;
    std::vector<unsigned char> scratch_;
};

// PC character set to EBCDIC and back (an exact inverse), 256 entries each.
const unsigned char *srtToEbcdicTable();
const unsigned char *srtFromEbcdicTable();
