// GDI: device contexts and the palette state each holds, logical palettes and the display's
// system palette, and the system colours, emulated in-process with Win32's meaning.
#include "platform/emulated/backend.h"

#include <cstring>

namespace {

// --- Objects -------------------------------------------------------------------------------
// A handle is a tag, a generation and a slot, so a deleted palette's handle never names the
// palette that later takes its slot.
const uintptr_t PALETTE_TAG = 0x5A000000u;
const uintptr_t TAG_MASK = 0xFF000000u;
const int PALETTE_SLOTS = 32;
const int MAX_PALETTE_ENTRIES = 1024;
const int STOCK_SLOT = 0;
const uintptr_t BLACK_BRUSH_HANDLE = 0x5B000004u;
const int SYSTEM_PALETTE_SIZE = 256;
const int STATIC_COLOURS = 20;

struct Palette {
    int inUse;
    uint32_t generation;
    int count;
    PALETTEENTRY entries[MAX_PALETTE_ENTRIES];
};

// Device contexts: a window's names its window record (window.cpp); the screen's has no
// window; memory DCs (CreateCompatibleDC) carry a tag, a generation and a slot like palettes.
const uintptr_t SCREEN_DC = 0x7fff0000u;
const uintptr_t MEMORY_DC_TAG = 0x5D000000u;
const int MEMORY_DCS = 8;

struct MemoryDc {
    bool inUse;
    uint32_t generation;
    DcPart part;
};

// The 20 static colours: the first ten sit at the bottom of the system palette, the last ten
// at its top.
const PALETTEENTRY staticColours[STATIC_COLOURS] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0}};

// The standard Windows colour scheme, element by element.
const COLORREF standardSystemColours[25] = {
    RGB(192, 192, 192), RGB(0, 128, 128),   RGB(0, 0, 128),     RGB(128, 128, 128),
    RGB(192, 192, 192), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(192, 192, 192), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(0, 0, 128),     RGB(255, 255, 255), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(192, 192, 192),
    RGB(255, 255, 255), RGB(0, 0, 0),       RGB(192, 192, 192), RGB(0, 0, 0),
    RGB(255, 255, 225)};
const int SYSTEM_COLOUR_COUNT = 25;

// What a system-palette entry holds: a colour the system reserved (the static colours, or
// black and white without them), one a realized palette took, or nothing yet.
enum SlotUse { SLOT_FREE, SLOT_RESERVED, SLOT_USED };

struct Gdi {
    Palette palettes[PALETTE_SLOTS];
    DcPart screenDc;
    MemoryDc memoryDcs[MEMORY_DCS];
    UINT systemPaletteUse;
    PALETTEENTRY systemPalette[SYSTEM_PALETTE_SIZE];
    SlotUse slotUse[SYSTEM_PALETTE_SIZE];
    COLORREF systemColours[SYSTEM_COLOUR_COUNT];
    int started;
};

Gdi gdi;

} // namespace

void gdiResetSystemPalette(void) {
    for (int i = 0; i < SYSTEM_PALETTE_SIZE; i++) {
        gdi.systemPalette[i] = PALETTEENTRY{0, 0, 0, 0};
        gdi.slotUse[i] = SLOT_FREE;
    }
    for (int i = 0; i < STATIC_COLOURS / 2; i++) {
        gdi.systemPalette[i] = staticColours[i];
        gdi.slotUse[i] = SLOT_RESERVED;
        gdi.systemPalette[SYSTEM_PALETTE_SIZE - STATIC_COLOURS / 2 + i] =
            staticColours[STATIC_COLOURS / 2 + i];
        gdi.slotUse[SYSTEM_PALETTE_SIZE - STATIC_COLOURS / 2 + i] = SLOT_RESERVED;
    }
    gdi.systemPaletteUse = SYSPAL_STATIC;
}

void gdiResetSystemColours(void) {
    for (int i = 0; i < SYSTEM_COLOUR_COUNT; i++) {
        gdi.systemColours[i] = standardSystemColours[i];
    }
}

namespace {

// Whether the display shows colours through the system palette, as its backend says; without a
// display yet, true colour.
bool paletteDisplay(void) {
    const PresentedDisplay* presented = presentedDisplay(false);
    return presented != nullptr && presented->palette;
}

// The stock palette and the standard system state exist from the first call on.
void start(void) {
    if (gdi.started) {
        return;
    }
    gdi.started = 1;
    Palette& stock = gdi.palettes[STOCK_SLOT];
    stock.inUse = 1;
    stock.generation = 1;
    stock.count = STATIC_COLOURS;
    for (int i = 0; i < STATIC_COLOURS; i++) {
        stock.entries[i] = staticColours[i];
    }
    gdiResetSystemPalette();
    gdiResetSystemColours();
}

HPALETTE handleOf(int slot) {
    uintptr_t value =
        PALETTE_TAG | ((uintptr_t)(gdi.palettes[slot].generation & 0xFFFFu) << 8) | (uintptr_t)slot;
    return (HPALETTE)value;
}

// The slot that a palette handle names, or -1 when it names no living palette.
int slotOf(const void* handle) {
    start();
    uintptr_t value = (uintptr_t)handle;
    if ((value & TAG_MASK) != PALETTE_TAG) {
        return -1;
    }
    int slot = (int)(value & 0xFFu);
    if (slot >= PALETTE_SLOTS || !gdi.palettes[slot].inUse) {
        return -1;
    }
    if (((value >> 8) & 0xFFFFu) != (gdi.palettes[slot].generation & 0xFFFFu)) {
        return -1;
    }
    return slot;
}

MemoryDc* memoryDcOf(HDC dc) {
    uintptr_t value = (uintptr_t)dc;
    if ((value & TAG_MASK) != MEMORY_DC_TAG || (value & 0xFFu) >= (uintptr_t)MEMORY_DCS) {
        return nullptr;
    }
    MemoryDc* memory = &gdi.memoryDcs[value & 0xFFu];
    bool current = ((value >> 8) & 0xFFFFu) == (memory->generation & 0xFFFFu);
    return memory->inUse && current ? memory : nullptr;
}

int sameColour(const PALETTEENTRY& a, const PALETTEENTRY& b) {
    return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
}

// Takes the lowest free system-palette entry for a colour; false when none is left.
bool takeFreeSlot(const PALETTEENTRY& colour, int* changed) {
    for (int i = 0; i < SYSTEM_PALETTE_SIZE; i++) {
        if (gdi.slotUse[i] == SLOT_FREE) {
            if (!sameColour(gdi.systemPalette[i], colour)) {
                (*changed)++;
            }
            gdi.systemPalette[i] = PALETTEENTRY{colour.peRed, colour.peGreen, colour.peBlue, 0};
            gdi.slotUse[i] = SLOT_USED;
            return true;
        }
    }
    return false;
}

bool hasExactMatch(const PALETTEENTRY& colour) {
    for (int i = 0; i < SYSTEM_PALETTE_SIZE; i++) {
        if (gdi.slotUse[i] != SLOT_FREE && sameColour(gdi.systemPalette[i], colour)) {
            return true;
        }
    }
    return false;
}

// Maps a logical palette onto the system palette as GDI does. In the foreground the palette
// gets every entry that the system does not reserve; in the background it keeps what the
// foreground palette holds and takes only entries still free. Entries marked PC_NOCOLLAPSE or
// PC_RESERVED always get an entry of their own while one is left; the others share an
// existing entry of exactly their colour. Whatever finds no room maps to its nearest colour,
// which changes nothing. The result is how many system-palette entries changed colour.
int realize(const Palette& palette, bool background) {
    int changed = 0;
    if (!background) {
        for (int i = 0; i < SYSTEM_PALETTE_SIZE; i++) {
            if (gdi.slotUse[i] == SLOT_USED) {
                gdi.slotUse[i] = SLOT_FREE;
            }
        }
    }
    for (int i = 0; i < palette.count; i++) {
        const PALETTEENTRY& entry = palette.entries[i];
        if (entry.peFlags & PC_EXPLICIT) {
            continue; // names a system entry directly; nothing to place
        }
        bool ownEntry = (entry.peFlags & (PC_NOCOLLAPSE | PC_RESERVED)) != 0;
        if (!ownEntry && hasExactMatch(entry)) {
            continue;
        }
        takeFreeSlot(entry, &changed);
    }
    return changed;
}

} // namespace

// --- Stock objects and palettes ------------------------------------------------------------

HGDIOBJ WINAPI GetStockObject(int index) {
    start();
    if (index == DEFAULT_PALETTE) {
        return (HGDIOBJ)handleOf(STOCK_SLOT);
    }
    if (index == BLACK_BRUSH) {
        return (HGDIOBJ)BLACK_BRUSH_HANDLE;
    }
    return nullptr;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    if ((uintptr_t)object == BLACK_BRUSH_HANDLE) {
        return TRUE; // stock objects ignore deletion
    }
    int slot = slotOf(object);
    if (slot < 0) {
        return FALSE;
    }
    if (slot == STOCK_SLOT) {
        return TRUE;
    }
    gdiForgetPalette(slot);
    gdi.palettes[slot].inUse = 0;
    gdi.palettes[slot].generation++;
    return TRUE;
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* logPalette) {
    start();
    if (platformFails(CALL_CREATE_PALETTE)) {
        return nullptr;
    }
    if (logPalette == nullptr || logPalette->palVersion != 0x300 ||
        logPalette->palNumEntries == 0 || logPalette->palNumEntries > MAX_PALETTE_ENTRIES) {
        return nullptr;
    }
    for (int slot = 1; slot < PALETTE_SLOTS; slot++) {
        Palette& palette = gdi.palettes[slot];
        if (palette.inUse) {
            continue;
        }
        palette.inUse = 1;
        palette.generation++;
        palette.count = logPalette->palNumEntries;
        std::memcpy(palette.entries, logPalette->palPalEntry,
                    sizeof(PALETTEENTRY) * (size_t)palette.count);
        return handleOf(slot);
    }
    return nullptr;
}

UINT WINAPI GetPaletteEntries(HPALETTE handle, UINT first, UINT count, LPPALETTEENTRY entries) {
    int slot = slotOf(handle);
    if (slot < 0) {
        return 0;
    }
    const Palette& palette = gdi.palettes[slot];
    if (entries == nullptr) {
        return (UINT)palette.count;
    }
    if (first >= (UINT)palette.count) {
        return 0;
    }
    UINT copied = count < (UINT)palette.count - first ? count : (UINT)palette.count - first;
    std::memcpy(entries, palette.entries + first, sizeof(PALETTEENTRY) * copied);
    return copied;
}

// Entries outside the palette are left alone: only the part of the range that lies inside it
// is copied.
UINT WINAPI SetPaletteEntries(HPALETTE handle, UINT first, UINT count,
                              const PALETTEENTRY* entries) {
    int slot = slotOf(handle);
    if (slot < 0 || slot == STOCK_SLOT || entries == nullptr) {
        return 0;
    }
    Palette& palette = gdi.palettes[slot];
    if (first >= (UINT)palette.count) {
        return 0;
    }
    UINT copied = count < (UINT)palette.count - first ? count : (UINT)palette.count - first;
    std::memcpy(palette.entries + first, entries, sizeof(PALETTEENTRY) * copied);
    return copied;
}

HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE handle, BOOL forceBackground) {
    start();
    if (platformFails(CALL_SELECT_PALETTE)) {
        return nullptr;
    }
    int slot = slotOf(handle);
    DcPart* record = dcPart(dc);
    if (slot < 0 || record == nullptr) {
        return failWith(ERROR_INVALID_HANDLE, (HPALETTE) nullptr);
    }
    int previous = record->paletteSlot;
    if (!gdi.palettes[previous].inUse) {
        previous = STOCK_SLOT;
    }
    record->paletteSlot = slot;
    record->background = forceBackground != FALSE;
    return handleOf(previous);
}

UINT WINAPI RealizePalette(HDC dc) {
    start();
    DcPart* record = dcPart(dc);
    if (record == nullptr || platformFails(CALL_REALIZE_PALETTE)) {
        return GDI_ERROR;
    }
    if (!paletteDisplay()) {
        return 0; // a true-colour display shows every colour as it is
    }
    return (UINT)realize(gdi.palettes[record->paletteSlot], record->background);
}

BOOL WINAPI UnrealizeObject(HGDIOBJ object) {
    if (platformFails(CALL_UNREALIZE_OBJECT)) {
        return FALSE;
    }
    if ((uintptr_t)object == BLACK_BRUSH_HANDLE) {
        return TRUE;
    }
    return slotOf(object) >= 0 ? TRUE : FALSE;
}

// --- The system palette --------------------------------------------------------------------

// Without the static colours only black and white stay reserved; with them back, the 20
// static colours return to both ends of the system palette.
UINT WINAPI SetSystemPaletteUse(HDC dc, UINT use) {
    start();
    if (dc == nullptr || !paletteDisplay() || platformFails(CALL_SET_SYSTEM_PALETTE_USE)) {
        return SYSPAL_ERROR;
    }
    if (use != SYSPAL_STATIC && use != SYSPAL_NOSTATIC) {
        return SYSPAL_ERROR;
    }
    UINT previous = gdi.systemPaletteUse;
    gdi.systemPaletteUse = use;
    const int half = STATIC_COLOURS / 2;
    for (int i = 0; i < half; i++) {
        int low = i;
        int high = SYSTEM_PALETTE_SIZE - half + i;
        bool keep = use == SYSPAL_STATIC || low == 0;
        if (keep) {
            gdi.systemPalette[low] = staticColours[i];
            gdi.slotUse[low] = SLOT_RESERVED;
        } else if (gdi.slotUse[low] == SLOT_RESERVED) {
            gdi.slotUse[low] = SLOT_FREE;
        }
        keep = use == SYSPAL_STATIC || high == SYSTEM_PALETTE_SIZE - 1;
        if (keep) {
            gdi.systemPalette[high] = staticColours[half + i];
            gdi.slotUse[high] = SLOT_RESERVED;
        } else if (gdi.slotUse[high] == SLOT_RESERVED) {
            gdi.slotUse[high] = SLOT_FREE;
        }
    }
    return previous;
}

UINT WINAPI GetSystemPaletteUse(HDC dc) {
    start();
    if (dc == nullptr) {
        return SYSPAL_ERROR;
    }
    return gdi.systemPaletteUse;
}

UINT WINAPI GetSystemPaletteEntries(HDC dc, UINT first, UINT count, LPPALETTEENTRY entries) {
    start();
    if (dc == nullptr || !paletteDisplay()) {
        return 0;
    }
    if (entries == nullptr) {
        return SYSTEM_PALETTE_SIZE;
    }
    if (first >= (UINT)SYSTEM_PALETTE_SIZE) {
        return 0;
    }
    UINT copied = count < SYSTEM_PALETTE_SIZE - first ? count : SYSTEM_PALETTE_SIZE - first;
    std::memcpy(entries, gdi.systemPalette + first, sizeof(PALETTEENTRY) * copied);
    return copied;
}

// --- System colours ------------------------------------------------------------------------

DWORD WINAPI GetSysColor(int index) {
    start();
    if (index < 0 || index >= SYSTEM_COLOUR_COUNT) {
        return 0;
    }
    return gdi.systemColours[index];
}

// System colours are plain RGB: a palette-relative COLORREF keeps only its colour.
BOOL WINAPI SetSysColors(int count, const INT* elements, const COLORREF* colours) {
    start();
    if (count <= 0 || elements == nullptr || colours == nullptr) {
        return FALSE;
    }
    for (int i = 0; i < count; i++) {
        if (elements[i] >= 0 && elements[i] < SYSTEM_COLOUR_COUNT) {
            gdi.systemColours[elements[i]] = colours[i] & 0x00FFFFFFu;
        }
    }
    return TRUE;
}

void gdiSystemPalette(PALETTEENTRY entries[256]) {
    start();
    std::memcpy(entries, gdi.systemPalette, sizeof gdi.systemPalette);
}

// A DC that still holds a deleted palette falls back to the stock one rather than to a stale
// slot.
void gdiForgetPalette(int slot) {
    auto forget = [slot](DcPart* part) {
        if (part->paletteSlot == slot) {
            part->paletteSlot = STOCK_SLOT;
        }
    };
    WindowRecord* windows = windowRecords();
    for (int i = 0; i < MAX_WINDOWS; i++) {
        forget(&windows[i].dc);
    }
    forget(&gdi.screenDc);
    for (MemoryDc& memory : gdi.memoryDcs) {
        forget(&memory.part);
    }
}

DcPart* dcPart(HDC dc) {
    if (dc == (HDC)SCREEN_DC) {
        return &gdi.screenDc;
    }
    MemoryDc* memory = memoryDcOf(dc);
    if (memory != nullptr) {
        return &memory->part;
    }
    WindowRecord* window = windowOfDc(dc);
    return window != nullptr ? &window->dc : nullptr;
}

// --- Device contexts -------------------------------------------------------------------------

HDC WINAPI GetDC(HWND window) {
    if (platformFails(CALL_GET_DC)) {
        return failWith(ERROR_GEN_FAILURE, (HDC) nullptr);
    }
    if (window == nullptr) {
        return (HDC)SCREEN_DC;
    }
    WindowRecord* record = windowRecord(window);
    return record != nullptr ? dcOfWindow(record)
                             : failWith(ERROR_INVALID_WINDOW_HANDLE, (HDC) nullptr);
}

int WINAPI ReleaseDC(HWND window, HDC dc) {
    if (window == nullptr) {
        return dc == (HDC)SCREEN_DC ? 1 : 0;
    }
    WindowRecord* record = windowRecord(window);
    return record != nullptr && windowOfDc(dc) == record ? 1 : 0;
}

// A memory DC compatible with the screen: it holds a palette selection of its own.
HDC WINAPI CreateCompatibleDC(HDC dc) {
    if (dc != nullptr && dcPart(dc) == nullptr) {
        return failWith(ERROR_INVALID_HANDLE, (HDC) nullptr);
    }
    for (int slot = 0; slot < MEMORY_DCS; slot++) {
        MemoryDc& memory = gdi.memoryDcs[slot];
        if (!memory.inUse) {
            memory.inUse = true;
            memory.generation++;
            memory.part = DcPart();
            uintptr_t value =
                MEMORY_DC_TAG | ((uintptr_t)(memory.generation & 0xFFFFu) << 8) | (uintptr_t)slot;
            return (HDC)value;
        }
    }
    return failWith(ERROR_NOT_ENOUGH_MEMORY, (HDC) nullptr);
}

BOOL WINAPI DeleteDC(HDC dc) {
    MemoryDc* memory = memoryDcOf(dc);
    if (memory == nullptr) {
        return failWith(ERROR_INVALID_HANDLE, FALSE);
    }
    memory->inUse = false;
    return TRUE;
}
