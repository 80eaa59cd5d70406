// OpenGL 1.1's immediate mode, matrices and the state around them, drawn through OpenGL ES 2
// (WebGL 1): vertices are transformed here and assembled into points, lines and triangles, whose
// pixels are worked out here as Mesa's llvmpipe works them out (gl11_raster.cpp) and handed to one
// trivial shader as rectangles of whole pixels; smooth-shaded triangles go to it as triangles.
#include "platform/emulated/web/gl11.h"
#include "platform/emulated/web/gl11_raster.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/html5.h>
#include <webgl/webgl1.h>
// The real WebGL call behind a name this file defines: calling the name itself would recurse.
#define REAL(name) emscripten_##name
#else
#include <EGL/egl.h>
#include <GLES2/gl2.h>
#define REAL(name) name
#endif

// OpenGL ES has no double-precision type; OpenGL 1.1's calls take it.
typedef double GLdouble;

#include <algorithm>
#include <cmath>
#include <cstring>

// OpenGL 1.1's names that OpenGL ES 2 does not carry.
#define GL11_QUADS 0x0007
#define GL11_QUAD_STRIP 0x0008
#define GL11_POLYGON 0x0009
#define GL11_STACK_OVERFLOW 0x0503
#define GL11_STACK_UNDERFLOW 0x0504
#define GL11_FRONT_LEFT 0x0400
#define GL11_FRONT_RIGHT 0x0401
#define GL11_BACK_LEFT 0x0402
#define GL11_BACK_RIGHT 0x0403
#define GL11_LEFT 0x0406
#define GL11_RIGHT 0x0407
#define GL11_AUX0 0x0409
#define GL11_AUX3 0x040C
#define GL11_CURRENT_COLOR 0x0B00
#define GL11_CURRENT_INDEX 0x0B01
#define GL11_POINT_SIZE 0x0B11
#define GL11_SHADE_MODEL 0x0B54
#define GL11_MATRIX_MODE 0x0BA0
#define GL11_MODELVIEW_STACK_DEPTH 0x0BA3
#define GL11_PROJECTION_STACK_DEPTH 0x0BA4
#define GL11_MODELVIEW_MATRIX 0x0BA6
#define GL11_PROJECTION_MATRIX 0x0BA7
#define GL11_DRAW_BUFFER 0x0C01
#define GL11_INDEX_CLEAR_VALUE 0x0C20
#define GL11_INDEX_MODE 0x0C30
#define GL11_RGBA_MODE 0x0C31
#define GL11_DOUBLEBUFFER 0x0C32
#define GL11_MAX_MODELVIEW_STACK_DEPTH 0x0D36
#define GL11_MAX_PROJECTION_STACK_DEPTH 0x0D38
#define GL11_INDEX_BITS 0x0D51
#define GL11_FLAT 0x1D00
#define GL11_SMOOTH 0x1D01
#define GL11_MODELVIEW 0x1700
#define GL11_PROJECTION 0x1701
#define GL11_TEXTURE 0x1702
#define GL11_ACCUM_BUFFER_BIT 0x0200
#define GL11_NO_PRIMITIVE 0xFFFF

namespace {

const int STACK_DEPTH = 32; // as Mesa's, for both stacks
// Vertices handed to OpenGL ES in one draw. Primitives gather in the buffer across glEnd, so a
// frame of the game (some 180 primitives) is a handful of draws rather than one per primitive:
// the buffer is drawn when it is full, before any call that changes what a draw does or reaches
// the drawing buffer (viewport, clear, capabilities, flush, finish), and before the frame is
// shown (gl11Flush, at every swap and every yield to the browser).
const int OUT_VERTICES = 16384;

struct Vertex {
    float clip[4];   // after the modelview and projection matrices
    float colour[4]; // clamped to [0, 1], as the rasteriser sees it
};

// One vertex as OpenGL ES receives it: a clip position and a colour.
struct OutVertex {
    float position[4];
    float colour[4];
};

struct Layer {
    bool ready; // a context is current and the program and buffer exist
    GLuint program;
    GLuint buffer;
    GLint positionAt;
    GLint colourAt;
    GLint maxViewport; // OpenGL ES's largest viewport side
    GLenum error;

    float stacks[2][STACK_DEPTH][16]; // column by column, as OpenGL keeps them
    int depth[2];                     // 1 + pushes, per stack
    int matrixMode;                   // 0 modelview, 1 projection, 2 texture (kept, unused)
    float textureMatrix[16];

    float colour[4];
    float index;
    float clearIndex;
    float clearColour[4];
    float pointSize;
    float lineWidth;
    GLenum shadeModel;
    GLenum drawBuffer;
    GLint viewport[4];
    bool culling; // GL_CULL_FACE, which OpenGL ES applies (glCullFace and glFrontFace are its own)

    // The primitive between glBegin and glEnd, assembled as its vertices arrive: the first one,
    // and the last three (recent[0] the latest).
    GLenum primitive;
    int count;
    Vertex first;
    Vertex recent[3];

    // The drawing buffer's size while a primitive is drawn (asked anew for each), and the
    // viewport through which rectangles in window coordinates are drawn.
    bool surfaceKnown;
    int surface[2];
    int windowViewport[4];

    // Triangles for OpenGL ES.
    bool outWindow; // corners in window coordinates, not the viewport's clip coordinates
    int outCount;
    OutVertex out[OUT_VERTICES];
};

Layer layer = {};

void setError(GLenum error) {
    if (layer.error == GL_NO_ERROR) {
        layer.error = error;
    }
}

// Most calls are errors between glBegin and glEnd.
bool insidePrimitive(void) {
    if (layer.primitive != GL11_NO_PRIMITIVE) {
        setError(GL_INVALID_OPERATION);
        return true;
    }
    return false;
}

float* currentMatrix(void) {
    if (layer.matrixMode == 2) {
        return layer.textureMatrix;
    }
    return layer.stacks[layer.matrixMode][layer.depth[layer.matrixMode] - 1];
}

void identity(float* m) {
    for (int i = 0; i < 16; i++) {
        m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    }
}

// current = current * m: the new matrix applies to vertices first.
void multiply(const float* m) {
    float* c = currentMatrix();
    float result[16];
    for (int column = 0; column < 4; column++) {
        for (int row = 0; row < 4; row++) {
            result[column * 4 + row] = c[row] * m[column * 4] + c[4 + row] * m[column * 4 + 1] +
                                       c[8 + row] * m[column * 4 + 2] +
                                       c[12 + row] * m[column * 4 + 3];
        }
    }
    std::memcpy(c, result, sizeof result);
}

float clampUnit(float v) {
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

// --- Output to OpenGL ES ---------------------------------------------------------------------

// Draws what the buffer holds. Rectangles of pixels (points, lines, triangles of one colour) come
// in window coordinates, drawn through a viewport that reaches past the drawing buffer on every
// side, so that OpenGL ES cuts none of them: a line's width reaches outside the viewport in Mesa.
void flush(void) {
    if (layer.outCount == 0) {
        return;
    }
    if (layer.ready) {
        REAL(glUseProgram)(layer.program);
        REAL(glBindBuffer)(GL_ARRAY_BUFFER, layer.buffer);
        REAL(glBufferSubData)
        (GL_ARRAY_BUFFER, 0, (GLsizeiptr)(layer.outCount * sizeof(OutVertex)), layer.out);
        REAL(glEnableVertexAttribArray)((GLuint)layer.positionAt);
        REAL(glEnableVertexAttribArray)((GLuint)layer.colourAt);
        REAL(glVertexAttribPointer)
        ((GLuint)layer.positionAt, 4, GL_FLOAT, GL_FALSE, sizeof(OutVertex), (const void*)0);
        REAL(glVertexAttribPointer)
        ((GLuint)layer.colourAt, 4, GL_FLOAT, GL_FALSE, sizeof(OutVertex),
         (const void*)(4 * sizeof(float)));
        // The rectangles face whichever way their corners happen to go: culling is for the
        // triangles they stand for, which are culled before they become rectangles.
        if (layer.outWindow) {
            REAL(glViewport)
            (layer.windowViewport[0], layer.windowViewport[1], layer.windowViewport[2],
             layer.windowViewport[3]);
            if (layer.culling) {
                REAL(glDisable)(GL_CULL_FACE);
            }
        }
        REAL(glDrawArrays)(GL_TRIANGLES, 0, layer.outCount);
        if (layer.outWindow) {
            REAL(glViewport)
            (layer.viewport[0], layer.viewport[1], layer.viewport[2], layer.viewport[3]);
            if (layer.culling) {
                REAL(glEnable)(GL_CULL_FACE);
            }
        }
    }
    layer.outCount = 0;
}

// Room for `vertices` more, in clip coordinates of the current viewport or in window
// coordinates; the array's bound is kept by drawing what it holds.
void reserve(int vertices, bool window) {
    if (layer.outWindow != window || layer.outCount + vertices > OUT_VERTICES) {
        flush();
        layer.outWindow = window;
    }
}

// A colour the same at every corner of a primitive reaches the buffer as the byte Mesa writes
// for it, given to OpenGL ES as that byte over 255: every GPU turns it back into the same byte,
// where their own roundings of the value in between may differ.
void emit(const float* position, const float* colour, bool constant) {
    OutVertex* v = &layer.out[layer.outCount++];
    std::memcpy(v->position, position, sizeof v->position);
    for (int c = 0; c < 4; c++) {
        v->colour[c] = constant ? (float)gl11raster::colourByte(colour[c]) / 255.0f : colour[c];
    }
}

bool sameColours(const float* const* colours, int count) {
    for (int i = 1; i < count; i++) {
        if (std::memcmp(colours[i], colours[0], 4 * sizeof(float)) != 0) {
            return false;
        }
    }
    return true;
}

// The drawing buffer's size, asked once per primitive.
const int* surfaceSize(void) {
    if (!layer.surfaceKnown) {
#ifdef __EMSCRIPTEN__
        emscripten_webgl_get_drawing_buffer_size(emscripten_webgl_get_current_context(),
                                                 &layer.surface[0], &layer.surface[1]);
#else
        EGLDisplay display = eglGetCurrentDisplay();
        EGLSurface drawn = eglGetCurrentSurface(EGL_DRAW);
        EGLint width = 0, height = 0;
        eglQuerySurface(display, drawn, EGL_WIDTH, &width);
        eglQuerySurface(display, drawn, EGL_HEIGHT, &height);
        layer.surface[0] = (int)width;
        layer.surface[1] = (int)height;
#endif
        // The viewport for window coordinates: the buffer with a margin all round, as wide as
        // OpenGL ES allows, for corners that lie outside the buffer.
        int margin = (layer.maxViewport - std::max(layer.surface[0], layer.surface[1])) / 2;
        margin = std::max(0, std::min(margin, 2048));
        // Rectangles gathered for the old size are drawn through the old viewport.
        if (layer.outWindow && (layer.windowViewport[0] != -margin ||
                                layer.windowViewport[2] != layer.surface[0] + 2 * margin ||
                                layer.windowViewport[3] != layer.surface[1] + 2 * margin)) {
            flush();
        }
        layer.windowViewport[0] = -margin;
        layer.windowViewport[1] = -margin;
        layer.windowViewport[2] = layer.surface[0] + 2 * margin;
        layer.windowViewport[3] = layer.surface[1] + 2 * margin;
        layer.surfaceKnown = true;
    }
    return layer.surface;
}

// A quad of four corners in the rasteriser's window coordinates (fixed point, y downwards), in
// order around it, as two triangles; `depth` and `colours` per corner.
void windowQuad(const int corners[4][2], const float depth[4], const float* const colours[4]) {
    reserve(6, true);
    const int* surface = surfaceSize();
    const int* box = layer.windowViewport;
    float halfWidth = (float)box[2] * 0.5f, halfHeight = (float)box[3] * 0.5f;
    float clip[4][4];
    for (int i = 0; i < 4; i++) {
        // The corner in pixels, half a pixel on from the fixed point's origin, y upwards.
        float x = (float)corners[i][0] / 256.0f + 0.5f;
        float y = (float)surface[1] - ((float)corners[i][1] / 256.0f + 0.5f);
        clip[i][0] = (x - ((float)box[0] + halfWidth)) / halfWidth;
        clip[i][1] = (y - ((float)box[1] + halfHeight)) / halfHeight;
        clip[i][2] = depth[i];
        clip[i][3] = 1.0f;
    }
    bool constant = sameColours(colours, 4);
    const int order[6] = {0, 1, 2, 0, 2, 3};
    for (int i : order) {
        emit(clip[i], colours[i], constant);
    }
}

// The planes of the clip volume a position lies outside, one bit each, as Mesa's vertex stage
// finds them: beyond +w by comparison, beyond -w by the sign of the sum.
unsigned clipMask(const float* c) {
    unsigned mask = 0;
    for (int axis = 0; axis < 3; axis++) {
        mask |= c[axis] > c[3] ? 1u << (2 * axis) : 0u;
        mask |= c[axis] + c[3] < 0.0f ? 2u << (2 * axis) : 0u;
    }
    return mask;
}

// Clip coordinates to the rasteriser's window coordinates, as Mesa computes them: x / w times the
// viewport's half size plus its centre, y turned downwards from the top of the drawing buffer,
// and z / w. Mesa's vertex stage rounds the product and the sum once (`fused`); its clipper
// rounds each.
void clipToRaster(const float* clip, bool fused, float* raster) {
    float height = (float)surfaceSize()[1];
    float inverse = 1.0f / clip[3];
    float halfWidth = (float)layer.viewport[2] * 0.5f;
    float halfHeight = (float)layer.viewport[3] * 0.5f;
    float centreX = halfWidth + (float)layer.viewport[0];
    float centreY = height - (halfHeight + (float)layer.viewport[1]);
    if (fused) {
        raster[0] = std::fma(clip[0] * inverse, halfWidth, centreX);
        raster[1] = std::fma(clip[1] * inverse, -halfHeight, centreY);
    } else {
        raster[0] = clip[0] * inverse * halfWidth + centreX;
        raster[1] = clip[1] * inverse * -halfHeight + centreY;
    }
    raster[2] = clip[2] * inverse;
}

// A point: a square of whole pixels, left out when its centre lies outside the clip volume.
void point(const Vertex* v) {
    if (clipMask(v->clip) != 0) {
        return;
    }
    float raster[3];
    clipToRaster(v->clip, true, raster);
    int box[4];
    gl11raster::pointPixels(raster, gl11raster::pointWidth(layer.pointSize), box);
    const int corners[4][2] = {{box[0] * 256 - 128, box[1] * 256 - 128},
                               {box[2] * 256 + 128, box[1] * 256 - 128},
                               {box[2] * 256 + 128, box[3] * 256 + 128},
                               {box[0] * 256 - 128, box[3] * 256 + 128}};
    const float depth[4] = {raster[2], raster[2], raster[2], raster[2]};
    const float* const colours[4] = {v->colour, v->colour, v->colour, v->colour};
    windowQuad(corners, depth, colours);
}

// How a primitive's colour and depth vary, for the rectangles of its pixels: along a line's major
// axis from one end to the other (two points), or over a triangle of one colour (three).
struct Shading {
    const float (*points)[3]; // rasteriser coordinates and depth
    const float (*colours)[4];
    int count;
    int major; // a line's: the axis along which colour and depth change
};

void shadeAt(const Shading* shading, float x, float y, float* colour, float* depth) {
    const float(*p)[3] = shading->points;
    if (shading->count == 2) {
        int m = shading->major;
        float t = ((m == 0 ? x : y) - p[0][m]) / (p[1][m] - p[0][m]);
        *depth = p[0][2] + t * (p[1][2] - p[0][2]);
        for (int c = 0; c < 4; c++) {
            colour[c] =
                shading->colours[0][c] + t * (shading->colours[1][c] - shading->colours[0][c]);
        }
        return;
    }
    // Depth from the plane through the corners; the colour is the same at all three.
    std::memcpy(colour, shading->colours[0], 4 * sizeof(float));
    float area =
        (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[2][0] - p[0][0]) * (p[1][1] - p[0][1]);
    if (area == 0.0f) {
        *depth = p[0][2];
        return;
    }
    float u = ((x - p[0][0]) * (p[2][1] - p[0][1]) - (p[2][0] - p[0][0]) * (y - p[0][1])) / area;
    float v = ((p[1][0] - p[0][0]) * (y - p[0][1]) - (x - p[0][0]) * (p[1][1] - p[0][1])) / area;
    *depth = p[0][2] + u * (p[1][2] - p[0][2]) + v * (p[2][2] - p[0][2]);
}

// Columns `left` to `right` of rows `top` to `bottom` (rasteriser pixels), shaded at the corners.
void pixelRectangle(const Shading* shading, int left, int right, int top, int bottom) {
    const int corners[4][2] = {{left * 256 - 128, top * 256 - 128},
                               {right * 256 + 128, top * 256 - 128},
                               {right * 256 + 128, bottom * 256 + 128},
                               {left * 256 - 128, bottom * 256 + 128}};
    float depth[4];
    float colours[4][4];
    const float* cornerColours[4];
    for (int i = 0; i < 4; i++) {
        float x = (float)corners[i][0] / 256.0f + 0.5f;
        float y = (float)corners[i][1] / 256.0f + 0.5f;
        shadeAt(shading, x, y, colours[i], &depth[i]);
        cornerColours[i] = colours[i];
    }
    windowQuad(corners, depth, cornerColours);
}

// The pixels inside `edges`, as llvmpipe's rasteriser decides them, handed to WebGL as rectangles
// with whole-pixel edges (rows alike in one): every GPU fills those alike, where an edge through
// a pixel's centre goes to one side or the other by each GPU's own convention. Only the rows and
// columns of the drawing buffer are visited.
void fillEdges(const gl11raster::Edges& edges, const Shading* shading) {
    const int* surface = surfaceSize();
    int firstRow = std::max(edges.rows[0], 0);
    int lastRow = std::min(edges.rows[1], surface[1] - 1);
    auto span = [&](int row, int* first, int* last) {
        if (!gl11raster::rowSpan(edges, row, first, last)) {
            return false;
        }
        *first = std::max(*first, 0);
        *last = std::min(*last, surface[0] - 1);
        return *first <= *last;
    };
    // With every edge along an axis (a rectangle, a line that is level or upright) the rows that
    // have pixels follow one another and all have the same: one rectangle, found from its first
    // and last rows, where a grid line of the game would otherwise ask for each of its 700 rows.
    bool alongAxes = true;
    for (int i = 0; i < edges.count; i++) {
        alongAxes = alongAxes && (edges.dcdx[i] == 0 || edges.dcdy[i] == 0);
    }
    if (alongAxes) {
        int first = 0, last = 0;
        int top = firstRow;
        while (top <= lastRow && !span(top, &first, &last)) {
            top++;
        }
        int bottom = lastRow;
        int ignored[2];
        while (bottom > top && !span(bottom, &ignored[0], &ignored[1])) {
            bottom--;
        }
        if (top <= lastRow) {
            pixelRectangle(shading, first, last, top, bottom);
        }
        return;
    }
    bool open = false;
    int run[3] = {0, 0, 0}; // first and last column, first row
    for (int row = firstRow; row <= lastRow + 1; row++) {
        int first = 0, last = 0;
        bool any = row <= lastRow && gl11raster::rowSpan(edges, row, &first, &last);
        if (any) {
            first = std::max(first, 0);
            last = std::min(last, surface[0] - 1);
            any = first <= last;
        }
        if (open && (!any || first != run[0] || last != run[1])) {
            pixelRectangle(shading, run[0], run[1], run[2], row - 1);
            open = false;
        }
        if (any && !open) {
            run[0] = first;
            run[1] = last;
            run[2] = row;
            open = true;
        }
    }
}

// A triangle. One of one colour, wholly inside the clip volume, is filled here pixel by pixel as
// llvmpipe fills it; any other goes to WebGL as it is, where OpenGL ES cuts, shades and culls it
// as Mesa does (cutting it here would mean Mesa's clipper, shading it the GPU's interpolation,
// culling it OpenGL ES's face state, which the layer does not keep).
void triangle(const Vertex* a, const Vertex* b, const Vertex* c, const Vertex* provoking) {
    bool flat = layer.shadeModel == GL11_FLAT;
    const float* colours[3] = {flat ? provoking->colour : a->colour,
                               flat ? provoking->colour : b->colour,
                               flat ? provoking->colour : c->colour};
    bool constant = sameColours(colours, 3);
    if (constant && !layer.culling && clipMask(a->clip) == 0 && clipMask(b->clip) == 0 &&
        clipMask(c->clip) == 0) {
        float points[3][3];
        clipToRaster(a->clip, true, points[0]);
        clipToRaster(b->clip, true, points[1]);
        clipToRaster(c->clip, true, points[2]);
        const float* positions[3] = {points[0], points[1], points[2]};
        int corners[3][2];
        if (gl11raster::triangleCorners(positions, corners)) {
            float colour[1][4];
            std::memcpy(colour[0], colours[0], sizeof colour[0]);
            Shading shading = {points, colour, 3, 0};
            fillEdges(gl11raster::edgesOf(corners, 3), &shading);
        }
        return;
    }
    reserve(3, false);
    emit(a->clip, colours[0], constant);
    emit(b->clip, colours[1], constant);
    emit(c->clip, colours[2], constant);
}

// A line: the pixels of the parallelogram llvmpipe draws for it (gl11_raster.cpp), for its part
// inside the clip volume as Mesa's clipper cuts it (each end moves along the line by the largest
// share any plane cuts off that end, both shares found from the ends as given; the width may
// reach outside the viewport). The pixels go to WebGL as rectangles with whole-pixel edges, which
// every GPU fills alike, where the parallelogram's own edges may pass through pixel centres that
// GPUs give to one side or the other by conventions of their own.
void line(const Vertex* a, const Vertex* b) {
    bool flat = layer.shadeModel == GL11_FLAT;
    float ends[2][4], colours[2][4];
    std::memcpy(ends[0], a->clip, sizeof ends[0]);
    std::memcpy(ends[1], b->clip, sizeof ends[1]);
    std::memcpy(colours[0], flat ? b->colour : a->colour, sizeof colours[0]);
    std::memcpy(colours[1], b->colour, sizeof colours[1]);
    const unsigned masks[2] = {clipMask(ends[0]), clipMask(ends[1])};
    if ((masks[0] & masks[1]) != 0) {
        return;
    }
    if ((masks[0] | masks[1]) != 0) {
        float cut[2] = {0.0f, 0.0f};
        for (int axis = 0; axis < 3; axis++) {
            for (int side = -1; side <= 1; side += 2) {
                // How far inside the plane w + side * coordinate = 0 each end lies.
                float inside[2];
                for (int e = 0; e < 2; e++) {
                    inside[e] = (float)side * ends[e][axis] + ends[e][3];
                }
                for (int e = 0; e < 2; e++) {
                    if (inside[e] < 0.0f) {
                        cut[e] = std::max(cut[e], inside[e] / (inside[e] - inside[1 - e]));
                    }
                }
                if (cut[0] + cut[1] >= 1.0f) {
                    return;
                }
            }
        }
        float given[2][4], givenColours[2][4];
        std::memcpy(given, ends, sizeof given);
        std::memcpy(givenColours, colours, sizeof givenColours);
        for (int e = 0; e < 2; e++) {
            if (masks[e] == 0) {
                continue;
            }
            for (int i = 0; i < 4; i++) {
                ends[e][i] = given[e][i] + cut[e] * (given[1 - e][i] - given[e][i]);
                if (!flat) {
                    colours[e][i] =
                        givenColours[e][i] + cut[e] * (givenColours[1 - e][i] - givenColours[e][i]);
                }
            }
        }
    }
    float raster[2][3];
    for (int e = 0; e < 2; e++) {
        clipToRaster(ends[e], masks[e] == 0, raster[e]);
    }
    int corners[4][2];
    if (!gl11raster::lineCorners(raster[0], raster[1], gl11raster::lineWidth(layer.lineWidth),
                                 corners)) {
        return;
    }
    Shading shading = {
        raster, colours, 2,
        std::fabs(raster[0][0] - raster[1][0]) >= std::fabs(raster[0][1] - raster[1][1]) ? 0 : 1};
    fillEdges(gl11raster::edgesOf(corners, 4), &shading);
}

// A quad of one colour, wholly inside the clip volume, whose sides follow the axes once its
// corners are in the rasteriser's fixed point: filled as one rectangle. Its pixels are exactly
// those of the two triangles llvmpipe splits it into (the fill rule gives a pixel on their shared
// diagonal to one of them), and the cells, the border and the panels of the game are all such
// quads: one rectangle each instead of a run per row of each triangle. False for any other quad,
// which the caller draws as its two triangles.
bool axisRectangle(const Vertex* const corners[4], const Vertex* provoking) {
    bool flat = layer.shadeModel == GL11_FLAT;
    const float* colours[4];
    for (int i = 0; i < 4; i++) {
        colours[i] = flat ? provoking->colour : corners[i]->colour;
        if (clipMask(corners[i]->clip) != 0) {
            return false;
        }
    }
    if (layer.culling || !sameColours(colours, 4)) {
        return false;
    }
    float points[4][3];
    int fixed[4][2];
    for (int i = 0; i < 4; i++) {
        clipToRaster(corners[i]->clip, true, points[i]);
        fixed[i][0] = gl11raster::toFixed(points[i][0] - 0.5f);
        fixed[i][1] = gl11raster::toFixed(points[i][1] - 0.5f);
    }
    bool sidesAlong = fixed[0][0] == fixed[1][0] && fixed[1][1] == fixed[2][1] &&
                      fixed[2][0] == fixed[3][0] && fixed[3][1] == fixed[0][1];
    bool sidesAcross = fixed[0][1] == fixed[1][1] && fixed[1][0] == fixed[2][0] &&
                       fixed[2][1] == fixed[3][1] && fixed[3][0] == fixed[0][0];
    // Flat in depth too: a quad whose corners differ in depth is two planes, one per triangle.
    bool level = points[1][2] == points[0][2] && points[2][2] == points[0][2] &&
                 points[3][2] == points[0][2];
    if ((!sidesAlong && !sidesAcross) || !level) {
        return false;
    }
    long long area = (long long)(fixed[0][0] - fixed[1][0]) * (fixed[2][1] - fixed[0][1]) -
                     (long long)(fixed[2][0] - fixed[0][0]) * (fixed[0][1] - fixed[1][1]);
    if (area == 0) {
        return true; // no pixel, as neither triangle has one
    }
    // Around the other way, as a triangle's corners are turned.
    const int order[2][4] = {{0, 1, 2, 3}, {1, 0, 3, 2}};
    int ordered[4][2];
    for (int i = 0; i < 4; i++) {
        ordered[i][0] = fixed[order[area < 0][i]][0];
        ordered[i][1] = fixed[order[area < 0][i]][1];
    }
    float colour[1][4];
    std::memcpy(colour[0], colours[0], sizeof colour[0]);
    Shading shading = {points, colour, 3, 0};
    fillEdges(gl11raster::edgesOf(ordered, 4), &shading);
    return true;
}

// A polygon's fan, held back while it may still be a quad (see axisRectangle): drawn once a fifth
// vertex comes, or at its end.
void polygonEnd(void) {
    if (layer.primitive != GL11_POLYGON) {
        return;
    }
    if (layer.count == 3) {
        triangle(&layer.first, &layer.recent[1], &layer.recent[0], &layer.first);
    } else if (layer.count == 4) {
        const Vertex* quad[4] = {&layer.first, &layer.recent[2], &layer.recent[1],
                                 &layer.recent[0]};
        if (!axisRectangle(quad, &layer.first)) {
            triangle(&layer.first, &layer.recent[2], &layer.recent[1], &layer.first);
            triangle(&layer.first, &layer.recent[1], &layer.recent[0], &layer.first);
        }
    }
}

// One vertex of the primitive in progress: draws what it completes.
void assemble(const Vertex* v) {
    int n = layer.count;
    const Vertex* p1 = &layer.recent[0];
    const Vertex* p2 = &layer.recent[1];
    const Vertex* p3 = &layer.recent[2];
    switch (layer.primitive) {
    case GL_POINTS:
        point(v);
        break;
    case GL_LINES:
        if (n % 2 == 1) {
            line(p1, v);
        }
        break;
    case GL_LINE_STRIP:
    case GL_LINE_LOOP:
        if (n >= 1) {
            line(p1, v);
        }
        break;
    case GL_TRIANGLES:
        if (n % 3 == 2) {
            triangle(p2, p1, v, v);
        }
        break;
    case GL_TRIANGLE_STRIP:
        if (n >= 2) {
            triangle(p2, p1, v, v);
        }
        break;
    case GL_TRIANGLE_FAN:
        if (n >= 2) {
            triangle(&layer.first, p1, v, v);
        }
        break;
    case GL11_POLYGON:
        // A convex polygon as a fan; flat shading takes the first vertex's colour. Its first two
        // triangles wait until it has more than four vertices (polygonEnd).
        if (n == 4) {
            triangle(&layer.first, p3, p2, &layer.first);
            triangle(&layer.first, p2, p1, &layer.first);
        }
        if (n >= 4) {
            triangle(&layer.first, p1, v, &layer.first);
        }
        break;
    case GL11_QUADS:
        if (n % 4 == 3) {
            const Vertex* quad[4] = {p3, p2, p1, v};
            if (!axisRectangle(quad, v)) {
                triangle(p3, p2, v, v);
                triangle(p2, p1, v, v);
            }
        }
        break;
    case GL11_QUAD_STRIP:
        // Vertices 2i, 2i+1, 2i+3, 2i+2 make quad i.
        if (n >= 3 && n % 2 == 1) {
            triangle(p3, p2, p1, v);
            triangle(p2, v, p1, v);
        }
        break;
    default:
        break;
    }
    if (n == 0) {
        layer.first = *v;
    }
    layer.recent[2] = layer.recent[1];
    layer.recent[1] = layer.recent[0];
    layer.recent[0] = *v;
    layer.count = n + 1;
}

// A vertex in object coordinates, transformed as the fixed-function pipeline does it in single
// precision: projection times modelview first, then that product times the vertex.
void vertex(float x, float y, float z, float w) {
    if (layer.primitive == GL11_NO_PRIMITIVE) {
        return; // outside glBegin/glEnd a vertex does nothing
    }
    const float* modelview = layer.stacks[0][layer.depth[0] - 1];
    const float* projection = layer.stacks[1][layer.depth[1] - 1];
    float product[16];
    for (int column = 0; column < 4; column++) {
        for (int row = 0; row < 4; row++) {
            product[column * 4 + row] = projection[row] * modelview[column * 4] +
                                        projection[4 + row] * modelview[column * 4 + 1] +
                                        projection[8 + row] * modelview[column * 4 + 2] +
                                        projection[12 + row] * modelview[column * 4 + 3];
        }
    }
    Vertex v;
    for (int row = 0; row < 4; row++) {
        v.clip[row] =
            product[row] * x + product[4 + row] * y + product[8 + row] * z + product[12 + row] * w;
    }
    for (int i = 0; i < 4; i++) {
        v.colour[i] = clampUnit(layer.colour[i]);
    }
    assemble(&v);
}

void colour(float r, float g, float b, float a) {
    layer.colour[0] = r;
    layer.colour[1] = g;
    layer.colour[2] = b;
    layer.colour[3] = a;
}

// Integer colour components map their whole range onto [0, 1] (signed ones onto [-1, 1]).
float fromByte(GLbyte c) {
    return (2.0f * (float)c + 1.0f) / 255.0f;
}
float fromShort(GLshort c) {
    return (2.0f * (float)c + 1.0f) / 65535.0f;
}
float fromInt(GLint c) {
    return (float)((2.0 * (double)c + 1.0) / 4294967295.0);
}
float fromUbyte(GLubyte c) {
    return (float)c / 255.0f;
}
float fromUshort(GLushort c) {
    return (float)c / 65535.0f;
}
float fromUint(GLuint c) {
    return (float)((double)c / 4294967295.0);
}

const char* const VERTEX_SHADER = "attribute vec4 position;\n"
                                  "attribute vec4 colour;\n"
                                  "varying vec4 shade;\n"
                                  "void main() {\n"
                                  "    gl_Position = position;\n"
                                  "    shade = colour;\n"
                                  "}\n";
const char* const FRAGMENT_SHADER = "precision mediump float;\n"

                                    "varying vec4 shade;\n"
                                    "void main() {\n"
                                    "    gl_FragColor = shade;\n"
                                    "}\n";

GLuint compile(GLenum kind, const char* source) {
    GLuint shader = REAL(glCreateShader)(kind);
    REAL(glShaderSource)(shader, 1, &source, nullptr);
    REAL(glCompileShader)(shader);
    GLint compiled = 0;
    REAL(glGetShaderiv)(shader, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        REAL(glDeleteShader)(shader);
        return 0;
    }
    return shader;
}

// The program and the buffer on the current context.
bool makeObjects(void) {
    GLuint vertexShader = compile(GL_VERTEX_SHADER, VERTEX_SHADER);
    GLuint fragmentShader = compile(GL_FRAGMENT_SHADER, FRAGMENT_SHADER);
    if (vertexShader == 0 || fragmentShader == 0) {
        REAL(glDeleteShader)(vertexShader);
        REAL(glDeleteShader)(fragmentShader);
        return false;
    }
    GLuint program = REAL(glCreateProgram)();
    REAL(glAttachShader)(program, vertexShader);
    REAL(glAttachShader)(program, fragmentShader);
    REAL(glLinkProgram)(program);
    REAL(glDeleteShader)(vertexShader);
    REAL(glDeleteShader)(fragmentShader);
    GLint linked = 0;
    REAL(glGetProgramiv)(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        REAL(glDeleteProgram)(program);
        return false;
    }
    layer.program = program;
    layer.positionAt = REAL(glGetAttribLocation)(program, "position");
    layer.colourAt = REAL(glGetAttribLocation)(program, "colour");
    GLint dimensions[2] = {0, 0};
    REAL(glGetIntegerv)(GL_MAX_VIEWPORT_DIMS, dimensions);
    layer.maxViewport = std::min(dimensions[0], dimensions[1]);
    REAL(glGenBuffers)(1, &layer.buffer);
    REAL(glBindBuffer)(GL_ARRAY_BUFFER, layer.buffer);
    REAL(glBufferData)(GL_ARRAY_BUFFER, (GLsizeiptr)sizeof layer.out, nullptr, GL_STREAM_DRAW);
    layer.ready = true;
    return true;
}

} // namespace

bool gl11Start(void) {
    layer = Layer{};
    layer.error = GL_NO_ERROR;
    layer.depth[0] = 1;
    layer.depth[1] = 1;
    identity(layer.stacks[0][0]);
    identity(layer.stacks[1][0]);
    identity(layer.textureMatrix);
    colour(1.0f, 1.0f, 1.0f, 1.0f);
    layer.index = 1.0f;
    layer.pointSize = 1.0f;
    layer.lineWidth = 1.0f;
    layer.shadeModel = GL11_SMOOTH;
    layer.drawBuffer = GL_BACK; // a double-buffered context draws to its back buffer
    layer.primitive = GL11_NO_PRIMITIVE;
    REAL(glGetIntegerv)(GL_VIEWPORT, layer.viewport);
    return makeObjects();
}

void gl11Flush(void) {
    flush(); // even inside glBegin and glEnd: what is drawn of a primitive is drawn
}

void gl11Lost(void) {
    layer.ready = false;
    layer.program = 0;
    layer.buffer = 0;
    layer.outCount = 0;
}

bool gl11Restore(void) {
    gl11Lost();
    if (!makeObjects()) {
        return false;
    }
    REAL(glViewport)(layer.viewport[0], layer.viewport[1], layer.viewport[2], layer.viewport[3]);
    REAL(glClearColor)
    (layer.clearColour[0], layer.clearColour[1], layer.clearColour[2], layer.clearColour[3]);
    return true;
}

extern "C" {

// --- Primitives ------------------------------------------------------------------------------

void GL11_NAME(glBegin)(GLenum mode) {
    if (insidePrimitive()) {
        return;
    }
    if (mode > GL11_POLYGON) {
        setError(GL_INVALID_ENUM);
        return;
    }
    layer.primitive = mode;
    layer.count = 0;
    layer.surfaceKnown = false;
}

void GL11_NAME(glEnd)(void) {
    if (layer.primitive == GL11_NO_PRIMITIVE) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    if (layer.primitive == GL_LINE_LOOP && layer.count >= 2) {
        line(&layer.recent[0], &layer.first);
    }
    polygonEnd();
    layer.primitive = GL11_NO_PRIMITIVE;
}

void GL11_NAME(glRectf)(GLfloat x1, GLfloat y1, GLfloat x2, GLfloat y2) {
    if (insidePrimitive()) {
        return;
    }
    layer.primitive = GL11_POLYGON;
    layer.count = 0;
    layer.surfaceKnown = false;
    vertex(x1, y1, 0.0f, 1.0f);
    vertex(x2, y1, 0.0f, 1.0f);
    vertex(x2, y2, 0.0f, 1.0f);
    vertex(x1, y2, 0.0f, 1.0f);
    polygonEnd();
    layer.primitive = GL11_NO_PRIMITIVE;
}
void GL11_NAME(glRectd)(GLdouble x1, GLdouble y1, GLdouble x2, GLdouble y2) {
    GL11_NAME(glRectf)((float)x1, (float)y1, (float)x2, (float)y2);
}
void GL11_NAME(glRecti)(GLint x1, GLint y1, GLint x2, GLint y2) {
    GL11_NAME(glRectf)((float)x1, (float)y1, (float)x2, (float)y2);
}
void GL11_NAME(glRects)(GLshort x1, GLshort y1, GLshort x2, GLshort y2) {
    GL11_NAME(glRectf)((float)x1, (float)y1, (float)x2, (float)y2);
}
void GL11_NAME(glRectfv)(const GLfloat* v1, const GLfloat* v2) {
    GL11_NAME(glRectf)(v1[0], v1[1], v2[0], v2[1]);
}
void GL11_NAME(glRectdv)(const GLdouble* v1, const GLdouble* v2) {
    GL11_NAME(glRectd)(v1[0], v1[1], v2[0], v2[1]);
}
void GL11_NAME(glRectiv)(const GLint* v1, const GLint* v2) {
    GL11_NAME(glRecti)(v1[0], v1[1], v2[0], v2[1]);
}
void GL11_NAME(glRectsv)(const GLshort* v1, const GLshort* v2) {
    GL11_NAME(glRects)(v1[0], v1[1], v2[0], v2[1]);
}

// Every glVertex form: two, three or four coordinates of one type, as values or an array.
#define GL11_VERTICES(suffix, type)                                                                \
    void GL11_NAME(glVertex2##suffix)(type x, type y) {                                            \
        vertex((float)x, (float)y, 0.0f, 1.0f);                                                    \
    }                                                                                              \
    void GL11_NAME(glVertex3##suffix)(type x, type y, type z) {                                    \
        vertex((float)x, (float)y, (float)z, 1.0f);                                                \
    }                                                                                              \
    void GL11_NAME(glVertex4##suffix)(type x, type y, type z, type w) {                            \
        vertex((float)x, (float)y, (float)z, (float)w);                                            \
    }                                                                                              \
    void GL11_NAME(glVertex2##suffix##v)(const type* v) {                                          \
        vertex((float)v[0], (float)v[1], 0.0f, 1.0f);                                              \
    }                                                                                              \
    void GL11_NAME(glVertex3##suffix##v)(const type* v) {                                          \
        vertex((float)v[0], (float)v[1], (float)v[2], 1.0f);                                       \
    }                                                                                              \
    void GL11_NAME(glVertex4##suffix##v)(const type* v) {                                          \
        vertex((float)v[0], (float)v[1], (float)v[2], (float)v[3]);                                \
    }
GL11_VERTICES(d, GLdouble)
GL11_VERTICES(f, GLfloat)
GL11_VERTICES(i, GLint)
GL11_VERTICES(s, GLshort)

// Every glColor form: three or four components of one type, converted by `from`.
#define GL11_COLOURS(suffix, type, from)                                                           \
    void GL11_NAME(glColor3##suffix)(type r, type g, type b) {                                     \
        colour(from(r), from(g), from(b), 1.0f);                                                   \
    }                                                                                              \
    void GL11_NAME(glColor4##suffix)(type r, type g, type b, type a) {                             \
        colour(from(r), from(g), from(b), from(a));                                                \
    }                                                                                              \
    void GL11_NAME(glColor3##suffix##v)(const type* v) {                                           \
        colour(from(v[0]), from(v[1]), from(v[2]), 1.0f);                                          \
    }                                                                                              \
    void GL11_NAME(glColor4##suffix##v)(const type* v) {                                           \
        colour(from(v[0]), from(v[1]), from(v[2]), from(v[3]));                                    \
    }
#define GL11_AS_FLOAT(c) ((float)(c))
GL11_COLOURS(d, GLdouble, GL11_AS_FLOAT)
GL11_COLOURS(f, GLfloat, GL11_AS_FLOAT)
GL11_COLOURS(b, GLbyte, fromByte)
GL11_COLOURS(s, GLshort, fromShort)
GL11_COLOURS(i, GLint, fromInt)
GL11_COLOURS(ub, GLubyte, fromUbyte)
GL11_COLOURS(us, GLushort, fromUshort)
GL11_COLOURS(ui, GLuint, fromUint)

// Colour indices: an RGBA context keeps the current index and draws with the current colour.
void GL11_NAME(glIndexd)(GLdouble c) {
    layer.index = (float)c;
}
void GL11_NAME(glIndexf)(GLfloat c) {
    layer.index = c;
}
void GL11_NAME(glIndexi)(GLint c) {
    layer.index = (float)c;
}
void GL11_NAME(glIndexs)(GLshort c) {
    layer.index = (float)c;
}
void GL11_NAME(glIndexdv)(const GLdouble* c) {
    layer.index = (float)c[0];
}
void GL11_NAME(glIndexfv)(const GLfloat* c) {
    layer.index = c[0];
}
void GL11_NAME(glIndexiv)(const GLint* c) {
    layer.index = (float)c[0];
}
void GL11_NAME(glIndexsv)(const GLshort* c) {
    layer.index = (float)c[0];
}
void GL11_NAME(glClearIndex)(GLfloat c) {
    if (!insidePrimitive()) {
        layer.clearIndex = c;
    }
}

// --- Matrices ----------------------------------------------------------------------------------

void GL11_NAME(glMatrixMode)(GLenum mode) {
    if (insidePrimitive()) {
        return;
    }
    if (mode == GL11_MODELVIEW) {
        layer.matrixMode = 0;
    } else if (mode == GL11_PROJECTION) {
        layer.matrixMode = 1;
    } else if (mode == GL11_TEXTURE) {
        layer.matrixMode = 2;
    } else {
        setError(GL_INVALID_ENUM);
    }
}

void GL11_NAME(glLoadIdentity)(void) {
    if (!insidePrimitive()) {
        identity(currentMatrix());
    }
}

void GL11_NAME(glLoadMatrixf)(const GLfloat* m) {
    if (!insidePrimitive()) {
        std::memcpy(currentMatrix(), m, 16 * sizeof(float));
    }
}
void GL11_NAME(glLoadMatrixd)(const GLdouble* m) {
    float f[16];
    for (int i = 0; i < 16; i++) {
        f[i] = (float)m[i];
    }
    GL11_NAME(glLoadMatrixf)(f);
}
void GL11_NAME(glMultMatrixf)(const GLfloat* m) {
    if (!insidePrimitive()) {
        multiply(m);
    }
}
void GL11_NAME(glMultMatrixd)(const GLdouble* m) {
    float f[16];
    for (int i = 0; i < 16; i++) {
        f[i] = (float)m[i];
    }
    GL11_NAME(glMultMatrixf)(f);
}

void GL11_NAME(glPushMatrix)(void) {
    if (insidePrimitive() || layer.matrixMode == 2) {
        return;
    }
    int stack = layer.matrixMode;
    if (layer.depth[stack] >= STACK_DEPTH) {
        setError(GL11_STACK_OVERFLOW);
        return;
    }
    std::memcpy(layer.stacks[stack][layer.depth[stack]],
                layer.stacks[stack][layer.depth[stack] - 1], 16 * sizeof(float));
    layer.depth[stack]++;
}

void GL11_NAME(glPopMatrix)(void) {
    if (insidePrimitive() || layer.matrixMode == 2) {
        return;
    }
    int stack = layer.matrixMode;
    if (layer.depth[stack] <= 1) {
        setError(GL11_STACK_UNDERFLOW);
        return;
    }
    layer.depth[stack]--;
}

void GL11_NAME(glOrtho)(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top,
                        GLdouble nearVal, GLdouble farVal) {
    if (insidePrimitive()) {
        return;
    }
    if (left == right || bottom == top || nearVal == farVal) {
        setError(GL_INVALID_VALUE);
        return;
    }
    float l = (float)left, r = (float)right, b = (float)bottom, t = (float)top;
    float n = (float)nearVal, f = (float)farVal;
    float m[16] = {};
    m[0] = 2.0f / (r - l);
    m[5] = 2.0f / (t - b);
    m[10] = -2.0f / (f - n);
    m[12] = -(r + l) / (r - l);
    m[13] = -(t + b) / (t - b);
    m[14] = -(f + n) / (f - n);
    m[15] = 1.0f;
    multiply(m);
}

void GL11_NAME(glFrustum)(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top,
                          GLdouble nearVal, GLdouble farVal) {
    if (insidePrimitive()) {
        return;
    }
    if (nearVal <= 0.0 || farVal <= 0.0 || left == right || bottom == top || nearVal == farVal) {
        setError(GL_INVALID_VALUE);
        return;
    }
    float l = (float)left, r = (float)right, b = (float)bottom, t = (float)top;
    float n = (float)nearVal, f = (float)farVal;
    float m[16] = {};
    m[0] = 2.0f * n / (r - l);
    m[5] = 2.0f * n / (t - b);
    m[8] = (r + l) / (r - l);
    m[9] = (t + b) / (t - b);
    m[10] = -(f + n) / (f - n);
    m[11] = -1.0f;
    m[14] = -2.0f * f * n / (f - n);
    multiply(m);
}

void GL11_NAME(glTranslatef)(GLfloat x, GLfloat y, GLfloat z) {
    if (insidePrimitive()) {
        return;
    }
    float m[16];
    identity(m);
    m[12] = x;
    m[13] = y;
    m[14] = z;
    multiply(m);
}
void GL11_NAME(glTranslated)(GLdouble x, GLdouble y, GLdouble z) {
    GL11_NAME(glTranslatef)((float)x, (float)y, (float)z);
}

void GL11_NAME(glScalef)(GLfloat x, GLfloat y, GLfloat z) {
    if (insidePrimitive()) {
        return;
    }
    float m[16];
    identity(m);
    m[0] = x;
    m[5] = y;
    m[10] = z;
    multiply(m);
}
void GL11_NAME(glScaled)(GLdouble x, GLdouble y, GLdouble z) {
    GL11_NAME(glScalef)((float)x, (float)y, (float)z);
}

// A rotation by `angle` degrees about the axis (x, y, z), which need not be of unit length.
void GL11_NAME(glRotatef)(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    if (insidePrimitive()) {
        return;
    }
    double radians = (double)angle * 3.14159265358979323846 / 180.0;
    float s = (float)std::sin(radians);
    float c = (float)std::cos(radians);
    float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f) {
        return;
    }
    x /= length;
    y /= length;
    z /= length;
    float k = 1.0f - c;
    float m[16] = {};
    m[0] = x * x * k + c;
    m[1] = y * x * k + z * s;
    m[2] = x * z * k - y * s;
    m[4] = x * y * k - z * s;
    m[5] = y * y * k + c;
    m[6] = y * z * k + x * s;
    m[8] = x * z * k + y * s;
    m[9] = y * z * k - x * s;
    m[10] = z * z * k + c;
    m[15] = 1.0f;
    multiply(m);
}
void GL11_NAME(glRotated)(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
    GL11_NAME(glRotatef)((float)angle, (float)x, (float)y, (float)z);
}

// --- State ---------------------------------------------------------------------------------------

void GL11_NAME(glViewport)(GLint x, GLint y, GLsizei width, GLsizei height) {
    if (insidePrimitive()) {
        return;
    }
    flush();
    if (width < 0 || height < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    // No wider or higher than OpenGL ES draws, as Mesa limits it to what its rasteriser draws.
    if (layer.maxViewport > 0) {
        width = std::min(width, (GLsizei)layer.maxViewport);
        height = std::min(height, (GLsizei)layer.maxViewport);
    }
    layer.viewport[0] = x;
    layer.viewport[1] = y;
    layer.viewport[2] = width;
    layer.viewport[3] = height;
    if (layer.ready) {
        REAL(glViewport)(x, y, width, height);
    }
}

void GL11_NAME(glClearColor)(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
    if (insidePrimitive()) {
        return;
    }
    flush();
    layer.clearColour[0] = clampUnit(red);
    layer.clearColour[1] = clampUnit(green);
    layer.clearColour[2] = clampUnit(blue);
    layer.clearColour[3] = clampUnit(alpha);
    if (layer.ready) {
        REAL(glClearColor)(red, green, blue, alpha);
    }
}

// The accumulation buffer does not exist here: its bit is accepted and clears nothing.
void GL11_NAME(glClear)(GLbitfield mask) {
    if (insidePrimitive()) {
        return;
    }
    flush();
    const GLbitfield known = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;
    if ((mask & ~(known | GL11_ACCUM_BUFFER_BIT)) != 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    if (layer.ready && layer.drawBuffer != GL_NONE) {
        REAL(glClear)(mask & known);
    }
}

void GL11_NAME(glPointSize)(GLfloat size) {
    if (insidePrimitive()) {
        return;
    }
    if (size <= 0.0f) {
        setError(GL_INVALID_VALUE);
        return;
    }
    layer.pointSize = size;
}

// The width is the layer's: OpenGL ES draws only its one-pixel lines, at its default width.
void GL11_NAME(glLineWidth)(GLfloat width) {
    if (insidePrimitive()) {
        return;
    }
    if (width <= 0.0f) {
        setError(GL_INVALID_VALUE);
        return;
    }
    layer.lineWidth = width;
}

void GL11_NAME(glShadeModel)(GLenum mode) {
    if (insidePrimitive()) {
        return;
    }
    if (mode != GL11_FLAT && mode != GL11_SMOOTH) {
        setError(GL_INVALID_ENUM);
        return;
    }
    layer.shadeModel = mode;
}

// A double-buffered context with no stereo and no auxiliary buffers: WebGL has one drawing
// buffer, which stands for both the front and the back one, so every valid choice draws to it.
void GL11_NAME(glDrawBuffer)(GLenum buffer) {
    if (insidePrimitive()) {
        return;
    }
    switch (buffer) {
    case GL_NONE:
    case GL_FRONT:
    case GL_BACK:
    case GL11_FRONT_LEFT:
    case GL11_BACK_LEFT:
    case GL11_LEFT:
    case GL_FRONT_AND_BACK:
        layer.drawBuffer = buffer;
        break;
    case GL11_FRONT_RIGHT:
    case GL11_BACK_RIGHT:
    case GL11_RIGHT:
        setError(GL_INVALID_OPERATION);
        break;
    default:
        if (buffer >= GL11_AUX0 && buffer <= GL11_AUX3) {
            setError(GL_INVALID_OPERATION);
        } else {
            setError(GL_INVALID_ENUM);
        }
        break;
    }
}

// Capabilities OpenGL ES has pass through; OpenGL 1.1's others (smoothing, stipples, lighting,
// fog, texturing) are not drawn by this layer and are ignored.
static bool passedThrough(GLenum capability) {
    switch (capability) {
    case GL_BLEND:
    case GL_CULL_FACE:
    case GL_DEPTH_TEST:
    case GL_DITHER:
    case GL_SCISSOR_TEST:
    case GL_STENCIL_TEST:
        return true;
    default:
        return false;
    }
}

void GL11_NAME(glEnable)(GLenum capability) {
    if (!insidePrimitive() && passedThrough(capability)) {
        flush();
        layer.culling = capability == GL_CULL_FACE ? true : layer.culling;
        if (layer.ready) {
            REAL(glEnable)(capability);
        }
    }
}

void GL11_NAME(glDisable)(GLenum capability) {
    if (!insidePrimitive() && passedThrough(capability)) {
        flush();
        layer.culling = capability == GL_CULL_FACE ? false : layer.culling;
        if (layer.ready) {
            REAL(glDisable)(capability);
        }
    }
}

void GL11_NAME(glFlush)(void) {
    flush();
    if (layer.ready) {
        REAL(glFlush)();
    }
}

void GL11_NAME(glFinish)(void) {
    flush();
    if (layer.ready) {
        REAL(glFinish)();
    }
}

GLenum GL11_NAME(glGetError)(void) {
    GLenum error = layer.error;
    if (error != GL_NO_ERROR) {
        layer.error = GL_NO_ERROR;
        return error;
    }
    flush(); // its errors are the calls' before this one
    return layer.ready ? REAL(glGetError)() : GL_NO_ERROR;
}

// The layer's own state as floats (16 for a matrix); false for what OpenGL ES answers.
static bool layerState(GLenum name, float* values) {
    switch (name) {
    case GL11_CURRENT_COLOR:
        std::memcpy(values, layer.colour, sizeof layer.colour);
        return true;
    case GL11_CURRENT_INDEX:
        values[0] = layer.index;
        return true;
    case GL11_INDEX_CLEAR_VALUE:
        values[0] = layer.clearIndex;
        return true;
    case GL11_POINT_SIZE:
        values[0] = layer.pointSize;
        return true;
    case GL_LINE_WIDTH:
        values[0] = layer.lineWidth;
        return true;
    case GL_COLOR_CLEAR_VALUE:
        std::memcpy(values, layer.clearColour, sizeof layer.clearColour);
        return true;
    case GL_VIEWPORT:
        for (int i = 0; i < 4; i++) {
            values[i] = (float)layer.viewport[i];
        }
        return true;
    case GL11_MODELVIEW_MATRIX:
        std::memcpy(values, layer.stacks[0][layer.depth[0] - 1], 16 * sizeof(float));
        return true;
    case GL11_PROJECTION_MATRIX:
        std::memcpy(values, layer.stacks[1][layer.depth[1] - 1], 16 * sizeof(float));
        return true;
    case GL11_MATRIX_MODE:
        values[0] = (float)(layer.matrixMode == 0   ? GL11_MODELVIEW
                            : layer.matrixMode == 1 ? GL11_PROJECTION
                                                    : GL11_TEXTURE);
        return true;
    case GL11_MODELVIEW_STACK_DEPTH:
        values[0] = (float)layer.depth[0];
        return true;
    case GL11_PROJECTION_STACK_DEPTH:
        values[0] = (float)layer.depth[1];
        return true;
    case GL11_MAX_MODELVIEW_STACK_DEPTH:
    case GL11_MAX_PROJECTION_STACK_DEPTH:
        values[0] = (float)STACK_DEPTH;
        return true;
    case GL11_SHADE_MODEL:
        values[0] = (float)layer.shadeModel;
        return true;
    case GL11_DRAW_BUFFER:
        values[0] = (float)layer.drawBuffer;
        return true;
    case GL11_DOUBLEBUFFER:
    case GL11_RGBA_MODE:
        values[0] = 1.0f;
        return true;
    case GL11_INDEX_MODE:
    case GL11_INDEX_BITS:
        values[0] = 0.0f;
        return true;
    default:
        return false;
    }
}

static int stateCount(GLenum name) {
    switch (name) {
    case GL11_CURRENT_COLOR:
    case GL_COLOR_CLEAR_VALUE:
    case GL_VIEWPORT:
        return 4;
    case GL11_MODELVIEW_MATRIX:
    case GL11_PROJECTION_MATRIX:
        return 16;
    default:
        return 1;
    }
}

void GL11_NAME(glGetFloatv)(GLenum name, GLfloat* values) {
    float own[16];
    if (layerState(name, own)) {
        std::memcpy(values, own, (size_t)stateCount(name) * sizeof(float));
    } else if (layer.ready) {
        REAL(glGetFloatv)(name, values);
    }
}

void GL11_NAME(glGetIntegerv)(GLenum name, GLint* values) {
    float own[16];
    if (!layerState(name, own)) {
        if (layer.ready) {
            REAL(glGetIntegerv)(name, values);
        }
        return;
    }
    int count = stateCount(name);
    for (int i = 0; i < count; i++) {
        // Colours map [0, 1] onto the whole positive integer range, as OpenGL returns them.
        if (name == GL11_CURRENT_COLOR || name == GL_COLOR_CLEAR_VALUE) {
            own[i] = (float)((double)own[i] * 2147483647.0);
        }
        values[i] = (GLint)std::lround(own[i]);
    }
}

} // extern "C"
