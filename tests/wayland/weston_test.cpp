// Under a second real compositor that draws no decorations (headless weston, scripts/with-weston),
// as GNOME does: the game's window gets its title bar from libdecor's plugin, says once why it has
// none when no plugin is installed, goes back to its size after maximised and fullscreen on the
// libdecor path, and ends with its message when the compositor goes.
#include <gtest/gtest.h>

#include "platform/emulated/wayland/wayland.h"
#include "tests/e2e/driver.h"
#include "tests/e2e/model.h"
#include "tests/support/wayland.h"
#include "tests/support/messages.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

namespace {

const int GAME_WIDTH = 1000;
const int GAME_HEIGHT = 750;
// libdecor's cairo plugin draws a title bar of this height above the content.
const int TITLE_BAR = 24;

struct Screen {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const {
        return &rgb[((size_t)y * (size_t)width + (size_t)x) * 3];
    }
    bool game(int x, int y) const {
        const uint8_t* p = at(x, y);
        uint8_t shade = shadeOf(p[0], p[1], p[2]);
        return shade != SHADE_OTHER && shade != SHADE_UNSEEN;
    }
};

// The game's client area on the screen: the tallest block of rows whose longest run of the
// game's colours is nearly the window's width (a frame's edge may have a row or two of a colour
// close to the field's grey). False when none shows.
bool findField(const Screen& s, int* left, int* top, int* width, int* height) {
    *height = 0;
    int blockTop = 0, blockLeft = 0, blockWidth = 0, blockHeight = 0;
    for (int y = 0; y <= s.height; y++) {
        int best = 0, bestStart = 0, run = 0;
        for (int x = 0; y < s.height && x < s.width; x++) {
            run = s.game(x, y) ? run + 1 : 0;
            if (run > best) {
                best = run;
                bestStart = x - run + 1;
            }
        }
        if (best >= GAME_WIDTH * 9 / 10) {
            if (blockHeight == 0) {
                blockLeft = bestStart;
                blockTop = y;
                blockWidth = best;
            }
            blockHeight++;
            continue;
        }
        if (blockHeight > *height) {
            *left = blockLeft;
            *top = blockTop;
            *width = blockWidth;
            *height = blockHeight;
        }
        blockHeight = 0;
    }
    return *height > 0;
}

// A title bar: every row just above the content mostly one colour, the same in each row, and not
// one the game draws; its first rows nearly all of it. The wallpaper behind a window without one
// is many colours.
bool titleBarAbove(const Screen& s, int left, int top, int width, std::string* why) {
    if (top < TITLE_BAR) {
        *why = "no room above the field for a title bar";
        return false;
    }
    uint32_t bar = 0;
    for (int y = top - TITLE_BAR; y < top; y++) {
        std::map<uint32_t, int> counts;
        for (int x = left; x < left + width; x++) {
            const uint8_t* p = s.at(x, y);
            counts[(uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2]]++;
        }
        auto most = counts.begin();
        for (auto i = counts.begin(); i != counts.end(); ++i) {
            most = i->second > most->second ? i : most;
        }
        if (y == top - TITLE_BAR) {
            bar = most->first;
        }
        // The bar's first rows hold no text: nearly all of them is its colour.
        int least = y < top - TITLE_BAR + 4 ? width * 9 / 10 : width / 2;
        if (most->first != bar || most->second < least ||
            shadeOf((int)(bar >> 16), (int)(bar >> 8 & 255), (int)(bar & 255)) == SHADE_GREY) {
            std::ostringstream text;
            text << "row " << y << " (" << top - y
                 << " above the field) is no title bar: " << most->second << " of " << width
                 << " pixels in its commonest colour #" << std::hex << most->first;
            *why = text.str();
            return false;
        }
    }
    return true;
}

// Waits until the game's field shows whole on the screen; the screen and where the field is.
bool waitForField(Screen* s, int* left, int* top, int* width, int* height) {
    return waitUntil(
        [&] {
            return westonCapture(&s->width, &s->height, &s->rgb) &&
                   findField(*s, left, top, width, height) && *width == GAME_WIDTH &&
                   *height == GAME_HEIGHT;
        },
        30, [](int ms) { pauseSeconds(ms / 1000.0); }, 200);
}

// Every line the program wrote on standard error, each of which must begin with its name.
std::string unnamedLines(const std::string& text) {
    std::string unnamed;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("wrendle: ", 0) != 0) {
            unnamed += line + "\n";
        }
    }
    return unnamed;
}

// Without a libdecor plugin the window still shows, with no title bar, and the program says
// why once, in its own words.
TEST(Weston, WithoutALibdecorPluginTheGameSaysWhyItHasNoTitleBar) {
    ASSERT_TRUE(std::getenv("WRENDLE_WESTON_PID") != nullptr) << "runs under scripts/with-weston";
    Program program;
    ASSERT_TRUE(launch(&program, nullptr, {"LIBDECOR_PLUGIN_DIR=/nonexistent"}));
    Screen s;
    int left = 0, top = 0, width = 0, height = 0;
    bool shown = waitForField(&s, &left, &top, &width, &height);
    std::string why;
    bool bar = shown && titleBarAbove(s, left, top, width, &why);
    bool ended = waitForExit(&program, 0);
    stopProgram(&program);
    std::string text = errorText(program);
    releaseProgram(&program);
    EXPECT_TRUE(shown) << "the field did not show whole: " << width << " x " << height << "\n"
                       << text;
    EXPECT_FALSE(ended) << "the program ended by itself:\n" << text;
    EXPECT_FALSE(bar) << "a title bar without a plugin to draw it";
    EXPECT_EQ(text, "wrendle: the window has no title bar or close box: the compositor draws "
                    "none and no libdecor plugin is installed (libdecor-0-plugin-1-cairo)\n");
}

// On the libdecor path, maximised and fullscreen end at the size the window had before.
TEST(Weston, MaximisedAndFullscreenEndAtTheSizeBefore) {
    ASSERT_TRUE(std::getenv("WRENDLE_WESTON_PID") != nullptr) << "runs under scripts/with-weston";
    ASSERT_NE(registerTestClass("westonTest", DefWindowProcA), 0);
    HWND window = CreateWindowExA(0, "westonTest", "Maximised and back", WS_POPUP, 0, 0, 400, 300,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    WaylandWindow* part = waylandPart(windowRecord(window));
    ASSERT_NE(part->frame, nullptr) << "weston draws no decorations: libdecor must";
    RECT client;
    auto clientIs = [&](int w, int h) {
        return pumpUntil(
            [&] {
                GetClientRect(window, &client);
                return client.right == w && client.bottom == h;
            },
            10);
    };
    auto clientIsNot = [&](int w, int h) {
        return pumpUntil(
            [&] {
                GetClientRect(window, &client);
                return client.right != w || client.bottom != h;
            },
            10);
    };
    ASSERT_TRUE(clientIs(400, 300));

    libdecor_frame_set_maximized(part->frame);
    EXPECT_TRUE(clientIsNot(400, 300)) << "maximised, the window kept its size";
    libdecor_frame_unset_maximized(part->frame);
    EXPECT_TRUE(clientIs(400, 300))
        << "after maximised: " << client.right << " x " << client.bottom;

    libdecor_frame_set_fullscreen(part->frame, nullptr);
    EXPECT_TRUE(clientIsNot(400, 300)) << "fullscreen, the window kept its size";
    libdecor_frame_unset_fullscreen(part->frame);
    EXPECT_TRUE(clientIs(400, 300))
        << "after fullscreen: " << client.right << " x " << client.bottom;
    DestroyWindow(window);
    pump();
}

// The game as a user of GNOME sees it, its field whole under libdecor's title bar; the
// compositor's end ends it with its message. Last, since it takes the compositor away.
TEST(Weston, TheGameShowsItsFieldUnderATitleBarAndEndsWithTheCompositor) {
    const char* compositor = std::getenv("WRENDLE_WESTON_PID");
    ASSERT_TRUE(compositor != nullptr) << "runs under scripts/with-weston";
    Program program;
    ASSERT_TRUE(launch(&program));
    Screen s;
    int left = 0, top = 0, width = 0, height = 0;
    bool shown = waitForField(&s, &left, &top, &width, &height);
    EXPECT_TRUE(shown) << "the field did not show whole: " << width << " x " << height << " at ("
                       << left << ", " << top << ")\n"
                       << errorText(program);
    std::string why;
    EXPECT_TRUE(shown && titleBarAbove(s, left, top, width, &why)) << why;

    kill((pid_t)std::atoi(compositor), SIGKILL);
    bool ended = waitForExit(&program, 10);
    if (!ended) {
        stopProgram(&program);
    }
    std::string text = errorText(program);
    releaseProgram(&program);
    EXPECT_TRUE(ended) << "still running 10 s after the compositor was killed";
    EXPECT_EQ(program.exitCode, 3);
    EXPECT_NE(text.find("wrendle: lost the connection to the Wayland display; ending.\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(unnamedLines(text), "") << "lines without the program's name";
}

} // namespace
