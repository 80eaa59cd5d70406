// The picture of one frame in OpenGL 1.1 immediate mode, one unit per pixel with the origin at
// the bottom left, and the projection that keeps it so when the window changes size.
#include "game/state.h"

#include "platform/gl.h"

namespace {

void navy(void) {
    glColor3d(0.0, 0.0, 0.5);
}

// A star of four strokes around (x, y): horizontal, vertical, rising and falling diagonal.
void drawStar(int32_t x, int32_t y) {
    glLineWidth(2);
    glBegin(GL_LINES);
    glColor3d(1.0, 0.0, 0.0);
    glVertex3d(x - 8, y, 0);
    glVertex3d(x + 8, y, 0);
    glVertex3d(x, y - 8, 0);
    glVertex3d(x, y + 8, 0);
    glVertex3d(x - 6, y - 6, 0);
    glVertex3d(x + 6, y + 6, 0);
    glVertex3d(x - 6, y + 6, 0);
    glVertex3d(x + 6, y - 6, 0);
    glEnd();
}

} // namespace

void drawGrid(void) {
    glLineWidth(1);
    for (int32_t i = 0; i <= 40; i++) {
        glBegin(GL_LINES);
        navy();
        glVertex3d(-10, 20 * i, 0);
        glVertex3d(1000, 20 * i, 0);
        glEnd();
    }
    for (int32_t i = 0; i <= 50; i++) {
        glBegin(GL_LINES);
        navy();
        glVertex3d(20 * i, -10, 0);
        glVertex3d(20 * i, 750, 0);
        glEnd();
    }

    glLineWidth(5);
    glBegin(GL_LINES);
    navy();
    glVertex3d(40, 40, 0);
    glVertex3d(940, 40, 0);
    glVertex3d(40, 40, 0);
    glVertex3d(40, 740, 0);
    glVertex3d(40, 740, 0);
    glVertex3d(940, 740, 0);
    glVertex3d(940, 40, 0);
    glVertex3d(940, 740, 0);
    glEnd();
}

void drawSidePanel(void) {
    // The dots take the point size that drawFood left; a game starts at length 7, so no dot
    // is drawn before drawFood has run once.
    for (int32_t k = 8; k <= serpentLength; k++) {
        glBegin(GL_POINTS);
        glColor3d(1.0, 1.0, 1.0);
        glVertex3d(950, 730 - 10 * (k - 8), 0);
        glEnd();
    }
    for (int32_t k = 1; k <= charges; k++) {
        drawStar(970, 730 - 10 * (k - 1));
    }
}

void drawFood(void) {
    glPointSize(5);
    glBegin(GL_POINTS);
    glColor3d(1.0, 1.0, 1.0);
    glVertex3d(food.x, food.y, 0);
    glEnd();
}

void drawBonus(void) {
    drawStar(bonus.x, bonus.y);
}

void drawObstacles(void) {
    for (int32_t i = 1; i <= 43; i++) {
        for (int32_t j = 1; j <= 33; j++) {
            if (obstacles[i][j] != 1) {
                continue;
            }
            glBegin(GL_POLYGON);
            navy();
            glVertex3d(20 * i + 40, 20 * j + 40, 0);
            glVertex3d(20 * i + 60, 20 * j + 40, 0);
            glVertex3d(20 * i + 60, 20 * j + 60, 0);
            glVertex3d(20 * i + 40, 20 * j + 60, 0);
            glEnd();
        }
    }
}

// Octagons from the head to the tail, so a later segment covers an earlier one; each reaches
// 9 pixels right of its centre and 8 left.
void drawSerpent(void) {
    for (int32_t k = 1; k <= serpentLength; k++) {
        int32_t x = segments[k].x;
        int32_t y = segments[k].y;
        glBegin(GL_POLYGON);
        if (k == 1) {
            glColor3d(1.0, 0.0, 0.0);
        } else {
            glColor3d(1.0, 1.0, 0.0);
        }
        glVertex3d(x - 5, y - 8, 0);
        glVertex3d(x + 5, y - 8, 0);
        glVertex3d(x + 9, y - 5, 0);
        glVertex3d(x + 9, y + 5, 0);
        glVertex3d(x + 5, y + 8, 0);
        glVertex3d(x - 5, y + 8, 0);
        glVertex3d(x - 8, y + 5, 0);
        glVertex3d(x - 8, y - 5, 0);
        glEnd();
    }
}

// The picture is never scaled: the field stays anchored at the bottom left whatever the size.
void reshapeView(int32_t width, int32_t height) {
    windowWidth = width;
    windowHeight = height;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
