// Measures a program from outside: the time from exec until its window shows the first frame
// (the field's left border navy and the serpent's head red where the first frame has them),
// and its peak resident memory after a second of running, from the kernel's accounting.
//   bench_probe WINDOW_CLASS program [args...]   prints "startup_ms peak_rss_kb"
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
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

// The pixel at drawing coordinates (x, y) of a 750-pixel-high client area.
bool pixel(Display* display, Window window, int x, int y, unsigned long* value) {
    XImage* image = XGetImage(display, window, x, 749 - y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    *value = XGetPixel(image, 0, 0) & 0xffffff;
    XDestroyImage(image);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: bench_probe WINDOW_CLASS program [args...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
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
    while (secondsNow() - start < 30) {
        Window w = findWindow(display, argv[1]);
        unsigned long border = 0, head = 0;
        if (w != 0 && pixel(display, w, 40, 400, &border) && pixel(display, w, 390, 210, &head) &&
            (border == 0x000080 || border == 0x00007f) && head == 0xff0000) {
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
    XCloseDisplay(display);
    if (shown < 0) {
        fprintf(stderr, "bench_probe: the first frame never appeared\n");
        return 1;
    }
    printf("%.1f %ld\n", (shown - start) * 1000.0, usage.ru_maxrss);
    return 0;
}
