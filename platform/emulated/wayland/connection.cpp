// The Wayland backend's connection: opening it once, the globals it binds, reading and waiting
// for events (with the client's own key repeat), a lost compositor, and the backend's record.
#include "platform/emulated/wayland/wayland.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>

WaylandConnection wl;

namespace {

// Versions this backend was written against; a compositor offering less is used at its own.
const uint32_t COMPOSITOR_VERSION = 4;
const uint32_t WM_BASE_VERSION = 2;
const uint32_t SEAT_VERSION = 5;
// A screen's size when the compositor names no output mode.
const int FALLBACK_SCREEN_WIDTH = 1280;
const int FALLBACK_SCREEN_HEIGHT = 1024;
// How long the compositor may take to answer at the start before the program names it and goes
// on without it; the line that says so gives it in seconds.
const int ANSWER_WAIT_MS = 5000;

uint32_t lesser(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}

void onPing(void* data, xdg_wm_base* base, uint32_t serial) {
    (void)data;
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener wmBaseListener = {onPing};

void onOutputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                      const char*, int32_t) {}

void onOutputMode(void* data, wl_output* output, uint32_t flags, int32_t width, int32_t height,
                  int32_t refresh) {
    (void)data;
    (void)output;
    (void)refresh;
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        wl.outputWidth = width;
        wl.outputHeight = height;
    }
}

void onOutputDone(void*, wl_output*) {}

void onOutputScale(void*, wl_output*, int32_t) {}

void onOutputText(void*, wl_output*, const char*) {}

const wl_output_listener outputListener = {onOutputGeometry, onOutputMode, onOutputDone,
                                           onOutputScale,    onOutputText, onOutputText};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
    (void)data;
    if (std::strcmp(interface, wl_compositor_interface.name) == 0 && wl.compositor == nullptr) {
        wl.compositor = (wl_compositor*)wl_registry_bind(registry, name, &wl_compositor_interface,
                                                         lesser(version, COMPOSITOR_VERSION));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && wl.wmBase == nullptr) {
        wl.wmBase = (xdg_wm_base*)wl_registry_bind(registry, name, &xdg_wm_base_interface,
                                                   lesser(version, WM_BASE_VERSION));
        xdg_wm_base_add_listener(wl.wmBase, &wmBaseListener, nullptr);
    } else if (std::strcmp(interface, zxdg_decoration_manager_v1_interface.name) == 0 &&
               wl.decorations == nullptr) {
        wl.decorations = (zxdg_decoration_manager_v1*)wl_registry_bind(
            registry, name, &zxdg_decoration_manager_v1_interface, 1);
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && wl.seat == nullptr) {
        wl.seat = (wl_seat*)wl_registry_bind(registry, name, &wl_seat_interface,
                                             lesser(version, SEAT_VERSION));
        waylandBindSeat(wl.seat);
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && wl.shm == nullptr) {
        wl.shm = (wl_shm*)wl_registry_bind(registry, name, &wl_shm_interface, 1);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && wl.output == nullptr) {
        // The first output stands for the screen: Wayland has no one screen of the desktop.
        wl.output = (wl_output*)wl_registry_bind(registry, name, &wl_output_interface, 1);
        wl_output_add_listener(wl.output, &outputListener, nullptr);
    }
}

void onGlobalRemove(void* data, wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

// The app_id is the program's name, as its desktop entry names it.
void readProgramName(void) {
    copyText(wl.appId, sizeof(wl.appId), "wrendle");
    FILE* comm = std::fopen("/proc/self/comm", "r");
    if (comm == nullptr) {
        return;
    }
    char name[sizeof(wl.appId)];
    if (std::fgets(name, sizeof(name), comm) != nullptr) {
        name[std::strcspn(name, "\n")] = '\0';
        if (name[0] != '\0') {
            copyText(wl.appId, sizeof(wl.appId), name);
        }
    }
    std::fclose(comm);
}

// A connection given up at the start: the client frees its objects, the disconnect does not.
void disconnect(void) {
    if (wl.output != nullptr) {
        wl_output_destroy(wl.output);
    }
    if (wl.shm != nullptr) {
        wl_shm_destroy(wl.shm);
    }
    if (wl.decorations != nullptr) {
        zxdg_decoration_manager_v1_destroy(wl.decorations);
    }
    if (wl.wmBase != nullptr) {
        xdg_wm_base_destroy(wl.wmBase);
    }
    if (wl.compositor != nullptr) {
        wl_compositor_destroy(wl.compositor);
    }
    wl_registry_destroy(wl.registry);
    wl_display_disconnect(wl.display);
    wl = WaylandConnection();
}

// What the environment named, for the line that says why it could not be used: the display's
// name and its socket's path, or the inherited descriptor.
struct Asked {
    char what[WAYLAND_ERROR_TEXT - 96];
};

Asked asked;

// Why the display asked for cannot be used, kept as the backend's error text (the chooser writes
// it on standard error, with what it tries next). Said after the connection's record is cleared.
void cannotUse(const char* reason) {
    std::snprintf(wl.errorText, sizeof(wl.errorText), "%s: %s", asked.what, reason);
}

// libwayland takes WAYLAND_SOCKET's descriptor as its connection and closes it when that fails:
// a descriptor that is standard error, or closed, would vanish or be misread without a word.
bool socketUsable(const char* value) {
    char* end = nullptr;
    errno = 0;
    long fd = std::strtol(value, &end, 10);
    std::snprintf(asked.what, sizeof(asked.what), "the Wayland socket WAYLAND_SOCKET=%.40s", value);
    struct stat about;
    if (errno != 0 || end == value || *end != '\0' || fd < 0 || fd > INT_MAX) {
        cannotUse("not a descriptor number");
    } else if (fstat((int)fd, &about) != 0) {
        cannotUse("no such open descriptor");
    } else if (!S_ISSOCK(about.st_mode)) {
        cannotUse("the descriptor is not a socket");
    } else {
        return true;
    }
    return false;
}

// The socket WAYLAND_DISPLAY names (a path of its own, or a name in XDG_RUNTIME_DIR), looked at
// before libwayland is asked, so that the line can say what is wrong with it.
bool displayPathUsable(const char* name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    char path[4096];
    if (name[0] == '/') {
        copyText(path, sizeof(path), name);
    } else if (runtime == nullptr || runtime[0] == '\0') {
        std::snprintf(asked.what, sizeof(asked.what), "the Wayland display \"%.40s\"", name);
        cannotUse("XDG_RUNTIME_DIR is not set, so it cannot be found");
        return false;
    } else {
        std::snprintf(path, sizeof(path), "%s/%s", runtime, name);
    }
    std::snprintf(asked.what, sizeof(asked.what), "the Wayland display \"%.40s\" (%.120s)", name,
                  path);
    struct stat about;
    if (stat(path, &about) != 0) {
        cannotUse(errno == ENOENT ? "no such socket" : std::strerror(errno));
    } else if (S_ISDIR(about.st_mode)) {
        cannotUse("a directory, not a socket");
    } else if (!S_ISSOCK(about.st_mode)) {
        cannotUse("not a socket");
    } else {
        return true;
    }
    return false;
}

void onSyncDone(void* data, wl_callback* callback, uint32_t serial) {
    (void)serial;
    *(bool*)data = true;
    wl_callback_destroy(callback);
}

const wl_callback_listener syncListener = {onSyncDone};

// A round trip that gives up after `limitMs`: a socket that accepts and never answers (a stopped
// compositor, or something else listening there) would otherwise hold the start for ever.
// False, with the reason kept, when it failed or timed out.
bool roundtripWithin(int limitMs, const char** reason) {
    bool done = false;
    wl_callback* callback = wl_display_sync(wl.display);
    wl_callback_add_listener(callback, &syncListener, &done);
    long long deadline = waylandNowMs() + limitMs;
    *reason = nullptr;
    while (!done && *reason == nullptr) {
        if (wl_display_dispatch_pending(wl.display) < 0) {
            *reason = "the connection failed";
            break;
        }
        if (done || wl_display_prepare_read(wl.display) != 0) {
            continue;
        }
        if (wl_display_flush(wl.display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(wl.display);
            *reason = "the connection failed";
            break;
        }
        long long left = deadline - waylandNowMs();
        pollfd fd = {wl_display_get_fd(wl.display), POLLIN, 0};
        int ready = left > 0 ? poll(&fd, 1, (int)left) : 0;
        if (ready > 0) {
            if (wl_display_read_events(wl.display) < 0) {
                *reason = "the connection failed";
            }
        } else {
            wl_display_cancel_read(wl.display);
            if (ready == 0) {
                *reason = "no answer from the compositor within 5 seconds";
            }
        }
    }
    if (!done) {
        wl_callback_destroy(callback);
    }
    return done;
}

// Wayland is tried only where the environment names a compositor: libwayland alone would fall
// back to "wayland-0", so a user who unsets WAYLAND_DISPLAY to get X11 would not get it. Where
// one is named and cannot be used, the error text says which and why.
bool connect(void) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    bool bySocket = socket != nullptr && socket[0] != '\0';
    if ((name == nullptr || name[0] == '\0') && !bySocket) {
        return false;
    }
    // libwayland prefers the inherited socket to the name, and so does this check. It takes an
    // empty WAYLAND_SOCKET for a bad descriptor; here, as for WAYLAND_DISPLAY, empty is unset.
    if (bySocket ? !socketUsable(socket) : !displayPathUsable(name)) {
        return false;
    }
    if (!bySocket) {
        unsetenv("WAYLAND_SOCKET");
    }
    wl.display = wl_display_connect(nullptr);
    if (wl.display == nullptr) {
        int error = errno;
        wl = WaylandConnection();
        cannotUse(error == ECONNREFUSED ? "nothing listens on the socket" : std::strerror(error));
        return false;
    }
    wl.registry = wl_display_get_registry(wl.display);
    wl_registry_add_listener(wl.registry, &registryListener, nullptr);
    // The first round trip brings the globals, the second what the bound ones send at once
    // (the seat's capabilities, the output's mode).
    const char* reason = nullptr;
    bool answered =
        roundtripWithin(ANSWER_WAIT_MS, &reason) && roundtripWithin(ANSWER_WAIT_MS, &reason);
    if (answered && (wl.compositor == nullptr || wl.wmBase == nullptr)) {
        reason = "the compositor offers no desktop windows (xdg-shell)";
    } else if (answered && !wlEglConnect()) {
        reason = "EGL cannot draw on it";
    }
    if (reason != nullptr) {
        waylandReleaseSeat();
        disconnect();
        cannotUse(reason);
        return false;
    }
    readProgramName();
    return true;
}

void screenSize(int* width, int* height) {
    bool known = wl.outputWidth > 0 && wl.outputHeight > 0;
    *width = known ? wl.outputWidth : FALLBACK_SCREEN_WIDTH;
    *height = known ? wl.outputHeight : FALLBACK_SCREEN_HEIGHT;
}

const char* errorText(void) {
    return wl.errorText;
}

// Hands on the input that waited, then reads what has arrived without blocking and hands it to
// the listeners. The socket is read while the program is behind (a compositor ends a client
// that leaves it full); input the queue has no room for waits in the backend.
void pump(void) {
    waylandHandOnPending();
    waylandRepeatKeys();
    if (!waylandRoomToRead()) {
        return;
    }
    while (wl_display_prepare_read(wl.display) != 0) {
        waylandCheckConnection(wl_display_dispatch_pending(wl.display));
    }
    waylandCheckConnection(wl_display_flush(wl.display) < 0 && errno != EAGAIN ? -1 : 0);
    pollfd fd = {wl_display_get_fd(wl.display), POLLIN, 0};
    if (poll(&fd, 1, 0) > 0) {
        waylandCheckConnection(wl_display_read_events(wl.display));
    } else {
        wl_display_cancel_read(wl.display);
    }
    waylandCheckConnection(wl_display_dispatch_pending(wl.display));
    // libdecor's objects are on the display's queue, read above; a plugin may have work of
    // its own besides.
    if (wl.decor != nullptr) {
        libdecor_dispatch(wl.decor, 0);
    }
}

// A held key's next repeat ends the wait like an event does.
void wait(int timeoutMs) {
    if (waylandInputWaits()) {
        waylandHandOnPending();
        return; // input is there for the program already
    }
    int repeatMs = waylandRepeatWaitMs();
    if (repeatMs >= 0 && (timeoutMs < 0 || repeatMs < timeoutMs)) {
        timeoutMs = repeatMs;
    }
    if (wl_display_prepare_read(wl.display) != 0) {
        return; // events are queued already
    }
    waylandCheckConnection(wl_display_flush(wl.display) < 0 && errno != EAGAIN ? -1 : 0);
    pollfd fd = {wl_display_get_fd(wl.display), POLLIN, 0};
    int ready;
    while ((ready = poll(&fd, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    if (ready > 0) {
        waylandCheckConnection(wl_display_read_events(wl.display));
    } else {
        wl_display_cancel_read(wl.display);
    }
}

} // namespace

void waylandCheckConnection(int result) {
    if (result >= 0) {
        return;
    }
    int error = wl_display_get_error(wl.display);
    std::fflush(stdout);
    const char* name = programName();
    if (error == EPROTO) {
        std::fprintf(stderr,
                     "%s: the Wayland compositor ended the connection over a protocol error; "
                     "ending.\n",
                     name);
    } else {
        std::fprintf(stderr, "%s: lost the connection to the Wayland display; ending.\n", name);
    }
    std::fflush(stderr);
    std::_Exit(3);
}

long long waylandNowMs(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000LL + now.tv_nsec / 1000000L;
}

WaylandWindow* waylandPart(const WindowRecord* window) {
    return &wl.windows[window->slot];
}

WindowRecord* waylandRecordOf(wl_surface* surface) {
    if (surface == nullptr) {
        return nullptr;
    }
    WindowRecord* records = windowRecords();
    for (int i = 0; i < MAX_WINDOWS; i++) {
        if (records[i].used && !records[i].destroying && wl.windows[i].surface == surface) {
            return &records[i];
        }
    }
    return nullptr;
}

// A real display presents nothing but itself.
static const PresentedDisplay* presented(void) {
    return nullptr;
}

extern const Backend waylandBackend = {
    "wayland",
    connect,
    screenSize,
    errorText,
    waylandCreateWindow,
    waylandDestroyWindow,
    waylandShowWindow,
    waylandHideWindow,
    waylandMinimizeWindow,
    waylandMoveWindow,
    waylandFocusWindow,
    pump,
    wait,
    wlEglFormatCount,
    wlEglDescribeFormat,
    wlEglSetFormat,
    wlEglResizeSurface,
    wlEglDestroySurface,
    wlEglCreateContextFor,
    wlEglMakeCurrentOn,
    wlEglDeleteContext,
    wlEglSwap,
    waylandCursorPosition,
    waylandGrabPointer,
    waylandRideImplicitGrab,
    waylandUngrabPointer,
    presented,
    waylandOpenBox,
    waylandCloseBox,
};
