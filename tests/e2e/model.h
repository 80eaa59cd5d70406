// The rules replayed from the outside: the game library stepped on the virtual clock, and the
// picture each frame must show, reduced to the colour of a fixed set of sample pixels.
#pragma once

#include "game/state.h"

#include <cstdint>
#include <string>
#include <vector>

// Colour classes a sample pixel can show. BACKGROUND stands for grey or navy where a one-pixel
// grid line may or may not cover the sample, depending on the rasteriser.
enum Shade : uint8_t {
    SHADE_GREY,
    SHADE_NAVY,
    SHADE_WHITE,
    SHADE_RED,
    SHADE_YELLOW,
    SHADE_BACKGROUND,
    SHADE_OTHER,
    SHADE_UNSEEN, // outside the window or the screen
};
const char* shadeName(uint8_t shade);

// Sorts a pixel into a class; the tolerances leave room for 0.5 becoming 127 or 128.
uint8_t shadeOf(int red, int green, int blue);

// A sample pixel in drawing coordinates (origin bottom left of the client area, y upwards).
struct Sample {
    int16_t x;
    int16_t y;
    bool gridRow;  // may lie on a horizontal grid line: grey and navy count the same
    int16_t cellX; // the cell or panel slot it belongs to, for messages
    int16_t cellY;
    char what; // 'c' cell centre, 'o' cell off-centre, 'd' length dot, 's' charge star
};
const std::vector<Sample>& samples(void);

// The expected shade of every sample in one frame.
struct Picture {
    std::vector<uint8_t> shades;
    uint64_t hash;
};
uint64_t hashShades(const std::vector<uint8_t>& shades);

// Every game variable, so a replay can be put aside and resumed.
struct GameSnapshot {
    int32_t direction, serpentLength;
    Cell segments[SEGMENT_SLOTS];
    Cell food, bonus;
    int32_t obstacles[OBSTACLE_COLUMNS][OBSTACLE_ROWS];
    int32_t gameOver, charges, bonusCycle, movePhase, movePeriod, obstacleDivisor;
    uint32_t lastFrameTick;
    int32_t windowWidth, windowHeight;
    uint32_t randomState;
};
void saveGame(GameSnapshot* into);
void loadGame(const GameSnapshot& from);

// Runs one frame of the loaded game (the library's frameStep on the virtual clock) and returns
// the picture that frame draws: food, bonus, obstacles and side panel as they were before the
// frame's rules, the serpent as it is after the frame's move.
Picture stepFrame(void);

// A key the program was sent, by kit key code.
void applyKey(int32_t keyCode);

// One possible history of the program: keys landing at given frame boundaries (a key with
// boundary b runs after frame b - 1 and before frame b). Frame 0 is the first frame drawn.
struct KeyLanding {
    int32_t keyCode;
    int boundary;
};

// What the tests' conditions look at, kept for every frame so they need no replay.
struct FrameFacts {
    int32_t gameOver;
    Cell head;
    int32_t serpentLength;
};

struct Timeline {
    std::vector<KeyLanding> keys;
    std::vector<uint64_t> hashes;  // picture hash per frame
    std::vector<FrameFacts> facts; // the game after each frame
    GameSnapshot* state = nullptr; // after the last frame in `hashes` (owned)
    int lowest = 0;                // the earliest frame the program can be showing now
};

// Starts a timeline at the program's first game, before frame 0.
Timeline* newTimeline(void);
void freeTimeline(Timeline* timeline);
// Generates pictures up to and including frame `last`.
void extendTimeline(Timeline* timeline, int last);
// A copy whose future has the extra key at `boundary`: it shares the pictures before the
// boundary, and `stateBefore` is the game state at the boundary, before the key.
Timeline* forkTimeline(const Timeline& from, int32_t keyCode, int boundary,
                       const GameSnapshot& stateBefore);
// Runs frame `frame` of a timeline on a given state (keys landing there first); no picture kept.
void advanceState(const Timeline& timeline, int frame, GameSnapshot* state);
// The game state after frame `frame` of a timeline, replayed from the start.
void replayTo(const Timeline& timeline, int frame, GameSnapshot* into);
// The full picture of frame `frame`, for messages.
Picture pictureAt(const Timeline& timeline, int frame);

// Human-readable differences between an observed sample set and a picture (at most `limit`).
std::string describeDifferences(const std::vector<uint8_t>& observed, const Picture& expected,
                                int limit);
int countDifferences(const std::vector<uint8_t>& observed, const Picture& expected);
