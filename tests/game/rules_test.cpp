// The game's state, new game, frame step and rules, run frame by frame on the virtual clock.
// No window exists: GL calls have no context and do nothing, the buffer swap just fails.
#include "game/state.h"
#include "platform/testctl.h"

#include <gtest/gtest.h>

namespace {

int32_t obstacleCount(void) {
    int32_t count = 0;
    for (int32_t i = 0; i < OBSTACLE_COLUMNS; i++) {
        for (int32_t j = 0; j < OBSTACLE_ROWS; j++) {
            count += obstacles[i][j];
        }
    }
    return count;
}

void clearObstacles(void) {
    for (int32_t i = 0; i < OBSTACLE_COLUMNS; i++) {
        for (int32_t j = 0; j < OBSTACLE_ROWS; j++) {
            obstacles[i][j] = 0;
        }
    }
}

// Lays a serpent of the given length in one row, head at (x, y), body to the right.
void layRow(int32_t x, int32_t y, int32_t length) {
    serpentLength = length;
    for (int32_t k = 1; k <= length; k++) {
        segments[k] = Cell{x + 20 * (k - 1), y};
    }
}

#define EXPECT_CELL(cell, ex, ey)                                                                  \
    EXPECT_TRUE((cell).x == (ex) && (cell).y == (ey))                                              \
        << #cell " is (" << (cell).x << ", " << (cell).y << ")"

// One frame whose own work takes `work` ms after its pacing.
void frame(uint32_t work = 5) {
    frameStep();
    testAdvanceTick(work);
}

// The cell the next food relocation would draw (the first draw, as on a field with no
// obstacles), without consuming the generator.
Cell nextFoodDraw(void) {
    uint32_t saved = randomState;
    Cell cell;
    cell.x = nextRandom() % 42 * 20 + 50;
    cell.y = nextRandom() % 32 * 20 + 50;
    randomState = saved;
    return cell;
}

// The cell the next bonus relocation would draw first, without consuming the generator.
Cell nextBonusDraw(void) {
    uint32_t saved = randomState;
    Cell cell;
    cell.x = nextRandom() % 37 * 20 + 90;
    cell.y = nextRandom() % 32 * 20 + 50;
    randomState = saved;
    return cell;
}

bool obstacleCell(Cell cell) {
    return cell.x >= 70 && cell.x <= 910 && cell.y >= 70 && cell.y <= 710;
}

bool sameCell(Cell a, Cell b) {
    return a.x == b.x && a.y == b.y;
}

// What a seven-segment setup from a generator state lays out before its obstacles, read off
// the generator without running the setup.
struct Layout {
    Cell head;
    Cell food;
    Cell bonus;
};

Layout layoutFrom(uint32_t state) {
    randomState = state;
    Layout layout;
    int32_t a = nextRandom() % 20;
    int32_t b = nextRandom() % 15;
    layout.head = Cell{20 * a + 370, 20 * b + 150};
    nextRandom(); // the heading
    layout.food.x = nextRandom() % 42 * 20 + 50;
    layout.food.y = nextRandom() % 32 * 20 + 50;
    layout.bonus = Cell{150, nextRandom() % 32 * 20 + 50};
    return layout;
}

// The obstacle draw that a setup from the state makes for the cell: six values come before
// the obstacle loop, then one per cell, column by column.
int32_t obstacleDrawAt(uint32_t state, Cell cell) {
    randomState = state;
    int32_t i = (cell.x - 50) / 20;
    int32_t j = (cell.y - 50) / 20;
    for (int32_t n = 0; n < 6 + (i - 1) * 33 + (j - 1); n++) {
        nextRandom();
    }
    return nextRandom() % 20;
}

class Game : public ::testing::Test {
  protected:
    void SetUp() override {
        resetGameState();
        testUseVirtualClock();
        setupGame();
    }
    void TearDown() override { testUseRealClock(); }

    // An open field: no obstacles, the food and the bonus out of the way, the bonus inert.
    void openField(int32_t headX, int32_t headY, int32_t heading) {
        clearObstacles();
        layRow(headX, headY, 7);
        direction = heading;
        food = Cell{50, 50};
        bonus = Cell{90, 50};
        bonusCycle = 200;
        movePhase = 0;
    }
};

TEST_F(Game, FirstGameIsTheSameEveryRun) {
    for (int32_t k = 1; k <= 7; k++) {
        EXPECT_CELL(segments[k], 370 + 20 * k, 190) << "segment " << k;
    }
    EXPECT_EQ(direction, 2);
    EXPECT_CELL(food, 850, 70);
    EXPECT_CELL(bonus, 150, 290);
    EXPECT_EQ(obstacleCount(), 79);

    const int32_t firstFive[5][2] = {{1, 7}, {1, 9}, {1, 21}, {2, 8}, {2, 19}};
    int32_t seen = 0;
    for (int32_t i = 1; i <= 43 && seen < 5; i++) {
        for (int32_t j = 1; j <= 33 && seen < 5; j++) {
            if (obstacles[i][j] == 1) {
                EXPECT_EQ(i, firstFive[seen][0]);
                EXPECT_EQ(j, firstFive[seen][1]);
                seen++;
            }
        }
    }
    EXPECT_EQ(seen, 5);

    // Nothing in the outer ring or outside the used area, nor under the serpent, the food or
    // the bonus.
    for (int32_t i = 0; i < OBSTACLE_COLUMNS; i++) {
        for (int32_t j = 0; j < OBSTACLE_ROWS; j++) {
            if (i < 1 || i > 43 || j < 1 || j > 33) {
                EXPECT_EQ(obstacles[i][j], 0) << i << "," << j;
            }
        }
    }
    auto obstacleOn = [](Cell c) { return obstacles[(c.x - 50) / 20][(c.y - 50) / 20]; };
    for (int32_t k = 1; k <= 7; k++) {
        EXPECT_EQ(obstacleOn(segments[k]), 0);
    }
    EXPECT_EQ(obstacleOn(food), 0);
    EXPECT_EQ(obstacleOn(bonus), 0);
}

TEST_F(Game, GeneratorSequenceAndDrawsPerSetup) {
    resetGameState();
    EXPECT_EQ(nextRandom(), 41);
    EXPECT_EQ(nextRandom(), 18467);
    EXPECT_EQ(nextRandom(), 6334);

    // A setup takes exactly 1425 values, whatever the serpent's length.
    for (int32_t length : {7, 12}) {
        resetGameState();
        serpentLength = length;
        setupGame();
        uint32_t afterSetup = randomState;
        randomState = 1;
        for (int32_t n = 0; n < 1425; n++) {
            int32_t v = nextRandom();
            ASSERT_GE(v, 0);
            ASSERT_LE(v, 32767);
        }
        EXPECT_EQ(randomState, afterSetup) << "length " << length;
    }
}

TEST_F(Game, PacingAlternatesBetweenSleepingAndNot) {
    for (uint32_t work : {5u, 0u, 40u, 82u}) {
        testUseVirtualClock();
        lastFrameTick = 0;
        // The first frame sees the whole uptime since lastFrameTick is 0.
        frame(work);
        EXPECT_EQ(testSleepCount(), 0u) << "work " << work;
        for (uint32_t pair = 1; pair <= 3; pair++) {
            frame(work);
            EXPECT_EQ(testSleepCount(), pair) << "work " << work;
            EXPECT_EQ(testLastSleep(), 83 - work) << "work " << work;
            frame(work);
            EXPECT_EQ(testSleepCount(), pair) << "work " << work;
        }
    }

    // A frame whose work takes 83 ms or more never sleeps.
    for (uint32_t work : {83u, 90u}) {
        testUseVirtualClock();
        lastFrameTick = 0;
        for (int n = 0; n < 6; n++) {
            frame(work);
        }
        EXPECT_EQ(testSleepCount(), 0u) << "work " << work;
    }
}

TEST_F(Game, OneMoveEvery83msPlusWorkAcrossTheTickWrap) {
    openField(490, 90, 2);
    testSetTick(0xFFFFFFFFu - 300u); // the 32-bit tick wraps a few moves in
    const uint32_t work = 7;
    uint32_t lastMoveTick = 0;
    int32_t moves = 0;
    for (int n = 0; n < 20; n++) {
        int32_t yBefore = segments[1].y;
        frameStep();
        uint32_t end = GetTickCount();
        if (segments[1].y != yBefore) {
            EXPECT_EQ(n % 2, 0) << "moves come only in every second frame";
            if (moves > 0) {
                // Frames with a sleep end 83 ms after the frame before began.
                EXPECT_EQ(end - lastMoveTick, 83u + work) << "frame " << n;
            }
            lastMoveTick = end;
            moves++;
        }
        testAdvanceTick(work);
    }
    EXPECT_EQ(moves, 10);
    EXPECT_EQ(segments[1].y, 290);
    EXPECT_EQ(gameOver, 0);
    EXPECT_LT(GetTickCount(), 10000u) << "the tick must have wrapped during the run";
    // Across the wrap no frame may sleep for the huge difference a signed or 64-bit
    // subtraction would give.
    EXPECT_LE(testTotalSleep(), 10u * 83u);
}

TEST_F(Game, FrameAcrossTheTickWrapSleepsOnlyForTheTrueShortfall) {
    openField(490, 90, 2);
    // 112 ms have passed across the wrap: no sleep at all.
    lastFrameTick = 0xFFFFFFF0u;
    testSetTick(0x60u);
    frameStep();
    EXPECT_EQ(testSleepCount(), 0u);
    // 32 ms across the wrap: the rest of the 83.
    lastFrameTick = 0xFFFFFFF0u;
    testSetTick(0x10u);
    frameStep();
    EXPECT_EQ(testSleepCount(), 1u);
    EXPECT_EQ(testLastSleep(), 51u);
}

TEST_F(Game, TurningKeysRefuseOnlyTheOppositeOfTheCurrentHeading) {
    void (*keys[5])(void) = {nullptr, onKeyLeft, onKeyUp, onKeyRight, onKeyDown};
    for (int32_t from = 1; from <= 4; from++) {
        for (int32_t key = 1; key <= 4; key++) {
            direction = from;
            keys[key]();
            bool opposite = (from + 2 - 1) % 4 + 1 == key;
            EXPECT_EQ(direction, opposite ? from : key) << "heading " << from << " key " << key;
        }
    }
}

TEST_F(Game, TwoQuickTurnsReverseTheSerpentOntoItself) {
    openField(490, 290, 1);
    frame(); // moves left
    frame();
    Cell segment2 = segments[2];
    onKeyUp();
    onKeyRight(); // compared with "up", not with the last move's "left"
    EXPECT_EQ(direction, 3);
    frame(); // the move puts the head onto its body
    EXPECT_EQ(segments[1].x, segment2.x);
    EXPECT_CELL(segments[1], segments[3].x, segments[3].y);
    EXPECT_EQ(gameOver, 0);
    frame(); // the next test finds it
    EXPECT_EQ(gameOver, 1);
}

TEST_F(Game, WallsEndTheGameOneFrameAfterTheHeadLeavesTheField) {
    // Head on the last cell before each wall, body trailing behind it.
    struct Case {
        int32_t x, y, heading, deadX, deadY;
    } cases[] = {{50, 390, 1, 30, 390},
                 {490, 730, 2, 490, 750},
                 {930, 390, 3, 950, 390},
                 {490, 50, 4, 490, 30}};
    const int32_t stepX[5] = {0, -20, 0, 20, 0};
    const int32_t stepY[5] = {0, 0, 20, 0, -20};
    for (const Case& c : cases) {
        SetUp();
        openField(c.x, c.y, c.heading);
        for (int32_t k = 1; k <= 7; k++) {
            segments[k] = Cell{c.x - stepX[c.heading] * (k - 1), c.y - stepY[c.heading] * (k - 1)};
        }
        frame(); // the test of this frame judged the old position, then the head moved out
        EXPECT_CELL(segments[1], c.deadX, c.deadY);
        EXPECT_EQ(gameOver, 0);
        frame();
        EXPECT_EQ(gameOver, 1) << "heading " << c.heading;
        for (int n = 0; n < 4; n++) {
            frame();
        }
        EXPECT_CELL(segments[1], c.deadX, c.deadY) << "a dead serpent stays";
    }
}

TEST_F(Game, EatingGrowsTheTailOneCellLeftOfTheOldTail) {
    openField(490, 290, 2);
    food = Cell{490, 310};
    frame(); // moves onto the food
    EXPECT_EQ(serpentLength, 7);
    Cell oldTail = segments[7];
    Cell expectedFood = nextFoodDraw();
    frame(); // eats
    EXPECT_EQ(serpentLength, 8);
    EXPECT_CELL(segments[8], oldTail.x - 20, oldTail.y);
    EXPECT_CELL(food, expectedFood.x, expectedFood.y);
    frame(); // the next move copies the old tail into the new slot
    EXPECT_CELL(segments[8], oldTail.x, oldTail.y);
}

TEST_F(Game, FoodRelocationSkipsObstaclesButNotTheSerpent) {
    openField(490, 290, 2);
    movePhase = 1; // no move in the next frame
    food = segments[1];
    Cell blocked = nextFoodDraw();
    ASSERT_TRUE(blocked.x >= 70 && blocked.x <= 910 && blocked.y >= 70 && blocked.y <= 710)
        << "the generator's next cell must lie where an obstacle can stand";
    obstacles[(blocked.x - 50) / 20][(blocked.y - 50) / 20] = 1;
    frame();
    EXPECT_EQ(serpentLength, 8);
    EXPECT_FALSE(food.x == blocked.x && food.y == blocked.y);
    EXPECT_EQ(obstacles[(food.x - 50) / 20][(food.y - 50) / 20], 0);
}

TEST_F(Game, FoodRelocatedUnderTheHeadIsEatenAgain) {
    clearObstacles();
    bonusCycle = 200;
    // Put the head (and the food) where the next relocation lands.
    Cell landing = nextFoodDraw();
    layRow(landing.x, landing.y, 7);
    direction = 2;
    food = landing;
    movePhase = 1;
    frame(); // eats, the food lands under the head again, no move
    EXPECT_EQ(serpentLength, 8);
    EXPECT_CELL(food, landing.x, landing.y);
    frame(); // eats again, then moves
    EXPECT_EQ(serpentLength, 9);
}

TEST_F(Game, GrowthStopsAt9999Segments) {
    clearObstacles();
    layRow(90, 390, 7);
    serpentLength = 9998;
    segments[9998] = Cell{1000, 390};
    food = segments[1];
    eatFood();
    EXPECT_EQ(serpentLength, 9999);
    EXPECT_EQ(segments[9999].x, 980);
    for (int n = 0; n < 3; n++) {
        uint32_t before = randomState;
        food = segments[1];
        eatFood(); // a write past the array would be caught by the address sanitizer
        EXPECT_EQ(serpentLength, 9999);
        EXPECT_NE(randomState, before) << "the food is still relocated";
    }
    EXPECT_EQ(segments[9999].x, 980);
    // A whole frame at the bound still runs (move and body test over all 9999 segments).
    direction = 2;
    frame();
    EXPECT_EQ(serpentLength, 9999);
}

TEST_F(Game, BonusCycle) {
    openField(490, 290, 2);
    gameOver = 1; // keep the head still
    bonus = Cell{710, 550};

    // 100 to 499: inert, even under the head.
    for (int32_t cycle : {100, 250, 499}) {
        bonusCycle = cycle;
        bonus = segments[1];
        uint32_t before = randomState;
        updateBonus();
        EXPECT_EQ(charges, 0) << cycle;
        EXPECT_EQ(randomState, before) << cycle;
        EXPECT_EQ(bonus.x, segments[1].x) << cycle;
    }

    // 1 to 99: collected under the head and moved at once; elsewhere left alone.
    for (int32_t cycle : {1, 50, 99}) {
        bonusCycle = cycle;
        bonus = Cell{710, 550};
        uint32_t before = randomState;
        updateBonus();
        EXPECT_EQ(randomState, before);
        EXPECT_EQ(bonus.x, 710);
        bonus = segments[1];
        updateBonus();
        EXPECT_FALSE(bonus.x == segments[1].x && bonus.y == segments[1].y);
    }
    EXPECT_EQ(charges, 3);

    // 0: relocated unasked, and collected too when under the head.
    bonusCycle = 0;
    bonus = Cell{710, 550};
    updateBonus();
    EXPECT_FALSE(bonus.x == 710 && bonus.y == 550);
    EXPECT_EQ(charges, 3);
    bonus = segments[1];
    updateBonus();
    EXPECT_EQ(charges, 4);

    // Relocated cells: columns 2 to 38, rows 0 to 31, never the food.
    for (int n = 0; n < 300; n++) {
        food = bonus; // the old place is now forbidden
        bonusCycle = 0;
        updateBonus();
        EXPECT_FALSE(bonus.x == food.x && bonus.y == food.y);
        EXPECT_TRUE(bonus.x >= 90 && bonus.x <= 810 && bonus.y >= 50 && bonus.y <= 670 &&
                    (bonus.x - 90) % 20 == 0 && (bonus.y - 50) % 20 == 0)
            << bonus.x << ", " << bonus.y;
    }
}

TEST_F(Game, BonusRelocationSkipsObstacles) {
    openField(490, 290, 2);
    gameOver = 1;
    // Generator states whose first draw lands where an obstacle can stand, each blocked.
    for (int tried = 0; tried < 5; tried++) {
        while (!obstacleCell(nextBonusDraw())) {
            nextRandom();
        }
        Cell blocked = nextBonusDraw();
        obstacles[(blocked.x - 50) / 20][(blocked.y - 50) / 20] = 1;
        bonusCycle = 0;
        updateBonus();
        EXPECT_FALSE(sameCell(bonus, blocked)) << blocked.x << ", " << blocked.y;
        EXPECT_EQ(obstacles[(bonus.x - 50) / 20][(bonus.y - 50) / 20], 0);
    }
}

TEST_F(Game, BonusCycleRunsFrameByFrame) {
    openField(490, 290, 2);
    gameOver = 1;
    bonusCycle = 498;
    Cell before = bonus;
    frame(); // 498
    frame(); // 499, then wraps
    EXPECT_EQ(bonusCycle, 0);
    EXPECT_CELL(bonus, before.x, before.y);
    frame(); // 0: relocated
    EXPECT_EQ(bonusCycle, 1);
    EXPECT_FALSE(bonus.x == before.x && bonus.y == before.y);
    for (int n = 0; n < 498; n++) {
        frame();
    }
    EXPECT_EQ(bonusCycle, 499);
    EXPECT_EQ(movePhase, 1);
}

TEST_F(Game, ChargesBreakObstaclesAndDeathOnOneEmptiesThem) {
    openField(490, 290, 2);
    obstacles[22][13] = 1; // (490, 310), just above the head
    obstacles[22][15] = 1; // (490, 350)
    charges = 2;
    frame(); // moves onto the obstacle
    frame(); // breaks it
    EXPECT_EQ(obstacles[22][13], 0);
    EXPECT_EQ(charges, 1);
    EXPECT_EQ(gameOver, 0);
    frame(); // moves on to (490, 330)
    EXPECT_EQ(segments[1].y, 330);
    frame();
    frame(); // onto the second obstacle
    frame();
    EXPECT_EQ(obstacles[22][15], 0);
    EXPECT_EQ(charges, 0);
    EXPECT_EQ(gameOver, 0);

    obstacles[22][17] = 1; // (490, 390)
    for (int n = 0; n < 4; n++) {
        frame();
    }
    EXPECT_EQ(segments[1].y, 390);
    EXPECT_EQ(gameOver, 1);
    EXPECT_EQ(charges, 0);
    EXPECT_EQ(obstacles[22][17], 1) << "an unbroken obstacle stays";
}

TEST_F(Game, RunningIntoTheBodyEndsTheGame) {
    // Moving left, then down, right and up closes a square onto the fourth segment.
    openField(490, 290, 1);
    void (*turns[4])(void) = {onKeyLeft, onKeyDown, onKeyRight, onKeyUp};
    for (int t = 0; t < 4; t++) {
        turns[t]();
        frame(); // moves
        EXPECT_EQ(gameOver, 0) << "turn " << t;
        frame();
    }
    EXPECT_CELL(segments[1], 490, 290);
    EXPECT_EQ(gameOver, 1);
}

TEST_F(Game, NewTailGrownOntoTheHeadEndsTheGameInThatFrame) {
    // A bent serpent of 8 whose tail lies just right of its head: the new tail cell, one
    // left of the old tail, is the head's own cell.
    clearObstacles();
    const Cell bent[8] = {{490, 290}, {490, 310}, {510, 310}, {530, 310},
                          {530, 290}, {530, 270}, {510, 270}, {510, 290}};
    serpentLength = 8;
    for (int32_t k = 1; k <= 8; k++) {
        segments[k] = bent[k - 1];
    }
    direction = 4;
    bonus = Cell{90, 50};
    bonusCycle = 200;
    food = segments[1];
    movePhase = 1;
    frame();
    EXPECT_EQ(serpentLength, 9);
    EXPECT_CELL(segments[9], 490, 290);
    EXPECT_EQ(gameOver, 1);
}

TEST_F(Game, NewGamesNeverHeadRight) {
    int32_t seen[5] = {0, 0, 0, 0, 0};
    for (int n = 0; n < 60; n++) {
        onKeyNewGame();
        ASSERT_GE(direction, 1);
        ASSERT_LE(direction, 4);
        seen[direction]++;
    }
    EXPECT_EQ(seen[3], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
    EXPECT_GT(seen[4], 0);
}

TEST_F(Game, AfterGameOverEveryStepButTheMoveKeepsRunning) {
    openField(490, 290, 2);
    gameOver = 1;
    bonusCycle = 499;
    movePhase = 0;
    Cell head = segments[1];
    Cell bonusBefore = bonus;
    uint32_t tick = GetTickCount();
    frame(); // the counters advance, the cycle wraps
    EXPECT_EQ(movePhase, 1);
    EXPECT_EQ(bonusCycle, 0);
    EXPECT_NE(lastFrameTick, 0u);
    EXPECT_EQ(lastFrameTick, tick);
    frame(); // the bonus cycle's relocation runs
    EXPECT_FALSE(bonus.x == bonusBefore.x && bonus.y == bonusBefore.y);
    onKeyLeft(); // turns change the heading to no effect
    EXPECT_EQ(direction, 1);
    food = head; // food reaching the dead head is still eaten
    frame();
    frame();
    EXPECT_EQ(serpentLength, 8);
    EXPECT_CELL(segments[1], head.x, head.y);
    EXPECT_EQ(gameOver, 1);
    EXPECT_EQ(testSleepCount(), 2u) << "pacing still runs";
}

TEST_F(Game, NewGameMidGameKeepsTheTimingAndStartsAfresh) {
    for (int n = 0; n < 57; n++) {
        frame();
    }
    charges = 3;
    gameOver = 1;
    int32_t cycle = bonusCycle;
    int32_t phase = movePhase;
    uint32_t tick = lastFrameTick;
    uint32_t state = randomState;

    onKeyNewGame();
    EXPECT_EQ(gameOver, 0);
    EXPECT_EQ(serpentLength, 7);
    EXPECT_EQ(charges, 0);
    EXPECT_EQ(bonusCycle, cycle);
    EXPECT_EQ(movePhase, phase);
    EXPECT_EQ(lastFrameTick, tick);
    EXPECT_EQ(bonus.x, 150) << "the new game's bonus, shown at once while the window lasts";
    EXPECT_NE(direction, 3);

    // The same layout as a setup from that generator state.
    Cell head = segments[1];
    uint32_t after = randomState;
    randomState = state;
    serpentLength = 7;
    setupGame();
    EXPECT_EQ(randomState, after);
    EXPECT_CELL(segments[1], head.x, head.y);
}

// The first game never draws an obstacle for the food's or the bonus's cell, so generator
// states are searched whose setup would put one there: on the food, on the bonus, and on the
// cell that the two share.
TEST_F(Game, SetupKeepsObstaclesOffTheFoodAndTheBonus) {
    enum Target { FOOD, BONUS, SHARED };
    for (Target target : {FOOD, BONUS, SHARED}) {
        uint32_t chosen = 0;
        Cell cell = {0, 0};
        for (uint32_t s = 1; s < 3000000 && chosen == 0; s++) {
            Layout layout = layoutFrom(s);
            bool shared = sameCell(layout.food, layout.bonus);
            if ((target == SHARED) != shared) {
                continue;
            }
            cell = target == BONUS ? layout.bonus : layout.food;
            bool onSerpent =
                cell.y == layout.head.y && cell.x >= layout.head.x && cell.x <= layout.head.x + 120;
            if (obstacleCell(cell) && !onSerpent && obstacleDrawAt(s, cell) == 1) {
                chosen = s;
            }
        }
        ASSERT_NE(chosen, 0u) << "target " << target;

        randomState = chosen;
        serpentLength = 7;
        setupGame();
        EXPECT_CELL(target == BONUS ? bonus : food, cell.x, cell.y);
        if (target == SHARED) {
            EXPECT_CELL(bonus, cell.x, cell.y);
        }
        EXPECT_EQ(obstacles[(cell.x - 50) / 20][(cell.y - 50) / 20], 0) << "target " << target;
    }
}

TEST_F(Game, NewGameAfterLength12LeavesTheFiveCellsRightOfTheTailFree) {
    // Find a generator state whose seven-segment setup would put an obstacle on one of the
    // five cells right of the tail, so that the check below can fail.
    uint32_t chosen = 0;
    for (uint32_t s = 1; s < 200000 && chosen == 0; s++) {
        randomState = s;
        serpentLength = 7;
        setupGame();
        for (int32_t k = 8; k <= 12; k++) {
            int32_t x = segments[7].x + 20 * (k - 7);
            int32_t i = (x - 50) / 20;
            int32_t j = (segments[7].y - 50) / 20;
            if (i <= 43 && obstacles[i][j] == 1) {
                chosen = s;
            }
        }
    }
    ASSERT_NE(chosen, 0u);

    randomState = chosen;
    serpentLength = 12;
    gameOver = 1;
    onKeyNewGame();
    EXPECT_EQ(serpentLength, 7);
    int32_t j = (segments[7].y - 50) / 20;
    for (int32_t k = 8; k <= 12; k++) {
        EXPECT_CELL(segments[k], segments[7].x + 20 * (k - 7), segments[7].y);
        int32_t i = (segments[k].x - 50) / 20;
        if (i >= 1 && i <= 43) {
            EXPECT_EQ(obstacles[i][j], 0) << "cell of segment " << k;
        }
    }
}

} // namespace
