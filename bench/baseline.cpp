// The least a program needs to show Wrendle's first frame: plain Xlib and GLX, its own copy of
// the first frame's geometry from its own small generator, drawn in as few GL calls as it can.
//   bench_baseline present        open the window, draw the frame once, wait until closed
//   bench_baseline frames N       draw the frame N times, each ended with glFinish; print the
//                                 median frame time in microseconds
#include "bench/first_frame.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

int main(int argc, char** argv) {
    bool timing = argc >= 3 && strcmp(argv[1], "frames") == 0;
    int count = timing ? atoi(argv[2]) : 0;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        fprintf(stderr, "bench_baseline: cannot open the display\n");
        return 1;
    }
    int attributes[] = {
        GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 1,   GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE,
        1,        GLX_DEPTH_SIZE,   16,           None};
    XVisualInfo* visual = glXChooseVisual(display, DefaultScreen(display), attributes);
    if (visual == nullptr) {
        fprintf(stderr, "bench_baseline: no double-buffered RGBA visual\n");
        return 1;
    }
    Window root = RootWindow(display, visual->screen);
    XSetWindowAttributes wa = {};
    wa.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    wa.event_mask = ExposureMask | KeyPressMask | StructureNotifyMask;
    // Where the game's client area lies: its frame at (-10, -8) plus the frame and caption.
    Window window = XCreateWindow(display, root, -6, 18, WIDTH, HEIGHT, 0, visual->depth,
                                  InputOutput, visual->visual, CWColormap | CWEventMask, &wa);
    XClassHint hint = {(char*)"wrendleBaseline", (char*)"wrendleBaseline"};
    XSetClassHint(display, window, &hint);
    XStoreName(display, window, "Wrendle baseline");
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    GLXContext context = glXCreateContext(display, visual, nullptr, True);
    XMapWindow(display, window);
    for (XEvent e;;) {
        XNextEvent(display, &e);
        if (e.type == MapNotify) {
            break;
        }
    }
    glXMakeCurrent(display, window, context);
    setupView();

    Layout layout;
    firstFrame(&layout);
    if (timing) {
        std::vector<double> times;
        for (int i = 0; i < count; i++) {
            double t0 = secondsNow();
            drawFrame(layout);
            glXSwapBuffers(display, window);
            glFinish();
            times.push_back(secondsNow() - t0);
        }
        std::sort(times.begin(), times.end());
        printf("%.1f\n", times[times.size() / 2] * 1e6);
    } else {
        drawFrame(layout);
        glXSwapBuffers(display, window);
        glFinish();
        for (XEvent e;;) {
            XNextEvent(display, &e);
            if (e.type == Expose && e.xexpose.count == 0) {
                drawFrame(layout);
                glXSwapBuffers(display, window);
            } else if (e.type == KeyPress || e.type == ClientMessage) {
                break;
            }
        }
    }
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XDestroyWindow(display, window);
    XFree(visual);
    XCloseDisplay(display);
    return 0;
}
