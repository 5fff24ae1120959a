// The data module's parse-tree hook (see rcparsehook.h).
#include "driver/engine/rcparsehook.h"

#include <cstring>

#include "driver/core/rcerror.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/rcsem.h"
#include "driver/engine/rcstmt.h"
#include "driver/engine/tam.h"
#include "driver/engine/tree/rcprsnode.h"
#include "driver/engine/tree/rcprssym.h"

namespace {

int32_t CallDataModule(rcStmt *stmt, const char *text, const rcParseNode *root,
                       rcParseHookRecord *record, char **newText)
{
    TamSession *session = stmt->conn != nullptr ? stmt->conn->session() : nullptr;
    return TamParseHook(session, text, root, record->callbacks, newText, record);
}

rcParseHookFn gHook = &CallDataModule;

// The column of a ColName, or of an Expression that is one.
const rcTblColumn *ColumnOf(const rcParseNode *node)
{
    if (node == nullptr)
        return nullptr;
    if (node->id == RC_N_Expression) {
        const rcParseNode *col =
            rcPrsFindFirst(const_cast<rcParseNode *>(node), RC_N_ColName, nullptr);
        node = col;
    }
    if (node == nullptr || node->id != RC_N_ColName)
        return nullptr;
    return static_cast<const rcTblColumn *>(node->sem);
}

const rcParseNode *FindNode(const rcParseNode *root, const rcParseNode *start, uint32_t symbol,
                            uint32_t skipChildren)
{
    return rcPrsFindNext(const_cast<rcParseNode *>(root), static_cast<uint16_t>(symbol),
                         const_cast<rcParseNode *>(start), skipChildren != 0);
}

uint32_t SetFunctionValue(const rcParseNode *node)
{
    return node != nullptr && node->id == RC_N_SetFunctionRef ? node->attr2 : 0;
}

void SubtreeText(const rcParseNode *node, char *buffer, size_t size, uint32_t *cut)
{
    std::string text;
    for (const rcParseNode *n = node; n != nullptr; n = rcHookNextNode(node, n)) {
        if (n->child == nullptr && n->text != nullptr && n->text[0] != '\0') {
            if (!text.empty())
                text += ' ';
            text += n->text;
        }
        if (n == node && n->child == nullptr)
            break;
    }
    if (cut != nullptr)
        *cut = size > 0 && text.size() >= size ? 1 : 0;
    if (buffer != nullptr && size > 0) {
        size_t n = text.size() < size ? text.size() : size - 1;
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
}

void *Allocate(void *, size_t size)
{
    void *p = rcMemAlloc(size);
    if (p != nullptr)
        std::memset(p, 0, size);
    return p;
}

uintptr_t ParameterOffset(uintptr_t base, const rcParseNode *node)
{
    return node != nullptr && node->id == RC_N_DynamicParm ? base + node->attr : 0;
}

} // namespace

void rcDrmSetParseHookFn(rcParseHookFn fn) { gHook = fn != nullptr ? fn : &CallDataModule; }

const rcParseNode *rcHookNextNode(const rcParseNode *root, const rcParseNode *node)
{
    if (node == nullptr)
        return root;
    if (node->child != nullptr)
        return node->child;
    for (const rcParseNode *n = node; n != nullptr && n != root; n = rcPrsParentOf(n))
        if (n->next != nullptr)
            return n->next;
    return nullptr;
}

const char *rcHookNumericLiteral(const rcParseNode *node)
{
    if (node == nullptr || (node->id != RC_N_Literal && node->id != RC_N_NumericLiteral))
        return nullptr;
    for (const rcParseNode *n = node->child; n != nullptr; n = rcHookNextNode(node, n)) {
        char c = n->text != nullptr ? n->text[0] : '\0';
        if (n->child == nullptr && ((c >= '0' && c <= '9') || c == '.'))
            return n->text;
    }
    return nullptr;
}

uint32_t rcHookCursorOf(const rcParseNode *node)
{
    const rcTblEntry *table = nullptr;
    if (node != nullptr && node->id == RC_N_TableName)
        table = static_cast<const rcTblEntry *>(node->sem);
    else if (const rcTblColumn *col = ColumnOf(node))
        table = col->owner;
    return table != nullptr && table->handle != nullptr ? table->handle->cursor : 0;
}

uint32_t rcHookColumnOf(const rcParseNode *node)
{
    const rcTblColumn *col = ColumnOf(node);
    return col != nullptr ? col->number : 0;
}

int16_t rcDrmParseHook(rcStmt *stmt, const rcParseNode *root, const char *text,
                       std::string *newText)
{
    newText->clear();
    rcParseHookRecord record;
    record.stmt = stmt;
    record.callbacks[0] = reinterpret_cast<const void *>(&rcHookNextNode);
    record.callbacks[1] = reinterpret_cast<const void *>(&FindNode);
    record.callbacks[2] = reinterpret_cast<const void *>(&rcHookNumericLiteral);
    record.callbacks[3] = reinterpret_cast<const void *>(&rcHookCursorOf);
    record.callbacks[4] = reinterpret_cast<const void *>(&rcHookColumnOf);
    record.callbacks[5] = reinterpret_cast<const void *>(&SetFunctionValue);
    record.callbacks[6] = reinterpret_cast<const void *>(&SubtreeText);
    record.callbacks[7] = reinterpret_cast<const void *>(&Allocate);
    record.callbacks[8] = reinterpret_cast<const void *>(&ParameterOffset);
    char *handedBack = nullptr;
    int32_t rc = gHook(stmt, text, root, &record, &handedBack);
    if (handedBack != nullptr) {
        if (rc != kDrmErrNoMemory)
            newText->assign(handedBack);
        rcMemFree(handedBack);
    }
    if (rc == kDrmErrNoMemory)
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_DRM_OUT_MEMORY));
    return 0;
}
