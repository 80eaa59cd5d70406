// The display backends this build offers, in the order they are tried, and the one choice.
#include "platform/linux/backend.h"

// Each backend's record, from its own folder.
extern const Backend waylandBackend;
extern const Backend x11Backend;

namespace {

// Wayland first: on a Wayland desktop X11 is only its compatibility server.
const Backend* const candidates[] = {&waylandBackend, &x11Backend};

struct Choice {
    bool made;
    const Backend* backend;
};

Choice choice;

} // namespace

// One attempt only: without a display every later call fails at once.
const Backend* platformBackend(void) {
    if (!choice.made) {
        choice.made = true;
        for (const Backend* candidate : candidates) {
            if (candidate->connect()) {
                choice.backend = candidate;
                break;
            }
        }
    }
    return choice.backend;
}

const Backend* connectedBackend(void) {
    return choice.backend;
}
