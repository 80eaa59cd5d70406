// The layer with no X display at all, and its kernel services: windows fail at once, message
// boxes go to standard error, the queue still works for thread messages; memory blocks and
// process exit.
#include <gtest/gtest.h>

#include "platform/testctl.h"
#include "platform/emulated/x11/x11.h"
#include <X11/keysym.h>
#include "tests/support/messages.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class NoDisplayTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { unsetenv("DISPLAY"); }
};

// Each failure leaves its Win32 code for GetLastError.
TEST_F(NoDisplayTest, WindowsFailQuicklyAfterTheClassWasRegistered) {
    ASSERT_NE(registerTestClass("tkLibWClass", DefWindowProcA), 0);
    long start = nowMs();
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(CreateWindowExA(0, "tkLibWClass", "x", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, nullptr, nullptr),
                  nullptr);
    }
    EXPECT_LT(nowMs() - start, 500) << "no retries";
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DEVICE_NOT_AVAILABLE);
    EXPECT_EQ(registerTestClass("tkLibWClass", DefWindowProcA), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_ALREADY_EXISTS);
    EXPECT_EQ(CreateWindowExA(0, "noSuchClass", "x", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CANNOT_FIND_WND_CLASS);
    EXPECT_FALSE(ShowWindow((HWND)(uintptr_t)0x1234, SW_SHOW));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(x11Display(), nullptr);
    EXPECT_EQ(SetCapture(nullptr), nullptr);
    POINT point;
    EXPECT_FALSE(GetCursorPos(&point));
    EXPECT_EQ(GetFocus(), nullptr);
}

// A fresh process, as a program starts: the layer's first use names the display it could not
// open, once, before the caption and text of the box that reports the failure.
TEST_F(NoDisplayTest, TheDisplayThatCouldNotBeOpenedIsNamedFirst) {
    const char* name = ":969";
    if (access("/tmp/.X11-unix/X969", F_OK) == 0) {
        GTEST_SKIP() << "a server listens on " << name;
    }
    // The layer chooses its display once per process, so the child starts afresh: this program
    // again, by its own name, running only the case below.
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
    int errors = -1;
    pid_t child = startChild({self, "--gtest_filter=NoDisplayChild.TwoBoxesWithoutADisplay"},
                             {std::string("DISPLAY=") + name, "WAYLAND_DISPLAY", "WAYLAND_SOCKET",
                              "WRENDLE_BACKEND", "WRENDLE_NODISPLAY_CHILD=1"},
                             &errors);
    ASSERT_GT(child, 0);
    int code = -1;
    std::string written = finishChild(child, errors, 30, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(written, "platform_nodisplay_test: cannot open display ':969'\n"
                       "platform_nodisplay_test: Error: create window failed\n"
                       "platform_nodisplay_test: Warning: second\n");
}

// The child of the case above: a fresh process whose first use of the layer is a box.
TEST(NoDisplayChild, TwoBoxesWithoutADisplay) {
    if (getenv("WRENDLE_NODISPLAY_CHILD") == nullptr) {
        GTEST_SKIP() << "runs only as the child of TheDisplayThatCouldNotBeOpenedIsNamedFirst";
    }
    MessageBoxA(nullptr, "create window failed\n", "Error", MB_OK);
    MessageBoxA(nullptr, "second", "Warning", MB_OK);
}

TEST_F(NoDisplayTest, MessageBoxWritesCaptionAndTextToStandardError) {
    int result = 0;
    std::string written = standardErrorOf(
        [&result]() { result = MessageBoxA(nullptr, "create window failed\n", "Error", MB_OK); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(written, "platform_nodisplay_test: Error: create window failed\n");
    written = standardErrorOf([]() { MessageBoxA(nullptr, "no newline", "Warning", MB_OK); });
    EXPECT_EQ(written, "platform_nodisplay_test: Warning: no newline\n");
}

TEST_F(NoDisplayTest, ThreadMessagesAndQuitStillFlowAndAnEmptyWaitFails) {
    MSG msg;
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER, 3, 4));
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, (UINT)WM_USER);
    EXPECT_EQ(msg.wParam, 3u);
    // Nothing can ever arrive: an error instead of a wait for ever.
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), -1);
    PostQuitMessage(2);
    // The quit message ignores the filter, as on Win32.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 2u);
}

TEST_F(NoDisplayTest, MadeUpKeyMessagesTranslateByTheirVirtualKey) {
    MSG key;
    std::memset(&key, 0, sizeof(key));
    key.message = WM_KEYDOWN;
    WPARAM keys[] = {'N', '7', VK_RETURN, VK_LEFT, VK_F1};
    for (WPARAM vk : keys) {
        key.wParam = vk;
        EXPECT_TRUE(TranslateMessage(&key));
    }
    key.message = WM_CHAR;
    EXPECT_FALSE(TranslateMessage(&key)) << "only key-downs translate";
    WPARAM expected[] = {'n', '7', 13};
    MSG msg;
    for (WPARAM c : expected) {
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message, (UINT)WM_CHAR);
        EXPECT_EQ(msg.wParam, c);
    }
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "arrows and F1 type nothing";
}

TEST(KernelTest, LocalBlocksAreZeroedOnRequestAndFailOnInjection) {
    unsigned char* block = (unsigned char*)LocalAlloc(LMEM_ZEROINIT, 4096);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::count(block, block + 4096, 0), 4096);
    EXPECT_EQ(LocalFree(block), nullptr);
    testFailCall(TEST_LOCAL_ALLOC);
    EXPECT_EQ(LocalAlloc(LMEM_FIXED, 16), nullptr);
}

TEST(KernelTest, ExitProcessFlushesAndEndsWithItsCode) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        dup2(fds[1], 1);
        std::printf("buffered text");
        ExitProcess(7);
    }
    close(fds[1]);
    char buffer[64] = {};
    ssize_t length = read(fds[0], buffer, sizeof(buffer) - 1);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(std::string(buffer, length > 0 ? (size_t)length : 0), "buffered text");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

} // namespace

// Both backends name keys by the X protocol's keysym numbers, which the core's table writes out
// by hand: each must match Xlib's own name for it, the keypad's navigation keys included.
TEST(KeysymTable, VirtualKeysOfKeysymsByTheirXNames) {
    const struct {
        unsigned long keysym;
        int vk;
    } cases[] = {
        {XK_a, 'A'},
        {XK_Z, 'Z'},
        {XK_7, '7'},
        {XK_space, VK_SPACE},
        {XK_semicolon, VK_OEM_1},
        {XK_BackSpace, VK_BACK},
        {XK_ISO_Left_Tab, VK_TAB},
        {XK_KP_Enter, VK_RETURN},
        {XK_Escape, VK_ESCAPE},
        {XK_Left, VK_LEFT},
        {XK_KP_Left, VK_LEFT},
        {XK_KP_Up, VK_UP},
        {XK_KP_Right, VK_RIGHT},
        {XK_KP_Down, VK_DOWN},
        {XK_KP_Prior, VK_PRIOR},
        {XK_KP_Next, VK_NEXT},
        {XK_KP_End, VK_END},
        {XK_KP_Home, VK_HOME},
        {XK_KP_Insert, VK_INSERT},
        {XK_Delete, VK_DELETE},
        {XK_KP_Delete, VK_DELETE},
        {XK_Shift_R, VK_SHIFT},
        {XK_Control_L, VK_CONTROL},
        {XK_Meta_R, VK_MENU},
        {XK_Caps_Lock, VK_CAPITAL},
        {XK_Pause, VK_PAUSE},
        {XK_Print, VK_SNAPSHOT},
        {XK_Num_Lock, VK_NUMLOCK},
        {XK_Scroll_Lock, VK_SCROLL},
        {XK_Super_R, VK_RWIN},
        {XK_Menu, VK_APPS},
        {XK_F1, VK_F1},
        {XK_F12, VK_F12},
        {XK_KP_0, VK_NUMPAD0},
        {XK_KP_9, VK_NUMPAD0 + 9},
        {XK_KP_Multiply, VK_MULTIPLY},
        {XK_KP_Divide, VK_DIVIDE},
        {XK_F13, 0},
        {XK_eacute, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(virtualKeyOfKeysym((uint32_t)c.keysym), c.vk)
            << "keysym 0x" << std::hex << c.keysym;
    }
}

// --- The message box's layout, the same on every display ----------------------------------------

namespace {

// A fixed-width font as the Wayland box's: six pixels a character.
int sixEach(const void*, const char*, int length) {
    return 6 * length;
}

std::vector<std::string> laidOutLines(const BoxLayout& layout, const char* text) {
    std::vector<std::string> lines;
    for (int i = 0; i < layout.lineCount; i++) {
        lines.push_back(std::string(text + layout.lines[i].start, (size_t)layout.lines[i].length));
    }
    return lines;
}

} // namespace

TEST(BoxLayout, LongLinesBreakAtTheLastSpaceThatFitsAndLongWordsStayWhole) {
    // 1280 pixels of screen leave 480 for the text: 80 characters.
    std::string words;
    for (int i = 0; i < 30; i++) {
        words += "word" + std::to_string(i % 10) + " ";
    }
    std::string text = words + "\n" + std::string(100, 'x') + " tail";
    BoxLayout layout = BoxLayout();
    boxLayOut(&layout, text.c_str(), 1280, 13, sixEach, nullptr);
    std::vector<std::string> lines = laidOutLines(layout, text.c_str());
    ASSERT_GE(lines.size(), 4u);
    // Each broken line is as long as fits: the next word would not have.
    EXPECT_EQ(lines[0].size(), 77u) << lines[0];
    EXPECT_EQ(lines[0].substr(0, 12), "word0 word1 ");
    for (size_t i = 0; i + 2 < lines.size(); i++) {
        EXPECT_LE(lines[i].size() * 6, 480u) << lines[i];
    }
    // A word wider than the box allows stays whole, with what follows it up to the next
    // place that fits: no space before it leaves a part that fits.
    EXPECT_EQ(lines.back(), std::string(100, 'x') + " tail");
    // The box is as wide as its widest line and its margins.
    EXPECT_EQ(layout.width, 105 * 6 + 2 * BOX_MARGIN);
}

TEST(BoxLayout, NewlinesEmptyLinesAndTheFinalNewline) {
    const char* text = "first\n\nthird\n";
    BoxLayout layout = BoxLayout();
    boxLayOut(&layout, text, 1280, 13, sixEach, nullptr);
    EXPECT_EQ(laidOutLines(layout, text), (std::vector<std::string>{"first", "", "third"}));
    // Short text: the box keeps its least width; the button is centred below three lines.
    EXPECT_EQ(layout.width, 240);
    EXPECT_EQ(layout.height, 3 * BOX_MARGIN + 3 * 13 + BOX_BUTTON_HEIGHT);
    EXPECT_EQ(layout.buttonX, (240 - BOX_BUTTON_WIDTH) / 2);
    EXPECT_EQ(layout.buttonY, layout.height - BOX_MARGIN - BOX_BUTTON_HEIGHT);
    EXPECT_TRUE(boxInsideButton(&layout, layout.buttonX, layout.buttonY));
    EXPECT_TRUE(boxInsideButton(&layout, layout.buttonX + BOX_BUTTON_WIDTH - 1,
                                layout.buttonY + BOX_BUTTON_HEIGHT - 1));
    EXPECT_FALSE(boxInsideButton(&layout, layout.buttonX + BOX_BUTTON_WIDTH, layout.buttonY));
    EXPECT_FALSE(boxInsideButton(&layout, layout.buttonX, layout.buttonY - 1));
}

TEST(BoxLayout, NarrowScreensAndEndlessTextStayWithinBounds) {
    // A 200-pixel screen: lines of at most 168 pixels, the box no wider than the screen.
    const char* text = "aaaa bbbb cccc dddd eeee ffff gggg hhhh";
    BoxLayout layout = BoxLayout();
    boxLayOut(&layout, text, 200, 13, sixEach, nullptr);
    EXPECT_EQ(layout.width, 200);
    for (const std::string& line : laidOutLines(layout, text)) {
        EXPECT_LE(line.size() * 6, 168u) << line;
    }
    // More lines than the box holds: the rest is left out, never written past the table.
    std::string many;
    for (int i = 0; i < BOX_MAX_LINES + 20; i++) {
        many += "line\n";
    }
    boxLayOut(&layout, many.c_str(), 1280, 13, sixEach, nullptr);
    EXPECT_EQ(layout.lineCount, BOX_MAX_LINES);
}
