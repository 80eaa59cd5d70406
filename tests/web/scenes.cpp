// The scenes of the layer's test: immediate-mode drawing of every primitive the layer assembles,
// the game's own picture and the kit examples' drawing. Compiled twice: as it is, for Mesa's
// desktop OpenGL, and with through_layer.h first, for the layer.
#ifndef SCENES
#define SCENES desktopScenes
#define QUERIES desktopQueries
#endif

#include "tests/web/scenes.h"

#include "game/state.h"

#include <GL/gl.h>

#include <cmath>

namespace {

// What the kit does once a window is open, and its default reshape: pixels, origin bottom left.
void kitStart(void) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearIndex(0.0f);
    glLoadIdentity();
    glDrawBuffer(GL_BACK);
    glViewport(0, 0, SCENE_WIDTH, SCENE_HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, SCENE_WIDTH, 0.0, SCENE_HEIGHT, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
}

void clearOnly(void) {
    kitStart();
    glClearIndex(5.0f);
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

// One-pixel lines: a grid, lines at many slopes from a common centre, a strip and a loop.
void thinLines(void) {
    kitStart();
    glColor3d(0.0, 0.0, 0.5);
    glLineWidth(1);
    for (int i = 0; i <= 40; i++) {
        glBegin(GL_LINES);
        glVertex3d(-10, 20 * i, 0);
        glVertex3d(1000, 20 * i, 0);
        glVertex3d(20 * i, -10, 0);
        glVertex3d(20 * i, 750, 0);
        glEnd();
    }
    glColor3f(1.0f, 1.0f, 0.0f);
    glBegin(GL_LINES);
    for (int k = 0; k < 24; k++) {
        float dx[] = {200, 173, 100, 37,  0,   -61, -100, -173, -200, -150, -100, -7,
                      0,   33,  100, 199, 200, 123, 50,   -50,  -120, -190, 12,   77};
        float dy[] = {0,    100,  173,  200, 200, 190,  173, 100, 0,  -132, -173, -200,
                      -200, -190, -173, -20, 50,  -150, 199, 199, -3, 5,    201,  -66};
        glVertex2f(500.3f, 375.6f);
        glVertex2f(500.3f + dx[k], 375.6f + dy[k]);
    }
    glEnd();
    glColor3ub(255, 0, 128);
    glBegin(GL_LINE_STRIP);
    glVertex2f(30.5f, 30.5f);
    glVertex2f(130.25f, 60.75f);
    glVertex2f(140.0f, 160.0f);
    glVertex2f(40.1f, 150.9f);
    glEnd();
    glBegin(GL_LINE_LOOP);
    glVertex2i(800, 600);
    glVertex2i(900, 620);
    glVertex2i(880, 700);
    glEnd();
}

// Wide lines: widths 2, 3 and 5 in every direction, diagonals included, from whole, half and
// uneven coordinates; a strip and a loop.
void wideLines(void) {
    kitStart();
    const float widths[] = {2.0f, 3.0f, 5.0f};
    for (int w = 0; w < 3; w++) {
        glLineWidth(widths[w]);
        float cx = 150.0f + 300.0f * (float)w, cy = 500.0f;
        glColor3f(1.0f, 0.5f, 0.0f);
        glBegin(GL_LINES);
        for (int k = 0; k < 16; k++) {
            float dx[] = {100,  100,  100,  71,  50, 0,  -50, -71,
                          -100, -100, -100, -40, 0,  40, 71,  100};
            float dy[] = {0, 37,  100,  71,   100,  100,  100, 71,
                          0, -37, -100, -100, -100, -100, -71, -60};
            glVertex2f(cx, cy);
            glVertex2f(cx + dx[k], cy + dy[k]);
        }
        glEnd();
        glColor3f(0.0f, 1.0f, 0.5f);
        glBegin(GL_LINES);
        glVertex2f(cx - 120.5f, 300.5f);
        glVertex2f(cx + 110.5f, 300.5f);
        glVertex2f(cx - 100.3f, 280.7f);
        glVertex2f(cx + 100.6f, 200.2f);
        glVertex2f(cx - 50.25f, 150.0f);
        glVertex2f(cx - 49.0f, 30.75f);
        glEnd();
        glBegin(GL_LINE_STRIP);
        glVertex2i((int)cx, 20);
        glVertex2i((int)cx + 60, 40);
        glVertex2i((int)cx + 80, 120);
        glEnd();
        glBegin(GL_LINE_LOOP);
        glVertex2f(cx + 20.5f, 700.5f);
        glVertex2f(cx + 120.5f, 650.5f);
        glVertex2f(cx + 20.5f, 620.5f);
        glEnd();
    }
}

// Short lines, one to a 25-pixel cell, at widths 1 to 5: their ends on, beside and between
// pixel centres and edges, in sixteen directions (both ways along each, exact diagonals among
// them), so that every case of the ends' diamond-exit rule and of the fill convention at an edge
// through pixel centres comes up. The upper half is drawn again with y downwards, as a program
// whose projection turns the window upside down draws.
void lineEnds(void) {
    kitStart();
    const float offsets[] = {0.0f, 0.5f, 0.25f, 0.75f, 0.125f, 0.875f, 0.375f, 0.9f};
    const int directions[][2] = {{9, 0},  {9, 4},  {7, 7},  {4, 9},   {0, 9},   {-4, 9},
                                 {-7, 7}, {-9, 4}, {-9, 0}, {-9, -4}, {-7, -7}, {-4, -9},
                                 {0, -9}, {4, -9}, {7, -7}, {9, -4}};
    glColor3f(1.0f, 1.0f, 1.0f);
    for (int half = 0; half < 2; half++) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        if (half == 0) {
            glOrtho(0.0, SCENE_WIDTH, 0.0, SCENE_HEIGHT, -1.0, 1.0);
        } else {
            glOrtho(0.0, SCENE_WIDTH, SCENE_HEIGHT, 0.0, -1.0, 1.0);
        }
        glMatrixMode(GL_MODELVIEW);
        for (int k = 0; k < 600; k++) {
            // Every direction with every offset of the end across it and the first five along
            // it; the start's offsets change more slowly.
            float x = (float)(25 * (k % 40)) + 8.0f + offsets[(k / 5) % 8];
            float y = (float)(25 * (k / 40)) + 8.0f + offsets[(k / 7) % 8];
            const int* d = directions[k % 16];
            glLineWidth((float)(1 + k % 5));
            glBegin(GL_LINES);
            glVertex2f(x, y);
            glVertex2f(std::floor(x) + (float)d[0] + offsets[(k / 16) % 8],
                       std::floor(y) + (float)d[1] + offsets[(k / 128) % 8]);
            glEnd();
        }
    }
}

// Lines whose ends lie exactly on pixel centres, edges and corners (every pair of the two for
// each end) in the sixteen directions, widths 1 to 5 in turn, drawn with y upwards and again with
// y downwards: where the diamond-exit rule decides by the sign of a zero.
void lineTies(void) {
    kitStart();
    const int directions[][2] = {{7, 0},  {7, 3},  {5, 5},  {3, 7},   {0, 7},   {-3, 7},
                                 {-5, 5}, {-7, 3}, {-7, 0}, {-7, -3}, {-5, -5}, {-3, -7},
                                 {0, -7}, {3, -7}, {5, -5}, {7, -3}};
    glColor3f(1.0f, 0.5f, 1.0f);
    for (int half = 0; half < 2; half++) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        if (half == 0) {
            glOrtho(0.0, SCENE_WIDTH, 0.0, SCENE_HEIGHT, -1.0, 1.0);
        } else {
            glOrtho(0.0, SCENE_WIDTH, SCENE_HEIGHT, 0.0, -1.0, 1.0);
        }
        glMatrixMode(GL_MODELVIEW);
        for (int k = 0; k < 256; k++) {
            const int* d = directions[k % 16];
            float x = (float)(20 * (k % 50)) + 10.0f + 0.5f * (float)((k / 16) % 2);
            float y = (float)(20 * (k / 50)) + 10.0f + 0.5f * (float)((k / 32) % 2);
            glLineWidth((float)(1 + k % 5));
            glBegin(GL_LINES);
            glVertex2f(x, y);
            glVertex2f(std::floor(x) + (float)d[0] + 0.5f * (float)((k / 64) % 2),
                       std::floor(y) + (float)d[1] + 0.5f * (float)((k / 128) % 2));
            glEnd();
        }
    }
}

// Points and wide lines at and across the edges of a viewport smaller than the window, and
// outside it: a point whose centre lies outside is not drawn, a line is cut at the edge but its
// width reaches past it. Sizes between whole pixels round as Mesa rounds them (a point of 2.5
// pixels is 2 wide, a line 3).
void viewportEdges(void) {
    kitStart();
    glViewport(200, 150, 500, 400);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 500.0, 0.0, 400.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glColor3f(0.0f, 1.0f, 1.0f);
    const float sizes[] = {2.5f, 3.5f, 4.0f, 5.0f, 1.5f, 2.49f};
    for (int s = 0; s < 6; s++) {
        glPointSize(sizes[s]);
        glLineWidth(sizes[s]);
        float at = 60.0f * (float)s + 20.25f;
        glBegin(GL_POINTS);
        glVertex2f(at, 0.5f);
        glVertex2f(at, -1.5f);
        glVertex2f(-0.75f, at);
        glVertex2f(500.5f, at);
        glVertex2f(at + 10.0f, 399.0f);
        glVertex2f(at + 20.0f, 405.0f);
        glVertex2f(at + 30.5f, 200.5f);
        glEnd();
        glBegin(GL_LINES);
        glVertex2f(at, -30.0f);
        glVertex2f(at + 25.0f, 40.0f);
        glVertex2f(-1.0f, at + 5.0f);
        glVertex2f(60.0f, at + 30.0f);
        glVertex2f(480.0f, at + 2.5f);
        glVertex2f(530.0f, at - 7.0f);
        glVertex2f(at + 5.0f, 398.5f);
        glVertex2f(at + 45.0f, 401.0f);
        glEnd();
    }
}

// Lines cut by the clip volume: across the whole window and out on both sides, diagonals whose
// width reaches past the window's edge, and lines from outside into a corner; flat ones take the
// colour of their second end.
void cutLines(void) {
    kitStart();
    for (int k = 0; k < 24; k++) {
        glLineWidth((float)(1 + k % 5));
        float t = (float)k;
        glColor3f(1.0f, 0.1f * (float)(k % 8), 0.0f);
        glBegin(GL_LINES);
        glVertex2f(-40.0f - t, 30.5f + 29.0f * t);
        glVertex2f(1050.0f + 3.0f * t, 100.0f + 27.0f * t);
        glVertex2f(20.5f + 41.0f * t, -30.0f);
        glVertex2f(-10.0f + 41.0f * t, 790.0f + t);
        glEnd();
    }
    // Lines whose cut end lies within a rounding of a step of the rasteriser's fixed point, where
    // it matters that Mesa's clipper rounds the product and the sum of its viewport arithmetic
    // each, where its vertex stage rounds them once.
    const float nearSteps[][5] = {{-22.460001f, 692.700012f, 520.700012f, -279.899994f, 3.0f},
                                  {-33.5600014f, 664.200012f, 777.200012f, 406.600006f, 3.0f},
                                  {-26.1599998f, 197.900009f, 273.899994f, -572.299988f, 2.0f},
                                  {-13.5799999f, 673.400024f, 794.400024f, -641.799988f, 2.0f},
                                  {-26.1599998f, 69.5f, 229.5f, 155.300003f, 2.0f},
                                  {-2.48000002f, 116.5f, 906.5f, 472.300018f, 3.0f},
                                  {-1.37f, 640.900024f, 286.899994f, 300.700012f, 1.0f},
                                  {-29.1200008f, 547.900024f, 223.900009f, -51.9000015f, 1.0f}};
    glColor3f(0.5f, 1.0f, 1.0f);
    for (const auto& l : nearSteps) {
        glLineWidth(l[4]);
        glBegin(GL_LINES);
        glVertex2f(l[0], l[1]);
        glVertex2f(l[2], l[3]);
        glEnd();
    }
    glShadeModel(GL_FLAT);
    for (int k = 0; k < 16; k++) {
        glLineWidth((float)(2 + k % 4));
        float t = (float)k;
        glBegin(GL_LINE_STRIP);
        glColor3f(1.0f, 0.5f, 0.0f);
        glVertex2f(-20.0f + 2.0f * t, 5.0f + 22.0f * t);
        glColor3f(0.5f, 1.0f, 0.5f);
        glVertex2f(10.0f + 2.0f * t, 35.0f + 22.0f * t);
        glColor3f(0.2f, 0.2f, 1.0f);
        glVertex2f(30.5f + 2.0f * t, -5.5f + 22.0f * t);
        glEnd();
        glBegin(GL_LINES);
        glVertex2f(990.0f - t, 720.0f - 2.0f * t);
        glColor3f(1.0f, 1.0f, 1.0f);
        glVertex2f(1010.0f + 2.0f * t, 760.0f + t);
        glEnd();
    }
    glShadeModel(GL_SMOOTH);
}

// Smooth lines whose colour changes along them, whole and cut by the window's edges (a cut end
// takes the colour where it is cut).
void smoothLines(void) {
    kitStart();
    for (int k = 0; k < 24; k++) {
        glLineWidth((float)(1 + k % 5));
        float t = (float)k;
        glBegin(GL_LINES);
        glColor3f(1.0f, 0.0f, 0.0f);
        glVertex2f(-40.0f - t, 30.5f + 29.0f * t);
        glColor3f(0.0f, 0.0f, 1.0f);
        glVertex2f(1050.0f + 3.0f * t, 100.0f + 27.0f * t);
        glColor3f(0.0f, 1.0f, 0.0f);
        glVertex2f(20.5f + 41.0f * t, -30.0f);
        glColor3f(1.0f, 1.0f, 0.0f);
        glVertex2f(-10.0f + 41.0f * t, 790.0f + t);
        glColor3f(0.0f, 1.0f, 1.0f);
        glVertex2f(100.0f + 30.0f * t, 200.0f);
        glColor3f(1.0f, 0.0f, 1.0f);
        glVertex2f(130.0f + 30.0f * t, 500.0f - 7.0f * t);
        glEnd();
    }
}

// Culling on, of back faces, then front faces, then back faces with clockwise ones in front:
// triangles and rectangles of one colour both ways round, and points and lines, which are never
// culled.
void culling(void) {
    kitStart();
    glEnable(GL_CULL_FACE);
    for (int pass = 0; pass < 3; pass++) {
        if (pass == 1) {
            glCullFace(GL_FRONT);
        } else if (pass == 2) {
            glCullFace(GL_BACK);
            glFrontFace(GL_CW);
        }
        float y = 40.0f + 240.0f * (float)pass;
        glColor3f(1.0f, 1.0f, 0.0f);
        glBegin(GL_TRIANGLES);
        glVertex2f(40.0f, y);
        glVertex2f(160.5f, y + 10.25f);
        glVertex2f(90.0f, y + 150.0f);
        glVertex2f(200.0f, y);
        glVertex2f(250.0f, y + 150.0f);
        glVertex2f(320.5f, y + 10.25f);
        glEnd();
        glColor3f(0.0f, 1.0f, 1.0f);
        glRectf(350.0f, y, 450.5f, y + 120.0f);
        glRectf(580.0f, y + 120.0f, 480.5f, y);
        glPointSize(4.0f);
        glLineWidth(3.0f);
        glBegin(GL_POINTS);
        glVertex2f(620.0f, y + 20.0f);
        glEnd();
        glBegin(GL_LINES);
        glVertex2f(650.0f, y);
        glVertex2f(950.0f, y + 100.0f);
        glEnd();
    }
    glFrontFace(GL_CCW);
    glDisable(GL_CULL_FACE);
}

// Colours halfway between two bytes and a hair either side, where the rounding to a byte decides,
// in flat rectangles, triangles and lines: every one reaches the buffer as the byte Mesa writes.
void colourSteps(void) {
    kitStart();
    glLineWidth(3.0f);
    for (int k = 0; k < 255; k++) {
        float half = ((float)k + 0.5f) / 255.0f;
        float below = std::nextafter(half, 0.0f);
        float above = std::nextafter(half, 1.0f);
        float x = (float)(k % 32) * 31.0f, y = (float)(k / 32) * 90.0f;
        glColor3f(half, below, above);
        glRectf(x, y, x + 30.0f, y + 30.0f);
        glColor3f(above, half, below);
        glBegin(GL_TRIANGLES);
        glVertex2f(x, y + 32.0f);
        glVertex2f(x + 30.0f, y + 32.0f);
        glVertex2f(x + 15.0f, y + 60.0f);
        glEnd();
        glColor3f(below, above, half);
        glBegin(GL_LINES);
        glVertex2f(x + 2.0f, y + 75.5f);
        glVertex2f(x + 28.0f, y + 70.5f);
        glEnd();
    }
}

// Filled primitives: a polygon, fans, strips, triangles, quads and a quad strip, flat and smooth.
void filled(void) {
    kitStart();
    glColor3d(0.0, 0.0, 0.5);
    glBegin(GL_POLYGON);
    glVertex2f(100.0f, 100.0f);
    glVertex2f(220.5f, 90.25f);
    glVertex2f(300.0f, 180.0f);
    glVertex2f(260.0f, 300.0f);
    glVertex2f(150.0f, 310.0f);
    glVertex2f(80.0f, 200.0f);
    glEnd();
    glColor3f(1.0f, 0.0f, 0.0f);
    glBegin(GL_TRIANGLE_FAN);
    glVertex2f(500.0f, 200.0f);
    glVertex2f(600.0f, 200.0f);
    glVertex2f(580.0f, 260.0f);
    glVertex2f(520.0f, 300.0f);
    glVertex2f(440.0f, 280.0f);
    glEnd();
    glBegin(GL_TRIANGLE_STRIP);
    glVertex2f(650.0f, 100.0f);
    glVertex2f(660.0f, 200.0f);
    glVertex2f(720.0f, 90.0f);
    glVertex2f(730.0f, 210.0f);
    glVertex2f(800.0f, 110.0f);
    glEnd();
    glShadeModel(GL_FLAT);
    glBegin(GL_TRIANGLES);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex2f(100.0f, 400.0f);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex2f(250.0f, 420.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    glVertex2f(170.0f, 560.0f);
    glEnd();
    glBegin(GL_QUADS);
    glColor3f(1.0f, 1.0f, 0.0f);
    glVertex2f(300.0f, 400.0f);
    glVertex2f(400.0f, 400.0f);
    glVertex2f(420.0f, 500.0f);
    glColor3f(0.0f, 1.0f, 1.0f);
    glVertex2f(310.0f, 520.0f);
    glEnd();
    glBegin(GL_QUAD_STRIP);
    glColor3f(1.0f, 0.0f, 1.0f);
    glVertex2f(500.0f, 400.0f);
    glVertex2f(500.0f, 500.0f);
    glVertex2f(600.0f, 410.0f);
    glColor3f(0.5f, 0.5f, 0.5f);
    glVertex2f(600.0f, 490.0f);
    glVertex2f(700.0f, 400.0f);
    glColor3f(0.0f, 0.5f, 0.0f);
    glVertex2f(700.0f, 520.0f);
    glEnd();
    glBegin(GL_POLYGON);
    glColor3f(0.25f, 0.75f, 1.0f);
    glVertex2f(800.0f, 400.0f);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex2f(900.0f, 420.0f);
    glVertex2f(880.0f, 560.0f);
    glEnd();
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex2f(100.0f, 600.0f);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex2f(400.0f, 620.0f);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex2f(250.0f, 740.0f);
    glEnd();
}

void rectangles(void) {
    kitStart();
    glColor3f(0.9f, 0.1f, 0.3f);
    glRectf(10.0f, 10.0f, 110.0f, 60.0f);
    glRectf(130.3f, 10.7f, 190.6f, 90.2f);
    glColor3f(0.1f, 0.8f, 0.3f);
    glRecti(300, 300, 200, 200);
    glRectf(400.5f, 100.5f, 460.5f, 170.5f);
    // Reversed in x alone: its corners go round the other way.
    glRectf(560.0f, 20.5f, 500.0f, 95.0f);
}

// Points of sizes 1 to 7 at whole, half and uneven positions.
void points(void) {
    kitStart();
    const float sizes[] = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 7.0f};
    const float offsets[][2] = {{0.0f, 0.0f},  {0.5f, 0.5f}, {0.25f, 0.75f}, {0.49f, 0.51f},
                                {0.99f, 0.1f}, {0.6f, 0.4f}, {0.5f, 0.0f},   {0.0f, 0.5f}};
    for (int s = 0; s < 6; s++) {
        glPointSize(sizes[s]);
        glColor3f(1.0f, 1.0f - 0.15f * (float)s, 0.0f);
        glBegin(GL_POINTS);
        for (int k = 0; k < 8; k++) {
            glVertex2f(50.0f + 30.0f * (float)k + offsets[k][0],
                       100.0f + 40.0f * (float)s + offsets[k][1]);
        }
        glEnd();
    }
}

// The game's picture as the render test draws it: two frames of a known state.
void gamePicture(void) {
    kitStart();
    resetGameState();
    serpentLength = 9;
    for (int k = 1; k <= serpentLength; k++) {
        segments[k] = Cell{490 + 20 * (k - 1), 390};
    }
    food = Cell{650, 550};
    bonus = Cell{250, 550};
    bonusCycle = 50;
    charges = 3;
    obstacles[3][4] = 1;
    obstacles[10][20] = 1;
    obstacles[11][20] = 1;
    reshapeView(SCENE_WIDTH, SCENE_HEIGHT);
    for (int frame = 0; frame < 2; frame++) {
        glClearColor(0.4f, 0.4f, 0.4f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        drawGrid();
        drawSidePanel();
        drawFood();
        drawBonus();
        drawObstacles();
        drawSerpent();
    }
    resetGameState();
}

// The triangle example's drawing at several angles, in viewports of two shapes.
void triangleExample(void) {
    kitStart();
    glClearColor(0.0f, 0.0f, 0.25f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const int boxes[][4] = {{0, 0, 300, 300}, {320, 0, 400, 250}, {0, 320, 250, 400}};
    const float angles[] = {0.0f, 37.0f, 123.0f};
    for (int b = 0; b < 3; b++) {
        int width = boxes[b][2], height = boxes[b][3];
        glViewport(boxes[b][0], boxes[b][1], width, height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        double aspect = (double)width / (double)height;
        if (aspect >= 1.0) {
            glOrtho(-aspect, aspect, -1.0, 1.0, -1.0, 1.0);
        } else {
            glOrtho(-1.0, 1.0, -1.0 / aspect, 1.0 / aspect, -1.0, 1.0);
        }
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glRotatef(angles[b], 0.0f, 0.0f, 1.0f);
        glColor3f(1.0f, 0.5f, 0.0f);
        glBegin(GL_TRIANGLES);
        glVertex2f(0.0f, 0.8f);
        glVertex2f(-0.69f, -0.4f);
        glVertex2f(0.69f, -0.4f);
        glEnd();
    }
}

// The colours example's bands (RGBA; the index calls change nothing there) in a 480 x 120 window,
// and the scribble example's strokes and cross with y downwards.
void kitExamples(void) {
    kitStart();
    glViewport(0, 0, 480, 120);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 480.0, 0.0, 120.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    float width = (float)viewport[2] / 16.0f;
    for (int i = 0; i < 16; i++) {
        float t = (float)i / 15.0f;
        glIndexi(i);
        glColor3f(t * 2.0f > 1.0f ? 1.0f : t * 2.0f, t * 0.5f, t * t);
        glRectf((float)i * width, 0.0f, (float)(i + 1) * width, (float)viewport[3]);
    }
    glFlush();

    glViewport(0, 150, 600, 500);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 600.0, 500.0, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(0.0f, 0.0f, 0.5f);
    glLineWidth(5.0f);
    const int strokes[][2] = {{20, 30},  {80, 35},   {150, 90},  {160, 200}, {100, 260}, {40, 300},
                              {45, 310}, {300, 320}, {420, 100}, {421, 99},  {500, 450}};
    glBegin(GL_LINE_STRIP);
    for (const auto& p : strokes) {
        glVertex2f((float)p[0] + 0.5f, (float)p[1] + 0.5f);
    }
    glEnd();
    glColor3f(1.0f, 0.0f, 0.0f);
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    glVertex2f(250.0f - 6.0f, 200.0f + 0.5f);
    glVertex2f(250.0f + 7.0f, 200.0f + 0.5f);
    glVertex2f(250.0f + 0.5f, 200.0f - 6.0f);
    glVertex2f(250.0f + 0.5f, 200.0f + 7.0f);
    glEnd();
}

// The same small picture placed through translate, rotate and scale, nested with push and pop.
void figure(void) {
    glBegin(GL_POLYGON);
    glVertex2f(-20.0f, -10.0f);
    glVertex2f(20.0f, -10.0f);
    glVertex2f(25.0f, 10.0f);
    glVertex2f(-15.0f, 15.0f);
    glEnd();
    glBegin(GL_LINES);
    glVertex2f(-30.0f, 0.0f);
    glVertex2f(30.0f, 25.0f);
    glEnd();
    glBegin(GL_POINTS);
    glVertex2f(0.0f, 30.0f);
    glEnd();
}

void transforms(void) {
    kitStart();
    glLineWidth(3.0f);
    glPointSize(4.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    glPushMatrix();
    glTranslatef(200.0f, 200.0f, 0.0f);
    figure();
    glPushMatrix();
    glRotatef(30.0f, 0.0f, 0.0f, 1.0f);
    glScalef(2.0f, 1.5f, 1.0f);
    glTranslatef(40.0f, 0.0f, 0.0f);
    glColor3f(1.0f, 0.0f, 0.0f);
    figure();
    glPopMatrix();
    glTranslated(300.0, 0.0, 0.0);
    glScalef(-1.0f, 2.0f, 1.0f);
    glColor3f(0.0f, 1.0f, 0.0f);
    figure();
    glPopMatrix();
    glTranslatef(600.5f, 500.25f, 0.0f);
    glRotatef(-75.0f, 0.0f, 0.0f, 1.0f);
    glScalef(3.0f, 3.0f, 1.0f);
    glColor3f(0.0f, 0.5f, 1.0f);
    figure();
}

void queries(Queries* answers) {
    while (glGetError() != GL_NO_ERROR) {
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-3.0, 5.0, -2.0, 7.0, -1.0, 4.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(3.0f, -2.0f, 0.5f);
    glRotatef(33.0f, 0.2f, 0.3f, 1.0f);
    glPushMatrix();
    glScalef(9.0f, 9.0f, 9.0f);
    glPopMatrix();
    glScalef(2.0f, 0.5f, 1.0f);
    glViewport(10, 20, 300, 200);
    glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
    glPointSize(3.0f);
    glLineWidth(2.5f);
    glGetFloatv(GL_MODELVIEW_MATRIX, answers->modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, answers->projection);
    glGetIntegerv(GL_VIEWPORT, answers->viewport);
    glViewport(-5, 7, 1 << 20, 1 << 21);
    glGetIntegerv(GL_VIEWPORT, answers->largestViewport);
    glViewport(10, 20, 300, 200);
    glGetFloatv(GL_CURRENT_COLOR, answers->colour);
    glGetFloatv(GL_POINT_SIZE, &answers->pointSize);
    glGetFloatv(GL_LINE_WIDTH, &answers->lineWidth);

    int n = 0;
    glLoadIdentity();
    glPopMatrix();
    answers->errors[n++] = glGetError();
    glEnd();
    answers->errors[n++] = glGetError();
    glBegin(GL_POINTS);
    glMatrixMode(GL_PROJECTION);
    glEnd();
    answers->errors[n++] = glGetError();
    glLineWidth(0.0f);
    answers->errors[n++] = glGetError();
    glMatrixMode(GL_PROJECTION);
    for (int i = 0; i < 32; i++) {
        glPushMatrix();
    }
    answers->errors[n++] = glGetError();
    for (int i = 0; i < 31; i++) {
        glPopMatrix();
    }
    glMatrixMode(GL_MODELVIEW);
    glDrawBuffer(GL_FRONT_RIGHT);
    answers->errors[n++] = glGetError();
    glDrawBuffer(GL_BACK);
    glClearIndex(2.0f);
    glIndexi(3);
    answers->errors[n++] = glGetError();
    answers->errors[n++] = glGetError();
}

} // namespace

extern const Scene SCENES[SCENE_COUNT] = {
    {"clear", clearOnly},          {"thin_lines", thinLines},
    {"wide_lines", wideLines},     {"filled", filled},
    {"rectangles", rectangles},    {"points", points},
    {"game", gamePicture},         {"triangle_example", triangleExample},
    {"kit_examples", kitExamples}, {"transforms", transforms},
    {"line_ends", lineEnds},       {"viewport_edges", viewportEdges},
    {"colour_steps", colourSteps}, {"cut_lines", cutLines},
    {"smooth_lines", smoothLines}, {"culling", culling},
    {"line_ties", lineTies}};

extern void (*const QUERIES)(Queries* answers) = queries;
