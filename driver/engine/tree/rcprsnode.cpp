// Parse-tree nodes: creation in the arena, linking, searching, copying,
// comparing and dumping.
#include "platform/strings.h"
#include <cstring>
#include <new>
#include <vector>

#include "driver/engine/tree/rcprsnode.h"

rcParseNode *rcPrsNewNode(rcMemPool arena, uint16_t id, rcParseNode *child)
{
    void *block = rcMemPoolAlloc(arena, sizeof(rcParseNode));
    if (block == nullptr)
        return nullptr;
    auto *node = new (block) rcParseNode;
    node->id = id;
    node->child = child;
    return node;
}

rcParseNode *rcPrsNewNameNodeN(rcMemPool arena, uint16_t id, const char *text, size_t len)
{
    void *block = rcMemPoolAlloc(arena, sizeof(rcParseNode) + len + 1);
    if (block == nullptr)
        return nullptr;
    auto *node = new (block) rcParseNode;
    char *copy = reinterpret_cast<char *>(node + 1);
    std::memcpy(copy, text, len);
    copy[len] = '\0';
    node->id = id;
    node->text = copy;
    return node;
}

rcParseNode *rcPrsNewNameNode(rcMemPool arena, uint16_t id, const char *text)
{
    return rcPrsNewNameNodeN(arena, id, text, std::strlen(text));
}

size_t rcPrsLinkTreeDepth(rcParseNode *root)
{
    if (root == nullptr)
        return 0;
    // Each entry is the first node of a sibling chain, its parent, and the
    // level of the chain (the root's chain is level 1).
    struct Pending {
        rcParseNode *first;
        rcParseNode *parent;
        size_t level;
    };
    std::vector<Pending> work;
    work.push_back({root, nullptr, 1});
    size_t depth = 0;
    while (!work.empty()) {
        Pending item = work.back();
        work.pop_back();
        if (item.level > depth)
            depth = item.level;
        item.first->parent = item.parent;
        rcParseNode *prev = nullptr;
        for (rcParseNode *n = item.first; n != nullptr; n = n->next) {
            n->prev = prev;
            if (n != item.first)
                n->parent = nullptr;
            if (n->child != nullptr)
                work.push_back({n->child, n, item.level + 1});
            prev = n;
        }
    }
    return depth;
}

void rcPrsLinkTree(rcParseNode *root) { rcPrsLinkTreeDepth(root); }

rcParseNode *rcPrsParentOf(const rcParseNode *node)
{
    if (node == nullptr)
        return nullptr;
    while (node->prev != nullptr)
        node = node->prev;
    return node->parent;
}

namespace {

bool StopsDescent(const rcParseNode *node, uint16_t stopId)
{
    if (stopId == RC_PRS_STOP_SUBQUERY)
        return node->id == RC_N_SubQuery || node->id == RC_N_Union_Opt;
    return stopId != 0 && node->id == stopId;
}

// The node after n in depth-first order, not leaving the level of root.
rcParseNode *Successor(rcParseNode *n, const rcParseNode *top, bool descend, uint16_t stopId)
{
    if (descend && n->child != nullptr && !StopsDescent(n, stopId))
        return n->child;
    while (n != nullptr) {
        if (n->next != nullptr)
            return n->next;
        n = rcPrsParentOf(n);
        if (n == top)
            return nullptr;
    }
    return nullptr;
}

} // namespace

rcParseNode *rcPrsFindNextEx(rcParseNode *root, uint16_t id, rcParseNode *from, bool skipChildren,
                             uint16_t stopId)
{
    if (root == nullptr)
        return nullptr;
    const rcParseNode *top = rcPrsParentOf(root);
    rcParseNode *n = from == nullptr ? root : Successor(from, top, !skipChildren, stopId);
    while (n != nullptr) {
        if (n->id == id)
            return n;
        n = Successor(n, top, true, stopId);
    }
    return nullptr;
}

rcParseNode *rcPrsFindNext(rcParseNode *root, uint16_t id, rcParseNode *from, bool skipChildren)
{
    return rcPrsFindNextEx(root, id, from, skipChildren, 0);
}

rcParseNode *rcPrsFindFirst(rcParseNode *root, uint16_t id, rcParseNode *from)
{
    return rcPrsFindNext(root, id, from, false);
}

rcParseNode *rcPrsFindInScope(rcParseNode *node, uint16_t id)
{
    for (rcParseNode *p = rcPrsParentOf(node); p != nullptr; p = rcPrsParentOf(p))
        if (p->id == id)
            return p;
    return nullptr;
}

rcParseNode *rcPrsChainedChild(rcParseNode *node)
{
    if (node == nullptr || node->id != RC_N_Expression)
        return nullptr;
    rcParseNode *primary = node->child;
    if (primary == nullptr || primary->id != RC_N_Primary || primary->next != nullptr)
        return nullptr;
    rcParseNode *name = primary->child;
    if (name == nullptr || name->id != RC_N_ColName || name->next != nullptr)
        return nullptr;
    return name;
}

void rcPrsReplaceNode(rcParseNode *oldNode, rcParseNode *newNode)
{
    newNode->prev = oldNode->prev;
    newNode->next = oldNode->next;
    newNode->parent = oldNode->parent;
    if (oldNode->prev != nullptr)
        oldNode->prev->next = newNode;
    else if (oldNode->parent != nullptr)
        oldNode->parent->child = newNode;
    if (oldNode->next != nullptr)
        oldNode->next->prev = newNode;
    oldNode->prev = oldNode->next = oldNode->parent = nullptr;
}

namespace {

rcParseNode *CopyChain(rcMemPool arena, const rcParseNode *chain)
{
    rcParseNode *first = nullptr;
    rcParseNode *last = nullptr;
    for (const rcParseNode *n = chain; n != nullptr; n = n->next) {
        rcParseNode *copy = rcPrsNewNameNode(arena, n->id, n->text);
        if (copy == nullptr)
            return nullptr;
        copy->attr = n->attr;
        copy->attr2 = n->attr2;
        if (n->child != nullptr) {
            copy->child = CopyChain(arena, n->child);
            if (copy->child == nullptr)
                return nullptr;
        }
        if (last == nullptr)
            first = copy;
        else
            last->next = copy;
        last = copy;
    }
    return first;
}

bool IsCaseless(uint16_t id)
{
    switch (id) {
    case RC_T_IDENTIFIER:
    case RC_T_USINT_LIT:
    case RC_T_DECNUM_LIT:
    case RC_T_APPROX_NUM_LIT:
    case RC_T_PATH: return true;
    default: return false;
    }
}

} // namespace

int rcPrsCopyTree(rcMemPool arena, rcParseNode **out, const rcParseNode *chain)
{
    *out = nullptr;
    if (chain == nullptr)
        return 1;
    rcParseNode *copy = CopyChain(arena, chain);
    if (copy == nullptr)
        return 0;
    rcPrsLinkTree(copy);
    *out = copy;
    return 1;
}

bool rcPrsTreeEqual(const rcParseNode *a, const rcParseNode *b)
{
    for (; a != nullptr && b != nullptr; a = a->next, b = b->next) {
        if (a->id != b->id)
            return false;
        switch (a->id) {
        case RC_N_ColName:
        case RC_N_SetFunctionRef:
            // Resolved references compare by what they resolved to.
            if (a->attr != 0 && b->attr != 0) {
                if (a->attr != b->attr)
                    return false;
                continue;
            }
            break;
        case RC_N_TempColumn:
            if (a->attr != b->attr || a->attr2 != b->attr2)
                return false;
            continue;
        case RC_N_TypedLiteral:
        case RC_N_ConvertType:
            if (a->attr != b->attr)
                return false;
            break;
        default: break;
        }
        bool same = IsCaseless(a->id) ? PlatAsciiCaseCompare(a->text, b->text) == 0
                                      : std::strcmp(a->text, b->text) == 0;
        if (!same || !rcPrsTreeEqual(a->child, b->child))
            return false;
    }
    return a == nullptr && b == nullptr;
}

rcParseNode *rcPrsFindEqual(rcParseNode *tree, rcParseNode *from, const rcParseNode *pattern,
                            bool skipChildren)
{
    if (pattern == nullptr)
        return nullptr;
    for (rcParseNode *n = rcPrsFindNext(tree, RC_N_Expression, from, skipChildren); n != nullptr;
         n = rcPrsFindNext(tree, RC_N_Expression, n, false)) {
        if (n != pattern && rcPrsTreeEqual(n->child, pattern->child))
            return n;
    }
    return nullptr;
}

bool rcPrsCheckPathQuotes(char *path)
{
    size_t len = std::strlen(path);
    if (std::strchr(path, '"') == nullptr)
        return true;
    if (path[0] != '"')
        return false;
    // The closing quote ends the text or stands before a trailing
    // separator or ".".
    size_t close;
    if (len >= 2 && path[len - 1] == '"')
        close = len - 1;
    else if (len >= 3 && path[len - 2] == '"' &&
             (path[len - 1] == '\\' || path[len - 1] == '/' || path[len - 1] == '.'))
        close = len - 2;
    else
        return false;
    for (size_t i = 1; i < close; ++i)
        if (path[i] == '"')
            return false;
    std::memmove(path + close, path + close + 1, len - close); // drops the closing quote
    std::memmove(path, path + 1, len - 1);                     // and the opening one
    return true;
}

rcParseNode *rcPrsMakePathName(rcMemPool arena, const char *text)
{
    const char *cut = nullptr;
    for (const char *p = text; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            cut = p;
    if (cut == nullptr)
        return rcPrsNewNameNode(arena, RC_T_IDENTIFIER, text);
    rcParseNode *path = rcPrsNewNameNodeN(arena, RC_T_PATH, text, size_t(cut - text) + 1);
    rcParseNode *name = rcPrsNewNameNode(arena, RC_T_IDENTIFIER, cut + 1);
    if (path == nullptr || name == nullptr)
        return nullptr;
    path->next = name;
    name->prev = path;
    return path;
}

rcParseNode *rcPrsSplitQualified(rcMemPool arena, const char *text)
{
    auto part = [arena](const char *begin, size_t len) -> rcParseNode * {
        if (len >= 2 && begin[0] == '"' && begin[len - 1] == '"') {
            ++begin;
            len -= 2;
        }
        return rcPrsNewNameNodeN(arena, RC_T_IDENTIFIER, begin, len);
    };
    const char *dot = std::strchr(text, '.');
    if (dot == nullptr)
        return part(text, std::strlen(text));
    rcParseNode *first = part(text, size_t(dot - text));
    rcParseNode *second = part(dot + 1, std::strlen(dot + 1));
    if (first == nullptr || second == nullptr)
        return nullptr;
    first->next = second;
    second->prev = first;
    return first;
}

namespace {

void DumpChain(const rcParseNode *n, int depth, std::string &out)
{
    for (; n != nullptr; n = n->next) {
        out.append(size_t(depth) * 2, ' ');
        const char *name = rcPrsSymbolName(n->id);
        if (name != nullptr)
            out += name;
        else {
            out += '#';
            out += std::to_string(n->id);
        }
        if (n->text[0] != '\0' && (name == nullptr || std::strcmp(name, n->text) != 0)) {
            out += " \"";
            out += n->text;
            out += '"';
        }
        if (n->attr != 0) {
            out += " attr=";
            out += std::to_string(n->attr);
        }
        out += '\n';
        DumpChain(n->child, depth + 1, out);
    }
}

} // namespace

std::string rcPrsDumpTree(const rcParseNode *root)
{
    std::string out;
    DumpChain(root, 0, out);
    return out;
}
