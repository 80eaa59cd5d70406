// The kit's facade without a window: the window settings, the key and mouse binding tables and
// their dispatchers, and what kitClose and kitGetMouseLocation do when there is no window.
#include "kit/core.h"
#include "platform/testctl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// What the handlers saw, in the order they ran.
std::vector<int> calls;
std::vector<MouseEvent> events;

void keyA() {
    calls.push_back(1);
}
void keyB() {
    calls.push_back(2);
}
void keyC() {
    calls.push_back(3);
}
void keyBindsC() {
    calls.push_back(4);
    kitBindKey(110, keyC);
}
void keyCloses() {
    calls.push_back(5);
    kitClose();
}

void mouseLeft(MouseEvent* event) {
    calls.push_back(1);
    events.push_back(*event);
}
void mouseRight(MouseEvent* event) {
    calls.push_back(2);
    events.push_back(*event);
}
void mouseMiddle(MouseEvent* event) {
    calls.push_back(4);
    events.push_back(*event);
}
void mouseBindsMiddle(MouseEvent* event) {
    calls.push_back(9);
    events.push_back(*event);
    kitBindMouse(KIT_MIDDLE_BUTTON, KIT_MOUSE_DOWN, mouseMiddle);
}

void reshapeRecorder(int32_t width, int32_t height) {
    calls.push_back(width * 1000 + height);
}
void displayRecorder() {
    calls.push_back(7);
}

// The record's bytes, padding included, so a test can see that nothing in it moved.
struct Snapshot {
    unsigned char bytes[sizeof(KitState)];
};
Snapshot snapshot() {
    Snapshot s;
    std::memcpy(s.bytes, &kit, sizeof kit);
    return s;
}
bool unchangedSince(const Snapshot& s) {
    return std::memcmp(s.bytes, &kit, sizeof kit) == 0;
}

class Facade : public ::testing::Test {
  protected:
    void SetUp() override {
        kitResetState();
        testClearFaults();
        calls.clear();
        events.clear();
    }
    void TearDown() override {
        testClearFaults();
        kitResetState();
    }
};

int frameX() {
    return GetSystemMetrics(SM_CXFRAME);
}
int frameY() {
    return GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) -
           GetSystemMetrics(SM_CYBORDER);
}

TEST_F(Facade, WindowRectKeepsTheClientOriginOfTheGivenFrameCorner) {
    kitSetWindowRect(-10, -8, 1000, 750);
    EXPECT_EQ(kit.useDefaultPosition, 0);
    EXPECT_EQ(kit.windowRect.x, -10 + frameX());
    EXPECT_EQ(kit.windowRect.y, -8 + frameY());
    EXPECT_EQ(kit.windowRect.width, 1000);
    EXPECT_EQ(kit.windowRect.height, 750);

    // The sentinel asks for the system's position and makes y meaningless.
    kitSetWindowRect(CW_USEDEFAULT, 123, 640, 480);
    EXPECT_EQ(kit.useDefaultPosition, 1);
    EXPECT_EQ(kit.windowRect.x, frameX());
    EXPECT_EQ(kit.windowRect.y, frameY());
    EXPECT_EQ(kit.windowRect.width, 640);
    EXPECT_EQ(kit.windowRect.height, 480);

    // A real position afterwards takes the system's choice back.
    kitSetWindowRect(CW_USEDEFAULT + 1, 5, 1, 2);
    EXPECT_EQ(kit.useDefaultPosition, 0);
    EXPECT_EQ(kit.windowRect.x, CW_USEDEFAULT + 1 + frameX());
    EXPECT_EQ(kit.windowRect.y, 5 + frameY());

    // A corner at the far end of the range stays there instead of wrapping round.
    kitSetWindowRect(INT32_MAX, INT32_MAX - 1, 5, 6);
    EXPECT_EQ(kit.windowRect.x, INT32_MAX);
    EXPECT_EQ(kit.windowRect.y, INT32_MAX);
}

TEST_F(Facade, DisplayModeIsKeptInBothCopiesAndTheCoreCopyIsWhatIsRead) {
    EXPECT_EQ(kitGetDisplayMode(), KIT_INDEX); // colour index, single-buffered by default
    EXPECT_EQ(kit.facadeDisplayMode, 0);

    kitSetDisplayMode(KIT_DOUBLE | KIT_DEPTH16);
    EXPECT_EQ(kit.facadeDisplayMode, 258);
    EXPECT_EQ(kitGetDisplayMode(), 258);

    // The core's setter alone (what the single-buffer fallback uses) leaves the facade's copy.
    kitSetDisplayMode(KIT_DEPTH16);
    kitCoreSetDisplayMode(KIT_DEPTH16 | KIT_DOUBLE);
    EXPECT_EQ(kit.facadeDisplayMode, KIT_DEPTH16);
    EXPECT_EQ(kitGetDisplayMode(), KIT_DEPTH16 | KIT_DOUBLE);

    // Bits the kit does not know are stored unchanged.
    kitSetDisplayMode(-1);
    EXPECT_EQ(kit.facadeDisplayMode, -1);
    EXPECT_EQ(kitGetDisplayMode(), -1);
}

TEST_F(Facade, KeyDispatchRunsEveryMatchingBindingInOrderAndReportsOnce) {
    kitBindKey(37, keyB);
    kitBindKey(38, keyC);
    kitBindKey(37, keyA);

    EXPECT_EQ(kitDispatchKey(37, 0), 1);
    EXPECT_EQ(calls, (std::vector<int>{2, 1}));

    // Modifiers play no part in matching.
    calls.clear();
    EXPECT_EQ(kitDispatchKey(38, KIT_SHIFT | KIT_CONTROL), 1);
    EXPECT_EQ(calls, (std::vector<int>{3}));

    // An unbound code runs nothing and so asks for no redraw.
    calls.clear();
    EXPECT_EQ(kitDispatchKey(39, 0), 0);
    EXPECT_EQ(kitDispatchKey(0, 0), 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Facade, KeyBindingMadeDuringADispatchRunsInThatDispatch) {
    kitBindKey(110, keyBindsC);
    EXPECT_EQ(kitDispatchKey(110, 0), 1);
    EXPECT_EQ(calls, (std::vector<int>{4, 3}));
    EXPECT_EQ(kit.keyCount, 2);
}

TEST_F(Facade, CloseInsideAKeyBindingStopsTheDispatchAndEmptiesTheTables) {
    kitBindKey(13, keyCloses);
    kitBindKey(13, keyA);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN, mouseLeft);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_UP, mouseLeft);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_MOVE, mouseLeft);

    EXPECT_EQ(kitDispatchKey(13, 0), 1);
    EXPECT_EQ(calls, (std::vector<int>{5})); // the second binding for 13 is gone
    EXPECT_EQ(kit.keyCount, 0);
    EXPECT_EQ(kit.mouseDownCount, 0);
    EXPECT_EQ(kit.mouseUpCount, 0);
    EXPECT_EQ(kit.mouseMoveCount, 0);

    // Bindings made afterwards start at the first entry again.
    kitBindKey(40, keyB);
    kitBindMouse(KIT_RIGHT_BUTTON, KIT_MOUSE_UP, mouseRight);
    EXPECT_EQ(kit.keyTable[0].keyCode, 40);
    EXPECT_EQ(kit.keyTable[0].handler, keyB);
    EXPECT_EQ(kit.mouseUpTable[0].button, KIT_RIGHT_BUTTON);
    calls.clear();
    EXPECT_EQ(kitDispatchKey(13, 0), 0);
    EXPECT_EQ(kitDispatchKey(40, 0), 1);
    EXPECT_EQ(kitDispatchMouseUp(0, 0, KIT_LEFT_BUTTON), 0);
    EXPECT_EQ(kitDispatchMouseUp(0, 0, KIT_RIGHT_BUTTON), 1);
    EXPECT_EQ(calls, (std::vector<int>{2, 2}));
}

TEST_F(Facade, FullKeyTableIgnoresFurtherBindings) {
    for (int32_t i = 0; i < KIT_KEY_TABLE_SIZE; i++) {
        kitBindKey(1000 + i, keyA);
    }
    Snapshot before = snapshot();
    kitBindKey(27, keyB);
    kitBindKey(28, keyC);

    EXPECT_EQ(kit.keyCount, KIT_KEY_TABLE_SIZE);
    // Nothing after the table moved: the record is byte for byte as it was.
    EXPECT_TRUE(unchangedSince(before));
    EXPECT_EQ(kitDispatchKey(27, 0), 0);
    EXPECT_EQ(kitDispatchKey(1000 + KIT_KEY_TABLE_SIZE - 1, 0), 1);
    EXPECT_EQ(calls, (std::vector<int>{1}));
}

TEST_F(Facade, FullMouseTablesIgnoreFurtherBindings) {
    const int32_t kinds[3] = {KIT_MOUSE_DOWN, KIT_MOUSE_UP, KIT_MOUSE_MOVE};
    for (int32_t kind : kinds) {
        for (int32_t i = 0; i < KIT_MOUSE_TABLE_SIZE; i++) {
            kitBindMouse(KIT_LEFT_BUTTON, kind, mouseLeft);
        }
    }
    Snapshot before = snapshot();
    for (int32_t kind : kinds) {
        kitBindMouse(KIT_RIGHT_BUTTON, kind, mouseRight);
    }
    EXPECT_EQ(kit.mouseDownCount, KIT_MOUSE_TABLE_SIZE);
    EXPECT_EQ(kit.mouseUpCount, KIT_MOUSE_TABLE_SIZE);
    EXPECT_EQ(kit.mouseMoveCount, KIT_MOUSE_TABLE_SIZE);
    EXPECT_TRUE(unchangedSince(before));
    EXPECT_EQ(kitDispatchMouseMove(1, 2, KIT_RIGHT_BUTTON), 0);
    EXPECT_EQ(kitDispatchMouseDown(1, 2, KIT_LEFT_BUTTON), 1);
    EXPECT_EQ((int32_t)calls.size(), KIT_MOUSE_TABLE_SIZE);
}

TEST_F(Facade, MouseKindsOtherThanDownUpAndMoveChangeNothing) {
    Snapshot before = snapshot();
    kitBindMouse(KIT_LEFT_BUTTON, 8, mouseLeft);
    kitBindMouse(KIT_LEFT_BUTTON, 128, mouseLeft);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN | KIT_MOUSE_UP, mouseLeft);
    kitBindMouse(KIT_LEFT_BUTTON, 0, mouseLeft);
    EXPECT_TRUE(unchangedSince(before));
}

TEST_F(Facade, EachKindGoesToItsOwnTable) {
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN, mouseLeft);
    kitBindMouse(KIT_RIGHT_BUTTON, KIT_MOUSE_UP, mouseRight);
    kitBindMouse(KIT_MIDDLE_BUTTON, KIT_MOUSE_MOVE, mouseMiddle);
    const int32_t all = KIT_LEFT_BUTTON | KIT_RIGHT_BUTTON | KIT_MIDDLE_BUTTON;

    EXPECT_EQ(kitDispatchMouseDown(3, 4, all), 1);
    EXPECT_EQ(kitDispatchMouseUp(5, 6, all), 1);
    EXPECT_EQ(kitDispatchMouseMove(7, 8, all), 1);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(events[0].kind, KIT_MOUSE_DOWN);
    EXPECT_EQ(events[1].kind, KIT_MOUSE_UP);
    EXPECT_EQ(events[2].kind, KIT_MOUSE_MOVE);
    EXPECT_EQ(events[2].x, 7);
    EXPECT_EQ(events[2].y, 8);
}

TEST_F(Facade, MotionWithButtonsHeldCallsEachBindingWithItsOwnButton) {
    // Bound right before left: the table's order decides, not the bits' order.
    kitBindMouse(KIT_RIGHT_BUTTON, KIT_MOUSE_MOVE, mouseRight);
    kitBindMouse(KIT_MIDDLE_BUTTON, KIT_MOUSE_MOVE, mouseMiddle);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_MOVE, mouseLeft);

    EXPECT_EQ(kitDispatchMouseMove(-12, 34, KIT_LEFT_BUTTON | KIT_RIGHT_BUTTON), 1);
    EXPECT_EQ(calls, (std::vector<int>{2, 1}));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].button, KIT_RIGHT_BUTTON);
    EXPECT_EQ(events[1].button, KIT_LEFT_BUTTON);
    for (const MouseEvent& event : events) {
        EXPECT_EQ(event.kind, KIT_MOUSE_MOVE);
        EXPECT_EQ(event.x, -12);
        EXPECT_EQ(event.y, 34);
        EXPECT_EQ(event.reserved, 0);
    }

    // No button held: no binding runs.
    calls.clear();
    EXPECT_EQ(kitDispatchMouseMove(1, 1, 0), 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Facade, PressesMatchTheOneButtonConcerned) {
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN, mouseLeft);
    kitBindMouse(KIT_RIGHT_BUTTON, KIT_MOUSE_DOWN, mouseRight);
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN, mouseLeft);
    // A binding for a combination of buttons never matches: every call is about one button.
    kitBindMouse(KIT_LEFT_BUTTON | KIT_RIGHT_BUTTON, KIT_MOUSE_DOWN, mouseMiddle);

    EXPECT_EQ(kitDispatchMouseDown(10, 20, KIT_RIGHT_BUTTON), 1);
    EXPECT_EQ(calls, (std::vector<int>{2}));
    calls.clear();
    EXPECT_EQ(kitDispatchMouseDown(10, 20, KIT_LEFT_BUTTON), 1);
    EXPECT_EQ(calls, (std::vector<int>{1, 1}));
    calls.clear();
    EXPECT_EQ(kitDispatchMouseDown(10, 20, KIT_MIDDLE_BUTTON), 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Facade, MouseBindingMadeDuringADispatchRunsInThatDispatch) {
    kitBindMouse(KIT_LEFT_BUTTON, KIT_MOUSE_DOWN, mouseBindsMiddle);
    EXPECT_EQ(kitDispatchMouseDown(0, 0, KIT_LEFT_BUTTON), 1);
    EXPECT_EQ(calls, (std::vector<int>{9})); // the new binding is for another button
    calls.clear();
    EXPECT_EQ(kitDispatchMouseDown(0, 0, KIT_MIDDLE_BUTTON | KIT_LEFT_BUTTON), 1);
    EXPECT_EQ(calls, (std::vector<int>{9, 4, 4}));
}

TEST_F(Facade, RunWithoutAWindowReturnsAndConsumesAQueuedQuit) {
    kitSetReshapeHandler(reshapeRecorder);
    kitSetIdleHandler(displayRecorder);
    PostQuitMessage(1);
    kitRun(displayRecorder);
    EXPECT_EQ(kit.displayHandler, displayRecorder);
    EXPECT_TRUE(calls.empty()); // no reshape, no idle call: the loop never started
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));

    // And with nothing queued at all it returns too.
    kitRun(nullptr);
    EXPECT_EQ(kit.displayHandler, nullptr);
}

TEST_F(Facade, WithoutAWindowCloseAndPostedRequestsDoNothingHarmful) {
    kitBindKey(13, keyA);
    EXPECT_EQ(kitClose(), 0);
    EXPECT_EQ(kit.keyCount, 0);
    EXPECT_EQ(kitPostRealizeRequest(), 0);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(Facade, MouseLocationIsZeroWhenTheCursorCannotBeRead) {
    kit.windowRect.x = -40;
    kit.windowRect.y = 25;
    int32_t x = 99;
    int32_t y = 99;
    testFailCall(TEST_GET_CURSOR_POS);
    kitGetMouseLocation(&x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

TEST_F(Facade, MessageBoxesTakeOnlyTheLowByte) {
    kitSetMessageBoxes(256);
    EXPECT_EQ(kit.showMessages, 0);
    kitSetMessageBoxes(257);
    EXPECT_NE(kit.showMessages, 0);
    kitSetMessageBoxes(0);
    EXPECT_EQ(kit.showMessages, 0);
}

} // namespace
