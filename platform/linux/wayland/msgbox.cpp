// The message box on Wayland: a toplevel of its own (framed by libdecor where the compositor
// draws no decorations) with the caption as its title, the text broken into lines and an OK
// button drawn into a shared-memory buffer; the seat answers it.
#include "platform/linux/wayland/wayland.h"

// A bitmap font shipped with the program, because the layer may use only the platform's own
// libraries: Wayland has no server-side text as X has, and fontconfig and FreeType are not
// among them. The X misc "fixed" 6x13 font is the one the X11 box draws with, so both look
// alike and break their lines at the same places.
#include "platform/linux/wayland/boxfont.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <new>

namespace {

const int CAPTION_BYTES = 128;
const int MAX_LINES = 32;
const int MARGIN = 16;
const int MIN_WIDTH = 240;
const int MAX_TEXT_WIDTH = 480;
const int BUTTON_WIDTH = 72;
const int BUTTON_HEIGHT = 26;
// Boxes opened from inside other boxes' loops: as deep as the core lets them nest.
const int MAX_BOXES = 8;
// How long the compositor may take to configure the box before it counts as not shown.
const long long CONFIGURE_WAIT_MS = 1000;
const uint32_t PAPER = 0xffffffffu;
const uint32_t INK = 0xff000000u;

// A line as a piece of the box's text.
struct Line {
    int start;
    int length;
};

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
    Line lines[MAX_LINES];
    int lineCount;
    int width;
    int height;
    int buttonX;
    int buttonY;
    bool configured;
    bool pressed;
};

BoxSurface* openBoxes[MAX_BOXES];

Box* boxOf(BoxSurface* surface) {
    static_assert(sizeof(Box) <= sizeof(surface->native), "the Wayland part fits the surface");
    return reinterpret_cast<Box*>(surface->native);
}

// One byte is one character in Latin-1, and every character is a cell wide.
int textWidth(const char* start, const char* end) {
    return (int)(end - start) * BOX_FONT_WIDTH;
}

void addLine(Box* box, const char* start, const char* end) {
    if (box->lineCount < MAX_LINES) {
        box->lines[box->lineCount].start = (int)(start - box->text);
        box->lines[box->lineCount].length = (int)(end - start);
        box->lineCount++;
    }
}

// Breaks the text at its newlines, and long lines at spaces so that none is wider than
// maxWidth (a single word wider than that stays whole), as the X11 box does.
void splitLines(Box* box, int maxWidth) {
    box->lineCount = 0;
    const char* start = box->text;
    for (;;) {
        const char* end = std::strchr(start, '\n');
        if (end == nullptr) {
            end = start + std::strlen(start);
            if (end == start && box->lineCount > 0) {
                break; // the text's final newline ends it; no empty line after it
            }
        }
        const char* line = start;
        while (textWidth(line, end) > maxWidth) {
            const char* cut = nullptr;
            for (const char* p = line + 1; p < end; p++) {
                if (*p == ' ' && textWidth(line, p) <= maxWidth) {
                    cut = p;
                }
            }
            if (cut == nullptr) {
                break;
            }
            addLine(box, line, cut);
            line = cut + 1;
        }
        addLine(box, line, end);
        if (*end == 0) {
            break;
        }
        start = end + 1;
    }
}

// Lines no wider than the screen allows, the button centred below them.
void layOut(Box* box) {
    int screenWidth = 0;
    int screenHeight = 0;
    waylandBackend.screenSize(&screenWidth, &screenHeight);
    int maxWidth =
        screenWidth - 2 * MARGIN < MAX_TEXT_WIDTH ? screenWidth - 2 * MARGIN : MAX_TEXT_WIDTH;
    splitLines(box, maxWidth);
    int widest = 0;
    for (int i = 0; i < box->lineCount; i++) {
        int width = box->lines[i].length * BOX_FONT_WIDTH;
        widest = width > widest ? width : widest;
    }
    box->width = widest + 2 * MARGIN;
    box->width =
        box->width < MIN_WIDTH ? MIN_WIDTH : (box->width > screenWidth ? screenWidth : box->width);
    box->height = 3 * MARGIN + box->lineCount * BOX_FONT_HEIGHT + BUTTON_HEIGHT;
    box->buttonX = (box->width - BUTTON_WIDTH) / 2;
    box->buttonY = box->height - MARGIN - BUTTON_HEIGHT;
}

void fill(Box* box, int x, int y, int width, int height, uint32_t colour) {
    int left = x < 0 ? 0 : x;
    int top = y < 0 ? 0 : y;
    int right = x + width > box->width ? box->width : x + width;
    int bottom = y + height > box->height ? box->height : y + height;
    for (int row = top; row < bottom; row++) {
        uint32_t* pixel = box->pixels + (size_t)row * (size_t)box->width;
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
    fill(box, 0, 0, box->width, box->height, PAPER);
    for (int i = 0; i < box->lineCount; i++) {
        drawText(box, MARGIN, MARGIN + i * BOX_FONT_HEIGHT, box->text + box->lines[i].start,
                 box->lines[i].length);
    }
    frameRectangle(box, box->buttonX, box->buttonY, BUTTON_WIDTH, BUTTON_HEIGHT);
    frameRectangle(box, box->buttonX + 2, box->buttonY + 2, BUTTON_WIDTH - 4, BUTTON_HEIGHT - 4);
    int descent = BOX_FONT_HEIGHT - BOX_FONT_ASCENT;
    int baseline = box->buttonY + (BUTTON_HEIGHT + BOX_FONT_ASCENT - descent) / 2;
    drawText(box, box->buttonX + (BUTTON_WIDTH - 2 * BOX_FONT_WIDTH) / 2,
             baseline - BOX_FONT_ASCENT, "OK", 2);
}

// The box's picture in a buffer of its own, kept mapped while the box is open.
bool makeBuffer(Box* box) {
    int stride = box->width * 4;
    box->bytes = (size_t)stride * (size_t)box->height;
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
    box->buffer =
        wl_shm_pool_create_buffer(pool, 0, box->width, box->height, stride, WL_SHM_FORMAT_XRGB8888);
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
        wl_surface_damage(box->surface, 0, 0, box->width, box->height);
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
        wl_surface_damage(box->surface, 0, 0, box->width, box->height);
        box->configured = true;
    }
    libdecor_state* content = libdecor_state_new(box->width, box->height);
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

void onFrameDismissPopup(libdecor_frame*, const char*, void*) {}

// libdecor's records end in reserved slots: they are filled by name, the rest left empty.
libdecor_frame_interface makeFrameInterface(void) {
    libdecor_frame_interface calls = libdecor_frame_interface();
    calls.configure = onFrameConfigure;
    calls.close = onFrameClose;
    calls.commit = onFrameCommit;
    calls.dismiss_popup = onFrameDismissPopup;
    return calls;
}

libdecor_frame_interface frameInterface = makeFrameInterface();

void makeFrame(BoxSurface* surface, const char* title, WindowRecord* owner) {
    Box* box = boxOf(surface);
    box->frame = libdecor_decorate(wl.decor, box->surface, &frameInterface, surface);
    libdecor_frame_set_title(box->frame, title);
    libdecor_frame_set_app_id(box->frame, wl.appId);
    libdecor_frame_set_min_content_size(box->frame, box->width, box->height);
    libdecor_frame_set_max_content_size(box->frame, box->width, box->height);
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
    xdg_toplevel_set_min_size(box->toplevel, box->width, box->height);
    xdg_toplevel_set_max_size(box->toplevel, box->width, box->height);
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

bool insideButton(const Box* box, int x, int y) {
    return x >= box->buttonX && x < box->buttonX + BUTTON_WIDTH && y >= box->buttonY &&
           y < box->buttonY + BUTTON_HEIGHT;
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
    layOut(box);
    if (!makeBuffer(box)) {
        freeBox(surface);
        return false;
    }
    draw(box);
    *slot = surface;
    box->surface = wl_compositor_create_surface(wl.compositor);
    // The caption is Latin-1 like every narrow text; xdg-shell wants UTF-8.
    char title[CAPTION_BYTES * 2];
    latin1ToUtf8(caption, title, sizeof(title));
    if (waylandUsesLibdecor()) {
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
        box->pressed = left && insideButton(box, x, y);
        return;
    }
    if (box->pressed && left && insideButton(box, x, y)) {
        surface->closed = true;
    }
    box->pressed = false;
}
