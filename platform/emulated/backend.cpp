// The display backends this build offers, the order they are tried in, and the one choice: the
// one WRENDLE_BACKEND names, else the first that a display can be reached with.
#include "platform/emulated/backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Each backend's record, from its own folder.
#ifdef __EMSCRIPTEN__
extern const Backend webBackend;
#else
extern const Backend waylandBackend;
extern const Backend x11Backend;
extern const Backend headlessBackend;
#endif

namespace {

#ifdef __EMSCRIPTEN__
// In the browser the page's canvas is the only display.
const Backend* const candidates[] = {&webBackend};
const Backend* const named[] = {&webBackend};
#else
// Wayland first: on a Wayland desktop X11 is only its compatibility server. The headless display
// is never tried by itself: a program that cannot reach a display fails as it always has, rather
// than run where nobody can see it.
const Backend* const candidates[] = {&waylandBackend, &x11Backend};

// What WRENDLE_BACKEND can name; the message for any other value lists them.
const Backend* const named[] = {&headlessBackend, &x11Backend, &waylandBackend};
#endif

struct Choice {
    bool made;
    const Backend* backend;
};

Choice choice;

// The display system as a user knows it, for the line that names the next one tried.
const char* displaySystem(const Backend* backend) {
    return std::strcmp(backend->name, "x11") == 0 ? "X11" : backend->name;
}

// Connects; where a display that the environment named could not be used, says so on standard
// error with the one tried next (null: none): the user asked for it, and a later failure would
// otherwise name the wrong thing.
bool connectOrSay(const Backend* backend, const Backend* next) {
    if (backend->connect()) {
        return true;
    }
    const char* why = backend->errorText();
    if (why[0] != '\0') {
        if (next != nullptr) {
            std::fprintf(stderr, "%s: cannot use %s; trying %s\n", programName(), why,
                         displaySystem(next));
        } else {
            std::fprintf(stderr, "%s: cannot use %s\n", programName(), why);
        }
        std::fflush(stderr);
    }
    return false;
}

// A backend named by WRENDLE_BACKEND is the only one tried. An unknown name is said once, and the
// program goes on as without a display.
const Backend* chooseNamed(const char* name) {
    for (const Backend* backend : named) {
        if (std::strcmp(name, backend->name) != 0) {
            continue;
        }
        if (connectOrSay(backend, nullptr)) {
            return backend;
        }
        // Wayland is silent when the environment names no compositor, as it must be when it is
        // only the first of the backends tried; asked for by name, it is not.
        if (std::strcmp(backend->name, "wayland") == 0 && backend->errorText()[0] == '\0') {
            std::fprintf(stderr,
                         "%s: cannot use Wayland: neither WAYLAND_DISPLAY nor WAYLAND_SOCKET names "
                         "a compositor\n",
                         programName());
            std::fflush(stderr);
        }
        return nullptr;
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
    const int count = (int)(sizeof(candidates) / sizeof(candidates[0]));
    for (int i = 0; i < count && choice.backend == nullptr; i++) {
        if (connectOrSay(candidates[i], i + 1 < count ? candidates[i + 1] : nullptr)) {
            choice.backend = candidates[i];
        }
    }
    return choice.backend;
}

const PresentedDisplay* presentedDisplay(bool connect) {
    const Backend* backend = connect ? platformBackend() : choice.backend;
    return backend != nullptr ? backend->presented() : nullptr;
}

const Backend* connectedBackend(void) {
    return choice.backend;
}
