// The layer's one X connection: opening it once, the atoms it needs, detectable auto-repeat,
// and the handlers that keep X errors from ending the program.
#include "platform/linux/x11.h"

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

// Protocol errors never end the program: inside a trap the first one is kept for the caller;
// outside a trap they come from requests whose failure nothing depends on (a window that
// another client destroyed, say) and are dropped.
int onXError(Display* display, XErrorEvent* error) {
    (void)display;
    if (x11.trapDepth > 0 && x11.trapError == 0) {
        x11.trapError = error->error_code;
    }
    return 0;
}

// Xlib cannot go on after the connection is gone; what matters is to end with a message and
// an error code instead of a hang or a crash.
int onXIOError(Display* display) {
    (void)display;
    std::fflush(stdout);
    std::fprintf(stderr, "%s: lost the connection to the X display; ending.\n", x11ProgramName());
    std::fflush(stderr);
    std::_Exit(3);
}

void internAtoms(Display* display) {
    x11.wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
    x11.wmDeleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    x11.wmState = XInternAtom(display, "WM_STATE", False);
    x11.netWmPing = XInternAtom(display, "_NET_WM_PING", False);
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

} // namespace

Display* x11Display(void) {
    if (x11.tried) {
        return x11.display;
    }
    // One attempt only: without a display every later call fails at once.
    x11.tried = true;
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onXIOError);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        // Said once, before whatever the caller reports, so a log shows which display it was.
        const char* name = XDisplayName(nullptr);
        if (name == nullptr || name[0] == 0) {
            std::fprintf(stderr, "%s: cannot open display: DISPLAY is not set\n", x11ProgramName());
        } else {
            std::fprintf(stderr, "%s: cannot open display '%s'\n", x11ProgramName(), name);
        }
        std::fflush(stderr);
        return nullptr;
    }
    x11.display = display;
    x11.screen = DefaultScreen(display);
    x11.root = RootWindow(display, x11.screen);
    internAtoms(display);
    askForDetectableRepeat(display);
    return display;
}

// Copies as much of the text as fits, always terminated.
static void copyName(char* out, size_t capacity, const char* text) {
    size_t i = 0;
    for (; text[i] != 0 && i + 1 < capacity; i++) {
        out[i] = text[i];
    }
    out[i] = 0;
}

const char* x11ProgramName(void) {
    static char name[256];
    if (name[0] != 0) {
        return name;
    }
    // glibc keeps the last part of argv[0]; a program started with an empty argv[0] still has
    // its executable's path.
    const char* shortName = program_invocation_short_name;
    if (shortName != nullptr && shortName[0] != 0) {
        copyName(name, sizeof(name), shortName);
        return name;
    }
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length > 0) {
        path[length] = 0;
        const char* slash = std::strrchr(path, '/');
        copyName(name, sizeof(name), slash != nullptr ? slash + 1 : path);
    }
    if (name[0] == 0) {
        copyName(name, sizeof(name), "wrendle");
    }
    return name;
}

void x11SetIdentity(Display* display, Window xwindow, const char* className) {
    XClassHint* hint = XAllocClassHint();
    if (hint != nullptr) {
        char instance[256];
        char windowClass[256];
        copyName(instance, sizeof(instance), x11ProgramName());
        copyName(windowClass, sizeof(windowClass), className);
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
    XChangeProperty(display, xwindow, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, (const unsigned char*)&pid, 1);
}

void x11BeginErrorTrap(void) {
    if (x11.trapDepth == 0) {
        x11.trapError = 0;
        // Errors of requests sent before the trap belong to nobody inside it.
        if (x11.display != nullptr) {
            XSync(x11.display, False);
            x11.trapError = 0;
        }
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

void* testXDisplay(void) {
    return x11Display();
}
