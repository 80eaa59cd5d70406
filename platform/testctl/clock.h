// The virtual clock that the test controls of both systems run GetTickCount and Sleep on
// (platform/testctl on Linux, tests/windows on Windows). Tests only.
#pragma once

#include <cstdint>

struct VirtualClock {
    bool on;
    uint32_t tick;
    uint32_t sleepCount;
    uint32_t lastSleep;
    uint64_t totalSleep;
};

extern VirtualClock virtualClock;

// A Sleep on the virtual clock: advances it and counts it; false (nothing done) while it is off.
bool virtualSleep(uint32_t milliseconds);
