// The Wayland backend's seat: the keyboard through xkbcommon with the compositor's keymap and
// the client's own key repeat, the pointer with its implicit grab as the only capture, and the
// input that waits while the core's queue is full.
#include "platform/emulated/core/held_input.h"
#include "platform/emulated/wayland/wayland.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace {

// Wayland key codes are evdev's; X's numbering, which the core's tables use, adds 8.
const unsigned EVDEV_OFFSET = 8;

// Input the core's queue had no room for. libwayland hands over everything a read brought at
// once, and a compositor ends a client that leaves its input unread, so a storm waits here until
// the program takes its messages. The ring has room for several reads; the connection reads only
// while a whole read's worth is free, so nothing is ever lost for want of room.
HeldInputRing<2048> pending;
const int PENDING_ROOM_TO_READ = 512; // two reads of 4096 bytes of the smallest input event

unsigned modifiersNow(void) {
    xkb_state* state = wl.keys.state;
    if (state == nullptr) {
        return 0;
    }
    unsigned modifiers = 0;
    auto active = [state](const char* name) {
        return xkb_state_mod_name_is_active(state, name, XKB_STATE_MODS_EFFECTIVE) > 0;
    };
    modifiers |= active(XKB_MOD_NAME_SHIFT) ? KEY_SHIFT : 0;
    modifiers |= active(XKB_MOD_NAME_CTRL) ? KEY_CONTROL : 0;
    modifiers |= active(XKB_MOD_NAME_ALT) ? KEY_ALT : 0;
    modifiers |= active(XKB_MOD_NAME_CAPS) ? KEY_CAPS_LOCK : 0;
    return modifiers;
}

WPARAM heldFlags(void) {
    unsigned modifiers = modifiersNow();
    WPARAM flags = wl.mouse.held;
    flags |= (modifiers & KEY_SHIFT) != 0 ? MK_SHIFT : 0;
    flags |= (modifiers & KEY_CONTROL) != 0 ? MK_CONTROL : 0;
    return flags;
}

// The key's symbol on the layout's first level names it, as Win32 names keys by layout; the
// keypad's digits are its second level, chosen by Num Lock.
int virtualKeyOf(xkb_keycode_t keycode) {
    xkb_layout_index_t layout = xkb_state_key_get_layout(wl.keys.state, keycode);
    const xkb_keysym_t* syms = nullptr;
    int count = xkb_keymap_key_get_syms_by_level(wl.keys.keymap, keycode, layout, 0, &syms);
    xkb_keysym_t keysym = count > 0 ? syms[0] : XKB_KEY_NoSymbol;
    bool keypad = keysym >= XKB_KEY_KP_Space && keysym <= XKB_KEY_KP_Equal;
    if (keypad && xkb_state_mod_name_is_active(wl.keys.state, XKB_MOD_NAME_NUM,
                                               XKB_STATE_MODS_EFFECTIVE) > 0) {
        count = xkb_keymap_key_get_syms_by_level(wl.keys.keymap, keycode, layout, 1, &syms);
        if (count > 0) {
            keysym = syms[0];
        }
    }
    return virtualKeyOfKeysym(keysym);
}

// What the key types in the current state: Shift and Caps Lock count, and Control makes the
// control characters, as XLookupString does on X11. Win32's Delete key types nothing.
int charactersOf(xkb_keycode_t keycode, unsigned char* out, int capacity) {
    xkb_keysym_t keysym = xkb_state_key_get_one_sym(wl.keys.state, keycode);
    if (keysym == XKB_KEY_Delete || keysym == XKB_KEY_KP_Delete) {
        return 0;
    }
    char buffer[16];
    int length = xkb_state_key_get_utf8(wl.keys.state, keycode, buffer, sizeof(buffer));
    if (length <= 0 || length >= (int)sizeof(buffer)) {
        return 0;
    }
    // The ANSI code page holds Latin-1: a character beyond it types nothing.
    unsigned char first = (unsigned char)buffer[0];
    if (first < 0x80) {
        int count = 0;
        for (int i = 0; i < length && count < capacity; i++) {
            out[count++] = (unsigned char)buffer[i];
        }
        return count;
    }
    if ((first == 0xc2 || first == 0xc3) && length == 2 && capacity > 0) {
        out[0] = (unsigned char)(((first & 0x03) << 6) | ((unsigned char)buffer[1] & 0x3f));
        return 1;
    }
    return 0;
}

// The implicit grab sends a held button's events wherever the pointer goes; a Win32 window sees
// what happens outside its client area only while it holds the capture.
bool outsideUncaptured(const WindowRecord* window, int x, int y) {
    bool outside = x < 0 || y < 0 || x >= window->width || y >= window->height;
    return outside && GetCapture() != window->handle;
}

// Hands one event to the core, for a window that still lives. The capture is looked at now, as
// the program has it when the event reaches its queue.
void handOn(const HeldInput& event) {
    WindowRecord* window = windowRecord(event.window);
    if (window == nullptr || window->destroying) {
        return;
    }
    POINT screen = {event.x, event.y};
    switch (event.kind) {
    case HELD_KEY:
        inputKey(window, &event.key);
        break;
    case HELD_MOTION:
        if (!outsideUncaptured(window, event.x, event.y)) {
            inputPointerMove(window, event.x, event.y, screen, event.held);
        }
        break;
    case HELD_BUTTON:
        if (!outsideUncaptured(window, event.x, event.y)) {
            inputPointerButton(window, event.button, event.press, event.x, event.y, screen,
                               event.held, event.grab);
        }
        break;
    case HELD_FOCUS:
        inputFocus(window, event.focused);
        break;
    }
}

void deliver(const HeldInput& event) {
    pending.deliver(event, handOn);
}

HeldInput pointerEvent(HeldKind kind, WindowRecord* window) {
    HeldInput event = heldInputFor(kind, window);
    event.x = wl.mouse.x;
    event.y = wl.mouse.y;
    return event;
}

void sendKey(WindowRecord* window, unsigned evdevCode, bool press) {
    xkb_keycode_t keycode = evdevCode + EVDEV_OFFSET;
    KeyEvent key = KeyEvent();
    key.press = press;
    key.keycode = keycode & 0xff;
    key.virtualKey = wl.keys.state != nullptr ? virtualKeyOf(keycode) : 0;
    key.modifiers = modifiersNow();
    key.keymapNamesKey = true;
    // The pointer's position in the only frame Wayland gives: the window's own, origin (0, 0).
    key.screen.x = wl.mouse.x;
    key.screen.y = wl.mouse.y;
    if (press && wl.keys.state != nullptr) {
        key.characterCount = charactersOf(keycode, key.characters, (int)sizeof(key.characters));
    }
    // Read now: the next wtype run brings a keymap of its own.
    HeldInput event = heldInputFor(HELD_KEY, window);
    event.key = key;
    deliver(event);
}

void dropKeymap(void) {
    if (wl.keys.state != nullptr) {
        xkb_state_unref(wl.keys.state);
        wl.keys.state = nullptr;
    }
    if (wl.keys.keymap != nullptr) {
        xkb_keymap_unref(wl.keys.keymap);
        wl.keys.keymap = nullptr;
    }
}

// Every keymap the compositor sends replaces the last: a virtual keyboard brings its own with
// each client that types, and keys are always read through the newest one.
void onKeymap(void* data, wl_keyboard* keyboard, uint32_t format, int32_t fd, uint32_t size) {
    (void)data;
    (void)keyboard;
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0) {
        close(fd);
        return;
    }
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (text == MAP_FAILED) {
        return;
    }
    // The text ends with a zero byte inside `size`; the length passed stops before it.
    xkb_keymap* keymap = xkb_keymap_new_from_buffer(
        wl.keys.context, (const char*)text, strnlen((const char*)text, size),
        XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(text, size);
    if (keymap == nullptr) {
        return;
    }
    xkb_state* state = xkb_state_new(keymap);
    if (state == nullptr) {
        xkb_keymap_unref(keymap);
        return;
    }
    dropKeymap();
    wl.keys.keymap = keymap;
    wl.keys.state = state;
}

void onKeyboardEnter(void* data, wl_keyboard* keyboard, uint32_t serial, wl_surface* surface,
                     wl_array* keys) {
    (void)data;
    (void)keyboard;
    (void)serial;
    (void)keys;
    wl.keys.focus = waylandRecordOf(surface);
    wl.keys.focusSurface = surface;
}

// Keys let go while another client had the keyboard never arrive here; the repeat stops.
void onKeyboardLeave(void* data, wl_keyboard* keyboard, uint32_t serial, wl_surface* surface) {
    (void)data;
    (void)keyboard;
    (void)serial;
    (void)surface;
    wl.keys.focus = nullptr;
    wl.keys.focusSurface = nullptr;
    wl.keys.repeatHeld = false;
}

void onKey(void* data, wl_keyboard* keyboard, uint32_t serial, uint32_t time, uint32_t key,
           uint32_t state) {
    (void)data;
    (void)keyboard;
    (void)serial;
    (void)time;
    // A message box has the keyboard: its keys answer it and nothing else.
    BoxSurface* box = waylandBoxOf(wl.keys.focusSurface);
    if (box != nullptr) {
        if (state == WL_KEYBOARD_KEY_STATE_PRESSED && wl.keys.state != nullptr) {
            waylandBoxKey(box, xkb_state_key_get_one_sym(wl.keys.state, key + EVDEV_OFFSET));
        }
        return;
    }
    WindowRecord* window = wl.keys.focus;
    if (window == nullptr || window->destroying) {
        return;
    }
    bool press = state == WL_KEYBOARD_KEY_STATE_PRESSED;
    sendKey(window, key, press);
    if (press && wl.keys.repeatRate > 0 && wl.keys.keymap != nullptr &&
        xkb_keymap_key_repeats(wl.keys.keymap, key + EVDEV_OFFSET)) {
        wl.keys.repeatHeld = true;
        wl.keys.repeatKey = key;
        wl.keys.repeatDue = waylandNowMs() + wl.keys.repeatDelay;
    } else if (!press && wl.keys.repeatHeld && wl.keys.repeatKey == key) {
        wl.keys.repeatHeld = false;
    }
}

void onModifiers(void* data, wl_keyboard* keyboard, uint32_t serial, uint32_t depressed,
                 uint32_t latched, uint32_t locked, uint32_t group) {
    (void)data;
    (void)keyboard;
    (void)serial;
    if (wl.keys.state != nullptr) {
        xkb_state_update_mask(wl.keys.state, depressed, latched, locked, 0, 0, group);
    }
}

void onRepeatInfo(void* data, wl_keyboard* keyboard, int32_t rate, int32_t delay) {
    (void)data;
    (void)keyboard;
    wl.keys.repeatRate = rate > 0 ? rate : 0;
    wl.keys.repeatDelay = delay > 0 ? delay : 0;
    if (wl.keys.repeatRate == 0) {
        wl.keys.repeatHeld = false;
    }
}

const wl_keyboard_listener keyboardListener = {onKeymap, onKeyboardEnter, onKeyboardLeave,
                                               onKey,    onModifiers,     onRepeatInfo};

// Positions are the surface's own; with the window's origin at (0, 0) they are the screen's too.
// The enter carries the position that brought the pointer in: Win32 reports it as a move.
void onPointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface,
                    wl_fixed_t x, wl_fixed_t y) {
    (void)data;
    (void)pointer;
    (void)serial;
    wl.mouse.focus = waylandRecordOf(surface);
    wl.mouse.focusSurface = surface;
    wl.mouse.x = wl_fixed_to_int(x);
    wl.mouse.y = wl_fixed_to_int(y);
    WindowRecord* window = wl.mouse.focus;
    if (window != nullptr && !window->destroying) {
        HeldInput event = pointerEvent(HELD_MOTION, window);
        event.held = heldFlags();
        deliver(event);
    }
}

void onPointerLeave(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface) {
    (void)data;
    (void)pointer;
    (void)serial;
    (void)surface;
    wl.mouse.focus = nullptr;
    wl.mouse.focusSurface = nullptr;
}

// While a button is held the compositor's implicit grab keeps sending motion to the surface,
// with positions outside it: that is the capture Wayland has.
void onMotion(void* data, wl_pointer* pointer, uint32_t time, wl_fixed_t x, wl_fixed_t y) {
    (void)data;
    (void)pointer;
    (void)time;
    wl.mouse.x = wl_fixed_to_int(x);
    wl.mouse.y = wl_fixed_to_int(y);
    WindowRecord* window = wl.mouse.focus;
    if (window == nullptr || window->destroying) {
        return;
    }
    HeldInput event = pointerEvent(HELD_MOTION, window);
    event.held = heldFlags();
    deliver(event);
}

void onButton(void* data, wl_pointer* pointer, uint32_t serial, uint32_t time, uint32_t button,
              uint32_t state) {
    (void)data;
    (void)pointer;
    (void)serial;
    (void)time;
    int number;
    WPARAM flag;
    switch (button) {
    case BTN_LEFT:
        number = 0;
        flag = MK_LBUTTON;
        break;
    case BTN_RIGHT:
        number = 1;
        flag = MK_RBUTTON;
        break;
    case BTN_MIDDLE:
        number = 2;
        flag = MK_MBUTTON;
        break;
    default:
        return; // extra buttons
    }
    bool press = state == WL_POINTER_BUTTON_STATE_PRESSED;
    WPARAM before = heldFlags();
    wl.mouse.held = press ? (wl.mouse.held | flag) : (wl.mouse.held & ~flag);
    BoxSurface* box = waylandBoxOf(wl.mouse.focusSurface);
    if (box != nullptr) {
        waylandBoxButton(box, number == 0, press, wl.mouse.x, wl.mouse.y);
        return;
    }
    WindowRecord* window = wl.mouse.focus;
    if (window == nullptr || window->destroying) {
        return;
    }
    HeldInput event = pointerEvent(HELD_BUTTON, window);
    event.button = number;
    event.press = press;
    event.held = before;
    event.grab =
        press ? GRAB_STARTS
              : ((wl.mouse.held & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0 ? GRAB_ENDS : 0);
    deliver(event);
}

void onAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}

void onFrame(void*, wl_pointer*) {}

void onAxisSource(void*, wl_pointer*, uint32_t) {}

void onAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}

void onAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}

const wl_pointer_listener pointerListener = {
    onPointerEnter, onPointerLeave, onMotion,   onButton,       onAxis,
    onFrame,        onAxisSource,   onAxisStop, onAxisDiscrete, onAxisDiscrete};

// Devices come and go with the seat's capabilities: a virtual keyboard exists only while its
// client runs.
void onCapabilities(void* data, wl_seat* seat, uint32_t capabilities) {
    (void)data;
    bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    if (keyboard && wl.keys.keyboard == nullptr) {
        wl.keys.keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(wl.keys.keyboard, &keyboardListener, nullptr);
    } else if (!keyboard && wl.keys.keyboard != nullptr) {
        wl_keyboard_release(wl.keys.keyboard);
        wl.keys.keyboard = nullptr;
        wl.keys.focus = nullptr;
        wl.keys.focusSurface = nullptr;
        wl.keys.repeatHeld = false;
    }
    if (pointer && wl.mouse.pointer == nullptr) {
        wl.mouse.pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(wl.mouse.pointer, &pointerListener, nullptr);
    } else if (!pointer && wl.mouse.pointer != nullptr) {
        wl_pointer_release(wl.mouse.pointer);
        wl.mouse.pointer = nullptr;
        wl.mouse.focus = nullptr;
        wl.mouse.focusSurface = nullptr;
        wl.mouse.held = 0;
    }
}

void onSeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener seatListener = {onCapabilities, onSeatName};

} // namespace

void waylandInputFocus(WindowRecord* window, bool focused) {
    HeldInput event = heldInputFor(HELD_FOCUS, window);
    event.focused = focused;
    deliver(event);
}

bool waylandHandOnPending(void) {
    return pending.handOnHeld(handOn);
}

bool waylandInputWaits(void) {
    return pending.count > 0;
}

bool waylandRoomToRead(void) {
    return pending.room() >= PENDING_ROOM_TO_READ;
}

void waylandBindSeat(wl_seat* seat) {
    wl.keys.context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    wl_seat_add_listener(seat, &seatListener, nullptr);
}

void waylandReleaseSeat(void) {
    dropKeymap();
    if (wl.keys.context != nullptr) {
        xkb_context_unref(wl.keys.context);
        wl.keys.context = nullptr;
    }
}

// Each repeat is a new key-down, as Win32 sends a held key. A program that falls behind gets
// the repeats it missed as one, not a burst.
void waylandRepeatKeys(void) {
    WindowRecord* window = wl.keys.focus;
    if (!wl.keys.repeatHeld || window == nullptr || wl.keys.repeatRate <= 0) {
        return;
    }
    long long now = waylandNowMs();
    if (now < wl.keys.repeatDue) {
        return;
    }
    sendKey(window, wl.keys.repeatKey, true);
    long long interval = 1000 / wl.keys.repeatRate > 0 ? 1000 / wl.keys.repeatRate : 1;
    wl.keys.repeatDue += interval;
    if (wl.keys.repeatDue <= now) {
        wl.keys.repeatDue = now + interval;
    }
}

int waylandRepeatWaitMs(void) {
    if (!wl.keys.repeatHeld || wl.keys.focus == nullptr || wl.keys.repeatRate <= 0) {
        return -1;
    }
    long long left = wl.keys.repeatDue - waylandNowMs();
    return left < 0 ? 0 : (int)left;
}

// Only while the pointer is over a window of the program, in that window's frame.
bool waylandCursorPosition(POINT* point) {
    point->x = wl.mouse.x;
    point->y = wl.mouse.y;
    return wl.mouse.focus != nullptr;
}

// Wayland gives a client no grab of its own: the capture is the program's to see, and only the
// implicit grab of a held button brings events from outside the window.
bool waylandGrabPointer(WindowRecord* window) {
    (void)window;
    return true;
}

void waylandRideImplicitGrab(WindowRecord* window) {
    (void)window;
}

void waylandUngrabPointer(bool endedAlready) {
    (void)endedAlready;
}
