// The test controls of the display and the system: what the headless display presents (pixel
// formats, a palette, message boxes taken), the system palette and colours, the registry's values
// and the system version.
#include "platform/emulated/backend.h"
#include "platform/emulated/presented.h"
#include "platform/testctl.h"

#include <cstring>
#include <strings.h>

// From hook.cpp: the realization and broadcast counts back to 0, system palette use allowed.
void testResetCounts(void);
// Hands every message box to `take` in place of showing it (null: shown as usual), through the
// headless display.
void testTakeMessageBoxes(void (*take)(const char* text, const char* caption));

namespace {

PIXELFORMATDESCRIPTOR paletteFormat(BYTE pixelType, BYTE colourBits, DWORD flags) {
    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_SUPPORT_GDI | flags;
    format.iPixelType = pixelType;
    format.cColorBits = colourBits;
    format.cDepthBits = 16;
    format.iLayerType = PFD_MAIN_PLANE;
    return format;
}

void setFields(PIXELFORMATDESCRIPTOR* format, BYTE redBits, BYTE redShift, BYTE greenBits,
               BYTE greenShift, BYTE blueBits, BYTE blueShift) {
    format->cRedBits = redBits;
    format->cRedShift = redShift;
    format->cGreenBits = greenBits;
    format->cGreenShift = greenShift;
    format->cBlueBits = blueBits;
    format->cBlueShift = blueShift;
}

void buildPaletteFormats(PIXELFORMATDESCRIPTOR* f) {
    const DWORD rgb = PFD_NEED_PALETTE;
    f[TEST_FORMAT_RGB332_DOUBLE - 1] = paletteFormat(PFD_TYPE_RGBA, 8, rgb | PFD_DOUBLEBUFFER);
    setFields(&f[TEST_FORMAT_RGB332_DOUBLE - 1], 3, 0, 3, 3, 2, 6);
    f[TEST_FORMAT_RGB332_SINGLE - 1] = paletteFormat(PFD_TYPE_RGBA, 8, rgb);
    setFields(&f[TEST_FORMAT_RGB332_SINGLE - 1], 3, 0, 3, 3, 2, 6);
    f[TEST_FORMAT_RGB332_DEEP - 1] = paletteFormat(PFD_TYPE_RGBA, 8, rgb | PFD_DOUBLEBUFFER);
    setFields(&f[TEST_FORMAT_RGB332_DEEP - 1], 3, 0, 3, 3, 2, 6);
    f[TEST_FORMAT_RGB332_DEEP - 1].cDepthBits = 24;
    f[TEST_FORMAT_RGB332_DEEP - 1].cStencilBits = 8;
    f[TEST_FORMAT_RGB332_SYSTEM - 1] =
        paletteFormat(PFD_TYPE_RGBA, 8, rgb | PFD_NEED_SYSTEM_PALETTE | PFD_DOUBLEBUFFER);
    setFields(&f[TEST_FORMAT_RGB332_SYSTEM - 1], 3, 0, 3, 3, 2, 6);
    f[TEST_FORMAT_BGR233_DOUBLE - 1] = paletteFormat(PFD_TYPE_RGBA, 8, rgb | PFD_DOUBLEBUFFER);
    setFields(&f[TEST_FORMAT_BGR233_DOUBLE - 1], 3, 5, 3, 2, 2, 0);
    f[TEST_FORMAT_INDEX8_DOUBLE - 1] =
        paletteFormat(PFD_TYPE_COLORINDEX, 8, PFD_NEED_PALETTE | PFD_DOUBLEBUFFER);
    f[TEST_FORMAT_INDEX8_SINGLE - 1] = paletteFormat(PFD_TYPE_COLORINDEX, 8, PFD_NEED_PALETTE);
    f[TEST_FORMAT_INDEX4_DOUBLE - 1] =
        paletteFormat(PFD_TYPE_COLORINDEX, 4, PFD_NEED_PALETTE | PFD_DOUBLEBUFFER);
}

} // namespace

// What the headless display is set to present; each control changes its part and hands the whole
// on.
PresentedDisplay presented;

void testPresentPixelFormats(const PIXELFORMATDESCRIPTOR* formats, int count) {
    presented.formatCount = 0;
    if (formats != nullptr && count > 0) {
        count = count < MAX_PRESENTED_FORMATS ? count : MAX_PRESENTED_FORMATS;
        std::memcpy(presented.formats, formats, sizeof(PIXELFORMATDESCRIPTOR) * (size_t)count);
        presented.formatCount = count;
    }
    headlessPresent(&presented);
}

// The palette is the display's: the headless display is connected here, so that what the
// program asks of the palette from now on finds it.
void testPresentPaletteDisplay(int on) {
    presented.palette = on != 0;
    headlessPresent(&presented);
    platformBackend();
    gdiResetSystemPalette();
    if (on) {
        PIXELFORMATDESCRIPTOR formats[TEST_PALETTE_FORMAT_COUNT];
        buildPaletteFormats(formats);
        testPresentPixelFormats(formats, TEST_PALETTE_FORMAT_COUNT);
    } else {
        testPresentPixelFormats(nullptr, 0);
    }
}

void testTakeMessageBoxes(void (*take)(const char* text, const char* caption)) {
    presented.takeBox = take;
    headlessPresent(&presented);
}

void testGiveFocus(HWND window, int focused) {
    WindowRecord* record = windowRecord(window);
    if (record != nullptr) {
        inputFocus(record, focused != 0);
    }
}

void testGetSystemPalette(PALETTEENTRY entries[256]) {
    if (entries != nullptr) {
        gdiSystemPalette(entries);
    }
}

void testResetSystemColours(void) {
    gdiResetSystemColours();
    gdiResetSystemPalette();
    testResetCounts();
}

// Values too long for the store are cut to fit; a full store ignores new values. Keys open on the
// values are left as they are: they name a key, not a value.
void testSetRegistryValue(const char* subKey, const char* name, DWORD type, const char* data) {
    if (subKey == nullptr || name == nullptr || data == nullptr) {
        return;
    }
    RegistryValue* target = nullptr;
    for (RegistryValue& value : presented.registry) {
        if (value.inUse && strcasecmp(value.subKey, subKey) == 0 &&
            strcasecmp(value.name, name) == 0) {
            target = &value;
            break;
        }
    }
    for (int i = 0; target == nullptr && i < REGISTRY_VALUES; i++) {
        if (!presented.registry[i].inUse) {
            target = &presented.registry[i];
        }
    }
    if (target == nullptr) {
        return;
    }
    target->inUse = true;
    copyText(target->subKey, sizeof target->subKey, subKey);
    copyText(target->name, sizeof target->name, name);
    target->type = type;
    copyText((char*)target->data, sizeof target->data, data);
    target->size = (DWORD)std::strlen((const char*)target->data) + 1;
    headlessPresent(&presented);
}

void testClearRegistry(void) {
    for (RegistryValue& value : presented.registry) {
        value = RegistryValue();
    }
    headlessPresent(&presented);
}

void testSetVersion(DWORD platformId, DWORD major, DWORD minor) {
    presented.versionPlatform = platformId;
    presented.versionMajor = major;
    presented.versionMinor = minor;
    headlessPresent(&presented);
}
