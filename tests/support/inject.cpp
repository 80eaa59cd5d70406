// Input injected from outside: XTest on X11; on Wayland wtype for keys (each run a virtual
// keyboard with a keymap of its own) and one wrendle-vpointer kept for the whole run; on the
// headless backend the test controls' input, given at once.
#include <X11/Xlib.h>

#include "tests/support/inject.h"

#include "platform/testctl.h"

#include "tests/support/wayland.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef WRENDLE_VPOINTER
#define WRENDLE_VPOINTER "wrendle-vpointer"
#endif

namespace {

// The output scripts/with-sway gives the compositor: the test pointer stays on it.
const int OUTPUT_WIDTH = 1280;
const int OUTPUT_HEIGHT = 1024;
// Steps per line to the pointer client, well inside its line buffer.
const size_t POINTER_STEPS_PER_LINE = 60;

// A run of noted actions of one kind: wtype's words, or the pointer client's steps.
struct Run {
    bool keys;
    std::vector<std::string> words;
};

struct Injection {
    bool headless;
    HWND target;
    bool wayland;
    Display* display;
    std::string appId;
    int originX;
    int originY;
    bool shiftHeld;
    bool controlHeld;
    bool buttonHeld[4];
    std::vector<Run> runs;
    pid_t pointerPid;
    FILE* pointerIn;
    FILE* pointerOut;
    // Runs being sent by a thread of their own while the program goes on reading.
    std::vector<Run> background;
    pthread_t sender;
    bool sending;
    std::atomic<bool> sent;
};

Injection injection = {false, nullptr, false, nullptr, std::string(), 0,       0,  false,
                       false, {},      {},    -1,      nullptr,       nullptr, {}, pthread_t(),
                       false, {false}};

// A US keyboard's typing block: each unshifted symbol with its shifted one.
const char US_PLAIN[] = "1234567890-=[];'`\\,./";
const char US_SHIFTED[] = "!@#$%^&*()_+{}:\"~|<>?";

// The symbol the key that carries `keysym` types, with or without Shift.
unsigned long usSymbol(unsigned long keysym, bool shift) {
    if (keysym >= XK_A && keysym <= XK_Z) {
        keysym = keysym - XK_A + XK_a;
    }
    const char* shifted = keysym < 0x80 ? std::strchr(US_SHIFTED, (int)keysym) : nullptr;
    if (keysym != 0 && shifted != nullptr) {
        keysym = (unsigned long)(unsigned char)US_PLAIN[shifted - US_SHIFTED];
    }
    if (!shift) {
        return keysym;
    }
    if (keysym >= XK_a && keysym <= XK_z) {
        return keysym - XK_a + XK_A;
    }
    const char* plain = keysym < 0x80 && keysym != 0 ? std::strchr(US_PLAIN, (int)keysym) : nullptr;
    return plain != nullptr ? (unsigned long)(unsigned char)US_SHIFTED[plain - US_PLAIN] : keysym;
}

bool needsShift(char c) {
    return (c >= 'A' && c <= 'Z') || (c != '\0' && std::strchr(US_SHIFTED, c) != nullptr);
}

void note(bool keys, std::initializer_list<std::string> words) {
    if (injection.runs.empty() || injection.runs.back().keys != keys) {
        injection.runs.push_back(Run{keys, {}});
    }
    for (const std::string& word : words) {
        injection.runs.back().words.push_back(word);
    }
}

bool startPointer(void) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) {
        return false;
    }
    const char* path = std::getenv("WRENDLE_VPOINTER");
    std::vector<std::string> words = {path != nullptr && path[0] != '\0' ? path : WRENDLE_VPOINTER,
                                      "serve"};
    pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        close(toChild[1]);
        close(fromChild[0]);
        execWords(words);
    }
    close(toChild[0]);
    close(fromChild[1]);
    injection.pointerPid = pid;
    injection.pointerIn = fdopen(toChild[1], "w");
    injection.pointerOut = fdopen(fromChild[0], "r");
    return injection.pointerIn != nullptr && injection.pointerOut != nullptr;
}

// One line of steps to the pointer client, answered once the compositor has taken them.
bool pointerSteps(const std::vector<std::string>& words, size_t from, size_t to) {
    if (injection.pointerIn == nullptr) {
        return false;
    }
    for (size_t i = from; i < to; i++) {
        std::fputs(words[i].c_str(), injection.pointerIn);
        std::fputc(i + 1 < to ? ' ' : '\n', injection.pointerIn);
    }
    std::fflush(injection.pointerIn);
    char answer[32];
    return std::fgets(answer, sizeof(answer), injection.pointerOut) != nullptr &&
           std::strncmp(answer, "ok", 2) == 0;
}

void runPointer(const std::vector<std::string>& words) {
    // Steps are one to three words; a line ends only after a whole step.
    size_t from = 0;
    size_t steps = 0;
    for (size_t i = 0; i < words.size(); i++) {
        bool stepStarts = words[i] == "move" || words[i] == "press" || words[i] == "release";
        if (stepStarts && steps++ == POINTER_STEPS_PER_LINE) {
            if (!pointerSteps(words, from, i)) {
                std::fprintf(stderr, "inject: the test pointer refused its steps\n");
            }
            from = i;
            steps = 1;
        }
    }
    if (from < words.size() && !pointerSteps(words, from, words.size())) {
        std::fprintf(stderr, "inject: the test pointer refused its steps\n");
    }
}

void sendRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.words.empty()) {
            continue;
        }
        if (run.keys) {
            std::vector<std::string> words = {"wtype"};
            words.insert(words.end(), run.words.begin(), run.words.end());
            if (runCommand(words) != 0) {
                std::fprintf(stderr, "inject: wtype failed\n");
            }
        } else {
            runPointer(run.words);
        }
    }
}

void* sendInBackground(void*) {
    sendRuns(injection.background);
    injection.sent = true;
    return nullptr;
}

const char* buttonName(unsigned button) {
    return button == 1 ? "left" : button == 2 ? "middle" : "right";
}

void waylandKey(unsigned long keysym, int how) { // how: 1 press, 0 release, 2 tap
    if (keysym == XK_Shift_L || keysym == XK_Shift_R || keysym == XK_Control_L ||
        keysym == XK_Control_R) {
        bool shift = keysym == XK_Shift_L || keysym == XK_Shift_R;
        bool& held = shift ? injection.shiftHeld : injection.controlHeld;
        const char* modifier = shift ? "shift" : "ctrl";
        const char* name = XKeysymToString(keysym);
        // wtype's keymap binds no modifier to the key: the modifier state goes beside it.
        if (how != 0 && !held) {
            note(true, {"-M", modifier, "-P", name});
        }
        if (how != 1 && (held || how == 2)) {
            note(true, {"-p", name, "-m", modifier});
        }
        held = how == 1;
        return;
    }
    unsigned long symbol = usSymbol(keysym, injection.shiftHeld);
    const char* name = XKeysymToString(symbol);
    if (name == nullptr) {
        return;
    }
    // wtype looks key names up ignoring case, so "N" would be n: a capital is typed as text.
    if (how == 2 && symbol >= XK_A && symbol <= XK_Z) {
        note(true, {name});
        return;
    }
    note(true, {how == 2 ? "-k" : how == 1 ? "-P" : "-p", name});
}

// On headless: a refused event is one the queue had no room for, which a test must not lose
// unseen.
void given(int accepted) {
    if (!accepted) {
        std::fprintf(stderr, "inject: the window is gone or its queue is full\n");
    }
}

void headlessKey(unsigned long keysym, bool down) {
    given(testKey(GetFocus(), keysym, down ? 1 : 0));
}

} // namespace

bool injectOpen(const char* appId) {
    const char* backend = std::getenv("WRENDLE_BACKEND");
    injection.headless = backend != nullptr && std::strcmp(backend, "headless") == 0;
    if (injection.headless) {
        testReleaseInput();
        return true;
    }
    injection.wayland = onWayland();
    injection.appId = appId != nullptr ? appId : "";
    if (injection.wayland) {
        return startPointer();
    }
    injection.display = XOpenDisplay(nullptr);
    int event, error, major, minor;
    return injection.display != nullptr &&
           XTestQueryExtension(injection.display, &event, &error, &major, &minor);
}

void injectClose(void) {
    injectWait();
    if (injection.display != nullptr) {
        XCloseDisplay(injection.display);
        injection.display = nullptr;
    }
    if (injection.pointerIn != nullptr) {
        std::fclose(injection.pointerIn);
        injection.pointerIn = nullptr;
    }
    if (injection.pointerOut != nullptr) {
        std::fclose(injection.pointerOut);
        injection.pointerOut = nullptr;
    }
    if (injection.pointerPid > 0) {
        int code = 0;
        reapChild(injection.pointerPid, true, &code);
        injection.pointerPid = -1;
    }
    injection.runs.clear();
}

const char* injectBackendName(void) {
    return injection.headless ? "headless" : injection.wayland ? "wayland" : "x11";
}

bool injectOnHeadless(void) {
    return injection.headless;
}

void injectTarget(HWND window) {
    injection.target = window;
}

Display* injectXDisplay(void) {
    return injection.display;
}

bool injectFindWindow(unsigned long xWindow, int width, int height) {
    if (injection.headless) {
        injection.originX = 0;
        injection.originY = 0;
        return IsWindow(injection.target) != FALSE;
    }
    if (!injection.wayland) {
        Window child;
        XSync(injection.display, False);
        return XTranslateCoordinates(injection.display, xWindow,
                                     DefaultRootWindow(injection.display), 0, 0, &injection.originX,
                                     &injection.originY, &child);
    }
    return waitUntil(
        [&] {
            int w = 0, h = 0;
            return swayWindowRect(injection.appId.c_str(), &injection.originX, &injection.originY,
                                  &w, &h) &&
                   w == width && h == height;
        },
        10, [](int ms) { pauseSeconds(ms / 1000.0); }, 20);
}

void injectOrigin(int* x, int* y) {
    *x = injection.originX;
    *y = injection.originY;
}

void injectSetOrigin(int x, int y) {
    injection.originX = x;
    injection.originY = y;
}

void injectKey(unsigned long keysym, bool down) {
    if (injection.headless) {
        headlessKey(keysym, down);
    } else if (injection.wayland) {
        waylandKey(keysym, down ? 1 : 0);
    } else {
        xKey(injection.display, keysym, down);
    }
}

void injectTap(unsigned long keysym) {
    if (injection.headless) {
        headlessKey(keysym, true);
        headlessKey(keysym, false);
    } else if (injection.wayland) {
        waylandKey(keysym, 2);
    } else {
        xTapKey(injection.display, keysym);
    }
}

void injectText(const char* text) {
    if (injection.wayland) {
        note(true, {"--", text});
        injection.runs.push_back(Run{true, {}}); // nothing may follow "--" in the same run
        return;
    }
    for (const char* c = text; *c != '\0'; c++) {
        bool shift = needsShift(*c);
        if (shift) {
            injectKey(XK_Shift_L, true);
        }
        injectTap((KeySym)(unsigned char)*c);
        if (shift) {
            injectKey(XK_Shift_L, false);
        }
    }
}

void injectPointerTo(int x, int y) {
    if (injection.headless) {
        given(testPointerMove(injection.target, x, y));
        return;
    }
    if (!injection.wayland) {
        XTestFakeMotionEvent(injection.display, -1, injection.originX + x, injection.originY + y,
                             CurrentTime);
        return;
    }
    int lx = injection.originX + x;
    int ly = injection.originY + y;
    lx = lx < 0 ? 0 : (lx >= OUTPUT_WIDTH ? OUTPUT_WIDTH - 1 : lx);
    ly = ly < 0 ? 0 : (ly >= OUTPUT_HEIGHT ? OUTPUT_HEIGHT - 1 : ly);
    note(false, {"move", std::to_string(lx), std::to_string(ly)});
}

void injectButton(unsigned button, bool down) {
    if (button < 1 || button > 3) {
        return;
    }
    if (injection.headless) {
        given(testPointerButton(injection.target, (int)button, down ? 1 : 0));
        return;
    }
    if (!injection.wayland) {
        xButton(injection.display, button, down);
        return;
    }
    // A release of a button the compositor does not hold would reach a client as a stray one.
    if (down != injection.buttonHeld[button]) {
        note(false, {down ? "press" : "release", buttonName(button)});
        injection.buttonHeld[button] = down;
    }
}

void injectSync(void) {
    if (injection.headless) {
        return;
    }
    if (!injection.wayland) {
        XSync(injection.display, False);
        return;
    }
    // Runs sent in the background are waited for only when new ones must follow them.
    if (injection.runs.empty()) {
        return;
    }
    injectWait();
    std::vector<Run> runs;
    runs.swap(injection.runs);
    sendRuns(runs);
    // wtype's keyboard and its modifiers went with its process.
    injection.shiftHeld = false;
    injection.controlHeld = false;
}

void injectStart(void) {
    if (!injection.wayland) {
        injectSync();
        return;
    }
    injectWait();
    injection.background.clear();
    injection.background.swap(injection.runs);
    injection.shiftHeld = false;
    injection.controlHeld = false;
    injection.sent = false;
    injection.sending = pthread_create(&injection.sender, nullptr, sendInBackground, nullptr) == 0;
    if (!injection.sending) {
        sendRuns(injection.background);
        injection.sent = true;
    }
}

bool injectSent(void) {
    return !injection.sending || injection.sent;
}

void injectWait(void) {
    if (injection.sending) {
        pthread_join(injection.sender, nullptr);
        injection.sending = false;
    }
}

void injectReleaseAll(void) {
    if (injection.headless) {
        testReleaseInput();
        return;
    }
    for (unsigned b = 1; b <= 3; b++) {
        injectButton(b, false);
    }
    if (!injection.wayland) {
        injectKey(XK_Shift_L, false);
        injectKey(XK_Control_L, false);
    }
    injectSync();
}

void injectResize(unsigned long xWindow, int width, int height) {
    if (injection.headless) {
        return; // nothing resizes a headless window but the program
    }
    if (!injection.wayland) {
        XResizeWindow(injection.display, xWindow, (unsigned)width, (unsigned)height);
        XSync(injection.display, False);
        return;
    }
    std::string criteria = "[app_id=\"^" + injection.appId + "\"]";
    runCommand(
        {"swaymsg", criteria, "resize", "set", std::to_string(width), std::to_string(height)});
}

void injectCloseBox(unsigned long xWindow) {
    if (injection.headless) {
        given(testCloseBox(injection.target));
        return;
    }
    if (injection.wayland) {
        swayClose(injection.appId.c_str());
        return;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display != nullptr) {
        xCloseBox(display, xWindow);
        XCloseDisplay(display);
    }
}
