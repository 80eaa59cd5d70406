// Kit operations not built yet: each fails honestly (0, null or nothing done) until its real
// implementation replaces it here. Remove a function from this file when you implement it.
#include "kit/core.h"

#include <cstdarg>

HPALETTE kitCreateRgbPalette(HDC dc) {
    (void)dc;
    return nullptr;
}

HPALETTE kitEnsureIndexPalette(HDC dc) {
    (void)dc;
    return nullptr;
}

void kitFillRgbRamps(const PIXELFORMATDESCRIPTOR* description, PALETTEENTRY* entries,
                     uint32_t count) {
    (void)description;
    (void)entries;
    (void)count;
}

BYTE kitRampValue(int32_t index, int32_t bits, int32_t shift) {
    (void)index;
    (void)bits;
    (void)shift;
    return 0;
}

void kitMatchStaticColours(PALETTEENTRY* entries) {
    (void)entries;
}

void kitFlushSystemPalette(HDC dc, int32_t count) {
    (void)dc;
    (void)count;
}

int kitRealizePalette(HDC dc, HPALETTE palette, int32_t background) {
    (void)dc;
    (void)palette;
    (void)background;
    return 0;
}

int kitTakeOverSystemColours(HDC dc) {
    (void)dc;
    return 0;
}

int kitRestoreSystemColours(HDC dc) {
    (void)dc;
    return 0;
}

int kitReadColourScheme(COLORREF* colours, int32_t count) {
    (void)colours;
    (void)count;
    return 0;
}
int kitSetOneColour(int32_t index, float red, float green, float blue) {
    (void)index;
    (void)red;
    (void)green;
    (void)blue;
    return 0;
}

int kitSetFadeRamps(int32_t stepBits, int32_t levelBits) {
    (void)stepBits;
    (void)levelBits;
    return 0;
}

int kitSetGreyRamp(void) {
    return 0;
}

int kitSetRgbMap(int32_t first, int32_t second) {
    (void)first;
    (void)second;
    return 0;
}

int kitGetColourMapSize(void) {
    return 0;
}
