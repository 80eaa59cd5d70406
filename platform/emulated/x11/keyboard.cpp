// X key events in Win32's terms: the virtual key of a key, the characters a key types on
// the active layout, and the modifiers and buttons of an event's state.
#include "platform/emulated/x11/x11.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstring>

unsigned x11Modifiers(unsigned state) {
    unsigned modifiers = 0;
    modifiers |= (state & ShiftMask) != 0 ? KEY_SHIFT : 0;
    modifiers |= (state & ControlMask) != 0 ? KEY_CONTROL : 0;
    modifiers |= (state & Mod1Mask) != 0 ? KEY_ALT : 0;
    modifiers |= (state & LockMask) != 0 ? KEY_CAPS_LOCK : 0;
    return modifiers;
}

WPARAM x11HeldFlags(unsigned state) {
    WPARAM flags = 0;
    flags |= (state & Button1Mask) != 0 ? MK_LBUTTON : 0;
    flags |= (state & Button2Mask) != 0 ? MK_MBUTTON : 0;
    flags |= (state & Button3Mask) != 0 ? MK_RBUTTON : 0;
    flags |= (state & ShiftMask) != 0 ? MK_SHIFT : 0;
    flags |= (state & ControlMask) != 0 ? MK_CONTROL : 0;
    return flags;
}

// The key's symbol in the active group's first level names it, as Win32 names keys by layout.
int x11VirtualKey(unsigned keycode, unsigned state) {
    KeySym keysym = XkbKeycodeToKeysym(x11.display, (KeyCode)keycode, 0, 0);
    // The keypad's digits are its second level, chosen by Num Lock (Mod2 on X servers).
    if (IsKeypadKey(keysym) && (state & Mod2Mask) != 0) {
        KeySym digit = XkbKeycodeToKeysym(x11.display, (KeyCode)keycode, 0, 1);
        if (digit != NoSymbol) {
            keysym = digit;
        }
    }
    return virtualKeyOfKeysym((uint32_t)keysym);
}

int x11Characters(unsigned keycode, unsigned state, unsigned char* out, int capacity) {
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
