// Measures a program from outside: the time from exec until its window shows the first frame
// (the field's left border navy and the serpent's head red where the first frame has them),
// and its peak resident memory after a second of running, from the kernel's accounting.
//   bench_probe WINDOW_CLASS program [args...]   prints "startup_ms peak_rss_kb"
// On X11 the window is found by its class and read with XGetImage. On a Wayland compositor
// (WAYLAND_DISPLAY set, DISPLAY not) the argument is the app_id, and the probe copies what the
// output shows (wlroots' screen copy, each copy the next frame the compositor shows) at the
// place sway gives a floating window of the game's size: the middle of the output, checked
// against sway's tree once the frame is seen. Both read the pixels the display server shows,
// not what the program says it drew, so the two figures measure the same moment.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <wayland-client.h>

#include "protocols/wlr-screencopy-unstable-v1.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <sys/mman.h>
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

// --- Wayland: the compositor's own copy of what its output shows ---------------------------

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
// no borders (scripts/with-sway) that is the client area.
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

struct Screen {
    wl_display* display;
    wl_shm* shm;
    wl_output* output;
    zwlr_screencopy_manager_v1* copier;
    int width; // the output's current mode
    int height;
    // The copy in flight: 0 waiting, 1 ready, -1 failed.
    int state;
    uint32_t format;
    bool yInvert;
    // One shared-memory buffer, made at the first copy's size and kept.
    wl_buffer* buffer;
    unsigned char* pixels;
    size_t bytes;
    int bufferWidth;
    int bufferHeight;
    int stride;
};

Screen screen;

void onGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (strcmp(interface, wl_shm_interface.name) == 0 && screen.shm == nullptr) {
        screen.shm = (wl_shm*)wl_registry_bind(registry, name, &wl_shm_interface, 1);
    } else if (strcmp(interface, wl_output_interface.name) == 0 && screen.output == nullptr) {
        screen.output = (wl_output*)wl_registry_bind(registry, name, &wl_output_interface, 1);
    } else if (strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
        screen.copier = (zwlr_screencopy_manager_v1*)wl_registry_bind(
            registry, name, &zwlr_screencopy_manager_v1_interface, 1);
    }
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

void onGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                const char*, int32_t) {}

void onMode(void*, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        screen.width = width;
        screen.height = height;
    }
}

void onDone(void*, wl_output*) {}

void onScale(void*, wl_output*, int32_t) {}

void onText(void*, wl_output*, const char*) {}

const wl_output_listener outputListener = {onGeometry, onMode, onDone, onScale, onText, onText};

bool makeBuffer(uint32_t format, int width, int height, int stride) {
    screen.bytes = (size_t)stride * (size_t)height;
    int fd = memfd_create("bench-probe", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, (off_t)screen.bytes) != 0) {
        return false;
    }
    void* data = mmap(nullptr, screen.bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        close(fd);
        return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(screen.shm, fd, (int32_t)screen.bytes);
    screen.buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, format);
    wl_shm_pool_destroy(pool);
    close(fd);
    screen.pixels = (unsigned char*)data;
    screen.bufferWidth = width;
    screen.bufferHeight = height;
    screen.stride = stride;
    return true;
}

// The compositor names the buffer it wants; at the first version the copy is asked for at once.
void onBuffer(void*, zwlr_screencopy_frame_v1* frame, uint32_t format, uint32_t width,
              uint32_t height, uint32_t stride) {
    screen.format = format;
    if (screen.buffer == nullptr && !makeBuffer(format, (int)width, (int)height, (int)stride)) {
        screen.state = -1;
        return;
    }
    if ((int)width != screen.bufferWidth || (int)height != screen.bufferHeight ||
        (int)stride != screen.stride) {
        screen.state = -1;
        return;
    }
    zwlr_screencopy_frame_v1_copy(frame, screen.buffer);
}

void onFlags(void*, zwlr_screencopy_frame_v1*, uint32_t flags) {
    screen.yInvert = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}

void onReady(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    screen.state = 1;
}

void onFailed(void*, zwlr_screencopy_frame_v1*) {
    screen.state = -1;
}

const zwlr_screencopy_frame_v1_listener frameListener = {onBuffer, onFlags, onReady, onFailed};

bool connectScreen(void) {
    screen.display = wl_display_connect(nullptr);
    if (screen.display == nullptr) {
        return false;
    }
    wl_registry* registry = wl_display_get_registry(screen.display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(screen.display);
    if (screen.output != nullptr) {
        wl_output_add_listener(screen.output, &outputListener, nullptr);
    }
    wl_display_roundtrip(screen.display);
    return screen.shm != nullptr && screen.output != nullptr && screen.copier != nullptr &&
           screen.width > 0 && screen.height > 0;
}

// Handles events for up to a second; false when the compositor is gone or said nothing.
bool dispatchAwhile(void) {
    while (wl_display_prepare_read(screen.display) != 0) {
        wl_display_dispatch_pending(screen.display);
    }
    wl_display_flush(screen.display);
    pollfd fd = {wl_display_get_fd(screen.display), POLLIN, 0};
    if (poll(&fd, 1, 1000) <= 0) {
        wl_display_cancel_read(screen.display);
        return false;
    }
    return wl_display_read_events(screen.display) == 0 &&
           wl_display_dispatch_pending(screen.display) >= 0;
}

unsigned long screenPixel(int col, int row) {
    if (screen.yInvert) {
        row = screen.bufferHeight - 1 - row;
    }
    uint32_t v;
    memcpy(&v, screen.pixels + (size_t)row * (size_t)screen.stride + (size_t)col * 4, 4);
    if (screen.format == WL_SHM_FORMAT_XBGR8888 || screen.format == WL_SHM_FORMAT_ABGR8888) {
        v = ((v & 0xff) << 16) | (v & 0xff00) | ((v >> 16) & 0xff);
    }
    return v & 0xffffff;
}

// Copies the box of the output whose corners are drawing coordinates (x0, y0) and (x1, y1) of
// the client area at `rect` (x0 <= x1, y0 >= y1), from the next frame the compositor shows,
// and gives the pixels at those two corners.
bool screenPixels(const int rect[4], int x0, int y0, int x1, int y1, unsigned long* first,
                  unsigned long* second) {
    int width = x1 - x0 + 1, height = y0 - y1 + 1;
    zwlr_screencopy_frame_v1* frame = zwlr_screencopy_manager_v1_capture_output_region(
        screen.copier, 0, screen.output, rect[0] + x0, rect[1] + (HEIGHT_PIXELS - 1 - y0), width,
        height);
    zwlr_screencopy_frame_v1_add_listener(frame, &frameListener, nullptr);
    screen.state = 0;
    while (screen.state == 0 && dispatchAwhile()) {
    }
    zwlr_screencopy_frame_v1_destroy(frame);
    if (screen.state != 1 || screen.bufferWidth != width || screen.bufferHeight != height) {
        return false;
    }
    *first = screenPixel(0, 0);
    *second = screenPixel(width - 1, height - 1);
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
    if (wayland ? !connectScreen() : display == nullptr) {
        fprintf(stderr, "bench_probe: cannot open the display, or it cannot copy its output\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    // sway centres a new floating window on the output (scripts/with-sway floats them all).
    int rect[4] = {(screen.width - WIDTH_PIXELS) / 2, (screen.height - HEIGHT_PIXELS) / 2,
                   WIDTH_PIXELS, HEIGHT_PIXELS};
    double start = secondsNow();
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    double shown = -1;
    unsigned long border = 0, head = 0; // the last look's pixels, for the failure's message
    while (secondsNow() - start < 30) {
        if (wayland) {
            // Each copy waits for the compositor's next frame, which paces the loop.
            if (screenPixels(rect, 40, 400, 390, 210, &border, &head) &&
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
    int placed[4] = {0, 0, 0, 0};
    bool misplaced = wayland && shown >= 0 &&
                     (!swayRect(argv[1], placed) || memcmp(placed, rect, sizeof(rect)) != 0);
    usleep(1000000);
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage = {};
    wait4(pid, &status, 0, &usage);
    if (display != nullptr) {
        XCloseDisplay(display);
    }
    if (misplaced) {
        fprintf(stderr, "bench_probe: the window %s is not where sway centres it\n", argv[1]);
        return 1;
    }
    if (shown < 0) {
        fprintf(stderr,
                "bench_probe: the first frame never appeared (window %dx%d at %d,%d; last "
                "border %06lx, head %06lx)\n",
                rect[2], rect[3], rect[0], rect[1], border, head);
        return 1;
    }
    printf("%.1f %ld\n", (shown - start) * 1000.0, usage.ru_maxrss);
    return 0;
}
