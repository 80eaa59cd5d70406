// Key colours: the window shows the colour of the last key pressed (R red, G green, B blue, W
// white, the left arrow yellow), grey while the left button is held on it; Escape quits. It waits
// for input rather than animating, so it shows the kit's blocking loop at rest.
#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>

#include "kit/kit.h"

#include <cstdio>

namespace {

float red = 0.0f;
float green = 0.0f;
float blue = 0.25f;

void paint(float r, float g, float b) {
    red = r;
    green = g;
    blue = b;
}

void display(void) {
    glClearColor(red, green, blue, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    kitSwapBuffers();
}

void onRed(void) {
    paint(1.0f, 0.0f, 0.0f);
}
void onGreen(void) {
    paint(0.0f, 1.0f, 0.0f);
}
void onBlue(void) {
    paint(0.0f, 0.0f, 1.0f);
}
void onWhite(void) {
    paint(1.0f, 1.0f, 1.0f);
}
void onLeft(void) {
    paint(1.0f, 1.0f, 0.0f);
}

// A mouse handler does not ask for a repaint as a key handler does, so it draws itself.
void onPress(MouseEvent* event) {
    (void)event;
    paint(0.5f, 0.5f, 0.5f);
    display();
}

} // namespace

int main() {
    kitSetWindowRect(40, 40, 400, 300);
    kitSetDisplayMode(KIT_RGBA | KIT_DOUBLE);
    if (!kitOpenWindow("Wrendle kit: keys")) {
        std::fprintf(stderr, "keys: the window could not be opened\n");
        return 1;
    }
    std::printf("Wrendle kit: R, G, B, W and the left arrow paint the window, the left button "
                "greys it; Escape "
                "quits.\n");
    std::fflush(stdout);
    const char letters[] = {'r', 'R', 'g', 'G', 'b', 'B', 'w', 'W'};
    const KitHandler handlers[] = {onRed,  onRed,  onGreen, onGreen,
                                   onBlue, onBlue, onWhite, onWhite};
    for (int i = 0; i < 8; i++) {
        kitBindKey(letters[i], handlers[i]);
    }
    kitBindKey(KIT_KEY_LEFT, onLeft);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN, onPress);
    kitRun(display);
    return 0;
}
