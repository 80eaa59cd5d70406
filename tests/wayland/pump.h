// The pumps the Wayland tests turn while they wait for the compositor are the shared ones:
// include tests/support/messages.h. This name stays while a test still includes it.
#pragma once

#include "tests/support/messages.h"
