// The first frame of the first game as the native baselines draw it: the geometry of
// bench/first_layout.h in as few OpenGL 1.1 calls as it takes.
#pragma once

#include "bench/first_layout.h"

#include <GL/gl.h>

namespace {

// The game's view: drawing coordinates are client pixels, y up.
void setupView(void) {
    glViewport(0, 0, WIDTH, HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, WIDTH, 0, HEIGHT, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void drawFrame(const Layout& l) {
    glClearColor(0.4f, 0.4f, 0.4f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0.0f, 0.0f, 0.5f);
    glLineWidth(1);
    glBegin(GL_LINES);
    for (int i = 0; i <= 40; i++) {
        glVertex2i(-10, 20 * i);
        glVertex2i(1000, 20 * i);
    }
    for (int i = 0; i <= 50; i++) {
        glVertex2i(20 * i, -10);
        glVertex2i(20 * i, 750);
    }
    glEnd();
    glLineWidth(5);
    glBegin(GL_LINES);
    const int border[8][2] = {{40, 40},  {940, 40},  {40, 40},  {40, 740},
                              {40, 740}, {940, 740}, {940, 40}, {940, 740}};
    for (const auto& v : border) {
        glVertex2i(v[0], v[1]);
    }
    glEnd();
    glColor3f(1, 1, 1);
    glPointSize(5);
    glBegin(GL_POINTS);
    glVertex2i(l.food[0], l.food[1]);
    glEnd();
    glColor3f(0.0f, 0.0f, 0.5f);
    glBegin(GL_QUADS);
    for (int i = 0; i < l.obstacleCount; i++) {
        int x = l.obstacles[i][0], y = l.obstacles[i][1];
        glVertex2i(x - 10, y - 10);
        glVertex2i(x + 10, y - 10);
        glVertex2i(x + 10, y + 10);
        glVertex2i(x - 10, y + 10);
    }
    glEnd();
    const int octagon[8][2] = {{-5, -8}, {5, -8}, {9, -5}, {9, 5},
                               {5, 8},   {-5, 8}, {-8, 5}, {-8, -5}};
    for (int k = 0; k < 7; k++) {
        if (k == 0) {
            glColor3f(1, 0, 0);
        } else if (k == 1) {
            glColor3f(1, 1, 0);
        }
        glBegin(GL_POLYGON);
        for (const auto& v : octagon) {
            glVertex2i(l.serpent[k][0] + v[0], l.serpent[k][1] + v[1]);
        }
        glEnd();
    }
}

} // namespace
