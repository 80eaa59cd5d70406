// The whole state of a game of Wrendle, process-wide, and every routine of the game:
// new game, the frame step and its rules, the key handlers and the drawing.
#pragma once

#include <cstdint>

// A cell of the field, named by its centre in pixels (origin bottom left, y upwards).
struct Cell {
    int32_t x;
    int32_t y;
};

const int32_t SEGMENT_SLOTS = 10000; // slot 0 unused, so 9999 segments at most
const int32_t OBSTACLE_COLUMNS = 51;
const int32_t OBSTACLE_ROWS = 41;

extern int32_t direction;     // 1 left, 2 up, 3 right, 4 down
extern int32_t serpentLength; // live segments
extern Cell segments[SEGMENT_SLOTS];
extern Cell food;
extern Cell bonus;
extern int32_t obstacles[OBSTACLE_COLUMNS][OBSTACLE_ROWS]; // [column][row], 1 = obstacle
extern int32_t gameOver;
extern int32_t charges;
extern int32_t bonusCycle;
extern int32_t movePhase;
extern int32_t movePeriod;
extern int32_t obstacleDivisor;
extern uint32_t lastFrameTick;
extern int32_t windowWidth;
extern int32_t windowHeight;
extern uint32_t randomState;

// Puts every game variable back to its value at program start (tests; a process starts so).
void resetGameState(void);

// New game.
int32_t nextRandom(void);
void setupGame(void);

// Frame step and rules.
void frameStep(void);
void eatFood(void);
void updateBonus(void);
void checkCollisions(void);
void moveSerpent(void);

// Key handlers.
void onKeyLeft(void);
void onKeyRight(void);
void onKeyUp(void);
void onKeyDown(void);
void onKeyNewGame(void);

// Drawing.
void drawGrid(void);
void drawSidePanel(void);
void drawFood(void);
void drawBonus(void);
void drawObstacles(void);
void drawSerpent(void);
void reshapeView(int32_t width, int32_t height);
