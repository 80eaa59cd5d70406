// The Wayland backend's GL part over EGL: the display's EGLConfigs that draw OpenGL to a window
// as pixel formats, a wl_egl_window per window, compatibility contexts and swaps that never wait
// for the compositor.
#include "platform/linux/wayland/wayland.h"

#include <EGL/eglext.h>

#include <cstring>

namespace {

const int MAX_FORMATS = 256;
const int MAX_CONTEXTS = 16;

struct RealFormat {
    EGLConfig config;
    PIXELFORMATDESCRIPTOR description;
};

// A context and the configuration it was made for: it draws to windows of that one only.
struct GlContext {
    bool used;
    EGLContext context;
    EGLConfig config;
};

struct EglState {
    bool formatsLoaded = false;
    int realCount = 0;
    RealFormat real[MAX_FORMATS] = {};
    GlContext contexts[MAX_CONTEXTS] = {};
};

EglState egl;

int attribute(EGLConfig config, EGLint name) {
    EGLint value = 0;
    if (!eglGetConfigAttrib(wl.egl, config, name, &value)) {
        return 0;
    }
    return value;
}

BYTE clampByte(int value) {
    return (BYTE)(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// EGL's window surfaces are always double-buffered; it has no accumulation or auxiliary
// buffers. Colour channels are packed red highest, as Wayland's ARGB/XRGB formats are.
void describeConfig(EGLConfig config, PIXELFORMATDESCRIPTOR* out) {
    std::memset(out, 0, sizeof(*out));
    out->nSize = sizeof(PIXELFORMATDESCRIPTOR);
    out->nVersion = 1;
    out->dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    out->iPixelType = PFD_TYPE_RGBA;
    int red = attribute(config, EGL_RED_SIZE);
    int green = attribute(config, EGL_GREEN_SIZE);
    int blue = attribute(config, EGL_BLUE_SIZE);
    int alpha = attribute(config, EGL_ALPHA_SIZE);
    out->cColorBits = clampByte(red + green + blue);
    out->cRedBits = clampByte(red);
    out->cGreenBits = clampByte(green);
    out->cBlueBits = clampByte(blue);
    out->cBlueShift = 0;
    out->cGreenShift = clampByte(blue);
    out->cRedShift = clampByte(blue + green);
    out->cAlphaBits = clampByte(alpha);
    out->cAlphaShift = alpha > 0 ? clampByte(red + green + blue) : 0;
    out->cDepthBits = clampByte(attribute(config, EGL_DEPTH_SIZE));
    out->cStencilBits = clampByte(attribute(config, EGL_STENCIL_SIZE));
    out->iLayerType = PFD_MAIN_PLANE;
}

// A configuration stands for a window pixel format when it draws OpenGL into a window in RGB;
// multisampled ones have no descriptor field to say so and are left out, as on X11.
bool usableConfig(EGLConfig config) {
    return (attribute(config, EGL_SURFACE_TYPE) & EGL_WINDOW_BIT) != 0 &&
           (attribute(config, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) != 0 &&
           attribute(config, EGL_COLOR_BUFFER_TYPE) == EGL_RGB_BUFFER &&
           attribute(config, EGL_SAMPLE_BUFFERS) == 0 &&
           attribute(config, EGL_CONFIG_CAVEAT) != EGL_NON_CONFORMANT_CONFIG;
}

// The real list, read once, in EGL's order; a configuration that would read exactly like an
// earlier one is dropped, so every number names a format that a caller can tell apart.
void loadRealFormats(void) {
    if (egl.formatsLoaded) {
        return;
    }
    egl.formatsLoaded = true;
    EGLConfig configs[MAX_FORMATS];
    EGLint count = 0;
    if (!eglGetConfigs(wl.egl, configs, MAX_FORMATS, &count)) {
        return;
    }
    for (int i = 0; i < count && egl.realCount < MAX_FORMATS; i++) {
        if (!usableConfig(configs[i])) {
            continue;
        }
        RealFormat candidate;
        candidate.config = configs[i];
        describeConfig(configs[i], &candidate.description);
        bool duplicate = false;
        for (int k = 0; k < egl.realCount && !duplicate; k++) {
            duplicate = std::memcmp(&egl.real[k].description, &candidate.description,
                                    sizeof(PIXELFORMATDESCRIPTOR)) == 0;
        }
        if (!duplicate) {
            egl.real[egl.realCount++] = candidate;
        }
    }
}

const PIXELFORMATDESCRIPTOR* realDescription(int number) {
    if (number < 1 || number > egl.realCount) {
        return nullptr;
    }
    return &egl.real[number - 1].description;
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
    return egl.realCount;
}

const PIXELFORMATDESCRIPTOR* wlEglDescribeFormat(int number) {
    loadRealFormats();
    return realDescription(number);
}

// A presented format renders through the closest real configuration.
bool wlEglSetFormat(WindowRecord* window, int number, const PIXELFORMATDESCRIPTOR* presented) {
    WaylandWindow* part = waylandPart(window);
    loadRealFormats();
    if (presented != nullptr) {
        number = chooseFormat(presented, egl.realCount, realDescription);
    }
    if (number < 1 || number > egl.realCount) {
        return false;
    }
    EGLConfig config = egl.real[number - 1].config;
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
    if (part->toplevel == nullptr || !part->configured) {
        return true;
    }
    return eglSwapBuffers(wl.egl, part->eglSurface) == EGL_TRUE;
}

void* wlEglCreateContextFor(WindowRecord* window) {
    EGLConfig config = waylandPart(window)->config;
    GlContext* record = nullptr;
    for (GlContext& slot : egl.contexts) {
        if (!slot.used) {
            record = &slot;
            break;
        }
    }
    if (record == nullptr || config == nullptr) {
        return nullptr;
    }
    // The compatibility profile keeps OpenGL 1.1's immediate mode.
    const EGLint attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(wl.egl, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        return nullptr;
    }
    record->used = true;
    record->context = context;
    record->config = config;
    return record;
}

// Refused here for a window of another configuration, as on X11. The swap interval is 0, so a
// hidden or covered window never blocks the program's loop: it paces itself from the clock.
bool wlEglMakeCurrentOn(WindowRecord* window, void* context) {
    if (window == nullptr) {
        eglMakeCurrent(wl.egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        return true;
    }
    GlContext* record = (GlContext*)context;
    WaylandWindow* part = waylandPart(window);
    if (part->config != record->config || part->eglSurface == EGL_NO_SURFACE) {
        return false;
    }
    if (!eglMakeCurrent(wl.egl, part->eglSurface, part->eglSurface, record->context)) {
        return false;
    }
    eglSwapInterval(wl.egl, 0);
    return true;
}

void wlEglDeleteContext(void* context) {
    GlContext* record = (GlContext*)context;
    eglDestroyContext(wl.egl, record->context);
    *record = GlContext();
}
