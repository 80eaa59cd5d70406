// Input injected as a user's would come: XTest on an X server; wtype and the test pointer client
// (wrendle-vpointer) under a Wayland compositor; the test controls' input on the headless backend
// (WRENDLE_BACKEND=headless), where keys go to the window with the focus and the pointer to the
// target window. Positions are client coordinates of the window found last.
#pragma once

#include "platform/win32.h"
#include "tests/support/support.h"

// Opens the injection for the display system the environment names. On Wayland `appId` is the
// beginning of the app_id that finds the program's window in sway's tree. False when it cannot.
bool injectOpen(const char* appId);
void injectClose(void);
// "x11", "wayland" or "headless": tests name their backend in their output.
const char* injectBackendName(void);
bool injectOnHeadless(void);
// The window the pointer's input goes to on the headless backend; elsewhere the display decides
// and this only names the window for injectFindWindow.
void injectTarget(HWND window);
// The injection's own X connection (null on Wayland), for what only X offers.
Display* injectXDisplay(void);

// Finds the window's client origin: on X11 from the server, through the X window; on Wayland
// from sway's tree, waiting (bounded) until a window of that size is there; on headless it is
// the target window's own (positions need no origin there).
bool injectFindWindow(unsigned long xWindow, int width, int height);
void injectOrigin(int* x, int* y);
// Takes the client origin as the caller found it.
void injectSetOrigin(int x, int y);

// Keys by keysym, as a US keyboard types them: with Shift held a key gives its shifted symbol.
// On Wayland each call is noted and sent at injectSync, keys through one wtype run; a modifier
// held across two syncs is let go at the first (wtype's keyboard goes with its process).
void injectKey(unsigned long keysym, bool down);
void injectTap(unsigned long keysym);
// Printable ASCII; on Wayland in one wtype run.
void injectText(const char* text);
// The pointer, in client coordinates; X's button numbers (1 left, 2 middle, 3 right).
void injectPointerTo(int x, int y);
void injectButton(unsigned button, bool down);
// Sends what was noted; when it returns, the server or compositor has the events.
void injectSync(void);
// Sends what was noted while the caller goes on: on X11 at once (the server keeps what the
// program has not read); on Wayland from a thread of its own, since a compositor ends a
// client that leaves a storm of input unread. injectSent tells when it is all sent;
// injectWait waits for that.
void injectStart(void);
bool injectSent(void);
void injectWait(void);
// Lets go of every button and modifier the injection holds.
void injectReleaseAll(void);

// From outside the program: a resize of its window (XResizeWindow; swaymsg's resize), and the
// close box. The close box may be pressed from another thread, except on headless.
void injectResize(unsigned long xWindow, int width, int height);
void injectCloseBox(unsigned long xWindow);
