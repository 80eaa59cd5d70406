// The kit's message loop and window procedure: keys, mouse and capture injected from outside,
// reshapes, paints, the waiting loop's CPU use, and every way of ending. Built three times: the
// kit's own rules run in-process on the headless backend (kit_loop_headless_test, input from the
// test controls); what depends on a display's input and timing runs on an X server
// (kit_loop_test, XTest) and under a Wayland compositor (kit_loop_wayland_test, wtype and the
// test pointer), where what only X offers is skipped on Wayland.
#include "kit/core.h"
#include "platform/gl.h"
#include "platform/testctl.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>

#include "tests/support/inject.h"
#include "tests/support/support.h"
#include "tests/support/wayland.h"

#include <pthread.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

// --- What the handlers saw ---------------------------------------------------------------------

struct KeySeen {
    int32_t code;
    int32_t modifiers;
};
struct MouseSeen {
    int32_t kind;
    int32_t x;
    int32_t y;
    int32_t buttons;
    bool operator==(const MouseSeen& o) const {
        return kind == o.kind && x == o.x && y == o.y && buttons == o.buttons;
    }
};
std::ostream& operator<<(std::ostream& out, const MouseSeen& m) {
    return out << "{" << m.kind << ", " << m.x << ", " << m.y << ", " << m.buttons << "}";
}
// A key binding or a paint, with the number of idle calls made before it.
struct Mark {
    char what;
    long idleCalls;
};

std::vector<KeySeen> keys;
std::vector<MouseSeen> mice;
std::vector<MouseEvent> bindingEvents;
std::vector<Mark> marks;
std::vector<std::pair<int32_t, int32_t>> reshapes;
long idleCalls = 0;
long paints = 0;
long reshapeIdleCalls = -1;

void resetRecords() {
    keys.clear();
    mice.clear();
    bindingEvents.clear();
    marks.clear();
    reshapes.clear();
    idleCalls = 0;
    paints = 0;
    reshapeIdleCalls = -1;
}

bool keySeen(int32_t code) {
    for (const KeySeen& k : keys) {
        if (k.code == code) {
            return true;
        }
    }
    return false;
}

bool mouseSeen(const MouseSeen& wanted) {
    for (const MouseSeen& m : mice) {
        if (m == wanted) {
            return true;
        }
    }
    return false;
}

std::vector<MouseSeen> miceOfKind(int32_t kind) {
    std::vector<MouseSeen> out;
    for (const MouseSeen& m : mice) {
        if (m.kind == kind) {
            out.push_back(m);
        }
    }
    return out;
}

// Key and mouse slots that record, then hand on to the facade's dispatchers so that bindings
// and the redraw request work as they do for the game.
int recordKey(int32_t code, int32_t modifiers) {
    keys.push_back({code, modifiers});
    return kitDispatchKey(code, modifiers);
}
// Records without dispatching, so Escape does not reach the kit's binding.
int recordKeyOnly(int32_t code, int32_t modifiers) {
    keys.push_back({code, modifiers});
    return 0;
}
int recordDown(int32_t x, int32_t y, int32_t buttons) {
    mice.push_back({KIT_MOUSE_DOWN, x, y, buttons});
    return kitDispatchMouseDown(x, y, buttons);
}
int recordUp(int32_t x, int32_t y, int32_t buttons) {
    mice.push_back({KIT_MOUSE_UP, x, y, buttons});
    return kitDispatchMouseUp(x, y, buttons);
}
int recordMove(int32_t x, int32_t y, int32_t buttons) {
    mice.push_back({KIT_MOUSE_MOVE, x, y, buttons});
    return kitDispatchMouseMove(x, y, buttons);
}
void recordBinding(MouseEvent* event) {
    bindingEvents.push_back(*event);
}
void recordReshape(int32_t width, int32_t height) {
    if (reshapes.empty()) {
        reshapeIdleCalls = idleCalls;
    }
    reshapes.push_back({width, height});
}
void recordPaint() {
    paints++;
    marks.push_back({'P', idleCalls});
}
void markKey() {
    marks.push_back({'K', idleCalls});
}
void closeKit() {
    kitClose();
}

// --- Time --------------------------------------------------------------------------------------

double now() {
    return secondsNow();
}

// --- Input injection ---------------------------------------------------------------------------

// The tests' own X connection (null on Wayland), for what only X offers: input itself goes
// in through tests/support/inject.h as a user's would.
Display* inject = nullptr;
int injectErrors = 0;
// The program's name begins its app_id, which finds its window in the compositor's tree.
const char* const APP_ID = "kit_loop_w";

// Skips a test of something a Wayland client cannot do or see.
#define SKIP_ON_WAYLAND(why)                                                                       \
    if (onWayland()) {                                                                             \
        GTEST_SKIP() << "not on Wayland: " << why;                                                 \
    }

bool headless() {
    const char* backend = std::getenv("WRENDLE_BACKEND");
    return backend != nullptr && std::string(backend) == "headless";
}
// Where a case runs: a rule of the kit's own on the headless backend only; a case that needs a
// display's input as the display makes it, or a wake-up from another thread, on the displays.
#define ON_HEADLESS()                                                                              \
    if (!headless()) {                                                                             \
        GTEST_SKIP() << "runs on the headless backend (kit_loop_headless_test)";                   \
    }
#define ON_DISPLAYS(why)                                                                           \
    if (headless()) {                                                                              \
        GTEST_SKIP() << "needs a display: " << why;                                                \
    }

int countInjectError(Display*, XErrorEvent*) {
    injectErrors++;
    return 0;
}

void press(KeySym sym, bool down) {
    injectKey(sym, down);
}
void tap(KeySym sym) {
    injectTap(sym);
}
void tapWith(KeySym modifier, KeySym sym) {
    press(modifier, true);
    tap(sym);
    press(modifier, false);
}

Window clientWindow() {
    return onWayland() || headless() ? 0 : (Window)testXWindow(kit.window);
}

// The client area's origin: in root coordinates as the server has it, or in the compositor's
// layout.
int originX = 0;
int originY = 0;

void pointerTo(int clientX, int clientY) {
    injectPointerTo(clientX, clientY);
}
void button(unsigned number, bool down) {
    injectButton(number, down);
}

// Gives the kit's window the keyboard: on X11 by asking the server (Xvfb has no window manager);
// on Wayland the compositor gives it to a new window, and the test waits until it has; on
// headless the shown window has it already.
bool focusKitWindow(int width, int height) {
    injectTarget(kit.window);
    if (!injectFindWindow(clientWindow(), width, height)) {
        return false;
    }
    injectOrigin(&originX, &originY);
    if (headless()) {
        return GetFocus() == kit.window;
    }
    if (!onWayland()) {
        XSetInputFocus(inject, clientWindow(), RevertToParent, CurrentTime);
        XSync(inject, False);
        return true;
    }
    return waitUntil(
        [] {
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
            return GetFocus() == kit.window;
        },
        10, [](int ms) { pauseSeconds(ms / 1000.0); });
}

// Sends what was noted while the loop is busy: the program reads its display (a Wayland
// compositor ends a client that leaves a storm unread) but takes no message, so everything
// waits for the loop at once, as input does behind a slow frame. On X11 the server keeps it.
void injectWhileBusy() {
    injectStart();
    waitUntil(injectSent, 60, [](int ms) {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        pauseSeconds(ms / 1000.0);
    });
}

// --- A script run inside the kit's own loop ----------------------------------------------------

// Each step acts once, then the loop keeps turning until its condition holds. The idle
// handler drives the steps, so everything happens under kitMessageLoop.
struct Step {
    std::function<void()> act;
    std::function<bool()> done;
};

std::vector<Step> steps;
size_t stepIndex = 0;
bool stepActed = false;
double stepStart = 0;
bool scriptFinished = false;
const double STEP_TIMEOUT = 20.0; // generous: the machine may be busy

bool waitFor(double seconds) {
    return now() >= stepStart + seconds;
}

void driveScript() {
    idleCalls++;
    if (stepIndex >= steps.size()) {
        scriptFinished = true;
        kitClose();
        return;
    }
    Step& step = steps[stepIndex];
    if (!stepActed) {
        stepActed = true;
        stepStart = now();
        if (step.act) {
            step.act();
        }
        injectSync();
    }
    if (!step.done || step.done()) {
        stepIndex++;
        stepActed = false;
        return;
    }
    if (now() > stepStart + STEP_TIMEOUT) {
        ADD_FAILURE() << "step " << stepIndex << " did not complete; keys " << keys.size()
                      << " mice " << mice.size() << " paints " << paints << " idle " << idleCalls;
        kitClose();
    }
}

// A step that only lets the loop turn for a while.
Step idleFor(double seconds) {
    return {nullptr, [seconds] { return waitFor(seconds); }};
}

// Runs the steps under kitRun and returns once the loop has ended.
void runScript(std::vector<Step> script, bool expectFinished = true) {
    steps = std::move(script);
    stepIndex = 0;
    stepActed = false;
    scriptFinished = false;
    kitSetIdleHandler(driveScript);
    kitRun(recordPaint);
    EXPECT_EQ(scriptFinished, expectFinished) << "the loop ended in step " << stepIndex;
    EXPECT_EQ(kit.window, nullptr);
}

class KitLoop : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(injectOpen(APP_ID)) << "no display to inject input into";
        std::printf("kit loop on %s\n", injectBackendName());
        inject = injectXDisplay();
        if (inject != nullptr) {
            XSetErrorHandler(countInjectError);
        }
    }
    static void TearDownTestSuite() {
        injectClose();
        inject = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(inject != nullptr || onWayland() || headless());
        kitResetState();
        resetRecords();
        injectErrors = 0;
        testRecordMessageBoxes(1);
    }
    void TearDown() override {
        if (kit.window != nullptr) {
            kitClose();
        }
        // A quit left behind would end the next test's loop at once.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        // Nothing a failed test left pressed may reach the next one, and the pointer waits in
        // the corner, away from where the next window opens.
        injectReleaseAll();
        if (!headless()) {
            pointerTo(1 - originX, 1 - originY);
            injectSync();
        }
        testRecordMessageBoxes(0);
    }

    // Opens a kit window whose outer frame starts at (x, y), gives it the focus, and records
    // what its slots see.
    void open(int32_t x, int32_t y, int32_t width, int32_t height) {
        kitSetWindowRect(x, y, width, height);
        kitSetDisplayMode(KIT_DOUBLE | KIT_DEPTH16);
        ASSERT_EQ(kitOpenWindow("kit loop test"), 1);
        ASSERT_NE(kit.window, nullptr);
        ASSERT_TRUE(focusKitWindow(width, height)) << "the window never had the keyboard";
        ASSERT_EQ(injectErrors, 0);
    }
    void recordInput() {
        kitSetKeyHandler(recordKey);
        kitSetMouseDownHandler(recordDown);
        kitSetMouseUpHandler(recordUp);
        kitSetMouseMoveHandler(recordMove);
    }
};

// --- Keys ----------------------------------------------------------------------------------------

TEST_F(KitLoop, KeysGiveTheirCodesAndModifiers) {
    ON_DISPLAYS("keys and characters as the display translates them");
    open(100, 100, 320, 240);
    recordInput();
    kitSetKeyHandler(recordKeyOnly);
    std::vector<KeySeen> letters;
    std::vector<KeySeen> arrows;
    std::vector<KeySeen> named;
    runScript({
        idleFor(0.1),
        {[] {
             tap(XK_n);
             tapWith(XK_Shift_L, XK_n);
             tapWith(XK_Control_L, XK_n);
             tap(XK_z);
         },
         [] { return keySeen('z'); }},
        {[&] {
             letters = keys;
             keys.clear();
             const KeySym arrowKeys[4] = {XK_Left, XK_Up, XK_Right, XK_Down};
             for (KeySym sym : arrowKeys) {
                 tap(sym);
                 tapWith(XK_Shift_L, sym);
                 tapWith(XK_Control_L, sym);
                 press(XK_Control_L, true);
                 tapWith(XK_Shift_L, sym);
                 press(XK_Control_L, false);
             }
             tap(XK_z);
         },
         [] { return keySeen('z'); }},
        {[&] {
             arrows = keys;
             keys.clear();
             const KeySym digits[10] = {XK_0, XK_1, XK_2, XK_3, XK_4, XK_5, XK_6, XK_7, XK_8, XK_9};
             for (KeySym sym : digits) {
                 tap(sym);
             }
             tap(XK_Return);
             tap(XK_Escape); // recorded only: the kit's Escape binding is not dispatched
             tap(XK_space);
             tap(XK_A); // the keysym of the key; the character is still the small letter
             tap(XK_z);
         },
         [] { return keySeen('z'); }},
        {[&] {
             named = keys;
             keys.clear();
             const KeySym silent[10] = {XK_F1,    XK_Tab,   XK_BackSpace, XK_comma,   XK_period,
                                        XK_minus, XK_slash, XK_semicolon, XK_Shift_L, XK_Control_L};
             for (KeySym sym : silent) {
                 tap(sym);
             }
             tapWith(XK_Shift_L, XK_1); // '!'
             tap(XK_z);
         },
         [] { return keySeen('z'); }},
    });
    // Control+n makes a control character, which is no key code.
    ASSERT_EQ(letters.size(), 3u);
    EXPECT_EQ(letters[0].code, 110);
    EXPECT_EQ(letters[0].modifiers, 0);
    EXPECT_EQ(letters[1].code, 78);
    EXPECT_EQ(letters[1].modifiers, KIT_SHIFT);
    EXPECT_EQ(letters[2].code, 'z');

    ASSERT_EQ(arrows.size(), 17u);
    for (int i = 0; i < 16; i++) {
        EXPECT_EQ(arrows[i].code, 37 + i / 4) << i;
        const int32_t modifiers[4] = {0, KIT_SHIFT, KIT_CONTROL, KIT_SHIFT | KIT_CONTROL};
        EXPECT_EQ(arrows[i].modifiers, modifiers[i % 4]) << i;
    }

    std::vector<int32_t> namedCodes;
    for (const KeySeen& k : named) {
        namedCodes.push_back(k.code);
    }
    EXPECT_EQ(namedCodes,
              (std::vector<int32_t>{48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 13, 27, 32, 97, 122}));

    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].code, 'z');
}

// Records with each key the toggle bits of Shift and Control as the system has them then.
std::vector<std::pair<int, int>> togglesSeen;
int recordKeyAndToggles(int32_t code, int32_t modifiers) {
    togglesSeen.push_back({GetKeyState(VK_SHIFT) & 1, GetKeyState(VK_CONTROL) & 1});
    return recordKeyOnly(code, modifiers);
}

TEST_F(KitLoop, ModifiersCountWhileTheirKeysAreDownNotWhileToggled) {
    ON_HEADLESS();
    open(100, 100, 320, 240);
    kitSetKeyHandler(recordKeyAndToggles);
    togglesSeen.clear();
    // Each modifier is tapped twice, so one of the keys after it comes with its toggle bit set
    // whatever the bit was before; only the key pressed while it is held has the modifier.
    runScript({
        idleFor(0.1),
        {[] {
             tap(XK_Shift_L);
             tap(XK_n);
             tap(XK_Shift_L);
             tap(XK_n);
             tapWith(XK_Shift_L, XK_n);
             tap(XK_Control_L);
             tap(XK_Left);
             tap(XK_Control_L);
             tap(XK_Left);
             tapWith(XK_Control_L, XK_Left);
             tap(XK_z);
         },
         [] { return keySeen('z'); }},
    });
    ASSERT_EQ(keys.size(), 7u);
    const int32_t codes[7] = {'n', 'n', 'N', KIT_KEY_LEFT, KIT_KEY_LEFT, KIT_KEY_LEFT, 'z'};
    const int32_t modifiers[7] = {0, 0, KIT_SHIFT, 0, 0, KIT_CONTROL, 0};
    for (size_t i = 0; i < 7; i++) {
        EXPECT_EQ(keys[i].code, codes[i]) << i;
        EXPECT_EQ(keys[i].modifiers, modifiers[i]) << i;
    }
    ASSERT_EQ(togglesSeen.size(), 7u);
    EXPECT_NE(togglesSeen[0].first, togglesSeen[1].first) << "Shift's toggle bit never changed";
    EXPECT_NE(togglesSeen[3].second, togglesSeen[4].second) << "Control's never changed";
}

// Escape in this file's other tests goes to a recording slot; here it reaches the kit's own
// binding, which must end the process with exit code 0 from inside the dispatch.
double escapeSent = 0;
void tapEscapeOnce() {
    if (idleCalls++ == 20) {
        tap(XK_Escape);
        injectSync();
        escapeSent = now();
    } else if (escapeSent > 0 && now() > escapeSent + 10) {
        std::_Exit(7); // the key never arrived
    }
}
void exitThree() {
    std::_Exit(3);
}
void sayFirst() {
    std::fputs("client binding ran first\n", stderr);
}

void runUntilEscape(bool bindBefore) {
    kitResetState();
    testRecordMessageBoxes(1);
    if (!injectOpen(APP_ID)) {
        std::_Exit(5);
    }
    inject = injectXDisplay();
    if (bindBefore) {
        kitBindKey(KIT_KEY_ESCAPE, sayFirst);
    }
    kitSetWindowRect(100, 100, 200, 150);
    kitSetDisplayMode(KIT_DOUBLE | KIT_DEPTH16);
    if (kitOpenWindow("escape") != 1) {
        std::_Exit(6);
    }
    if (!focusKitWindow(200, 150)) {
        std::_Exit(8);
    }
    // Behind the kit's binding: never reached, or the exit code would be 3.
    kitBindKey(KIT_KEY_ESCAPE, exitThree);
    kitSetIdleHandler(tapEscapeOnce);
    kitRun(nullptr);
    std::_Exit(4); // kitRun must not return
}

TEST(KitLoopExit, EscapeEndsTheProcessWithCodeZero) {
    ON_HEADLESS();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(runUntilEscape(false), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(runUntilEscape(true), ::testing::ExitedWithCode(0), "client binding ran first");
}

TEST_F(KitLoop, BoundKeyRaisesOnePaintBeforeTheNextIdleCallAndAnUnboundKeyNone) {
    ON_HEADLESS();
    open(100, 100, 320, 240);
    kitSetKeyHandler(recordKey);
    kitBindKey('n', markKey);
    long paintsBeforeUnbound = 0;
    runScript({
        idleFor(0.3), // the window's own first paints come and go
        {[] {
             marks.clear();
             tap(XK_n);
         },
         [] { return keySeen('n'); }},
        idleFor(0.2),
        {[&] {
             paintsBeforeUnbound = paints;
             tap(XK_m);
         },
         [] { return keySeen('m'); }},
        idleFor(0.2),
    });
    ASSERT_GE(marks.size(), 2u);
    EXPECT_EQ(marks[0].what, 'K');
    EXPECT_EQ(marks[1].what, 'P');
    EXPECT_EQ(marks[1].idleCalls, marks[0].idleCalls) << "an idle call ran before the paint";
    EXPECT_EQ(marks.size(), 2u) << "more than one paint for one key";
    EXPECT_EQ(paints, paintsBeforeUnbound) << "an unbound key asked for a paint";
}

// Keys waiting together (on headless all are queued before the loop turns) each ask for a redraw;
// the one paint comes after the last of them, never one per key.
TEST_F(KitLoop, BoundKeysHandledTogetherShareOnePaintAfterThem) {
    ON_HEADLESS();
    open(100, 100, 320, 240);
    kitSetKeyHandler(recordKey);
    kitBindKey('n', markKey);
    runScript({
        idleFor(0.3),
        {[] {
             marks.clear();
             for (int i = 0; i < 5; i++) {
                 tap(XK_n);
             }
         },
         [] { return keys.size() >= 5; }},
        idleFor(0.1),
    });
    std::string order;
    for (const Mark& mark : marks) {
        order.push_back(mark.what);
    }
    EXPECT_EQ(order, "KKKKKP");
}

TEST_F(KitLoop, KeyStormLosesNothingAndCoalescesPaints) {
    ON_DISPLAYS("a storm that the display keeps while the queue is full");
    open(100, 100, 320, 240);
    kitSetKeyHandler(recordKey);
    kitBindKey('a', markKey);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN, recordBinding);
    kitSetMouseDownHandler(recordDown);
    kitSetMouseUpHandler(recordUp);
    const int keyCount = 400;
    const int clickCount = 100;
    long paintsBefore = 0;
    runScript({
        idleFor(0.2),
        {[&] {
             paintsBefore = paints;
             pointerTo(20, 20);
             // On Wayland every change between keys and the pointer is a process of its own
             // (a wtype run, a line to the test pointer): there the keys go as one run and the
             // clicks as another.
             bool interleave = !onWayland();
             for (int i = 0; i < keyCount; i++) {
                 tap(XK_a);
                 if (interleave && i < clickCount) {
                     button(1, true);
                     button(1, false);
                 }
             }
             for (int i = 0; i < clickCount && !interleave; i++) {
                 button(1, true);
                 button(1, false);
             }
             injectWhileBusy();
         },
         [&] {
             return (int)keys.size() >= keyCount &&
                    (int)miceOfKind(KIT_MOUSE_UP).size() >= clickCount;
         }},
        idleFor(0.2),
    });
    EXPECT_EQ((int)keys.size(), keyCount);
    EXPECT_EQ((int)miceOfKind(KIT_MOUSE_DOWN).size(), clickCount);
    EXPECT_EQ((int)miceOfKind(KIT_MOUSE_UP).size(), clickCount);
    EXPECT_EQ((int)bindingEvents.size(), clickCount);
    // Every bound key asks for a redraw; the requests of keys handled together fold into one
    // paint, which waits until no input does. The storm arrives in a few batches: a paint per
    // key, or anything near it, means the requests were not coalesced or the paint went ahead
    // of the input waiting behind it.
    EXPECT_GE(paints - paintsBefore, 1);
    EXPECT_LE(paints - paintsBefore, keyCount / 10);
    EXPECT_EQ(GetCapture(), nullptr);
}

// Keys that a busy loop has not taken yet wait for it, however many come at once: a long text
// typed in one go (on Wayland one wtype run, which the library hands over a read at a time,
// hundreds of events each) arrives whole and in order.
std::string textSeen;
int recordCharacterSlowly(int32_t code, int32_t modifiers) {
    (void)modifiers;
    textSeen.push_back((char)code);
    pauseSeconds(0.001);
    return 0;
}

TEST_F(KitLoop, ALongTextTypedIntoABusyLoopArrivesWholeAndInOrder) {
    ON_DISPLAYS("text typed into the display while the loop is busy");
    open(100, 100, 320, 240);
    kitSetKeyHandler(recordCharacterSlowly);
    textSeen.clear();
    const char alphabet[] = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789";
    std::string text;
    for (int i = 0; i < 600; i++) {
        text.push_back(alphabet[(i * 7 + i / 41) % (sizeof(alphabet) - 1)]);
    }
    runScript({
        idleFor(0.1),
        {[&] {
             injectText(text.c_str());
             injectWhileBusy();
         },
         [&] { return textSeen.size() >= text.size(); }},
        idleFor(0.2),
    });
    EXPECT_EQ(textSeen, text);
}

// --- Mouse ---------------------------------------------------------------------------------------

TEST_F(KitLoop, ButtonsAndMotionCarryTheirButtonsAndHeldSums) {
    ON_DISPLAYS("the buttons held as the display reports them");
    open(100, 100, 320, 240);
    recordInput();
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_MOVE, recordBinding);
    kitBindMouse(KIT_RIGHT_BUTTON, KIT_MOUSE_MOVE, recordBinding);
    HWND opened = kit.window;
    HWND captured = nullptr;
    runScript({
        {[] { pointerTo(10, 20); },
         [] {
             return mouseSeen({KIT_MOUSE_MOVE, 10, 20, 0});
         }},
        {[] { button(1, true); },
         [] {
             return mouseSeen({KIT_MOUSE_DOWN, 10, 20, 1});
         }},
        {[] { button(3, true); },
         [] {
             return mouseSeen({KIT_MOUSE_DOWN, 10, 20, 2});
         }},
        {[] {
             bindingEvents.clear();
             pointerTo(15, 25);
         },
         [] {
             return mouseSeen({KIT_MOUSE_MOVE, 15, 25, 3});
         }},
        {[] { button(2, true); },
         [] {
             return mouseSeen({KIT_MOUSE_DOWN, 15, 25, 4});
         }},
        {[] { pointerTo(16, 26); },
         [] {
             return mouseSeen({KIT_MOUSE_MOVE, 16, 26, 7});
         }},
        {[&] {
             captured = GetCapture();
             button(1, false);
         },
         [] {
             return mouseSeen({KIT_MOUSE_UP, 16, 26, 1});
         }},
        {[] { button(2, false); },
         [] {
             return mouseSeen({KIT_MOUSE_UP, 16, 26, 4});
         }},
        {[] { pointerTo(17, 27); },
         [] {
             return mouseSeen({KIT_MOUSE_MOVE, 17, 27, 2});
         }},
        {[] { button(3, false); },
         [] {
             return mouseSeen({KIT_MOUSE_UP, 17, 27, 2});
         }},
        {[] { pointerTo(18, 28); },
         [] {
             return mouseSeen({KIT_MOUSE_MOVE, 18, 28, 0});
         }},
    });
    EXPECT_EQ(miceOfKind(KIT_MOUSE_DOWN), (std::vector<MouseSeen>{{KIT_MOUSE_DOWN, 10, 20, 1},
                                                                  {KIT_MOUSE_DOWN, 10, 20, 2},
                                                                  {KIT_MOUSE_DOWN, 15, 25, 4}}));
    EXPECT_EQ(miceOfKind(KIT_MOUSE_UP), (std::vector<MouseSeen>{{KIT_MOUSE_UP, 16, 26, 1},
                                                                {KIT_MOUSE_UP, 16, 26, 4},
                                                                {KIT_MOUSE_UP, 17, 27, 2}}));
    EXPECT_EQ(captured, opened);
    // The motion to (15, 25) with left and right held reached the left binding with button 1
    // and the right binding with button 2, in binding order.
    ASSERT_GE(bindingEvents.size(), 2u);
    EXPECT_EQ(bindingEvents[0].button, KIT_LEFT_BUTTON);
    EXPECT_EQ(bindingEvents[1].button, KIT_RIGHT_BUTTON);
    EXPECT_EQ(bindingEvents[0].kind, KIT_MOUSE_MOVE);
    EXPECT_EQ(bindingEvents[0].x, 15);
    EXPECT_EQ(bindingEvents[0].y, 25);
    EXPECT_EQ(bindingEvents[0].reserved, 0);
}

TEST_F(KitLoop, CaptureKeepsReportingOutsideTheClientAreaWhileAButtonIsHeld) {
    ON_DISPLAYS("the pointer outside the window under the display's grab");
    open(200, 200, 200, 150);
    recordInput();
    HWND opened = kit.window;
    HWND heldCapture = nullptr;
    runScript({
        {[] { pointerTo(5, 6); },
         [] {
             return mouseSeen({KIT_MOUSE_MOVE, 5, 6, 0});
         }},
        {[] { button(1, true); },
         [] {
             return mouseSeen({KIT_MOUSE_DOWN, 5, 6, 1});
         }},
        {[] { pointerTo(-30, -40); },
         [] {
             return mouseSeen({KIT_MOUSE_MOVE, -30, -40, 1});
         }},
        {[] { pointerTo(250, 170); },
         [] {
             return mouseSeen({KIT_MOUSE_MOVE, 250, 170, 1});
         }},
        {[&] {
             heldCapture = GetCapture();
             pointerTo(-31, -41);
             button(1, false);
         },
         [] {
             return mouseSeen({KIT_MOUSE_UP, -31, -41, 1});
         }},
        // No capture any more: motion outside the window is not the window's.
        {[] {
             pointerTo(-32, -42);
             pointerTo(3, 4);
         },
         [] {
             return mouseSeen({KIT_MOUSE_MOVE, 3, 4, 0});
         }},
    });
    EXPECT_EQ(heldCapture, opened);
    EXPECT_FALSE(mouseSeen({KIT_MOUSE_MOVE, -32, -42, 0}));
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(KitLoop, WindowPositionAndMouseLocationFollowTheServer) {
    ON_DISPLAYS("a real pointer and a server placing the window");
    SKIP_ON_WAYLAND("a client cannot place its window or learn where it is");
    // The game's own placement: the client area starts left of and above the screen's edge
    // only if the frame is thin; either way the kit must hold what the server has.
    open(-10, -8, 300, 200);
    int32_t mouseX = -1;
    int32_t mouseY = -1;
    KitRect rectSeen = {};
    runScript({
        idleFor(0.1),
        {[&] {
             rectSeen = kit.windowRect;
             XTestFakeMotionEvent(inject, -1, 40, 50, CurrentTime);
         },
         idleFor(0.1).done},
        {[&] { kitGetMouseLocation(&mouseX, &mouseY); }, nullptr},
    });
    EXPECT_EQ(rectSeen.x, originX);
    EXPECT_EQ(rectSeen.y, originY);
    EXPECT_EQ(rectSeen.width, 300);
    EXPECT_EQ(rectSeen.height, 200);
    EXPECT_EQ(originX, -10 + GetSystemMetrics(SM_CXFRAME));
    EXPECT_EQ(mouseX, 40 - originX);
    EXPECT_EQ(mouseY, 50 - originY);
}

// --- Reshape and paint ---------------------------------------------------------------------------

TEST_F(KitLoop, FirstReshapeComesFromTheLoopWithTheClientSize) {
    ON_HEADLESS();
    // A handler set before the window exists sees its one WM_SIZE, sent when it is shown.
    kitSetReshapeHandler(recordReshape);
    open(100, 100, 320, 240);
    ASSERT_EQ(reshapes.size(), 1u);
    EXPECT_EQ(reshapes[0], std::make_pair(320, 240));
    resetRecords();

    kitSetReshapeHandler(recordReshape);
    EXPECT_TRUE(reshapes.empty());
    runScript({idleFor(0.1)});
    ASSERT_FALSE(reshapes.empty());
    EXPECT_EQ(reshapes[0], std::make_pair(320, 240));
    EXPECT_EQ(reshapeIdleCalls, 0) << "the first reshape came after an idle call";
}

TEST_F(KitLoop, DefaultReshapeSetsTheViewportToTheClientArea) {
    ON_HEADLESS();
    open(100, 100, 256, 128);
    GLint viewport[4] = {-1, -1, -1, -1};
    GLdouble projection[16] = {};
    runScript({{[&] {
                    glGetIntegerv(GL_VIEWPORT, viewport);
                    glGetDoublev(GL_PROJECTION_MATRIX, projection);
                },
                nullptr}});
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 256);
    EXPECT_EQ(viewport[3], 128);
    // One unit per pixel with the origin at the bottom left.
    EXPECT_DOUBLE_EQ(projection[0], 2.0 / 256);
    EXPECT_DOUBLE_EQ(projection[5], 2.0 / 128);
    EXPECT_DOUBLE_EQ(projection[12], -1.0);
    EXPECT_DOUBLE_EQ(projection[13], -1.0);
}

TEST_F(KitLoop, ResizesCallTheReshapeHandlerAndAskForAPaint) {
    ON_DISPLAYS("a resize from outside the program");
    open(100, 100, 320, 240);
    kitSetReshapeHandler(recordReshape);
    long paintsBefore = 0;
    long paintsAfterMove = 0;
    runScript({
        idleFor(0.2),
        {[&] {
             paintsBefore = paints;
             // MoveWindow takes the outer rectangle.
             RECT outer = {0, 0, 400, 300};
             AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
             MoveWindow(kit.window, 100, 100, outer.right - outer.left, outer.bottom - outer.top,
                        TRUE);
         },
         [&] {
             return !reshapes.empty() && reshapes.back() == std::make_pair(400, 300) &&
                    paints > paintsBefore;
         }},
        {[&] {
             paintsAfterMove = paints;
             // From outside on X11. A Wayland compositor's suggested size is not taken unless
             // the user is resizing, as Win32 windows keep their size: the layer resizes.
             if (onWayland()) {
                 RECT outer = {0, 0, 250, 180};
                 AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
                 MoveWindow(kit.window, 100, 100, outer.right - outer.left,
                            outer.bottom - outer.top, TRUE);
             } else {
                 injectResize(clientWindow(), 250, 180);
             }
         },
         [&] { return reshapes.back() == std::make_pair(250, 180) && paints > paintsAfterMove; }},
    });
    EXPECT_EQ(kit.windowRect.width, 250);
    EXPECT_EQ(kit.windowRect.height, 180);
}

// Where the window was when the reshape handler last ran.
int32_t reshapeOriginX = 0;
int32_t reshapeOriginY = 0;
void recordReshapeOrigin(int32_t width, int32_t height) {
    reshapeOriginX = kit.windowRect.x;
    reshapeOriginY = kit.windowRect.y;
    recordReshape(width, height);
}

TEST_F(KitLoop, AReshapeDuringAMoveSeesTheNewOrigin) {
    ON_DISPLAYS("a move and resize from another client");
    // A drag of the top-left corner moves and resizes at once; a reshape handler that asks
    // where the pointer is must find the window where it now is.
    SKIP_ON_WAYLAND("a client cannot move its window or learn where it is");
    open(100, 100, 320, 240);
    kitSetReshapeHandler(recordReshapeOrigin);
    int32_t serverX = 0;
    int32_t serverY = 0;
    runScript({
        idleFor(0.1),
        {[] { XMoveResizeWindow(inject, clientWindow(), 150, 160, 280, 200); },
         [] { return !reshapes.empty() && reshapes.back() == std::make_pair(280, 200); }},
        {[&] {
             serverX = reshapeOriginX;
             serverY = reshapeOriginY;
             RECT outer = {170, 180, 170 + 260, 180 + 190};
             AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
             MoveWindow(kit.window, outer.left, outer.top, outer.right - outer.left,
                        outer.bottom - outer.top, TRUE);
         },
         [] { return reshapes.back() == std::make_pair(260, 190); }},
    });
    EXPECT_EQ(serverX, 150);
    EXPECT_EQ(serverY, 160);
    EXPECT_EQ(reshapeOriginX, 170);
    EXPECT_EQ(reshapeOriginY, 180);
}

TEST_F(KitLoop, RedrawAndRealizeRequestsWaitAtMostOnceEach) {
    ON_HEADLESS();
    open(100, 100, 200, 150);
    long paintsBefore = 0;
    int realizeWaiting = 0;
    int posted[3] = {};
    runScript({
        idleFor(0.2),
        {[&] {
             paintsBefore = paints;
             kitRequestRedraw(kit.window);
             kitRequestRedraw(kit.window);
             kitRequestRedraw(kit.window);
             for (int& result : posted) {
                 result = kitPostRealizeRequest();
             }
             MSG msg;
             while (PeekMessageA(&msg, kit.window, WM_USER, WM_USER, PM_REMOVE)) {
                 realizeWaiting++;
             }
         },
         [] { return waitFor(0.2); }},
    });
    EXPECT_EQ(paints - paintsBefore, 1);
    EXPECT_EQ(realizeWaiting, 1);
    for (int result : posted) {
        EXPECT_NE(result, 0);
    }
}

// Handles everything waiting, for a while, so that the window's own first paints and moves
// have come and gone.
void settle(void) {
    double end = now() + 0.3;
    MSG msg;
    while (now() < end) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        injectSync();
    }
}

bool paintWaiting(void) {
    MSG msg;
    return PeekMessageA(&msg, kit.window, WM_PAINT, WM_PAINT, PM_NOREMOVE) != 0;
}

TEST_F(KitLoop, SizeMessagesAskForARedrawAndAWaitingPaintAbsorbsRequests) {
    ON_HEADLESS();
    open(100, 100, 320, 240);
    kitSetReshapeHandler(recordReshape);
    settle();
    ASSERT_FALSE(paintWaiting());
    SendMessageA(kit.window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 240));
    ASSERT_EQ(reshapes.size(), 1u);
    EXPECT_TRUE(paintWaiting()) << "the reshape asked for no redraw";
    settle();

    // A paint already waiting, here a posted one, takes the request: nothing more is left
    // waiting once it has been taken out.
    ASSERT_FALSE(paintWaiting());
    PostMessageA(kit.window, WM_PAINT, 0, 0);
    kitRequestRedraw(kit.window);
    MSG posted;
    ASSERT_TRUE(PeekMessageA(&posted, kit.window, WM_PAINT, WM_PAINT, PM_REMOVE));
    EXPECT_FALSE(paintWaiting()) << "a second paint was raised beside the waiting one";
}

TEST_F(KitLoop, MinimisingReshapesToNothingAndRestoringBack) {
    ON_HEADLESS();
    open(100, 100, 320, 240);
    kitSetReshapeHandler(recordReshape);
    long paintsBefore = 0;
    runScript({
        idleFor(0.2),
        {[&] {
             paintsBefore = paints;
             ShowWindow(kit.window, SW_MINIMIZE);
         },
         [] { return reshapes.back() == std::make_pair(0, 0); }},
        {[] { ShowWindow(kit.window, SW_RESTORE); },
         [] { return reshapes.back() == std::make_pair(320, 240); }},
        idleFor(0.1),
    });
    // The minimised size went to the handler like any other, with its paint request.
    EXPECT_GT(paints, paintsBefore);
    EXPECT_EQ(kit.windowRect.width, 320);
}

// The palette messages that no activation or colour change produces on their own: another
// application's palette change, and the realize request.
TEST_F(KitLoop, PaletteChangedElsewhereRealizesOursInTheBackground) {
    ON_HEADLESS();
    testPresentPaletteDisplay(1);
    kitSetPixelFormatMethod(1);
    kitSetPixelFormatNumber(TEST_FORMAT_RGB332_DOUBLE);
    open(100, 100, 160, 120);
    ASSERT_NE(kit.palette, nullptr);
    HWND own = kit.window;
    WPARAM other = (WPARAM)0x4321;

    int before = testRealizeCount();
    EXPECT_EQ(SendMessageA(own, WM_PALETTECHANGED, (WPARAM)own, 0), 0);
    EXPECT_EQ(testRealizeCount(), before) << "reacted to its own palette change";

    kit.systemColoursTaken = 1;
    EXPECT_EQ(SendMessageA(own, WM_PALETTECHANGED, other, 0), 0);
    EXPECT_EQ(testRealizeCount(), before) << "reacted while holding the system colours";
    kit.systemColoursTaken = 0;

    EXPECT_EQ(SendMessageA(own, WM_PALETTECHANGED, other, 0), 0);
    EXPECT_EQ(testRealizeCount(), before + 1);

    EXPECT_EQ(SendMessageA(own, WM_USER, 0, 0), 0);
    EXPECT_EQ(testRealizeCount(), before + 2);

    EXPECT_EQ(SendMessageA(own, WM_QUERYNEWPALETTE, 0, 0), 1);

    kitClose();
    EXPECT_EQ(kit.palette, nullptr);
    // After the tear-down the messages find nothing to realize.
    int closed = testRealizeCount();
    EXPECT_EQ(SendMessageA(own, WM_USER, 0, 0), 0);
    EXPECT_EQ(SendMessageA(own, WM_PALETTECHANGED, other, 0), 0);
    EXPECT_EQ(testRealizeCount(), closed);
    testPresentPaletteDisplay(0);
}

// --- Waiting mode --------------------------------------------------------------------------------

// Clears itself on its fifth call: from then on the loop must wait in GetMessageA.
void idleFiveTimes() {
    if (++idleCalls == 5) {
        kitSetIdleHandler(nullptr);
    }
}

struct Watcher {
    Window window;
    double cpuSeconds;
    double wallSeconds;
};

// Measures the process's CPU time over a second of waiting, then presses the close box.
void* watchThenClose(void* argument) {
    Watcher* watcher = (Watcher*)argument;
    timespec settle = {0, 200000000};
    nanosleep(&settle, nullptr);
    double cpu0 = processCpuSeconds();
    double wall0 = now();
    timespec second = {1, 0};
    nanosleep(&second, nullptr);
    watcher->cpuSeconds = processCpuSeconds() - cpu0;
    watcher->wallSeconds = now() - wall0;
    injectCloseBox(watcher->window);
    return nullptr;
}

TEST_F(KitLoop, ClearedIdleHandlerMakesTheLoopWaitAndTheCloseBoxEndsIt) {
    ON_DISPLAYS("the close box pressed from another thread while the loop waits");
    open(100, 100, 200, 150);
    kitBindKey('q', closeKit);
    kitSetIdleHandler(idleFiveTimes);
    Watcher watcher = {clientWindow(), -1, 0};
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, watchThenClose, &watcher), 0);
    kitRun(recordPaint);
    pthread_join(thread, nullptr);

    EXPECT_EQ(idleCalls, 5);
    EXPECT_GE(watcher.wallSeconds, 0.9);
    EXPECT_LT(watcher.cpuSeconds, 0.05) << "the loop did not wait";
    // The close box destroyed the window: tear-down ran, the tables stay.
    EXPECT_EQ(kit.window, nullptr);
    EXPECT_EQ(kit.keyHandler, nullptr);
    EXPECT_EQ(kit.displayHandler, nullptr);
    EXPECT_EQ(kit.reshapeHandler, nullptr);
    EXPECT_EQ(kit.keyCount, 2);
}

// The idle handler is read again after the messages of a turn: one that a message's handler
// cleared is not called once more.
void idleAskingForAPaint() {
    if (++idleCalls == 3) {
        kitRequestRedraw(kit.window);
    }
}
void paintClearingTheIdleHandler() {
    if (idleCalls >= 3) {
        kitSetIdleHandler(nullptr);
    }
}

TEST_F(KitLoop, IdleHandlerClearedByAMessageIsNotCalledAgain) {
    ON_DISPLAYS("the close box pressed from another thread while the loop waits");
    open(100, 100, 200, 150);
    kitSetIdleHandler(idleAskingForAPaint);
    // The loop then waits; the close box ends it from another connection.
    Watcher watcher = {clientWindow(), -1, 0};
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, watchThenClose, &watcher), 0);
    kitRun(paintClearingTheIdleHandler);
    pthread_join(thread, nullptr);
    EXPECT_EQ(idleCalls, 3);
    EXPECT_EQ(kit.window, nullptr);
}

// The same for a handler replaced by a message's handler: the new one is called from the next
// idle call on, the old one never again.
int replacedCalls = 0;
void idleReplacing() {
    replacedCalls++;
    kitClose();
}
void paintReplacingTheIdleHandler() {
    if (idleCalls >= 3) {
        kitSetIdleHandler(idleReplacing);
    }
}

TEST_F(KitLoop, IdleHandlerReplacedByAMessageIsNotCalledAgain) {
    ON_HEADLESS();
    open(100, 100, 200, 150);
    replacedCalls = 0;
    kitSetIdleHandler(idleAskingForAPaint);
    kitRun(paintReplacingTheIdleHandler);
    EXPECT_EQ(idleCalls, 3);
    EXPECT_EQ(replacedCalls, 1);
    EXPECT_EQ(kit.window, nullptr);
}

// --- Ending from inside handlers ---------------------------------------------------------------

TEST_F(KitLoop, CloseFromAKeyBindingEmptiesTheTablesAndEndsTheLoop) {
    ON_HEADLESS();
    open(100, 100, 200, 150);
    kitBindKey('q', closeKit);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN, recordBinding);
    kitSetIdleHandler(idleFiveTimes);
    // Waiting mode after five idle calls; the key wakes the loop and ends it.
    tap(XK_q);
    injectSync();
    kitRun(recordPaint);
    EXPECT_EQ(kit.window, nullptr);
    EXPECT_EQ(kit.keyCount, 0);
    EXPECT_EQ(kit.mouseDownCount, 0);
    EXPECT_EQ(kit.keyHandler, nullptr);
    EXPECT_EQ(kit.idleHandler, nullptr);
}

int destroyAndFlood(int32_t x, int32_t y, int32_t buttons) {
    mice.push_back({KIT_MOUSE_DOWN, x, y, buttons});
    // Input that the server will deliver for a window that is gone by then.
    for (int i = 0; i < 50; i++) {
        tap(XK_a);
        button(1, false);
        button(1, true);
        pointerTo(i, i);
    }
    button(1, false);
    injectStart();
    DestroyWindow(kit.window);
    return 1; // asks for a redraw of a window that no longer exists
}

TEST_F(KitLoop, WindowDestroyedInsideAHandlerAndEventsForItAfterwards) {
    ON_DISPLAYS("events the display delivers after the window is gone");
    open(100, 100, 200, 150);
    kitSetMouseDownHandler(destroyAndFlood);
    kitSetKeyHandler(recordKey);
    // The destruction, not the script, ends the loop.
    runScript({{[] {
                    pointerTo(10, 10);
                    button(1, true);
                },
                [] { return false; }}},
              false);
    injectWait();
    EXPECT_EQ(mice.size(), 1u);
    EXPECT_TRUE(keys.empty());
    EXPECT_EQ(GetCapture(), nullptr);

    // The queue holds nothing more for the gone window, and a new window works as the first did.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
    }
    resetRecords();
    kitResetState();
    open(120, 120, 200, 150);
    recordInput();
    runScript({{[] { tap(XK_b); }, [] { return keySeen('b'); }}});
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].code, 'b');
}

} // namespace
