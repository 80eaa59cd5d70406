// Pixel formats and WGL: the display's formats numbered from 1, the
// search for the closest format to a request, a window's format set once, contexts and swaps.
// The backend makes the GL surfaces and contexts.
#include "platform/emulated/backend.h"

#include <cstring>

namespace {

const int MAX_CONTEXTS = 16;
const int SCORE_KEYS = 10;
// A context handle is a tag, a generation and a slot, so a deleted context's handle never
// names the context that later takes its slot.
const uintptr_t CONTEXT_TAG = 0x5E000000u;

struct Context {
    bool used;
    uint32_t generation;
    NativeContext native;
};

struct Wgl {
    Context contexts[MAX_CONTEXTS];
    HGLRC currentContext;
    HDC currentDc;
    HWND currentWindow;
};

Wgl wgl;

int formatCount(void) {
    const Backend* backend = platformBackend();
    return backend != nullptr ? backend->formatCount() : 0;
}

const PIXELFORMATDESCRIPTOR* formatDescription(int number) {
    if (number < 1 || number > formatCount()) {
        return nullptr;
    }
    return platformBackend()->describeFormat(number);
}

int distance(int a, int b) {
    return a > b ? a - b : b - a;
}

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
    if ((request->dwFlags & PFD_DOUBLEBUFFER_DONTCARE) == 0 &&
        ((candidate->dwFlags ^ request->dwFlags) & PFD_DOUBLEBUFFER) != 0) {
        return false;
    }
    if ((request->dwFlags & PFD_STEREO_DONTCARE) == 0 &&
        ((candidate->dwFlags ^ request->dwFlags) & PFD_STEREO) != 0) {
        return false;
    }
    return true;
}

HGLRC contextHandle(int slot) {
    uintptr_t generation = wgl.contexts[slot].generation & 0xFFFFu;
    return (HGLRC)(CONTEXT_TAG | (generation << 8) | (uintptr_t)slot);
}

Context* contextOf(HGLRC handle) {
    uintptr_t value = (uintptr_t)handle;
    if ((value & 0xFF000000u) != CONTEXT_TAG || (value & 0xFFu) >= (uintptr_t)MAX_CONTEXTS) {
        return nullptr;
    }
    Context* context = &wgl.contexts[value & 0xFFu];
    return context->used && contextHandle((int)(value & 0xFFu)) == handle ? context : nullptr;
}

// The window of a DC once it has a pixel format; null otherwise.
WindowRecord* glWindowOfDc(HDC dc) {
    WindowRecord* window = windowOfDc(dc);
    return window != nullptr && window->pixelFormat != 0 ? window : nullptr;
}

void releaseCurrent(void) {
    if (wgl.currentContext != nullptr && connectedBackend() != nullptr) {
        connectedBackend()->makeCurrent(nullptr, nullptr);
    }
    wgl.currentContext = nullptr;
    wgl.currentDc = nullptr;
    wgl.currentWindow = nullptr;
}

} // namespace

// Ties go to the lower number.
void addRealFormat(RealFormats* formats, void* config, const PIXELFORMATDESCRIPTOR* description) {
    if (formats->count >= MAX_REAL_FORMATS) {
        return;
    }
    for (int k = 0; k < formats->count; k++) {
        if (std::memcmp(&formats->descriptions[k], description, sizeof(*description)) == 0) {
            return;
        }
    }
    formats->configs[formats->count] = config;
    formats->descriptions[formats->count] = *description;
    formats->count++;
}

const PIXELFORMATDESCRIPTOR* realFormatDescription(const RealFormats* formats, int number) {
    return number >= 1 && number <= formats->count ? &formats->descriptions[number - 1] : nullptr;
}

void* realFormatConfig(const RealFormats* formats, int number) {
    return number >= 1 && number <= formats->count ? formats->configs[number - 1] : nullptr;
}

BYTE clampByte(int value) {
    return (BYTE)(value < 0 ? 0 : (value > 255 ? 255 : value));
}

int chooseFormat(const PIXELFORMATDESCRIPTOR* request, int count,
                 const PIXELFORMATDESCRIPTOR* (*describe)(int number)) {
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

int chooseFormatForPresented(const PIXELFORMATDESCRIPTOR* presented, int count,
                             const PIXELFORMATDESCRIPTOR* (*describe)(int number)) {
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
    int number = chooseFormat(&request, count, describe);
    if (number == 0) {
        // Stereo is rare; a picture in one eye beats no picture.
        request.dwFlags |= PFD_STEREO_DONTCARE;
        number = chooseFormat(&request, count, describe);
    }
    return number;
}

// The window is going: a context still current on it is released first, so that no GL call
// reaches a surface that no longer exists; the contexts themselves live on, as on Win32.
void glWindowDestroyed(WindowRecord* window) {
    if (wgl.currentWindow == window->handle) {
        releaseCurrent();
    }
    if (window->pixelFormat != 0) {
        platformBackend()->destroySurface(window);
        window->pixelFormat = 0;
    }
}

int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* request) {
    (void)dc;
    if (platformFails(CALL_CHOOSE_PIXEL_FORMAT)) {
        return failWith(ERROR_GEN_FAILURE, 0);
    }
    if (request == nullptr) {
        return failWith(ERROR_INVALID_PARAMETER, 0);
    }
    int number = chooseFormat(request, formatCount(), formatDescription);
    return number != 0 ? number : failWith(ERROR_INVALID_PIXEL_FORMAT, 0);
}

// The formats belong to the display, not to one window, so any device context describes them.
int WINAPI DescribePixelFormat(HDC dc, int format, UINT bytes, LPPIXELFORMATDESCRIPTOR descriptor) {
    (void)dc;
    if (platformFails(CALL_DESCRIBE_PIXEL_FORMAT)) {
        return failWith(ERROR_GEN_FAILURE, 0);
    }
    int count = formatCount();
    if (descriptor == nullptr) {
        return count;
    }
    const PIXELFORMATDESCRIPTOR* description = formatDescription(format);
    if (description == nullptr || bytes < sizeof(PIXELFORMATDESCRIPTOR)) {
        return failWith(ERROR_INVALID_PIXEL_FORMAT, 0);
    }
    *descriptor = *description;
    return count;
}

int WINAPI GetPixelFormat(HDC dc) {
    if (platformFails(CALL_GET_PIXEL_FORMAT)) {
        return failWith(ERROR_GEN_FAILURE, 0);
    }
    WindowRecord* window = windowOfDc(dc);
    return window == nullptr ? failWith(ERROR_INVALID_HANDLE, 0) : window->pixelFormat;
}

// A window's format is set once, as on Win32; the backend gives it a surface of that format.
BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* descriptor) {
    (void)descriptor;
    if (platformFails(CALL_SET_PIXEL_FORMAT)) {
        return failWith(ERROR_GEN_FAILURE, FALSE);
    }
    const Backend* backend = platformBackend();
    WindowRecord* window = windowOfDc(dc);
    if (backend == nullptr || window == nullptr) {
        return failWith(ERROR_INVALID_HANDLE, FALSE);
    }
    if (formatDescription(format) == nullptr) {
        return failWith(ERROR_INVALID_PIXEL_FORMAT, FALSE);
    }
    if (window->pixelFormat != 0) {
        return window->pixelFormat == format ? TRUE : failWith(ERROR_INVALID_PIXEL_FORMAT, FALSE);
    }
    if (!backend->setFormat(window, format)) {
        return failWith(ERROR_INVALID_PIXEL_FORMAT, FALSE);
    }
    window->pixelFormat = format;
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC dc) {
    if (platformFails(CALL_SWAP_BUFFERS)) {
        return failWith(ERROR_GEN_FAILURE, FALSE);
    }
    WindowRecord* window = glWindowOfDc(dc);
    if (window == nullptr) {
        return failWith(ERROR_INVALID_HANDLE, FALSE);
    }
    return platformBackend()->swapBuffers(window) ? TRUE : failWith(ERROR_GEN_FAILURE, FALSE);
}

HGLRC WINAPI wglCreateContext(HDC dc) {
    if (platformFails(CALL_WGL_CREATE_CONTEXT)) {
        return failWith(ERROR_GEN_FAILURE, (HGLRC) nullptr);
    }
    WindowRecord* window = glWindowOfDc(dc);
    if (window == nullptr) {
        return failWith(ERROR_INVALID_PIXEL_FORMAT, (HGLRC) nullptr);
    }
    int slot = 0;
    while (slot < MAX_CONTEXTS && wgl.contexts[slot].used) {
        slot++;
    }
    if (slot == MAX_CONTEXTS) {
        return failWith(ERROR_NOT_ENOUGH_MEMORY, (HGLRC) nullptr);
    }
    NativeContext native = {nullptr, nullptr};
    if (!platformBackend()->createContext(window, &native)) {
        return failWith(ERROR_GEN_FAILURE, (HGLRC) nullptr);
    }
    Context& context = wgl.contexts[slot];
    context.used = true;
    context.generation++;
    context.native = native;
    return contextHandle(slot);
}

// A context works with windows of its own configuration only; the backend refuses another, as
// Win32 refuses a context of another pixel format.
BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC handle) {
    if (platformFails(CALL_WGL_MAKE_CURRENT)) {
        return failWith(ERROR_GEN_FAILURE, FALSE);
    }
    if (handle == nullptr) {
        releaseCurrent();
        return TRUE;
    }
    Context* context = contextOf(handle);
    WindowRecord* window = glWindowOfDc(dc);
    if (context == nullptr || window == nullptr) {
        return failWith(ERROR_INVALID_HANDLE, FALSE);
    }
    if (!platformBackend()->makeCurrent(window, &context->native)) {
        return failWith(ERROR_INVALID_PIXEL_FORMAT, FALSE);
    }
    wgl.currentContext = handle;
    wgl.currentDc = dc;
    wgl.currentWindow = window->handle;
    return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC handle) {
    Context* context = contextOf(handle);
    if (context == nullptr || connectedBackend() == nullptr) {
        return failWith(ERROR_INVALID_HANDLE, FALSE);
    }
    if (wgl.currentContext == handle) {
        releaseCurrent();
    }
    connectedBackend()->deleteContext(&context->native);
    context->used = false;
    context->native = NativeContext();
    return TRUE;
}

HGLRC WINAPI wglGetCurrentContext(void) {
    return wgl.currentContext;
}

HDC WINAPI wglGetCurrentDC(void) {
    return wgl.currentDc;
}
