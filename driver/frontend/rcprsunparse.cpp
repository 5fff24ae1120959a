#include "platform/strings.h"
#include "driver/frontend/rcprsunparse.h"

#include <cstring>

#include "driver/frontend/rcprsfn.h"

namespace {

const char *const kWordsToQuote[] = {
    // Keywords.
    "ADD",
    "ALL",
    "ALTER",
    "AND",
    "ANY",
    "AS",
    "ASC",
    "AVG",
    "BETWEEN",
    "BY",
    "CASCADE",
    "CHECK",
    "COUNT",
    "CREATE",
    "DEFAULT",
    "DELETE",
    "DESC",
    "DISTINCT",
    "DROP",
    "EXISTS",
    "FOREIGN",
    "FROM",
    "GRANT",
    "GROUP",
    "HAVING",
    "IF",
    "IN",
    "INDEX",
    "INSERT",
    "INTO",
    "IS",
    "JOIN",
    "KEY",
    "LEFT",
    "LIKE",
    "MAX",
    "MIN",
    "NOT",
    "NULL",
    "ON",
    "OR",
    "ORDER",
    "OUTER",
    "PRIMARY",
    "PUBLIC",
    "REFERENCES",
    "RESTRICT",
    "REVOKE",
    "SELECT",
    "SET",
    "SUM",
    "SVBEGIN",
    "SVEND",
    "TABLE",
    "TO",
    "UNION",
    "UNIQUE",
    "UPDATE",
    "USER",
    "VALUES",
    "VIEW",
    "WHERE",
    // Reserved words.
    "AUTHORIZATION",
    "COBOL",
    "ESCAPE",
    "LANGUAGE",
    "MODULE",
    "OPTION",
    "PRIVILEGES",
    "PROCEDURE",
    "SCHEMA",
};

bool IsBlankChar(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsWordStart(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x7F;
}

bool IsWordChar(unsigned char c) { return IsWordStart(c) || (c >= '0' && c <= '9') || c == '_'; }

// A path token scans back only when it is made of the path pattern alone.
bool IsPathText(const char *t)
{
    auto sep = [](char c) { return c == '\\' || c == '/'; };
    const char *p = t;
    if (IsWordStart(static_cast<unsigned char>(p[0])) && p[1] == ':' && sep(p[2]))
        p += 3;
    else if (p[0] == '\\' && p[1] == '\\')
        p += 2;
    else if (sep(p[0]) && p[1] != '\0')
        p += 1;
    else
        return false;
    if ((p - t) == 3 && !((t[0] >= 'A' && t[0] <= 'Z') || (t[0] >= 'a' && t[0] <= 'z')))
        return false;
    while (*p != '\0') {
        if (!IsWordStart(static_cast<unsigned char>(*p)))
            return false;
        while (IsWordChar(static_cast<unsigned char>(*p)))
            ++p;
        if (!sep(*p))
            return false;
        ++p;
    }
    return true;
}

void AppendQuoted(std::string &out, const char *text, char quote)
{
    out += quote;
    for (const char *p = text; *p != '\0'; ++p) {
        out += *p;
        if (*p == quote)
            out += quote;
    }
    out += quote;
}

// A string literal's text keeps its outer quotes; the inner ones are
// doubled again.
void AppendStringLiteral(std::string &out, const char *text)
{
    size_t len = std::strlen(text);
    if (len >= 2 && text[0] == '\'' && text[len - 1] == '\'') {
        std::string inner(text + 1, len - 2);
        AppendQuoted(out, inner.c_str(), '\'');
    } else {
        AppendQuoted(out, text, '\'');
    }
}

class Writer {
public:
    std::string out;

    void Word(const char *text)
    {
        if (!out.empty())
            out += ' ';
        out += text;
    }

    void Blank()
    {
        if (!out.empty())
            out += ' ';
    }

    void Chain(const rcParseNode *n)
    {
        for (; n != nullptr; n = n->next)
            Node(n);
    }

    void Node(const rcParseNode *n)
    {
        switch (n->id) {
        case RC_N_Void: return;
        case RC_T_CHAR_STR_LIT:
            Blank();
            AppendStringLiteral(out, n->text);
            return;
        case RC_T_IDENTIFIER:
            Blank();
            rcPrsAppendIdentifier(out, n->text);
            return;
        case RC_T_PATH:
            // A scanned path is always followed by the table's name; a
            // qualifier written as a name (q/t, q.t) is written as a name.
            Blank();
            if (IsPathText(n->text) && n->next != nullptr && n->next->id == RC_T_IDENTIFIER)
                out += n->text;
            else
                rcPrsAppendIdentifier(out, n->text);
            return;
        case RC_N_TypedLiteral:
            Word(n->attr == 9 ? "{d" : n->attr == 10 ? "{t" : "{ts");
            Blank();
            AppendStringLiteral(out, n->text);
            out += '}';
            return;
        case RC_N_ConvertType: {
            const char *name = nullptr;
            if (rcPrsConvertTypeName(static_cast<int16_t>(n->attr), &name))
                Word(name);
            else
                Chain(n->child);
            return;
        }
        case RC_N_ScalarFn:
            // The function name is written as it stands: LEFT, USER and NULL
            // name functions here and scan back as those keywords.
            if (n->child != nullptr) {
                Word(n->child->text);
                Chain(n->child->next);
            }
            return;
        case RC_N_Procedure:
            Word("{");
            for (const rcParseNode *c = n->child; c != nullptr; c = c->next) {
                if (c->id == RC_N_ProcedureReturnValue) {
                    Chain(c->child);
                    Word("=");
                } else if (c->id == RC_N_ProcedureName) {
                    Word("call");
                    Node(c);
                } else {
                    Node(c);
                }
            }
            Word("}");
            return;
        case RC_N_UseStmt:
            // USE takes the rest of the text as its path, unquoted.
            // A path with blanks at either end keeps them inside quotes.
            Word("USE");
            if (n->child != nullptr && n->child->next != nullptr) {
                const char *path = n->child->next->text;
                size_t len = std::strlen(path);
                bool edges = len > 0 && (IsBlankChar(path[0]) || IsBlankChar(path[len - 1]));
                Blank();
                if (edges)
                    AppendQuoted(out, path, '"');
                else
                    out += path;
            }
            return;
        case RC_N_VendorStringPredicate:
            Word("{pred");
            Chain(n->child);
            Word("}");
            return;
        case RC_N_ParamTypeList: {
            Word("[");
            bool first = true;
            for (const rcParseNode *c = n->child; c != nullptr; c = c->next) {
                if (c->id == RC_N_DynamicParm && !first)
                    Word(",");
                first = false;
                Node(c);
            }
            Word("]");
            return;
        }
        case RC_N_FullSelectStmt:
            // The right operand of a UNION that is itself a UNION keeps its
            // parentheses; the left one groups that way anyway.
            for (const rcParseNode *c = n->child; c != nullptr; c = c->next) {
                bool paren = c->id == RC_N_FullSelectStmt && c->prev != nullptr &&
                             c->prev->id == RC_N_Union_Opt;
                if (paren)
                    Word("(");
                Node(c);
                if (paren)
                    Word(")");
            }
            return;
        default: break;
        }
        if (n->child != nullptr)
            Chain(n->child);
        else if (n->text[0] != '\0')
            Word(n->text);
    }
};

} // namespace

bool rcPrsIdentifierNeedsQuotes(const char *name)
{
    if (!IsWordStart(static_cast<unsigned char>(name[0])))
        return true;
    for (const char *p = name; *p != '\0'; ++p)
        if (!IsWordChar(static_cast<unsigned char>(*p)))
            return true;
    for (const char *word : kWordsToQuote)
        if (PlatAsciiCaseCompare(word, name) == 0)
            return true;
    return false;
}

void rcPrsAppendIdentifier(std::string &out, const char *name)
{
    if (rcPrsIdentifierNeedsQuotes(name))
        AppendQuoted(out, name, '"');
    else
        out += name;
}

std::string rcPrsUnparse(const rcParseNode *root)
{
    Writer w;
    w.Chain(root);
    return std::move(w.out);
}

std::string rcPrsUnparseNode(const rcParseNode *node)
{
    Writer w;
    if (node != nullptr)
        w.Node(node);
    return std::move(w.out);
}
