// The X11 backend's connection: opening it once, the atoms it needs, detectable auto-repeat,
// the handlers that keep X errors from ending the program and keep their text, and the
// backend's record of operations.
#include "platform/emulated/x11/x11.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

X11Connection x11;

namespace {

// Protocol errors never end the program: inside a trap the first one is kept for the caller,
// with Xlib's text for it; outside a trap they come from requests whose failure nothing
// depends on (a window that another client destroyed, say) and are dropped.
int onXError(Display* display, XErrorEvent* error) {
    if (x11.trapDepth > 0 && x11.trapError == 0) {
        x11.trapError = error->error_code;
        x11.lastError = error->error_code;
        char text[X11_ERROR_TEXT / 2];
        XGetErrorText(display, error->error_code, text, (int)sizeof(text));
        std::snprintf(x11.lastErrorText, sizeof(x11.lastErrorText), "%s (request %d)", text,
                      (int)error->request_code);
    }
    return 0;
}

// Xlib cannot go on after the connection is gone; what matters is to end with a message and
// an error code instead of a hang or a crash.
int onXIOError(Display* display) {
    (void)display;
    std::fflush(stdout);
    std::fprintf(stderr, "%s: lost the connection to the X display; ending.\n", programName());
    std::fflush(stderr);
    std::_Exit(3);
}

void internAtoms(Display* display) {
    x11.wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
    x11.wmDeleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    x11.wmState = XInternAtom(display, "WM_STATE", False);
    x11.netWmPing = XInternAtom(display, "_NET_WM_PING", False);
    x11.netWmPid = XInternAtom(display, "_NET_WM_PID", False);
    x11.netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    x11.utf8String = XInternAtom(display, "UTF8_STRING", False);
    x11.netWmWindowType = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    x11.netWmWindowTypeDialog = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    x11.netSupportingWmCheck = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
}

// X sends a held key as release/press pairs; asking the server for detectable auto-repeat
// leaves only the presses, which become repeated key-downs as on Win32. When the server
// refuses, the event code folds the pairs itself.
void askForDetectableRepeat(Display* display) {
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (!XkbLibraryVersion(&major, &minor)) {
        return;
    }
    int opcode = 0;
    int event = 0;
    int error = 0;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor)) {
        return;
    }
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display, True, &supported);
    x11.detectableRepeat = supported == True;
}

bool connect(void) {
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onXIOError);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        // Said once, before whatever the caller reports, so a log shows which display it was.
        const char* name = XDisplayName(nullptr);
        if (name == nullptr || name[0] == 0) {
            std::fprintf(stderr, "%s: cannot open display: DISPLAY is not set\n", programName());
        } else {
            std::fprintf(stderr, "%s: cannot open display '%s'\n", programName(), name);
        }
        std::fflush(stderr);
        return false;
    }
    x11.display = display;
    x11.screen = DefaultScreen(display);
    x11.root = RootWindow(display, x11.screen);
    x11.windowContext = XUniqueContext();
    x11.boxContext = XUniqueContext();
    internAtoms(display);
    askForDetectableRepeat(display);
    return true;
}

void screenSize(int* width, int* height) {
    *width = DisplayWidth(x11.display, x11.screen);
    *height = DisplayHeight(x11.display, x11.screen);
}

} // namespace

void x11SetIdentity(Display* display, Window xwindow, const char* className) {
    XClassHint* hint = XAllocClassHint();
    if (hint != nullptr) {
        char instance[256];
        char windowClass[256];
        copyText(instance, sizeof(instance), programName());
        copyText(windowClass, sizeof(windowClass), className);
        hint->res_name = instance;
        hint->res_class = windowClass;
        XSetClassHint(display, xwindow, hint);
        XFree(hint);
    }
    // _NET_WM_PID means something only together with the machine the process runs on.
    char host[256] = {};
    if (gethostname(host, sizeof(host) - 1) == 0 && host[0] != 0) {
        char* list[1] = {host};
        XTextProperty machine;
        if (XStringListToTextProperty(list, 1, &machine) != 0) {
            XSetWMClientMachine(display, xwindow, &machine);
            XFree(machine.value);
        }
    }
    long pid = (long)getpid();
    XChangeProperty(display, xwindow, x11.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    (const unsigned char*)&pid, 1);
}

void x11BeginErrorTrap(void) {
    if (x11.trapDepth == 0 && x11.display != nullptr) {
        // Errors of requests sent before the trap belong to nobody inside it.
        XSync(x11.display, False);
    }
    if (x11.trapDepth == 0) {
        x11.trapError = 0;
    }
    x11.trapDepth++;
}

int x11EndErrorTrap(void) {
    if (x11.trapDepth <= 0) {
        return 0;
    }
    if (x11.display != nullptr) {
        XSync(x11.display, False);
    }
    int error = x11.trapError;
    x11.trapDepth--;
    if (x11.trapDepth == 0) {
        x11.trapError = 0;
    }
    return error;
}

const char* x11ErrorText(void) {
    return x11.lastErrorText;
}

Display* x11Display(void) {
    return platformBackend() == &x11Backend ? x11.display : nullptr;
}

Window x11WindowOf(HWND window) {
    WindowRecord* record = windowRecord(window);
    return record == nullptr ? 0 : x11Part(record)->xwindow;
}

X11Window* x11Part(WindowRecord* window) {
    static_assert(sizeof(X11Window) <= NATIVE_WINDOW_BYTES, "the X part fits the record");
    return reinterpret_cast<X11Window*>(window->native);
}

// A real display presents nothing but itself.
static const PresentedDisplay* presented(void) {
    return nullptr;
}

extern const Backend x11Backend = {
    "x11",
    connect,
    screenSize,
    x11ErrorText,
    x11CreateWindow,
    x11DestroyWindow,
    x11ShowWindow,
    x11HideWindow,
    x11MinimizeWindow,
    x11MoveWindow,
    x11FocusWindow,
    x11PumpEvents,
    x11WaitForEvents,
    glxFormatCount,
    glxDescribeFormat,
    glxSetFormat,
    glxResizeSurface,
    glxDestroySurface,
    glxCreateContext,
    glxMakeCurrent,
    glxDeleteContext,
    glxSwapBuffers,
    x11CursorPosition,
    x11GrabPointer,
    x11RideImplicitGrab,
    x11UngrabPointer,
    presented,
    x11OpenBox,
    x11CloseBox,
};
