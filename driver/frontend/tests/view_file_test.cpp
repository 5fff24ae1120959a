// The view files: their byte layouts, CREATE VIEW and DROP VIEW through the
// statement, the catalogue read again when another writer changed it, two
// processes creating views at once, and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/core/rcmsgid.h"
#include "driver/frontend/fe_view.h"
#include "driver/frontend/fe_viewfile.h"
#include "driver/frontend/tests/view_test_util.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

uint32_t U32At(const std::vector<uint8_t> &b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

uint16_t U16At(const std::vector<uint8_t> &b, size_t at)
{
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

rcVwColumnDesc Col(const char *name, int16_t type = 4, uint32_t length = 4)
{
    rcVwColumnDesc c;
    c.name = name;
    c.sqlType = type;
    c.length = length;
    c.precision = 10;
    c.scale = 0;
    c.flags = 0x1;
    return c;
}

// CREATE VIEW through the statement, with the given result columns.
int Create(rcStmt *stmt, const char *sql, std::vector<rcVwColumnDesc> cols)
{
    ParsedTree t(sql);
    EXPECT_NE(t.root, nullptr) << sql;
    return rcVwCreate(stmt, t.root, cols.data(), cols.size());
}

int Drop(rcStmt *stmt, const char *sql)
{
    ParsedTree t(sql);
    EXPECT_NE(t.root, nullptr) << sql;
    return rcVwDrop(stmt, t.root);
}

std::vector<std::string> Names(rcStmt *stmt)
{
    std::vector<std::string> out;
    char name[kRcVwNameSize];
    for (int r = rcVwNextName(stmt, true, name); r == 0; r = rcVwNextName(stmt, false, name))
        out.emplace_back(name);
    return out;
}

TEST(ViewFileLayout, CatalogueAndColumnRecordsHaveTheirByteLayout)
{
    rcViewEntry e;
    std::strcpy(e.name, "SALES_V");
    e.columnCount = 3;
    e.offset = 0x01020304;
    e.textLength = 0x0A0B;
    std::vector<uint8_t> b = rcVwEncodeCatalog({e});
    ASSERT_EQ(b.size(), 18876u);
    EXPECT_EQ(U32At(b, 0), 1u);
    EXPECT_EQ(U16At(b, 4), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[6])), "SALES_V");
    EXPECT_EQ(U16At(b, 6 + 64), 3u);
    EXPECT_EQ(U16At(b, 6 + 66), 0u);
    EXPECT_EQ(U32At(b, 6 + 68), 0x01020304u);
    EXPECT_EQ(U16At(b, 6 + 72), 0x0A0Bu);

    rcViewColumn c;
    std::strcpy(c.name, "AMOUNT");
    c.sqlType = -1;
    c.length = 0x11223344;
    c.precision = 38;
    c.scale = 4;
    c.flags = 0x1001;
    std::vector<uint8_t> r(kRcVwColumnSize);
    rcVwEncodeColumn(c, r.data());
    EXPECT_EQ(U16At(r, 64), 0xFFFFu);
    EXPECT_EQ(U32At(r, 66), 0x11223344u);
    EXPECT_EQ(U32At(r, 70), 38u);
    EXPECT_EQ(U16At(r, 74), 4u);
    EXPECT_EQ(U32At(r, 76), 0x1001u);
    rcViewColumn back;
    std::string why;
    ASSERT_TRUE(rcVwDecodeColumn(r.data(), &back, &why));
    EXPECT_STREQ(back.name, "AMOUNT");
    EXPECT_EQ(back.sqlType, -1);
    EXPECT_EQ(back.scale, 4);

    std::vector<rcViewEntry> decoded;
    ASSERT_TRUE(rcVwDecodeCatalog(b.data(), b.size(), &decoded, &why));
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0].offset, 0x01020304u);
    // A short last block is accepted while it holds every counted entry.
    ASSERT_TRUE(rcVwDecodeCatalog(b.data(), 6 + 74, &decoded, &why));
}

TEST_F(ViewTest, CreateLookupListAndDrop)
{
    EXPECT_EQ(Names(&stmt), std::vector<std::string>{});
    ASSERT_EQ(
        Create(&stmt, "CREATE VIEW v1 AS SELECT a, b FROM t WHERE a > 1", {Col("a"), Col("b")}), 0);
    ASSERT_EQ(Create(&stmt, "CREATE VIEW v2 (x, y) AS SELECT a, b FROM t", {Col("a"), Col("b")}),
              0);
    ASSERT_EQ(Create(&stmt, "CREATE VIEW v3 AS SELECT c FROM u", {Col("c", 12, 40)}), 0);
    EXPECT_TRUE(Posted(&stmt).empty());
    EXPECT_EQ(Names(&stmt), (std::vector<std::string>{"v1", "v2", "v3"}));

    uint16_t count = 0;
    rcViewEntry entry;
    ASSERT_EQ(rcVwLookup(&stmt, "V2", &count, &entry), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_STREQ(rcVwGetText(&stmt), "SELECT a , b FROM t");
    char name[kRcVwNameSize];
    int16_t type = 0;
    uint32_t flags = 0;
    ASSERT_EQ(rcVwGetColumn(&stmt, 1, name, &type, nullptr, nullptr, nullptr, &flags), 0);
    EXPECT_STREQ(name, "Y"); // the column list's names, upper-cased
    EXPECT_EQ(type, 4);
    EXPECT_EQ(flags, 0x1001u);
    EXPECT_EQ(rcVwGetColumn(&stmt, 2, name, nullptr, nullptr, nullptr, nullptr, nullptr), 100);
    EXPECT_EQ(rcVwGetColumn(&stmt, -1, name, nullptr, nullptr, nullptr, nullptr, nullptr), -1);
    ASSERT_EQ(rcVwLookup(&stmt, "v1", &count, &entry), 0);
    EXPECT_STREQ(rcVwGetText(&stmt), "SELECT a , b FROM t WHERE a > 1");
    EXPECT_EQ(rcVwLookup(&stmt, "t", &count, &entry), 1000);
    EXPECT_EQ(rcVwIsViewName(&stmt, "V3"), 1);

    int64_t datSize = static_cast<int64_t>(ReadBytes(Path(kRcVwDatFile)).size());
    ASSERT_EQ(Drop(&stmt, "DROP VIEW V1"), 0);
    EXPECT_EQ(Names(&stmt), (std::vector<std::string>{"v2", "v3"}));
    EXPECT_EQ(static_cast<int64_t>(ReadBytes(Path(kRcVwDatFile)).size()), datSize);
    ASSERT_EQ(rcVwLookup(&stmt, "v3", &count, &entry), 0);
    EXPECT_STREQ(rcVwGetText(&stmt), "SELECT c FROM u");

    // Dropping a view that does not exist is an error and changes nothing.
    std::string text;
    EXPECT_EQ(Drop(&stmt, "DROP VIEW v1"), -1);
    EXPECT_EQ(OnlyMessage(&stmt, &text), RC_ENG_INVALID_VIEW_TABLE_NAME);
    EXPECT_NE(text.find("v1"), std::string::npos);
    EXPECT_EQ(Names(&stmt), (std::vector<std::string>{"v2", "v3"}));
}

TEST_F(ViewTest, CreateRefusals)
{
    ASSERT_EQ(Create(&stmt, "CREATE VIEW v AS SELECT a FROM t", {Col("a")}), 0);
    struct Case {
        const char *sql;
        std::vector<rcVwColumnDesc> cols;
        uint32_t msg;
    };
    std::string longName(64, 'n');
    std::string longView = "CREATE VIEW " + longName + " AS SELECT a FROM t";
    const Case cases[] = {
        {"CREATE VIEW V AS SELECT a FROM t", {Col("a")}, RC_ENG_VIEW_ALREADY_EXISTS},
        {"CREATE VIEW w (x, y) AS SELECT a, b, c FROM t",
         {Col("a"), Col("b"), Col("c")},
         RC_ENG_INVALID_VIEW_COLUMN_LIST},
        {"CREATE VIEW w AS SELECT a FROM t",
         {Col(longName.c_str())},
         RC_ENG_INVALID_VIEW_COLUMN_LIST},
        {longView.c_str(), {Col("a")}, RC_ENG_INVALID_VIEW_TABLE_NAME},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Create(&stmt, c.sql, c.cols), -1) << c.sql;
        EXPECT_EQ(OnlyMessage(&stmt), c.msg) << c.sql;
    }
    EXPECT_EQ(Names(&stmt), std::vector<std::string>{"v"});

    // With case-sensitive table names, V and v are two views.
    stmt.sourceInfo.capabilities = RC_VW_CAP_TABLE_CASE;
    EXPECT_EQ(Create(&stmt, "CREATE VIEW V AS SELECT a FROM t", {Col("a")}), 0);
    EXPECT_EQ(rcVwIsViewName(&stmt, "V"), 1);
    EXPECT_EQ(rcVwIsViewName(&stmt, "w"), 0);
}

TEST_F(ViewTest, AtMost254Views)
{
    std::vector<rcViewColumn> cols(1);
    std::strcpy(cols[0].name, "A");
    rcVwFileCatalog cat;
    rcVwFileError err;
    for (int i = 0; i < 254; ++i) {
        std::string name = "v"; // appended: g++ 12 -O3 warns falsely on "v" + std::string
        name += std::to_string(i);
        ASSERT_EQ(
            rcVwFileAdd(ViewTestDir(), name.c_str(), cols, "SELECT a FROM t", false, &cat, &err), 0)
            << i;
    }
    EXPECT_EQ(rcVwFileAdd(ViewTestDir(), "one_more", cols, "SELECT a FROM t", false, &cat, &err),
              -1);
    EXPECT_EQ(err.msgId, RC_ENG_MAXIMUM_VIEW_COUNT_EXCEEDED);
    ASSERT_EQ(rcVwFileLoad(ViewTestDir(), &cat, &err), 0);
    EXPECT_EQ(cat.entries.size(), 254u);
    EXPECT_STREQ(cat.entries[253].name, "v253");
}

// Two statements that loaded the catalogue earlier each add a view: neither
// change is lost, and each sees the other's view at its next lookup.
TEST_F(ViewTest, ChangesNeverWriteFromAStaleCopy)
{
    ViewStmt other;
    EXPECT_EQ(rcVwIsViewName(&stmt, "a"), 0);
    EXPECT_EQ(rcVwIsViewName(&other, "a"), 0);
    ASSERT_EQ(Create(&stmt, "CREATE VIEW a AS SELECT x FROM t", {Col("x")}), 0);
    ASSERT_EQ(Create(&other, "CREATE VIEW b AS SELECT y FROM t", {Col("y")}), 0);
    EXPECT_EQ(rcVwIsViewName(&stmt, "b"), 1);
    EXPECT_EQ(Names(&other), (std::vector<std::string>{"a", "b"}));
    ASSERT_EQ(Drop(&stmt, "DROP VIEW b"), 0);
    EXPECT_EQ(rcVwIsViewName(&other, "b"), 0);
    // The old copy in "other" still listed b: dropping it again is an error.
    EXPECT_EQ(Drop(&other, "DROP VIEW b"), -1);
    EXPECT_EQ(OnlyMessage(&other), RC_ENG_INVALID_VIEW_TABLE_NAME);
    Release(&other);
}

// Several processes create views in one directory at the same time; the hook
// widens the window between reading and writing the catalogue.
TEST_F(ViewTest, ProcessesCreatingViewsAtOnceLoseNone)
{
    constexpr int kProcesses = 4;
    constexpr int kViewsEach = 12;
    rcVwFileSetLockedHook([] { usleep(2000); });
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ViewStmt child;
            int failures = 0;
            for (int i = 0; i < kViewsEach; ++i) {
                std::string sql = "CREATE VIEW p" + std::to_string(p) + "_" + std::to_string(i) +
                                  " AS SELECT a FROM t" + std::to_string(p);
                ParsedTree t(sql.c_str());
                rcVwColumnDesc col = Col("a");
                if (t.root == nullptr || rcVwCreate(&child, t.root, &col, 1) != 0)
                    ++failures;
            }
            _exit(failures);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    rcVwFileSetLockedHook(nullptr);
    std::vector<std::string> names = Names(&stmt);
    EXPECT_EQ(names.size(), size_t(kProcesses * kViewsEach));
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kViewsEach; ++i) {
            std::string name = "p" + std::to_string(p) + "_" + std::to_string(i);
            uint16_t count = 0;
            rcViewEntry e;
            ASSERT_EQ(rcVwLookup(&stmt, name.c_str(), &count, &e), 0) << name;
            EXPECT_EQ(std::string(rcVwGetText(&stmt)), "SELECT a FROM t" + std::to_string(p));
        }
    }
}

// Damaged files are refused with a message naming the file and the fault.
TEST_F(ViewTest, DamagedFilesGiveAClearError)
{
    ASSERT_EQ(Create(&stmt, "CREATE VIEW v1 AS SELECT a FROM t", {Col("a")}), 0);
    ASSERT_EQ(Create(&stmt, "CREATE VIEW v2 AS SELECT b , c FROM t", {Col("b"), Col("c")}), 0);
    const std::vector<uint8_t> def = ReadBytes(Path(kRcVwDefFile));
    const std::vector<uint8_t> dat = ReadBytes(Path(kRcVwDatFile));

    struct Case {
        const char *what;
        bool defFile;
        std::function<void(std::vector<uint8_t> &)> damage;
        const char *fault;
    };
    const Case cases[] = {
        {"def cut inside the header", true, [](auto &b) { b.erase(b.begin() + 3, b.end()); },
         "header"},
        {"def count above the slots", true,
         [](auto &b) {
             b[4] = 0x2C;
             b[5] = 0x01;
         },
         "view count"},
        {"def cut inside the entries", true,
         [](auto &b) { b.erase(b.begin() + 6 + 74 + 10, b.end()); }, "fewer entries"},
        {"def name without terminator", true, [](auto &b) { std::memset(&b[6 + 74], 'x', 64); },
         "no valid name"},
        {"def empty definition", true,
         [](auto &b) {
             b[6 + 74 + 72] = 0;
             b[6 + 74 + 73] = 0;
         },
         "empty definition"},
        {"def offset past the dat", true, [](auto &b) { b[6 + 74 + 71] = 0x40; }, "past the end"},
        {"dat cut", false, [](auto &b) { b.erase(b.end() - 5, b.end()); }, "past the end"},
        {"dat text without terminator", false, [](auto &b) { b.back() = 'x'; }, "does not end"},
        {"dat column name without terminator", false,
         [](auto &b) { std::memset(&b[b.size() - 20 - 160], 'x', 64); }, "column record"},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> bytes = c.defFile ? def : dat;
        c.damage(bytes);
        WriteBytes(Path(c.defFile ? kRcVwDefFile : kRcVwDatFile), bytes);
        ViewStmt fresh;
        uint16_t count = 0;
        rcViewEntry e;
        EXPECT_EQ(rcVwLookup(&fresh, "v2", &count, &e), -1) << c.what;
        std::string text;
        EXPECT_EQ(OnlyMessage(&fresh, &text), RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE) << c.what;
        EXPECT_NE(text.find("damaged"), std::string::npos) << c.what << ": " << text;
        EXPECT_NE(text.find(c.fault), std::string::npos) << c.what << ": " << text;
        Release(&fresh);
        WriteBytes(Path(kRcVwDefFile), def);
        WriteBytes(Path(kRcVwDatFile), dat);
    }
    // A missing dat while views are listed is refused too.
    std::remove(Path(kRcVwDatFile).c_str());
    uint16_t count = 0;
    rcViewEntry e;
    EXPECT_EQ(rcVwLookup(&stmt, "v1", &count, &e), -1);
    EXPECT_EQ(OnlyMessage(&stmt), RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE);
    // CREATE VIEW over a damaged catalogue refuses rather than overwrite it.
    std::vector<uint8_t> bad = def;
    bad.erase(bad.begin() + 3, bad.end());
    WriteBytes(Path(kRcVwDefFile), bad);
    EXPECT_EQ(Create(&stmt, "CREATE VIEW v3 AS SELECT a FROM t", {Col("a")}), -1);
    EXPECT_EQ(OnlyMessage(&stmt), RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE);
    EXPECT_EQ(ReadBytes(Path(kRcVwDefFile)).size(), 3u);
}

// Without the test hook the directory comes from odbc.ini, else from the
// connection's qualifier when that is a directory, else from the driver's own
// directory, made when missing. The ODBC installer library keeps what it read
// of odbc.ini for the life of a process, so each setting is read in a child
// process of its own.
TEST_F(ViewTest, DirectoryComesFromOdbcIniThenQualifierThenDriverDirectory)
{
    rcVwSetTestDirectory(nullptr);
    const std::string base = ViewTestDir();
    auto dirIn = [&](const std::string &iniBody, const std::string &qual,
                     const std::string &expected) {
        std::string iniDir =
            base + "/ini" + std::to_string(std::hash<std::string>{}(iniBody + qual));
        std::filesystem::create_directories(iniDir);
        std::ofstream(iniDir + "/odbc.ini") << iniBody;
        std::ofstream(iniDir + "/odbcinst.ini") << "";
        pid_t pid = fork();
        if (pid == 0) {
            setenv("ODBCSYSINI", iniDir.c_str(), 1);
            setenv("ODBCINI", (iniDir + "/odbc.ini").c_str(), 1);
            setenv("QX_DRIVE_ROOT_DIR", (base + "/config/qx").c_str(), 1);
            ViewTestConnection().qualifierText = qual;
            ViewStmt child;
            std::string dir;
            int r = rcVwGetDir(&child, &dir);
            if (r != 0 || dir != expected) {
                fprintf(stderr, "got %d '%s', expected '%s'\n", r, dir.c_str(), expected.c_str());
                _exit(1);
            }
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    EXPECT_TRUE(dirIn("[ZorviEngineOptions]\nViewFileDirectory=" + base + "\\views\n", base,
                      base + "/views/"));
    EXPECT_TRUE(dirIn("[ZorviEngineOptions]\nOther=1\n", base, base + "/"));
    EXPECT_TRUE(dirIn("", "TCP/IP:127.0.0.1:5000", base + "/config/qx/"));
    EXPECT_TRUE(std::filesystem::is_directory(base + "/config/qx"));
}

} // namespace
