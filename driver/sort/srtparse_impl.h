// Declarations the control statement parser shares between its files.
#pragma once

#include <locale.h>
#include <string>
#include <vector>

#include "driver/sort/srtstate.h"

struct SrtToken {
    enum Kind { Word, Open, Close, End } kind = End;
    std::string text;
    bool quoted = false;
    bool unterminated = false;
};

using SrtArgs = std::vector<SrtToken>;

struct SrtLexer {
    const char *text;
    size_t length;
    size_t pos;
    unsigned char quote;
    SrtToken next();
};

// The "C" locale, for decimal numbers read with a point whatever locale
// the application runs in.
locale_t srtCLocale();

// A plain decimal number token.
bool srtParseNumber(const SrtToken &tok, uint64_t &value);
// Index of a key type name (abbreviations allowed), or -1.
int srtMatchType(const std::string &token);
// A field at args[i] ("#n" or position and length); advances i. 0 or 202/203.
uint32_t srtParseField(const SrtArgs &args, size_t &i, SrtField &field, bool allowToEnd);
// Whether a type may be used on a field: 0, or 203/204.
uint32_t srtCheckFieldType(const SrtField &field, SrtType type, const SrtCallbacks &callbacks);
// INCL/OMIT conditions into settings.conditions; syntaxError is 10003 or 10006.
uint32_t srtParseConditions(const SrtArgs &args, uint32_t syntaxError,
                            const SrtCallbacks &callbacks, SrtSettings &settings);
// OUTR items into settings.outItems.
uint32_t srtParseOutItems(const SrtArgs &args, SrtSettings &settings);
