// The layer's Wayland backend under a headless sway, driven from outside with sway's own tools:
// the choice of backend, the toplevel and its first messages, the compositor's close, keys typed
// through the virtual-keyboard protocol, the test pointer, and OpenGL through EGL.
#include <gtest/gtest.h>

#include "platform/emulated/backend.h"
#include "tests/support/inject.h"
#include "tests/support/support.h"
#include "tests/support/wayland.h"
#include "tests/support/messages.h"

#include <GL/gl.h>

#include <cstring>
#include <vector>

#ifndef WRENDLE_VPOINTER
#define WRENDLE_VPOINTER "wrendle-vpointer"
#endif

namespace {

const char* const CLASS_NAME = "waylandBackendTest";
// The app_id is the program's name (the kernel keeps its first 15 characters).
const char* const APP_ID = "wayland_backend";
const int WIDTH = 320;
const int HEIGHT = 240;

// Pumps for a while in the background of an outside tool, so that the program answers the
// compositor while the tool talks to it.
int runWhilePumping(const std::vector<std::string>& words) {
    pid_t pid = fork();
    if (pid == 0) {
        execWords(words);
    }
    int code = 127;
    pumpUntil([&] { return reapChild(pid, false, &code); }, 20, 5);
    pump();
    return code;
}

class WaylandBackend : public ::testing::Test {
  protected:
    HWND window = nullptr;
    int left = 0, top = 0; // the window's place in sway's layout

    static void SetUpTestSuite() { ASSERT_NE(registerTestClass(CLASS_NAME), 0); }
    void SetUp() override {
        ASSERT_TRUE(onWayland()) << "runs under scripts/with-sway";
        clearLog();
        messageLog.swallowClose = true; // the test decides when the window goes
        messageLog.captureDrags = false;
        window = CreateWindowExA(0, CLASS_NAME, "Wayland test", WS_POPUP, 40, 30, WIDTH, HEIGHT,
                                 nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        ASSERT_TRUE(waitUntil(
            [&] {
                pump();
                int w, h;
                return swayWindowRect(APP_ID, &left, &top, &w, &h);
            },
            10));
    }
    void TearDown() override {
        if (window != nullptr) {
            DestroyWindow(window);
        }
        pump();
    }
};

TEST_F(WaylandBackend, ChosenFirstAndTheToplevelIsNamedAfterTheProgram) {
    ASSERT_NE(connectedBackend(), nullptr);
    EXPECT_STREQ(connectedBackend()->name, "wayland");
    std::string tree;
    ASSERT_EQ(runCommand({"swaymsg", "-r", "-t", "get_tree"}, &tree), 0);
    EXPECT_NE(tree.find("\"name\": \"Wayland test\""), std::string::npos) << "the title";
    int x, y, w, h;
    ASSERT_TRUE(swayWindowRect(APP_ID, &x, &y, &w, &h));
    EXPECT_EQ(w, WIDTH) << "shown at its own size, black before anything is drawn";
    EXPECT_EQ(h, HEIGHT);
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, WIDTH);
    EXPECT_EQ(client.bottom, HEIGHT);
}

// A client cannot learn where its window is: the origin is (0, 0) whatever was asked for.
TEST_F(WaylandBackend, TheOriginIsZeroAndAMoveKeepsIt) {
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    int from = messageLog.count;
    ASSERT_TRUE(MoveWindow(window, 200, 100, WIDTH + 40, HEIGHT, TRUE));
    EXPECT_EQ(countLogged(WM_MOVE, from), 0) << "no move to report";
    int size = waitForLogged(WM_SIZE, from, 1);
    ASSERT_GE(size, 0);
    EXPECT_EQ(LOWORD(messageLog.entries[size].lParam), WIDTH + 40);
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.left, 0);
}

// A hidden window's toplevel is taken down, so the compositor no longer shows it; showing it
// again makes a new one at the window's own size.
TEST_F(WaylandBackend, HidingTakesTheToplevelDownAndShowingMakesItAgain) {
    ShowWindow(window, SW_HIDE);
    int x, y, w, h;
    EXPECT_TRUE(waitUntil(
        [&] {
            pump();
            return !swayWindowRect(APP_ID, &x, &y, &w, &h);
        },
        5))
        << "still shown by the compositor after SW_HIDE";
    ShowWindow(window, SW_SHOW);
    ASSERT_TRUE(waitUntil(
        [&] {
            pump();
            return swayWindowRect(APP_ID, &x, &y, &w, &h);
        },
        5))
        << "not shown again after SW_SHOW";
    EXPECT_EQ(w, WIDTH);
    EXPECT_EQ(h, HEIGHT);
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, WIDTH);
}

TEST_F(WaylandBackend, TheCompositorsCloseIsWmClose) {
    int from = messageLog.count;
    ASSERT_TRUE(swayClose(APP_ID));
    EXPECT_GE(waitForLogged(WM_CLOSE, from, 5), 0);
}

// wtype types on key codes of its own choosing (its first key on the code of the US layout's
// Escape, the next ones on the digits' codes), with a keymap of its own: keys are read through
// that keymap, also after the US layout was asked for.
TEST_F(WaylandBackend, KeysAndCharactersComeThroughTheLatestKeymap) {
    LoadKeyboardLayoutA("00000409", KLF_ACTIVATE);
    int from = messageLog.count;
    ASSERT_EQ(runWhilePumping({"wtype", "-k", "Left", "-k", "Down", "-k", "Up", "nN"}), 0);
    EXPECT_GE(waitForLogged(WM_KEYUP, from, 3, VK_LEFT), 0);
    EXPECT_GE(waitForLogged(WM_KEYDOWN, from, 3, VK_DOWN), 0);
    EXPECT_GE(waitForLogged(WM_KEYDOWN, from, 3, VK_UP), 0);
    EXPECT_GE(waitForLogged(WM_KEYDOWN, from, 3, 'N'), 0);
    // wtype's keymap gives each key one level: a capital is typed as its own keysym.
    EXPECT_GE(waitForLogged(WM_CHAR, from, 3, 'N'), 0);
    EXPECT_EQ(countLogged(WM_CHAR, from, 'n'), 1);
    EXPECT_EQ(countLogged(WM_CHAR, from), 2) << "the arrows type nothing";
    from = messageLog.count;
    ASSERT_EQ(runWhilePumping({"wtype", "-k", "Escape"}), 0);
    EXPECT_GE(waitForLogged(WM_KEYDOWN, from, 3, VK_ESCAPE), 0);
}

// The compositor sends a key once; the client repeats it while it is held, each time a new
// key-down with the repeat flag, and stops at the release.
TEST_F(WaylandBackend, AHeldKeyRepeatsUntilItsRelease) {
    int from = messageLog.count;
    ASSERT_EQ(runWhilePumping({"wtype", "-P", "Right", "-s", "1200", "-p", "Right"}), 0);
    int up = waitForLogged(WM_KEYUP, from, 3, VK_RIGHT);
    ASSERT_GE(up, 0);
    int downs = countLogged(WM_KEYDOWN, from, VK_RIGHT);
    EXPECT_GE(downs, 3) << "sway repeats after 600 ms at 25 a second";
    int repeats = 0;
    for (int i = from; i < up; i++) {
        if (messageLog.entries[i].message == WM_KEYDOWN &&
            (HIWORD(messageLog.entries[i].lParam) & KF_REPEAT) != 0) {
            repeats++;
        }
    }
    EXPECT_EQ(repeats, downs - 1) << "every key-down after the first is a repeat";
    int after = messageLog.count;
    waitForLogged(WM_KEYDOWN, after, 0.8, VK_RIGHT);
    EXPECT_EQ(countLogged(WM_KEYDOWN, after, VK_RIGHT), 0) << "no repeat after the release";
}

// The pointer in client coordinates; while a button is held the compositor's implicit grab
// keeps the motion coming outside the window, with signed positions.
TEST_F(WaylandBackend, PointerMotionButtonsAndTheImplicitGrab) {
    int from = messageLog.count;
    std::string x = std::to_string(left + 30), y = std::to_string(top + 20);
    messageLog.captureDrags = true; // as the kit does for a drag
    std::string outsideX = std::to_string(left > 20 ? left - 10 : left + WIDTH + 10);
    // The seat has a pointer only while the test pointer runs: it waits until the program has
    // asked for its wl_pointer.
    ASSERT_EQ(runWhilePumping({WRENDLE_VPOINTER, "wait", "300", "move", x, y, "wait", "50", "press",
                               "left", "wait", "50", "move", outsideX, y, "wait", "50", "release",
                               "left"}),
              0);
    int move = waitForLogged(WM_MOUSEMOVE, from, 3);
    ASSERT_GE(move, 0);
    EXPECT_EQ((short)LOWORD(messageLog.entries[move].lParam), 30);
    EXPECT_EQ((short)HIWORD(messageLog.entries[move].lParam), 20);
    int down = waitForLogged(WM_LBUTTONDOWN, from, 3);
    ASSERT_GE(down, 0);
    EXPECT_EQ(messageLog.entries[down].wParam & MK_LBUTTON, (WPARAM)MK_LBUTTON);
    int up = waitForLogged(WM_LBUTTONUP, from, 3);
    ASSERT_GE(up, 0);
    EXPECT_EQ(messageLog.entries[up].wParam & MK_LBUTTON, (WPARAM)0);
    bool outside = false;
    for (int i = down; i < up; i++) {
        if (messageLog.entries[i].message == WM_MOUSEMOVE) {
            short px = (short)LOWORD(messageLog.entries[i].lParam);
            outside = outside || px < 0 || px >= WIDTH;
        }
    }
    EXPECT_TRUE(outside) << "motion outside the window while the button was held";
}

// A Win32 window shows and takes input whether or not its program ever draws into it. sway
// shows a new window, and any change it configures, only once the client has committed after
// acknowledging it (or 200 ms later): a click that follows the activation at once must reach
// the window, not the desktop it will cover.
TEST_F(WaylandBackend, AWindowThatNeverDrawsTakesAClickAsSoonAsItIsActive) {
    // The test pointer runs first, so that the program has its wl_pointer before the window.
    ASSERT_TRUE(injectOpen(APP_ID));
    pumpUntil([] { return false; }, 0.3);
    // Smaller than the window of every test and shown over it, in the middle of the output.
    HWND quiet = CreateWindowExA(0, CLASS_NAME, "Never drawn", WS_POPUP, 0, 0, 120, 90, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(quiet, nullptr);
    ShowWindow(quiet, SW_SHOW);
    // sway lists the window once it has mapped it, and has then sent it the configure that
    // activates it. One pump answers that; the click follows well within sway's 200 ms.
    int x = 0, y = 0, w = 0, h = 0;
    ASSERT_TRUE(
        pumpUntil([&] { return swayWindowRectTitled("Never drawn", &x, &y, &w, &h); }, 5, 1));
    pump();
    pauseSeconds(0.02);
    injectSetOrigin(x, y);
    injectPointerTo(60, 45);
    injectButton(1, true);
    injectButton(1, false);
    injectSync();
    bool clicked = pumpUntil([&] { return findLoggedFor(quiet, WM_LBUTTONDOWN) >= 0; }, 3);
    EXPECT_TRUE(clicked) << "the click did not reach the window";
    injectClose();
    DestroyWindow(quiet);
    pump();
}

// EGL's configurations as pixel formats; a frame drawn with OpenGL 1.1 shows on the output.
TEST_F(WaylandBackend, OpenGlDrawsThroughEgl) {
    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR request;
    std::memset(&request, 0, sizeof(request));
    request.nSize = sizeof(request);
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 24;
    request.cDepthBits = 16;
    int format = ChoosePixelFormat(dc, &request);
    ASSERT_GT(format, 0);
    PIXELFORMATDESCRIPTOR chosen;
    ASSERT_GT(DescribePixelFormat(dc, format, sizeof(chosen), &chosen), 0);
    EXPECT_NE(chosen.dwFlags & PFD_DOUBLEBUFFER, 0u);
    EXPECT_EQ(chosen.cRedBits, 8);
    EXPECT_EQ(chosen.cAccumBits, 0) << "EGL has no accumulation buffer";
    ASSERT_TRUE(SetPixelFormat(dc, format, &chosen));
    HGLRC context = wglCreateContext(dc);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(wglMakeCurrent(dc, context));
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_QUADS); // immediate mode: the compatibility profile
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex2f(-1.0f, -1.0f);
    glVertex2f(0.0f, -1.0f);
    glVertex2f(0.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    ASSERT_TRUE(SwapBuffers(dc));
    std::vector<uint8_t> rgb;
    bool red = false;
    pumpUntil(
        [&] {
            int x, y, w, h;
            if (!swayWindowRect(APP_ID, &x, &y, &w, &h) || !grimCapture(x, y, w, h, &rgb) ||
                w != WIDTH) {
                return false;
            }
            const uint8_t* right = &rgb[((size_t)(h / 2) * (size_t)w + (size_t)(w * 3 / 4)) * 3];
            const uint8_t* leftPixel = &rgb[((size_t)(h / 2) * (size_t)w + (size_t)(w / 4)) * 3];
            red = right[0] > 200 && right[2] < 50 && leftPixel[2] > 200 && leftPixel[0] < 50;
            return red;
        },
        5, 20);
    EXPECT_TRUE(red) << "the frame shows: blue left half, red right half";
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(context);
    ReleaseDC(window, dc);
}

} // namespace
