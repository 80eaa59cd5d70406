// Shared by the platform layer's tests: a window procedure that logs what reaches it, message
// pumping until the server has nothing more for us, and XTest input on the layer's own
// connection.
#pragma once

#include "platform/linux/x11/x11.h"
#include "tests/support/support.h"

#include <X11/keysym.h>

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
    // Messages that the default procedure should not see: handled and answered 0.
    bool swallowClose;
};

inline MessageLog messageLog;

inline LRESULT CALLBACK loggingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (messageLog.count < LOG_SIZE) {
        messageLog.entries[messageLog.count++] = LoggedMessage{hwnd, message, wParam, lParam};
    }
    if (message == WM_CLOSE && messageLog.swallowClose) {
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

inline void clearLog(void) {
    messageLog.count = 0;
}

// Index of the first logged message of this kind at or after `from`, or -1.
inline int findLogged(UINT message, int from = 0) {
    for (int i = from; i < messageLog.count; i++) {
        if (messageLog.entries[i].message == message) {
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

inline int countLogged(UINT message) {
    int count = 0;
    for (int i = 0; i < messageLog.count; i++) {
        count += messageLog.entries[i].message == message ? 1 : 0;
    }
    return count;
}

inline long nowMs(void) {
    return (long)(secondsNow() * 1000.0);
}

// Takes and handles every message queued now; returns how many there were.
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

// Handles every message until a round trip to the server brings nothing new: the reply comes
// after every event that earlier requests caused (ours, XTest's, and those of clients that
// synced), so nothing is still on its way then. The deadline only bounds a layer that keeps
// making work for itself.
inline void pump(double seconds = 10) {
    double deadline = secondsNow() + seconds;
    do {
        XSync(x11Display(), False);
    } while (handleQueued() > 0 && secondsNow() < deadline);
}

// Handles messages until `condition()` holds; false after `seconds`.
template <typename Condition> bool pumpUntil(Condition condition, double seconds) {
    return waitUntil(condition, seconds, [](int ms) {
        handleQueued();
        x11WaitForEvents(ms);
        handleQueued();
    });
}

inline ATOM registerTestClass(const char* name) {
    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof(windowClass));
    windowClass.lpfnWndProc = loggingProc;
    windowClass.lpszClassName = name;
    return RegisterClassA(&windowClass);
}

// A shown window whose client area is (x, y, width, height) on the screen.
inline HWND openWindow(const char* className, int x, int y, int width, int height) {
    RECT rect = {x, y, x + width, y + height};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowExA(0, className, "test", WS_OVERLAPPEDWINDOW, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                  nullptr, nullptr);
    if (window != nullptr) {
        ShowWindow(window, SW_SHOWDEFAULT);
        XSetInputFocus(x11Display(), x11WindowOf(window), RevertToParent, CurrentTime);
        XSync(x11Display(), False);
    }
    return window;
}

inline void fakeKey(KeySym keysym, bool press) {
    xKey(x11Display(), keysym, press);
}

inline void tapKey(KeySym keysym) {
    xTapKey(x11Display(), keysym);
}

inline void fakeMotion(int rootX, int rootY) {
    xPointerTo(x11Display(), rootX, rootY);
}

inline void fakeButton(unsigned button, bool press) {
    xButton(x11Display(), button, press);
}
