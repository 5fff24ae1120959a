#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_trace.h"
#include "driver/Sources/tests/drm_fixture.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const fs::path &p, const std::string &text)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

void ReplaceAll(std::string *text, const std::string &from, const std::string &to)
{
    for (size_t at = text->find(from); at != std::string::npos;
         at = text->find(from, at + to.size()))
        text->replace(at, from.size(), to);
}

class TraceLog : public DrmSessionTest {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.empty());
        DrmSessionTest::SetUp();
    }
    fs::path Ini() const { return dir / "ODBCDRVR.INI"; }
    fs::path Log() const { return dir / "LOG_ODBC.WRI"; }

    qxtest::TempDir tempDir{"drmtrace"};
    qxtest::ScopedEnv root{"QX_DRIVE_ROOT_DIR", tempDir.Str()};
    fs::path dir = tempDir.Path();
};

TEST_F(TraceLog, PathsMapToTheDriveRootDirectory)
{
    EXPECT_EQ(PlatMapWindowsPath("C:\\LOG_ODBC.WRI"), Log().string());
}

TEST_F(TraceLog, ConfigurationSwitchesTracingOnForGood)
{
    uint32_t s = Begin();
    DrmEndSession(s);
    sessions.clear();
    EXPECT_FALSE(fs::exists(Log())); // no file: tracing stays off

    WriteFile(Ini(), "; data-module switches\n[trace]\nmode = on\n");
    s = Begin();
    EXPECT_TRUE(DrmTraceIsOpen());
    DrmEndSession(s);
    sessions.clear();
    EXPECT_FALSE(DrmTraceIsOpen());
    std::string first = ReadFile(Log());
    EXPECT_NE(first.find("CALL: DrmSetSessionOption"), std::string::npos);
    EXPECT_EQ(fs::status(Log()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write)
        << "the trace is the owner's alone";

    WriteFile(Ini(), "[TRACE]\n"); // key gone: tracing stays on
    uint32_t again = Begin();
    EXPECT_TRUE(DrmTraceIsOpen());
    sessions.clear();
    DrmEndSession(again);
    std::string second = ReadFile(Log()); // emptied at the begin
    EXPECT_EQ(second.find("SessionID -> " + std::to_string(s) + "\n"), std::string::npos);
    EXPECT_NE(second.find("SessionID -> " + std::to_string(again) + "\n"), std::string::npos);
}

TEST_F(TraceLog, RowReadsAreLeftToSingleColumnReadsWhileTracing)
{
    WriteFile(Ini(), "[TRACE]\nMODE=on\n");
    uint32_t s = Begin();
    uint32_t db = Open(s);
    uint32_t t = OpenTable(s, db, "Customers");
    server.selectionSize = 2;
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    const std::string before = ReadFile(Log());
    int32_t v = 0;
    DrmColumnRead r{1, &v, sizeof v, 77, 77};
    EXPECT_EQ(DrmRetrieveColumns(s, t, &r, 1), kDrmReadEachColumn);
    EXPECT_EQ(r.result, 77); // nothing read
    EXPECT_EQ(r.outLength, 77u);
    EXPECT_EQ(ReadFile(Log()), before); // and nothing traced
    uint32_t n = 0;
    ASSERT_EQ(DrmRetrieveColumn(s, t, 1, &v, sizeof v, &n, nullptr), 0);
    EXPECT_NE(ReadFile(Log()).find("ColumnID\t\t\t: 1"), std::string::npos);
}

TEST_F(TraceLog, LongValuesAreReadWholeAndDoNotDisturbLaterKeys)
{
    std::string mode(200, 'M');
    WriteFile(Ini(), "[OTHER]\nMODE=ON\n[TRACE]\nMODE=" + mode + "\nCHARCONVERT=x\nQXCALL=abcd\n");
    EXPECT_EQ(DrmReadProfileString(Ini().string(), "TRACE", "MODE"), mode);
    EXPECT_EQ(DrmReadConfig(), 4);
    EXPECT_FALSE(DrmTraceOpen()); // 200 Ms are not "ON"
    std::string huge(400, 'x');
    WriteFile(Ini(), "[TRACE]\nQXCALL=" + huge + "\n");
    EXPECT_EQ(DrmReadProfileString(Ini().string(), "TRACE", "QXCALL").size(), 254u);
}

TEST_F(TraceLog, GoldenSession)
{
    WriteFile(Ini(), "[TRACE]\nMODE=on\n");
    uint32_t s = 0;
    ASSERT_EQ(DrmBeginSession(&s, "user", "pw", "DSN"), 0);
    sessions.push_back(s);
    char buf[64];
    uint32_t out = 0;
    DrmGetInfo(kDrmDriverSession, 2, buf, sizeof buf, &out);
    DrmGetInfo(kDrmDriverSession, 6, buf, sizeof buf, &out);
    DrmGetInfo(s, 112, buf, sizeof buf, &out);
    DrmGetInfo(s, 99, buf, sizeof buf, &out);
    DrmGetInfo(s, 109, buf, 1, &out);
    DrmSetSessionOption(s, 5, 1252);
    uint32_t db = 0;
    ASSERT_EQ(DrmOpenDatabase(s, "TCP/IP:127.0.0.1", &db, 0), 0);
    uint32_t info[13] = {};
    DrmGetTypeCatalogInfo(s, db, info, 44);
    DrmMove(s, info[1], kDrmMoveFirst);
    DrmRetrieveColumn(s, info[1], 2, buf, sizeof buf, &out, nullptr);
    uint32_t t = 0;
    DrmOpenTable(s, db, "customers", "", 0, &t);
    DrmGetTableInfo(s, t, info, 12);
    DrmGetTableColumnInfo(s, t, info, 52);
    DrmMove(s, info[1], kDrmMoveFirst);
    DrmRetrieveColumn(s, info[1], 1, buf, sizeof buf, &out, nullptr);
    DrmRetrieveColumn(s, info[1], 3, buf, sizeof buf, &out, nullptr);
    DRM_RETINFO state{0, 0};
    DrmRetrieveColumn(s, info[1], 99, buf, sizeof buf, &out, &state);
    DrmGetTableIndexInfo(s, t, nullptr, info, 36);
    DrmGetBookmark(s, t, buf, sizeof buf, &out);
    DrmSetTransact(s, 4);
    int32_t order = 0;
    DrmStringCompare(s, "a", 1, 0, "B", 1, 0, &order);
    DrmCreateTable(s, 0, 0, 0);
    DrmCloseDatabase(s, db);
    DrmEndSession(s);
    sessions.clear();

    std::string log = ReadFile(Log());
    ReplaceAll(&log, "SessionID -> " + std::to_string(s) + "\n", "SessionID -> <s>\n");
    ReplaceAll(&log, "DrmSetTransact : " + std::to_string(s) + " ", "DrmSetTransact : <s> ");
    ReplaceAll(&log, " => " + std::to_string(db) + ",0\n", " => <db>,0\n");
    // QX_UPDATE_GOLDEN=1 rewrites the golden file from this run.
    fs::path golden = fs::path(QX_DRM_GOLDEN_DIR) / "session_trace.log";
    if (std::getenv("QX_UPDATE_GOLDEN"))
        WriteFile(golden, log);
    EXPECT_EQ(log, ReadFile(golden));
}

} // namespace
