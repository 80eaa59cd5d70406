// Which pixels Mesa's llvmpipe gives points, lines and triangles, as plain arithmetic that the
// OpenGL 1.1 layer repeats before it hands the pixels to WebGL as rectangles of whole pixels: the
// same pixels on any GPU.
//
// Everything here works in the rasteriser's window coordinates: x to the right and y downwards
// from the top left corner of the drawing buffer, in pixels, a pixel's centre half a pixel in
// from its corner. llvmpipe places corners in a fixed point of 1/256 pixel.
#pragma once

namespace gl11raster {

// A coordinate in the rasteriser's fixed point (1/256 pixel), rounded half away from zero.
int toFixed(float a);

// A line's width in whole pixels: the size rounded to the nearest, halves away from zero, at
// least 1.
int lineWidth(float width);

// A point's side in whole pixels: the size rounded to the nearest, halves down, at least 1.
int pointWidth(float size);

// The pixels of a square point of `width` whose centre is at `position`: columns box[0] to box[2]
// and rows box[1] to box[3], inclusive. An odd width is centred on the pixel that holds the
// position, an even one on the pixel corner nearest to it; a position on a pixel's upper edge
// belongs to the pixel above.
void pointPixels(const float position[2], int width, int box[4]);

// A line of `width` pixels from `a` to `b`: the parallelogram that covers its pixels, widened
// along the minor axis, its ends moved to where a one-pixel line between the same ends starts and
// stops drawing (the diamond-exit rule). The corners come in fixed point, in order around it.
// False when the line covers no pixel.
bool lineCorners(const float a[2], const float b[2], int width, int corners[4][2]);

// The edges of a convex polygon of three or four fixed-point corners in order around it (a
// line's parallelogram as lineCorners gives it, or a triangle as triangleCorners orders it), as
// llvmpipe's rasteriser tests a pixel against them: inside an edge when
// c + 256 (dcdy y - dcdx x) > 0 at the pixel's centre (x, y whole, in the fixed point's frame), c
// one more on a left edge and on a lower horizontal one, so that a centre exactly on an edge
// belongs to one side only.
struct Edges {
    int count;
    long long c[4];
    long long dcdx[4];
    long long dcdy[4];
    int rows[2]; // first and last row that may hold a pixel
};
Edges edgesOf(const int (*corners)[2], int count);

// The columns of `row` inside all the edges, first to last; false when there are none.
bool rowSpan(const Edges& edges, int row, int* first, int* last);

// A triangle's corners (window positions) in fixed point, in the order around it that llvmpipe
// rasterises; false when it has no area there.
bool triangleCorners(const float* const positions[3], int corners[3][2]);

// The byte an RGBA8 buffer receives for a colour component in [0, 1]: c times 255, rounded to
// the nearest, halves to even.
unsigned char colourByte(float c);

} // namespace gl11raster
