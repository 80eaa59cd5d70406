// The platform layer's emulated GDI: logical palettes, selection and realization on the
// presented palette display, the system palette's static colours, the system colours and the
// read-only registry.
#include "kit/core.h"
#include "platform/testctl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

HDC const dcA = (HDC)(uintptr_t)0x7100;
HDC const dcB = (HDC)(uintptr_t)0x7200;

struct Block {
    WORD version;
    WORD count;
    PALETTEENTRY entries[256];
};

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
        testClearRegistry();
        testPresentPaletteDisplay(1);
    }
    void TearDown() override {
        testPresentPaletteDisplay(0);
        testClearFaults();
    }
};

TEST_F(Gdi, StockPaletteHoldsTheStaticColours) {
    HPALETTE stock = (HPALETTE)GetStockObject(DEFAULT_PALETTE);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(GetStockObject(DEFAULT_PALETTE), (HGDIOBJ)stock);
    EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
    EXPECT_EQ(GetPaletteEntries(stock, 0, 0, nullptr), 20u);
    PALETTEENTRY entries[20] = {};
    ASSERT_EQ(GetPaletteEntries(stock, 0, 20, entries), 20u);
    EXPECT_TRUE(sameEntry(entries[1], PALETTEENTRY{128, 0, 0, 0}));
    EXPECT_TRUE(sameEntry(entries[8], PALETTEENTRY{192, 220, 192, 0}));
    EXPECT_TRUE(sameEntry(entries[10], PALETTEENTRY{255, 251, 240, 0}));
    EXPECT_TRUE(sameEntry(entries[19], PALETTEENTRY{255, 255, 255, 0}));
    // The stock palette is not the caller's to change or delete.
    PALETTEENTRY red = {255, 0, 0, 0};
    EXPECT_EQ(SetPaletteEntries(stock, 0, 1, &red), 0u);
    EXPECT_TRUE(DeleteObject(stock));
    ASSERT_EQ(GetPaletteEntries(stock, 0, 1, entries), 1u);
    EXPECT_TRUE(sameEntry(entries[0], PALETTEENTRY{0, 0, 0, 0}));
}

TEST_F(Gdi, CreateReadAndWritePalettes) {
    EXPECT_EQ(makePalette(4, 0, 0, 0x200), nullptr); // only version 0x300
    EXPECT_EQ(makePalette(0, 0), nullptr);
    testFailCall(TEST_CREATE_PALETTE);
    EXPECT_EQ(makePalette(4, 0), nullptr);
    HPALETTE palette = makePalette(4, PC_NOCOLLAPSE, 10);
    ASSERT_NE(palette, nullptr);

    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 4u);
    PALETTEENTRY read[4] = {};
    EXPECT_EQ(GetPaletteEntries(palette, 2, 10, read), 2u); // only what the palette has
    EXPECT_TRUE(sameEntry(read[0], PALETTEENTRY{12, 2, 253, PC_NOCOLLAPSE}));
    EXPECT_EQ(GetPaletteEntries(palette, 4, 1, read), 0u);

    // A write that starts inside copies only the entries inside; one outside changes nothing.
    PALETTEENTRY writes[3] = {{1, 1, 1, 0}, {2, 2, 2, 0}, {3, 3, 3, 0}};
    EXPECT_EQ(SetPaletteEntries(palette, 3, 3, writes), 1u);
    EXPECT_EQ(SetPaletteEntries(palette, 4, 1, writes), 0u);
    EXPECT_EQ(SetPaletteEntries(palette, 0xFFFFFFFFu, 1, writes), 0u);
    PALETTEENTRY all[4] = {};
    ASSERT_EQ(GetPaletteEntries(palette, 0, 4, all), 4u);
    EXPECT_TRUE(sameEntry(all[2], PALETTEENTRY{12, 2, 253, PC_NOCOLLAPSE}));
    EXPECT_TRUE(sameEntry(all[3], PALETTEENTRY{1, 1, 1, 0}));

    // A deleted palette's handle names nothing, even once its place is taken again.
    EXPECT_TRUE(DeleteObject(palette));
    EXPECT_FALSE(DeleteObject(palette));
    HPALETTE next = makePalette(2, 0);
    ASSERT_NE(next, nullptr);
    EXPECT_NE(next, palette);
    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 0u);
    EXPECT_EQ(SelectPalette(dcA, palette, FALSE), nullptr);
    EXPECT_TRUE(DeleteObject(next));
}

TEST_F(Gdi, SelectReturnsThePreviousPalette) {
    HPALETTE stock = (HPALETTE)GetStockObject(DEFAULT_PALETTE);
    HPALETTE first = makePalette(8, 0);
    HPALETTE second = makePalette(8, 0);
    SelectPalette(dcA, stock, FALSE);
    EXPECT_EQ(SelectPalette(dcA, first, FALSE), stock);
    EXPECT_EQ(SelectPalette(dcA, second, TRUE), first);
    testFailCall(TEST_SELECT_PALETTE);
    EXPECT_EQ(SelectPalette(dcA, first, FALSE), nullptr);
    EXPECT_EQ(SelectPalette(dcA, first, FALSE), second); // the failed call changed nothing
    EXPECT_EQ(SelectPalette(nullptr, first, FALSE), nullptr);
    // Deleting a selected palette leaves the stock palette in its place, not a stale one.
    DeleteObject(first);
    EXPECT_EQ(SelectPalette(dcA, second, FALSE), stock);
    HDC fresh = (HDC)(uintptr_t)0x7300;
    EXPECT_EQ(SelectPalette(fresh, second, FALSE), stock); // a DC starts with the stock one
    SelectPalette(dcA, stock, FALSE);
    SelectPalette(fresh, stock, FALSE);
    DeleteObject(second);
}

TEST_F(Gdi, RealizeCountsChangedSystemEntries) {
    HPALETTE ramp = makePalette(236, PC_NOCOLLAPSE, 1);
    SelectPalette(dcA, ramp, FALSE);
    int before = testRealizeCount();
    UINT changed = RealizePalette(dcA);
    EXPECT_GT(changed, 200u);
    EXPECT_LE(changed, 236u);
    EXPECT_EQ(RealizePalette(dcA), 0u); // the same palette again changes nothing
    EXPECT_EQ(testRealizeCount(), before + 2);
    testFailCall(TEST_REALIZE_PALETTE);
    EXPECT_EQ(RealizePalette(dcA), GDI_ERROR);
    EXPECT_EQ(testRealizeCount(), before + 2);
    EXPECT_EQ(RealizePalette(nullptr), GDI_ERROR);

    // The static colours keep both ends; the palette's own entries fill the middle in order.
    PALETTEENTRY system[256] = {};
    testGetSystemPalette(system);
    EXPECT_TRUE(sameEntry(system[0], PALETTEENTRY{0, 0, 0, 0}));
    EXPECT_TRUE(sameEntry(system[9], PALETTEENTRY{166, 202, 240, 0}));
    EXPECT_TRUE(sameEntry(system[246], PALETTEENTRY{255, 251, 240, 0}));
    EXPECT_TRUE(sameEntry(system[255], PALETTEENTRY{255, 255, 255, 0}));
    EXPECT_TRUE(sameEntry(system[10], PALETTEENTRY{1, 0, 255, 0}));
    EXPECT_TRUE(sameEntry(system[245], PALETTEENTRY{236, 235, 20, 0}));

    // A background palette keeps out of the foreground palette's entries.
    HPALETTE other = makePalette(16, PC_NOCOLLAPSE, 100);
    SelectPalette(dcB, other, TRUE);
    EXPECT_EQ(RealizePalette(dcB), 0u);
    PALETTEENTRY after[256] = {};
    testGetSystemPalette(after);
    EXPECT_EQ(std::memcmp(system, after, sizeof system), 0);

    // On a true-colour display nothing is mapped.
    testPresentPaletteDisplay(0);
    EXPECT_EQ(RealizePalette(dcB), 0u);
    SelectPalette(dcA, (HPALETTE)GetStockObject(DEFAULT_PALETTE), FALSE);
    SelectPalette(dcB, (HPALETTE)GetStockObject(DEFAULT_PALETTE), FALSE);
    DeleteObject(ramp);
    DeleteObject(other);
}

TEST_F(Gdi, SystemPaletteUseFreesAndRestoresTheStaticColours) {
    EXPECT_EQ(GetSystemPaletteUse(dcA), (UINT)SYSPAL_STATIC);
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
    EXPECT_EQ(SetSystemPaletteUse(dcA, 7), (UINT)SYSPAL_ERROR);
    testRefuseSystemPaletteUse(1);
    EXPECT_EQ(SetSystemPaletteUse(dcA, SYSPAL_NOSTATIC), (UINT)SYSPAL_ERROR);
    testRefuseSystemPaletteUse(0);
    EXPECT_EQ(GetSystemPaletteUse(dcA), (UINT)SYSPAL_STATIC);
    EXPECT_EQ(GetSystemPaletteEntries(dcA, 0, 0, nullptr), 256u);
    testPresentPaletteDisplay(0);
    EXPECT_EQ(SetSystemPaletteUse(dcA, SYSPAL_NOSTATIC), (UINT)SYSPAL_ERROR);
    EXPECT_EQ(GetSystemPaletteEntries(dcA, 0, 0, nullptr), 0u);
    SelectPalette(dcA, (HPALETTE)GetStockObject(DEFAULT_PALETTE), FALSE);
    DeleteObject(full);
}

TEST_F(Gdi, SystemColoursStartFromTheStandardScheme) {
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_BACKGROUND), RGB(0, 128, 128));
    EXPECT_EQ(GetSysColor(COLOR_ACTIVECAPTION), RGB(0, 0, 128));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(192, 192, 192));
    EXPECT_EQ(GetSysColor(25), 0u);
    EXPECT_EQ(GetSysColor(-1), 0u);

    const INT elements[3] = {COLOR_WINDOW, 99, COLOR_MENU};
    const COLORREF colours[3] = {PALETTERGB(1, 2, 3), RGB(9, 9, 9), RGB(4, 5, 6)};
    EXPECT_TRUE(SetSysColors(3, elements, colours));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(1, 2, 3)); // kept as a plain colour
    EXPECT_EQ(GetSysColor(COLOR_MENU), RGB(4, 5, 6));
    EXPECT_FALSE(SetSysColors(0, elements, colours));
    testResetSystemColours();
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
}

TEST_F(Gdi, RegistryIsReadOnlyAndEmptyUntilFilled) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Colors", 0, KEY_QUERY_VALUE, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);

    testSetRegistryValue("Control Panel\\Colors", "Window", REG_SZ, "255 255 255");
    testSetRegistryValue("Control Panel\\Colors", "Window", REG_SZ, "1 2 3"); // replaces
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "control panel\\colors", 0, KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    char buffer[64];
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    ASSERT_EQ(RegQueryValueExA(key, "WINDOW", nullptr, &type, (LPBYTE)buffer, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_EQ(size, 6u);
    EXPECT_STREQ(buffer, "1 2 3");

    // Too small a buffer: the size needed, and the buffer left alone.
    std::memset(buffer, 'x', sizeof buffer);
    size = 3;
    EXPECT_EQ(RegQueryValueExA(key, "Window", nullptr, &type, (LPBYTE)buffer, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(buffer[0], 'x');
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Menu", nullptr, &type, (LPBYTE)buffer, &size),
              ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_NE(RegCloseKey(key), ERROR_SUCCESS);
    size = sizeof buffer;
    EXPECT_NE(RegQueryValueExA(key, "Window", nullptr, &type, (LPBYTE)buffer, &size),
              ERROR_SUCCESS);

    // A value longer than the store holds is cut, never written past it.
    std::string longValue(1000, '7');
    testSetRegistryValue(std::string(500, 'k').c_str(), "n", REG_SZ, longValue.c_str());
    testClearRegistry();
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Colors", 0, KEY_QUERY_VALUE, &key),
              ERROR_FILE_NOT_FOUND);
}

} // namespace
