// Platform operations not built yet: each fails honestly (null, 0 or FALSE) until its real
// implementation replaces it here. Remove a function from this file when you implement it.
#include "platform/win32.h"

#include <cstdio>
#include <cstdlib>

[[noreturn]] void WINAPI ExitProcess(UINT exitCode) {
    (void)exitCode;
    std::fflush(nullptr);
    std::_Exit((int)exitCode);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    (void)moduleName;
    return nullptr;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    (void)info;
    return (BOOL)0;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    (void)flags;
    (void)bytes;
    return nullptr;
}

HLOCAL WINAPI LocalFree(HLOCAL block) {
    (void)block;
    return nullptr;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
    (void)windowClass;
    return (ATOM)0;
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* windowClass) {
    (void)windowClass;
    return (ATOM)0;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    (void)exStyle;
    (void)className;
    (void)windowName;
    (void)style;
    (void)x;
    (void)y;
    (void)width;
    (void)height;
    (void)parent;
    (void)menu;
    (void)instance;
    (void)param;
    return nullptr;
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    (void)exStyle;
    (void)className;
    (void)windowName;
    (void)style;
    (void)x;
    (void)y;
    (void)width;
    (void)height;
    (void)parent;
    (void)menu;
    (void)instance;
    (void)param;
    return nullptr;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    (void)window;
    (void)command;
    return (BOOL)0;
}

BOOL WINAPI DestroyWindow(HWND window) {
    (void)window;
    return (BOOL)0;
}

BOOL WINAPI IsWindow(HWND window) {
    (void)window;
    return (BOOL)0;
}

BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    (void)window;
    (void)x;
    (void)y;
    (void)width;
    (void)height;
    (void)repaint;
    return (BOOL)0;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) {
    (void)rect;
    (void)style;
    (void)menu;
    return (BOOL)0;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
    (void)window;
    (void)rect;
    return (BOOL)0;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    (void)window;
    (void)rect;
    return (BOOL)0;
}

int WINAPI GetSystemMetrics(int index) {
    (void)index;
    return (int)0;
}

HDC WINAPI GetDC(HWND window) {
    (void)window;
    return nullptr;
}

int WINAPI ReleaseDC(HWND window, HDC dc) {
    (void)window;
    (void)dc;
    return (int)0;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    (void)msg;
    (void)window;
    (void)filterMin;
    (void)filterMax;
    (void)removeFlags;
    return (BOOL)0;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    (void)msg;
    (void)window;
    (void)filterMin;
    (void)filterMax;
    return (BOOL)0;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)window;
    (void)message;
    (void)wParam;
    (void)lParam;
    return (BOOL)0;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)window;
    (void)message;
    (void)wParam;
    (void)lParam;
    return (LRESULT)0;
}

void WINAPI PostQuitMessage(int exitCode) {
    (void)exitCode;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    (void)msg;
    return (BOOL)0;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    (void)msg;
    return (LRESULT)0;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)window;
    (void)message;
    (void)wParam;
    (void)lParam;
    return (LRESULT)0;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    (void)window;
    (void)rect;
    (void)erase;
    return (BOOL)0;
}

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    (void)window;
    (void)paint;
    return nullptr;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
    (void)window;
    (void)paint;
    return (BOOL)0;
}

SHORT WINAPI GetKeyState(int virtualKey) {
    (void)virtualKey;
    return (SHORT)0;
}

HWND WINAPI SetCapture(HWND window) {
    (void)window;
    return nullptr;
}

BOOL WINAPI ReleaseCapture(void) {
    return (BOOL)0;
}

HWND WINAPI GetCapture(void) {
    return nullptr;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
    (void)point;
    return (BOOL)0;
}

HWND WINAPI GetFocus(void) {
    return nullptr;
}

HKL WINAPI LoadKeyboardLayoutA(LPCSTR layoutId, UINT flags) {
    (void)layoutId;
    (void)flags;
    return nullptr;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    (void)instance;
    (void)name;
    return nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    (void)instance;
    (void)name;
    return nullptr;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    (void)owner;
    (void)text;
    (void)caption;
    (void)type;
    return (int)0;
}
















