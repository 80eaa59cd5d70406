// Opening the kit's window on the headless backend: every failure of creation and what it
// leaves behind, the single-buffer fallback, the pixel-format request, search and explicit
// number. A window on a real X server is in server_test.cpp.
#include "kit/core.h"
#include "platform/gl.h"
#include "platform/testctl.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>
#include <string>

namespace {

int clientCalls = 0;
void clientReshape(int32_t, int32_t) {
    clientCalls++;
}
void clientHandler(void) {
    clientCalls++;
}
int clientKey(int32_t, int32_t) {
    return 0;
}
int clientMouse(int32_t, int32_t, int32_t) {
    return 0;
}

void setClientSlots(void) {
    kit.reshapeHandler = clientReshape;
    kit.displayHandler = clientHandler;
    kit.idleHandler = clientHandler;
    kit.keyHandler = clientKey;
    kit.mouseDownHandler = clientMouse;
    kit.mouseUpHandler = clientMouse;
    kit.mouseMoveHandler = clientMouse;
}

bool allSlotsEmpty(void) {
    return kit.reshapeHandler == nullptr && kit.displayHandler == nullptr &&
           kit.idleHandler == nullptr && kit.keyHandler == nullptr &&
           kit.mouseDownHandler == nullptr && kit.mouseUpHandler == nullptr &&
           kit.mouseMoveHandler == nullptr;
}

bool quitPending(void) {
    MSG msg;
    return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

void drainQueue(void) {
    MSG msg;
    for (int i = 0; i < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); i++) {
    }
}

std::string boxText(int index) {
    const char* text = testMessageBoxText(index);
    return text == nullptr ? std::string() : std::string(text);
}

std::string boxCaption(int index) {
    const char* caption = testMessageBoxCaption(index);
    return caption == nullptr ? std::string() : std::string(caption);
}

PIXELFORMATDESCRIPTOR format(DWORD flags, BYTE colour, BYTE depth) {
    PIXELFORMATDESCRIPTOR pfd;
    std::memset(&pfd, 0, sizeof(pfd));
    pfd.nSize = sizeof(pfd);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | flags;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = colour;
    pfd.cRedBits = pfd.cGreenBits = pfd.cBlueBits = (BYTE)(colour / 3);
    pfd.cDepthBits = depth;
    return pfd;
}

const char* const WARNING_TEXT = "Can't initialize a single buffer visual. Will use a double "
                                 "buffer visual instead, only drawing into the front buffer.";

class KitWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        closeWindow();
        kitResetState();
        testClearFaults();
        testPresentPixelFormats(nullptr, 0);
        testSetVersion(VER_PLATFORM_WIN32_NT, 10, 0);
        testRecordMessageBoxes(1);
        testClearMessageBoxes();
        testSetMessageBoxHook(nullptr);
        clientCalls = 0;
    }
    void TearDown() override {
        closeWindow();
        testClearFaults();
        testPresentPixelFormats(nullptr, 0);
        testSetMessageBoxHook(nullptr);
    }
    static void closeWindow(void) {
        if (kit.window != nullptr) {
            DestroyWindow(kit.window);
        }
        drainQueue();
    }
};

struct FailureRow {
    TestOperation op;
    const char* text;
    bool windowMade;
};

TEST_F(KitWindow, EveryFailingStepReportsItsTextAndCleansUp) {
    const FailureRow rows[] = {
        {TEST_CREATE_WINDOW, "create window failed\n", false},
        {TEST_GET_DC, "Could not get an HDC for window 0x", true},
        {TEST_CHOOSE_PIXEL_FORMAT, "Selecting a pixel format failed\n", true},
        {TEST_SET_PIXEL_FORMAT, "SetPixelFormat failed\n", true},
        {TEST_WGL_CREATE_CONTEXT, "wglCreateContext Failed\n", true},
        {TEST_WGL_MAKE_CURRENT, "wglMakeCurrent Failed\n", true},
    };
    for (const FailureRow& row : rows) {
        SCOPED_TRACE(row.text);
        SetUp();
        kitSetDisplayMode(KIT_DOUBLE | KIT_DEPTH16);
        setClientSlots();
        testFailCall(row.op);
        EXPECT_EQ(kitOpenWindow("failing"), 0);
        ASSERT_EQ(testMessageBoxCount(), 1);
        EXPECT_EQ(boxCaption(0), "Error");
        EXPECT_EQ(kit.window, nullptr);
        EXPECT_EQ(kit.deviceContext, nullptr);
        EXPECT_EQ(kit.renderContext, nullptr);
        EXPECT_EQ(wglGetCurrentContext(), nullptr);
        EXPECT_EQ(kit.keyCount, 0) << "no Escape binding after a failure";
        EXPECT_EQ(quitPending(), row.windowMade);
        EXPECT_EQ(allSlotsEmpty(), row.windowMade);
        if (row.op == TEST_GET_DC) {
            // The text names the window that was made and destroyed again.
            std::string text = boxText(0);
            std::string prefix = row.text;
            ASSERT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
            std::string digits = text.substr(prefix.size(), text.size() - prefix.size() - 1);
            EXPECT_GE(digits.size(), 8u);
            EXPECT_EQ(digits.find_first_not_of("0123456789ABCDEF"), std::string::npos) << text;
            EXPECT_EQ(text.back(), '\n');
            HWND named = (HWND)(uintptr_t)std::stoull(digits, nullptr, 16);
            EXPECT_NE(named, nullptr);
            EXPECT_FALSE(IsWindow(named));
        } else {
            EXPECT_EQ(boxText(0), row.text);
        }
        TearDown();
    }
}

struct SlotsAtWarning {
    bool seen;
    bool windowAndContext;
    bool slotsStillEmpty;
    int32_t keyCount;
    int32_t facadeMode;
};
SlotsAtWarning atWarning;

void lookAtSlots(const char* text, const char* caption) {
    (void)text;
    if (std::strcmp(caption, "Warning") != 0) {
        return;
    }
    atWarning.seen = true;
    atWarning.windowAndContext = kit.window != nullptr && kit.renderContext != nullptr &&
                                 wglGetCurrentContext() == kit.renderContext;
    atWarning.slotsStillEmpty = kit.keyHandler == nullptr && kit.reshapeHandler == nullptr &&
                                kit.mouseDownHandler == nullptr;
    atWarning.keyCount = kit.keyCount;
    atWarning.facadeMode = kit.facadeDisplayMode;
}

int idleTurns = 0;
void closeAfterThreeTurns(void) {
    if (++idleTurns == 3) {
        kitClose();
    }
}

TEST_F(KitWindow, FallbackWarnsAfterTheSecondAttemptAndDrawsToTheFrontBuffer) {
    kitSetDisplayMode(KIT_DEPTH16);
    kitSetReshapeHandler(clientReshape);
    atWarning = SlotsAtWarning();
    testSetMessageBoxHook(lookAtSlots);
    // The first attempt gets as far as a window, which its failure destroys.
    testFailCall(TEST_SET_PIXEL_FORMAT);
    ASSERT_EQ(kitOpenWindow("fallback"), 1);

    ASSERT_EQ(testMessageBoxCount(), 2);
    EXPECT_EQ(boxText(0), "SetPixelFormat failed\n");
    EXPECT_EQ(boxCaption(1), "Warning");
    EXPECT_EQ(boxText(1), WARNING_TEXT);
    ASSERT_TRUE(atWarning.seen);
    EXPECT_TRUE(atWarning.windowAndContext);
    EXPECT_TRUE(atWarning.slotsStillEmpty);
    EXPECT_EQ(atWarning.keyCount, 0);
    EXPECT_EQ(atWarning.facadeMode, KIT_DEPTH16);

    EXPECT_EQ(kit.facadeDisplayMode, KIT_DEPTH16 | KIT_DOUBLE);
    EXPECT_EQ(kitGetDisplayMode(), KIT_DEPTH16 | KIT_DOUBLE);
    EXPECT_EQ(kit.reshapeHandler, kitDefaultReshape);
    EXPECT_EQ(kit.keyHandler, kitDispatchKey);
    ASSERT_EQ(kit.keyCount, 1);
    EXPECT_EQ(kit.keyTable[0].keyCode, KIT_KEY_ESCAPE);
    GLint drawBuffer = 0;
    glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
    EXPECT_EQ(drawBuffer, GL_FRONT);

    // The quit posted by the first window's destruction must not end the loop.
    EXPECT_FALSE(quitPending());
    idleTurns = 0;
    kitSetIdleHandler(closeAfterThreeTurns);
    kitRun(nullptr);
    EXPECT_EQ(idleTurns, 3);
}

TEST_F(KitWindow, FallbackStartsFromTheFacadeModeWhenNoneWasSet) {
    // One RGBA double-buffered format: the initial colour-index single-buffered request finds
    // nothing, and the fallback asks for KIT_DOUBLE alone.
    PIXELFORMATDESCRIPTOR only = format(PFD_DOUBLEBUFFER, 24, 0);
    testPresentPixelFormats(&only, 1);
    ASSERT_EQ(kitOpenWindow("no mode"), 1);
    ASSERT_EQ(testMessageBoxCount(), 2);
    EXPECT_EQ(boxText(0), "Selecting a pixel format failed\n");
    EXPECT_EQ(boxCaption(1), "Warning");
    EXPECT_EQ(kit.displayMode, KIT_DOUBLE);
    EXPECT_EQ(kit.facadeDisplayMode, KIT_DOUBLE);
    EXPECT_EQ(GetPixelFormat(kit.deviceContext), 1);
}

TEST_F(KitWindow, NoSecondAttemptWhenDoubleWasAskedOrBothFail) {
    kitSetDisplayMode(KIT_DOUBLE);
    testFailCall(TEST_CREATE_WINDOW, 0, 2);
    EXPECT_EQ(kitOpenWindow("double"), 0);
    EXPECT_EQ(testMessageBoxCount(), 1);

    SetUp();
    kitSetDisplayMode(KIT_DEPTH16);
    testFailCall(TEST_SET_PIXEL_FORMAT, 0, 2);
    EXPECT_EQ(kitOpenWindow("both fail"), 0);
    ASSERT_EQ(testMessageBoxCount(), 2);
    EXPECT_EQ(boxText(1), "SetPixelFormat failed\n");
    EXPECT_EQ(kit.displayMode, KIT_DEPTH16 | KIT_DOUBLE);
    EXPECT_EQ(kit.facadeDisplayMode, KIT_DEPTH16);
}

TEST_F(KitWindow, MessageBoxesFollowTheLowByteOfTheSwitch) {
    kitSetMessageBoxes(256);
    testFailCall(TEST_CREATE_WINDOW);
    kitSetDisplayMode(KIT_DOUBLE);
    EXPECT_EQ(kitOpenWindow("quiet"), 0);
    EXPECT_EQ(testMessageBoxCount(), 0);

    // The fallback's warning is silenced too, while the fallback itself still happens.
    kitSetDisplayMode(KIT_DEPTH16);
    testFailCall(TEST_SET_PIXEL_FORMAT);
    EXPECT_EQ(kitOpenWindow("quiet fallback"), 1);
    EXPECT_EQ(testMessageBoxCount(), 0);
    EXPECT_EQ(kit.facadeDisplayMode, KIT_DEPTH16 | KIT_DOUBLE);

    kitSetMessageBoxes(257);
    kitReportError("back %d\n", 1);
    ASSERT_EQ(testMessageBoxCount(), 1);
    EXPECT_EQ(boxText(0), "back 1\n");
}

TEST_F(KitWindow, DefaultPositionIsReadBackFromTheWindow) {
    kitSetDisplayMode(KIT_DOUBLE);
    ASSERT_EQ(kit.useDefaultPosition, 1);
    ASSERT_EQ(kitOpenWindow("placed by the system"), 1);
    RECT outer;
    ASSERT_TRUE(GetWindowRect(kit.window, &outer));
    EXPECT_EQ(kit.windowRect.x, outer.left + GetSystemMetrics(SM_CXFRAME));
    EXPECT_EQ(kit.windowRect.y, outer.top + GetSystemMetrics(SM_CYFRAME) +
                                    GetSystemMetrics(SM_CYCAPTION) - GetSystemMetrics(SM_CYBORDER));
    RECT client;
    ASSERT_TRUE(GetClientRect(kit.window, &client));
    EXPECT_EQ(client.right, 100);
    EXPECT_EQ(client.bottom, 100);
}

TEST_F(KitWindow, OldNtVersionsHaveTwentyOneSystemColours) {
    struct Row {
        DWORD platform, major, minor;
        int32_t expected;
    };
    // NT 3.5 itself reports minor version 50.
    const Row rows[] = {
        {VER_PLATFORM_WIN32_NT, 3, 5, 21},  {VER_PLATFORM_WIN32_NT, 3, 50, 21},
        {VER_PLATFORM_WIN32_NT, 3, 51, 21}, {VER_PLATFORM_WIN32_NT, 3, 1, 25},
        {VER_PLATFORM_WIN32_NT, 4, 0, 25},  {VER_PLATFORM_WIN32_WINDOWS, 3, 51, 25}};
    for (const Row& row : rows) {
        testSetVersion(row.platform, row.major, row.minor);
        kit.systemColourCount = 0;
        testFailCall(TEST_CREATE_WINDOW);
        EXPECT_EQ(kitCreateWindowNarrow("version"), 0);
        EXPECT_EQ(kit.systemColourCount, row.expected)
            << row.platform << " " << row.major << "." << row.minor;
    }
}

TEST_F(KitWindow, RequestsFollowTheModeBits) {
    PIXELFORMATDESCRIPTOR pfd;
    kitRequestPixelFormat(nullptr, KIT_DOUBLE | KIT_DEPTH16, &pfd);
    EXPECT_EQ(pfd.nSize, 40);
    EXPECT_EQ(pfd.nVersion, 1);
    EXPECT_EQ(pfd.dwFlags, 0x25u);
    EXPECT_EQ(pfd.iPixelType, PFD_TYPE_RGBA);
    EXPECT_EQ(pfd.cColorBits, 24);
    EXPECT_EQ(pfd.cAlphaBits + pfd.cAccumBits + pfd.cStencilBits + pfd.cAuxBuffers, 0);
    EXPECT_EQ(pfd.cDepthBits, 16);

    kitRequestPixelFormat(nullptr, KIT_DEPTH | KIT_DEPTH16, &pfd);
    EXPECT_EQ(pfd.cDepthBits, 16);
    EXPECT_EQ(pfd.dwFlags, 0x24u);
    kitRequestPixelFormat(nullptr, KIT_DEPTH | KIT_STENCIL, &pfd);
    EXPECT_EQ(pfd.cDepthBits, 24);
    EXPECT_EQ(pfd.cStencilBits, 4);

    kitRequestPixelFormat(nullptr, KIT_INDEX | KIT_ALPHA | KIT_ACCUM, &pfd);
    EXPECT_EQ(pfd.iPixelType, PFD_TYPE_COLORINDEX);
    EXPECT_EQ(pfd.cColorBits, 8);
    EXPECT_EQ(pfd.cAlphaBits, 8);
    EXPECT_EQ(pfd.cAccumBits, 16);
    kitRequestPixelFormat(nullptr, KIT_ALPHA | KIT_ACCUM, &pfd);
    EXPECT_EQ(pfd.cAccumBits, 32);

    // The number is the system's choice, taken as it comes.
    PIXELFORMATDESCRIPTOR list[2] = {format(PFD_DOUBLEBUFFER, 24, 24),
                                     format(PFD_DOUBLEBUFFER, 24, 16)};
    testPresentPixelFormats(list, 2);
    EXPECT_EQ(kitRequestPixelFormat(nullptr, KIT_DOUBLE | KIT_DEPTH16, &pfd), 2);
    EXPECT_EQ(kitRequestPixelFormat(nullptr, KIT_DEPTH16, &pfd), 0);
}

TEST_F(KitWindow, SearchKeepsTheRichestFittingFormat) {
    const int32_t mode = KIT_DOUBLE | KIT_DEPTH16;
    PIXELFORMATDESCRIPTOR list[4] = {
        format(PFD_DOUBLEBUFFER, 16, 24), format(PFD_DOUBLEBUFFER, 24, 16),
        format(PFD_DOUBLEBUFFER, 24, 32), format(PFD_DOUBLEBUFFER, 0, 16)};
    testPresentPixelFormats(list, 4);
    PIXELFORMATDESCRIPTOR found;
    EXPECT_EQ(kitSearchPixelFormat(nullptr, mode, &found), 2) << "a tie keeps the lower number";
    EXPECT_EQ(found.cDepthBits, 16);

    // A failing description ends the search with nothing, even after accepted formats.
    testFailCall(TEST_DESCRIBE_PIXEL_FORMAT, 3);
    EXPECT_EQ(kitSearchPixelFormat(nullptr, mode, &found), 0);

    // Each row makes the one fitting candidate, or the mode, unfit for the other.
    struct Row {
        int32_t mode;
        void (*spoil)(PIXELFORMATDESCRIPTOR*);
        const char* what;
    };
    const Row rows[] = {
        {mode, [](PIXELFORMATDESCRIPTOR* p) { p->dwFlags &= ~PFD_SUPPORT_OPENGL; }, "no GL"},
        {mode, [](PIXELFORMATDESCRIPTOR* p) { p->dwFlags &= ~PFD_DRAW_TO_WINDOW; }, "no win"},
        {mode, [](PIXELFORMATDESCRIPTOR* p) { p->iLayerType = 1; }, "overlay"},
        {mode, [](PIXELFORMATDESCRIPTOR* p) { p->dwFlags &= ~PFD_DOUBLEBUFFER; }, "single"},
        {mode & ~KIT_DOUBLE, [](PIXELFORMATDESCRIPTOR*) {}, "double unasked"},
        {mode | KIT_INDEX, [](PIXELFORMATDESCRIPTOR*) {}, "rgba for index"},
        {mode, [](PIXELFORMATDESCRIPTOR* p) { p->iPixelType = PFD_TYPE_COLORINDEX; }, "index"},
        {mode, [](PIXELFORMATDESCRIPTOR* p) { p->cAlphaBits = 8; }, "alpha unasked"},
        {mode | KIT_ALPHA, [](PIXELFORMATDESCRIPTOR*) {}, "alpha missing"},
        {mode, [](PIXELFORMATDESCRIPTOR* p) { p->cAccumBits = 24; }, "accum unasked"},
        {mode | KIT_ACCUM, [](PIXELFORMATDESCRIPTOR*) {}, "accum missing"},
        {mode | KIT_ACCUM | KIT_ALPHA,
         [](PIXELFORMATDESCRIPTOR* p) {
             p->cAlphaBits = 8;
             p->cAccumBits = 24;
         },
         "no accum alpha"},
        {mode, [](PIXELFORMATDESCRIPTOR* p) { p->cDepthBits = 0; }, "depth missing"},
        {KIT_DOUBLE, [](PIXELFORMATDESCRIPTOR*) {}, "depth unasked"},
        {mode, [](PIXELFORMATDESCRIPTOR* p) { p->cStencilBits = 8; }, "stencil unasked"},
        {mode | KIT_STENCIL, [](PIXELFORMATDESCRIPTOR*) {}, "stencil missing"},
    };
    PIXELFORMATDESCRIPTOR fitting = format(PFD_DOUBLEBUFFER, 24, 16);
    testPresentPixelFormats(&fitting, 1);
    ASSERT_EQ(kitSearchPixelFormat(nullptr, mode, &found), 1);
    for (const Row& row : rows) {
        PIXELFORMATDESCRIPTOR candidate = fitting;
        row.spoil(&candidate);
        testPresentPixelFormats(&candidate, 1);
        EXPECT_EQ(kitSearchPixelFormat(nullptr, row.mode, &found), 0) << row.what;
    }

    // Colour index ignores alpha and accumulation; with both asked in RGBA, the accumulation
    // buffer needs alpha bits of its own.
    PIXELFORMATDESCRIPTOR index = format(PFD_DOUBLEBUFFER, 8, 0);
    index.iPixelType = PFD_TYPE_COLORINDEX;
    testPresentPixelFormats(&index, 1);
    EXPECT_EQ(kitSearchPixelFormat(nullptr, KIT_INDEX | KIT_DOUBLE | KIT_ALPHA, &found), 1);
    PIXELFORMATDESCRIPTOR rich = format(PFD_DOUBLEBUFFER, 24, 16);
    rich.cAlphaBits = 8;
    rich.cAccumBits = 32;
    rich.cAccumAlphaBits = 8;
    testPresentPixelFormats(&rich, 1);
    EXPECT_EQ(kitSearchPixelFormat(nullptr, mode | KIT_ALPHA | KIT_ACCUM, &found), 1);
}

TEST_F(KitWindow, ExplicitNumberMustNameAnOfferedFormat) {
    PIXELFORMATDESCRIPTOR list[2] = {format(PFD_DOUBLEBUFFER, 24, 24),
                                     format(PFD_DOUBLEBUFFER, 24, 16)};
    for (int32_t number : {0, -1, 3}) {
        SCOPED_TRACE(number);
        SetUp();
        testPresentPixelFormats(list, 2);
        kitSetPixelFormatMethod(1);
        kitSetPixelFormatNumber(number);
        kitSetDisplayMode(KIT_DOUBLE);
        EXPECT_EQ(kitOpenWindow("explicit"), 0);
        ASSERT_EQ(testMessageBoxCount(), 1);
        EXPECT_EQ(boxText(0), "Selecting a pixel format failed\n");
        EXPECT_TRUE(quitPending()) << "the window was made and destroyed";
        TearDown();
    }
    SetUp();
    testPresentPixelFormats(list, 2);
    kitSetPixelFormatMethod(1);
    kitSetPixelFormatNumber(2);
    kitSetDisplayMode(KIT_DOUBLE);
    ASSERT_EQ(kitOpenWindow("explicit"), 1);
    EXPECT_EQ(GetPixelFormat(kit.deviceContext), 2);
    PIXELFORMATDESCRIPTOR pfd;
    EXPECT_EQ(kitGetPixelFormat(kit.deviceContext, &pfd), 2);
    EXPECT_EQ(pfd.cDepthBits, 16);

    // A format that cannot draw to a window with OpenGL is refused.
    list[0].dwFlags &= ~PFD_SUPPORT_OPENGL;
    testPresentPixelFormats(list, 2);
    EXPECT_EQ(kitCheckPixelFormat(kit.deviceContext, 1, &pfd), 0);
    EXPECT_EQ(kitCheckPixelFormat(kit.deviceContext, 2, &pfd), 1);
}

TEST_F(KitWindow, ReadBackFailuresAreReported) {
    kitSetDisplayMode(KIT_DOUBLE);
    ASSERT_EQ(kitOpenWindow("read back"), 1);
    PIXELFORMATDESCRIPTOR pfd;
    testFailCall(TEST_GET_PIXEL_FORMAT);
    EXPECT_EQ(kitGetPixelFormat(kit.deviceContext, &pfd), 0);
    int number = GetPixelFormat(kit.deviceContext);
    testFailCall(TEST_DESCRIBE_PIXEL_FORMAT);
    EXPECT_EQ(kitGetPixelFormat(kit.deviceContext, &pfd), 0);
    ASSERT_EQ(testMessageBoxCount(), 2);
    char expected[64];
    std::snprintf(expected, sizeof(expected), "Could not get pixel format for Dc 0x%08lX\n",
                  (unsigned long)(uintptr_t)kit.deviceContext);
    EXPECT_EQ(boxText(0), expected);
    EXPECT_EQ(boxText(1),
              "Could not get a description of pixel format " + std::to_string(number) + "\n");
}

TEST_F(KitWindow, ErrorTextIsCutAtTheBuffer) {
    std::string longText(600, 'x');
    kitReportError("%s", longText.c_str());
    ASSERT_EQ(testMessageBoxCount(), 1);
    EXPECT_EQ(boxText(0), std::string(255, 'x'));
}

} // namespace
