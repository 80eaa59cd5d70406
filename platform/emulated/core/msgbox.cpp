// MessageBoxA: a modal box on the backend's surface whose loop keeps dispatching the thread's
// other messages, as Win32's does; its text also goes to standard error.
#include "platform/emulated/backend.h"

#include <cstdio>
#include <cstring>

namespace {

// Boxes opened from inside other boxes' loops nest, up to this depth.
const int MAX_OPEN = 8;
const int BOX_MIN_WIDTH = 240;
const int BOX_MAX_TEXT_WIDTH = 480;

int openCount = 0;

void toStandardError(const char* text, const char* caption) {
    size_t length = std::strlen(text);
    const char* end = (length > 0 && text[length - 1] == '\n') ? "" : "\n";
    std::fprintf(stderr, "%s: %s: %s%s", programName(), caption, text, end);
    std::fflush(stderr);
}

struct Measure {
    const char* text;
    int (*width)(const void* font, const char* start, int length);
    const void* font;
};

int widthOf(const Measure& m, const char* start, const char* end) {
    return m.width(m.font, start, (int)(end - start));
}

void addLine(BoxLayout* layout, const Measure& m, const char* start, const char* end) {
    if (layout->lineCount < BOX_MAX_LINES) {
        layout->lines[layout->lineCount].start = (int)(start - m.text);
        layout->lines[layout->lineCount].length = (int)(end - start);
        layout->lineCount++;
    }
}

void splitLines(BoxLayout* layout, const Measure& m, int maxWidth) {
    layout->lineCount = 0;
    const char* start = m.text;
    for (;;) {
        const char* end = std::strchr(start, '\n');
        if (end == nullptr) {
            end = start + std::strlen(start);
            if (end == start && layout->lineCount > 0) {
                break; // the text's final newline ends it; no empty line after it
            }
        }
        const char* line = start;
        while (widthOf(m, line, end) > maxWidth) {
            const char* cut = nullptr;
            for (const char* p = line + 1; p < end; p++) {
                if (*p == ' ' && widthOf(m, line, p) <= maxWidth) {
                    cut = p;
                }
            }
            if (cut == nullptr) {
                break;
            }
            addLine(layout, m, line, cut);
            line = cut + 1;
        }
        addLine(layout, m, line, end);
        if (*end == 0) {
            break;
        }
        start = end + 1;
    }
}

} // namespace

void boxLayOut(BoxLayout* layout, const char* text, int screenWidth, int lineHeight,
               int (*textWidth)(const void* font, const char* start, int length),
               const void* font) {
    Measure m = {text, textWidth, font};
    int maxWidth = screenWidth - 2 * BOX_MARGIN < BOX_MAX_TEXT_WIDTH ? screenWidth - 2 * BOX_MARGIN
                                                                     : BOX_MAX_TEXT_WIDTH;
    splitLines(layout, m, maxWidth);
    int widest = 0;
    for (int i = 0; i < layout->lineCount; i++) {
        const char* start = text + layout->lines[i].start;
        int width = widthOf(m, start, start + layout->lines[i].length);
        widest = width > widest ? width : widest;
    }
    // At least the least width, and never wider than the screen, which wins on a tiny one.
    int width = widest + 2 * BOX_MARGIN;
    width = width < BOX_MIN_WIDTH ? BOX_MIN_WIDTH : width;
    layout->width = width > screenWidth ? screenWidth : width;
    layout->height = 3 * BOX_MARGIN + layout->lineCount * lineHeight + BOX_BUTTON_HEIGHT;
    layout->buttonX = (layout->width - BOX_BUTTON_WIDTH) / 2;
    layout->buttonY = layout->height - BOX_MARGIN - BOX_BUTTON_HEIGHT;
}

bool boxInsideButton(const BoxLayout* layout, int x, int y) {
    return x >= layout->buttonX && x < layout->buttonX + BOX_BUTTON_WIDTH && y >= layout->buttonY &&
           y < layout->buttonY + BOX_BUTTON_HEIGHT;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    (void)type;
    if (text == nullptr) {
        text = "";
    }
    if (caption == nullptr) {
        caption = "Error";
    }
    // Written to standard error as well as shown, so that a log or a terminal keeps why the
    // program stopped after the box is gone; the display is tried first, so that one that could
    // not be opened is named before this.
    const Backend* backend = platformBackend();
    toStandardError(text, caption);
    BoxSurface box = BoxSurface();
    if (backend == nullptr || openCount >= MAX_OPEN ||
        !backend->openBox(&box, windowRecord(owner), text, caption)) {
        return IDOK;
    }
    // The owner is disabled while the box is open, as Win32 does: its input is dropped, while
    // paints, moves and posted messages still reach it.
    WindowRecord* ownerRecord = windowRecord(owner);
    bool ownerWasDisabled = false;
    if (ownerRecord != nullptr) {
        ownerWasDisabled = ownerRecord->disabled;
        ownerRecord->disabled = true;
        if (GetCapture() == owner) {
            ReleaseCapture();
        }
    }
    openCount++;
    while (!box.closed) {
        pumpEvents();
        if (box.closed) {
            break;
        }
        // A quit message stays queued for the loop that follows; it does not end the box.
        MSG msg;
        if (queueTake(&msg, nullptr, 0, 0, true, false)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        waitForEvents(-1);
    }
    openCount--;
    backend->closeBox(&box);
    ownerRecord = windowRecord(owner);
    if (ownerRecord != nullptr) {
        ownerRecord->disabled = ownerWasDisabled;
        if (ownerRecord->viewable && !ownerRecord->minimized) {
            backend->focusWindow(ownerRecord);
        }
    }
    return IDOK;
}
