// The window kit's public face: one OpenGL window, handler slots, key and mouse binding tables,
// the main loop and the colour-map operations. Any program can link `kit` and use this header.
#pragma once

#include "platform/win32.h"

#include <cstdint>

// Display-mode bits (kitSetDisplayMode).
const int32_t KIT_RGBA = 0;
const int32_t KIT_INDEX = 1;
const int32_t KIT_SINGLE = 0;
const int32_t KIT_DOUBLE = 2;
const int32_t KIT_ACCUM = 8;
const int32_t KIT_ALPHA = 16;
const int32_t KIT_DEPTH = 32;
const int32_t KIT_STENCIL = 64;
const int32_t KIT_DEPTH16 = 256;
const int32_t KIT_SYSTEM_PALETTE = 512;

// Key codes: the handful of virtual keys below, plus the character codes of digits and letters.
const int32_t KIT_KEY_RETURN = 13;
const int32_t KIT_KEY_ESCAPE = 27;
const int32_t KIT_KEY_SPACE = 32;
const int32_t KIT_KEY_LEFT = 37;
const int32_t KIT_KEY_UP = 38;
const int32_t KIT_KEY_RIGHT = 39;
const int32_t KIT_KEY_DOWN = 40;

// Modifier bits passed to the core's key slot.
const int32_t KIT_SHIFT = 1;
const int32_t KIT_CONTROL = 2;

// Mouse buttons and event kinds.
const int32_t KIT_LEFT_BUTTON = 1;
const int32_t KIT_RIGHT_BUTTON = 2;
const int32_t KIT_MIDDLE_BUTTON = 4;
const int32_t KIT_MOUSE_DOWN = 16;
const int32_t KIT_MOUSE_UP = 32;
const int32_t KIT_MOUSE_MOVE = 64;

// Pixel-format methods (kitSetPixelFormatMethod); any other value takes the explicit number.
const int32_t KIT_PF_SEARCH = 2;
const int32_t KIT_PF_CHOOSE = 3;

// Binding table capacities. A bind on a full table is ignored.
const int32_t KIT_KEY_TABLE_SIZE = 64;
const int32_t KIT_MOUSE_TABLE_SIZE = 20;

// What a mouse binding's handler receives; it lives only for the call.
struct MouseEvent {
    int32_t kind;     // KIT_MOUSE_DOWN, KIT_MOUSE_UP or KIT_MOUSE_MOVE
    int32_t x;        // client pixels from the left edge
    int32_t y;        // client pixels from the top edge, downwards
    int32_t reserved; // always 0
    int32_t button;   // the one button this call is about: 1, 2 or 4
};

typedef void (*KitHandler)(void);
typedef void (*KitReshapeHandler)(int32_t width, int32_t height);
typedef void (*KitMouseHandler)(MouseEvent* event);

// Settings, read when the window is opened.
void kitSetWindowRect(int32_t x, int32_t y, int32_t width, int32_t height);
void kitSetDisplayMode(int32_t mode);
int32_t kitGetDisplayMode(void);
void kitSetPixelFormatMethod(int32_t method);
int32_t kitGetPixelFormatMethod(void);
int32_t kitSetPixelFormatNumber(int32_t number);
int32_t kitGetPixelFormatNumber(void);
// Only the low 8 bits count: 256 turns the boxes off.
void kitSetMessageBoxes(int32_t on);

// The window. Both return 1 when the window and its current rendering context exist, else 0.
int kitOpenWindow(const char* title);
int kitOpenWindowWide(const WCHAR* title);
HWND kitGetWindow(void);
HDC kitGetDeviceContext(void);
HGLRC kitGetRenderContext(void);

// Handlers and bindings.
void kitSetIdleHandler(KitHandler handler);
void kitSetReshapeHandler(KitReshapeHandler handler);
void kitBindKey(int32_t keyCode, KitHandler handler);
void kitBindMouse(int32_t button, int32_t kind, KitMouseHandler handler);

// The loop and the end of it.
void kitRun(KitHandler display);
int kitSwapBuffers(void);
int kitClose(void);
[[noreturn]] void kitQuit(void);
void kitGetMouseLocation(int32_t* x, int32_t* y);

// Colour maps (palette displays only; 0 without a palette).
int kitSetOneColour(int32_t index, float red, float green, float blue);
int kitSetFadeRamps(int32_t stepBits, int32_t levelBits);
int kitSetGreyRamp(void);
int kitSetRgbMap(int32_t first, int32_t second);
int kitGetColourMapSize(void);
