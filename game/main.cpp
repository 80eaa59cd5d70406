// The program's entry: configures the window kit, lays out the first game, registers the
// game's handlers and keys, and hands control to the kit's loop.
#include "game/state.h"

#include "kit/kit.h"

int main() {
    kitSetWindowRect(-10, -8, 1000, 750);
    kitSetDisplayMode(KIT_DOUBLE + KIT_DEPTH16);
    // Start-up goes on whatever the result: without a window the loop ends at once. A window
    // that could not be opened is then reported as a failed run, not as success.
    int opened = kitOpenWindow("<<Wrendle>> by the Wrendle developers  Version 1.0");
    setupGame();
    kitSetIdleHandler(frameStep);
    kitSetReshapeHandler(reshapeView);
    kitBindKey(KIT_KEY_LEFT, onKeyLeft);
    kitBindKey(KIT_KEY_RIGHT, onKeyRight);
    kitBindKey(KIT_KEY_UP, onKeyUp);
    kitBindKey(KIT_KEY_DOWN, onKeyDown);
    kitBindKey('n', onKeyNewGame);
    kitBindKey('N', onKeyNewGame);
    kitRun(frameStep);
    return opened ? 0 : 1;
}
