// Message boxes on the Wayland backend under a headless sway: the box is a toplevel titled by
// its caption, its text and button show in a screenshot, its loop keeps dispatching the owner's
// messages, and Return, Escape, a click on OK and the compositor's close each answer it.
#include <gtest/gtest.h>

#include "platform/emulated/backend.h"
#include "tests/support/support.h"
#include "tests/support/wayland.h"
#include "tests/support/messages.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#ifndef WRENDLE_VPOINTER
#define WRENDLE_VPOINTER "wrendle-vpointer"
#endif

namespace {

const char* const CLASS_NAME = "waylandBoxTest";
// The program's name, as the kernel keeps it (15 characters).
const char* const APP_ID = "wayland_msgbox_";
const char* const LONG_LINE = "This line of the message is long enough to widen the box";
const char* const SHORT_LINE = "and a second line";
// The box's layout as a user sees it: a 6x13 font, margins of 16, a 72x26 button.
const int MARGIN = 16;
const int CELL_WIDTH = 6;
const int CELL_HEIGHT = 13;
const int BUTTON_WIDTH = 72;
const int BUTTON_HEIGHT = 26;

// The phase of the user's play when the owner's message was handled.
enum Phase { BEFORE_BOX, BOX_SEEN, ANSWERED };
std::atomic<int> phase{BEFORE_BOX};
std::atomic<int> paintsWhileOpen{0};

LRESULT CALLBACK ownerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT && phase == BOX_SEEN) {
        paintsWhileOpen++;
    }
    if (message == WM_CLOSE) {
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

struct BoxRect {
    int x = 0, y = 0, width = 0, height = 0;
    std::string appId;
};

bool findBox(const char* caption, BoxRect* rect) {
    return swayWindowRectTitled(caption, &rect->x, &rect->y, &rect->width, &rect->height,
                                &rect->appId);
}

bool dark(const std::vector<uint8_t>& rgb, int width, int x, int y) {
    const uint8_t* p = &rgb[((size_t)y * (size_t)width + (size_t)x) * 3];
    return p[0] < 80 && p[1] < 80 && p[2] < 80;
}

int countDark(const std::vector<uint8_t>& rgb, int width, int left, int top, int right,
              int bottom) {
    int count = 0;
    for (int y = top; y < bottom; y++) {
        for (int x = left; x < right; x++) {
            count += dark(rgb, width, x, y) ? 1 : 0;
        }
    }
    return count;
}

// Plays the user from another thread while MessageBoxA blocks the test's own: waits for the box,
// lets `look` examine it, then answers it with `answer`.
struct User {
    std::atomic<bool> found{false};
    std::atomic<bool> answered{false};
    std::atomic<bool> stuck{false};
    BoxRect box;
};

void play(User* user, const char* caption, std::function<void(const BoxRect&)> look,
          std::function<void(const BoxRect&)> answer) {
    BoxRect box;
    if (waitUntil([&] { return findBox(caption, &box); }, 10)) {
        user->box = box;
        user->found = true;
        phase = BOX_SEEN;
        if (look) {
            look(box);
        }
    }
    phase = ANSWERED;
    user->answered = true;
    answer(box);
    // A box that stays open is closed for the test to go on, and counted as a failure.
    BoxRect still;
    if (!waitUntil([&] { return !findBox(caption, &still); }, 5)) {
        user->stuck = true;
        runCommand({"swaymsg", std::string("[title=\"") + caption + "\"]", "kill"});
    }
}

class WaylandMessageBox : public ::testing::Test {
  protected:
    HWND owner = nullptr;

    static void SetUpTestSuite() { ASSERT_NE(registerTestClass(CLASS_NAME, ownerProc), 0); }
    void SetUp() override {
        ASSERT_TRUE(onWayland()) << "runs under scripts/with-sway";
        phase = BEFORE_BOX;
        paintsWhileOpen = 0;
        owner = CreateWindowExA(0, CLASS_NAME, "Box owner", WS_POPUP, 0, 0, 320, 240, nullptr,
                                nullptr, nullptr, nullptr);
        ASSERT_NE(owner, nullptr);
        ShowWindow(owner, SW_SHOW);
        int x, y, w, h;
        ASSERT_TRUE(waitUntil(
            [&] {
                pump();
                return swayWindowRect(APP_ID, &x, &y, &w, &h);
            },
            10));
    }
    void TearDown() override {
        DestroyWindow(owner);
        pump();
    }
};

TEST_F(WaylandMessageBox, ShowsCaptionTextAndButtonKeepsDispatchingAndReturnAnswersIt) {
    User user;
    std::vector<uint8_t> shot;
    int textDark[2] = {0, 0};
    int blankDark = -1, besideShortDark = -1, buttonEdgeDark = 0, okDark = 0;
    auto look = [&](const BoxRect& box) {
        // The box is in the tree before the compositor shows its first buffer: its white
        // paper tells when it does.
        bool shown = waitUntil(
            [&] {
                return grimCapture(box.x, box.y, box.width, box.height, &shot) && shot[0] > 200 &&
                       shot[1] > 200 && shot[2] > 200;
            },
            5);
        if (!shown) {
            return;
        }
        textDark[0] =
            countDark(shot, box.width, MARGIN, MARGIN,
                      MARGIN + (int)std::strlen(LONG_LINE) * CELL_WIDTH, MARGIN + CELL_HEIGHT);
        int second = MARGIN + CELL_HEIGHT;
        int shortEnd = MARGIN + (int)std::strlen(SHORT_LINE) * CELL_WIDTH;
        textDark[1] = countDark(shot, box.width, MARGIN, second, shortEnd, second + CELL_HEIGHT);
        besideShortDark =
            countDark(shot, box.width, shortEnd, second, box.width, second + CELL_HEIGHT);
        int buttonX = (box.width - BUTTON_WIDTH) / 2;
        int buttonY = box.height - MARGIN - BUTTON_HEIGHT;
        blankDark = countDark(shot, box.width, 0, second + CELL_HEIGHT, box.width, buttonY) +
                    countDark(shot, box.width, 0, 0, box.width, MARGIN);
        buttonEdgeDark =
            countDark(shot, box.width, buttonX, buttonY, buttonX + BUTTON_WIDTH, buttonY + 1);
        okDark = countDark(shot, box.width, buttonX + 3, buttonY + 3, buttonX + BUTTON_WIDTH - 3,
                           buttonY + BUTTON_HEIGHT - 3);
        // The owner is resized by the compositor while the box is open: its paint must come.
        runCommand({"swaymsg", std::string("[app_id=\"^") + APP_ID + "\" title=\"Box owner\"]",
                    "resize", "set", "360", "260"});
        waitUntil([] { return paintsWhileOpen > 0; }, 3);
    };
    auto answer = [](const BoxRect&) { wtypeKey("Return"); };
    std::string text = std::string(LONG_LINE) + "\n" + SHORT_LINE + "\n";
    // The caption in Latin-1, as narrow texts are; the compositor shows it in UTF-8.
    std::thread actor(play, &user, "Box caption \xc3\xa9t\xc3\xa9", look, answer);
    // A quit already waiting does not end the box; it stays for the loop that follows.
    PostQuitMessage(4);
    int result = 0;
    bool answeredBeforeReturn = false;
    std::string written = standardErrorOf([&] {
        result = MessageBoxA(owner, text.c_str(), "Box caption \xe9t\xe9", MB_OK);
        answeredBeforeReturn = user.answered;
    });
    actor.join();

    EXPECT_EQ(result, IDOK);
    ASSERT_TRUE(user.found) << "no toplevel titled by the caption (in UTF-8)";
    EXPECT_TRUE(answeredBeforeReturn) << "the box returned before it was answered";
    EXPECT_FALSE(user.stuck) << "Return left the box open";
    EXPECT_EQ(written, "wayland_msgbox_test: Box caption \xe9t\xe9: " + text);
    EXPECT_EQ(user.box.appId, APP_ID) << "the box carries the program's app_id";
    EXPECT_EQ(user.box.width, (int)std::strlen(LONG_LINE) * CELL_WIDTH + 2 * MARGIN)
        << "as wide as its longest line";
    EXPECT_EQ(user.box.height, 3 * MARGIN + 2 * CELL_HEIGHT + BUTTON_HEIGHT);
    EXPECT_GT(textDark[0], 100) << "the first line's glyphs";
    EXPECT_GT(textDark[1], 30) << "the second line's glyphs";
    EXPECT_EQ(besideShortDark, 0) << "nothing drawn after the short line";
    EXPECT_EQ(blankDark, 0) << "nothing drawn above the text or between it and the button";
    EXPECT_EQ(buttonEdgeDark, BUTTON_WIDTH) << "the button's outline";
    EXPECT_GT(okDark, 20) << "the button's label";
    EXPECT_GE(paintsWhileOpen, 1) << "the owner's paint waited for the box";
    BoxRect gone;
    EXPECT_FALSE(findBox("Box caption \xc3\xa9t\xc3\xa9", &gone)) << "the box is still there";
    // The quit comes when nothing else is left.
    MSG msg;
    UINT last = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && (last = msg.message) != WM_QUIT) {
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(last, (UINT)WM_QUIT);
    EXPECT_EQ(msg.wParam, 4u);
}

// Escape, a click on OK (after presses and releases not both on it, which do nothing) and the
// compositor's close each answer the box; a box without an owner is a toplevel of its own all the
// same.
TEST_F(WaylandMessageBox, EscapeAClickOnOkAndTheCompositorsCloseAnswerIt) {
    struct Case {
        const char* name;
        HWND owner;
        std::function<void(const BoxRect&)> answer;
    };
    std::atomic<bool> stillOpenAfterMiss{false};
    // Presses and releases the left button at two places (layout coordinates).
    auto drag = [](int fromX, int fromY, int toX, int toY) {
        runCommand({WRENDLE_VPOINTER,
                    "wait",
                    "300",
                    "move",
                    std::to_string(fromX),
                    std::to_string(fromY),
                    "wait",
                    "50",
                    "press",
                    "left",
                    "wait",
                    "50",
                    "move",
                    std::to_string(toX),
                    std::to_string(toY),
                    "wait",
                    "50",
                    "release",
                    "left",
                    "wait",
                    "50"});
    };
    Case cases[] = {
        {"Escape", owner, [](const BoxRect&) { wtypeKey("Escape"); }},
        {"click", owner,
         [&](const BoxRect& box) {
             int textX = box.x + MARGIN + 4, textY = box.y + MARGIN + 4;
             int okX = box.x + box.width / 2;
             int okY = box.y + box.height - MARGIN - BUTTON_HEIGHT / 2;
             // A click needs both its press and its release on the button.
             drag(textX, textY, okX, okY);
             drag(okX, okY, textX, textY);
             BoxRect still;
             stillOpenAfterMiss = findBox("click", &still);
             drag(okX, okY, okX, okY);
         }},
        {"close", nullptr, [](const BoxRect&) { swayClose(APP_ID); }},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        User user;
        phase = BEFORE_BOX;
        std::thread actor(play, &user, c.name, nullptr, c.answer);
        int result = MessageBoxA(c.owner, "Answer me", c.name, MB_OK);
        bool answeredBeforeReturn = user.answered;
        actor.join();
        EXPECT_EQ(result, IDOK);
        EXPECT_TRUE(user.found);
        EXPECT_TRUE(answeredBeforeReturn) << "the box returned before it was answered";
        EXPECT_FALSE(user.stuck) << "the answer left the box open";
        BoxRect gone;
        EXPECT_FALSE(findBox(c.name, &gone)) << "the box is still there";
    }
    EXPECT_TRUE(stillOpenAfterMiss) << "a press or a release off the button closed the box";
}

} // namespace
