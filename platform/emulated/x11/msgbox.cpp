// The message box's X window: the caption, the text broken into lines and an OK button, drawn
// with the core X font; its own events answer it.
#include "platform/emulated/x11/x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstring>
#include <new>

namespace {

// The X part of a box surface.
struct Box {
    Window window;
    GC gc;
    XFontStruct* font;
    const char* text; // the caller's, alive while the box is open
    BoxLayout layout;
    bool pressed;
};

Box* boxOf(BoxSurface* surface) {
    static_assert(sizeof(Box) <= sizeof(surface->native), "the X part fits the surface");
    return reinterpret_cast<Box*>(surface->native);
}

int textWidth(const void* font, const char* start, int length) {
    return XTextWidth((XFontStruct*)font, start, length);
}

void draw(Box* box) {
    Display* display = x11.display;
    XSetForeground(display, box->gc, WhitePixel(display, x11.screen));
    XFillRectangle(display, box->window, box->gc, 0, 0, (unsigned)box->layout.width,
                   (unsigned)box->layout.height);
    XSetForeground(display, box->gc, BlackPixel(display, x11.screen));
    int lineHeight = box->font->ascent + box->font->descent;
    for (int i = 0; i < box->layout.lineCount; i++) {
        XDrawString(display, box->window, box->gc, BOX_MARGIN,
                    BOX_MARGIN + box->font->ascent + i * lineHeight,
                    box->text + box->layout.lines[i].start, box->layout.lines[i].length);
    }
    XDrawRectangle(display, box->window, box->gc, box->layout.buttonX, box->layout.buttonY,
                   BOX_BUTTON_WIDTH - 1, BOX_BUTTON_HEIGHT - 1);
    XDrawRectangle(display, box->window, box->gc, box->layout.buttonX + 2, box->layout.buttonY + 2,
                   BOX_BUTTON_WIDTH - 5, BOX_BUTTON_HEIGHT - 5);
    int okWidth = XTextWidth(box->font, "OK", 2);
    XDrawString(
        display, box->window, box->gc, box->layout.buttonX + (BOX_BUTTON_WIDTH - okWidth) / 2,
        box->layout.buttonY + (BOX_BUTTON_HEIGHT + box->font->ascent - box->font->descent) / 2,
        "OK", 2);
}

void setProperties(Display* display, Box* box, const char* caption, Window owner) {
    XChangeProperty(display, box->window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    (const unsigned char*)caption, (int)std::strlen(caption));
    // The caption is Latin-1 like every narrow text; _NET_WM_NAME wants UTF-8.
    char utf8[BOX_CAPTION_BYTES * 2];
    latin1ToUtf8(caption, utf8, sizeof(utf8));
    XChangeProperty(display, box->window, x11.netWmName, x11.utf8String, 8, PropModeReplace,
                    (const unsigned char*)utf8, (int)std::strlen(utf8));
    // The program's name as the instance, as for its other windows; the class is the box's own.
    x11SetIdentity(display, box->window, "WrendleMessage");
    XSizeHints* size = XAllocSizeHints();
    if (size != nullptr) {
        size->flags = PMinSize | PMaxSize;
        size->min_width = size->max_width = box->layout.width;
        size->min_height = size->max_height = box->layout.height;
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
    boxLayOut(&box->layout, text, DisplayWidth(display, x11.screen),
              box->font->ascent + box->font->descent, textWidth, box->font);
    int x = (DisplayWidth(display, x11.screen) - box->layout.width) / 2;
    int y = (DisplayHeight(display, x11.screen) - box->layout.height) / 2;
    if (owner != nullptr && owner->viewable) {
        x = owner->x + (owner->width - box->layout.width) / 2;
        y = owner->y + (owner->height - box->layout.height) / 2;
    }
    x11BeginErrorTrap();
    box->window = XCreateSimpleWindow(
        display, x11.root, x, y, (unsigned)box->layout.width, (unsigned)box->layout.height, 1,
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
                       boxInsideButton(&box->layout, event->xbutton.x, event->xbutton.y);
        break;
    case ButtonRelease:
        if (box->pressed && boxInsideButton(&box->layout, event->xbutton.x, event->xbutton.y)) {
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
