// Small kernel and resource services: module handle, system version, stock icon and cursor,
// local memory blocks and process exit.
#include "platform/linux/x11.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Stand-ins for resources that exist once per process; only their being non-null matters.
const uintptr_t MODULE_HANDLE = 0x00400000u;
const uintptr_t APPLICATION_ICON = 0x00010003u;
const uintptr_t ARROW_CURSOR = 0x00010005u;

bool isStockId(LPCSTR name) {
    return name == IDI_APPLICATION;
}

} // namespace

// A current NT system, 10.0.
SystemVersion systemVersion = {VER_PLATFORM_WIN32_NT, 10, 0, 19045};

const PlatformHook* platformHook = nullptr;

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    // Only the program itself is loaded; named modules are not found.
    return moduleName == nullptr ? (HMODULE)MODULE_HANDLE : nullptr;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        return FALSE;
    }
    info->dwMajorVersion = systemVersion.major;
    info->dwMinorVersion = systemVersion.minor;
    info->dwBuildNumber = systemVersion.build;
    info->dwPlatformId = systemVersion.platformId;
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
        return nullptr;
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
