#include "platform/codepage.h"

#include <cstdlib>

uint32_t PlatAnsiCodePage()
{
    const char *v = std::getenv("QX_ANSI_CODEPAGE");
    if (v && *v) {
        char *end = nullptr;
        unsigned long n = std::strtoul(v, &end, 10);
        if (end && *end == '\0' && n > 0 && n <= 65535)
            return static_cast<uint32_t>(n);
    }
    return 1252;
}
