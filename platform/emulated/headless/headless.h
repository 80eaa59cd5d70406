// Inside the headless backend (a display that lives in memory, OpenGL through EGL's surfaceless
// platform): the display's state, the headless part of a window, and what its files share.
#pragma once

#include "platform/emulated/backend.h"
#include "platform/emulated/presented.h"

#include <EGL/egl.h>

const int HEADLESS_ERROR_TEXT = 160;

// The headless part of a window: its GL surface, a pbuffer of the client size (or of the largest
// part of it that the backend allocates), while the window has a pixel format.
struct HeadlessWindow {
    EGLSurface surface;
    EGLConfig config;
    int surfaceWidth;
    int surfaceHeight;
};

struct HeadlessDisplay {
    EGLDisplay egl;
    bool formatsLoaded;
    RealFormats real;
    PresentedDisplay presented; // what the program set the display to present
    char errorText[HEADLESS_ERROR_TEXT];
};
extern HeadlessDisplay headless;
extern const Backend headlessBackend;

HeadlessWindow* headlessPart(WindowRecord* window);

// OpenGL through EGL (egl.cpp).
bool headlessEglConnect(void);
int headlessFormatCount(void);
const PIXELFORMATDESCRIPTOR* headlessDescribeFormat(int number);
bool headlessSetFormat(WindowRecord* window, int number);
void headlessResizeSurface(WindowRecord* window);
void headlessDestroySurface(WindowRecord* window);
bool headlessCreateContext(WindowRecord* window, NativeContext* out);
bool headlessMakeCurrent(WindowRecord* window, const NativeContext* context);
void headlessDeleteContext(const NativeContext* context);
bool headlessSwapBuffers(WindowRecord* window);
