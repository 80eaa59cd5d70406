// The millisecond tick and Sleep on the monotonic clock (tests may put a virtual clock in its
// place through the hook).
#include "platform/linux/hook.h"
#include "platform/win32.h"

#include <cerrno>
#include <ctime>
#include <sched.h>

// Milliseconds of the monotonic clock, kept to 32 bits so that the tick wraps after 2^32 ms as
// Windows' does; callers subtract ticks as unsigned 32-bit values.
DWORD WINAPI GetTickCount(void) {
    DWORD tick = 0;
    if (platformHook != nullptr && platformHook->tick(&tick)) {
        return tick;
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = (uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u;
    return (DWORD)ms;
}

// Sleeps to an absolute deadline on the monotonic clock, so a signal that interrupts the sleep
// costs nothing: the sleep resumes towards the same deadline.
void WINAPI Sleep(DWORD milliseconds) {
    if (platformHook != nullptr && platformHook->sleep(milliseconds)) {
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
