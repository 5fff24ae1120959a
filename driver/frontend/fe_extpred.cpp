// Vendor predicates of a checked statement: each {pred item, item, ...} is
// resolved against the data source's own predicates (see fe_check.h).
//
// The items of the escape (commas skipped) are tried in order; the first that
// is a bare column name naming one of the data source's predicates, whose
// naming row stands at that item's position, becomes the predicate's name
// node (RC_N_VendorPredName, the position in its attribute) in place of the
// item. The other items stay: they are the predicate's arguments, checked
// and typed as any expression. An escape none of whose items names a
// predicate is refused with 11486, naming the last name tried.
#include <vector>

#include "driver/engine/expr/rcexp.h"
#include "driver/frontend/fe_check.h"

namespace {

// The name of an item that is a bare (unqualified) column name; null for
// any other item.
const char *BareName(const rcParseNode *item)
{
    const rcParseNode *n = item;
    while (n != nullptr && (n->id == RC_N_Expression || n->id == RC_N_Primary) &&
           n->child != nullptr && n->child->next == nullptr)
        n = n->child;
    if (n == nullptr || n->id != RC_N_ColName || n->child == nullptr ||
        n->child->id != RC_N_ColId || n->child->next != nullptr)
        return nullptr;
    const rcParseNode *id = n->child->child;
    return id != nullptr && id->id == RC_T_IDENTIFIER ? id->text : nullptr;
}

bool Resolved(const rcParseNode *pred)
{
    for (const rcParseNode *k = pred->child; k != nullptr; k = k->next)
        if (k->id == RC_N_VendorPredName)
            return true;
    return false;
}

int Resolve(rcFeSource *source, rcErrorQueue *errors, rcParseNode *pred)
{
    const char *tried = "";
    uint32_t position = 0;
    for (rcParseNode *item = pred->child; item != nullptr; item = item->next) {
        if (item->id == ',')
            continue;
        const char *name = BareName(item);
        if (name != nullptr) {
            tried = name;
            if (source->HasExtPredicate(name, position)) {
                item->id = RC_N_VendorPredName;
                item->text = name;
                item->attr = position;
                item->child = nullptr;
                item->sem = nullptr;
                return 0;
            }
        }
        ++position;
    }
    return rcExpPostUnknownPredicate(errors, tried);
}

} // namespace

int rcSemExtPredicates(rcPrepared *prep, rcErrorQueue *errors)
{
    // Every node of the statement, subqueries and the clauses after the
    // root included, without recursion.
    std::vector<rcParseNode *> stack;
    for (rcParseNode *n = prep->root; n != nullptr; n = n->next)
        stack.push_back(n);
    while (!stack.empty()) {
        rcParseNode *n = stack.back();
        stack.pop_back();
        if (n->id == RC_N_VendorStringPredicate && !Resolved(n) &&
            Resolve(prep->source, errors, n) != 0)
            return -1;
        for (rcParseNode *k = n->child; k != nullptr; k = k->next)
            stack.push_back(k);
    }
    return 0;
}
