// Keyboard and pointer input injected with XTest, as the server makes it: virtual keys,
// characters with Shift and Caps Lock, system keys, auto-repeat, the US layout on a non-Latin
// keymap, buttons, motion and capture with signed positions and the server's grabs.
// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include "helpers.h"

#include <X11/XKBlib.h>

#include <cstdio>
#include <dlfcn.h>
#include <poll.h>

// Blocking waits, counted by standing in for the C library's poll(): Xlib's transport calls it
// whenever it has to wait for the server, so a round trip shows as one call (or a fixed few).
int pollCalls = 0;

extern "C" int poll(struct pollfd* fds, nfds_t count, int timeout) {
    typedef int (*PollFunction)(struct pollfd*, nfds_t, int);
    static PollFunction real = (PollFunction)dlsym(RTLD_NEXT, "poll");
    pollCalls++;
    return real(fds, count, timeout);
}

namespace {

const char* const CLASS_NAME = "platformInputTest";
const int CLIENT_X = 100;
const int CLIENT_Y = 120;

class InputTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_NE(x11Display(), nullptr);
        ASSERT_NE(registerTestClass(CLASS_NAME), 0);
    }
    void SetUp() override {
        window = openWindow(CLASS_NAME, CLIENT_X, CLIENT_Y, 300, 200);
        ASSERT_NE(window, nullptr);
        pump();
        clearLog();
    }
    void TearDown() override { DestroyWindow(window); }

    // The wParams of one kind of message in the log, in order.
    int collect(UINT message, WPARAM* out, int capacity) {
        int count = 0;
        for (int i = 0; i < messageLog.count && count < capacity; i++) {
            if (messageLog.entries[i].message == message) {
                out[count++] = messageLog.entries[i].wParam;
            }
        }
        return count;
    }
    // Takes messages until one of this kind comes (others are dispatched); false after 2 s.
    bool take(UINT wanted, MSG* msg) {
        long start = nowMs();
        while (nowMs() - start < 2000) {
            if (!PeekMessageA(msg, nullptr, 0, 0, PM_REMOVE)) {
                x11WaitForEvents(10);
            } else if (msg->message == wanted) {
                return true;
            } else {
                DispatchMessageA(msg);
            }
        }
        return false;
    }
    // What another client gets when it asks for the pointer (and gives it back at once).
    static int otherGrab(Display* other) {
        int status = XGrabPointer(other, DefaultRootWindow(other), False, ButtonPressMask,
                                  GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
        if (status == GrabSuccess) {
            XUngrabPointer(other, CurrentTime);
        }
        XSync(other, False);
        return status;
    }
    HWND window = nullptr;
};

TEST_F(InputTest, KeysGiveVirtualKeyCodes) {
    struct {
        KeySym keysym;
        WPARAM vk;
    } keys[] = {{XK_Left, VK_LEFT},
                {XK_Up, VK_UP},
                {XK_Right, VK_RIGHT},
                {XK_Down, VK_DOWN},
                {XK_Return, VK_RETURN},
                {XK_Escape, VK_ESCAPE},
                {XK_space, VK_SPACE},
                {XK_Tab, VK_TAB},
                {XK_BackSpace, VK_BACK},
                {XK_F1, VK_F1},
                {XK_F12, VK_F12},
                {XK_a, 'A'},
                {XK_z, 'Z'},
                {XK_0, '0'},
                {XK_9, '9'}};
    for (const auto& key : keys) {
        tapKey(key.keysym);
    }
    pump();
    WPARAM down[32];
    ASSERT_EQ(collect(WM_KEYDOWN, down, 32), (int)(sizeof(keys) / sizeof(keys[0])));
    for (size_t i = 0; i < sizeof(keys) / sizeof(keys[0]); i++) {
        EXPECT_EQ(down[i], keys[i].vk) << "key " << i;
    }
    EXPECT_EQ(countLogged(WM_KEYUP), (int)(sizeof(keys) / sizeof(keys[0])));
    int up = findLogged(WM_KEYUP);
    EXPECT_NE(messageLog.entries[up].lParam & (1L << 31), 0) << "transition bit of a release";
}

TEST_F(InputTest, CharactersFollowShiftAndCapsLock) {
    tapKey(XK_n);
    fakeKey(XK_Shift_L, true);
    tapKey(XK_n);
    fakeKey(XK_Shift_L, false);
    tapKey(XK_Caps_Lock);
    tapKey(XK_n);
    fakeKey(XK_Shift_L, true);
    tapKey(XK_n);
    fakeKey(XK_Shift_L, false);
    tapKey(XK_Caps_Lock);
    tapKey(XK_5);
    tapKey(XK_Return);
    tapKey(XK_Escape);
    tapKey(XK_space);
    tapKey(XK_F1);
    tapKey(XK_Left);
    tapKey(XK_Delete);
    pump();
    WPARAM chars[32];
    int count = collect(WM_CHAR, chars, 32);
    WPARAM expected[] = {'n', 'N', 'N', 'n', '5', 13, 27, 32};
    ASSERT_EQ(count, (int)(sizeof(expected) / sizeof(expected[0])));
    for (int i = 0; i < count; i++) {
        EXPECT_EQ(chars[i], expected[i]) << "character " << i;
    }
}

TEST_F(InputTest, ToggleBitFlipsWithEveryPressOfEveryKeyButNotWithRepeats) {
    const int keys[4] = {VK_SHIFT, VK_CONTROL, 'A', 0x01}; // 0x01: the left button
    SHORT before[4];
    for (int i = 0; i < 4; i++) {
        before[i] = GetKeyState(keys[i]);
        EXPECT_EQ(before[i] & 0x8000, 0) << "key " << keys[i] << " left down";
    }
    tapKey(XK_Shift_L);
    tapKey(XK_Control_L);
    tapKey(XK_a);
    fakeMotion(CLIENT_X + 10, CLIENT_Y + 10);
    fakeButton(1, true);
    fakeButton(1, false);
    pump();
    // One press and release: exactly the low bit changed, as Win32 gives 0x0001 for Shift.
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(GetKeyState(keys[i]), (SHORT)((before[i] & 1) ^ 1)) << "key " << keys[i];
    }
    // Both Shift keys count as VK_SHIFT: the second press, with the first held, flips nothing.
    fakeKey(XK_Shift_L, true);
    fakeKey(XK_Shift_R, true);
    fakeKey(XK_Shift_R, false);
    fakeKey(XK_Shift_L, false);
    pump();
    EXPECT_EQ(GetKeyState(VK_SHIFT), before[0] & 1);

    // A held key's auto-repeats are presses of a key that is down already.
    XkbSetAutoRepeatRate(x11Display(), XkbUseCoreKbd, 200, 40);
    SHORT right = GetKeyState(VK_RIGHT);
    clearLog();
    fakeKey(XK_Right, true);
    EXPECT_TRUE(pumpUntil([]() { return countLogged(WM_KEYDOWN) >= 3; }, 5)) << "no repeats";
    EXPECT_EQ(GetKeyState(VK_RIGHT), (SHORT)(0x8000 | ((right & 1) ^ 1)));
    fakeKey(XK_Right, false);
    pump();
    EXPECT_GE(countLogged(WM_KEYDOWN), 3) << "the key did not repeat";
    EXPECT_EQ(GetKeyState(VK_RIGHT), (SHORT)((right & 1) ^ 1));
}

TEST_F(InputTest, AltCombinationsAreSystemKeys) {
    fakeKey(XK_Alt_L, true);
    tapKey(XK_x);
    fakeKey(XK_Alt_L, false);
    pump();
    EXPECT_EQ(countLogged(WM_KEYDOWN), 0);
    EXPECT_EQ(countLogged(WM_CHAR), 0);
    int x = findLogged(WM_SYSKEYDOWN, findLogged(WM_SYSKEYDOWN) + 1);
    ASSERT_GE(x, 0);
    EXPECT_EQ(messageLog.entries[x].wParam, (WPARAM)'X');
    EXPECT_NE(messageLog.entries[x].lParam & (1L << 29), 0);
    EXPECT_EQ(countLogged(WM_SYSCHAR), 1);
}

TEST_F(InputTest, HeldKeyRepeatsAsKeyDowns) {
    ASSERT_TRUE(x11.detectableRepeat) << "the server refused detectable auto-repeat";
    XkbSetAutoRepeatRate(x11Display(), XkbUseCoreKbd, 200, 40);
    fakeKey(XK_Right, true);
    pumpUntil([]() { return countLogged(WM_KEYDOWN) >= 3; }, 5);
    fakeKey(XK_Right, false);
    pump();
    int downs = countLogged(WM_KEYDOWN);
    EXPECT_GE(downs, 3);
    EXPECT_EQ(countLogged(WM_KEYUP), 1) << "repeats are not release/press pairs";
    int first = findLogged(WM_KEYDOWN);
    int second = findLogged(WM_KEYDOWN, first + 1);
    ASSERT_GE(second, 0);
    EXPECT_EQ(messageLog.entries[first].lParam & (1L << 30), 0);
    EXPECT_NE(messageLog.entries[second].lParam & (1L << 30), 0) << "previous-state bit";
    EXPECT_GT(findLogged(WM_KEYUP), findLogged(WM_KEYDOWN, second));
}

TEST_F(InputTest, UsLayoutGivesLatinLettersOnACyrillicKeymap) {
    Display* display = x11Display();
    KeyCode n = XKeysymToKeycode(display, XK_n);
    ASSERT_NE(n, 0);
    int perCode = 0;
    KeySym* saved = XGetKeyboardMapping(display, n, 1, &perCode);
    ASSERT_NE(saved, nullptr);
    // The N key as a Russian layout has it: Cyrillic te in its only group.
    KeySym cyrillic[2] = {XK_Cyrillic_te, XK_Cyrillic_TE};
    XChangeKeyboardMapping(display, n, 2, cyrillic, 1);
    XSync(display, False);
    pump();
    clearLog();

    tapKey(XK_Cyrillic_te);
    pump();
    WPARAM chars[8];
    int before = collect(WM_CHAR, chars, 8);
    EXPECT_TRUE(before == 0 || chars[0] != 'n') << "the keymap change did not take";
    int down = findLogged(WM_KEYDOWN);
    ASSERT_GE(down, 0);
    EXPECT_EQ(messageLog.entries[down].wParam, (WPARAM)'N') << "the key's US name";

    ASSERT_NE(LoadKeyboardLayoutA("00000409", KLF_ACTIVATE), nullptr);
    clearLog();
    tapKey(XK_Cyrillic_te);
    fakeKey(XK_Shift_L, true);
    tapKey(XK_Cyrillic_te);
    fakeKey(XK_Shift_L, false);
    pump();
    ASSERT_EQ(collect(WM_CHAR, chars, 8), 2);
    EXPECT_EQ(chars[0], (WPARAM)'n');
    EXPECT_EQ(chars[1], (WPARAM)'N');

    XChangeKeyboardMapping(display, n, perCode, saved, 1);
    XFree(saved);
    XSync(display, False);
}

TEST_F(InputTest, ButtonsAndMotionCarryFlagsAndSignedPositions) {
    fakeMotion(CLIENT_X + 10, CLIENT_Y + 20);
    fakeButton(1, true);
    fakeMotion(CLIENT_X + 30, CLIENT_Y + 40);
    fakeButton(3, true);
    fakeButton(3, false);
    fakeButton(1, false);
    fakeButton(2, true);
    fakeButton(2, false);
    pump();
    struct Expected {
        UINT message;
        WPARAM flags;
        int x;
        int y;
    } expected[] = {{WM_LBUTTONDOWN, MK_LBUTTON, 10, 20},
                    {WM_MOUSEMOVE, MK_LBUTTON, 30, 40},
                    {WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 30, 40},
                    {WM_RBUTTONUP, MK_LBUTTON, 30, 40},
                    {WM_LBUTTONUP, 0, 30, 40},
                    {WM_MBUTTONDOWN, MK_MBUTTON, 30, 40},
                    {WM_MBUTTONUP, 0, 30, 40}};
    int at = findLogged(WM_LBUTTONDOWN);
    ASSERT_GE(at, 0);
    for (const Expected& e : expected) {
        while (at < messageLog.count && messageLog.entries[at].message != e.message) {
            at++;
        }
        ASSERT_LT(at, messageLog.count) << "missing message " << e.message;
        const LoggedMessage& m = messageLog.entries[at];
        EXPECT_EQ(m.wParam, e.flags) << "message " << e.message;
        EXPECT_EQ((SHORT)LOWORD(m.lParam), e.x) << "message " << e.message;
        EXPECT_EQ((SHORT)HIWORD(m.lParam), e.y) << "message " << e.message;
        at++;
    }

    // Captured, the pointer left of and above the client area gives negative positions.
    clearLog();
    fakeButton(1, true);
    pump();
    SetCapture(window);
    ASSERT_EQ(GetCapture(), window);
    fakeMotion(CLIENT_X - 25, CLIENT_Y - 7);
    // Taken again (every press does it) before the motion was read: one unbroken capture, and
    // events are judged by the capture held when the server made them, not when read.
    SetCapture(window);
    fakeButton(1, false);
    ReleaseCapture();
    pump();
    int move = findLogged(WM_MOUSEMOVE);
    ASSERT_GE(move, 0);
    EXPECT_EQ((SHORT)LOWORD(messageLog.entries[move].lParam), -25);
    EXPECT_EQ((SHORT)HIWORD(messageLog.entries[move].lParam), -7);
    int up = findLogged(WM_LBUTTONUP);
    ASSERT_GE(up, 0) << "the release outside the window still came to it";
    EXPECT_EQ((SHORT)LOWORD(messageLog.entries[up].lParam), -25);
}

TEST_F(InputTest, WithoutCaptureNothingOutsideTheClientAreaComes) {
    // The server keeps sending a pressed button's events to the window (its implicit grab);
    // a Win32 window that did not take the capture sees none from outside its client area.
    fakeMotion(CLIENT_X + 10, CLIENT_Y + 10);
    fakeButton(1, true);
    fakeMotion(CLIENT_X + 20, CLIENT_Y + 15);
    fakeMotion(CLIENT_X - 40, CLIENT_Y + 15);
    fakeMotion(CLIENT_X + 20, CLIENT_Y + 300);
    fakeButton(1, false);
    fakeMotion(CLIENT_X + 5, CLIENT_Y + 6);
    pump();
    ASSERT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(countLogged(WM_LBUTTONDOWN), 1);
    EXPECT_EQ(countLogged(WM_LBUTTONUP), 0) << "released outside: another window's";
    for (int i = 0; i < messageLog.count; i++) {
        const LoggedMessage& m = messageLog.entries[i];
        if (m.message >= WM_MOUSEMOVE && m.message <= WM_MBUTTONUP) {
            SHORT x = (SHORT)LOWORD(m.lParam);
            SHORT y = (SHORT)HIWORD(m.lParam);
            EXPECT_TRUE(x >= 0 && x < 300 && y >= 0 && y < 200)
                << "message " << m.message << " at " << x << ", " << y;
        }
    }
    int last = -1;
    for (int i = 0; i < messageLog.count; i++) {
        last = messageLog.entries[i].message == WM_MOUSEMOVE ? i : last;
    }
    ASSERT_GE(last, 0);
    EXPECT_EQ(messageLog.entries[last].lParam, MAKELPARAM(5, 6));
    EXPECT_EQ(messageLog.entries[last].wParam, 0u) << "the button is up again";
}

TEST_F(InputTest, KeyAndButtonStormsNeitherCrashNorStall) {
    SHORT left = GetKeyState(VK_LEFT);
    fakeMotion(CLIENT_X + 5, CLIENT_Y + 5);
    for (int i = 0; i < 400; i++) {
        tapKey(i % 2 ? XK_a : XK_Left);
        fakeButton(1, true);
        fakeButton(1, false);
    }
    pump();
    // Far more than the queue holds at once: delayed, none lost.
    EXPECT_EQ(countLogged(WM_KEYDOWN), 400);
    EXPECT_EQ(countLogged(WM_KEYUP), 400);
    EXPECT_EQ(countLogged(WM_LBUTTONDOWN), 400);
    EXPECT_EQ(GetKeyState(VK_LEFT), left) << "up, and flipped an even number of times";
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

// X sends the release and the press of a repeat with the same time, or a millisecond or two
// apart; a pair further apart is a real release and a new press.
TEST_F(InputTest, WithoutDetectableRepeatReleasePressPairsAreFolded) {
    bool saved = x11.detectableRepeat;
    x11.detectableRepeat = false;
    Display* display = x11Display();
    // press, then a release and a press `gap` ms apart, then the release; the key-ups seen.
    auto keyUpsWithGap = [&](Time gap) {
        clearLog();
        XEvent events[4];
        std::memset(events, 0, sizeof(events));
        int types[4] = {KeyPress, KeyRelease, KeyPress, KeyRelease};
        Time times[4] = {1000, 1500, 1500 + gap, 1700};
        for (int i = 0; i < 4; i++) {
            XKeyEvent& key = events[i].xkey;
            key.type = types[i];
            key.display = display;
            key.window = x11WindowOf(window);
            key.keycode = XKeysymToKeycode(display, XK_Up);
            key.time = times[i];
        }
        for (int i = 3; i >= 0; i--) {
            XPutBackEvent(display, &events[i]);
        }
        pump();
        EXPECT_EQ(countLogged(WM_KEYDOWN), 2) << "gap " << gap;
        return countLogged(WM_KEYUP);
    };
    EXPECT_EQ(keyUpsWithGap(0), 1) << "the repeat's release was not folded";
    EXPECT_GT(findLogged(WM_KEYUP), findLogged(WM_KEYDOWN, findLogged(WM_KEYDOWN) + 1));
    EXPECT_EQ(keyUpsWithGap(2), 1) << "a release 2 ms before the press is a repeat's";
    EXPECT_EQ(keyUpsWithGap(40), 2) << "a release 40 ms before the press is a real one";
    x11.detectableRepeat = saved;
}

// Handled as the kit does it: capture taken on a press, released on the release. A click storm
// must not cost the frame rate a blocking wait per event, yet once ReleaseCapture has returned
// no other client may find the pointer held.
TEST_F(InputTest, ClicksCostAtMostOneRoundTripAndLeaveThePointerFree) {
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    int before = pollCalls;
    XSync(x11Display(), False);
    int perRoundTrip = pollCalls - before;
    ASSERT_GE(perRoundTrip, 1) << "the count does not see Xlib wait for the server";
    fakeMotion(CLIENT_X + 20, CLIENT_Y + 20);
    pump();

    const int CLICKS = 20;
    int waits = 0;
    for (int i = 0; i < CLICKS; i++) {
        // Every other click is handled while the button is still held; the rest arrive with
        // their release already queued behind the press.
        bool held = i % 2 == 1;
        fakeButton(1, true);
        if (!held) {
            fakeButton(1, false);
        }
        MSG msg;
        ASSERT_TRUE(take(WM_LBUTTONDOWN, &msg)) << "click " << i;
        int at = pollCalls;
        SetCapture(msg.hwnd);
        waits += pollCalls - at;
        ASSERT_EQ(GetCapture(), window);
        if (held) {
            EXPECT_EQ(otherGrab(other), AlreadyGrabbed) << "captured, yet the pointer was free";
            fakeButton(1, false);
        }
        ASSERT_TRUE(take(WM_LBUTTONUP, &msg)) << "click " << i;
        at = pollCalls;
        ReleaseCapture();
        waits += pollCalls - at;
        EXPECT_EQ(GetCapture(), nullptr);
        EXPECT_EQ(otherGrab(other), GrabSuccess) << "click " << i << ": still held after release";
    }
    double perClick = (double)waits / perRoundTrip / CLICKS;
    std::printf("round trips per click (capture and release): %.2f\n", perClick);
    RecordProperty("roundTripsPerClick", std::to_string(perClick));
    EXPECT_LE(perClick, 1.0);

    // A release while the button is still down must end the server's grab there and then.
    fakeButton(1, true);
    MSG msg;
    ASSERT_TRUE(take(WM_LBUTTONDOWN, &msg));
    SetCapture(window);
    ReleaseCapture();
    EXPECT_EQ(otherGrab(other), GrabSuccess) << "still held with the button down";
    fakeButton(1, false);
    pump();

    // Another button's click while the first is held ends no grab: the server's lasts until
    // the last button is up, so releasing capture on the right button's release must end it.
    fakeButton(1, true);
    ASSERT_TRUE(take(WM_LBUTTONDOWN, &msg));
    SetCapture(window);
    fakeButton(3, true);
    fakeButton(3, false);
    ASSERT_TRUE(take(WM_RBUTTONDOWN, &msg));
    SetCapture(window);
    ASSERT_TRUE(take(WM_RBUTTONUP, &msg));
    ReleaseCapture();
    EXPECT_EQ(otherGrab(other), GrabSuccess) << "still held with the left button down";
    fakeButton(1, false);
    pump();
    XCloseDisplay(other);
}

TEST_F(InputTest, CaptureWithoutTheServersOwnGrabStillHoldsThePointer) {
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    fakeMotion(CLIENT_X + 20, CLIENT_Y + 20);
    pump();
    fakeButton(1, true);
    fakeButton(1, false);
    MSG msg;
    ASSERT_TRUE(take(WM_LBUTTONDOWN, &msg));
    SetCapture(window);
    ASSERT_TRUE(take(WM_LBUTTONUP, &msg));
    pump(); // the program looks at its queue again, capture still held
    EXPECT_EQ(GetCapture(), window);
    EXPECT_EQ(otherGrab(other), AlreadyGrabbed);
    clearLog();
    fakeMotion(CLIENT_X - 30, CLIENT_Y - 10);
    pump();
    int move = findLogged(WM_MOUSEMOVE);
    ASSERT_GE(move, 0) << "motion outside the window did not reach it";
    EXPECT_EQ((SHORT)LOWORD(messageLog.entries[move].lParam), -30);
    EXPECT_EQ((SHORT)HIWORD(messageLog.entries[move].lParam), -10);
    ReleaseCapture();
    EXPECT_EQ(otherGrab(other), GrabSuccess);

    // A press sent by another client started no grab on the server: capture taken while it is
    // handled must be a grab of our own.
    XEvent event;
    std::memset(&event, 0, sizeof(event));
    event.xbutton.type = ButtonPress;
    event.xbutton.window = x11WindowOf(window);
    event.xbutton.root = DefaultRootWindow(other);
    event.xbutton.button = Button1;
    event.xbutton.same_screen = True;
    XSendEvent(other, x11WindowOf(window), False, ButtonPressMask, &event);
    XSync(other, False);
    ASSERT_TRUE(take(WM_LBUTTONDOWN, &msg));
    SetCapture(window);
    EXPECT_EQ(otherGrab(other), AlreadyGrabbed) << "captured on a synthetic press, pointer free";
    ReleaseCapture();
    EXPECT_EQ(otherGrab(other), GrabSuccess);
    XCloseDisplay(other);
}

} // namespace
