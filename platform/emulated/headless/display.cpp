// The headless backend's display: windows as records in memory, shown, moved and focused as the
// core asks, with the answers a real display would give; no pointer, no screen to show a message
// box on, and no events but the program's own. Chosen only on request (WRENDLE_BACKEND=headless).
#include "platform/emulated/headless/headless.h"

#include <cerrno>
#include <ctime>
#include <new>

HeadlessDisplay headless;

namespace {

// The screen that GetSystemMetrics reports: a common desktop size. Nothing is shown on it, so
// windows may lie anywhere on or off it, as on a real screen.
const int SCREEN_WIDTH = 1280;
const int SCREEN_HEIGHT = 1024;

// How long a wait without a limit sleeps before it returns. Nothing can arrive on this display
// (input comes only from the program's own calls, on its one thread), so a wait for ever would
// never end; a program waiting in GetMessage for input wakes this often, looks at its queue, and
// waits again, as an idle program on a real display with nobody at it would.
const int IDLE_WAIT_MS = 100;

bool connect(void) {
    return headlessEglConnect();
}

void screenSize(int* width, int* height) {
    *width = SCREEN_WIDTH;
    *height = SCREEN_HEIGHT;
}

const char* errorText(void) {
    return headless.errorText;
}

// The window lives where and as large as the record says; nothing else holds it.
bool createWindow(WindowRecord* window, const char* className, const char* titleUtf8,
                  const char* titleLatin1) {
    (void)className;
    (void)titleUtf8;
    (void)titleLatin1;
    new (window->native) HeadlessWindow();
    return true;
}

// The core has taken the GL surface down before (glWindowDestroyed).
void destroyWindow(WindowRecord* window) {
    *headlessPart(window) = HeadlessWindow();
}

// Shown at once: mapped and exposed, as a real display reports a newly mapped window. A restore
// comes here too.
void showWindow(WindowRecord* window) {
    inputMapped(window);
    inputExposed(window);
}

void hideWindow(WindowRecord* window) {
    inputUnmapped(window);
}

// A minimised window is not viewable, as an iconified X window is not.
void minimizeWindow(WindowRecord* window) {
    inputUnmapped(window);
}

// Any place and size is taken as asked; the GL surface follows through resizeSurface.
bool moveWindow(WindowRecord* window) {
    (void)window;
    return true;
}

// No other client can hold the focus, so a viewable window gets it as asked, as a display confirms
// a focus change; the core has made the window active already, so this tells it nothing new.
void focusWindow(WindowRecord* window) {
    if (window->viewable) {
        inputFocus(window, true);
    }
}

// Nothing to read: the program's own calls reach the core directly.
void pump(void) {}

void wait(int timeoutMs) {
    int ms = timeoutMs < 0 ? IDLE_WAIT_MS : timeoutMs;
    timespec wait = {ms / 1000, (long)(ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

// No pointer device moves it, but the cursor is somewhere, as on a Windows machine without a
// mouse: in the middle of the screen, where Windows puts it at the start.
bool cursorPosition(POINT* point) {
    point->x = SCREEN_WIDTH / 2;
    point->y = SCREEN_HEIGHT / 2;
    return true;
}

// Nobody else can hold a pointer that does not exist, so a grab is never refused; capture is the
// core's bookkeeping alone, and no pointer event ever comes to it.
bool grabPointer(WindowRecord* window) {
    (void)window;
    return true;
}

void rideImplicitGrab(WindowRecord* window) {
    (void)window;
}

void ungrabPointer(bool endedAlready) {
    (void)endedAlready;
}

// No surface can show a box, so none is opened: MessageBoxA has written the caption and text to
// standard error already, and returns IDOK at once, as it does without a display.
// No screen shows a box: its text is on standard error already. A program that set a handler
// for boxes is handed it, and the box is answered at once, as one shown nowhere would be.
bool openBox(BoxSurface* box, WindowRecord* owner, const char* text, const char* caption) {
    (void)box;
    (void)owner;
    if (headless.presented.takeBox != nullptr) {
        headless.presented.takeBox(text, caption);
    }
    return false;
}

const PresentedDisplay* presented(void) {
    return &headless.presented;
}

void closeBox(BoxSurface* box) {
    (void)box;
}

} // namespace

HeadlessWindow* headlessPart(WindowRecord* window) {
    static_assert(sizeof(HeadlessWindow) <= NATIVE_WINDOW_BYTES,
                  "the headless part fits the record");
    return reinterpret_cast<HeadlessWindow*>(window->native);
}

extern const Backend headlessBackend = {
    "headless",
    connect,
    screenSize,
    errorText,
    createWindow,
    destroyWindow,
    showWindow,
    hideWindow,
    minimizeWindow,
    moveWindow,
    focusWindow,
    pump,
    wait,
    headlessFormatCount,
    headlessDescribeFormat,
    headlessSetFormat,
    headlessResizeSurface,
    headlessDestroySurface,
    headlessCreateContext,
    headlessMakeCurrent,
    headlessDeleteContext,
    headlessSwapBuffers,
    cursorPosition,
    grabPointer,
    rideImplicitGrab,
    ungrabPointer,
    presented,
    openBox,
    closeBox,
};

void headlessPresent(const PresentedDisplay* display) {
    if (display == nullptr) {
        headless.presented = PresentedDisplay();
        return;
    }
    headless.presented = *display;
    int count = headless.presented.formatCount;
    headless.presented.formatCount =
        count < 0 ? 0 : (count > MAX_PRESENTED_FORMATS ? MAX_PRESENTED_FORMATS : count);
}
