// Window classes and window records: creation with synchronous messages, showing, minimising
// and restoring, moving, destruction, geometry, system metrics and window device contexts.
#include "platform/emulated/backend.h"

namespace {

const int MAX_CLASSES = 16;
const int CLASS_NAME_BYTES = 256;
const int TITLE_BYTES = 1024;

// Frame, caption and border as GetSystemMetrics reports them. The native window is the client
// area; these only convert between outer and client rectangles the way Win32 does.
const int FRAME = 4;
const int CAPTION = 23;
const int BORDER = 1;
const int MENU = 19;

// Where CW_USEDEFAULT puts a window, and the outer size it gives.
const int DEFAULT_X = 32;
const int DEFAULT_Y = 32;
const int DEFAULT_WIDTH = 640;
const int DEFAULT_HEIGHT = 480;

// A window's DC is its handle's value with this bit set, so the DC names the record.
const uintptr_t DC_BIT = 0x40000000u;
const unsigned MAX_GENERATION = 0x3fffff; // below the DC bit

struct WindowClass {
    bool used;
    char name[CLASS_NAME_BYTES];
    WNDPROC proc;
};

WindowClass classes[MAX_CLASSES];
WindowRecord windows[MAX_WINDOWS];

// Handle values: the slot number plus one in the low byte, a generation above it, so that a
// handle of a destroyed window never names its slot's next window.
HWND handleFor(int slot, unsigned generation) {
    return (HWND)(uintptr_t)((generation << 8) | (unsigned)(slot + 1));
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

// Class names compare without regard to ASCII case, as on Win32.
bool sameClassName(const char* a, const char* b) {
    for (;; a++, b++) {
        if (asciiLower(*a) != asciiLower(*b)) {
            return false;
        }
        if (*a == 0) {
            return true;
        }
    }
}

int findClass(const char* name) {
    for (int i = 0; i < MAX_CLASSES; i++) {
        if (classes[i].used && sameClassName(classes[i].name, name)) {
            return i;
        }
    }
    return -1;
}

ATOM registerClass(const char* name, WNDPROC proc) {
    if (name == nullptr || name[0] == 0 || proc == nullptr) {
        return failWith(ERROR_INVALID_PARAMETER, (ATOM)0);
    }
    if (findClass(name) >= 0) {
        return failWith(ERROR_CLASS_ALREADY_EXISTS, (ATOM)0);
    }
    for (int i = 0; i < MAX_CLASSES; i++) {
        if (!classes[i].used) {
            classes[i].used = true;
            copyText(classes[i].name, sizeof(classes[i].name), name);
            classes[i].proc = proc;
            return (ATOM)(0xc000 + i);
        }
    }
    return failWith(ERROR_NOT_ENOUGH_MEMORY, (ATOM)0);
}

// How far the frame reaches beyond the client area on each side for a window style.
void frameOf(DWORD style, bool menu, RECT* insets) {
    bool thick = (style & WS_THICKFRAME) != 0;
    bool caption = (style & WS_CAPTION) == WS_CAPTION;
    int side = thick ? FRAME : (caption ? BORDER : 0);
    insets->left = side;
    insets->right = side;
    insets->bottom = side;
    insets->top = side + (caption ? CAPTION - BORDER : 0) + (menu ? MENU : 0);
}

int clampTo(long long value, long long low, long long high) {
    return (int)(value < low ? low : (value > high ? high : value));
}

// The client area inside an outer rectangle, kept within what a display can express: 16-bit
// positions, and sizes of 1 to 32767 pixels.
void clientFromOuter(DWORD style, int x, int y, int width, int height, WindowRecord* window) {
    RECT insets;
    frameOf(style, false, &insets);
    window->x = clampTo((long long)x + insets.left, -32768, 32767);
    window->y = clampTo((long long)y + insets.top, -32768, 32767);
    window->width = clampTo((long long)width - insets.left - insets.right, 1, 32767);
    window->height = clampTo((long long)height - insets.top - insets.bottom, 1, 32767);
}

LPARAM sizeParam(const WindowRecord* window) {
    return MAKELPARAM(window->width, window->height);
}

LPARAM moveParam(const WindowRecord* window) {
    return MAKELPARAM((SHORT)window->x, (SHORT)window->y);
}

// Sends the client size and origin; false when the window was destroyed meanwhile.
bool sendSizeAndMove(HWND handle) {
    WindowRecord* window = windowRecord(handle);
    if (window == nullptr) {
        return false;
    }
    sendToWindow(handle, WM_SIZE, SIZE_RESTORED, sizeParam(window));
    if ((window = windowRecord(handle)) == nullptr) {
        return false;
    }
    sendToWindow(handle, WM_MOVE, 0, moveParam(window));
    return windowRecord(handle) != nullptr;
}

HWND createWindow(const char* className, const char* titleUtf8, const char* titleLatin1,
                  DWORD style, int x, int y, int width, int height, LPVOID param) {
    if (platformFails(CALL_CREATE_WINDOW)) {
        return failWith(ERROR_GEN_FAILURE, (HWND) nullptr);
    }
    int classIndex = className == nullptr ? -1 : findClass(className);
    if (classIndex < 0) {
        return failWith(ERROR_CANNOT_FIND_WND_CLASS, (HWND) nullptr);
    }
    const Backend* backend = platformBackend();
    if (backend == nullptr) {
        return failWith(ERROR_DEVICE_NOT_AVAILABLE, (HWND) nullptr);
    }
    int slot = 0;
    while (slot < MAX_WINDOWS && windows[slot].used) {
        slot++;
    }
    if (slot == MAX_WINDOWS) {
        return failWith(ERROR_NOT_ENOUGH_QUOTA, (HWND) nullptr);
    }
    if (x == CW_USEDEFAULT) {
        x = DEFAULT_X;
        y = DEFAULT_Y;
    }
    if (width == CW_USEDEFAULT) {
        width = DEFAULT_WIDTH;
        height = DEFAULT_HEIGHT;
    }
    WindowRecord& window = windows[slot];
    unsigned generation = window.generation < MAX_GENERATION ? window.generation + 1 : 1;
    window = WindowRecord();
    window.slot = slot;
    window.generation = generation;
    window.style = style;
    clientFromOuter(style, x, y, width, height, &window);
    if (!backend->createWindow(&window, classes[classIndex].name, titleUtf8, titleLatin1)) {
        window = WindowRecord();
        window.generation = generation;
        return failWith(ERROR_GEN_FAILURE, (HWND) nullptr);
    }
    window.used = true;
    window.handle = handleFor(slot, generation);
    window.proc = classes[classIndex].proc;
    HWND handle = window.handle;

    // Win32 delivers these before CreateWindowEx returns; a handler may refuse the window.
    if (sendToWindow(handle, WM_NCCREATE, 0, (LPARAM)param) == 0) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (windowRecord(handle) == nullptr) {
        return nullptr;
    }
    if (sendToWindow(handle, WM_CREATE, 0, (LPARAM)param) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    // A popup or child window learns its size and origin here; an overlapped top-level window
    // only when it is first shown, as Win32 does it.
    if ((style & (WS_POPUP | WS_CHILD)) == 0) {
        WindowRecord* created = windowRecord(handle);
        if (created == nullptr) {
            return nullptr; // destroyed by its own WM_CREATE handler
        }
        created->sizePending = true;
    } else if (!sendSizeAndMove(handle)) {
        return nullptr;
    }
    return handle;
}

// Win32 activates one window at a time: the one active before is told first.
void deactivateOthers(HWND handle) {
    for (WindowRecord& other : windows) {
        if (other.used && other.active && other.handle != handle && !other.destroying) {
            other.active = false;
            sendToWindow(other.handle, WM_ACTIVATE,
                         MAKEWPARAM(WA_INACTIVE, other.minimized ? 1 : 0), (LPARAM)handle);
        }
    }
}

// Makes the window the active one, told with `state` (WA_ACTIVE, minimised or not); false when
// the window was destroyed meanwhile.
bool activate(HWND handle, WPARAM state) {
    WindowRecord* window = windowRecord(handle);
    if (window->active) {
        return true;
    }
    deactivateOthers(handle);
    if ((window = windowRecord(handle)) == nullptr) {
        return false;
    }
    window->active = true;
    platformBackend()->focusWindow(window);
    sendToWindow(handle, WM_ACTIVATE, state, 0);
    return windowRecord(handle) != nullptr;
}

// The window stops being the active one, as it is hidden, minimised or destroyed.
void deactivate(HWND handle, WPARAM state) {
    WindowRecord* window = windowRecord(handle);
    if (window != nullptr && window->active) {
        window->active = false;
        inputForgetKeys();
        sendToWindow(handle, WM_ACTIVATE, state, 0);
    }
}

// First show: mapped, activated and sized as Win32's ShowWindow does it, synchronously.
void show(HWND handle) {
    WindowRecord* window = windowRecord(handle);
    bool first = !window->shown;
    window->shown = true;
    window->paintPending = true;
    platformBackend()->showWindow(window);
    if (first) {
        sendToWindow(handle, WM_SHOWWINDOW, TRUE, 0);
        if (windowRecord(handle) == nullptr) {
            return;
        }
    }
    if (!activate(handle, WA_ACTIVE)) {
        return;
    }
    window = windowRecord(handle);
    if (window->sizePending) {
        window->sizePending = false;
        sendSizeAndMove(handle);
    }
}

void minimize(HWND handle) {
    WindowRecord* window = windowRecord(handle);
    if (window->minimized) {
        return;
    }
    window->minimized = true;
    window->shown = true;
    inputCaptureLost(handle);
    platformBackend()->minimizeWindow(window);
    window->sizePending = false;
    // Win32 parks a minimised window far off the screen and says so before the size; the
    // restore brings the real origin back.
    sendToWindow(handle, WM_MOVE, 0, MAKELPARAM((SHORT)MINIMIZED_ORIGIN, (SHORT)MINIMIZED_ORIGIN));
    if (windowRecord(handle) == nullptr) {
        return;
    }
    sendToWindow(handle, WM_SIZE, SIZE_MINIMIZED, 0);
    deactivate(handle, MAKEWPARAM(WA_INACTIVE, 1));
}

void restore(HWND handle) {
    WindowRecord* window = windowRecord(handle);
    window->minimized = false;
    window->shown = true;
    window->paintPending = true;
    platformBackend()->showWindow(window);
    // Activated while still minimised, then given its place and size back, as on Win32.
    if (!activate(handle, MAKEWPARAM(WA_ACTIVE, 1))) {
        return;
    }
    // The origin comes again (with any move made while minimised), then the size, and the
    // restore ends with an activation that is no longer minimised, as Win32 sends it even to
    // a window that is active already.
    sendToWindow(handle, WM_MOVE, 0, moveParam(windowRecord(handle)));
    if (windowRecord(handle) == nullptr) {
        return;
    }
    sendToWindow(handle, WM_SIZE, SIZE_RESTORED, sizeParam(windowRecord(handle)));
    if (windowRecord(handle) != nullptr) {
        sendToWindow(handle, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
    }
}

void hide(HWND handle) {
    WindowRecord* window = windowRecord(handle);
    if (!window->shown) {
        return;
    }
    window->shown = false;
    window->minimized = false;
    inputCaptureLost(handle);
    platformBackend()->hideWindow(window);
    sendToWindow(handle, WM_SHOWWINDOW, FALSE, 0);
    deactivate(handle, WA_INACTIVE);
}

} // namespace

// --- Records --------------------------------------------------------------------------------

WindowRecord* windowRecord(HWND window) {
    uintptr_t value = (uintptr_t)window;
    if (value == 0 || (value & DC_BIT) != 0) {
        return nullptr;
    }
    int slot = (int)(value & 0xff) - 1;
    if (slot < 0 || slot >= MAX_WINDOWS) {
        return nullptr;
    }
    WindowRecord* record = &windows[slot];
    return record->used && record->handle == window ? record : nullptr;
}

WindowRecord* windowRecords(void) {
    return windows;
}

WindowRecord* windowOfDc(HDC dc) {
    uintptr_t value = (uintptr_t)dc;
    if ((value & DC_BIT) == 0) {
        return nullptr;
    }
    return windowRecord((HWND)(value & ~DC_BIT));
}

HDC dcOfWindow(const WindowRecord* window) {
    return (HDC)((uintptr_t)window->handle | DC_BIT);
}

LRESULT sendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr || record->proc == nullptr) {
        return 0;
    }
    return record->proc(window, message, wParam, lParam);
}

// --- Classes and windows --------------------------------------------------------------------

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
    if (platformFails(CALL_REGISTER_CLASS)) {
        return failWith(ERROR_GEN_FAILURE, (ATOM)0);
    }
    if (windowClass == nullptr) {
        return failWith(ERROR_INVALID_PARAMETER, (ATOM)0);
    }
    return registerClass(windowClass->lpszClassName, windowClass->lpfnWndProc);
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* windowClass) {
    if (platformFails(CALL_REGISTER_CLASS)) {
        return failWith(ERROR_GEN_FAILURE, (ATOM)0);
    }
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr) {
        return failWith(ERROR_INVALID_PARAMETER, (ATOM)0);
    }
    char name[CLASS_NAME_BYTES];
    wideToUtf8(windowClass->lpszClassName, name, sizeof(name));
    return registerClass(name, windowClass->lpfnWndProc);
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    (void)exStyle;
    (void)parent;
    (void)menu;
    (void)instance;
    char latin1[TITLE_BYTES];
    char utf8[TITLE_BYTES * 2];
    copyText(latin1, sizeof(latin1), windowName);
    latin1ToUtf8(latin1, utf8, sizeof(utf8));
    return createWindow(className, utf8, latin1, style, x, y, width, height, param);
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    (void)exStyle;
    (void)parent;
    (void)menu;
    (void)instance;
    char name[CLASS_NAME_BYTES];
    char utf8[TITLE_BYTES * 2];
    if (className == nullptr) {
        return failWith(ERROR_CANNOT_FIND_WND_CLASS, (HWND) nullptr);
    }
    wideToUtf8(className, name, sizeof(name));
    wideToUtf8(windowName, utf8, sizeof(utf8));
    return createWindow(name, utf8, nullptr, style, x, y, width, height, param);
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr || record->destroying) {
        return failWith(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    }
    BOOL wasVisible = record->shown ? TRUE : FALSE;
    switch (command) {
    case SW_HIDE:
        hide(window);
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
        minimize(window);
        break;
    default:
        if (record->minimized) {
            restore(window);
        } else {
            show(window);
        }
        break;
    }
    return wasVisible;
}

BOOL WINAPI DestroyWindow(HWND window) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr || record->destroying) {
        return failWith(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    }
    record->destroying = true;
    inputCaptureLost(window);
    deactivate(window, WA_INACTIVE);
    sendToWindow(window, WM_DESTROY, 0, 0);
    if ((record = windowRecord(window)) != nullptr) {
        glWindowDestroyed(record);
    }
    sendToWindow(window, WM_NCDESTROY, 0, 0);
    record = windowRecord(window);
    if (record == nullptr) {
        return TRUE;
    }
    platformBackend()->destroyWindow(record);
    queuePurgeWindow(window);
    unsigned generation = record->generation;
    *record = WindowRecord();
    record->generation = generation;
    return TRUE;
}

BOOL WINAPI IsWindow(HWND window) {
    return windowRecord(window) != nullptr ? TRUE : FALSE;
}

BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr) {
        return failWith(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    }
    WindowRecord before = *record;
    clientFromOuter(record->style, x, y, width, height, record);
    if (!platformBackend()->moveWindow(record)) {
        record->x = before.x;
        record->y = before.y;
        record->width = before.width;
        record->height = before.height;
        return failWith(ERROR_GEN_FAILURE, FALSE);
    }
    bool resized = record->width != before.width || record->height != before.height;
    bool moved = record->x != before.x || record->y != before.y;
    // A move keeps the client's contents; parts it brings into view come as Expose from the
    // display. Only a new size needs the whole client area painted.
    if (repaint && resized) {
        record->paintPending = true;
    }
    if (resized) {
        platformBackend()->resizeSurface(record);
    }
    if (record->minimized) {
        return TRUE;
    }
    // Win32's order: the new origin first, then the new size.
    if (moved) {
        sendToWindow(window, WM_MOVE, 0, moveParam(record));
    }
    if (resized && (record = windowRecord(window)) != nullptr) {
        sendToWindow(window, WM_SIZE, SIZE_RESTORED, sizeParam(record));
    }
    return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) {
    if (rect == nullptr) {
        return failWith(ERROR_INVALID_PARAMETER, FALSE);
    }
    RECT insets;
    frameOf(style, menu != FALSE, &insets);
    const long long low = -2147483647LL - 1;
    const long long high = 2147483647LL;
    rect->left = (LONG)clampTo((long long)rect->left - insets.left, low, high);
    rect->top = (LONG)clampTo((long long)rect->top - insets.top, low, high);
    rect->right = (LONG)clampTo((long long)rect->right + insets.right, low, high);
    rect->bottom = (LONG)clampTo((long long)rect->bottom + insets.bottom, low, high);
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr || rect == nullptr) {
        return failWith(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    }
    RECT insets;
    frameOf(record->style, false, &insets);
    rect->left = record->x - insets.left;
    rect->top = record->y - insets.top;
    rect->right = record->x + record->width + insets.right;
    rect->bottom = record->y + record->height + insets.bottom;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr || rect == nullptr) {
        return failWith(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    }
    rect->left = 0;
    rect->top = 0;
    rect->right = record->minimized ? 0 : record->width;
    rect->bottom = record->minimized ? 0 : record->height;
    return TRUE;
}

int WINAPI GetSystemMetrics(int index) {
    int width = 0;
    int height = 0;
    switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN:
        if (platformBackend() != nullptr) {
            platformBackend()->screenSize(&width, &height);
        }
        return index == SM_CXSCREEN ? width : height;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return FRAME;
    case SM_CYCAPTION:
        return CAPTION;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return BORDER;
    default:
        return 0;
    }
}
