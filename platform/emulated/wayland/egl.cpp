// The Wayland backend's GL part over EGL: the display's EGLConfigs that draw OpenGL to a window
// as pixel formats, a wl_egl_window per window, compatibility contexts and swaps that never wait
// for the compositor.
#include "platform/emulated/wayland/wayland.h"

#include "platform/emulated/egl/configs.h"

#include <EGL/eglext.h>

#include <cstring>

namespace {

struct EglState {
    bool formatsLoaded = false;
    RealFormats real = {};
};

EglState egl;

// The real list, read once: EGL's window surfaces are always double-buffered.
void loadRealFormats(void) {
    if (egl.formatsLoaded) {
        return;
    }
    egl.formatsLoaded = true;
    const DWORD buffering = PFD_DOUBLEBUFFER;
    addEglFormats(wl.egl, EGL_WINDOW_BIT, &buffering, 1, &egl.real);
}

const PIXELFORMATDESCRIPTOR* realDescription(int number) {
    return realFormatDescription(&egl.real, number);
}

} // namespace

bool wlEglConnect(void) {
    wl.egl = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, wl.display, nullptr);
    if (wl.egl == EGL_NO_DISPLAY || !eglInitialize(wl.egl, nullptr, nullptr)) {
        wl.egl = EGL_NO_DISPLAY;
        return false;
    }
    // Immediate mode needs desktop OpenGL, not OpenGL ES.
    if (!eglBindAPI(EGL_OPENGL_API)) {
        eglTerminate(wl.egl);
        wl.egl = EGL_NO_DISPLAY;
        return false;
    }
    return true;
}

int wlEglFormatCount(void) {
    loadRealFormats();
    return egl.real.count;
}

const PIXELFORMATDESCRIPTOR* wlEglDescribeFormat(int number) {
    loadRealFormats();
    return realDescription(number);
}

bool wlEglSetFormat(WindowRecord* window, int number) {
    WaylandWindow* part = waylandPart(window);
    loadRealFormats();
    EGLConfig config = realFormatConfig(&egl.real, number);
    if (config == nullptr) {
        return false;
    }
    int width = window->width > 0 ? window->width : 1;
    int height = window->height > 0 ? window->height : 1;
    wl_egl_window* native = wl_egl_window_create(part->surface, width, height);
    if (native == nullptr) {
        return false;
    }
    EGLSurface surface = eglCreatePlatformWindowSurface(wl.egl, config, (void*)native, nullptr);
    if (surface == EGL_NO_SURFACE) {
        wl_egl_window_destroy(native);
        return false;
    }
    part->eglWindow = native;
    part->eglSurface = surface;
    part->config = config;
    return true;
}

void wlEglResizeSurface(WindowRecord* window) {
    WaylandWindow* part = waylandPart(window);
    if (part->eglWindow == nullptr) {
        waylandShowBlank(window);
    } else if (window->width > 0 && window->height > 0) {
        wl_egl_window_resize(part->eglWindow, window->width, window->height, 0, 0);
    }
}

void wlEglDestroySurface(WindowRecord* window) {
    WaylandWindow* part = waylandPart(window);
    if (part->eglWindow == nullptr) {
        return;
    }
    if (eglGetCurrentSurface(EGL_DRAW) == part->eglSurface) {
        eglMakeCurrent(wl.egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    eglDestroySurface(wl.egl, part->eglSurface);
    wl_egl_window_destroy(part->eglWindow);
    part->eglSurface = EGL_NO_SURFACE;
    part->eglWindow = nullptr;
    part->config = nullptr;
}

// A hidden window has no toplevel: a buffer on its surface would keep it from getting one.
bool wlEglSwap(WindowRecord* window) {
    WaylandWindow* part = waylandPart(window);
    if (waylandToplevel(part) == nullptr || !part->configured) {
        return true;
    }
    return eglSwapBuffers(wl.egl, part->eglSurface) == EGL_TRUE;
}

bool wlEglCreateContextFor(WindowRecord* window, NativeContext* out) {
    EGLConfig config = waylandPart(window)->config;
    if (config == nullptr) {
        return false;
    }
    // The compatibility profile keeps OpenGL 1.1's immediate mode.
    const EGLint attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(wl.egl, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        return false;
    }
    out->context = context;
    out->config = config;
    return true;
}

// Refused here for a window of another configuration, as on X11. The swap interval is 0, so a
// hidden or covered window never blocks the program's loop: it paces itself from the clock.
bool wlEglMakeCurrentOn(WindowRecord* window, const NativeContext* context) {
    if (window == nullptr) {
        eglMakeCurrent(wl.egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        return true;
    }
    WaylandWindow* part = waylandPart(window);
    if (part->config != context->config || part->eglSurface == EGL_NO_SURFACE) {
        return false;
    }
    if (!eglMakeCurrent(wl.egl, part->eglSurface, part->eglSurface, context->context)) {
        return false;
    }
    eglSwapInterval(wl.egl, 0);
    return true;
}

void wlEglDeleteContext(const NativeContext* context) {
    eglDestroyContext(wl.egl, context->context);
}
