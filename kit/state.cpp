// The kit's one state record.
#include "kit/core.h"

KitState kit;

void kitResetState(void) {
    kit = KitState();
}
