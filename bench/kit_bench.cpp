// Wrendle's own libraries timed from a benchmark program (nothing is added to the product):
//   bench_kit work N      N frames of the first game on the virtual clock in a real kit
//                         window, each ended with glFinish; prints the median frame in us
//   bench_kit pace M W    the real loop on the real clock, steered so the serpent lives, until
//                         M moves; prints the mean move interval and the 99th percentile of its
//                         deviation from 83 + W ms, in ms
//   bench_kit loop S      an empty idle handler on an open kit window for S seconds; prints
//                         idle calls per second
#include "game/state.h"
#include "kit/kit.h"
#include "platform/gl.h"
#include "platform/testctl.h"

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

bool openGameWindow(void) {
    kitSetWindowRect(-10, -8, 1000, 750);
    kitSetDisplayMode(KIT_DOUBLE + KIT_DEPTH16);
    return kitOpenWindow("<<Wrendle>> benchmark") == 1;
}

// --- pace ----------------------------------------------------------------------------------
int movesWanted = 0;
double expectedMs = 0;
std::vector<double> moveTimes;
std::vector<double> intervals;

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
        moveTimes.clear(); // no interval spans two games
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

void paceIdle(void) {
    steer();
    Cell before = segments[1];
    frameStep();
    if (gameOver == 0 && (segments[1].x != before.x || segments[1].y != before.y)) {
        double now = secondsNow();
        if (!moveTimes.empty()) {
            intervals.push_back((now - moveTimes.back()) * 1000.0);
        }
        moveTimes.push_back(now);
    }
    if ((int)intervals.size() >= movesWanted) {
        if (getenv("WRENDLE_BENCH_TRACE") != nullptr) {
            for (double v : intervals) {
                fprintf(stderr, "%.1f ", v);
            }
            fprintf(stderr, "\n");
        }
        double sum = 0;
        std::vector<double> deviation;
        for (double v : intervals) {
            sum += v;
            deviation.push_back(std::fabs(v - expectedMs));
        }
        std::sort(deviation.begin(), deviation.end());
        size_t p99 = (size_t)std::ceil(0.99 * (double)deviation.size()) - 1;
        printf("%.3f %.3f\n", sum / (double)intervals.size(), deviation[p99]);
        fflush(stdout);
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
    if (argc < 3) {
        fprintf(stderr, "usage: bench_kit work N | pace MOVES W_MS | loop SECONDS\n");
        return 2;
    }
    kitSetMessageBoxes(0);
    if (!openGameWindow()) {
        fprintf(stderr, "bench_kit: no window\n");
        return 1;
    }
    if (strcmp(argv[1], "work") == 0) {
        int n = atoi(argv[2]);
        testUseVirtualClock();
        setupGame();
        reshapeView(1000, 750);
        std::vector<double> times;
        for (int i = 0; i < n; i++) {
            double t0 = secondsNow();
            frameStep(); // its sleep advances the virtual clock only
            glFinish();
            times.push_back(secondsNow() - t0);
        }
        std::sort(times.begin(), times.end());
        printf("%.1f\n", times[times.size() / 2] * 1e6);
        return 0;
    }
    if (strcmp(argv[1], "pace") == 0 && argc >= 4) {
        movesWanted = atoi(argv[2]);
        expectedMs = 83.0 + atof(argv[3]);
        setupGame();
        kitSetIdleHandler(paceIdle);
        kitSetReshapeHandler(reshapeView);
        kitRun(frameStep);
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
