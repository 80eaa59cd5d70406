// The platform layer's emulated GDI: palette bounds and stale handles, selection, and how
// realizations and the static colours share the presented display's system palette.
#include "kit/core.h"
#include "platform/testctl.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Memory DCs: each holds a palette selection of its own, and no window is needed.
HDC const dcA = CreateCompatibleDC(nullptr);
HDC const dcB = CreateCompatibleDC(nullptr);

struct Block {
    WORD version;
    WORD count;
    PALETTEENTRY entries[256];
};

// Entry i is (base + i, i, 255 - i).
HPALETTE makePalette(int count, BYTE flags, BYTE base = 0, WORD version = 0x300) {
    static Block block;
    block.version = version;
    block.count = (WORD)count;
    for (int i = 0; i < count && i < 256; i++) {
        block.entries[i] = PALETTEENTRY{(BYTE)(base + i), (BYTE)i, (BYTE)(255 - i), flags};
    }
    return CreatePalette((const LOGPALETTE*)&block);
}

bool sameEntry(const PALETTEENTRY& a, const PALETTEENTRY& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class Gdi : public ::testing::Test {
  protected:
    void SetUp() override {
        testClearFaults();
        testResetSystemColours();
        testPresentPaletteDisplay(1);
    }
    void TearDown() override {
        SelectPalette(dcA, stock, FALSE);
        SelectPalette(dcB, stock, FALSE);
        testPresentPaletteDisplay(0);
        testClearFaults();
    }
    HPALETTE stock = (HPALETTE)GetStockObject(DEFAULT_PALETTE);
};

TEST_F(Gdi, PaletteEntriesStayInBoundsAndHandlesGoStale) {
    EXPECT_EQ(makePalette(4, 0, 0, 0x200), nullptr); // only version 0x300
    testFailCall(TEST_CREATE_PALETTE);
    EXPECT_EQ(makePalette(4, 0), nullptr);
    HPALETTE palette = makePalette(4, PC_NOCOLLAPSE, 10);
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 4u);
    PALETTEENTRY read[4] = {};
    EXPECT_EQ(GetPaletteEntries(palette, 2, 10, read), 2u);
    EXPECT_TRUE(sameEntry(read[0], PALETTEENTRY{12, 2, 253, PC_NOCOLLAPSE}));

    // A write that starts inside copies only the entries inside; one outside changes nothing.
    PALETTEENTRY writes[3] = {{1, 1, 1, 0}, {2, 2, 2, 0}, {3, 3, 3, 0}};
    EXPECT_EQ(SetPaletteEntries(palette, 3, 3, writes), 1u);
    EXPECT_EQ(SetPaletteEntries(palette, 0xFFFFFFFFu, 1, writes), 0u);
    EXPECT_EQ(SetPaletteEntries(stock, 0, 1, writes), 0u); // the stock palette is fixed
    PALETTEENTRY all[4] = {};
    ASSERT_EQ(GetPaletteEntries(palette, 0, 4, all), 4u);
    EXPECT_TRUE(sameEntry(all[2], PALETTEENTRY{12, 2, 253, PC_NOCOLLAPSE}));
    EXPECT_TRUE(sameEntry(all[3], PALETTEENTRY{1, 1, 1, 0}));

    // Selection hands back the previous palette; a failed one changes nothing.
    SelectPalette(dcA, stock, FALSE);
    EXPECT_EQ(SelectPalette(dcA, palette, FALSE), stock);
    testFailCall(TEST_SELECT_PALETTE);
    EXPECT_EQ(SelectPalette(dcA, stock, FALSE), nullptr);
    EXPECT_EQ(SelectPalette(dcA, palette, FALSE), palette);

    // Deleted while selected: the DC falls back to the stock palette, and the old handle names
    // nothing even once its place is taken again.
    EXPECT_TRUE(DeleteObject(palette));
    EXPECT_FALSE(DeleteObject(palette));
    HPALETTE next = makePalette(2, 0);
    EXPECT_NE(next, palette);
    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 0u);
    EXPECT_EQ(SelectPalette(dcA, palette, FALSE), nullptr);
    EXPECT_EQ(SelectPalette(dcA, next, FALSE), stock);
    SelectPalette(dcA, stock, FALSE);
    DeleteObject(next);
}

// A DC handle names what it belongs to: a deleted memory DC, or a value that names nothing, is
// refused, and a new memory DC starts with the stock palette whatever its slot held before.
TEST_F(Gdi, DcHandlesNameWhatTheyBelongTo) {
    HPALETTE palette = makePalette(4, 0);
    ASSERT_NE(palette, nullptr);
    HDC memory = CreateCompatibleDC(nullptr);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(SelectPalette(memory, palette, FALSE), stock);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_FALSE(DeleteDC(memory));
    EXPECT_EQ(SelectPalette(memory, stock, FALSE), nullptr) << "a deleted DC is stale";
    EXPECT_EQ(RealizePalette(memory), GDI_ERROR);
    EXPECT_EQ(SelectPalette((HDC)(uintptr_t)0x7100, stock, FALSE), nullptr);
    HDC next = CreateCompatibleDC(nullptr);
    ASSERT_NE(next, nullptr);
    EXPECT_NE(next, memory) << "a new DC never takes an old one's handle";
    EXPECT_EQ(SelectPalette(next, palette, FALSE), stock);
    DeleteDC(next);
    DeleteObject(palette);
}

TEST_F(Gdi, RealizeCountsChangedSystemEntries) {
    HPALETTE ramp = makePalette(236, PC_NOCOLLAPSE, 1);
    SelectPalette(dcA, ramp, FALSE);
    int before = testRealizeCount();
    EXPECT_EQ(RealizePalette(dcA), 236u);
    EXPECT_EQ(RealizePalette(dcA), 0u); // the same palette again changes nothing
    testFailCall(TEST_REALIZE_PALETTE);
    EXPECT_EQ(RealizePalette(dcA), GDI_ERROR);
    EXPECT_EQ(testRealizeCount(), before + 2);

    // The static colours keep both ends; the palette's own entries fill the middle in order.
    PALETTEENTRY system[256] = {};
    testGetSystemPalette(system);
    EXPECT_TRUE(sameEntry(system[9], PALETTEENTRY{166, 202, 240, 0}));
    EXPECT_TRUE(sameEntry(system[10], PALETTEENTRY{1, 0, 255, 0}));
    EXPECT_TRUE(sameEntry(system[245], PALETTEENTRY{236, 235, 20, 0}));
    EXPECT_TRUE(sameEntry(system[246], PALETTEENTRY{255, 251, 240, 0}));

    // A background palette keeps out of the foreground palette's entries.
    HPALETTE other = makePalette(16, PC_NOCOLLAPSE, 100);
    SelectPalette(dcB, other, TRUE);
    EXPECT_EQ(RealizePalette(dcB), 0u);
    PALETTEENTRY after[256] = {};
    testGetSystemPalette(after);
    EXPECT_EQ(std::memcmp(system, after, sizeof system), 0);
    SelectPalette(dcA, stock, FALSE);
    SelectPalette(dcB, stock, FALSE);
    DeleteObject(ramp);
    DeleteObject(other);
}

TEST_F(Gdi, SystemPaletteUseFreesAndRestoresTheStaticColours) {
    EXPECT_EQ(SetSystemPaletteUse(dcA, SYSPAL_NOSTATIC), (UINT)SYSPAL_STATIC);
    EXPECT_EQ(SetSystemPaletteUse(dcA, SYSPAL_NOSTATIC), (UINT)SYSPAL_NOSTATIC);

    // Without the static colours a palette gets every entry but black and white.
    HPALETTE full = makePalette(254, PC_NOCOLLAPSE, 1);
    SelectPalette(dcA, full, FALSE);
    EXPECT_EQ(RealizePalette(dcA), 254u);
    PALETTEENTRY system[256] = {};
    testGetSystemPalette(system);
    EXPECT_TRUE(sameEntry(system[0], PALETTEENTRY{0, 0, 0, 0}));
    EXPECT_TRUE(sameEntry(system[1], PALETTEENTRY{1, 0, 255, 0}));
    EXPECT_TRUE(sameEntry(system[254], PALETTEENTRY{254, 253, 2, 0}));
    EXPECT_TRUE(sameEntry(system[255], PALETTEENTRY{255, 255, 255, 0}));

    EXPECT_EQ(SetSystemPaletteUse(dcA, SYSPAL_STATIC), (UINT)SYSPAL_NOSTATIC);
    testGetSystemPalette(system);
    EXPECT_TRUE(sameEntry(system[1], PALETTEENTRY{128, 0, 0, 0}));
    EXPECT_TRUE(sameEntry(system[250], PALETTEENTRY{0, 255, 0, 0}));
    EXPECT_TRUE(sameEntry(system[10], PALETTEENTRY{10, 9, 246, 0})); // the rest is kept

    // Refused on request and on a true-colour display; a refusal changes nothing.
    testRefuseSystemPaletteUse(1);
    EXPECT_EQ(SetSystemPaletteUse(dcA, SYSPAL_NOSTATIC), (UINT)SYSPAL_ERROR);
    testRefuseSystemPaletteUse(0);
    EXPECT_EQ(GetSystemPaletteUse(dcA), (UINT)SYSPAL_STATIC);
    testPresentPaletteDisplay(0);
    EXPECT_EQ(SetSystemPaletteUse(dcA, SYSPAL_NOSTATIC), (UINT)SYSPAL_ERROR);
    EXPECT_EQ(RealizePalette(dcA), 0u);
    SelectPalette(dcA, stock, FALSE);
    DeleteObject(full);
}

TEST_F(Gdi, RegistryAnswersLikeWin32) {
    HKEY key = nullptr;
    testClearRegistry();
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Colors", 0, KEY_QUERY_VALUE, &key),
              ERROR_FILE_NOT_FOUND);
    testSetRegistryValue("Control Panel\\Colors", "Window", REG_SZ, "1 2 3");
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "control panel\\colors", 0, KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    // Too small a buffer: the size needed, and the buffer left alone.
    char buffer[64] = "untouched";
    DWORD size = 3;
    DWORD type = REG_NONE;
    EXPECT_EQ(RegQueryValueExA(key, "WINDOW", nullptr, &type, (LPBYTE)buffer, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_STREQ(buffer, "untouched");
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Window", nullptr, &type, (LPBYTE)buffer, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "1 2 3");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_NE(RegCloseKey(key), ERROR_SUCCESS);
    testClearRegistry();
}

} // namespace
