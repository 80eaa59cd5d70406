// The Wayland backend's connection: opening it once, the globals it binds, reading and waiting
// for events (with the client's own key repeat), a lost compositor, and the backend's record.
#include "platform/linux/wayland/wayland.h"

#include <cerrno>
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

void disconnect(void) {
    wl_display_disconnect(wl.display);
    wl = WaylandConnection();
}

// Wayland is tried only where the environment names a compositor: libwayland alone would fall
// back to "wayland-0", so a user who unsets WAYLAND_DISPLAY to get X11 would not get it.
bool connect(void) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    if ((name == nullptr || name[0] == '\0') && (socket == nullptr || socket[0] == '\0')) {
        return false;
    }
    wl.display = wl_display_connect(nullptr);
    if (wl.display == nullptr) {
        return false;
    }
    wl.registry = wl_display_get_registry(wl.display);
    wl_registry_add_listener(wl.registry, &registryListener, nullptr);
    // The first round trip brings the globals, the second what the bound ones send at once
    // (the seat's capabilities, the output's mode).
    if (wl_display_roundtrip(wl.display) < 0 || wl_display_roundtrip(wl.display) < 0 ||
        wl.compositor == nullptr || wl.wmBase == nullptr || !wlEglConnect()) {
        waylandReleaseSeat();
        disconnect();
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
    // Named as on X11: the program's name, which the app_id is.
    const char* name = wl.appId[0] != '\0' ? wl.appId : "wrendle";
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
    waylandOpenBox,
    waylandCloseBox,
};
