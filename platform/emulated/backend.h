// The seam between the emulated Win32 core and a display backend: everything the core asks of
// a display system. A backend is one folder beside core/ that fills in one Backend record; the
// core reaches it only through platformBackend().
#pragma once

#include "platform/emulated/core/core.h"
#include "platform/emulated/presented.h"

// A message box's surface while it is open: the backend sets `closed` when the user answers it.
struct BoxSurface {
    bool closed;
    alignas(std::max_align_t) unsigned char native[512];
};

// A context as a backend makes it: its native context and the configuration it was made for,
// which is the only one whose windows it can draw to.
struct NativeContext {
    void* context;
    void* config;
};

struct Backend {
    // What WRENDLE_BACKEND calls it.
    const char* name;

    // The connection, opened once; false when this kind of display cannot be reached.
    bool (*connect)(void);
    void (*screenSize)(int* width, int* height);
    // The last failure's text, for GetLastError's callers and standard error ("" when none).
    const char* (*errorText)(void);

    // Native windows. The native window is the record's client area, at the record's origin
    // and size; create fills the record's native part.
    bool (*createWindow)(WindowRecord* window, const char* className, const char* titleUtf8,
                         const char* titleLatin1);
    void (*destroyWindow)(WindowRecord* window);
    // Maps the window and waits, bounded, until the display shows it (then inputMapped).
    void (*showWindow)(WindowRecord* window);
    void (*hideWindow)(WindowRecord* window);
    void (*minimizeWindow)(WindowRecord* window);
    // Moves and sizes the native window to the record's origin and size; false on failure.
    bool (*moveWindow)(WindowRecord* window);
    void (*focusWindow)(WindowRecord* window);

    // Events: handles everything the display has sent, while the queue has room, through the
    // core's input functions; or waits until something arrives (ms, -1: no limit).
    void (*pumpEvents)(void);
    void (*waitForEvents)(int timeoutMs);

    // Pixel formats, numbered from 1, as the display's configurations offer them.
    int (*formatCount)(void);
    const PIXELFORMATDESCRIPTOR* (*describeFormat)(int number);
    // Gives the window its GL surface for a format of the list above.
    bool (*setFormat)(WindowRecord* window, int number);
    // The client area changed size: the GL surface follows.
    void (*resizeSurface)(WindowRecord* window);
    void (*destroySurface)(WindowRecord* window);
    // Contexts: false on failure; makeCurrent with a null window releases the current one and
    // refuses a context of another configuration than the window's.
    bool (*createContext)(WindowRecord* window, NativeContext* out);
    bool (*makeCurrent)(WindowRecord* window, const NativeContext* context);
    void (*deleteContext)(const NativeContext* context);
    bool (*swapBuffers)(WindowRecord* window);

    // The pointer: its screen position, and capture as the display offers it: a grab of its
    // own, or the display's implicit grab of a press that the window is handling. The release
    // waits until the display has ended the grab, unless the display ended it already.
    bool (*cursorPosition)(POINT* point);
    bool (*grabPointer)(WindowRecord* window);
    void (*rideImplicitGrab)(WindowRecord* window);
    void (*ungrabPointer)(bool endedAlready);

    // What the display presents in place of what it has (platform/emulated/presented.h): a palette,
    // the registry's values, a Windows version. Null for a real display, which is what it is:
    // true colour, as every display this layer reaches is, an empty registry, the layer's own
    // version.
    const PresentedDisplay* (*presented)(void);

    // A message box: opens its surface (false: none could be made), and closes it.
    bool (*openBox)(BoxSurface* box, WindowRecord* owner, const char* text, const char* caption);
    void (*closeBox)(BoxSurface* box);
};

// The backend in use: chosen and connected at the first call that needs a display, once: the one
// WRENDLE_BACKEND names (headless, x11 or wayland), else Wayland when reachable, else X11; null
// when no display could be reached or the variable names no backend.
const Backend* platformBackend(void);
// What the connected display presents (null: a real display, or none yet); connects first when
// asked to.
const PresentedDisplay* presentedDisplay(bool connect);
// The backend chosen so far, without trying to connect (null before the first call or without
// a display).
const Backend* connectedBackend(void);
