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
#include "driver/frontend/rcstmt.h"

inline std::string &ViewTestDir()
{
    static std::string dir;
    return dir;
}

struct PostedMessage {
    uint32_t msgId;
    std::string text;
};

class ViewTest : public ::testing::Test {
protected:
    rcStmt stmt;

    void SetUp() override
    {
        ASSERT_EQ(rcInitDriverGlobals(), 0);
        char tmpl[] = "/tmp/qxviewsXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        ViewTestDir() = tmpl;
        rcVwHooks hooks;
        hooks.viewDirectory = [](rcStmt *, std::string *dir) {
            *dir = ViewTestDir();
            return true;
        };
        rcVwSetHooks(hooks);
    }

    void TearDown() override
    {
        Release(&stmt);
        rcVwSetHooks(rcVwHooks{});
        std::filesystem::remove_all(ViewTestDir());
        rcPoolFreeAll();
    }

    static void Release(rcStmt *s)
    {
        rcVwReleaseCatalog(s);
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
