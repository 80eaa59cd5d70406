// Drives a real program from outside: process start and end, its window found by class or
// title, pixels read through the window, XTest input and the close box; under a Wayland
// compositor the same through sway's tree, grim, wtype, the test pointer and sway's own
// resize and close; for the web build, through tests/web/drive.js, which runs the page in
// headless Chromium and answers on a pair of pipes.
#include "tests/e2e/driver.h"

#include "tests/e2e/model.h"
#include "tests/support/inject.h"
#include "tests/support/wayland.h"

#include <X11/Xlib.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#ifndef WRENDLE_DEFAULT_EXE
#define WRENDLE_DEFAULT_EXE "wrendle"
#endif
#ifndef WRENDLE_WEB_DRIVER
#define WRENDLE_WEB_DRIVER "tests/web/drive.js"
#endif

namespace {

Display* dpy(const Program& p) {
    return (Display*)p.display;
}

int ignoreXErrors(Display*, XErrorEvent*) {
    return 0; // windows come and go under us; a failed request just means "not there"
}

// The program's window: its WM_CLASS, or a title beginning "<<Wrendle>>".
bool isProgramWindow(Display* display, Window window, const void*) {
    return xClassIs(display, window, "tkLibWClass") ||
           xNameStartsWith(display, window, "<<Wrendle>>");
}

void reap(Program* p, bool block) {
    if (!p->ended && reapChild(p->pid, block, &p->exitCode)) {
        p->ended = true;
    }
}

// The web build's page, through drive.js: one command line out, its answer back. Every read has
// a deadline, so a page that stopped answering fails the test instead of hanging it.
bool pageWrite(const Program& p, const std::string& line) {
    std::string text = line + "\n";
    size_t done = 0;
    while (p.toPage >= 0 && done < text.size()) {
        ssize_t n = write(p.toPage, text.data() + done, text.size() - done);
        if (n <= 0 && errno != EINTR) {
            return false;
        }
        done += n > 0 ? (size_t)n : 0;
    }
    return done == text.size();
}

bool pageRead(const Program& p, void* into, size_t size, double seconds) {
    double deadline = secondsNow() + seconds;
    size_t done = 0;
    while (p.fromPage >= 0 && done < size) {
        int left = (int)((deadline - secondsNow()) * 1000);
        pollfd ready = {p.fromPage, POLLIN, 0};
        if (left <= 0 || poll(&ready, 1, left) <= 0) {
            return false;
        }
        ssize_t n = read(p.fromPage, (char*)into + done, size - done);
        if (n == 0 || (n < 0 && errno != EINTR)) {
            return false; // drive.js has ended: the program's end, or its own failure
        }
        done += n > 0 ? (size_t)n : 0;
    }
    return done == size;
}

bool pageLine(const Program& p, std::string* line, double seconds) {
    line->clear();
    char c;
    while (pageRead(p, &c, 1, seconds)) {
        if (c == '\n') {
            return true;
        }
        line->push_back(c);
    }
    return false;
}

// Sends a command and reads its one-line answer; true when it begins "ok".
bool pageCommand(const Program& p, const std::string& command, std::string* answer = nullptr,
                 double seconds = 20) {
    std::string line;
    bool ok = pageWrite(p, command) && pageLine(p, &line, seconds) && line.rfind("ok", 0) == 0;
    if (!ok) {
        // Said here, so a test that fails later shows why its input never arrived.
        fprintf(stderr, "the page did not take \"%s\": %s\n", command.c_str(),
                line.empty() ? "no answer" : line.c_str());
    }
    if (answer != nullptr) {
        *answer = line;
    }
    return ok;
}

bool launchPage(Program* p, int errorFd) {
    int commands[2], answers[2];
    if (pipe(commands) != 0) {
        return false;
    }
    if (pipe(answers) != 0) {
        close(commands[0]);
        close(commands[1]);
        return false;
    }
    // A write to a driver that has ended must fail, not end the test.
    signal(SIGPIPE, SIG_IGN);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(commands[0], 0);
        dup2(answers[1], 1);
        dup2(errorFd, 2);
        for (int fd : {commands[0], commands[1], answers[0], answers[1], errorFd}) {
            close(fd);
        }
        execWords({"node", WRENDLE_WEB_DRIVER, getenv("WRENDLE_E2E_WEB"), "wrendle"});
    }
    close(commands[0]);
    close(answers[1]);
    close(errorFd);
    if (pid < 0) {
        close(commands[1]);
        close(answers[0]);
        return false;
    }
    p->pid = pid;
    p->toPage = commands[1];
    p->fromPage = answers[0];
    return true;
}

// The DOM's name of a key given by its keysym: letters and digits by their place on the
// keyboard, so Shift makes the capital as a keyboard does.
std::string domKeyName(unsigned long keysym) {
    switch (keysym) {
    case XK_Left:
        return "ArrowLeft";
    case XK_Right:
        return "ArrowRight";
    case XK_Up:
        return "ArrowUp";
    case XK_Down:
        return "ArrowDown";
    case XK_Escape:
        return "Escape";
    case XK_Return:
        return "Enter";
    case XK_space:
        return "Space";
    default:
        break;
    }
    if (keysym >= XK_a && keysym <= XK_z) {
        return std::string("Key") + (char)(keysym - XK_a + 'A');
    }
    if (keysym >= XK_A && keysym <= XK_Z) {
        return std::string("Key") + (char)keysym;
    }
    if (keysym >= XK_0 && keysym <= XK_9) {
        return std::string("Digit") + (char)keysym;
    }
    const char* name = XKeysymToString(keysym);
    return name != nullptr ? name : "";
}

} // namespace

bool onWeb(void) {
    const char* page = getenv("WRENDLE_E2E_WEB");
    return page != nullptr && page[0] != '\0';
}

std::string programCommand(void) {
    const char* fromEnv = getenv("WRENDLE_EXE");
    if (fromEnv != nullptr && fromEnv[0] != '\0') {
        return fromEnv;
    }
    return WRENDLE_DEFAULT_EXE;
}

bool launch(Program* p, const char* displayName, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> words = commandWords(programCommand());
    if (words.empty()) {
        return false;
    }
    char pattern[] = "/tmp/wrendle-e2e-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0) {
        return false;
    }
    p->errorFile = pattern;
    p->startedAt = secondsNow();
    if (onWeb()) {
        return launchPage(p, fd);
    }
    pid_t pid = fork();
    if (pid < 0) {
        close(fd);
        return false;
    }
    if (pid == 0) {
        dup2(fd, 2);
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
        }
        if (displayName != nullptr) {
            setenv("DISPLAY", displayName, 1);
        }
        // Escape ends the program from deep inside its loop, where dead stack frames still hold
        // stale pointers; the leak check at exit must not take them for references.
        const char* lsan = getenv("LSAN_OPTIONS");
        std::string leakOptions = lsan != nullptr && lsan[0] != '\0' ? std::string(lsan) + ":" : "";
        leakOptions += "use_stacks=0";
        setenv("LSAN_OPTIONS", leakOptions.c_str(), 1);
        for (const std::string& entry : extraEnv) {
            size_t eq = entry.find('=');
            if (eq != std::string::npos) {
                setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
            } else {
                unsetenv(entry.c_str());
            }
        }
        execWords(words);
    }
    close(fd);
    p->pid = pid;
    return true;
}

namespace {

// The program's app_id is its name: the plain copy's begins the same way.
const char* const WAYLAND_APP_ID = "wrendle";

bool waitForWaylandWindow(Program* p, double seconds) {
    double deadline = secondsNow() + seconds;
    while (secondsNow() < deadline) {
        reap(p, false);
        if (p->ended) {
            return false;
        }
        int x, y, width, height;
        if (swayWindowRect(WAYLAND_APP_ID, &x, &y, &width, &height)) {
            p->window = 1; // sway names it by app_id; the compositor gives it the focus
            // The test pointer, started once for the whole run.
            static bool pointerStarted = false;
            if (!pointerStarted) {
                pointerStarted = injectOpen(WAYLAND_APP_ID);
            }
            return true;
        }
        pause(0.02);
    }
    return false;
}

} // namespace

bool waitForWindow(Program* p, double seconds) {
    if (onWeb()) {
        // The page's canvas is the window; the page has the focus of its browser.
        std::string answer;
        if (!pageCommand(*p, "window", &answer, seconds) ||
            sscanf(answer.c_str(), "ok %d %d", &p->pageWidth, &p->pageHeight) != 2) {
            return false;
        }
        p->window = 1;
        return true;
    }
    if (onWayland()) {
        return waitForWaylandWindow(p, seconds);
    }
    if (p->display == nullptr) {
        p->display = XOpenDisplay(nullptr);
        if (p->display == nullptr) {
            return false;
        }
        XSetErrorHandler(ignoreXErrors);
    }
    double deadline = secondsNow() + seconds;
    while (secondsNow() < deadline) {
        reap(p, false);
        if (p->ended) {
            return false;
        }
        Window w = xFindWindow(dpy(*p), DefaultRootWindow(dpy(*p)), 3, isProgramWindow, nullptr);
        if (w != 0) {
            p->window = w;
            // Xvfb has no window manager: the focus must be given explicitly.
            XSetInputFocus(dpy(*p), w, RevertToParent, CurrentTime);
            XSync(dpy(*p), False);
            return true;
        }
        pause(0.02);
    }
    return false;
}

bool waitForExit(Program* p, double seconds) {
    double deadline = secondsNow() + seconds;
    for (;;) {
        reap(p, false);
        if (p->ended) {
            return true;
        }
        if (secondsNow() >= deadline) {
            return false;
        }
        pause(0.005);
    }
}

void stopProgram(Program* p) {
    reap(p, false);
    if (p->toPage >= 0) {
        // drive.js closes its browser when its input ends: killed at once, it would leave
        // Chromium running. It is given a few seconds, then asked to end, then killed.
        close(p->toPage);
        p->toPage = -1;
        if (!waitForExit(p, 5) && p->pid > 0) {
            kill(p->pid, SIGTERM);
            waitForExit(p, 3);
        }
    }
    if (p->fromPage >= 0) {
        close(p->fromPage);
        p->fromPage = -1;
    }
    if (!p->ended && p->pid > 0) {
        kill(p->pid, SIGKILL);
        reap(p, true);
    }
}

std::string errorText(const Program& p) {
    std::string text;
    FILE* f = fopen(p.errorFile.c_str(), "r");
    if (f != nullptr) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) {
            text.append(buffer, n);
        }
        fclose(f);
    }
    return text;
}

void releaseProgram(Program* p) {
    stopProgram(p);
    if (dpy(*p) != nullptr) {
        XCloseDisplay(dpy(*p));
        p->display = nullptr;
    }
    if (!p->errorFile.empty()) {
        unlink(p->errorFile.c_str());
        p->errorFile.clear();
    }
}

bool windowGeometry(const Program& p, int* x, int* y, int* width, int* height) {
    if (onWeb()) {
        // A page's canvas has no place on a screen: its origin is the page's.
        *x = *y = 0;
        *width = p.pageWidth;
        *height = p.pageHeight;
        return p.window != 0;
    }
    if (onWayland()) {
        return p.window != 0 && swayWindowRect(WAYLAND_APP_ID, x, y, width, height);
    }
    if (dpy(p) == nullptr || p.window == 0) {
        return false;
    }
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(dpy(p), p.window, &attributes)) {
        return false;
    }
    Window child;
    if (!XTranslateCoordinates(dpy(p), p.window, DefaultRootWindow(dpy(p)), 0, 0, x, y, &child)) {
        return false;
    }
    *width = attributes.width;
    *height = attributes.height;
    return attributes.map_state == IsViewable;
}

namespace {

// The part of the window that lies on the screen, read in one request. XGetImage on a window
// includes what its inferiors (a GL child window) show, but refuses parts off the screen.
// On Wayland the compositor's screenshot of the window's rectangle (grim) stands in.
struct WindowImage {
    XImage* image = nullptr;
    std::vector<uint8_t> rgb; // grim's rows, when image is null
    int rgbWidth = 0;
    int left = 0, top = 0; // window coordinates of the image's first pixel
    int height = 0;        // the client height, to turn drawing coordinates upside down
};

void releaseImage(WindowImage* w) {
    if (w->image != nullptr) {
        XDestroyImage(w->image);
        w->image = nullptr;
    }
}

bool readWindow(const Program& p, WindowImage* out) {
    int rx, ry, width, height;
    if (!windowGeometry(p, &rx, &ry, &width, &height)) {
        return false;
    }
    if (onWeb()) {
        std::string header;
        if (!pageWrite(p, "capture") || !pageLine(p, &header, 20) ||
            sscanf(header.c_str(), "%d %d", &out->rgbWidth, &out->height) != 2 ||
            out->rgbWidth <= 0 || out->height <= 0 || out->rgbWidth > 16384 ||
            out->height > 16384) {
            return false;
        }
        out->rgb.resize((size_t)out->rgbWidth * (size_t)out->height * 3);
        return pageRead(p, out->rgb.data(), out->rgb.size(), 20);
    }
    if (onWayland()) {
        out->rgbWidth = width;
        out->height = height;
        return grimCapture(rx, ry, width, height, &out->rgb);
    }
    Screen* screen = DefaultScreenOfDisplay(dpy(p));
    int left = rx < 0 ? -rx : 0;
    int top = ry < 0 ? -ry : 0;
    int right = rx + width > WidthOfScreen(screen) ? WidthOfScreen(screen) - rx : width;
    int bottom = ry + height > HeightOfScreen(screen) ? HeightOfScreen(screen) - ry : height;
    if (right <= left || bottom <= top) {
        return false;
    }
    out->image = XGetImage(dpy(p), p.window, left, top, (unsigned)(right - left),
                           (unsigned)(bottom - top), AllPlanes, ZPixmap);
    out->left = left;
    out->top = top;
    out->height = height;
    return out->image != nullptr;
}

bool imagePixel(const WindowImage& w, int x, int y, int* r, int* g, int* b) {
    int column = x - w.left;
    int row = w.height - 1 - y - w.top;
    if (w.image == nullptr) {
        if (column < 0 || row < 0 || column >= w.rgbWidth || row >= w.height) {
            return false;
        }
        const uint8_t* pixel = &w.rgb[((size_t)row * (size_t)w.rgbWidth + (size_t)column) * 3];
        *r = pixel[0];
        *g = pixel[1];
        *b = pixel[2];
        return true;
    }
    if (column < 0 || row < 0 || column >= w.image->width || row >= w.image->height) {
        return false;
    }
    unsigned long pixel = XGetPixel(w.image, column, row);
    auto channel = [pixel](unsigned long mask) {
        int shift = 0;
        while (mask != 0 && (mask & 1) == 0) {
            mask >>= 1;
            shift++;
        }
        return (int)((pixel >> shift) & 0xff);
    };
    *r = channel(w.image->red_mask);
    *g = channel(w.image->green_mask);
    *b = channel(w.image->blue_mask);
    return true;
}

} // namespace

bool pixelAt(const Program& p, int x, int y, int* r, int* g, int* b) {
    WindowImage w;
    if (!readWindow(p, &w)) {
        return false;
    }
    bool ok = imagePixel(w, x, y, r, g, b);
    releaseImage(&w);
    return ok;
}

namespace {

// The samples alone, read in the page: a whole canvas is megabytes to carry out of the browser,
// and a capture that takes long lets the program run many frames between two looks. The list is
// handed to the page once (as pixels from the top left), with the two border pixels last.
bool captureShadesOfPage(const Program& p, std::vector<uint8_t>* shades, bool* drawn) {
    const std::vector<Sample>& list = samples();
    const int border[2][2] = {{40, 400}, {500, 40}};
    size_t count = list.size() + 2;
    if (!p.pagePointsSent) {
        std::string command = "points";
        for (size_t i = 0; i < count; i++) {
            int x = i < list.size() ? list[i].x : border[i - list.size()][0];
            int y = i < list.size() ? list[i].y : border[i - list.size()][1];
            command += " " + std::to_string(x) + " " + std::to_string(p.pageHeight - 1 - y);
        }
        if (!pageCommand(p, command)) {
            return false;
        }
        p.pagePointsSent = true;
    }
    std::string header;
    std::vector<uint8_t> rgb(count * 3);
    if (!pageWrite(p, "capture points") || !pageLine(p, &header, 20) ||
        header != std::to_string(count) || !pageRead(p, rgb.data(), rgb.size(), 20)) {
        return false;
    }
    shades->assign(list.size(), SHADE_UNSEEN);
    for (size_t i = 0; i < list.size(); i++) {
        uint8_t s = shadeOf(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
        if (list[i].gridRow && (s == SHADE_GREY || s == SHADE_NAVY)) {
            s = SHADE_BACKGROUND;
        }
        (*shades)[i] = s;
    }
    const uint8_t* last = &rgb[list.size() * 3];
    *drawn = shadeOf(last[0], last[1], last[2]) == SHADE_NAVY &&
             shadeOf(last[3], last[4], last[5]) == SHADE_NAVY;
    return true;
}

} // namespace

bool captureShades(const Program& p, std::vector<uint8_t>* shades, bool* drawn) {
    *drawn = false;
    if (onWeb()) {
        return captureShadesOfPage(p, shades, drawn);
    }
    WindowImage w;
    if (!readWindow(p, &w)) {
        return false;
    }
    const std::vector<Sample>& list = samples();
    shades->assign(list.size(), SHADE_UNSEEN);
    for (size_t i = 0; i < list.size(); i++) {
        int r, g, b;
        if (!imagePixel(w, list[i].x, list[i].y, &r, &g, &b)) {
            continue;
        }
        uint8_t s = shadeOf(r, g, b);
        if (list[i].gridRow && (s == SHADE_GREY || s == SHADE_NAVY)) {
            s = SHADE_BACKGROUND;
        }
        (*shades)[i] = s;
    }
    // The left and bottom border lines: navy once a frame has been drawn.
    int r, g, b;
    *drawn = imagePixel(w, 40, 400, &r, &g, &b) && shadeOf(r, g, b) == SHADE_NAVY &&
             imagePixel(w, 500, 40, &r, &g, &b) && shadeOf(r, g, b) == SHADE_NAVY;
    releaseImage(&w);
    return true;
}

// wtype's keymap gives each key one level, so Shift does not make a capital: the capital is
// typed as its own keysym.
void pressKey(const Program& p, unsigned long keysym, bool shift) {
    if (onWeb()) {
        pageCommand(p, "key " + domKeyName(keysym) + (shift ? " shift" : ""));
        return;
    }
    if (onWayland()) {
        if (shift && keysym >= XK_a && keysym <= XK_z) {
            char capital[2] = {(char)(keysym - XK_a + 'A'), '\0'};
            wtypeText(capital);
            return;
        }
        const char* name = XKeysymToString(keysym);
        if (name != nullptr) {
            wtypeKey(name, shift);
        }
        return;
    }
    if (XKeysymToKeycode(dpy(p), keysym) == 0) {
        return;
    }
    if (shift) {
        xKey(dpy(p), XK_Shift_L, true);
    }
    xTapKey(dpy(p), keysym);
    if (shift) {
        xKey(dpy(p), XK_Shift_L, false);
    }
}

void movePointer(const Program& p, int x, int y) {
    int rx, ry, width, height;
    if (!windowGeometry(p, &rx, &ry, &width, &height)) {
        return;
    }
    if (onWeb()) {
        pageCommand(p, "move " + std::to_string(x) + " " + std::to_string(y));
        return;
    }
    if (onWayland()) {
        injectSetOrigin(rx, ry);
        injectPointerTo(x, y); // kept on the output
        injectSync();
        return;
    }
    xPointerTo(dpy(p), rx + x, ry + y);
}

void clickButton(const Program& p, unsigned button) {
    setButton(p, button, true);
    setButton(p, button, false);
}

void sendCloseBox(const Program& p) {
    if (onWeb()) {
        pageCommand(p, "close"); // a page's window closes with its tab
        return;
    }
    if (onWayland()) {
        swayClose(WAYLAND_APP_ID);
        return;
    }
    xCloseBox(dpy(p), p.window);
}

void swipe(const Program& p, const char* direction) {
    if (onWeb()) {
        pageCommand(p, std::string("swipe ") + direction);
    }
}

void setButton(const Program& p, unsigned button, bool down) {
    if (onWeb()) {
        pageCommand(p, "button " + std::to_string(button) + (down ? " down" : " up"));
        return;
    }
    if (onWayland()) {
        injectButton(button, down);
        injectSync();
        return;
    }
    xButton(dpy(p), button, down);
}

void resizeWindow(const Program& p, int width, int height) {
    if (onWeb()) {
        return; // a page's canvas keeps the program's size
    }
    if (onWayland()) {
        injectResize(0, width, height);
        return;
    }
    XResizeWindow(dpy(p), p.window, (unsigned)width, (unsigned)height);
    XSync(dpy(p), False);
}

void moveResizeWindow(const Program& p, int x, int y, int width, int height) {
    XMoveResizeWindow(dpy(p), p.window, x, y, (unsigned)width, (unsigned)height);
    XSync(dpy(p), False);
}
