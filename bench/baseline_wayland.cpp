// The least a program needs to show Wrendle's first frame on Wayland: libwayland, an xdg-shell
// toplevel and EGL, drawing the same first frame as the Xlib + GLX baseline.
//   bench_baseline_wayland present    open the window, draw the frame once, wait until closed
//   bench_baseline_wayland frames N   draw the frame N times, each ended with glFinish; print
//                                     the median frame time in microseconds
#include "bench/first_frame.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <wayland-client.h>
#include <wayland-egl.h>

#include "protocols/xdg-shell.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Client {
    wl_compositor* compositor;
    xdg_wm_base* wmBase;
    bool configured;
    bool unanswered; // a configure acknowledged but not yet followed by a frame
    bool closed;
};

Client client;

void onPing(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener wmBaseListener = {onPing};

void onGlobal(void*, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        client.compositor =
            (wl_compositor*)wl_registry_bind(registry, name, &wl_compositor_interface, 1);
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        client.wmBase = (xdg_wm_base*)wl_registry_bind(registry, name, &xdg_wm_base_interface,
                                                       std::min(version, 2u));
        xdg_wm_base_add_listener(client.wmBase, &wmBaseListener, nullptr);
    }
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

void onSurfaceConfigure(void*, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    client.configured = true;
    client.unanswered = true;
}

const xdg_surface_listener surfaceListener = {onSurfaceConfigure};

// The window keeps its own size whatever the compositor suggests.
void onToplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}

void onToplevelClose(void*, xdg_toplevel*) {
    client.closed = true;
}

// Sent only from xdg_wm_base version 4 and 5, which this program does not ask for.
void onToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}

void onToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

const xdg_toplevel_listener toplevelListener = {onToplevelConfigure, onToplevelClose,
                                                onToplevelBounds, onToplevelCapabilities};

void finishFrame(EGLDisplay egl, EGLSurface surface, const Layout& layout) {
    drawFrame(layout);
    eglSwapBuffers(egl, surface);
    glFinish();
}

} // namespace

int main(int argc, char** argv) {
    bool timing = argc >= 3 && std::strcmp(argv[1], "frames") == 0;
    int count = timing ? std::atoi(argv[2]) : 0;
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "bench_baseline_wayland: cannot connect to the compositor\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (client.compositor == nullptr || client.wmBase == nullptr) {
        std::fprintf(stderr, "bench_baseline_wayland: no compositor or xdg_wm_base\n");
        return 1;
    }

    EGLDisplay egl = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, display, nullptr);
    if (egl == EGL_NO_DISPLAY || !eglInitialize(egl, nullptr, nullptr) ||
        !eglBindAPI(EGL_OPENGL_API)) {
        std::fprintf(stderr, "bench_baseline_wayland: no EGL with OpenGL\n");
        return 1;
    }
    const EGLint wanted[] = {EGL_SURFACE_TYPE,
                             EGL_WINDOW_BIT,
                             EGL_RENDERABLE_TYPE,
                             EGL_OPENGL_BIT,
                             EGL_RED_SIZE,
                             1,
                             EGL_GREEN_SIZE,
                             1,
                             EGL_BLUE_SIZE,
                             1,
                             EGL_DEPTH_SIZE,
                             16,
                             EGL_NONE};
    // EGL sorts deeper colour first (10 bits a channel where the compositor takes it); the
    // window shows 8 bits a channel, as the game's does, so take the first such config.
    EGLConfig configs[64];
    EGLint found = 0;
    EGLConfig config = nullptr;
    eglChooseConfig(egl, wanted, configs, 64, &found);
    for (int i = 0; i < found && config == nullptr; i++) {
        EGLint red = 0, green = 0, blue = 0, alpha = 0;
        eglGetConfigAttrib(egl, configs[i], EGL_RED_SIZE, &red);
        eglGetConfigAttrib(egl, configs[i], EGL_GREEN_SIZE, &green);
        eglGetConfigAttrib(egl, configs[i], EGL_BLUE_SIZE, &blue);
        eglGetConfigAttrib(egl, configs[i], EGL_ALPHA_SIZE, &alpha);
        config = red == 8 && green == 8 && blue == 8 && alpha == 0 ? configs[i] : nullptr;
    }
    if (config == nullptr) {
        std::fprintf(stderr, "bench_baseline_wayland: no 8-bit EGL config with a 16-bit depth\n");
        return 1;
    }

    wl_surface* surface = wl_compositor_create_surface(client.compositor);
    xdg_surface* shellSurface = xdg_wm_base_get_xdg_surface(client.wmBase, surface);
    xdg_surface_add_listener(shellSurface, &surfaceListener, nullptr);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(shellSurface);
    xdg_toplevel_add_listener(toplevel, &toplevelListener, nullptr);
    xdg_toplevel_set_title(toplevel, "Wrendle baseline");
    xdg_toplevel_set_app_id(toplevel, "wrendleBaseline");
    wl_surface_commit(surface);
    while (!client.configured && wl_display_dispatch(display) >= 0) {
    }

    wl_egl_window* native = wl_egl_window_create(surface, WIDTH, HEIGHT);
    EGLSurface eglSurface = eglCreatePlatformWindowSurface(egl, config, native, nullptr);
    const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                    EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(egl, config, EGL_NO_CONTEXT, compatibility);
    if (eglSurface == EGL_NO_SURFACE || context == EGL_NO_CONTEXT ||
        !eglMakeCurrent(egl, eglSurface, eglSurface, context)) {
        std::fprintf(stderr, "bench_baseline_wayland: no EGL surface or context\n");
        return 1;
    }
    // As the game does: swaps never wait for the compositor's frame callbacks.
    eglSwapInterval(egl, 0);
    setupView();

    Layout layout;
    firstFrame(&layout);
    if (timing) {
        std::vector<double> times;
        for (int i = 0; i < count; i++) {
            double t0 = secondsNow();
            finishFrame(egl, eglSurface, layout);
            times.push_back(secondsNow() - t0);
            wl_display_dispatch_pending(display);
        }
        std::sort(times.begin(), times.end());
        std::printf("%.1f\n", times[times.size() / 2] * 1e6);
    } else {
        // The compositor keeps the buffer and shows it again whenever it needs to. Each later
        // configure (sway sends one when it floats the window) is answered with a frame: sway
        // holds the new layout, and so the window's first showing, until the client commits
        // after acknowledging it, or until its transaction times out 200 ms later.
        while (!client.closed) {
            if (client.unanswered) {
                client.unanswered = false;
                finishFrame(egl, eglSurface, layout);
            }
            if (wl_display_dispatch(display) < 0) {
                break;
            }
        }
    }
    eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(egl, context);
    eglDestroySurface(egl, eglSurface);
    wl_egl_window_destroy(native);
    eglTerminate(egl);
    xdg_toplevel_destroy(toplevel);
    xdg_surface_destroy(shellSurface);
    wl_surface_destroy(surface);
    xdg_wm_base_destroy(client.wmBase);
    wl_compositor_destroy(client.compositor);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
