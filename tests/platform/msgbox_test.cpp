// Message boxes under Xvfb: the box shows its caption and text, blocks its caller while the
// owner still gets its paints and moves, and Return closes it. Recorded boxes are in
// tests/platform/core_test.cpp.
// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include "helpers.h"

#include <X11/Xutil.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

const char* const CLASS_NAME = "platformBoxTest";
const char* const LONG_LINE = "This line of the message is long enough to widen the box";

// A viewable top-level window with this WM_NAME, looked for from any client; 0 when none.
Window findByName(Display* display, const char* name) {
    return xFindWindow(display, DefaultRootWindow(display), 1, xNameStartsWith, name);
}

struct Observer {
    std::atomic<bool> found{false};
    std::atomic<bool> returnPressed{false};
    std::atomic<int> darkPixels{0};
    std::atomic<int> width{0};
    std::atomic<int> textWidth{0};
    std::string instance;
    std::string windowClass;
};

// Plays the user: finds the box, looks at it, disturbs the owner, then presses Return.
void actAsUser(Observer* observer, const char* caption, Window owner) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return;
    }
    Window box = 0;
    waitUntil(
        [&]() {
            box = findByName(display, caption);
            return box != 0;
        },
        5);
    if (box != 0) {
        observer->found = true;
        XClassHint hint;
        if (XGetClassHint(display, box, &hint) != 0) {
            observer->instance = hint.res_name;
            observer->windowClass = hint.res_class;
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        XWindowAttributes attributes;
        XGetWindowAttributes(display, box, &attributes);
        observer->width = attributes.width;
        XFontStruct* font = XLoadQueryFont(display, "fixed");
        if (font != nullptr) {
            observer->textWidth = XTextWidth(font, LONG_LINE, (int)std::strlen(LONG_LINE));
            int lineHeight = font->ascent + font->descent;
            // The text is drawn once the box has had its first Expose.
            auto countDark = [&]() {
                XImage* image = XGetImage(display, box, 0, 0, (unsigned)attributes.width,
                                          (unsigned)(16 + 2 * lineHeight), AllPlanes, ZPixmap);
                int dark = 0;
                if (image != nullptr) {
                    unsigned long black = BlackPixel(display, DefaultScreen(display));
                    for (int y = 16; y < image->height; y++) {
                        for (int x = 0; x < image->width; x++) {
                            dark += XGetPixel(image, x, y) == black ? 1 : 0;
                        }
                    }
                    XDestroyImage(image);
                }
                observer->darkPixels = dark;
                return dark > 0;
            };
            waitUntil(countDark, 5);
            XFreeFont(display, font);
        }
        // The owner is exposed and moved while the box is open.
        XClearArea(display, owner, 0, 0, 0, 0, True);
        XMoveWindow(display, owner, 150, 170);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    observer->returnPressed = true;
    xTapKey(display, XK_Return);
    XCloseDisplay(display);
}

class MessageBoxTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_NE(x11Display(), nullptr);
        ASSERT_NE(registerTestClass(CLASS_NAME), 0);
    }
    void SetUp() override {
        window = openWindow(CLASS_NAME, 100, 120, 300, 200);
        ASSERT_NE(window, nullptr);
        pump();
        clearLog();
    }
    void TearDown() override { DestroyWindow(window); }
    HWND window = nullptr;
};

TEST_F(MessageBoxTest, BoxShowsBlocksKeepsDispatchingAndClosesOnReturn) {
    Observer observer;
    std::string text = std::string(LONG_LINE) + "\nand a second line\n";
    std::thread user(actAsUser, &observer, "Box caption", x11WindowOf(window));
    // A quit already waiting does not end the box; it stays for the loop that follows.
    PostQuitMessage(4);
    // Standard error gets the caption and the text while the box is shown, for the log.
    int result = 0;
    bool pressedBeforeReturn = false;
    std::string written = standardErrorOf([&] {
        result = MessageBoxA(GetFocus(), text.c_str(), "Box caption", MB_OK);
        pressedBeforeReturn = observer.returnPressed;
    });
    int paints = countLogged(WM_PAINT);
    int moves = countLogged(WM_MOVE);
    user.join();

    EXPECT_EQ(result, IDOK);
    ASSERT_TRUE(observer.found) << "no window named by the caption";
    EXPECT_EQ(written, "platform_msgbox_test: Box caption: " + text);
    EXPECT_EQ(observer.instance, "platform_msgbox_test") << "WM_CLASS: the program's name first";
    EXPECT_EQ(observer.windowClass, "WrendleMessage");
    EXPECT_TRUE(pressedBeforeReturn) << "the box returned before Return was pressed";
    EXPECT_GE(observer.width, observer.textWidth) << "the box is narrower than its text";
    EXPECT_GT(observer.darkPixels, 100) << "no text drawn in the box";
    EXPECT_GE(paints, 1) << "the owner's paint waited for the box";
    EXPECT_GE(moves, 1) << "the owner's move waited for the box";
    EXPECT_EQ(findByName(x11Display(), "Box caption"), 0u) << "the box is still there";
    // The owner is active again; the quit comes when nothing else is left.
    MSG msg;
    UINT last = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && (last = msg.message) != WM_QUIT) {
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(last, (UINT)WM_QUIT);
    EXPECT_EQ(msg.wParam, 4u);
    EXPECT_EQ(GetFocus(), window);
}

} // namespace
