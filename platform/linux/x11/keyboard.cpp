// X key events in Win32's terms: the virtual key of a keysym, the characters a key types on
// the active layout, and the modifiers and buttons of an event's state.
#include "platform/linux/x11/x11.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstring>

namespace {

int vkOfKeysym(KeySym keysym) {
    // Latin-1's printable range is ASCII's: the US layout's own table names those keys.
    if (keysym >= XK_space && keysym <= XK_asciitilde) {
        int vk = virtualKeyOfCharacter((char)keysym);
        if (vk != 0) {
            return vk;
        }
    }
    if (keysym >= XK_F1 && keysym <= XK_F12) {
        return (int)(keysym - XK_F1) + VK_F1;
    }
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) {
        return (int)(keysym - XK_KP_0) + VK_NUMPAD0;
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
    case XK_Left:
    case XK_KP_Left:
        return VK_LEFT;
    case XK_Up:
    case XK_KP_Up:
        return VK_UP;
    case XK_Right:
    case XK_KP_Right:
        return VK_RIGHT;
    case XK_Down:
    case XK_KP_Down:
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
        return VK_PAUSE;
    case XK_Print:
        return VK_SNAPSHOT;
    case XK_Num_Lock:
        return VK_NUMLOCK;
    case XK_Scroll_Lock:
        return VK_SCROLL;
    case XK_Super_L:
        return VK_LWIN;
    case XK_Super_R:
        return VK_RWIN;
    case XK_Menu:
        return VK_APPS;
    case XK_KP_Multiply:
        return VK_MULTIPLY;
    case XK_KP_Add:
        return VK_ADD;
    case XK_KP_Subtract:
        return VK_SUBTRACT;
    case XK_KP_Decimal:
        return VK_DECIMAL;
    case XK_KP_Divide:
        return VK_DIVIDE;
    default:
        return 0;
    }
}

} // namespace

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
    return vkOfKeysym(keysym);
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
