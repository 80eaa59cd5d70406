// Input a display backend could not give the core's queue at once, held in arrival order until
// the program takes its messages: delayed, not lost. A backend whose display hands over input
// whatever the program is doing (libwayland's reads, a browser's events) keeps one ring; what
// comes while the ring is full is lost. The window is looked up again when an entry is handed
// on: it may be gone by then.
#pragma once

#include "platform/emulated/core/core.h"

enum HeldKind { HELD_KEY, HELD_MOTION, HELD_BUTTON, HELD_FOCUS };

struct HeldInput {
    HeldKind kind;
    HWND window;
    KeyEvent key;
    int x;
    int y;
    WPARAM held;
    int button;
    bool press;
    unsigned grab;
    bool focused;
};

// An entry of `kind` for `window`, the rest zero.
inline HeldInput heldInputFor(HeldKind kind, const WindowRecord* window) {
    HeldInput input = HeldInput();
    input.kind = kind;
    input.window = window->handle;
    return input;
}

template <int Capacity> struct HeldInputRing {
    HeldInput entries[Capacity];
    int first;
    int count;

    int room(void) const { return Capacity - count; }

    // Hands `input` on at once (through `handOn`) while nothing waits before it and the queue
    // has room; holds it otherwise.
    template <typename HandOn> void deliver(const HeldInput& input, HandOn handOn) {
        if (count == 0 && queueHasRoom()) {
            handOn(input);
            return;
        }
        if (count == Capacity) {
            return;
        }
        entries[(first + count) % Capacity] = input;
        count++;
    }

    // Hands on what is held while the queue has room; true when nothing is left.
    template <typename HandOn> bool handOnHeld(HandOn handOn) {
        while (count > 0 && queueHasRoom()) {
            handOn(entries[first]);
            first = (first + 1) % Capacity;
            count--;
        }
        return count == 0;
    }
};
