// The Linux layer's pixel formats and WGL contexts over GLX, on a real X server: what the
// descriptions say, how a format is chosen and set, and which bindings a context accepts.
#include "platform/gl.h"
#include "platform/testctl.h"
#include "tests/support/support.h"

// GoogleTest before Xlib, whose macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

namespace {

const char* const CLASS_NAME = "glxTestClass";

PIXELFORMATDESCRIPTOR request(DWORD flags, BYTE colour, BYTE depth) {
    PIXELFORMATDESCRIPTOR pfd;
    std::memset(&pfd, 0, sizeof(pfd));
    pfd.nSize = sizeof(pfd);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | flags;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = colour;
    pfd.cDepthBits = depth;
    return pfd;
}

class Glx : public ::testing::Test {
  protected:
    HWND windows[2] = {};
    HDC dcs[2] = {};

    void SetUp() override {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA windowClass = {};
            windowClass.lpfnWndProc = DefWindowProcA;
            windowClass.lpszClassName = CLASS_NAME;
            ASSERT_NE(RegisterClassA(&windowClass), 0);
            registered = true;
        }
        testClearFaults();
        for (int i = 0; i < 2; i++) {
            RECT outer = {0, 0, 64, 48};
            AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
            windows[i] = CreateWindowExA(0, CLASS_NAME, "glx", WS_OVERLAPPEDWINDOW, 10 + 100 * i,
                                         10, outer.right - outer.left, outer.bottom - outer.top,
                                         nullptr, nullptr, nullptr, nullptr);
            ASSERT_NE(windows[i], nullptr);
            ShowWindow(windows[i], SW_SHOWDEFAULT);
            dcs[i] = GetDC(windows[i]);
            ASSERT_NE(dcs[i], nullptr);
        }
    }
    void TearDown() override {
        for (int i = 0; i < 2; i++) {
            if (windows[i] != nullptr) {
                ReleaseDC(windows[i], dcs[i]);
                DestroyWindow(windows[i]);
            }
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    int choose(const PIXELFORMATDESCRIPTOR& wanted, PIXELFORMATDESCRIPTOR* chosen) {
        int number = ChoosePixelFormat(dcs[0], &wanted);
        if (number > 0) {
            DescribePixelFormat(dcs[0], number, sizeof(*chosen), chosen);
        }
        return number;
    }
};

TEST_F(Glx, DescriptionsSayWhatEachFormatHas) {
    PIXELFORMATDESCRIPTOR pfd;
    int count = DescribePixelFormat(dcs[0], 1, sizeof(pfd), &pfd);
    ASSERT_GT(count, 0);
    EXPECT_EQ(DescribePixelFormat(dcs[0], 0, sizeof(pfd), nullptr), count);
    EXPECT_EQ(DescribePixelFormat(dcs[0], 0, sizeof(pfd), &pfd), 0);
    EXPECT_EQ(DescribePixelFormat(dcs[0], count + 1, sizeof(pfd), &pfd), 0);
    PIXELFORMATDESCRIPTOR previous[256];
    for (int n = 1; n <= count && n <= 256; n++) {
        ASSERT_EQ(DescribePixelFormat(dcs[0], n, sizeof(pfd), &pfd), count);
        const DWORD both = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
        EXPECT_EQ(pfd.dwFlags & both, both) << n;
        EXPECT_NE((pfd.dwFlags & PFD_DOUBLEBUFFER) != 0, (pfd.dwFlags & PFD_SUPPORT_GDI) != 0)
            << "GDI only on single-buffered formats: " << n;
        if (pfd.iPixelType == PFD_TYPE_RGBA) {
            EXPECT_EQ(pfd.cColorBits, pfd.cRedBits + pfd.cGreenBits + pfd.cBlueBits) << n;
            EXPECT_NE(pfd.cRedShift, pfd.cBlueShift) << n;
        }
        for (int k = 1; k < n; k++) {
            EXPECT_NE(std::memcmp(&previous[k - 1], &pfd, sizeof(pfd)), 0)
                << "formats " << k << " and " << n << " read the same";
        }
        previous[n - 1] = pfd;
    }
    testFailCall(TEST_DESCRIBE_PIXEL_FORMAT);
    EXPECT_EQ(DescribePixelFormat(dcs[0], 1, sizeof(pfd), &pfd), 0);
}

TEST_F(Glx, ChoiceHonoursTheRequestAndAddsNothingUnasked) {
    PIXELFORMATDESCRIPTOR chosen;
    ASSERT_GT(choose(request(PFD_DOUBLEBUFFER, 24, 16), &chosen), 0);
    EXPECT_NE(chosen.dwFlags & PFD_DOUBLEBUFFER, 0u);
    EXPECT_EQ(chosen.cColorBits, 24);
    EXPECT_EQ(chosen.cDepthBits, 16) << "Mesa offers 16 bits and would prefer more";
    EXPECT_EQ(chosen.cAlphaBits + chosen.cStencilBits + chosen.cAccumBits, 0);

    // Sizes are minimums on the server: the description tells the stencil really there.
    PIXELFORMATDESCRIPTOR stencil = request(0, 24, 24);
    stencil.cStencilBits = 4;
    ASSERT_GT(choose(stencil, &chosen), 0);
    EXPECT_EQ(chosen.dwFlags & PFD_DOUBLEBUFFER, 0u);
    EXPECT_EQ(chosen.cDepthBits, 24);
    EXPECT_GE(chosen.cStencilBits, 4);
    testFailCall(TEST_CHOOSE_PIXEL_FORMAT);
    EXPECT_EQ(ChoosePixelFormat(dcs[0], &stencil), 0);
}

TEST_F(Glx, FormatIsSetOnceOnAChildCoveringTheClientArea) {
    PIXELFORMATDESCRIPTOR chosen;
    int number = choose(request(PFD_DOUBLEBUFFER, 24, 16), &chosen);
    int other = choose(request(0, 24, 24), &chosen);
    ASSERT_GT(number, 0);
    ASSERT_NE(number, other);
    EXPECT_EQ(GetPixelFormat(dcs[0]), 0);
    testFailCall(TEST_SET_PIXEL_FORMAT);
    EXPECT_FALSE(SetPixelFormat(dcs[0], number, &chosen));
    EXPECT_EQ(GetPixelFormat(dcs[0]), 0);
    ASSERT_TRUE(SetPixelFormat(dcs[0], number, &chosen));
    EXPECT_TRUE(SetPixelFormat(dcs[0], number, &chosen));
    EXPECT_FALSE(SetPixelFormat(dcs[0], other, &chosen));
    EXPECT_EQ(GetPixelFormat(dcs[0]), number);
    EXPECT_FALSE(SetPixelFormat(dcs[1], 0, &chosen));

    Display* display = (Display*)testXDisplay();
    Window root = 0, parent = 0, *children = nullptr;
    unsigned childCount = 0;
    ASSERT_TRUE(XQueryTree(display, (Window)testXWindow(windows[0]), &root, &parent, &children,
                           &childCount));
    ASSERT_EQ(childCount, 1u);
    Window child = children[0];
    XFree(children);
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    ASSERT_TRUE(XGetGeometry(display, child, &root, &x, &y, &width, &height, &border, &depth));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(width, 64u);
    EXPECT_EQ(height, 48u);
}

TEST_F(Glx, ContextsBindOnlyToWindowsOfTheirOwnFormat) {
    EXPECT_EQ(wglCreateContext(dcs[0]), nullptr) << "no format yet";
    PIXELFORMATDESCRIPTOR chosen;
    ASSERT_TRUE(
        SetPixelFormat(dcs[0], choose(request(PFD_DOUBLEBUFFER, 24, 16), &chosen), &chosen));
    ASSERT_TRUE(SetPixelFormat(dcs[1], choose(request(0, 24, 24), &chosen), &chosen));
    HGLRC first = wglCreateContext(dcs[0]);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(wglMakeCurrent(dcs[1], first)) << "refused, not a BadMatch from the server";
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    testFailCall(TEST_WGL_MAKE_CURRENT);
    EXPECT_FALSE(wglMakeCurrent(dcs[0], first));
    ASSERT_TRUE(wglMakeCurrent(dcs[0], first));
    EXPECT_EQ(wglGetCurrentContext(), first);
    EXPECT_EQ(wglGetCurrentDC(), dcs[0]);

    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_TRUE(SwapBuffers(dcs[0]));
    // The swapped picture is on the server: read it through the window itself.
    Display* display = (Display*)testXDisplay();
    XImage* image =
        XGetImage(display, (Window)testXWindow(windows[0]), 10, 10, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(XGetPixel(image, 0, 0), 0x00FF00ul);
    XDestroyImage(image);

    ASSERT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    ASSERT_TRUE(wglMakeCurrent(dcs[0], first));
    EXPECT_TRUE(wglDeleteContext(first));
    EXPECT_EQ(wglGetCurrentContext(), nullptr) << "a deleted context is current no longer";
    EXPECT_FALSE(wglDeleteContext(first));
    EXPECT_FALSE(wglMakeCurrent(dcs[0], first));

    // Destroying a window releases a context that is current on it.
    HGLRC second = wglCreateContext(dcs[1]);
    ASSERT_TRUE(wglMakeCurrent(dcs[1], second));
    ReleaseDC(windows[1], dcs[1]);
    DestroyWindow(windows[1]);
    windows[1] = nullptr;
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_TRUE(wglDeleteContext(second));
}

Window onlyChild(Display* display, Window parent) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count) || count != 1) {
        if (children != nullptr) {
            XFree(children);
        }
        return 0;
    }
    Window child = children[0];
    XFree(children);
    return child;
}

TEST_F(Glx, ChildStaysWithinWhatTheRendererCanDrawAtTheBottomLeft) {
    PIXELFORMATDESCRIPTOR chosen;
    ASSERT_TRUE(
        SetPixelFormat(dcs[0], choose(request(PFD_DOUBLEBUFFER, 24, 16), &chosen), &chosen));
    HGLRC context = wglCreateContext(dcs[0]);
    ASSERT_TRUE(wglMakeCurrent(dcs[0], context));
    GLint most[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, most);
    ASSERT_GT(most[0], 0);
    Display* display = (Display*)testXDisplay();
    Window child = onlyChild(display, (Window)testXWindow(windows[0]));
    ASSERT_NE(child, 0u);

    // The largest window X allows: the child keeps to the renderer's limits, its bottom edge
    // on the client area's, where the picture's origin is.
    ASSERT_TRUE(MoveWindow(windows[0], 0, 0, 40000, 40000, TRUE));
    RECT client;
    GetClientRect(windows[0], &client);
    ASSERT_EQ(client.bottom, 32767) << "the window itself may be that large";
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    ASSERT_TRUE(XGetGeometry(display, child, &root, &x, &y, &width, &height, &border, &depth));
    EXPECT_LE((int)width, most[0]);
    EXPECT_LE((int)height, most[1]);
    EXPECT_LE((unsigned long long)width * height * 4, 1ull << 31) << "more than can be presented";
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y + (int)height, 32767);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();

    // Back to a drawable size, the child covers the client area again.
    RECT outer = {0, 0, 64, 48};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    ASSERT_TRUE(
        MoveWindow(windows[0], 10, 10, outer.right - outer.left, outer.bottom - outer.top, TRUE));
    ASSERT_TRUE(XGetGeometry(display, child, &root, &x, &y, &width, &height, &border, &depth));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(width, 64u);
    EXPECT_EQ(height, 48u);
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(context);
}

// Protocol errors naming one window, counted on the way to the layer's own handler.
Window watched = 0;
int errorsNamingWatched = 0;
int (*layerHandler)(Display*, XErrorEvent*) = nullptr;

int countingHandler(Display* display, XErrorEvent* error) {
    if (error->resourceid == watched) {
        errorsNamingWatched++;
    }
    return layerHandler(display, error);
}

TEST_F(Glx, AWindowDestroyedFromOutsideTakesItsChildAndItsCurrentContext) {
    PIXELFORMATDESCRIPTOR chosen;
    ASSERT_TRUE(
        SetPixelFormat(dcs[0], choose(request(PFD_DOUBLEBUFFER, 24, 16), &chosen), &chosen));
    HGLRC context = wglCreateContext(dcs[0]);
    ASSERT_TRUE(wglMakeCurrent(dcs[0], context));
    Display* display = (Display*)testXDisplay();
    watched = onlyChild(display, (Window)testXWindow(windows[0]));
    ASSERT_NE(watched, 0u);
    errorsNamingWatched = 0;
    layerHandler = XSetErrorHandler(countingHandler);

    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XDestroyWindow(other, (Window)testXWindow(windows[0]));
    XSync(other, False);
    MSG msg;
    for (int i = 0; i < 50 && IsWindow(windows[0]); i++) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        XSync(display, False);
    }
    EXPECT_FALSE(IsWindow(windows[0]));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    XSync(display, False);
    EXPECT_EQ(errorsNamingWatched, 0) << "a request named the child that went with its parent";
    XSetErrorHandler(layerHandler);
    XCloseDisplay(other);
    windows[0] = nullptr;
    EXPECT_TRUE(wglDeleteContext(context));
}

} // namespace
