// MessageBoxA: a small modal X11 window with the caption, the text and an OK button, whose loop
// keeps dispatching the thread's other messages; standard error without a display; and the
// test control's record of boxes.
#include "platform/linux/x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstring>

namespace {

const int MAX_RECORDED = 64;
const int RECORDED_TEXT = 512;
const int RECORDED_CAPTION = 128;
const int MAX_OPEN = 8;
const int MAX_LINES = 32;
const int MARGIN = 16;
const int BUTTON_WIDTH = 72;
const int BUTTON_HEIGHT = 26;

struct Recorded {
    char text[RECORDED_TEXT];
    char caption[RECORDED_CAPTION];
};

struct Recording {
    bool on;
    int count;
    Recorded boxes[MAX_RECORDED];
    void (*hook)(const char* text, const char* caption);
};

Recording recording;

struct Line {
    const char* start;
    int length;
};

struct Box {
    Window window;
    GC gc;
    XFontStruct* font;
    Line lines[MAX_LINES];
    int lineCount;
    int width;
    int height;
    int buttonX;
    int buttonY;
    bool pressed;
    bool closed;
};

// Boxes opened from inside other boxes' loops nest; the innermost is last.
Box* openBoxes[MAX_OPEN];
int openCount = 0;

void copyText(char* out, size_t capacity, const char* text) {
    size_t i = 0;
    for (; text[i] != 0 && i + 1 < capacity; i++) {
        out[i] = text[i];
    }
    out[i] = 0;
}

void toStandardError(const char* text, const char* caption) {
    size_t length = std::strlen(text);
    const char* end = (length > 0 && text[length - 1] == '\n') ? "" : "\n";
    std::fprintf(stderr, "%s: %s%s", caption, text, end);
    std::fflush(stderr);
}

void addLine(Box* box, const char* start, int length) {
    if (box->lineCount < MAX_LINES) {
        box->lines[box->lineCount].start = start;
        box->lines[box->lineCount].length = length;
        box->lineCount++;
    }
}

// Breaks the text at its newlines, and long lines at spaces so that none is wider than
// maxWidth (a single word wider than that stays whole).
void splitLines(Box* box, const char* text, int maxWidth) {
    box->lineCount = 0;
    const char* start = text;
    for (;;) {
        const char* end = std::strchr(start, '\n');
        if (end == nullptr) {
            end = start + std::strlen(start);
            if (end == start && box->lineCount > 0) {
                break; // the text's final newline ends it; no empty line after it
            }
        }
        const char* line = start;
        while (XTextWidth(box->font, line, (int)(end - line)) > maxWidth) {
            const char* cut = nullptr;
            for (const char* p = line + 1; p < end; p++) {
                if (*p == ' ' && XTextWidth(box->font, line, (int)(p - line)) <= maxWidth) {
                    cut = p;
                }
            }
            if (cut == nullptr) {
                break;
            }
            addLine(box, line, (int)(cut - line));
            line = cut + 1;
        }
        addLine(box, line, (int)(end - line));
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
    unsigned long black = BlackPixel(display, x11.screen);
    unsigned long white = WhitePixel(display, x11.screen);
    XSetForeground(display, box->gc, white);
    XFillRectangle(display, box->window, box->gc, 0, 0, (unsigned)box->width,
                   (unsigned)box->height);
    XSetForeground(display, box->gc, black);
    int lineHeight = box->font->ascent + box->font->descent;
    for (int i = 0; i < box->lineCount; i++) {
        XDrawString(display, box->window, box->gc, MARGIN,
                    MARGIN + box->font->ascent + i * lineHeight, box->lines[i].start,
                    box->lines[i].length);
    }
    XDrawRectangle(display, box->window, box->gc, box->buttonX, box->buttonY, BUTTON_WIDTH - 1,
                   BUTTON_HEIGHT - 1);
    XDrawRectangle(display, box->window, box->gc, box->buttonX + 2, box->buttonY + 2,
                   BUTTON_WIDTH - 5, BUTTON_HEIGHT - 5);
    int textWidth = XTextWidth(box->font, "OK", 2);
    XDrawString(display, box->window, box->gc, box->buttonX + (BUTTON_WIDTH - textWidth) / 2,
                box->buttonY + (BUTTON_HEIGHT + box->font->ascent - box->font->descent) / 2, "OK",
                2);
}

// The box's own events, seen before any window handle's.
bool onBoxEvent(XEvent* event) {
    Box* box = nullptr;
    for (int i = 0; i < openCount; i++) {
        if (openBoxes[i]->window == event->xany.window) {
            box = openBoxes[i];
        }
    }
    if (box == nullptr) {
        return false;
    }
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
            box->closed = true;
        }
        break;
    }
    case ButtonPress:
        box->pressed = event->xbutton.button == Button1 &&
                       insideButton(box, event->xbutton.x, event->xbutton.y);
        break;
    case ButtonRelease:
        if (box->pressed && insideButton(box, event->xbutton.x, event->xbutton.y)) {
            box->closed = true;
        }
        box->pressed = false;
        break;
    case ClientMessage:
        if (event->xclient.message_type == x11.wmProtocols &&
            (Atom)event->xclient.data.l[0] == x11.wmDeleteWindow) {
            box->closed = true;
        } else if (event->xclient.message_type == x11.wmProtocols &&
                   (Atom)event->xclient.data.l[0] == x11.netWmPing) {
            XEvent reply = *event;
            reply.xclient.window = x11.root;
            XSendEvent(x11.display, x11.root, False,
                       SubstructureNotifyMask | SubstructureRedirectMask, &reply);
        }
        break;
    default:
        break;
    }
    return true;
}

void setProperties(Display* display, Box* box, const char* caption, Window owner) {
    XChangeProperty(display, box->window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    (const unsigned char*)caption, (int)std::strlen(caption));
    // The caption is Latin-1 like every narrow text; _NET_WM_NAME wants UTF-8.
    char utf8[RECORDED_CAPTION * 2 + 1];
    size_t length = 0;
    for (const unsigned char* p = (const unsigned char*)caption;
         *p != 0 && length + 3 < sizeof(utf8); p++) {
        if (*p < 0x80) {
            utf8[length++] = (char)*p;
        } else {
            utf8[length++] = (char)(0xc0 | (*p >> 6));
            utf8[length++] = (char)(0x80 | (*p & 0x3f));
        }
    }
    utf8[length] = 0;
    XChangeProperty(display, box->window, x11.netWmName, x11.utf8String, 8, PropModeReplace,
                    (const unsigned char*)utf8, (int)length);
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

int showBox(Display* display, HWND owner, const char* text, const char* caption) {
    Box box;
    std::memset(&box, 0, sizeof(box));
    if (openCount >= MAX_OPEN) {
        return IDOK;
    }
    box.font = XLoadQueryFont(display, "fixed");
    if (box.font == nullptr) {
        return IDOK;
    }
    int screenWidth = DisplayWidth(display, x11.screen);
    int screenHeight = DisplayHeight(display, x11.screen);
    int maxWidth = screenWidth - 2 * MARGIN < 480 ? screenWidth - 2 * MARGIN : 480;
    splitLines(&box, text, maxWidth);
    int textWidth = 0;
    for (int i = 0; i < box.lineCount; i++) {
        int width = XTextWidth(box.font, box.lines[i].start, box.lines[i].length);
        textWidth = width > textWidth ? width : textWidth;
    }
    int lineHeight = box.font->ascent + box.font->descent;
    box.width = textWidth + 2 * MARGIN;
    box.width = box.width < 240 ? 240 : (box.width > screenWidth ? screenWidth : box.width);
    box.height = 3 * MARGIN + box.lineCount * lineHeight + BUTTON_HEIGHT;
    box.buttonX = (box.width - BUTTON_WIDTH) / 2;
    box.buttonY = box.height - MARGIN - BUTTON_HEIGHT;

    X11Window* ownerRecord = x11Record(owner);
    Window ownerWindow = ownerRecord != nullptr ? ownerRecord->xwindow : 0;
    int x = (screenWidth - box.width) / 2;
    int y = (screenHeight - box.height) / 2;
    if (ownerRecord != nullptr && ownerRecord->viewable) {
        x = ownerRecord->x + (ownerRecord->width - box.width) / 2;
        y = ownerRecord->y + (ownerRecord->height - box.height) / 2;
    }

    x11BeginErrorTrap();
    box.window =
        XCreateSimpleWindow(display, x11.root, x, y, (unsigned)box.width, (unsigned)box.height, 1,
                            BlackPixel(display, x11.screen), WhitePixel(display, x11.screen));
    if (box.window != 0) {
        XSelectInput(display, box.window,
                     ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                         StructureNotifyMask);
        setProperties(display, &box, caption, ownerWindow);
        box.gc = XCreateGC(display, box.window, 0, nullptr);
        XSetFont(display, box.gc, box.font->fid);
    }
    int error = x11EndErrorTrap();
    if (box.window == 0 || error != 0) {
        x11BeginErrorTrap();
        if (box.gc != nullptr) {
            XFreeGC(display, box.gc);
        }
        if (box.window != 0) {
            XDestroyWindow(display, box.window);
        }
        x11EndErrorTrap();
        XFreeFont(display, box.font);
        return IDOK;
    }

    // The owner is disabled while the box is open, as Win32 does: its input is dropped, while
    // paints, moves and posted messages still reach it.
    bool ownerWasDisabled = false;
    if (ownerRecord != nullptr) {
        ownerWasDisabled = ownerRecord->disabled;
        ownerRecord->disabled = true;
        if (GetCapture() == owner) {
            ReleaseCapture();
        }
    }
    openBoxes[openCount++] = &box;
    x11SetForeignEventHandler(onBoxEvent);
    x11MapAndWait(box.window);
    x11BeginErrorTrap();
    XSetInputFocus(display, box.window, RevertToParent, CurrentTime);
    x11EndErrorTrap();

    while (!box.closed) {
        x11PumpEvents();
        if (box.closed) {
            break;
        }
        // A quit message stays queued for the loop that follows; it does not end the box.
        MSG msg;
        if (x11TakeMessage(&msg, nullptr, 0, 0, true, false)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        x11WaitForEvents(-1);
    }

    openCount--;
    x11BeginErrorTrap();
    XFreeGC(display, box.gc);
    XDestroyWindow(display, box.window);
    x11EndErrorTrap();
    XFreeFont(display, box.font);
    ownerRecord = x11Record(owner);
    if (ownerRecord != nullptr) {
        ownerRecord->disabled = ownerWasDisabled;
        if (ownerRecord->viewable && !ownerRecord->minimized) {
            x11BeginErrorTrap();
            XSetInputFocus(display, ownerRecord->xwindow, RevertToParent, CurrentTime);
            x11EndErrorTrap();
        }
    }
    return IDOK;
}

} // namespace

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    (void)type;
    if (text == nullptr) {
        text = "";
    }
    if (caption == nullptr) {
        caption = "Error";
    }
    if (recording.on) {
        if (recording.count < MAX_RECORDED) {
            Recorded& box = recording.boxes[recording.count];
            copyText(box.text, sizeof(box.text), text);
            copyText(box.caption, sizeof(box.caption), caption);
            recording.count++;
        }
        if (recording.hook != nullptr) {
            recording.hook(text, caption);
        }
        return IDOK;
    }
    // Written to standard error as well as shown, so that a log or a terminal keeps why the
    // program stopped after the box is gone; without a display, or when the box cannot be
    // made, standard error is all there is.
    // The display is tried first, so that the display it could not open is named before this.
    Display* display = x11Display();
    toStandardError(text, caption);
    if (display == nullptr) {
        return IDOK;
    }
    return showBox(display, owner, text, caption);
}

void testRecordMessageBoxes(int on) {
    recording.on = on != 0;
}

int testMessageBoxCount(void) {
    return recording.count;
}

const char* testMessageBoxText(int index) {
    return index >= 0 && index < recording.count ? recording.boxes[index].text : nullptr;
}

const char* testMessageBoxCaption(int index) {
    return index >= 0 && index < recording.count ? recording.boxes[index].caption : nullptr;
}

void testClearMessageBoxes(void) {
    recording.count = 0;
}

void testSetMessageBoxHook(void (*hook)(const char* text, const char* caption)) {
    recording.hook = hook;
}
