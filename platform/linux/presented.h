// What the headless display can be set to present in place of what it has: a list of pixel
// formats, a palette display, and message boxes handed to the program instead of shown. A real
// display is what it is, so only the headless backend reads this; a program sets it (the test
// library does, to exercise the palette code or a list of formats) before its first window.
#pragma once

#include "platform/win32.h"

const int MAX_PRESENTED_FORMATS = 256;

struct PresentedDisplay {
    // The pixel formats offered, numbered from 1 (count 0: the EGL configurations themselves).
    // Each renders through the closest real configuration with the same buffering and ancillary
    // buffers; palette and colour-index formats render in RGBA underneath.
    int formatCount;
    PIXELFORMATDESCRIPTOR formats[MAX_PRESENTED_FORMATS];
    // Colours through a 256-entry system palette whose ends hold the 20 static colours, as an
    // 8-bit display shows them; false: true colour.
    bool palette;
    // Called with every message box's text and caption in place of showing it; the box returns
    // IDOK at once. Null: a box is only written to standard error, as always on this display.
    void (*takeBox)(const char* text, const char* caption);
};

// Copies the description (a list longer than MAX_PRESENTED_FORMATS is cut); null puts the
// display back to what it has.
void headlessPresent(const PresentedDisplay* display);
