// Small kernel and resource services: module handle, system version, stock icon and cursor,
// local memory blocks and process exit.
#include "platform/linux/x11.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Version {
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    DWORD major = 10;
    DWORD minor = 0;
    DWORD build = 19045;
};

Version version;

// Stand-ins for resources that exist once per process; only their being non-null matters.
const uintptr_t MODULE_HANDLE = 0x00400000u;
const uintptr_t APPLICATION_ICON = 0x00010003u;
const uintptr_t ARROW_CURSOR = 0x00010005u;

bool isStockId(LPCSTR name) {
    return name == IDI_APPLICATION;
}

} // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    // Only the program itself is loaded; named modules are not found.
    return moduleName == nullptr ? (HMODULE)MODULE_HANDLE : nullptr;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        return FALSE;
    }
    info->dwMajorVersion = version.major;
    info->dwMinorVersion = version.minor;
    info->dwBuildNumber = version.build;
    info->dwPlatformId = version.platformId;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    return TRUE;
}

void testSetVersion(DWORD platformId, DWORD major, DWORD minor) {
    version.platformId = platformId;
    version.major = major;
    version.minor = minor;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    return instance == nullptr && isStockId(name) ? (HICON)APPLICATION_ICON : nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    return instance == nullptr && name == IDC_ARROW ? (HCURSOR)ARROW_CURSOR : nullptr;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    if (platformShouldFail(TEST_LOCAL_ALLOC)) {
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
