// Helpers shared by the front-end tests: scan a text into printable tokens,
// parse a text into a dump.
#pragma once

#include <string>
#include <vector>

#include "driver/frontend/rcprs.h"
#include "driver/frontend/rcprsctx.h"

// Tokens as "NAME" or "NAME:text"; a failure ends the list with "FAIL".
inline std::vector<std::string> ScanTokens(const char *text, bool escapes = true)
{
    std::vector<std::string> out;
    rcMemPool arena = rcPrsNewArena();
    rcPrsContext ctx;
    ctx.arena = arena;
    rcPrsScanReset(&ctx.scan, text, escapes);
    for (;;) {
        rcParseNode *value = nullptr;
        int token = rcPrsScan(&ctx, &value);
        if (token == RC_SCAN_END)
            break;
        if (token == RC_SCAN_FAIL) {
            out.push_back("FAIL");
            break;
        }
        const char *name = rcPrsSymbolName(static_cast<uint16_t>(token));
        std::string item =
            name != nullptr ? std::string(name) : std::string("#").append(std::to_string(token));
        if (value != nullptr && value->text[0] != '\0' && item != value->text)
            item += std::string(":") + value->text;
        out.push_back(item);
    }
    rcPrsFreeArena(arena);
    return out;
}

struct ParseOutcome {
    int result = -1;
    uint16_t message = 0;
    std::string error;
    std::string dump;
};

inline ParseOutcome ParseText(const char *text, bool escapes = true)
{
    ParseOutcome out;
    rcMemPool arena = rcPrsNewArena();
    rcParseNode *root = nullptr;
    out.result = rcPrsParseLocked(arena, text, &root, escapes);
    if (out.result == RC_PRS_OK)
        out.dump = rcPrsDumpTree(root);
    else {
        out.message = rcPrsLastErrorId();
        out.error = rcPrsLastErrorText();
    }
    rcPrsFreeArena(arena);
    return out;
}

// One-line dump: a nonterminal as Name(children), a token as its text.
inline void CompactDump(const rcParseNode *n, std::string &out)
{
    for (bool first = true; n != nullptr; n = n->next, first = false) {
        if (!first)
            out += ' ';
        if (n->child != nullptr || n->text[0] == '\0') {
            const char *name = rcPrsSymbolName(n->id);
            if (name != nullptr)
                out += name;
            else
                out.append("#").append(std::to_string(n->id));
            if (n->attr != 0)
                out.append("@").append(std::to_string(n->attr));
            out += '(';
            CompactDump(n->child, out);
            out += ')';
        } else {
            out += n->text;
            if (n->attr != 0)
                out.append("@").append(std::to_string(n->attr));
        }
    }
}

inline std::string CompactDump(const rcParseNode *root)
{
    std::string out;
    CompactDump(root, out);
    return out;
}

// Parses into a fresh arena that the caller frees.
struct ParsedTree {
    rcMemPool arena = rcPrsNewArena();
    rcParseNode *root = nullptr;
    int result = -1;
    explicit ParsedTree(const std::string &text, bool escapes = true)
    {
        result = rcPrsParseLocked(arena, text.c_str(), &root, escapes);
    }
    ~ParsedTree() { rcPrsFreeArena(arena); }
    ParsedTree(const ParsedTree &) = delete;
    ParsedTree &operator=(const ParsedTree &) = delete;
};
