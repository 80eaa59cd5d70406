// The game's process-wide state, its pseudo-random generator and the layout of a new game.
#include "game/state.h"

#include "platform/win32.h"

int32_t direction = 2;
int32_t serpentLength = 7;
Cell segments[SEGMENT_SLOTS];
Cell food;
Cell bonus;
int32_t obstacles[OBSTACLE_COLUMNS][OBSTACLE_ROWS];
int32_t gameOver = 0;
int32_t charges = 0;
int32_t bonusCycle = 0;
int32_t movePhase = 0;
int32_t movePeriod = 2;
int32_t obstacleDivisor = 20;
uint32_t lastFrameTick = 0;
int32_t windowWidth = 912;
int32_t windowHeight = 912;
uint32_t randomState = 1;

void resetGameState(void) {
    direction = 2;
    serpentLength = 7;
    for (int32_t k = 0; k < SEGMENT_SLOTS; k++) {
        segments[k] = Cell{0, 0};
    }
    food = Cell{0, 0};
    bonus = Cell{0, 0};
    for (int32_t i = 0; i < OBSTACLE_COLUMNS; i++) {
        for (int32_t j = 0; j < OBSTACLE_ROWS; j++) {
            obstacles[i][j] = 0;
        }
    }
    gameOver = 0;
    charges = 0;
    bonusCycle = 0;
    movePhase = 0;
    movePeriod = 2;
    obstacleDivisor = 20;
    lastFrameTick = 0;
    windowWidth = 912;
    windowHeight = 912;
    randomState = 1;
}

// A linear congruential generator with a fixed start, so every run lays out the same games.
int32_t nextRandom(void) {
    randomState = randomState * 214013u + 2531011u;
    return (int32_t)((randomState >> 16) & 32767u);
}

void setupGame(void) {
    // Letters must arrive as US-English characters so that n and N start a new game on any
    // keyboard layout; nothing can be done if the layout is refused, so the result is ignored.
    LoadKeyboardLayoutA("00000409", KLF_ACTIVATE);

    int32_t a = nextRandom() % 20;
    int32_t b = nextRandom() % 15;
    // The length is still that of the game just ended: its extra cells are laid out too and
    // so kept free of obstacles, although only seven of them will be live.
    for (int32_t k = 1; k <= serpentLength; k++) {
        segments[k] = Cell{20 * k + 20 * a + 350, 20 * b + 150};
    }

    // Left, up or down: never right, into the serpent's own body.
    int32_t d = nextRandom() % 3 + 1;
    direction = d == 3 ? 4 : d;

    food.x = nextRandom() % 42 * 20 + 50;
    food.y = nextRandom() % 32 * 20 + 50;
    bonus.x = 150;
    bonus.y = nextRandom() % 32 * 20 + 50;

    for (int32_t i = 1; i <= 43; i++) {
        for (int32_t j = 1; j <= 33; j++) {
            int32_t x = 20 * i + 50;
            int32_t y = 20 * j + 50;
            bool free = true;
            for (int32_t k = 1; k <= serpentLength; k++) {
                if (segments[k].x == x && segments[k].y == y) {
                    free = false;
                }
            }
            // Drawn for every cell, free or not, so the sequence does not depend on the layout.
            int32_t v = nextRandom() % obstacleDivisor;
            bool clear = !(x == food.x && y == food.y) && !(x == bonus.x && y == bonus.y);
            obstacles[i][j] = (v == 1 && free && clear) ? 1 : 0;
        }
    }
}
