// The display backends this build offers, in the order they are tried, and the one choice.
#include "platform/linux/backend.h"

#include <cstdio>
#include <cstring>

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

// The display system as a user knows it, for the line that names the next one tried.
const char* displaySystem(const Backend* backend) {
    return std::strcmp(backend->name, "x11") == 0 ? "X11" : backend->name;
}

} // namespace

// One attempt only: without a display every later call fails at once. A display that the
// environment named but that could not be used is said on standard error, with the one tried
// next: the user asked for it, and a later failure would otherwise name the wrong thing.
const Backend* platformBackend(void) {
    if (!choice.made) {
        choice.made = true;
        const int count = (int)(sizeof(candidates) / sizeof(candidates[0]));
        for (int i = 0; i < count && choice.backend == nullptr; i++) {
            if (candidates[i]->connect()) {
                choice.backend = candidates[i];
                continue;
            }
            const char* why = candidates[i]->errorText();
            if (why[0] == '\0') {
                continue;
            }
            if (i + 1 < count) {
                std::fprintf(stderr, "%s: cannot use %s; trying %s\n", programName(), why,
                             displaySystem(candidates[i + 1]));
            } else {
                std::fprintf(stderr, "%s: cannot use %s\n", programName(), why);
            }
            std::fflush(stderr);
        }
    }
    return choice.backend;
}

const Backend* connectedBackend(void) {
    return choice.backend;
}
