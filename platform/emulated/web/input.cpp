// DOM events in, Win32 input out: keys from the page's keyboard events, the pointer on the
// canvas, swipes on a touch screen as arrow keys, the page's focus and its going away, each
// handed to the core's input functions.
#include "platform/emulated/core/held_input.h"
#include "platform/emulated/web/web.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

// The box's OK button (display.cpp).
extern "C" void webBoxAnswered(void);

namespace {

const char* const CANVAS = "#canvas";

// Input the core's queue had no room for. The browser hands every event over as it comes,
// however busy the program, so a storm (keys dispatched by a script, or typed while a slow frame
// held the page) waits here until the program takes its messages.
HeldInputRing<4096> pending;

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
        inputPointerMove(window, event.x, event.y, screen, event.held);
        break;
    case HELD_BUTTON:
        inputPointerButton(window, event.button, event.press, event.x, event.y, screen, event.held,
                           event.grab);
        break;
    case HELD_FOCUS:
        // The keys held go with the focus: their releases go elsewhere.
        if (!event.focused) {
            inputForgetKeys();
        }
        inputFocus(window, event.focused);
        break;
    }
}

void deliver(const HeldInput& event) {
    web.arrived = true;
    pending.deliver(event, handOn);
}

// A physical key (KeyboardEvent.code): its virtual key and its X key code (evdev + 8), the
// numbering the core keeps key state in and reads the US layout's characters by.
struct WebKey {
    const char* code;
    int virtualKey;
    unsigned keycode;
};

const WebKey KEYS[] = {
    {"ArrowLeft", VK_LEFT, 113},
    {"ArrowUp", VK_UP, 111},
    {"ArrowRight", VK_RIGHT, 114},
    {"ArrowDown", VK_DOWN, 116},
    {"Escape", VK_ESCAPE, 9},
    {"Enter", VK_RETURN, 36},
    {"NumpadEnter", VK_RETURN, 104},
    {"Space", VK_SPACE, 65},
    {"ShiftLeft", VK_SHIFT, 50},
    {"ShiftRight", VK_SHIFT, 62},
    {"ControlLeft", VK_CONTROL, 37},
    {"ControlRight", VK_CONTROL, 105},
    {"Digit1", '1', 10},
    {"Digit2", '2', 11},
    {"Digit3", '3', 12},
    {"Digit4", '4', 13},
    {"Digit5", '5', 14},
    {"Digit6", '6', 15},
    {"Digit7", '7', 16},
    {"Digit8", '8', 17},
    {"Digit9", '9', 18},
    {"Digit0", '0', 19},
    {"KeyQ", 'Q', 24},
    {"KeyW", 'W', 25},
    {"KeyE", 'E', 26},
    {"KeyR", 'R', 27},
    {"KeyT", 'T', 28},
    {"KeyY", 'Y', 29},
    {"KeyU", 'U', 30},
    {"KeyI", 'I', 31},
    {"KeyO", 'O', 32},
    {"KeyP", 'P', 33},
    {"KeyA", 'A', 38},
    {"KeyS", 'S', 39},
    {"KeyD", 'D', 40},
    {"KeyF", 'F', 41},
    {"KeyG", 'G', 42},
    {"KeyH", 'H', 43},
    {"KeyJ", 'J', 44},
    {"KeyK", 'K', 45},
    {"KeyL", 'L', 46},
    {"KeyZ", 'Z', 52},
    {"KeyX", 'X', 53},
    {"KeyC", 'C', 54},
    {"KeyV", 'V', 55},
    {"KeyB", 'B', 56},
    {"KeyN", 'N', 57},
    {"KeyM", 'M', 58},
    // The typing block's other keys: by key code alone, so each is a key of its own for the
    // key state, and the US layout names it where the program asked for that layout.
    {"Minus", 0, 20},
    {"Equal", 0, 21},
    {"BracketLeft", 0, 34},
    {"BracketRight", 0, 35},
    {"Semicolon", 0, 47},
    {"Quote", 0, 48},
    {"Backquote", 0, 49},
    {"Backslash", 0, 51},
    {"Comma", 0, 59},
    {"Period", 0, 60},
    {"Slash", 0, 61},
    {"F1", VK_F1, 67},
    {"F2", VK_F1 + 1, 68},
    {"F3", VK_F1 + 2, 69},
    {"F4", VK_F1 + 3, 70},
    {"F5", VK_F1 + 4, 71},
    {"F6", VK_F1 + 5, 72},
    {"F7", VK_F1 + 6, 73},
    {"F8", VK_F1 + 7, 74},
    {"F9", VK_F1 + 8, 75},
    {"F10", VK_F1 + 9, 76},
    {"F11", VK_F1 + 10, 95},
    {"F12", VK_F1 + 11, 96},
};

const WebKey* keyOfCode(const char* code) {
    for (const WebKey& key : KEYS) {
        if (std::strcmp(key.code, code) == 0) {
            return &key;
        }
    }
    return nullptr;
}

// KeyboardEvent.key names a key ("Shift", "ArrowLeft") or gives the one character it types, as
// UTF-8 here: one character is one code point.
int characterBytes(const char* key) {
    int length = (int)std::strlen(key);
    if (length == 0 || length > 4) {
        return 0;
    }
    int bytes = (key[0] & 0x80) == 0
                    ? 1
                    : ((key[0] & 0xe0) == 0xc0 ? 2 : ((key[0] & 0xf0) == 0xe0 ? 3 : 4));
    return bytes == length ? length : 0;
}

// What Control makes of a character, as XLookupString does on X11: Control+N types 0x0E, which
// is no key of the kit's, where the page's event still says "n".
unsigned char withControl(unsigned char c) {
    if ((c >= '@' && c < 0x7f) || c == ' ') {
        return (unsigned char)(c & 0x1f);
    }
    if (c == '2') {
        return 0;
    }
    if (c >= '3' && c <= '7') {
        return (unsigned char)(c - '3' + 0x1b);
    }
    if (c == '8') {
        return 0x7f;
    }
    return c == '/' ? 0x1f : c;
}

unsigned modifiersOf(const EmscriptenKeyboardEvent* event) {
    return (event->shiftKey ? KEY_SHIFT : 0u) | (event->ctrlKey ? KEY_CONTROL : 0u) |
           (event->altKey ? KEY_ALT : 0u);
}

// A key of the table pressed or let go with no modifiers and typing nothing, as the arrows are:
// what a swipe sends.
void sendNamedKey(WindowRecord* window, const WebKey* physical, bool press) {
    KeyEvent key = KeyEvent();
    key.press = press;
    key.keycode = physical->keycode;
    key.virtualKey = physical->virtualKey;
    key.screen.x = web.pointerX;
    key.screen.y = web.pointerY;
    key.keymapNamesKey = true;
    inputKey(window, &key);
    web.arrived = true;
}

// A box shown in the page answers to Enter, Escape and Space as its OK button.
bool answersBox(const char* code) {
    return std::strcmp(code, "Enter") == 0 || std::strcmp(code, "NumpadEnter") == 0 ||
           std::strcmp(code, "Escape") == 0 || std::strcmp(code, "Space") == 0;
}

// A key the program receives is the page's no more (preventDefault: no scrolling by arrows or
// Space, no find by F3); any other key keeps its meaning for the browser. A repeat (the `repeat`
// flag) is a new key-down, as Win32 sends one.
EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* event, void* data) {
    (void)data;
    bool press = type == EMSCRIPTEN_EVENT_KEYDOWN;
    if (web.box != nullptr) {
        if (press && answersBox(event->code)) {
            webBoxAnswered();
            return EM_TRUE;
        }
        return EM_FALSE;
    }
    WindowRecord* window = web.window;
    if (window == nullptr) {
        return EM_FALSE;
    }
    const WebKey* physical = keyOfCode(event->code);
    bool known = physical != nullptr && physical->virtualKey != 0;
    int bytes = characterBytes(event->key);
    // Control and Alt combinations stay the browser's unless the key is one the program knows.
    if (!known && (bytes == 0 || event->ctrlKey || event->altKey || event->metaKey)) {
        return EM_FALSE;
    }
    KeyEvent key = KeyEvent();
    key.press = press;
    key.keycode = physical != nullptr ? physical->keycode : 0;
    key.virtualKey = known ? physical->virtualKey : 0;
    // A letter key's virtual key is the letter the layout types (the A key of a French keyboard
    // is where a US one has Q), as Win32 names it; a key that types no Latin letter (a Cyrillic
    // layout) keeps the US layout's letter of its place.
    char typed = bytes == 1 ? event->key[0] : 0;
    if (key.virtualKey >= 'A' && key.virtualKey <= 'Z' && typed >= 'a' && typed <= 'z') {
        key.virtualKey = typed - 'a' + 'A';
    } else if (key.virtualKey >= 'A' && key.virtualKey <= 'Z' && typed >= 'A' && typed <= 'Z') {
        key.virtualKey = typed;
    }
    key.modifiers = modifiersOf(event);
    key.screen.x = web.pointerX;
    key.screen.y = web.pointerY;
    key.keymapNamesKey = known;
    // The ANSI code page holds Latin-1: a character beyond it types nothing.
    unsigned char first = (unsigned char)event->key[0];
    if (press && bytes == 1) {
        key.characters[0] = event->ctrlKey ? withControl(first) : first;
        key.characterCount = 1;
    } else if (press && bytes == 2 && (first == 0xc2 || first == 0xc3)) {
        key.characters[0] =
            (unsigned char)(((first & 0x03) << 6) | ((unsigned char)event->key[1] & 0x3f));
        key.characterCount = 1;
    } else if (press && known &&
               (physical->virtualKey == VK_RETURN || physical->virtualKey == VK_ESCAPE)) {
        // KeyboardEvent.key names these two ("Enter", "Escape"), but on Win32 (and on X) they
        // type a control character, their virtual key's code: WM_CHAR 13 and 27.
        key.characters[0] = (unsigned char)physical->virtualKey;
        key.characterCount = 1;
    }
    HeldInput pressed = heldInputFor(HELD_KEY, window);
    pressed.key = key;
    deliver(pressed);
    return EM_TRUE;
}

// The held buttons as MK_ flags from MouseEvent.buttons (1 left, 2 right, 4 middle), with the
// modifiers.
WPARAM heldFlags(const EmscriptenMouseEvent* event) {
    WPARAM held = 0;
    held |= (event->buttons & 1) != 0 ? MK_LBUTTON : 0;
    held |= (event->buttons & 2) != 0 ? MK_RBUTTON : 0;
    held |= (event->buttons & 4) != 0 ? MK_MBUTTON : 0;
    held |= event->shiftKey ? MK_SHIFT : 0;
    held |= event->ctrlKey ? MK_CONTROL : 0;
    return held;
}

// The page scales the canvas to fit its viewport (data/web/index.html), so a position on it in
// CSS pixels is mapped to the drawing buffer's pixels, which are the client area's. A position
// comes in whole CSS pixels: scaled up, the pointer reaches every few client pixels, as a mouse
// on a magnified screen does. Outside the canvas (a drag under capture) the same scale holds.
int toClient(long css, double shown, int client) {
    if (shown <= 0.0) {
        return (int)css;
    }
    return (int)std::floor(((double)css + 0.5) * (double)client / shown);
}

EM_BOOL onMouse(int type, const EmscriptenMouseEvent* event, void* data) {
    (void)data;
    WindowRecord* window = web.window;
    if (window == nullptr || web.box != nullptr) {
        return EM_FALSE;
    }
    double shownWidth = 0.0;
    double shownHeight = 0.0;
    emscripten_get_element_css_size(CANVAS, &shownWidth, &shownHeight);
    int x = toClient(event->targetX, shownWidth, window->width);
    int y = toClient(event->targetY, shownHeight, window->height);
    web.pointerX = x;
    web.pointerY = y;
    WPARAM held = heldFlags(event);
    HeldInput pointer = heldInputFor(HELD_MOTION, window);
    pointer.x = x;
    pointer.y = y;
    pointer.held = held;
    if (type == EMSCRIPTEN_EVENT_MOUSEMOVE) {
        deliver(pointer);
        return EM_TRUE;
    }
    // DOM numbers buttons left 0, middle 1, right 2; the core left 0, right 1, middle 2.
    static const int BUTTONS[3] = {0, 2, 1};
    static const WPARAM FLAGS[3] = {MK_LBUTTON, MK_MBUTTON, MK_RBUTTON};
    if (event->button > 2) {
        return EM_FALSE;
    }
    bool press = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
    // MouseEvent.buttons holds the state after the event; the core wants it before.
    held = press ? held & ~FLAGS[event->button] : held | FLAGS[event->button];
    const WPARAM all = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON;
    unsigned grab =
        press ? GRAB_STARTS : ((held & all & ~FLAGS[event->button]) == 0 ? GRAB_ENDS : 0);
    pointer.kind = HELD_BUTTON;
    pointer.button = BUTTONS[event->button];
    pointer.press = press;
    pointer.held = held;
    pointer.grab = grab;
    deliver(pointer);
    return EM_TRUE;
}

// A swipe on a touch screen is an arrow key, pressed and let go at once: the way to steer
// where there is no keyboard. The finger must travel SWIPE_CSS_PIXELS along either axis, in the
// page's CSS pixels (about 5 mm on a phone, whatever the canvas's scale), before its move
// counts, so that a tap, which wanders a pixel or two, stays a click; the axis it travelled
// further along gives the arrow (a tie counts as vertical). The travel then counts again from
// where the finger is: on the same way it sends nothing more (a long swipe is one key), another
// way is another arrow, so one finger can turn twice without lifting. One finger is followed,
// the first down; the others are ignored until it lifts.
const long SWIPE_CSS_PIXELS = 30;

struct Swipe {
    bool following;
    long finger; // Touch.identifier
    long fromX;  // where its travel counts from, in CSS pixels
    long fromY;
    const WebKey* sent; // the arrow this finger gave last, or null
};
Swipe swipe;

const EmscriptenTouchPoint* followedFinger(const EmscriptenTouchEvent* event) {
    for (int i = 0; i < event->numTouches; i++) {
        if (event->touches[i].identifier == swipe.finger && event->touches[i].isChanged) {
            return &event->touches[i];
        }
    }
    return nullptr;
}

EM_BOOL onTouch(int type, const EmscriptenTouchEvent* event, void* data) {
    (void)data;
    WindowRecord* window = web.window;
    if (window == nullptr || web.box != nullptr) {
        swipe.following = false;
        return EM_FALSE;
    }
    if (type == EMSCRIPTEN_EVENT_TOUCHSTART) {
        if (!swipe.following) {
            for (int i = 0; i < event->numTouches; i++) {
                const EmscriptenTouchPoint& touch = event->touches[i];
                if (touch.isChanged) {
                    swipe = Swipe{true, touch.identifier, touch.clientX, touch.clientY, nullptr};
                    break;
                }
            }
        }
        // Not prevented: a tap goes on to be the browser's click, the left button's press.
        return EM_FALSE;
    }
    const EmscriptenTouchPoint* finger = swipe.following ? followedFinger(event) : nullptr;
    if (finger == nullptr) {
        return EM_FALSE;
    }
    if (type != EMSCRIPTEN_EVENT_TOUCHMOVE) {
        swipe.following = false; // lifted, or taken by the browser
        return EM_FALSE;
    }
    long dx = finger->clientX - swipe.fromX;
    long dy = finger->clientY - swipe.fromY;
    if (std::labs(dx) < SWIPE_CSS_PIXELS && std::labs(dy) < SWIPE_CSS_PIXELS) {
        return EM_FALSE; // a browser may take a prevented first move as the end of a tap
    }
    // The page's y runs down, as the client area's does: a swipe down is the down arrow.
    const char* code = std::labs(dx) > std::labs(dy) ? (dx < 0 ? "ArrowLeft" : "ArrowRight")
                                                     : (dy < 0 ? "ArrowUp" : "ArrowDown");
    const WebKey* arrow = keyOfCode(code);
    if (arrow != swipe.sent) {
        sendNamedKey(window, arrow, true);
        sendNamedKey(window, arrow, false);
        swipe.sent = arrow;
    }
    swipe.fromX = finger->clientX;
    swipe.fromY = finger->clientY;
    // The canvas's touch-action keeps the page from scrolling or zooming under a swipe already;
    // this is for browsers without it.
    return EM_TRUE;
}

// The page losing the focus (another tab, another program) lets go of every key held: their
// releases go elsewhere.
EM_BOOL onFocus(int type, const EmscriptenFocusEvent* event, void* data) {
    (void)event;
    (void)data;
    if (web.window == nullptr) {
        return EM_FALSE;
    }
    HeldInput focus = heldInputFor(HELD_FOCUS, web.window);
    focus.focused = type == EMSCRIPTEN_EVENT_FOCUS;
    deliver(focus);
    return EM_FALSE;
}

// clang-format off
// What html5.h does not offer: the pointer's id for setPointerCapture, a context menu that would
// cover the canvas at a right click, and pagehide, the last moment of a page going away.
EM_JS(void, webAddPageListeners, (const char* selector), {
    var canvas = document.querySelector(UTF8ToString(selector));
    var listeners = [];
    function listen(target, type, handler) {
        target.addEventListener(type, handler);
        listeners.push([target, type, handler]);
    }
    if (canvas) {
        listen(canvas, "pointerdown", function(e) { Module.wrendlePointerId = e.pointerId; });
        listen(canvas, "contextmenu", function(e) { e.preventDefault(); });
    }
    listen(window, "pagehide", function(e) {
        if (!e.persisted) _webPageHidden();
    });
    Module.wrendleListeners = listeners;
});

EM_JS(void, webRemovePageListeners, (void), {
    var listeners = Module.wrendleListeners || [];
    for (var i = 0; i < listeners.length; i++) {
        listeners[i][0].removeEventListener(listeners[i][1], listeners[i][2]);
    }
    Module.wrendleListeners = [];
});
// clang-format on

} // namespace

// The tab going away for good: the window's last chance to hear of it, as a close box's
// WM_CLOSE. A page put into the back/forward cache (pagehide with `persisted`) is not going
// away: it is kept whole, frozen, and goes on where it was if the user comes back; one the
// browser drops from that cache later goes without any event, as a killed process does.
extern "C" EMSCRIPTEN_KEEPALIVE void webPageHidden(void) {
    if (web.window != nullptr) {
        inputCloseRequested(web.window);
        web.arrived = true;
    }
}

bool webHandOnPending(void) {
    bool any = pending.count > 0;
    pending.handOnHeld(handOn);
    return any;
}

void webListen(void) {
    const char* page = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(page, nullptr, EM_TRUE, onKey);
    emscripten_set_keyup_callback(page, nullptr, EM_TRUE, onKey);
    emscripten_set_mousedown_callback(CANVAS, nullptr, EM_TRUE, onMouse);
    emscripten_set_mouseup_callback(CANVAS, nullptr, EM_TRUE, onMouse);
    emscripten_set_mousemove_callback(CANVAS, nullptr, EM_TRUE, onMouse);
    emscripten_set_touchstart_callback(CANVAS, nullptr, EM_TRUE, onTouch);
    emscripten_set_touchmove_callback(CANVAS, nullptr, EM_TRUE, onTouch);
    emscripten_set_touchend_callback(CANVAS, nullptr, EM_TRUE, onTouch);
    emscripten_set_touchcancel_callback(CANVAS, nullptr, EM_TRUE, onTouch);
    emscripten_set_focus_callback(page, nullptr, EM_TRUE, onFocus);
    emscripten_set_blur_callback(page, nullptr, EM_TRUE, onFocus);
    webAddPageListeners(CANVAS);
    web.listening = true;
}

void webStopListening(void) {
    if (!web.listening) {
        return;
    }
    emscripten_html5_remove_all_event_listeners();
    webRemovePageListeners();
    web.listening = false;
}
