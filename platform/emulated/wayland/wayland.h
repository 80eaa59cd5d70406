// Inside the Wayland backend (wayland-client, xdg-shell, EGL, xkbcommon): the connection and the
// globals it bound, the seat's state, the Wayland part of each window, and what the files share.
#pragma once

#include "platform/emulated/backend.h"

#include <EGL/egl.h>
#include <libdecor.h>
#include <wayland-client.h>
#include <wayland-egl.h>
#include <xkbcommon/xkbcommon.h>

#include "protocols/xdg-decoration-unstable-v1.h"
#include "protocols/xdg-shell.h"

const int WAYLAND_ERROR_TEXT = 320;
const int WAYLAND_TITLE_BYTES = 256;

// The Wayland part of a window. The wl_surface lives as long as the window; the xdg-shell
// objects that give it a place on the desktop exist while it is shown: its own, or a libdecor
// frame's (which owns them) where the compositor draws no decorations.
struct WaylandWindow {
    wl_surface* surface;
    xdg_surface* shellSurface;
    xdg_toplevel* toplevel;
    zxdg_toplevel_decoration_v1* decoration;
    libdecor_frame* frame;
    bool configured; // the compositor's first configure since the toplevel was made
    // The last configure's suggestion, taken when its xdg_surface.configure arrives.
    int suggestedWidth;
    int suggestedHeight;
    bool suggestedActivated;
    bool suggestedResizing; // the user drags the window's edge: the compositor decides the size
    bool suggestedFilling;  // maximised or fullscreen: the same, until the state ends
    // The state the window is in (maximised or fullscreen), and the size it had before, which it
    // takes again when that state ends, as Win32's restore does.
    bool filling;
    int restoreWidth;
    int restoreHeight;
    // The compositor answered the request for server-side decorations with client-side ones:
    // the window is decorated through libdecor from its next configure on.
    bool clientSideAsked;
    wl_egl_window* eglWindow;
    EGLSurface eglSurface;
    EGLConfig config;
    char title[WAYLAND_TITLE_BYTES];
};

// The seat's keyboard and the client-side key repeat it asks for.
struct WaylandKeyboard {
    wl_keyboard* keyboard;
    xkb_context* context;
    xkb_keymap* keymap;
    xkb_state* state;
    WindowRecord* focus;
    wl_surface* focusSurface; // also a message box's, which has no window record
    int repeatRate;           // keys a second; 0: no repeat
    int repeatDelay;          // ms before the first repeat
    unsigned repeatKey;       // evdev code of the key repeating, with repeatHeld
    bool repeatHeld;
    long long repeatDue; // monotonic ms of the next repeat
};

// The seat's pointer: the surface under it, its position there, and the buttons held.
struct WaylandPointer {
    wl_pointer* pointer;
    WindowRecord* focus;
    wl_surface* focusSurface; // also a message box's, which has no window record
    int x;
    int y;
    WPARAM held; // MK_ button flags
};

struct WaylandConnection {
    wl_display* display;
    wl_registry* registry;
    wl_compositor* compositor;
    xdg_wm_base* wmBase;
    zxdg_decoration_manager_v1* decorations;
    libdecor* decor; // made at the first window that needs it
    bool decorFailed;
    bool decorMissingSaid; // the line that says no libdecor plugin is installed, said once
    wl_seat* seat;
    wl_shm* shm;
    wl_output* output;
    int outputWidth;
    int outputHeight;
    EGLDisplay egl;
    WaylandKeyboard keys;
    WaylandPointer mouse;
    WaylandWindow windows[MAX_WINDOWS];
    char appId[64];
    char errorText[WAYLAND_ERROR_TEXT];
};
extern WaylandConnection wl;
extern const Backend waylandBackend;

WaylandWindow* waylandPart(const WindowRecord* window);
// The window record whose surface this is; null for a surface of no live window.
WindowRecord* waylandRecordOf(wl_surface* surface);
// Ends the program when the compositor is gone: a lost display ends it as on X11.
void waylandCheckConnection(int result);
long long waylandNowMs(void);

// Windows (window.cpp).
bool waylandCreateWindow(WindowRecord* window, const char* className, const char* titleUtf8,
                         const char* titleLatin1);
void waylandDestroyWindow(WindowRecord* window);
void waylandShowWindow(WindowRecord* window);
void waylandHideWindow(WindowRecord* window);
void waylandMinimizeWindow(WindowRecord* window);
bool waylandMoveWindow(WindowRecord* window);
void waylandFocusWindow(WindowRecord* window);
// libdecor's callbacks for a frame, in its record; the popups it may dismiss are none of ours.
libdecor_frame_interface waylandFrameInterface(void (*configure)(libdecor_frame*,
                                                                 libdecor_configuration*, void*),
                                               void (*close)(libdecor_frame*, void*),
                                               void (*commit)(libdecor_frame*, void*));
// True when toplevels are decorated through libdecor: the compositor draws no decorations.
bool waylandUsesLibdecor(void);
// libdecor, made at the first call; false (said once on standard error) when none can decorate
// a window, so the window has a plain toplevel without a title bar.
bool waylandLibdecorReady(void);
// What a window does with a configure's state: the size it takes, if any (false: it keeps its
// own). Entering maximised or fullscreen keeps the size to go back to; leaving it goes back.
bool waylandSizeAfterConfigure(WaylandWindow* part, const WindowRecord* window, bool filling,
                               bool userSizing, int suggestedWidth, int suggestedHeight, int* width,
                               int* height);
// The window's xdg_toplevel while it is shown (null otherwise), its own or its frame's.
xdg_toplevel* waylandToplevel(WaylandWindow* part);
// A window without a GL surface shows black, as an X window's background does: a compositor
// shows no surface without a buffer.
void waylandShowBlank(WindowRecord* window);

// The seat (input.cpp).
void waylandBindSeat(wl_seat* seat);
void waylandReleaseSeat(void);
// Input reaches the core in arrival order, waiting in the backend while the queue is full:
// activation changes go the same way, so keys read before a focus change are not taken after
// it. The pump hands on what waits (true when nothing is left) and reads only while there is
// room for what a read brings.
void waylandInputFocus(WindowRecord* window, bool focused);
bool waylandHandOnPending(void);
bool waylandInputWaits(void);
bool waylandRoomToRead(void);
// Key repeat made by the client: the repeats due now, and how long until the next one (ms,
// -1: none pending).
void waylandRepeatKeys(void);
int waylandRepeatWaitMs(void);
bool waylandCursorPosition(POINT* point);
bool waylandGrabPointer(WindowRecord* window);
void waylandRideImplicitGrab(WindowRecord* window);
void waylandUngrabPointer(bool endedAlready);

// Message boxes (msgbox.cpp): the open box whose surface this is (null for none), and the keys
// and the left button's clicks that the seat sends it.
bool waylandOpenBox(BoxSurface* box, WindowRecord* owner, const char* text, const char* caption);
void waylandCloseBox(BoxSurface* box);
BoxSurface* waylandBoxOf(wl_surface* surface);
void waylandBoxKey(BoxSurface* box, xkb_keysym_t keysym);
void waylandBoxButton(BoxSurface* box, bool left, bool press, int x, int y);

// OpenGL through EGL (egl.cpp).
bool wlEglConnect(void);
int wlEglFormatCount(void);
const PIXELFORMATDESCRIPTOR* wlEglDescribeFormat(int number);
bool wlEglSetFormat(WindowRecord* window, int number);
void wlEglResizeSurface(WindowRecord* window);
void wlEglDestroySurface(WindowRecord* window);
bool wlEglCreateContextFor(WindowRecord* window, NativeContext* out);
bool wlEglMakeCurrentOn(WindowRecord* window, const NativeContext* context);
void wlEglDeleteContext(const NativeContext* context);
bool wlEglSwap(WindowRecord* window);
