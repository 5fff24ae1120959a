// Long values carried through an ordering: kept in the sort file of the
// ordering's temporary table (a private "SWP" file in the work directory),
// read back whole or in pieces, cut at the file's 65,500-byte limit, and the
// file gone with the table. The values are made here: a text of 32,000
// bytes and pictures longer than the limit.
#include "tests/engine_server_fixture.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/temp/rcsrtfile.h"
#include "driver/frontend/fe_prepared.h"
#include "driver/odbc/rcstmt_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string Text(int id)
{
    return std::string(32000 - 4, static_cast<char>('a' + id)) + "END" + std::to_string(id);
}

std::string Hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Picture k: 70,000 bytes counting up from k (the first RC_SRT_MAX_VALUE kept).
std::string Picture(int k)
{
    std::string p(70000, '\0');
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<char>((i + static_cast<size_t>(k)) % 251);
    return p;
}

class ExeLongSort : public EngineServerFixture {
protected:
    static void SetUpTestSuite()
    {
        data_ = new qxtest::TempDir("qxlongdata");
        std::string fixture = (data_->Path() / "long.json").string();
        std::ofstream out(fixture);
        out << R"({"users": [{"name": "demo", "password": "demo"}], "tables": [)"
            << R"({"name": "Docs", "fields": [{"name": "Id", "type": "longint"},)"
            << R"( {"name": "T", "type": "text"}, {"name": "P", "type": "picture"}], "records": [)";
        for (int id = 1; id <= 3; ++id)
            out << (id > 1 ? ", " : "") << R"({"Id": )" << id << R"(, "T": ")" << Text(id)
                << R"(", "P": ")" << Hex(Picture(id)) << R"("})";
        out << R"(, {"Id": 4}]}]})";
        out.close();
        StartServer("qxlongsort", fixture.c_str());
    }
    static void TearDownTestSuite()
    {
        StopServer();
        delete data_;
        data_ = nullptr;
    }

    void SetUp() override
    {
        EngineServerFixture::SetUp();
        work_.emplace("qxlongwork");
        workDir_ = work_->Str();
        rcPlnStmtInit(&stmt_, &errors_, conn_->session);
        stmt_.fnCode = &FnCode;
        stmt_.tmpOwner.workDir = workDir_.c_str();
    }
    void TearDown() override
    {
        rcExeCloseQuery(&stmt_);
        rcPlnStmtFree(&stmt_);
        rcFeReset(&prep_);
        rcErrQueueDestroy(&errors_);
        EngineServerFixture::TearDown();
    }

    void Plan(const char *sql)
    {
        src_.emplace(conn_);
        ASSERT_GE(rcDrsPrepare(&prep_, &*src_, &errors_, sql, true), 0) << FirstMessage(&errors_);
        ASSERT_EQ(rcPlnBuild(&stmt_, prep_.root), 0) << FirstMessage(&errors_);
    }
    size_t FilesInWorkDir() const
    {
        size_t n = 0;
        for (const auto &e : std::filesystem::directory_iterator(work_->Path())) {
            EXPECT_EQ(e.path().filename().string().rfind("SWP", 0), 0u) << e.path();
            ++n;
        }
        return n;
    }
    // Column k of the current row as text, read in pieces of `piece` bytes.
    std::string ReadInPieces(uint16_t k, int32_t piece, bool *isNull)
    {
        std::string value;
        std::vector<char> buf(static_cast<size_t>(piece) + 1);
        for (uint32_t offset = 0;; offset += static_cast<uint32_t>(piece)) {
            int32_t length = 0;
            int16_t rc = rcExeGetColumn(&stmt_, k, SQL_C_CHAR, buf.data(), piece + 1, &length,
                                        offset, isNull);
            if (rc < 0 || *isNull)
                return value;
            value += buf.data();
            if (rc == 0)
                return value;
        }
    }

    static inline qxtest::TempDir *data_ = nullptr;
    std::optional<qxtest::TempDir> work_;
    std::string workDir_;
    rcErrorQueue errors_{};
    std::optional<rcConnFeSource> src_;
    rcPrepared prep_;
    rcPlnStmt stmt_;
};

// In memory, and spilled and sorted by the sort library: the same whole
// texts, read in pieces; the sort file lives while the query is open.
TEST_F(ExeLongSort, TextsComeBackWholeFromTheSortFile)
{
    Plan("SELECT Id, T FROM Docs ORDER BY Id DESC");
    for (bool external : {false, true}) {
        stmt_.tmpOwner.engineOptions = external ? RC_TMP_OPT_NOOPTSORT : 0;
        stmt_.tmpOwner.limits.memoryLimit = external ? 1 : rcTmpLimits{}.memoryLimit;
        stmt_.tmpOwner.limits.growStep = external ? 1 : rcTmpLimits{}.growStep;
        ASSERT_EQ(rcExeOpenQuery(&stmt_), 0) << FirstMessage(&errors_);
        // The sort file is unlinked once open: only the spill file has a name.
        EXPECT_EQ(FilesInWorkDir(), external ? 1u : 0u);
        std::vector<std::string> got;
        while (rcExeFetch(&stmt_) == PLN_ROW) {
            bool isNull = false;
            std::string t = ReadInPieces(1, 1000, &isNull);
            got.push_back(isNull ? "NULL" : t);
        }
        EXPECT_EQ(got, (std::vector<std::string>{"NULL", Text(3), Text(2), Text(1)}))
            << (external ? "external" : "in memory");
        rcExeCloseQuery(&stmt_);
        EXPECT_EQ(FilesInWorkDir(), 0u);
    }
    EXPECT_EQ(FirstMessage(&errors_), "");
}

// A value longer than the sort file keeps comes back as its first
// RC_SRT_MAX_VALUE bytes, with one 01004 for the table.
TEST_F(ExeLongSort, LongerValuesAreCutAtTheSortFilesLimit)
{
    Plan("SELECT Id, P FROM Docs WHERE Id < 4 ORDER BY Id");
    ASSERT_EQ(rcExeOpenQuery(&stmt_), 0) << FirstMessage(&errors_);
    ASSERT_NE(errors_.list, nullptr);
    ASSERT_EQ(rcListCount(errors_.list), 1u);
    EXPECT_EQ(static_cast<rcErrorRecord *>(rcListAt(errors_.list, 0))->msgId,
              static_cast<uint32_t>(RC_MSG_DATA_TRUNCATED));
    for (int id = 1; id <= 3; ++id) {
        ASSERT_EQ(rcExeFetch(&stmt_), PLN_ROW);
        std::string buf(80000, '\0');
        int32_t length = 0;
        bool isNull = true;
        ASSERT_EQ(rcExeGetColumn(&stmt_, 1, SQL_C_BINARY, buf.data(),
                                 static_cast<int32_t>(buf.size()), &length, 0, &isNull),
                  0);
        ASSERT_FALSE(isNull);
        ASSERT_EQ(length, static_cast<int32_t>(RC_SRT_MAX_VALUE)) << id;
        EXPECT_EQ(buf.substr(0, RC_SRT_MAX_VALUE), Picture(id).substr(0, RC_SRT_MAX_VALUE)) << id;
    }
    EXPECT_EQ(rcExeFetch(&stmt_), PLN_END);
}

} // namespace
