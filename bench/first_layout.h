// The first frame of the first game, as the baselines and the browser's peer draw it: their own
// small copy of its geometry from the game's generator, with nothing of game/, kit/ or platform/.
#pragma once

#include <ctime>

namespace {

const int WIDTH = 1000, HEIGHT = 750;

struct Layout {
    int serpent[7][2];
    int food[2];
    int obstacles[80][2];
    int obstacleCount;
};

// The first game and its first move, from the generator's fixed start.
void firstFrame(Layout* out) {
    unsigned state = 1;
    auto next = [&state]() {
        state = state * 214013u + 2531011u;
        return (int)((state >> 16) & 32767u);
    };
    int a = next() % 20, b = next() % 15;
    for (int k = 1; k <= 7; k++) {
        out->serpent[k - 1][0] = 20 * k + 20 * a + 350;
        out->serpent[k - 1][1] = 20 * b + 150;
    }
    int d = next() % 3 + 1;
    d = d == 3 ? 4 : d;
    out->food[0] = next() % 42 * 20 + 50;
    out->food[1] = next() % 32 * 20 + 50;
    int bonusY = next() % 32 * 20 + 50;
    out->obstacleCount = 0;
    for (int i = 1; i <= 43; i++) {
        for (int j = 1; j <= 33; j++) {
            int x = 20 * i + 50, y = 20 * j + 50;
            bool free = true;
            for (int k = 0; k < 7; k++) {
                free = free && !(out->serpent[k][0] == x && out->serpent[k][1] == y);
            }
            int v = next() % 20;
            bool clear = !(x == out->food[0] && y == out->food[1]) && !(x == 150 && y == bonusY);
            if (v == 1 && free && clear && out->obstacleCount < 80) {
                out->obstacles[out->obstacleCount][0] = x;
                out->obstacles[out->obstacleCount][1] = y;
                out->obstacleCount++;
            }
        }
    }
    // The first frame shows the serpent after its first move.
    for (int k = 6; k >= 1; k--) {
        out->serpent[k][0] = out->serpent[k - 1][0];
        out->serpent[k][1] = out->serpent[k - 1][1];
    }
    int step[5][2] = {{0, 0}, {-20, 0}, {0, 20}, {20, 0}, {0, -20}};
    out->serpent[0][0] += step[d][0];
    out->serpent[0][1] += step[d][1];
}

double secondsNow(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

} // namespace
