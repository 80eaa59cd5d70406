// The test controls that work through the layer's hook: fault injection, the counts of
// realizations and broadcasts, the record of message boxes, and the virtual clock (clock.cpp).
#include "platform/emulated/core/core.h"
#include "platform/testctl.h"
#include "platform/testctl/clock.h"

#include <cstring>

// From display.cpp: message boxes handed to the test library by the headless display.
void testTakeMessageBoxes(void (*take)(const char* text, const char* caption));

namespace {

static_assert((int)TEST_SWAP_BUFFERS == (int)CALL_SWAP_BUFFERS &&
                  (int)TEST_OPERATION_COUNT == (int)CALL_SET_SYSTEM_PALETTE_USE,
              "the test operations are the layer's first calls, in the same order");

const int MAX_RECORDED = 64;
const int RECORDED_TEXT = 512;
const int RECORDED_CAPTION = 128;

struct Fault {
    int skip;
    int times;
};

struct Recorded {
    char text[RECORDED_TEXT];
    char caption[RECORDED_CAPTION];
};

struct Controls {
    Fault faults[CALL_COUNT];
    bool refuseSystemPaletteUse;
    int realizeCount;
    int broadcastCount;
    int boxCount;
    Recorded boxes[MAX_RECORDED];
    void (*boxHook)(const char* text, const char* caption);
};

Controls controls;

bool fail(PlatformCall call) {
    Fault& fault = controls.faults[call];
    bool fails = false;
    if (fault.times > 0) {
        if (fault.skip > 0) {
            fault.skip--;
        } else {
            fault.times--;
            fails = true;
        }
    }
    if (call == CALL_SET_SYSTEM_PALETTE_USE) {
        fails = fails || controls.refuseSystemPaletteUse;
    }
    // Counted only when the call goes ahead, as a realization or broadcast that happened.
    if (!fails && call == CALL_REALIZE_PALETTE) {
        controls.realizeCount++;
    }
    if (!fails && call == CALL_BROADCAST) {
        controls.broadcastCount++;
    }
    return fails;
}

bool tick(DWORD* now) {
    if (virtualClock.on) {
        *now = virtualClock.tick;
    }
    return virtualClock.on;
}

bool sleep(DWORD milliseconds) {
    return virtualSleep(milliseconds);
}

void recordBox(const char* text, const char* caption) {
    if (controls.boxCount < MAX_RECORDED) {
        Recorded& box = controls.boxes[controls.boxCount];
        copyText(box.text, sizeof(box.text), text);
        copyText(box.caption, sizeof(box.caption), caption);
        controls.boxCount++;
    }
    if (controls.boxHook != nullptr) {
        controls.boxHook(text, caption);
    }
}

const PlatformHook hook = {fail, tick, sleep};

// Installed before main, so that every platform call of a test program passes the hook.
const bool installed = (platformHook = &hook, true);

} // namespace

void testFailCall(TestOperation op, int skip, int times) {
    if (op < 0 || op >= TEST_OPERATION_COUNT) {
        return;
    }
    controls.faults[op].skip = skip;
    controls.faults[op].times = times;
}

void testClearFaults(void) {
    for (Fault& fault : controls.faults) {
        fault = Fault();
    }
}

void testRefuseSystemPaletteUse(int on) {
    controls.refuseSystemPaletteUse = on != 0;
}

int testRealizeCount(void) {
    return controls.realizeCount;
}

int testBroadcastCount(void) {
    return controls.broadcastCount;
}

void testResetCounts(void) {
    controls.realizeCount = 0;
    controls.broadcastCount = 0;
    controls.refuseSystemPaletteUse = false;
}

// Boxes are taken by the headless display, which hands them here instead of showing them.
void testRecordMessageBoxes(int on) {
    testTakeMessageBoxes(on != 0 ? recordBox : nullptr);
}

int testMessageBoxCount(void) {
    return controls.boxCount;
}

const char* testMessageBoxText(int index) {
    return index >= 0 && index < controls.boxCount ? controls.boxes[index].text : nullptr;
}

const char* testMessageBoxCaption(int index) {
    return index >= 0 && index < controls.boxCount ? controls.boxes[index].caption : nullptr;
}

void testClearMessageBoxes(void) {
    controls.boxCount = 0;
}

void testSetMessageBoxHook(void (*hook)(const char* text, const char* caption)) {
    controls.boxHook = hook;
}
