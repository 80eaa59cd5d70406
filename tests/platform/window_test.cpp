// Windows on a real X server: client geometry as the server has it, the close box, the X
// window's properties, X errors turned into failures, pointer capture as a grab, and faults.
// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include "platform/testctl.h"
#include "helpers.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <string>
#include <unistd.h>

namespace {

const char* const CLASS_NAME = "platformWindowTest";

class WindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_NE(x11Display(), nullptr);
        ASSERT_NE(registerTestClass(CLASS_NAME), 0);
    }
    void SetUp() override {
        clearLog();
        messageLog.swallowClose = false;
        testClearFaults();
    }
};

// Where the server has the X window: origin in root coordinates and size.
void serverGeometry(HWND window, int* x, int* y, unsigned* width, unsigned* height) {
    Display* display = x11Display();
    Window root = 0;
    Window child = 0;
    int localX = 0;
    int localY = 0;
    unsigned border = 0;
    unsigned depth = 0;
    XGetGeometry(display, x11WindowOf(window), &root, &localX, &localY, width, height, &border,
                 &depth);
    XTranslateCoordinates(display, x11WindowOf(window), root, 0, 0, x, y, &child);
}

std::string property(Window window, Atom name, Atom* type) {
    unsigned char* data = nullptr;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    XGetWindowProperty(x11Display(), window, name, 0, 1024, False, AnyPropertyType, type, &format,
                       &count, &after, &data);
    std::string value = data != nullptr ? std::string((const char*)data, count) : std::string();
    if (data != nullptr) {
        XFree(data);
    }
    return value;
}

TEST_F(WindowTest, ClientAreaComesOutAsAskedAndWindowRectAddsTheFrame) {
    RECT rect = {-10 + 4, -8 + 26, -6 + 320, 18 + 240};
    RECT asked = rect;
    ASSERT_TRUE(AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE));
    EXPECT_EQ(rect.left, -10);
    EXPECT_EQ(rect.top, -8);
    EXPECT_EQ(rect.right - asked.right, 4);
    EXPECT_EQ(rect.bottom - asked.bottom, 4);
    EXPECT_EQ(GetSystemMetrics(SM_CXFRAME) + 0, 4);
    EXPECT_EQ(GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) -
                  GetSystemMetrics(SM_CYBORDER),
              26);

    HWND window = CreateWindowExA(0, CLASS_NAME, "geometry", WS_OVERLAPPEDWINDOW, rect.left,
                                  rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWDEFAULT);
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    RECT outer;
    ASSERT_TRUE(GetWindowRect(window, &outer));
    EXPECT_EQ(outer.left, rect.left);
    EXPECT_EQ(outer.top, rect.top);
    EXPECT_EQ(outer.right, rect.right);
    EXPECT_EQ(outer.bottom, rect.bottom);

    int x = 0;
    int y = 0;
    unsigned width = 0;
    unsigned height = 0;
    serverGeometry(window, &x, &y, &width, &height);
    EXPECT_EQ(x, -6);
    EXPECT_EQ(y, 18);
    EXPECT_EQ(width, 320u);
    EXPECT_EQ(height, 240u);

    // WM_MOVE carries the client origin as signed halves, negative ones included.
    int move = findLogged(WM_MOVE);
    ASSERT_GE(move, 0);
    EXPECT_EQ((SHORT)LOWORD(messageLog.entries[move].lParam), -6);
    EXPECT_EQ((SHORT)HIWORD(messageLog.entries[move].lParam), 18);
    clearLog();
    ASSERT_TRUE(MoveWindow(window, -200, -100, 308, 230, TRUE));
    move = findLogged(WM_MOVE);
    ASSERT_GE(move, 0);
    EXPECT_EQ((SHORT)LOWORD(messageLog.entries[move].lParam), -196);
    EXPECT_EQ((SHORT)HIWORD(messageLog.entries[move].lParam), -74);
    int size = findLogged(WM_SIZE);
    ASSERT_GE(size, 0);
    EXPECT_EQ(messageLog.entries[size].lParam, MAKELPARAM(300, 200));
    serverGeometry(window, &x, &y, &width, &height);
    EXPECT_EQ(x, -196);
    EXPECT_EQ(y, -74);
    EXPECT_EQ(width, 300u);
    // The server's ConfigureNotify for our own move repeats nothing.
    clearLog();
    pump();
    EXPECT_EQ(countLogged(WM_MOVE), 0);
    EXPECT_EQ(countLogged(WM_SIZE), 0);
    DestroyWindow(window);

    // Rectangles beyond what X can hold are cut to it, never overflowed.
    RECT huge = {2147483600, -2147483600, 2147483647, 2147483647};
    ASSERT_TRUE(AdjustWindowRect(&huge, WS_OVERLAPPEDWINDOW, FALSE));
    EXPECT_EQ(huge.right, 2147483647);
    window = CreateWindowExA(0, CLASS_NAME, "huge", WS_OVERLAPPEDWINDOW, 2147483600, -2147483600,
                             2147483647, 2147483647, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 32767);
    DestroyWindow(window);
}

LRESULT CALLBACK destroyingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    loggingProc(hwnd, message, wParam, lParam);
    if (message == WM_USER) {
        DestroyWindow(hwnd);
        // Still inside the handler of a window that is gone: nothing here may crash.
        PostMessageA(hwnd, WM_USER + 1, 0, 0);
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    return message == WM_USER ? 0 : DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST_F(WindowTest, WindowDestroyedInsideItsOwnHandlerAndByTheCloseBox) {
    ASSERT_NE(registerTestClass("destroyingClass", destroyingProc), 0);
    HWND window = CreateWindowExA(0, "destroyingClass", "x", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    ASSERT_TRUE(PostMessageA(window, WM_USER, 0, 0));
    ASSERT_TRUE(PostMessageA(window, WM_USER + 2, 0, 0));
    clearLog();
    pump();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(countLogged(WM_DESTROY), 1);
    EXPECT_EQ(countLogged(WM_USER + 1), 0);
    EXPECT_EQ(countLogged(WM_USER + 2), 0) << "queued messages of a destroyed window are purged";

    // The close box: a WM_DELETE_WINDOW client message becomes WM_CLOSE, and the default
    // procedure destroys the window.
    HWND closing = openWindow(CLASS_NAME, 100, 100, 120, 90);
    ASSERT_NE(closing, nullptr);
    XEvent event;
    std::memset(&event, 0, sizeof(event));
    event.xclient.type = ClientMessage;
    event.xclient.window = x11WindowOf(closing);
    event.xclient.message_type = x11.wmProtocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)x11.wmDeleteWindow;
    XSendEvent(x11Display(), x11WindowOf(closing), False, 0, &event);
    clearLog();
    pump();
    EXPECT_GE(findLogged(WM_CLOSE), 0);
    EXPECT_GT(findLogged(WM_DESTROY), findLogged(WM_CLOSE));
    EXPECT_FALSE(IsWindow(closing));
}

TEST_F(WindowTest, XWindowCarriesClassAndTitles) {
    HWND narrow = CreateWindowExA(0, CLASS_NAME, "Caf\xe9 narrow", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                  100, nullptr, nullptr, nullptr, nullptr);
    WNDCLASSW wide;
    std::memset(&wide, 0, sizeof(wide));
    wide.lpfnWndProc = loggingProc;
    wide.lpszClassName = L"wideTitleClass";
    ASSERT_NE(RegisterClassW(&wide), 0);
    HWND wideWindow =
        CreateWindowExW(0, L"wideTitleClass", L"\u0412\u0435\u0441\u043d\u0430 \u00e9",
                        WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(narrow, nullptr);
    ASSERT_NE(wideWindow, nullptr);

    // WM_CLASS: the program's name from its path, then the window class; and the machine it
    // runs on, which gives _NET_WM_PID its meaning.
    XClassHint hint;
    ASSERT_NE(XGetClassHint(x11Display(), x11WindowOf(narrow), &hint), 0);
    EXPECT_STREQ(hint.res_name, "platform_window_test");
    EXPECT_STREQ(hint.res_class, CLASS_NAME);
    XFree(hint.res_name);
    XFree(hint.res_class);
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof(host) - 1), 0);
    XTextProperty machine;
    ASSERT_NE(XGetWMClientMachine(x11Display(), x11WindowOf(narrow), &machine), 0);
    EXPECT_EQ(std::string((const char*)machine.value, machine.nitems), host);
    XFree(machine.value);

    Atom type = None;
    EXPECT_EQ(property(x11WindowOf(narrow), XA_WM_NAME, &type), "Caf\xe9 narrow");
    EXPECT_EQ(type, XA_STRING);
    EXPECT_EQ(property(x11WindowOf(narrow), x11.netWmName, &type), "Caf\xc3\xa9 narrow");
    EXPECT_EQ(type, x11.utf8String);
    EXPECT_EQ(property(x11WindowOf(wideWindow), x11.netWmName, &type),
              "\xd0\x92\xd0\xb5\xd1\x81\xd0\xbd\xd0\xb0 \xc3\xa9");
    Atom* protocols = nullptr;
    int count = 0;
    ASSERT_NE(XGetWMProtocols(x11Display(), x11WindowOf(narrow), &protocols, &count), 0);
    bool deleteWindow = false;
    for (int i = 0; i < count; i++) {
        deleteWindow = deleteWindow || protocols[i] == x11.wmDeleteWindow;
    }
    XFree(protocols);
    EXPECT_TRUE(deleteWindow);
    DestroyWindow(narrow);
    DestroyWindow(wideWindow);
}

TEST_F(WindowTest, ProtocolErrorsBecomeFailuresOfTheCall) {
    HWND window = openWindow(CLASS_NAME, 10, 40, 100, 80);
    ASSERT_NE(window, nullptr);
    // Another client destroys our X window behind the layer's back.
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XDestroyWindow(other, x11WindowOf(window));
    XSync(other, False);
    EXPECT_FALSE(MoveWindow(window, 20, 20, 150, 150, TRUE)) << "BadWindow from the server";
    EXPECT_EQ(SetCapture(window), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    // Tearing down what is already gone on the server still works and aborts nothing.
    EXPECT_TRUE(DestroyWindow(window));
    XCloseDisplay(other);
}

// Protocol errors that name one X window, counted on the way to the layer's own handler.
Window watchedWindow = 0;
int errorsNamingWatched = 0;
int (*layerHandler)(Display*, XErrorEvent*) = nullptr;

int countingHandler(Display* display, XErrorEvent* error) {
    if (error->resourceid == watchedWindow) {
        errorsNamingWatched++;
    }
    return layerHandler(display, error);
}

TEST_F(WindowTest, AWindowDestroyedByAnotherClientGoesAsDestroyWindowTakesIt) {
    HWND window = openWindow(CLASS_NAME, 10, 40, 100, 80);
    ASSERT_NE(window, nullptr);
    pump();
    SetCapture(window);
    ASSERT_EQ(GetCapture(), window);
    clearLog();
    watchedWindow = x11WindowOf(window);
    errorsNamingWatched = 0;
    layerHandler = XSetErrorHandler(countingHandler);

    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XDestroyWindow(other, watchedWindow);
    XSync(other, False);
    pump();
    EXPECT_FALSE(IsWindow(window)) << "the handle outlived its X window";
    int destroyed = findLogged(WM_DESTROY);
    ASSERT_GE(destroyed, 0);
    EXPECT_GT(findLogged(WM_NCDESTROY), destroyed);
    EXPECT_EQ(GetCapture(), nullptr);
    // Nothing was asked of the dead window: its destruction was not repeated.
    XSync(x11Display(), False);
    EXPECT_EQ(errorsNamingWatched, 0);
    EXPECT_FALSE(DestroyWindow(window));

    XSetErrorHandler(layerHandler);
    XCloseDisplay(other);
}

TEST_F(WindowTest, CaptureIsAnActivePointerGrabReleasedForGood) {
    HWND window = openWindow(CLASS_NAME, 10, 40, 100, 80);
    ASSERT_NE(window, nullptr);
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    Window otherRoot = DefaultRootWindow(other);

    SetCapture(window);
    EXPECT_EQ(GetCapture(), window);
    EXPECT_EQ(XGrabPointer(other, otherRoot, False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                           None, None, CurrentTime),
              AlreadyGrabbed);
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_GE(findLogged(WM_CAPTURECHANGED), 0);
    ASSERT_EQ(XGrabPointer(other, otherRoot, False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                           None, None, CurrentTime),
              GrabSuccess)
        << "the pointer was left grabbed";

    // Another client holds the pointer: the capture is refused, not taken.
    EXPECT_EQ(SetCapture(window), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    XUngrabPointer(other, CurrentTime);
    XSync(other, False);

    // An unmapped window cannot take the capture; destroying the capture window ends it.
    ShowWindow(window, SW_HIDE);
    EXPECT_EQ(SetCapture(window), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    ShowWindow(window, SW_SHOW);
    SetCapture(window);
    ASSERT_EQ(GetCapture(), window);
    DestroyWindow(window);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(XGrabPointer(other, otherRoot, False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                           None, None, CurrentTime),
              GrabSuccess);
    XCloseDisplay(other);
}

TEST_F(WindowTest, InjectedFaultsFailAsWin32Does) {
    testFailCall(TEST_REGISTER_CLASS);
    EXPECT_EQ(registerTestClass("faultClass"), 0);
    EXPECT_NE(registerTestClass("faultClass"), 0) << "the fault takes one call only";
    testFailCall(TEST_CREATE_WINDOW);
    EXPECT_EQ(CreateWindowExA(0, "faultClass", "x", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(messageLog.count, 0) << "no message for a window never made";
    HWND window = openWindow("faultClass", 0, 30, 100, 100);
    ASSERT_NE(window, nullptr);
    testFailCall(TEST_GET_DC);
    EXPECT_EQ(GetDC(window), nullptr);
    HDC dc = GetDC(window);
    EXPECT_NE(dc, nullptr);
    ASSERT_NE(windowOfDc(dc), nullptr);
    EXPECT_EQ(windowOfDc(dc)->handle, window) << "the DC names its window's record";
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    testFailCall(TEST_POST_MESSAGE);
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    testFailCall(TEST_GET_CURSOR_POS);
    POINT point;
    EXPECT_FALSE(GetCursorPos(&point));
    fakeMotion(123, 45);
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, 123);
    EXPECT_EQ(point.y, 45);
    DestroyWindow(window);
    EXPECT_EQ(windowOfDc(dc), nullptr) << "a DC dies with its window";
}

// A protocol error inside a trap comes back as its code, and its text stays readable for the
// failure's report; outside a trap an error ends nothing.
// Events already on their way when a window is destroyed find no record: they never reach the
// window that takes the destroyed one's record next.
TEST_F(WindowTest, LateEventsOfADestroyedWindowAreDropped) {
    HWND first = openWindow(CLASS_NAME, 40, 60, 120, 90);
    ASSERT_NE(first, nullptr);
    pump();
    WindowRecord* record = windowRecord(first);
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    xCloseBox(other, x11WindowOf(first));
    XCloseDisplay(other);
    ASSERT_TRUE(DestroyWindow(first));
    HWND second = openWindow(CLASS_NAME, 40, 60, 120, 90);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(windowRecord(second), record) << "the next window takes the same record";
    clearLog();
    pump();
    EXPECT_EQ(findLoggedFor(second, WM_CLOSE), -1) << "the destroyed window's close box arrived";
    DestroyWindow(second);
}

TEST_F(WindowTest, TrappedXErrorsKeepTheirCodeAndText) {
    Display* display = x11Display();
    const Window noWindow = 0x7ffffff0;
    x11BeginErrorTrap();
    XMapWindow(display, noWindow);
    EXPECT_EQ(x11EndErrorTrap(), BadWindow);
    EXPECT_NE(std::string(x11ErrorText()).find("BadWindow"), std::string::npos) << x11ErrorText();
    x11BeginErrorTrap();
    EXPECT_EQ(x11EndErrorTrap(), 0) << "a trap starts clean";
    XUnmapWindow(display, noWindow);
    XSync(display, False);
}

TEST_F(WindowTest, PingFromTheWindowManagerIsAnswered) {
    HWND window = openWindow(CLASS_NAME, 10, 40, 100, 80);
    ASSERT_NE(window, nullptr);
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    Window root = DefaultRootWindow(other);
    XSelectInput(other, root, SubstructureNotifyMask);
    XEvent ping;
    std::memset(&ping, 0, sizeof(ping));
    ping.xclient.type = ClientMessage;
    ping.xclient.window = x11WindowOf(window);
    ping.xclient.message_type = XInternAtom(other, "WM_PROTOCOLS", False);
    ping.xclient.format = 32;
    ping.xclient.data.l[0] = (long)XInternAtom(other, "_NET_WM_PING", False);
    ping.xclient.data.l[1] = 4242;
    ping.xclient.data.l[2] = (long)x11WindowOf(window);
    XSendEvent(other, x11WindowOf(window), False, 0, &ping);
    XSync(other, False);
    pump();
    bool answered = false;
    XSync(other, False);
    while (XPending(other) > 0) {
        XEvent event;
        XNextEvent(other, &event);
        answered = answered || (event.type == ClientMessage && event.xclient.window == root &&
                                event.xclient.data.l[1] == 4242);
    }
    EXPECT_TRUE(answered);
    EXPECT_EQ(countLogged(WM_CLOSE), 0);
    XCloseDisplay(other);
    DestroyWindow(window);
}

} // namespace
