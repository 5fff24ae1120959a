// Resource strings: the driver's compiled-in string table and its loaders.
//
// A "module" is the string table of a library; the driver's own is
// kRcDriverStringTable and is what rcUtlGetModule answers unless a test or a
// host installed another with rcUtlSetModule. Ids are the values of rcmsgid.h.
//
//   s = rcResLoadString(module, id)   new block of at most 512 characters; a
//                                     missing id gives an empty text; null only
//                                     when memory ran out. Free with rcResFreeString.
//   rcUtlLoadString(id)               at most 255 characters in a buffer of the
//                                     calling thread, valid until its next call
//   rcUtlLoadStringEx(id)             like rcResLoadString on the driver's module
#pragma once

#include "platform/strings.h"

#include <cstdint>

using rcModule = const PlatStringTable *;

extern const PlatStringTable kRcDriverStringTable;

rcModule rcUtlGetModule();

char *rcResLoadString(rcModule module, uint32_t id);
void rcResFreeString(char *text);
const char *rcUtlLoadString(uint32_t id);
char *rcUtlLoadStringEx(uint32_t id);

// The stored text of id, or null when the driver's table has none (no copy).
const char *rcResFind(uint32_t id);

// The text the driver shows for a string it could not load, with the id filled in.
constexpr const char *kRcStringNotFoundFormat = "Resource string not found in .RC file. ID #%d";
