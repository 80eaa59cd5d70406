// What the headless display can be set to present in place of what it has, as the machine it
// stands for: a list of pixel formats, a palette display, message boxes handed to the program
// instead of shown, the registry's values and the Windows version. A real display is what it is,
// so only the headless backend answers with this; a program sets it (the test library does, to
// exercise the palette code or a list of formats) before its first window.
#pragma once

#include "platform/win32.h"

const int MAX_PRESENTED_FORMATS = 256;

// A value under HKEY_CURRENT_USER.
const int REGISTRY_VALUES = 64;
const int REGISTRY_KEY_CHARS = 128;
const int REGISTRY_NAME_CHARS = 64;
const int REGISTRY_DATA_BYTES = 256;
struct RegistryValue {
    bool inUse;
    char subKey[REGISTRY_KEY_CHARS];
    char name[REGISTRY_NAME_CHARS];
    DWORD type;
    DWORD size; // bytes of data, the terminating zero included
    BYTE data[REGISTRY_DATA_BYTES];
};

struct PresentedDisplay {
    // The pixel formats offered, numbered from 1 (count 0: the EGL configurations themselves).
    // Each renders through the closest real configuration with the same buffering and ancillary
    // buffers; palette and colour-index formats render in RGBA underneath.
    int formatCount;
    PIXELFORMATDESCRIPTOR formats[MAX_PRESENTED_FORMATS];
    // Colours through a 256-entry system palette whose ends hold the 20 static colours, as an
    // 8-bit display shows them; false: true colour.
    bool palette;
    // Called with every message box's text and caption in place of showing it; the box returns
    // IDOK at once. Null: a box is only written to standard error, as always on this display.
    void (*takeBox)(const char* text, const char* caption);
    // The registry's values (a real desktop's registry, for this layer, is empty).
    RegistryValue registry[REGISTRY_VALUES];
    // What GetVersionExA reports (platform 0: the layer's own, a current NT, 10.0).
    DWORD versionPlatform;
    DWORD versionMajor;
    DWORD versionMinor;
};

// Copies the description (a list longer than MAX_PRESENTED_FORMATS is cut); null puts the
// display back to what it has.
void headlessPresent(const PresentedDisplay* display);
