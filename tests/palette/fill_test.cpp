// The RGB palette's contents without a window: brightness ramps, the static colours placed on
// the 3-3-2 layout, system-palette mode, other layouts, and the static colour match itself.
#include "kit/core.h"
#include "platform/testctl.h"

#include <gtest/gtest.h>

namespace {

const BYTE ramp2[4] = {0, 116, 191, 255};
const BYTE ramp3[8] = {0, 63, 104, 139, 171, 200, 229, 255};
const int standardSlots[20] = {0,   3,   24, 27, 64, 67, 88,  173, 181, 236,
                               247, 164, 91, 7,  56, 63, 192, 199, 248, 255};

PIXELFORMATDESCRIPTOR layout(int redShift, int greenShift, int blueShift, int redBits = 3,
                             int greenBits = 3, int blueBits = 2) {
    PIXELFORMATDESCRIPTOR format = {};
    format.iPixelType = PFD_TYPE_RGBA;
    format.dwFlags = PFD_NEED_PALETTE;
    format.cColorBits = 8;
    format.cRedBits = (BYTE)redBits;
    format.cRedShift = (BYTE)redShift;
    format.cGreenBits = (BYTE)greenBits;
    format.cGreenShift = (BYTE)greenShift;
    format.cBlueBits = (BYTE)blueBits;
    format.cBlueShift = (BYTE)blueShift;
    return format;
}

PALETTEENTRY stockEntry(int index) {
    PALETTEENTRY entry = {};
    GetPaletteEntries((HPALETTE)GetStockObject(DEFAULT_PALETTE), (UINT)index, 1, &entry);
    return entry;
}

class Fill : public ::testing::Test {
  protected:
    void SetUp() override { kitResetState(); }
    PALETTEENTRY entries[256] = {};
};

TEST(Ramps, FieldWidthsAndShifts) {
    for (int v = 0; v < 8; v++) {
        EXPECT_EQ(kitRampValue(v << 3, 3, 3), ramp3[v]) << v;
    }
    for (int v = 0; v < 4; v++) {
        EXPECT_EQ(kitRampValue(v << 6, 2, 6), ramp2[v]) << v;
    }
    EXPECT_EQ(kitRampValue(1, 1, 0), 255);
    EXPECT_EQ(kitRampValue(2, 1, 0), 0);     // only the field's own bits count
    EXPECT_EQ(kitRampValue(0x4F, 3, 3), 63); // higher bits beyond the field are dropped
    // Any other width gives 0.
    EXPECT_EQ(kitRampValue(255, 0, 0), 0);
    EXPECT_EQ(kitRampValue(255, 4, 0), 0);
    EXPECT_EQ(kitRampValue(255, 8, 0), 0);
    // Shift counts that C++ could not shift by are defined here: nothing is left of the index.
    EXPECT_EQ(kitRampValue(255, 3, -1), 0);
    EXPECT_EQ(kitRampValue(255, 3, 32), 0);
    EXPECT_EQ(kitRampValue(255, 2, 1000), 0);
}

TEST_F(Fill, Rgb332PlacesTheStaticColours) {
    for (int32_t& slot : kit.staticColourSlots) {
        slot = 17; // the match must recompute every slot
    }
    PIXELFORMATDESCRIPTOR format = layout(0, 3, 6);
    kitFillRgbRamps(&format, entries, 256);

    bool isStatic[256] = {};
    for (int j = 0; j < 20; j++) {
        EXPECT_EQ(kit.staticColourSlots[j], standardSlots[j]) << "static colour " << j;
        const PALETTEENTRY& entry = entries[standardSlots[j]];
        PALETTEENTRY expected = stockEntry(j);
        EXPECT_EQ(entry.peRed, expected.peRed) << j;
        EXPECT_EQ(entry.peGreen, expected.peGreen) << j;
        EXPECT_EQ(entry.peBlue, expected.peBlue) << j;
        EXPECT_EQ(entry.peFlags, 0) << j;
        isStatic[standardSlots[j]] = true;
    }
    for (int i = 0; i < 256; i++) {
        if (isStatic[i]) {
            continue;
        }
        EXPECT_EQ(entries[i].peRed, ramp3[i & 7]) << i;
        EXPECT_EQ(entries[i].peGreen, ramp3[(i >> 3) & 7]) << i;
        EXPECT_EQ(entries[i].peBlue, ramp2[(i >> 6) & 3]) << i;
        EXPECT_EQ(entries[i].peFlags, PC_NOCOLLAPSE) << i;
    }
    EXPECT_EQ(entries[1].peRed, 63);
    EXPECT_EQ(entries[8].peGreen, 63);
    EXPECT_EQ(entries[64].peBlue, 128); // static colour 4 in place of the ramp's 116
    EXPECT_EQ(entries[3].peRed, 128);   // static colour 1 on the entry nearest to it
}

TEST_F(Fill, SystemPaletteModeKeepsPureRamps) {
    kit.systemPaletteMode = 1;
    PIXELFORMATDESCRIPTOR format = layout(0, 3, 6);
    kitFillRgbRamps(&format, entries, 256);
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(entries[i].peRed, ramp3[i & 7]) << i;
        EXPECT_EQ(entries[i].peGreen, ramp3[(i >> 3) & 7]) << i;
        EXPECT_EQ(entries[i].peBlue, ramp2[(i >> 6) & 3]) << i;
        EXPECT_EQ(entries[i].peFlags, (i == 0 || i == 255) ? 0 : PC_NOCOLLAPSE) << i;
    }
    EXPECT_EQ(entries[255].peRed, 255);
    EXPECT_EQ(entries[255].peBlue, 255);
}

TEST_F(Fill, OtherLayoutsAndSizesGetRampsOnly) {
    // Blue in the low bits: ramps only, every entry its own.
    PIXELFORMATDESCRIPTOR bgr = layout(5, 2, 0);
    kitFillRgbRamps(&bgr, entries, 256);
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(entries[i].peRed, ramp3[(i >> 5) & 7]) << i;
        EXPECT_EQ(entries[i].peGreen, ramp3[(i >> 2) & 7]) << i;
        EXPECT_EQ(entries[i].peBlue, ramp2[i & 3]) << i;
        EXPECT_EQ(entries[i].peFlags, PC_NOCOLLAPSE) << i;
    }
    // The 3-3-2 fields on a palette of another size: no static colours, no special ends.
    PALETTEENTRY small[16] = {};
    PIXELFORMATDESCRIPTOR rgb = layout(0, 3, 6);
    kitFillRgbRamps(&rgb, small, 16);
    for (int i = 0; i < 16; i++) {
        EXPECT_EQ(small[i].peRed, ramp3[i & 7]) << i;
        EXPECT_EQ(small[i].peGreen, ramp3[(i >> 3) & 7]) << i;
        EXPECT_EQ(small[i].peBlue, 0) << i;
        EXPECT_EQ(small[i].peFlags, PC_NOCOLLAPSE) << i;
    }
    // Fields of width 0 (a colour-index description) make every entry black.
    PIXELFORMATDESCRIPTOR none = layout(0, 0, 0, 0, 0, 0);
    kitFillRgbRamps(&none, entries, 256);
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(entries[i].peRed | entries[i].peGreen | entries[i].peBlue, 0) << i;
    }
    kitFillRgbRamps(&rgb, nullptr, 256); // no buffer: nothing happens
}

TEST_F(Fill, MatchTakesExactColoursThenTheLowestNearest) {
    // Every entry the same grey except one exact white far up: white goes there, and each other
    // static colour takes the lowest entry not yet taken, in static colour order.
    for (PALETTEENTRY& entry : entries) {
        entry = PALETTEENTRY{5, 5, 5, 9};
    }
    entries[100] = PALETTEENTRY{255, 255, 255, 9};
    kitMatchStaticColours(entries);
    for (int j = 0; j < 19; j++) {
        EXPECT_EQ(kit.staticColourSlots[j], j) << j;
    }
    EXPECT_EQ(kit.staticColourSlots[19], 100);
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(entries[i].peFlags, PC_NOCOLLAPSE) << i;
    }
    for (int j = 0; j < 20; j++) {
        PALETTEENTRY expected = stockEntry(j);
        EXPECT_EQ(kit.staticColours[j].peRed, expected.peRed);
        EXPECT_EQ(kit.staticColours[j].peFlags, 0);
    }
}

TEST_F(Fill, MatchPrefersTheCloserEntryOverTheLowerOne) {
    for (PALETTEENTRY& entry : entries) {
        entry = PALETTEENTRY{60, 60, 60, 0};
    }
    entries[200] = PALETTEENTRY{120, 0, 0, 0}; // close to static colour 1, (128, 0, 0)
    kitMatchStaticColours(entries);
    EXPECT_EQ(kit.staticColourSlots[0], 0);
    EXPECT_EQ(kit.staticColourSlots[1], 200);
    EXPECT_EQ(kit.staticColourSlots[2], 1);
}

} // namespace
