// The rules replayed from the outside: the game library stepped on the virtual clock, and the
// expected shade of every sample pixel of each frame it draws.
#include "tests/e2e/model.h"

#include "kit/kit.h"
#include "platform/testctl.h"

#include <cstdio>
#include <cstring>

namespace {

// Cells are sampled one ring beyond the walls too, where a dead head can be drawn.
const int FIRST_COLUMN = -1, LAST_COLUMN = 45;
const int FIRST_ROW = -1, LAST_ROW = 35;
const int GRID_COLUMNS = LAST_COLUMN - FIRST_COLUMN + 1;
const int GRID_ROWS = LAST_ROW - FIRST_ROW + 1;
const int PANEL_SLOTS = 73; // dots and stars from y = 730 down to y = 10
const int CLIENT_HEIGHT = 750;

std::vector<Sample> sampleList;

void buildSamples(void) {
    for (int row = FIRST_ROW; row <= LAST_ROW; row++) {
        for (int column = FIRST_COLUMN; column <= LAST_COLUMN; column++) {
            int cx = 50 + 20 * column, cy = 50 + 20 * row;
            // The top ring's centres lie beyond the client area: sample its visible lower half.
            int dy = cy >= CLIENT_HEIGHT ? -5 : 0;
            int offDy = cy >= CLIENT_HEIGHT ? -5 : 5;
            sampleList.push_back(
                {(int16_t)cx, (int16_t)(cy + dy), false, (int16_t)cx, (int16_t)cy, 'c'});
            // Off the centre: inside an octagon or an obstacle, clear of the star's four lines
            // and of the food's 5 x 5 point, so a head and a bonus look different here.
            sampleList.push_back(
                {(int16_t)(cx + 3), (int16_t)(cy + offDy), false, (int16_t)cx, (int16_t)cy, 'o'});
        }
    }
    for (int m = 0; m < PANEL_SLOTS; m++) {
        int y = 730 - 10 * m;
        bool onGrid = y % 20 == 0;
        sampleList.push_back({950, (int16_t)y, onGrid, 950, (int16_t)y, 'd'});
        sampleList.push_back({970, (int16_t)y, onGrid, 970, (int16_t)y, 's'});
    }
}

// Where the cell samples of column/row start in the list.
int cellSampleIndex(int column, int row) {
    return ((row - FIRST_ROW) * GRID_COLUMNS + (column - FIRST_COLUMN)) * 2;
}
int panelSampleIndex(int slot, bool star) {
    return GRID_COLUMNS * GRID_ROWS * 2 + slot * 2 + (star ? 1 : 0);
}

bool cellOf(Cell c, int* column, int* row) {
    if ((c.x - 50) % 20 != 0 || (c.y - 50) % 20 != 0) {
        return false;
    }
    *column = (c.x - 50) / 20;
    *row = (c.y - 50) / 20;
    return *column >= FIRST_COLUMN && *column <= LAST_COLUMN && *row >= FIRST_ROW &&
           *row <= LAST_ROW;
}

// What the first drawing steps of a frame leave at the samples, from the state before the
// frame's rules: background, side panel, food, bonus, obstacles.
void paintBeforeRules(std::vector<uint8_t>& shades) {
    const std::vector<Sample>& list = samples();
    shades.assign(list.size(), SHADE_GREY);
    for (size_t i = 0; i < list.size(); i++) {
        if (list[i].gridRow) {
            shades[i] = SHADE_BACKGROUND;
        }
    }
    for (int k = 8; k <= serpentLength && k - 8 < PANEL_SLOTS; k++) {
        shades[panelSampleIndex(k - 8, false)] = SHADE_WHITE;
        // Every other dot sits on the centre of a cell of the ring beyond the right wall.
        int y = 730 - 10 * (k - 8);
        if ((y - 50) % 20 == 0) {
            shades[cellSampleIndex(LAST_COLUMN, (y - 50) / 20)] = SHADE_WHITE;
        }
    }
    for (int k = 1; k <= charges && k - 1 < PANEL_SLOTS; k++) {
        shades[panelSampleIndex(k - 1, true)] = SHADE_RED;
    }
    int column, row;
    if (cellOf(food, &column, &row)) {
        shades[cellSampleIndex(column, row)] = SHADE_WHITE;
    }
    if (bonusCycle > 0 && bonusCycle < 100 && cellOf(bonus, &column, &row)) {
        shades[cellSampleIndex(column, row)] = SHADE_RED;
    }
    for (int i = 1; i <= 43; i++) {
        for (int j = 1; j <= 33; j++) {
            if (obstacles[i][j] == 1) {
                int at = cellSampleIndex(i, j);
                shades[at] = SHADE_NAVY;
                shades[at + 1] = SHADE_NAVY;
            }
        }
    }
}

// The serpent, drawn last from head to tail, so a later segment covers an earlier one.
void paintSerpent(std::vector<uint8_t>& shades) {
    for (int k = 1; k <= serpentLength && k < SEGMENT_SLOTS; k++) {
        int column, row;
        if (!cellOf(segments[k], &column, &row)) {
            continue;
        }
        uint8_t shade = k == 1 ? SHADE_RED : SHADE_YELLOW;
        int at = cellSampleIndex(column, row);
        shades[at] = shade;
        shades[at + 1] = shade;
        // A head beyond the right wall covers the length dot at its own height.
        if (segments[k].x == 950) {
            int m = (730 - segments[k].y) / 10;
            if ((730 - segments[k].y) % 10 == 0 && m >= 0 && m < PANEL_SLOTS) {
                shades[panelSampleIndex(m, false)] = shade;
            }
        }
    }
}

bool clockReady = false;

} // namespace

const char* shadeName(uint8_t shade) {
    static const char* names[] = {"grey",   "navy", "white", "red",
                                  "yellow", "grid", "other", "unseen"};
    return shade < sizeof names / sizeof names[0] ? names[shade] : "?";
}

uint8_t shadeOf(int r, int g, int b) {
    auto near = [](int value, int target) { return value >= target - 12 && value <= target + 12; };
    if (near(r, 102) && near(g, 102) && near(b, 102)) {
        return SHADE_GREY;
    }
    if (r < 16 && g < 16 && near(b, 128)) {
        return SHADE_NAVY;
    }
    if (r > 240 && g > 240 && b > 240) {
        return SHADE_WHITE;
    }
    if (r > 240 && g < 16 && b < 16) {
        return SHADE_RED;
    }
    if (r > 240 && g > 240 && b < 16) {
        return SHADE_YELLOW;
    }
    return SHADE_OTHER;
}

const std::vector<Sample>& samples(void) {
    if (sampleList.empty()) {
        buildSamples();
    }
    return sampleList;
}

uint64_t hashShades(const std::vector<uint8_t>& shades) {
    uint64_t h = 1469598103934665603ull; // FNV-1a
    for (uint8_t s : shades) {
        h = (h ^ s) * 1099511628211ull;
    }
    return h;
}

void saveGame(GameSnapshot* s) {
    s->direction = direction;
    s->serpentLength = serpentLength;
    memcpy(s->segments, segments, sizeof segments);
    s->food = food;
    s->bonus = bonus;
    memcpy(s->obstacles, obstacles, sizeof obstacles);
    s->gameOver = gameOver;
    s->charges = charges;
    s->bonusCycle = bonusCycle;
    s->movePhase = movePhase;
    s->movePeriod = movePeriod;
    s->obstacleDivisor = obstacleDivisor;
    s->lastFrameTick = lastFrameTick;
    s->windowWidth = windowWidth;
    s->windowHeight = windowHeight;
    s->randomState = randomState;
}

void loadGame(const GameSnapshot& s) {
    direction = s.direction;
    serpentLength = s.serpentLength;
    memcpy(segments, s.segments, sizeof segments);
    food = s.food;
    bonus = s.bonus;
    memcpy(obstacles, s.obstacles, sizeof obstacles);
    gameOver = s.gameOver;
    charges = s.charges;
    bonusCycle = s.bonusCycle;
    movePhase = s.movePhase;
    movePeriod = s.movePeriod;
    obstacleDivisor = s.obstacleDivisor;
    lastFrameTick = s.lastFrameTick;
    windowWidth = s.windowWidth;
    windowHeight = s.windowHeight;
    randomState = s.randomState;
}

Picture stepFrame(void) {
    if (!clockReady) {
        // The replay has no window: frameStep's drawing goes to no GL context and its swap
        // fails, neither of which touches the game's variables.
        testUseVirtualClock();
        kitSetMessageBoxes(0);
        clockReady = true;
    }
    Picture picture;
    paintBeforeRules(picture.shades);
    frameStep();
    paintSerpent(picture.shades);
    picture.hash = hashShades(picture.shades);
    return picture;
}

void applyKey(int32_t keyCode) {
    switch (keyCode) {
    case KIT_KEY_LEFT:
        onKeyLeft();
        break;
    case KIT_KEY_RIGHT:
        onKeyRight();
        break;
    case KIT_KEY_UP:
        onKeyUp();
        break;
    case KIT_KEY_DOWN:
        onKeyDown();
        break;
    case 'n':
    case 'N':
        onKeyNewGame();
        break;
    default:
        break; // the game binds nothing else
    }
}

Timeline* newTimeline(void) {
    Timeline* t = new Timeline;
    t->state = new GameSnapshot;
    resetGameState();
    setupGame();
    saveGame(t->state);
    return t;
}

void freeTimeline(Timeline* t) {
    if (t != nullptr) {
        delete t->state;
        delete t;
    }
}

namespace {

// Steps the loaded game from frame `next` to `last`, applying the timeline's keys on the way.
void runFrames(const Timeline& t, int next, int last, Timeline* into, int wantFrame,
               Picture* wanted) {
    for (int frame = next; frame <= last; frame++) {
        for (const KeyLanding& key : t.keys) {
            if (key.boundary == frame) {
                applyKey(key.keyCode);
            }
        }
        Picture p = stepFrame();
        if (into != nullptr) {
            into->hashes.push_back(p.hash);
            into->facts.push_back({gameOver, segments[1], serpentLength});
        }
        if (frame == wantFrame && wanted != nullptr) {
            *wanted = p;
        }
    }
}

} // namespace

void extendTimeline(Timeline* t, int last) {
    int next = (int)t->hashes.size();
    if (last < next) {
        return;
    }
    loadGame(*t->state);
    runFrames(*t, next, last, t, -1, nullptr);
    saveGame(t->state);
}

void replayTo(const Timeline& t, int frame, GameSnapshot* into) {
    resetGameState();
    setupGame();
    runFrames(t, 0, frame, nullptr, -1, nullptr);
    saveGame(into);
}

Picture pictureAt(const Timeline& t, int frame) {
    Picture p;
    resetGameState();
    setupGame();
    runFrames(t, 0, frame, nullptr, frame, &p);
    return p;
}

Timeline* forkTimeline(const Timeline& from, int32_t keyCode, int boundary,
                       const GameSnapshot& stateBefore) {
    Timeline* t = new Timeline;
    t->state = new GameSnapshot(stateBefore);
    t->keys = from.keys;
    t->keys.push_back({keyCode, boundary});
    t->lowest = from.lowest;
    t->hashes.assign(from.hashes.begin(), from.hashes.begin() + boundary);
    t->facts.assign(from.facts.begin(), from.facts.begin() + boundary);
    return t;
}

void advanceState(const Timeline& t, int frame, GameSnapshot* state) {
    loadGame(*state);
    for (const KeyLanding& key : t.keys) {
        if (key.boundary == frame) {
            applyKey(key.keyCode);
        }
    }
    stepFrame();
    saveGame(state);
}

int countDifferences(const std::vector<uint8_t>& observed, const Picture& expected) {
    int n = 0;
    for (size_t i = 0; i < observed.size() && i < expected.shades.size(); i++) {
        if (observed[i] != expected.shades[i]) {
            n++;
        }
    }
    return n;
}

std::string describeDifferences(const std::vector<uint8_t>& observed, const Picture& expected,
                                int limit) {
    const std::vector<Sample>& list = samples();
    std::string text;
    int shown = 0, total = 0;
    for (size_t i = 0; i < observed.size() && i < expected.shades.size(); i++) {
        if (observed[i] == expected.shades[i]) {
            continue;
        }
        total++;
        if (shown < limit) {
            char line[160];
            const Sample& s = list[i];
            const char* kind = s.what == 'c'   ? "cell"
                               : s.what == 'o' ? "cell (off centre)"
                               : s.what == 'd' ? "length dot"
                                               : "charge star";
            snprintf(line, sizeof line, "  %s (%d, %d) at pixel (%d, %d): expected %s, saw %s\n",
                     kind, s.cellX, s.cellY, s.x, s.y, shadeName(expected.shades[i]),
                     shadeName(observed[i]));
            text += line;
            shown++;
        }
    }
    if (total > shown) {
        text += "  ... and " + std::to_string(total - shown) + " more\n";
    }
    return text;
}
