// The headless backend, asked for with WRENDLE_BACKEND in a process that has no display at all:
// a window's messages as a real display gives them, OpenGL drawn into the window's pbuffer and
// read back exactly, presented palette formats, resizes, waits and message boxes; and the
// backend choice as the real game and the kit's examples meet it, and with both a compositor and
// an X server answering.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/emulated/backend.h"
#include "platform/testctl.h"
#include "tests/support/messages.h"

#include <GL/gl.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>

#ifndef WRENDLE_GAME
#define WRENDLE_GAME "wrendle"
#endif
#ifndef WRENDLE_SCRIPTS
#define WRENDLE_SCRIPTS "scripts"
#endif

namespace {

// Before the layer's first use, which chooses the backend once for the process; a child run by
// WaylandBeforeX11WhenBothAnswer keeps the displays it was given.
const bool headlessAskedFor = [] {
    if (getenv("WRENDLE_CHOICE_CHILD") != nullptr) {
        return false;
    }
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("WAYLAND_SOCKET");
    setenv("WRENDLE_BACKEND", "headless", 1);
    return true;
}();

const char* const CLASS_NAME = "headlessTest";

UINT messageAt(int index) {
    return index < messageLog.count ? messageLog.entries[index].message : 0;
}

// A window with this client area, shown; the log starts empty after its show.
HWND showWindow(int x, int y, int width, int height) {
    RECT rect = {x, y, x + width, y + height};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowExA(0, CLASS_NAME, "headless", WS_OVERLAPPEDWINDOW, rect.left,
                                  rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                                  nullptr, nullptr, nullptr);
    if (window != nullptr) {
        ShowWindow(window, SW_SHOWNORMAL);
    }
    return window;
}

class HeadlessTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_NE(registerTestClass(CLASS_NAME), 0); }
    void SetUp() override {
        ASSERT_TRUE(headlessAskedFor);
        clearLog();
    }
};

// Shown, the window hears what Win32 sends; the paint comes from the queue once; the display
// answers capture and focus for a viewable window only.
TEST_F(HeadlessTest, AWindowGetsTheMessagesOfARealDisplay) {
    HWND window = showWindow(-10, -8, 300, 200);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(connectedBackend(), nullptr);
    EXPECT_STREQ(connectedBackend()->name, "headless");
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1024);
    int shown = findLogged(WM_SHOWWINDOW);
    ASSERT_GE(shown, 0);
    EXPECT_EQ(messageAt(shown + 1), (UINT)WM_ACTIVATE);
    EXPECT_EQ(messageAt(shown + 2), (UINT)WM_SIZE);
    EXPECT_EQ(messageLog.entries[shown + 2].lParam, MAKELPARAM(300, 200));
    EXPECT_EQ(messageAt(shown + 3), (UINT)WM_MOVE);
    EXPECT_EQ(messageLog.entries[shown + 3].lParam, MAKELPARAM((SHORT)-10, (SHORT)-8));
    EXPECT_EQ(GetFocus(), window);
    clearLog();
    handleQueued();
    EXPECT_EQ(countLogged(WM_PAINT), 1);
    EXPECT_EQ(handleQueued(), 0) << "no events of a display's own";

    POINT point;
    ASSERT_TRUE(GetCursorPos(&point)) << "the cursor is somewhere, without a pointer device";
    EXPECT_EQ(point.x, 640);
    EXPECT_EQ(point.y, 512);
    SetCapture(window);
    EXPECT_EQ(GetCapture(), window) << "a viewable window takes the capture";
    ReleaseCapture();

    ShowWindow(window, SW_HIDE);
    SetCapture(window);
    EXPECT_EQ(GetCapture(), nullptr) << "a hidden window is not viewable";
    ShowWindow(window, SW_MINIMIZE);
    clearLog();
    ShowWindow(window, SW_RESTORE);
    EXPECT_GE(findLogged(WM_SIZE), 0);
    SetCapture(window);
    EXPECT_EQ(GetCapture(), window) << "restored, the window is viewable again";
    ReleaseCapture();
    DestroyWindow(window);
}

const int WIDTH = 200;
const int HEIGHT = 150;
// What glReadPixels left alone: outside the surface.
const unsigned char UNTOUCHED = 7;

struct Rgb {
    unsigned char r, g, b;
    bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
};
const Rgb BLUE = {0, 0, 255};
const Rgb RED = {255, 0, 0};
const Rgb WHITE = {255, 255, 255};
const Rgb GREEN = {0, 255, 0};
const Rgb NOTHING = {UNTOUCHED, UNTOUCHED, UNTOUCHED};

Rgb pixelAt(int x, int y) {
    unsigned char p[3] = {UNTOUCHED, UNTOUCHED, UNTOUCHED};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return Rgb{p[0], p[1], p[2]};
}

// In window pixels (origin bottom left): a blue clear, a red filled polygon over x 10..59 and
// y 20..49, and a white line 3 pixels wide along y 100.5 from the centre of pixel 20 to that of
// pixel 120, which OpenGL leaves out (the segment ends inside its diamond).
void drawScene(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1.0f, 0.0f, 0.0f);
    glBegin(GL_POLYGON);
    glVertex2f(10.0f, 20.0f);
    glVertex2f(60.0f, 20.0f);
    glVertex2f(60.0f, 50.0f);
    glVertex2f(10.0f, 50.0f);
    glEnd();
    glColor3f(1.0f, 1.0f, 1.0f);
    glLineWidth(3.0f);
    glBegin(GL_LINES);
    glVertex2f(20.5f, 100.5f);
    glVertex2f(120.5f, 100.5f);
    glEnd();
}

Rgb sceneAt(int x, int y) {
    if (x >= 10 && x < 60 && y >= 20 && y < 50) {
        return RED;
    }
    if (x >= 20 && x < 120 && y >= 99 && y <= 101) {
        return WHITE;
    }
    return BLUE;
}

// Every pixel of the client area as the scene has it: the first that differs, or "".
std::string differenceFromScene(void) {
    static unsigned char read[HEIGHT][WIDTH][3];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, read);
    for (int y = 0; y < HEIGHT; y++) {
        for (int x = 0; x < WIDTH; x++) {
            Rgb got = {read[y][x][0], read[y][x][1], read[y][x][2]};
            if (!(got == sceneAt(x, y))) {
                return "(" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                       std::to_string(got.r) + " " + std::to_string(got.g) + " " +
                       std::to_string(got.b);
            }
        }
    }
    return "";
}

PIXELFORMATDESCRIPTOR requestFor(DWORD buffering) {
    PIXELFORMATDESCRIPTOR request;
    std::memset(&request, 0, sizeof(request));
    request.nSize = sizeof(request);
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | buffering;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 24;
    request.cDepthBits = 16;
    return request;
}

// The formats are EGL's pbuffer configurations, double- and single-buffered; OpenGL 1.1 draws
// into the window's pbuffer exactly, and after the swap the pbuffer holds the frame presented.
TEST_F(HeadlessTest, OpenGlDrawsIntoThePbufferExactly) {
    HWND window = showWindow(40, 30, WIDTH, HEIGHT);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR single = requestFor(0);
    int singleFormat = ChoosePixelFormat(dc, &single);
    ASSERT_GT(singleFormat, 0);
    PIXELFORMATDESCRIPTOR chosen;
    ASSERT_GT(DescribePixelFormat(dc, singleFormat, sizeof(chosen), &chosen), 0);
    EXPECT_EQ(chosen.dwFlags & PFD_DOUBLEBUFFER, 0u);
    PIXELFORMATDESCRIPTOR request = requestFor(PFD_DOUBLEBUFFER);
    int format = ChoosePixelFormat(dc, &request);
    ASSERT_GT(format, 0);
    ASSERT_GT(DescribePixelFormat(dc, format, sizeof(chosen), &chosen), 0);
    EXPECT_NE(chosen.dwFlags & PFD_DOUBLEBUFFER, 0u);
    EXPECT_EQ(chosen.cRedBits, 8);
    EXPECT_EQ(chosen.cRedShift, 16);
    EXPECT_EQ(chosen.cDepthBits, 16);
    EXPECT_EQ(chosen.cAccumBits, 0) << "EGL has no accumulation buffer";
    ASSERT_TRUE(SetPixelFormat(dc, format, &chosen));
    HGLRC context = wglCreateContext(dc);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(wglMakeCurrent(dc, context));
    EXPECT_NE(std::string((const char*)glGetString(GL_VERSION)).find("Compatibility"),
              std::string::npos);
    drawScene(WIDTH, HEIGHT);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_EQ(differenceFromScene(), "") << "drawn";
    EXPECT_EQ(pixelAt(WIDTH, HEIGHT - 1), NOTHING) << "the surface ends with the client area";
    EXPECT_EQ(pixelAt(WIDTH - 1, HEIGHT), NOTHING);
    ASSERT_TRUE(SwapBuffers(dc));
    glReadBuffer(GL_FRONT);
    EXPECT_EQ(differenceFromScene(), "") << "presented";
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(context);
    ReleaseDC(window, dc);
    DestroyWindow(window);
}

// On a presented palette display each format renders through the closest real configuration:
// colour-index ones too, whose pixel type no pbuffer configuration has.
TEST_F(HeadlessTest, PresentedPaletteFormatsRenderThroughARealConfiguration) {
    testPresentPaletteDisplay(1);
    for (int format : {TEST_FORMAT_RGB332_SINGLE, TEST_FORMAT_INDEX8_DOUBLE}) {
        HWND window = showWindow(0, 0, 64, 48);
        ASSERT_NE(window, nullptr);
        HDC dc = GetDC(window);
        PIXELFORMATDESCRIPTOR presented;
        ASSERT_GT(DescribePixelFormat(dc, format, sizeof(presented), &presented), 0);
        EXPECT_TRUE(SetPixelFormat(dc, format, &presented)) << format;
        EXPECT_EQ(GetPixelFormat(dc), format);
        HGLRC context = wglCreateContext(dc);
        EXPECT_NE(context, nullptr) << format;
        EXPECT_TRUE(wglMakeCurrent(dc, context)) << format;
        glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        EXPECT_EQ(pixelAt(63, 47), GREEN) << format;
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(context);
        ReleaseDC(window, dc);
        DestroyWindow(window);
    }
    testPresentPaletteDisplay(0);
}

// The search over a given list of formats: nothing the request did not ask for (alpha) is added,
// a tie keeps the first, and a request that no format fits (colour index, single buffering,
// where the list has neither) or a failing call finds none. A presented format renders through a
// real configuration with the depth it describes.
TEST_F(HeadlessTest, ChoiceOverAPresentedListAndItsRendering) {
    auto request = [](DWORD flags, BYTE colour, BYTE depth) {
        PIXELFORMATDESCRIPTOR format = {};
        format.nSize = sizeof(format);
        format.nVersion = 1;
        format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | flags;
        format.iPixelType = PFD_TYPE_RGBA;
        format.cColorBits = colour;
        format.cDepthBits = depth;
        return format;
    };
    HWND window = showWindow(0, 0, 64, 48);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR list[5] = {
        request(PFD_DOUBLEBUFFER, 16, 16), request(PFD_DOUBLEBUFFER, 24, 24),
        request(PFD_DOUBLEBUFFER, 24, 16), request(PFD_DOUBLEBUFFER, 24, 16),
        request(PFD_DOUBLEBUFFER, 24, 16)};
    list[2].cAlphaBits = 8;
    testPresentPixelFormats(list, 5);
    EXPECT_EQ(ChoosePixelFormat(dc, &list[4]), 4) << "no alpha unasked; a tie keeps 4";
    PIXELFORMATDESCRIPTOR index = request(PFD_DOUBLEBUFFER, 8, 0);
    index.iPixelType = PFD_TYPE_COLORINDEX;
    EXPECT_EQ(ChoosePixelFormat(dc, &index), 0);
    PIXELFORMATDESCRIPTOR single = request(0, 24, 16);
    EXPECT_EQ(ChoosePixelFormat(dc, &single), 0) << "single-buffered asked";
    testFailCall(TEST_CHOOSE_PIXEL_FORMAT);
    EXPECT_EQ(ChoosePixelFormat(dc, &list[4]), 0);
    testClearFaults();

    PIXELFORMATDESCRIPTOR palette = request(PFD_DOUBLEBUFFER | PFD_NEED_PALETTE, 8, 16);
    palette.cRedBits = 3;
    palette.cGreenBits = 3;
    palette.cGreenShift = 3;
    palette.cBlueBits = 2;
    palette.cBlueShift = 6;
    testPresentPixelFormats(&palette, 1);
    PIXELFORMATDESCRIPTOR chosen;
    ASSERT_EQ(ChoosePixelFormat(dc, &list[4]), 1);
    ASSERT_GT(DescribePixelFormat(dc, 1, sizeof(chosen), &chosen), 0);
    EXPECT_EQ(std::memcmp(&chosen, &palette, sizeof(chosen)), 0);
    ASSERT_TRUE(SetPixelFormat(dc, 1, &chosen));
    HGLRC context = wglCreateContext(dc);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(wglMakeCurrent(dc, context));
    GLint bits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &bits);
    EXPECT_EQ(bits, 16);
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(context);
    testPresentPixelFormats(nullptr, 0);
    ReleaseDC(window, dc);
    DestroyWindow(window);
}

// MoveWindow to another size gives the window a pbuffer of that size, which the current context
// draws to at once; a move alone keeps the picture.
TEST_F(HeadlessTest, AResizeGivesASurfaceOfTheNewSize) {
    HWND window = showWindow(0, 0, WIDTH, HEIGHT);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR request = requestFor(PFD_DOUBLEBUFFER);
    ASSERT_TRUE(SetPixelFormat(dc, ChoosePixelFormat(dc, &request), &request));
    HGLRC context = wglCreateContext(dc);
    ASSERT_TRUE(wglMakeCurrent(dc, context));
    drawScene(WIDTH, HEIGHT);
    RECT outer;
    GetWindowRect(window, &outer);
    int frameWidth = (outer.right - outer.left) - WIDTH;
    int frameHeight = (outer.bottom - outer.top) - HEIGHT;
    ASSERT_TRUE(MoveWindow(window, outer.left + 5, outer.top + 5, WIDTH + frameWidth,
                           HEIGHT + frameHeight, TRUE));
    EXPECT_EQ(differenceFromScene(), "") << "moved, same size";

    const int sizes[][2] = {{320, 240}, {90, 70}};
    for (const auto& size : sizes) {
        clearLog();
        ASSERT_TRUE(MoveWindow(window, 0, 0, size[0] + frameWidth, size[1] + frameHeight, TRUE));
        int sized = findLogged(WM_SIZE);
        ASSERT_GE(sized, 0);
        EXPECT_EQ(messageLog.entries[sized].lParam, MAKELPARAM(size[0], size[1]));
        glViewport(0, 0, size[0], size[1]);
        glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        EXPECT_EQ(pixelAt(size[0] - 1, size[1] - 1), GREEN) << size[0] << " x " << size[1];
        EXPECT_EQ(pixelAt(size[0], size[1] - 1), NOTHING) << size[0] << " x " << size[1];
        EXPECT_EQ(pixelAt(size[0] - 1, size[1]), NOTHING) << size[0] << " x " << size[1];
    }
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(context);
    ReleaseDC(window, dc);
    DestroyWindow(window);
}

// Nothing can arrive, so no wait lasts for ever, and a message box has nowhere to show: its text
// goes to standard error and it returns at once. A hang ends the test through the alarm.
TEST_F(HeadlessTest, WaitsEndAndMessageBoxesReturnAtOnce) {
    HWND window = showWindow(0, 0, 100, 100);
    ASSERT_NE(window, nullptr);
    alarm(20);
    double start = secondsNow();
    connectedBackend()->waitForEvents(60);
    double waited = secondsNow() - start;
    EXPECT_GE(waited, 0.055);
    EXPECT_LT(waited, 1.0);
    start = secondsNow();
    connectedBackend()->waitForEvents(-1);
    EXPECT_LT(secondsNow() - start, 1.0) << "a wait without a limit returns";
    int result = 0;
    std::string written =
        standardErrorOf([&] { result = MessageBoxA(window, "no screen", "Error", MB_OK); });
    alarm(0);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(written, "platform_headless_test: Error: no screen\n");
    DestroyWindow(window);
}

// --- The choice, as the real game meets it ------------------------------------------------------

// No display of any kind, and WRENDLE_BACKEND as given ("" to leave it unset).
std::vector<std::string> withoutDisplays(const std::string& backend) {
    std::vector<std::string> changes = {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET"};
    changes.push_back(backend.empty() ? "WRENDLE_BACKEND" : "WRENDLE_BACKEND=" + backend);
    return changes;
}

std::string runGame(const std::vector<std::string>& changes, int* code) {
    int errors = -1;
    pid_t child = startChild({WRENDLE_GAME}, changes, &errors);
    if (child <= 0) {
        *code = -1;
        return "";
    }
    return finishChild(child, errors, 30, code);
}

const char* const NO_DISPLAY = "wrendle: cannot open display: DISPLAY is not set\n"
                               "wrendle: Error: create window failed\n";

// Without a display the game fails as it always has, whatever WRENDLE_BACKEND says unless it
// asks for headless: never running unseen by itself, never trying a backend it was not asked
// for, and an unknown name said once with the choices.
TEST(BackendChoice, TheGameFailsWithoutADisplayUnlessHeadlessIsAskedFor) {
    int code = -1;
    EXPECT_EQ(runGame(withoutDisplays(""), &code), NO_DISPLAY) << "unset";
    EXPECT_EQ(code, 1);
    std::vector<std::string> empty = withoutDisplays("");
    empty.back() = "WRENDLE_BACKEND=";
    EXPECT_EQ(runGame(empty, &code), NO_DISPLAY) << "empty";
    EXPECT_EQ(code, 1);
    EXPECT_EQ(runGame(withoutDisplays("x11"), &code), NO_DISPLAY) << "x11";
    EXPECT_EQ(code, 1);
    std::vector<std::string> wayland = withoutDisplays("wayland");
    wayland.push_back("DISPLAY=:969");
    EXPECT_EQ(runGame(wayland, &code),
              "wrendle: cannot use Wayland: neither WAYLAND_DISPLAY nor WAYLAND_SOCKET names a "
              "compositor\n"
              "wrendle: Error: create window failed\n")
        << "wayland: X11 is not tried";
    EXPECT_EQ(code, 1);
    EXPECT_EQ(runGame(withoutDisplays("foo"), &code),
              "wrendle: WRENDLE_BACKEND=\"foo\" is not a display backend; choose headless, x11 "
              "or wayland\n"
              "wrendle: Error: create window failed\n");
    EXPECT_EQ(code, 1);
}

// With a Wayland compositor and an X server both answering, Wayland is chosen unless
// WRENDLE_BACKEND names X11: this program runs again under both (each script starts its own),
// and says what it chose. with-sway hides the X server, so the child is told it another way.
TEST(BackendChoice, WaylandBeforeX11WhenBothAnswer) {
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
    for (std::string backend : {"", "x11"}) {
        int errors = -1;
        pid_t child = startChild(
            {WRENDLE_SCRIPTS "/with-xvfb", "sh", "-c", "WRENDLE_TEST_X11=\"$DISPLAY\" exec \"$@\"",
             "sh", WRENDLE_SCRIPTS "/with-sway", self, "--gtest_filter=BackendChild.*"},
            {backend.empty() ? "WRENDLE_BACKEND" : "WRENDLE_BACKEND=" + backend,
             "WRENDLE_CHOICE_CHILD=1"},
            &errors);
        ASSERT_GT(child, 0);
        int code = -1;
        std::string written = finishChild(child, errors, 60, &code);
        std::string expected = "chosen: " + (backend.empty() ? std::string("wayland") : backend);
        EXPECT_NE(written.find(expected + "\n"), std::string::npos) << written;
    }
}

// The child of the case above.
TEST(BackendChild, SaysItsChoice) {
    const char* x11 = getenv("WRENDLE_TEST_X11");
    if (getenv("WRENDLE_CHOICE_CHILD") == nullptr || x11 == nullptr) {
        GTEST_SKIP() << "runs only as the child of WaylandBeforeX11WhenBothAnswer";
    }
    setenv("DISPLAY", x11, 1);
    const Backend* backend = platformBackend();
    std::fprintf(stderr, "chosen: %s\n", backend != nullptr ? backend->name : "none");
}

// The game and the kit's examples start on headless and run until they are stopped: no input can
// reach them there, so a signal ends them.
TEST(BackendChoice, TheGameAndTheExamplesRunOnHeadless) {
    std::vector<std::string> programs = {WRENDLE_GAME};
#ifdef WRENDLE_EXAMPLES
    for (const std::string& example : commandWords(WRENDLE_EXAMPLES)) {
        programs.push_back(example);
    }
#endif
    std::vector<pid_t> children;
    std::vector<int> errors;
    for (const std::string& program : programs) {
        int fd = -1;
        children.push_back(startChild({program}, withoutDisplays("headless"), &fd));
        errors.push_back(fd);
    }
    pauseSeconds(2.0);
    for (size_t i = 0; i < programs.size(); i++) {
        if (children[i] <= 0) {
            ADD_FAILURE() << programs[i] << " did not start";
            continue;
        }
        int code = -1;
        bool ended = reapChild(children[i], false, &code);
        EXPECT_FALSE(ended) << programs[i] << " ended with " << code;
        if (!ended) {
            kill(children[i], SIGTERM);
        }
        int stopped = -1;
        EXPECT_EQ(finishChild(children[i], errors[i], 20, &stopped), "") << programs[i];
        EXPECT_EQ(ended ? code : stopped, 128 + SIGTERM) << programs[i];
    }
}

} // namespace
