// Shared inside the Linux platform layer: the X connection, the window records that the
// window code keeps, the GL side's hooks into them, the X error trap and fault injection.
#pragma once

#include "platform/testctl.h"
#include "platform/win32.h"

#include <X11/Xlib.h>

// The layer's one X connection, opened on first use; null when no display can be opened.
Display* x11Display(void);

// The X window that is the client area of a window handle; 0 when the handle names no window.
Window x11WindowOf(HWND window);
// The window that a device context from GetDC belongs to; null when the DC is not one.
HWND x11WindowOfDc(HDC dc);

// Extra X windows that belong to a window handle (the GL child window that carries a pixel
// format's visual): events for them are delivered as the owning window's own.
void x11AttachChild(HWND window, Window child);
void x11DetachChild(HWND window, Window child);

// Called by the window code so that the GL side can follow its windows: a new client size, and
// a window about to be destroyed (its GL child and any context state must go first).
void glxWindowResized(HWND window, int width, int height);
void glxWindowDestroyed(HWND window);

// X protocol errors between the two calls are caught instead of ending the program; the end
// call syncs with the server and returns the first error code caught (0: none).
void x11BeginErrorTrap(void);
int x11EndErrorTrap(void);

// Fault injection (see testFailCall): true when this call of the operation is to fail.
bool platformShouldFail(TestOperation op);
