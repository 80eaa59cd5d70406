// The kit's facade: window settings, handler setters, the key and mouse binding tables with
// their dispatchers, the default reshape, and the calls that run, present and end the window.
#include "kit/core.h"
#include "platform/gl.h"

// --- Window settings -----------------------------------------------------------------------

int32_t kitClampToInt32(int64_t value) {
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return (int32_t)value;
}

int32_t kitClientOffsetX(void) {
    return GetSystemMetrics(SM_CXFRAME);
}

int32_t kitClientOffsetY(void) {
    return GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) -
           GetSystemMetrics(SM_CYBORDER);
}

void kitSetWindowRect(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (x == CW_USEDEFAULT) {
        kit.useDefaultPosition = 1;
        x = 0;
        y = 0;
    } else {
        kit.useDefaultPosition = 0;
    }
    // The caller names the outer frame's corner; the kit keeps the client area's origin.
    kit.windowRect.x = kitClampToInt32((int64_t)x + kitClientOffsetX());
    kit.windowRect.y = kitClampToInt32((int64_t)y + kitClientOffsetY());
    kit.windowRect.width = width;
    kit.windowRect.height = height;
}

void kitSetDisplayMode(int32_t mode) {
    kit.facadeDisplayMode = mode;
    kitCoreSetDisplayMode(mode);
}

int32_t kitGetDisplayMode(void) {
    return kit.displayMode;
}

void kitSetPixelFormatMethod(int32_t method) {
    kit.pixelFormatMethod = method;
}

int32_t kitGetPixelFormatMethod(void) {
    return kit.pixelFormatMethod;
}

int32_t kitSetPixelFormatNumber(int32_t number) {
    kit.pixelFormatNumber = number;
    return 1;
}

int32_t kitGetPixelFormatNumber(void) {
    return kit.pixelFormatNumber;
}

HWND kitGetWindow(void) {
    return kit.window;
}

HDC kitGetDeviceContext(void) {
    return kit.deviceContext;
}

HGLRC kitGetRenderContext(void) {
    return kit.renderContext;
}

// --- Core setters ----------------------------------------------------------------------------

void kitCoreSetDisplayMode(int32_t mode) {
    kit.displayMode = mode;
}

void kitCoreSetIdleHandler(KitHandler handler) {
    kit.idleHandler = handler;
}

void kitCoreSetReshapeHandler(KitReshapeHandler handler) {
    kit.reshapeHandler = handler;
}

void kitSetDisplayHandler(KitHandler handler) {
    kit.displayHandler = handler;
}

void kitSetKeyHandler(KitKeySlot handler) {
    kit.keyHandler = handler;
}

void kitSetMouseDownHandler(KitMouseSlot handler) {
    kit.mouseDownHandler = handler;
}

void kitSetMouseUpHandler(KitMouseSlot handler) {
    kit.mouseUpHandler = handler;
}

void kitSetMouseMoveHandler(KitMouseSlot handler) {
    kit.mouseMoveHandler = handler;
}

// --- Handlers and bindings -------------------------------------------------------------------

void kitSetIdleHandler(KitHandler handler) {
    kitCoreSetIdleHandler(handler);
}

void kitSetReshapeHandler(KitReshapeHandler handler) {
    kitCoreSetReshapeHandler(handler);
}

void kitBindKey(int32_t keyCode, KitHandler handler) {
    if (kit.keyCount < 0 || kit.keyCount >= KIT_KEY_TABLE_SIZE) {
        return;
    }
    kit.keyTable[kit.keyCount].keyCode = keyCode;
    kit.keyTable[kit.keyCount].handler = handler;
    kit.keyCount++;
}

void kitBindMouse(int32_t button, int32_t kind, KitMouseHandler handler) {
    MouseBinding* table;
    int32_t* count;
    switch (kind) {
    case KIT_MOUSE_DOWN:
        table = kit.mouseDownTable;
        count = &kit.mouseDownCount;
        break;
    case KIT_MOUSE_UP:
        table = kit.mouseUpTable;
        count = &kit.mouseUpCount;
        break;
    case KIT_MOUSE_MOVE:
        table = kit.mouseMoveTable;
        count = &kit.mouseMoveCount;
        break;
    default:
        return;
    }
    if (*count < 0 || *count >= KIT_MOUSE_TABLE_SIZE) {
        return;
    }
    table[*count].button = button;
    table[*count].handler = handler;
    (*count)++;
}

int kitDispatchKey(int32_t keyCode, int32_t modifiers) {
    (void)modifiers;
    int result = 0;
    // The count is read afresh each step: a handler may bind more keys, or empty the table
    // (kitClose), while the dispatch runs.
    for (int32_t i = 0; i < kit.keyCount && i < KIT_KEY_TABLE_SIZE; i++) {
        if (kit.keyTable[i].keyCode == keyCode) {
            KitHandler handler = kit.keyTable[i].handler;
            if (handler != nullptr) {
                handler();
            }
            result = 1;
        }
    }
    return result;
}

static int dispatchMouse(const MouseBinding* table, const int32_t* count, int32_t kind, int32_t x,
                         int32_t y, int32_t buttons) {
    static const int32_t buttonBits[3] = {KIT_LEFT_BUTTON, KIT_RIGHT_BUTTON, KIT_MIDDLE_BUTTON};
    int result = 0;
    for (int32_t i = 0; i < *count && i < KIT_MOUSE_TABLE_SIZE; i++) {
        for (int32_t bit : buttonBits) {
            // Re-checked per bit: a handler called for one bit may have emptied the table.
            if (i >= *count) {
                break;
            }
            if (table[i].button != bit || (buttons & bit) == 0) {
                continue;
            }
            MouseEvent event = {kind, x, y, 0, bit};
            KitMouseHandler handler = table[i].handler;
            if (handler != nullptr) {
                handler(&event);
            }
            result = 1;
        }
    }
    return result;
}

int kitDispatchMouseDown(int32_t x, int32_t y, int32_t buttons) {
    return dispatchMouse(kit.mouseDownTable, &kit.mouseDownCount, KIT_MOUSE_DOWN, x, y, buttons);
}

int kitDispatchMouseUp(int32_t x, int32_t y, int32_t buttons) {
    return dispatchMouse(kit.mouseUpTable, &kit.mouseUpCount, KIT_MOUSE_UP, x, y, buttons);
}

int kitDispatchMouseMove(int32_t x, int32_t y, int32_t buttons) {
    return dispatchMouse(kit.mouseMoveTable, &kit.mouseMoveCount, KIT_MOUSE_MOVE, x, y, buttons);
}

void kitDefaultReshape(int32_t width, int32_t height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, (double)width, 0.0, (double)height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// --- Running and ending ----------------------------------------------------------------------

void kitRun(KitHandler display) {
    kitSetDisplayHandler(display);
    if (kit.window == nullptr) {
        // Without a window no quit message can ever come, so the loop would wait for good.
        // Handle what is already queued (a quit posted by a window that is gone is consumed
        // here) and return.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return;
    }
    kitMessageLoop();
}

int kitSwapBuffers(void) {
    return SwapBuffers(kit.deviceContext);
}

int kitClose(void) {
    kitDestroyWindow();
    kit.keyCount = 0;
    kit.mouseDownCount = 0;
    kit.mouseUpCount = 0;
    kit.mouseMoveCount = 0;
    return 0;
}

void kitQuit(void) {
    kitDestroyWindow();
    ExitProcess(0);
}

void kitGetMouseLocation(int32_t* x, int32_t* y) {
    *x = 0;
    *y = 0;
    POINT cursor = {0, 0};
    if (!GetCursorPos(&cursor)) {
        return;
    }
    *x = kitClampToInt32((int64_t)cursor.x - kit.windowRect.x);
    *y = kitClampToInt32((int64_t)cursor.y - kit.windowRect.y);
}
