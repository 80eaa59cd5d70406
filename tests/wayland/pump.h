// The message pump the Wayland tests turn while they wait for the compositor.
#pragma once

#include "platform/linux/backend.h"
#include "tests/support/support.h"

// Takes and dispatches every message waiting, reading the compositor's events on the way.
inline void pump(void) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Pumps until `condition()` holds or `seconds` pass, sleeping on the display in between.
template <typename Condition> bool pumpUntil(Condition condition, double seconds, int pollMs = 10) {
    return waitUntil(
        [&] {
            pump();
            return condition();
        },
        seconds, [](int ms) { platformBackend()->waitForEvents(ms); }, pollMs);
}
