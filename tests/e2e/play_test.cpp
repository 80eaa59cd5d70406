// The real program under its own X server or Wayland compositor, or the web build's page in
// headless Chromium, driven only from outside: its pictures checked against the rules replayed
// with the keys it was sent, and the ways it ends.
#include "tests/e2e/checker.h"

#include "kit/kit.h"

#include "tests/support/wayland.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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

    // Captures until the picture matches, failing the test with the closest frame if not. The
    // test's own steps call it (and until) through ASSERT_NO_FATAL_FAILURE: a test that goes on
    // after a failed wait replays frames by the thousand for nothing.
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
    ASSERT_NO_FATAL_FAILURE(expectPicture());
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
    ASSERT_NO_FATAL_FAILURE(expectPicture());
    SeenCells start = seenNow();
    ASSERT_NO_FATAL_FAILURE(until(wellPastDeath, 60, "the serpent should die and lie still"));
    SeenCells dead = seenNow();
    EXPECT_EQ(dead.headX, start.headX) << "it climbs straight up";
    EXPECT_GT(dead.headY, start.headY);
    EXPECT_EQ(dead.heads, 1);
    // The picture stays as the rules say for a while after: every capture must match a frame
    // after the death, and the serpent lies where it died.
    double end = secondsNow() + 3;
    while (secondsNow() < end) {
        ASSERT_NO_FATAL_FAILURE(expectPicture(5));
        SeenCells now = seenNow();
        EXPECT_EQ(now.headX, dead.headX);
        EXPECT_EQ(now.headY, dead.headY);
        EXPECT_EQ(now.bodies, dead.bodies);
        pause(0.1);
    }
    // Held by a pointer that frees itself: a failed step returns early.
    std::unique_ptr<GameSnapshot> state(new GameSnapshot);
    shownState(watch, state.get());
    EXPECT_EQ(state->gameOver, 1);
}

TEST_F(Play, ArrowKeysTurnItAndAReversalIsIgnored) {
    ASSERT_NO_FATAL_FAILURE(expectPicture());
    // Held by a pointer that frees itself: a failed step returns early.
    std::unique_ptr<GameSnapshot> state(new GameSnapshot);

    shownState(watch, state.get());
    turnFrom = state->segments[1];
    sendGameKey(&watch, KIT_KEY_LEFT);
    ASSERT_NO_FATAL_FAILURE(until(headTwoCellsLeft, 20, "the serpent should turn left"));
    SeenCells seen = seenNow();
    EXPECT_LT(seen.headX, turnFrom.x);

    // Right while heading left is a reversal: ignored.
    shownState(watch, state.get());
    turnFrom = state->segments[1];
    sendGameKey(&watch, KIT_KEY_RIGHT);
    ASSERT_NO_FATAL_FAILURE(
        until(headTwoCellsLeft, 20, "right while heading left should be ignored"));

    shownState(watch, state.get());
    turnFrom = state->segments[1];
    sendGameKey(&watch, KIT_KEY_DOWN);
    ASSERT_NO_FATAL_FAILURE(until(headTwoCellsDown, 20, "the serpent should turn down"));
    seen = seenNow();
    shownState(watch, state.get());
    // Keys that land a frame later (wtype starts a process per key) may steer the head onto
    // the obstacle below; the replay has checked that picture too.
    if (state->gameOver == 0) {
        EXPECT_LT(seen.headY, turnFrom.y);
    }

    shownState(watch, state.get());
    turnFrom = state->segments[1];
    sendGameKey(&watch, KIT_KEY_RIGHT);
    ASSERT_NO_FATAL_FAILURE(until(headTwoCellsRight, 20, "the serpent should turn right"));
    seen = seenNow();
    shownState(watch, state.get());
    // On a slow machine the keys land later and the path may end on an obstacle: the replay
    // has checked every picture either way.
    if (state->gameOver == 0) {
        EXPECT_GT(seen.headX, turnFrom.x);
    }
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
    ASSERT_NO_FATAL_FAILURE(expectPicture());
    // Let the first game end, then start the next one with n.
    ASSERT_NO_FATAL_FAILURE(until(isOver, 60, "the first game should end"));
    std::vector<uint8_t> first, second, third;
    ASSERT_EQ(observe(&watch, &first), OBSERVED_MATCH) << watch.lastProblem;
    // A new game can end within a few moves (its serpent may start facing an obstacle), before
    // a capture on a busy machine sees it running: the checks are that the key landed, which
    // in every history lays out a new game, and that the window shows a new layout.
    sendGameKey(&watch, 'n');
    ASSERT_NO_FATAL_FAILURE(until(keysLanded, 10, "n should start a new game"));
    ASSERT_EQ(observe(&watch, &second), OBSERVED_MATCH) << watch.lastProblem;
    EXPECT_NE(obstacleCells(first), obstacleCells(second)) << "a new layout after n";
    EXPECT_EQ(readCells(second).heads, 1);

    // N in the middle of a running game discards it for another layout.
    sendGameKey(&watch, 'N');
    ASSERT_NO_FATAL_FAILURE(until(keysLanded, 10, "N should start another game"));
    ASSERT_EQ(observe(&watch, &third), OBSERVED_MATCH) << watch.lastProblem;
    EXPECT_NE(obstacleCells(second), obstacleCells(third)) << "a new layout after N";
}

TEST_F(Play, EscapeEndsTheProgramWithCodeZero) {
    ASSERT_NO_FATAL_FAILURE(expectPicture());
    pressKey(program, XK_Escape);
    ASSERT_TRUE(waitForExit(&program, 15)) << "still running after Escape";
    EXPECT_EQ(program.exitCode, 0) << errorText(program);
}

TEST_F(Play, TheCloseBoxEndsTheProgramWithCodeZero) {
    ASSERT_NO_FATAL_FAILURE(expectPicture());
    sendCloseBox(program);
    ASSERT_TRUE(waitForExit(&program, 15)) << "still running after the close box";
    EXPECT_EQ(program.exitCode, 0) << errorText(program);
}

// Fullscreen given by the compositor and taken back: the window returns to the size it had, so
// the whole field shows again, also after quick toggles that the compositor configures faster
// than the program draws.
TEST_F(Play, LeavingFullscreenShowsTheWholeFieldAgain) {
    if (!onWayland()) {
        GTEST_SKIP() << "a compositor's fullscreen; the X server here has no window manager";
    }
    ASSERT_NO_FATAL_FAILURE(expectPicture());
    int x = 0, y = 0, width = 0, height = 0;
    auto sized = [&](int w, int h) {
        return waitUntil(
            [&] {
                return swayWindowRect("wrendle", &x, &y, &width, &height) && width == w &&
                       height == h;
            },
            10);
    };
    ASSERT_TRUE(swayCommand("wrendle", {"fullscreen", "enable"}));
    ASSERT_TRUE(sized(1280, 1024)) << "fullscreen: " << width << " x " << height;
    ASSERT_TRUE(swayCommand("wrendle", {"fullscreen", "disable"}));
    ASSERT_TRUE(sized(1000, 750)) << "after fullscreen: " << width << " x " << height;
    movePointer(program, 1060, 810);
    std::string field;
    EXPECT_TRUE(waitUntil([&] { return (field = wholeFieldProblems(program)).empty(); }, 10))
        << field;
    ASSERT_NO_FATAL_FAILURE(expectPicture());

    for (int i = 0; i < 10; i++) {
        ASSERT_TRUE(swayCommand("wrendle", {"fullscreen", "toggle"}));
    }
    ASSERT_TRUE(sized(1000, 750)) << "after ten toggles: " << width << " x " << height;
    swayCentre("wrendle");
    movePointer(program, 1060, 810);
    EXPECT_TRUE(waitUntil([&] { return (field = wholeFieldProblems(program)).empty(); }, 10))
        << field;
    ASSERT_NO_FATAL_FAILURE(expectPicture());
}

// On a touch screen a swipe steers as the arrow key of its direction does.
TEST_F(Play, ASwipeTurnsItAsItsArrowKeyDoes) {
    if (!onWeb()) {
        GTEST_SKIP() << "touches reach the web build's page only";
    }
    ASSERT_NO_FATAL_FAILURE(expectPicture());
    // Held by a pointer that frees itself: a failed step returns early.
    std::unique_ptr<GameSnapshot> state(new GameSnapshot);
    shownState(watch, state.get());
    turnFrom = state->segments[1];
    sendGameKey(&watch, KIT_KEY_LEFT, true);
    ASSERT_NO_FATAL_FAILURE(
        until(headTwoCellsLeft, 20, "a left swipe should turn the serpent left"));
    EXPECT_LT(seenNow().headX, turnFrom.x);

    shownState(watch, state.get());
    turnFrom = state->segments[1];
    sendGameKey(&watch, KIT_KEY_DOWN, true);
    ASSERT_NO_FATAL_FAILURE(
        until(headTwoCellsDown, 20, "a downward swipe should turn the serpent down"));
}

TEST(PlayWithoutDisplay, ReportsAndEndsWithinASecond) {
    if (onWeb()) {
        GTEST_SKIP() << "a page has no display to be without";
    }
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

// A Unix socket at `path`: listening (a compositor that accepts and never answers) or closed
// at once (one that has gone, leaving its socket file). -1 for the closed one, or on failure.
int unixSocketAt(const std::string& path, bool listening) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof(address.sun_path)) {
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    bool made = bind(fd, (const sockaddr*)&address, sizeof(address)) == 0 &&
                (!listening || listen(fd, 4) == 0);
    if (!made || !listening) {
        close(fd);
        return -1;
    }
    return fd;
}

// A Wayland display that the environment names but that cannot be used is named, with why, and
// X11 is named as tried next; then the kit's own report. Each line carries the program's name, the
// program ends with a failure code and none of them hangs (a compositor that never answers is
// given up within its five seconds).
TEST(PlayWithoutDisplay, AnUnusableWaylandDisplayIsNamedWithWhyAndX11Next) {
    if (onWayland() || onWeb()) {
        GTEST_SKIP() << "needs no display; runs once, beside the X11 run";
    }
    char pattern[] = "/tmp/wrendle-wl-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string runtime = pattern;
    ASSERT_EQ(close(open((runtime + "/a-file").c_str(), O_CREAT | O_WRONLY, 0600)), 0);
    ASSERT_EQ(mkdir((runtime + "/a-folder").c_str(), 0700), 0);
    unixSocketAt(runtime + "/gone", false);
    int silent = unixSocketAt(runtime + "/silent", true);
    ASSERT_GE(silent, 0);
    struct Case {
        std::vector<std::string> env;
        std::string firstLine; // after the program's name
        double seconds;        // it must have ended by then
    };
    const std::string named = "cannot use the Wayland display ";
    const Case cases[] = {
        {{"WAYLAND_DISPLAY=nowhere"},
         named + "\"nowhere\" (" + runtime + "/nowhere): no such socket; trying X11",
         2},
        {{"WAYLAND_DISPLAY=a-file"},
         named + "\"a-file\" (" + runtime + "/a-file): not a socket; trying X11",
         2},
        {{"WAYLAND_DISPLAY=" + runtime + "/a-folder"},
         named + "\"" + runtime + "/a-folder\" (" + runtime +
             "/a-folder): a directory, not a socket; trying X11",
         2},
        {{"WAYLAND_DISPLAY=gone"},
         named + "\"gone\" (" + runtime + "/gone): nothing listens on the socket; trying X11",
         2},
        {{"WAYLAND_DISPLAY=silent"},
         named + "\"silent\" (" + runtime +
             "/silent): no answer from the compositor within 5 seconds; trying X11",
         9},
        // Standard error is the program's error file here, not a socket: libwayland would take
        // it as its connection and close it, and nothing would be said at all.
        {{"WAYLAND_DISPLAY=gone", "WAYLAND_SOCKET=2"},
         "cannot use the Wayland socket WAYLAND_SOCKET=2: the descriptor is not a socket; trying "
         "X11",
         2},
        {{"WAYLAND_DISPLAY=gone", "XDG_RUNTIME_DIR="},
         named + "\"gone\": XDG_RUNTIME_DIR is not set, so it cannot be found; trying X11",
         2},
    };
    const std::string name = "wrendle: ";
    for (const Case& c : cases) {
        std::vector<std::string> env = {"DISPLAY", "WAYLAND_SOCKET", "XDG_RUNTIME_DIR=" + runtime};
        env.insert(env.end(), c.env.begin(), c.env.end());
        Program program;
        ASSERT_TRUE(launch(&program, nullptr, env));
        bool ended = waitForExit(&program, c.seconds);
        std::string text = errorText(program);
        if (!ended) {
            stopProgram(&program);
        }
        releaseProgram(&program);
        EXPECT_TRUE(ended) << c.env.back() << ": still running after " << c.seconds << " s";
        EXPECT_EQ(program.exitCode, 1) << c.env.back();
        EXPECT_EQ(text, name + c.firstLine + "\n" + name +
                            "cannot open display: DISPLAY is not set\n" + name +
                            "Error: create window failed\n")
            << c.env.back();
    }
    close(silent);
    for (const char* entry : {"/a-file", "/gone", "/silent"}) {
        unlink((runtime + entry).c_str());
    }
    rmdir((runtime + "/a-folder").c_str());
    rmdir(runtime.c_str());
}

} // namespace
