// The game's key handlers: the four arrows turn the serpent, n and N start a new game.
#include "game/state.h"

// Each turn compares with the heading held now, not with the last move's, so two quick turns
// can reverse the serpent onto itself; that is how the game plays.
void onKeyLeft(void) {
    if (direction != 3) {
        direction = 1;
    }
}

void onKeyRight(void) {
    if (direction != 1) {
        direction = 3;
    }
}

void onKeyUp(void) {
    if (direction != 4) {
        direction = 2;
    }
}

void onKeyDown(void) {
    if (direction != 2) {
        direction = 4;
    }
}

// The setup runs before the length goes back to 7, so it lays out (and keeps free of
// obstacles) as many cells as the ended game had. The bonus cycle, the move phase and the
// frame tick run on.
void onKeyNewGame(void) {
    gameOver = 0;
    setupGame();
    serpentLength = 7;
    charges = 0;
}
