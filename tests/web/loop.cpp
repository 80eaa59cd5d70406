// A kit program for the page's loop checks only (tests/web/loop.test.js; never in out/web): it
// records what the kit's handlers see as one line each on standard output, the page's console,
// so that the page can be held to what the kit's loop does natively (tests/kit_loop). Its first
// argument picks what it records:
//   keys      the key slot alone (Escape is recorded, not dispatched): each key's code and
//             modifiers, and the toggle bits of Shift and Control as the system has them then
//   paint     keys and the left button dispatched to their bindings ('n' and 'a' are bound),
//             with each binding and paint marked by the number of idle calls made before it
//   text      a key slot that takes a millisecond per key, in a loop that never waits
//   mouse     the button and motion slots, and the left and right buttons' move bindings
//   reshape   the reshapes during kitOpenWindow and the loop's first, with the idle calls
//   viewport  the viewport and projection that the default reshape leaves
//   requests  three redraw and three realize requests made at once, and what came of them
//   wait      an idle handler that clears itself on its fifth call, then the loop's end
//   escape    Escape bound before and after the window opens, so that only the kit's own
//             binding and the one before it run
// "ready" says the window has had its first paint and the loop is turning.
#include "kit/core.h"
#include "platform/gl.h"
#include "platform/win32.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string mode;
long idleCalls = 0;
long paints = 0;
bool ready = false;
// Something was recorded since the last idle call: the next one says the loop has turned.
bool recorded = false;

void line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void line(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::putchar('\n');
    std::fflush(stdout);
    recorded = true;
}

// --- Keys ----------------------------------------------------------------------------------------

int recordKeyOnly(int32_t code, int32_t modifiers) {
    line("key %d %d %d %d", code, modifiers, GetKeyState(VK_SHIFT) & 1,
         GetKeyState(VK_CONTROL) & 1);
    return 0;
}

int recordKey(int32_t code, int32_t modifiers) {
    line("key %d %d", code, modifiers);
    return kitDispatchKey(code, modifiers);
}

// Busy for a millisecond on the C++ clock, which never yields to the page: input meanwhile
// waits for the loop.
int recordKeySlowly(int32_t code, int32_t modifiers) {
    line("key %d %d", code, modifiers);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1);
    while (std::chrono::steady_clock::now() < end) {
    }
    return 0;
}

void markKey() {
    line("bound %ld", idleCalls);
}

void clientBindingFirst() {
    line("client binding ran first");
}

void exitThree() {
    std::exit(3);
}

// --- Mouse ---------------------------------------------------------------------------------------

int captured() {
    return GetCapture() != nullptr && GetCapture() == kit.window ? 1 : 0;
}

int recordDown(int32_t x, int32_t y, int32_t buttons) {
    line("down %d %d %d %d", x, y, buttons, captured());
    return kitDispatchMouseDown(x, y, buttons);
}

int recordUp(int32_t x, int32_t y, int32_t buttons) {
    line("up %d %d %d %d", x, y, buttons, captured());
    return kitDispatchMouseUp(x, y, buttons);
}

int recordMove(int32_t x, int32_t y, int32_t buttons) {
    line("move %d %d %d %d", x, y, buttons, captured());
    return kitDispatchMouseMove(x, y, buttons);
}

void recordBinding(MouseEvent* event) {
    line("binding %d %d %d %d %d", event->kind, event->x, event->y, event->button, event->reserved);
}

// --- Reshape, paint and idle --------------------------------------------------------------------

void recordReshapeOpening(int32_t width, int32_t height) {
    line("reshape %d %d while opening", width, height);
}

void recordReshape(int32_t width, int32_t height) {
    line("reshape %d %d after %ld idle calls", width, height, idleCalls);
}

void paint() {
    paints++;
    // A colour the page can see; the checks read the lines.
    glClearColor(0.0f, 0.25f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    kitSwapBuffers();
    if (ready) {
        line("paint %ld", idleCalls);
    }
}

void announceReady() {
    if (!ready && paints > 0) {
        ready = true;
        line("ready");
    }
}

void countIdle() {
    idleCalls++;
    announceReady();
    if (ready && recorded) {
        line("idle %ld", idleCalls);
        recorded = false;
    }
}

// The default reshape's work, read at the loop's first idle call.
void reportViewport() {
    countIdle();
    if (idleCalls != 1) {
        return;
    }
    GLint viewport[4] = {-1, -1, -1, -1};
    GLfloat projection[16] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    line("viewport %d %d %d %d projection %.9g %.9g %.9g %.9g", viewport[0], viewport[1],
         viewport[2], viewport[3], (double)projection[0], (double)projection[5],
         (double)projection[12], (double)projection[13]);
}

// Once the loop is turning: three redraw and three realize requests, then 200 ms of turns
// before the paints that came of them are counted.
void makeRequests() {
    static long paintsBefore = 0;
    static double madeAt = 0;
    countIdle();
    if (!ready) {
        return;
    }
    double now = (double)GetTickCount();
    if (madeAt == 0) {
        madeAt = now;
        paintsBefore = paints;
        kitRequestRedraw(kit.window);
        kitRequestRedraw(kit.window);
        kitRequestRedraw(kit.window);
        int posted[3] = {};
        for (int& result : posted) {
            result = kitPostRealizeRequest();
        }
        int waiting = 0;
        MSG msg;
        while (PeekMessageA(&msg, kit.window, WM_USER, WM_USER, PM_REMOVE)) {
            waiting++;
        }
        line("realize %d posted %d %d %d", waiting, posted[0], posted[1], posted[2]);
    } else if (now >= madeAt + 200 && paintsBefore >= 0) {
        line("requests painted %ld", paints - paintsBefore);
        paintsBefore = -1;
    }
}

void idleFiveTimes() {
    if (++idleCalls == 5) {
        kitSetIdleHandler(nullptr);
        line("idle %ld, then waiting", idleCalls);
    }
}

void closeKit() {
    kitClose();
}

int32_t clientWidth = 320;
int32_t clientHeight = 240;

bool open() {
    kitSetWindowRect(0, 0, clientWidth, clientHeight);
    kitSetDisplayMode(KIT_DOUBLE | KIT_DEPTH16);
    return kitOpenWindow("Wrendle web check: loop") == 1;
}

} // namespace

int main(int argc, char** argv) {
    mode = argc > 1 ? argv[1] : "";
    if (mode == "mouse" || mode == "wait" || mode == "escape" || mode == "requests") {
        clientWidth = 200;
        clientHeight = 150;
    } else if (mode == "viewport") {
        clientWidth = 256;
        clientHeight = 128;
    }
    if (mode == "reshape") {
        // A handler set before the window exists sees its one WM_SIZE, sent when it is shown.
        kitSetReshapeHandler(recordReshapeOpening);
    }
    if (mode == "escape") {
        kitBindKey(KIT_KEY_ESCAPE, clientBindingFirst);
    }
    if (!open()) {
        return 1;
    }
    KitHandler idle = countIdle;
    if (mode == "keys") {
        kitSetKeyHandler(recordKeyOnly);
    } else if (mode == "paint") {
        kitSetKeyHandler(recordKey);
        kitBindKey('n', markKey);
        kitBindKey('a', markKey);
        kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN, recordBinding);
        kitSetMouseDownHandler(recordDown);
        kitSetMouseUpHandler(recordUp);
    } else if (mode == "text") {
        kitSetKeyHandler(recordKeySlowly);
    } else if (mode == "mouse") {
        kitSetMouseDownHandler(recordDown);
        kitSetMouseUpHandler(recordUp);
        kitSetMouseMoveHandler(recordMove);
        kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_MOVE, recordBinding);
        kitBindMouse(KIT_RIGHT_BUTTON, KIT_MOUSE_MOVE, recordBinding);
    } else if (mode == "reshape") {
        line("opened");
        kitSetReshapeHandler(recordReshape);
    } else if (mode == "viewport") {
        idle = reportViewport;
    } else if (mode == "requests") {
        idle = makeRequests;
    } else if (mode == "wait") {
        kitBindKey('q', closeKit);
        idle = idleFiveTimes;
    } else if (mode == "escape") {
        kitBindKey(KIT_KEY_ESCAPE, exitThree);
    } else {
        line("unknown mode '%s'", mode.c_str());
        return 2;
    }
    kitSetIdleHandler(idle);
    kitRun(paint);
    // The window is gone (its close box, or kitClose): what the tear-down left.
    line("ended window %d key handler %d display %d reshape %d key bindings %d idle calls %ld",
         kit.window != nullptr, kit.keyHandler != nullptr, kit.displayHandler != nullptr,
         kit.reshapeHandler != nullptr, kit.keyCount, idleCalls);
    std::exit(0);
}
