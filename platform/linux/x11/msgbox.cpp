// The message box's X window: the caption, the text broken into lines and an OK button, drawn
// with the core X font; its own events answer it.
#include "platform/linux/x11/x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

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

// A line as a piece of the box's text.
struct Line {
    int start;
    int length;
};

// The X part of a box surface.
struct Box {
    Window window;
    GC gc;
    XFontStruct* font;
    const char* text; // the caller's, alive while the box is open
    Line lines[MAX_LINES];
    int lineCount;
    int width;
    int height;
    int buttonX;
    int buttonY;
    bool pressed;
};

Box* boxOf(BoxSurface* surface) {
    static_assert(sizeof(Box) <= sizeof(surface->native), "the X part fits the surface");
    return reinterpret_cast<Box*>(surface->native);
}

int textWidth(const Box* box, const char* start, const char* end) {
    return XTextWidth(box->font, start, (int)(end - start));
}

void addLine(Box* box, const char* start, const char* end) {
    if (box->lineCount < MAX_LINES) {
        box->lines[box->lineCount].start = (int)(start - box->text);
        box->lines[box->lineCount].length = (int)(end - start);
        box->lineCount++;
    }
}

// Breaks the text at its newlines, and long lines at spaces so that none is wider than
// maxWidth (a single word wider than that stays whole).
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
        while (textWidth(box, line, end) > maxWidth) {
            const char* cut = nullptr;
            for (const char* p = line + 1; p < end; p++) {
                if (*p == ' ' && textWidth(box, line, p) <= maxWidth) {
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

bool insideButton(const Box* box, int x, int y) {
    return x >= box->buttonX && x < box->buttonX + BUTTON_WIDTH && y >= box->buttonY &&
           y < box->buttonY + BUTTON_HEIGHT;
}

void draw(Box* box) {
    Display* display = x11.display;
    XSetForeground(display, box->gc, WhitePixel(display, x11.screen));
    XFillRectangle(display, box->window, box->gc, 0, 0, (unsigned)box->width,
                   (unsigned)box->height);
    XSetForeground(display, box->gc, BlackPixel(display, x11.screen));
    int lineHeight = box->font->ascent + box->font->descent;
    for (int i = 0; i < box->lineCount; i++) {
        XDrawString(display, box->window, box->gc, MARGIN,
                    MARGIN + box->font->ascent + i * lineHeight, box->text + box->lines[i].start,
                    box->lines[i].length);
    }
    XDrawRectangle(display, box->window, box->gc, box->buttonX, box->buttonY, BUTTON_WIDTH - 1,
                   BUTTON_HEIGHT - 1);
    XDrawRectangle(display, box->window, box->gc, box->buttonX + 2, box->buttonY + 2,
                   BUTTON_WIDTH - 5, BUTTON_HEIGHT - 5);
    int okWidth = XTextWidth(box->font, "OK", 2);
    XDrawString(display, box->window, box->gc, box->buttonX + (BUTTON_WIDTH - okWidth) / 2,
                box->buttonY + (BUTTON_HEIGHT + box->font->ascent - box->font->descent) / 2, "OK",
                2);
}

void setProperties(Display* display, Box* box, const char* caption, Window owner) {
    XChangeProperty(display, box->window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    (const unsigned char*)caption, (int)std::strlen(caption));
    // The caption is Latin-1 like every narrow text; _NET_WM_NAME wants UTF-8.
    char utf8[CAPTION_BYTES * 2];
    latin1ToUtf8(caption, utf8, sizeof(utf8));
    XChangeProperty(display, box->window, x11.netWmName, x11.utf8String, 8, PropModeReplace,
                    (const unsigned char*)utf8, (int)std::strlen(utf8));
    // The program's name as the instance, as for its other windows; the class is the box's own.
    x11SetIdentity(display, box->window, "WrendleMessage");
    XSizeHints* size = XAllocSizeHints();
    if (size != nullptr) {
        size->flags = PMinSize | PMaxSize;
        size->min_width = size->max_width = box->width;
        size->min_height = size->max_height = box->height;
        XSetWMNormalHints(display, box->window, size);
        XFree(size);
    }
    Atom protocols[2] = {x11.wmDeleteWindow, x11.netWmPing};
    XSetWMProtocols(display, box->window, protocols, 2);
    Atom dialog = x11.netWmWindowTypeDialog;
    XChangeProperty(display, box->window, x11.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    (const unsigned char*)&dialog, 1);
    if (owner != 0) {
        XSetTransientForHint(display, box->window, owner);
    }
}

// Lays the box out for its text: lines no wider than the screen allows, the button below.
void layOut(Box* box) {
    int screenWidth = DisplayWidth(x11.display, x11.screen);
    int maxWidth =
        screenWidth - 2 * MARGIN < MAX_TEXT_WIDTH ? screenWidth - 2 * MARGIN : MAX_TEXT_WIDTH;
    splitLines(box, maxWidth);
    int widest = 0;
    for (int i = 0; i < box->lineCount; i++) {
        const char* start = box->text + box->lines[i].start;
        int width = textWidth(box, start, start + box->lines[i].length);
        widest = width > widest ? width : widest;
    }
    int lineHeight = box->font->ascent + box->font->descent;
    box->width = widest + 2 * MARGIN;
    box->width =
        box->width < MIN_WIDTH ? MIN_WIDTH : (box->width > screenWidth ? screenWidth : box->width);
    box->height = 3 * MARGIN + box->lineCount * lineHeight + BUTTON_HEIGHT;
    box->buttonX = (box->width - BUTTON_WIDTH) / 2;
    box->buttonY = box->height - MARGIN - BUTTON_HEIGHT;
}

void freeBox(Box* box) {
    x11BeginErrorTrap();
    if (box->gc != nullptr) {
        XFreeGC(x11.display, box->gc);
    }
    if (box->window != 0) {
        XDeleteContext(x11.display, box->window, x11.boxContext);
        XDestroyWindow(x11.display, box->window);
    }
    x11EndErrorTrap();
    XFreeFont(x11.display, box->font);
}

} // namespace

// Centred on its owner when the owner is on the screen, else on the screen.
bool x11OpenBox(BoxSurface* surface, WindowRecord* owner, const char* text, const char* caption) {
    Display* display = x11.display;
    Box* box = new (surface->native) Box();
    box->text = text;
    box->font = XLoadQueryFont(display, "fixed");
    if (box->font == nullptr) {
        return false;
    }
    layOut(box);
    int x = (DisplayWidth(display, x11.screen) - box->width) / 2;
    int y = (DisplayHeight(display, x11.screen) - box->height) / 2;
    if (owner != nullptr && owner->viewable) {
        x = owner->x + (owner->width - box->width) / 2;
        y = owner->y + (owner->height - box->height) / 2;
    }
    x11BeginErrorTrap();
    box->window =
        XCreateSimpleWindow(display, x11.root, x, y, (unsigned)box->width, (unsigned)box->height, 1,
                            BlackPixel(display, x11.screen), WhitePixel(display, x11.screen));
    if (box->window != 0) {
        XSelectInput(display, box->window,
                     ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                         StructureNotifyMask);
        setProperties(display, box, caption, owner != nullptr ? x11Part(owner)->xwindow : 0);
        box->gc = XCreateGC(display, box->window, 0, nullptr);
        XSetFont(display, box->gc, box->font->fid);
    }
    int error = x11EndErrorTrap();
    if (box->window == 0 || error != 0) {
        freeBox(box);
        return false;
    }
    XSaveContext(display, box->window, x11.boxContext, (XPointer)surface);
    x11MapAndWait(box->window);
    x11BeginErrorTrap();
    XSetInputFocus(display, box->window, RevertToParent, CurrentTime);
    x11EndErrorTrap();
    return true;
}

void x11CloseBox(BoxSurface* surface) {
    freeBox(boxOf(surface));
}

bool x11BoxEvent(XEvent* event) {
    XPointer found = nullptr;
    if (XFindContext(x11.display, event->xany.window, x11.boxContext, &found) != 0) {
        return false;
    }
    BoxSurface* surface = (BoxSurface*)found;
    Box* box = boxOf(surface);
    switch (event->type) {
    case Expose:
        if (event->xexpose.count == 0) {
            draw(box);
        }
        break;
    case KeyPress: {
        KeySym keysym = XLookupKeysym(&event->xkey, 0);
        if (keysym == XK_Return || keysym == XK_KP_Enter || keysym == XK_Escape ||
            keysym == XK_space) {
            surface->closed = true;
        }
        break;
    }
    case ButtonPress:
        box->pressed = event->xbutton.button == Button1 &&
                       insideButton(box, event->xbutton.x, event->xbutton.y);
        break;
    case ButtonRelease:
        if (box->pressed && insideButton(box, event->xbutton.x, event->xbutton.y)) {
            surface->closed = true;
        }
        box->pressed = false;
        break;
    case ClientMessage:
        if (event->xclient.message_type == x11.wmProtocols &&
            (Atom)event->xclient.data.l[0] == x11.wmDeleteWindow) {
            surface->closed = true;
        } else if (event->xclient.message_type == x11.wmProtocols &&
                   (Atom)event->xclient.data.l[0] == x11.netWmPing) {
            x11AnswerPing(&event->xclient);
        }
        break;
    default:
        break;
    }
    return true;
}
