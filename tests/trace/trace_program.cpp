// A window whose procedure prints every message it receives, one line each, with the call it
// arrived in and its decoded parameters. Built against the Linux layer and as a Windows program.
#include "platform/win32.h"

#include <cstdio>
#include <cstring>

namespace {

// A message that the layer's header leaves out (the layer never sends it), by Win32's number:
// the program names what Win32 sends even where the layer sends nothing of the kind.
const UINT WM_CONTEXTMENU_ = 0x007B;

struct MessageName {
    UINT message;
    const char* name;
};

const MessageName NAMES[] = {
    {0x0001, "WM_CREATE"},
    {0x0002, "WM_DESTROY"},
    {0x0003, "WM_MOVE"},
    {0x0005, "WM_SIZE"},
    {0x0006, "WM_ACTIVATE"},
    {0x0007, "WM_SETFOCUS"},
    {0x0008, "WM_KILLFOCUS"},
    {0x000A, "WM_ENABLE"},
    {0x000C, "WM_SETTEXT"},
    {0x000D, "WM_GETTEXT"},
    {0x000E, "WM_GETTEXTLENGTH"},
    {0x000F, "WM_PAINT"},
    {0x0010, "WM_CLOSE"},
    {0x0012, "WM_QUIT"},
    {0x0013, "WM_QUERYOPEN"},
    {0x0014, "WM_ERASEBKGND"},
    {0x0015, "WM_SYSCOLORCHANGE"},
    {0x0018, "WM_SHOWWINDOW"},
    {0x001C, "WM_ACTIVATEAPP"},
    {0x001F, "WM_CANCELMODE"},
    {0x0020, "WM_SETCURSOR"},
    {0x0021, "WM_MOUSEACTIVATE"},
    {0x0022, "WM_CHILDACTIVATE"},
    {0x0024, "WM_GETMINMAXINFO"},
    {0x003D, "WM_GETOBJECT"},
    {0x0046, "WM_WINDOWPOSCHANGING"},
    {0x0047, "WM_WINDOWPOSCHANGED"},
    {0x0051, "WM_INPUTLANGCHANGE"},
    {0x007B, "WM_CONTEXTMENU"},
    {0x007C, "WM_STYLECHANGING"},
    {0x007D, "WM_STYLECHANGED"},
    {0x007F, "WM_GETICON"},
    {0x0080, "WM_SETICON"},
    {0x0081, "WM_NCCREATE"},
    {0x0082, "WM_NCDESTROY"},
    {0x0083, "WM_NCCALCSIZE"},
    {0x0084, "WM_NCHITTEST"},
    {0x0085, "WM_NCPAINT"},
    {0x0086, "WM_NCACTIVATE"},
    {0x0088, "WM_SYNCPAINT"},
    {0x00A0, "WM_NCMOUSEMOVE"},
    {0x00A1, "WM_NCLBUTTONDOWN"},
    {0x00A2, "WM_NCLBUTTONUP"},
    {0x00A4, "WM_NCRBUTTONDOWN"},
    {0x00A5, "WM_NCRBUTTONUP"},
    {0x0100, "WM_KEYDOWN"},
    {0x0101, "WM_KEYUP"},
    {0x0102, "WM_CHAR"},
    {0x0104, "WM_SYSKEYDOWN"},
    {0x0105, "WM_SYSKEYUP"},
    {0x0106, "WM_SYSCHAR"},
    {0x0112, "WM_SYSCOMMAND"},
    {0x0127, "WM_CHANGEUISTATE"},
    {0x0128, "WM_UPDATEUISTATE"},
    {0x0129, "WM_QUERYUISTATE"},
    {0x0200, "WM_MOUSEMOVE"},
    {0x0201, "WM_LBUTTONDOWN"},
    {0x0202, "WM_LBUTTONUP"},
    {0x0203, "WM_LBUTTONDBLCLK"},
    {0x0204, "WM_RBUTTONDOWN"},
    {0x0205, "WM_RBUTTONUP"},
    {0x0206, "WM_RBUTTONDBLCLK"},
    {0x0207, "WM_MBUTTONDOWN"},
    {0x0208, "WM_MBUTTONUP"},
    {0x0214, "WM_SIZING"},
    {0x0215, "WM_CAPTURECHANGED"},
    {0x0216, "WM_MOVING"},
    {0x0231, "WM_ENTERSIZEMOVE"},
    {0x0232, "WM_EXITSIZEMOVE"},
    {0x0281, "WM_IME_SETCONTEXT"},
    {0x0282, "WM_IME_NOTIFY"},
    {0x02A2, "WM_NCMOUSELEAVE"},
    {0x02A3, "WM_MOUSELEAVE"},
    {0x030F, "WM_QUERYNEWPALETTE"},
    {0x0310, "WM_PALETTEISCHANGING"},
    {0x0311, "WM_PALETTECHANGED"},
    {0x031F, "WM_DWMNCRENDERINGCHANGED"},
    {0x0400, "WM_USER"},
};

// Where the client area starts and how large it is, and where MoveWindow takes it.
const int CLIENT_X = 100;
const int CLIENT_Y = 80;
const int CLIENT_WIDTH = 320;
const int CLIENT_HEIGHT = 240;
const int MOVED_X = 140;
const int MOVED_Y = 110;
const int MOVED_WIDTH = 360;
const int MOVED_HEIGHT = 200;

// Quiet time after a minimise before the program restores the window itself.
const DWORD RESTORE_AFTER_MS = 400;

struct TraceState {
    HWND window;
    // The innermost Win32 call of the program's own that is running; "loop" outside them.
    const char* phase;
    // The message being dispatched: the procedure seeing it again is its dispatch, anything
    // else arrived by a send (from a call, or from inside the retrieval, as Win32 does).
    const MSG* dispatching;
    bool restorePending;
    DWORD idleSince;
};

TraceState trace = {nullptr, "loop", nullptr, false, 0};

const char* nameOf(UINT message, char* buffer, size_t size) {
    for (const MessageName& entry : NAMES) {
        if (entry.message == message) {
            return entry.name;
        }
    }
    std::snprintf(buffer, size, "0x%04X", message);
    return buffer;
}

const char* windowName(HWND window) {
    if (window == nullptr) {
        return "none";
    }
    return window == trace.window ? "self" : "other";
}

const char* vkName(WPARAM vk, char* buffer, size_t size) {
    switch (vk) {
    case VK_LEFT:
        return "LEFT";
    case VK_UP:
        return "UP";
    case VK_RIGHT:
        return "RIGHT";
    case VK_DOWN:
        return "DOWN";
    case VK_SHIFT:
        return "SHIFT";
    case VK_CONTROL:
        return "CONTROL";
    case VK_MENU:
        return "MENU";
    case VK_ESCAPE:
        return "ESCAPE";
    case VK_RETURN:
        return "RETURN";
    case VK_SPACE:
        return "SPACE";
    default:
        break;
    }
    if (vk >= VK_F1 && vk <= VK_F12) {
        std::snprintf(buffer, size, "F%d", (int)(vk - VK_F1 + 1));
    } else if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) {
        std::snprintf(buffer, size, "%c", (char)vk);
    } else {
        std::snprintf(buffer, size, "0x%02X", (unsigned)vk);
    }
    return buffer;
}

// Whether a client position lies in the client area as it is now.
int inside(LPARAM lParam) {
    RECT client;
    if (!GetClientRect(trace.window, &client)) {
        return 0;
    }
    int x = (SHORT)LOWORD(lParam);
    int y = (SHORT)HIWORD(lParam);
    return x >= client.left && x < client.right && y >= client.top && y < client.bottom ? 1 : 0;
}

// The key message's flags word, field by field, and whether Shift is down as the program sees it.
void keyFields(char* out, size_t size, LPARAM lParam) {
    DWORD bits = (DWORD)lParam;
    std::snprintf(out, size, "repeat=%u scan=%u ext=%u alt=%u prev=%u up=%u shift=%d",
                  (unsigned)(bits & 0xffff), (unsigned)((bits >> 16) & 0xff),
                  (unsigned)((bits >> 24) & 1), (unsigned)((bits >> 29) & 1),
                  (unsigned)((bits >> 30) & 1), (unsigned)((bits >> 31) & 1),
                  (GetKeyState(VK_SHIFT) & 0x8000) != 0 ? 1 : 0);
}

void mouseFields(char* out, size_t size, WPARAM wParam, LPARAM lParam) {
    std::snprintf(out, size, "x=%d y=%d inside=%d buttons=%s%s%s shift=%d control=%d",
                  (int)(SHORT)LOWORD(lParam), (int)(SHORT)HIWORD(lParam), inside(lParam),
                  (wParam & MK_LBUTTON) != 0 ? "L" : "", (wParam & MK_RBUTTON) != 0 ? "R" : "",
                  (wParam & (MK_LBUTTON | MK_RBUTTON)) == 0 ? "-" : "",
                  (wParam & MK_SHIFT) != 0 ? 1 : 0, (wParam & MK_CONTROL) != 0 ? 1 : 0);
}

// The parameters as named fields; messages the program has no reading for keep their numbers.
void decode(char* out, size_t size, UINT message, WPARAM wParam, LPARAM lParam) {
    char buffer[32];
    switch (message) {
    case WM_SIZE:
        std::snprintf(out, size, "type=%s width=%u height=%u",
                      wParam == SIZE_RESTORED    ? "restored"
                      : wParam == SIZE_MINIMIZED ? "minimized"
                      : wParam == SIZE_MAXIMIZED ? "maximized"
                                                 : "other",
                      (unsigned)LOWORD(lParam), (unsigned)HIWORD(lParam));
        return;
    case WM_MOVE:
        std::snprintf(out, size, "x=%d y=%d", (int)(SHORT)LOWORD(lParam),
                      (int)(SHORT)HIWORD(lParam));
        return;
    case WM_ACTIVATE:
        std::snprintf(out, size, "state=%s minimized=%d other=%s",
                      LOWORD(wParam) == WA_INACTIVE ? "inactive"
                      : LOWORD(wParam) == WA_ACTIVE ? "active"
                                                    : "clickactive",
                      HIWORD(wParam) != 0 ? 1 : 0, windowName((HWND)lParam));
        return;
    case WM_SHOWWINDOW:
        std::snprintf(out, size, "shown=%d status=%ld", wParam != 0 ? 1 : 0, (long)lParam);
        return;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP: {
        char fields[128];
        keyFields(fields, sizeof(fields), lParam);
        std::snprintf(out, size, "vk=%s %s", vkName(wParam, buffer, sizeof(buffer)), fields);
        return;
    }
    case WM_CHAR:
    case WM_SYSCHAR: {
        char fields[128];
        keyFields(fields, sizeof(fields), lParam);
        if (wParam > 0x20 && wParam < 0x7f) {
            std::snprintf(out, size, "char=%c %s", (char)wParam, fields);
        } else {
            std::snprintf(out, size, "char=0x%02X %s", (unsigned)wParam, fields);
        }
        return;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        mouseFields(out, size, wParam, lParam);
        return;
    case WM_CAPTURECHANGED:
        std::snprintf(out, size, "new=%s", windowName((HWND)lParam));
        return;
    case WM_QUIT:
        std::snprintf(out, size, "code=%d", (int)wParam);
        return;
    case WM_USER:
        std::snprintf(out, size, "wparam=%lu lparam=%ld", (unsigned long)wParam, (long)lParam);
        return;
    case WM_CREATE:
    case WM_NCCREATE:
    case WM_PAINT:
    case WM_CLOSE:
    case WM_DESTROY:
    case WM_NCDESTROY:
        out[0] = 0;
        return;
    default:
        std::snprintf(out, size, "wparam=0x%lX lparam=0x%lX", (unsigned long)wParam,
                      (unsigned long)lParam);
        return;
    }
}

void writeLine(const char* via, UINT message, WPARAM wParam, LPARAM lParam) {
    char name[16];
    char fields[256];
    decode(fields, sizeof(fields), message, wParam, lParam);
    std::printf("%s %s %s%s%s\n", trace.phase, via, nameOf(message, name, sizeof(name)),
                fields[0] != 0 ? " " : "", fields);
    std::fflush(stdout);
}

void note(const char* text) {
    std::printf("# %s\n", text);
    std::fflush(stdout);
}

// The outer rectangle whose client area is the one given, for the window's style.
RECT outerFor(int x, int y, int width, int height) {
    RECT rect = {x, y, x + width, y + height};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    return rect;
}

// The program's own steps, started by keys so that the driver's input decides when they run.
void onKeyUp(HWND window, WPARAM vk) {
    const char* outer = trace.phase;
    if (vk == (WPARAM)VK_F2) {
        RECT rect = outerFor(MOVED_X, MOVED_Y, MOVED_WIDTH, MOVED_HEIGHT);
        trace.phase = "MoveWindow";
        MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   TRUE);
    } else if (vk == (WPARAM)VK_F3) {
        trace.phase = "ShowWindow(SW_MINIMIZE)";
        ShowWindow(window, SW_MINIMIZE);
        trace.restorePending = true;
    } else if (vk == (WPARAM)VK_F4) {
        // A paint, a posted message and a quit, all waiting at once: the retrieval order shows.
        InvalidateRect(window, nullptr, FALSE);
        PostMessageA(window, WM_USER, 1, 2);
        PostQuitMessage(7);
    }
    trace.phase = outer;
}

LRESULT CALLBACK traceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const MSG* d = trace.dispatching;
    bool dispatched = d != nullptr && d->hwnd == window && d->message == message &&
                      d->wParam == wParam && d->lParam == lParam;
    if (dispatched) {
        trace.dispatching = nullptr; // what it sends while handled arrives by a send
    }
    if (trace.window == nullptr) {
        trace.window = window; // the first message comes before CreateWindowEx returns
    }
    writeLine(dispatched ? "posted" : "sent", message, wParam, lParam);
    const char* outer = trace.phase;
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_KEYUP:
        onKeyUp(window, wParam);
        return 0;
    case WM_RBUTTONDOWN:
        trace.phase = "SetCapture";
        SetCapture(window);
        trace.phase = outer;
        return 0;
    case WM_RBUTTONUP:
        trace.phase = "ReleaseCapture";
        ReleaseCapture();
        trace.phase = outer;
        return 0;
    case WM_CLOSE:
        trace.phase = "DestroyWindow";
        DestroyWindow(window);
        trace.phase = outer;
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    // The right button's release would otherwise bring Win32's context-menu request, which
    // the layer does not make; the program has no menu to show.
    if (message == WM_CONTEXTMENU_) {
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int main(void) {
    LoadKeyboardLayoutA("00000409", KLF_ACTIVATE);
    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof(windowClass));
    windowClass.style = CS_VREDRAW | CS_HREDRAW;
    windowClass.lpfnWndProc = traceProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    windowClass.lpszClassName = "WrendleTrace";
    if (RegisterClassA(&windowClass) == 0) {
        std::fprintf(stderr, "trace: RegisterClass failed\n");
        return 1;
    }

    RECT rect = outerFor(CLIENT_X, CLIENT_Y, CLIENT_WIDTH, CLIENT_HEIGHT);
    trace.phase = "CreateWindowEx";
    HWND window = CreateWindowExA(
        0, "WrendleTrace", "wrendle-trace", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
        rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
        GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "trace: CreateWindowEx failed\n");
        return 1;
    }
    trace.window = window;
    trace.phase = "ShowWindow";
    ShowWindow(window, SW_SHOWDEFAULT);
    trace.phase = "loop";
    note("loop");

    trace.idleSince = GetTickCount();
    for (;;) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            trace.idleSince = GetTickCount();
            if (msg.message == WM_QUIT || msg.hwnd == nullptr) {
                // Never reaches a window procedure: printed as it is taken from the queue.
                writeLine("taken", msg.message, msg.wParam, msg.lParam);
                if (msg.message == WM_QUIT && !IsWindow(window)) {
                    break;
                }
                continue;
            }
            TranslateMessage(&msg);
            trace.dispatching = &msg;
            DispatchMessageA(&msg);
            trace.dispatching = nullptr;
            continue;
        }
        if (trace.restorePending && GetTickCount() - trace.idleSince >= RESTORE_AFTER_MS) {
            trace.restorePending = false;
            trace.phase = "ShowWindow(SW_RESTORE)";
            ShowWindow(window, SW_RESTORE);
            trace.phase = "loop";
            note("restored");
            trace.idleSince = GetTickCount();
        }
        Sleep(5);
    }
    note("end");
    return 0;
}
