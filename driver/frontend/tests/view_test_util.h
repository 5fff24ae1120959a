// Helpers of the view tests: a private view file directory per test, a
// statement record that reads its views there, and the messages it posted.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/core/rcerror.h"
#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"
#include "driver/frontend/fe_view.h"
#include "driver/frontend/rcprs.h"
#include "driver/engine/rcstmt.h"

inline std::string &ViewTestDir()
{
    static std::string dir;
    return dir;
}

// The connection as a statement sees it; its qualifier can be set.
struct ViewTestConn final : rcStmtConn {
    rcErrorQueue queue{};
    std::string qualifierText;
    rcErrorQueue *errors() override { return &queue; }
    const rcStmtOptionBlock *options() override { return nullptr; }
    void sourceInfo(rcStmtSourceInfo *) override {}
    bool typeInfo(int16_t, uint32_t *, int16_t *) override { return false; }
    TamSession *session() override { return nullptr; }
    rcTraceChannel *engineTrace() override { return nullptr; }
    const char *qualifier() override { return qualifierText.c_str(); }
};

inline ViewTestConn &ViewTestConnection()
{
    static ViewTestConn conn;
    return conn;
}

// A statement record with its own error queue, as the ODBC handle lends one.
struct ViewStmt : rcStmt {
    rcErrorQueue queue{};
    ViewStmt()
    {
        errors = &queue;
        conn = &ViewTestConnection();
    }
    ViewStmt(const ViewStmt &) = delete;
    ViewStmt &operator=(const ViewStmt &) = delete;
};

struct PostedMessage {
    uint32_t msgId;
    std::string text;
};

class ViewTest : public ::testing::Test {
protected:
    ViewStmt stmt;

    void SetUp() override
    {
        ASSERT_EQ(rcInitDriverGlobals(), 0);
        char tmpl[] = "/tmp/qxviewsXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        ViewTestDir() = tmpl;
        rcVwSetTestDirectory(ViewTestDir().c_str());
    }

    void TearDown() override
    {
        Release(&stmt);
        rcVwSetTestDirectory(nullptr);
        std::filesystem::remove_all(ViewTestDir());
        rcPoolFreeAll();
    }

    static void Release(rcStmt *s)
    {
        rcVwFreeCatalog(s);
        rcErrQueueDestroy(rcVwErrors(s));
    }

    std::string Path(const char *file) const { return ViewTestDir() + "/" + file; }

    static std::vector<PostedMessage> Posted(rcStmt *s)
    {
        std::vector<PostedMessage> out;
        rcErrorQueue *q = rcVwErrors(s);
        for (uint32_t i = 0; q->list != nullptr && i < rcListCount(q->list); ++i) {
            auto *r = static_cast<const rcErrorRecord *>(rcListAt(q->list, i));
            out.push_back({r->msgId, r->text != nullptr ? r->text : ""});
        }
        rcErrClearQueue(q);
        return out;
    }

    // The one message posted, or 0.
    static uint32_t OnlyMessage(rcStmt *s, std::string *text = nullptr)
    {
        std::vector<PostedMessage> m = Posted(s);
        if (m.size() != 1)
            return 0;
        if (text != nullptr)
            *text = m[0].text;
        return m[0].msgId;
    }
};

// A parsed statement that frees its arena.
struct ParsedTree {
    rcMemPool arena = nullptr;
    rcParseNode *root = nullptr;
    explicit ParsedTree(const char *text)
    {
        arena = rcPrsNewArena();
        if (rcPrsParseLocked(arena, text, &root, true) != RC_PRS_OK)
            root = nullptr;
    }
    ~ParsedTree() { rcPrsFreeArena(arena); }
};
