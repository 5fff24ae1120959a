// The data module's information items and vendor predicates, as the
// table-access layer hands them to the connection.
//
//   TamGetDriverInfo(item, buffer, size)            driver-level items (no session)
//   TamGetDriverKeyword(name, size)             the data module's next own keyword
//   TamGetSessionInfo(session, item, buffer, size)  the connection's session
//   TamLoadExtPredicates(session, &list)      once at connect
//   TamFindExtPredicate(list, name, index)    lookups by exact name
// Text items (driver item 2, session items 112-114) are read into a buffer of
// at least 128 bytes and terminated at the answer's length.
#pragma once

#include "driver/core/rclist.h"

#include <cstddef>
#include <cstdint>

struct TamSession;

inline constexpr size_t kTamInfoText = 128;

// Driver-level information items (no session).
enum : uint32_t {
    kTamDriverValidateQualifier = 1,
    kTamDriverName = 2,
    kTamDriverPasswordSupport = 3,
    kTamDriverUserSupport = 4,
    kTamDriverKeywords = 6, // the data module's own connection keywords, one per call
};
inline constexpr size_t kTamExtPredicateName = 60;

struct TamExtPredicateArg {
    uint32_t value;
    uint32_t role;
};

struct TamExtPredicate {
    char name[kTamExtPredicateName + 1];
    rcList *args; // of TamExtPredicateArg
    uint32_t number;
    uint16_t nameRow; // index of the row that names the predicate
};

int32_t TamGetDriverInfo(uint32_t item, void *buffer, uint32_t size);
// Driver item 6: the name of the data module's next connection keyword, read
// into name (size bytes, terminated at the answer's length); non-zero once
// the data module has no more (the name is then still read and terminated).
int32_t TamGetDriverKeyword(char *name, uint32_t size);
int32_t TamGetSessionInfo(TamSession *session, uint32_t item, void *buffer, uint32_t size);
int32_t TamLoadExtPredicates(TamSession *session, rcList **list);
const TamExtPredicate *TamFindExtPredicate(const rcList *list, const char *name, uint32_t argIndex);
void TamFreeExtPredicates(rcList *list);
