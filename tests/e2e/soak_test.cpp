// A minute of random input on the real program: keys, pointer motion, clicks, resizes and
// moves of its window. It must keep running, still draw a valid picture, start a new game on n
// that the rules can produce, end with code 0 on Escape and leave a clean leak report. Built
// twice: e2e_soak on an X server, e2e_soak_wayland under a Wayland compositor, where another
// client cannot move a window (nor can the program itself), so there the window is only resized.
#include "tests/e2e/checker.h"
#include "tests/support/wayland.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

const unsigned long SOAK_KEYS[] = {
    XK_Left,      XK_Right, XK_Up,   XK_Down,      XK_n,      XK_a,      XK_z,
    XK_q,         XK_w,     XK_e,    XK_Q,         XK_0,      XK_5,      XK_9,
    XK_F1,        XK_F5,    XK_F10,  XK_F12,       XK_Tab,    XK_Return, XK_space,
    XK_BackSpace, XK_comma, XK_Home, XK_Page_Down, XK_Insert, XK_KP_Add};

struct NewGameSearch {
    std::vector<uint32_t> states; // states[i]: the generator before its (i+1)-th value
};

uint32_t stepState(uint32_t s) {
    return s * 214013u + 2531011u;
}
int valueOf(uint32_t after) {
    return (int)((after >> 16) & 32767u);
}

// Samples in a colour the game never draws: something else covers the window there.
std::string unexpectedShades(const std::vector<uint8_t>& shades) {
    const std::vector<Sample>& list = samples();
    int count = 0;
    std::string first;
    for (size_t i = 0; i < list.size() && i < shades.size(); i++) {
        if (shades[i] == SHADE_OTHER) {
            if (count++ == 0) {
                first = " (" + std::to_string(list[i].x) + ", " + std::to_string(list[i].y) + ")";
            }
        }
    }
    return count == 0 ? std::string()
                      : ", " + std::to_string(count) +
                            " sample(s) in no colour of the game, as at" + first;
}

// What a captured picture holds, for a failure's message.
std::string describeCells(const std::vector<uint8_t>& shades) {
    SeenCells seen = readCells(shades);
    return std::to_string(seen.heads) + " head(s) at (" + std::to_string(seen.headX) + ", " +
           std::to_string(seen.headY) + "), " + std::to_string(seen.bodies) + " body cell(s), " +
           std::to_string(seen.obstacles) + " obstacle(s), " + std::to_string(seen.food) +
           " food, " + std::to_string(seen.bonus) + " bonus, " + std::to_string(seen.dots) +
           " dot(s), " + std::to_string(seen.stars) + " star(s)" + unexpectedShades(shades);
}

// True when some new game, laid out from some point of the generator's one sequence after a game
// of length `lengthBefore` (or a little more), shows the captured picture in one of its first
// frames, whatever the bonus cycle and move phase were when n landed.
bool newGameExplains(const std::vector<uint8_t>& shades, int lengthBefore, size_t draws,
                     int mostFrames, std::string* found) {
    SeenCells seen = readCells(shades);
    // A colour the game never draws matches no frame: the search would only take minutes to say
    // so.
    if (seen.heads != 1 || seen.dots != 0 || seen.stars != 0 || !unexpectedShades(shades).empty()) {
        return false;
    }
    std::vector<uint32_t> states(draws + 8);
    states[0] = 1;
    for (size_t i = 1; i < states.size(); i++) {
        states[i] = stepState(states[i - 1]);
    }
    bool ok = false;
    for (size_t i = 0; i + 6 < states.size() && !ok; i++) {
        int a = valueOf(states[i + 1]) % 20, b = valueOf(states[i + 2]) % 15;
        int d = valueOf(states[i + 3]) % 3 + 1;
        d = d == 3 ? 4 : d;
        int foodX = valueOf(states[i + 4]) % 42 * 20 + 50;
        int foodY = valueOf(states[i + 5]) % 32 * 20 + 50;
        if (seen.food == 1 && (seen.foodX != foodX || seen.foodY != foodY)) {
            continue;
        }
        int x0 = 20 * a + 370, y0 = 20 * b + 150;
        int dx = seen.headX - x0, dy = seen.headY - y0;
        bool onPath = (d == 1 && dy == 0 && dx <= 0 && dx >= -400) ||
                      (d == 2 && dx == 0 && dy >= 0 && dy <= 400) ||
                      (d == 4 && dx == 0 && dy <= 0 && dy >= -400);
        if (!onPath) {
            continue;
        }
        for (int length = lengthBefore; length <= lengthBefore + 3 && !ok; length++) {
            for (int phase = 0; phase < 2 && !ok; phase++) {
                for (int cycle = 0; cycle < 500 && !ok; cycle++) {
                    resetGameState();
                    randomState = states[i];
                    serpentLength = length;
                    gameOver = 1;
                    charges = 3;
                    movePhase = phase;
                    bonusCycle = cycle;
                    onKeyNewGame();
                    for (int frame = 0; frame <= mostFrames; frame++) {
                        Picture p = stepFrame();
                        if (countDifferences(shades, p) == 0) {
                            ok = true;
                            *found = "generator value " + std::to_string(i) + ", previous length " +
                                     std::to_string(length) + ", bonus cycle " +
                                     std::to_string(cycle) + ", frame " + std::to_string(frame);
                            break;
                        }
                    }
                }
            }
        }
    }
    return ok;
}

TEST(Soak, AMinuteOfRandomInputLeavesItWorkingAndLeakFree) {
    Program program;
    ASSERT_TRUE(launch(&program)) << programCommand();
    ASSERT_TRUE(waitForWindow(&program, 30)) << errorText(program);
    int homeX, homeY, width, height;
    ASSERT_TRUE(windowGeometry(program, &homeX, &homeY, &width, &height));

    const char* seedText = getenv("WRENDLE_SOAK_SEED");
    unsigned seed = seedText != nullptr ? (unsigned)strtoul(seedText, nullptr, 10)
                                        : (unsigned)std::random_device{}();
    printf("soak seed %u (WRENDLE_SOAK_SEED repeats it)\n", seed);
    std::mt19937 random(seed);
    auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };

    int newGames = 0;
    double end = secondsNow() + 60;
    double nextAliveCheck = 0;
    unsigned held = 0;
    while (secondsNow() < end) {
        int action = pick(0, 99);
        if (action < 55) {
            unsigned long key = SOAK_KEYS[pick(0, sizeof SOAK_KEYS / sizeof SOAK_KEYS[0] - 1)];
            bool shift = pick(0, 3) == 0;
            newGames += key == XK_n;
            pressKey(program, key, shift);
        } else if (action < 75) {
            movePointer(program, pick(-50, 1100), pick(-50, 850));
        } else if (action < 85) {
            // Presses and releases, sometimes with another button held across them.
            unsigned button = (unsigned)pick(1, 3);
            if (held == 0 && pick(0, 2) == 0) {
                held = button;
                setButton(program, held, true);
            } else {
                clickButton(program, button);
                if (held != 0) {
                    setButton(program, held, false);
                    held = 0;
                }
            }
        } else if (action < 95 || onWayland()) {
            resizeWindow(program, pick(1, 1300), pick(1, 1000));
        } else {
            moveResizeWindow(program, pick(-300, 900), pick(-300, 700), pick(1, 1300),
                             pick(1, 1000));
        }
        if (secondsNow() >= nextAliveCheck) {
            ASSERT_FALSE(waitForExit(&program, 0))
                << "the program ended (code " << program.exitCode << "):\n"
                << errorText(program);
            nextAliveCheck = secondsNow() + 1;
        }
        pause(0.005 * pick(1, 8));
    }
    if (held != 0) {
        setButton(program, held, false);
    }
    // Back to where and how it started, so the whole field is on the screen.
    if (onWayland()) {
        resizeWindow(program, width, height);
    } else {
        moveResizeWindow(program, homeX, homeY, width, height);
    }
    // A click on the desktop beside the window took the keyboard from it on Wayland (the X
    // server has no window manager to do that): it is given back, as a click on it would. A
    // large size may also have left the window partly beyond the output, where no screenshot
    // reaches: it is put back in the middle, as a user would drag it (a client cannot).
    //
    // The compositor also draws the pointer into its screenshots (an X server's images never hold
    // it), and the minute may have left it over the field, where it hides a sample's colour: it
    // is moved off the window, beyond its lower right corner, which the centring leaves on the
    // output.
    if (onWayland()) {
        swayCentre("wrendle");
        swayFocus("wrendle");
        movePointer(program, width + 60, height + 60);
    }
    pause(0.5);
    ASSERT_FALSE(waitForExit(&program, 0)) << errorText(program);

    std::string field = wholeFieldProblems(program);
    EXPECT_TRUE(field.empty()) << field;

    // A new game on n, shown within a second, that the rules can lay out.
    std::vector<uint8_t> shades;
    bool drawn = false;
    ASSERT_TRUE(captureShades(program, &shades, &drawn) && drawn);
    int lengthBefore = 7 + readCells(shades).dots;
    std::string before = describeCells(shades);
    pressKey(program, XK_n);
    double pressed = secondsNow();
    std::vector<std::vector<uint8_t>> shown;
    std::vector<int> mostFrames; // frames the new game can have run by each capture
    while (secondsNow() - pressed < 1.0) {
        int most = 4 + 2 * (int)((secondsNow() - pressed) * 1000.0 / 82.0);
        if (captureShades(program, &shades, &drawn) && drawn) {
            shown.push_back(shades);
            mostFrames.push_back(most);
        }
        pause(0.1);
    }
    size_t draws = (size_t)(newGames + 4) * 1425 + 200000;
    std::string how;
    bool explained = false;
    for (size_t i = shown.size(); i-- > 0 && !explained;) {
        explained = newGameExplains(shown[i], lengthBefore, draws, mostFrames[i], &how);
    }
    EXPECT_TRUE(explained) << "no new game the rules can lay out shows what the window showed "
                              "in the second after n ("
                           << shown.size() << " captures)\nbefore n: " << before
                           << "\nlast after n: "
                           << (shown.empty() ? std::string("none") : describeCells(shown.back()))
                           << "\n"
                           << errorText(program);
    if (explained) {
        printf("new game found: %s\n", how.c_str());
    }

    pressKey(program, XK_Escape);
    ASSERT_TRUE(waitForExit(&program, 20)) << "still running after Escape";
    std::string errors = errorText(program);
    EXPECT_EQ(program.exitCode, 0) << errors;
    EXPECT_EQ(errors.find("LeakSanitizer"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("AddressSanitizer"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
    releaseProgram(&program);
}

} // namespace
