// Steps of a sort call shared by the file interface and the record-call
// interface.
#pragma once

#include "driver/sort/srtrun.h"

struct SrtMemory {
    size_t bufferBytes = 0;
    size_t descCount = 0;
    uint32_t fanIn = 2;
    size_t mergeBytes = 0;
};

// Opens a probe file in the work directory again and again, up to limit, and
// counts the handles: 0, or 329-334 (330 when fewer than 4).
uint32_t srtProbeHandles(SrtWorkDir &work, uint32_t limit, uint32_t &count);

// Divides CORE between the record buffer, the descriptors and the merge.
uint32_t srtDivideMemory(const SrtSettings &s, uint32_t workFiles, SrtMemory &m);
