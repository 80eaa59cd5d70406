// Plays the trace program's input from outside through XTest and Xlib requests, waiting after
// each step until the program has printed what the step must bring and then falls quiet.
#include <X11/Xlib.h>

#include "tests/support/support.h"
#include "tests/trace/driver.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char* TITLE = "wrendle-trace";
// How long the output must stay unchanged before a step counts as finished.
const int QUIET_MS = 200;

struct Driven {
    Display* display = nullptr;
    Window window = 0;
    pid_t pid = -1;
    bool ended = false;
    int exitCode = -1;
    std::string outPath;
    std::string errPath;
};

double now(void) {
    return secondsNow();
}

void sleepMs(int ms) {
    pauseSeconds(ms / 1000.0);
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0; // the window may go away under a request; that is no fault of the driver
}

std::string readFile(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "r");
    if (f != nullptr) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            text.append(buffer, n);
        }
        std::fclose(f);
    }
    return text;
}

void reap(Driven* d, bool block) {
    if (!d->ended && reapChild(d->pid, block, &d->exitCode)) {
        d->ended = true;
    }
}

bool launch(Driven* d, const std::string& command) {
    std::vector<std::string> words = commandWords(command);
    char outName[] = "/tmp/wrendle-trace-out-XXXXXX";
    char errName[] = "/tmp/wrendle-trace-err-XXXXXX";
    int out = mkstemp(outName);
    int err = mkstemp(errName);
    if (words.empty() || out < 0 || err < 0) {
        return false;
    }
    d->outPath = outName;
    d->errPath = errName;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out, 1);
        dup2(err, 2);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) {
            dup2(devnull, 0);
        }
        execWords(words);
    }
    close(out);
    close(err);
    d->pid = pid;
    return pid > 0;
}

int countIn(const std::string& text, const char* what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        count++;
    }
    return count;
}

// Waits until the output holds `what` at least `count` times.
bool waitFor(Driven* d, const char* what, int count, double seconds) {
    double deadline = now() + seconds;
    while (now() < deadline) {
        if (countIn(readFile(d->outPath), what) >= count) {
            return true;
        }
        reap(d, false);
        if (d->ended) {
            return countIn(readFile(d->outPath), what) >= count;
        }
        sleepMs(10);
    }
    return false;
}

// Waits until the output has not grown for QUIET_MS (at most a few seconds).
void waitQuiet(Driven* d) {
    double deadline = now() + 5.0;
    off_t size = -1;
    double since = now();
    while (now() < deadline) {
        struct stat info;
        off_t current = stat(d->outPath.c_str(), &info) == 0 ? info.st_size : 0;
        if (current != size) {
            size = current;
            since = now();
        } else if ((now() - since) * 1000.0 >= QUIET_MS) {
            return;
        }
        sleepMs(10);
    }
}

// Root coordinates of a point of the program's X window (its client area).
bool toRoot(Driven* d, int x, int y, int* rootX, int* rootY) {
    Window child;
    return XTranslateCoordinates(d->display, d->window, DefaultRootWindow(d->display), x, y, rootX,
                                 rootY, &child) != 0;
}

void key(Driven* d, KeySym keysym, bool press) {
    xKey(d->display, keysym, press);
}

void tap(Driven* d, KeySym keysym) {
    xTapKey(d->display, keysym);
}

void moveTo(Driven* d, int x, int y) {
    int rootX;
    int rootY;
    if (toRoot(d, x, y, &rootX, &rootY)) {
        xPointerTo(d->display, rootX, rootY);
    }
    waitQuiet(d);
}

void button(Driven* d, unsigned number, bool press) {
    xButton(d->display, number, press);
    waitQuiet(d);
}

void focusWindow(Driven* d) {
    XSetInputFocus(d->display, d->window, RevertToParent, CurrentTime);
    XSync(d->display, False);
}

void sendCloseBox(Driven* d) {
    xCloseBox(d->display, d->window);
}

// The input, step by step; false with the failing step named when something never came.
bool play(Driven* d, std::string* failure) {
    // Wine takes a few seconds to start a program on a cold server.
    if (!waitFor(d, "# loop", 1, 60.0)) {
        *failure = "the program never reached its message loop";
        return false;
    }
    double deadline = now() + 10.0;
    while ((d->window = xFindWindow(d->display, DefaultRootWindow(d->display), 3, xNameStartsWith,
                                    TITLE)) == 0) {
        if (now() > deadline) {
            *failure = "no viewable window titled wrendle-trace";
            return false;
        }
        sleepMs(20);
    }
    waitQuiet(d);
    // Xvfb has no window manager: the keyboard focus is given by hand.
    focusWindow(d);
    waitQuiet(d);

    // Arrows, a capital letter typed with Shift, a small one.
    tap(d, XK_Left);
    tap(d, XK_Up);
    key(d, XK_Shift_L, true);
    key(d, XK_a, true);
    key(d, XK_Shift_L, false);
    key(d, XK_a, false);
    tap(d, XK_b);
    if (!waitFor(d, "WM_KEYUP vk=B", 1, 5.0)) {
        *failure = "the keys never arrived";
        return false;
    }
    waitQuiet(d);

    // A click, a drag with the left button that leaves the client area (no capture), and one
    // with the right button, which the program captures, that leaves it and comes back.
    moveTo(d, 50, 40);
    button(d, 1, true);
    button(d, 1, false);
    moveTo(d, 60, 60);
    button(d, 1, true);
    moveTo(d, 120, 100);
    moveTo(d, 350, 50);
    button(d, 1, false);
    moveTo(d, 100, 100);
    button(d, 3, true);
    moveTo(d, 360, 260);
    moveTo(d, 200, 120);
    moveTo(d, -30, -20);
    button(d, 3, false);
    moveTo(d, 30, 30);
    if (!waitFor(d, "WM_CAPTURECHANGED", 1, 5.0)) {
        *failure = "the captured drag never ended";
        return false;
    }

    // The program moves and resizes itself; then another client moves and resizes the window
    // in one request, as a window manager would.
    tap(d, XK_F2);
    if (!waitFor(d, "MoveWindow", 1, 5.0)) {
        *failure = "MoveWindow never ran";
        return false;
    }
    waitQuiet(d);
    XMoveResizeWindow(d->display, d->window, 200, 150, 300, 220);
    XSync(d->display, False);
    sleepMs(100);
    waitQuiet(d);

    // The program minimises itself and restores itself when it has been quiet a while.
    tap(d, XK_F3);
    if (!waitFor(d, "# restored", 1, 10.0)) {
        *failure = "the window was never restored";
        return false;
    }
    waitQuiet(d);
    focusWindow(d);
    waitQuiet(d);

    // A paint, a posted message and a quit at once, in the order the queue returns them.
    tap(d, XK_F4);
    if (!waitFor(d, "WM_QUIT", 1, 5.0)) {
        *failure = "the quit message never came";
        return false;
    }
    waitQuiet(d);

    sendCloseBox(d);
    // Wine waits two seconds for a window manager when a managed window goes away.
    deadline = now() + 20.0;
    while (!d->ended && now() < deadline) {
        reap(d, false);
        sleepMs(20);
    }
    if (!d->ended) {
        *failure = "the program did not end after the close box";
        return false;
    }
    return true;
}

} // namespace

bool runTrace(const std::string& command, TraceRun* run) {
    Driven d;
    d.display = XOpenDisplay(nullptr);
    if (d.display == nullptr) {
        run->failure = "no X display";
        return false;
    }
    XSetErrorHandler(ignoreErrors);
    // The pointer starts away from where the window will be, so that no window appears under it.
    XTestFakeMotionEvent(d.display, DefaultScreen(d.display), 5, 5, CurrentTime);
    XSync(d.display, False);
    bool ok = launch(&d, command);
    if (!ok) {
        run->failure = "could not start " + command;
    } else {
        ok = play(&d, &run->failure);
    }
    if (!d.ended && d.pid > 0) {
        kill(d.pid, SIGKILL);
        reap(&d, true);
    }
    run->trace = readFile(d.outPath);
    run->errors = readFile(d.errPath);
    run->exitCode = d.exitCode;
    if (!d.outPath.empty()) {
        unlink(d.outPath.c_str());
    }
    if (!d.errPath.empty()) {
        unlink(d.errPath.c_str());
    }
    XCloseDisplay(d.display);
    return ok;
}
