// The message box on Wayland: a toplevel of its own (framed by libdecor where the compositor
// draws no decorations) with the caption as its title, the text broken into lines and an OK
// button drawn into a shared-memory buffer; the seat answers it.
#include "platform/emulated/wayland/wayland.h"

// A bitmap font shipped with the program, because the layer may use only the platform's own
// libraries: Wayland has no server-side text as X has, and fontconfig and FreeType are not
// among them. The X misc "fixed" 6x13 font is the one the X11 box draws with, so both look
// alike and break their lines at the same places.
#include "platform/emulated/wayland/boxfont.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <new>

namespace {

// Boxes opened from inside other boxes' loops: as deep as the core lets them nest.
const int MAX_BOXES = 8;
// How long the compositor may take to configure the box before it counts as not shown.
const long long CONFIGURE_WAIT_MS = 1000;
const uint32_t PAPER = 0xffffffffu;
const uint32_t INK = 0xff000000u;

// The Wayland part of a box surface.
struct Box {
    wl_surface* surface;
    xdg_surface* shellSurface;
    xdg_toplevel* toplevel;
    zxdg_toplevel_decoration_v1* decoration;
    libdecor_frame* frame; // in place of the three above where libdecor decorates
    wl_buffer* buffer;
    uint32_t* pixels;
    size_t bytes;
    const char* text; // the caller's Latin-1 text, alive while the box is open
    BoxLayout layout;
    bool configured;
    bool pressed;
};

BoxSurface* openBoxes[MAX_BOXES];

Box* boxOf(BoxSurface* surface) {
    static_assert(sizeof(Box) <= sizeof(surface->native), "the Wayland part fits the surface");
    return reinterpret_cast<Box*>(surface->native);
}

// One byte is one character in Latin-1, and every character is a cell wide.
int textWidth(const void* font, const char* start, int length) {
    (void)font;
    (void)start;
    return length * BOX_FONT_WIDTH;
}

void fill(Box* box, int x, int y, int width, int height, uint32_t colour) {
    int left = x < 0 ? 0 : x;
    int top = y < 0 ? 0 : y;
    int right = x + width > box->layout.width ? box->layout.width : x + width;
    int bottom = y + height > box->layout.height ? box->layout.height : y + height;
    for (int row = top; row < bottom; row++) {
        uint32_t* pixel = box->pixels + (size_t)row * (size_t)box->layout.width;
        for (int column = left; column < right; column++) {
            pixel[column] = colour;
        }
    }
}

void frameRectangle(Box* box, int x, int y, int width, int height) {
    fill(box, x, y, width, 1, INK);
    fill(box, x, y + height - 1, width, 1, INK);
    fill(box, x, y, 1, height, INK);
    fill(box, x + width - 1, y, 1, height, INK);
}

// Characters from their cells' top left corner; what falls outside the box is cut off.
void drawText(Box* box, int x, int y, const char* text, int length) {
    for (int i = 0; i < length; i++) {
        const unsigned char* glyph = BOX_FONT[(unsigned char)text[i]];
        for (int row = 0; row < BOX_FONT_HEIGHT; row++) {
            for (int column = 0; column < BOX_FONT_WIDTH; column++) {
                if ((glyph[row] & (0x80 >> column)) != 0) {
                    fill(box, x + i * BOX_FONT_WIDTH + column, y + row, 1, 1, INK);
                }
            }
        }
    }
}

void draw(Box* box) {
    fill(box, 0, 0, box->layout.width, box->layout.height, PAPER);
    for (int i = 0; i < box->layout.lineCount; i++) {
        drawText(box, BOX_MARGIN, BOX_MARGIN + i * BOX_FONT_HEIGHT,
                 box->text + box->layout.lines[i].start, box->layout.lines[i].length);
    }
    frameRectangle(box, box->layout.buttonX, box->layout.buttonY, BOX_BUTTON_WIDTH,
                   BOX_BUTTON_HEIGHT);
    frameRectangle(box, box->layout.buttonX + 2, box->layout.buttonY + 2, BOX_BUTTON_WIDTH - 4,
                   BOX_BUTTON_HEIGHT - 4);
    int descent = BOX_FONT_HEIGHT - BOX_FONT_ASCENT;
    int baseline = box->layout.buttonY + (BOX_BUTTON_HEIGHT + BOX_FONT_ASCENT - descent) / 2;
    drawText(box, box->layout.buttonX + (BOX_BUTTON_WIDTH - 2 * BOX_FONT_WIDTH) / 2,
             baseline - BOX_FONT_ASCENT, "OK", 2);
}

// The box's picture in a buffer of its own, kept mapped while the box is open.
bool makeBuffer(Box* box) {
    int stride = box->layout.width * 4;
    box->bytes = (size_t)stride * (size_t)box->layout.height;
    int fd = memfd_create("wrendle-box", MFD_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    void* pixels = MAP_FAILED;
    if (ftruncate(fd, (off_t)box->bytes) == 0) {
        pixels = mmap(nullptr, box->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    if (pixels == MAP_FAILED) {
        close(fd);
        return false;
    }
    box->pixels = (uint32_t*)pixels;
    wl_shm_pool* pool = wl_shm_create_pool(wl.shm, fd, (int32_t)box->bytes);
    box->buffer = wl_shm_pool_create_buffer(pool, 0, box->layout.width, box->layout.height, stride,
                                            WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return box->buffer != nullptr;
}

void onToplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}

void onToplevelClose(void* data, xdg_toplevel* toplevel) {
    (void)toplevel;
    ((BoxSurface*)data)->closed = true;
}

void onToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}

void onToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

const xdg_toplevel_listener toplevelListener = {onToplevelConfigure, onToplevelClose,
                                                onToplevelBounds, onToplevelCapabilities};

// The box keeps its size whatever the compositor suggests; its picture goes up with the first
// configure and stays.
void onSurfaceConfigure(void* data, xdg_surface* shellSurface, uint32_t serial) {
    Box* box = boxOf((BoxSurface*)data);
    xdg_surface_ack_configure(shellSurface, serial);
    if (!box->configured) {
        wl_surface_attach(box->surface, box->buffer, 0, 0);
        wl_surface_damage(box->surface, 0, 0, box->layout.width, box->layout.height);
        box->configured = true;
    }
    wl_surface_commit(box->surface);
}

const xdg_surface_listener surfaceListener = {onSurfaceConfigure};

// The same through libdecor: the box's content keeps its size, its frame around it.
void onFrameConfigure(libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
    Box* box = boxOf((BoxSurface*)data);
    if (!box->configured) {
        wl_surface_attach(box->surface, box->buffer, 0, 0);
        wl_surface_damage(box->surface, 0, 0, box->layout.width, box->layout.height);
        box->configured = true;
    }
    libdecor_state* content = libdecor_state_new(box->layout.width, box->layout.height);
    libdecor_frame_commit(frame, content, configuration);
    libdecor_state_free(content);
    wl_surface_commit(box->surface);
}

void onFrameClose(libdecor_frame* frame, void* data) {
    (void)frame;
    ((BoxSurface*)data)->closed = true;
}

void onFrameCommit(libdecor_frame* frame, void* data) {
    (void)frame;
    wl_surface_commit(boxOf((BoxSurface*)data)->surface);
}

libdecor_frame_interface frameInterface =
    waylandFrameInterface(onFrameConfigure, onFrameClose, onFrameCommit);

void makeFrame(BoxSurface* surface, const char* title, WindowRecord* owner) {
    Box* box = boxOf(surface);
    box->frame = libdecor_decorate(wl.decor, box->surface, &frameInterface, surface);
    libdecor_frame_set_title(box->frame, title);
    libdecor_frame_set_app_id(box->frame, wl.appId);
    libdecor_frame_set_min_content_size(box->frame, box->layout.width, box->layout.height);
    libdecor_frame_set_max_content_size(box->frame, box->layout.width, box->layout.height);
    libdecor_frame_unset_capabilities(
        box->frame, (libdecor_capabilities)(LIBDECOR_ACTION_RESIZE | LIBDECOR_ACTION_FULLSCREEN));
    if (owner != nullptr && waylandPart(owner)->frame != nullptr) {
        libdecor_frame_set_parent(box->frame, waylandPart(owner)->frame);
    }
    libdecor_frame_map(box->frame);
}

void makeToplevel(BoxSurface* surface, const char* title, WindowRecord* owner) {
    Box* box = boxOf(surface);
    box->shellSurface = xdg_wm_base_get_xdg_surface(wl.wmBase, box->surface);
    xdg_surface_add_listener(box->shellSurface, &surfaceListener, surface);
    box->toplevel = xdg_surface_get_toplevel(box->shellSurface);
    xdg_toplevel_add_listener(box->toplevel, &toplevelListener, surface);
    xdg_toplevel_set_title(box->toplevel, title);
    xdg_toplevel_set_app_id(box->toplevel, wl.appId);
    xdg_toplevel_set_min_size(box->toplevel, box->layout.width, box->layout.height);
    xdg_toplevel_set_max_size(box->toplevel, box->layout.width, box->layout.height);
    xdg_toplevel* parent = owner != nullptr ? waylandToplevel(waylandPart(owner)) : nullptr;
    if (parent != nullptr) {
        xdg_toplevel_set_parent(box->toplevel, parent);
    }
    if (wl.decorations != nullptr) {
        box->decoration =
            zxdg_decoration_manager_v1_get_toplevel_decoration(wl.decorations, box->toplevel);
        zxdg_toplevel_decoration_v1_set_mode(box->decoration,
                                             ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
    }
    // The first commit carries no buffer: the compositor answers it with a configure.
    wl_surface_commit(box->surface);
}

void freeBox(BoxSurface* surface) {
    Box* box = boxOf(surface);
    for (BoxSurface*& open : openBoxes) {
        if (open == surface) {
            open = nullptr;
        }
    }
    if (box->surface != nullptr) {
        if (wl.keys.focusSurface == box->surface) {
            wl.keys.focusSurface = nullptr;
        }
        if (wl.mouse.focusSurface == box->surface) {
            wl.mouse.focusSurface = nullptr;
        }
    }
    if (box->frame != nullptr) {
        libdecor_frame_unref(box->frame);
    }
    if (box->decoration != nullptr) {
        zxdg_toplevel_decoration_v1_destroy(box->decoration);
    }
    if (box->toplevel != nullptr) {
        xdg_toplevel_destroy(box->toplevel);
    }
    if (box->shellSurface != nullptr) {
        xdg_surface_destroy(box->shellSurface);
    }
    if (box->surface != nullptr) {
        wl_surface_destroy(box->surface);
    }
    if (box->buffer != nullptr) {
        wl_buffer_destroy(box->buffer);
    }
    if (box->pixels != nullptr) {
        munmap(box->pixels, box->bytes);
    }
    *box = Box();
    wl_display_flush(wl.display);
}

} // namespace

// Shown once the compositor has configured it (bounded: a box that cannot be shown lets the
// call return at once, as when there is no display).
bool waylandOpenBox(BoxSurface* surface, WindowRecord* owner, const char* text,
                    const char* caption) {
    BoxSurface** slot = nullptr;
    for (BoxSurface*& open : openBoxes) {
        if (open == nullptr) {
            slot = &open;
            break;
        }
    }
    Box* box = new (surface->native) Box();
    if (slot == nullptr || wl.shm == nullptr) {
        return false;
    }
    box->text = text;
    int screenWidth = 0;
    int screenHeight = 0;
    waylandBackend.screenSize(&screenWidth, &screenHeight);
    boxLayOut(&box->layout, text, screenWidth, BOX_FONT_HEIGHT, textWidth, nullptr);
    if (!makeBuffer(box)) {
        freeBox(surface);
        return false;
    }
    draw(box);
    *slot = surface;
    box->surface = wl_compositor_create_surface(wl.compositor);
    // The caption is Latin-1 like every narrow text; xdg-shell wants UTF-8.
    char title[BOX_CAPTION_BYTES * 2];
    latin1ToUtf8(caption, title, sizeof(title));
    // The compositor answered the owner's request for its decorations with client-side ones,
    // and would the box's: the box is framed by libdecor too.
    bool ownerFramed = owner != nullptr && waylandPart(owner)->frame != nullptr;
    if (waylandUsesLibdecor() || (ownerFramed && waylandLibdecorReady())) {
        makeFrame(surface, title, owner);
    } else {
        makeToplevel(surface, title, owner);
    }
    long long deadline = waylandNowMs() + CONFIGURE_WAIT_MS;
    while (!box->configured && waylandNowMs() < deadline) {
        waylandCheckConnection(wl_display_roundtrip(wl.display));
    }
    if (!box->configured) {
        freeBox(surface);
        return false;
    }
    wl_display_flush(wl.display);
    return true;
}

void waylandCloseBox(BoxSurface* surface) {
    freeBox(surface);
}

BoxSurface* waylandBoxOf(wl_surface* surface) {
    for (BoxSurface* open : openBoxes) {
        if (surface != nullptr && open != nullptr && boxOf(open)->surface == surface) {
            return open;
        }
    }
    return nullptr;
}

// Return, Enter, Escape and the space bar answer the box, as its only button is the default.
void waylandBoxKey(BoxSurface* surface, xkb_keysym_t keysym) {
    if (keysym == XKB_KEY_Return || keysym == XKB_KEY_KP_Enter || keysym == XKB_KEY_Escape ||
        keysym == XKB_KEY_space) {
        surface->closed = true;
    }
}

// A click is a press and a release of the left button both on the button.
void waylandBoxButton(BoxSurface* surface, bool left, bool press, int x, int y) {
    Box* box = boxOf(surface);
    if (press) {
        box->pressed = left && boxInsideButton(&box->layout, x, y);
        return;
    }
    if (box->pressed && left && boxInsideButton(&box->layout, x, y)) {
        surface->closed = true;
    }
    box->pressed = false;
}
