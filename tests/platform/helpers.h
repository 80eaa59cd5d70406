// Shared by the platform layer's tests: a window procedure that logs what reaches it, message
// pumping until the queue is quiet, and XTest input on the layer's own connection.
#pragma once

#include "platform/linux/x11/x11.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstring>
#include <ctime>

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
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

// Handles every message until nothing has arrived for `quietMs`.
inline void pump(int quietMs = 100) {
    long last = nowMs();
    while (nowMs() - last < quietMs) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            last = nowMs();
        } else {
            x11WaitForEvents(10);
        }
    }
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
    Display* display = x11Display();
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), press ? True : False,
                      CurrentTime);
    XSync(display, False);
}

inline void tapKey(KeySym keysym) {
    fakeKey(keysym, true);
    fakeKey(keysym, false);
}

inline void fakeMotion(int rootX, int rootY) {
    Display* display = x11Display();
    XTestFakeMotionEvent(display, x11.screen, rootX, rootY, CurrentTime);
    XSync(display, False);
}

inline void fakeButton(unsigned button, bool press) {
    Display* display = x11Display();
    XTestFakeButtonEvent(display, button, press ? True : False, CurrentTime);
    XSync(display, False);
}
