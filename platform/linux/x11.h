// Shared inside the Linux platform layer: the X connection, the window records that the
// window code keeps, the GL side's hooks into them, the X error trap and fault injection.
#pragma once

#include "platform/testctl.h"
#include "platform/win32.h"

#include <X11/Xlib.h>

// The layer's one X connection, opened on first use; null when no display can be opened (said
// once on standard error, naming the display).
Display* x11Display(void);

// The program's name as X programs give it: the last part of the path it was started by, else of
// its executable. It is the instance part of every window's WM_CLASS and starts its messages.
const char* x11ProgramName(void);
// Gives an X window the identity a desktop expects of a program's window: WM_CLASS (the program
// name and the given class), WM_CLIENT_MACHINE and _NET_WM_PID.
void x11SetIdentity(Display* display, Window xwindow, const char* className);

// The X window that is the client area of a window handle; 0 when the handle names no window.
Window x11WindowOf(HWND window);
// The window that a device context from GetDC belongs to; null when the DC is not one.
HWND x11WindowOfDc(HDC dc);

// Extra X windows that belong to a window handle (the GL child window that carries a pixel
// format's visual): events for them are delivered as the owning window's own.
void x11AttachChild(HWND window, Window child);
void x11DetachChild(HWND window, Window child);

// Called by the window code so that the GL side can follow its windows: a new client size, and
// a window about to be destroyed (its GL child and any context state must go first).
void glxWindowResized(HWND window, int width, int height);
void glxWindowDestroyed(HWND window);

// X protocol errors between the two calls are caught instead of ending the program; the end
// call syncs with the server and returns the first error code caught (0: none).
void x11BeginErrorTrap(void);
int x11EndErrorTrap(void);

// Fault injection (see testFailCall): true when this call of the operation is to fail.
bool platformShouldFail(TestOperation op);

// --- Inside the window code ------------------------------------------------------------------
// Everything below is shared by the x11_*.cpp files and the message box only.

const int X11_MAX_WINDOWS = 16;
const int X11_MAX_CHILDREN = 4;

// The connection and what was learnt about the server when it was opened.
struct X11Connection {
    Display* display = nullptr;
    bool tried = false;
    int screen = 0;
    Window root = 0;
    bool detectableRepeat = false;
    Atom wmProtocols = 0;
    Atom wmDeleteWindow = 0;
    Atom wmState = 0;
    Atom netWmPing = 0;
    Atom netWmName = 0;
    Atom utf8String = 0;
    Atom netWmWindowType = 0;
    Atom netWmWindowTypeDialog = 0;
    Atom netSupportingWmCheck = 0;
    int trapDepth = 0;
    int trapError = 0;
};
extern X11Connection x11;

// One window handle. The X window is exactly the client area; the window manager draws the
// frame. Positions are the client origin in root coordinates.
struct X11Window {
    bool used = false;
    bool destroying = false;
    bool shown = false;    // ShowWindow made it visible (not hidden, may be minimised)
    bool viewable = false; // the server reported it mapped
    bool minimized = false;
    bool active = false;
    bool paintPending = false;
    bool disabled = false;    // owner of an open message box: its input is dropped
    bool sizePending = false; // an overlapped window's WM_SIZE and WM_MOVE wait for its first show
    unsigned generation = 0;
    HWND handle = nullptr;
    Window xwindow = 0;
    Window children[X11_MAX_CHILDREN] = {};
    WNDPROC proc = nullptr;
    DWORD style = 0; // decides the frame that outer rectangles add to the client area
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The record of a live window handle (being destroyed counts as live), or null.
X11Window* x11Record(HWND window);
// The record whose X window, or one of its attached children, is this X window.
X11Window* x11RecordOfXWindow(Window xwindow);
// Every record slot, for walking all windows (unused slots have `used` false).
X11Window* x11Records(void);

// The device context of a window (what GetDC gives), without fault injection.
HDC x11DcOf(HWND window);

// Calls the window procedure at once, as SendMessage does; 0 when the window is gone.
LRESULT x11Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The queue. Input messages carry the X key state and keycode that made them.
bool x11QueuePosted(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool x11QueueInput(const MSG* msg, unsigned xState, unsigned keycode);
// Drops everything queued for a window that is going away.
void x11PurgeWindow(HWND window);
// Reads every event the server has sent and turns it into messages.
void x11PumpEvents(void);
// Waits in poll() on the connection until it is readable or the timeout (ms, -1: none) ends.
void x11WaitForEvents(int timeoutMs);
// Takes the next message in Win32's order; with allowQuit false a pending quit is left alone.
bool x11TakeMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, bool remove,
                    bool allowQuit);
// Events for X windows that are no window handle's go here first (the message box's window);
// the handler returns true when it took the event.
void x11SetForeignEventHandler(bool (*handler)(XEvent* event));

// Input, from x11_input.cpp: key and button events become messages; GetKeyState's record is
// brought up to date as input messages are taken from the queue.
void x11TranslateKeyEvent(X11Window* record, XKeyEvent* event);
void x11TranslatePointerEvent(X11Window* record, XEvent* event);
void x11NoteInputTaken(const MSG* msg, unsigned xState, unsigned keycode);
void x11ForgetKeys(void);
void x11CaptureLost(HWND window);

// Whether a window manager runs (it owns WM_Sn or announces itself on the root window).
bool x11WindowManagerRuns(void);

// Maps a window and waits (bounded) until the server reports it viewable.
void x11MapAndWait(Window xwindow);

// Broadcasts (PostMessage or SendMessage to HWND_BROADCAST) since the last reset.
void platformResetBroadcastCount(void);
