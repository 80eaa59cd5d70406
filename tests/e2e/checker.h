// Checks a running program's pictures against the rules: every capture must equal the picture
// of some frame that the rules, replayed with the keys sent, can show by then.
#pragma once

#include "tests/e2e/driver.h"
#include "tests/e2e/model.h"

#include <string>
#include <vector>

struct Watch {
    Program* program = nullptr;
    // Histories still consistent with every capture so far; a history whose latest key has not
    // landed yet keeps that key in `pending`.
    struct Candidate {
        Timeline* timeline;
        std::vector<int32_t> pending;
        int considered; // boundaries up to this one were tried for the first pending key
    };
    std::vector<Candidate> candidates;
    // For each key sent, in order: the last boundary it can land at. The program reads its
    // input before it starts a frame, and the key is in its connection when sending returns,
    // so it lands no later than just after the frames under way then.
    std::vector<int> latestLanding;
    int captures = 0;
    // The latest matched capture: when it was taken and the latest frame it can have shown.
    double seenAt = 0;
    int seenHighest = -1;
    std::string lastProblem; // why the last capture matched nothing
};

void startWatch(Watch* watch, Program* program);
void endWatch(Watch* watch);

// The most frames the program can have drawn by now: two per 83 ms of pacing since it started,
// or since the latest frame seen, rounded up.
int frameCeiling(const Watch& watch);

enum Observation { OBSERVED_MATCH, OBSERVED_MISMATCH, OBSERVED_NOTHING };
// One capture, matched against the candidates; on a match the histories that fail it are
// dropped. OBSERVED_NOTHING: no window or nothing drawn yet.
Observation observe(Watch* watch, std::vector<uint8_t>* shades = nullptr);

// Captures until one matches. Fails (returns false, with the reason in lastProblem) after three
// captures in a row that match no frame, or when nothing is drawn within `seconds`.
bool expectMatch(Watch* watch, double seconds);

// Sends a key (kit key code: arrows 37..40, 'n', 'N', 27) and records it for the replay. An
// arrow can come as a swipe across a touch screen instead, which the page turns into the key.
void sendGameKey(Watch* watch, int32_t keyCode, bool bySwipe = false);

// The earliest frame any surviving history can be showing, and the game state it had then
// (of the first such history).
int shownFrame(const Watch& watch);
void shownState(const Watch& watch, GameSnapshot* into);
// True when every surviving history has landed every key.
bool keysSettled(const Watch& watch);

// Keeps capturing until `condition` holds for the state shown by every history (each capture
// must match), or `seconds` pass. False on a mismatch or a timeout, with lastProblem set.
bool watchUntil(Watch* watch, bool (*condition)(const FrameFacts& shown, int frame),
                double seconds);

// Cells of a capture by shade, for checks that do not go through the replay.
struct SeenCells {
    int obstacles = 0, food = 0, bonus = 0, heads = 0, bodies = 0;
    int headX = 0, headY = 0, foodX = 0, foodY = 0;
    int dots = 0, stars = 0;
};
SeenCells readCells(const std::vector<uint8_t>& shades);

// The fixed parts of the picture at known pixels, all four borders and the grid: what a picture
// cut off or drawn at another size misses. "" when they are all there, else what is not.
std::string wholeFieldProblems(const Program& program);
