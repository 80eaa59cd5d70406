// What the platform layer's X11 tests add to the shared window support (tests/support/messages.h):
// round trips and the focus on the layer's own connection, and XTest input on it.
#pragma once

#include "platform/emulated/x11/x11.h"
#include "tests/support/messages.h"

#include <X11/keysym.h>

// Xvfb has no window manager: the test gives a new window the focus itself.
inline const bool x11TestDisplay = [] {
    testDisplay.roundTrip = [] { XSync(x11Display(), False); };
    testDisplay.focus = [](HWND window) {
        XSetInputFocus(x11Display(), x11WindowOf(window), RevertToParent, CurrentTime);
        XSync(x11Display(), False);
    };
    return true;
}();

inline void fakeKey(KeySym keysym, bool press) {
    xKey(x11Display(), keysym, press);
}

inline void tapKey(KeySym keysym) {
    xTapKey(x11Display(), keysym);
}

inline void fakeMotion(int rootX, int rootY) {
    xPointerTo(x11Display(), rootX, rootY);
}

inline void fakeButton(unsigned button, bool press) {
    xButton(x11Display(), button, press);
}
