// The kit's message loop and window procedure: messages become calls of the handler slots,
// redraw and realize requests are raised at most once each, and the palette messages are
// answered by the small functions at the end of this file.
#include "kit/core.h"

static LRESULT onActivate(HWND hwnd, WPARAM wParam, LPARAM lParam);
static void onPaletteChanged(HWND hwnd, WPARAM wParam);
static void onSysColorChange(HWND hwnd);
static void onRealizeRequest(HWND hwnd);

// The system's default processing. On Windows a window of the class registered with
// RegisterClassW gets its messages in wide form, so its default processing must be the wide
// one: DefWindowProcA would read WM_NCCREATE's wide title as narrow text and keep only its first
// character. The Linux layer stores titles itself and has the one form.
static LRESULT defaultProcessing(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
#ifdef _WIN32
    if (IsWindowUnicode(hwnd)) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
#endif
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Positions in lParam are two signed 16-bit halves: a window may lie partly left of or above
// the screen's edge, and a captured pointer may leave the client area on those sides.
static int32_t positionX(LPARAM lParam) {
    return (int32_t)(SHORT)LOWORD(lParam);
}

static int32_t positionY(LPARAM lParam) {
    return (int32_t)(SHORT)HIWORD(lParam);
}

void kitMessageLoop(void) {
    MSG msg;
    // A reshape handler set after the window was opened missed the window's first WM_SIZE.
    KitReshapeHandler reshape = kit.reshapeHandler;
    if (reshape != nullptr) {
        RECT rect = {0, 0, 0, 0};
        GetClientRect(kit.window, &rect);
        reshape((int32_t)rect.right, (int32_t)rect.bottom);
    }
    for (;;) {
        if (kit.idleHandler == nullptr) {
            // Waiting mode: sleep in GetMessageA until something arrives.
            kitPostDeferredRealizeRequest();
            if (GetMessageA(&msg, nullptr, 0, 0) == 0) {
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        // Polling mode: everything waiting (pending paints too) goes before the next idle call.
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (GetMessageA(&msg, nullptr, 0, 0) == 0) {
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        kitPostDeferredRealizeRequest();
        // A message handled above may have cleared the idle handler.
        KitHandler idle = kit.idleHandler;
        if (idle != nullptr) {
            idle();
        }
    }
}

void kitRequestRedraw(HWND hwnd) {
    MSG msg;
    if (!PeekMessageA(&msg, hwnd, WM_PAINT, WM_PAINT, PM_NOREMOVE)) {
        InvalidateRect(hwnd, nullptr, FALSE);
    }
}

int kitPostRealizeRequest(void) {
    // Without a window there is nothing to post to; a null handle would make the post a
    // thread message that no window answers.
    if (kit.window == nullptr) {
        return 0;
    }
    MSG msg;
    BOOL waiting = PeekMessageA(&msg, kit.window, WM_USER, WM_USER, PM_NOREMOVE);
    if (waiting) {
        return waiting;
    }
    return PostMessageA(kit.window, WM_USER, 0, 0);
}

void kitDestroyWindow(void) {
    if (kit.window != nullptr) {
        DestroyWindow(kit.window);
    }
}

// The key path shared by WM_KEYDOWN and WM_CHAR once they have produced a key code.
static LRESULT keyPath(HWND hwnd, int32_t code) {
    KitKeySlot handler = kit.keyHandler;
    if (handler == nullptr) {
        return 0;
    }
    // Only the down bit (the sign of the SHORT) counts. The low bit toggles with every press
    // of any key, so after an odd number of Shift presses it is set with Shift up, and reading
    // it would report Shift with every key that follows.
    int32_t modifiers = 0;
    if (GetKeyState(VK_CONTROL) < 0) {
        modifiers = KIT_CONTROL;
    }
    if (GetKeyState(VK_SHIFT) < 0) {
        modifiers += KIT_SHIFT;
    }
    if (handler(code, modifiers)) {
        kitRequestRedraw(hwnd);
    }
    return 0;
}

// The button path: capture has already been set or released by the caller.
static LRESULT buttonPath(HWND hwnd, KitMouseSlot handler, LPARAM lParam, int32_t button) {
    if (handler == nullptr) {
        return 0;
    }
    if (handler(positionX(lParam), positionY(lParam), button)) {
        kitRequestRedraw(hwnd);
    }
    return 0;
}

static int32_t keyCodeOfVirtualKey(WPARAM key) {
    switch (key) {
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_SPACE:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
        return (int32_t)key;
    default:
        return 0;
    }
}

static int32_t keyCodeOfCharacter(WPARAM character) {
    if ((character >= '0' && character <= '9') || (character >= 'A' && character <= 'Z') ||
        (character >= 'a' && character <= 'z')) {
        return (int32_t)character;
    }
    return 0;
}

LRESULT CALLBACK kitWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        kitCloseWindow();
        PostQuitMessage(1);
        return 0;

    case WM_MOVE:
        kit.windowRect.x = positionX(lParam);
        kit.windowRect.y = positionY(lParam);
        return 0;

    case WM_SIZE: {
        kit.windowRect.width = (int32_t)LOWORD(lParam);
        kit.windowRect.height = (int32_t)HIWORD(lParam);
        KitReshapeHandler reshape = kit.reshapeHandler;
        if (reshape != nullptr) {
            reshape(kit.windowRect.width, kit.windowRect.height);
            kitRequestRedraw(hwnd);
        }
        return 0;
    }

    case WM_ACTIVATE:
        return onActivate(hwnd, wParam, lParam);

    case WM_PAINT: {
        // The paint is validated on the window it came for, so it cannot come back unanswered.
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        KitHandler display = kit.displayHandler;
        if (display != nullptr) {
            display();
        }
        EndPaint(hwnd, &ps);
        return 0;
    }

    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;

    case WM_SYSCOLORCHANGE:
        onSysColorChange(hwnd);
        return defaultProcessing(hwnd, message, wParam, lParam);

    case WM_KEYDOWN: {
        int32_t code = keyCodeOfVirtualKey(wParam);
        if (code != 0) {
            keyPath(hwnd, code);
        }
        return 0;
    }

    case WM_CHAR: {
        int32_t code = keyCodeOfCharacter(wParam);
        if (code != 0) {
            keyPath(hwnd, code);
        }
        return 0;
    }

    case WM_MOUSEMOVE: {
        KitMouseSlot handler = kit.mouseMoveHandler;
        if (handler != nullptr) {
            int32_t state = 0;
            if (wParam & MK_LBUTTON) {
                state += KIT_LEFT_BUTTON;
            }
            if (wParam & MK_RBUTTON) {
                state += KIT_RIGHT_BUTTON;
            }
            if (wParam & MK_MBUTTON) {
                state += KIT_MIDDLE_BUTTON;
            }
            if (handler(positionX(lParam), positionY(lParam), state)) {
                kitRequestRedraw(hwnd);
            }
        }
        return 0;
    }

    case WM_LBUTTONDOWN:
        SetCapture(hwnd);
        return buttonPath(hwnd, kit.mouseDownHandler, lParam, KIT_LEFT_BUTTON);
    case WM_LBUTTONUP:
        ReleaseCapture();
        return buttonPath(hwnd, kit.mouseUpHandler, lParam, KIT_LEFT_BUTTON);
    case WM_RBUTTONDOWN:
        SetCapture(hwnd);
        return buttonPath(hwnd, kit.mouseDownHandler, lParam, KIT_RIGHT_BUTTON);
    case WM_RBUTTONUP:
        ReleaseCapture();
        return buttonPath(hwnd, kit.mouseUpHandler, lParam, KIT_RIGHT_BUTTON);
    case WM_MBUTTONDOWN:
        SetCapture(hwnd);
        return buttonPath(hwnd, kit.mouseDownHandler, lParam, KIT_MIDDLE_BUTTON);
    case WM_MBUTTONUP:
        ReleaseCapture();
        return buttonPath(hwnd, kit.mouseUpHandler, lParam, KIT_MIDDLE_BUTTON);

    case WM_QUERYNEWPALETTE:
        return 1;

    case WM_PALETTECHANGED:
        onPaletteChanged(hwnd, wParam);
        return 0;

    case WM_USER:
        onRealizeRequest(hwnd);
        return 0;

    default:
        return defaultProcessing(hwnd, message, wParam, lParam);
    }
}

// --- Palette messages --------------------------------------------------------------------------

// Realize the palette in the background when the window loses activation, in the foreground
// when it gains it (unless it is minimised).
static LRESULT onActivate(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    // Noted before any realize: the palette code lets only an active window take the system
    // colours. Only the low word says whether the window is active: a window activated while
    // minimised is active, and a restore brings no second activation, so taking the minimised
    // flag for inactivity would keep it from the system colours until focus left and came back.
    kit.windowInactive = LOWORD(wParam) == WA_INACTIVE ? 1 : 0;
    if (LOWORD(wParam) == WA_INACTIVE) {
        if (kit.palette != nullptr && kitRealizePalette(kit.deviceContext, kit.palette, 1) > 0) {
            kitRequestRedraw(hwnd);
        }
        return defaultProcessing(hwnd, WM_ACTIVATE, wParam, lParam);
    }
    if (HIWORD(wParam) != 0 || kit.palette == nullptr) {
        return defaultProcessing(hwnd, WM_ACTIVATE, wParam, lParam);
    }
    if (kitRealizePalette(kit.deviceContext, kit.palette, 0) > 0) {
        kitRequestRedraw(hwnd);
    }
    return 1;
}

// Another window changed the system palette: map ours again, in the background.
static void onPaletteChanged(HWND hwnd, WPARAM wParam) {
    if ((HWND)wParam == hwnd || kit.systemColoursTaken == 1 || kit.palette == nullptr) {
        return;
    }
    if (SelectPalette(kit.deviceContext, kit.palette, TRUE) != nullptr) {
        RealizePalette(kit.deviceContext);
    }
}

// The system colours changed: an RGB palette is made afresh so its static entries follow them.
static void onSysColorChange(HWND hwnd) {
    if (kit.deviceContext == nullptr || kit.palette == nullptr) {
        return;
    }
    PIXELFORMATDESCRIPTOR description;
    if (kitGetPixelFormat(kit.deviceContext, &description) <= 0) {
        return;
    }
    if ((description.dwFlags & PFD_NEED_PALETTE) == 0 || description.iPixelType != PFD_TYPE_RGBA) {
        return;
    }
    // Emptied first, or kitCreateRgbPalette would hand back the palette it finds.
    HPALETTE old = kit.palette;
    kit.palette = nullptr;
    if (kitCreateRgbPalette(kit.deviceContext) != nullptr) {
        DeleteObject(old);
        kitRequestRedraw(hwnd);
    } else {
        kit.palette = old;
    }
}

// The realize request posted by kitPostRealizeRequest.
static void onRealizeRequest(HWND hwnd) {
    if (kitRealizePalette(kit.deviceContext, kit.palette, 0) > 0) {
        kitRequestRedraw(hwnd);
    }
}
