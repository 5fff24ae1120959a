// Whole sorts through srtSortFiles: outputs against GNU sort, uniq, grep and
// awk on generated inputs, file organisations, runs and merges, work files,
// cancellation and the handle limit.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#if defined(__SANITIZE_ADDRESS__) && __has_include(<sanitizer/lsan_interface.h>)
#include <sanitizer/lsan_interface.h>
#define QX_TEST_LSAN 1
#else
#define QX_TEST_LSAN 0
#endif

#include "driver/sort/srtrun.h"
#include "driver/sort/srtsort.h"
#include "tests/support/temp_dir.h"

namespace {

class SrtSortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(tempDir_.Path().empty());
        dir_ = tempDir_.Str();
        work_ = dir_ + "/work/";
        ASSERT_EQ(mkdir(work_.c_str(), 0700), 0);
        srtSetCallbacks(nullptr);
    }
    void TearDown() override { srtSetCallbacks(nullptr); }

    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    void put(const std::string &name, const std::string &bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    std::string get(const std::string &name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    // Runs a shell command in the test directory and returns its output.
    std::string shell(const std::string &cmd) const
    {
        std::string full = "cd '" + dir_ + "' && export LC_ALL=C && " + cmd + " > gnu.out";
        EXPECT_EQ(std::system(full.c_str()), 0) << cmd;
        return get("gnu.out");
    }

    // Sorts with the work directory of the fixture; returns the error code.
    uint32_t sort(const std::string &in, const std::string &out, const std::string &stmt,
                  uint32_t *count = nullptr)
    {
        uint32_t n = 0, err = 0;
        std::string full = stmt + " W(" + work_ + ")";
        srtSortFiles(in.c_str(), out.c_str(), full.c_str(), &n, &err);
        if (count)
            *count = n;
        return err;
    }

    int workEntries() const
    {
        int n = 0;
        DIR *d = opendir(work_.c_str());
        while (struct dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
        return n;
    }

    qxtest::TempDir tempDir_{"srtsort"};
    std::string dir_, work_;
};

// Fixed 20-byte lines: a 3-character key from a small alphabet (many equal
// keys), the line number, a newline.
std::string fixedLines(int n, const char *alphabet, unsigned seed, bool uniquePayload = true)
{
    std::mt19937 rng(seed);
    std::string out;
    size_t k = std::strlen(alphabet);
    char line[32];
    for (int i = 0; i < n; ++i) {
        char key[4] = {alphabet[rng() % k], alphabet[rng() % k], alphabet[rng() % k], 0};
        std::snprintf(line, sizeof line, "%s %015d\n", key, uniquePayload ? i : 7);
        out += line;
    }
    return out;
}

struct GnuCase {
    const char *name;
    const char *statement;
    const char *gnu;     // command over "in" (and "in2") giving the expected output
    bool duplicateLines; // input with whole-line duplicates
};

TEST_F(SrtSortTest, OutputsMatchGnuTools)
{
    const GnuCase cases[] = {
        {"one block", "S(1,3,CHA,A) F(FIX,20)", "sort -s -k1.1,1.3 in", false},
        {"many runs and merge passes", "S(1,3,CHA,A) F(FIX,20) CORE(40)", "sort -s -k1.1,1.3 in",
         false},
        {"descending", "S(1,3,CHA,D) F(FIX,20) CORE(40)", "sort -s -r -k1.1,1.3 in", false},
        {"two keys", "S(2,2,C,D,1,1,C,A) F(FIX,20) CORE(40)", "sort -s -k1.2,1.3r -k1.1,1.1 in",
         false},
        {"BIN", "S(1,3,BIN,A) F(FIX,20)", "sort -s -k1.1,1.3 in", false},
        {"ALP folds case", "S(1,3,ALP,A) F(FIX,20) CORE(40)", "sort -s -f -k1.1,1.3 in", false},
        {"whole record", "S(1,19,C,A) F(FIX,20)", "sort in", true},
        {"DUPO on key", "S(1,3,C,A) F(FIX,20) DUPO(1,3) CORE(40)", "sort -s -u -k1.1,1.3 in",
         false},
        {"DUPO whole", "S(1,19,C,A) F(FIX,20) DUPO", "sort in | uniq", true},
        {"DUPE", "S(1,19,C,A) F(FIX,20) DUPE", "sort in | uniq -u", true},
        {"DUPI", "S(1,19,C,A) F(FIX,20) DUPI CORE(40)", "sort in | uniq -D", true},
        {"DUPC", "S(1,3,C,A) F(FIX,20) DUPO(1,3) OUTR(DUPC,1,4)",
         "cut -c1-3 in | sort | uniq -c | awk '{printf \"%07d%s \", $1, $2}'", false},
        {"INCL", "INCL(1,1,CHA,EQ,\"A\") S(1,3,C,A) F(FIX,20)", "grep '^A' in | sort -s -k1.1,1.3",
         false},
        {"INCL OR", "INCL((1,1,CHA,EQ,\"A\") OR (1,1,CHA,EQ,\"B\")) S(1,3,C,A) F(FIX,20) CORE(40)",
         "grep '^[AB]' in | sort -s -k1.1,1.3", false},
        {"OMIT", "OMIT(1,1,CHA,EQ,\"A\") S(1,3,C,A) F(FIX,20) CORE(40)",
         "grep -v '^A' in | sort -s -k1.1,1.3", false},
        {"INCL without SORT", "INCL(2,1,CHA,EQ,\"B\") F(FIX,20) CORE(40)", "grep '^.B' in", false},
        {"OUTR", "OUTR(1,4,CRLF) S(1,3,C,A) F(FIX,20)",
         "sort -s -k1.1,1.3 in | awk '{printf \"%s \\r\\n\", substr($0,1,3)}'", false},
        {"LIMI", "LIMI(100) S(1,3,C,A) F(FIX,20)", "head -n 100 in | sort -s -k1.1,1.3", false},
        {"ORIG", "ORIG(100) S(1,3,C,A) F(FIX,20) CORE(40)", "tail -n +100 in | sort -s -k1.1,1.3",
         false},
        {"two inputs", "S(1,3,C,A) F(FIX,20) CORE(40)", "cat in in2 | sort -s -k1.1,1.3", false},
        {"record numbers through runs", "S(1,3,C,D) F(FIX,20) CORE(40) OUTR(ARRN,CRLF)",
         "sort -s -r -k1.1,1.3 in | awk '{printf \"%07d\\r\\n\", $2 + 1}'", false},
    };
    for (const GnuCase &c : cases) {
        SCOPED_TRACE(c.name);
        put("in", c.duplicateLines
                      ? fixedLines(3000, "ABC", 1, false) + fixedLines(300, "ABCDEFGH", 2)
                      : fixedLines(6000, "ABCDEF", 3));
        put("in2", fixedLines(2000, "ABCDEF", 4));
        std::string inputs = path("in");
        if (std::string(c.name) == "two inputs")
            inputs.append(1, '+').append(path("in2"));
        std::string ci = std::string(c.name) == "ALP folds case" ? "aAbBcC" : "";
        if (!ci.empty())
            put("in", fixedLines(6000, ci.c_str(), 5));
        ASSERT_EQ(sort(inputs, path("out"), c.statement), 0u);
        std::string expected = shell(c.gnu);
        if (std::string(c.name) == "DUPC") {
            // DUPC output is one 11-byte record per key; awk printed a blank
            // where the key's fourth byte (a blank) goes.
            EXPECT_EQ(get("out"), expected);
        } else {
            EXPECT_EQ(get("out"), expected);
        }
        EXPECT_EQ(workEntries(), 0);
    }
}

TEST_F(SrtSortTest, TextAndDelimitedRecordsMatchGnuSort)
{
    std::mt19937 rng(11);
    std::string text, csv;
    for (int i = 0; i < 3000; ++i) {
        std::string word(1 + rng() % 6, 'a');
        for (char &ch : word)
            ch = static_cast<char>('a' + rng() % 3);
        text += word + "\r\n";
        csv += std::to_string(i % 7) + "," + word + "," + std::to_string(i) + "\r\n";
    }
    put("in", text);
    ASSERT_EQ(sort(path("in"), path("out"), "S(1,Z,CHA,A) CORE(40)"), 0u);
    EXPECT_EQ(get("out"), shell("sort -s in"));
    put("in", csv);
    ASSERT_EQ(sort(path("in"), path("out"), "S(#2,CHA,D,#1,C,A) CORE(40)"), 0u);
    EXPECT_EQ(get("out"), shell("sort -s -t, -k2,2r -k1,1 in"));
    // SUM on a text key: awk adds up the same amounts.
    std::string sums;
    for (int i = 0; i < 500; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "%c %8.2f\r\n", "XYZ"[rng() % 3], (rng() % 10000) / 100.0);
        sums += line;
    }
    put("in", sums);
    ASSERT_EQ(sort(path("in"), path("out"), "S(1,1,C,A) SUM(3,8,NUM)"), 0u);
    EXPECT_EQ(get("out"),
              shell("awk '{s[$1]+=$2} END {for (k in s) printf \"%s %8.2f\\r\\n\", k, s[k]}' in"
                    " | sort"));
}

TEST_F(SrtSortTest, EqualKeysKeepInputOrderAcrossMerges)
{
    // Two distinct keys only, so almost every comparison is a tie.
    put("in", fixedLines(8000, "AB", 9));
    ASSERT_EQ(sort(path("in"), path("out"), "S(1,1,C,D) F(FIX,20) CORE(40)"), 0u);
    EXPECT_EQ(get("out"), shell("sort -s -r -k1.1,1.1 in"));
    SrtStats stats = srtLastStats();
    EXPECT_GT(stats.runsWritten, 4u);
    EXPECT_GT(stats.mergedRuns, 1u); // several merge passes
}

TEST_F(SrtSortTest, LineRecordsWithAnyTerminatorMatchGnuSort)
{
    // GP with a line feed as terminator cuts records as GNU sort cuts lines;
    // long lines make records straddle block boundaries.
    std::mt19937 rng(23);
    std::string text;
    for (int i = 0; i < 4000; ++i) {
        std::string line(1 + rng() % 40, 'x');
        for (char &ch : line)
            ch = static_cast<char>('a' + rng() % 4);
        text += line + "\n";
    }
    put("in", text);
    ASSERT_EQ(sort(path("in"), path("out"), "S(2,3,C,D) F(GP,(10),(26)) CORE(40)"), 0u);
    EXPECT_EQ(get("out"), shell("sort -s -r -k1.2,1.4 in"));
    EXPECT_GT(srtLastStats().runsWritten, 1u);
    // Keys at and beyond the end of short lines: the line end is no part of
    // a field, so a line that ends where the key starts ties with a shorter
    // one, as in GNU sort.
    text.clear();
    for (int i = 0; i < 2000; ++i)
        text += std::string(rng() % 5, "ab"[rng() % 2]) + "\n";
    put("in", text);
    ASSERT_EQ(sort(path("in"), path("out"), "S(3,2,C,A) F(GP,(10),(26))"), 0u);
    EXPECT_EQ(get("out"), shell("sort -s -k1.3,1.4 in"));
}

TEST_F(SrtSortTest, MemoryDivision)
{
    put("in", fixedLines(50, "ABC", 1));
    // One block: straight to the output, no run file.
    ASSERT_EQ(sort(path("in"), path("out"), "S(1,3,C,A) F(FIX,20) CORE(256)"), 0u);
    EXPECT_EQ(srtLastStats().runsWritten, 0u);
    EXPECT_EQ(srtLastStats().core, 256u);
    // A CORE too small for a record of fixed length is raised to 2000.
    ASSERT_EQ(sort(path("in"), path("out"), "S(1,3,C,A) F(FIX,20) CORE(1)"), 0u);
    EXPECT_EQ(srtLastStats().core, 2000u);
    EXPECT_EQ(get("out"), shell("sort -s -k1.1,1.3 in"));
    // Without a record length there is nothing to raise it for.
    EXPECT_EQ(sort(path("in"), path("out"), "S(1,3,C,A) CORE(1)"), 225u);
    EXPECT_EQ(workEntries(), 0);
}

TEST_F(SrtSortTest, MergeIoGrowsAsNLogN)
{
    const int records = 20000;
    put("in", fixedLines(records, "ABCDEFGHIJ", 12));
    ASSERT_EQ(sort(path("in"), path("out"), "S(1,3,C,A) F(FIX,20) CORE(40)"), 0u);
    SrtStats s = srtLastStats();
    ASSERT_GT(s.runsWritten, s.fanIn);
    int passes = 0;
    for (uint64_t runs = s.runsWritten; runs > s.fanIn; runs = (runs + s.fanIn - 1) / s.fanIn)
        ++passes;
    // Every pass (run formation included) rewrites each 32-byte run record once.
    EXPECT_LE(s.runBytes, uint64_t(records) * 32 * (passes + 1));
    EXPECT_EQ(get("out"), shell("sort -s -k1.1,1.3 in"));
}

TEST_F(SrtSortTest, SameFileAsInputAndOutput)
{
    put("in", fixedLines(5000, "ABCDEF", 13));
    std::string expected = shell("sort -s -k1.1,1.3 in");
    uint32_t count = 0;
    ASSERT_EQ(sort(path("in"), path("in"), "S(1,3,C,A) F(FIX,20) CORE(40)", &count), 0u);
    EXPECT_EQ(count, 5000u);
    EXPECT_EQ(get("in"), expected);
    // Not allowed when records are selected or laid out.
    EXPECT_EQ(sort(path("in"), path("in"), "S(1,3,C,A) F(FIX,20) INCL(1,1,C,EQ,\"A\")"), 211u);
    EXPECT_EQ(sort(path("in"), path("in"), "F(FIX,20)"), 211u);
}

struct OrgCase {
    const char *name;
    const char *statement;
    std::string input;
    std::string output;
};

TEST_F(SrtSortTest, FileOrganisations)
{
    std::string db3Header(33, '\0');
    db3Header[0] = 3;
    db3Header[4] = 2;  // record count
    db3Header[8] = 33; // header length
    db3Header[10] = 4; // record length
    db3Header[32] = 0x0D;
    std::string db3Out = db3Header;
    db3Out[4] = 2;
    std::string cvsHeader(128, 'h');
    cvsHeader[56] = 0;
    cvsHeader[57] = 16; // 2-byte record headers
    const OrgCase cases[] = {
        {"FIX", "S(1,2,C,A) F(FIX,8)", "cc000001bb000002aa000003", "aa000003bb000002cc000001"},
        {"TXT", "S(1,1,CHA,A)", "b\r\na\r\n", "a\r\nb\r\n"},
        {"TXT end mark", "S(1,1,CHA,A)", "b\r\na\r\n\x1aignored", "a\r\nb\r\n\x1a"},
        {"TXT last line unterminated", "S(1,1,CHA,A)", "b\r\na", "a\r\nb\r\n"},
        {"TXT unterminated line before its end mark", "S(1,1,CHA,A)", "b\r\na\x1a",
         "a\r\nb\r\n\x1a"},
        {"GP last record unterminated", "S(1,1,C,A) F(GP,(59),(33,33))", "c;b", "b;c;"},
        {"FE", "S(1,2,C,D) F(FE,35) RECO(3)", "ab1cd2ef3#zz", "ef3cd2ab1#"},
        {"VS", "S(1,2,C,A) F(VS)", std::string("\x03\0zzz\x01\0a\x02\0mm", 12),
         std::string("\x01\0a\x02\0mm\x03\0zzz", 12)},
        {"RV one-byte prefix", "S(2,1,C,A) F(RV)",
         std::string("HH\x05\0\x01zy\x01"
                     "ax",
                     10),
         std::string("HH\x05\0\x01"
                     "ax\x01zy",
                     10)},
        {"CVS", "S(3,1,C,A) F(CVS)", cvsHeader + std::string("\0\x02zz\0\x01y\0", 8),
         cvsHeader + std::string("\0\x01y\0\0\x02zz", 8)},
        {"GP", "S(1,1,C,A) F(GP,(59),(33,33))", "c;b;a;!!junk", "a;b;c;!!"},
        {"PRE", "S(1,1,C,A) F(PRE,2) INCL(1,1,C,NE,\"b\")", "cxbyaz", std::string("azcx\0\0", 6)},
        {"DB3", "S(2,3,C,A) F(DB3)", db3Header + " ccc bbb\x1a", db3Out + " bbb ccc\x1a"},
        {"BYPA keeps header", "S(1,2,C,A) F(FIX,2) BYPA(3,R)", "HDRzzaa", "HDRaazz"},
        {"BYPA drops header", "S(1,2,C,A) F(FIX,2) BYPA(3,D)", "HDRzzaa", "aazz"},
        {"ADDR", "S(1,1,C,A) F(FIX,1) ADDR(RRN)", "ba", std::string("\x02\0\0\0\x01\0\0\0", 8)},
        {"KEYO", "S(2,1,C,A) F(FIX,2) KEYO(RRN)", "xbya",
         std::string("\x02\0\0\0a\x01\0\0\0b", 10)},
        {"RBA", "S(1,1,C,A) F(FIX,2) OUTR(RBA)", "b1a2", std::string("\x02\0\0\0\0\0\0\0", 8)},
        {"EBCDIC literal", "F(FIX,1) OUTR(\"&EAz1\")", "x", "\xC1\xA9\xF1"},
        {"EBCDIC SUM", "S(1,1,C,A) F(FIX,3) SUM(2,2)",
         "A\xF0\xF5"
         "B\xF0\xF1"
         "A\xF1\xF2",
         "A\xF1\xF7"
         "B\xF0\xF1"},
        {"DUPC minimum", "S(1,1,C,A) F(FIX,2) DUPO(1,1) OUTR(DUPC(2),1,1)", "a1b1a2c1c2c3",
         "0000002a0000003c"},
        {"OUTR items", "S(1,1,C,A) F(FIX,2) OUTR(2,1,RECL,ARRN,&H2D2D,2,E)", "b1a2",
         std::string("2\x02\0"
                     "0000002--2"
                     "1\x02\0"
                     "0000001--1",
                     26)},
    };
    for (const OrgCase &c : cases) {
        SCOPED_TRACE(c.name);
        put("in", c.input);
        uint32_t err = sort(path("in"), path("out"), c.statement);
        ASSERT_EQ(err, 0u);
        EXPECT_EQ(get("out"), c.output);
        EXPECT_EQ(workEntries(), 0);
    }
}

TEST_F(SrtSortTest, ErrorsOfACallAndCleanWorkDirectory)
{
    put("in", fixedLines(100, "AB", 1));
    put("long", std::string(50000, 'x') + "\r\n");
    put("sums", "A 9\r\nA 5\r\n");
    const struct {
        const char *name;
        std::string in;
        const char *statement;
        uint32_t error;
    } cases[] = {
        {"no input", "", "S(1,1,C,A) F(FIX,20)", 213},
        {"missing input", path("missing"), "S(1,1,C,A) F(FIX,20)", 214},
        {"record cut short", path("in"), "S(1,1,C,A) F(FIX,21)", 216},
        {"record too long", path("long"), "S(1,1,C,A) CORE(40)", 245},
        {"sum too wide", path("sums"), "S(1,1,C,A) SUM(3,1)", SRT_ERR_SUM_OVERFLOW},
        {"duplicate buffer", path("in"), "S(1,1,C,A) F(FIX,20) DUPO(B 10)", 256},
        {"bad statement", path("in"), "S(1,1,C,X)", 209},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sort(c.in, path("out"), c.statement), c.error);
        EXPECT_EQ(workEntries(), 0);
    }
    uint32_t count = 0, err = 0;
    srtSortFiles(path("in").c_str(), path("out").c_str(), "S(1,1,C,A) F(FIX,20) W(/nonexistent/)",
                 &count, &err);
    EXPECT_EQ(err, 329u);
}

// A sort killed with its process leaves its work directory; the next sort
// in that place removes it, and only it.
TEST_F(SrtSortTest, WorkDirectoryOfAKilledProcessIsRemovedByTheNextSort)
{
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child); // its pid now names no process
    const std::string dead = work_ + "qxsort" + std::to_string(child) + "_aB3dE9";
    const std::string live = work_ + "qxsort" + std::to_string(getppid()) + "_xY7zQ1";
    const std::string alike = work_ + "qxsort" + std::to_string(child) + "_short";
    for (const std::string &d : {dead, live, alike}) {
        ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
        std::ofstream(d + "/run1", std::ios::binary) << "left over";
    }
    put("in", fixedLines(50, "AB", 2));
    EXPECT_EQ(sort(path("in"), path("out"), "S(1,3,C,A) F(FIX,20)"), 0u);
    struct stat st;
    EXPECT_NE(stat(dead.c_str(), &st), 0);
    EXPECT_EQ(stat(live.c_str(), &st), 0);
    EXPECT_EQ(stat(alike.c_str(), &st), 0);
    EXPECT_EQ(workEntries(), 2);
}

std::atomic<int> probes{0};
int cancelAfterFive(void *) { return ++probes > 5; }

TEST_F(SrtSortTest, CancelStopsTheSortAndLeavesNoWorkFile)
{
    put("in", fixedLines(20000, "ABCDEF", 3));
    SrtCallbacks cb;
    cb.cancelled = cancelAfterFive;
    srtSetCallbacks(&cb);
    probes = 0;
    EXPECT_EQ(sort(path("in"), path("out"), "S(1,3,C,A) F(FIX,20) CORE(40)"), SRT_ERR_CANCELLED);
    EXPECT_GT(srtLastStats().runsWritten, 0u); // stopped with runs on disk
    EXPECT_EQ(workEntries(), 0);
}

TEST_F(SrtSortTest, FewerThanFourHandlesFails)
{
    put("in", fixedLines(10, "AB", 1));
    std::string in = path("in"), out = path("out");
    std::string stmt = "S(1,1,C,A) F(FIX,20) W(" + work_ + ")";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        struct rlimit rl = {64, 64};
        setrlimit(RLIMIT_NOFILE, &rl);
        std::vector<int> fds;
        for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;)
            fds.push_back(fd);
        for (int i = 0; i < 3 && !fds.empty(); ++i) {
            close(fds.back());
            fds.pop_back();
        }
        uint32_t count = 0, err = 0;
        srtSortFiles(in.c_str(), out.c_str(), stmt.c_str(), &count, &err);
        _exit(err == 330 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(workEntries(), 0);
}

TEST_F(SrtSortTest, ConcurrentSortsInOneWorkDirectoryDoNotShareFiles)
{
    put("a", fixedLines(6000, "ABCDEF", 21));
    put("b", fixedLines(6000, "UVWXYZ", 22));
    uint32_t errA = 1, errB = 1;
    std::thread t([&] { errA = sort(path("a"), path("outa"), "S(1,3,C,A) F(FIX,20) CORE(40)"); });
    errB = sort(path("b"), path("outb"), "S(1,3,C,A) F(FIX,20) CORE(40)");
    t.join();
    EXPECT_EQ(errA, 0u);
    EXPECT_EQ(errB, 0u);
    EXPECT_EQ(get("outa"), shell("sort -s -k1.1,1.3 a"));
    EXPECT_EQ(get("outb"), shell("sort -s -k1.1,1.3 b"));
    EXPECT_EQ(workEntries(), 0);
}

TEST_F(SrtSortTest, PathsWithBlanksAndPlus)
{
    std::string sub = dir_ + "/a dir+x/";
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    std::string in = sub + "in put.dat";
    std::ofstream(in, std::ios::binary) << fixedLines(2000, "ABC", 5);
    put("in", fixedLines(2000, "ABC", 5));
    std::string stmt = "S(1,3,C,A) F(FIX,20) CORE(40) W(\"" + sub + "\")";
    uint32_t count = 0, err = 0;
    std::string quoted = "\"" + in + "\"";
    srtSortFiles(quoted.c_str(), (" " + sub + "out put.dat ").c_str(), stmt.c_str(), &count, &err);
    ASSERT_EQ(err, 0u);
    EXPECT_EQ(count, 2000u);
    std::ifstream res(sub + "out put.dat", std::ios::binary);
    std::stringstream ss;
    ss << res.rdbuf();
    EXPECT_EQ(ss.str(), shell("sort -s -k1.1,1.3 in"));
    // Unquoted, a list that as a whole names a file is that file.
    srtSortFiles(in.c_str(), (sub + "again").c_str(), stmt.c_str(), &count, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(count, 2000u);
}

int32_t engineInt(const unsigned char *p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Engine comparison stand-in: NULL first, then 4-byte integers.
int engineCompare(void *, int, int nullA, const unsigned char *a, int nullB, const unsigned char *b,
                  size_t)
{
    if (nullA || nullB)
        return nullA && nullB ? 0 : nullA ? -1 : 1;
    int32_t x = engineInt(a), y = engineInt(b);
    return x < y ? -1 : x > y;
}

// Binary key types and the engine's types through runs and merges, against a
// reference order computed here from the decoded values.
TEST_F(SrtSortTest, BinaryAndEngineKeysMatchAReferenceOrder)
{
    SrtCallbacks cb;
    cb.valueCompare = engineCompare;
    srtSetCallbacks(&cb);
    std::mt19937 rng(17);
    struct Row {
        std::string bytes;
        int64_t key;
        bool null;
    };
    // Record: 4-byte indicator, 4-byte value, 4-byte sequence number.
    const struct {
        const char *statement;
        int kind; // 0 INT LE signed, 1 W LE unsigned, 2 FI BE signed, 3 E float, 4 XDT engine
        bool descending;
    } cases[] = {
        {"S(5,4,INT,A) F(FIX,12) CORE(40)", 0, false}, {"S(5,4,W,D) F(FIX,12) CORE(40)", 1, true},
        {"S(5,4,FI,A) F(FIX,12) CORE(40)", 2, false},  {"S(5,4,E,D) F(FIX,12) CORE(40)", 3, true},
        {"S(5,4,XDT,A) F(FIX,12) CORE(40)", 4, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.statement);
        std::vector<Row> rows;
        std::string input;
        for (uint32_t i = 0; i < 6000; ++i) {
            unsigned char b[12] = {};
            int32_t v = static_cast<int32_t>(rng() % 200) - 100;
            bool null = c.kind == 4 && rng() % 10 == 0;
            b[0] = null;
            int64_t key = v;
            if (c.kind == 0 || c.kind == 4)
                std::memcpy(b + 4, &v, 4);
            if (c.kind == 1) {
                uint32_t u = static_cast<uint32_t>(v) * 2654435761u;
                std::memcpy(b + 4, &u, 4);
                key = u;
            }
            if (c.kind == 2)
                for (int k = 0; k < 4; ++k)
                    b[4 + k] = static_cast<unsigned char>(uint32_t(v) >> (24 - 8 * k));
            if (c.kind == 3) {
                float f = static_cast<float>(v) / 4;
                std::memcpy(b + 4, &f, 4);
            }
            std::memcpy(b + 8, &i, 4);
            rows.push_back({std::string(reinterpret_cast<char *>(b), 12), key, null});
            input += rows.back().bytes;
        }
        std::stable_sort(rows.begin(), rows.end(), [&](const Row &x, const Row &y) {
            if (x.null || y.null)
                return x.null != y.null && (c.descending ? y.null : x.null);
            return c.descending ? x.key > y.key : x.key < y.key;
        });
        std::string expected;
        for (const Row &r : rows)
            expected += r.bytes;
        put("in", input);
        ASSERT_EQ(sort(path("in"), path("out"), c.statement), 0u);
        std::string got = get("out");
        ASSERT_EQ(got.size(), expected.size());
        size_t diff = 0;
        while (diff < got.size() && got[diff] == expected[diff])
            ++diff;
        EXPECT_EQ(diff, got.size()) << "first difference in record " << diff / 12;
        EXPECT_GT(srtLastStats().runsWritten, 1u);
    }
}

TEST_F(SrtSortTest, RecordCallSortsRecordByRecord)
{
    std::string stmt = "S(1,2,C,D) CORE(40) W(" + work_ + ")";
    uint32_t len = static_cast<uint32_t>(stmt.size()), err = 0;
    srtRecordCall(1, reinterpret_cast<unsigned char *>(stmt.data()), &len, &err);
    ASSERT_EQ(err, 0u);
    std::mt19937 rng(3);
    std::vector<std::string> records;
    for (int i = 0; i < 5000; ++i) {
        std::string r = std::string(1, static_cast<char>('a' + rng() % 5)) +
                        static_cast<char>('a' + rng() % 5) + std::to_string(i);
        records.push_back(r);
        len = static_cast<uint32_t>(r.size());
        srtRecordCall(2, reinterpret_cast<unsigned char *>(r.data()), &len, &err);
        ASSERT_EQ(err, 0u);
    }
    std::stable_sort(
        records.begin(), records.end(),
        [](const std::string &a, const std::string &b) { return a.substr(0, 2) > b.substr(0, 2); });
    unsigned char buf[64];
    for (const std::string &want : records) {
        if (&want == &records[0] || &want == &records[2500]) {
            // A buffer too small for the record, or none: the record stays
            // for the next call.
            len = 1;
            srtRecordCall(3, buf, &len, &err);
            ASSERT_EQ(err, 245u);
            len = sizeof buf;
            srtRecordCall(3, nullptr, &len, &err);
            ASSERT_EQ(err, 245u);
        }
        len = sizeof buf;
        srtRecordCall(3, buf, &len, &err);
        ASSERT_EQ(err, 0u);
        ASSERT_EQ(std::string(reinterpret_cast<char *>(buf), len), want);
    }
    len = sizeof buf;
    srtRecordCall(3, buf, &len, &err);
    EXPECT_EQ(err, 1u);
    srtRecordCall(2, buf, &len, &err);
    EXPECT_EQ(err, 262u);
    srtRecordCall(4, nullptr, nullptr, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(workEntries(), 0);
    srtRecordCall(2, buf, &len, &err);
    EXPECT_EQ(err, 261u);
    srtRecordCall(9, buf, &len, &err);
    EXPECT_EQ(err, 260u);
}

TEST_F(SrtSortTest, CommandLineReportsCountAndError)
{
    const char *bin = QXSORT_BIN;
    put("in", "b\r\na\r\n");
    std::string ok = std::string(bin) + " in out 'S(1,1,CHA,A) W(" + work_ + ")'";
    EXPECT_EQ(shell(ok), "records 2 error 0\n");
    EXPECT_EQ(get("out"), "a\r\nb\r\n");
    std::string bad = "cd '" + dir_ + "' && " + bin + " in out 'C(256)' > cli.out";
    int status = std::system(bad.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(get("cli.out"), "records 0 error 201\n");
}

// An application may run with a locale whose decimal point is a comma; the
// numbers of SUM fields and of E/FL constants still use a point.
TEST_F(SrtSortTest, DecimalNumbersDoNotDependOnTheLocale)
{
    locale_t comma = newlocale(LC_ALL_MASK, "de_DE.UTF-8", nullptr);
    if (!comma &&
        std::system(
            ("localedef -i de_DE -f UTF-8 '" + dir_ + "/de_DE.UTF-8' >/dev/null 2>&1").c_str()) ==
            0) {
        // The C library keeps the path list of LOCPATH for good.
        qxtest::ScopedEnv locpath("LOCPATH", dir_);
#if QX_TEST_LSAN
        __lsan_disable();
#endif
        comma = newlocale(LC_ALL_MASK, "de_DE.UTF-8", nullptr);
#if QX_TEST_LSAN
        __lsan_enable();
#endif
    }
    if (!comma)
        GTEST_SKIP() << "no locale with a decimal comma";
    locale_t previous = uselocale(comma);
    struct Case {
        const char *statement;
        std::string input, output;
    } cases[] = {
        {"S(1,1,C,A) F(FIX,6) SUM(2,5)", "a 1.25b 2.00a 1.50", "a 2.75b 2.00"},
        {"F(FIX,4) INCL(1,4,FL,GT,\"1.5\")", std::string("\0\0\0\x40\0\0\xa0\x3f\0\0\x80\x3f", 12),
         std::string("\0\0\0\x40", 4)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.statement);
        put("in", c.input);
        EXPECT_EQ(sort(path("in"), path("out"), c.statement), 0u);
        EXPECT_EQ(get("out"), c.output);
    }
    uselocale(previous);
    freelocale(comma);
}

} // namespace
