// Placeholder until the game state is written.
#include "game/state.h"
