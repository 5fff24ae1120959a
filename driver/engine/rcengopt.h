// Driver-wide engine settings. No ODBC call reaches them; a program that
// links the engine sets them through rcDrsSetEngineOption.
//
//   rcDrsSetEngineOption(option, &value)  stores the 32-bit value under the
//                                         driver-wide lock; answers 0 (an
//                                         unknown option or a null value
//                                         changes nothing)
//   rcDrsEngineOption(option)             the stored value, 0 until set
//
// Options:
//   1010  the decimal-text word, stored for the column-data road
//   1011  the switch that lets UPDATE plans push their filters down to the
//         data module; while it is off (the default) the engine tests all
//         of an UPDATE's conditions and binds no filter parameters when it
//         runs. Read when the plan is built.
#pragma once

#include <cstdint>

enum : uint16_t {
    RC_ENGOPT_DECIMAL_TEXT = 1010,
    RC_ENGOPT_PUSHDOWN_UPDATE = 1011,
};
int16_t rcDrsSetEngineOption(uint16_t option, const void *value);
uint32_t rcDrsEngineOption(uint16_t option);
