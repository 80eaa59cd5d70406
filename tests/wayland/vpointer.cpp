// A test-only pointer for a Wayland compositor: makes a virtual pointer device of the seat and
// plays the steps on its command line. Headless sway has no input devices, so nothing else
// moves a pointer there.
//
//   wrendle-vpointer [move X Y] [press B] [release B] [wait MS] ...
//   wrendle-vpointer serve
//
// X and Y are layout coordinates; B is left, right or middle. With `serve` the steps come one
// line at a time on standard input, and each line is answered on standard output ("ok" or
// "error") once the compositor has taken its steps: one pointer, kept for a whole test run.
#include "protocols/wlr-virtual-pointer-unstable-v1.h"

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

struct Globals {
    wl_seat* seat;
    zwlr_virtual_pointer_manager_v1* manager;
    int outputWidth;
    int outputHeight;
    wl_output* output;
};

Globals globals;

void onMode(void*, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        globals.outputWidth = width;
        globals.outputHeight = height;
    }
}
void onGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                const char*, int32_t) {}
void onDone(void*, wl_output*) {}
void onScale(void*, wl_output*, int32_t) {}
void onText(void*, wl_output*, const char*) {}
const wl_output_listener outputListener = {onGeometry, onMode, onDone, onScale, onText, onText};

void onGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals.seat == nullptr) {
        globals.seat = (wl_seat*)wl_registry_bind(registry, name, &wl_seat_interface, 1);
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        globals.manager = (zwlr_virtual_pointer_manager_v1*)wl_registry_bind(
            registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && globals.output == nullptr) {
        globals.output = (wl_output*)wl_registry_bind(registry, name, &wl_output_interface, 1);
        wl_output_add_listener(globals.output, &outputListener, nullptr);
    }
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

uint32_t nowMs(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

uint32_t buttonCode(const char* name) {
    if (std::strcmp(name, "left") == 0) {
        return BTN_LEFT;
    }
    if (std::strcmp(name, "right") == 0) {
        return BTN_RIGHT;
    }
    if (std::strcmp(name, "middle") == 0) {
        return BTN_MIDDLE;
    }
    return 0;
}

int usage(void) {
    std::fprintf(stderr,
                 "usage: wrendle-vpointer [move X Y] [press B] [release B] [wait MS] ...\n");
    return 2;
}

// Plays steps on the pointer; 0 when all were taken, 2 for a bad step, 1 for a lost
// compositor.
int playSteps(wl_display* display, zwlr_virtual_pointer_v1* pointer, int argc, char** argv) {
    int status = 0;
    for (int i = 0; i < argc && status == 0; i++) {
        if (std::strcmp(argv[i], "move") == 0 && i + 2 < argc) {
            int x = std::atoi(argv[i + 1]);
            int y = std::atoi(argv[i + 2]);
            i += 2;
            if (x < 0 || y < 0 || x >= globals.outputWidth || y >= globals.outputHeight) {
                std::fprintf(stderr, "wrendle-vpointer: %d,%d is off the output\n", x, y);
                status = 2;
                break;
            }
            zwlr_virtual_pointer_v1_motion_absolute(pointer, nowMs(), (uint32_t)x, (uint32_t)y,
                                                    (uint32_t)globals.outputWidth,
                                                    (uint32_t)globals.outputHeight);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else if ((std::strcmp(argv[i], "press") == 0 || std::strcmp(argv[i], "release") == 0) &&
                   i + 1 < argc && buttonCode(argv[i + 1]) != 0) {
            bool press = argv[i][0] == 'p';
            zwlr_virtual_pointer_v1_button(pointer, nowMs(), buttonCode(argv[i + 1]),
                                           press ? WL_POINTER_BUTTON_STATE_PRESSED
                                                 : WL_POINTER_BUTTON_STATE_RELEASED);
            zwlr_virtual_pointer_v1_frame(pointer);
            i += 1;
        } else if (std::strcmp(argv[i], "wait") == 0 && i + 1 < argc) {
            wl_display_roundtrip(display);
            usleep((useconds_t)std::atoi(argv[i + 1]) * 1000u);
            i += 1;
        } else {
            status = usage();
        }
        if (wl_display_roundtrip(display) < 0) {
            status = 1;
        }
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "wrendle-vpointer: no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (globals.manager == nullptr || globals.outputWidth <= 0) {
        std::fprintf(stderr, "wrendle-vpointer: the compositor offers no virtual pointer\n");
        wl_display_disconnect(display);
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager, globals.seat);
    int status = 0;
    if (argc == 2 && std::strcmp(argv[1], "serve") == 0) {
        wl_display_roundtrip(display);
        char line[4096];
        while (status != 1 && std::fgets(line, sizeof(line), stdin) != nullptr) {
            char* words[256];
            int count = 0;
            for (char* word = std::strtok(line, " \t\n"); word != nullptr && count < 256;
                 word = std::strtok(nullptr, " \t\n")) {
                words[count++] = word;
            }
            status = playSteps(display, pointer, count, words);
            std::printf("%s\n", status == 0 ? "ok" : "error");
            std::fflush(stdout);
            status = status == 1 ? 1 : 0;
        }
    } else {
        status = playSteps(display, pointer, argc - 1, argv + 1);
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(globals.manager);
    if (globals.output != nullptr) {
        wl_output_destroy(globals.output);
    }
    if (globals.seat != nullptr) {
        wl_seat_destroy(globals.seat);
    }
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return status;
}
