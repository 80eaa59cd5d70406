// The colour-map operations on a palette the test hands to the kit, realization in both modes,
// and the system colour takeover's state machine, with the registry scheme laid over the
// saved colours at restore. A memory device context stands in: no window is needed.
#include "kit/core.h"
#include "platform/testctl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace {

HDC const fakeDc = CreateCompatibleDC(nullptr);
const char* const colorsKey = "Control Panel\\Colors";

struct Block {
    WORD version;
    WORD count;
    PALETTEENTRY entries[256];
};

// Gives the kit a palette of `count` entries, every one the marker colour (7, 7, 7).
HPALETTE givePalette(int count) {
    Block block = {};
    block.version = 0x300;
    block.count = (WORD)count;
    for (int i = 0; i < count; i++) {
        block.entries[i] = PALETTEENTRY{7, 7, 7, 0};
    }
    kit.palette = CreatePalette((const LOGPALETTE*)&block);
    return kit.palette;
}

PALETTEENTRY entryOf(int index) {
    PALETTEENTRY entry = {};
    EXPECT_EQ(GetPaletteEntries(kit.palette, (UINT)index, 1, &entry), 1u) << index;
    return entry;
}

void expectEntry(int index, int red, int green, int blue, int flags) {
    PALETTEENTRY entry = entryOf(index);
    EXPECT_EQ(entry.peRed, red) << "entry " << index;
    EXPECT_EQ(entry.peGreen, green) << "entry " << index;
    EXPECT_EQ(entry.peBlue, blue) << "entry " << index;
    EXPECT_EQ(entry.peFlags, flags) << "entry " << index;
}

void expectGrey(int index, int grey, int flags) {
    expectEntry(index, grey, grey, grey, flags);
}

class ColourMap : public ::testing::Test {
  protected:
    void SetUp() override {
        kitResetState();
        testClearFaults();
        testResetSystemColours();
        testClearRegistry();
        testPresentPaletteDisplay(1);
        testUseVirtualClock();
        kit.deviceContext = fakeDc;
    }
    void TearDown() override {
        SelectPalette(fakeDc, (HPALETTE)GetStockObject(DEFAULT_PALETTE), FALSE);
        if (kit.palette != nullptr) {
            DeleteObject(kit.palette);
        }
        kitResetState();
        testPresentPaletteDisplay(0);
        testClearFaults();
        testClearRegistry();
        testUseRealClock();
    }
};

TEST_F(ColourMap, NothingWithoutAPalette) {
    // No window and no DC yet: no palette is made and every operation reports 0.
    kit.deviceContext = nullptr;
    EXPECT_EQ(kitSetOneColour(5, 1.0f, 0.5f, 0.0f), 0);
    EXPECT_EQ(kitSetFadeRamps(4, 4), 0);
    EXPECT_EQ(kitSetGreyRamp(), 0);
    EXPECT_EQ(kitSetRgbMap(1, 2), 0);
    EXPECT_EQ(kitGetColourMapSize(), 0);
    EXPECT_EQ(kit.palette, nullptr);
}

TEST_F(ColourMap, OneColourConvertsWithoutClamping) {
    givePalette(256);
    EXPECT_EQ(kitGetColourMapSize(), 256);
    kitSetOneColour(5, 1.0f, 0.5f, 0.0f);
    expectEntry(5, 255, 128, 0, 0);
    kitSetOneColour(6, 1.2f, -0.2f, 0.0f); // low 8 bits of 306 and of -50
    expectEntry(6, 50, 206, 0, 0);
    // Values no integer can hold are not undefined: they give some byte and touch nothing else.
    kitSetOneColour(7, std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f);
    expectGrey(8, 7, 0);

    // An index outside the palette reaches the palette unchecked and changes nothing there.
    PALETTEENTRY before[256];
    GetPaletteEntries(kit.palette, 0, 256, before);
    kitSetOneColour(256, 1.0f, 1.0f, 1.0f);
    kitSetOneColour(-1, 1.0f, 1.0f, 1.0f);
    PALETTEENTRY after[256];
    GetPaletteEntries(kit.palette, 0, 256, after);
    EXPECT_EQ(std::memcmp(before, after, sizeof before), 0);

    kit.systemPaletteMode = 1;
    kitSetOneColour(5, 1.0f, 0.5f, 0.0f);
    expectEntry(5, 255, 128, 0, PC_NOCOLLAPSE);
    kitSetOneColour(9, 1.0f, 1.0f, 1.0f);
    expectEntry(9, 255, 255, 255, PC_RESERVED | PC_NOCOLLAPSE);
    EXPECT_NE(kitSetOneColour(0, 1.0f, 1.0f, 1.0f), 0);
    EXPECT_NE(kitSetOneColour(255, 0.0f, 0.0f, 0.0f), 0);
    expectGrey(0, 7, 0);
    expectGrey(255, 7, 0);
}

TEST_F(ColourMap, FadeRamps) {
    givePalette(256);
    kitSetFadeRamps(4, 4);
    expectGrey(0, 0, 0);
    expectGrey(1, 16, 0);
    expectGrey(15, 240, 0);
    expectGrey(16, 16, 0);   // level 1 starts at 16
    expectGrey(31, 255, 0);  // 16 + 240 stays at 255
    expectGrey(255, 255, 0); // 240 + 240
    kit.systemPaletteMode = 1;
    kitSetFadeRamps(4, 4);
    expectGrey(0, 0, 0);
    expectGrey(1, 16, PC_NOCOLLAPSE);
    expectGrey(31, 255, PC_RESERVED | PC_NOCOLLAPSE);
    expectGrey(255, 255, 0);
    DeleteObject(kit.palette);
    kit.systemPaletteMode = 0;

    // More ramp entries than the palette has: only the palette's 16 are filled and written.
    givePalette(16);
    kitSetFadeRamps(4, 4);
    for (int s = 0; s < 16; s++) {
        expectGrey(s, s * 16 < 255 ? s * 16 : 255, 0);
    }
    DeleteObject(kit.palette);

    // Fewer: the entries past the ramps keep their colours.
    givePalette(256);
    kitSetFadeRamps(1, 1);
    expectGrey(0, 0, 0);
    expectGrey(1, 2, 0);
    expectGrey(2, 2, 0);
    expectGrey(3, 4, 0);
    expectGrey(4, 7, 0);
    expectGrey(255, 7, 0);

    // Negative and huge shift counts: one entry per level, as many levels as fit.
    kitSetFadeRamps(-3, 40);
    for (int i = 0; i < 256; i += 51) {
        expectGrey(i, i, 0);
    }
    kitSetFadeRamps(40, -3);
    expectGrey(255, 255, 0);
    expectGrey(100, 100, 0);
}

TEST_F(ColourMap, GreyRamps) {
    givePalette(256);
    kitSetGreyRamp();
    for (int i = 0; i < 256; i += 17) {
        expectGrey(i, i, 0);
    }
    kit.systemPaletteMode = 1;
    kitSetGreyRamp();
    expectGrey(0, 0, 0);
    expectGrey(128, 128, PC_NOCOLLAPSE);
    expectGrey(255, 255, 0); // white gets no PC_RESERVED here
    DeleteObject(kit.palette);

    givePalette(16);
    kit.systemPaletteMode = 0;
    kitSetGreyRamp();
    for (int i = 0; i < 16; i++) {
        expectGrey(i, 17 * i, 0);
    }
    DeleteObject(kit.palette);

    givePalette(1); // nothing to spread a ramp over, and no division by zero
    kitSetGreyRamp();
    expectGrey(0, 0, 0);
}

class Takeover : public ColourMap {
  protected:
    void SetUp() override {
        ColourMap::SetUp();
        givePalette(256);
        kit.systemPaletteMode = 1;
    }
    COLORREF standard[KIT_SYSTEM_COLOUR_ELEMENTS] = {};
    void readColours(COLORREF* colours) {
        for (int e = 0; e < KIT_SYSTEM_COLOUR_ELEMENTS; e++) {
            colours[e] = GetSysColor(e);
        }
    }
};

TEST_F(Takeover, ForegroundTakesBackgroundGivesBack) {
    readColours(standard);
    EXPECT_GT(kitRealizePalette(fakeDc, kit.palette, 0), 0);
    EXPECT_EQ(kit.systemColoursTaken, 1);
    EXPECT_EQ(GetSystemPaletteUse(fakeDc), (UINT)SYSPAL_NOSTATIC);
    for (int e = 0; e < KIT_SYSTEM_COLOUR_ELEMENTS; e++) {
        EXPECT_EQ(kit.savedSystemColours[e], standard[e]) << e;
        EXPECT_EQ(GetSysColor(e), takeoverColours[e] & 0xFFFFFFu) << e;
    }
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_ACTIVECAPTION), RGB(0, 0, 0));

    // A second foreground realize saves nothing again.
    EXPECT_EQ(kitRealizePalette(fakeDc, kit.palette, 0), 0);
    EXPECT_EQ(kit.savedSystemColours[COLOR_ACTIVECAPTION], standard[COLOR_ACTIVECAPTION]);

    EXPECT_GE(kitRealizePalette(fakeDc, kit.palette, 1), 0);
    EXPECT_EQ(kit.systemColoursTaken, 0);
    EXPECT_EQ(GetSystemPaletteUse(fakeDc), (UINT)SYSPAL_STATIC);
    COLORREF restored[KIT_SYSTEM_COLOUR_ELEMENTS];
    readColours(restored);
    EXPECT_EQ(std::memcmp(restored, standard, sizeof standard), 0);
    PALETTEENTRY system[256];
    testGetSystemPalette(system);
    EXPECT_EQ(system[1].peRed, 128); // the static colours are back
    // Without the registry key the restore put back exactly the saved colours.
    EXPECT_EQ(kitReadColourScheme(restored, KIT_SYSTEM_COLOUR_ELEMENTS), 0);
    EXPECT_EQ(kitRestoreSystemColours(fakeDc), 0); // nothing left to give back
}

TEST_F(Takeover, RestoreLaysTheRegistrySchemeOverTheSavedColours) {
    const INT window = COLOR_WINDOW;
    const COLORREF custom = RGB(1, 2, 3);
    SetSysColors(1, &window, &custom);
    readColours(standard);
    ASSERT_EQ(kitTakeOverSystemColours(fakeDc), 1);

    testSetRegistryValue(colorsKey, "Window", REG_SZ, "255 255 255");
    testSetRegistryValue(colorsKey, "Background", REG_SZ, "300 0 0");
    testSetRegistryValue(colorsKey, "Menu", REG_SZ, "12 34");           // two numbers
    testSetRegistryValue(colorsKey, "ActiveTitle", REG_DWORD, "1 2 3"); // not a string
    testSetRegistryValue(colorsKey, "Scrollbar", REG_SZ, std::string(80, '1').c_str()); // > 64
    testSetRegistryValue(colorsKey, "WindowText", REG_SZ, " -1\t256   513 trailing");
    ASSERT_EQ(kitRestoreSystemColours(fakeDc), 1);

    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_BACKGROUND), RGB(44, 0, 0));
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), RGB(255, 0, 1));
    EXPECT_EQ(GetSysColor(COLOR_MENU), standard[COLOR_MENU]);
    EXPECT_EQ(GetSysColor(COLOR_ACTIVECAPTION), standard[COLOR_ACTIVECAPTION]);
    EXPECT_EQ(GetSysColor(COLOR_SCROLLBAR), standard[COLOR_SCROLLBAR]);
    EXPECT_EQ(GetSysColor(COLOR_INFOBK), standard[COLOR_INFOBK]);
}

TEST_F(Takeover, TwentyOneElementsOnOldSystems) {
    kit.systemColourCount = 21;
    readColours(standard);
    ASSERT_EQ(kitTakeOverSystemColours(fakeDc), 1);
    EXPECT_EQ(GetSysColor(20), takeoverColours[20] & 0xFFFFFFu);
    for (int e = 21; e < KIT_SYSTEM_COLOUR_ELEMENTS; e++) {
        EXPECT_EQ(GetSysColor(e), standard[e]) << e;   // not replaced
        EXPECT_EQ(kit.savedSystemColours[e], 0u) << e; // not saved
    }
    // Changed meanwhile by someone else: elements past 20 are not put back or read.
    const INT light = COLOR_3DLIGHT;
    const COLORREF changed = RGB(9, 9, 9);
    SetSysColors(1, &light, &changed);
    testSetRegistryValue(colorsKey, "ButtonLight", REG_SZ, "1 1 1");
    testSetRegistryValue(colorsKey, "ButtonHilight", REG_SZ, "2 2 2");
    ASSERT_EQ(kitRestoreSystemColours(fakeDc), 1);
    EXPECT_EQ(GetSysColor(COLOR_3DLIGHT), RGB(9, 9, 9));
    EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), RGB(2, 2, 2));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), standard[COLOR_WINDOW]);
}

TEST_F(Takeover, RefusedTakeoverChangesNothingAndAsksAgain) {
    readColours(standard);
    testRefuseSystemPaletteUse(1);
    uint32_t sleeps = testSleepCount();
    EXPECT_EQ(kitRealizePalette(fakeDc, kit.palette, 0), -1);
    EXPECT_EQ(testSleepCount(), sleeps + 1);
    EXPECT_EQ(testLastSleep(), 0u);
    EXPECT_EQ(kit.systemColoursTaken, 0);
    COLORREF now[KIT_SYSTEM_COLOUR_ELEMENTS];
    readColours(now);
    EXPECT_EQ(std::memcmp(now, standard, sizeof now), 0);
    // The palette was never selected: the DC still holds the stock palette.
    HPALETTE stock = (HPALETTE)GetStockObject(DEFAULT_PALETTE);
    EXPECT_EQ(SelectPalette(fakeDc, stock, FALSE), stock);
    // The first refusal asked at once; a refused retry waits for the loop's empty queue.
    EXPECT_EQ(kit.realizeRetry, KIT_RETRY_POSTED);
    EXPECT_EQ(kitRealizePalette(fakeDc, kit.palette, 0), -1);
    EXPECT_EQ(kit.realizeRetry, KIT_RETRY_DEFERRED);

    testRefuseSystemPaletteUse(0);
    EXPECT_GT(kitRealizePalette(fakeDc, kit.palette, 0), 0);
    EXPECT_EQ(kit.systemColoursTaken, 1);
    EXPECT_EQ(kit.realizeRetry, KIT_RETRY_NONE);
}

TEST_F(Takeover, AnInactiveWindowDoesNotTakeTheColours) {
    readColours(standard);
    kit.windowInactive = 1;
    // What the rebuild after the kit's own restore broadcast asks for: a foreground realize.
    EXPECT_GE(kitRealizePalette(fakeDc, kit.palette, 0), 0);
    EXPECT_EQ(kit.systemColoursTaken, 0);
    EXPECT_EQ(GetSystemPaletteUse(fakeDc), (UINT)SYSPAL_STATIC);
    COLORREF now[KIT_SYSTEM_COLOUR_ELEMENTS];
    readColours(now);
    EXPECT_EQ(std::memcmp(now, standard, sizeof now), 0);
    // Nor does it start retrying when the display would refuse.
    testRefuseSystemPaletteUse(1);
    EXPECT_GE(kitRealizePalette(fakeDc, kit.palette, 0), 0);
    EXPECT_EQ(kit.realizeRetry, KIT_RETRY_NONE);
    testRefuseSystemPaletteUse(0);
    kit.windowInactive = 0;
    EXPECT_GT(kitRealizePalette(fakeDc, kit.palette, 0), 0);
    EXPECT_EQ(kit.systemColoursTaken, 1);
}

} // namespace
