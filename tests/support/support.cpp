// The tests' shared helpers: clocks, child processes and standard error, XTest input, window
// lookup and pixels.
#include <X11/Xlib.h>

#include "tests/support/support.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double secondsOf(clockid_t clock) {
    timespec t;
    clock_gettime(clock, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// Requests about windows that vanish under the search fail; that only means "not there".
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

bool viewable(Display* display, Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

Window search(Display* display, Window at, int depth,
              bool (*matches)(Display* display, Window window, const void* data),
              const void* data) {
    if (matches(display, at, data) && viewable(display, at)) {
        return at;
    }
    Window root;
    Window parent;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (depth > 0 && XQueryTree(display, at, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && found == 0; i++) {
            found = search(display, children[i], depth - 1, matches, data);
        }
        XFree(children);
    }
    return found;
}

} // namespace

double secondsNow(void) {
    return secondsOf(CLOCK_MONOTONIC);
}

double processCpuSeconds(void) {
    return secondsOf(CLOCK_PROCESS_CPUTIME_ID);
}

void pauseSeconds(double seconds) {
    timespec t;
    t.tv_sec = (time_t)seconds;
    t.tv_nsec = (long)((seconds - (double)t.tv_sec) * 1e9);
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

std::vector<std::string> commandWords(const std::string& command) {
    std::vector<std::string> words;
    std::istringstream in(command);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

void execWords(const std::vector<std::string>& words) {
    // The child's own copy of this array: a wtype run of a key storm has thousands of words.
    static char* argv[16384];
    size_t count = words.size();
    if (count == 0 || count >= sizeof(argv) / sizeof(argv[0])) {
        _exit(127);
    }
    for (size_t i = 0; i < count; i++) {
        argv[i] = const_cast<char*>(words[i].c_str());
    }
    argv[count] = nullptr;
    execvp(argv[0], argv);
    _exit(127);
}

bool reapChild(pid_t pid, bool block, int* exitCode) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, block ? 0 : WNOHANG) != pid) {
        return false;
    }
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

pid_t startChild(const std::vector<std::string>& words, const std::vector<std::string>& changes,
                 int* errorFd) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; entry++) {
        environment.push_back(*entry);
    }
    for (const std::string& change : changes) {
        std::string name = change.substr(0, change.find('='));
        for (size_t i = environment.size(); i-- > 0;) {
            if (environment[i].compare(0, name.size() + 1, name + "=") == 0) {
                environment.erase(environment.begin() + (long)i);
            }
        }
        if (change.find('=') != std::string::npos) {
            environment.push_back(change);
        }
    }
    // Made before the fork: the child allocates nothing (see execWords).
    std::vector<char*> argv;
    for (const std::string& word : words) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);
    int errors[2];
    if (words.empty() || pipe2(errors, O_CLOEXEC) != 0) {
        return -1;
    }
    int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(errors[1], 2);
        dup2(quiet, 1);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(errors[1]);
    close(quiet);
    if (pid < 0) {
        close(errors[0]);
        return -1;
    }
    *errorFd = errors[0];
    return pid;
}

std::string finishChild(pid_t pid, int errorFd, double seconds, int* exitCode) {
    std::string written;
    double deadline = secondsNow() + seconds;
    for (;;) {
        int left = (int)((deadline - secondsNow()) * 1000.0);
        pollfd fd = {errorFd, POLLIN, 0};
        if (left <= 0 || poll(&fd, 1, left) == 0) {
            kill(pid, SIGKILL);
            break;
        }
        char buffer[512];
        ssize_t length = read(errorFd, buffer, sizeof(buffer));
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length <= 0) {
            break;
        }
        written.append(buffer, (size_t)length);
    }
    close(errorFd);
    if (!reapChild(pid, true, exitCode)) {
        *exitCode = -1;
    }
    return written;
}

std::string standardErrorOfCall(void (*call)(void* data), void* data) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    int saved = dup(2);
    dup2(fileno(capture), 2);
    call(data);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::rewind(capture);
    std::string written;
    char buffer[512];
    size_t length;
    while ((length = std::fread(buffer, 1, sizeof(buffer), capture)) > 0) {
        written.append(buffer, length);
    }
    std::fclose(capture);
    return written;
}

void xKey(Display* display, KeySym keysym, bool press) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), press ? True : False,
                      CurrentTime);
    XSync(display, False);
}

void xTapKey(Display* display, KeySym keysym) {
    xKey(display, keysym, true);
    xKey(display, keysym, false);
}

void xPointerTo(Display* display, int rootX, int rootY) {
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
    XSync(display, False);
}

void xButton(Display* display, unsigned button, bool press) {
    XTestFakeButtonEvent(display, button, press ? True : False, CurrentTime);
    XSync(display, False);
}

void xCloseBox(Display* display, Window window) {
    XEvent event;
    std::memset(&event, 0, sizeof(event));
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

Window xFindWindow(Display* display, Window at, int depth,
                   bool (*matches)(Display* display, Window window, const void* data),
                   const void* data) {
    XSync(display, False);
    int (*previous)(Display*, XErrorEvent*) = XSetErrorHandler(ignoreErrors);
    Window found = search(display, at, depth, matches, data);
    XSync(display, False);
    XSetErrorHandler(previous);
    return found;
}

bool xNameStartsWith(Display* display, Window window, const void* text) {
    const char* prefix = (const char*)text;
    char* name = nullptr;
    bool found = false;
    if (XFetchName(display, window, &name) && name != nullptr) {
        found = std::strncmp(name, prefix, std::strlen(prefix)) == 0;
        XFree(name);
    }
    return found;
}

bool xClassIs(Display* display, Window window, const void* text) {
    const char* wanted = (const char*)text;
    XClassHint hint = {};
    bool found = false;
    if (XGetClassHint(display, window, &hint)) {
        found = (hint.res_class != nullptr && std::strcmp(hint.res_class, wanted) == 0) ||
                (hint.res_name != nullptr && std::strcmp(hint.res_name, wanted) == 0);
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    return found;
}

bool xReadPixel(Display* display, Window window, int x, int y, int* r, int* g, int* b) {
    XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    unsigned long pixel = XGetPixel(image, 0, 0);
    Visual* visual = DefaultVisual(display, DefaultScreen(display));
    auto channel = [pixel](unsigned long mask) {
        int shift = 0;
        while (mask != 0 && (mask & 1ul) == 0) {
            mask >>= 1;
            shift++;
        }
        return (int)(((pixel >> shift) & mask) * 255 / (mask != 0 ? mask : 1));
    };
    *r = channel(visual->red_mask);
    *g = channel(visual->green_mask);
    *b = channel(visual->blue_mask);
    XDestroyImage(image);
    return true;
}
