// Keyboard and pointer input: X key and button events as Win32 input messages, WM_CHAR from
// TranslateMessage, the key state, pointer capture as an active grab, cursor and focus.
#include "platform/linux/x11.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstring>

namespace {

// Virtual keys that the shared header does not name.
const int VK_LBUTTON_ = 0x01;
const int VK_RBUTTON_ = 0x02;
const int VK_MBUTTON_ = 0x04;
const int VK_NUMPAD0_ = 0x60;
const int VK_F10_ = 0x79;
const int VK_UNKNOWN = 0xff;

struct InputState {
    // Key state as of the input messages taken so far, per X keycode, as Win32 keeps it in
    // step with the messages rather than with the hardware.
    bool codeDown[256];
    unsigned char codeVk[256];
    bool buttonDown[3]; // left, right, middle
    // The low bit of GetKeyState per virtual key: flipped by every press that finds the key
    // up, as Win32 does for all keys. Caps Lock's bit follows the server's lock instead.
    bool toggled[256];
    bool capsToggled;
    // Keys seen pressed at the X level, to tell auto-repeats from first presses.
    bool xDown[256];
    // The last key message taken, for TranslateMessage.
    unsigned lastKeycode;
    unsigned lastState;
    bool usLayout;
    HWND capture;
    // The requests that began and ended the last capture. Events are read some time after
    // the server made them, so each is judged by the capture held when it was made: its
    // serial is the last request the server had processed then.
    HWND spanWindow;
    unsigned long spanStart;
    unsigned long spanEnd;
    bool spanOpen;
    // Capture taken while the server's implicit grab of a real press held the pointer for the
    // window: no grab of our own was asked for, and the grab ends with the last button.
    bool captureRides;
    // The implicit grab under a riding capture has ended: its last real release was taken.
    bool implicitGrabEnded;
    // The window of the real press that the message being handled reports (null otherwise).
    HWND pressTaken;
};

InputState input;

// For button messages the queue's keycode field says what the event did to the server's
// implicit grab: a real press starts one (or runs under ours), a real release of the last
// button ends it. Synthetic events, sent by any client, do neither.
const unsigned GRAB_STARTS = 1;
const unsigned GRAB_ENDS = 2;

// The US keyboard by X keycode (the evdev and xfree86 numbering agree on the typing block):
// unshifted and shifted characters. LoadKeyboardLayoutA("00000409") makes these the
// characters whatever layout the server has active, as the same call does on Win32.
struct UsKey {
    char plain;
    char shifted;
};

UsKey usKey(unsigned keycode) {
    static const char* const plain = "1234567890-=\0\0qwertyuiop[]\0\0asdfghjkl;'`\0\\zxcvbnm,./";
    static const char* const shifted = "!@#$%^&*()_+\0\0QWERTYUIOP{}\0\0ASDFGHJKL:\"~\0|ZXCVBNM<>?";
    if (keycode < 10 || keycode > 61) {
        return UsKey{0, 0};
    }
    return UsKey{plain[keycode - 10], shifted[keycode - 10]};
}

int vkOfKeysym(KeySym keysym) {
    if (keysym >= XK_a && keysym <= XK_z) {
        return (int)(keysym - XK_a) + 'A';
    }
    if (keysym >= XK_A && keysym <= XK_Z) {
        return (int)(keysym - XK_A) + 'A';
    }
    if (keysym >= XK_0 && keysym <= XK_9) {
        return (int)(keysym - XK_0) + '0';
    }
    if (keysym >= XK_F1 && keysym <= XK_F12) {
        return (int)(keysym - XK_F1) + VK_F1;
    }
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) {
        return (int)(keysym - XK_KP_0) + VK_NUMPAD0_;
    }
    switch (keysym) {
    case XK_BackSpace:
        return VK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab:
        return VK_TAB;
    case XK_Return:
    case XK_KP_Enter:
        return VK_RETURN;
    case XK_Escape:
        return VK_ESCAPE;
    case XK_space:
        return VK_SPACE;
    case XK_Left:
        return VK_LEFT;
    case XK_Up:
        return VK_UP;
    case XK_Right:
        return VK_RIGHT;
    case XK_Down:
        return VK_DOWN;
    case XK_Prior:
    case XK_KP_Prior:
        return VK_PRIOR;
    case XK_Next:
    case XK_KP_Next:
        return VK_NEXT;
    case XK_End:
    case XK_KP_End:
        return VK_END;
    case XK_Home:
    case XK_KP_Home:
        return VK_HOME;
    case XK_Insert:
    case XK_KP_Insert:
        return VK_INSERT;
    case XK_Delete:
    case XK_KP_Delete:
        return VK_DELETE;
    case XK_KP_Left:
        return VK_LEFT;
    case XK_KP_Up:
        return VK_UP;
    case XK_KP_Right:
        return VK_RIGHT;
    case XK_KP_Down:
        return VK_DOWN;
    case XK_Shift_L:
    case XK_Shift_R:
        return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R:
        return VK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
        return VK_MENU;
    case XK_Caps_Lock:
        return VK_CAPITAL;
    case XK_Pause:
        return 0x13;
    case XK_Print:
        return 0x2c;
    case XK_Num_Lock:
        return 0x90;
    case XK_Scroll_Lock:
        return 0x91;
    case XK_Super_L:
        return 0x5b;
    case XK_Super_R:
        return 0x5c;
    case XK_Menu:
        return 0x5d;
    case XK_KP_Multiply:
        return 0x6a;
    case XK_KP_Add:
        return 0x6b;
    case XK_KP_Subtract:
        return 0x6d;
    case XK_KP_Decimal:
        return 0x6e;
    case XK_KP_Divide:
        return 0x6f;
    case XK_semicolon:
        return 0xba;
    case XK_equal:
        return 0xbb;
    case XK_comma:
        return 0xbc;
    case XK_minus:
        return 0xbd;
    case XK_period:
        return 0xbe;
    case XK_slash:
        return 0xbf;
    case XK_grave:
        return 0xc0;
    case XK_bracketleft:
        return 0xdb;
    case XK_backslash:
        return 0xdc;
    case XK_bracketright:
        return 0xdd;
    case XK_apostrophe:
        return 0xde;
    case XK_less:
        return 0xe2;
    default:
        return 0;
    }
}

// Win32 names keys by the layout; for the typing block the US layout's key is the fallback
// when the active group has no Latin symbol there (a Cyrillic layout, say).
int vkOfKey(unsigned keycode, unsigned state) {
    UsKey us = usKey(keycode);
    if (input.usLayout && us.plain != 0) {
        return vkOfKeysym((KeySym)(unsigned char)us.plain);
    }
    KeySym keysym = XkbKeycodeToKeysym(x11.display, (KeyCode)keycode, 0, 0);
    // The keypad's digits are its second level, chosen by Num Lock (Mod2 on X servers).
    if (IsKeypadKey(keysym) && (state & Mod2Mask) != 0) {
        KeySym digit = XkbKeycodeToKeysym(x11.display, (KeyCode)keycode, 0, 1);
        if (digit != NoSymbol) {
            keysym = digit;
        }
    }
    int vk = vkOfKeysym(keysym);
    if (vk == 0 && us.plain != 0) {
        vk = vkOfKeysym((KeySym)(unsigned char)us.plain);
    }
    return vk != 0 ? vk : VK_UNKNOWN;
}

bool isExtendedKey(int vk) {
    return (vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE;
}

// Folds X's release/press pair of an auto-repeat when the server would not do it for us.
bool isRepeatRelease(XKeyEvent* event) {
    if (x11.detectableRepeat || XEventsQueued(x11.display, QueuedAfterReading) == 0) {
        return false;
    }
    XEvent next;
    XPeekEvent(x11.display, &next);
    return next.type == KeyPress && next.xkey.keycode == event->keycode &&
           next.xkey.time == event->time && next.xkey.window == event->window;
}

WPARAM mkFlags(unsigned state) {
    WPARAM flags = 0;
    if (state & Button1Mask) {
        flags |= MK_LBUTTON;
    }
    if (state & Button2Mask) {
        flags |= MK_MBUTTON;
    }
    if (state & Button3Mask) {
        flags |= MK_RBUTTON;
    }
    if (state & ShiftMask) {
        flags |= MK_SHIFT;
    }
    if (state & ControlMask) {
        flags |= MK_CONTROL;
    }
    return flags;
}

SHORT clampShort(int value) {
    return (SHORT)(value < -32768 ? -32768 : (value > 32767 ? 32767 : value));
}

// The characters a key press gives, into out (at most `capacity`); returns how many.
int charactersOf(unsigned keycode, unsigned state, unsigned char* out, int capacity) {
    bool shift = (state & ShiftMask) != 0;
    bool caps = (state & LockMask) != 0;
    bool control = (state & ControlMask) != 0;
    bool alt = (state & Mod1Mask) != 0;
    UsKey us = usKey(keycode);
    if (input.usLayout && us.plain != 0) {
        if (control && alt) {
            return 0;
        }
        char c = us.plain;
        bool letter = c >= 'a' && c <= 'z';
        if (letter ? (shift != caps) : shift) {
            c = us.shifted;
        }
        if (control) {
            if (letter) {
                c = (char)(c & 0x1f);
            } else if (c == '[' || c == '\\' || c == ']') {
                c = (char)(c - 0x40);
            } else {
                return 0;
            }
        }
        out[0] = (unsigned char)c;
        return 1;
    }
    XKeyEvent event;
    std::memset(&event, 0, sizeof(event));
    event.type = KeyPress;
    event.display = x11.display;
    event.keycode = keycode;
    event.state = state;
    char buffer[16];
    KeySym keysym = NoSymbol;
    int length = XLookupString(&event, buffer, (int)sizeof(buffer), &keysym, nullptr);
    // Win32's Delete key types nothing; X gives it DEL.
    if (keysym == XK_Delete || keysym == XK_KP_Delete) {
        return 0;
    }
    int count = 0;
    for (int i = 0; i < length && count < capacity; i++) {
        out[count++] = (unsigned char)buffer[i];
    }
    return count;
}

bool vkDown(int vk) {
    if (vk == VK_LBUTTON_) {
        return input.buttonDown[0];
    }
    if (vk == VK_RBUTTON_) {
        return input.buttonDown[1];
    }
    if (vk == VK_MBUTTON_) {
        return input.buttonDown[2];
    }
    for (int code = 0; code < 256; code++) {
        if (input.codeDown[code] && input.codeVk[code] == vk) {
            return true;
        }
    }
    return false;
}

// The character of a virtual key on the US layout with the current key state; for key
// messages that no X event made.
int charactersOfVk(int vk, unsigned char* out) {
    bool shift = vkDown(VK_SHIFT);
    bool control = vkDown(VK_CONTROL);
    int c = 0;
    if (vk >= 'A' && vk <= 'Z') {
        c = (shift != input.capsToggled) ? vk : vk - 'A' + 'a';
        if (control) {
            c = vk & 0x1f;
        }
    } else if (vk >= '0' && vk <= '9' && !control) {
        c = shift ? ")!@#$%^&*("[vk - '0'] : vk;
    } else if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_SPACE || vk == VK_BACK ||
               vk == VK_TAB) {
        c = vk; // these keys' codes are their characters
    }
    if (c == 0) {
        return 0;
    }
    out[0] = (unsigned char)c;
    return 1;
}

// Called when a capture begins at the request with this serial. Taken again by the same window
// (every press does it), the capture goes on unbroken.
void openCaptureSpan(HWND window, unsigned long serial) {
    if (!input.spanOpen || input.spanWindow != window) {
        input.spanWindow = window;
        input.spanStart = serial;
    }
    input.spanOpen = true;
}

// Called just before the request that ends the capture is made.
void endCaptureSpan(void) {
    if (input.spanOpen) {
        input.spanOpen = false;
        input.spanEnd = NextRequest(x11.display);
    }
}

} // namespace

// --- Event translation -----------------------------------------------------------------------

void x11TranslateKeyEvent(X11Window* record, XKeyEvent* event) {
    bool press = event->type == KeyPress;
    unsigned keycode = event->keycode & 0xff;
    if (!press && isRepeatRelease(event)) {
        return;
    }
    bool repeat = press && input.xDown[keycode];
    input.xDown[keycode] = press;
    int vk = vkOfKey(keycode, event->state);
    bool alt = (event->state & Mod1Mask) != 0;
    bool control = (event->state & ControlMask) != 0;
    // Alt combinations (and Alt itself, and F10) are system keys; with Control they are not.
    bool system = ((alt || vk == VK_MENU) && !control) || vk == VK_F10_;
    DWORD bits = 1u | (keycode << 16);
    if (isExtendedKey(vk)) {
        bits |= 1u << 24;
    }
    if (alt) {
        bits |= 1u << 29;
    }
    if (!press || repeat) {
        bits |= 1u << 30;
    }
    if (!press) {
        bits |= 1u << 31;
    }
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    msg.hwnd = record->handle;
    msg.message = press ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    msg.wParam = (WPARAM)vk;
    msg.lParam = (LPARAM)bits;
    msg.time = GetTickCount();
    msg.pt.x = event->x_root;
    msg.pt.y = event->y_root;
    x11QueueInput(&msg, event->state, keycode);
}

void x11TranslatePointerEvent(X11Window* record, XEvent* event) {
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    msg.hwnd = record->handle;
    msg.time = GetTickCount();
    unsigned state;
    unsigned grab = 0;
    int x;
    int y;
    if (event->type == MotionNotify) {
        state = event->xmotion.state;
        x = event->xmotion.x;
        y = event->xmotion.y;
        msg.pt.x = event->xmotion.x_root;
        msg.pt.y = event->xmotion.y_root;
        msg.message = WM_MOUSEMOVE;
        msg.wParam = mkFlags(state);
    } else {
        XButtonEvent* button = &event->xbutton;
        state = button->state;
        if (!button->send_event) {
            const unsigned buttons =
                Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask;
            unsigned own = button->button >= 1 && button->button <= 5
                               ? Button1Mask << (button->button - 1)
                               : 0;
            if (event->type == ButtonPress) {
                grab = GRAB_STARTS;
            } else if ((state & buttons & ~own) == 0) {
                grab = GRAB_ENDS;
            }
        }
        x = button->x;
        y = button->y;
        msg.pt.x = button->x_root;
        msg.pt.y = button->y_root;
        bool press = event->type == ButtonPress;
        WPARAM flag;
        switch (button->button) {
        case Button1:
            msg.message = press ? WM_LBUTTONDOWN : WM_LBUTTONUP;
            flag = MK_LBUTTON;
            break;
        case Button2:
            msg.message = press ? WM_MBUTTONDOWN : WM_MBUTTONUP;
            flag = MK_MBUTTON;
            break;
        case Button3:
            msg.message = press ? WM_RBUTTONDOWN : WM_RBUTTONUP;
            flag = MK_RBUTTON;
            break;
        default:
            return; // wheel and extra buttons
        }
        // X reports the state before the event; Win32 the state after it.
        msg.wParam = press ? (mkFlags(state) | flag) : (mkFlags(state) & ~flag);
    }
    // X's implicit grab sends a held button's events here wherever the pointer goes; a Win32
    // window sees what happens outside its client area only while it holds the capture.
    unsigned long serial = event->xany.serial;
    bool captured = input.spanWindow == record->handle && serial >= input.spanStart &&
                    (input.spanOpen || serial < input.spanEnd);
    if (!captured && (x < 0 || y < 0 || x >= record->width || y >= record->height)) {
        return;
    }
    // Signed halves: a captured pointer may be left of or above the client area.
    msg.lParam = MAKELPARAM(clampShort(x), clampShort(y));
    x11QueueInput(&msg, state, grab);
}

void x11NoteInputTaken(const MSG* msg, unsigned xState, unsigned keycode, bool stale) {
    bool button = msg->message >= WM_LBUTTONDOWN && msg->message <= WM_MBUTTONUP;
    input.pressTaken = button && (keycode & GRAB_STARTS) != 0 ? msg->hwnd : nullptr;
    if (button && (keycode & GRAB_ENDS) != 0 && input.captureRides) {
        input.implicitGrabEnded = true;
    }
    switch (msg->message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        keycode &= 0xff;
        int vk = (int)(msg->wParam & 0xff);
        // An auto-repeat finds the key down already and leaves the bit alone.
        if (!vkDown(vk)) {
            input.toggled[vk] = !input.toggled[vk];
        }
        if (msg->wParam == VK_CAPITAL && !input.codeDown[keycode]) {
            input.capsToggled = (xState & LockMask) == 0;
        } else {
            input.capsToggled = (xState & LockMask) != 0;
        }
        // A press read before the focus went: its release went to whoever took the focus.
        input.codeDown[keycode] = !stale;
        input.codeVk[keycode] = (unsigned char)msg->wParam;
        input.lastKeycode = keycode;
        input.lastState = xState;
        break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
        input.codeDown[keycode & 0xff] = false;
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSEMOVE: {
        const WPARAM flags[3] = {MK_LBUTTON, MK_RBUTTON, MK_MBUTTON};
        const int vks[3] = {VK_LBUTTON_, VK_RBUTTON_, VK_MBUTTON_};
        for (int i = 0; i < 3; i++) {
            bool down = (msg->wParam & flags[i]) != 0 && !stale;
            if (down && !input.buttonDown[i]) {
                input.toggled[vks[i]] = !input.toggled[vks[i]];
            }
            input.buttonDown[i] = down;
        }
        break;
    }
    default:
        break;
    }
}

// Keys released while another window had the focus never reach us; leaving them down would
// keep Shift or Control held for good.
void x11ForgetKeys(void) {
    x11MarkQueuedInputStale();
    std::memset(input.codeDown, 0, sizeof(input.codeDown));
    std::memset(input.xDown, 0, sizeof(input.xDown));
    std::memset(input.buttonDown, 0, sizeof(input.buttonDown));
}

void x11CaptureLost(HWND window) {
    if (window == nullptr || input.capture != window) {
        return;
    }
    input.capture = nullptr;
    input.captureRides = false;
    if (x11.display != nullptr) {
        endCaptureSpan();
        XUngrabPointer(x11.display, CurrentTime);
        XFlush(x11.display);
    }
}

// --- Win32 operations ------------------------------------------------------------------------

namespace {

bool grabPointer(X11Window* record) {
    x11BeginErrorTrap();
    int status = XGrabPointer(x11.display, record->xwindow, False,
                              ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                              GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    int error = x11EndErrorTrap();
    return status == GrabSuccess && error == 0;
}

} // namespace

BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (msg == nullptr) {
        return FALSE;
    }
    if (msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP) {
        return TRUE;
    }
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) {
        return FALSE;
    }
    unsigned keycode = (unsigned)((msg->lParam >> 16) & 0xff);
    unsigned char characters[8];
    int count;
    if (keycode >= 8 && keycode == input.lastKeycode && x11.display != nullptr) {
        count = charactersOf(keycode, input.lastState, characters, (int)sizeof(characters));
    } else {
        // A message made up by the program (no X keycode): the virtual key and the key state
        // decide, as the US layout has them.
        count = charactersOfVk((int)msg->wParam, characters);
    }
    UINT message = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    for (int i = 0; i < count; i++) {
        x11QueuePosted(msg->hwnd, message, (WPARAM)characters[i], msg->lParam);
    }
    return TRUE;
}

SHORT WINAPI GetKeyState(int virtualKey) {
    unsigned value = 0;
    if (vkDown(virtualKey)) {
        value |= 0x8000u;
    }
    if (virtualKey == VK_CAPITAL) {
        value |= input.capsToggled ? 1u : 0u;
    } else if (virtualKey >= 0 && virtualKey < 256 && input.toggled[virtualKey]) {
        value |= 1u;
    }
    return (SHORT)value;
}

// A capture that outlives the implicit grab it rode on (the program kept it past the last
// button's release) becomes a grab of our own before the next message is looked for.
void x11KeepCapture(void) {
    if (input.capture == nullptr || !input.captureRides || !input.implicitGrabEnded) {
        return;
    }
    X11Window* record = x11Record(input.capture);
    input.captureRides = false;
    if (record == nullptr || !grabPointer(record)) {
        input.capture = nullptr; // the pointer is no longer ours to hold
        endCaptureSpan();
    }
}

// Capture is a pointer grab. Taken while handling a real button press in the window, it is the
// grab the server started itself at that press, which already sends every pointer event to the
// window until the last button is up: asking for one costs a round trip and gains nothing.
// Otherwise it is an active grab, which the server refuses while the window is not viewable or
// another client holds a grab, and the call fails then.
HWND WINAPI SetCapture(HWND window) {
    X11Window* record = x11Record(window);
    if (record == nullptr || record->destroying || x11.display == nullptr || !record->viewable ||
        record->minimized) {
        return nullptr;
    }
    HWND previous = input.capture;
    bool ownGrab = previous != nullptr && !input.captureRides;
    if (input.pressTaken == window && !ownGrab) {
        input.capture = window;
        input.captureRides = true;
        input.implicitGrabEnded = false;
        // No request marks where this capture begins: every event the server makes from now
        // on carries at least the last request it is known to have processed.
        openCaptureSpan(window, LastKnownRequestProcessed(x11.display));
        return previous != window ? previous : nullptr;
    }
    unsigned long serial = NextRequest(x11.display);
    if (!grabPointer(record)) {
        return nullptr;
    }
    input.capture = window;
    input.captureRides = false;
    openCaptureSpan(window, serial);
    return previous != window ? previous : nullptr;
}

BOOL WINAPI ReleaseCapture(void) {
    HWND previous = input.capture;
    // The release whose message is being handled ended the implicit grab on the server before
    // the event was sent: nothing is left to undo, and nothing to wait for.
    bool grabOver = input.captureRides && input.implicitGrabEnded;
    input.capture = nullptr;
    input.captureRides = false;
    if (previous != nullptr && x11.display != nullptr) {
        endCaptureSpan();
        if (grabOver) {
            // The span's end needs a request of its own so that events of a later press are
            // told from this capture's; it is sent, not waited for.
            XNoOp(x11.display);
            XFlush(x11.display);
        }
    }
    if (previous != nullptr && !grabOver && x11.display != nullptr) {
        // A round trip, not a flush: when the call returns the server has ended the grab (an
        // implicit one too, while a button is still held), so no other client can still find
        // the pointer held by this one.
        XUngrabPointer(x11.display, CurrentTime);
        XSync(x11.display, False);
    }
    if (previous != nullptr) {
        x11Send(previous, WM_CAPTURECHANGED, 0, 0);
    }
    return TRUE;
}

HWND WINAPI GetCapture(void) {
    if (input.capture != nullptr && x11Record(input.capture) == nullptr) {
        input.capture = nullptr;
    }
    return input.capture;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
    if (platformShouldFail(TEST_GET_CURSOR_POS) || point == nullptr) {
        return FALSE;
    }
    Display* display = x11Display();
    if (display == nullptr) {
        return FALSE;
    }
    Window root = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int x = 0;
    int y = 0;
    unsigned mask = 0;
    x11BeginErrorTrap();
    Bool ok = XQueryPointer(display, x11.root, &root, &child, &rootX, &rootY, &x, &y, &mask);
    int error = x11EndErrorTrap();
    if (!ok || error != 0) {
        return FALSE;
    }
    point->x = rootX;
    point->y = rootY;
    return TRUE;
}

HWND WINAPI GetFocus(void) {
    X11Window* records = x11Records();
    for (int i = 0; i < X11_MAX_WINDOWS; i++) {
        if (records[i].used && !records[i].destroying && records[i].active) {
            return records[i].handle;
        }
    }
    return nullptr;
}

HKL WINAPI LoadKeyboardLayoutA(LPCSTR layoutId, UINT flags) {
    (void)flags;
    if (layoutId == nullptr || std::strcmp(layoutId, "00000409") != 0) {
        return nullptr;
    }
    input.usLayout = true;
    return (HKL)(uintptr_t)0x04090409u;
}
