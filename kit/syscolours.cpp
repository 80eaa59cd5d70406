// Taking over the desktop's system colours while the kit holds the whole system palette, and
// giving them back with the user's colour scheme from the registry.
#include "kit/core.h"

#include <cstdlib>

namespace {
const COLORREF BLACK = PALETTERGB(0, 0, 0);
const COLORREF WHITE = PALETTERGB(255, 255, 255);
} // namespace

const INT systemColourElements[KIT_SYSTEM_COLOUR_ELEMENTS] = {
    COLOR_SCROLLBAR,    COLOR_BACKGROUND,  COLOR_ACTIVECAPTION, COLOR_INACTIVECAPTION,
    COLOR_MENU,         COLOR_WINDOW,      COLOR_WINDOWFRAME,   COLOR_MENUTEXT,
    COLOR_WINDOWTEXT,   COLOR_CAPTIONTEXT, COLOR_ACTIVEBORDER,  COLOR_INACTIVEBORDER,
    COLOR_APPWORKSPACE, COLOR_HIGHLIGHT,   COLOR_HIGHLIGHTTEXT, COLOR_BTNFACE,
    COLOR_BTNSHADOW,    COLOR_GRAYTEXT,    COLOR_BTNTEXT,       COLOR_INACTIVECAPTIONTEXT,
    COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW,  COLOR_3DLIGHT,       COLOR_INFOTEXT,
    COLOR_INFOBK};

const char* const colourSchemeNames[KIT_SYSTEM_COLOUR_ELEMENTS] = {
    "Scrollbar",     "Background",     "ActiveTitle",  "InactiveTitle", "Menu",
    "Window",        "WindowFrame",    "MenuText",     "WindowText",    "TitleText",
    "ActiveBorder",  "InactiveBorder", "AppWorkspace", "Hilight",       "HilightText",
    "ButtonFace",    "ButtonShadow",   "GrayText",     "ButtonText",    "InactiveTitleText",
    "ButtonHilight", "ButtonDkShadow", "ButtonLight",  "InfoText",      "InfoWindow"};

const COLORREF takeoverColours[KIT_SYSTEM_COLOUR_ELEMENTS] = {
    WHITE, BLACK, BLACK, WHITE, WHITE, WHITE, BLACK, BLACK, BLACK, WHITE, WHITE, WHITE, WHITE,
    BLACK, WHITE, WHITE, BLACK, BLACK, BLACK, BLACK, BLACK, BLACK, WHITE, BLACK, WHITE};

namespace {

// systemColourCount comes from the system version (21 or 25); the tables bound it.
int32_t elementCount(int32_t count) {
    if (count < 0) {
        return 0;
    }
    return count < KIT_SYSTEM_COLOUR_ELEMENTS ? count : KIT_SYSTEM_COLOUR_ELEMENTS;
}

const DWORD SCHEME_VALUE_BYTES = 64;

// Reads up to three decimal numbers as "%ld %ld %ld" would, but a number too large for a long
// is held at the limit instead of being undefined; returns how many were read.
int readNumbers(const char* text, long numbers[3]) {
    int read = 0;
    while (read < 3) {
        char* end = nullptr;
        long number = std::strtol(text, &end, 10);
        if (end == text) {
            break;
        }
        numbers[read++] = number;
        text = end;
    }
    return read;
}

} // namespace

// A refused takeover asks for another attempt. The first refusal posts the request at once;
// when the retry is refused again, the next request waits until the loop has found its queue
// empty, or the retries alone would keep the queue full: posted messages come before input
// and painting, and the idle handler runs only on an empty queue.
int kitTakeOverSystemColours(HDC dc) {
    if (kit.systemColoursTaken) {
        return 1;
    }
    if (SetSystemPaletteUse(dc, SYSPAL_NOSTATIC) != SYSPAL_STATIC) {
        Sleep(0);
        if (kit.realizeRetry == KIT_RETRY_NONE) {
            kit.realizeRetry = KIT_RETRY_POSTED;
            kitPostRealizeRequest();
        } else {
            kit.realizeRetry = KIT_RETRY_DEFERRED;
        }
        return 0;
    }
    kit.realizeRetry = KIT_RETRY_NONE;
    int32_t count = elementCount(kit.systemColourCount);
    for (int32_t e = 0; e < count; e++) {
        kit.savedSystemColours[e] = GetSysColor(e);
    }
    SetSysColors(count, systemColourElements, takeoverColours);
    kit.systemColoursTaken = 1;
    PostMessageA(HWND_BROADCAST, WM_SYSCOLORCHANGE, 0, 0);
    return 1;
}

void kitPostDeferredRealizeRequest(void) {
    if (kit.realizeRetry != KIT_RETRY_DEFERRED) {
        return;
    }
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        return;
    }
    kit.realizeRetry = KIT_RETRY_POSTED;
    kitPostRealizeRequest();
}

int kitRestoreSystemColours(HDC dc) {
    if (!kit.systemColoursTaken) {
        return 0;
    }
    int32_t count = elementCount(kit.systemColourCount);
    kitReadColourScheme(kit.savedSystemColours, count);
    SetSysColors(count, systemColourElements, kit.savedSystemColours);
    SetSystemPaletteUse(dc, SYSPAL_STATIC);
    PostMessageA(HWND_BROADCAST, WM_SYSCOLORCHANGE, 0, 0);
    kit.systemColoursTaken = 0;
    return 1;
}

// Each value is three decimal numbers, red, green and blue; each keeps its low 8 bits. A value
// with fewer than three numbers leaves its element's colour as it was.
int kitReadColourScheme(COLORREF* colours, int32_t count) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Colors", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return 0;
    }
    count = elementCount(count);
    for (int32_t i = 0; colours != nullptr && i < count; i++) {
        // One byte more than the value may fill: a string stored without its terminating zero
        // still ends inside the buffer.
        char value[SCHEME_VALUE_BYTES + 1] = {};
        DWORD size = SCHEME_VALUE_BYTES;
        DWORD type = REG_NONE;
        if (RegQueryValueExA(key, colourSchemeNames[i], nullptr, &type, (LPBYTE)value, &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ) {
            continue;
        }
        long components[3] = {};
        if (readNumbers(value, components) != 3) {
            continue;
        }
        colours[i] = (COLORREF)((components[0] & 255) | (components[1] & 255) << 8 |
                                (components[2] & 255) << 16);
    }
    RegCloseKey(key);
    return 1;
}
