// What the integration and end-to-end tests share: clocks and CPU time, waits for a condition
// with a deadline, child processes and standard error, XTest input, the close box, window lookup
// and pixel reads.
#pragma once

#include <string>
#include <cstdint>
#include <vector>

#include <sys/types.h>

// Xlib's own types, declared without Xlib's header: it defines None and Bool as macros, which
// GoogleTest's headers do not survive when they come after it.
typedef struct _XDisplay Display;
typedef unsigned long Window;
typedef unsigned long KeySym;

// --- Clocks ------------------------------------------------------------------------------------

// Seconds of the monotonic clock (and milliseconds), and of CPU time this process has used.
double secondsNow(void);
inline long nowMs(void) {
    return (long)(secondsNow() * 1000.0);
}
double processCpuSeconds(void);
// Sleeps on the monotonic clock; a signal does not cut it short.
void pauseSeconds(double seconds);

// Waits until `condition()` holds, checking every `pollMs` until `seconds` have passed; true when
// it held. `idle(pollMs)` runs between checks (it may pump messages or wait on a display).
template <typename Condition, typename Idle>
bool waitUntil(Condition condition, double seconds, Idle idle, int pollMs = 5) {
    double deadline = secondsNow() + seconds;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (secondsNow() >= deadline) {
            return false;
        }
        idle(pollMs);
    }
}
template <typename Condition> bool waitUntil(Condition condition, double seconds) {
    return waitUntil(condition, seconds, [](int ms) { pauseSeconds(ms / 1000.0); });
}

// --- Child processes ---------------------------------------------------------------------------

// A command line's words, split at white space.
std::vector<std::string> commandWords(const std::string& command);
// In a forked child: runs the words as a program in place of this one; 127 when it cannot (or
// for more than 16383 words). It allocates nothing: a child forked while another thread held the
// allocator's lock (the sanitizers' included) would wait for it for ever, so the words are made
// before the fork.
[[noreturn]] void execWords(const std::vector<std::string>& words);
// Collects a child's end once (blocking or not); true when it has ended, with its exit code
// (128 + the signal when a signal ended it).
bool reapChild(pid_t pid, bool block, int* exitCode);
// Starts a program (the first word is its path, or a name looked up in PATH) with changes to this
// process's environment ("NAME=value" sets NAME, "NAME" alone removes it), standard output thrown
// away and standard error on a pipe whose reading end `errorFd` receives; -1 when it cannot.
pid_t startChild(const std::vector<std::string>& words, const std::vector<std::string>& changes,
                 int* errorFd);
// What the child writes on that pipe until its end, which is collected (exit code as reapChild
// gives it). A child still running after `seconds` is killed first.
std::string finishChild(pid_t pid, int errorFd, double seconds, int* exitCode);
// What a call writes to this process's standard error.
std::string standardErrorOfCall(void (*call)(void* data), void* data);
template <typename Call> std::string standardErrorOf(Call call) {
    return standardErrorOfCall([](void* data) { (*(Call*)data)(); }, &call);
}

// --- XTest input -------------------------------------------------------------------------------
// Each call syncs with the server: when it returns, the server has made the event.

void xKey(Display* display, KeySym keysym, bool press);
void xTapKey(Display* display, KeySym keysym);
void xPointerTo(Display* display, int rootX, int rootY);
void xButton(Display* display, unsigned button, bool press);
// WM_DELETE_WINDOW, as a window manager sends it when the close box is pressed.
void xCloseBox(Display* display, Window window);

// --- Windows and pixels ------------------------------------------------------------------------

// The first viewable window at most `depth` levels below `at` for which `matches` holds;
// 0 for none. Windows that vanish during the search are passed over.
Window xFindWindow(Display* display, Window at, int depth,
                   bool (*matches)(Display* display, Window window, const void* data),
                   const void* data);
// Matchers: WM_NAME starting with a text; WM_CLASS's name or class equal to a text.
bool xNameStartsWith(Display* display, Window window, const void* text);
bool xClassIs(Display* display, Window window, const void* text);
// The colour of one pixel of a window, read through the window (not from the root).
bool xReadPixel(Display* display, Window window, int x, int y, int* r, int* g, int* b);

// --- The layer's windows (picture.cpp) ----------------------------------------------------------
// True when the test runs on the headless display (WRENDLE_BACKEND=headless).
bool onHeadless(void);
// The picture a window of this program shows after its last swap, from (x, y) in drawing
// coordinates (origin at the bottom left), as rows of RGB from the bottom: read through the window
// on X11, from its surface on the headless display (its context current).
typedef struct HWND__* HWND;
bool readShownPicture(HWND window, int x, int y, int width, int height, std::vector<uint8_t>* rgb);
// The layer's X connection (Display*, opened on first use) and the X window that stands for a
// window handle (0 for none), for X11 tests that talk to the server themselves.
void* testXDisplay(void);
unsigned long testXWindow(HWND window);
