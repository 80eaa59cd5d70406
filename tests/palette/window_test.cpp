// A real kit window on the presented palette display: the RGB palette made and realized at
// open, realized again on activation changes (sent and from X focus), rebuilt on a system
// colour change, colour-index palettes, coalesced colour changes, refused takeovers that do
// not starve the loop, and everything given back when the window closes.
#include "kit/core.h"
#include "platform/testctl.h"
#include "tests/support/support.h"

// GoogleTest before Xlib, whose macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

const char* const colorsKey = "Control Panel\\Colors";

void dispatchWaiting(void) {
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); i++) {
        if (msg.message == WM_QUIT) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int countQueued(UINT message) {
    // Taken out to count them, then posted back in the same order.
    MSG taken[16];
    int count = 0;
    while (count < 16 && PeekMessageA(&taken[count], kit.window, message, message, PM_REMOVE)) {
        count++;
    }
    for (int i = 0; i < count; i++) {
        PostMessageA(taken[i].hwnd, taken[i].message, taken[i].wParam, taken[i].lParam);
    }
    return count;
}

bool paletteAlive(HPALETTE palette) {
    return GetPaletteEntries(palette, 0, 0, nullptr) != 0;
}

void readColours(COLORREF* colours) {
    for (int e = 0; e < KIT_SYSTEM_COLOUR_ELEMENTS; e++) {
        colours[e] = GetSysColor(e);
    }
}

class PaletteWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        kitResetState();
        testClearFaults();
        testResetSystemColours();
        testClearRegistry();
        testRecordMessageBoxes(1);
        testClearMessageBoxes();
        testPresentPaletteDisplay(1);
        readColours(standard);
    }
    void TearDown() override {
        if (kit.window != nullptr) {
            kitClose();
        }
        dispatchWaiting();
        testPresentPaletteDisplay(0);
        testRefuseSystemPaletteUse(0);
        testClearFaults();
        testClearRegistry();
        testUseRealClock();
    }
    // Opens the kit's window on one of the presented formats, chosen by number.
    bool open(int format, int32_t mode) {
        kitSetWindowRect(20, 20, 160, 120);
        kitSetDisplayMode(mode);
        kitSetPixelFormatMethod(1);
        kitSetPixelFormatNumber(format);
        return kitOpenWindow("Palette test") == 1;
    }
    HDC dc(void) { return kit.deviceContext; }
    COLORREF standard[KIT_SYSTEM_COLOUR_ELEMENTS] = {};
};

TEST_F(PaletteWindow, OpeningMakesAndRealizesTheRgbPalette) {
    ASSERT_TRUE(open(TEST_FORMAT_RGB332_DOUBLE, KIT_DOUBLE | KIT_DEPTH16));
    ASSERT_NE(kit.palette, nullptr);
    EXPECT_EQ(kit.systemPaletteMode, 0);
    EXPECT_EQ(kitGetColourMapSize(), 256);
    EXPECT_GE(testRealizeCount(), 2); // the flush, then the palette itself
    PALETTEENTRY entry;
    GetPaletteEntries(kit.palette, 64, 1, &entry);
    EXPECT_EQ(entry.peBlue, 128);
    EXPECT_EQ(entry.peFlags, 0);
    // The ramp entries fill the system palette between the static colours, in order.
    PALETTEENTRY system[256];
    testGetSystemPalette(system);
    EXPECT_EQ(system[10].peRed, 63); // logical entry 1
    EXPECT_EQ(system[1].peRed, 128); // the static colours stay
    EXPECT_EQ(GetSystemPaletteUse(dc()), (UINT)SYSPAL_STATIC);
    EXPECT_EQ(kit.systemColoursTaken, 0);
    // The DC holds the kit's palette.
    HPALETTE stock = (HPALETTE)GetStockObject(DEFAULT_PALETTE);
    EXPECT_EQ(SelectPalette(dc(), stock, FALSE), kit.palette);
    SelectPalette(dc(), kit.palette, FALSE);

    // The same entries come back from kitSetRgbMap, whatever its arguments.
    PALETTEENTRY before[256];
    GetPaletteEntries(kit.palette, 0, 256, before);
    PALETTEENTRY changed = {1, 2, 3, 0};
    SetPaletteEntries(kit.palette, 100, 1, &changed);
    EXPECT_GE(kitSetRgbMap(-5, 12345), 0);
    PALETTEENTRY after[256];
    GetPaletteEntries(kit.palette, 0, 256, after);
    EXPECT_EQ(std::memcmp(before, after, sizeof before), 0);
}

TEST_F(PaletteWindow, ActivationTakesAndGivesBackTheSystemPalette) {
    ASSERT_TRUE(open(TEST_FORMAT_RGB332_SYSTEM, KIT_DOUBLE | KIT_DEPTH16));
    ASSERT_NE(kit.palette, nullptr);
    EXPECT_EQ(kit.systemPaletteMode, 1);
    EXPECT_EQ(kit.systemColoursTaken, 1);
    EXPECT_EQ(GetSystemPaletteUse(dc()), (UINT)SYSPAL_NOSTATIC);
    EXPECT_EQ(GetSysColor(COLOR_BACKGROUND), RGB(0, 0, 0));
    EXPECT_GE(testBroadcastCount(), 1);
    dispatchWaiting(); // the kit's own broadcast comes back: a rebuild, still taken
    EXPECT_EQ(kit.systemColoursTaken, 1);

    int realized = testRealizeCount();
    SendMessageA(kit.window, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(testRealizeCount(), realized + 1);
    EXPECT_EQ(kit.systemColoursTaken, 0);
    EXPECT_EQ(GetSystemPaletteUse(dc()), (UINT)SYSPAL_STATIC);
    COLORREF now[KIT_SYSTEM_COLOUR_ELEMENTS];
    readColours(now);
    EXPECT_EQ(std::memcmp(now, standard, sizeof now), 0);

    // The restore broadcast comes back as WM_SYSCOLORCHANGE; the rebuild of an inactive window
    // must not take the colours again.
    HPALETTE old = kit.palette;
    dispatchWaiting();
    EXPECT_NE(kit.palette, old);
    EXPECT_EQ(kit.systemColoursTaken, 0);
    readColours(now);
    EXPECT_EQ(std::memcmp(now, standard, sizeof now), 0);

    EXPECT_EQ(SendMessageA(kit.window, WM_ACTIVATE, WA_ACTIVE, 0), 1);
    EXPECT_EQ(kit.systemColoursTaken, 1);
    // Minimised activation is left to the default processing.
    EXPECT_NE(SendMessageA(kit.window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0), 1);
}

TEST_F(PaletteWindow, FocusChangesRealizeInTheBackgroundAndForeground) {
    ASSERT_TRUE(open(TEST_FORMAT_RGB332_SYSTEM, KIT_DOUBLE | KIT_DEPTH16));
    dispatchWaiting();
    ASSERT_EQ(kit.systemColoursTaken, 1);

    // The focus goes to another program's window, as a click on it gives it.
    testGiveFocus(kit.window, 0);
    for (int i = 0; i < 200 && kit.systemColoursTaken == 1; i++) {
        dispatchWaiting();
        usleep(5000);
    }
    EXPECT_EQ(kit.systemColoursTaken, 0);
    dispatchWaiting();
    EXPECT_EQ(kit.systemColoursTaken, 0); // the rebuild after the restore did not take them

    testGiveFocus(kit.window, 1);
    for (int i = 0; i < 200 && kit.systemColoursTaken == 0; i++) {
        dispatchWaiting();
        usleep(5000);
    }
    EXPECT_EQ(kit.systemColoursTaken, 1);
}

TEST_F(PaletteWindow, SystemColourChangeRebuildsThePalette) {
    ASSERT_TRUE(open(TEST_FORMAT_RGB332_DOUBLE, KIT_DOUBLE | KIT_DEPTH16));
    dispatchWaiting();
    HPALETTE old = kit.palette;
    int realized = testRealizeCount();
    SendMessageA(kit.window, WM_SYSCOLORCHANGE, 0, 0);
    ASSERT_NE(kit.palette, nullptr);
    EXPECT_NE(kit.palette, old);
    EXPECT_FALSE(paletteAlive(old));
    EXPECT_EQ(testRealizeCount(), realized + 2);
    HPALETTE stock = (HPALETTE)GetStockObject(DEFAULT_PALETTE);
    EXPECT_EQ(SelectPalette(dc(), stock, FALSE), kit.palette);
    SelectPalette(dc(), kit.palette, FALSE);
    MSG paint;
    EXPECT_TRUE(PeekMessageA(&paint, kit.window, WM_PAINT, WM_PAINT, PM_NOREMOVE));

    // When the new palette cannot be made, the old one stays in use.
    old = kit.palette;
    testFailCall(TEST_CREATE_PALETTE);
    SendMessageA(kit.window, WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_EQ(kit.palette, old);
    EXPECT_TRUE(paletteAlive(old));
}

TEST_F(PaletteWindow, ClosingGivesTheSystemPaletteAndColoursBack) {
    ASSERT_TRUE(open(TEST_FORMAT_RGB332_SYSTEM, KIT_DOUBLE | KIT_DEPTH16));
    dispatchWaiting();
    ASSERT_EQ(kit.systemColoursTaken, 1);
    HPALETTE palette = kit.palette;
    testSetRegistryValue(colorsKey, "Window", REG_SZ, "10 20 30");
    HDC closedDc = dc();
    kitClose();
    EXPECT_EQ(kit.palette, nullptr);
    EXPECT_FALSE(paletteAlive(palette));
    EXPECT_EQ(kit.systemColoursTaken, 0);
    EXPECT_EQ(GetSystemPaletteUse(closedDc), (UINT)SYSPAL_STATIC);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(10, 20, 30));
    EXPECT_EQ(GetSysColor(COLOR_ACTIVECAPTION), standard[COLOR_ACTIVECAPTION]);
    PALETTEENTRY system[256];
    testGetSystemPalette(system);
    EXPECT_EQ(system[1].peRed, 128);
    EXPECT_EQ(system[254].peGreen, 255); // static colour 18, (0, 255, 255)
}

TEST_F(PaletteWindow, ColourIndexPalettesAreMadeOnFirstUse) {
    ASSERT_TRUE(open(TEST_FORMAT_INDEX8_DOUBLE, KIT_INDEX | KIT_DOUBLE | KIT_DEPTH16));
    EXPECT_EQ(kit.palette, nullptr);
    EXPECT_EQ(kitGetColourMapSize(), 256);
    PALETTEENTRY entries[256];
    GetPaletteEntries(kit.palette, 0, 256, entries);
    EXPECT_EQ(entries[1].peRed, 128); // the stock colours first
    EXPECT_EQ(entries[19].peBlue, 255);
    for (int i = 20; i < 256; i++) {
        EXPECT_EQ(entries[i].peRed | entries[i].peGreen | entries[i].peBlue | entries[i].peFlags, 0)
            << i;
    }
    // The colour fields of a colour-index format are empty: the RGB map is all black.
    EXPECT_GE(kitSetRgbMap(0, 0), 0);
    GetPaletteEntries(kit.palette, 0, 20, entries);
    EXPECT_EQ(entries[1].peRed | entries[19].peBlue, 0);
    kitClose();

    ASSERT_TRUE(open(TEST_FORMAT_INDEX4_DOUBLE, KIT_INDEX | KIT_DOUBLE | KIT_DEPTH16));
    EXPECT_EQ(kitGetColourMapSize(), 16);
    GetPaletteEntries(kit.palette, 0, 16, entries);
    EXPECT_EQ(entries[10].peGreen, 251);
    EXPECT_EQ(entries[15].peBlue, 0); // static colour 15 is yellow
    kitClose();

    ASSERT_TRUE(
        open(TEST_FORMAT_INDEX8_DOUBLE, KIT_INDEX | KIT_DOUBLE | KIT_DEPTH16 | KIT_SYSTEM_PALETTE));
    EXPECT_EQ(kitGetColourMapSize(), 256);
    EXPECT_EQ(kit.systemColoursTaken, 1);
    GetPaletteEntries(kit.palette, 0, 256, entries);
    EXPECT_EQ(entries[0].peFlags, 0);
    EXPECT_EQ(entries[255].peRed, 255);
    EXPECT_EQ(entries[255].peFlags, 0);
    EXPECT_EQ(entries[1].peRed, 128);
    EXPECT_EQ(entries[1].peFlags, PC_NOCOLLAPSE);
    EXPECT_EQ(entries[254].peFlags, PC_NOCOLLAPSE);
}

TEST_F(PaletteWindow, ColourChangesCoalesceIntoOneRealization) {
    ASSERT_TRUE(open(TEST_FORMAT_INDEX8_DOUBLE, KIT_INDEX | KIT_DOUBLE | KIT_DEPTH16));
    ASSERT_EQ(kitGetColourMapSize(), 256);
    dispatchWaiting();
    EXPECT_NE(kitSetOneColour(5, 1.0f, 0.5f, 0.0f), 0);
    EXPECT_NE(kitSetOneColour(6, 0.0f, 0.5f, 1.0f), 0);
    EXPECT_NE(kitSetGreyRamp(), 0);
    EXPECT_EQ(countQueued(WM_USER), 1);
    int realized = testRealizeCount();
    dispatchWaiting();
    EXPECT_EQ(testRealizeCount(), realized + 1);
    EXPECT_EQ(countQueued(WM_USER), 0);
}

TEST_F(PaletteWindow, TrueColourDisplayNeedsNoPalette) {
    testPresentPaletteDisplay(0);
    kitSetWindowRect(20, 20, 160, 120);
    kitSetDisplayMode(KIT_DOUBLE | KIT_DEPTH16);
    ASSERT_EQ(kitOpenWindow("True colour"), 1);
    EXPECT_EQ(kit.palette, nullptr);
    EXPECT_EQ(kitGetColourMapSize(), 0);
    EXPECT_EQ(kitSetOneColour(5, 1.0f, 0.5f, 0.0f), 0);
    EXPECT_EQ(kitSetGreyRamp(), 0);
    int realized = testRealizeCount();
    EXPECT_NE(SendMessageA(kit.window, WM_ACTIVATE, WA_ACTIVE, 0), 1);
    SendMessageA(kit.window, WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_EQ(testRealizeCount(), realized);
    EXPECT_EQ(kit.palette, nullptr);
}

TEST_F(PaletteWindow, MinimisedActivationLeavesTheWindowActive) {
    ASSERT_TRUE(open(TEST_FORMAT_RGB332_SYSTEM, KIT_DOUBLE | KIT_DEPTH16));
    SendMessageA(kit.window, WM_ACTIVATE, WA_INACTIVE, 0);
    dispatchWaiting();
    ASSERT_EQ(kit.systemColoursTaken, 0);

    // Activated while minimised: nothing realized then, and a restore brings no second
    // activation; the window is active all the same, so its next realize request takes the
    // system colours.
    EXPECT_NE(SendMessageA(kit.window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0), 1);
    EXPECT_EQ(kit.systemColoursTaken, 0);
    SendMessageA(kit.window, WM_USER, 0, 0);
    EXPECT_EQ(kit.systemColoursTaken, 1);
    EXPECT_EQ(GetSystemPaletteUse(dc()), (UINT)SYSPAL_NOSTATIC);

    // The same for the rebuild that a system colour change asks for.
    SendMessageA(kit.window, WM_ACTIVATE, WA_INACTIVE, 0);
    dispatchWaiting();
    ASSERT_EQ(kit.systemColoursTaken, 0);
    SendMessageA(kit.window, WM_ACTIVATE, MAKEWPARAM(WA_CLICKACTIVE, 1), 0);
    SendMessageA(kit.window, WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_EQ(kit.systemColoursTaken, 1);
}

// The same through the layer: a real minimise and restore end with a plain activation, so the
// restored window takes the system colours again on its next realize request.
TEST_F(PaletteWindow, MinimisedAndRestoredWindowTakesTheSystemColoursAgain) {
    ASSERT_TRUE(open(TEST_FORMAT_RGB332_SYSTEM, KIT_DOUBLE | KIT_DEPTH16));
    ShowWindow(kit.window, SW_MINIMIZE);
    dispatchWaiting();
    EXPECT_EQ(kit.systemColoursTaken, 0) << "minimising gives the system colours back";
    ShowWindow(kit.window, SW_RESTORE);
    dispatchWaiting();
    SendMessageA(kit.window, WM_USER, 0, 0);
    EXPECT_EQ(kit.systemColoursTaken, 1);
    EXPECT_EQ(GetSystemPaletteUse(dc()), (UINT)SYSPAL_NOSTATIC);
}

// CreatePalette fails for the kit's palette: the desktop must keep its static colours and its
// system colours, while the window lives and after it closes.
TEST_F(PaletteWindow, FailedPaletteNeverTakesTheSystemColours) {
    auto expectDesktopUntouched = [this](const char* when) {
        EXPECT_EQ(kit.systemColoursTaken, 0) << when;
        EXPECT_EQ(GetSystemPaletteUse(GetDC(nullptr)), (UINT)SYSPAL_STATIC) << when;
        COLORREF now[KIT_SYSTEM_COLOUR_ELEMENTS];
        readColours(now);
        EXPECT_EQ(std::memcmp(now, standard, sizeof now), 0) << when;
    };

    // The RGB palette, made when the pixel format is set.
    testFailCall(TEST_CREATE_PALETTE);
    ASSERT_TRUE(open(TEST_FORMAT_RGB332_SYSTEM, KIT_DOUBLE | KIT_DEPTH16));
    EXPECT_EQ(kit.palette, nullptr);
    expectDesktopUntouched("RGB palette, open");
    SendMessageA(kit.window, WM_USER, 0, 0);
    SendMessageA(kit.window, WM_ACTIVATE, WA_ACTIVE, 0);
    dispatchWaiting();
    expectDesktopUntouched("RGB palette, requests");
    kitClose();
    dispatchWaiting();
    expectDesktopUntouched("RGB palette, closed");

    // The colour-index palette, made by the first colour-map operation.
    ASSERT_TRUE(
        open(TEST_FORMAT_INDEX8_DOUBLE, KIT_INDEX | KIT_DOUBLE | KIT_DEPTH16 | KIT_SYSTEM_PALETTE));
    testFailCall(TEST_CREATE_PALETTE);
    EXPECT_EQ(kitGetColourMapSize(), 0);
    EXPECT_EQ(kit.palette, nullptr);
    expectDesktopUntouched("index palette, first use");
    kitClose();
    dispatchWaiting();
    expectDesktopUntouched("index palette, closed");
}

// A refusal handled while the window is inactive ends with the background realize; the next
// refusal is a fresh one and asks for its retry at once.
TEST_F(PaletteWindow, FreshRefusalQueuesOneRetry) {
    ASSERT_TRUE(open(TEST_FORMAT_RGB332_SYSTEM, KIT_DOUBLE | KIT_DEPTH16));
    SendMessageA(kit.window, WM_ACTIVATE, WA_INACTIVE, 0);
    dispatchWaiting();
    testRefuseSystemPaletteUse(1);

    SendMessageA(kit.window, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(countQueued(WM_USER), 1);
    SendMessageA(kit.window, WM_ACTIVATE, WA_INACTIVE, 0);
    dispatchWaiting(); // the retry is answered in the background
    EXPECT_EQ(countQueued(WM_USER), 0);
    SendMessageA(kit.window, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(kit.systemColoursTaken, 0);
    EXPECT_EQ(countQueued(WM_USER), 1);

    // A window closed while its takeover was refused leaves nothing to the next window.
    kitClose();
    dispatchWaiting();
    ASSERT_TRUE(open(TEST_FORMAT_RGB332_SYSTEM, KIT_DOUBLE | KIT_DEPTH16));
    EXPECT_EQ(kit.systemColoursTaken, 0);
    EXPECT_EQ(countQueued(WM_USER), 1);
}

// Colour-index formats deeper than 15 bits: the map's first entries are those of the ramps,
// with no static colours, since the map is not one of 256 entries.
TEST_F(PaletteWindow, RgbMapOnDeepColourIndexFormats) {
    for (BYTE bits : {16, 24}) {
        PIXELFORMATDESCRIPTOR deep = {};
        deep.nSize = sizeof deep;
        deep.nVersion = 1;
        deep.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        deep.iPixelType = PFD_TYPE_COLORINDEX;
        deep.cColorBits = bits;
        deep.cRedBits = 3;
        deep.cGreenBits = 3;
        deep.cGreenShift = 3;
        deep.cBlueBits = 2;
        deep.cBlueShift = 6;
        deep.cDepthBits = 16;
        testPresentPixelFormats(&deep, 1);
        ASSERT_TRUE(open(1, KIT_INDEX | KIT_DOUBLE | KIT_DEPTH16)) << (int)bits;
        ASSERT_EQ(kitGetColourMapSize(), 256);
        EXPECT_GE(kitSetRgbMap(0, 0), 0) << (int)bits; // realized, not -1
        PALETTEENTRY entries[256];
        GetPaletteEntries(kit.palette, 0, 256, entries);
        const BYTE ramp3[8] = {0, 63, 104, 139, 171, 200, 229, 255};
        const BYTE ramp2[4] = {0, 116, 191, 255};
        for (int i = 0; i < 256; i++) {
            EXPECT_EQ(entries[i].peRed, ramp3[i & 7]) << i;
            EXPECT_EQ(entries[i].peGreen, ramp3[(i >> 3) & 7]) << i;
            EXPECT_EQ(entries[i].peBlue, ramp2[(i >> 6) & 3]) << i;
            EXPECT_EQ(entries[i].peFlags, PC_NOCOLLAPSE) << i;
        }
        kitClose();
        testPresentPixelFormats(nullptr, 0);
    }
}

// While takeovers keep being refused, the loop still paints and calls the idle handler.
int idleCalls = 0;
int paints = 0;
void countIdle(void) {
    idleCalls++;
    if (idleCalls == 5) {
        InvalidateRect(kit.window, nullptr, FALSE);
    }
    if (idleCalls == 50) {
        kitClose();
    }
}
void countPaint(void) {
    paints++;
}
// A starved loop never comes back from kitRun: fail plainly instead of waiting for the timeout.
void starved(int) {
    const char text[] = "the loop never reached its idle handler: starved by realize retries\n";
    (void)!write(2, text, sizeof text - 1);
    _exit(1);
}

TEST_F(PaletteWindow, RefusedTakeoversDoNotStarveTheLoop) {
    ASSERT_TRUE(open(TEST_FORMAT_RGB332_SYSTEM, KIT_DOUBLE | KIT_DEPTH16));
    SendMessageA(kit.window, WM_ACTIVATE, WA_INACTIVE, 0);
    dispatchWaiting();
    ASSERT_EQ(kit.systemColoursTaken, 0);

    testUseVirtualClock();
    testRefuseSystemPaletteUse(1);
    uint32_t sleeps = testSleepCount();
    SendMessageA(kit.window, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(kit.systemColoursTaken, 0);
    EXPECT_EQ(countQueued(WM_USER), 1);

    idleCalls = 0;
    paints = 0;
    kitSetIdleHandler(countIdle);
    std::signal(SIGALRM, starved);
    alarm(20);
    kitRun(countPaint);
    alarm(0);
    EXPECT_EQ(idleCalls, 50);
    EXPECT_GE(paints, 1);
    // The attempts went on all along, one per turn of the loop.
    EXPECT_GE(testSleepCount() - sleeps, 10u);
    EXPECT_LE(testSleepCount() - sleeps, 60u);
}

} // namespace
