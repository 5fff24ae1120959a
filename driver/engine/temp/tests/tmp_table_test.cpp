// Temporary tables: layout, storing and reading back across growth, spill
// and read windows, limits of text values, positioning, file failures.
#include "driver/engine/temp/tests/tmp_fixture.h"

#include "driver/core/rccnv.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcnum.h"
#include "driver/core/rcregistry.h"
#include "driver/engine/temp/rcsrtfile.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

namespace {

struct ColumnSpec {
    int16_t sqlType;
    int32_t length;
};

// One column of every storage type, and the other SQL types that map to them.
const ColumnSpec kAllTypes[] = {
    {SQL_INTEGER, 4},       {SQL_SMALLINT, 2},      {SQL_BIT, 1},        {SQL_C_UTINYINT, 1},
    {SQL_DOUBLE, 8},        {SQL_REAL, 4},          {SQL_FLOAT, 8},      {SQL_CHAR, 10},
    {SQL_VARCHAR, 40},      {SQL_LONGVARCHAR, 300}, {SQL_BINARY, 8},     {SQL_VARBINARY, 20},
    {SQL_DATE, 6},          {SQL_TIME, 6},          {SQL_TIMESTAMP, 16}, {RC_SQL_SCALED64, 8},
    {RC_SQL_DECIMAL38, 38},
};

// A value as put (in the C form of its type) and as it must read back (the
// stored form).
struct Cell {
    bool isNull = false;
    std::string input;  // bytes handed to rcTmpPutColumnLen
    int32_t length = 0; // length argument
    std::string stored; // expected stored bytes (text: without terminator)
};

template <typename T>
std::string bytesOf(const T &v)
{
    return std::string(reinterpret_cast<const char *>(&v), sizeof v);
}

std::string randomText(std::mt19937 &rng, size_t maxLen)
{
    static const char alphabet[] = "aAbBcCxyZ 09-\xe9\xc9";
    std::uniform_int_distribution<size_t> len(0, maxLen);
    std::string s(len(rng), ' ');
    for (char &c : s)
        c = alphabet[rng() % (sizeof alphabet - 1)];
    if (rng() % 4 == 0)
        s += "  "; // trailing blanks
    return s;
}

Cell makeCell(std::mt19937 &rng, const ColumnSpec &col)
{
    Cell c;
    if (rng() % 7 == 0) {
        c.isNull = true;
        return c;
    }
    switch (col.sqlType) {
    case SQL_INTEGER: {
        int32_t v = rng() % 5 == 0 ? INT_MIN : int32_t(rng());
        c.input = c.stored = bytesOf(v);
        break;
    }
    case SQL_SMALLINT: {
        int16_t v = int16_t(rng());
        c.input = bytesOf(v);
        c.stored = bytesOf(int32_t(v));
        break;
    }
    case SQL_BIT: {
        uint8_t v = rng() % 2 ? 'T' : 0;
        c.input = bytesOf(v);
        c.stored = bytesOf(int32_t(v ? 1 : 0));
        break;
    }
    case SQL_C_UTINYINT: {
        uint8_t v = uint8_t(rng());
        c.input = bytesOf(v);
        c.stored = bytesOf(int32_t(v));
        break;
    }
    case SQL_DOUBLE:
    case SQL_FLOAT: {
        double v = (double(rng()) - 2147483648.0) / 977.0;
        if (rng() % 6 == 0)
            v = -0.0;
        c.input = c.stored = bytesOf(v);
        break;
    }
    case SQL_REAL: {
        float v = float(int32_t(rng() % 20000) - 10000) / 8.0f;
        c.input = bytesOf(v);
        c.stored = bytesOf(double(v));
        break;
    }
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR: {
        std::string s = randomText(rng, col.sqlType == SQL_LONGVARCHAR ? 255 : size_t(col.length));
        size_t room = size_t(col.length) < 255 ? size_t(col.length) : 255;
        if (s.size() > room)
            s.resize(room);
        c.input = s;
        c.length = SQL_NTS;
        c.stored = s;
        break;
    }
    case SQL_BINARY:
    case SQL_VARBINARY: {
        std::string b(rng() % (size_t(col.length) + 1), '\0');
        for (char &x : b)
            x = char(rng() % 3 == 0 ? 0 : rng());
        c.input = c.stored = b;
        c.length = int32_t(b.size());
        break;
    }
    case SQL_DATE: {
        DATE_STRUCT d{int16_t(1900 + rng() % 200), uint16_t(1 + rng() % 12),
                      uint16_t(1 + rng() % 28)};
        c.input = c.stored = bytesOf(d);
        break;
    }
    case SQL_TIME: {
        TIME_STRUCT t{uint16_t(rng() % 24), uint16_t(rng() % 60), uint16_t(rng() % 60)};
        c.input = c.stored = bytesOf(t);
        break;
    }
    case SQL_TIMESTAMP: {
        TIMESTAMP_STRUCT t{};
        t.year = int16_t(1990 + rng() % 40);
        t.month = uint16_t(1 + rng() % 12);
        t.day = uint16_t(1 + rng() % 28);
        t.hour = uint16_t(rng() % 24);
        t.fraction = uint32_t(rng() % 1000) * 1000000u;
        c.input = c.stored = bytesOf(t);
        break;
    }
    case RC_SQL_SCALED64: {
        int64_t v = int64_t(uint64_t(rng()) << 20) - (int64_t(1) << 50);
        c.input = c.stored = bytesOf(v);
        break;
    }
    case RC_SQL_DECIMAL38: {
        MultiPrecisionNumber n{};
        rcNumFromInt32(n, -int(rng() % 5), int32_t(rng()));
        c.input = c.stored = bytesOf(n);
        break;
    }
    }
    return c;
}

using Rows = std::vector<std::vector<Cell>>;

Rows makeRows(std::mt19937 &rng, size_t count)
{
    Rows rows(count);
    for (auto &r : rows)
        for (const auto &col : kAllTypes)
            r.push_back(makeCell(rng, col));
    return rows;
}

bool addColumns(TempTable *t)
{
    for (const auto &col : kAllTypes)
        if (rcTmpAddColumn(t, col.sqlType, 0, col.length) != 0)
            return false;
    return true;
}

void putRows(TempTable *t, const Rows &rows)
{
    for (const auto &r : rows)
        for (uint16_t c = 0; c < r.size(); ++c) {
            const Cell &cell = r[c];
            ASSERT_EQ(rcTmpPutColumnLen(t, cell.isNull ? nullptr : cell.input.data(), cell.length,
                                        c, cell.isNull),
                      0);
        }
}

void expectRow(TempTable *t, const std::vector<Cell> &row, int64_t n)
{
    for (uint16_t c = 0; c < row.size(); ++c) {
        const void *v;
        uint32_t len;
        bool isNull;
        ASSERT_EQ(rcTmpColumnValue(t, c, &v, &len, &isNull), 0);
        ASSERT_EQ(isNull, row[c].isNull) << "row " << n << " column " << c;
        if (isNull)
            continue;
        ASSERT_EQ(std::string(static_cast<const char *>(v), len), row[c].stored)
            << "row " << n << " column " << c;
        if (rcCnvIsCharType(kAllTypes[c].sqlType)) {
            EXPECT_EQ(static_cast<const char *>(v)[len], '\0');
        }
        // Read in the column's own C type, the value comes back as it was put.
        if (kAllTypes[c].sqlType == SQL_BIT)
            continue; // a truth character reads back as 1
        char buf[300];
        int32_t ind = -1, got = -1;
        ASSERT_EQ(rcTmpGetColumn(t, c, buf, sizeof buf, kCnvDefaultCType, &ind, &got), 0)
            << "row " << n << " column " << c;
        EXPECT_EQ(ind, 0);
        const std::string &in = row[c].input;
        if (rcCnvIsCharType(kAllTypes[c].sqlType)) {
            EXPECT_EQ(std::string(buf), in) << "row " << n << " column " << c;
        } else if (rcCnvIsBinaryType(kAllTypes[c].sqlType)) {
            EXPECT_EQ(std::string(buf, size_t(got)), in) << "row " << n << " column " << c;
        } else {
            EXPECT_EQ(std::string(buf, in.size()), in) << "row " << n << " column " << c;
        }
    }
}

} // namespace

TEST_F(TmpTest, RowLayoutAndStorageTypes)
{
    struct Case {
        int16_t type;
        int32_t length;
        int16_t storage;
        uint32_t valueSize;
        int32_t rowLength;
    } cases[] = {
        {SQL_INTEGER, 4, SQL_INTEGER, 4, 8},
        {SQL_SMALLINT, 2, SQL_INTEGER, 4, 8},
        {SQL_BIT, 1, SQL_INTEGER, 4, 8},
        {SQL_C_UTINYINT, 1, SQL_INTEGER, 4, 8},
        {SQL_DOUBLE, 8, SQL_DOUBLE, 8, 12},
        {SQL_REAL, 4, SQL_DOUBLE, 8, 12},
        {SQL_CHAR, 4, SQL_CHAR, 5, 12},
        {SQL_CHAR, 255, SQL_CHAR, 256, 260},
        {SQL_VARCHAR, 1000, SQL_VARCHAR, 256, 260},
        {SQL_DATE, 6, SQL_DATE, 6, 12},
        {SQL_TIMESTAMP, 16, SQL_TIMESTAMP, 16, 20},
        {RC_SQL_DECIMAL38, 38, RC_SQL_DECIMAL38, 38, 44},
        {RC_SQL_SCALED64, 8, RC_SQL_SCALED64, 8, 12},
    };
    for (const Case &c : cases) {
        TempTable *t;
        ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
        ASSERT_EQ(rcTmpAddColumn(t, c.type, 0, c.length), 0);
        EXPECT_EQ(t->columns[0].storageType, c.storage) << c.type;
        EXPECT_EQ(t->columns[0].valueSize, c.valueSize) << c.type;
        EXPECT_EQ(t->rowLength, c.rowLength) << c.type;
        rcTmpFree(t);
    }
}

TEST_F(TmpTest, UnstorableTypesPostDriverNotCapable)
{
    for (int16_t type : {int16_t(SQL_BIGINT), int16_t(SQL_NUMERIC), int16_t(SQL_DECIMAL),
                         int16_t(SQL_TINYINT), int16_t(12345)}) {
        TempTable *t;
        ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
        EXPECT_EQ(rcTmpAddColumn(t, type, 0, 8), -1);
        EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_MSG_DRIVER_NOT_CAPABLE}) << type;
        EXPECT_EQ(t->columnCount, 0);
        rcTmpFree(t);
    }
}

// Random rows of every type read back identically, in memory and after
// spilling, sequentially, backwards and by random row numbers.
TEST_F(TmpTest, RandomRowsReadBackAcrossGrowthSpillAndWindows)
{
    struct Case {
        uint32_t memoryLimit;
        size_t rows;
        bool spills;
    } cases[] = {{1u << 20, 40, false}, {2400, 300, true}, {5000, 301, true}};
    std::mt19937 rng(17);
    for (const Case &c : cases) {
        owner_.limits.memoryLimit = c.memoryLimit;
        Rows rows = makeRows(rng, c.rows);
        TempTable *t;
        ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
        ASSERT_TRUE(addColumns(t));
        putRows(t, rows);
        ASSERT_EQ(rcTmpRowCount(t), int64_t(c.rows));
        EXPECT_EQ(filesIn(dir_).size(), c.spills ? 1u : 0u);
        if (c.spills) {
            EXPECT_EQ(filesIn(dir_)[0].rfind("SWP", 0), 0u);
        }
        // Forwards with next, then backwards with previous, then at random.
        int64_t n = 0;
        while (rcTmpMove(t, 1) == 0) {
            expectRow(t, rows[size_t(n)], n);
            ++n;
        }
        EXPECT_EQ(n, int64_t(c.rows));
        EXPECT_EQ(rcTmpRowNumber(t), int64_t(c.rows) - 1);
        for (int64_t r = int64_t(c.rows) - 1; r >= 0; --r) {
            ASSERT_EQ(rcTmpSetRow(t, r), 0);
            expectRow(t, rows[size_t(r)], r);
        }
        for (int i = 0; i < 200; ++i) {
            int64_t r = int64_t(rng() % c.rows);
            ASSERT_EQ(rcTmpSetRow(t, r), 0);
            expectRow(t, rows[size_t(r)], r);
        }
        EXPECT_EQ(takeMessages(), std::vector<uint32_t>{});
        rcTmpFree(t);
        EXPECT_EQ(filesIn(dir_), std::vector<std::string>{});
    }
}

TEST_F(TmpTest, PositioningAndRowNumberChecks)
{
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_INTEGER, 0, 4), 0);
    for (int d : {1, 2, 3, 7})
        EXPECT_EQ(rcTmpMove(t, d), 100);
    EXPECT_EQ(rcTmpSetRow(t, 0), -1);
    rcTmpFree(t);

    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_INTEGER, 0, 4), 0);
    for (int32_t v : {10, 20, 30})
        ASSERT_EQ(rcTmpPutColumn(t, &v, 0, false), 0);
    EXPECT_EQ(rcTmpSetRow(t, 3), -1); // row number == row count
    EXPECT_EQ(rcTmpSetRow(t, -1), -1);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{});
    ASSERT_EQ(rcTmpSetRow(t, 2), 0);
    EXPECT_EQ(rcTmpMove(t, 1), 100);
    EXPECT_EQ(rcTmpRowNumber(t), 2);
    EXPECT_EQ(rcTmpMove(t, 3), 0);
    EXPECT_EQ(rcTmpMove(t, 2), 0);
    EXPECT_EQ(rcTmpRowNumber(t), 0);
    // No more rows once reading has begun.
    int32_t v = 40;
    EXPECT_EQ(rcTmpPutColumn(t, &v, 0, false), -1);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_MSG_GENERAL_ERROR});
    rcTmpFree(t);
}

// A row rewritten in place, column by column in any order and any subset,
// holds the very bytes that its current values give a fresh row (a longer
// old text or binary value leaves nothing behind; NULL fillers come and go)
// and reads back those values; it refuses what would add or drop rows.
TEST_F(TmpTest, InPlaceRowHoldsTheBytesOfAFreshRow)
{
    std::mt19937 rng(23);
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    ASSERT_TRUE(addColumns(t));
    ASSERT_EQ(rcTmpSetInPlace(t), 0);
    ASSERT_EQ(rcTmpRowCount(t), 1);
    std::vector<Cell> current(std::size(kAllTypes)); // every column NULL
    for (auto &cell : current)
        cell.isNull = true;
    std::vector<uint16_t> order(current.size());
    for (uint16_t c = 0; c < order.size(); ++c)
        order[c] = c;
    for (int step = 0; step < 300; ++step) {
        if (step > 0) {
            std::shuffle(order.begin(), order.end(), rng);
            size_t count = step % 3 == 0 ? order.size() : 1 + rng() % order.size();
            for (size_t i = 0; i < count; ++i) {
                uint16_t c = order[i];
                current[c] = makeCell(rng, kAllTypes[c]);
                const Cell &cell = current[c];
                ASSERT_EQ(rcTmpPutColumnLen(t, cell.isNull ? nullptr : cell.input.data(),
                                            cell.length, c, cell.isNull),
                          0);
            }
        }
        TempTable *fresh;
        ASSERT_EQ(rcTmpCreate(owner_, &fresh), 0);
        ASSERT_TRUE(addColumns(fresh));
        putRows(fresh, {current});
        const unsigned char *want = rcTmpRowBytes(fresh, 0);
        const unsigned char *got = rcTmpRowBytes(t, 0);
        ASSERT_NE(want, nullptr);
        ASSERT_NE(got, nullptr);
        ASSERT_EQ(std::memcmp(got, want, size_t(t->rowLength)), 0) << "step " << step;
        rcTmpFree(fresh);
        expectRow(t, current, step);
    }
    // A text cut in place is cut and reported as in a fresh row.
    std::string longText(300, 'y');
    EXPECT_EQ(rcTmpPutColumnLen(t, longText.data(), int32_t(longText.size()), 8, false), 1);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_MSG_DATA_TRUNCATED});
    const void *v;
    uint32_t len;
    bool isNull;
    ASSERT_EQ(rcTmpColumnValue(t, 8, &v, &len, &isNull), 0);
    EXPECT_EQ(len, uint32_t(kAllTypes[8].length));
    // The one row stays: no clearing, no appended rows, no second set-up.
    EXPECT_EQ(rcTmpClearRows(t), -1);
    EXPECT_EQ(rcTmpAppendRow(t, rcTmpRowBytes(t, 0)), -1);
    EXPECT_EQ(rcTmpSetInPlace(t), -1);
    EXPECT_EQ(takeMessages(), (std::vector<uint32_t>{RC_MSG_GENERAL_ERROR, RC_MSG_GENERAL_ERROR,
                                                     RC_MSG_GENERAL_ERROR}));
    EXPECT_EQ(rcTmpRowCount(t), 1);
    rcTmpFree(t);
}

// CHAR sources of their declared length without a terminator and VARCHAR
// values longer than declared are never read past; what is cut is reported
// once, blanks are cut silently.
TEST_F(TmpTest, LongTextIsBoundedTerminatedAndReported)
{
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_CHAR, 0, 300), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_VARCHAR, 0, 10), 0);
    std::vector<char> exact(300, 'x'); // no terminator: ASan sees any over-read
    std::vector<char> padded(300, ' ');
    padded[0] = 'p';
    EXPECT_EQ(rcTmpPutColumn(t, padded.data(), 0, false), 0);
    EXPECT_EQ(rcTmpPutColumn(t, "short", 1, false), 0);
    EXPECT_EQ(rcTmpPutColumn(t, exact.data(), 0, false), 1);
    EXPECT_EQ(rcTmpPutColumn(t, "twenty characters!!!", 1, false), 1);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_MSG_DATA_TRUNCATED});
    ASSERT_EQ(rcTmpSetRow(t, 1), 0);
    char buf[400];
    int32_t ind, len;
    ASSERT_EQ(rcTmpGetColumn(t, 0, buf, sizeof buf, SQL_C_CHAR, &ind, &len), 0);
    EXPECT_EQ(std::string(buf), std::string(255, 'x'));
    ASSERT_EQ(rcTmpGetColumn(t, 1, buf, sizeof buf, SQL_C_CHAR, &ind, &len), 0);
    EXPECT_STREQ(buf, "twenty cha");
    rcTmpFree(t);
}

TEST_F(TmpTest, GetColumnConvertsAndReportsTruncation)
{
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_SMALLINT, 0, 2), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_VARCHAR, 0, 20), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_DATE, 0, 6), 0);
    int16_t s = -1234;
    DATE_STRUCT d{2024, 2, 29};
    ASSERT_EQ(rcTmpPutColumn(t, &s, 0, false), 0);
    ASSERT_EQ(rcTmpPutColumn(t, "0123456789", 1, false), 0);
    ASSERT_EQ(rcTmpPutColumn(t, nullptr, 2, true), 0);
    ASSERT_EQ(rcTmpSetRow(t, 0), 0);
    int32_t ind;
    int16_t back = 0;
    ASSERT_EQ(rcTmpGetColumn(t, 0, &back, sizeof back, kCnvDefaultCType, &ind), 0);
    EXPECT_EQ(back, -1234);
    char text[16];
    ASSERT_EQ(rcTmpGetColumn(t, 0, text, sizeof text, SQL_C_CHAR, &ind), 0);
    EXPECT_STREQ(text, "-1234");
    char small[5];
    EXPECT_EQ(rcTmpGetColumn(t, 1, small, sizeof small, SQL_C_CHAR, &ind), 1);
    EXPECT_STREQ(small, "0123");
    std::vector<uint32_t> msgs = takeMessages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_TRUE(msgs[0] == RC_MSG_DATA_TRUNCATED || msgs[0] == RC_MSG_STRING_DATA_RIGHT_TRUNCATION);
    DATE_STRUCT untouched = d;
    ASSERT_EQ(rcTmpGetColumn(t, 2, &untouched, sizeof untouched, SQL_C_DATE, &ind), 0);
    EXPECT_EQ(ind, 1);
    EXPECT_EQ(untouched.year, 2024);
    rcTmpFree(t);
}

TEST_F(TmpTest, UnwritableTempFileDirectoryPostsItsMessages)
{
    std::string file = dir_ + "plain";
    FILE *f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    for (std::string bad : {dir_ + "missing/dir/", file + "/"}) {
        owner_.workDir = bad.c_str();
        TempTable *t;
        ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
        ASSERT_EQ(rcTmpAddColumn(t, SQL_CHAR, 0, 200), 0);
        int16_t rc = 0;
        for (int i = 0; i < 100 && rc == 0; ++i)
            rc = rcTmpPutColumn(t, "value", 0, false);
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(takeMessages(), (std::vector<uint32_t>{RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE,
                                                         RC_MSG_GENERAL_ERROR}));
        // The table stays refused; nothing was written anywhere.
        EXPECT_EQ(rcTmpPutColumn(t, "value", 0, false), -1);
        takeMessages();
        rcTmpFree(t);
    }
    std::remove(file.c_str());
}

// A full disk (a file size limit in a child process) posts 11438 and leaves
// no spill file; the sort-file store posts 11410.
TEST_F(TmpTest, FullDiskPostsOutOfSpaceAndLeavesNoFile)
{
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{6000, 6000};
        setrlimit(RLIMIT_FSIZE, &lim);
        TempTable *t;
        if (rcTmpCreate(owner_, &t) != 0 || rcTmpAddColumn(t, SQL_CHAR, 0, 200) != 0)
            _exit(10);
        int16_t rc = 0;
        int rows = 0;
        for (; rows < 1000 && rc == 0; ++rows)
            rc = rcTmpPutColumn(t, "value", 0, false);
        if (rc != -1)
            _exit(11);
        std::vector<uint32_t> msgs = takeMessages();
        if (msgs != std::vector<uint32_t>{RC_ENG_OUT_DISK_SPACE_WRITING_TEMPORARY})
            _exit(12);
        if (!filesIn(dir_).empty())
            _exit(13); // removed at once, before the table goes
        rcTmpFree(t);
        // The sort-file store: a value past the limit posts 11410.
        rcSortFile *s;
        if (rcSrtFileOpen(owner_, &s) != 0)
            _exit(14);
        std::string big(8000, 'v');
        if (rcSrtFileWrite(s, big.c_str(), SQL_LONGVARCHAR, SQL_NTS) != -1)
            _exit(15);
        if (takeMessages() != std::vector<uint32_t>{RC_ENG_ERROR_WRITING_TEMPORARY_SORT_FILE})
            _exit(16);
        rcSrtFileClose(s);
        if (!filesIn(dir_).empty())
            _exit(17);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Without a directory from the owner, "TempFileDirectory" of
// "ZorviEngineOptions" in the settings names where spill files go.
TEST_F(TmpTest, SpillFilesGoToTheConfiguredTempFileDirectory)
{
    std::string ini = dir_ + "engine.ini";
    FILE *f = std::fopen(ini.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "[ZorviEngineOptions]\nTempFileDirectory=%s\n", dir_.c_str());
    std::fclose(f);
    std::string oldRoot = rcRegGetIniRoot();
    rcRegSetIniRoot(("HKEY_CURRENT_USER\\" + ini).c_str());
    owner_.workDir = nullptr;
    char where[512];
    rcTmpWorkDirectory(owner_, where, sizeof where);
    EXPECT_EQ(std::string(where), dir_);
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_CHAR, 0, 200), 0);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(rcTmpPutColumn(t, "value", 0, false), 0);
    EXPECT_EQ(filesIn(dir_).size(), 2u); // the settings file and the spill file
    rcTmpFree(t);
    rcRegSetIniRoot(oldRoot.c_str());
    std::remove(ini.c_str());
}

// A client killed while it holds spilled tables: the sort-file store has no
// name to leave; the spill file, which the sort library opens by name, is
// left behind but swept when the next table spills in that directory once
// its process is gone. A live process's file and names of other forms stay.
TEST_F(TmpTest, KilledProcessSpillFilesAreSweptOnlyWhenItsProcessIsGone)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(ready[0]);
        TempTable *t;
        if (rcTmpCreate(owner_, &t) != 0 || rcTmpAddColumn(t, SQL_CHAR, 0, 200) != 0)
            _exit(10);
        for (int i = 0; i < 20; ++i)
            if (rcTmpPutColumn(t, "value", 0, false) != 0)
                _exit(11);
        rcSortFile *s;
        if (rcSrtFileOpen(owner_, &s) != 0 || rcSrtFileWrite(s, "long", SQL_CHAR, 4) != 0)
            _exit(12);
        if (::write(ready[1], "r", 1) != 1)
            _exit(13);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    std::string childPrefix = "SWP" + std::to_string(pid) + "_";
    std::vector<std::string> files = filesIn(dir_);
    ASSERT_EQ(files.size(), 1u); // the spill file only
    EXPECT_EQ(files[0].rfind(childPrefix, 0), 0u) << files[0];
    EXPECT_EQ(files[0].size(), childPrefix.size() + 6);

    // Names that only look alike are never touched, even for a dead pid.
    const std::vector<std::string> others = {"SWPnotapid", "SWP" + std::to_string(pid) + "_abc",
                                             "XSWP" + std::to_string(pid) + "_abcdef"};
    for (const std::string &n : others)
        std::fclose(std::fopen((dir_ + n).c_str(), "w"));

    auto spillOnce = [&] {
        TempTable *t;
        ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
        ASSERT_EQ(rcTmpAddColumn(t, SQL_CHAR, 0, 200), 0);
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(rcTmpPutColumn(t, "value", 0, false), 0);
        rcTmpFree(t);
    };
    auto childFiles = [&] {
        size_t n = 0;
        for (const std::string &f : filesIn(dir_))
            n += f.rfind(childPrefix, 0) == 0 && f.size() == childPrefix.size() + 6;
        return n;
    };
    spillOnce(); // the child lives: its file stays
    EXPECT_EQ(childFiles(), 1u);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(childFiles(), 1u);
    spillOnce(); // the next spill in the directory sweeps it
    EXPECT_EQ(childFiles(), 0u);
    std::vector<std::string> left = filesIn(dir_);
    std::sort(left.begin(), left.end());
    std::vector<std::string> want = others;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(left, want);
    for (const std::string &n : others)
        std::remove((dir_ + n).c_str());
}
