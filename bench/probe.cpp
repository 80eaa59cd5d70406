// Measures a program from outside: the time from exec until its window shows the first frame
// (the field's left border navy and the serpent's head red where the first frame has them),
// and its peak resident memory after a second of running, from the kernel's accounting.
//   bench_probe WINDOW_CLASS program [args...]   prints "startup_ms peak_rss_kb"
// On X11 the window is found by its class and read with XGetImage. On a Wayland compositor
// (WAYLAND_DISPLAY set, DISPLAY not) the argument is the app_id: sway's tree gives the window's
// place and grim reads what the compositor shows there. Both read the pixels the display
// server shows, not what the program says it drew, so the two figures measure the same moment.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double secondsNow(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

Window findWindow(Display* display, const char* wanted) {
    Window root, parent, *children = nullptr, found = 0;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        return 0;
    }
    for (unsigned i = 0; i < count && found == 0; i++) {
        XClassHint hint = {};
        if (XGetClassHint(display, children[i], &hint)) {
            if (hint.res_class != nullptr && strcmp(hint.res_class, wanted) == 0) {
                found = children[i];
            }
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
    }
    XFree(children);
    return found;
}

const int WIDTH_PIXELS = 1000, HEIGHT_PIXELS = 750; // the client area; drawing has y up

// The pixel at drawing coordinates (x, y) of the client area.
bool pixel(Display* display, Window window, int x, int y, unsigned long* value) {
    XImage* image = XGetImage(display, window, x, HEIGHT_PIXELS - 1 - y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    *value = XGetPixel(image, 0, 0) & 0xffffff;
    XDestroyImage(image);
    return true;
}

// --- Wayland, through sway's own tools --------------------------------------------------------

// Runs argv and returns what it wrote to standard output; false when it did not exit with 0.
bool capture(const char* const* words, std::string* output) {
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        execvp(words[0], (char* const*)words);
        _exit(127);
    }
    close(fds[1]);
    output->clear();
    char buffer[65536];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof(buffer))) > 0) {
        output->append(buffer, (size_t)got);
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int numberAfter(const std::string& text, size_t from, const char* key, size_t limit) {
    size_t at = text.find(key, from);
    return at == std::string::npos || at > limit ? -1 : atoi(text.c_str() + at + strlen(key));
}

// The layout rectangle of the window with this app_id. sway's JSON gives each node's "rect"
// before its "app_id", and a window is a leaf, so the last "rect" before it is its own; with
// no borders (scripts/with-sway) that is the client area. A view appears in the tree once it
// has committed its first buffer.
bool swayRect(const char* appId, int rect[4]) {
    const char* words[] = {"swaymsg", "-r", "-t", "get_tree", nullptr};
    std::string tree;
    if (!capture(words, &tree)) {
        return false;
    }
    size_t at = tree.find(std::string("\"app_id\": \"") + appId + "\"");
    size_t start = at == std::string::npos ? at : tree.rfind("\"rect\": {", at);
    if (start == std::string::npos) {
        return false;
    }
    size_t end = tree.find('}', start);
    const char* keys[4] = {"\"x\": ", "\"y\": ", "\"width\": ", "\"height\": "};
    for (int i = 0; i < 4; i++) {
        rect[i] = numberAfter(tree, start, keys[i], end);
    }
    return rect[2] > 0 && rect[3] > 0;
}

// The pixels at drawing coordinates (x0, y0) and (x1, y1) of the client area at `rect`, with
// one grim capture of the box that spans both (x0 <= x1, y0 >= y1).
bool grimPixels(const int rect[4], int x0, int y0, int x1, int y1, unsigned long* first,
                unsigned long* second) {
    int left = rect[0] + x0, top = rect[1] + (HEIGHT_PIXELS - 1 - y0);
    int width = x1 - x0 + 1, height = y0 - y1 + 1;
    char geometry[64];
    snprintf(geometry, sizeof(geometry), "%d,%d %dx%d", left, top, width, height);
    const char* words[] = {"grim", "-t", "ppm", "-g", geometry, "-", nullptr};
    std::string image;
    int w = 0, h = 0, maxval = 0, header = 0;
    if (!capture(words, &image) ||
        sscanf(image.c_str(), "P6 %d %d %d%n", &w, &h, &maxval, &header) != 3 || w != width ||
        h != height || maxval != 255 ||
        image.size() < (size_t)header + 1 + (size_t)w * (size_t)h * 3) {
        return false;
    }
    const unsigned char* rgb = (const unsigned char*)image.data() + header + 1;
    auto at = [&](int col, int row) {
        const unsigned char* p = rgb + ((size_t)row * (size_t)w + (size_t)col) * 3;
        return ((unsigned long)p[0] << 16) | ((unsigned long)p[1] << 8) | p[2];
    };
    *first = at(0, 0);
    *second = at(width - 1, height - 1);
    return true;
}

bool onWayland(void) {
    const char* wayland = getenv("WAYLAND_DISPLAY");
    const char* x = getenv("DISPLAY");
    return wayland != nullptr && wayland[0] != '\0' && (x == nullptr || x[0] == '\0');
}

bool firstFrameShown(unsigned long border, unsigned long head) {
    return (border == 0x000080 || border == 0x00007f) && head == 0xff0000;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: bench_probe WINDOW_CLASS program [args...]\n");
        return 2;
    }
    bool wayland = onWayland();
    Display* display = wayland ? nullptr : XOpenDisplay(nullptr);
    if (!wayland && display == nullptr) {
        fprintf(stderr, "bench_probe: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    double start = secondsNow();
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    double shown = -1;
    int rect[4] = {0, 0, 0, 0};
    while (secondsNow() - start < 30) {
        unsigned long border = 0, head = 0;
        if (wayland) {
            // Each look spawns swaymsg or grim (a few ms), which paces the loop by itself.
            if (rect[2] != WIDTH_PIXELS || rect[3] != HEIGHT_PIXELS) {
                swayRect(argv[1], rect);
            } else if (grimPixels(rect, 40, 400, 390, 210, &border, &head) &&
                       firstFrameShown(border, head)) {
                shown = secondsNow();
                break;
            }
            continue;
        }
        Window w = findWindow(display, argv[1]);
        if (w != 0 && pixel(display, w, 40, 400, &border) && pixel(display, w, 390, 210, &head) &&
            firstFrameShown(border, head)) {
            shown = secondsNow();
            break;
        }
        usleep(200);
    }
    usleep(1000000);
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage = {};
    wait4(pid, &status, 0, &usage);
    if (display != nullptr) {
        XCloseDisplay(display);
    }
    if (shown < 0) {
        fprintf(stderr, "bench_probe: the first frame never appeared\n");
        return 1;
    }
    printf("%.1f %ld\n", (shown - start) * 1000.0, usage.ru_maxrss);
    return 0;
}
