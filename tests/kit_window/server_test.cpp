// The kit's window on a real X server: the game's display mode gets GLX's 16-bit depth buffer,
// the swapped picture is on the server, and the mouse location is held at the limit against a
// real pointer. Everything else of the kit's window is tested on the headless backend
// (window_test.cpp).
#include "kit/core.h"
#include "platform/gl.h"
#include "platform/testctl.h"
#include "tests/support/support.h"

// GoogleTest before Xlib, whose macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

class KitWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        kitResetState();
        testClearFaults();
        testRecordMessageBoxes(1);
        testClearMessageBoxes();
    }
    void TearDown() override {
        kitClose();
        testClearFaults();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
};

TEST_F(KitWindow, GameModeOpensARealWindowWithSixteenDepthBits) {
    kitSetWindowRect(40, 30, 320, 240);
    kitSetDisplayMode(KIT_DOUBLE | KIT_DEPTH16);
    ASSERT_EQ(kitOpenWindow("real"), 1);
    EXPECT_EQ(testMessageBoxCount(), 0);
    ASSERT_NE(kit.renderContext, nullptr);
    EXPECT_EQ(wglGetCurrentContext(), kit.renderContext);
    EXPECT_EQ(wglGetCurrentDC(), kit.deviceContext);

    PIXELFORMATDESCRIPTOR pfd;
    ASSERT_GT(kitGetPixelFormat(kit.deviceContext, &pfd), 0);
    EXPECT_NE(pfd.dwFlags & PFD_DOUBLEBUFFER, 0u);
    EXPECT_EQ(pfd.cDepthBits, 16) << "Xvfb offers a 16-bit depth buffer";
    EXPECT_EQ(pfd.cAlphaBits, 0);
    EXPECT_EQ(pfd.cStencilBits, 0);
    GLint bits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &bits);
    EXPECT_EQ(bits, 16);
    glGetIntegerv(GL_DRAW_BUFFER, &bits);
    EXPECT_EQ(bits, GL_BACK);

    RECT client;
    ASSERT_TRUE(GetClientRect(kit.window, &client));
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);

    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(kitSwapBuffers(), 1);
    // The swapped picture is on the server: read it through the window itself.
    Display* display = (Display*)testXDisplay();
    XImage* image =
        XGetImage(display, (Window)testXWindow(kit.window), 160, 120, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(XGetPixel(image, 0, 0), 0xFF0000ul);
    XDestroyImage(image);

    testFailCall(TEST_SWAP_BUFFERS);
    EXPECT_EQ(kitSwapBuffers(), 0);

    kitClose();
    EXPECT_EQ(kit.window, nullptr);
    EXPECT_EQ(kit.renderContext, nullptr);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
}

TEST_F(KitWindow, ExtremeRectanglesAndPositionsAreHeldAtTheLimit) {
    // The client area's right edge lies beyond what 32 bits hold.
    kitSetWindowRect(INT32_MAX - 5, 0, 50, 40);
    kitSetDisplayMode(KIT_DOUBLE);
    ASSERT_EQ(kitOpenWindow("far right"), 1);
    RECT outer;
    ASSERT_TRUE(GetWindowRect(kit.window, &outer));
    EXPECT_LE(outer.left, outer.right);

    // Before a move arrives the kit may hold any origin; the pointer's offset from it is held
    // at the limit too (the pointer is somewhere on the screen, so both offsets exceed it).
    kit.windowRect.x = INT32_MIN;
    kit.windowRect.y = INT32_MIN;
    int32_t x = 0;
    int32_t y = 0;
    kitGetMouseLocation(&x, &y);
    EXPECT_EQ(x, INT32_MAX);
    EXPECT_EQ(y, INT32_MAX);
}

} // namespace
