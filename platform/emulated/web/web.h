// Inside the web backend (the page's one canvas, WebGL through Emscripten's HTML5 API): the
// display's state, the web part of a window, and what its files share.
#pragma once

#include "platform/emulated/backend.h"

const int WEB_ERROR_TEXT = 160;

// The web part of a window: whether it has its pixel format (the canvas's WebGL drawing buffer).
struct WebWindow {
    bool hasFormat;
};

struct WebDisplay {
    WindowRecord* window; // the canvas's window: a page has one canvas, so one window
    bool arrived;         // an event reached the core since the last wait began
    bool listening;
    int pointerX; // the pointer over the canvas, in its drawing buffer's pixels (screen = client)
    int pointerY;
    BoxSurface* box; // the message box shown as an overlay, until it is answered
    char errorText[WEB_ERROR_TEXT];
};
extern WebDisplay web;

WebWindow* webPart(WindowRecord* window);

// DOM events into the core's input functions (input.cpp).
void webListen(void);
void webStopListening(void);
// Hands on what waited for room in the core's queue, as far as there is room now; true when
// anything was waiting.
bool webHandOnPending(void);

// WebGL (gl.cpp).
int webFormatCount(void);
const PIXELFORMATDESCRIPTOR* webDescribeFormat(int number);
bool webSetFormat(WindowRecord* window, int number);
void webResizeSurface(WindowRecord* window);
void webDestroySurface(WindowRecord* window);
bool webCreateContext(WindowRecord* window, NativeContext* out);
bool webMakeCurrent(WindowRecord* window, const NativeContext* context);
void webDeleteContext(const NativeContext* context);
bool webSwapBuffers(WindowRecord* window);
