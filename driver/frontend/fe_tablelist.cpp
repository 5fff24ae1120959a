// The statement's table list (see fe_tablelist.h).
#include "driver/frontend/fe_tablelist.h"

#include <cstring>
#include <string>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/tam.h"
#include "driver/frontend/fe_check.h"
#include "platform/strings.h"

namespace {

rcParseNode *Child(rcParseNode *n, uint16_t id)
{
    for (rcParseNode *c = n != nullptr ? n->child : nullptr; c != nullptr; c = c->next)
        if (c->id == id)
            return c;
    return nullptr;
}

// The alias written after a table name: TableRef(TableName CorName_Opt(CorName(c))).
const char *AliasOf(rcParseNode *tableName)
{
    for (rcParseNode *s = tableName->next; s != nullptr; s = s->next)
        if (s->id == RC_N_CorName_Opt) {
            rcParseNode *cor = Child(s, RC_N_CorName);
            rcParseNode *id = cor != nullptr ? cor->child : nullptr;
            return id != nullptr ? id->text : "";
        }
    return "";
}

int OpenOne(rcPrepared *prep, rcErrorQueue *errors, rcParseNode *node)
{
    auto entry = std::make_unique<rcTblEntry>();
    for (rcParseNode *c = node->child; c != nullptr; c = c->next) {
        if (c->id == RC_T_PATH)
            entry->path = c->text;
        else if (c->id == RC_T_IDENTIFIER && entry->name.empty())
            entry->name = c->text;
    }
    entry->alias = AliasOf(node);
    if (entry->alias.size() > kRcTblAliasMax)
        return rcErrRaise(errors, RC_ENG_ALIAS_NAME_EXCEEDS_MAXIMUM_LENGTH);
    if (entry->name.empty() || entry->name.size() > kRcTblNameMax ||
        rcSemIsReservedName(entry->name.c_str()))
        return rcFePostText(errors, RC_ENG_INVALID_VIEW_TABLE_NAME, RC_TXT_INVALID_TABLE_NAME,
                            entry->name.c_str());
    entry->id = static_cast<uint32_t>(prep->tables.size());
    if (prep->source->OpenTable(errors, entry.get()) != 0)
        return -1;
    for (rcTblColumn &c : entry->columns)
        c.owner = entry.get();
    if (entry->columns.size() > prep->source->MaxColumns()) {
        // More columns than MaxColSupport: refused, never cut.
        prep->source->CloseTable(entry.get());
        return rcErrPost(errors, rcErrMapDrm(kTamTooManyColumns), nullptr, kTamTooManyColumns,
                         nullptr),
               -1;
    }
    node->sem = entry.get();
    prep->tables.push_back(std::move(entry));
    return 0;
}

int OpenWalk(rcPrepared *prep, rcErrorQueue *errors, rcParseNode *n)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == RC_N_TableName) {
            if (OpenOne(prep, errors, n) != 0)
                return -1;
            continue;
        }
        if (OpenWalk(prep, errors, n->child) != 0)
            return -1;
    }
    return 0;
}

} // namespace

int rcTblOpenAll(rcPrepared *prep, rcErrorQueue *errors)
{
    if (prep->kind == 9) // CREATE TABLE names a table that does not exist yet
        return 0;
    // The root only: its siblings (ORDER BY, the parameter type list) name no table.
    rcParseNode *next = prep->root->next;
    prep->root->next = nullptr;
    int r = OpenWalk(prep, errors, prep->root);
    prep->root->next = next;
    if (r != 0)
        rcTblCloseAll(prep);
    return r;
}

void rcTblCloseAll(rcPrepared *prep)
{
    for (auto &entry : prep->tables)
        if (prep->source != nullptr)
            prep->source->CloseTable(entry.get());
    prep->tables.clear();
}

rcTblEntry *rcTblNameOf(rcPrepared *prep, const char *name)
{
    for (auto &entry : prep->tables) {
        const std::string &n = entry->alias.empty() ? entry->name : entry->alias;
        if (PlatAsciiCaseCompare(n.c_str(), name) == 0)
            return entry.get();
    }
    return nullptr;
}
