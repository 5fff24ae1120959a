#include "driver/core/rcerror.h"
#include "driver/core/rcregistry.h"
#include "driver/core/tests/base_fixture.h"
#include "driver/core/rctrace.h"
#include "platform/clock.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A private odbc.ini for the whole process (ODBCSYSINI / ODBCINI), plus a
// second profile file reached through an absolute path in the root.
struct Profiles {
    std::string dir;
    std::string odbcRoot = "HKEY_CURRENT_USER\\Software\\ODBC\\odbc.ini";
    std::string timedRoot;
};

const Profiles &PrivateProfiles()
{
    static Profiles p;
    static std::once_flag once;
    std::call_once(once, [] {
        // Kept for the whole process; removed with the environment put back at exit.
        static qxtest::TempDir tempDir("rctrace");
        static qxtest::OdbcIniFiles iniFiles(tempDir.Path());
        p.dir = tempDir.Str();
        std::ofstream(p.dir + "/odbcinst.ini") << "";
        std::ofstream ini(p.dir + "/odbc.ini");
        ini << "[X]\nTraceOutput=abc\nEmptyValue=\nLongValue=" << std::string(40, 'L') << "\n"
            << "[NoOutput]\nOdbcTrace=1\n"
            << "[Off]\nOdbcTrace=0\nTraceOutput=" << p.dir << "/off.log\n"
            << "[HexLevel]\nOdbcTrace=0x10\nTraceOutput=" << p.dir << "/hex.log\n"
            << "[ShareA]\nOdbcTrace=1\nTraceOutput=" << p.dir << "/shared.log\n"
            << "[ShareB]\nOdbcTrace=2\nTraceOutput=" << p.dir << "/shared.log\n"
            << "[CaseB]\nOdbcTrace=1\nTraceOutput=" << p.dir << "/SHARED.log\n"
            << "[Trunc]\nOdbcTrace=1\nTraceAppend=N\nTraceOutput=" << p.dir << "/trunc.log\n"
            << "[Append]\nOdbcTrace=1\nTraceOutput=" << p.dir << "/append.log\n"
            << "[Debug]\nOdbcTrace=1\nTraceOutput=DeBuG\n"
            << "[BadFile]\nOdbcTrace=1\nTraceOutput=" << p.dir << "/no/such/dir.log\n";
        ini.close();
        std::ofstream timed(p.dir + "/timed.ini");
        timed << "[Zorvi Trace]\nTime=1\nEngineTrace=3\nTraceOutput=" << p.dir << "/timed.log\n"
              << "[Plain]\nOdbcTrace=1\n";
        timed.close();
        p.timedRoot = "HKEY_CURRENT_USER\\" + p.dir + "/timed.ini";
    });
    return p;
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

PlatTimeOfDay FixedTime() { return PlatTimeOfDay{9, 5, 7, 42}; }

TEST(RcRegistry, ReadsValuesUnderTheRoot)
{
    const Profiles &p = PrivateProfiles();
    char buf[32];
    EXPECT_EQ(rcRegGetIniValue(p.odbcRoot.c_str(), "X", "TraceOutput", "d", buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "abc");
    // a first part that is not a root name reads the same tree
    EXPECT_EQ(
        rcRegGetIniValue("Software\\ODBC\\odbc.ini", "X", "TraceOutput", "d", buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(rcRegGetIniValue(p.odbcRoot.c_str(), "X", "EmptyValue", "d", buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(rcRegGetIniValue(p.odbcRoot.c_str(), "X", "Missing", "dflt", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "dflt");
    EXPECT_EQ(
        rcRegGetIniValue(p.odbcRoot.c_str(), "NoSection", "TraceOutput", "dflt", buf, sizeof buf),
        0);
    EXPECT_STREQ(buf, "dflt");
    // a value longer than the buffer counts as missing
    EXPECT_EQ(rcRegGetIniValue(p.odbcRoot.c_str(), "X", "LongValue", "short", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "short");
    // a default longer than the buffer is cut and terminated
    char small[4];
    EXPECT_EQ(rcRegGetIniValue(p.odbcRoot.c_str(), "X", "Missing", "toolong", small, sizeof small),
              0);
    EXPECT_STREQ(small, "too");
    // without a root nothing is read and the buffer is not touched
    std::strcpy(buf, "keep");
    EXPECT_EQ(rcRegGetIniValue("", "X", "TraceOutput", "d", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "keep");
}

TEST(RcRegistry, ListsTheKeysOfASection)
{
    const Profiles &p = PrivateProfiles();
    char buf[64];
    int n = rcRegGetIniValue(p.odbcRoot.c_str(), "X", nullptr, "", buf, sizeof buf);
    const char expected[] = "TraceOutput\0EmptyValue\0LongValue\0";
    ASSERT_EQ(n, static_cast<int>(sizeof expected));
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), std::string(expected, sizeof expected));
    char cut[20];
    n = rcRegGetIniValue(p.odbcRoot.c_str(), "X", nullptr, "", cut, sizeof cut);
    EXPECT_EQ(n, 18);
    EXPECT_EQ(std::string(cut, 13), std::string("TraceOutput\0\0", 13));
}

TEST(RcRegistry, RootIsSetOnceByTheFirstConnection)
{
    rcRegSetIniRoot("");
    rcRegInitIniRoot(kRcDefaultIniRoot);
    rcRegInitIniRoot("other");
    EXPECT_EQ(rcRegGetIniRoot(), kRcDefaultIniRoot);
    EXPECT_EQ(rcRegFileOfRoot(kRcDefaultIniRoot), "odbc.ini");
    EXPECT_EQ(rcRegFileOfRoot("HKEY_LOCAL_MACHINE"), "");
}

TEST(RcTrace, LevelsAndChannelsWithoutOutput)
{
    const Profiles &p = PrivateProfiles();
    uint32_t level = 99;
    rcTraceChannel *none = rcTraceOpen(p.odbcRoot.c_str(), "NoOutput", "OdbcTrace", &level);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(level, 1u);
    EXPECT_EQ(rcTraceOutputsInUse(), 0u);
    rcTraceCall(none, "SQLFetch(0x%08lx)", 1ul); // goes nowhere
    rcTraceClose(none);

    EXPECT_EQ(rcTraceOpen(p.odbcRoot.c_str(), "Off", "OdbcTrace", &level), nullptr);
    EXPECT_EQ(level, 0u);
    EXPECT_EQ(rcTraceOpen(p.odbcRoot.c_str(), "NoOutput", "EngineTrace", &level), nullptr);
    EXPECT_EQ(rcTraceOpen(p.odbcRoot.c_str(), "BadFile", "OdbcTrace", &level), nullptr);

    rcTraceChannel *hex = rcTraceOpen(p.odbcRoot.c_str(), "HexLevel", "OdbcTrace", &level);
    ASSERT_NE(hex, nullptr);
    EXPECT_EQ(level, 16u);
    rcTraceClose(hex);
}

TEST(RcTrace, LineFormsWithoutTime)
{
    const Profiles &p = PrivateProfiles();
    uint32_t level;
    rcTraceChannel *ch = rcTraceOpen(p.odbcRoot.c_str(), "Trunc", "OdbcTrace", &level);
    ASSERT_NE(ch, nullptr);
    rcTraceCall(ch, "SQLFetch(0x%08lx)", 0x1234ul);
    rcTraceReturn(ch, "SQLFetch", -1);
    rcTracePrint(ch, "plain %d\n", 7);
    rcTracePrintText(ch, "100%s as it stands\n");
    std::string long1(3000, 'q'); // longer than any fixed line buffer
    rcTracePrint(ch, "%s\n", long1.c_str());
    rcTraceClose(ch);
    EXPECT_EQ(ReadFile(p.dir + "/trunc.log"),
              ">SQLFetch(0x00001234) \n<SQLFetch returned -1.\n plain 7\n 100%s as it stands\n " +
                  long1 + "\n");
}

TEST(RcTrace, TimeStampsFromTheFallbackSection)
{
    const Profiles &p = PrivateProfiles();
    PlatSetTimeOfDaySource(FixedTime);
    EXPECT_EQ(rcTraceTimeStamp(), " 09:05:07.42");
    uint32_t level = 0;
    // "Plain" has no TraceOutput: taken from "Zorvi Trace", as is EngineTrace
    rcTraceChannel *ch = rcTraceOpen(p.timedRoot.c_str(), "Plain", "EngineTrace", &level);
    ASSERT_NE(ch, nullptr);
    EXPECT_EQ(level, 3u);
    rcTraceCall(ch, "SQLExecute(0x%08lx)", 0xabcul);
    rcTraceReturn(ch, "SQLExecute", 0);
    rcTraceClose(ch);
    PlatSetTimeOfDaySource(nullptr);
    std::string log = ReadFile(p.dir + "/timed.log");
    EXPECT_EQ(log,
              ">SQLExecute(0x00000abc): 09:05:07.42 \n<SQLExecute returned 0:  09:05:07.42 \n");
}

TEST(RcTrace, OutputsAreSharedByExactName)
{
    const Profiles &p = PrivateProfiles();
    uint32_t level;
    rcTraceChannel *a = rcTraceOpen(p.odbcRoot.c_str(), "ShareA", "OdbcTrace", &level);
    rcTraceChannel *b = rcTraceOpen(p.odbcRoot.c_str(), "ShareB", "OdbcTrace", &level);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(level, 2u);
    EXPECT_EQ(rcTraceOutputsInUse(), 1u);
    rcTraceChannel *c = rcTraceOpen(p.odbcRoot.c_str(), "CaseB", "OdbcTrace", &level);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(rcTraceOutputsInUse(), 2u); // file names differing in case are two files
    rcTracePrint(a, "from a\n");
    rcTraceClose(a);
    EXPECT_EQ(rcTraceOutputsInUse(), 2u);
    rcTracePrint(b, "from b\n"); // the file stays open for the other channel
    rcTraceClose(b);
    rcTraceClose(c);
    EXPECT_EQ(rcTraceOutputsInUse(), 0u);
    std::string shared = ReadFile(p.dir + "/shared.log");
    EXPECT_NE(shared.find(" from a\n from b\n"), std::string::npos);
    EXPECT_EQ(ReadFile(p.dir + "/SHARED.log"), "");
}

TEST(RcTrace, AppendOrOverwrite)
{
    const Profiles &p = PrivateProfiles();
    std::ofstream(p.dir + "/append.log") << "old\n";
    std::ofstream(p.dir + "/trunc.log") << "old\n";
    uint32_t level;
    for (const char *dsn : {"Append", "Trunc"}) {
        rcTraceChannel *ch = rcTraceOpen(p.odbcRoot.c_str(), dsn, "OdbcTrace", &level);
        ASSERT_NE(ch, nullptr);
        rcTracePrint(ch, "new\n");
        rcTraceClose(ch);
    }
    EXPECT_EQ(ReadFile(p.dir + "/append.log"), "old\n new\n");
    EXPECT_EQ(ReadFile(p.dir + "/trunc.log"), " new\n");
}

std::vector<std::string> g_pieces;
void CollectPiece(const char *piece) { g_pieces.emplace_back(piece); }

TEST(RcTrace, DebuggerOutputComesInPieces)
{
    const Profiles &p = PrivateProfiles();
    rcTraceSetDebugSink(CollectPiece);
    uint32_t level;
    rcTraceChannel *ch = rcTraceOpen(p.odbcRoot.c_str(), "Debug", "OdbcTrace", &level);
    ASSERT_NE(ch, nullptr);
    std::string text(400, 'd');
    rcTracePrintText(ch, text.c_str());
    rcTraceClose(ch);
    rcTraceSetDebugSink(nullptr);
    ASSERT_EQ(g_pieces.size(), 3u);
    EXPECT_EQ(g_pieces[0], " " + std::string(160, 'd'));
    EXPECT_EQ(g_pieces[1].size(), 160u);
    EXPECT_EQ(g_pieces[2].size(), 80u);
}

TEST(RcTrace, EngineLinesFollowTheLevelRule)
{
    const Profiles &p = PrivateProfiles();
    uint32_t level;
    rcTraceChannel *ch = rcTraceOpen(p.odbcRoot.c_str(), "Append", "OdbcTrace", &level);
    ASSERT_NE(ch, nullptr);
    rcTrcTarget upTo{ch, 2, false};
    rcTrcTarget exact{ch, 2, true};
    rcTrcWrite(upTo, 1, "Plan(%d)", 1);
    rcTrcWrite(upTo, 3, "hidden(%d)", 3);
    rcTrcWriteBlock(exact, 1, "hidden", 1);
    rcTrcWriteBlock(exact, 2, "Plan", 5);
    rcTrcPrintf(upTo, 2, "%s", "50%d done\n"); // the result is not formatted again
    rcTraceClose(ch);
    std::string log = ReadFile(p.dir + "/append.log");
    EXPECT_EQ(log, ">Plan(1) \n<Plan returned 5.\n 50%d done\n");
}

TEST(RcTrace, LinesOfSeveralThreadsStayWhole)
{
    const Profiles &p = PrivateProfiles();
    uint32_t level;
    rcTraceChannel *ch = rcTraceOpen(p.odbcRoot.c_str(), "Trunc", "OdbcTrace", &level);
    ASSERT_NE(ch, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([ch, t] {
            for (int i = 0; i < 200; ++i) {
                rcTraceCall(ch, "SQLFetch(%d,%d)", t, i);
                rcTraceReturn(ch, "SQLFetch", i);
            }
        });
    for (auto &th : threads)
        th.join();
    rcTraceClose(ch);
    std::istringstream log(ReadFile(p.dir + "/trunc.log"));
    std::string line;
    int calls = 0, returns = 0;
    while (std::getline(log, line)) {
        if (line.rfind(">SQLFetch(", 0) == 0 && line.back() == ' ')
            ++calls;
        else if (line.rfind("<SQLFetch returned ", 0) == 0 && line.back() == '.')
            ++returns;
        else
            ADD_FAILURE() << "mixed line: " << line;
    }
    EXPECT_EQ(calls, 800);
    EXPECT_EQ(returns, 800);
}

TEST(RcTrace, EngineLevelRule)
{
    EXPECT_TRUE(rcTrcShouldWrite(2, 3, false));
    EXPECT_TRUE(rcTrcShouldWrite(3, 3, false));
    EXPECT_FALSE(rcTrcShouldWrite(4, 3, false));
    EXPECT_FALSE(rcTrcShouldWrite(2, 3, true));
    EXPECT_TRUE(rcTrcShouldWrite(3, 3, true));
}

TEST(RcTrace, SQLErrorTracesCallDetailsAndReturn)
{
    const Profiles &p = PrivateProfiles();
    ASSERT_EQ(rcInitDriverGlobals(), 0);
    uint32_t level;
    rcTraceChannel *ch = rcTraceOpen(p.odbcRoot.c_str(), "ShareB", "OdbcTrace", &level);
    ASSERT_NE(ch, nullptr);
    ASSERT_EQ(level, 2u);
    rcErrorQueue queue{};
    rcErrPost(&queue, RC_MSG_INVALID_CURSOR_STATE, nullptr, 0, nullptr);
    SQLCHAR state[6];
    SQLINTEGER native;
    SQLCHAR msg[64];
    SQLSMALLINT len;
    auto *h = reinterpret_cast<void *>(0x10);
    EXPECT_EQ(rcErrSQLError(&queue, ch, level, nullptr, nullptr, h, state, &native, msg, sizeof msg,
                            &len),
              SQL_SUCCESS);
    EXPECT_EQ(rcErrSQLError(&queue, ch, level, nullptr, nullptr, h, state, &native, msg, sizeof msg,
                            &len),
              SQL_NO_DATA_FOUND);
    rcTraceClose(ch);
    rcErrQueueDestroy(&queue);
    rcPoolFreeAll();
    std::string log = ReadFile(p.dir + "/shared.log");
    char call[200];
    std::snprintf(
        call, sizeof call,
        ">SQLError(0x00000000, 0x00000000, 0x00000010, 0x%08lx, 0x%08lx, 0x%08lx, 64, 0x%08lx) \n",
        static_cast<unsigned long>(reinterpret_cast<uintptr_t>(state)),
        static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&native)),
        static_cast<unsigned long>(reinterpret_cast<uintptr_t>(msg)),
        static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&len)));
    std::string first =
        std::string(call) + "  SqlState: \"24000\"\n  NativeError: 0\n" +
        "  ErrorMsg: [Zorvi][Zorvi ODBC Driver]Invalid cursor state.\n<SQLError returned 0.\n";
    EXPECT_EQ(log.substr(0, first.size()), first);
    EXPECT_EQ(log.substr(first.size()), std::string(call) + "<SQLError returned 100.\n");
}

// Uses up the process's channels: keep it last in this file.
TEST(RcTrace, TheTwoHundredFiftySeventhChannelIsRefused)
{
    const Profiles &p = PrivateProfiles();
    uint32_t level;
    while (rcTraceChannelsHandedOut() < kRcTraceMaxChannels)
        rcTraceClose(rcTraceOpen(p.odbcRoot.c_str(), "NoOutput", "OdbcTrace", &level));
    EXPECT_EQ(rcTraceOpen(p.odbcRoot.c_str(), "NoOutput", "OdbcTrace", &level), nullptr);
    EXPECT_EQ(level, 0u);
}

} // namespace
