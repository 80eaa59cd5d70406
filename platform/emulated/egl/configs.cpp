// EGL's configurations as pixel formats, shared by the backends that draw through EGL: what a
// configuration offers in a descriptor's terms, and which configurations are offered at all.
#include "platform/emulated/egl/configs.h"

#include <cstring>

namespace {

// The most configurations read from EGL; more than any driver offers.
const int MOST_CONFIGS = 1024;

int attribute(EGLDisplay display, EGLConfig config, EGLint name) {
    EGLint value = 0;
    if (!eglGetConfigAttrib(display, config, name, &value)) {
        return 0;
    }
    return value;
}

// EGL has no accumulation or auxiliary buffers. Colour channels are packed red highest, as the
// ARGB/XRGB formats of Mesa's EGL surfaces are.
void describeConfig(EGLDisplay display, EGLConfig config, DWORD buffering,
                    PIXELFORMATDESCRIPTOR* out) {
    std::memset(out, 0, sizeof(*out));
    out->nSize = sizeof(PIXELFORMATDESCRIPTOR);
    out->nVersion = 1;
    out->dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | buffering;
    out->iPixelType = PFD_TYPE_RGBA;
    int red = attribute(display, config, EGL_RED_SIZE);
    int green = attribute(display, config, EGL_GREEN_SIZE);
    int blue = attribute(display, config, EGL_BLUE_SIZE);
    int alpha = attribute(display, config, EGL_ALPHA_SIZE);
    out->cColorBits = clampByte(red + green + blue);
    out->cRedBits = clampByte(red);
    out->cGreenBits = clampByte(green);
    out->cBlueBits = clampByte(blue);
    out->cBlueShift = 0;
    out->cGreenShift = clampByte(blue);
    out->cRedShift = clampByte(blue + green);
    out->cAlphaBits = clampByte(alpha);
    out->cAlphaShift = alpha > 0 ? clampByte(red + green + blue) : 0;
    out->cDepthBits = clampByte(attribute(display, config, EGL_DEPTH_SIZE));
    out->cStencilBits = clampByte(attribute(display, config, EGL_STENCIL_SIZE));
    out->iLayerType = PFD_MAIN_PLANE;
}

// A configuration stands for a pixel format when it draws OpenGL in RGB on the backend's kind of
// surface; multisampled ones have no descriptor field to say so and are left out, as on X11.
bool usableConfig(EGLDisplay display, EGLConfig config, EGLint surfaceBit) {
    return (attribute(display, config, EGL_SURFACE_TYPE) & surfaceBit) != 0 &&
           (attribute(display, config, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) != 0 &&
           attribute(display, config, EGL_COLOR_BUFFER_TYPE) == EGL_RGB_BUFFER &&
           attribute(display, config, EGL_SAMPLE_BUFFERS) == 0 &&
           attribute(display, config, EGL_CONFIG_CAVEAT) != EGL_NON_CONFORMANT_CONFIG;
}

} // namespace

// A configuration that would read exactly like an earlier one is dropped by addRealFormat, so
// every number names a format that a caller can tell apart.
void addEglFormats(EGLDisplay display, EGLint surfaceBit, const DWORD* bufferings,
                   int bufferingCount, RealFormats* formats) {
    EGLConfig configs[MOST_CONFIGS];
    EGLint count = 0;
    if (!eglGetConfigs(display, configs, MOST_CONFIGS, &count)) {
        return;
    }
    for (int i = 0; i < count; i++) {
        if (!usableConfig(display, configs[i], surfaceBit)) {
            continue;
        }
        for (int k = 0; k < bufferingCount; k++) {
            PIXELFORMATDESCRIPTOR description;
            describeConfig(display, configs[i], bufferings[k], &description);
            addRealFormat(formats, configs[i], &description);
        }
    }
}
