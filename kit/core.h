// The kit's internals: its one process-wide state record and the core operations behind the
// facade (window creation, the loop and window procedure, palettes, system colours).
#pragma once

#include "kit/kit.h"
#include "platform/win32.h"

#include <cstdint>

typedef int (*KitKeySlot)(int32_t keyCode, int32_t modifiers);
typedef int (*KitMouseSlot)(int32_t x, int32_t y, int32_t buttons);

struct KeyBinding {
    int32_t keyCode;
    KitHandler handler;
};

struct MouseBinding {
    int32_t button;
    KitMouseHandler handler;
};

struct KitRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

const int32_t KIT_STATIC_COLOUR_COUNT = 20;
const int32_t KIT_SYSTEM_COLOUR_ELEMENTS = 25;

// One record for the whole kit; every field starts at the value a fresh process has.
struct KitState {
    // Window settings.
    KitRect windowRect = {0, 0, 100, 100};
    int32_t useDefaultPosition = 1;
    int32_t displayMode = 1;
    int32_t facadeDisplayMode = 0;

    // Handler slots of the core.
    KitReshapeHandler reshapeHandler = nullptr;
    KitHandler displayHandler = nullptr;
    KitHandler idleHandler = nullptr;
    KitKeySlot keyHandler = nullptr;
    KitMouseSlot mouseDownHandler = nullptr;
    KitMouseSlot mouseUpHandler = nullptr;
    KitMouseSlot mouseMoveHandler = nullptr;

    // Binding tables of the facade.
    KeyBinding keyTable[KIT_KEY_TABLE_SIZE] = {};
    int32_t keyCount = 0;
    MouseBinding mouseDownTable[KIT_MOUSE_TABLE_SIZE] = {};
    int32_t mouseDownCount = 0;
    MouseBinding mouseUpTable[KIT_MOUSE_TABLE_SIZE] = {};
    int32_t mouseUpCount = 0;
    MouseBinding mouseMoveTable[KIT_MOUSE_TABLE_SIZE] = {};
    int32_t mouseMoveCount = 0;

    // The window and its contexts.
    HWND window = nullptr;
    HDC deviceContext = nullptr;
    HGLRC renderContext = nullptr;
    int32_t pixelFormatMethod = KIT_PF_CHOOSE;
    int32_t pixelFormatNumber = 0;
    uint8_t showMessages = 1;
    int32_t systemColourCount = 25;

    // Palette.
    HPALETTE palette = nullptr;
    int32_t systemPaletteMode = 0;
    PALETTEENTRY staticColours[KIT_STATIC_COLOUR_COUNT] = {
        {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
        {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
        {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
        {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
        {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0}};
    int32_t staticColourSlots[KIT_STATIC_COLOUR_COUNT] = {
        0, 3, 24, 27, 64, 67, 88, 173, 181, 236, 247, 164, 91, 7, 56, 63, 192, 199, 248, 255};

    // System colours.
    int32_t systemColoursTaken = 0;
    COLORREF savedSystemColours[KIT_SYSTEM_COLOUR_ELEMENTS] = {};

    // 1 after WM_ACTIVATE reported the window inactive, 0 after it reported it active; an
    // inactive window's foreground realize must not take the system colours.
    int32_t windowInactive = 0;
    // A refused takeover's retry: KIT_RETRY_NONE, KIT_RETRY_POSTED, or KIT_RETRY_DEFERRED
    // until the loop finds its queue empty (kitPostDeferredRealizeRequest).
    int32_t realizeRetry = 0;
};

extern KitState kit;

// Puts every field of the record back to its start value (tests; a process starts that way).
void kitResetState(void);

// Core setters: each stores its argument and does nothing else.
void kitCoreSetDisplayMode(int32_t mode);
void kitCoreSetIdleHandler(KitHandler handler);
void kitCoreSetReshapeHandler(KitReshapeHandler handler);
void kitSetDisplayHandler(KitHandler handler);
void kitSetKeyHandler(KitKeySlot handler);
void kitSetMouseDownHandler(KitMouseSlot handler);
void kitSetMouseUpHandler(KitMouseSlot handler);
void kitSetMouseMoveHandler(KitMouseSlot handler);

// Facade handlers that kitOpenWindow installs.
void kitDefaultReshape(int32_t width, int32_t height);
int kitDispatchKey(int32_t keyCode, int32_t modifiers);
int kitDispatchMouseDown(int32_t x, int32_t y, int32_t buttons);
int kitDispatchMouseUp(int32_t x, int32_t y, int32_t buttons);
int kitDispatchMouseMove(int32_t x, int32_t y, int32_t buttons);

// Event loop and window procedure.
void kitMessageLoop(void);
LRESULT CALLBACK kitWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void kitRequestRedraw(HWND hwnd);
int kitPostRealizeRequest(void);
void kitDestroyWindow(void);

// Window and rendering context creation.
int kitCreateWindow(const void* title, int32_t wide);
int kitCreateWindowNarrow(const char* title);
int kitSetPixelFormat(HDC dc, int32_t mode);
int kitRequestPixelFormat(HDC dc, int32_t mode, PIXELFORMATDESCRIPTOR* descriptor);
int kitSearchPixelFormat(HDC dc, int32_t mode, PIXELFORMATDESCRIPTOR* descriptor);
int kitCheckPixelFormat(HDC dc, int32_t number, PIXELFORMATDESCRIPTOR* descriptor);
int kitGetPixelFormat(HDC dc, PIXELFORMATDESCRIPTOR* descriptor);
void kitReportError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void kitCloseWindow(void);
void* kitAllocate(uint32_t bytes);
void* kitAllocateZeroed(uint32_t bytes);
void kitFree(void* block);

// Palettes.
HPALETTE kitCreateRgbPalette(HDC dc);
HPALETTE kitEnsureIndexPalette(HDC dc);
void kitFillRgbRamps(const PIXELFORMATDESCRIPTOR* description, PALETTEENTRY* entries,
                     uint32_t count);
BYTE kitRampValue(int32_t index, int32_t bits, int32_t shift);
void kitMatchStaticColours(PALETTEENTRY* entries);
void kitFlushSystemPalette(HDC dc, int32_t count);
int kitRealizePalette(HDC dc, HPALETTE palette, int32_t background);

// System colour takeover.
extern const INT systemColourElements[KIT_SYSTEM_COLOUR_ELEMENTS];
extern const char* const colourSchemeNames[KIT_SYSTEM_COLOUR_ELEMENTS];
extern const COLORREF takeoverColours[KIT_SYSTEM_COLOUR_ELEMENTS];
int kitTakeOverSystemColours(HDC dc);
int kitRestoreSystemColours(HDC dc);
int kitReadColourScheme(COLORREF* colours, int32_t count);
const int32_t KIT_RETRY_NONE = 0;
const int32_t KIT_RETRY_POSTED = 1;
const int32_t KIT_RETRY_DEFERRED = 2;
// The loop calls this once per turn, before its idle call and before it waits for a message:
// a takeover retry that was held back is posted only when nothing else is waiting, so that
// painting, input and the idle handler keep their turns while takeovers are refused.
void kitPostDeferredRealizeRequest(void);

// A client's coordinates may be anywhere in 32 bits; sums and differences of them are taken in
// 64 bits and held at the nearest 32-bit limit instead of overflowing.
int32_t kitClampToInt32(int64_t value);
// Where the client area's origin lies within the outer window: the frame on the left, the frame
// and the caption (less the border line) on top, as the system's metrics give them now.
int32_t kitClientOffsetX(void);
int32_t kitClientOffsetY(void);
