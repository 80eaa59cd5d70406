// The X11 backend's GL part over GLX: the display's framebuffer configurations as pixel
// formats, a GL child window per window that carries the chosen visual, contexts and swaps.
#include "platform/emulated/x11/x11.h"

#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>

namespace {

// The largest GL surface the layer makes, in pixels. Mesa's software path presents a frame with
// one XPutImage of the whole surface, which fails inside Xlib near 2^32 bytes (32767 x 32766 at
// 32 bits; 32767 x 30000 still works); half of that leaves room for any pixel size up to 32 bits.
const long long MOST_SURFACE_PIXELS = 1LL << 29;
// Each side's limit until a context has told the renderer's own (GL_MAX_VIEWPORT_DIMS).
const int DEFAULT_MOST_SIDE = 16384;

struct GlxState {
    bool formatsLoaded = false;
    RealFormats real = {};
    int mostWidth = DEFAULT_MOST_SIDE;
    int mostHeight = DEFAULT_MOST_SIDE;
    bool limitsRead = false;
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
    Display* display = x11.display;
    glx.formatsLoaded = true;
    // Without the extension there are no formats, so no window can have a context: say why on
    // standard error, once, before the caller reports its own failure.
    int errorBase = 0;
    int eventBase = 0;
    if (!glXQueryExtension(display, &errorBase, &eventBase)) {
        std::fprintf(stderr,
                     "%s: the X display '%s' has no GLX extension: OpenGL (GLX) is missing\n",
                     programName(), DisplayString(display));
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
        for (int i = 0; i < count; i++) {
            XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[i]);
            if (visual == nullptr) {
                continue;
            }
            bool sameDepth = visual->depth == screenDepth;
            if (sameDepth == (pass == 0) && usableConfig(display, configs[i], visual)) {
                PIXELFORMATDESCRIPTOR description;
                describeConfig(display, configs[i], visual, &description);
                addRealFormat(&glx.real, configs[i], &description);
            }
            XFree(visual);
        }
    }
    XFree(configs);
}

const PIXELFORMATDESCRIPTOR* realDescription(int number) {
    return realFormatDescription(&glx.real, number);
}

// The child's size for a client area: all of it where the renderer can draw and present that
// much, else the largest part it can, kept at the bottom left where OpenGL's origin and the
// game's projection put the picture; the rest of the client area shows its background.
void fitChild(WindowRecord* window) {
    int width = window->width > 0 ? window->width : 1;
    int height = window->height > 0 ? window->height : 1;
    width = width < glx.mostWidth ? width : glx.mostWidth;
    height = height < glx.mostHeight ? height : glx.mostHeight;
    if ((long long)width * height > MOST_SURFACE_PIXELS) {
        height = (int)(MOST_SURFACE_PIXELS / width);
    }
    int top = window->height > height ? window->height - height : 0;
    x11BeginErrorTrap();
    XMoveResizeWindow(x11.display, x11Part(window)->glChild, 0, top, (unsigned)width,
                      (unsigned)height);
    x11EndErrorTrap();
}

// The renderer's viewport limit, read once from the first context made current; windows sized
// before then are fitted again.
void readRendererLimits(void) {
    if (glx.limitsRead) {
        return;
    }
    glx.limitsRead = true;
    GLint dims[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims);
    if (dims[0] <= 0 || dims[1] <= 0) {
        return;
    }
    glx.mostWidth = dims[0] < 32767 ? dims[0] : 32767;
    glx.mostHeight = dims[1] < 32767 ? dims[1] : 32767;
    WindowRecord* windows = windowRecords();
    for (int i = 0; i < MAX_WINDOWS; i++) {
        if (windows[i].used && windows[i].pixelFormat != 0) {
            fitChild(&windows[i]);
        }
    }
}

} // namespace

int glxFormatCount(void) {
    loadRealFormats();
    return glx.real.count;
}

const PIXELFORMATDESCRIPTOR* glxDescribeFormat(int number) {
    loadRealFormats();
    return realDescription(number);
}

// The format gets an X window of its own: a child of the client area with the configuration's
// visual, covering it. It selects Expose only; key and pointer events go on to the parent, and
// its events reach the parent's record.
bool glxSetFormat(WindowRecord* window, int number) {
    Display* display = x11.display;
    X11Window* part = x11Part(window);
    loadRealFormats();
    GLXFBConfig config = (GLXFBConfig)realFormatConfig(&glx.real, number);
    if (config == nullptr) {
        return false;
    }
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, config);
    if (visual == nullptr) {
        return false;
    }
    x11BeginErrorTrap();
    Colormap colormap =
        XCreateColormap(display, RootWindow(display, visual->screen), visual->visual, AllocNone);
    XSetWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof(attributes));
    attributes.colormap = colormap;
    attributes.border_pixel = 0;
    attributes.background_pixmap = None;
    attributes.event_mask = ExposureMask;
    Window child =
        XCreateWindow(display, part->xwindow, 0, 0, (unsigned)window->width,
                      (unsigned)window->height, 0, visual->depth, InputOutput, visual->visual,
                      CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
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
        return false;
    }
    part->glChild = child;
    part->colormap = colormap;
    part->config = config;
    XSaveContext(display, child, x11.windowContext, (XPointer)window);
    fitChild(window);
    return true;
}

void glxResizeSurface(WindowRecord* window) {
    if (x11Part(window)->glChild != 0) {
        fitChild(window);
    }
}

void glxDestroySurface(WindowRecord* window) {
    X11Window* part = x11Part(window);
    if (part->glChild == 0) {
        return;
    }
    XDeleteContext(x11.display, part->glChild, x11.windowContext);
    x11BeginErrorTrap();
    // A window destroyed by another client took its child with it.
    if (!part->gone) {
        XDestroyWindow(x11.display, part->glChild);
    }
    XFreeColormap(x11.display, part->colormap);
    x11EndErrorTrap();
    part->glChild = 0;
    part->colormap = 0;
    part->config = nullptr;
}

bool glxSwapBuffers(WindowRecord* window) {
    glXSwapBuffers(x11.display, x11Part(window)->glChild);
    return true;
}

bool glxCreateContext(WindowRecord* window, NativeContext* out) {
    Display* display = x11.display;
    GLXFBConfig config = x11Part(window)->config;
    bool rgba = (attribute(display, config, GLX_RENDER_TYPE) & GLX_RGBA_BIT) != 0;
    x11BeginErrorTrap();
    GLXContext context = glXCreateNewContext(
        display, config, rgba ? GLX_RGBA_TYPE : GLX_COLOR_INDEX_TYPE, nullptr, True);
    int error = x11EndErrorTrap();
    if (context == nullptr || error != 0) {
        if (context != nullptr) {
            glXDestroyContext(display, context);
        }
        return false;
    }
    out->context = context;
    out->config = config;
    return true;
}

// Refused here for a window of another configuration, instead of reaching the server as a
// BadMatch.
bool glxMakeCurrent(WindowRecord* window, const NativeContext* context) {
    Display* display = x11.display;
    if (window == nullptr) {
        x11BeginErrorTrap();
        glXMakeCurrent(display, None, nullptr);
        x11EndErrorTrap();
        return true;
    }
    X11Window* part = x11Part(window);
    if ((void*)part->config != context->config) {
        return false;
    }
    x11BeginErrorTrap();
    Bool made = glXMakeCurrent(display, part->glChild, (GLXContext)context->context);
    int error = x11EndErrorTrap();
    if (!made || error != 0) {
        return false;
    }
    readRendererLimits();
    return true;
}

void glxDeleteContext(const NativeContext* context) {
    x11BeginErrorTrap();
    glXDestroyContext(x11.display, (GLXContext)context->context);
    x11EndErrorTrap();
}
