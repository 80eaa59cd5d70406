// The virtual clock's state and its test controls, shared by both systems' test controls.
#include "platform/testctl/clock.h"
#include "platform/testctl.h"

VirtualClock virtualClock;

bool virtualSleep(uint32_t milliseconds) {
    if (!virtualClock.on) {
        return false;
    }
    virtualClock.tick += milliseconds;
    virtualClock.sleepCount++;
    virtualClock.lastSleep = milliseconds;
    virtualClock.totalSleep += milliseconds;
    return true;
}

void testUseVirtualClock(uint32_t startTick) {
    virtualClock = VirtualClock();
    virtualClock.on = true;
    virtualClock.tick = startTick;
}

void testUseRealClock(void) {
    virtualClock = VirtualClock();
}

void testSetTick(uint32_t tick) {
    virtualClock.tick = tick;
}

void testAdvanceTick(uint32_t milliseconds) {
    virtualClock.tick += milliseconds;
}

uint32_t testSleepCount(void) {
    return virtualClock.sleepCount;
}

uint32_t testLastSleep(void) {
    return virtualClock.lastSleep;
}

uint64_t testTotalSleep(void) {
    return virtualClock.totalSleep;
}
