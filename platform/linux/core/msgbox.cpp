// MessageBoxA: a modal box on the backend's surface whose loop keeps dispatching the thread's
// other messages, as Win32's does; its text also goes to standard error.
#include "platform/linux/backend.h"

#include <cstdio>
#include <cstring>

namespace {

// Boxes opened from inside other boxes' loops nest, up to this depth.
const int MAX_OPEN = 8;

int openCount = 0;

void toStandardError(const char* text, const char* caption) {
    size_t length = std::strlen(text);
    const char* end = (length > 0 && text[length - 1] == '\n') ? "" : "\n";
    std::fprintf(stderr, "%s: %s%s", caption, text, end);
    std::fflush(stderr);
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
    if (platformHook != nullptr && platformHook->messageBox(text, caption)) {
        return IDOK;
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
