// Pixel formats and OpenGL contexts over GLX: the display's framebuffer configurations numbered
// as pixel formats, a GL child window per window that carries the chosen visual, and WGL on top.
#include "platform/linux/x11.h"

#include <GL/glx.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>

namespace {

const int MAX_FORMATS = 256;
const int MAX_GL_WINDOWS = 16;
const int MAX_CONTEXTS = 16;

// Win32's "don't care" bits of a request; <windows.h> has them, the layer's header does not.
const DWORD DOUBLEBUFFER_DONTCARE = 0x40000000;
const DWORD STEREO_DONTCARE = 0x80000000;

struct RealFormat {
    GLXFBConfig config;
    PIXELFORMATDESCRIPTOR description;
};

// A window that has a pixel format: the X window that carries the format's visual, laid over
// the client area, and the configuration that its contexts are made from.
struct GlWindow {
    HWND window;
    Window child;
    Colormap colormap;
    int format;
    GLXFBConfig config;
};

struct GlContext {
    bool used;
    GLXContext context;
    GLXFBConfig config;
};

struct GlxState {
    bool formatsLoaded = false;
    int realCount = 0;
    RealFormat real[MAX_FORMATS] = {};
    int presentedCount = 0;
    PIXELFORMATDESCRIPTOR presented[MAX_FORMATS] = {};
    GlWindow windows[MAX_GL_WINDOWS] = {};
    GlContext contexts[MAX_CONTEXTS] = {};
    HGLRC currentContext = nullptr;
    HDC currentDc = nullptr;
    HWND currentWindow = nullptr;
};

GlxState glx;

int attribute(Display* display, GLXFBConfig config, int name) {
    int value = 0;
    if (glXGetFBConfigAttrib(display, config, name, &value) != Success) {
        return 0;
    }
    return value;
}

int lowestBit(unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while ((mask & 1ul) == 0) {
        mask >>= 1;
        shift++;
    }
    return shift;
}

int highestBitAbove(unsigned long mask) {
    int bit = 0;
    while (mask != 0) {
        mask >>= 1;
        bit++;
    }
    return bit;
}

BYTE clampByte(int value) {
    return (BYTE)(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// What a configuration really offers, in a descriptor's terms. Sizes are what the server
// reports for this configuration, never what was asked for.
void describeConfig(Display* display, GLXFBConfig config, const XVisualInfo* visual,
                    PIXELFORMATDESCRIPTOR* out) {
    std::memset(out, 0, sizeof(*out));
    out->nSize = sizeof(PIXELFORMATDESCRIPTOR);
    out->nVersion = 1;
    bool doubleBuffered = attribute(display, config, GLX_DOUBLEBUFFER) != 0;
    out->dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    // GDI cannot draw into a back buffer, so only single-buffered formats claim to support it.
    out->dwFlags |= doubleBuffered ? PFD_DOUBLEBUFFER : PFD_SUPPORT_GDI;
    if (attribute(display, config, GLX_STEREO) != 0) {
        out->dwFlags |= PFD_STEREO;
    }
    bool rgba = (attribute(display, config, GLX_RENDER_TYPE) & GLX_RGBA_BIT) != 0;
    out->iPixelType = rgba ? PFD_TYPE_RGBA : PFD_TYPE_COLORINDEX;
    int red = attribute(display, config, GLX_RED_SIZE);
    int green = attribute(display, config, GLX_GREEN_SIZE);
    int blue = attribute(display, config, GLX_BLUE_SIZE);
    int alpha = attribute(display, config, GLX_ALPHA_SIZE);
    if (rgba) {
        out->cColorBits = clampByte(red + green + blue);
        out->cRedBits = clampByte(red);
        out->cGreenBits = clampByte(green);
        out->cBlueBits = clampByte(blue);
        out->cRedShift = clampByte(lowestBit(visual->red_mask));
        out->cGreenShift = clampByte(lowestBit(visual->green_mask));
        out->cBlueShift = clampByte(lowestBit(visual->blue_mask));
        out->cAlphaBits = clampByte(alpha);
        if (alpha > 0) {
            out->cAlphaShift = clampByte(
                highestBitAbove(visual->red_mask | visual->green_mask | visual->blue_mask));
        }
    } else {
        out->cColorBits = clampByte(attribute(display, config, GLX_BUFFER_SIZE));
    }
    int accumRed = attribute(display, config, GLX_ACCUM_RED_SIZE);
    int accumGreen = attribute(display, config, GLX_ACCUM_GREEN_SIZE);
    int accumBlue = attribute(display, config, GLX_ACCUM_BLUE_SIZE);
    int accumAlpha = attribute(display, config, GLX_ACCUM_ALPHA_SIZE);
    out->cAccumBits = clampByte(accumRed + accumGreen + accumBlue + accumAlpha);
    out->cAccumRedBits = clampByte(accumRed);
    out->cAccumGreenBits = clampByte(accumGreen);
    out->cAccumBlueBits = clampByte(accumBlue);
    out->cAccumAlphaBits = clampByte(accumAlpha);
    out->cDepthBits = clampByte(attribute(display, config, GLX_DEPTH_SIZE));
    out->cStencilBits = clampByte(attribute(display, config, GLX_STENCIL_SIZE));
    out->cAuxBuffers = clampByte(attribute(display, config, GLX_AUX_BUFFERS));
    out->iLayerType = PFD_MAIN_PLANE;
}

// A configuration can stand for a window pixel format when a plain X window of its visual can
// be made and drawn into. Multisampled configurations have no descriptor field to say so and
// would surprise a caller that asked for none, so they are left out.
bool usableConfig(Display* display, GLXFBConfig config, const XVisualInfo* visual) {
    if ((attribute(display, config, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) == 0 ||
        attribute(display, config, GLX_X_RENDERABLE) == 0 || visual == nullptr ||
        attribute(display, config, GLX_LEVEL) != 0 ||
        attribute(display, config, GLX_SAMPLE_BUFFERS) != 0 ||
        attribute(display, config, GLX_CONFIG_CAVEAT) == GLX_NON_CONFORMANT_CONFIG) {
        return false;
    }
    int renderType = attribute(display, config, GLX_RENDER_TYPE);
    int visualClass = visual->c_class;
    if ((renderType & GLX_RGBA_BIT) != 0) {
        // DirectColor would show whatever its colour map holds; only fixed colour maps qualify.
        return visualClass == TrueColor || visualClass == StaticColor;
    }
    if ((renderType & GLX_COLOR_INDEX_BIT) != 0) {
        return visualClass == PseudoColor || visualClass == StaticColor ||
               visualClass == GrayScale || visualClass == StaticGray;
    }
    return false;
}

// The real list, read once: usable configurations whose visual has the screen's own depth come
// first (their windows' pixels read back like the rest of the screen), then the others, each
// group in the server's order. A configuration that would read exactly like an earlier one is
// dropped, so every number names a format that a caller can tell apart.
void loadRealFormats(void) {
    if (glx.formatsLoaded) {
        return;
    }
    Display* display = x11Display();
    if (display == nullptr) {
        return;
    }
    glx.formatsLoaded = true;
    // Without the extension there are no formats, so no window can have a context: say why on
    // standard error, once, before the caller reports its own failure.
    int errorBase = 0;
    int eventBase = 0;
    if (!glXQueryExtension(display, &errorBase, &eventBase)) {
        std::fprintf(stderr,
                     "%s: the X display '%s' has no GLX extension: OpenGL (GLX) is missing\n",
                     x11ProgramName(), DisplayString(display));
        std::fflush(stderr);
        return;
    }
    int screen = DefaultScreen(display);
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(display, screen, &count);
    if (configs == nullptr) {
        return;
    }
    int screenDepth = DefaultDepth(display, screen);
    for (int pass = 0; pass < 2; pass++) {
        for (int i = 0; i < count && glx.realCount < MAX_FORMATS; i++) {
            XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[i]);
            if (visual == nullptr) {
                continue;
            }
            bool sameDepth = visual->depth == screenDepth;
            if (sameDepth == (pass == 0) && usableConfig(display, configs[i], visual)) {
                RealFormat candidate;
                candidate.config = configs[i];
                describeConfig(display, configs[i], visual, &candidate.description);
                bool duplicate = false;
                for (int k = 0; k < glx.realCount && !duplicate; k++) {
                    duplicate = std::memcmp(&glx.real[k].description, &candidate.description,
                                            sizeof(PIXELFORMATDESCRIPTOR)) == 0;
                }
                if (!duplicate) {
                    glx.real[glx.realCount++] = candidate;
                }
            }
            XFree(visual);
        }
    }
    XFree(configs);
}

int formatCount(void) {
    if (glx.presentedCount > 0) {
        return glx.presentedCount;
    }
    loadRealFormats();
    return glx.realCount;
}

const PIXELFORMATDESCRIPTOR* formatDescription(int number) {
    if (number < 1 || number > formatCount()) {
        return nullptr;
    }
    if (glx.presentedCount > 0) {
        return &glx.presented[number - 1];
    }
    return &glx.real[number - 1].description;
}

int distance(int a, int b) {
    return a > b ? a - b : b - a;
}

const int SCORE_KEYS = 10;

// How far a candidate is from a request, most important difference first; lower is closer.
void scoreCandidate(const PIXELFORMATDESCRIPTOR* request, const PIXELFORMATDESCRIPTOR* candidate,
                    int score[SCORE_KEYS]) {
    bool depthAsked = request->cDepthBits > 0;
    int depth = candidate->cDepthBits;
    score[0] = depthAsked && depth == 0 ? 1 : 0;
    score[1] = distance(candidate->cColorBits, request->cColorBits);
    if (depthAsked) {
        // Exactly the size asked for where it exists (Mesa would hand out its largest), then
        // larger rather than smaller, then the nearest.
        score[2] = depth == request->cDepthBits ? 0 : (depth > request->cDepthBits ? 1 : 2);
    } else {
        score[2] = depth > 0 ? 1 : 0;
    }
    score[3] = distance(depth, request->cDepthBits);
    score[4] = (request->cAlphaBits > 0) != (candidate->cAlphaBits > 0) ? 1 : 0;
    score[5] = (request->cStencilBits > 0) != (candidate->cStencilBits > 0) ? 1 : 0;
    score[6] = (request->cAccumBits > 0) != (candidate->cAccumBits > 0) ? 1 : 0;
    score[7] = candidate->cAuxBuffers > request->cAuxBuffers ? 1 : 0;
    score[8] = distance(candidate->cAlphaBits, request->cAlphaBits) +
               distance(candidate->cStencilBits, request->cStencilBits);
    score[9] = distance(candidate->cAccumBits, request->cAccumBits);
}

// What a format must have whatever else differs: the capabilities asked for, the pixel type,
// and double buffering and stereo as asked unless the request does not care.
bool fitsRequest(const PIXELFORMATDESCRIPTOR* request, const PIXELFORMATDESCRIPTOR* candidate) {
    const DWORD required =
        PFD_DRAW_TO_WINDOW | PFD_DRAW_TO_BITMAP | PFD_SUPPORT_GDI | PFD_SUPPORT_OPENGL;
    if ((candidate->dwFlags & request->dwFlags & required) != (request->dwFlags & required)) {
        return false;
    }
    if (candidate->iPixelType != request->iPixelType) {
        return false;
    }
    if ((request->dwFlags & DOUBLEBUFFER_DONTCARE) == 0 &&
        ((candidate->dwFlags ^ request->dwFlags) & PFD_DOUBLEBUFFER) != 0) {
        return false;
    }
    if ((request->dwFlags & STEREO_DONTCARE) == 0 &&
        ((candidate->dwFlags ^ request->dwFlags) & PFD_STEREO) != 0) {
        return false;
    }
    return true;
}

// The closest fitting entry of a list, numbered from 1; 0 when none fits. Ties go to the
// lower number.
int chooseFrom(const PIXELFORMATDESCRIPTOR* request, int count,
               const PIXELFORMATDESCRIPTOR* (*describe)(int)) {
    int best = 0;
    int bestScore[SCORE_KEYS] = {};
    for (int number = 1; number <= count; number++) {
        const PIXELFORMATDESCRIPTOR* candidate = describe(number);
        if (candidate == nullptr || !fitsRequest(request, candidate)) {
            continue;
        }
        int score[SCORE_KEYS];
        scoreCandidate(request, candidate, score);
        bool better = best == 0;
        for (int k = 0; k < SCORE_KEYS && !better; k++) {
            if (score[k] != bestScore[k]) {
                better = score[k] < bestScore[k];
                break;
            }
        }
        if (better) {
            best = number;
            std::memcpy(bestScore, score, sizeof(score));
        }
    }
    return best;
}

const PIXELFORMATDESCRIPTOR* realDescription(int number) {
    if (number < 1 || number > glx.realCount) {
        return nullptr;
    }
    return &glx.real[number - 1].description;
}

// The real configuration that renders a presented format: the closest true-colour one with the
// same buffering and the same ancillary buffers. Presented palette and colour-index formats
// render in RGBA underneath; only the picture's colours differ.
GLXFBConfig configForPresented(const PIXELFORMATDESCRIPTOR* presented) {
    loadRealFormats();
    PIXELFORMATDESCRIPTOR request;
    std::memset(&request, 0, sizeof(request));
    request.nSize = sizeof(request);
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL |
                      (presented->dwFlags & (PFD_DOUBLEBUFFER | PFD_STEREO));
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 24;
    request.cAlphaBits = presented->cAlphaBits;
    request.cAccumBits = presented->cAccumBits;
    request.cDepthBits = presented->cDepthBits;
    request.cStencilBits = presented->cStencilBits;
    int number = chooseFrom(&request, glx.realCount, realDescription);
    if (number == 0) {
        // Stereo is rare; a picture in one eye beats no picture.
        request.dwFlags |= STEREO_DONTCARE;
        number = chooseFrom(&request, glx.realCount, realDescription);
    }
    return number == 0 ? nullptr : glx.real[number - 1].config;
}

GlWindow* glWindowOf(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    for (GlWindow& record : glx.windows) {
        if (record.window == window) {
            return &record;
        }
    }
    return nullptr;
}

GlWindow* glWindowOfDc(HDC dc) {
    if (dc == nullptr) {
        return nullptr;
    }
    return glWindowOf(x11WindowOfDc(dc));
}

GlContext* contextOf(HGLRC handle) {
    for (GlContext& record : glx.contexts) {
        if ((HGLRC)(void*)&record == handle) {
            return record.used ? &record : nullptr;
        }
    }
    return nullptr;
}

void releaseCurrent(Display* display) {
    if (glx.currentContext != nullptr && display != nullptr) {
        x11BeginErrorTrap();
        glXMakeCurrent(display, None, nullptr);
        x11EndErrorTrap();
    }
    glx.currentContext = nullptr;
    glx.currentDc = nullptr;
    glx.currentWindow = nullptr;
}

} // namespace

int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* request) {
    (void)dc;
    if (platformShouldFail(TEST_CHOOSE_PIXEL_FORMAT) || request == nullptr) {
        return 0;
    }
    return chooseFrom(request, formatCount(), formatDescription);
}

// The formats belong to the display, not to one window, so any device context describes them.
int WINAPI DescribePixelFormat(HDC dc, int format, UINT bytes, LPPIXELFORMATDESCRIPTOR descriptor) {
    (void)dc;
    if (platformShouldFail(TEST_DESCRIBE_PIXEL_FORMAT)) {
        return 0;
    }
    int count = formatCount();
    if (descriptor == nullptr) {
        return count;
    }
    const PIXELFORMATDESCRIPTOR* description = formatDescription(format);
    if (description == nullptr || bytes < sizeof(PIXELFORMATDESCRIPTOR)) {
        return 0;
    }
    *descriptor = *description;
    return count;
}

int WINAPI GetPixelFormat(HDC dc) {
    if (platformShouldFail(TEST_GET_PIXEL_FORMAT)) {
        return 0;
    }
    GlWindow* record = glWindowOfDc(dc);
    return record == nullptr ? 0 : record->format;
}

// A window's format is set once, as on Win32. Its visual is fixed when an X window is made, so
// the format gets an X window of its own: a child of the client area with the configuration's
// visual, covering it. It selects Expose only; key and pointer events go on to the parent.
BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* descriptor) {
    (void)descriptor;
    if (platformShouldFail(TEST_SET_PIXEL_FORMAT)) {
        return FALSE;
    }
    Display* display = x11Display();
    HWND window = dc == nullptr ? nullptr : x11WindowOfDc(dc);
    Window parent = x11WindowOf(window);
    if (display == nullptr || parent == 0 || formatDescription(format) == nullptr) {
        return FALSE;
    }
    GlWindow* existing = glWindowOf(window);
    if (existing != nullptr) {
        return existing->format == format ? TRUE : FALSE;
    }
    GlWindow* record = nullptr;
    for (GlWindow& slot : glx.windows) {
        if (slot.window == nullptr) {
            record = &slot;
            break;
        }
    }
    if (record == nullptr) {
        return FALSE;
    }
    GLXFBConfig config = glx.presentedCount > 0 ? configForPresented(&glx.presented[format - 1])
                                                : glx.real[format - 1].config;
    if (config == nullptr) {
        return FALSE;
    }
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, config);
    if (visual == nullptr) {
        return FALSE;
    }
    x11BeginErrorTrap();
    XWindowAttributes parentAttributes;
    int width = 1;
    int height = 1;
    if (XGetWindowAttributes(display, parent, &parentAttributes) != 0) {
        width = parentAttributes.width > 0 ? parentAttributes.width : 1;
        height = parentAttributes.height > 0 ? parentAttributes.height : 1;
    }
    Colormap colormap =
        XCreateColormap(display, RootWindow(display, visual->screen), visual->visual, AllocNone);
    XSetWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof(attributes));
    attributes.colormap = colormap;
    attributes.border_pixel = 0;
    attributes.background_pixmap = None;
    attributes.event_mask = ExposureMask;
    Window child = XCreateWindow(
        display, parent, 0, 0, (unsigned)width, (unsigned)height, 0, visual->depth, InputOutput,
        visual->visual, CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
    if (child != 0) {
        XMapWindow(display, child);
    }
    int error = x11EndErrorTrap();
    XFree(visual);
    if (child == 0 || error != 0) {
        x11BeginErrorTrap();
        if (child != 0) {
            XDestroyWindow(display, child);
        }
        XFreeColormap(display, colormap);
        x11EndErrorTrap();
        return FALSE;
    }
    record->window = window;
    record->child = child;
    record->colormap = colormap;
    record->format = format;
    record->config = config;
    x11AttachChild(window, child);
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC dc) {
    if (platformShouldFail(TEST_SWAP_BUFFERS)) {
        return FALSE;
    }
    Display* display = x11Display();
    GlWindow* record = glWindowOfDc(dc);
    if (display == nullptr || record == nullptr) {
        return FALSE;
    }
    glXSwapBuffers(display, record->child);
    return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC dc) {
    if (platformShouldFail(TEST_WGL_CREATE_CONTEXT)) {
        return nullptr;
    }
    Display* display = x11Display();
    GlWindow* window = glWindowOfDc(dc);
    if (display == nullptr || window == nullptr) {
        return nullptr;
    }
    GlContext* record = nullptr;
    for (GlContext& slot : glx.contexts) {
        if (!slot.used) {
            record = &slot;
            break;
        }
    }
    if (record == nullptr) {
        return nullptr;
    }
    bool rgba = (attribute(display, window->config, GLX_RENDER_TYPE) & GLX_RGBA_BIT) != 0;
    x11BeginErrorTrap();
    GLXContext context = glXCreateNewContext(
        display, window->config, rgba ? GLX_RGBA_TYPE : GLX_COLOR_INDEX_TYPE, nullptr, True);
    int error = x11EndErrorTrap();
    if (context == nullptr || error != 0) {
        if (context != nullptr) {
            glXDestroyContext(display, context);
        }
        return nullptr;
    }
    record->used = true;
    record->context = context;
    record->config = window->config;
    return (HGLRC)(void*)record;
}

// A context works with windows of its own configuration only; asking for another is refused
// here, as Win32 refuses a context of another pixel format, instead of reaching the server as
// a BadMatch.
BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC context) {
    if (platformShouldFail(TEST_WGL_MAKE_CURRENT)) {
        return FALSE;
    }
    Display* display = x11Display();
    if (context == nullptr) {
        releaseCurrent(display);
        return TRUE;
    }
    GlContext* record = contextOf(context);
    GlWindow* window = glWindowOfDc(dc);
    if (display == nullptr || record == nullptr || window == nullptr ||
        window->config != record->config) {
        return FALSE;
    }
    x11BeginErrorTrap();
    Bool made = glXMakeCurrent(display, window->child, record->context);
    int error = x11EndErrorTrap();
    if (!made || error != 0) {
        return FALSE;
    }
    glx.currentContext = context;
    glx.currentDc = dc;
    glx.currentWindow = window->window;
    return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC context) {
    GlContext* record = contextOf(context);
    Display* display = x11Display();
    if (record == nullptr || display == nullptr) {
        return FALSE;
    }
    if (glx.currentContext == context) {
        releaseCurrent(display);
    }
    x11BeginErrorTrap();
    glXDestroyContext(display, record->context);
    x11EndErrorTrap();
    *record = GlContext();
    return TRUE;
}

HGLRC WINAPI wglGetCurrentContext(void) {
    return glx.currentContext;
}

HDC WINAPI wglGetCurrentDC(void) {
    return glx.currentDc;
}

void glxWindowResized(HWND window, int width, int height) {
    GlWindow* record = glWindowOf(window);
    Display* display = x11Display();
    if (record == nullptr || display == nullptr) {
        return;
    }
    // An X window cannot be 0 x 0; a minimised client area keeps a 1 x 1 child.
    x11BeginErrorTrap();
    XResizeWindow(display, record->child, (unsigned)(width > 0 ? width : 1),
                  (unsigned)(height > 0 ? height : 1));
    x11EndErrorTrap();
}

// The window is going: a context still current on it is released first, so that no GL call
// reaches a drawable that no longer exists; the contexts themselves live on, as on Win32.
void glxWindowDestroyed(HWND window) {
    GlWindow* record = glWindowOf(window);
    Display* display = x11Display();
    if (glx.currentWindow == window && window != nullptr) {
        releaseCurrent(display);
    }
    if (record == nullptr) {
        return;
    }
    x11DetachChild(window, record->child);
    if (display != nullptr) {
        x11BeginErrorTrap();
        XDestroyWindow(display, record->child);
        XFreeColormap(display, record->colormap);
        x11EndErrorTrap();
    }
    *record = GlWindow();
}

void testPresentPixelFormats(const PIXELFORMATDESCRIPTOR* formats, int count) {
    if (formats == nullptr || count <= 0) {
        glx.presentedCount = 0;
        return;
    }
    if (count > MAX_FORMATS) {
        count = MAX_FORMATS;
    }
    std::memcpy(glx.presented, formats, sizeof(PIXELFORMATDESCRIPTOR) * (size_t)count);
    glx.presentedCount = count;
}
