// X events in, Win32 input out: one small handler per event kind, dispatched from one switch,
// each handing what it learnt to the core's input functions; and reading and waiting for
// events on the connection.
#include "platform/emulated/x11/x11.h"

#include <X11/Xutil.h>

#include <cerrno>
#include <cstring>
#include <poll.h>

namespace {

// The window record of an X window (its client area or GL child); null for any other window,
// such as one already destroyed, whose late events are dropped.
WindowRecord* recordOf(Window xwindow) {
    XPointer record = nullptr;
    if (XFindContext(x11.display, xwindow, x11.windowContext, &record) != 0) {
        return nullptr;
    }
    return (WindowRecord*)record;
}

// Without detectable auto-repeat X sends a held key as a release and a press; the release is
// dropped when its press follows within a few milliseconds.
const Time REPEAT_GAP_MS = 2;

bool isRepeatRelease(const XKeyEvent* event) {
    if (x11.detectableRepeat || XEventsQueued(x11.display, QueuedAfterReading) == 0) {
        return false;
    }
    XEvent next;
    XPeekEvent(x11.display, &next);
    return next.type == KeyPress && next.xkey.keycode == event->keycode &&
           next.xkey.window == event->window && next.xkey.time >= event->time &&
           next.xkey.time - event->time <= REPEAT_GAP_MS;
}

void onKey(WindowRecord* window, XKeyEvent* event) {
    bool press = event->type == KeyPress;
    if (!press && isRepeatRelease(event)) {
        return;
    }
    KeyEvent key = KeyEvent();
    key.press = press;
    key.keycode = event->keycode & 0xff;
    key.virtualKey = x11VirtualKey(key.keycode, event->state);
    key.modifiers = x11Modifiers(event->state);
    key.screen.x = event->x_root;
    key.screen.y = event->y_root;
    if (press) {
        key.characterCount =
            x11Characters(key.keycode, event->state, key.characters, (int)sizeof(key.characters));
    }
    inputKey(window, &key);
}

// X's implicit grab sends a held button's events here wherever the pointer goes; a Win32
// window sees what happens outside its client area only while it holds the capture.
bool outsideUncaptured(const WindowRecord* window, unsigned long serial, int x, int y) {
    bool outside = x < 0 || y < 0 || x >= window->width || y >= window->height;
    return outside && !x11CapturedAt(window, serial);
}

void onMotion(WindowRecord* window, XMotionEvent* event) {
    if (outsideUncaptured(window, event->serial, event->x, event->y)) {
        return;
    }
    POINT screen = {event->x_root, event->y_root};
    inputPointerMove(window, event->x, event->y, screen, x11HeldFlags(event->state));
}

void onButton(WindowRecord* window, XButtonEvent* event) {
    int button;
    switch (event->button) {
    case Button1:
        button = 0;
        break;
    case Button3:
        button = 1;
        break;
    case Button2:
        button = 2;
        break;
    default:
        return; // the wheel and extra buttons
    }
    if (outsideUncaptured(window, event->serial, event->x, event->y)) {
        return;
    }
    bool press = event->type == ButtonPress;
    unsigned grab = 0;
    if (!event->send_event) {
        const unsigned buttons =
            Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask;
        unsigned own =
            event->button >= 1 && event->button <= 5 ? Button1Mask << (event->button - 1) : 0;
        if (press) {
            grab = GRAB_STARTS;
        } else if ((event->state & buttons & ~own) == 0) {
            grab = GRAB_ENDS;
        }
    }
    POINT screen = {event->x_root, event->y_root};
    inputPointerButton(window, button, press, event->x, event->y, screen,
                       x11HeldFlags(event->state), grab);
}

// Only the last of a series asks for a paint.
void onExpose(WindowRecord* window, XExposeEvent* event) {
    if (event->count == 0) {
        inputExposed(window);
    }
}

// A real ConfigureNotify is relative to the parent (a window manager's frame); a synthetic one
// is already in root coordinates. Any client can send a synthetic one, so it tells only the
// position: the size comes from the server's own events, never from a claim that could make
// the GL surface larger than memory or smaller than the window.
void onConfigure(WindowRecord* window, XConfigureEvent* event) {
    Window xwindow = x11Part(window)->xwindow;
    if (event->window != xwindow) {
        return;
    }
    int x = event->x;
    int y = event->y;
    if (!event->send_event) {
        Window child = 0;
        x11BeginErrorTrap();
        Bool ok = XTranslateCoordinates(x11.display, xwindow, x11.root, 0, 0, &x, &y, &child);
        int error = x11EndErrorTrap();
        if (!ok || error != 0) {
            x = window->x;
            y = window->y;
        }
    }
    int width = event->send_event ? window->width : event->width;
    int height = event->send_event ? window->height : event->height;
    inputConfigured(window, x, y, width, height);
}

void onMap(WindowRecord* window, XMapEvent* event) {
    if (event->window != x11Part(window)->xwindow) {
        return;
    }
    inputMapped(window);
    // Mapped again by another client: restored (a window manager says so in WM_STATE).
    if (window->minimized && !x11WindowManagerRuns()) {
        inputRestored(window, true);
    }
}

void onUnmap(WindowRecord* window, XUnmapEvent* event) {
    if (event->window != x11Part(window)->xwindow) {
        return;
    }
    inputUnmapped(window);
    // A window manager also unmaps to reparent; only its WM_STATE says iconified. Without one,
    // whoever unmapped a shown window minimised it.
    if (window->shown && !window->minimized && !x11WindowManagerRuns()) {
        inputMinimized(window);
    }
}

long wmStateOf(Window xwindow) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    long state = WithdrawnState;
    x11BeginErrorTrap();
    XGetWindowProperty(x11.display, xwindow, x11.wmState, 0, 2, False, x11.wmState, &type, &format,
                       &count, &after, &data);
    x11EndErrorTrap();
    if (data != nullptr) {
        if (format == 32 && count > 0) {
            state = ((long*)data)[0];
        }
        XFree(data);
    }
    return state;
}

// Any client may write WM_STATE; without a window manager the map state alone decides.
void onProperty(WindowRecord* window, XPropertyEvent* event) {
    Window xwindow = x11Part(window)->xwindow;
    if (event->atom != x11.wmState || event->window != xwindow ||
        !x11WindowManagerOwnsSelection()) {
        return;
    }
    long state = wmStateOf(xwindow);
    if (state == IconicState) {
        inputMinimized(window);
    } else if (state == NormalState && window->minimized) {
        inputRestored(window, !x11WindowManagerRuns());
    }
}

// Focus changes caused by grabs, or moving between our own window and its children, are no
// change of activation. NotifyPointer is one: with the focus at the pointer's root (no window
// manager), keys go to the window under the pointer.
void onFocus(WindowRecord* window, XFocusChangeEvent* event) {
    // A grab (a window manager's switcher) takes the keys without deactivating us, and the
    // releases of keys held now go to the grabber.
    if (event->type == FocusOut && event->mode == NotifyGrab && window->active) {
        inputForgetKeys();
    }
    if (event->mode == NotifyGrab || event->mode == NotifyUngrab) {
        return;
    }
    if (event->detail == NotifyInferior || event->detail == NotifyPointerRoot ||
        event->detail == NotifyDetailNone) {
        return;
    }
    inputFocus(window, event->type == FocusIn);
}

// Another client destroyed the X window (our own DestroyWindow has dropped the record before
// the event comes). The window handle goes as DestroyWindow takes it, with WM_DESTROY and its
// tear-down, so that the program never runs on without a window.
void onDestroy(WindowRecord* window, XDestroyWindowEvent* event) {
    X11Window* part = x11Part(window);
    if (event->window == part->xwindow) {
        part->gone = true;
        DestroyWindow(window->handle);
    }
}

void onClientMessage(WindowRecord* window, XClientMessageEvent* event) {
    if (event->message_type != x11.wmProtocols || event->format != 32) {
        return;
    }
    Atom protocol = (Atom)event->data.l[0];
    if (protocol == x11.wmDeleteWindow) {
        inputCloseRequested(window);
    } else if (protocol == x11.netWmPing) {
        x11AnswerPing(event);
    }
}

} // namespace

void x11AnswerPing(const XClientMessageEvent* event) {
    XEvent reply;
    std::memset(&reply, 0, sizeof(reply));
    reply.xclient = *event;
    reply.xclient.window = x11.root;
    x11BeginErrorTrap();
    XSendEvent(x11.display, x11.root, False, SubstructureNotifyMask | SubstructureRedirectMask,
               &reply);
    x11EndErrorTrap();
}

void x11HandleEvent(XEvent* event) {
    if (event->type == MappingNotify) {
        XRefreshKeyboardMapping(&event->xmapping);
        return;
    }
    WindowRecord* window = recordOf(event->xany.window);
    if (window == nullptr) {
        x11BoxEvent(event);
        return;
    }
    if (window->destroying) {
        return;
    }
    switch (event->type) {
    case KeyPress:
    case KeyRelease:
        onKey(window, &event->xkey);
        break;
    case MotionNotify:
        onMotion(window, &event->xmotion);
        break;
    case ButtonPress:
    case ButtonRelease:
        onButton(window, &event->xbutton);
        break;
    case Expose:
        onExpose(window, &event->xexpose);
        break;
    case ConfigureNotify:
        onConfigure(window, &event->xconfigure);
        break;
    case MapNotify:
        onMap(window, &event->xmap);
        break;
    case UnmapNotify:
        onUnmap(window, &event->xunmap);
        break;
    case PropertyNotify:
        onProperty(window, &event->xproperty);
        break;
    case FocusIn:
    case FocusOut:
        onFocus(window, &event->xfocus);
        break;
    case ClientMessage:
        onClientMessage(window, &event->xclient);
        break;
    case DestroyNotify:
        onDestroy(window, &event->xdestroywindow);
        break;
    default:
        break;
    }
}

void x11PumpEvents(void) {
    Display* display = x11.display;
    // Events stay with Xlib while the queue is nearly full, so that a storm of input is
    // delayed rather than lost.
    while (queueHasRoom() && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        x11HandleEvent(&event);
    }
}

void x11WaitForEvents(int timeoutMs) {
    Display* display = x11.display;
    XFlush(display);
    if (XEventsQueued(display, QueuedAlready) > 0) {
        return;
    }
    pollfd fd;
    fd.fd = ConnectionNumber(display);
    fd.events = POLLIN;
    fd.revents = 0;
    while (poll(&fd, 1, timeoutMs) < 0 && errno == EINTR) {
    }
}
