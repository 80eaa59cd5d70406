// kit/kit.h's handle declarations agree with the platform's: the platform's header first, then
// the kit's (the kit's own sources include them the other way round), and the handles the kit
// returns usable as the platform's own.
#include "platform/win32.h"

#include "kit/kit.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

TEST(KitHeader, HandlesAreThePlatformsOwn) {
    static_assert(std::is_same<decltype(kitGetWindow()), HWND>::value, "one HWND");
    HWND window = kitGetWindow();
    // Before a window is opened the kit has none; the platform takes the handle as its own.
    EXPECT_EQ(window, nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(kitGetDeviceContext(), (HDC) nullptr);
    EXPECT_EQ(kitGetRenderContext(), (HGLRC) nullptr);
}

} // namespace
