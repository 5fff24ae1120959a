// Blocks, runs and merging.
//
// Order of calls for one sort: SrtWorkDir::create, SrtSorter::allocate, then
// per block: fill buffer()/add() until the block is full, endBlock();
// finally merge() when runs were written. The work directory removes every
// file it holds when it is destroyed.
//
// A block is sorted in memory by its descriptors (an 8-byte key prefix first,
// then the full key comparison, then the relative record number, so equal
// keys keep their input order). A block that is the whole input goes straight
// to the output; otherwise each block becomes a run file. Runs are merged
// with a heap, fan-in F at most, oldest first, each merge appending its
// result as a new run, until F or fewer are left; the last merge writes the
// output. Every record is thus rewritten about log_F(runs) times.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/sort/srtoutput.h"

class SrtWorkDir {
public:
    ~SrtWorkDir();
    // Makes a private directory under base (which ends in "/" or is empty
    // for the temporary directory). 0 or 210.
    uint32_t create(const std::string &base);
    std::string path(const std::string &name) const;
    // Removes every file in the directory and the directory. 0 or 312.
    uint32_t remove();
    const std::string &dir() const { return dir_; }

private:
    std::string dir_;
};

struct SrtDesc {
    uint64_t prefix;
    uint64_t rrn;
    uint64_t rba;
    uint32_t off;
    uint32_t len;
};

struct SrtRun {
    std::string path;
    uint64_t records = 0;
};

class SrtSorter {
public:
    SrtSorter(const SrtCompare &cmp, SrtWorkDir &work, std::function<bool()> cancelled);
    ~SrtSorter();

    // Record buffer of bufferBytes, room for descCount descriptors; merges
    // use at most fanIn runs at a time and mergeBytes of buffers.
    uint32_t allocate(size_t bufferBytes, size_t descCount, uint32_t fanIn, size_t mergeBytes);

    unsigned char *buffer() { return buf_.get(); }
    size_t capacity() const { return cap_; }
    bool descFull() const { return descs_.size() >= descCap_; }
    size_t records() const { return descs_.size(); }
    void add(uint32_t off, uint32_t len, uint64_t rrn, uint64_t rba);

    // Sorts the block and writes it: to direct when it is the last block and
    // no run was written, else as a new run. Clears the descriptors.
    uint32_t endBlock(bool lastBlock, SrtOutput *direct);
    bool hasRuns() const { return !runs_.empty(); }
    // Merges every run into out.
    uint32_t merge(SrtOutput &out);

private:
    size_t writerBytes() const;
    uint32_t writeRun(const std::vector<SrtRun> &inputs, SrtRun &run);
    uint32_t mergeInto(const std::vector<SrtRun> &inputs, SrtOutput *out, SrtWriter *runOut);

    const SrtCompare &cmp_;
    SrtWorkDir &work_;
    std::function<bool()> cancelled_;
    std::unique_ptr<unsigned char[]> buf_;
    size_t cap_ = 0;
    std::vector<SrtDesc> descs_;
    size_t descCap_ = 0;
    uint32_t fanIn_ = 2;
    size_t mergeBytes_ = 0;
    std::vector<SrtRun> runs_;
    unsigned runCounter_ = 0;
};

// Figures of the last sort of this process, for tests.
struct SrtStats {
    uint64_t runsWritten = 0; // runs made from blocks
    uint64_t mergedRuns = 0;  // runs made by intermediate merges
    uint64_t runBytes = 0;    // bytes written to run files
    uint32_t workFiles = 0;   // file handles found by the probe
    uint32_t fanIn = 0;
    uint32_t core = 0; // CORE in effect, kilobytes
};
SrtStats srtLastStats();
void srtSetStats(const SrtStats &stats);
SrtStats &srtCurrentStats();
