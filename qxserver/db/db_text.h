// Text of the emulator's database: Mac Roman storage, UTF-8 in fixture files,
// and the collation used by searches, sorts and unique checks.
//
// Collation: each Mac Roman character is taken as its Windows-1252 character,
// folded to upper case the way Windows-1252 folds (a-z, the accented Latin-1
// letters, oe, y with diaeresis), and texts are compared character by
// character on those folded codes; characters without a Windows-1252 form
// sort after all others by their Unicode value. Trailing blanks do not count:
// "abc " equals "ABC".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qxdb {

// UTF-8 to Mac Roman. Returns false (and leaves `out` unspecified) when the
// text is not UTF-8 or holds a character Mac Roman has no place for.
bool QxdbUtf8ToMacRoman(std::string_view utf8, std::string &out);
std::string QxdbMacRomanToUtf8(std::string_view mac);

// -1, 0 or 1 under the collation above.
int QxdbCompareText(std::string_view a, std::string_view b);

} // namespace qxdb
