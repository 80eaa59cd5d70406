// Which pixels Mesa's llvmpipe gives points, lines and triangles (see gl11_raster.h). The
// arithmetic is single precision throughout, in the order llvmpipe does it, so that an end that
// lies exactly on a pixel's centre or edge, or a hair beside it, falls the same way.
#include "platform/emulated/web/gl11_raster.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace gl11raster {

namespace {

const int FIXED_ONE = 256;

// a / b rounded down, for b > 0.
long long floorDivide(long long a, long long b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// A sign as the rules test it: zero counts as positive.
bool nonNegative(float x) {
    return x >= 0.0f;
}

float fraction(float f) {
    return f - std::floor(f);
}

// Whether a one-pixel line from `a` to `b` draws the pixel it starts in (`drawStart`) and the one
// it ends in (`drawEnd`): a pixel is drawn when the line leaves the diamond inscribed in it.
// `diffA` and `diffB` are the ends' offsets from their pixels' centres and `delta` is a - b. Each
// test reads as llvmpipe writes it for its major axis.
void diamondExits(const float* a, const float* b, const float* diffA, const float* diffB,
                  const float* delta, bool* drawStart, bool* drawEnd) {
    bool startInside = std::fabs(diffA[0]) + std::fabs(diffA[1]) < 0.5f;
    bool endInside = std::fabs(diffB[0]) + std::fabs(diffB[1]) < 0.5f;
    if (std::fabs(delta[0]) >= std::fabs(delta[1])) {
        float slope = delta[1] / delta[0];
        if (startInside) {
            *drawStart = true;
        } else if (nonNegative(diffA[0]) == nonNegative(-delta[0])) {
            *drawStart = false;
        } else if (nonNegative(-diffA[1]) != nonNegative(delta[1])) {
            *drawStart = true;
        } else {
            float across = fraction(a[1]) + diffA[0] * slope;
            *drawStart = across < 1.0f && across > 0.0f;
        }
        if (endInside) {
            *drawEnd = false;
        } else if (nonNegative(diffB[0]) != nonNegative(-delta[0])) {
            *drawEnd = false;
        } else if (nonNegative(-diffB[1]) == nonNegative(delta[1])) {
            *drawEnd = true;
        } else {
            float across = fraction(b[1]) + diffB[0] * slope;
            *drawEnd = across < 1.0f && across > 0.0f;
        }
    } else {
        float slope = delta[0] / delta[1];
        if (startInside) {
            *drawStart = true;
        } else if (nonNegative(-diffA[1]) == nonNegative(delta[1])) {
            *drawStart = false;
        } else if (nonNegative(diffA[0]) != nonNegative(-delta[0])) {
            *drawStart = true;
        } else {
            float across = fraction(a[0]) + diffA[1] * slope;
            *drawStart = across < 1.0f && across > 0.0f;
        }
        if (endInside) {
            *drawEnd = false;
        } else if (nonNegative(-diffB[1]) != nonNegative(delta[1])) {
            *drawEnd = false;
        } else if (nonNegative(diffB[0]) == nonNegative(-delta[0])) {
            *drawEnd = true;
        } else {
            float across = fraction(b[0]) + diffB[1] * slope;
            *drawEnd = across < 1.0f && across >= 0.0f;
        }
    }
}

} // namespace

int toFixed(float a) {
    // Far beyond any window, where the fixed point would overflow, a coordinate stops.
    float f = std::max(-2.0e9f, std::min((float)FIXED_ONE * a, 2.0e9f));
    return f >= 0.0f ? (int)(f + 0.5f) : (int)(f - 0.5f);
}

int lineWidth(float width) {
    return (int)((width < 1.0f ? 1.0f : width) + 0.5f);
}

int pointWidth(float size) {
    int fixed = (toFixed(size) + FIXED_ONE / 2 - 1) & ~(FIXED_ONE - 1);
    return fixed < FIXED_ONE ? 1 : fixed / FIXED_ONE;
}

void pointPixels(const float position[2], int width, int box[4]) {
    // The rasteriser's fixed point without the half-pixel offset; y one unit up, so that a
    // position on a pixel's upper edge (its smaller y) counts as inside the pixel above.
    const int fixed[2] = {toFixed(position[0]), toFixed(position[1]) - 1};
    for (int axis = 0; axis < 2; axis++) {
        int first;
        if (width == 1) {
            first = fixed[axis] >> 8;
        } else if (width % 2 == 1) {
            first = (fixed[axis] >> 8) - (width - 1) / 2;
        } else {
            first = ((fixed[axis] + FIXED_ONE / 2) >> 8) - width / 2;
        }
        box[axis] = first;
        box[axis + 2] = first + width - 1;
    }
}

bool lineCorners(const float a[2], const float b[2], int width, int corners[4][2]) {
    const float delta[2] = {a[0] - b[0], a[1] - b[1]};
    if (delta[0] * delta[0] + delta[1] * delta[1] == 0.0f) {
        return false;
    }
    float diffA[2], diffB[2];
    for (int i = 0; i < 2; i++) {
        diffA[i] = a[i] - std::floor(a[i]) - 0.5f;
        diffB[i] = b[i] - std::floor(b[i]) - 0.5f;
    }
    // m: the major axis, n the minor one; a diagonal is x-major.
    int m = std::fabs(delta[0]) >= std::fabs(delta[1]) ? 0 : 1;
    int n = 1 - m;
    float slope = delta[n] / delta[m];
    // An end exactly on a pixel edge across the line, reached going up (left, for a y-major
    // line), counts as inside the pixel beyond.
    if (diffB[n] == -0.5f && delta[n] < 0.0f) {
        diffB[n] = 0.5f;
    }
    bool drawStart = false, drawEnd = false;
    diamondExits(a, b, diffA, diffB, delta, &drawStart, &drawEnd);
    // The parallelogram between the ends as given covers an end's pixel when the end lies past
    // the pixel's centre on the way (an end on the centre covers it at the start, not at the
    // end); where that is not what the rule wants, the end moves to the edge of its pixel.
    bool coversStart, coversEnd;
    if (m == 0) {
        coversStart = nonNegative(-diffA[0]) != nonNegative(delta[0]);
        coversEnd = nonNegative(diffB[0]) == nonNegative(-delta[0]) || diffB[0] == 0.0f;
    } else {
        coversStart = nonNegative(diffA[1]) == nonNegative(delta[1]);
        coversEnd = nonNegative(-diffB[1]) == nonNegative(delta[1]) || diffB[1] == 0.0f;
    }
    // The rasteriser takes the ends in an order of its own: the right end first for an x-major
    // line, the upper one for a y-major line; a moved end goes towards the other end's side.
    bool swapped = m == 0 ? delta[0] < 0.0f : delta[1] > 0.0f;
    float edge = (m == 0) == swapped ? -0.5f : 0.5f;
    float shiftA = coversStart != drawStart ? -diffA[m] + edge : 0.0f;
    float shiftB = coversEnd != drawEnd ? -diffB[m] + edge : 0.0f;
    const float* ends[2] = {swapped ? b : a, swapped ? a : b};
    const float shifts[2] = {swapped ? shiftB : shiftA, swapped ? shiftA : shiftB};
    const int half = width * FIXED_ONE / 2;
    int fixedEnds[2][2];
    for (int e = 0; e < 2; e++) {
        float moved[2];
        moved[m] = ends[e][m] + shifts[e];
        moved[n] = ends[e][n] + shifts[e] * slope;
        fixedEnds[e][0] = toFixed(moved[0] - 0.5f);
        fixedEnds[e][1] = toFixed(moved[1] - 0.5f);
    }
    const int end[4] = {0, 1, 1, 0};
    const int side[4] = {-1, -1, 1, 1};
    for (int i = 0; i < 4; i++) {
        corners[i][m] = fixedEnds[end[i]][m];
        corners[i][n] = fixedEnds[end[i]][n] + side[i] * half;
    }
    // Ends that met or crossed leave nothing between them.
    return m == 0 ? corners[0][0] > corners[1][0] : corners[0][1] < corners[1][1];
}

Edges edgesOf(const int (*corners)[2], int count) {
    Edges edges;
    edges.count = count;
    int top = corners[0][1], bottom = corners[0][1];
    for (int i = 0; i < count; i++) {
        const int* from = corners[i];
        const int* to = corners[(i + 1) % count];
        edges.dcdx[i] = (long long)from[1] - to[1];
        edges.dcdy[i] = (long long)from[0] - to[0];
        edges.c[i] = edges.dcdx[i] * from[0] - edges.dcdy[i] * from[1];
        if (edges.dcdx[i] < 0 || (edges.dcdx[i] == 0 && edges.dcdy[i] < 0)) {
            edges.c[i]++;
        }
        top = std::min(top, from[1]);
        bottom = std::max(bottom, from[1]);
    }
    // Rows whose centres (whole fixed-point multiples of 256) lie within the corners' reach.
    edges.rows[0] = floorDivide(top, FIXED_ONE);
    edges.rows[1] = floorDivide(bottom, FIXED_ONE) + 1;
    return edges;
}

bool rowSpan(const Edges& edges, int row, int* first, int* last) {
    long long lowest = LLONG_MIN, highest = LLONG_MAX;
    for (int i = 0; i < edges.count; i++) {
        // Inside when k - 256 dcdx x > 0.
        long long k = edges.c[i] + (long long)FIXED_ONE * edges.dcdy[i] * row;
        long long step = (long long)FIXED_ONE * edges.dcdx[i];
        if (step == 0) {
            if (k <= 0) {
                return false;
            }
        } else if (step > 0) {
            highest = std::min(highest, floorDivide(k - 1, step));
        } else {
            lowest = std::max(lowest, floorDivide(-k, -step) + 1);
        }
    }
    if (lowest > highest || lowest == LLONG_MIN || highest == LLONG_MAX) {
        return false;
    }
    *first = (int)lowest;
    *last = (int)highest;
    return true;
}

bool triangleCorners(const float* const positions[3], int corners[3][2]) {
    for (int i = 0; i < 3; i++) {
        corners[i][0] = toFixed(positions[i][0] - 0.5f);
        corners[i][1] = toFixed(positions[i][1] - 0.5f);
    }
    long long area = (long long)(corners[0][0] - corners[1][0]) * (corners[2][1] - corners[0][1]) -
                     (long long)(corners[2][0] - corners[0][0]) * (corners[0][1] - corners[1][1]);
    if (area == 0) {
        return false;
    }
    if (area < 0) {
        // The other way round: the first two corners trade places.
        std::swap(corners[0][0], corners[1][0]);
        std::swap(corners[0][1], corners[1][1]);
    }
    return true;
}

unsigned char colourByte(float c) {
    float clamped = c < 0.0f ? 0.0f : (c > 1.0f ? 1.0f : c);
    return (unsigned char)std::nearbyint(clamped * 255.0f);
}

} // namespace gl11raster
