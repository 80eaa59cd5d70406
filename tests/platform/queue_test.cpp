// The message queue on an X server: Exposes joining a pending paint, and GetMessageA blocking in
// the kernel until another client presses the close box. The queue's own rules are in
// tests/platform/core_test.cpp.
// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include "helpers.h"

#include <thread>

namespace {

const char* const CLASS_NAME = "platformQueueTest";

class QueueTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_NE(x11Display(), nullptr);
        ASSERT_NE(registerTestClass(CLASS_NAME), 0);
    }
    void SetUp() override {
        window = openWindow(CLASS_NAME, 40, 60, 200, 150);
        ASSERT_NE(window, nullptr);
        pump();
        clearLog();
    }
    void TearDown() override {
        DestroyWindow(window);
        // What the destroyed window left (a quit a test posted) must not leak into the next.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND window = nullptr;
};

TEST_F(QueueTest, PaintsCoalesceAndStayUntilValidated) {
    InvalidateRect(window, nullptr, FALSE);
    InvalidateRect(window, nullptr, TRUE);
    // A series of Exposes from the server joins the pending paint too.
    XClearArea(x11Display(), x11WindowOf(window), 0, 0, 10, 10, True);
    XClearArea(x11Display(), x11WindowOf(window), 50, 50, 10, 10, True);
    XSync(x11Display(), False);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    // Taking a paint does not remove it: only BeginPaint validates.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_PAINT);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_PAINT);
    DispatchMessageA(&msg); // the default procedure validates
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    pump();
    EXPECT_EQ(countLogged(WM_PAINT), 1);
}

TEST_F(QueueTest, GetMessageBlocksInTheKernelUntilTheCloseBoxArrives) {
    Window target = x11WindowOf(window);
    // Another client presses the close box after a second.
    std::thread closer([target]() {
        Display* other = XOpenDisplay(nullptr);
        if (other == nullptr) {
            return;
        }
        pauseSeconds(1.0);
        xCloseBox(other, target);
        XCloseDisplay(other);
    });
    long start = nowMs();
    double cpuStart = processCpuSeconds();
    MSG msg;
    BOOL result = GetMessageA(&msg, nullptr, 0, 0);
    double cpu = processCpuSeconds() - cpuStart;
    long elapsed = nowMs() - start;
    closer.join();
    EXPECT_EQ(result, TRUE);
    EXPECT_EQ(msg.message, (UINT)WM_CLOSE);
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_GE(elapsed, 900);
    EXPECT_LT(cpu, 0.1) << "waited " << elapsed << " ms";
}

} // namespace
