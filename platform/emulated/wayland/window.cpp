// The Wayland backend's windows: a wl_surface per window, an xdg-shell toplevel while it is
// shown, server-side decorations where offered (else libdecor's), and the compositor's
// configure sequence in Win32's terms. A Wayland client cannot place its window or learn where it
// is, so the client origin is (0, 0) for good.
#include "platform/emulated/wayland/wayland.h"

#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// How long a first configure may take before the program goes on without it.
const long long CONFIGURE_WAIT_MS = 1000;

void onToplevelConfigure(void* data, xdg_toplevel* toplevel, int32_t width, int32_t height,
                         wl_array* states) {
    (void)toplevel;
    WaylandWindow* part = (WaylandWindow*)data;
    part->suggestedWidth = width;
    part->suggestedHeight = height;
    part->suggestedActivated = false;
    part->suggestedResizing = false;
    part->suggestedFilling = false;
    const uint32_t* state;
    // wl_array_for_each, spelled out: the macro's implicit conversion from void* is C only.
    for (state = (const uint32_t*)states->data;
         (const char*)state < (const char*)states->data + states->size; state++) {
        switch (*state) {
        case XDG_TOPLEVEL_STATE_ACTIVATED:
            part->suggestedActivated = true;
            break;
        case XDG_TOPLEVEL_STATE_RESIZING:
            part->suggestedResizing = true;
            break;
        case XDG_TOPLEVEL_STATE_MAXIMIZED:
        case XDG_TOPLEVEL_STATE_FULLSCREEN:
            part->suggestedFilling = true;
            break;
        default:
            break;
        }
    }
}

void onToplevelClose(void* data, xdg_toplevel* toplevel) {
    (void)toplevel;
    WindowRecord* window = waylandRecordOf(((WaylandWindow*)data)->surface);
    if (window != nullptr) {
        inputCloseRequested(window);
    }
}

void onToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}

void onToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

const xdg_toplevel_listener toplevelListener = {onToplevelConfigure, onToplevelClose,
                                                onToplevelBounds, onToplevelCapabilities};

void makeFrame(WaylandWindow* part);
void dropToplevel(WaylandWindow* part);

// A shown window whose toplevel was made again (its decorations changed hands) lost its buffer
// with the old one: at the new one's first configure it shows black until the program draws, as
// at its first show.
void showAgain(WindowRecord* window, bool firstConfigure) {
    if (firstConfigure && window->viewable) {
        waylandShowBlank(window);
    }
}

// The configure sequence ends here. Win32 windows keep the size their program gave them, so
// the compositor's suggestion is taken only when the user sizes the window (or maximises it);
// the activated state is the window's activation, once the first show has made it.
void onSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    WaylandWindow* part = (WaylandWindow*)data;
    // A compositor that will not draw the title bar has said so with this configure: the window
    // is given a libdecor frame in place of its plain toplevel, and that frame's configure
    // carries on from here.
    if (part->clientSideAsked && waylandLibdecorReady()) {
        dropToplevel(part);
        makeFrame(part);
        wl_display_flush(wl.display);
        return;
    }
    xdg_surface_ack_configure(surface, serial);
    bool first = !part->configured;
    part->configured = true;
    WindowRecord* window = waylandRecordOf(part->surface);
    if (window == nullptr) {
        return;
    }
    showAgain(window, first);
    int width = window->width;
    int height = window->height;
    bool resized =
        waylandSizeAfterConfigure(part, window, part->suggestedFilling, part->suggestedResizing,
                                  part->suggestedWidth, part->suggestedHeight, &width, &height);
    if (resized) {
        inputConfigured(window, 0, 0, width, height);
    }
    if (window->viewable && !window->minimized) {
        waylandInputFocus(window, part->suggestedActivated);
    }
    inputExposed(window);
    // The compositor holds the state it configured (sway: the window's place and activation,
    // with every other change made at the same time) until the client commits after
    // acknowledging it, or for 200 ms; input meanwhile finds the window where it was, or not yet
    // shown. A program draws when it likes, and a Win32 program may never draw into its window at
    // all, so a configure that leaves the size as it is gets its commit here at once. A new size
    // is answered by the program's next frame at that size.
    if (!resized) {
        wl_surface_commit(part->surface);
        wl_display_flush(wl.display);
    }
}

const xdg_surface_listener surfaceListener = {onSurfaceConfigure};

// The compositor's answer to the request for server-side decorations; it takes effect with the
// xdg_surface configure that follows.
void onDecorationConfigure(void* data, zxdg_toplevel_decoration_v1* decoration, uint32_t mode) {
    (void)decoration;
    ((WaylandWindow*)data)->clientSideAsked = mode == ZXDG_TOPLEVEL_DECORATION_V1_MODE_CLIENT_SIDE;
}

const zxdg_toplevel_decoration_v1_listener decorationListener = {onDecorationConfigure};

void onBlankRelease(void* data, wl_buffer* buffer) {
    (void)data;
    wl_buffer_destroy(buffer);
}

const wl_buffer_listener blankListener = {onBlankRelease};

// Zero bytes are black in XRGB8888; the pool's memory goes as soon as the buffer holds it.
wl_buffer* makeBlank(int width, int height) {
    if (wl.shm == nullptr || width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        return nullptr;
    }
    int stride = width * 4;
    size_t size = (size_t)stride * (size_t)height;
    int fd = memfd_create("wrendle-blank", MFD_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    if (ftruncate(fd, (off_t)size) != 0) {
        close(fd);
        return nullptr;
    }
    wl_shm_pool* pool = wl_shm_create_pool(wl.shm, fd, (int32_t)size);
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(buffer, &blankListener, nullptr);
    return buffer;
}

// libdecor's configure is xdg's configure sequence with the frame's size taken off. The same
// rule holds: the window keeps its size unless the user sizes it, and libdecor 0.1 does not tell
// a user's resize apart, so a size is taken when maximised or fullscreen, or when it comes after
// the first configure and is not the window's own (the compositor repeats the current size).
void onFrameConfigure(libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
    WaylandWindow* part = (WaylandWindow*)data;
    WindowRecord* window = waylandRecordOf(part->surface);
    libdecor_window_state state = LIBDECOR_WINDOW_STATE_NONE;
    libdecor_configuration_get_window_state(configuration, &state);
    int suggestedWidth = 0;
    int suggestedHeight = 0;
    if (!libdecor_configuration_get_content_size(configuration, frame, &suggestedWidth,
                                                 &suggestedHeight)) {
        suggestedWidth = 0;
        suggestedHeight = 0;
    }
    bool filling =
        (state & (LIBDECOR_WINDOW_STATE_MAXIMIZED | LIBDECOR_WINDOW_STATE_FULLSCREEN)) != 0;
    int width = window != nullptr ? window->width : suggestedWidth;
    int height = window != nullptr ? window->height : suggestedHeight;
    bool resized = window != nullptr &&
                   waylandSizeAfterConfigure(part, window, filling, part->configured,
                                             suggestedWidth, suggestedHeight, &width, &height);
    libdecor_state* content = libdecor_state_new(width > 0 ? width : 1, height > 0 ? height : 1);
    libdecor_frame_commit(frame, content, configuration);
    libdecor_state_free(content);
    bool first = !part->configured;
    part->configured = true;
    if (window == nullptr) {
        return;
    }
    showAgain(window, first);
    if (resized) {
        inputConfigured(window, 0, 0, width, height);
    }
    if (window->viewable && !window->minimized) {
        inputFocus(window, (state & LIBDECOR_WINDOW_STATE_ACTIVE) != 0);
    }
    inputExposed(window);
}

void onFrameClose(libdecor_frame* frame, void* data) {
    (void)frame;
    WindowRecord* window = waylandRecordOf(((WaylandWindow*)data)->surface);
    if (window != nullptr) {
        inputCloseRequested(window);
    }
}

// The frame's decorations are subsurfaces that show with the window's next commit.
void onFrameCommit(libdecor_frame* frame, void* data) {
    (void)frame;
    wl_surface_commit(((WaylandWindow*)data)->surface);
}

libdecor_frame_interface frameInterface =
    waylandFrameInterface(onFrameConfigure, onFrameClose, onFrameCommit);

void onDecorError(libdecor* context, libdecor_error error, const char* message) {
    (void)context;
    (void)error;
    std::snprintf(wl.errorText, sizeof(wl.errorText), "libdecor: %s", message);
    std::fprintf(stderr, "wrendle: %s\n", wl.errorText);
    std::fflush(stderr);
}

libdecor_interface makeDecorInterface(void) {
    libdecor_interface calls = libdecor_interface();
    calls.error = onDecorError;
    return calls;
}

libdecor_interface decorInterface = makeDecorInterface();

void makeFrame(WaylandWindow* part) {
    part->configured = false;
    part->frame = libdecor_decorate(wl.decor, part->surface, &frameInterface, part);
    libdecor_frame_set_title(part->frame, part->title);
    libdecor_frame_set_app_id(part->frame, wl.appId);
    libdecor_frame_map(part->frame);
}

void makeToplevel(WaylandWindow* part) {
    if (waylandUsesLibdecor()) {
        makeFrame(part);
        return;
    }
    part->configured = false;
    part->shellSurface = xdg_wm_base_get_xdg_surface(wl.wmBase, part->surface);
    xdg_surface_add_listener(part->shellSurface, &surfaceListener, part);
    part->toplevel = xdg_surface_get_toplevel(part->shellSurface);
    xdg_toplevel_add_listener(part->toplevel, &toplevelListener, part);
    xdg_toplevel_set_title(part->toplevel, part->title);
    xdg_toplevel_set_app_id(part->toplevel, wl.appId);
    if (wl.decorations != nullptr) {
        part->decoration =
            zxdg_decoration_manager_v1_get_toplevel_decoration(wl.decorations, part->toplevel);
        zxdg_toplevel_decoration_v1_add_listener(part->decoration, &decorationListener, part);
        zxdg_toplevel_decoration_v1_set_mode(part->decoration,
                                             ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
    }
    // The first commit carries no buffer: the compositor answers it with a configure.
    wl_surface_commit(part->surface);
}

void dropToplevel(WaylandWindow* part) {
    if (part->frame != nullptr) {
        libdecor_frame_unref(part->frame);
        part->frame = nullptr;
    }
    if (part->decoration != nullptr) {
        zxdg_toplevel_decoration_v1_destroy(part->decoration);
        part->decoration = nullptr;
    }
    if (part->toplevel != nullptr) {
        xdg_toplevel_destroy(part->toplevel);
        part->toplevel = nullptr;
    }
    if (part->shellSurface != nullptr) {
        xdg_surface_destroy(part->shellSurface);
        part->shellSurface = nullptr;
    }
    part->configured = false;
    part->clientSideAsked = false;
    // A surface that keeps a buffer could not be given a toplevel again.
    wl_surface_attach(part->surface, nullptr, 0, 0);
    wl_surface_commit(part->surface);
}

} // namespace

static void onFrameDismissPopup(libdecor_frame*, const char*, void*) {}

// libdecor's records end in reserved slots: they are filled by name, the rest left empty.
libdecor_frame_interface waylandFrameInterface(void (*configure)(libdecor_frame*,
                                                                 libdecor_configuration*, void*),
                                               void (*close)(libdecor_frame*, void*),
                                               void (*commit)(libdecor_frame*, void*)) {
    libdecor_frame_interface calls = libdecor_frame_interface();
    calls.configure = configure;
    calls.close = close;
    calls.commit = commit;
    calls.dismiss_popup = onFrameDismissPopup;
    return calls;
}

// libdecor looks for its plugins where its package put them, or where LIBDECOR_PLUGIN_DIR says.
// Without one it would print lines of its own, unnamed, and decorate nothing.
static bool libdecorPluginInstalled(void) {
    const char* folder = std::getenv("LIBDECOR_PLUGIN_DIR");
    if (folder == nullptr || folder[0] == '\0') {
        folder = WRENDLE_LIBDECOR_PLUGIN_DIR;
    }
    DIR* listing = opendir(folder);
    if (listing == nullptr) {
        return false;
    }
    bool found = false;
    const dirent* entry;
    while (!found && (entry = readdir(listing)) != nullptr) {
        size_t length = std::strlen(entry->d_name);
        found = length > 3 && std::strcmp(entry->d_name + length - 3, ".so") == 0;
    }
    closedir(listing);
    return found;
}

// Made once, at the first window that needs it; the round trip lets it bind its globals before a
// frame is asked for. Without a plugin the window has a plain toplevel, and the user is told why
// it has no title bar once.
bool waylandLibdecorReady(void) {
    if (wl.decor == nullptr && !wl.decorFailed) {
        if (!libdecorPluginInstalled()) {
            wl.decorFailed = true;
            std::fprintf(stderr,
                         "%s: the window has no title bar or close box: the compositor draws "
                         "none and no libdecor plugin is installed (libdecor-0-plugin-1-cairo)\n",
                         programName());
            std::fflush(stderr);
            return false;
        }
        wl.decor = libdecor_new(wl.display, &decorInterface);
        wl.decorFailed = wl.decor == nullptr;
        if (wl.decor != nullptr) {
            waylandCheckConnection(wl_display_roundtrip(wl.display));
        }
    }
    return wl.decor != nullptr;
}

// Server-side decorations come first. Without them (GNOME offers none) libdecor draws the title
// bar and the close box.
bool waylandUsesLibdecor(void) {
    return wl.decorations == nullptr && waylandLibdecorReady();
}

// Entering maximised or fullscreen keeps the size the window had; leaving it gives that size
// back (the compositor's suggestion then is the place it leaves, which on a tiling desktop is the
// tile, not the window's size). Otherwise a size is taken only while the user sizes the window.
bool waylandSizeAfterConfigure(WaylandWindow* part, const WindowRecord* window, bool filling,
                               bool userSizing, int suggestedWidth, int suggestedHeight, int* width,
                               int* height) {
    if (filling && !part->filling) {
        part->restoreWidth = window->width;
        part->restoreHeight = window->height;
    }
    bool leaving = !filling && part->filling;
    part->filling = filling;
    *width = window->width;
    *height = window->height;
    if (leaving && part->restoreWidth > 0 && part->restoreHeight > 0) {
        *width = part->restoreWidth;
        *height = part->restoreHeight;
    } else if ((filling || userSizing) && suggestedWidth > 0 && suggestedHeight > 0) {
        *width = suggestedWidth;
        *height = suggestedHeight;
    }
    return *width != window->width || *height != window->height;
}

bool waylandCreateWindow(WindowRecord* window, const char* className, const char* titleUtf8,
                         const char* titleLatin1) {
    (void)className;
    (void)titleLatin1;
    WaylandWindow* part = waylandPart(window);
    *part = WaylandWindow();
    part->surface = wl_compositor_create_surface(wl.compositor);
    if (part->surface == nullptr) {
        copyText(wl.errorText, sizeof(wl.errorText), "the compositor made no surface");
        return false;
    }
    copyText(part->title, sizeof(part->title), titleUtf8);
    // Nobody can tell a Wayland client where its window is.
    window->x = 0;
    window->y = 0;
    return true;
}

void waylandDestroyWindow(WindowRecord* window) {
    WaylandWindow* part = waylandPart(window);
    if (wl.keys.focus == window) {
        wl.keys.focus = nullptr;
        wl.keys.focusSurface = nullptr;
        wl.keys.repeatHeld = false;
    }
    if (wl.mouse.focus == window) {
        wl.mouse.focus = nullptr;
        wl.mouse.focusSurface = nullptr;
    }
    dropToplevel(part);
    wl_surface_destroy(part->surface);
    *part = WaylandWindow();
    wl_display_flush(wl.display);
}

// A toplevel is made and waited for until the compositor has configured it (bounded: the
// program goes on without it rather than hang). A minimised window stays as it is: Wayland
// offers a client no way to bring it back.
void waylandShowWindow(WindowRecord* window) {
    WaylandWindow* part = waylandPart(window);
    if (part->toplevel == nullptr && part->frame == nullptr) {
        makeToplevel(part);
    }
    long long deadline = waylandNowMs() + CONFIGURE_WAIT_MS;
    while (!part->configured && waylandNowMs() < deadline) {
        waylandCheckConnection(wl_display_roundtrip(wl.display));
    }
    if (part->configured) {
        waylandShowBlank(window);
        inputMapped(window);
    }
}

void waylandShowBlank(WindowRecord* window) {
    WaylandWindow* part = waylandPart(window);
    if (part->eglWindow != nullptr || !part->configured) {
        return;
    }
    wl_buffer* buffer = makeBlank(window->width, window->height);
    if (buffer == nullptr) {
        return;
    }
    wl_surface_attach(part->surface, buffer, 0, 0);
    wl_surface_damage(part->surface, 0, 0, window->width, window->height);
    wl_surface_commit(part->surface);
    wl_display_flush(wl.display);
}

void waylandHideWindow(WindowRecord* window) {
    dropToplevel(waylandPart(window));
    inputUnmapped(window);
    wl_display_flush(wl.display);
}

void waylandMinimizeWindow(WindowRecord* window) {
    WaylandWindow* part = waylandPart(window);
    if (part->frame != nullptr) {
        libdecor_frame_set_minimized(part->frame);
    } else if (part->toplevel != nullptr) {
        xdg_toplevel_set_minimized(part->toplevel);
    }
    wl_display_flush(wl.display);
}

// The size follows (the GL surface is resized by the core's call); a position cannot be asked
// for, so the origin stays where Wayland puts it for this program: (0, 0).
// A libdecor frame is told the new content size, so that its decorations follow.
bool waylandMoveWindow(WindowRecord* window) {
    window->x = 0;
    window->y = 0;
    WaylandWindow* part = waylandPart(window);
    if (part->frame != nullptr && part->configured && window->width > 0 && window->height > 0) {
        libdecor_state* content = libdecor_state_new(window->width, window->height);
        libdecor_frame_commit(part->frame, content, nullptr);
        libdecor_state_free(content);
    }
    return true;
}

xdg_toplevel* waylandToplevel(WaylandWindow* part) {
    return part->frame != nullptr ? libdecor_frame_get_xdg_toplevel(part->frame) : part->toplevel;
}

// Only the compositor gives the keyboard focus.
void waylandFocusWindow(WindowRecord* window) {
    (void)window;
}
