// EGL's configurations as pixel formats, for the display backends that draw through EGL (Wayland
// and headless): which configurations stand for a format, and how a descriptor tells them.
#pragma once

#include "platform/emulated/core/core.h"

#include <EGL/egl.h>

// Adds the display's configurations that draw OpenGL in RGB on surfaces of `surfaceBit`
// (EGL_WINDOW_BIT, EGL_PBUFFER_BIT), in EGL's order, each once per entry of `bufferings`: the
// descriptor flags that say how the backend buffers that surface (PFD_DOUBLEBUFFER, or
// PFD_SUPPORT_GDI for a single-buffered one).
void addEglFormats(EGLDisplay display, EGLint surfaceBit, const DWORD* bufferings,
                   int bufferingCount, RealFormats* formats);
