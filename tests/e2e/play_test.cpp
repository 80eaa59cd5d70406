// The real program under its own X server or Wayland compositor, driven only from outside: its
// pictures checked against the rules replayed with the keys it was sent, and the ways it ends.
#include "tests/e2e/checker.h"

#include "kit/kit.h"

#include <gtest/gtest.h>

namespace {

// Generous for a sanitized build on a software renderer: a slow machine only makes the checks
// wait longer, never fail.
const double START_SECONDS = 30;

class Play : public ::testing::Test {
  protected:
    Program program;
    Watch watch;

    void SetUp() override {
        ASSERT_TRUE(launch(&program)) << "could not start " << programCommand();
        ASSERT_TRUE(waitForWindow(&program, START_SECONDS))
            << "no window appeared; standard error:\n"
            << errorText(program);
        startWatch(&watch, &program);
    }
    void TearDown() override {
        endWatch(&watch);
        releaseProgram(&program);
    }

    // Captures until the picture matches, failing the test with the closest frame if not.
    void expectPicture(double seconds = START_SECONDS) {
        ASSERT_TRUE(expectMatch(&watch, seconds)) << watch.lastProblem;
    }
    void until(bool (*condition)(const FrameFacts&, int), double seconds, const char* what) {
        ASSERT_TRUE(watchUntil(&watch, condition, seconds)) << what << ": " << watch.lastProblem;
    }
    SeenCells seenNow() {
        std::vector<uint8_t> shades;
        bool drawn = false;
        EXPECT_TRUE(captureShades(program, &shades, &drawn) && drawn);
        return readCells(shades);
    }
};

// Where the head was when the last turn was asked for, for the conditions below.
Cell turnFrom;

bool headTwoCellsLeft(const FrameFacts& s, int) {
    return s.gameOver == 1 || s.head.x <= turnFrom.x - 40;
}
bool headTwoCellsDown(const FrameFacts& s, int) {
    return s.gameOver == 1 || s.head.y <= turnFrom.y - 40;
}
bool headTwoCellsRight(const FrameFacts& s, int) {
    return s.gameOver == 1 || s.head.x >= turnFrom.x + 40;
}
bool isOver(const FrameFacts& s, int) {
    return s.gameOver == 1;
}
// Any frame: watchUntil then waits only until every history has landed the keys sent.
bool keysLanded(const FrameFacts&, int) {
    return true;
}

int deathFrame; // first frame of the unattended game that shows it over
bool wellPastDeath(const FrameFacts& s, int frame) {
    return s.gameOver == 1 && frame >= deathFrame + 6;
}

TEST_F(Play, FirstFrameShowsTheFirstGame) {
    expectPicture();
    // Beyond the replay: the first game as it is known to be laid out, read off the screen.
    std::vector<uint8_t> shades;
    ASSERT_EQ(observe(&watch, &shades), OBSERVED_MATCH) << watch.lastProblem;
    if (shownFrame(watch) < 20) {
        SeenCells seen = readCells(shades);
        EXPECT_EQ(seen.obstacles, 79);
        EXPECT_EQ(seen.food, 1);
        EXPECT_EQ(seen.foodX, 850);
        EXPECT_EQ(seen.foodY, 70);
        EXPECT_EQ(seen.heads, 1);
        EXPECT_EQ(seen.headX, 390);
        EXPECT_GT(seen.headY, 190);
        EXPECT_EQ(seen.bodies, 6);
        EXPECT_EQ(seen.dots, 0);
        EXPECT_EQ(seen.stars, 0);
    }
}

TEST_F(Play, LeftAloneTheSerpentClimbsToItsDeathAndThePictureHolds) {
    // When the unattended first game ends, from the replay.
    Timeline* alone = newTimeline();
    for (deathFrame = 0; deathFrame < 3000; deathFrame++) {
        extendTimeline(alone, deathFrame);
        loadGame(*alone->state);
        if (gameOver == 1) {
            break;
        }
    }
    freeTimeline(alone);
    ASSERT_LT(deathFrame, 3000);
    expectPicture();
    SeenCells start = seenNow();
    until(wellPastDeath, 60, "the serpent should die and lie still");
    SeenCells dead = seenNow();
    EXPECT_EQ(dead.headX, start.headX) << "it climbs straight up";
    EXPECT_GT(dead.headY, start.headY);
    EXPECT_EQ(dead.heads, 1);
    // The picture stays as the rules say for a while after: every capture must match a frame
    // after the death, and the serpent lies where it died.
    double end = secondsNow() + 3;
    while (secondsNow() < end) {
        expectPicture(5);
        SeenCells now = seenNow();
        EXPECT_EQ(now.headX, dead.headX);
        EXPECT_EQ(now.headY, dead.headY);
        EXPECT_EQ(now.bodies, dead.bodies);
        pause(0.1);
    }
    GameSnapshot* state = new GameSnapshot;
    shownState(watch, state);
    EXPECT_EQ(state->gameOver, 1);
    delete state;
}

TEST_F(Play, ArrowKeysTurnItAndAReversalIsIgnored) {
    expectPicture();
    GameSnapshot* state = new GameSnapshot;

    shownState(watch, state);
    turnFrom = state->segments[1];
    sendGameKey(&watch, KIT_KEY_LEFT);
    until(headTwoCellsLeft, 20, "the serpent should turn left");
    SeenCells seen = seenNow();
    EXPECT_LT(seen.headX, turnFrom.x);

    // Right while heading left is a reversal: ignored.
    shownState(watch, state);
    turnFrom = state->segments[1];
    sendGameKey(&watch, KIT_KEY_RIGHT);
    until(headTwoCellsLeft, 20, "right while heading left should be ignored");

    shownState(watch, state);
    turnFrom = state->segments[1];
    sendGameKey(&watch, KIT_KEY_DOWN);
    until(headTwoCellsDown, 20, "the serpent should turn down");
    seen = seenNow();
    shownState(watch, state);
    // Keys that land a frame later (wtype starts a process per key) may steer the head onto
    // the obstacle below; the replay has checked that picture too.
    if (state->gameOver == 0) {
        EXPECT_LT(seen.headY, turnFrom.y);
    }

    shownState(watch, state);
    turnFrom = state->segments[1];
    sendGameKey(&watch, KIT_KEY_RIGHT);
    until(headTwoCellsRight, 20, "the serpent should turn right");
    seen = seenNow();
    shownState(watch, state);
    // On a slow machine the keys land later and the path may end on an obstacle: the replay
    // has checked every picture either way.
    if (state->gameOver == 0) {
        EXPECT_GT(seen.headX, turnFrom.x);
    }
    delete state;
}

// The cells that show an obstacle in a capture.
std::vector<int> obstacleCells(const std::vector<uint8_t>& shades) {
    std::vector<int> cells;
    const std::vector<Sample>& list = samples();
    for (size_t i = 0; i + 1 < shades.size(); i++) {
        if (list[i].what == 'c' && shades[i] == SHADE_NAVY && shades[i + 1] == SHADE_NAVY) {
            cells.push_back(list[i].cellX * 1000 + list[i].cellY);
        }
    }
    return cells;
}

TEST_F(Play, SmallAndCapitalNStartTheNextGame) {
    expectPicture();
    // Let the first game end, then start the next one with n.
    until(isOver, 60, "the first game should end");
    std::vector<uint8_t> first, second, third;
    ASSERT_EQ(observe(&watch, &first), OBSERVED_MATCH) << watch.lastProblem;
    // A new game can end within a few moves (its serpent may start facing an obstacle), before
    // a capture on a busy machine sees it running: the checks are that the key landed, which
    // in every history lays out a new game, and that the window shows a new layout.
    sendGameKey(&watch, 'n');
    until(keysLanded, 10, "n should start a new game");
    ASSERT_EQ(observe(&watch, &second), OBSERVED_MATCH) << watch.lastProblem;
    EXPECT_NE(obstacleCells(first), obstacleCells(second)) << "a new layout after n";
    EXPECT_EQ(readCells(second).heads, 1);

    // N in the middle of a running game discards it for another layout.
    sendGameKey(&watch, 'N');
    until(keysLanded, 10, "N should start another game");
    ASSERT_EQ(observe(&watch, &third), OBSERVED_MATCH) << watch.lastProblem;
    EXPECT_NE(obstacleCells(second), obstacleCells(third)) << "a new layout after N";
}

TEST_F(Play, EscapeEndsTheProgramWithCodeZero) {
    expectPicture();
    pressKey(program, XK_Escape);
    ASSERT_TRUE(waitForExit(&program, 15)) << "still running after Escape";
    EXPECT_EQ(program.exitCode, 0) << errorText(program);
}

TEST_F(Play, TheCloseBoxEndsTheProgramWithCodeZero) {
    expectPicture();
    sendCloseBox(program);
    ASSERT_TRUE(waitForExit(&program, 15)) << "still running after the close box";
    EXPECT_EQ(program.exitCode, 0) << errorText(program);
}

TEST(PlayWithoutDisplay, ReportsAndEndsWithinASecond) {
    Program program;
    // A display number no server listens on, and no Wayland compositor named.
    ASSERT_TRUE(launch(&program, ":97", {"WAYLAND_DISPLAY="}));
    bool ended = waitForExit(&program, 1.0);
    double took = secondsNow() - program.startedAt;
    std::string text = errorText(program);
    releaseProgram(&program);
    ASSERT_TRUE(ended) << "still running a second after start";
    EXPECT_LE(took, 1.0);
    EXPECT_NE(program.exitCode, 0);
    EXPECT_FALSE(text.empty()) << "nothing reported on standard error";
    // Which display could not be opened comes first, then the kit's own report.
    size_t named = text.find("cannot open display ':97'");
    EXPECT_NE(named, std::string::npos) << text;
    EXPECT_LT(named, text.find("Error: ")) << text;
}

} // namespace
