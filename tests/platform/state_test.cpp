// Window state driven by other clients on an X server: minimising and restoring, moves and
// resizes from the server (real and synthetic ConfigureNotify), and activation from focus.
// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include "helpers.h"

#include <X11/Xutil.h>

namespace {

const char* const CLASS_NAME = "platformStateTest";

class StateTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_NE(x11Display(), nullptr);
        ASSERT_NE(registerTestClass(CLASS_NAME), 0);
    }
    void SetUp() override {
        window = openWindow(CLASS_NAME, 60, 80, 240, 180);
        ASSERT_NE(window, nullptr);
        other = XOpenDisplay(nullptr);
        ASSERT_NE(other, nullptr);
        pump();
        clearLog();
    }
    void TearDown() override {
        DestroyWindow(window);
        XCloseDisplay(other);
    }
    HWND window = nullptr;
    Display* other = nullptr; // plays the window manager or another program
};

// The wParam of the window's last WM_ACTIVATE, or 0xffff when none came.
WPARAM lastActivation(HWND hwnd) {
    int at = lastLoggedFor(hwnd, WM_ACTIVATE);
    return at < 0 ? (WPARAM)0xffff : messageLog.entries[at].wParam;
}

TEST_F(StateTest, UnmappedByAnotherClientCountsAsIconifiedAndMappedAsRestored) {
    XUnmapWindow(other, x11WindowOf(window));
    XSync(other, False);
    pump();
    int size = findLogged(WM_SIZE);
    ASSERT_GE(size, 0);
    EXPECT_EQ(messageLog.entries[size].wParam, (WPARAM)SIZE_MINIMIZED);
    clearLog();
    XMapWindow(other, x11WindowOf(window));
    XSync(other, False);
    pump();
    size = findLogged(WM_SIZE);
    ASSERT_GE(size, 0);
    EXPECT_EQ(messageLog.entries[size].wParam, (WPARAM)SIZE_RESTORED);
    EXPECT_EQ(messageLog.entries[size].lParam, MAKELPARAM(240, 180));
    EXPECT_LT(findLogged(WM_MOVE), size);
    EXPECT_GT(lastLoggedFor(window, WM_ACTIVATE), size);
    EXPECT_EQ(lastActivation(window), MAKEWPARAM(WA_ACTIVE, 0));
    EXPECT_EQ(GetFocus(), window);
}

TEST_F(StateTest, ServerMovesAndResizesGiveMessagesOnlyWhenSomethingChanged) {
    XMoveWindow(other, x11WindowOf(window), -30, -12);
    XSync(other, False);
    pump();
    EXPECT_EQ(countLogged(WM_SIZE), 0) << "a move is no resize";
    int move = findLogged(WM_MOVE);
    ASSERT_GE(move, 0);
    EXPECT_EQ((SHORT)LOWORD(messageLog.entries[move].lParam), -30);
    EXPECT_EQ((SHORT)HIWORD(messageLog.entries[move].lParam), -12);

    clearLog();
    XResizeWindow(other, x11WindowOf(window), 111, 77);
    XSync(other, False);
    pump();
    EXPECT_EQ(countLogged(WM_MOVE), 0);
    ASSERT_EQ(countLogged(WM_SIZE), 1);
    EXPECT_EQ(messageLog.entries[findLogged(WM_SIZE)].lParam, MAKELPARAM(111, 77));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 111);

    // A window manager's synthetic ConfigureNotify is in root coordinates already.
    clearLog();
    XEvent event;
    std::memset(&event, 0, sizeof(event));
    event.xconfigure.type = ConfigureNotify;
    event.xconfigure.event = x11WindowOf(window);
    event.xconfigure.window = x11WindowOf(window);
    event.xconfigure.x = 400;
    event.xconfigure.y = 300;
    event.xconfigure.width = 111;
    event.xconfigure.height = 77;
    XSendEvent(other, x11WindowOf(window), False, StructureNotifyMask, &event);
    XSync(other, False);
    pump();
    move = findLogged(WM_MOVE);
    ASSERT_GE(move, 0);
    EXPECT_EQ(messageLog.entries[move].lParam, MAKELPARAM(400, 300));
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 396);
    EXPECT_EQ(outer.top, 274);

    // Any client can send one: its size is no size the window has, only its position counts.
    const int claims[2][2] = {{32767, 32767}, {1, 1}};
    for (int i = 0; i < 2; i++) {
        clearLog();
        event.xconfigure.x = 410 + i;
        event.xconfigure.width = claims[i][0];
        event.xconfigure.height = claims[i][1];
        XSendEvent(other, x11WindowOf(window), False, StructureNotifyMask, &event);
        XSync(other, False);
        pump();
        EXPECT_EQ(countLogged(WM_SIZE), 0) << "claimed " << claims[i][0] << " x " << claims[i][1];
        move = findLogged(WM_MOVE);
        ASSERT_GE(move, 0);
        EXPECT_EQ(messageLog.entries[move].lParam, MAKELPARAM(410 + i, 300));
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, 111);
        EXPECT_EQ(client.bottom, 77);
    }
    // A real resize afterwards is measured against the real size, not the claims.
    clearLog();
    XResizeWindow(other, x11WindowOf(window), 1, 1);
    XSync(other, False);
    pump();
    ASSERT_EQ(countLogged(WM_SIZE), 1);
    EXPECT_EQ(messageLog.entries[findLogged(WM_SIZE)].lParam, MAKELPARAM(1, 1));
}

TEST_F(StateTest, FocusChangesActivateAndDeactivate) {
    HWND second = openWindow(CLASS_NAME, 400, 80, 100, 100);
    ASSERT_NE(second, nullptr);
    pump();
    int inactive = -1;
    for (int i = 0; i < messageLog.count; i++) {
        const LoggedMessage& m = messageLog.entries[i];
        if (m.hwnd == window && m.message == WM_ACTIVATE && LOWORD(m.wParam) == WA_INACTIVE) {
            inactive = i;
        }
    }
    ASSERT_GE(inactive, 0) << "the first window lost the focus";
    EXPECT_EQ(GetFocus(), second);

    clearLog();
    XSetInputFocus(other, x11WindowOf(window), RevertToParent, CurrentTime);
    XSync(other, False);
    pump();
    int active = findLoggedFor(window, WM_ACTIVATE);
    ASSERT_GE(active, 0);
    EXPECT_EQ(messageLog.entries[active].wParam, (WPARAM)WA_ACTIVE);
    int lost = findLoggedFor(second, WM_ACTIVATE);
    ASSERT_GE(lost, 0);
    EXPECT_EQ(messageLog.entries[lost].wParam, (WPARAM)WA_INACTIVE);
    EXPECT_EQ(GetFocus(), window);
    DestroyWindow(second);
}

void setWmState(Display* display, Window window, long state) {
    Atom wmState = XInternAtom(display, "WM_STATE", False);
    long data[2] = {state, 0};
    XChangeProperty(display, window, wmState, wmState, 32, PropModeReplace,
                    (const unsigned char*)data, 2);
    XSync(display, False);
}

TEST_F(StateTest, WithoutAWindowManagerWmStateWrittenByAnyClientIsNoMinimise) {
    ASSERT_FALSE(x11WindowManagerRuns());
    setWmState(other, x11WindowOf(window), IconicState);
    pump();
    EXPECT_EQ(countLogged(WM_SIZE), 0);
    EXPECT_EQ(countLogged(WM_ACTIVATE), 0);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 240) << "still the shown window's size, not a minimised one's";
    // The map state still decides: unmapped by another client, it is minimised.
    XUnmapWindow(other, x11WindowOf(window));
    XSync(other, False);
    pump();
    int size = findLogged(WM_SIZE);
    ASSERT_GE(size, 0);
    EXPECT_EQ(messageLog.entries[size].wParam, (WPARAM)SIZE_MINIMIZED);
}

TEST_F(StateTest, UnderAWindowManagerItsStateDecidesAndAnUnmapAloneDoesNot) {
    // The other client takes the window manager's selection.
    Atom selection = XInternAtom(other, "WM_S0", False);
    Window owner = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(other, selection, owner, CurrentTime);
    XSync(other, False);
    ASSERT_TRUE(x11WindowManagerRuns());

    // Reparenting unmaps and maps a window again; that is no minimising.
    XUnmapWindow(other, x11WindowOf(window));
    XMapWindow(other, x11WindowOf(window));
    XSync(other, False);
    pump();
    EXPECT_EQ(countLogged(WM_SIZE), 0);
    XSetInputFocus(other, x11WindowOf(window), RevertToParent, CurrentTime);
    XSync(other, False);
    pump();
    ASSERT_EQ(GetFocus(), window);
    clearLog();

    setWmState(other, x11WindowOf(window), IconicState);
    pump();
    int size = findLogged(WM_SIZE);
    ASSERT_GE(size, 0);
    EXPECT_EQ(messageLog.entries[size].wParam, (WPARAM)SIZE_MINIMIZED);
    int activate = findLogged(WM_ACTIVATE);
    ASSERT_GE(activate, 0);
    EXPECT_EQ(messageLog.entries[activate].wParam, MAKEWPARAM(WA_INACTIVE, 1));

    // Focused while still iconic, then restored: the last word is an activation that is not
    // minimised, though the window was active already. (The server reports no change when
    // the focus is set to where it is, so it goes elsewhere first.)
    XSetInputFocus(other, None, RevertToNone, CurrentTime);
    XSetInputFocus(other, x11WindowOf(window), RevertToParent, CurrentTime);
    XSync(other, False);
    pump();
    ASSERT_EQ(lastActivation(window), MAKEWPARAM(WA_ACTIVE, 1));
    clearLog();
    setWmState(other, x11WindowOf(window), NormalState);
    pump();
    size = findLogged(WM_SIZE);
    ASSERT_GE(size, 0);
    EXPECT_EQ(messageLog.entries[size].wParam, (WPARAM)SIZE_RESTORED);
    EXPECT_EQ(messageLog.entries[size].lParam, MAKELPARAM(240, 180));
    EXPECT_GT(lastLoggedFor(window, WM_ACTIVATE), size);
    EXPECT_EQ(lastActivation(window), MAKEWPARAM(WA_ACTIVE, 0));

    // Iconic and not focused: the window manager's focus, when it comes, activates it
    // unminimised; the restore itself takes no focus under a window manager.
    setWmState(other, x11WindowOf(window), IconicState);
    pump();
    clearLog();
    setWmState(other, x11WindowOf(window), NormalState);
    pump();
    EXPECT_EQ(countLogged(WM_ACTIVATE), 0);
    XSetInputFocus(other, None, RevertToNone, CurrentTime);
    XSetInputFocus(other, x11WindowOf(window), RevertToParent, CurrentTime);
    XSync(other, False);
    pump();
    EXPECT_EQ(lastActivation(window), MAKEWPARAM(WA_ACTIVE, 0));
    XDestroyWindow(other, owner);
    XSync(other, False);
    EXPECT_FALSE(x11WindowManagerRuns());
}

// The program's own MoveWindow gives the same order (tests/platform/core_test.cpp).
TEST_F(StateTest, AServerMoveWithAResizeGivesTheMoveFirstAndAnExposedPartPaints) {
    // From the server: another client moves and resizes in one request.
    XMoveResizeWindow(other, x11WindowOf(window), 70, 90, 200, 150);
    XSync(other, False);
    pump();
    int move = findLogged(WM_MOVE);
    int size = findLogged(WM_SIZE);
    ASSERT_GE(move, 0);
    ASSERT_GE(size, 0);
    EXPECT_LT(move, size) << "Win32 tells the origin before the size";
    EXPECT_EQ(messageLog.entries[move].lParam, MAKELPARAM(70, 90));
    EXPECT_EQ(messageLog.entries[size].lParam, MAKELPARAM(200, 150));

    // Brought back from beyond the screen's edge, the part that was off it is exposed.
    RECT outer = {100, 110, 100 + 180, 110 + 120};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    ASSERT_TRUE(MoveWindow(window, -150, outer.top, outer.right - outer.left,
                           outer.bottom - outer.top, TRUE));
    pump();
    clearLog();
    ASSERT_TRUE(MoveWindow(window, outer.left, outer.top, outer.right - outer.left,
                           outer.bottom - outer.top, TRUE));
    pump();
    EXPECT_EQ(countLogged(WM_PAINT), 1);
}

TEST_F(StateTest, MovesWhileMinimisedReachTheClientByTheRestore) {
    ShowWindow(window, SW_MINIMIZE);
    pump();
    clearLog();
    XMoveWindow(other, x11WindowOf(window), 150, 170);
    XSync(other, False);
    pump();
    EXPECT_EQ(countLogged(WM_MOVE), 0) << "a minimised window is told nothing";
    ShowWindow(window, SW_RESTORE);
    int move = findLogged(WM_MOVE);
    ASSERT_GE(move, 0);
    EXPECT_EQ(messageLog.entries[move].lParam, MAKELPARAM(150, 170));
    EXPECT_LT(move, findLogged(WM_SIZE));
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 150 - GetSystemMetrics(SM_CXFRAME));
}

// Records GetKeyState(VK_CONTROL) as each Left key comes.
SHORT controlAtLeft[4];
int leftCount = 0;

LRESULT CALLBACK controlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_LEFT && leftCount < 4) {
        controlAtLeft[leftCount++] = GetKeyState(VK_CONTROL);
    }
    return loggingProc(hwnd, message, wParam, lParam);
}

TEST_F(StateTest, KeysHeldWhenAGrabTakesTheKeyboardAreForgotten) {
    ASSERT_NE(registerTestClass("controlClass", controlProc), 0);
    DestroyWindow(window);
    window = openWindow("controlClass", 60, 80, 240, 180);
    ASSERT_NE(window, nullptr);
    pump();
    clearLog();
    leftCount = 0;
    fakeKey(XK_Control_L, true);
    tapKey(XK_Left);
    pump();
    // A window manager's keyboard grab (a switcher): Control is let go while it holds the keys.
    Window root = DefaultRootWindow(other);
    ASSERT_EQ(XGrabKeyboard(other, root, False, GrabModeAsync, GrabModeAsync, CurrentTime),
              GrabSuccess);
    XSync(other, False);
    pump();
    fakeKey(XK_Control_L, false);
    XUngrabKeyboard(other, CurrentTime);
    XSync(other, False);
    pump();
    tapKey(XK_Left);
    pump();
    ASSERT_EQ(leftCount, 2);
    EXPECT_NE(controlAtLeft[0] & 0x8000, 0);
    EXPECT_EQ(controlAtLeft[1] & 0x8000, 0) << "Control stayed down after the grab";
    EXPECT_EQ(countLogged(WM_ACTIVATE), 0) << "a grab is no change of activation";

    // The press is still waiting in the queue when the grab comes: taking it afterwards must
    // not hold Control down again, for its release went to the grabber.
    leftCount = 0;
    fakeKey(XK_Control_L, true);
    XGrabKeyboard(other, root, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XSync(other, False);
    fakeKey(XK_Control_L, false);
    XUngrabKeyboard(other, CurrentTime);
    XSync(other, False);
    tapKey(XK_Left);
    pump();
    ASSERT_EQ(leftCount, 1);
    EXPECT_EQ(controlAtLeft[0] & 0x8000, 0) << "a press read before the grab was taken after it";
}

TEST_F(StateTest, FocusFollowingThePointerActivatesAndDeactivates) {
    // No window manager: the focus is the pointer's root, and keys go where the pointer is.
    XSetInputFocus(other, None, RevertToNone, CurrentTime);
    XSync(other, False);
    pump();
    ASSERT_EQ(GetFocus(), nullptr);
    fakeMotion(60 + 10, 80 + 10);
    clearLog();
    XSetInputFocus(other, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(other, False);
    pump();
    EXPECT_EQ(lastActivation(window), MAKEWPARAM(WA_ACTIVE, 0));
    EXPECT_EQ(GetFocus(), window);
    // The focus leaves the pointer's root: the window under the pointer loses the keys.
    XSetInputFocus(other, None, RevertToNone, CurrentTime);
    XSync(other, False);
    pump();
    EXPECT_EQ(lastActivation(window), MAKEWPARAM(WA_INACTIVE, 0));
    EXPECT_EQ(GetFocus(), nullptr);
}

} // namespace
