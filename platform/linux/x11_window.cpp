// Window classes and windows: creation with synchronous messages, showing, minimising and
// restoring, moving, destruction, geometry, system metrics and device contexts.
#include "platform/linux/x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace {

const int MAX_CLASSES = 16;
const int CLASS_NAME_BYTES = 256;
const int TITLE_BYTES = 1024;

// Frame, caption and border as GetSystemMetrics reports them. The X window is the client
// area; these only convert between outer and client rectangles the way Win32 does.
const int FRAME = 4;
const int CAPTION = 23;
const int BORDER = 1;

// Styles that the shared header does not name; they decide when size messages come.
const DWORD WS_POPUP_ = 0x80000000u;
const DWORD WS_CHILD_ = 0x40000000u;

// Where CW_USEDEFAULT puts a window, and the outer size it gives.
const int DEFAULT_X = 32;
const int DEFAULT_Y = 32;
const int DEFAULT_WIDTH = 640;
const int DEFAULT_HEIGHT = 480;

// Device contexts are the window handle's value with this bit set; the screen's has no window.
const uintptr_t DC_BIT = 0x40000000u;
const uintptr_t SCREEN_DC = 0x7fff0000u;

struct WindowClass {
    bool used;
    char name[CLASS_NAME_BYTES];
    WNDPROC proc;
};

WindowClass classes[MAX_CLASSES];
X11Window windows[X11_MAX_WINDOWS];

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

// Appends one code point as UTF-8 if it fits; returns the new length.
size_t putUtf8(char* out, size_t length, size_t capacity, uint32_t c) {
    char bytes[4];
    size_t n;
    if (c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) {
        c = 0xfffd;
    }
    if (c < 0x80) {
        bytes[0] = (char)c;
        n = 1;
    } else if (c < 0x800) {
        bytes[0] = (char)(0xc0 | (c >> 6));
        bytes[1] = (char)(0x80 | (c & 0x3f));
        n = 2;
    } else if (c < 0x10000) {
        bytes[0] = (char)(0xe0 | (c >> 12));
        bytes[1] = (char)(0x80 | ((c >> 6) & 0x3f));
        bytes[2] = (char)(0x80 | (c & 0x3f));
        n = 3;
    } else {
        bytes[0] = (char)(0xf0 | (c >> 18));
        bytes[1] = (char)(0x80 | ((c >> 12) & 0x3f));
        bytes[2] = (char)(0x80 | ((c >> 6) & 0x3f));
        bytes[3] = (char)(0x80 | (c & 0x3f));
        n = 4;
    }
    if (length + n + 1 > capacity) {
        return length;
    }
    std::memcpy(out + length, bytes, n);
    out[length + n] = 0;
    return length + n;
}

// A narrow string is taken as Latin-1 (the ANSI code page's letters where they agree).
void latin1ToUtf8(const char* text, char* out, size_t capacity) {
    size_t length = 0;
    out[0] = 0;
    for (const unsigned char* p = (const unsigned char*)text; p != nullptr && *p != 0; p++) {
        size_t next = putUtf8(out, length, capacity, *p);
        if (next == length) {
            break;
        }
        length = next;
    }
}

void wideToUtf8(const wchar_t* text, char* out, size_t capacity) {
    size_t length = 0;
    out[0] = 0;
    for (const wchar_t* p = text; p != nullptr && *p != 0; p++) {
        size_t next = putUtf8(out, length, capacity, (uint32_t)*p);
        if (next == length) {
            break;
        }
        length = next;
    }
}

// Copies with truncation; the copy is always terminated.
void copyText(char* out, size_t capacity, const char* text) {
    size_t i = 0;
    for (; text != nullptr && text[i] != 0 && i + 1 < capacity; i++) {
        out[i] = text[i];
    }
    out[i] = 0;
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
    if (name == nullptr || name[0] == 0 || proc == nullptr || findClass(name) >= 0) {
        return 0;
    }
    for (int i = 0; i < MAX_CLASSES; i++) {
        if (!classes[i].used) {
            classes[i].used = true;
            copyText(classes[i].name, sizeof(classes[i].name), name);
            classes[i].proc = proc;
            return (ATOM)(0xc000 + i);
        }
    }
    return 0;
}

// How far the frame reaches beyond the client area on each side for a window style.
void frameOf(DWORD style, bool menu, RECT* insets) {
    bool thick = (style & WS_THICKFRAME) != 0;
    bool caption = (style & WS_CAPTION) == WS_CAPTION;
    int side = thick ? FRAME : (caption ? BORDER : 0);
    insets->left = side;
    insets->right = side;
    insets->bottom = side;
    insets->top = side + (caption ? CAPTION - BORDER : 0) + (menu ? 19 : 0);
}

int clampTo(long long value, long long low, long long high) {
    return (int)(value < low ? low : (value > high ? high : value));
}

// The client area inside an outer rectangle, kept within what X can express: 16-bit
// positions, and sizes of 1 to 32767 pixels.
void clientFromOuter(DWORD style, int x, int y, int width, int height, int* clientX, int* clientY,
                     int* clientWidth, int* clientHeight) {
    RECT insets;
    frameOf(style, false, &insets);
    *clientX = clampTo((long long)x + insets.left, -32768, 32767);
    *clientY = clampTo((long long)y + insets.top, -32768, 32767);
    *clientWidth = clampTo((long long)width - insets.left - insets.right, 1, 32767);
    *clientHeight = clampTo((long long)height - insets.top - insets.bottom, 1, 32767);
}

void setTitle(Display* display, Window xwindow, const char* utf8, bool latin1Only,
              const char* latin1) {
    if (latin1Only) {
        XChangeProperty(display, xwindow, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                        (const unsigned char*)latin1, (int)std::strlen(latin1));
    } else {
        XChangeProperty(display, xwindow, XA_WM_NAME, x11.utf8String, 8, PropModeReplace,
                        (const unsigned char*)utf8, (int)std::strlen(utf8));
    }
    XChangeProperty(display, xwindow, x11.netWmName, x11.utf8String, 8, PropModeReplace,
                    (const unsigned char*)utf8, (int)std::strlen(utf8));
}

void setHints(Display* display, Window xwindow, const char* className, int x, int y, int width,
              int height) {
    XSizeHints* size = XAllocSizeHints();
    if (size != nullptr) {
        // The position was asked for by the program; window managers honour USPosition. Static
        // gravity makes them put the frame around the client area where it is, so that the
        // client origin is the one asked for rather than the frame's corner.
        size->flags = USPosition | USSize | PPosition | PSize | PWinGravity;
        size->win_gravity = StaticGravity;
        size->x = x;
        size->y = y;
        size->width = width;
        size->height = height;
        XSetWMNormalHints(display, xwindow, size);
        XFree(size);
    }
    XWMHints* wm = XAllocWMHints();
    if (wm != nullptr) {
        wm->flags = InputHint | StateHint;
        wm->input = True;
        wm->initial_state = NormalState;
        XSetWMHints(display, xwindow, wm);
        XFree(wm);
    }
    // The instance is the program's name and the class the window class, so that a desktop
    // entry's StartupWMClass names the class and docks match the window to the entry.
    x11SetIdentity(display, xwindow, className);
    // Without WM_DELETE_WINDOW a window manager kills the connection on the close box.
    Atom protocols[2] = {x11.wmDeleteWindow, x11.netWmPing};
    XSetWMProtocols(display, xwindow, protocols, 2);
}

LPARAM sizeParam(const X11Window* record) {
    return MAKELPARAM(record->width, record->height);
}

LPARAM moveParam(const X11Window* record) {
    return MAKELPARAM((SHORT)record->x, (SHORT)record->y);
}

// Sends the client size and origin; false when the window was destroyed meanwhile.
bool sendSizeAndMove(HWND handle) {
    X11Window* record = x11Record(handle);
    if (record == nullptr) {
        return false;
    }
    x11Send(handle, WM_SIZE, SIZE_RESTORED, sizeParam(record));
    record = x11Record(handle);
    if (record == nullptr) {
        return false;
    }
    x11Send(handle, WM_MOVE, 0, moveParam(record));
    return x11Record(handle) != nullptr;
}

HWND createWindow(const char* className, const char* titleUtf8, const char* titleLatin1,
                  DWORD style, int x, int y, int width, int height, LPVOID param) {
    if (platformShouldFail(TEST_CREATE_WINDOW)) {
        return nullptr;
    }
    int classIndex = className == nullptr ? -1 : findClass(className);
    if (classIndex < 0) {
        return nullptr;
    }
    Display* display = x11Display();
    if (display == nullptr) {
        return nullptr;
    }
    int slot = -1;
    for (int i = 0; i < X11_MAX_WINDOWS; i++) {
        if (!windows[i].used) {
            slot = i;
            break;
        }
    }
    if (slot < 0) {
        return nullptr;
    }
    if (x == CW_USEDEFAULT) {
        x = DEFAULT_X;
        y = DEFAULT_Y;
    }
    if (width == CW_USEDEFAULT) {
        width = DEFAULT_WIDTH;
        height = DEFAULT_HEIGHT;
    }
    int clientX;
    int clientY;
    int clientWidth;
    int clientHeight;
    clientFromOuter(style, x, y, width, height, &clientX, &clientY, &clientWidth, &clientHeight);

    XSetWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof(attributes));
    attributes.background_pixel = BlackPixel(display, x11.screen);
    attributes.border_pixel = 0;
    attributes.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | ExposureMask | StructureNotifyMask |
                            FocusChangeMask | PropertyChangeMask;
    x11BeginErrorTrap();
    Window xwindow =
        XCreateWindow(display, x11.root, clientX, clientY, (unsigned)clientWidth,
                      (unsigned)clientHeight, 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    if (xwindow != 0) {
        setHints(display, xwindow, classes[classIndex].name, clientX, clientY, clientWidth,
                 clientHeight);
        setTitle(display, xwindow, titleUtf8, titleLatin1 != nullptr,
                 titleLatin1 != nullptr ? titleLatin1 : "");
    }
    int error = x11EndErrorTrap();
    if (xwindow == 0 || error != 0) {
        if (xwindow != 0) {
            x11BeginErrorTrap();
            XDestroyWindow(display, xwindow);
            x11EndErrorTrap();
        }
        return nullptr;
    }

    X11Window& record = windows[slot];
    unsigned generation = record.generation + 1;
    if (generation > 0x3fffff) {
        generation = 1;
    }
    record = X11Window();
    record.used = true;
    record.generation = generation;
    record.handle = handleFor(slot, generation);
    record.xwindow = xwindow;
    record.proc = classes[classIndex].proc;
    record.style = style;
    record.x = clientX;
    record.y = clientY;
    record.width = clientWidth;
    record.height = clientHeight;
    HWND handle = record.handle;

    // Win32 delivers these before CreateWindowEx returns; a handler may refuse the window.
    if (x11Send(handle, WM_NCCREATE, 0, (LPARAM)param) == 0) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (x11Record(handle) == nullptr) {
        return nullptr;
    }
    if (x11Send(handle, WM_CREATE, 0, (LPARAM)param) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    // A popup or child window learns its size and origin here; an overlapped top-level window
    // only when it is first shown, as Win32 does it.
    if ((style & (WS_POPUP_ | WS_CHILD_)) == 0) {
        X11Window* created = x11Record(handle);
        if (created == nullptr) {
            return nullptr; // destroyed by its own WM_CREATE handler
        }
        created->sizePending = true;
    } else if (!sendSizeAndMove(handle)) {
        return nullptr;
    }
    return handle;
}

void focus(X11Window* record) {
    if (!record->viewable) {
        return;
    }
    x11BeginErrorTrap();
    XSetInputFocus(x11.display, record->xwindow, RevertToParent, CurrentTime);
    x11EndErrorTrap();
}

// Win32 activates one window at a time: the one active before is told first.
void deactivateOthers(HWND handle) {
    for (X11Window& other : windows) {
        if (other.used && other.active && other.handle != handle && !other.destroying) {
            other.active = false;
            x11Send(other.handle, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, other.minimized ? 1 : 0),
                    (LPARAM)handle);
        }
    }
}

// First show: mapped, activated and sized as Win32's ShowWindow does it, synchronously.
void show(HWND handle) {
    X11Window* record = x11Record(handle);
    bool first = !record->shown;
    record->shown = true;
    record->paintPending = true;
    x11MapAndWait(record->xwindow);
    if (first) {
        x11Send(handle, WM_SHOWWINDOW, TRUE, 0);
        if ((record = x11Record(handle)) == nullptr) {
            return;
        }
    }
    if (!record->active) {
        deactivateOthers(handle);
        if ((record = x11Record(handle)) == nullptr) {
            return;
        }
        record->active = true;
        focus(record);
        x11Send(handle, WM_ACTIVATE, WA_ACTIVE, 0);
        if ((record = x11Record(handle)) == nullptr) {
            return;
        }
    }
    if (record->sizePending) {
        record->sizePending = false;
        sendSizeAndMove(handle);
    }
}

void minimize(HWND handle) {
    X11Window* record = x11Record(handle);
    if (record->minimized) {
        return;
    }
    record->minimized = true;
    record->shown = true;
    x11CaptureLost(handle);
    Display* display = x11.display;
    x11BeginErrorTrap();
    if (record->viewable) {
        XIconifyWindow(display, record->xwindow, x11.screen);
    }
    if (!x11WindowManagerRuns()) {
        XUnmapWindow(display, record->xwindow);
    }
    x11EndErrorTrap();
    bool firstShow = record->sizePending;
    record->sizePending = false;
    x11Send(handle, WM_SIZE, SIZE_MINIMIZED, 0);
    record = x11Record(handle);
    // A window first shown minimised is still told its origin once.
    if (firstShow && record != nullptr) {
        x11Send(handle, WM_MOVE, 0, moveParam(record));
        record = x11Record(handle);
    }
    if (record != nullptr && record->active) {
        record->active = false;
        x11ForgetKeys();
        x11Send(handle, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
    }
}

void restore(HWND handle) {
    X11Window* record = x11Record(handle);
    record->minimized = false;
    record->shown = true;
    record->paintPending = true;
    x11MapAndWait(record->xwindow);
    if (!record->active) {
        deactivateOthers(handle);
        if ((record = x11Record(handle)) == nullptr) {
            return;
        }
        record->active = true;
        focus(record);
        // Activated while still minimised, then given its size back, as on Win32.
        x11Send(handle, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0);
        if ((record = x11Record(handle)) == nullptr) {
            return;
        }
    }
    x11Send(handle, WM_SIZE, SIZE_RESTORED, sizeParam(record));
}

void hide(HWND handle) {
    X11Window* record = x11Record(handle);
    if (!record->shown) {
        return;
    }
    record->shown = false;
    record->minimized = false;
    x11CaptureLost(handle);
    x11BeginErrorTrap();
    XUnmapWindow(x11.display, record->xwindow);
    x11EndErrorTrap();
    x11Send(handle, WM_SHOWWINDOW, FALSE, 0);
    record = x11Record(handle);
    if (record != nullptr && record->active) {
        record->active = false;
        x11ForgetKeys();
        x11Send(handle, WM_ACTIVATE, WA_INACTIVE, 0);
    }
}

} // namespace

// Whether a window manager runs: then it iconifies, otherwise the window is unmapped here.
bool x11WindowManagerRuns(void) {
    Display* display = x11.display;
    if (display == nullptr) {
        return false;
    }
    char name[32];
    std::snprintf(name, sizeof(name), "WM_S%d", x11.screen);
    if (XGetSelectionOwner(display, XInternAtom(display, name, False)) != None) {
        return true;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, x11.root, x11.netSupportingWmCheck, 0, 1, False, XA_WINDOW, &type,
                       &format, &count, &after, &data);
    bool found = data != nullptr && count > 0;
    if (data != nullptr) {
        XFree(data);
    }
    return found;
}

// --- Records --------------------------------------------------------------------------------

X11Window* x11Record(HWND window) {
    uintptr_t value = (uintptr_t)window;
    if (value == 0 || (value & DC_BIT) != 0) {
        return nullptr;
    }
    int slot = (int)(value & 0xff) - 1;
    if (slot < 0 || slot >= X11_MAX_WINDOWS) {
        return nullptr;
    }
    X11Window* record = &windows[slot];
    return record->used && record->handle == window ? record : nullptr;
}

X11Window* x11RecordOfXWindow(Window xwindow) {
    if (xwindow == 0) {
        return nullptr;
    }
    for (X11Window& record : windows) {
        if (!record.used) {
            continue;
        }
        if (record.xwindow == xwindow) {
            return &record;
        }
        for (Window child : record.children) {
            if (child == xwindow) {
                return &record;
            }
        }
    }
    return nullptr;
}

X11Window* x11Records(void) {
    return windows;
}

Window x11WindowOf(HWND window) {
    X11Window* record = x11Record(window);
    return record == nullptr ? 0 : record->xwindow;
}

HDC x11DcOf(HWND window) {
    return x11Record(window) != nullptr ? (HDC)((uintptr_t)window | DC_BIT) : nullptr;
}

HWND x11WindowOfDc(HDC dc) {
    uintptr_t value = (uintptr_t)dc;
    if ((value & DC_BIT) == 0 || value == SCREEN_DC) {
        return nullptr;
    }
    HWND window = (HWND)(value & ~DC_BIT);
    return x11Record(window) != nullptr ? window : nullptr;
}

void x11AttachChild(HWND window, Window child) {
    X11Window* record = x11Record(window);
    if (record == nullptr || child == 0) {
        return;
    }
    for (Window existing : record->children) {
        if (existing == child) {
            return;
        }
    }
    for (Window& slot : record->children) {
        if (slot == 0) {
            slot = child;
            return;
        }
    }
}

void x11DetachChild(HWND window, Window child) {
    X11Window* record = x11Record(window);
    if (record == nullptr) {
        return;
    }
    for (Window& slot : record->children) {
        if (slot == child) {
            slot = 0;
        }
    }
}

void x11MapAndWait(Window xwindow) {
    Display* display = x11.display;
    if (display == nullptr) {
        return;
    }
    x11BeginErrorTrap();
    XMapRaised(display, xwindow);
    x11EndErrorTrap();
    // Bounded: a window manager may keep the window unmapped, and that must not hang us.
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        XEvent event;
        if (XCheckTypedWindowEvent(display, xwindow, MapNotify, &event)) {
            X11Window* record = x11RecordOfXWindow(xwindow);
            if (record != nullptr) {
                record->viewable = true;
            }
            return;
        }
        XWindowAttributes attributes;
        x11BeginErrorTrap();
        Status ok = XGetWindowAttributes(display, xwindow, &attributes);
        int error = x11EndErrorTrap();
        if (ok != 0 && error == 0 && attributes.map_state == IsViewable) {
            X11Window* record = x11RecordOfXWindow(xwindow);
            if (record != nullptr) {
                record->viewable = true;
            }
            return;
        }
        if (ok == 0 || error != 0) {
            return;
        }
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long elapsed =
            (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
        if (elapsed >= 1000) {
            return;
        }
        x11WaitForEvents((int)(1000 - elapsed < 20 ? 1000 - elapsed : 20));
    }
}

// --- Classes and windows --------------------------------------------------------------------

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
    if (platformShouldFail(TEST_REGISTER_CLASS) || windowClass == nullptr) {
        return 0;
    }
    return registerClass(windowClass->lpszClassName, windowClass->lpfnWndProc);
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* windowClass) {
    if (platformShouldFail(TEST_REGISTER_CLASS) || windowClass == nullptr ||
        windowClass->lpszClassName == nullptr) {
        return 0;
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
        return nullptr;
    }
    wideToUtf8(className, name, sizeof(name));
    wideToUtf8(windowName, utf8, sizeof(utf8));
    return createWindow(name, utf8, nullptr, style, x, y, width, height, param);
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    X11Window* record = x11Record(window);
    if (record == nullptr || record->destroying) {
        return FALSE;
    }
    BOOL wasVisible = record->shown ? TRUE : FALSE;
    switch (command) {
    case SW_HIDE:
        hide(window);
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case 7: // SW_SHOWMINNOACTIVE
        minimize(window);
        break;
    case SW_RESTORE:
        if (record->minimized) {
            restore(window);
        } else {
            show(window);
        }
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
    X11Window* record = x11Record(window);
    if (record == nullptr || record->destroying) {
        return FALSE;
    }
    record->destroying = true;
    x11CaptureLost(window);
    if (record->active) {
        record->active = false;
        x11ForgetKeys();
        x11Send(window, WM_ACTIVATE, WA_INACTIVE, 0);
    }
    x11Send(window, WM_DESTROY, 0, 0);
    glxWindowDestroyed(window);
    x11Send(window, WM_NCDESTROY, 0, 0);
    record = x11Record(window);
    if (record == nullptr) {
        return TRUE;
    }
    if (x11.display != nullptr) {
        x11BeginErrorTrap();
        XDestroyWindow(x11.display, record->xwindow);
        x11EndErrorTrap();
    }
    x11PurgeWindow(window);
    unsigned generation = record->generation;
    *record = X11Window();
    record->generation = generation;
    return TRUE;
}

BOOL WINAPI IsWindow(HWND window) {
    return x11Record(window) != nullptr ? TRUE : FALSE;
}

BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    X11Window* record = x11Record(window);
    if (record == nullptr || x11.display == nullptr) {
        return FALSE;
    }
    int clientX;
    int clientY;
    int clientWidth;
    int clientHeight;
    clientFromOuter(record->style, x, y, width, height, &clientX, &clientY, &clientWidth,
                    &clientHeight);
    x11BeginErrorTrap();
    XMoveResizeWindow(x11.display, record->xwindow, clientX, clientY, (unsigned)clientWidth,
                      (unsigned)clientHeight);
    if (x11EndErrorTrap() != 0) {
        return FALSE;
    }
    bool resized = clientWidth != record->width || clientHeight != record->height;
    bool moved = clientX != record->x || clientY != record->y;
    record->x = clientX;
    record->y = clientY;
    record->width = clientWidth;
    record->height = clientHeight;
    if (repaint) {
        record->paintPending = true;
    }
    if (resized) {
        glxWindowResized(window, clientWidth, clientHeight);
    }
    if (record->minimized) {
        return TRUE;
    }
    if (resized) {
        x11Send(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(clientWidth, clientHeight));
    }
    record = x11Record(window);
    if (moved && record != nullptr) {
        x11Send(window, WM_MOVE, 0, moveParam(record));
    }
    return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) {
    if (rect == nullptr) {
        return FALSE;
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
    X11Window* record = x11Record(window);
    if (record == nullptr || rect == nullptr) {
        return FALSE;
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
    X11Window* record = x11Record(window);
    if (record == nullptr || rect == nullptr) {
        return FALSE;
    }
    rect->left = 0;
    rect->top = 0;
    rect->right = record->minimized ? 0 : record->width;
    rect->bottom = record->minimized ? 0 : record->height;
    return TRUE;
}

int WINAPI GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN:
        return x11Display() != nullptr ? DisplayWidth(x11.display, x11.screen) : 0;
    case SM_CYSCREEN:
        return x11Display() != nullptr ? DisplayHeight(x11.display, x11.screen) : 0;
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

HDC WINAPI GetDC(HWND window) {
    if (platformShouldFail(TEST_GET_DC)) {
        return nullptr;
    }
    if (window == nullptr) {
        return (HDC)SCREEN_DC;
    }
    return x11DcOf(window);
}

int WINAPI ReleaseDC(HWND window, HDC dc) {
    if (window == nullptr) {
        return dc == (HDC)SCREEN_DC ? 1 : 0;
    }
    return x11Record(window) != nullptr && x11WindowOfDc(dc) == window ? 1 : 0;
}

unsigned long testXWindow(HWND window) {
    return (unsigned long)x11WindowOf(window);
}
