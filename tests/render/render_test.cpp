// The game's picture drawn into a real kit window and read back: colours, shapes and their
// places, pixel by pixel, for known game states.
#include "game/state.h"
#include "kit/kit.h"
#include "platform/gl.h"
#include "platform/testctl.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

// After GoogleTest, whose names Xlib's macros (None, Bool) would otherwise replace.

#include <cstring>
#include <vector>

namespace {

const int WIDTH = 1000;
const int HEIGHT = 750;

// Pixels as read back, bottom row first, as RGB bytes.
unsigned char pixels[HEIGHT][WIDTH][3];

// One letter per colour of the picture, so a failed check prints something readable:
// '.' grey, 'n' navy, 'W' white, 'R' red, 'Y' yellow, '?' anything else.
char colourAt(int x, int y) {
    if (x < 0 || y < 0 || x >= WIDTH || y >= HEIGHT) {
        return '!';
    }
    const unsigned char* p = pixels[y][x];
    struct Named {
        unsigned char r, g, b;
        char letter;
    } const names[] = {{102, 102, 102, '.'},
                       {0, 0, 128, 'n'},
                       {255, 255, 255, 'W'},
                       {255, 0, 0, 'R'},
                       {255, 255, 0, 'Y'}};
    for (const Named& n : names) {
        if (p[0] == n.r && p[1] == n.g && p[2] == n.b) {
            return n.letter;
        }
    }
    return '?';
}

void capture(GLenum buffer) {
    glFinish();
    glReadBuffer(buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    std::memset(pixels, 0, sizeof pixels);
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, pixels);
}

// The window as the display shows it, after a swap: what the player sees.
void captureWindow(void) {
    std::vector<uint8_t> shown;
    ASSERT_TRUE(readShownPicture(kitGetWindow(), 0, 0, WIDTH, HEIGHT, &shown));
    std::memcpy(pixels, shown.data(), sizeof pixels);
}

// Whether the colour shows within one pixel of (x, y): for diagonal strokes, whose exact
// pixels are the rasterizer's choice.
bool near(int x, int y, char colour) {
    for (int dx = -1; dx <= 1; dx++) {
        for (int dy = -1; dy <= 1; dy++) {
            if (colourAt(x + dx, y + dy) == colour) {
                return true;
            }
        }
    }
    return false;
}

#define EXPECT_COLOUR(x, y, letter)                                                                \
    EXPECT_EQ(colourAt(x, y), letter) << "at (" << (x) << ", " << (y) << ")"

// The drawing of frameStep, in its order, without its rules or the swap.
void drawPicture(void) {
    glClearColor(0.4f, 0.4f, 0.4f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    drawGrid();
    drawSidePanel();
    drawFood();
    if (bonusCycle > 0 && bonusCycle < 100) {
        drawBonus();
    }
    drawObstacles();
    drawSerpent();
}

// Two frames, as in the running game: the side panel's dots take the point size that the
// previous frame's food left.
void render(void) {
    drawPicture();
    drawPicture();
    capture(GL_BACK);
}

void layRow(int32_t x, int32_t y, int32_t length) {
    serpentLength = length;
    for (int32_t k = 1; k <= length; k++) {
        segments[k] = Cell{x + 20 * (k - 1), y};
    }
}

bool windowOpen = false;

class Render : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        testRecordMessageBoxes(1);
        kitSetWindowRect(20, 20, WIDTH, HEIGHT);
        kitSetDisplayMode(KIT_DOUBLE + KIT_DEPTH16);
        windowOpen = kitOpenWindow("render") == 1;
    }

    // A plain known state: no obstacles, a serpent of 7 in the middle heading up, food and
    // bonus in open cells, the bonus shown.
    void SetUp() override {
        ASSERT_TRUE(windowOpen) << "kitOpenWindow failed";
        resetGameState();
        testUseVirtualClock();
        setupGame();
        for (int32_t i = 0; i < OBSTACLE_COLUMNS; i++) {
            for (int32_t j = 0; j < OBSTACLE_ROWS; j++) {
                obstacles[i][j] = 0;
            }
        }
        layRow(490, 390, 7);
        direction = 2;
        food = Cell{650, 550};
        bonus = Cell{250, 550};
        bonusCycle = 50;
        reshapeView(WIDTH, HEIGHT);
    }

    void TearDown() override { testUseRealClock(); }
};

TEST_F(Render, BackgroundGridAndBorder) {
    render();
    // Cell interiors are grey, inside the field and beyond it.
    for (int x : {50, 210, 530, 910}) {
        for (int y : {50, 170, 710, 745}) {
            EXPECT_COLOUR(x, y, '.');
        }
    }
    EXPECT_COLOUR(990, 30, '.');

    // Thin grid lines every 20 pixels, across the whole client area: where exactly a
    // one-pixel line on a pixel boundary lands is the rasterizer's choice of the two sides.
    auto lineNear = [](int x0, int y0, int dx, int dy) {
        return colourAt(x0, y0) == 'n' || colourAt(x0 + dx, y0 + dy) == 'n';
    };
    for (int y = 20; y <= 740; y += 20) {
        for (int x : {10, 330, 970, 995}) {
            EXPECT_TRUE(lineNear(x, y - 1, 0, 1)) << "horizontal line y = " << y << " at x " << x;
        }
    }
    for (int x = 20; x <= 980; x += 20) {
        for (int y : {5, 330, 748}) {
            EXPECT_TRUE(lineNear(x - 1, y, 1, 0)) << "vertical line x = " << x << " at y " << y;
        }
    }
    // The lines are one pixel wide.
    EXPECT_COLOUR(330, 377, '.');
    EXPECT_COLOUR(330, 382, '.');
    EXPECT_COLOUR(317, 330, '.');
    EXPECT_COLOUR(322, 330, '.');

    // The border is 5 pixels wide around (40, 40) to (940, 740).
    for (int d = -2; d <= 1; d++) {
        EXPECT_COLOUR(210, 40 + d, 'n');  // bottom
        EXPECT_COLOUR(210, 740 + d, 'n'); // top
        EXPECT_COLOUR(40 + d, 210, 'n');  // left
        EXPECT_COLOUR(940 + d, 210, 'n'); // right
    }
    EXPECT_COLOUR(210, 35, '.');
    EXPECT_COLOUR(210, 44, '.');
    EXPECT_COLOUR(210, 735, '.');
    EXPECT_COLOUR(210, 744, '.');
    EXPECT_COLOUR(35, 210, '.');
    EXPECT_COLOUR(44, 210, '.');
    EXPECT_COLOUR(935, 210, '.');
    EXPECT_COLOUR(944, 210, '.');
}

TEST_F(Render, ObstacleFillsItsCell) {
    obstacles[1][1] = 1;   // the square (60, 60) to (80, 80)
    obstacles[43][33] = 1; // the last one, (900, 700) to (920, 720)
    render();
    for (int x = 60; x < 80; x += 3) {
        for (int y = 60; y < 80; y += 3) {
            EXPECT_COLOUR(x, y, 'n');
        }
    }
    EXPECT_COLOUR(79, 79, 'n');
    EXPECT_COLOUR(60, 60, 'n');
    EXPECT_COLOUR(80, 70, '.');
    EXPECT_COLOUR(70, 80, '.');
    EXPECT_COLOUR(57, 70, '.');
    EXPECT_COLOUR(70, 57, '.');
    for (int corner : {61, 77}) {
        EXPECT_COLOUR(80, corner, '.');
        EXPECT_COLOUR(corner, 80, '.');
        EXPECT_COLOUR(57, corner, '.');
        EXPECT_COLOUR(corner, 57, '.');
    }
    EXPECT_COLOUR(910, 710, 'n');
    EXPECT_COLOUR(902, 718, 'n');
    EXPECT_COLOUR(920, 710, '.');
    EXPECT_COLOUR(130, 130, '.') << "no other obstacle";
}

// Checks an octagon around (x, y) of the given colour: 8 pixels to the left of the centre,
// 9 to the right (so the last covered column is x + 8), 8 down and 8 up (last row y + 7), with
// cut corners.
void expectOctagon(int x, int y, char colour) {
    EXPECT_COLOUR(x, y, colour);
    EXPECT_COLOUR(x - 8, y, colour);
    EXPECT_COLOUR(x + 8, y, colour);
    EXPECT_NE(colourAt(x - 9, y), colour) << "left of (" << x << ", " << y << ")";
    EXPECT_NE(colourAt(x + 9, y), colour) << "right of (" << x << ", " << y << ")";
    EXPECT_COLOUR(x, y - 8, colour);
    EXPECT_COLOUR(x, y + 7, colour);
    EXPECT_NE(colourAt(x, y - 9), colour) << "below (" << x << ", " << y << ")";
    EXPECT_NE(colourAt(x, y + 8), colour) << "above (" << x << ", " << y << ")";
    EXPECT_COLOUR(x + 4, y + 7, colour);
    EXPECT_NE(colourAt(x + 8, y + 7), colour) << "corner of (" << x << ", " << y << ")";
    EXPECT_NE(colourAt(x - 8, y - 8), colour) << "corner of (" << x << ", " << y << ")";
}

TEST_F(Render, SerpentHeadRedBodyYellow) {
    render();
    expectOctagon(490, 390, 'R');
    for (int k = 2; k <= 7; k++) {
        expectOctagon(470 + 20 * k, 390, 'Y');
    }
    // Between two segments the grid line shows through.
    EXPECT_TRUE(colourAt(499, 398) == 'n' || colourAt(500, 398) == 'n');
    EXPECT_COLOUR(630, 390, '.') << "nothing past the tail";
}

TEST_F(Render, LaterSegmentsCoverEarlierOnes) {
    segments[3] = segments[1]; // a serpent reversed onto itself
    render();
    EXPECT_COLOUR(490, 390, 'Y');
}

TEST_F(Render, FoodIsAFiveByFiveWhitePoint) {
    render();
    int white = 0;
    for (int x = 640; x <= 660; x++) {
        for (int y = 540; y <= 560; y++) {
            white += colourAt(x, y) == 'W';
        }
    }
    EXPECT_EQ(white, 25);
    for (int d = -2; d <= 2; d++) {
        EXPECT_COLOUR(650 + d, 548, 'W');
        EXPECT_COLOUR(650 + d, 552, 'W');
        EXPECT_COLOUR(648, 550 + d, 'W');
        EXPECT_COLOUR(652, 550 + d, 'W');
    }
    EXPECT_COLOUR(645, 550, '.');
    EXPECT_COLOUR(655, 550, '.');
}

TEST_F(Render, BonusStarIsRedAndShowsOnlyInItsWindow) {
    for (int32_t cycle : {1, 50, 99}) {
        bonusCycle = cycle;
        render();
        EXPECT_COLOUR(250, 550, 'R') << "cycle " << cycle;
        // The four strokes, two pixels wide, reaching 8 from the centre (6 on the diagonals).
        EXPECT_COLOUR(242, 550, 'R');
        EXPECT_COLOUR(257, 550, 'R');
        EXPECT_COLOUR(250, 542, 'R');
        EXPECT_COLOUR(250, 557, 'R');
        EXPECT_TRUE(near(254, 554, 'R'));
        EXPECT_TRUE(near(246, 554, 'R'));
        EXPECT_TRUE(near(246, 546, 'R'));
        EXPECT_TRUE(near(254, 546, 'R'));
        EXPECT_COLOUR(240, 550, '.');
        EXPECT_COLOUR(258, 550, '.');
        EXPECT_COLOUR(250, 558, '.');
        // Between the strokes the background shows.
        EXPECT_COLOUR(253, 557, '.');
        EXPECT_COLOUR(256, 552, '.');
    }
    for (int32_t cycle : {0, 100, 499}) {
        bonusCycle = cycle;
        render();
        EXPECT_COLOUR(250, 550, '.') << "cycle " << cycle;
    }
}

TEST_F(Render, SidePanelShowsLengthDotsAndChargeStars) {
    render();
    for (int x = 942; x <= 990; x++) {
        for (int y = 600; y <= 736; y++) {
            char c = colourAt(x, y);
            ASSERT_TRUE(c == '.' || c == 'n')
                << "empty panel at length 7, 0 charges: (" << x << ", " << y << ") is " << c;
        }
    }

    serpentLength = 9;
    layRow(490, 390, 9);
    charges = 3;
    render();
    for (int y : {730, 720}) {
        for (int d = -2; d <= 2; d++) {
            EXPECT_COLOUR(950 + d, y - 2, 'W');
            EXPECT_COLOUR(950 + d, y + 2, 'W');
        }
        EXPECT_COLOUR(947, y, '.');
        EXPECT_COLOUR(953, y, '.');
    }
    EXPECT_COLOUR(950, 710, '.') << "no third dot";
    for (int y : {730, 720, 710}) {
        EXPECT_COLOUR(970, y, 'R');
        EXPECT_COLOUR(962, y, 'R');
        EXPECT_COLOUR(977, y, 'R');
        EXPECT_TRUE(near(974, y + 4, 'R'));
        EXPECT_TRUE(near(966, y - 4, 'R'));
        EXPECT_COLOUR(960, y, '.');
    }
    EXPECT_COLOUR(970, 700, '.') << "no fourth star";
    EXPECT_COLOUR(970, 702, 'R') << "the third star reaches 8 down";
}

TEST_F(Render, DeadHeadIsDrawnBeyondTheBorder) {
    layRow(30, 390, 7);
    render();
    expectOctagon(30, 390, 'R');
    expectOctagon(50, 390, 'Y');

    layRow(490, 750, 7); // above the top wall: only its lower half is inside the window
    render();
    EXPECT_COLOUR(490, 742, 'R');
    EXPECT_COLOUR(490, 749, 'R');
    EXPECT_COLOUR(490, 741, 'n') << "the border below it";
}

// The dots have no point size of their own: they take whatever size was set last, in the
// running game drawFood's from the frame before.
TEST_F(Render, SidePanelDotsTakeThePointSizeSetBefore) {
    layRow(490, 390, 9);
    for (int size : {3, 7}) {
        glClearColor(0.4f, 0.4f, 0.4f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glPointSize((float)size);
        drawSidePanel();
        capture(GL_BACK);
        int half = size / 2;
        EXPECT_COLOUR(950 - half, 730, 'W') << "size " << size;
        EXPECT_COLOUR(950 + half, 730, 'W') << "size " << size;
        EXPECT_COLOUR(950 - half - 1, 730, '.') << "size " << size;
        EXPECT_COLOUR(950 + half + 1, 730, '.') << "size " << size;
    }
}

// Resizes the window's client area through the platform, as a user's drag would; the kit
// passes the new size to the reshape handler.
void resizeClient(int width, int height) {
    RECT outer = {0, 0, width, height};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    RECT now;
    GetWindowRect(kitGetWindow(), &now);
    MoveWindow(kitGetWindow(), now.left, now.top, outer.right - outer.left,
               outer.bottom - outer.top, TRUE);
}

TEST_F(Render, ResizeKeepsTheFieldAnchoredBottomLeft) {
    obstacles[1][1] = 1;   // (60, 60) to (80, 80)
    obstacles[22][16] = 1; // (480, 360) to (500, 380): the top-right cell that fits
    kitSetReshapeHandler(reshapeView);
    resizeClient(500, 400);
    RECT client;
    ASSERT_TRUE(GetClientRect(kitGetWindow(), &client));
    EXPECT_EQ(client.right - client.left, 500);
    EXPECT_EQ(client.bottom - client.top, 400);
    EXPECT_EQ(windowWidth, 500) << "the kit passes the new size to reshapeView";
    EXPECT_EQ(windowHeight, 400);
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 500);
    EXPECT_EQ(viewport[3], 400);

    render();
    EXPECT_COLOUR(70, 70, 'n');
    EXPECT_COLOUR(490, 370, 'n');
    EXPECT_COLOUR(480, 360, 'n');
    EXPECT_COLOUR(477, 370, '.') << "left of (480, 360)";
    EXPECT_TRUE(colourAt(210, 39) == 'n' && colourAt(210, 41) == 'n') << "the border at y 40";
    expectOctagon(490, 390, 'R');
    EXPECT_COLOUR(499, 390, 'n') << "the grid line at x 500 at the right edge";
    EXPECT_COLOUR(497, 399, 'n') << "the grid line at y 400 at the top edge";

    // Back to the full size: the same cells in the same places, and the rest of the field.
    resizeClient(WIDTH, HEIGHT);
    EXPECT_EQ(windowWidth, WIDTH);
    render();
    EXPECT_COLOUR(70, 70, 'n');
    EXPECT_COLOUR(490, 370, 'n');
    expectOctagon(490, 390, 'R');
    expectOctagon(510, 390, 'Y');
    EXPECT_COLOUR(650, 550, 'W');
}

// The next draw of a relocation, without consuming the generator; the generator is moved on
// until that draw lands clear of the serpent's row, so that what shows there is the item alone.
Cell nextClearDraw(int32_t columns, int32_t firstX) {
    for (;;) {
        uint32_t saved = randomState;
        Cell cell;
        cell.x = nextRandom() % columns * 20 + firstX;
        cell.y = nextRandom() % 32 * 20 + 50;
        randomState = saved;
        if (cell.y != segments[1].y && !(cell.x == food.x && cell.y == food.y)) {
            return cell;
        }
        nextRandom();
    }
}

// The food, the bonus and the obstacles show as they were before the frame's rules: the food
// eaten and the bonus collected in a frame show in their old places, not yet in their new
// ones, and an obstacle broken in a frame still shows in it.
TEST_F(Render, FrameShowsItemsAsTheyWereBeforeItsRules) {
    bonusCycle = 200;
    movePhase = 1; // no move in the eating frame
    food = segments[1];
    Cell newFood = nextClearDraw(42, 50);
    frameStep();
    captureWindow();
    ASSERT_TRUE(food.x == newFood.x && food.y == newFood.y);
    EXPECT_COLOUR(newFood.x, newFood.y, '.') << "the relocated food shows a frame early";
    frameStep();
    captureWindow();
    EXPECT_COLOUR(newFood.x, newFood.y, 'W');

    food = Cell{650, 550};
    bonusCycle = 50;
    movePhase = 1;
    bonus = segments[1];
    Cell newBonus = nextClearDraw(37, 90);
    frameStep();
    captureWindow();
    ASSERT_EQ(charges, 1);
    ASSERT_TRUE(bonus.x == newBonus.x && bonus.y == newBonus.y);
    EXPECT_COLOUR(newBonus.x, newBonus.y, '.') << "the relocated bonus shows a frame early";
    frameStep();
    captureWindow();
    EXPECT_COLOUR(newBonus.x, newBonus.y, 'R');

    // Heading up from (490, 390) onto the obstacle at (490, 410) with a charge: the move
    // reaches it in one frame and the next frame breaks it. The cell's corners, outside the
    // head's octagon, show the obstacle in the breaking frame and not after.
    layRow(490, 390, 7);
    bonusCycle = 200;
    obstacles[22][18] = 1;
    charges = 1;
    movePhase = 0;
    frameStep();
    ASSERT_EQ(segments[1].y, 410);
    frameStep();
    captureWindow();
    ASSERT_EQ(obstacles[22][18], 0);
    EXPECT_COLOUR(482, 402, 'n') << "the broken obstacle is gone a frame early";
    EXPECT_COLOUR(498, 418, 'n');
    frameStep();
    captureWindow();
    EXPECT_COLOUR(482, 402, '.');
}

// frameStep itself on the virtual clock: the rules run between the drawing steps, so the food,
// the bonus and the obstacles show their state before the frame's rules and the serpent its
// state after the move.
TEST_F(Render, FrameStepDrawsBetweenItsRules) {
    bonusCycle = 99;
    bonus = Cell{250, 550};
    movePhase = 0;
    frameStep(); // shows the bonus, moves the head to (490, 410)
    captureWindow();
    EXPECT_COLOUR(250, 550, 'R');
    expectOctagon(490, 410, 'R');
    expectOctagon(490, 390, 'Y');

    frameStep(); // cycle 100: the bonus is inert and not drawn
    captureWindow();
    EXPECT_COLOUR(250, 550, '.');

    // The food under the head is drawn in the frame that eats it (under the head's octagon);
    // the new length dot shows from the next frame.
    food = segments[1];
    movePhase = 1;
    frameStep();
    captureWindow();
    EXPECT_EQ(serpentLength, 8);
    EXPECT_COLOUR(950, 730, '.');
    frameStep();
    captureWindow();
    EXPECT_COLOUR(950, 730, 'W');
    EXPECT_COLOUR(food.x, food.y, 'W') << "the relocated food";
}

} // namespace
