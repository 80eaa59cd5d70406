// Inside the emulated Win32 core: the window record, the queue's storage, the input functions
// that a display backend feeds, and the parts of GDI, text and error reporting shared between
// the core's files. Nothing here knows which display backend runs.
#pragma once

#include "platform/emulated/core/hook.h"
#include "platform/win32.h"

#include <cstddef>
#include <cstdint>

const int MAX_WINDOWS = 16;
// Where Win32 parks a minimised window; WM_MOVE reports it as the client origin meanwhile.
const int MINIMIZED_ORIGIN = -32000;

// Bytes of a window record kept for the backend's own part (native window, GL surface).
const size_t NATIVE_WINDOW_BYTES = 64;

// The palette state of a device context: the palette selected into it and how it realizes.
struct DcPart {
    int paletteSlot; // 0: the stock palette
    bool background;
};

// One window handle, whole: the Win32 state, the GL part, the DC part and the backend's part.
// The native window is exactly the client area; a window manager draws the frame. Positions
// are the client origin in screen coordinates.
struct WindowRecord {
    bool used;
    bool destroying;
    bool shown;    // ShowWindow made it visible (not hidden, may be minimised)
    bool viewable; // the display reported it mapped
    bool minimized;
    bool active;
    bool paintPending;
    bool disabled;    // owner of an open message box: its input is dropped
    bool sizePending; // an overlapped window's WM_SIZE and WM_MOVE wait for its first show
    int slot;
    unsigned generation;
    HWND handle;
    WNDPROC proc;
    DWORD style; // decides the frame that outer rectangles add to the client area
    int x;
    int y;
    int width;
    int height;
    int pixelFormat; // the GL part: 0 until SetPixelFormat
    DcPart dc;
    alignas(std::max_align_t) unsigned char native[NATIVE_WINDOW_BYTES];
};

// --- Windows (window.cpp) ---------------------------------------------------------------------

// The record of a live window handle (being destroyed counts as live), or null.
WindowRecord* windowRecord(HWND window);
// Every record slot, for walking all windows (unused slots have `used` false).
WindowRecord* windowRecords(void);
// The window that a device context from GetDC names; null for any other DC.
WindowRecord* windowOfDc(HDC dc);
HDC dcOfWindow(const WindowRecord* window);
// The DC part of a window, screen or memory DC; null when the handle names none.
DcPart* dcPart(HDC dc);
// Calls the window procedure at once, as SendMessage does; 0 when the window is gone.
LRESULT sendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// --- The queue (queue.cpp) --------------------------------------------------------------------

// A queued input message, with what the key or pointer event carried for the key state and
// TranslateMessage.
struct InputEntry {
    MSG msg;
    unsigned keycode;            // the key's scan data (X keycode numbering), 0 for pointer input
    unsigned modifiers;          // KEY_ flags at the event
    unsigned char characters[8]; // what a key press types on the active layout
    int characterCount;
    bool stale;    // read before the focus was lost: held keys it names were let go elsewhere
    unsigned grab; // for buttons: what the event did to the display's implicit grab (GRAB_)
};

// A real press starts the display's implicit pointer grab (or runs under ours); the real
// release of the last button ends it. Synthetic events, sent by any client, do neither.
const unsigned GRAB_STARTS = 1u;
const unsigned GRAB_ENDS = 2u;

bool queuePosted(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool queueInput(const InputEntry* entry);
// Whether the queue can take a batch of events now; a nearly full queue leaves events with the
// display, so a storm of input is delayed rather than lost (a lost key release would leave a
// key held for good).
bool queueHasRoom(void);
// Drops everything queued for a window that is going away.
void queuePurgeWindow(HWND window);
// Input already queued when the focus is lost will hold no key or button down when taken.
void queueMarkInputStale(void);
// Takes the next message in Win32's order; with allowQuit false a pending quit is left alone.
bool queueTake(MSG* msg, HWND window, UINT filterMin, UINT filterMax, bool remove, bool allowQuit);
MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Reads what the display has sent, or waits for it (timeout in ms, -1: none); nothing without a
// display.
void pumpEvents(void);
void waitForEvents(int timeoutMs);

// --- Input from a backend (input.cpp) ---------------------------------------------------------

// Modifier keys and locks at the time of a key or pointer event.
const unsigned KEY_SHIFT = 1u;
const unsigned KEY_CONTROL = 2u;
const unsigned KEY_ALT = 4u;
const unsigned KEY_CAPS_LOCK = 8u;

// A key event as the backend saw it. The keycode is X's numbering (evdev + 8), which a
// Wayland keymap shares; the virtual key is the active layout's (0: it names none).
struct KeyEvent {
    bool press;
    unsigned keycode;
    int virtualKey;
    unsigned modifiers;
    POINT screen; // the pointer, in screen coordinates
    unsigned char characters[8];
    int characterCount;
    // The keymap that named the key is the one it was typed on, whatever key code it came
    // with (a virtual keyboard sends its keys on codes of its own choosing): the US layout
    // stands in by key code only where that keymap names no key.
    bool keymapNamesKey;
};
void inputKey(WindowRecord* window, const KeyEvent* event);

// A pointer event: position in the client area and on the screen, the MK_ flags held before
// it, and for a button its number (0 left, 1 right, 2 middle).
void inputPointerMove(WindowRecord* window, int x, int y, POINT screen, WPARAM held);
void inputPointerButton(WindowRecord* window, int button, bool press, int x, int y, POINT screen,
                        WPARAM held, unsigned grab);
// Activation given or taken by the display (a window manager, another client).
void inputFocus(WindowRecord* window, bool focused);
void inputMapped(WindowRecord* window);
void inputUnmapped(WindowRecord* window);
void inputMinimized(WindowRecord* window);
// With `takeFocus` (no window manager would give it) the restored window activates itself.
void inputRestored(WindowRecord* window, bool takeFocus);
// The client area's origin (screen coordinates) and size as the display reports them.
void inputConfigured(WindowRecord* window, int x, int y, int width, int height);
void inputExposed(WindowRecord* window);
void inputCloseRequested(WindowRecord* window);

// The virtual key of a character on the US layout's typing block; 0 for none.
int virtualKeyOfCharacter(char c);
// The virtual key of a keysym, as the X protocol numbers keysyms (xkbcommon uses the same
// numbers, so both backends share this); 0 for a key Win32 has no virtual key for.
int virtualKeyOfKeysym(uint32_t keysym);
// Whether LoadKeyboardLayoutA("00000409") asked for the US layout's characters.
bool inputUsesUsLayout(void);
// Keys released while another window had the focus never arrive; leaving them down would keep
// Shift or Control held for good.
void inputForgetKeys(void);
// The window lost the capture (hidden, minimised, destroyed, unmapped): the grab ends.
void inputCaptureLost(HWND window);
// Takes note of an input message taken from the queue, for GetKeyState and TranslateMessage.
void inputTaken(const InputEntry* entry);
// Before the queue is read: a capture kept past the release that ended its implicit grab
// becomes a grab of our own.
void inputKeepCapture(void);

// --- GDI, text and errors ---------------------------------------------------------------------

// The system state that a palette display keeps (gdi.cpp).
void gdiResetSystemPalette(void);
void gdiResetSystemColours(void);
void gdiSystemPalette(PALETTEENTRY entries[256]);
// A palette slot deleted: every DC part holding it falls back to the stock palette.
void gdiForgetPalette(int slot);

// The display's own configurations as pixel formats, numbered from 1 in the order the backend
// adds them. One that reads exactly like a format already listed is left out, so every number
// names a format that a caller can tell apart.
const int MAX_REAL_FORMATS = 256;
struct RealFormats {
    int count;
    void* configs[MAX_REAL_FORMATS];
    PIXELFORMATDESCRIPTOR descriptions[MAX_REAL_FORMATS];
};
void addRealFormat(RealFormats* formats, void* config, const PIXELFORMATDESCRIPTOR* description);
const PIXELFORMATDESCRIPTOR* realFormatDescription(const RealFormats* formats, int number);
// The configuration of a format number; null outside the list.
void* realFormatConfig(const RealFormats* formats, int number);
// A descriptor's field from a count that a display may report out of a byte's range.
BYTE clampByte(int value);
// The closest entry of a list that fits a request, numbered from 1; 0 when none fits.
int chooseFormat(const PIXELFORMATDESCRIPTOR* request, int count,
                 const PIXELFORMATDESCRIPTOR* (*describe)(int number));
// The real format that renders a presented one, numbered from 1 (0: none): the closest true-colour
// format with the same buffering and the same ancillary buffers. Presented palette and
// colour-index formats render in RGBA underneath; only the picture's colours differ.
int chooseFormatForPresented(const PIXELFORMATDESCRIPTOR* presented, int count,
                             const PIXELFORMATDESCRIPTOR* (*describe)(int number));
// The GL part of a window goes (the window is being destroyed): no context stays current on it.
void glWindowDestroyed(WindowRecord* window);

// A message box's layout, the same on every display (msgbox.cpp): the text in lines, broken at
// its newlines and, where a line is wider than the screen allows, at spaces (a single word
// wider than that stays whole); the box sized to the widest line, and the OK button centred
// below the text.
const int BOX_MARGIN = 16;
const int BOX_BUTTON_WIDTH = 72;
const int BOX_BUTTON_HEIGHT = 26;
const int BOX_MAX_LINES = 32;
const int BOX_CAPTION_BYTES = 128;
struct BoxLine {
    int start; // in the box's text
    int length;
};
struct BoxLayout {
    BoxLine lines[BOX_MAX_LINES];
    int lineCount;
    int width;
    int height;
    int buttonX;
    int buttonY;
};
// `textWidth` measures `length` bytes from `start` in the display's font (`font`: what the
// backend needs for that); `lineHeight` is the font's.
void boxLayOut(BoxLayout* layout, const char* text, int screenWidth, int lineHeight,
               int (*textWidth)(const void* font, const char* start, int length), const void* font);
bool boxInsideButton(const BoxLayout* layout, int x, int y);

// Text (text.cpp). Copies with truncation, always terminated; false when the text was cut.
bool copyText(char* out, size_t capacity, const char* text);
// A narrow string is taken as Latin-1 (the ANSI code page's letters where they agree).
void latin1ToUtf8(const char* text, char* out, size_t capacity);
void wideToUtf8(const wchar_t* text, char* out, size_t capacity);

// The program's name as Linux programs give it (system.cpp): the last part of the path it was
// started by, else of its executable. Messages on standard error start with it, and X11 makes it
// the instance part of every window's WM_CLASS.
const char* programName(void);

// The thread's last error (system.cpp), as GetLastError reports it; the functions return
// their argument so that a failure reads `return failWith(ERROR_..., nullptr)`.
void setLastError(DWORD error);
template <typename T> T failWith(DWORD error, T result) {
    setLastError(error);
    return result;
}
