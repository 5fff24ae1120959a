// The ANSI code page: 1252 (Windows Latin 1) unless QX_ANSI_CODEPAGE names
// another number. Used where the driver reports or defaults a code page.
#pragma once

#include <cstdint>

uint32_t PlatAnsiCodePage();
