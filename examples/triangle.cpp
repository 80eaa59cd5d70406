// A spinning triangle: an RGBA double-buffered window, a reshape handler that keeps the picture's
// proportions whatever the window's shape, and an idle handler that turns and redraws it.
#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>

#include "kit/kit.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

float angle = 0.0f;

// One unit of the picture is the smaller half-side of the window, so the triangle stays whole
// and unstretched however the window is shaped.
void reshape(int32_t width, int32_t height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    double aspect = height > 0 ? (double)width / (double)height : 1.0;
    if (aspect >= 1.0) {
        glOrtho(-aspect, aspect, -1.0, 1.0, -1.0, 1.0);
    } else {
        glOrtho(-1.0, 1.0, -1.0 / aspect, 1.0 / aspect, -1.0, 1.0);
    }
    glMatrixMode(GL_MODELVIEW);
}

void display(void) {
    glClearColor(0.0f, 0.0f, 0.25f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glLoadIdentity();
    glRotatef(angle, 0.0f, 0.0f, 1.0f);
    // Centred on its middle, so the window's centre is always covered, whatever the angle.
    glColor3f(1.0f, 0.5f, 0.0f);
    glBegin(GL_TRIANGLES);
    glVertex2f(0.0f, 0.8f);
    glVertex2f(-0.69f, -0.4f);
    glVertex2f(0.69f, -0.4f);
    glEnd();
    kitSwapBuffers();
}

void idle(void) {
    angle += 1.0f;
    if (angle >= 360.0f) {
        angle -= 360.0f;
    }
    display();
    // About sixty turns a second, without spinning the processor.
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
}

} // namespace

int main() {
    kitSetWindowRect(40, 40, 300, 300);
    kitSetDisplayMode(KIT_RGBA | KIT_DOUBLE);
    if (!kitOpenWindow("Wrendle kit: triangle")) {
        std::fprintf(stderr, "triangle: the window could not be opened\n");
        return 1;
    }
    std::printf("Wrendle kit %d.%d.%d: a spinning triangle; Escape quits.\n", KIT_VERSION_MAJOR,
                KIT_VERSION_MINOR, KIT_VERSION_PATCH);
    std::fflush(stdout);
    kitSetReshapeHandler(reshape);
    kitSetIdleHandler(idle);
    kitRun(display);
    return 0;
}
