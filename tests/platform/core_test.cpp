// The emulated Win32 core on the headless backend, in-process: the queue's retrieval order,
// filters, broadcasts and bound; the messages sent inside the window calls; minimising,
// restoring and MoveWindow; the key state and capture bookkeeping; recorded message boxes.
#include <gtest/gtest.h>

#include "platform/testctl.h"
#include "tests/support/inject.h"
#include "tests/support/messages.h"

#include <X11/keysym.h>

#include <string>

namespace {

const char* const CLASS_NAME = "platformWindowTest";

// A window of the logging class, for the cases that want one, on the headless backend.
class CoreTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(injectOpen(nullptr));
        ASSERT_NE(platformBackend(), nullptr);
        ASSERT_STREQ(platformBackend()->name, "headless");
        static const ATOM registered = registerTestClass(CLASS_NAME);
        ASSERT_NE(registered, 0);
    }
    void open(const char* className, int x, int y, int width, int height) {
        window = openWindow(className, x, y, width, height);
        ASSERT_NE(window, nullptr);
        injectTarget(window);
        pump();
        clearLog();
    }
    void TearDown() override {
        if (window != nullptr) {
            DestroyWindow(window);
        }
        injectReleaseAll();
        // What a case left (a quit it posted) must not leak into the next.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND window = nullptr;
};

// --- The queue ---------------------------------------------------------------------------------

class QueueTest : public CoreTest {
    void SetUp() override { open(CLASS_NAME, 40, 60, 200, 150); }
};

TEST_F(QueueTest, PostedThenQuitThenInputThenPaint) {
    // All four kinds are waiting before the first look at the queue. Win32 (and Wine) hand out
    // a pending quit once no posted message is left, ahead of input and paint.
    PostQuitMessage(5);
    injectTap(XK_Left);
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

// --- Windows -----------------------------------------------------------------------------------

class WindowTest : public CoreTest {
    void SetUp() override {
        clearLog();
        messageLog.swallowClose = false;
        testClearFaults();
    }
};

TEST_F(WindowTest, ClassNamesRegisterOnceAcrossNarrowAndWideCalls) {
    EXPECT_EQ(registerTestClass(CLASS_NAME), 0);
    EXPECT_EQ(registerTestClass("PLATFORMWINDOWTEST"), 0) << "class names ignore case";
    WNDCLASSW wide;
    std::memset(&wide, 0, sizeof(wide));
    wide.lpfnWndProc = loggingProc;
    wide.lpszClassName = L"platformWindowTest";
    EXPECT_EQ(RegisterClassW(&wide), 0);
    wide.lpszClassName = L"wideOnlyClass";
    EXPECT_NE(RegisterClassW(&wide), 0);
    EXPECT_EQ(registerTestClass("wideOnlyClass"), 0);
    EXPECT_EQ(CreateWindowExA(0, "neverRegistered", "x", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              nullptr, nullptr, nullptr, nullptr),
              nullptr);
}

TEST_F(WindowTest, CreateShowAndDestroySendTheirMessagesBeforeReturning) {
    HWND window = CreateWindowExA(0, CLASS_NAME, "sync", WS_OVERLAPPEDWINDOW, 50, 50, 208, 130,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    int ncCreate = findLogged(WM_NCCREATE);
    ASSERT_GE(ncCreate, 0);
    EXPECT_LT(ncCreate, findLogged(WM_CREATE));
    // An overlapped window is sized and placed only when it is first shown.
    EXPECT_EQ(countLogged(WM_SIZE), 0);
    EXPECT_EQ(countLogged(WM_MOVE), 0);

    clearLog();
    ShowWindow(window, SW_SHOWDEFAULT);
    int shown = findLogged(WM_SHOWWINDOW);
    int activate = findLogged(WM_ACTIVATE);
    int size = findLogged(WM_SIZE);
    int move = findLogged(WM_MOVE);
    ASSERT_GE(shown, 0);
    EXPECT_LT(shown, activate);
    EXPECT_LT(activate, size);
    EXPECT_LT(size, move);
    EXPECT_EQ(LOWORD(messageLog.entries[activate].wParam), WA_ACTIVE);
    EXPECT_EQ(messageLog.entries[size].lParam, MAKELPARAM(200, 100));
    EXPECT_EQ(countLogged(WM_SIZE), 1);
    EXPECT_EQ(countLogged(WM_MOVE), 1);
    EXPECT_EQ(GetFocus(), window);

    // Shown again, or hidden and shown: nothing has changed, so no size or move comes.
    clearLog();
    ShowWindow(window, SW_SHOW);
    ShowWindow(window, SW_HIDE);
    ShowWindow(window, SW_SHOWDEFAULT);
    EXPECT_EQ(countLogged(WM_SIZE), 0);
    EXPECT_EQ(countLogged(WM_MOVE), 0);
    EXPECT_EQ(countLogged(WM_SHOWWINDOW), 2);

    // Key events already queued when the window goes are dropped.
    injectTap(XK_a);
    clearLog();
    ASSERT_TRUE(DestroyWindow(window));
    int destroy = findLogged(WM_DESTROY);
    ASSERT_GE(destroy, 0);
    EXPECT_GT(findLogged(WM_NCDESTROY), destroy);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(GetDC(window), nullptr);
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    clearLog();
    pump();
    EXPECT_EQ(messageLog.count, 0);
}

TEST_F(WindowTest, PopupsAreSizedAtCreationAndAMinimisedFirstShowSizesOnce) {
    const DWORD popup = 0x80000000u; // WS_POPUP
    HWND window = CreateWindowExA(0, CLASS_NAME, "popup", popup, 30, 40, 120, 90, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    int size = findLogged(WM_SIZE);
    ASSERT_GE(size, 0);
    EXPECT_GT(size, findLogged(WM_CREATE));
    EXPECT_EQ(messageLog.entries[size].lParam, MAKELPARAM(120, 90));
    EXPECT_GT(findLogged(WM_MOVE), size);
    clearLog();
    ShowWindow(window, SW_SHOWDEFAULT);
    EXPECT_EQ(countLogged(WM_SIZE), 0) << "a popup was sized already";
    DestroyWindow(window);

    window = CreateWindowExA(0, CLASS_NAME, "minimised", WS_OVERLAPPEDWINDOW, 50, 50, 208, 130,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    clearLog();
    ShowWindow(window, SW_SHOWMINIMIZED);
    size = findLogged(WM_SIZE);
    ASSERT_EQ(countLogged(WM_SIZE), 1);
    EXPECT_EQ(messageLog.entries[size].wParam, (WPARAM)SIZE_MINIMIZED);
    // Parked off the screen first, then sized, as Win32 minimises.
    int move = findLogged(WM_MOVE);
    ASSERT_GE(move, 0);
    EXPECT_LT(move, size);
    EXPECT_EQ(messageLog.entries[move].lParam, MAKELPARAM((SHORT)-32000, (SHORT)-32000));
    clearLog();
    ShowWindow(window, SW_RESTORE);
    ShowWindow(window, SW_SHOW);
    ASSERT_EQ(countLogged(WM_SIZE), 1) << "only the restore sizes";
    EXPECT_EQ(messageLog.entries[findLogged(WM_SIZE)].lParam, MAKELPARAM(200, 100));
    EXPECT_EQ(countLogged(WM_MOVE), 1) << "the restore's origin, as on Win32";
    DestroyWindow(window);
}

// --- Window state --------------------------------------------------------------------------------

class StateTest : public CoreTest {
    void SetUp() override { open(CLASS_NAME, 60, 80, 240, 180); }
};

// The wParam of the window's last WM_ACTIVATE, or 0xffff when none came.
WPARAM lastActivation(HWND hwnd) {
    int at = lastLoggedFor(hwnd, WM_ACTIVATE);
    return at < 0 ? (WPARAM)0xffff : messageLog.entries[at].wParam;
}

TEST_F(StateTest, MinimiseGivesZeroSizeAndInactiveThenRestoreGivesTheRealSize) {
    ShowWindow(window, SW_MINIMIZE);
    int size = findLogged(WM_SIZE);
    ASSERT_GE(size, 0);
    EXPECT_EQ(messageLog.entries[size].wParam, (WPARAM)SIZE_MINIMIZED);
    EXPECT_EQ(messageLog.entries[size].lParam, 0);
    int activate = findLogged(WM_ACTIVATE);
    ASSERT_GT(activate, size);
    EXPECT_EQ(LOWORD(messageLog.entries[activate].wParam), WA_INACTIVE);
    EXPECT_EQ(HIWORD(messageLog.entries[activate].wParam), 1) << "the minimised flag";
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 0);
    EXPECT_EQ(client.bottom, 0);
    EXPECT_EQ(SetCapture(window), nullptr) << "no capture while minimised";

    pump();
    clearLog();
    ShowWindow(window, SW_RESTORE);
    activate = findLogged(WM_ACTIVATE);
    size = findLogged(WM_SIZE);
    ASSERT_GE(activate, 0);
    ASSERT_GT(size, activate);
    EXPECT_EQ(LOWORD(messageLog.entries[activate].wParam), WA_ACTIVE);
    EXPECT_EQ(messageLog.entries[size].wParam, (WPARAM)SIZE_RESTORED);
    EXPECT_EQ(messageLog.entries[size].lParam, MAKELPARAM(240, 180));
    EXPECT_EQ(lastActivation(window), MAKEWPARAM(WA_ACTIVE, 0)) << "restored: not minimised";
    EXPECT_GT(lastLoggedFor(window, WM_ACTIVATE), size);
    int move = findLogged(WM_MOVE);
    ASSERT_GE(move, 0) << "the restore tells the origin again";
    EXPECT_LT(move, size);
    EXPECT_EQ(messageLog.entries[move].lParam, MAKELPARAM(60, 80));
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 240);
    pump();
    EXPECT_GE(countLogged(WM_PAINT), 1) << "a restored window repaints";
    EXPECT_EQ(countLogged(WM_SIZE), 1) << "the server's events repeat nothing";
}

TEST_F(StateTest, MoveWindowGivesTheMoveFirstAndPaintsOnlyANewSize) {
    // MoveWindow tells the new origin and then the new size, synchronously, as Win32 does.
    RECT outer = {100, 110, 100 + 180, 110 + 120};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    ASSERT_TRUE(MoveWindow(window, outer.left, outer.top, outer.right - outer.left,
                           outer.bottom - outer.top, TRUE));
    int move = findLogged(WM_MOVE);
    int size = findLogged(WM_SIZE);
    ASSERT_GE(move, 0);
    ASSERT_GE(size, 0);
    EXPECT_LT(move, size);
    pump();
    EXPECT_EQ(countLogged(WM_PAINT), 1) << "a new size repaints";

    // A plain move exposes nothing: the contents move with the window.
    clearLog();
    ASSERT_TRUE(MoveWindow(window, outer.left + 30, outer.top + 20, outer.right - outer.left,
                           outer.bottom - outer.top, TRUE));
    ASSERT_EQ(countLogged(WM_MOVE), 1);
    EXPECT_EQ(countLogged(WM_SIZE), 0);
    pump();
    EXPECT_EQ(countLogged(WM_PAINT), 0) << "nothing changed in the client area";
}

// --- Input bookkeeping ---------------------------------------------------------------------------

const int CLIENT_X = 100;
const int CLIENT_Y = 120;

class InputTest : public CoreTest {
    void SetUp() override { open(CLASS_NAME, CLIENT_X, CLIENT_Y, 300, 200); }
};

LRESULT CALLBACK modifierProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
SHORT shiftSeen[8];
SHORT controlSeen[8];
int modifierCount = 0;

LRESULT CALLBACK modifierProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_LEFT && modifierCount < 8) {
        shiftSeen[modifierCount] = GetKeyState(VK_SHIFT);
        controlSeen[modifierCount] = GetKeyState(VK_CONTROL);
        modifierCount++;
    }
    return loggingProc(hwnd, message, wParam, lParam);
}

TEST_F(InputTest, KeyStateFollowsTheMessagesTaken) {
    ASSERT_NE(registerTestClass("modifierClass", modifierProc), 0);
    DestroyWindow(window);
    open("modifierClass", CLIENT_X, CLIENT_Y, 300, 200);
    modifierCount = 0;
    // Every event is read before the first is handled; the state still goes message by message.
    injectTap(XK_Left);
    injectKey(XK_Shift_L, true);
    injectTap(XK_Left);
    injectKey(XK_Control_R, true);
    injectTap(XK_Left);
    injectKey(XK_Shift_L, false);
    injectKey(XK_Control_R, false);
    injectTap(XK_Left);
    pump();
    ASSERT_EQ(modifierCount, 4);
    EXPECT_EQ(shiftSeen[0] & 0x8000, 0);
    EXPECT_NE(shiftSeen[1] & 0x8000, 0);
    EXPECT_NE(shiftSeen[2] & 0x8000, 0);
    EXPECT_EQ(shiftSeen[3] & 0x8000, 0);
    EXPECT_EQ(controlSeen[1] & 0x8000, 0);
    EXPECT_NE(controlSeen[2] & 0x8000, 0);
    EXPECT_EQ(controlSeen[3] & 0x8000, 0);
    // The low bit flips with the press, in step with the messages too, and stays after release.
    EXPECT_NE(shiftSeen[0] & 1, shiftSeen[1] & 1);
    EXPECT_EQ(shiftSeen[1] & 1, shiftSeen[3] & 1);
    EXPECT_NE(controlSeen[1] & 1, controlSeen[2] & 1);
    EXPECT_EQ(controlSeen[2] & 1, controlSeen[3] & 1);
}

// SetCapture answers the window that had the capture and tells it, as Win32 does; setting it
// again on the same window tells nobody.
TEST_F(InputTest, CaptureMovesBetweenWindowsAndTheLoserIsTold) {
    HWND other = openWindow(CLASS_NAME, CLIENT_X + 320, CLIENT_Y, 100, 100);
    ASSERT_NE(other, nullptr);
    pump();
    clearLog();
    EXPECT_EQ(SetCapture(window), nullptr);
    EXPECT_EQ(SetCapture(window), nullptr);
    EXPECT_EQ(countLogged(WM_CAPTURECHANGED), 0);
    EXPECT_EQ(SetCapture(other), window);
    int told = findLoggedFor(window, WM_CAPTURECHANGED);
    ASSERT_GE(told, 0) << "the window that lost the capture was not told";
    EXPECT_EQ((HWND)messageLog.entries[told].lParam, other);
    EXPECT_EQ(GetCapture(), other);
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_GE(findLoggedFor(other, WM_CAPTURECHANGED), 0);
    DestroyWindow(other);
}

// --- Message boxes -------------------------------------------------------------------------------

class MessageBoxTest : public CoreTest {
    void SetUp() override { open(CLASS_NAME, 100, 120, 300, 200); }
};

const char* hookText = nullptr;
int hookCalls = 0;

void onBox(const char* text, const char* caption) {
    (void)caption;
    hookText = text;
    hookCalls++;
}

TEST_F(MessageBoxTest, RecordedBoxesShowNothingAndKeepTheirTexts) {
    testRecordMessageBoxes(1);
    testClearMessageBoxes();
    testSetMessageBoxHook(onBox);
    std::string longText(2000, 'x');
    // Each is answered at once; standard error keeps its line, as for every box.
    std::string written = standardErrorOf([&] {
        EXPECT_EQ(MessageBoxA(window, "create window failed\n", "Error", MB_OK), IDOK);
        EXPECT_EQ(MessageBoxA(nullptr, longText.c_str(), "Recorded caption", MB_OK), IDOK);
    });
    EXPECT_EQ(written, "platform_core_test: Error: create window failed\nplatform_core_test: "
                       "Recorded caption: " +
                           longText + "\n");
    ASSERT_EQ(testMessageBoxCount(), 2);
    EXPECT_STREQ(testMessageBoxText(0), "create window failed\n");
    EXPECT_STREQ(testMessageBoxCaption(0), "Error");
    EXPECT_LT(std::strlen(testMessageBoxText(1)), longText.size()) << "kept within its buffer";
    EXPECT_EQ(testMessageBoxText(2), nullptr);
    EXPECT_EQ(hookCalls, 2);
    EXPECT_EQ(hookText, longText.c_str());
    testClearMessageBoxes();
    EXPECT_EQ(testMessageBoxCount(), 0);
    testSetMessageBoxHook(nullptr);
    testRecordMessageBoxes(0);
}

} // namespace
