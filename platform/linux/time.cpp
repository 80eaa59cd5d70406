// The millisecond tick and Sleep on the monotonic clock, and the virtual clock that tests run
// them on instead.
#include "platform/testctl.h"
#include "platform/win32.h"

#include <cerrno>
#include <ctime>
#include <sched.h>

namespace {

struct VirtualClock {
    bool on = false;
    uint32_t tick = 0;
    uint32_t sleepCount = 0;
    uint32_t lastSleep = 0;
    uint64_t totalSleep = 0;
};

VirtualClock virtualClock;

} // namespace

// Milliseconds of the monotonic clock, kept to 32 bits so that the tick wraps after 2^32 ms as
// Windows' does; callers subtract ticks as unsigned 32-bit values.
DWORD WINAPI GetTickCount(void) {
    if (virtualClock.on) {
        return virtualClock.tick;
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = (uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u;
    return (DWORD)ms;
}

// Sleeps to an absolute deadline on the monotonic clock, so a signal that interrupts the sleep
// costs nothing: the sleep resumes towards the same deadline.
void WINAPI Sleep(DWORD milliseconds) {
    if (virtualClock.on) {
        virtualClock.tick += milliseconds;
        virtualClock.sleepCount++;
        virtualClock.lastSleep = milliseconds;
        virtualClock.totalSleep += milliseconds;
        return;
    }
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    deadline.tv_sec += milliseconds / 1000u;
    deadline.tv_nsec += (long)(milliseconds % 1000u) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec++;
        deadline.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
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
