// The data module's information items and vendor predicates (see tam_drminfo.h).
#include "driver/engine/tam_drminfo.h"

#include "driver/Sources/drm.h"
#include "driver/engine/tam.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsTextItem(uint32_t item, bool session)
{
    return session ? (item >= 112 && item <= 114) : item == 2;
}

int32_t Ask(uint32_t sessionId, uint32_t item, void *buffer, uint32_t size, bool text)
{
    uint32_t got = 0;
    if (!text)
        return DrmGetInfo(sessionId, item, buffer, size, &got);
    if (size == 0)
        return kDrmErrBufferTooSmall;
    char *out = static_cast<char *>(buffer);
    int32_t rc = DrmGetInfo(sessionId, item, out, size - 1, &got);
    out[std::min(got, size - 1)] = '\0';
    return rc;
}

} // namespace

int32_t TamGetDriverInfo(uint32_t item, void *buffer, uint32_t size)
{
    return Ask(kDrmDriverSession, item, buffer, size, IsTextItem(item, false));
}

int32_t TamGetDriverKeyword(char *name, uint32_t size)
{
    return Ask(kDrmDriverSession, kTamDriverKeywords, name, size, true);
}

int32_t TamGetSessionInfo(TamSession *session, uint32_t item, void *buffer, uint32_t size)
{
    if (!session)
        return kDrmErrBadSession;
    return Ask(session->drmSession, item, buffer, size, IsTextItem(item, true));
}

void TamFreeExtPredicates(rcList *list)
{
    if (!list)
        return;
    for (uint32_t i = 0; i < rcListCount(list); ++i)
        rcListDestroy(static_cast<TamExtPredicate *>(rcListAt(list, i))->args);
    rcListDestroy(list);
}

int32_t TamLoadExtPredicates(TamSession *session, rcList **out)
{
    *out = nullptr;
    uint32_t info[7] = {sizeof info};
    int32_t rc =
        DrmGetExtPredicateInfo(session->drmSession, reinterpret_cast<uintptr_t>(info), sizeof info);
    if (rc != 0)
        return rc;
    rcList *list = rcListCreate(4, sizeof(TamExtPredicate), false, 0);
    if (!list)
        return kDrmErrNoMemory;
    const uint32_t cursor = info[1];
    rc = DrmMove(session->drmSession, cursor, kDrmMoveFirst);
    TamExtPredicate *current = nullptr;
    while (rc == 0) {
        uint32_t number = 0;
        uint32_t role = 0;
        uint32_t value = 0;
        uint32_t got = 0;
        DrmRetrieveColumn(session->drmSession, cursor, info[2], &number, 4, &got, nullptr);
        DrmRetrieveColumn(session->drmSession, cursor, info[3], &role, 4, &got, nullptr);
        DrmRetrieveColumn(session->drmSession, cursor, info[4], &value, 4, &got, nullptr);
        if (!current || current->number != number) {
            if (current && !current->name[0]) {
                TamFreeExtPredicates(list);
                return kDrmErrInfoNotAnswered;
            }
            current = static_cast<TamExtPredicate *>(rcListAppendNew(list));
            if (!current ||
                !(current->args = rcListCreate(4, sizeof(TamExtPredicateArg), false, 0))) {
                TamFreeExtPredicates(list);
                return kDrmErrNoMemory;
            }
            current->number = number;
        }
        if (role == 16) {
            char name[kTamExtPredicateName + 1] = {};
            if (DrmRetrieveColumn(session->drmSession, cursor, info[5], name, kTamExtPredicateName,
                                  &got, nullptr) < 0)
                got = 0;
            name[std::min<uint32_t>(got, kTamExtPredicateName)] = '\0';
            std::memcpy(current->name, name, sizeof current->name);
            current->nameRow = static_cast<uint16_t>(rcListCount(current->args));
        }
        TamExtPredicateArg arg{value, role};
        if (rcListAppend(current->args, &arg) != 0) {
            TamFreeExtPredicates(list);
            return kDrmErrNoMemory;
        }
        rc = DrmMove(session->drmSession, cursor, kDrmMoveNext);
    }
    *out = list;
    return 0;
}

const TamExtPredicate *TamFindExtPredicate(const rcList *list, const char *name, uint32_t argIndex)
{
    if (!list || !name)
        return nullptr;
    for (uint32_t i = 0; i < rcListCount(list); ++i) {
        const TamExtPredicate *p = static_cast<const TamExtPredicate *>(rcListAt(list, i));
        const TamExtPredicateArg *arg =
            static_cast<const TamExtPredicateArg *>(rcListAt(p->args, argIndex));
        if (arg && arg->role == 16 && std::strcmp(p->name, name) == 0)
            return p;
    }
    return nullptr;
}
