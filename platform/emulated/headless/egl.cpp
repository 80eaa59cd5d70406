// The headless backend's GL part: EGL on Mesa's surfaceless platform (no window system), its
// configurations as pixel formats, a pbuffer per window of the client size, compatibility
// contexts, and swaps. The pbuffer holds the window's picture: a single-buffered format draws
// into it, and so does a double-buffered one, whose front and back name that one buffer (Mesa's
// pbuffers have one colour buffer), so after SwapBuffers it holds the frame just presented until
// the program draws the next.
#include "platform/emulated/headless/headless.h"

#include "platform/emulated/egl/configs.h"

#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstring>

namespace {

// The largest pbuffer made for a window: llvmpipe's viewport limit on each side, and at most
// 2^26 pixels (256 MB at 32 bits, besides the depth buffer), where a 32767 x 32767 window would
// ask for 4 GB. A larger client area keeps its bottom left part, where OpenGL's origin is.
const int MOST_SIDE = 16384;
const long long MOST_PIXELS = 1LL << 26;

void fail(const char* what) {
    std::snprintf(headless.errorText, sizeof(headless.errorText), "%s (EGL error 0x%04x)", what,
                  (unsigned)eglGetError());
}

// Said once on standard error, before whatever the caller reports, as X11 names a display that
// could not be opened.
void failToConnect(const char* why) {
    copyText(headless.errorText, sizeof(headless.errorText), why);
    std::fprintf(stderr, "%s: no headless display: %s\n", programName(), why);
    std::fflush(stderr);
}

bool hasClientExtension(const char* name) {
    const char* list = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    size_t length = std::strlen(name);
    for (const char* at = list; at != nullptr && (at = std::strstr(at, name)) != nullptr;
         at += length) {
        bool starts = at == list || at[-1] == ' ';
        bool ends = at[length] == ' ' || at[length] == '\0';
        if (starts && ends) {
            return true;
        }
    }
    return false;
}

// Double-buffered formats first, as a window system lists them, then single-buffered ones; only
// single-buffered ones claim GDI, which cannot draw into a back buffer (as on X11).
void loadRealFormats(void) {
    if (headless.formatsLoaded) {
        return;
    }
    headless.formatsLoaded = true;
    const DWORD bufferings[] = {PFD_DOUBLEBUFFER, PFD_SUPPORT_GDI};
    addEglFormats(headless.egl, EGL_PBUFFER_BIT, bufferings, 2, &headless.real);
}

const PIXELFORMATDESCRIPTOR* realDescription(int number) {
    return realFormatDescription(&headless.real, number);
}

void surfaceSize(const WindowRecord* window, int* width, int* height) {
    *width = window->width < 1 ? 1 : (window->width > MOST_SIDE ? MOST_SIDE : window->width);
    *height = window->height < 1 ? 1 : (window->height > MOST_SIDE ? MOST_SIDE : window->height);
    if ((long long)*width * *height > MOST_PIXELS) {
        *height = (int)(MOST_PIXELS / *width);
    }
}

EGLSurface makePbuffer(EGLConfig config, int width, int height) {
    const EGLint attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(headless.egl, config, attributes);
    if (surface == EGL_NO_SURFACE) {
        fail("EGL made no pbuffer");
    }
    return surface;
}

} // namespace

bool headlessEglConnect(void) {
    if (!hasClientExtension("EGL_MESA_platform_surfaceless") ||
        !hasClientExtension("EGL_EXT_platform_base")) {
        failToConnect("EGL offers no surfaceless platform (Mesa's EGL_MESA_platform_surfaceless)");
        return false;
    }
    PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay =
        (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
    EGLDisplay display =
        getPlatformDisplay == nullptr
            ? EGL_NO_DISPLAY
            : getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        failToConnect("EGL's surfaceless platform did not start");
        return false;
    }
    // Immediate mode needs desktop OpenGL, not OpenGL ES.
    if (!eglBindAPI(EGL_OPENGL_API)) {
        eglTerminate(display);
        failToConnect("EGL offers no desktop OpenGL here");
        return false;
    }
    headless.egl = display;
    return true;
}

// The presented formats where the program set some, else the configurations themselves.
int headlessFormatCount(void) {
    if (headless.presented.formatCount > 0) {
        return headless.presented.formatCount;
    }
    loadRealFormats();
    return headless.real.count;
}

const PIXELFORMATDESCRIPTOR* headlessDescribeFormat(int number) {
    int presented = headless.presented.formatCount;
    if (presented > 0) {
        return number >= 1 && number <= presented ? &headless.presented.formats[number - 1]
                                                  : nullptr;
    }
    loadRealFormats();
    return realDescription(number);
}

// A presented format renders through the closest real configuration.
bool headlessSetFormat(WindowRecord* window, int number) {
    loadRealFormats();
    if (headless.presented.formatCount > 0) {
        const PIXELFORMATDESCRIPTOR* presented = headlessDescribeFormat(number);
        if (presented == nullptr) {
            return false;
        }
        number = chooseFormatForPresented(presented, headless.real.count, realDescription);
    }
    EGLConfig config = realFormatConfig(&headless.real, number);
    if (config == nullptr) {
        return false;
    }
    int width = 0;
    int height = 0;
    surfaceSize(window, &width, &height);
    EGLSurface surface = makePbuffer(config, width, height);
    if (surface == EGL_NO_SURFACE) {
        return false;
    }
    HeadlessWindow* part = headlessPart(window);
    part->surface = surface;
    part->config = config;
    part->surfaceWidth = width;
    part->surfaceHeight = height;
    return true;
}

// A pbuffer keeps its size, so a new one is made; a context current on the old one moves to it,
// so the program's next GL call draws at the new size, as on a window that a display resized.
// The new pbuffer starts blank: the WM_SIZE and paint that follow a resize redraw it. Without
// memory for it the window keeps the old one.
void headlessResizeSurface(WindowRecord* window) {
    HeadlessWindow* part = headlessPart(window);
    int width = 0;
    int height = 0;
    surfaceSize(window, &width, &height);
    if (part->surface == EGL_NO_SURFACE ||
        (width == part->surfaceWidth && height == part->surfaceHeight)) {
        return;
    }
    EGLSurface surface = makePbuffer(part->config, width, height);
    if (surface == EGL_NO_SURFACE) {
        return;
    }
    if (eglGetCurrentSurface(EGL_DRAW) == part->surface) {
        eglMakeCurrent(headless.egl, surface, surface, eglGetCurrentContext());
    }
    eglDestroySurface(headless.egl, part->surface);
    part->surface = surface;
    part->surfaceWidth = width;
    part->surfaceHeight = height;
}

void headlessDestroySurface(WindowRecord* window) {
    HeadlessWindow* part = headlessPart(window);
    if (part->surface == EGL_NO_SURFACE) {
        return;
    }
    if (eglGetCurrentSurface(EGL_DRAW) == part->surface) {
        eglMakeCurrent(headless.egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    eglDestroySurface(headless.egl, part->surface);
    *part = HeadlessWindow();
}

bool headlessCreateContext(WindowRecord* window, NativeContext* out) {
    EGLConfig config = headlessPart(window)->config;
    if (config == nullptr) {
        return false;
    }
    // The compatibility profile keeps OpenGL 1.1's immediate mode.
    const EGLint attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(headless.egl, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        fail("EGL made no OpenGL context");
        return false;
    }
    out->context = context;
    out->config = config;
    return true;
}

// Refused here for a window of another configuration, as on X11 and Wayland.
bool headlessMakeCurrent(WindowRecord* window, const NativeContext* context) {
    if (window == nullptr) {
        eglMakeCurrent(headless.egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        return true;
    }
    HeadlessWindow* part = headlessPart(window);
    if (part->config != context->config || part->surface == EGL_NO_SURFACE) {
        return false;
    }
    return eglMakeCurrent(headless.egl, part->surface, part->surface,
                          (EGLContext)context->context) == EGL_TRUE;
}

void headlessDeleteContext(const NativeContext* context) {
    eglDestroyContext(headless.egl, (EGLContext)context->context);
}

// Nothing is shown: the frame is in the pbuffer already. It is sent on to the renderer, as a
// swap does, so that it is complete however it is read.
bool headlessSwapBuffers(WindowRecord* window) {
    if (eglGetCurrentSurface(EGL_DRAW) == headlessPart(window)->surface) {
        glFlush();
    }
    return true;
}
