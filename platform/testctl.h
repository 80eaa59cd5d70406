// Test controls of the Linux platform layer: a virtual clock, fault injection, presented pixel
// formats and palette display, a registry to fill, input, and records of what was shown. Tests
// only.
#pragma once

#include "platform/win32.h"

#include <cstdint>

// --- Virtual clock -------------------------------------------------------------------------
// With the virtual clock on, GetTickCount reads it and Sleep advances it; no real time passes.
// A realistic uptime (about 3.5 days) is the default start, so a first frame sees a large
// elapsed time as it does on a real system.
const uint32_t TEST_DEFAULT_UPTIME = 300000000u;
void testUseVirtualClock(uint32_t startTick = TEST_DEFAULT_UPTIME);
void testUseRealClock(void);
void testSetTick(uint32_t tick);
// Stands for time spent doing work (a frame's own drawing), without a Sleep.
void testAdvanceTick(uint32_t milliseconds);
// Sleeps seen since the virtual clock was switched on: how many, the last one, the sum.
uint32_t testSleepCount(void);
uint32_t testLastSleep(void);
uint64_t testTotalSleep(void);

// --- Fault injection -------------------------------------------------------------------------
// testFailCall(op, skip, times): the next `skip` calls of the operation succeed, then `times`
// calls fail as the platform reports failure (a null handle, 0, FALSE or GDI_ERROR).
enum TestOperation {
    TEST_REGISTER_CLASS,
    TEST_CREATE_WINDOW,
    TEST_GET_DC,
    TEST_CHOOSE_PIXEL_FORMAT,
    TEST_DESCRIBE_PIXEL_FORMAT,
    TEST_GET_PIXEL_FORMAT,
    TEST_SET_PIXEL_FORMAT,
    TEST_WGL_CREATE_CONTEXT,
    TEST_WGL_MAKE_CURRENT,
    TEST_LOCAL_ALLOC,
    TEST_CREATE_PALETTE,
    TEST_SELECT_PALETTE,
    TEST_REALIZE_PALETTE,
    TEST_UNREALIZE_OBJECT,
    TEST_POST_MESSAGE,
    TEST_GET_CURSOR_POS,
    TEST_SWAP_BUFFERS,
    TEST_OPERATION_COUNT
};
void testFailCall(TestOperation op, int skip = 0, int times = 1);
void testClearFaults(void);

// --- System version --------------------------------------------------------------------------
// What GetVersionExA reports from now on on the headless display (the default is a current NT
// system, 10.0).
void testSetVersion(DWORD platformId, DWORD major, DWORD minor);

// --- Message boxes ---------------------------------------------------------------------------
// While recording, MessageBoxA shows nothing and returns IDOK at once; the boxes are kept. The
// headless display takes them (WRENDLE_BACKEND=headless); a real display shows them.
void testRecordMessageBoxes(int on);
int testMessageBoxCount(void);
const char* testMessageBoxText(int index);
const char* testMessageBoxCaption(int index);
void testClearMessageBoxes(void);
// Called for every recorded box, so a test can see where in a sequence of calls it came.
void testSetMessageBoxHook(void (*hook)(const char* text, const char* caption));

// --- Pixel formats ---------------------------------------------------------------------------
// Present this list as the headless display's pixel formats (format n is formats[n - 1]) instead
// of its EGL configurations. Rendering still goes through a real configuration close to the
// chosen description. Count 0 goes back to the real list.
void testPresentPixelFormats(const PIXELFORMATDESCRIPTOR* formats, int count);

// --- Palette display -------------------------------------------------------------------------
// Present the headless display as a palette-based one, and connect it: 256-colour formats that
// carry PFD_NEED_PALETTE or PFD_NEED_SYSTEM_PALETTE, and colour-index formats of 8 and 4 bits,
// while rendering stays true-colour underneath.
void testPresentPaletteDisplay(int on);
// The pixel format numbers of the presented palette display. All draw to a window with OpenGL
// and have a 16-bit depth buffer unless said otherwise; the RGBA ones carry PFD_NEED_PALETTE.
enum TestPaletteFormat {
    TEST_FORMAT_RGB332_DOUBLE = 1, // red 3 bits at 0, green 3 at 3, blue 2 at 6
    TEST_FORMAT_RGB332_SINGLE,
    TEST_FORMAT_RGB332_DEEP,   // double-buffered, 24-bit depth and 8-bit stencil
    TEST_FORMAT_RGB332_SYSTEM, // double-buffered, with PFD_NEED_SYSTEM_PALETTE
    TEST_FORMAT_BGR233_DOUBLE, // blue 2 bits at 0, green 3 at 2, red 3 at 5
    TEST_FORMAT_INDEX8_DOUBLE,
    TEST_FORMAT_INDEX8_SINGLE,
    TEST_FORMAT_INDEX4_DOUBLE,
    TEST_PALETTE_FORMAT_COUNT = TEST_FORMAT_INDEX4_DOUBLE
};
// While on, SetSystemPaletteUse refuses (returns SYSPAL_ERROR) and changes nothing.
void testRefuseSystemPaletteUse(int on);
// The system palette as the last realizations left it (256 entries).
void testGetSystemPalette(PALETTEENTRY entries[256]);
// Realizations (RealizePalette calls that succeeded) and broadcasts since the last reset.
int testRealizeCount(void);
int testBroadcastCount(void);
// Puts the system colours, the system palette and its use back to the standard start, sets the
// realization and broadcast counts to 0 and stops refusing SetSystemPaletteUse.
void testResetSystemColours(void);

// --- Focus -----------------------------------------------------------------------------------
// The display gives the keyboard focus to the window, or takes it away (to another program's
// window), as a click or the window manager does.
void testGiveFocus(HWND window, int focused);

// --- Registry (the headless display's) -------------------------------------------------------
// Values under HKEY_CURRENT_USER; a key exists once a value has been put into it.
void testSetRegistryValue(const char* subKey, const char* name, DWORD type, const char* data);
void testClearRegistry(void);

// --- Input -----------------------------------------------------------------------------------
// Input given to a window as a display gives it, through the layer's input functions: keys by
// keysym (X's numbers) on a US keyboard, whose Shift, Control, Alt and Caps Lock count for the
// keys after them; and the pointer in the window's client coordinates, its buttons numbered as X
// numbers them (1 left, 2 middle, 3 right). Outside the client area the pointer reaches only the
// window holding the capture. Each returns 0, and gives nothing, when the window is gone or the
// queue has no room (as a display keeps events then); call again once the queue has been read.
int testKey(HWND window, unsigned long keysym, int down);
int testPointerMove(HWND window, int x, int y);
int testPointerButton(HWND window, int button, int down);
// The close box, as a window manager reports it.
int testCloseBox(HWND window);
// Every key and button up, Caps Lock off, the pointer at the screen's origin; nothing is sent.
void testReleaseInput(void);
