// View expansion: every stored view named in a statement's FROM lists is
// merged into the statement's own tree, so that planning sees base tables only.
//
// The query blocks of the tree (SubSelectStmt, QuerySpec) are visited; in each
// the first table reference that names a view is merged (fe_viewmerge.h), and
// the block is searched again from its start, since the view's own tables
// now stand in its FROM list. A view's text is parsed and expanded by a
// recursive call before it is merged, so a view of views arrives whole. The
// names of the views being expanded form a chain: a view met again in its own
// chain (a cycle) or a chain deeper than kRcVwMaxDepth is refused with a
// message, so no recursion runs away.
#include "driver/frontend/fe_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/rcspy.h"
#include "driver/frontend/fe_viewmerge.h"
#include "driver/frontend/rcprsctx.h"

namespace {

// Deepest tree a merge may leave (the parser's own bound).
constexpr size_t kMaxTreeDepth = 4000;
// The syntax-error excerpt.
constexpr size_t kExcerptBuffer = 8196;
constexpr long kExcerptFullUpTo = 502;
constexpr long kExcerptBefore = 200;
constexpr size_t kExcerptShortBefore = 10;
constexpr size_t kExcerptShortAfter = 30;
constexpr const char *kMarker = "<< ??? >>";
// The column limits of a statement whose connection gave none (the least
// MaxColSupport a connection has).
constexpr uint16_t kDefaultColumnLimit = 256;

struct Expansion {
    rcStmt *stmt;
    rcMemPool arena;
    rcParseNode *root; // the whole tree, relinked after changes
    uint16_t *counter;
    std::vector<std::string> chain; // views being expanded, outermost first
};

bool PrsSpy(const rcStmt *stmt)
{
    return (stmt->options.engineOptionMask & RC_SPY_OPT_PRSSPY) != 0 && rcSpyIsOpen();
}

bool TableCase(const rcStmt *stmt)
{
    return (stmt->sourceInfo.capabilities & RC_VW_CAP_TABLE_CASE) != 0;
}

// Nodes of the id in the root and its siblings.
bool TreeHas(rcParseNode *root, uint16_t id)
{
    for (rcParseNode *n = root; n != nullptr; n = n->next)
        if (!rcVwCollect(n, id).empty())
            return true;
    return false;
}

// The query blocks of the root and its siblings, every block after the
// blocks inside it: a subquery's views are merged before its outer block's,
// so that a name the subquery shadows is never taken for the outer view.
std::vector<rcParseNode *> Blocks(rcParseNode *root)
{
    std::vector<rcParseNode *> blocks;
    std::vector<rcParseNode *> work;
    for (rcParseNode *n = root; n != nullptr; n = n->next)
        work.insert(work.begin(), n);
    while (!work.empty()) {
        rcParseNode *n = work.back();
        work.pop_back();
        if (rcVwIsBlock(n))
            blocks.push_back(n);
        for (rcParseNode *c = n->child; c != nullptr; c = c->next)
            work.push_back(c);
    }
    // Pre-order reversed: descendants come before their ancestors.
    return std::vector<rcParseNode *>(blocks.rbegin(), blocks.rend());
}

int PostChainError(Expansion &x, const std::string &name, bool cycle)
{
    std::string path;
    for (const std::string &v : x.chain)
        path += v + " -> ";
    path += name;
    std::string text =
        cycle ? "View " + name + " refers to itself: " + path + "."
              : "Views nested more than " + std::to_string(kRcVwMaxDepth) + " deep: " + path + ".";
    rcErrPost(rcVwErrors(x.stmt), RC_ENG_INVALID_VIEW_TABLE_NAME, nullptr, 0, text.c_str());
    return -1;
}

int ExpandTree(Expansion &x, rcParseNode *root);

// Parses, expands and copies one view into the statement's arena.
int LoadView(Expansion &x, const char *name, rcVwMergeView *view)
{
    uint16_t columnCount = 0;
    rcViewEntry entry;
    int r = rcVwLookup(x.stmt, name, &columnCount, &entry);
    if (r != 0)
        return -1; // 1000 cannot happen: the name was just found; -1 is posted
    view->name = name;
    view->columns = x.stmt->views->columns;
    std::string text = x.stmt->views->text;

    ++*x.counter;
    rcMemPool viewArena = rcPrsNewArena();
    if (viewArena == nullptr) {
        rcErrPost(rcVwErrors(x.stmt), RC_MSG_MEMORY_ALLOCATION_ERROR, nullptr, 0, nullptr);
        return -1;
    }
    rcParseNode *viewRoot = nullptr;
    // The stored text was regenerated with its escapes written out.
    int parsed = rcPrsParseLocked(viewArena, text.c_str(), &viewRoot, true);
    if (parsed != RC_PRS_OK) {
        rcVwSyntaxErrorText(x.stmt, text.c_str(), parsed);
        rcPrsFreeArena(viewArena);
        return -1;
    }
    Expansion inner{x.stmt, viewArena, viewRoot, x.counter, x.chain};
    inner.chain.push_back(name);
    if (ExpandTree(inner, viewRoot) != 0) {
        rcPrsFreeArena(viewArena);
        return -1;
    }
    if (PrsSpy(x.stmt)) {
        std::string line =
            "\r\nMerging view " + std::string(name) + ":(" + text.substr(0, 255) + ")\r\n";
        rcSpyWrite(line.c_str());
    }
    rcParseNode *copy = nullptr;
    int copied = rcPrsCopyTree(x.arena, &copy, inner.root);
    rcPrsFreeArena(viewArena);
    if (copied == 0 || copy == nullptr) {
        rcErrPost(rcVwErrors(x.stmt), RC_MSG_MEMORY_ALLOCATION_ERROR, nullptr, 0, nullptr);
        return -1;
    }
    view->tree = copy;
    view->counter = *x.counter;
    return 0;
}

// The first table reference of the block that names a view not merged yet.
rcParseNode *FirstViewRef(Expansion &x, rcParseNode *block)
{
    for (rcParseNode *ref : rcVwFromTableRefs(block)) {
        if (ref->attr2 == kRcVwMergedMark)
            continue;
        const char *name = rcVwTableNameText(ref->child);
        if (name[0] != '\0' && rcVwIsViewName(x.stmt, name))
            return ref;
    }
    return nullptr;
}

int ExpandTree(Expansion &x, rcParseNode *root)
{
    bool hasOuter = TreeHas(root, RC_T_OUTER);
    bool hasUnion = TreeHas(root, RC_N_Union_Opt);
    bool mainMerged = false;
    rcParseNode *mainBlock = root->id == RC_N_FullSelectStmt ? root->child : root;
    for (rcParseNode *block : Blocks(root)) {
        for (;;) {
            size_t queued = rcErrQueueCount(rcVwErrors(x.stmt));
            rcParseNode *ref = FirstViewRef(x, block);
            if (rcErrQueueCount(rcVwErrors(x.stmt)) != queued)
                return -1; // the catalogue could not be read
            if (ref == nullptr)
                break;
            if (hasOuter)
                return rcErrRaise(rcVwErrors(x.stmt),
                                  RC_ENG_VIEWS_NOT_SUPPORTED_STATEMENTS_CONTAINING);
            if (hasUnion)
                return rcErrRaise(rcVwErrors(x.stmt), RC_ENG_UNION_NOT_SUPPORTED_VIEW_STATEMENTS);
            std::string name = rcVwTableNameText(ref->child);
            for (const std::string &v : x.chain)
                if (rcVwNameEqual(v.c_str(), name.c_str(), TableCase(x.stmt)))
                    return PostChainError(x, name, true);
            if (x.chain.size() >= size_t(kRcVwMaxDepth))
                return PostChainError(x, name, false);
            rcVwMergeView view;
            if (LoadView(x, name.c_str(), &view) != 0)
                return -1;
            rcVwMergeCtx ctx;
            ctx.stmt = x.stmt;
            ctx.arena = x.arena;
            ctx.root = x.root;
            ctx.tableCase = TableCase(x.stmt);
            ctx.columnCase = (x.stmt->sourceInfo.capabilities & RC_VW_CAP_COLUMN_CASE) != 0;
            if (rcVwMerge(ctx, block, ref, view) != 0)
                return -1;
            if (rcPrsLinkTreeDepth(x.root) > kMaxTreeDepth) {
                rcErrPost(rcVwErrors(x.stmt), RC_MSG_SYNTAX_ERROR, nullptr, 0,
                          "The statement is nested too deeply after its views were merged.");
                return -1;
            }
            if (block == mainBlock)
                mainMerged = true;
            if (PrsSpy(x.stmt)) {
                std::string text = "\r\n--------- After merging view " + name + " ----------\r\n";
                text += rcPrsDumpTree(x.root);
                rcSpyWrite(text.c_str());
            }
        }
    }
    if (mainMerged) {
        rcVwMergeCtx ctx;
        ctx.stmt = x.stmt;
        ctx.arena = x.arena;
        ctx.root = x.root;
        return rcVwOrderByPositions(ctx);
    }
    return 0;
}

} // namespace

std::string rcVwSyntaxErrorExcerpt(const char *text, long pos)
{
    std::string t = text != nullptr ? text : "";
    if (pos < 0)
        pos = 0;
    // The marker stands after the last character the scanner read.
    size_t at = std::min(t.size(), size_t(pos) + 1);
    if (t.size() >= kExcerptBuffer + 1) {
        size_t from = at > kExcerptShortBefore ? at - kExcerptShortBefore : 0;
        return t.substr(from, at - from) + kMarker + t.substr(at, kExcerptShortAfter);
    }
    std::string out;
    size_t from = pos > kExcerptFullUpTo ? at - std::min(at, size_t(kExcerptBefore)) : 0;
    out = t.substr(from, at - from) + kMarker + t.substr(at);
    if (out.size() > kExcerptBuffer)
        out.resize(kExcerptBuffer);
    return out;
}

void rcVwSyntaxErrorText(rcStmt *stmt, const char *text, int parseResult)
{
    switch (parseResult) {
    case RC_PRS_SYNTAX: {
        std::string excerpt = rcVwSyntaxErrorExcerpt(text, rcPrsErrorPos());
        rcErrPost(rcVwErrors(stmt), RC_MSG_SYNTAX_ERROR, nullptr, 0, excerpt.c_str());
        break;
    }
    case RC_PRS_NOMEM: rcErrRaise(rcVwErrors(stmt), RC_MSG_MEMORY_ALLOCATION_ERROR); break;
    case RC_PRS_TOOLONG:
        rcErrPost(rcVwErrors(stmt), RC_MSG_SYNTAX_ERROR, nullptr, 0,
                  rcUtlLoadString(RC_TXT_VALUE_TOO_LONG));
        break;
    default:
        rcErrPost(rcVwErrors(stmt), RC_MSG_SYNTAX_ERROR, nullptr, 0, rcPrsLastErrorText());
        break;
    }
}

int rcVwParseStatement(rcStmt *stmt, const char *text, rcParseNode **root, rcMemPool *arena,
                       uint16_t *counter, bool subTree, bool escapes)
{
    uint16_t local = 0;
    if (counter == nullptr)
        counter = &local;
    if (!subTree) {
        *root = nullptr;
        *arena = rcPrsNewArena();
        if (*arena == nullptr) {
            rcErrRaise(rcVwErrors(stmt), RC_MSG_MEMORY_ALLOCATION_ERROR);
            return -1;
        }
        uint16_t limit =
            stmt->sourceInfo.maxColumns != 0 ? stmt->sourceInfo.maxColumns : kDefaultColumnLimit;
        rcPrsSetLimits(limit, limit);
        int parsed = rcPrsParseLocked(*arena, text != nullptr ? text : "", root, escapes);
        if (parsed != RC_PRS_OK) {
            rcVwSyntaxErrorText(stmt, text, parsed);
            rcPrsFreeArena(*arena);
            *arena = nullptr;
            *root = nullptr;
            return -1;
        }
    }
    if (*root == nullptr)
        return -1;
    // A CREATE VIEW keeps its query as written: that text is what is stored.
    if ((*root)->id == RC_N_CreateViewStmt)
        return 0;
    // A part of a tree is expanded in place; links are rebuilt from the top.
    rcParseNode *top = *root;
    while (rcPrsParentOf(top) != nullptr)
        top = rcPrsParentOf(top);
    while (top->prev != nullptr)
        top = top->prev;
    Expansion x{stmt, *arena, top, counter, {}};
    return ExpandTree(x, *root);
}

int rcVwExpand(rcStmt *stmt, rcMemPool arena, rcParseNode *root)
{
    return rcVwParseStatement(stmt, nullptr, &root, &arena, nullptr, true);
}
