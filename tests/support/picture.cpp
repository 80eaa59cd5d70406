// Pictures read back from the layer's windows, whichever display the test runs on, and the X
// connection and windows behind the layer's, for tests of the X11 backend that talk to the server
// themselves.
#include "platform/emulated/x11/x11.h"
#include "tests/support/support.h"

#include <GL/gl.h>

#include <cstdlib>
#include <cstring>

void* testXDisplay(void) {
    return x11Display();
}

unsigned long testXWindow(HWND window) {
    return (unsigned long)x11WindowOf(window);
}

bool onHeadless(void) {
    const char* backend = std::getenv("WRENDLE_BACKEND");
    return backend != nullptr && std::strcmp(backend, "headless") == 0;
}

bool readShownPicture(HWND window, int x, int y, int width, int height, std::vector<uint8_t>* rgb) {
    const Backend* backend = connectedBackend();
    if (backend == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    rgb->assign((size_t)width * (size_t)height * 3, 0);
    if (std::strcmp(backend->name, "x11") != 0) {
        // The headless display's surface holds the picture last swapped; the window's context
        // is current on it.
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb->data());
        return glGetError() == GL_NO_ERROR;
    }
    RECT client;
    if (!GetClientRect(window, &client)) {
        return false;
    }
    Display* display = x11Display();
    XImage* image = XGetImage(display, (Window)x11WindowOf(window), x, client.bottom - y - height,
                              (unsigned)width, (unsigned)height, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    for (int row = 0; row < height; row++) {
        for (int column = 0; column < width; column++) {
            unsigned long p = XGetPixel(image, column, height - 1 - row);
            uint8_t* out = &(*rgb)[((size_t)row * (size_t)width + (size_t)column) * 3];
            out[0] = (uint8_t)((p & image->red_mask) >> 16);
            out[1] = (uint8_t)((p & image->green_mask) >> 8);
            out[2] = (uint8_t)(p & image->blue_mask);
        }
    }
    XDestroyImage(image);
    return true;
}
