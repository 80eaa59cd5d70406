// Inside the X11 backend (Xlib + GLX): the connection and what was learnt about the server, the
// X part of a window record, the error trap, and what the backend's files share.
#pragma once

#include "platform/emulated/backend.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>

const int X11_ERROR_TEXT = 160;

// The connection and what was learnt about the server when it was opened.
struct X11Connection {
    Display* display;
    int screen;
    Window root;
    bool detectableRepeat;
    // Finds the window record or message box of an X window without a search.
    XContext windowContext;
    XContext boxContext;
    Atom wmProtocols;
    Atom wmDeleteWindow;
    Atom wmState;
    Atom netWmPing;
    Atom netWmPid;
    Atom netWmName;
    Atom utf8String;
    Atom netWmWindowType;
    Atom netWmWindowTypeDialog;
    Atom netSupportingWmCheck;
    // The requests that began and ended the last capture. Events are read some time after
    // the server made them, so each is judged by the capture held when it was made: its
    // serial is the last request the server had processed then.
    HWND spanWindow;
    unsigned long spanStart;
    unsigned long spanEnd;
    bool spanOpen;
    int trapDepth;
    // The first protocol error inside the current trap, and the last one caught by any trap:
    // its code and Xlib's text for it.
    int trapError;
    int lastError;
    char lastErrorText[X11_ERROR_TEXT];
};
extern X11Connection x11;
extern const Backend x11Backend;

// The X part of a window record. The X window is the client area; the GL child window carries
// the chosen configuration's visual over it (X fixes a window's visual at its creation, Win32
// sets the pixel format afterwards).
struct X11Window {
    bool gone; // another client destroyed the X window: no request may name it
    Window xwindow;
    Window glChild;
    Colormap colormap;
    GLXFBConfig config;
};
X11Window* x11Part(WindowRecord* window);

// The layer's one X connection (the backend connected on first use); null without a display.
Display* x11Display(void);

// Gives an X window the identity a desktop expects of a program's window: WM_CLASS (the program
// name, programName(), and the given class), WM_CLIENT_MACHINE and _NET_WM_PID.
void x11SetIdentity(Display* display, Window xwindow, const char* className);
// The X window that is the client area of a window handle; 0 when the handle names no window.
Window x11WindowOf(HWND window);

// X protocol errors between the two calls are caught instead of ending the program; the end
// call syncs with the server and returns the first error code caught (0: none). The text of
// the last error caught stays readable.
void x11BeginErrorTrap(void);
int x11EndErrorTrap(void);
const char* x11ErrorText(void);

// Whether a window manager runs (it owns WM_Sn or announces itself on the root window).
bool x11WindowManagerRuns(void);
// Whether some client owns the window manager's selection WM_Sn: only then is WM_STATE on a
// window a window manager's word rather than any client's.
bool x11WindowManagerOwnsSelection(void);
// Maps a window and waits (bounded) until the server reports it viewable; true when it did.
bool x11MapAndWait(Window xwindow);
// Events: every one the server has sent while the queue has room, or a wait for them.
void x11PumpEvents(void);
void x11WaitForEvents(int timeoutMs);
void x11HandleEvent(XEvent* event);
// The event of a message box's window; false when the window is no box's.
bool x11BoxEvent(XEvent* event);
// Answers a window manager's _NET_WM_PING.
void x11AnswerPing(const XClientMessageEvent* event);
// The modifiers and virtual key of X key events (keyboard.cpp).
unsigned x11Modifiers(unsigned state);
WPARAM x11HeldFlags(unsigned state);
int x11VirtualKey(unsigned keycode, unsigned state);
int x11Characters(unsigned keycode, unsigned state, unsigned char* out, int capacity);

// The backend's operations, by file.
bool x11CreateWindow(WindowRecord* window, const char* className, const char* titleUtf8,
                     const char* titleLatin1);
void x11DestroyWindow(WindowRecord* window);
void x11ShowWindow(WindowRecord* window);
void x11HideWindow(WindowRecord* window);
void x11MinimizeWindow(WindowRecord* window);
bool x11MoveWindow(WindowRecord* window);
void x11FocusWindow(WindowRecord* window);
bool x11CursorPosition(POINT* point);
bool x11GrabPointer(WindowRecord* window);
void x11RideImplicitGrab(WindowRecord* window);
void x11UngrabPointer(bool endedAlready);
// Whether an event with this serial was made while this window held the capture.
bool x11CapturedAt(const WindowRecord* window, unsigned long serial);
int glxFormatCount(void);
const PIXELFORMATDESCRIPTOR* glxDescribeFormat(int number);
bool glxSetFormat(WindowRecord* window, int number);
void glxResizeSurface(WindowRecord* window);
void glxDestroySurface(WindowRecord* window);
bool glxCreateContext(WindowRecord* window, NativeContext* out);
bool glxMakeCurrent(WindowRecord* window, const NativeContext* context);
void glxDeleteContext(const NativeContext* context);
bool glxSwapBuffers(WindowRecord* window);
bool x11OpenBox(BoxSurface* box, WindowRecord* owner, const char* text, const char* caption);
void x11CloseBox(BoxSurface* box);
