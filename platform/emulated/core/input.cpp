// Input in Win32's terms: the functions a backend feeds with key, pointer, focus and window
// events, the key state that GetKeyState reports, WM_CHAR from TranslateMessage, the US layout
// of LoadKeyboardLayoutA, pointer capture, the cursor position and the focus.
#include "platform/emulated/backend.h"

#include <cstring>

namespace {

// What a key that no layout names sends as its virtual key; Win32 has no name for it.
const int VK_UNNAMED = 0xff;

struct InputState {
    // Key state as of the input messages taken so far, per keycode, as Win32 keeps it in step
    // with the messages rather than with the hardware.
    bool codeDown[256];
    unsigned char codeVk[256];
    bool buttonDown[3]; // left, right, middle
    // The low bit of GetKeyState per virtual key: flipped by every press that finds the key
    // up, as Win32 does for all keys. Caps Lock's bit follows the display's lock instead.
    bool toggled[256];
    bool capsToggled;
    // Keys seen pressed as the events arrive, to tell auto-repeats from first presses.
    bool eventDown[256];
    // The last key-down taken, for TranslateMessage.
    unsigned lastKeycode;
    unsigned char lastCharacters[8];
    int lastCharacterCount;
    bool usLayout;
    HWND capture;
    // Capture taken while the display's implicit grab of a real press held the pointer for the
    // window: no grab of our own was asked for, and the grab ends with the last button.
    bool captureRides;
    // The implicit grab under a riding capture has ended: its last real release was taken.
    bool implicitGrabEnded;
    // The window of the real press that the message being handled reports (null otherwise).
    HWND pressTaken;
};

InputState input;

const WPARAM BUTTON_FLAGS[3] = {MK_LBUTTON, MK_RBUTTON, MK_MBUTTON};
const int BUTTON_KEYS[3] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
const UINT BUTTON_DOWN[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
const UINT BUTTON_UP[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};

// The US keyboard by keycode (the typing block, where the X and evdev numberings agree):
// unshifted and shifted characters. LoadKeyboardLayoutA("00000409") makes these the
// characters whatever layout is active, as the same call does on Win32.
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

// The characters of a key on the US layout with these modifiers; returns how many (0 or 1).
int usCharacters(UsKey key, unsigned modifiers, unsigned char* out) {
    bool shift = (modifiers & KEY_SHIFT) != 0;
    bool caps = (modifiers & KEY_CAPS_LOCK) != 0;
    bool control = (modifiers & KEY_CONTROL) != 0;
    bool alt = (modifiers & KEY_ALT) != 0;
    if (control && alt) {
        return 0;
    }
    char c = key.plain;
    bool letter = c >= 'a' && c <= 'z';
    if (letter ? (shift != caps) : shift) {
        c = key.shifted;
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

bool vkDown(int vk) {
    for (int i = 0; i < 3; i++) {
        if (vk == BUTTON_KEYS[i]) {
            return input.buttonDown[i];
        }
    }
    for (int code = 0; code < 256; code++) {
        if (input.codeDown[code] && input.codeVk[code] == vk) {
            return true;
        }
    }
    return false;
}

// The character of a virtual key on the US layout with the current key state; for key
// messages that no key event made.
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

SHORT clampShort(int value) {
    return (SHORT)(value < -32768 ? -32768 : (value > 32767 ? 32767 : value));
}

void queuePointer(WindowRecord* window, UINT message, int x, int y, POINT screen, WPARAM flags,
                  unsigned grab) {
    InputEntry entry = InputEntry();
    entry.grab = grab;
    entry.msg = makeMessage(window->handle, message, flags,
                            // Signed halves: a captured pointer may be left of or above the
                            // client area.
                            MAKELPARAM(clampShort(x), clampShort(y)));
    entry.msg.pt = screen;
    queueInput(&entry);
}

} // namespace

namespace {

// Keysyms with a virtual key of their own, by the X protocol's numbers (the names are its
// keysym names); the keypad's navigation keys give the same keys as the main block.
struct KeysymKey {
    uint32_t keysym;
    int vk;
};
const KeysymKey KEYSYM_KEYS[] = {
    {0xff08, VK_BACK},     // BackSpace
    {0xff09, VK_TAB},      // Tab
    {0xfe20, VK_TAB},      // ISO_Left_Tab
    {0xff0d, VK_RETURN},   // Return
    {0xff8d, VK_RETURN},   // KP_Enter
    {0xff1b, VK_ESCAPE},   // Escape
    {0xff51, VK_LEFT},     // Left
    {0xff96, VK_LEFT},     // KP_Left
    {0xff52, VK_UP},       // Up
    {0xff97, VK_UP},       // KP_Up
    {0xff53, VK_RIGHT},    // Right
    {0xff98, VK_RIGHT},    // KP_Right
    {0xff54, VK_DOWN},     // Down
    {0xff99, VK_DOWN},     // KP_Down
    {0xff55, VK_PRIOR},    // Prior
    {0xff9a, VK_PRIOR},    // KP_Prior
    {0xff56, VK_NEXT},     // Next
    {0xff9b, VK_NEXT},     // KP_Next
    {0xff57, VK_END},      // End
    {0xff9c, VK_END},      // KP_End
    {0xff50, VK_HOME},     // Home
    {0xff95, VK_HOME},     // KP_Home
    {0xff63, VK_INSERT},   // Insert
    {0xff9e, VK_INSERT},   // KP_Insert
    {0xffff, VK_DELETE},   // Delete
    {0xff9f, VK_DELETE},   // KP_Delete
    {0xffe1, VK_SHIFT},    // Shift_L
    {0xffe2, VK_SHIFT},    // Shift_R
    {0xffe3, VK_CONTROL},  // Control_L
    {0xffe4, VK_CONTROL},  // Control_R
    {0xffe9, VK_MENU},     // Alt_L
    {0xffea, VK_MENU},     // Alt_R
    {0xffe7, VK_MENU},     // Meta_L
    {0xffe8, VK_MENU},     // Meta_R
    {0xffe5, VK_CAPITAL},  // Caps_Lock
    {0xff13, VK_PAUSE},    // Pause
    {0xff61, VK_SNAPSHOT}, // Print
    {0xff7f, VK_NUMLOCK},  // Num_Lock
    {0xff14, VK_SCROLL},   // Scroll_Lock
    {0xffeb, VK_LWIN},     // Super_L
    {0xffec, VK_RWIN},     // Super_R
    {0xff67, VK_APPS},     // Menu
    {0xffaa, VK_MULTIPLY}, // KP_Multiply
    {0xffab, VK_ADD},      // KP_Add
    {0xffad, VK_SUBTRACT}, // KP_Subtract
    {0xffae, VK_DECIMAL},  // KP_Decimal
    {0xffaf, VK_DIVIDE},   // KP_Divide
};
const uint32_t KEYSYM_F1 = 0xffbe;
const uint32_t KEYSYM_F12 = 0xffc9;
const uint32_t KEYSYM_KP_0 = 0xffb0;
const uint32_t KEYSYM_KP_9 = 0xffb9;

} // namespace

int virtualKeyOfKeysym(uint32_t keysym) {
    // Latin-1's printable range is ASCII's: the US layout's own table names those keys.
    if (keysym >= 0x20 && keysym <= 0x7e) {
        int vk = virtualKeyOfCharacter((char)keysym);
        if (vk != 0) {
            return vk;
        }
    }
    if (keysym >= KEYSYM_F1 && keysym <= KEYSYM_F12) {
        return (int)(keysym - KEYSYM_F1) + VK_F1;
    }
    if (keysym >= KEYSYM_KP_0 && keysym <= KEYSYM_KP_9) {
        return (int)(keysym - KEYSYM_KP_0) + VK_NUMPAD0;
    }
    for (const KeysymKey& key : KEYSYM_KEYS) {
        if (key.keysym == keysym) {
            return key.vk;
        }
    }
    return 0;
}

int virtualKeyOfCharacter(char c) {
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 'A';
    }
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ') {
        return c;
    }
    switch (c) {
    case ';':
        return VK_OEM_1;
    case '=':
        return VK_OEM_PLUS;
    case ',':
        return VK_OEM_COMMA;
    case '-':
        return VK_OEM_MINUS;
    case '.':
        return VK_OEM_PERIOD;
    case '/':
        return VK_OEM_2;
    case '`':
        return VK_OEM_3;
    case '[':
        return VK_OEM_4;
    case '\\':
        return VK_OEM_5;
    case ']':
        return VK_OEM_6;
    case '\'':
        return VK_OEM_7;
    case '<':
        return VK_OEM_102;
    default:
        return 0;
    }
}

// --- From the backend -------------------------------------------------------------------------

void inputKey(WindowRecord* window, const KeyEvent* event) {
    if (window->disabled) {
        return;
    }
    unsigned keycode = event->keycode & 0xff;
    bool press = event->press;
    bool repeat = press && input.eventDown[keycode];
    input.eventDown[keycode] = press;
    // Win32 names keys by the layout; for the typing block the US layout's key stands in when
    // the active layout has no Latin key there (a Cyrillic layout, say), or always after
    // LoadKeyboardLayoutA asked for it (unless the key came with a keymap of its own).
    UsKey us = usKey(keycode);
    int vk = event->virtualKey;
    bool byKeycode = us.plain != 0 && (vk == 0 || (input.usLayout && !event->keymapNamesKey));
    if (byKeycode) {
        vk = virtualKeyOfCharacter(us.plain);
    }
    vk = vk != 0 ? vk : VK_UNNAMED;
    bool alt = (event->modifiers & KEY_ALT) != 0;
    bool control = (event->modifiers & KEY_CONTROL) != 0;
    // Alt combinations (and Alt itself, and F10) are system keys; with Control they are not.
    bool system = ((alt || vk == VK_MENU) && !control) || vk == VK_F10;
    // The cursor block's keys are the extended ones.
    bool extended = (vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE;
    DWORD flags = keycode;
    flags |= extended ? KF_EXTENDED : 0;
    flags |= alt ? KF_ALTDOWN : 0;
    flags |= (!press || repeat) ? KF_REPEAT : 0;
    flags |= !press ? KF_UP : 0;
    InputEntry entry = InputEntry();
    UINT message =
        press ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    // A repeat count of 1, the flags in the high word.
    entry.msg = makeMessage(window->handle, message, (WPARAM)vk, (LPARAM)(1u | (flags << 16)));
    entry.msg.pt = event->screen;
    entry.keycode = keycode;
    entry.modifiers = event->modifiers;
    if (press && input.usLayout && byKeycode) {
        entry.characterCount = usCharacters(us, event->modifiers, entry.characters);
    } else if (press) {
        entry.characterCount = event->characterCount;
        std::memcpy(entry.characters, event->characters, sizeof(entry.characters));
    }
    queueInput(&entry);
}

void inputPointerMove(WindowRecord* window, int x, int y, POINT screen, WPARAM held) {
    if (!window->disabled) {
        queuePointer(window, WM_MOUSEMOVE, x, y, screen, held, 0);
    }
}

void inputPointerButton(WindowRecord* window, int button, bool press, int x, int y, POINT screen,
                        WPARAM held, unsigned grab) {
    if (window->disabled || button < 0 || button > 2) {
        return;
    }
    // The display reports the buttons held before the event; Win32 those held after it.
    WPARAM flags = press ? (held | BUTTON_FLAGS[button]) : (held & ~BUTTON_FLAGS[button]);
    queuePointer(window, press ? BUTTON_DOWN[button] : BUTTON_UP[button], x, y, screen, flags,
                 grab);
}

void inputFocus(WindowRecord* window, bool focused) {
    if (window->active == focused) {
        return;
    }
    window->active = focused;
    if (!focused) {
        inputForgetKeys();
    }
    queuePosted(window->handle, WM_ACTIVATE,
                MAKEWPARAM(focused ? WA_ACTIVE : WA_INACTIVE, window->minimized ? 1 : 0), 0);
}

void inputMapped(WindowRecord* window) {
    window->viewable = true;
}

void inputUnmapped(WindowRecord* window) {
    window->viewable = false;
    inputCaptureLost(window->handle);
}

// Minimised or restored by someone else (a window manager, another client): the same messages
// as the program's own ShowWindow gives, posted.
void inputMinimized(WindowRecord* window) {
    if (!window->shown || window->minimized) {
        return;
    }
    window->minimized = true;
    queuePosted(window->handle, WM_MOVE, 0,
                MAKELPARAM((SHORT)MINIMIZED_ORIGIN, (SHORT)MINIMIZED_ORIGIN));
    queuePosted(window->handle, WM_SIZE, SIZE_MINIMIZED, 0);
    if (window->active) {
        window->active = false;
        inputForgetKeys();
        queuePosted(window->handle, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
    }
}

// Without a window manager nobody else gives a restored window the focus, so it takes it, as
// Win32's restore activates; under one, the manager's focus (FocusIn) activates it.
void inputRestored(WindowRecord* window, bool takeFocus) {
    if (!window->minimized) {
        return;
    }
    HWND handle = window->handle;
    window->minimized = false;
    window->paintPending = true;
    queuePosted(handle, WM_MOVE, 0, MAKELPARAM((SHORT)window->x, (SHORT)window->y));
    queuePosted(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(window->width, window->height));
    if (takeFocus && !window->active && window->viewable) {
        WindowRecord* windows = windowRecords();
        for (int i = 0; i < MAX_WINDOWS; i++) {
            WindowRecord& other = windows[i];
            if (other.used && other.active && &other != window && !other.destroying) {
                other.active = false;
                inputForgetKeys();
                queuePosted(other.handle, WM_ACTIVATE,
                            MAKEWPARAM(WA_INACTIVE, other.minimized ? 1 : 0), (LPARAM)handle);
            }
        }
        window->active = true;
        platformBackend()->focusWindow(window);
    }
    // Ends with an activation that is no longer minimised, even for a window active already.
    if (window->active) {
        queuePosted(handle, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
    }
}

void inputConfigured(WindowRecord* window, int x, int y, int width, int height) {
    bool resized = width != window->width || height != window->height;
    bool moved = x != window->x || y != window->y;
    window->x = x;
    window->y = y;
    window->width = width;
    window->height = height;
    if (resized) {
        platformBackend()->resizeSurface(window);
    }
    // A minimised window hears of it when it is restored.
    if (window->minimized) {
        return;
    }
    // Win32's order: the new origin first, then the new size.
    if (moved) {
        queuePosted(window->handle, WM_MOVE, 0, MAKELPARAM((SHORT)x, (SHORT)y));
    }
    if (resized) {
        queuePosted(window->handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    }
}

// A pending paint absorbs new requests.
void inputExposed(WindowRecord* window) {
    window->paintPending = true;
}

void inputCloseRequested(WindowRecord* window) {
    queuePosted(window->handle, WM_CLOSE, 0, 0);
}

bool inputUsesUsLayout(void) {
    return input.usLayout;
}

void inputForgetKeys(void) {
    queueMarkInputStale();
    std::memset(input.codeDown, 0, sizeof(input.codeDown));
    std::memset(input.eventDown, 0, sizeof(input.eventDown));
    std::memset(input.buttonDown, 0, sizeof(input.buttonDown));
}

void inputCaptureLost(HWND window) {
    if (window == nullptr || input.capture != window) {
        return;
    }
    input.capture = nullptr;
    input.captureRides = false;
    if (connectedBackend() != nullptr) {
        connectedBackend()->ungrabPointer(false);
    }
}

// A capture that outlives the implicit grab it rode on (the program kept it past the last
// button's release) becomes a grab of our own before the next message is looked for.
void inputKeepCapture(void) {
    if (input.capture == nullptr || !input.captureRides || !input.implicitGrabEnded) {
        return;
    }
    WindowRecord* record = windowRecord(input.capture);
    input.captureRides = false;
    if (record == nullptr || !connectedBackend()->grabPointer(record)) {
        input.capture = nullptr; // the pointer is no longer ours to hold
        connectedBackend()->ungrabPointer(true);
    }
}

void inputTaken(const InputEntry* entry) {
    const MSG* msg = &entry->msg;
    unsigned keycode = entry->keycode & 0xff;
    bool button = msg->message >= WM_LBUTTONDOWN && msg->message <= WM_MBUTTONUP;
    input.pressTaken = button && (entry->grab & GRAB_STARTS) != 0 ? msg->hwnd : nullptr;
    if (button && (entry->grab & GRAB_ENDS) != 0 && input.captureRides) {
        input.implicitGrabEnded = true;
    }
    switch (msg->message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        int vk = (int)(msg->wParam & 0xff);
        // An auto-repeat finds the key down already and leaves the bit alone.
        if (!vkDown(vk)) {
            input.toggled[vk] = !input.toggled[vk];
        }
        bool locked = (entry->modifiers & KEY_CAPS_LOCK) != 0;
        // The lock's state at a Caps Lock press is the one before it.
        input.capsToggled = (vk == VK_CAPITAL && !input.codeDown[keycode]) ? !locked : locked;
        // A press read before the focus went: its release went to whoever took the focus.
        input.codeDown[keycode] = !entry->stale;
        input.codeVk[keycode] = (unsigned char)vk;
        input.lastKeycode = keycode;
        input.lastCharacterCount = entry->characterCount;
        std::memcpy(input.lastCharacters, entry->characters, sizeof(input.lastCharacters));
        break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
        input.codeDown[keycode] = false;
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSEMOVE:
        for (int i = 0; i < 3; i++) {
            bool down = (msg->wParam & BUTTON_FLAGS[i]) != 0 && !entry->stale;
            if (down && !input.buttonDown[i]) {
                input.toggled[BUTTON_KEYS[i]] = !input.toggled[BUTTON_KEYS[i]];
            }
            input.buttonDown[i] = down;
        }
        break;
    default:
        break;
    }
}

// --- Win32 operations ------------------------------------------------------------------------

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
    if (keycode >= 8 && keycode == input.lastKeycode) {
        count = input.lastCharacterCount;
        std::memcpy(characters, input.lastCharacters, sizeof(characters));
    } else {
        // A message made up by the program (no keycode): the virtual key and the key state
        // decide, as the US layout has them.
        count = charactersOfVk((int)msg->wParam, characters);
    }
    UINT message = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    for (int i = 0; i < count; i++) {
        queuePosted(msg->hwnd, message, (WPARAM)characters[i], msg->lParam);
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

// Capture is a pointer grab. Taken while handling a real button press in the window, it is the
// grab the display started itself at that press, which already sends every pointer event to
// the window until the last button is up: asking for one costs a round trip and gains nothing.
// Otherwise it is a grab of our own, which the display refuses while the window is not viewable
// or another client holds the pointer, and the call fails then. Returns the window that had
// the capture before.
HWND WINAPI SetCapture(HWND window) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr || record->destroying || connectedBackend() == nullptr ||
        !record->viewable || record->minimized) {
        return nullptr;
    }
    HWND previous = input.capture;
    bool ownGrab = previous != nullptr && !input.captureRides;
    if (input.pressTaken == window && !ownGrab) {
        connectedBackend()->rideImplicitGrab(record);
        input.captureRides = true;
        input.implicitGrabEnded = false;
    } else if (connectedBackend()->grabPointer(record)) {
        input.captureRides = false;
    } else {
        return nullptr;
    }
    input.capture = window;
    if (previous == window) {
        return nullptr;
    }
    // The window that had the capture learns that it lost it, and to whom.
    if (previous != nullptr) {
        sendToWindow(previous, WM_CAPTURECHANGED, 0, (LPARAM)window);
    }
    return previous;
}

BOOL WINAPI ReleaseCapture(void) {
    HWND previous = input.capture;
    // The release whose message is being handled ended the implicit grab on the display before
    // the event was sent: nothing is left to undo, and nothing to wait for.
    bool grabOver = input.captureRides && input.implicitGrabEnded;
    input.capture = nullptr;
    input.captureRides = false;
    if (previous != nullptr && connectedBackend() != nullptr) {
        connectedBackend()->ungrabPointer(grabOver);
    }
    if (previous != nullptr) {
        sendToWindow(previous, WM_CAPTURECHANGED, 0, 0);
    }
    return TRUE;
}

HWND WINAPI GetCapture(void) {
    if (input.capture != nullptr && windowRecord(input.capture) == nullptr) {
        input.capture = nullptr;
    }
    return input.capture;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
    if (platformFails(CALL_GET_CURSOR_POS)) {
        return failWith(ERROR_GEN_FAILURE, FALSE);
    }
    if (point == nullptr) {
        return failWith(ERROR_INVALID_PARAMETER, FALSE);
    }
    const Backend* backend = platformBackend();
    if (backend == nullptr) {
        return failWith(ERROR_DEVICE_NOT_AVAILABLE, FALSE);
    }
    return backend->cursorPosition(point) ? TRUE : failWith(ERROR_GEN_FAILURE, FALSE);
}

HWND WINAPI GetFocus(void) {
    WindowRecord* windows = windowRecords();
    for (int i = 0; i < MAX_WINDOWS; i++) {
        if (windows[i].used && !windows[i].destroying && windows[i].active) {
            return windows[i].handle;
        }
    }
    return nullptr;
}

HKL WINAPI LoadKeyboardLayoutA(LPCSTR layoutId, UINT flags) {
    (void)flags;
    if (layoutId == nullptr || std::strcmp(layoutId, "00000409") != 0) {
        return failWith(ERROR_INVALID_PARAMETER, (HKL) nullptr);
    }
    input.usLayout = true;
    return (HKL)(uintptr_t)0x04090409u;
}
