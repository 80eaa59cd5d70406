// The window kit's public face: one OpenGL window, handler slots, key and mouse binding tables,
// the main loop and the colour-map operations, each with what it does and when it may be called.
//
// Any program can link the kit (the CMake target Wrendle::kit, or pkg-config wrendle-kit) and
// use this header alone; docs/kit.md is the guide to it and examples/ holds small programs.
//
// The kit runs one window per process, on one thread: call everything from the thread that
// opens the window. Settings are read when the window opens; handlers and bindings may be set
// before or after. The usual order is: settings, kitOpenWindow, handlers and bindings, kitRun.
// Functions that report success return 1, and 0 on failure.
#pragma once

#include "kit/version.h"

#include <cstdint>

// The three handle types the kit hands out, declared the way <windows.h> declares them (each a
// pointer to a distinct incomplete struct), so that this header does not bring the rest of the
// Win32 names and macros with it. The declarations are the same as the platform's: a client may
// include <windows.h> (or the project's platform header) before or after this one. A Windows
// client built with NO_STRICT has untyped handles; for it the header includes <windows.h>.
#if defined(_WIN32) && defined(NO_STRICT)
#include <windows.h>
#else
struct HWND__;
struct HDC__;
struct HGLRC__;
typedef struct HWND__* HWND;
typedef struct HDC__* HDC;
typedef struct HGLRC__* HGLRC;
typedef wchar_t WCHAR;
#endif

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

// --- Settings, read when the window is opened ----------------------------------------------

// The window's outer frame: its top-left corner (screen pixels) and the size of its client area
// (the part OpenGL draws in). x = CW_USEDEFAULT (0x80000000) lets the system place the window.
// Default: placed by the system, 100 x 100. Call before kitOpenWindow.
void kitSetWindowRect(int32_t x, int32_t y, int32_t width, int32_t height);
// The pixel format wanted: KIT_RGBA or KIT_INDEX, KIT_SINGLE or KIT_DOUBLE, plus any of
// KIT_ACCUM, KIT_ALPHA, KIT_DEPTH (or KIT_DEPTH16), KIT_STENCIL and KIT_SYSTEM_PALETTE (an
// index window that takes over the system's static colours). Default: KIT_INDEX | KIT_SINGLE.
// A single-buffered request that no format meets falls back to a double-buffered format drawn
// in its front buffer, with a warning box.
void kitSetDisplayMode(int32_t mode);
// The mode the window was (or will be) opened with, fallback included.
int32_t kitGetDisplayMode(void);
// How the pixel format is picked: KIT_PF_CHOOSE (the default: the system's best match),
// KIT_PF_SEARCH (the kit's own search of every format) or any other value: the format number
// given to kitSetPixelFormatNumber.
void kitSetPixelFormatMethod(int32_t method);
int32_t kitGetPixelFormatMethod(void);
// The explicit format number for a method other than KIT_PF_CHOOSE or KIT_PF_SEARCH; returns 1.
int32_t kitSetPixelFormatNumber(int32_t number);
int32_t kitGetPixelFormatNumber(void);
// Whether the kit shows its error and warning boxes (default on). Only the low 8 bits count:
// 256 turns the boxes off. On Linux a box's caption and text also go to standard error.
void kitSetMessageBoxes(int32_t on);

// --- The window --------------------------------------------------------------------------------

// Opens the window with this title (Latin-1; kitOpenWindowWide takes UTF-16 or UTF-32 text,
// whatever wchar_t is), makes its rendering context current, sets the default reshape handler
// (an orthographic projection of the client area in pixels) and binds Escape to kitQuit.
// Returns 1 when the window and its current rendering context exist, else 0 after reporting
// why. Call once; after kitClose it may be called again.
int kitOpenWindow(const char* title);
int kitOpenWindowWide(const WCHAR* title);
// The open window, its device context and its rendering context; null before kitOpenWindow
// and after the window is gone. Handy for a client that calls the platform directly.
HWND kitGetWindow(void);
HDC kitGetDeviceContext(void);
HGLRC kitGetRenderContext(void);

// --- Handlers and bindings ---------------------------------------------------------------------

// Called whenever the loop has no message waiting; null (the default) makes the loop wait for
// messages instead. The usual place to animate: draw, then kitSwapBuffers.
void kitSetIdleHandler(KitHandler handler);
// Called with the client area's new width and height whenever its size changes, and once when
// kitRun starts; the current context is the window's. kitOpenWindow sets a default one.
void kitSetReshapeHandler(KitReshapeHandler handler);
// Calls the handler when the key is pressed (and again on every auto-repeat). keyCode is one of
// the KIT_KEY_ codes or the character of a digit or letter ('a' and 'A' differ: Shift and Caps
// Lock count). Several bindings of one key all run, in the order they were made. The table holds
// KIT_KEY_TABLE_SIZE bindings, Escape's included; a bind on a full table is ignored. A key
// handler asks for a repaint: the display handler runs after it.
void kitBindKey(int32_t keyCode, KitHandler handler);
// Calls the handler for one button (KIT_LEFT_BUTTON, KIT_RIGHT_BUTTON or KIT_MIDDLE_BUTTON) and
// one kind of event (KIT_MOUSE_DOWN, KIT_MOUSE_UP, or KIT_MOUSE_MOVE: moves while that button is
// held). While a button is down the window keeps the pointer, so moves and the release outside
// it still arrive. Each table holds KIT_MOUSE_TABLE_SIZE bindings; another kind is ignored.
void kitBindMouse(int32_t button, int32_t kind, KitMouseHandler handler);

// --- The loop and the end of it ----------------------------------------------------------------

// Sets the display handler (called when the window needs painting, and after a key or mouse
// handler) and runs the message loop until the window is closed. Returns at once when no window
// is open. Call after kitOpenWindow; it returns after the window is destroyed.
void kitRun(KitHandler display);
// Shows what was drawn in a double-buffered window; returns 1 on success. Call from handlers.
int kitSwapBuffers(void);
// Destroys the window and its contexts and empties the binding tables; kitRun then returns.
// Always returns 0.
int kitClose(void);
// Destroys the window and ends the process with exit code 0. Escape is bound to it.
[[noreturn]] void kitQuit(void);
// The pointer's position relative to the client area's top-left corner, in pixels (negative or
// beyond the size when outside); 0, 0 when it cannot be read.
void kitGetMouseLocation(int32_t* x, int32_t* y);

// --- Colour maps ---------------------------------------------------------------------------------
// For a KIT_INDEX window on a display with a palette (8-bit colour, or a palette the platform
// emulates). Each returns 0 when there is no palette (an RGBA window, a true-colour display),
// else 1. With KIT_SYSTEM_PALETTE, entries 0 and 255 stay black and white.

// Sets one entry to a colour with components from 0.0 to 1.0.
int kitSetOneColour(int32_t index, float red, float green, float blue);
// Fills the map with 2^levelBits grey levels of 2^stepBits entries each, as far as it reaches.
int kitSetFadeRamps(int32_t stepBits, int32_t levelBits);
// Fills the whole map with one ramp from black to white.
int kitSetGreyRamp(void);
// Fills the map with the red, green and blue ramps of an RGB palette for the window's format
// (the arguments are not used); returns what realizing the palette returned, 0 without one.
int kitSetRgbMap(int32_t first, int32_t second);
// The number of entries in the window's colour map; 0 without a palette.
int kitGetColourMapSize(void);
