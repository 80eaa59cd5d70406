// What a client gets from kit/kit.h alone: the kit's names and the three handle types, none of
// the Win32 subset's macros, constants or types, and the project's version.
#include "kit/kit.h"

// Checked before any other header can bring a macro of its own.
#if defined(TRUE) || defined(FALSE) || defined(RGB) || defined(LOWORD) || defined(HIWORD) ||       \
    defined(WM_PAINT) || defined(VK_ESCAPE) || defined(WINAPI) || defined(CALLBACK) ||             \
    defined(min) || defined(max) || defined(near) || defined(far)
#error "kit/kit.h brings Win32 macros with it"
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <type_traits>

// A client may use these names for itself; a declaration in the header would clash with them.
const int WM_PAINT = 1;
const int VK_ESCAPE = 2;
struct PALETTEENTRY {
    int clientsOwn;
};
typedef int BOOL;
typedef long LPARAM;

namespace {

TEST(KitHeader, DeclaresHandlesAndNoWin32Names) {
    static_assert(std::is_pointer<HWND>::value && std::is_pointer<HDC>::value &&
                      std::is_pointer<HGLRC>::value,
                  "handles are pointers, as Win32's are");
    static_assert(!std::is_same<HWND, HDC>::value && !std::is_same<HDC, HGLRC>::value,
                  "each handle type is distinct, as with STRICT");
    static_assert(std::is_same<WCHAR, wchar_t>::value, "WCHAR is wchar_t");
    PALETTEENTRY own = {WM_PAINT + VK_ESCAPE};
    EXPECT_EQ(own.clientsOwn, 3);
}

TEST(KitHeader, VersionIsTheProjects) {
    char version[32];
    std::snprintf(version, sizeof(version), "%d.%d.%d", KIT_VERSION_MAJOR, KIT_VERSION_MINOR,
                  KIT_VERSION_PATCH);
    EXPECT_STREQ(version, WRENDLE_EXPECTED_VERSION);
    EXPECT_STREQ(KIT_VERSION_STRING, WRENDLE_EXPECTED_VERSION);
}

} // namespace
