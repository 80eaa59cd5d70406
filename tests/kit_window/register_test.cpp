// The window class is registered once per process: a refused registration is reported before
// any window exists, and later windows go on with the class that is there.
#include "kit/core.h"
#include "platform/testctl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void clientIdle(void) {}

bool quitPending(void) {
    MSG msg;
    return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

// One test: the class's state lives as long as the process does.
TEST(KitWindowClass, RegisteredOnceAndReusedByLaterWindows) {
    testRecordMessageBoxes(1);
    kitSetDisplayMode(KIT_DOUBLE | KIT_DEPTH16);
    kitSetIdleHandler(clientIdle);
    testFailCall(TEST_REGISTER_CLASS);
    EXPECT_EQ(kitOpenWindow("refused"), 0);
    ASSERT_EQ(testMessageBoxCount(), 1);
    EXPECT_EQ(std::string(testMessageBoxText(0)), "Failed to register window class\n");
    EXPECT_EQ(kit.window, nullptr);
    EXPECT_FALSE(quitPending()) << "no window was made, so none was destroyed";
    EXPECT_EQ(kit.idleHandler, clientIdle) << "nothing was torn down";

    testClearMessageBoxes();
    ASSERT_EQ(kitOpenWindow("first"), 1);
    kitClose();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }

    // The platform refuses a second registration of the name; a window opened again must not
    // ask for one.
    WNDCLASSA again = {};
    again.lpfnWndProc = DefWindowProcA;
    again.lpszClassName = "tkLibWClass";
    EXPECT_EQ(RegisterClassA(&again), 0);
    ASSERT_EQ(kitOpenWindow("second"), 1);
    kitClose();
    ASSERT_EQ(kitOpenWindowWide(L"third"), 1);
    kitClose();
    EXPECT_EQ(testMessageBoxCount(), 0);
}

} // namespace
