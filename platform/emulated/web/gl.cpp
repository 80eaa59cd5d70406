// The web backend's OpenGL: one pixel format as a WebGL 1 context offers it, contexts on the
// canvas through Emscripten's HTML5 API, and the OpenGL 1.1 layer started on each new context.
#include "platform/emulated/web/gl11.h"
#include "platform/emulated/web/web.h"

#include <emscripten/html5.h>

#include <cstdio>
#include <cstring>

namespace {

const char* const CANVAS = "#canvas";

// The one configuration: a canvas has one drawing buffer, so every context draws to it.
char canvasConfig;

// The context the layer was started on last; a context made current for the first time starts it.
EMSCRIPTEN_WEBGL_CONTEXT_HANDLE startedOn = 0;

// Double-buffered RGB with a 16-bit depth buffer, as every WebGL 1 context can give (depth is
// "at least 16 bits"); the canvas is opaque, so no alpha plane shows through the page.
PIXELFORMATDESCRIPTOR describeCanvas(void) {
    PIXELFORMATDESCRIPTOR format;
    std::memset(&format, 0, sizeof(format));
    format.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 24;
    format.cRedBits = 8;
    format.cRedShift = 16;
    format.cGreenBits = 8;
    format.cGreenShift = 8;
    format.cBlueBits = 8;
    format.cDepthBits = 16;
    format.iLayerType = PFD_MAIN_PLANE;
    return format;
}

const PIXELFORMATDESCRIPTOR canvasFormat = describeCanvas();

// The browser may take WebGL away (a lost or reset GPU, too many contexts in the browser); the
// layer keeps what it needs to rebuild, and the loss is prevented from being final (returning
// true is preventDefault), which a context must ask for to be restored.
EM_BOOL onContextLost(int type, const void* reserved, void* data) {
    (void)type;
    (void)reserved;
    (void)data;
    gl11Lost();
    return EM_TRUE;
}

// The restored drawing buffer is blank: the window is to be painted again, as after an expose, so
// that a program that draws only when asked (a waiting loop) shows its frame again too.
EM_BOOL onContextRestored(int type, const void* reserved, void* data) {
    (void)type;
    (void)reserved;
    (void)data;
    if (!gl11Restore()) {
        copyText(web.errorText, sizeof(web.errorText), "OpenGL 1.1 could not start again on WebGL");
    }
    if (web.window != nullptr) {
        inputExposed(web.window);
        web.arrived = true;
    }
    return EM_TRUE;
}

} // namespace

int webFormatCount(void) {
    return 1;
}

const PIXELFORMATDESCRIPTOR* webDescribeFormat(int number) {
    return number == 1 ? &canvasFormat : nullptr;
}

bool webSetFormat(WindowRecord* window, int number) {
    if (number != 1) {
        return false;
    }
    webPart(window)->hasFormat = true;
    return true;
}

// The drawing buffer follows the canvas's size (display.cpp sets both).
void webResizeSurface(WindowRecord* window) {
    (void)window;
}

void webDestroySurface(WindowRecord* window) {
    webPart(window)->hasFormat = false;
}

// WebGL 1 without antialiasing, as OpenGL 1.1 draws; the drawing buffer is preserved so that the
// last frame stays in the page after the program ends, and reads of the canvas see what was drawn.
bool webCreateContext(WindowRecord* window, NativeContext* out) {
    if (!webPart(window)->hasFormat) {
        return false;
    }
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_TRUE;
    attributes.majorVersion = 1;
    attributes.minorVersion = 0;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(CANVAS, &attributes);
    if (context <= 0) {
        // Said on the console before the program reports its own failure, which cannot know
        // why: a browser with WebGL turned off, or none on this machine's graphics.
        copyText(web.errorText, sizeof(web.errorText), "the browser offers no WebGL 1 context");
        std::fprintf(stderr, "%s: no OpenGL in this page: %s\n", programName(), web.errorText);
        return false;
    }
    emscripten_set_webglcontextlost_callback(CANVAS, nullptr, EM_TRUE, onContextLost);
    emscripten_set_webglcontextrestored_callback(CANVAS, nullptr, EM_TRUE, onContextRestored);
    out->context = (void*)context;
    out->config = &canvasConfig;
    return true;
}

bool webMakeCurrent(WindowRecord* window, const NativeContext* context) {
    gl11Flush(); // what was gathered on the context current until now is drawn there
    if (window == nullptr) {
        emscripten_webgl_make_context_current(0);
        return true;
    }
    if (context->config != &canvasConfig || !webPart(window)->hasFormat) {
        return false;
    }
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE handle = (EMSCRIPTEN_WEBGL_CONTEXT_HANDLE)context->context;
    if (emscripten_webgl_make_context_current(handle) != EMSCRIPTEN_RESULT_SUCCESS) {
        return false;
    }
    if (handle != startedOn) {
        if (!gl11Start()) {
            copyText(web.errorText, sizeof(web.errorText), "OpenGL 1.1 could not start on WebGL");
            return false;
        }
        startedOn = handle;
    }
    return true;
}

void webDeleteContext(const NativeContext* context) {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE handle = (EMSCRIPTEN_WEBGL_CONTEXT_HANDLE)context->context;
    if (handle == startedOn) {
        startedOn = 0;
    }
    emscripten_webgl_destroy_context(handle);
}

// The browser presents the canvas when the program yields to it (every wait and Sleep), so a swap
// only draws what the OpenGL 1.1 layer has gathered: the frame drawn is shown at the next yield.
bool webSwapBuffers(WindowRecord* window) {
    if (!webPart(window)->hasFormat) {
        return false;
    }
    gl11Flush();
    return true;
}
