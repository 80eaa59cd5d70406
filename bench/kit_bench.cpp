// Wrendle's own libraries timed from a benchmark program (nothing is added to the product):
//   bench_kit work N      N frames of the first game on the virtual clock in a real kit
//                         window, each ended with glFinish; prints the median frame in us
//                         (in the browser: on the real clock, each frame's previous tick put
//                         a period back so that it does not sleep, and each drawn in an
//                         animation frame of its own, so that it is presented before the next)
//   bench_kit pace M      the real loop on the real clock, steered so the serpent lives, until
//                         M moves; prints, in ms, the mean move interval, the mean w_loop of the
//                         same moves, the 99th percentile of |interval - (83 + w_loop)|, and the
//                         number of moves whose frame did not sleep
//   bench_kit pace M trace   the same, each move's figures on standard error
//   bench_kit loop S      an empty idle handler on an open kit window for S seconds; prints
//                         idle calls per second
// The web build makes it too (index.html?program=bench_kit&args=work,100: bench/page_args.h);
// the browser has no test controls, so no virtual clock.
#include "game/state.h"
#include "kit/kit.h"
#include "platform/gl.h"
#ifdef __EMSCRIPTEN__
#include "bench/page_args.h"
#else
#include "platform/testctl.h"
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

double secondsNow(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

#ifdef __EMSCRIPTEN__
// Yields to the browser until the next animation frame has begun: the frame drawn before is
// presented with it.
// clang-format off
EM_ASYNC_JS(void, nextAnimationFrame, (void), {
    await new Promise(function(resolve) { requestAnimationFrame(function() { resolve(); }); });
});
// clang-format on
#endif

bool openGameWindow(void) {
    kitSetWindowRect(-10, -8, 1000, 750);
    kitSetDisplayMode(KIT_DOUBLE + KIT_DEPTH16);
    return kitOpenWindow("<<Wrendle>> benchmark") == 1;
}

// --- pace ----------------------------------------------------------------------------------
const uint32_t FRAME_PERIOD_MS = 83; // the frame step's own period, to predict its sleep

int movesWanted = 0;
bool moveTimeKnown = false; // false until the first move of a game
double lastMoveTime = 0;
double lastFrameMs = 0; // the whole previous frame, its sleep included
double lastSleepMs = 0;
std::vector<double> intervals;
std::vector<double> pairWork;     // w_loop of each interval's pair
std::vector<double> moverSleep;   // the sleep the moving frame asked for
std::vector<double> earlierSleep; // and the frame before it
bool traceMoves = false;          // a page has no environment: pace M trace

bool blocked(Cell c) {
    if (c.x < 50 || c.x > 930 || c.y < 50 || c.y > 730) {
        return true;
    }
    for (int k = 2; k < serpentLength; k++) { // the tail moves away this move
        if (segments[k].x == c.x && segments[k].y == c.y) {
            return true;
        }
    }
    int i = (c.x - 50) / 20, j = (c.y - 50) / 20;
    return i >= 1 && i <= 43 && j >= 1 && j <= 33 && obstacles[i][j] == 1;
}

Cell ahead(int heading) {
    Cell c = segments[1];
    c.x += heading == 1 ? -20 : heading == 3 ? 20 : 0;
    c.y += heading == 2 ? 20 : heading == 4 ? -20 : 0;
    return c;
}

// Keeps the serpent alive through the game's own key handlers: turn before a wall, an obstacle
// or its body; when trapped, let it die and start a new game.
void steer(void) {
    if (gameOver == 1) {
        onKeyNewGame();
        moveTimeKnown = false; // no interval spans two games
        return;
    }
    if (movePhase != 0 || !blocked(ahead(direction))) {
        return;
    }
    int turns[2] = {direction % 2 == 1 ? 2 : 1, direction % 2 == 1 ? 4 : 3};
    if (rand() % 2 == 1) {
        std::swap(turns[0], turns[1]);
    }
    for (int t : turns) {
        if (!blocked(ahead(t))) {
            void (*keys[5])(void) = {nullptr, onKeyLeft, onKeyUp, onKeyRight, onKeyDown};
            keys[t]();
            return;
        }
    }
}

// Every frame, from the idle handler or a repaint, runs through here. The frame's own work in
// the real loop is the time of the frameStep call minus the sleep it asked for, so a late
// wake-up counts as work. The sleep is worked out as the frame step does; its tick is the one
// it stored, not a second reading that could already be a millisecond later.
void paceFrame(void) {
    Cell before = segments[1];
    uint32_t previousTick = lastFrameTick;
    double started = secondsNow();
    frameStep();
    double ended = secondsNow();
    uint32_t elapsed = lastFrameTick - previousTick;
    double sleepMs = elapsed < FRAME_PERIOD_MS ? (double)(FRAME_PERIOD_MS - elapsed) : 0.0;
    double frameMs = (ended - started) * 1000.0;
    double workMs = frameMs - sleepMs;

    if (gameOver == 0 && (segments[1].x != before.x || segments[1].y != before.y)) {
        if (moveTimeKnown && (int)intervals.size() < movesWanted) {
            // A moving frame that slept ends 83 ms after the previous frame started, plus its
            // own work, whether or not that frame slept. One that could not sleep follows a
            // frame that ran past 83 ms (sleep and work), and that overrun is work as well.
            double overrun =
                sleepMs > 0 ? 0.0 : std::max(0.0, lastFrameMs - (double)FRAME_PERIOD_MS);
            intervals.push_back((ended - lastMoveTime) * 1000.0);
            pairWork.push_back(workMs + overrun);
            moverSleep.push_back(sleepMs);
            earlierSleep.push_back(lastSleepMs);
        }
        lastMoveTime = ended;
        moveTimeKnown = true;
    }
    lastFrameMs = frameMs;
    lastSleepMs = sleepMs;
}

void paceReport(void) {
    bool trace = getenv("WRENDLE_BENCH_TRACE") != nullptr || traceMoves;
    double intervalSum = 0, workSum = 0;
    int notSlept = 0;
    std::vector<double> deviation;
    for (size_t i = 0; i < intervals.size(); i++) {
        intervalSum += intervals[i];
        workSum += pairWork[i];
        notSlept += moverSleep[i] > 0 ? 0 : 1;
        deviation.push_back(std::fabs(intervals[i] - ((double)FRAME_PERIOD_MS + pairWork[i])));
        if (trace) {
            fprintf(stderr, "interval %.3f w_loop %.3f sleeps %.0f %.0f\n", intervals[i],
                    pairWork[i], earlierSleep[i], moverSleep[i]);
        }
    }
    std::sort(deviation.begin(), deviation.end());
    size_t p99 = (size_t)std::ceil(0.99 * (double)deviation.size()) - 1;
    double n = (double)intervals.size();
    printf("%.3f %.3f %.3f %d\n", intervalSum / n, workSum / n, deviation[p99], notSlept);
    fflush(stdout);
}

void paceIdle(void) {
    steer();
    paceFrame();
    if ((int)intervals.size() >= movesWanted) {
        paceReport();
        kitQuit();
    }
}

// --- loop ----------------------------------------------------------------------------------
double loopEnd = 0, loopStart = 0;
unsigned long idleCalls = 0;

void countIdle(void) {
    idleCalls++;
    if ((idleCalls & 1023) == 0 && secondsNow() >= loopEnd) {
        printf("%.0f\n", (double)idleCalls / (secondsNow() - loopStart));
        fflush(stdout);
        kitQuit();
    }
}

} // namespace

int main(int argc, char** argv) {
#ifdef __EMSCRIPTEN__
    pageArguments(&argc, &argv);
#endif
    if (argc < 3) {
        fprintf(stderr, "usage: bench_kit work N | pace MOVES | loop SECONDS\n");
        return 2;
    }
    kitSetMessageBoxes(0);
    if (!openGameWindow()) {
        fprintf(stderr, "bench_kit: no window\n");
        return 1;
    }
    if (strcmp(argv[1], "work") == 0) {
        int n = atoi(argv[2]);
#ifndef __EMSCRIPTEN__
        testUseVirtualClock();
#endif
        setupGame();
        reshapeView(1000, 750);
        std::vector<double> times;
        for (int i = 0; i < n; i++) {
#ifdef __EMSCRIPTEN__
            nextAnimationFrame();
            // A period since the previous frame: the frame step does not sleep.
            lastFrameTick = GetTickCount() - FRAME_PERIOD_MS;
#endif
            double t0 = secondsNow();
            frameStep(); // its sleep advances the virtual clock only
            glFinish();
            times.push_back(secondsNow() - t0);
        }
        std::sort(times.begin(), times.end());
        printf("%.1f\n", times[times.size() / 2] * 1e6);
        return 0;
    }
    if (strcmp(argv[1], "pace") == 0) {
        movesWanted = std::max(1, atoi(argv[2]));
        traceMoves = argc >= 4 && strcmp(argv[3], "trace") == 0;
        intervals.reserve((size_t)movesWanted); // no allocation while the loop runs
        pairWork.reserve((size_t)movesWanted);
        moverSleep.reserve((size_t)movesWanted);
        earlierSleep.reserve((size_t)movesWanted);
        setupGame();
        kitSetIdleHandler(paceIdle);
        kitSetReshapeHandler(reshapeView);
        kitRun(paceFrame);
        return 0;
    }
    if (strcmp(argv[1], "loop") == 0) {
        loopStart = secondsNow();
        loopEnd = loopStart + atof(argv[2]);
        kitSetIdleHandler(countIdle);
        kitRun(nullptr);
        return 0;
    }
    return 2;
}
