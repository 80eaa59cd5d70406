// The X11 backend's native windows: creation with the hints a window manager reads, mapping and
// waiting for it, iconifying, moving, focus, and the pointer's position and grab.
#include "platform/emulated/x11/x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <unistd.h>

namespace {

// How long a map may take before the program goes on without it: a window manager may keep
// the window unmapped, and that must not hang us.
const long MAP_WAIT_MS = 1000;
const int MAP_POLL_MS = 20;

void setTitle(Display* display, Window xwindow, const char* utf8, const char* latin1) {
    if (latin1 != nullptr) {
        XChangeProperty(display, xwindow, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                        (const unsigned char*)latin1, (int)std::strlen(latin1));
    } else {
        XChangeProperty(display, xwindow, XA_WM_NAME, x11.utf8String, 8, PropModeReplace,
                        (const unsigned char*)utf8, (int)std::strlen(utf8));
    }
    XChangeProperty(display, xwindow, x11.netWmName, x11.utf8String, 8, PropModeReplace,
                    (const unsigned char*)utf8, (int)std::strlen(utf8));
}

void setHints(Display* display, Window xwindow, const char* className, const WindowRecord* window) {
    XSizeHints* size = XAllocSizeHints();
    if (size != nullptr) {
        // The position was asked for by the program; window managers honour USPosition. Static
        // gravity makes them put the frame around the client area where it is, so that the
        // client origin is the one asked for rather than the frame's corner.
        size->flags = USPosition | USSize | PPosition | PSize | PWinGravity;
        size->win_gravity = StaticGravity;
        size->x = window->x;
        size->y = window->y;
        size->width = window->width;
        size->height = window->height;
        XSetWMNormalHints(display, xwindow, size);
        XFree(size);
    }
    XWMHints* wm = XAllocWMHints();
    if (wm != nullptr) {
        wm->flags = InputHint | StateHint;
        wm->input = True;
        wm->initial_state = NormalState;
        XSetWMHints(display, xwindow, wm);
        XFree(wm);
    }
    // The instance is the program's name and the class the window class, so that a desktop
    // entry's StartupWMClass names the class and docks match the window to the entry.
    x11SetIdentity(display, xwindow, className);
    // Without WM_DELETE_WINDOW a window manager kills the connection on the close box.
    Atom protocols[2] = {x11.wmDeleteWindow, x11.netWmPing};
    XSetWMProtocols(display, xwindow, protocols, 2);
}

long elapsedSince(const timespec& start) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
}

} // namespace

bool x11CreateWindow(WindowRecord* window, const char* className, const char* titleUtf8,
                     const char* titleLatin1) {
    Display* display = x11.display;
    X11Window* part = new (window->native) X11Window();
    XSetWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof(attributes));
    attributes.background_pixel = BlackPixel(display, x11.screen);
    attributes.border_pixel = 0;
    attributes.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | ExposureMask | StructureNotifyMask |
                            FocusChangeMask | PropertyChangeMask;
    x11BeginErrorTrap();
    Window xwindow =
        XCreateWindow(display, x11.root, window->x, window->y, (unsigned)window->width,
                      (unsigned)window->height, 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    if (xwindow != 0) {
        setHints(display, xwindow, className, window);
        setTitle(display, xwindow, titleUtf8, titleLatin1);
    }
    int error = x11EndErrorTrap();
    if (xwindow == 0 || error != 0) {
        if (xwindow != 0) {
            x11BeginErrorTrap();
            XDestroyWindow(display, xwindow);
            x11EndErrorTrap();
        }
        return false;
    }
    part->xwindow = xwindow;
    XSaveContext(display, xwindow, x11.windowContext, (XPointer)window);
    return true;
}

// Late events of the X window find no record any more and are dropped.
void x11DestroyWindow(WindowRecord* window) {
    X11Window* part = x11Part(window);
    XDeleteContext(x11.display, part->xwindow, x11.windowContext);
    if (!part->gone) {
        x11BeginErrorTrap();
        XDestroyWindow(x11.display, part->xwindow);
        x11EndErrorTrap();
    }
    *part = X11Window();
}

void x11ShowWindow(WindowRecord* window) {
    if (x11MapAndWait(x11Part(window)->xwindow)) {
        inputMapped(window);
    }
}

void x11HideWindow(WindowRecord* window) {
    x11BeginErrorTrap();
    XUnmapWindow(x11.display, x11Part(window)->xwindow);
    x11EndErrorTrap();
}

// A window manager iconifies; without one the window is unmapped here.
void x11MinimizeWindow(WindowRecord* window) {
    Window xwindow = x11Part(window)->xwindow;
    x11BeginErrorTrap();
    if (window->viewable) {
        XIconifyWindow(x11.display, xwindow, x11.screen);
    }
    if (!x11WindowManagerRuns()) {
        XUnmapWindow(x11.display, xwindow);
    }
    x11EndErrorTrap();
}

bool x11MoveWindow(WindowRecord* window) {
    x11BeginErrorTrap();
    XMoveResizeWindow(x11.display, x11Part(window)->xwindow, window->x, window->y,
                      (unsigned)window->width, (unsigned)window->height);
    return x11EndErrorTrap() == 0;
}

void x11FocusWindow(WindowRecord* window) {
    if (!window->viewable) {
        return;
    }
    x11BeginErrorTrap();
    XSetInputFocus(x11.display, x11Part(window)->xwindow, RevertToParent, CurrentTime);
    x11EndErrorTrap();
}

bool x11WindowManagerOwnsSelection(void) {
    char name[32];
    std::snprintf(name, sizeof(name), "WM_S%d", x11.screen);
    return XGetSelectionOwner(x11.display, XInternAtom(x11.display, name, False)) != None;
}

bool x11WindowManagerRuns(void) {
    Display* display = x11.display;
    if (x11WindowManagerOwnsSelection()) {
        return true;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, x11.root, x11.netSupportingWmCheck, 0, 1, False, XA_WINDOW, &type,
                       &format, &count, &after, &data);
    bool found = data != nullptr && count > 0;
    if (data != nullptr) {
        XFree(data);
    }
    return found;
}

bool x11MapAndWait(Window xwindow) {
    Display* display = x11.display;
    x11BeginErrorTrap();
    XMapRaised(display, xwindow);
    x11EndErrorTrap();
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        XEvent event;
        if (XCheckTypedWindowEvent(display, xwindow, MapNotify, &event)) {
            return true;
        }
        XWindowAttributes attributes;
        x11BeginErrorTrap();
        Status ok = XGetWindowAttributes(display, xwindow, &attributes);
        int error = x11EndErrorTrap();
        if (ok == 0 || error != 0) {
            return false;
        }
        if (attributes.map_state == IsViewable) {
            return true;
        }
        long elapsed = elapsedSince(start);
        if (elapsed >= MAP_WAIT_MS) {
            return false;
        }
        x11WaitForEvents(
            (int)(MAP_WAIT_MS - elapsed < MAP_POLL_MS ? MAP_WAIT_MS - elapsed : MAP_POLL_MS));
    }
}

bool x11CursorPosition(POINT* point) {
    Window root = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int x = 0;
    int y = 0;
    unsigned mask = 0;
    x11BeginErrorTrap();
    Bool ok = XQueryPointer(x11.display, x11.root, &root, &child, &rootX, &rootY, &x, &y, &mask);
    int error = x11EndErrorTrap();
    if (!ok || error != 0) {
        return false;
    }
    point->x = rootX;
    point->y = rootY;
    return true;
}

// An active pointer grab: the server refuses it while the window is not viewable or another
// client holds a grab.
namespace {

// A capture begins at the request with this serial. Taken again by the same window (every
// press does it), the capture goes on unbroken.
void openCaptureSpan(const WindowRecord* window, unsigned long serial) {
    if (!x11.spanOpen || x11.spanWindow != window->handle) {
        x11.spanWindow = window->handle;
        x11.spanStart = serial;
    }
    x11.spanOpen = true;
}

} // namespace

bool x11GrabPointer(WindowRecord* window) {
    unsigned long serial = NextRequest(x11.display);
    x11BeginErrorTrap();
    int status = XGrabPointer(x11.display, x11Part(window)->xwindow, False,
                              ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                              GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    int error = x11EndErrorTrap();
    if (status != GrabSuccess || error != 0) {
        return false;
    }
    openCaptureSpan(window, serial);
    return true;
}

// No request marks where this capture begins: every event the server makes from now on
// carries at least the last request it is known to have processed.
void x11RideImplicitGrab(WindowRecord* window) {
    openCaptureSpan(window, LastKnownRequestProcessed(x11.display));
}

void x11UngrabPointer(bool endedAlready) {
    if (x11.spanOpen) {
        x11.spanOpen = false;
        x11.spanEnd = NextRequest(x11.display);
    }
    if (endedAlready) {
        // The span's end needs a request of its own so that events of a later press are told
        // from this capture's; it is sent, not waited for.
        XNoOp(x11.display);
        XFlush(x11.display);
        return;
    }
    // A round trip, not a flush: when the call returns the server has ended the grab (an
    // implicit one too, while a button is still held), so no other client can still find the
    // pointer held by this one.
    XUngrabPointer(x11.display, CurrentTime);
    XSync(x11.display, False);
}

bool x11CapturedAt(const WindowRecord* window, unsigned long serial) {
    return x11.spanWindow == window->handle && serial >= x11.spanStart &&
           (x11.spanOpen || serial < x11.spanEnd);
}
