// The data module's information items and vendor predicates.
//
//   rcDrmGetInfo(item, buffer, size)            driver-level items (no session)
//   rcDrmGetInfoConn(session, item, buffer, size)  the connection's session
//   rcDrmLoadExtPredicates(session, &list)      once at connect
//   rcDrmFindExtPredicate(list, name, index)    lookups by exact name
// Text items (driver item 2, session items 112-114) are read into a buffer of
// at least 128 bytes and terminated at the answer's length.
#pragma once

#include "driver/core/rclist.h"

#include <cstddef>
#include <cstdint>

struct TamSession;

inline constexpr size_t kRcDrmInfoText = 128;
inline constexpr size_t kRcExtPredicateName = 60;

struct rcExtPredicateArg {
    uint32_t value;
    uint32_t role;
};

struct rcExtPredicate {
    char name[kRcExtPredicateName + 1];
    rcList *args;       // of rcExtPredicateArg
    uint32_t number;
    uint16_t nameRow;   // index of the row that names the predicate
};

int32_t rcDrmGetInfo(uint32_t item, void *buffer, uint32_t size);
int32_t rcDrmGetInfoConn(TamSession *session, uint32_t item, void *buffer, uint32_t size);
int32_t rcDrmLoadExtPredicates(TamSession *session, rcList **list);
const rcExtPredicate *rcDrmFindExtPredicate(const rcList *list, const char *name, uint32_t argIndex);
void rcDrmFreeExtPredicates(rcList *list);
