// Checks a running program's pictures against the rules replayed with the keys it was sent.
// A key lands at an unknown frame boundary, so each key forks the histories over every boundary
// possible by then; captures prune them, and histories that reach the same state merge.
#include "tests/e2e/checker.h"

#include "kit/kit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// The tick of the last frame differs between replays (the virtual clock runs on) and plays no
// part in the rules, so it is left out; so is the heading of a game that is over, which nothing
// reads before the next new game sets it afresh.
bool sameState(const GameSnapshot& a, const GameSnapshot& b) {
    bool headingCounts = a.gameOver == 0 || b.gameOver == 0;
    if (a.lastFrameTick == b.lastFrameTick && (headingCounts || a.direction == b.direction)) {
        return memcmp(&a, &b, sizeof a) == 0;
    }
    GameSnapshot* left = new GameSnapshot(a);
    GameSnapshot* right = new GameSnapshot(b);
    left->lastFrameTick = right->lastFrameTick = 0;
    if (!headingCounts) {
        left->direction = right->direction = 0;
    }
    bool same = memcmp(left, right, sizeof a) == 0;
    delete left;
    delete right;
    return same;
}

bool sameFuture(const Watch::Candidate& a, const Watch::Candidate& b) {
    if (a.pending != b.pending || a.timeline->lowest != b.timeline->lowest ||
        a.timeline->hashes.size() != b.timeline->hashes.size()) {
        return false;
    }
    const std::vector<uint64_t>& ha = a.timeline->hashes;
    const std::vector<uint64_t>& hb = b.timeline->hashes;
    if (!std::equal(ha.begin() + a.timeline->lowest, ha.end(), hb.begin() + a.timeline->lowest)) {
        return false;
    }
    return sameState(*a.timeline->state, *b.timeline->state);
}

// Lands the first pending key of a candidate at every boundary up to `ceiling` not tried yet,
// walking one state forward through the boundaries.
void forkPending(std::vector<Watch::Candidate>* out, Watch::Candidate* c, int ceiling) {
    int first = c->considered + 1;
    if (c->pending.empty() || first > ceiling) {
        return;
    }
    GameSnapshot* state = new GameSnapshot;
    if ((int)c->timeline->hashes.size() == first) {
        *state = *c->timeline->state; // the usual case: the history ends at the boundary
    } else {
        replayTo(*c->timeline, first - 1, state);
    }
    extendTimeline(c->timeline, ceiling);
    for (int b = first; b <= ceiling; b++) {
        Watch::Candidate f;
        f.timeline = forkTimeline(*c->timeline, c->pending[0], b, *state);
        f.pending.assign(c->pending.begin() + 1, c->pending.end());
        // A later key may land at the same boundary, just after this one.
        f.considered = b - 1;
        out->push_back(f);
        if (b < ceiling) {
            advanceState(*c->timeline, b, state);
        }
    }
    delete state;
    c->considered = ceiling;
}

void dropCandidate(Watch::Candidate* c) {
    freeTimeline(c->timeline);
    c->timeline = nullptr;
}

// A key that changes nothing where it lands (the current heading pressed again, or any heading
// once the game is over) changes nothing wherever it lands later, until a key after it: the
// history that still waits for it is the same history.
void settleNoOpKeys(Watch* w) {
    for (Watch::Candidate& c : w->candidates) {
        while (!c.pending.empty() && c.pending[0] != 'n' && c.pending[0] != 'N') {
            GameSnapshot* after = new GameSnapshot;
            loadGame(*c.timeline->state);
            applyKey(c.pending[0]);
            saveGame(after);
            bool same = sameState(*c.timeline->state, *after);
            delete after;
            if (!same) {
                break;
            }
            c.timeline->keys.push_back({c.pending[0], (int)c.timeline->hashes.size()});
            c.pending.erase(c.pending.begin());
            c.considered = (int)c.timeline->hashes.size() - 1;
        }
    }
}

// A digest of everything sameFuture compares, so that merging needs no comparison of every
// pair of histories.
uint64_t futureDigest(const Watch::Candidate& c) {
    GameSnapshot* s = new GameSnapshot(*c.timeline->state);
    s->lastFrameTick = 0;
    if (s->gameOver == 1) {
        s->direction = 0;
    }
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void* data, size_t size) {
        const unsigned char* bytes = (const unsigned char*)data;
        for (size_t i = 0; i < size; i++) {
            h = (h ^ bytes[i]) * 1099511628211ull;
        }
    };
    mix(s, sizeof *s);
    delete s;
    mix(c.pending.data(), c.pending.size() * sizeof(int32_t));
    mix(&c.timeline->lowest, sizeof c.timeline->lowest);
    const std::vector<uint64_t>& hashes = c.timeline->hashes;
    mix(hashes.data() + c.timeline->lowest,
        (hashes.size() - c.timeline->lowest) * sizeof(uint64_t));
    return h;
}

void mergeCandidates(Watch* w) {
    std::vector<std::pair<uint64_t, size_t>> order;
    for (size_t i = 0; i < w->candidates.size(); i++) {
        order.push_back({futureDigest(w->candidates[i]), i});
    }
    std::sort(order.begin(), order.end());
    std::vector<Watch::Candidate> kept;
    size_t groupStart = 0; // first kept history with the current digest
    for (size_t k = 0; k < order.size(); k++) {
        Watch::Candidate& c = w->candidates[order[k].second];
        if (k == 0 || order[k].first != order[k - 1].first) {
            groupStart = kept.size();
        }
        bool duplicate = false;
        for (size_t j = groupStart; j < kept.size() && !duplicate; j++) {
            duplicate = sameFuture(c, kept[j]);
        }
        if (duplicate) {
            dropCandidate(&c);
        } else {
            kept.push_back(c);
        }
    }
    w->candidates = kept;
}

} // namespace

void startWatch(Watch* w, Program* program) {
    w->program = program;
    Watch::Candidate c;
    c.timeline = newTimeline();
    c.considered = -1;
    w->candidates.push_back(c);
}

void endWatch(Watch* w) {
    for (Watch::Candidate& c : w->candidates) {
        dropCandidate(&c);
    }
    w->candidates.clear();
}

int frameCeiling(const Watch& w) {
    double now = secondsNow();
    // Frames two apart start at least 83 ticks apart, and a tick is at most a millisecond late.
    // A frame shows when it ends, before the next one starts; the margin of eight frames covers
    // that and the frames under way, with room to spare.
    int sinceStart = 8 + 2 * (int)((now - w.program->startedAt) * 1000.0 / 82.0);
    if (w.seenHighest < 0) {
        return sinceStart;
    }
    int sinceSeen = w.seenHighest + 8 + 2 * (int)((now - w.seenAt) * 1000.0 / 82.0);
    return sinceSeen < sinceStart ? sinceSeen : sinceStart;
}

Observation observe(Watch* w, std::vector<uint8_t>* shadesOut) {
    std::vector<uint8_t> shades;
    bool drawn = false;
    // The ceiling is taken before the capture: the capture cannot show a later frame.
    double takenAt = secondsNow();
    int ceiling = frameCeiling(*w);
    if (!captureShades(*w->program, &shades, &drawn) || !drawn) {
        w->lastProblem = "nothing drawn in the window yet";
        return OBSERVED_NOTHING;
    }
    w->captures++;
    if (shadesOut != nullptr) {
        *shadesOut = shades;
    }
    uint64_t hash = hashShades(shades);

    std::vector<Watch::Candidate> all;
    for (Watch::Candidate& c : w->candidates) {
        if (c.pending.empty()) {
            all.push_back(c);
            continue;
        }
        int latest = w->latestLanding[w->latestLanding.size() - c.pending.size()];
        forkPending(&all, &c, ceiling < latest ? ceiling : latest);
        if (ceiling > latest) {
            // Every boundary the key could land at has its history: waiting longer is not one.
            dropCandidate(&c);
        } else {
            all.push_back(c);
        }
    }
    std::vector<Watch::Candidate> survivors, failed;
    int highest = -1;
    for (Watch::Candidate& c : all) {
        extendTimeline(c.timeline, ceiling);
        int found = -1;
        for (int f = c.timeline->lowest; f <= ceiling; f++) {
            if (c.timeline->hashes[f] == hash) {
                if (found < 0) {
                    found = f;
                }
                highest = f > highest ? f : highest;
            }
        }
        if (found >= 0) {
            c.timeline->lowest = found;
            survivors.push_back(c);
        } else {
            failed.push_back(c);
        }
    }
    if (survivors.empty()) {
        // Keep every history: a capture can be one that went wrong (it is retried), and the
        // message names the closest frame of the first history.
        w->candidates = all;
        const Watch::Candidate& c = w->candidates[0];
        int best = -1, bestCount = 1 << 30;
        int from = c.timeline->lowest;
        for (int f = from; f <= ceiling; f++) {
            if (f - from > 400) {
                break;
            }
            Picture p = pictureAt(*c.timeline, f);
            int n = countDifferences(shades, p);
            if (n < bestCount) {
                bestCount = n;
                best = f;
            }
        }
        w->lastProblem = "the window shows no frame the rules allow (frames " +
                         std::to_string(from) + " to " + std::to_string(ceiling) + ")";
        if (best >= 0) {
            w->lastProblem += "; closest is frame " + std::to_string(best) + ":\n" +
                              describeDifferences(shades, pictureAt(*c.timeline, best), 12);
        }
        // Forks made for this capture stay: the key may have landed at any of those boundaries.
        if (getenv("WRENDLE_E2E_TRACE") != nullptr) {
            fprintf(stderr, "capture %d: ceiling %d, %zu histories, no match\n", w->captures,
                    ceiling, w->candidates.size());
        }
        return OBSERVED_MISMATCH;
    }
    for (Watch::Candidate& c : failed) {
        dropCandidate(&c);
    }
    w->candidates = survivors;
    w->seenAt = takenAt;
    w->seenHighest = highest;
    settleNoOpKeys(w);
    mergeCandidates(w);
    if (getenv("WRENDLE_E2E_TRACE") != nullptr) {
        fprintf(stderr, "capture %d: ceiling %d, %zu histories, frame %d\n", w->captures, ceiling,
                w->candidates.size(), shownFrame(*w));
    }
    return OBSERVED_MATCH;
}

bool expectMatch(Watch* w, double seconds) {
    double deadline = secondsNow() + seconds;
    int misses = 0;
    while (secondsNow() < deadline) {
        Observation o = observe(w);
        if (o == OBSERVED_MATCH) {
            return true;
        }
        if (o == OBSERVED_MISMATCH && ++misses >= 3) {
            return false;
        }
        pause(0.01);
    }
    if (w->lastProblem.empty()) {
        w->lastProblem = "timed out";
    }
    return false;
}

void sendGameKey(Watch* w, int32_t keyCode, bool bySwipe) {
    unsigned long keysym = 0;
    bool shift = false;
    switch (keyCode) {
    case KIT_KEY_LEFT:
        keysym = XK_Left;
        break;
    case KIT_KEY_RIGHT:
        keysym = XK_Right;
        break;
    case KIT_KEY_UP:
        keysym = XK_Up;
        break;
    case KIT_KEY_DOWN:
        keysym = XK_Down;
        break;
    case KIT_KEY_ESCAPE:
        keysym = XK_Escape;
        break;
    case 'N':
        shift = true;
        keysym = XK_n;
        break;
    default:
        keysym = (unsigned long)keyCode; // Latin-1 keysyms are the characters
        break;
    }
    // A capture just before the key keeps the earliest boundary it can land at close.
    observe(w);
    for (Watch::Candidate& c : w->candidates) {
        // The key reaches the program after the frame last seen at the earliest.
        if (c.pending.empty()) {
            c.considered = c.timeline->lowest;
        }
        c.pending.push_back(keyCode);
    }
    if (bySwipe) {
        const char* direction = keyCode == KIT_KEY_LEFT    ? "left"
                                : keyCode == KIT_KEY_RIGHT ? "right"
                                : keyCode == KIT_KEY_UP    ? "up"
                                                           : "down";
        swipe(*w->program, direction);
    } else {
        pressKey(*w->program, keysym, shift);
    }
    w->latestLanding.push_back(frameCeiling(*w) + 2);
}

int shownFrame(const Watch& w) {
    int lowest = 1 << 30;
    for (const Watch::Candidate& c : w.candidates) {
        lowest = std::min(lowest, c.timeline->lowest);
    }
    return lowest;
}

void shownState(const Watch& w, GameSnapshot* into) {
    const Watch::Candidate& c = w.candidates[0];
    replayTo(*c.timeline, c.timeline->lowest, into);
}

bool keysSettled(const Watch& w) {
    for (const Watch::Candidate& c : w.candidates) {
        if (!c.pending.empty()) {
            return false;
        }
    }
    return true;
}

bool watchUntil(Watch* w, bool (*condition)(const FrameFacts& shown, int frame), double seconds) {
    double deadline = secondsNow() + seconds;
    int misses = 0;
    bool done = false;
    while (!done && secondsNow() < deadline) {
        Observation o = observe(w);
        if (o == OBSERVED_MISMATCH) {
            if (++misses >= 3) {
                break;
            }
            continue;
        }
        misses = 0;
        if (o == OBSERVED_MATCH && keysSettled(*w)) {
            done = true;
            for (const Watch::Candidate& c : w->candidates) {
                int shown = c.timeline->lowest;
                if (!condition(c.timeline->facts[shown], shown)) {
                    done = false;
                    break;
                }
            }
        }
        if (!done) {
            pause(0.02);
        }
    }
    if (!done && misses < 3) {
        w->lastProblem = "timed out waiting; last frame seen " + std::to_string(shownFrame(*w));
    }
    return done;
}

SeenCells readCells(const std::vector<uint8_t>& shades) {
    SeenCells seen;
    const std::vector<Sample>& list = samples();
    for (size_t i = 0; i + 1 < list.size() && i + 1 < shades.size(); i++) {
        const Sample& s = list[i];
        if (s.what == 'c') {
            uint8_t centre = shades[i], off = shades[i + 1];
            if (centre == SHADE_NAVY && off == SHADE_NAVY) {
                seen.obstacles++;
            } else if (centre == SHADE_WHITE && s.cellX != 950) {
                seen.food++;
                seen.foodX = s.cellX;
                seen.foodY = s.cellY;
            } else if (centre == SHADE_RED && off == SHADE_RED) {
                seen.heads++;
                seen.headX = s.cellX;
                seen.headY = s.cellY;
            } else if (centre == SHADE_RED) {
                seen.bonus++;
            } else if (centre == SHADE_YELLOW && off == SHADE_YELLOW) {
                seen.bodies++;
            }
        } else if (s.what == 'd' && shades[i] == SHADE_WHITE) {
            seen.dots++;
        } else if (s.what == 's' && shades[i] == SHADE_RED) {
            seen.stars++;
        }
    }
    return seen;
}

std::string wholeFieldProblems(const Program& program) {
    struct Fixed {
        int x, y, orX, orY; // a second pixel that may stand for the first (a grid line's side)
        uint8_t shade;
        const char* what;
    };
    const Fixed parts[] = {
        {40, 400, 40, 400, SHADE_NAVY, "left border"},
        {940, 300, 940, 300, SHADE_NAVY, "right border"},
        {500, 40, 500, 40, SHADE_NAVY, "bottom border"},
        {600, 740, 600, 740, SHADE_NAVY, "top border"},
        {979, 395, 980, 395, SHADE_NAVY, "grid line at x = 980"},
        {990, 399, 990, 400, SHADE_NAVY, "grid line at y = 400"},
        {990, 410, 990, 410, SHADE_GREY, "background"},
    };
    std::string problems;
    for (const Fixed& part : parts) {
        uint8_t seen[2] = {SHADE_UNSEEN, SHADE_UNSEEN};
        int xs[2] = {part.x, part.orX};
        int ys[2] = {part.y, part.orY};
        for (int i = 0; i < 2; i++) {
            int r, g, b;
            if (pixelAt(program, xs[i], ys[i], &r, &g, &b)) {
                seen[i] = shadeOf(r, g, b);
            }
        }
        if (seen[0] != part.shade && seen[1] != part.shade) {
            problems += std::string(part.what) + ": " + shadeName(seen[0]) + " at (" +
                        std::to_string(part.x) + ", " + std::to_string(part.y) + ")\n";
        }
    }
    return problems;
}
