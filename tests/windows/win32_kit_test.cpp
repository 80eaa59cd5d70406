// The kit on the real Win32 API: a kit window opened as the game opens it, input injected with
// SendInput, and what reaches the bindings, the reshape handler and the loop checked.
#include "kit/core.h"
#include "kit/kit.h"
#include "platform/gl.h"
#include "platform/testctl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const DWORD WAIT_MS = 5000;

// What the bindings saw, in order.
int32_t keysSeen[64];
int32_t keyCount = 0;
int32_t lastModifiers = -1;
MouseEvent mouseSeen[32];
int32_t mouseCount = 0;
HWND captureAtDown = nullptr;
int32_t reshapeWidth = -1;
int32_t reshapeHeight = -1;
int32_t reshapeCount = 0;

template <int32_t code> void recordKey(void) {
    if (keyCount < 64) {
        keysSeen[keyCount++] = code;
    }
}

void recordMouse(MouseEvent* event) {
    if (event->kind == KIT_MOUSE_DOWN) {
        captureAtDown = GetCapture();
    }
    if (mouseCount < 32) {
        mouseSeen[mouseCount++] = *event;
    }
}

int recordKeySlot(int32_t code, int32_t modifiers) {
    if (keyCount < 64) {
        keysSeen[keyCount++] = code;
    }
    lastModifiers = modifiers;
    return 0;
}

void recordReshape(int32_t width, int32_t height) {
    reshapeWidth = width;
    reshapeHeight = height;
    reshapeCount++;
}

void drawFrame(void) {
    glClear(GL_COLOR_BUFFER_BIT);
    kitSwapBuffers();
}

// Handles every waiting message, as the kit's loop would, until `done` holds or time runs out.
bool pumpUntil(bool (*done)(void)) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done()) {
            return true;
        }
        if (GetTickCount() - start > WAIT_MS) {
            return false;
        }
        Sleep(5);
    }
}

void pumpFor(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        Sleep(5);
    }
}

void sendKey(WORD key, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = (WORD)MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (key >= VK_PRIOR && key <= VK_DOWN) {
        input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    }
    SendInput(1, &input, sizeof input);
}

void tapKey(WORD key) {
    sendKey(key, false);
    sendKey(key, true);
}

void sendMouse(DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

// Puts the pointer on a client point and waits until the system reports it there.
bool moveToClient(int x, int y) {
    POINT point = {x, y};
    ClientToScreen(kitGetWindow(), &point);
    if (!SetCursorPos(point.x, point.y)) {
        return false;
    }
    static POINT target;
    target = point;
    return pumpUntil([] {
        POINT now;
        return GetCursorPos(&now) && now.x == target.x && now.y == target.y;
    });
}

POINT clientCursor(void) {
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    ScreenToClient(kitGetWindow(), &cursor);
    return cursor;
}

// Every test opens the window the way the game does, in a fresh kit state.
class Win32Kit : public ::testing::Test {
  protected:
    void SetUp() override {
        kitResetState();
        keyCount = 0;
        lastModifiers = -1;
        mouseCount = 0;
        captureAtDown = nullptr;
        reshapeWidth = reshapeHeight = -1;
        reshapeCount = 0;
        // The kit's reports are kept, to say why a window did not open.
        testRecordMessageBoxes(1);
        testClearMessageBoxes();
        kitSetWindowRect(-10, -8, 1000, 750);
        kitSetDisplayMode(KIT_DOUBLE | KIT_DEPTH16);
        ASSERT_EQ(kitOpenWindow("Wrendle on Win32"), 1) << testMessageBoxText(0);
        ASSERT_NE(kitGetWindow(), nullptr);
        kitSetDisplayHandler(drawFrame);
        SetForegroundWindow(kitGetWindow());
        // Let the window settle: activation, focus and the first paint.
        EXPECT_TRUE(pumpUntil([] { return GetFocus() == kitGetWindow(); }));
    }

    void TearDown() override {
        kitClose();
        pumpFor(50);
    }
};

TEST_F(Win32Kit, OpensTheGamesWindowWithACurrentContext) {
    HWND window = kitGetWindow();
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right - client.left, 1000);
    EXPECT_EQ(client.bottom - client.top, 750);

    // The kit's idea of the client origin is where the system put the client area.
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(kit.windowRect.x, origin.x);
    EXPECT_EQ(kit.windowRect.y, origin.y);

    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    EXPECT_STREQ(className, "tkLibWClass");
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & 0x06CF0000, 0x06CF0000);

    EXPECT_EQ(wglGetCurrentContext(), kitGetRenderContext());
    EXPECT_EQ(wglGetCurrentDC(), kitGetDeviceContext());
    PIXELFORMATDESCRIPTOR format;
    ASSERT_GT(kitGetPixelFormat(kitGetDeviceContext(), &format), 0);
    EXPECT_EQ(format.dwFlags & (PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER),
              (DWORD)(PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER));
    EXPECT_EQ(format.iPixelType, PFD_TYPE_RGBA);
    EXPECT_GT(format.cDepthBits, 0);
}

TEST_F(Win32Kit, KeysReachTheirBindingsAsKitCodes) {
    kitBindKey(KIT_KEY_LEFT, recordKey<KIT_KEY_LEFT>);
    kitBindKey(KIT_KEY_UP, recordKey<KIT_KEY_UP>);
    kitBindKey(KIT_KEY_RIGHT, recordKey<KIT_KEY_RIGHT>);
    kitBindKey(KIT_KEY_DOWN, recordKey<KIT_KEY_DOWN>);
    kitBindKey(KIT_KEY_RETURN, recordKey<KIT_KEY_RETURN>);
    kitBindKey(KIT_KEY_SPACE, recordKey<KIT_KEY_SPACE>);
    kitBindKey('n', recordKey<'n'>);
    kitBindKey('N', recordKey<'N'>);
    kitBindKey('7', recordKey<'7'>);

    tapKey(VK_LEFT);
    tapKey(VK_UP);
    tapKey(VK_RIGHT);
    tapKey(VK_DOWN);
    tapKey(VK_RETURN); // one key code: the character that Return also makes is not a kit key
    tapKey(VK_SPACE);
    tapKey(VK_F1); // no kit key
    tapKey('N');
    sendKey(VK_SHIFT, false);
    tapKey('N');
    sendKey(VK_SHIFT, true);
    tapKey('7');

    const int32_t expected[] = {37, 38, 39, 40, 13, 32, 'n', 'N', '7'};
    ASSERT_TRUE(pumpUntil([] { return keyCount >= 9; })) << "keys seen: " << keyCount;
    pumpFor(100); // nothing more may arrive
    ASSERT_EQ(keyCount, 9);
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(keysSeen[i], expected[i]) << "key " << i;
    }
}

TEST_F(Win32Kit, ShiftReachesTheKeySlotAsAModifier) {
    kitSetKeyHandler(recordKeySlot);
    sendKey(VK_SHIFT, false);
    tapKey('N');
    ASSERT_TRUE(pumpUntil([] { return keyCount >= 1; }));
    sendKey(VK_SHIFT, true);
    EXPECT_EQ(keysSeen[0], 'N');
    EXPECT_NE(lastModifiers & KIT_SHIFT, 0);
    pumpFor(50);
}

TEST_F(Win32Kit, ButtonsReachTheirBindingsInClientPixelsWithCapture) {
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN, recordMouse);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_MOVE, recordMouse);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_UP, recordMouse);
    kitBindMouse(KIT_RIGHT_BUTTON, KIT_MOUSE_DOWN, recordMouse);
    kitBindMouse(KIT_RIGHT_BUTTON, KIT_MOUSE_UP, recordMouse);

    ASSERT_TRUE(moveToClient(200, 100));
    pumpFor(50);
    mouseCount = 0; // a move with no button held reaches no left-button binding anyway
    POINT down = clientCursor();
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(pumpUntil([] { return mouseCount >= 1; }));
    EXPECT_EQ(GetCapture(), kitGetWindow());
    EXPECT_EQ(captureAtDown, kitGetWindow());

    ASSERT_TRUE(moveToClient(260, 140));
    POINT moved = clientCursor();
    sendMouse(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(pumpUntil(
        [] { return mouseCount >= 1 && mouseSeen[mouseCount - 1].kind == KIT_MOUSE_UP; }));
    EXPECT_EQ(GetCapture(), nullptr);

    const MouseEvent& first = mouseSeen[0];
    EXPECT_EQ(first.kind, KIT_MOUSE_DOWN);
    EXPECT_EQ(first.button, KIT_LEFT_BUTTON);
    EXPECT_EQ(first.x, down.x);
    EXPECT_EQ(first.y, down.y);
    EXPECT_EQ(first.reserved, 0);
    ASSERT_GE(mouseCount, 3) << "a move with the button held reaches the move binding";
    EXPECT_EQ(mouseSeen[mouseCount - 2].kind, KIT_MOUSE_MOVE);
    EXPECT_EQ(mouseSeen[mouseCount - 2].x, moved.x);
    EXPECT_EQ(mouseSeen[mouseCount - 2].y, moved.y);
    const MouseEvent& last = mouseSeen[mouseCount - 1];
    EXPECT_EQ(last.button, KIT_LEFT_BUTTON);
    EXPECT_EQ(last.x, moved.x);
    EXPECT_EQ(last.y, moved.y);

    // The right button: down and up, and no left-button binding runs for it.
    mouseCount = 0;
    sendMouse(MOUSEEVENTF_RIGHTDOWN);
    sendMouse(MOUSEEVENTF_RIGHTUP);
    ASSERT_TRUE(pumpUntil([] { return mouseCount >= 2; }));
    pumpFor(50);
    ASSERT_EQ(mouseCount, 2);
    EXPECT_EQ(mouseSeen[0].kind, KIT_MOUSE_DOWN);
    EXPECT_EQ(mouseSeen[0].button, KIT_RIGHT_BUTTON);
    EXPECT_EQ(mouseSeen[1].kind, KIT_MOUSE_UP);
    EXPECT_EQ(mouseSeen[1].button, KIT_RIGHT_BUTTON);
}

TEST_F(Win32Kit, MouseLocationFollowsTheClientOrigin) {
    ASSERT_TRUE(moveToClient(321, 123));
    int32_t x = -1;
    int32_t y = -1;
    kitGetMouseLocation(&x, &y);
    EXPECT_EQ(x, 321);
    EXPECT_EQ(y, 123);

    // After a move of the window the origin the kit keeps must follow.
    RECT outer;
    GetWindowRect(kitGetWindow(), &outer);
    MoveWindow(kitGetWindow(), 40, 30, outer.right - outer.left, outer.bottom - outer.top, TRUE);
    pumpFor(100);
    ASSERT_TRUE(moveToClient(50, 60));
    kitGetMouseLocation(&x, &y);
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 60);
}

TEST_F(Win32Kit, AResizeReachesTheReshapeHandler) {
    kitSetReshapeHandler(recordReshape);
    RECT outer = {0, 0, 640, 480};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    MoveWindow(kitGetWindow(), 20, 20, outer.right - outer.left, outer.bottom - outer.top, TRUE);
    ASSERT_TRUE(pumpUntil([] { return reshapeWidth == 640 && reshapeHeight == 480; }))
        << "last reshape " << reshapeWidth << "x" << reshapeHeight;
    EXPECT_EQ(kit.windowRect.width, 640);
    EXPECT_EQ(kit.windowRect.height, 480);
}

// The loop runs until the close box destroys the window; the tear-down leaves nothing behind.
DWORD closeStart = 0;
int32_t idleCalls = 0;
void closeFromIdle(void) {
    if (idleCalls++ == 0) {
        closeStart = GetTickCount();
        PostMessageA(kitGetWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (GetTickCount() - closeStart > WAIT_MS && kitGetWindow() != nullptr) {
        ADD_FAILURE() << "the close box did not end the loop";
        kitClose();
    }
}

TEST_F(Win32Kit, TheCloseBoxEndsTheLoopAndTearsDown) {
    HWND window = kitGetWindow();
    idleCalls = 0;
    kitSetIdleHandler(closeFromIdle);
    kitRun(drawFrame);
    EXPECT_GE(idleCalls, 1);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(kitGetWindow(), nullptr);
    EXPECT_EQ(kitGetDeviceContext(), nullptr);
    EXPECT_EQ(kitGetRenderContext(), nullptr);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(kit.idleHandler, nullptr);
    EXPECT_EQ(kit.keyHandler, nullptr);
}

// A fresh process, so that the wide open is the one that registers the class (RegisterClassW):
// its window then takes its messages in wide form. Exit code 0 when the whole title arrived.
void openWideAndCheckTitle(void) {
    kitResetState();
    kitSetMessageBoxes(0);
    kitSetWindowRect(40, 40, 320, 240);
    kitSetDisplayMode(KIT_DOUBLE | KIT_DEPTH16);
    // "Wrendle" with a Greek omega and a CJK character: beyond any narrow code page.
    const WCHAR title[] = {'W', 'r', 0x03C9, 'n', 'd', 'l', 'e', ' ', 0x86C7, 0};
    if (kitOpenWindowWide(title) != 1) {
        ExitProcess(3);
    }
    WCHAR shown[32] = {};
    GetWindowTextW(kitGetWindow(), shown, 32);
    RECT client = {0, 0, 0, 0};
    GetClientRect(kitGetWindow(), &client);
    bool whole = std::wstring(shown) == std::wstring(title);
    kitClose();
    ExitProcess(!whole ? 4 : client.right != 320 || client.bottom != 240 ? 5 : 0);
}

TEST(Win32KitWide, AWideTitleReachesTheWindowWhole) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(openWideAndCheckTitle(), ::testing::ExitedWithCode(0), "")
        << "3: the window did not open, 4: the title was cut or changed, 5: wrong client size";
}

// Escape must end the process from inside the loop; a key that went astray must not hang.
void giveUp(void) {
    static DWORD start = GetTickCount();
    if (GetTickCount() - start > WAIT_MS) {
        ExitProcess(5);
    }
}

void pressEscapeAndRun(void) {
    kitResetState();
    kitSetMessageBoxes(0);
    kitSetWindowRect(-10, -8, 1000, 750);
    kitSetDisplayMode(KIT_DOUBLE | KIT_DEPTH16);
    if (kitOpenWindow("Wrendle on Win32") != 1) {
        ExitProcess(3);
    }
    SetForegroundWindow(kitGetWindow());
    tapKey(VK_ESCAPE);
    kitSetIdleHandler(giveUp);
    kitRun(drawFrame);
    ExitProcess(4); // the loop must not return: Escape ends the process
}

TEST(Win32KitEscape, EscapeEndsTheProcessWithCodeZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(pressEscapeAndRun(), ::testing::ExitedWithCode(0), "");
}

} // namespace
