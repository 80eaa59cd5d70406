// The web backend's display: the page's one canvas as the window (at the origin, its drawing
// buffer exactly the client size, its title the page's, its size on the screen the page's), waits
// that yield to the browser, pointer capture through the canvas, and message boxes as an overlay in
// the page.
#include "platform/emulated/web/gl11.h"
#include "platform/emulated/web/web.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdlib>
#include <new>

WebDisplay web;

namespace {

// The canvas of the page (data/web/index.html).
const char* const CANVAS = "#canvas";

// How long one yield to the browser lasts while waiting: short enough that input reaches a
// waiting program within a frame, long enough that an idle page costs nothing.
const int WAIT_SLICE_MS = 8;

// The page's end removes everything the backend added to it, so that nothing reaches a program
// that has gone (the page shows its last frame and its end).
void onExit(void) {
    webStopListening();
}

bool connect(void) {
    if (!web.listening) {
        webListen();
        std::atexit(onExit);
    }
    return true;
}

// The screen is the browser's idea of it; a window may lie anywhere on it.
void screenSize(int* width, int* height) {
    emscripten_get_screen_size(width, height);
}

const char* errorText(void) {
    return web.errorText;
}

// The canvas's drawing buffer is the client area, pixel for pixel. Its size on the screen is the
// page's to choose (data/web/index.html scales it to fit the viewport, keeping its proportion);
// pointer positions are mapped back to client pixels (input.cpp).
void sizeCanvas(const WindowRecord* window) {
    emscripten_set_canvas_element_size(CANVAS, window->width, window->height);
}

bool createWindow(WindowRecord* window, const char* className, const char* titleUtf8,
                  const char* titleLatin1) {
    (void)className;
    (void)titleLatin1;
    if (web.window != nullptr) {
        copyText(web.errorText, sizeof(web.errorText), "the page has one canvas, used already");
        return false;
    }
    new (window->native) WebWindow();
    web.window = window;
    // A page cannot place its canvas on the screen: the client area is at the origin.
    window->x = 0;
    window->y = 0;
    sizeCanvas(window);
    emscripten_set_window_title(titleUtf8);
    return true;
}

void destroyWindow(WindowRecord* window) {
    *webPart(window) = WebWindow();
    if (web.window == window) {
        web.window = nullptr;
    }
}

// The canvas is always in the page: shown at once, and the page's focus is the window's.
void showWindow(WindowRecord* window) {
    inputMapped(window);
    inputExposed(window);
}

void hideWindow(WindowRecord* window) {
    inputUnmapped(window);
}

void minimizeWindow(WindowRecord* window) {
    inputUnmapped(window);
}

// Any size is taken; the place is always the origin.
bool moveWindow(WindowRecord* window) {
    window->x = 0;
    window->y = 0;
    sizeCanvas(window);
    return true;
}

void focusWindow(WindowRecord* window) {
    if (window->viewable) {
        inputFocus(window, true);
    }
}

// A program that reads its queue without ever waiting (an idle handler that animates and
// sleeps on the C++ clock, which blocks the page) would never let the browser show a frame or
// hand over input; so reading the queue yields too, once this long has passed since the last.
const double BUSY_YIELD_MS = 16.0;
double lastYield = 0.0;

void yieldToBrowser(unsigned ms) {
    // What the OpenGL 1.1 layer has gathered is drawn first: the browser shows, and anyone reads,
    // the canvas as it is at the yield (a program that never swaps still shows its drawing).
    gl11Flush();
    emscripten_sleep(ms);
    lastYield = emscripten_get_now();
}

// DOM events reach the core as they come, from the callbacks that run while the program yields;
// those that found the queue full first.
void pump(void) {
    webHandOnPending();
    if (emscripten_get_now() - lastYield >= BUSY_YIELD_MS) {
        yieldToBrowser(0);
    }
}

// Yields to the browser (ASYNCIFY) until something arrived or the time is up; every yield lets
// the browser present the frame drawn before it. A wait of 0 yields once.
void wait(int timeoutMs) {
    if (webHandOnPending()) {
        return; // input is there for the program already
    }
    web.arrived = false;
    if (timeoutMs == 0) {
        yieldToBrowser(0);
        return;
    }
    double deadline = emscripten_get_now() + (double)timeoutMs;
    while (!web.arrived) {
        int slice = WAIT_SLICE_MS;
        if (timeoutMs > 0) {
            double left = deadline - emscripten_get_now();
            if (left <= 0.0) {
                return;
            }
            slice = left < (double)slice ? (int)left + 1 : slice;
        }
        yieldToBrowser((unsigned)slice);
    }
}

// The screen is the canvas's own coordinates: the window is at the origin.
bool cursorPosition(POINT* point) {
    point->x = web.pointerX;
    point->y = web.pointerY;
    return true;
}

// clang-format off
EM_JS(int, webCapturePointer, (const char* selector), {
    var canvas = document.querySelector(UTF8ToString(selector));
    if (!canvas || Module.wrendlePointerId === undefined) return 1;
    try {
        canvas.setPointerCapture(Module.wrendlePointerId);
    } catch (e) {
        return 0;
    }
    return 1;
});

EM_JS(void, webReleasePointer, (const char* selector), {
    var canvas = document.querySelector(UTF8ToString(selector));
    if (!canvas || Module.wrendlePointerId === undefined) return;
    try {
        canvas.releasePointerCapture(Module.wrendlePointerId);
    } catch (e) {
    }
});

// The box: the caption, the text as written (its line breaks kept) and an OK button, over the
// canvas; the button (or Enter, Escape or Space) answers it.
EM_JS(void, webShowBox, (const char* text, const char* caption), {
    var box = document.createElement("div");
    box.id = "wrendle-box";
    box.setAttribute("role", "alertdialog");
    box.style.cssText = "position:fixed;left:50%;top:40%;transform:translate(-50%,-50%);" +
        "background:#f0f0f0;color:#000;border:1px solid #444;padding:12px 16px;" +
        "font:14px sans-serif;box-shadow:2px 2px 8px rgba(0,0,0,.5);z-index:10";
    var title = document.createElement("div");
    title.style.cssText = "font-weight:bold;margin-bottom:8px";
    title.textContent = UTF8ToString(caption);
    var body = document.createElement("pre");
    body.style.cssText = "font:inherit;white-space:pre-wrap;margin:0 0 12px";
    body.textContent = UTF8ToString(text);
    var ok = document.createElement("button");
    ok.textContent = "OK";
    ok.style.cssText = "display:block;margin:0 auto;min-width:72px";
    ok.onclick = function() { _webBoxAnswered(); };
    box.appendChild(title);
    box.appendChild(body);
    box.appendChild(ok);
    document.body.appendChild(box);
    document.body.dataset.messageBox = UTF8ToString(text);
});

EM_JS(void, webHideBox, (void), {
    var box = document.getElementById("wrendle-box");
    if (box) box.remove();
    delete document.body.dataset.messageBox;
});
// clang-format on

bool grabPointer(WindowRecord* window) {
    (void)window;
    return webCapturePointer(CANVAS) != 0;
}

// The browser sends a held button's moves to the element under the pointer; capture makes them
// the canvas's wherever the pointer goes, as the display's implicit grab does.
void rideImplicitGrab(WindowRecord* window) {
    (void)window;
    webCapturePointer(CANVAS);
}

void ungrabPointer(bool endedAlready) {
    if (!endedAlready) {
        webReleasePointer(CANVAS);
    }
}

const PresentedDisplay* presented(void) {
    return nullptr;
}

// The text is on the console already (MessageBoxA writes it to standard error, which the page
// shows there); the page shows the box itself, never as window.alert, which would stop the page.
bool openBox(BoxSurface* box, WindowRecord* owner, const char* text, const char* caption) {
    (void)owner;
    box->closed = false;
    web.box = box;
    webShowBox(text, caption);
    return true;
}

void closeBox(BoxSurface* box) {
    if (web.box == box) {
        web.box = nullptr;
    }
    webHideBox();
}

} // namespace

// The page's OK button.
extern "C" EMSCRIPTEN_KEEPALIVE void webBoxAnswered(void) {
    if (web.box != nullptr) {
        web.box->closed = true;
        web.arrived = true;
    }
}

WebWindow* webPart(WindowRecord* window) {
    static_assert(sizeof(WebWindow) <= NATIVE_WINDOW_BYTES, "the web part fits the record");
    return reinterpret_cast<WebWindow*>(window->native);
}

extern const Backend webBackend = {
    "web",
    connect,
    screenSize,
    errorText,
    createWindow,
    destroyWindow,
    showWindow,
    hideWindow,
    minimizeWindow,
    moveWindow,
    focusWindow,
    pump,
    wait,
    webFormatCount,
    webDescribeFormat,
    webSetFormat,
    webResizeSurface,
    webDestroySurface,
    webCreateContext,
    webMakeCurrent,
    webDeleteContext,
    webSwapBuffers,
    cursorPosition,
    grabPointer,
    rideImplicitGrab,
    ungrabPointer,
    presented,
    openBox,
    closeBox,
};
