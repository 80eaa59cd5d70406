// The real program against other clients on its display: a lying ConfigureNotify, its window
// destroyed from outside, a resize to the largest size X allows, and WM_STATE written with no
// window manager. Each must leave it running and drawing the real picture, or end it cleanly.
#include "tests/e2e/checker.h"

// GoogleTest before Xlib, whose macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

const double START_SECONDS = 30;

class Hostile : public ::testing::Test {
  protected:
    Program program;
    Watch watch;
    Display* other = nullptr; // the hostile client: a connection of its own, no window manager

    void SetUp() override {
        ASSERT_TRUE(launch(&program)) << "could not start " << programCommand();
        ASSERT_TRUE(waitForWindow(&program, START_SECONDS))
            << "no window appeared; standard error:\n"
            << errorText(program);
        startWatch(&watch, &program);
        other = XOpenDisplay(nullptr);
        ASSERT_NE(other, nullptr);
    }
    void TearDown() override {
        if (other != nullptr) {
            XCloseDisplay(other);
        }
        endWatch(&watch);
        releaseProgram(&program);
    }

    // The program still runs, draws frames the rules can show, and they move on.
    void expectDrawingOn(const char* after) {
        ASSERT_FALSE(waitForExit(&program, 0))
            << "ended after " << after << ": " << errorText(program);
        ASSERT_TRUE(expectMatch(&watch, START_SECONDS)) << after << ": " << watch.lastProblem;
        laterFrame = shownFrame(watch) + 6;
        ASSERT_TRUE(watchUntil(&watch, reachedLaterFrame, START_SECONDS))
            << "no new frames after " << after << ": " << watch.lastProblem;
    }
    void expectEscapeEndsWithZero() {
        pressKey(program, XK_Escape);
        ASSERT_TRUE(waitForExit(&program, 15)) << "still running after Escape";
        EXPECT_EQ(program.exitCode, 0) << errorText(program);
    }
    static bool reachedLaterFrame(const FrameFacts&, int frame) { return frame >= laterFrame; }
    static int laterFrame;
};

int Hostile::laterFrame = 0;

TEST_F(Hostile, SyntheticConfigureSizesAreNotBelieved) {
    ASSERT_TRUE(expectMatch(&watch, START_SECONDS)) << watch.lastProblem;
    const int claims[][2] = {{32767, 32767}, {1, 1}, {30000, 30000}};
    for (const auto& claim : claims) {
        XEvent event = {};
        event.xconfigure.type = ConfigureNotify;
        event.xconfigure.event = program.window;
        event.xconfigure.window = program.window;
        event.xconfigure.x = -10;
        event.xconfigure.y = -8;
        event.xconfigure.width = claim[0];
        event.xconfigure.height = claim[1];
        XSendEvent(other, program.window, False, StructureNotifyMask, &event);
        XSync(other, False);
    }
    pause(0.5);
    int x, y, width, height;
    ASSERT_TRUE(windowGeometry(program, &x, &y, &width, &height));
    EXPECT_EQ(width, 1000);
    EXPECT_EQ(height, 750);
    // The whole picture, checked at every sample point of the 1000 x 750 client area: a
    // picture shrunk into a corner or drawn for another size matches no frame.
    expectDrawingOn("synthetic ConfigureNotify events");
    expectEscapeEndsWithZero();
}

// The program ends by itself. Usually within a fraction of a second; but Mesa's software GLX
// reads a drawable's size with an XGetGeometry whose failure it does not check, so a frame drawn
// between the window's destruction and the program's reading of it may take the size from
// whatever its stack held and clear a buffer that large: seen taking 5 to 15 s on a loaded
// machine, before this layer's changes too. The bound is for a hang, not for that.
TEST_F(Hostile, WindowDestroyedByAnotherClientEndsTheProgram) {
    ASSERT_TRUE(expectMatch(&watch, START_SECONDS)) << watch.lastProblem;
    XDestroyWindow(other, program.window);
    XSync(other, False);
    ASSERT_TRUE(waitForExit(&program, 60.0)) << "still running 60 s after its window went";
    EXPECT_EQ(program.exitCode, 0) << "ended by a signal or an error: " << errorText(program);
}

TEST_F(Hostile, ResizedToTheLargestXWindowAndBackItKeepsDrawing) {
    ASSERT_TRUE(expectMatch(&watch, START_SECONDS)) << watch.lastProblem;
    resizeWindow(program, 32767, 32767);
    // Several frames at that size: each one cleared, drawn and presented.
    pause(4.0);
    ASSERT_FALSE(waitForExit(&program, 0)) << "ended at 32767 x 32767: " << errorText(program);
    resizeWindow(program, 1000, 750);
    expectDrawingOn("a resize to 32767 x 32767 and back");
    expectEscapeEndsWithZero();
}

TEST_F(Hostile, WmStateFromAPlainClientDoesNotStopThePicture) {
    ASSERT_TRUE(expectMatch(&watch, START_SECONDS)) << watch.lastProblem;
    Atom wmState = XInternAtom(other, "WM_STATE", False);
    long data[2] = {IconicState, 0};
    XChangeProperty(other, program.window, wmState, wmState, 32, PropModeReplace,
                    (const unsigned char*)data, 2);
    XSync(other, False);
    expectDrawingOn("WM_STATE Iconic written by a plain client");
    expectEscapeEndsWithZero();
}

} // namespace
