// Colour maps: a colour-index window whose map is filled with the kit's colour-map operations,
// sixteen bands drawn by index. Where the display has no palette (true colour, the usual case
// today) the operations return 0; the program says so and draws the same bands in RGBA.
#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>

#include "kit/kit.h"

#include <cstdio>

namespace {

const int BANDS = 16;
bool indexed = false;

// Band i's colour: a ramp from black through red and yellow to white.
void bandColour(int i, float* red, float* green, float* blue) {
    float t = (float)i / (float)(BANDS - 1);
    *red = t * 2.0f > 1.0f ? 1.0f : t * 2.0f;
    *green = t * 2.0f - 0.5f < 0.0f ? 0.0f : (t * 2.0f - 0.5f > 1.0f ? 1.0f : t * 2.0f - 0.5f);
    *blue = t * 4.0f - 3.0f < 0.0f ? 0.0f : t * 4.0f - 3.0f;
}

void display(void) {
    glClear(GL_COLOR_BUFFER_BIT);
    // The default reshape maps the client area in pixels; the bands share its width.
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    float width = (float)viewport[2] / (float)BANDS;
    for (int i = 0; i < BANDS; i++) {
        if (indexed) {
            glIndexi(i);
        } else {
            float red, green, blue;
            bandColour(i, &red, &green, &blue);
            glColor3f(red, green, blue);
        }
        glRectf((float)i * width, 0.0f, (float)(i + 1) * width, (float)viewport[3]);
    }
    glFlush();
    kitSwapBuffers();
}

} // namespace

int main() {
    kitSetWindowRect(40, 40, 480, 120);
    // Whether the display has a palette is learnt by trying: a failed colour-index window is
    // reported here, not in a box.
    kitSetMessageBoxes(0);
    kitSetDisplayMode(KIT_INDEX | KIT_DOUBLE);
    int opened = kitOpenWindow("Wrendle kit: colours");
    if (opened && kitGetColourMapSize() > 0) {
        int size = kitGetColourMapSize();
        for (int i = 0; i < BANDS && i < size; i++) {
            float red, green, blue;
            bandColour(i, &red, &green, &blue);
            kitSetOneColour(i, red, green, blue);
        }
        indexed = true;
        std::printf("A colour map of %d entries: the bands are drawn by index.\n", size);
    } else {
        std::printf("No palette on this display (a colour-index window %s): the colour-map "
                    "operations return 0 here (kitSetGreyRamp gave %d); the bands are drawn in "
                    "RGBA.\n",
                    opened ? "opened" : "could not be opened", kitSetGreyRamp());
        // A window that was closed, or destroyed by a failed open, leaves its quit message
        // queued; kitRun with no window open consumes it, so that it cannot end the next
        // window's loop at once.
        kitClose();
        kitRun(nullptr);
        kitSetMessageBoxes(1);
        kitSetDisplayMode(KIT_RGBA | KIT_DOUBLE);
        if (!kitOpenWindow("Wrendle kit: colours")) {
            std::fprintf(stderr, "colours: the window could not be opened\n");
            return 1;
        }
    }
    std::printf("Escape quits.\n");
    std::fflush(stdout);
    kitRun(display);
    return 0;
}
