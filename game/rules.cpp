// The frame step, the game's heartbeat, and the rules it runs between its drawing steps.
#include "game/state.h"

#include "kit/kit.h"
#include "platform/gl.h"
#include "platform/win32.h"

namespace {

const uint32_t FRAME_PERIOD_MS = 83;
const int32_t BONUS_CYCLE_FRAMES = 500;
const int32_t BONUS_SHOWN_BELOW = 100;

bool headOn(Cell cell) {
    return segments[1].x == cell.x && segments[1].y == cell.y;
}

// Whether an obstacle stands on the cell centred at (x, y); only columns 1 to 43 and rows 1 to
// 33 ever hold one.
bool obstacleAt(int32_t x, int32_t y) {
    if ((x - 50) % 20 != 0 || (y - 50) % 20 != 0) {
        return false;
    }
    int32_t i = (x - 50) / 20;
    int32_t j = (y - 50) / 20;
    return i >= 1 && i <= 43 && j >= 1 && j <= 33 && obstacles[i][j] == 1;
}

} // namespace

void frameStep(void) {
    // The tick is kept before the sleep, so the next frame's elapsed time includes this sleep:
    // frames come in pairs, one sleeping and one not, a move per 83 ms plus one frame's work.
    // The unsigned difference stays right across the tick's 32-bit wrap.
    uint32_t now = GetTickCount();
    uint32_t elapsed = now - lastFrameTick;
    lastFrameTick = now;
    if (elapsed < FRAME_PERIOD_MS) {
        Sleep(FRAME_PERIOD_MS - elapsed);
    }

    glClearColor(0.4f, 0.4f, 0.4f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    drawGrid();
    drawSidePanel();
    drawFood();
    eatFood();
    if (bonusCycle > 0 && bonusCycle < BONUS_SHOWN_BELOW) {
        drawBonus();
    }
    updateBonus();
    drawObstacles();
    checkCollisions();
    if (gameOver == 0 && movePhase == 0) {
        moveSerpent();
    }
    drawSerpent();

    movePhase++;
    if (movePhase == movePeriod) {
        movePhase = 0;
    }
    bonusCycle++;
    if (bonusCycle == BONUS_CYCLE_FRAMES) {
        bonusCycle = 0;
    }
    kitSwapBuffers();
}

void eatFood(void) {
    if (!headOn(food)) {
        return;
    }
    // Segments and the bonus may lie under the new food; only obstacles turn a draw down.
    do {
        food.x = nextRandom() % 42 * 20 + 50;
        food.y = nextRandom() % 32 * 20 + 50;
    } while (obstacleAt(food.x, food.y));

    // The array ends at slot 9999: a serpent that long eats without growing.
    if (serpentLength >= SEGMENT_SLOTS - 1) {
        return;
    }
    // The new tail starts one cell left of the old one whatever the heading; the next move
    // copies the old tail into it.
    serpentLength++;
    segments[serpentLength] =
        Cell{segments[serpentLength - 1].x - 20, segments[serpentLength - 1].y};
}

void updateBonus(void) {
    bool collected = headOn(bonus) && bonusCycle < BONUS_SHOWN_BELOW;
    if (!collected && bonusCycle != 0) {
        return;
    }
    if (collected) {
        charges++;
    }
    do {
        bonus.x = nextRandom() % 37 * 20 + 90;
        bonus.y = nextRandom() % 32 * 20 + 50;
    } while (obstacleAt(bonus.x, bonus.y) || (bonus.x == food.x && bonus.y == food.y));
}

void checkCollisions(void) {
    Cell head = segments[1];
    if (head.y < 50 || head.y > 730 || head.x < 50 || head.x > 930) {
        gameOver = 1;
    }
    for (int32_t k = 2; k <= serpentLength; k++) {
        if (headOn(segments[k])) {
            gameOver = 1;
        }
    }
    for (int32_t i = 1; i <= 43; i++) {
        for (int32_t j = 1; j <= 33; j++) {
            if (obstacles[i][j] == 1 && head.x == 20 * i + 50 && head.y == 20 * j + 50) {
                // A charge breaks the obstacle for the rest of the game.
                if (charges > 0) {
                    obstacles[i][j] = 0;
                    charges--;
                } else {
                    gameOver = 1;
                    charges = 0;
                }
            }
        }
    }
}

void moveSerpent(void) {
    for (int32_t k = serpentLength; k >= 2; k--) {
        segments[k] = segments[k - 1];
    }
    switch (direction) {
    case 1:
        segments[1].x -= 20;
        break;
    case 2:
        segments[1].y += 20;
        break;
    case 3:
        segments[1].x += 20;
        break;
    case 4:
        segments[1].y -= 20;
        break;
    default:
        break;
    }
}
