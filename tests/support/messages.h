// Windows of the layer in tests, on any backend: the one window procedure that logs what reaches
// it, its class and shown windows of it, and the pumps that handle messages until the display has
// nothing more or until a condition holds.
#pragma once

#include "platform/emulated/backend.h"
#include "tests/support/support.h"

#include <cstring>

struct LoggedMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

const int LOG_SIZE = 4096;

struct MessageLog {
    LoggedMessage entries[LOG_SIZE];
    int count;
    // WM_CLOSE handled and answered 0, so the test decides when the window goes.
    bool swallowClose;
    // The left button takes the capture while it is held, as the kit's procedure does.
    bool captureDrags;
};

inline MessageLog messageLog;

inline LRESULT CALLBACK loggingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (messageLog.count < LOG_SIZE) {
        messageLog.entries[messageLog.count++] = LoggedMessage{hwnd, message, wParam, lParam};
    }
    if (messageLog.captureDrags && message == WM_LBUTTONDOWN) {
        SetCapture(hwnd);
    } else if (messageLog.captureDrags && message == WM_LBUTTONUP) {
        ReleaseCapture();
    }
    if (message == WM_CLOSE && messageLog.swallowClose) {
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

inline void clearLog(void) {
    messageLog.count = 0;
}

const WPARAM ANY_WPARAM = ~(WPARAM)0;

// Index of the first logged message of this kind (and wParam, unless any) at or after `from`, or
// -1; the last one of a window; and how many there are from `from` on.
inline int findLogged(UINT message, int from = 0, WPARAM wParam = ANY_WPARAM) {
    for (int i = from; i < messageLog.count; i++) {
        const LoggedMessage& m = messageLog.entries[i];
        if (m.message == message && (wParam == ANY_WPARAM || m.wParam == wParam)) {
            return i;
        }
    }
    return -1;
}

inline int findLoggedFor(HWND hwnd, UINT message) {
    for (int i = 0; i < messageLog.count; i++) {
        if (messageLog.entries[i].hwnd == hwnd && messageLog.entries[i].message == message) {
            return i;
        }
    }
    return -1;
}

inline int lastLoggedFor(HWND hwnd, UINT message) {
    for (int i = messageLog.count - 1; i >= 0; i--) {
        if (messageLog.entries[i].hwnd == hwnd && messageLog.entries[i].message == message) {
            return i;
        }
    }
    return -1;
}

inline int countLogged(UINT message, int from = 0, WPARAM wParam = ANY_WPARAM) {
    int count = 0;
    for (int i = findLogged(message, from, wParam); i >= 0;
         i = findLogged(message, i + 1, wParam)) {
        count++;
    }
    return count;
}

// Registers a class of this procedure (the logger unless another is given).
inline ATOM registerTestClass(const char* name, WNDPROC proc = loggingProc) {
    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof(windowClass));
    windowClass.lpfnWndProc = proc;
    windowClass.lpszClassName = name;
    return RegisterClassA(&windowClass);
}

// What a display adds to the pumps and to a new window (the X11 tests fill it in): a round trip,
// after which everything the display made so far has arrived; and the focus, which no window
// manager gives on Xvfb.
struct TestDisplay {
    void (*roundTrip)(void);
    void (*focus)(HWND window);
};
inline TestDisplay testDisplay = {nullptr, nullptr};

// A shown window, with the focus, whose client area is (x, y, width, height) on the screen.
inline HWND openWindow(const char* className, int x, int y, int width, int height) {
    RECT rect = {x, y, x + width, y + height};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowExA(0, className, "test", WS_OVERLAPPEDWINDOW, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                  nullptr, nullptr);
    if (window != nullptr) {
        ShowWindow(window, SW_SHOWDEFAULT);
        if (testDisplay.focus != nullptr) {
            testDisplay.focus(window);
        }
    }
    return window;
}

// Takes and handles every message queued now (a quit is taken, not handled); how many there were.
inline int handleQueued(void) {
    int handled = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        handled++;
    }
    return handled;
}

// Handles every message until the display has nothing more: with a round trip, until one brings
// nothing new (the reply comes after every event that earlier requests caused, so nothing is
// still on its way then). The deadline only bounds a layer that keeps making work for itself.
inline void pump(double seconds = 10) {
    double deadline = secondsNow() + seconds;
    do {
        if (testDisplay.roundTrip != nullptr) {
            testDisplay.roundTrip();
        }
    } while (handleQueued() > 0 && secondsNow() < deadline);
}

// Handles messages until `condition()` holds, waiting on the display in between; false after
// `seconds`.
template <typename Condition> bool pumpUntil(Condition condition, double seconds, int pollMs = 10) {
    return waitUntil(
        [&] {
            handleQueued();
            return condition();
        },
        seconds, [](int ms) { platformBackend()->waitForEvents(ms); }, pollMs);
}

// Pumps until a message of this kind (and wParam, unless any) is logged at or after `from`; its
// index, or -1 after `seconds`.
inline int waitForLogged(UINT message, int from, double seconds, WPARAM wParam = ANY_WPARAM) {
    int found = -1;
    pumpUntil([&] { return (found = findLogged(message, from, wParam)) >= 0; }, seconds);
    return found;
}
