// The display backends this build offers, the order they are tried in, and the one choice: the
// one WRENDLE_BACKEND names, else the first that a display can be reached with.
#include "platform/linux/backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Each backend's record, from its own folder.
extern const Backend waylandBackend;
extern const Backend x11Backend;
extern const Backend headlessBackend;

namespace {

// Wayland first: on a Wayland desktop X11 is only its compatibility server. The headless display
// is never tried by itself: a program that cannot reach a display fails as it always has, rather
// than run where nobody can see it.
const Backend* const candidates[] = {&waylandBackend, &x11Backend};

// What WRENDLE_BACKEND can name; the message for any other value lists them.
const Backend* const named[] = {&headlessBackend, &x11Backend, &waylandBackend};

struct Choice {
    bool made;
    const Backend* backend;
};

Choice choice;

// A backend named by WRENDLE_BACKEND is the only one tried. An unknown name is said once, and the
// program goes on as without a display.
const Backend* chooseNamed(const char* name) {
    for (const Backend* backend : named) {
        if (std::strcmp(name, backend->name) == 0) {
            return backend->connect() ? backend : nullptr;
        }
    }
    std::fprintf(stderr,
                 "%s: WRENDLE_BACKEND=\"%s\" is not a display backend; choose headless, x11 or "
                 "wayland\n",
                 programName(), name);
    std::fflush(stderr);
    return nullptr;
}

} // namespace

// One attempt only: without a display every later call fails at once.
const Backend* platformBackend(void) {
    if (choice.made) {
        return choice.backend;
    }
    choice.made = true;
    const char* name = std::getenv("WRENDLE_BACKEND");
    if (name != nullptr && name[0] != '\0') {
        choice.backend = chooseNamed(name);
        return choice.backend;
    }
    for (const Backend* candidate : candidates) {
        if (candidate->connect()) {
            choice.backend = candidate;
            break;
        }
    }
    return choice.backend;
}

const Backend* connectedBackend(void) {
    return choice.backend;
}
