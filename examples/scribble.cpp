// Drawing with the mouse: the left button draws strokes, the right button clears them, and a
// small cross follows the pointer wherever it is (kitGetMouseLocation). Escape quits.
#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>

#include "kit/kit.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// Points of every stroke in one fixed array; a stroke ends where `strokeEnd` is set. A full
// array takes no more points.
const int MAX_POINTS = 4096;
struct Point {
    int32_t x;
    int32_t y;
    bool strokeEnd;
};
Point points[MAX_POINTS];
int pointCount = 0;
bool drawing = false;
int32_t pointerX = -1;
int32_t pointerY = -1;

void addPoint(int32_t x, int32_t y) {
    if (pointCount < MAX_POINTS) {
        points[pointCount].x = x;
        points[pointCount].y = y;
        points[pointCount].strokeEnd = false;
        pointCount++;
    }
}

void endStroke(void) {
    if (pointCount > 0) {
        points[pointCount - 1].strokeEnd = true;
    }
}

void onLeftDown(MouseEvent* event) {
    drawing = true;
    addPoint(event->x, event->y);
}

void onLeftMove(MouseEvent* event) {
    if (drawing) {
        addPoint(event->x, event->y);
    }
}

void onLeftUp(MouseEvent* event) {
    if (drawing) {
        addPoint(event->x, event->y);
        endStroke();
        drawing = false;
    }
}

void onRightDown(MouseEvent* event) {
    (void)event;
    pointCount = 0;
    drawing = false;
}

// The default reshape maps pixels with y upwards; mouse events count y downwards.
void reshape(int32_t width, int32_t height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, (double)width, (double)height, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void display(void) {
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0.0f, 0.0f, 0.5f);
    glLineWidth(5.0f);
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < pointCount; i++) {
        glVertex2f((float)points[i].x + 0.5f, (float)points[i].y + 0.5f);
        if (points[i].strokeEnd && i + 1 < pointCount) {
            glEnd();
            glBegin(GL_LINE_STRIP);
        }
    }
    glEnd();
    glColor3f(1.0f, 0.0f, 0.0f);
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    glVertex2f((float)pointerX - 6.0f, (float)pointerY + 0.5f);
    glVertex2f((float)pointerX + 7.0f, (float)pointerY + 0.5f);
    glVertex2f((float)pointerX + 0.5f, (float)pointerY - 6.0f);
    glVertex2f((float)pointerX + 0.5f, (float)pointerY + 7.0f);
    glEnd();
    kitSwapBuffers();
}

// The cross follows the pointer even where no binding sees it move (no button held).
void idle(void) {
    int32_t x = 0;
    int32_t y = 0;
    kitGetMouseLocation(&x, &y);
    if (x != pointerX || y != pointerY) {
        pointerX = x;
        pointerY = y;
        display();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

} // namespace

int main() {
    kitSetWindowRect(40, 40, 400, 300);
    kitSetDisplayMode(KIT_RGBA | KIT_DOUBLE);
    if (!kitOpenWindow("Wrendle kit: scribble")) {
        std::fprintf(stderr, "scribble: the window could not be opened\n");
        return 1;
    }
    std::printf("Draw with the left button, clear with the right; Escape quits.\n");
    std::fflush(stdout);
    kitSetReshapeHandler(reshape);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN, onLeftDown);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_MOVE, onLeftMove);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_UP, onLeftUp);
    kitBindMouse(KIT_RIGHT_BUTTON, KIT_MOUSE_DOWN, onRightDown);
    kitSetIdleHandler(idle);
    kitRun(display);
    return 0;
}
