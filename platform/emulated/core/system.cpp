// Small kernel and resource services: the tick and Sleep, the last error, the program's name,
// module handle, system version, stock icon and cursor, local memory blocks and process exit.
#include "platform/emulated/backend.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sched.h>
#include <unistd.h>

namespace {

// Stand-ins for resources that exist once per process; only their being non-null matters.
const uintptr_t MODULE_HANDLE = 0x00400000u;
const uintptr_t APPLICATION_ICON = 0x00010003u;
const uintptr_t ARROW_CURSOR = 0x00010005u;

bool isStockId(LPCSTR name) {
    return name == IDI_APPLICATION;
}

} // namespace

const char* programName(void) {
    static char name[256];
    if (name[0] != 0) {
        return name;
    }
    // glibc keeps the last part of argv[0]; a program started with an empty argv[0] still has
    // its executable's path.
    const char* shortName = program_invocation_short_name;
    if (shortName != nullptr && shortName[0] != 0) {
        copyText(name, sizeof(name), shortName);
        return name;
    }
#ifndef __EMSCRIPTEN__
    // A page has no /proc, and reading a link there would pull the whole emulated file system
    // into the page (about 13 KB gzipped) for nothing: its name comes from argv[0] above.
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length > 0) {
        path[length] = 0;
        const char* slash = std::strrchr(path, '/');
        copyText(name, sizeof(name), slash != nullptr ? slash + 1 : path);
    }
#endif
    if (name[0] == 0) {
        copyText(name, sizeof(name), "wrendle");
    }
    return name;
}

const PlatformHook* platformHook = nullptr;

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
#ifdef __EMSCRIPTEN__
    // In the browser a sleep on the clock would block the page: nothing would be shown and no
    // input would come. The backend's wait yields to the browser instead (which presents the
    // frame drawn); input arriving meanwhile is queued, as Win32 queues it during a Sleep, and
    // the sleep goes on to its deadline.
    const Backend* backend = platformBackend();
    if (backend != nullptr) {
        DWORD start = GetTickCount();
        DWORD elapsed = 0;
        do {
            backend->waitForEvents((int)(milliseconds - elapsed));
            elapsed = GetTickCount() - start;
        } while (elapsed < milliseconds);
        return;
    }
#endif
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

// One thread: the last error is the process's.
DWORD lastError = ERROR_SUCCESS;

void setLastError(DWORD error) {
    lastError = error;
}

DWORD WINAPI GetLastError(void) {
    return lastError;
}

void WINAPI SetLastError(DWORD error) {
    lastError = error;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    // Only the program itself is loaded; named modules are not found.
    return moduleName == nullptr ? (HMODULE)MODULE_HANDLE : nullptr;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        return failWith(ERROR_INVALID_PARAMETER, FALSE);
    }
    // A current NT system, 10.0, unless the display stands for another.
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    const PresentedDisplay* presented = presentedDisplay(true);
    if (presented != nullptr && presented->versionPlatform != 0) {
        info->dwPlatformId = presented->versionPlatform;
        info->dwMajorVersion = presented->versionMajor;
        info->dwMinorVersion = presented->versionMinor;
    }
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    return TRUE;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    return instance == nullptr && isStockId(name) ? (HICON)APPLICATION_ICON : nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    return instance == nullptr && name == IDC_ARROW ? (HCURSOR)ARROW_CURSOR : nullptr;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    if (platformFails(CALL_LOCAL_ALLOC)) {
        return failWith(ERROR_NOT_ENOUGH_MEMORY, (HLOCAL) nullptr);
    }
    // A zero-byte block is still a distinct block, as on Win32.
    size_t size = bytes > 0 ? bytes : 1;
    if (flags & LMEM_ZEROINIT) {
        return std::calloc(1, size);
    }
    return std::malloc(size);
}

HLOCAL WINAPI LocalFree(HLOCAL block) {
    std::free(block);
    return nullptr;
}

// std::exit, not _Exit: static destructors and the leak checker still run.
[[noreturn]] void WINAPI ExitProcess(UINT exitCode) {
    std::fflush(nullptr);
    std::exit((int)exitCode);
}
