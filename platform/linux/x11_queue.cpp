// The thread's message queue, emulated in-process: posted and input messages, paint and quit
// flags, retrieval in Win32's order, dispatch, and the X events that feed it.
#include "platform/linux/x11.h"

#include <X11/Xutil.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <poll.h>

namespace {

const int QUEUE_SIZE = 512;

struct Entry {
    MSG msg;
    unsigned xState;
    unsigned keycode;
    bool stale; // read before the focus was lost: held keys it names were let go elsewhere
};

// Fixed arrays kept in arrival order; taking from the middle (a filtered Peek) shifts the rest.
struct Queue {
    Entry entries[QUEUE_SIZE];
    int count;
};

Queue posted;
Queue input;
bool quitPending = false;
int quitCode = 0;
int broadcastCount = 0;
bool (*foreignHandler)(XEvent* event) = nullptr;

bool push(Queue& queue, const MSG& msg, unsigned xState, unsigned keycode) {
    if (queue.count >= QUEUE_SIZE) {
        return false;
    }
    Entry& entry = queue.entries[queue.count++];
    entry.msg = msg;
    entry.xState = xState;
    entry.keycode = keycode;
    entry.stale = false;
    return true;
}

void removeAt(Queue& queue, int index) {
    std::memmove(&queue.entries[index], &queue.entries[index + 1],
                 sizeof(Entry) * (size_t)(queue.count - index - 1));
    queue.count--;
}

bool matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
    if (window != nullptr && msg.hwnd != window) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) {
        return true;
    }
    return msg.message >= filterMin && msg.message <= filterMax;
}

int find(const Queue& queue, HWND window, UINT filterMin, UINT filterMax) {
    for (int i = 0; i < queue.count; i++) {
        if (matches(queue.entries[i].msg, window, filterMin, filterMax)) {
            return i;
        }
    }
    return -1;
}

MSG makeMsg(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    return msg;
}

// A real ConfigureNotify is relative to the parent (a window manager's frame); a synthetic one
// is already in root coordinates. Any client can send a synthetic one, so it tells only the
// position: the size comes from the server's own events, never from a claim that could make
// the GL surface larger than memory or smaller than the window.
void onConfigure(X11Window* record, XConfigureEvent* event) {
    if (event->window != record->xwindow) {
        return;
    }
    int x = event->x;
    int y = event->y;
    int width = event->send_event ? record->width : event->width;
    int height = event->send_event ? record->height : event->height;
    if (!event->send_event) {
        Window child = 0;
        x11BeginErrorTrap();
        Bool ok =
            XTranslateCoordinates(x11.display, record->xwindow, x11.root, 0, 0, &x, &y, &child);
        int error = x11EndErrorTrap();
        if (!ok || error != 0) {
            x = record->x;
            y = record->y;
        }
    }
    HWND handle = record->handle;
    bool resized = width != record->width || height != record->height;
    bool moved = x != record->x || y != record->y;
    record->width = width;
    record->height = height;
    record->x = x;
    record->y = y;
    if (resized) {
        glxWindowResized(handle, width, height);
    }
    // A minimised window hears of it when it is restored.
    if (record->minimized) {
        return;
    }
    // Win32's order: the new origin first, then the new size.
    if (moved) {
        x11QueuePosted(handle, WM_MOVE, 0, MAKELPARAM((SHORT)x, (SHORT)y));
    }
    if (resized) {
        x11QueuePosted(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    }
}

// Focus changes caused by grabs, or moving between our own window and its children, are no
// change of activation. NotifyPointer is one: with the focus at the pointer's root (no window
// manager), keys go to the window under the pointer.
bool focusCounts(XFocusChangeEvent* event) {
    if (event->mode == NotifyGrab || event->mode == NotifyUngrab) {
        return false;
    }
    return event->detail != NotifyInferior && event->detail != NotifyPointerRoot &&
           event->detail != NotifyDetailNone;
}

void onClientMessage(X11Window* record, XClientMessageEvent* event) {
    if (event->message_type != x11.wmProtocols || event->format != 32) {
        return;
    }
    Atom protocol = (Atom)event->data.l[0];
    if (protocol == x11.wmDeleteWindow) {
        x11QueuePosted(record->handle, WM_CLOSE, 0, 0);
    } else if (protocol == x11.netWmPing) {
        XEvent reply;
        std::memset(&reply, 0, sizeof(reply));
        reply.xclient = *event;
        reply.xclient.window = x11.root;
        x11BeginErrorTrap();
        XSendEvent(x11.display, x11.root, False, SubstructureNotifyMask | SubstructureRedirectMask,
                   &reply);
        x11EndErrorTrap();
    }
}

// Minimised or restored by someone else (the window manager): the same messages as the
// program's own ShowWindow gives, posted.
void minimized(X11Window* record) {
    record->minimized = true;
    x11QueuePosted(record->handle, WM_MOVE, 0,
                   MAKELPARAM((SHORT)X11_MINIMIZED_ORIGIN, (SHORT)X11_MINIMIZED_ORIGIN));
    x11QueuePosted(record->handle, WM_SIZE, SIZE_MINIMIZED, 0);
    if (record->active) {
        record->active = false;
        x11ForgetKeys();
        x11QueuePosted(record->handle, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
    }
}

// Without a window manager nobody else gives a restored window the focus, so it takes it, as
// Win32's restore activates; under one, the manager's focus (FocusIn) activates it.
void restored(X11Window* record) {
    HWND handle = record->handle;
    record->minimized = false;
    record->paintPending = true;
    x11QueuePosted(handle, WM_MOVE, 0, MAKELPARAM((SHORT)record->x, (SHORT)record->y));
    x11QueuePosted(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(record->width, record->height));
    if (!record->active && record->viewable && !x11WindowManagerRuns()) {
        X11Window* records = x11Records();
        for (int i = 0; i < X11_MAX_WINDOWS; i++) {
            X11Window& other = records[i];
            if (other.used && other.active && &other != record && !other.destroying) {
                other.active = false;
                x11ForgetKeys();
                x11QueuePosted(other.handle, WM_ACTIVATE,
                               MAKEWPARAM(WA_INACTIVE, other.minimized ? 1 : 0), (LPARAM)handle);
            }
        }
        record->active = true;
        x11BeginErrorTrap();
        XSetInputFocus(x11.display, record->xwindow, RevertToParent, CurrentTime);
        x11EndErrorTrap();
    }
    // Ends with an activation that is no longer minimised, even for a window active already.
    if (record->active) {
        x11QueuePosted(handle, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
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

void handleEvent(XEvent* event) {
    if (event->type == MappingNotify) {
        XRefreshKeyboardMapping(&event->xmapping);
        return;
    }
    X11Window* record = x11RecordOfXWindow(event->xany.window);
    if (record == nullptr) {
        // Not a window handle's: the message box's window, or a window already destroyed,
        // whose late events are dropped.
        if (foreignHandler != nullptr) {
            foreignHandler(event);
        }
        return;
    }
    if (record->destroying) {
        return;
    }
    HWND handle = record->handle;
    switch (event->type) {
    case KeyPress:
    case KeyRelease:
        if (!record->disabled) {
            x11TranslateKeyEvent(record, &event->xkey);
        }
        break;
    case ButtonPress:
    case ButtonRelease:
    case MotionNotify:
        if (!record->disabled) {
            x11TranslatePointerEvent(record, event);
        }
        break;
    case Expose:
        // Only the last of a series asks for a paint; a pending paint absorbs it.
        if (event->xexpose.count == 0) {
            record->paintPending = true;
        }
        break;
    case ConfigureNotify:
        onConfigure(record, &event->xconfigure);
        break;
    case MapNotify:
        if (event->xmap.window != record->xwindow) {
            break;
        }
        record->viewable = true;
        if (record->minimized && record->shown && !x11WindowManagerRuns()) {
            // Mapped again by another client: restored.
            restored(record);
        }
        break;
    case UnmapNotify:
        if (event->xunmap.window != record->xwindow) {
            break;
        }
        record->viewable = false;
        x11CaptureLost(handle);
        // A window manager also unmaps to reparent; only its WM_STATE says iconified. Without
        // one, whoever unmapped a shown window minimised it.
        if (record->shown && !record->minimized && !x11WindowManagerRuns()) {
            minimized(record);
        }
        break;
    case PropertyNotify:
        // Any client may write WM_STATE; without a window manager the map state alone decides.
        if (event->xproperty.atom == x11.wmState && event->xproperty.window == record->xwindow &&
            x11WindowManagerOwnsSelection()) {
            long state = wmStateOf(record->xwindow);
            if (state == IconicState && record->shown && !record->minimized) {
                minimized(record);
            } else if (state == NormalState && record->minimized) {
                restored(record);
            }
        }
        break;
    case FocusIn:
        if (focusCounts(&event->xfocus) && !record->active) {
            record->active = true;
            x11QueuePosted(handle, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, record->minimized ? 1 : 0),
                           0);
        }
        break;
    case FocusOut:
        // A grab (a window manager's switcher) takes the keys without deactivating us, and
        // the releases of keys held now go to the grabber.
        if (event->xfocus.mode == NotifyGrab && record->active) {
            x11ForgetKeys();
        }
        if (focusCounts(&event->xfocus) && record->active) {
            record->active = false;
            x11ForgetKeys();
            x11QueuePosted(handle, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, record->minimized ? 1 : 0),
                           0);
        }
        break;
    case ClientMessage:
        onClientMessage(record, &event->xclient);
        break;
    case DestroyNotify:
        // Another client destroyed the X window (our own DestroyWindow has dropped the record
        // before the event comes). The window handle goes as DestroyWindow takes it, with
        // WM_DESTROY and its tear-down, so that the program never runs on without a window.
        if (event->xdestroywindow.window == record->xwindow) {
            record->xwindowGone = true;
            DestroyWindow(handle);
        }
        break;
    default:
        break;
    }
}

} // namespace

// --- Shared with the other files of the layer ------------------------------------------------

bool x11QueuePosted(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return push(posted, makeMsg(window, message, wParam, lParam), 0, 0);
}

bool x11QueueInput(const MSG* msg, unsigned xState, unsigned keycode) {
    // Motion coalesces as on Win32: a newer position replaces one not yet taken.
    if (msg->message == WM_MOUSEMOVE && input.count > 0) {
        Entry& last = input.entries[input.count - 1];
        if (last.msg.message == WM_MOUSEMOVE && last.msg.hwnd == msg->hwnd &&
            last.msg.wParam == msg->wParam) {
            last.msg = *msg;
            last.xState = xState;
            last.stale = false;
            return true;
        }
    }
    return push(input, *msg, xState, keycode);
}

void x11MarkQueuedInputStale(void) {
    for (int i = 0; i < input.count; i++) {
        input.entries[i].stale = true;
    }
}

void x11PurgeWindow(HWND window) {
    for (Queue* queue : {&posted, &input}) {
        for (int i = queue->count - 1; i >= 0; i--) {
            if (queue->entries[i].msg.hwnd == window) {
                removeAt(*queue, i);
            }
        }
    }
}

void x11PumpEvents(void) {
    Display* display = x11.display;
    if (display == nullptr) {
        return;
    }
    x11KeepCapture();
    // Events stay with Xlib while the queue is nearly full, so that a storm of input is
    // delayed rather than lost (a lost key release would leave a key held for good).
    while (input.count < QUEUE_SIZE - 8 && posted.count < QUEUE_SIZE - 8 && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        handleEvent(&event);
    }
}

void x11WaitForEvents(int timeoutMs) {
    Display* display = x11.display;
    if (display == nullptr) {
        return;
    }
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

void x11SetForeignEventHandler(bool (*handler)(XEvent* event)) {
    foreignHandler = handler;
}

// Win32's order: posted (and sent-like) messages; the quit message once no posted message of
// the thread is left, whatever the filters ask for (as Win32 and Wine do); then input; then
// paint.
bool x11TakeMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, bool remove,
                    bool allowQuit) {
    int index = find(posted, window, filterMin, filterMax);
    if (index >= 0) {
        *msg = posted.entries[index].msg;
        if (remove) {
            removeAt(posted, index);
        }
        return true;
    }
    if (allowQuit && quitPending && posted.count == 0) {
        *msg = makeMsg(nullptr, WM_QUIT, (WPARAM)quitCode, 0);
        if (remove) {
            quitPending = false;
        }
        return true;
    }
    index = find(input, window, filterMin, filterMax);
    if (index >= 0) {
        Entry entry = input.entries[index];
        *msg = entry.msg;
        if (remove) {
            removeAt(input, index);
            x11NoteInputTaken(&entry.msg, entry.xState, entry.keycode, entry.stale);
        }
        return true;
    }
    bool paintInRange =
        (filterMin == 0 && filterMax == 0) || (WM_PAINT >= filterMin && WM_PAINT <= filterMax);
    if (paintInRange) {
        X11Window* records = x11Records();
        for (int i = 0; i < X11_MAX_WINDOWS; i++) {
            X11Window& record = records[i];
            if (record.used && !record.destroying && record.paintPending &&
                (window == nullptr || record.handle == window)) {
                // A paint stays waiting until BeginPaint validates the window.
                *msg = makeMsg(record.handle, WM_PAINT, 0, 0);
                return true;
            }
        }
    }
    return false;
}

LRESULT x11Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    X11Window* record = x11Record(window);
    if (record == nullptr || record->proc == nullptr) {
        return 0;
    }
    return record->proc(window, message, wParam, lParam);
}

void platformResetBroadcastCount(void) {
    broadcastCount = 0;
}

int testBroadcastCount(void) {
    return broadcastCount;
}

// --- The queue's Win32 operations ------------------------------------------------------------

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (msg == nullptr) {
        return FALSE;
    }
    // Every look at the queue reads what the server has sent meanwhile.
    x11PumpEvents();
    return x11TakeMessage(msg, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0, true)
               ? TRUE
               : FALSE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    if (msg == nullptr || (window != nullptr && x11Record(window) == nullptr)) {
        return -1;
    }
    for (;;) {
        x11PumpEvents();
        if (x11TakeMessage(msg, window, filterMin, filterMax, true, true)) {
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        if (x11.display == nullptr) {
            // Nothing could ever arrive: one thread, no connection. Fail instead of hanging.
            std::memset(msg, 0, sizeof(*msg));
            return -1;
        }
        // Blocks in the kernel until the server sends something.
        x11WaitForEvents(-1);
    }
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (platformShouldFail(TEST_POST_MESSAGE)) {
        return FALSE;
    }
    if (window == HWND_BROADCAST) {
        broadcastCount++;
        X11Window* records = x11Records();
        for (int i = 0; i < X11_MAX_WINDOWS; i++) {
            if (records[i].used && !records[i].destroying) {
                x11QueuePosted(records[i].handle, message, wParam, lParam);
            }
        }
        return TRUE;
    }
    if (window != nullptr && x11Record(window) == nullptr) {
        return FALSE;
    }
    return x11QueuePosted(window, message, wParam, lParam) ? TRUE : FALSE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == HWND_BROADCAST) {
        broadcastCount++;
        X11Window* records = x11Records();
        HWND handles[X11_MAX_WINDOWS];
        int count = 0;
        for (int i = 0; i < X11_MAX_WINDOWS; i++) {
            if (records[i].used && !records[i].destroying) {
                handles[count++] = records[i].handle;
            }
        }
        // Handles taken first: a window destroyed by an earlier one's handler is skipped.
        for (int i = 0; i < count; i++) {
            x11Send(handles[i], message, wParam, lParam);
        }
        return 0;
    }
    return x11Send(window, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
    quitPending = true;
    quitCode = exitCode;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) {
        return 0;
    }
    return x11Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_SYSKEYDOWN:
        // Alt+F4 closes the window, as the system menu's Close does.
        if (wParam == 0x73 && (lParam & (1L << 29)) != 0) {
            SendMessageA(window, WM_CLOSE, 0, 0);
        }
        return 0;
    default:
        return 0;
    }
}

BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    (void)rect;
    (void)erase;
    if (window == nullptr) {
        X11Window* records = x11Records();
        for (int i = 0; i < X11_MAX_WINDOWS; i++) {
            if (records[i].used) {
                records[i].paintPending = true;
            }
        }
        return TRUE;
    }
    X11Window* record = x11Record(window);
    if (record == nullptr) {
        return FALSE;
    }
    record->paintPending = true;
    return TRUE;
}

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    X11Window* record = x11Record(window);
    if (record == nullptr || paint == nullptr) {
        return nullptr;
    }
    record->paintPending = false;
    std::memset(paint, 0, sizeof(*paint));
    paint->hdc = x11DcOf(window);
    paint->fErase = FALSE;
    paint->rcPaint.right = record->minimized ? 0 : record->width;
    paint->rcPaint.bottom = record->minimized ? 0 : record->height;
    return paint->hdc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
    (void)paint;
    return x11Record(window) != nullptr ? TRUE : FALSE;
}
