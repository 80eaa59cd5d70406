// The input test controls: keys, characters and the pointer given to a window through the core's
// input functions, as a display backend's event handlers give them, on a US keyboard.
#include "platform/emulated/core/core.h"
#include "platform/testctl.h"

#include <cstring>

namespace {

// Keysyms as the X protocol numbers them (xkbcommon's are the same).
const unsigned long KEYSYM_SHIFT_L = 0xffe1;
const unsigned long KEYSYM_SHIFT_R = 0xffe2;
const unsigned long KEYSYM_CONTROL_L = 0xffe3;
const unsigned long KEYSYM_CONTROL_R = 0xffe4;
const unsigned long KEYSYM_CAPS_LOCK = 0xffe5;
const unsigned long KEYSYM_ALT_L = 0xffe9;
const unsigned long KEYSYM_ALT_R = 0xffea;
const unsigned long KEYSYM_RETURN = 0xff0d;
const unsigned long KEYSYM_ESCAPE = 0xff1b;
const unsigned long KEYSYM_BACKSPACE = 0xff08;
const unsigned long KEYSYM_TAB = 0xff09;

// The typing block of a US keyboard from keycode 10 (X's numbering, evdev + 8), unshifted and
// shifted; 0 where a key of another kind sits.
const char US_PLAIN[] = "1234567890-=\0\0qwertyuiop[]\0\0asdfghjkl;'`\0\\zxcvbnm,./";
const char US_SHIFTED[] = "!@#$%^&*()_+\0\0QWERTYUIOP{}\0\0ASDFGHJKL:\"~\0|ZXCVBNM<>?";
const unsigned US_FIRST_KEYCODE = 10;

// The other keys a test types, at their keycodes on a US keyboard.
struct NamedKey {
    unsigned long keysym;
    unsigned keycode;
};
const NamedKey NAMED_KEYS[] = {
    {KEYSYM_ESCAPE, 9},       {KEYSYM_BACKSPACE, 22},     {KEYSYM_TAB, 23},
    {KEYSYM_RETURN, 36},      {KEYSYM_CONTROL_L, 37},     {KEYSYM_SHIFT_L, 50},
    {KEYSYM_SHIFT_R, 62},     {KEYSYM_ALT_L, 64},         {0x20, 65} /* space */,
    {KEYSYM_CAPS_LOCK, 66},   {0xffbe, 67} /* F1 */,      {0xffc9, 96} /* F12 */,
    {KEYSYM_CONTROL_R, 105},  {KEYSYM_ALT_R, 108},        {0xff50, 110} /* Home */,
    {0xff52, 111} /* Up */,   {0xff51, 113} /* Left */,   {0xff53, 114} /* Right */,
    {0xff54, 116} /* Down */, {0xffff, 119} /* Delete */,
};

// What the injected devices hold: the modifiers and locks as a display reports them with the
// next event, the buttons, and where the pointer is on the screen.
struct Devices {
    bool shift[2];
    bool control[2];
    bool alt[2];
    bool capsLock;
    bool buttons[3]; // left, middle, right: X's order
    POINT pointer;
};

Devices devices;

// The keycode of the key that carries `keysym` on a US keyboard, and whether Shift gives that
// symbol; 0 for a key the keyboard has not.
unsigned keycodeOf(unsigned long keysym, bool* shifted) {
    *shifted = false;
    for (const NamedKey& key : NAMED_KEYS) {
        if (key.keysym == keysym) {
            return key.keycode;
        }
    }
    if (keysym == 0 || keysym > 0x7e) {
        return 0;
    }
    for (unsigned i = 0; i < sizeof(US_PLAIN) - 1; i++) {
        if ((unsigned char)US_PLAIN[i] == keysym || (unsigned char)US_SHIFTED[i] == keysym) {
            *shifted = (unsigned char)US_SHIFTED[i] == keysym;
            return US_FIRST_KEYCODE + i;
        }
    }
    return 0;
}

unsigned modifiers(void) {
    unsigned held = 0;
    held |= devices.shift[0] || devices.shift[1] ? KEY_SHIFT : 0;
    held |= devices.control[0] || devices.control[1] ? KEY_CONTROL : 0;
    held |= devices.alt[0] || devices.alt[1] ? KEY_ALT : 0;
    held |= devices.capsLock ? KEY_CAPS_LOCK : 0;
    return held;
}

// The characters a key types with these modifiers, as a keymap's lookup gives them: the US
// symbol (Shift, and Caps Lock for letters), Control's control characters, and the characters
// of Return, Escape, BackSpace and Tab.
int charactersOf(unsigned keycode, unsigned long keysym, unsigned held, unsigned char* out) {
    switch (keysym) {
    case KEYSYM_RETURN:
        out[0] = '\r';
        return 1;
    case KEYSYM_ESCAPE:
        out[0] = 0x1b;
        return 1;
    case KEYSYM_BACKSPACE:
        out[0] = '\b';
        return 1;
    case KEYSYM_TAB:
        out[0] = '\t';
        return 1;
    default:
        break;
    }
    if (keycode == 65) {
        out[0] = ' ';
        return 1;
    }
    if (keycode < US_FIRST_KEYCODE || keycode - US_FIRST_KEYCODE >= sizeof(US_PLAIN) - 1) {
        return 0;
    }
    char plain = US_PLAIN[keycode - US_FIRST_KEYCODE];
    if (plain == '\0') {
        return 0;
    }
    bool letter = plain >= 'a' && plain <= 'z';
    bool shift = (held & KEY_SHIFT) != 0;
    bool caps = (held & KEY_CAPS_LOCK) != 0;
    char c = (letter ? shift != caps : shift) ? US_SHIFTED[keycode - US_FIRST_KEYCODE] : plain;
    if ((held & KEY_CONTROL) != 0) {
        if (!letter) {
            return 0;
        }
        c = (char)(c & 0x1f);
    }
    out[0] = (unsigned char)c;
    return 1;
}

// Notes a modifier's or lock's key going down or up.
void noteModifier(unsigned long keysym, bool down) {
    switch (keysym) {
    case KEYSYM_SHIFT_L:
    case KEYSYM_SHIFT_R:
        devices.shift[keysym == KEYSYM_SHIFT_R] = down;
        break;
    case KEYSYM_CONTROL_L:
    case KEYSYM_CONTROL_R:
        devices.control[keysym == KEYSYM_CONTROL_R] = down;
        break;
    case KEYSYM_ALT_L:
    case KEYSYM_ALT_R:
        devices.alt[keysym == KEYSYM_ALT_R] = down;
        break;
    case KEYSYM_CAPS_LOCK:
        devices.capsLock = down ? !devices.capsLock : devices.capsLock;
        break;
    default:
        break;
    }
}

// The MK_ flags of what is held before an event.
WPARAM heldFlags(void) {
    WPARAM flags = 0;
    flags |= devices.buttons[0] ? MK_LBUTTON : 0;
    flags |= devices.buttons[1] ? MK_MBUTTON : 0;
    flags |= devices.buttons[2] ? MK_RBUTTON : 0;
    unsigned held = modifiers();
    flags |= (held & KEY_SHIFT) != 0 ? MK_SHIFT : 0;
    flags |= (held & KEY_CONTROL) != 0 ? MK_CONTROL : 0;
    return flags;
}

// A window sees the pointer outside its client area only while it holds the capture.
bool outsideUncaptured(const WindowRecord* window, int x, int y) {
    bool outside = x < 0 || y < 0 || x >= window->width || y >= window->height;
    return outside && GetCapture() != window->handle;
}

} // namespace

int testKey(HWND window, unsigned long keysym, int down) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr || !queueHasRoom()) {
        return 0;
    }
    bool shifted = false;
    KeyEvent key = KeyEvent();
    key.press = down != 0;
    key.keycode = keycodeOf(keysym, &shifted);
    // The key's name on the keyboard is its unshifted symbol, whichever symbol named it here.
    unsigned long named = keysym;
    if (shifted) {
        named = (unsigned long)(unsigned char)US_PLAIN[key.keycode - US_FIRST_KEYCODE];
    } else if (keysym >= 'A' && keysym <= 'Z') {
        named = keysym - 'A' + 'a';
    }
    key.virtualKey = virtualKeyOfKeysym((uint32_t)named);
    key.modifiers = modifiers();
    key.screen = devices.pointer;
    key.keymapNamesKey = true;
    if (key.press) {
        key.characterCount = charactersOf(key.keycode, keysym, key.modifiers, key.characters);
    }
    noteModifier(keysym, key.press);
    inputKey(record, &key);
    return 1;
}

int testPointerMove(HWND window, int x, int y) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr || !queueHasRoom()) {
        return 0;
    }
    devices.pointer = POINT{record->x + x, record->y + y};
    if (!outsideUncaptured(record, x, y)) {
        inputPointerMove(record, x, y, devices.pointer, heldFlags());
    }
    return 1;
}

int testPointerButton(HWND window, int button, int down) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr || button < 1 || button > 3 || !queueHasRoom()) {
        return 0;
    }
    int x = devices.pointer.x - record->x;
    int y = devices.pointer.y - record->y;
    WPARAM held = heldFlags();
    // A press starts the display's implicit grab; the release of the last button held ends it.
    unsigned grab = 0;
    devices.buttons[button - 1] = down != 0;
    if (down) {
        grab = GRAB_STARTS;
    } else if (!devices.buttons[0] && !devices.buttons[1] && !devices.buttons[2]) {
        grab = GRAB_ENDS;
    }
    if (!outsideUncaptured(record, x, y)) {
        // The core numbers the buttons left, right, middle.
        const int coreButton[3] = {0, 2, 1};
        inputPointerButton(record, coreButton[button - 1], down != 0, x, y, devices.pointer, held,
                           grab);
    }
    return 1;
}

int testCloseBox(HWND window) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr) {
        return 0;
    }
    inputCloseRequested(record);
    return 1;
}

void testReleaseInput(void) {
    devices = Devices();
}
