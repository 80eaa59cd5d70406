// The emulated message queue: Win32's retrieval order, paint coalescing, the quit message,
// filters, broadcasts, and GetMessageA blocking in the kernel.
// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include "platform/testctl.h"
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

TEST_F(QueueTest, PostedThenQuitThenInputThenPaint) {
    // All four kinds are waiting before the first look at the queue. Win32 (and Wine) hand out
    // a pending quit once no posted message is left, ahead of input and paint.
    PostQuitMessage(5);
    tapKey(XK_Left);
    InvalidateRect(window, nullptr, FALSE);
    ASSERT_TRUE(PostMessageA(window, WM_USER + 7, 1, 2));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 8, 0, 0)) << "a thread message";

    MSG msg;
    UINT order[8];
    int count = 0;
    while (count < 8 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        order[count++] = msg.message;
        if (msg.message == WM_PAINT) {
            PAINTSTRUCT paint;
            EXPECT_NE(BeginPaint(msg.hwnd, &paint), nullptr);
            EXPECT_EQ(paint.rcPaint.right, 200);
            EndPaint(msg.hwnd, &paint);
        }
        if (msg.message == WM_QUIT) {
            EXPECT_EQ(msg.wParam, 5u);
            EXPECT_EQ(msg.hwnd, nullptr);
        }
    }
    ASSERT_EQ(count, 6);
    EXPECT_EQ(order[0], (UINT)(WM_USER + 7));
    EXPECT_EQ(order[1], (UINT)(WM_USER + 8));
    EXPECT_EQ(order[2], (UINT)WM_QUIT);
    EXPECT_EQ(order[3], (UINT)WM_KEYDOWN);
    EXPECT_EQ(order[4], (UINT)WM_KEYUP);
    EXPECT_EQ(order[5], (UINT)WM_PAINT);

    // A posted message for another window holds the quit back even from a filtered look.
    PostQuitMessage(6);
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 9, 0, 0));
    EXPECT_FALSE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)(WM_USER + 9));
    ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
}

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

TEST_F(QueueTest, FiltersAndNoRemoveLeaveOtherMessagesWaiting) {
    PostMessageA(window, WM_USER, 0, 0);
    PostMessageA(window, WM_USER + 1, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, window, WM_USER + 1, WM_USER + 1, PM_NOREMOVE));
    EXPECT_EQ(msg.message, (UINT)(WM_USER + 1));
    EXPECT_FALSE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, window, WM_USER + 1, WM_USER + 1, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_USER);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));

    // GetMessageA answers 0 for the quit message, and the quit is taken only once.
    PostQuitMessage(1);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(QueueTest, BroadcastsReachEveryWindowAndAreCounted) {
    HWND second = openWindow(CLASS_NAME, 300, 60, 100, 100);
    ASSERT_NE(second, nullptr);
    pump();
    clearLog();
    testResetSystemColours(); // the broadcast count back to 0
    ASSERT_TRUE(PostMessageA(HWND_BROADCAST, WM_USER + 3, 9, 0));
    SendMessageA(HWND_BROADCAST, WM_USER + 4, 0, 0);
    EXPECT_EQ(testBroadcastCount(), 2);
    EXPECT_EQ(countLogged(WM_USER + 4), 2) << "sent at once";
    EXPECT_EQ(countLogged(WM_USER + 3), 0) << "posted: not before the loop takes it";
    pump();
    ASSERT_EQ(countLogged(WM_USER + 3), 2);
    int first = findLogged(WM_USER + 3);
    int next = findLogged(WM_USER + 3, first + 1);
    EXPECT_NE(messageLog.entries[first].hwnd, messageLog.entries[next].hwnd);
    DestroyWindow(second);
}

TEST_F(QueueTest, QueueFullRefusesInsteadOfOverwriting) {
    int accepted = 0;
    for (int i = 0; i < 2000; i++) {
        accepted += PostMessageA(window, WM_USER, (WPARAM)i, 0) ? 1 : 0;
    }
    EXPECT_GT(accepted, 100);
    EXPECT_LT(accepted, 2000);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u) << "the oldest message is still first";
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
