// The kit's logical palette on palette-based displays: the RGB ramp palette with the static
// colours placed, the colour-index palette, realization, and the five colour-map operations.
#include "kit/core.h"

#include <cmath>
#include <cstddef>

namespace {

const BYTE ramp1Bit[2] = {0, 255};
const BYTE ramp2Bit[4] = {0, 116, 191, 255};
const BYTE ramp3Bit[8] = {0, 63, 104, 139, 171, 200, 229, 255};

const int32_t PALETTE_SIZE_256 = 256;
const BYTE TAKEN = 1;
// Above the largest squared distance between two colours, 3 * 255 * 255.
const int32_t NO_DISTANCE = 196609;

uint32_t logPaletteBytes(uint32_t entries) {
    return (uint32_t)(offsetof(LOGPALETTE, palPalEntry) + sizeof(PALETTEENTRY) * entries);
}

int32_t wantsSystemPalette(const PIXELFORMATDESCRIPTOR& description) {
    return (description.dwFlags & PFD_NEED_SYSTEM_PALETTE) != 0 ||
                   (kit.displayMode & KIT_SYSTEM_PALETTE) != 0
               ? 1
               : 0;
}

// A palette of 2^bits entries must still be countable by LOGPALETTE's 16-bit entry count.
const int32_t MAX_PALETTE_BITS = 15;

// The low 8 bits of the integer part of x * 255 + 0.5; a value too large for an integer, or
// not a number at all, must not reach a conversion that would be undefined.
BYTE componentByte(float x) {
    double scaled = (double)x * 255.0 + 0.5;
    if (!std::isfinite(scaled)) {
        return 0;
    }
    double low = std::fmod(std::trunc(scaled), 256.0);
    return (BYTE)((int32_t)low & 255);
}

// Shift counts for the fade ramps: a negative count counts as 0 and a large one as 16, which
// already gives more entries than any palette holds.
uint64_t rampCount(int32_t bits) {
    if (bits < 0) {
        bits = 0;
    }
    if (bits > 16) {
        bits = 16;
    }
    return (uint64_t)1 << bits;
}

} // namespace

BYTE kitRampValue(int32_t index, int32_t bits, int32_t shift) {
    uint32_t v = shift >= 0 && shift < 32 ? (uint32_t)index >> shift : 0;
    switch (bits) {
    case 1:
        return ramp1Bit[v & 1];
    case 2:
        return ramp2Bit[v & 3];
    case 3:
        return ramp3Bit[v & 7];
    default:
        return 0;
    }
}

void kitMatchStaticColours(PALETTEENTRY* entries) {
    GetPaletteEntries((HPALETTE)GetStockObject(DEFAULT_PALETTE), 0, KIT_STATIC_COLOUR_COUNT,
                      kit.staticColours);
    for (PALETTEENTRY& colour : kit.staticColours) {
        colour.peFlags = 0;
    }
    for (int32_t i = 0; i < PALETTE_SIZE_256; i++) {
        entries[i].peFlags = 0;
    }

    for (int32_t j = 0; j < KIT_STATIC_COLOUR_COUNT; j++) {
        PALETTEENTRY& colour = kit.staticColours[j];
        for (int32_t i = 0; i < PALETTE_SIZE_256; i++) {
            if (entries[i].peRed == colour.peRed && entries[i].peGreen == colour.peGreen &&
                entries[i].peBlue == colour.peBlue) {
                colour.peFlags = TAKEN;
                entries[i].peFlags = TAKEN;
                kit.staticColourSlots[j] = i;
                break;
            }
        }
    }

    for (int32_t j = 0; j < KIT_STATIC_COLOUR_COUNT; j++) {
        PALETTEENTRY& colour = kit.staticColours[j];
        if (colour.peFlags == TAKEN) {
            continue;
        }
        int32_t best = NO_DISTANCE;
        int32_t bestEntry = 0;
        for (int32_t i = 0; i < PALETTE_SIZE_256; i++) {
            if (entries[i].peFlags == TAKEN) {
                continue;
            }
            int32_t red = (int32_t)entries[i].peRed - colour.peRed;
            int32_t green = (int32_t)entries[i].peGreen - colour.peGreen;
            int32_t blue = (int32_t)entries[i].peBlue - colour.peBlue;
            int32_t distance = red * red + green * green + blue * blue;
            if (distance < best) {
                best = distance;
                bestEntry = i;
            }
        }
        kit.staticColourSlots[j] = bestEntry;
        entries[bestEntry].peFlags = TAKEN;
    }

    for (PALETTEENTRY& colour : kit.staticColours) {
        colour.peFlags = 0;
    }
    for (int32_t i = 0; i < PALETTE_SIZE_256; i++) {
        entries[i].peFlags = PC_NOCOLLAPSE;
    }
}

// Fills the first `filled` entries of the ramps. The static colours and the system-palette
// flags belong to a palette of exactly 256 ramp entries (`full256`), which must then all be
// filled.
static void fillRamps(const PIXELFORMATDESCRIPTOR* description, PALETTEENTRY* entries,
                      uint32_t filled, bool full256) {
    if (entries == nullptr || description == nullptr) {
        return;
    }
    for (uint32_t i = 0; i < filled; i++) {
        entries[i].peRed = kitRampValue((int32_t)i, description->cRedBits, description->cRedShift);
        entries[i].peGreen =
            kitRampValue((int32_t)i, description->cGreenBits, description->cGreenShift);
        entries[i].peBlue =
            kitRampValue((int32_t)i, description->cBlueBits, description->cBlueShift);
        entries[i].peFlags = PC_NOCOLLAPSE;
    }
    if (!full256 || filled != (uint32_t)PALETTE_SIZE_256) {
        return;
    }
    if (kit.systemPaletteMode) {
        entries[0].peFlags = 0;
        entries[255].peFlags = 0;
        return;
    }
    if (description->cRedBits == 3 && description->cRedShift == 0 && description->cGreenBits == 3 &&
        description->cGreenShift == 3 && description->cBlueBits == 2 &&
        description->cBlueShift == 6) {
        kitMatchStaticColours(entries);
        for (int32_t j = 0; j < KIT_STATIC_COLOUR_COUNT; j++) {
            int32_t slot = kit.staticColourSlots[j];
            if (slot < 0 || slot >= PALETTE_SIZE_256) {
                continue;
            }
            entries[slot] = kit.staticColours[j];
            entries[slot].peFlags = 0;
        }
    }
}

void kitFillRgbRamps(const PIXELFORMATDESCRIPTOR* description, PALETTEENTRY* entries,
                     uint32_t count) {
    fillRamps(description, entries, count, count == (uint32_t)PALETTE_SIZE_256);
}

// Fills every entry of the system palette with reserved black, so that the RGB palette that
// follows is laid over a clean system palette instead of sharing leftovers of others.
void kitFlushSystemPalette(HDC dc, int32_t count) {
    if (count != PALETTE_SIZE_256) {
        return;
    }
    LOGPALETTE* block = (LOGPALETTE*)kitAllocateZeroed(logPaletteBytes(PALETTE_SIZE_256));
    if (block == nullptr) {
        return;
    }
    block->palVersion = 0x300;
    block->palNumEntries = PALETTE_SIZE_256;
    PALETTEENTRY* entries = block->palPalEntry;
    for (int32_t i = 0; i < PALETTE_SIZE_256; i++) {
        entries[i].peFlags = PC_RESERVED | PC_NOCOLLAPSE;
    }
    HPALETTE temporary = CreatePalette(block);
    kitFree(block);
    if (temporary == nullptr) {
        return;
    }
    HPALETTE previous = SelectPalette(dc, temporary, FALSE);
    if (previous != nullptr) {
        RealizePalette(dc);
        SelectPalette(dc, previous, FALSE);
    }
    DeleteObject(temporary);
}

HPALETTE kitCreateRgbPalette(HDC dc) {
    if (kit.palette != nullptr) {
        return kit.palette;
    }
    PIXELFORMATDESCRIPTOR description;
    if (!kitGetPixelFormat(dc, &description)) {
        return kit.palette;
    }
    if (description.iPixelType != PFD_TYPE_RGBA || !(description.dwFlags & PFD_NEED_PALETTE)) {
        return kit.palette;
    }
    kit.systemPaletteMode = wantsSystemPalette(description);
    if (description.cColorBits > MAX_PALETTE_BITS) {
        return kit.palette;
    }
    uint32_t count = (uint32_t)1 << description.cColorBits;
    LOGPALETTE* block = (LOGPALETTE*)kitAllocate(logPaletteBytes(count));
    if (block == nullptr) {
        return kit.palette;
    }
    block->palVersion = 0x300;
    block->palNumEntries = (WORD)count;
    kitFillRgbRamps(&description, block->palPalEntry, count);
    kit.palette = CreatePalette(block);
    kitFree(block);
    kitFlushSystemPalette(dc, (int32_t)count);
    kitRealizePalette(dc, kit.palette, 0);
    return kit.palette;
}

HPALETTE kitEnsureIndexPalette(HDC dc) {
    if (dc == nullptr || kit.palette != nullptr) {
        return kit.palette;
    }
    PIXELFORMATDESCRIPTOR description;
    if (!kitGetPixelFormat(dc, &description) || description.iPixelType != PFD_TYPE_COLORINDEX) {
        return kit.palette;
    }
    kit.systemPaletteMode = wantsSystemPalette(description);
    uint32_t count =
        description.cColorBits < 8 ? (uint32_t)1 << description.cColorBits : PALETTE_SIZE_256;
    LOGPALETTE* block = (LOGPALETTE*)kitAllocateZeroed(logPaletteBytes(count));
    if (block == nullptr) {
        return kit.palette;
    }
    block->palVersion = 0x300;
    block->palNumEntries = (WORD)count;
    PALETTEENTRY* entries = block->palPalEntry;
    HPALETTE stock = (HPALETTE)GetStockObject(DEFAULT_PALETTE);
    UINT stockCount = GetPaletteEntries(stock, 0, 0, nullptr);
    GetPaletteEntries(stock, 0, stockCount < count ? stockCount : count, entries);
    if (kit.systemPaletteMode && count == (uint32_t)PALETTE_SIZE_256) {
        entries[0] = PALETTEENTRY{0, 0, 0, 0};
        entries[255] = PALETTEENTRY{255, 255, 255, 0};
        for (int32_t i = 1; i < 255; i++) {
            entries[i].peFlags = PC_NOCOLLAPSE;
        }
    }
    kit.palette = CreatePalette(block);
    kitFree(block);
    kitRealizePalette(dc, kit.palette, 0);
    return kit.palette;
}

int kitRealizePalette(HDC dc, HPALETTE palette, int32_t background) {
    if (!kit.systemPaletteMode) {
        if (SelectPalette(dc, palette, FALSE) == nullptr) {
            return -1;
        }
        return (int)RealizePalette(dc);
    }
    // A window in the background has no claim on the system palette: whatever asks for a
    // foreground realize while it is inactive (the rebuild after the kit's own restore
    // broadcast, a queued realize request) gets a background one.
    if (!background && kit.windowInactive) {
        background = 1;
    }
    if (background) {
        // The takeover state ends here, and with it any retry of a refused takeover: the next
        // refusal is a fresh one and asks for its retry at once.
        kit.realizeRetry = KIT_RETRY_NONE;
        kitRestoreSystemColours(dc);
    } else if (palette == nullptr) {
        // Nothing to realize (CreatePalette failed): taking the system colours now would leave
        // the desktop without its static colours, with no palette whose release gives them back.
        return -1;
    } else if (!kitTakeOverSystemColours(dc)) {
        return -1;
    }
    if (!UnrealizeObject(palette)) {
        return -1;
    }
    if (SelectPalette(dc, palette, background ? TRUE : FALSE) == nullptr) {
        return -1;
    }
    return (int)RealizePalette(dc);
}

int kitSetOneColour(int32_t index, float red, float green, float blue) {
    HPALETTE palette = kitEnsureIndexPalette(kit.deviceContext);
    if (palette == nullptr) {
        return 0;
    }
    if (kit.systemPaletteMode && (index == 0 || index == 255)) {
        return 1;
    }
    PALETTEENTRY entry;
    entry.peRed = componentByte(red);
    entry.peGreen = componentByte(green);
    entry.peBlue = componentByte(blue);
    entry.peFlags = 0;
    if (kit.systemPaletteMode) {
        entry.peFlags = PC_NOCOLLAPSE;
        if (entry.peRed == 255 && entry.peGreen == 255 && entry.peBlue == 255) {
            entry.peFlags |= PC_RESERVED;
        }
    }
    // No range test here: the palette itself ignores an index outside it.
    SetPaletteEntries(palette, (UINT)index, 1, &entry);
    return kitPostRealizeRequest();
}

// Fills 2^levelBits levels of 2^stepBits entries each. When that is not the palette's size,
// only the entries that both the ramps and the palette have are filled and written.
int kitSetFadeRamps(int32_t stepBits, int32_t levelBits) {
    HPALETTE palette = kitEnsureIndexPalette(kit.deviceContext);
    if (palette == nullptr) {
        return 0;
    }
    UINT count = GetPaletteEntries(palette, 0, 0, nullptr);
    PALETTEENTRY* buffer = (PALETTEENTRY*)kitAllocate((uint32_t)(sizeof(PALETTEENTRY) * count));
    if (buffer == nullptr) {
        return 0;
    }
    uint64_t steps = rampCount(stepBits);
    uint64_t levels = rampCount(levelBits);
    uint64_t filled = 0;
    for (uint64_t level = 0; level < levels && level * steps < count; level++) {
        for (uint64_t step = 0; step < steps; step++) {
            uint64_t index = level * steps + step;
            if (index >= count) {
                break;
            }
            uint64_t grey = level * steps + step * levels;
            BYTE v = grey < 255 ? (BYTE)grey : 255;
            PALETTEENTRY& entry = buffer[index];
            entry.peRed = v;
            entry.peGreen = v;
            entry.peBlue = v;
            entry.peFlags = 0;
            if (kit.systemPaletteMode && index != 0 && index != 255) {
                entry.peFlags = PC_NOCOLLAPSE;
                if (v == 255) {
                    entry.peFlags |= PC_RESERVED;
                }
            }
            filled = index + 1;
        }
    }
    SetPaletteEntries(palette, 0, (UINT)filled, buffer);
    kitFree(buffer);
    return kitPostRealizeRequest();
}

int kitSetGreyRamp(void) {
    HPALETTE palette = kitEnsureIndexPalette(kit.deviceContext);
    if (palette == nullptr) {
        return 0;
    }
    UINT count = GetPaletteEntries(palette, 0, 0, nullptr);
    PALETTEENTRY* buffer = (PALETTEENTRY*)kitAllocate((uint32_t)(sizeof(PALETTEENTRY) * count));
    if (buffer == nullptr) {
        return 0;
    }
    for (UINT i = 0; i < count; i++) {
        // A one-entry palette has no ramp to spread over; its one entry stays black.
        double v = count > 1 ? (double)i / (double)(count - 1) * 255.0 + 0.5 : 0.0;
        BYTE grey = (BYTE)((int32_t)v & 255);
        buffer[i].peRed = grey;
        buffer[i].peGreen = grey;
        buffer[i].peBlue = grey;
        buffer[i].peFlags = kit.systemPaletteMode && i != 0 && i != 255 ? PC_NOCOLLAPSE : 0;
    }
    SetPaletteEntries(palette, 0, count, buffer);
    kitFree(buffer);
    return kitPostRealizeRequest();
}

// The map has 2^cColorBits ramp entries, of which the palette keeps as many as it has; only
// those are made, so a deep colour-index format needs no buffer of its full map.
int kitSetRgbMap(int32_t first, int32_t second) {
    (void)first;
    (void)second;
    HPALETTE palette = kitEnsureIndexPalette(kit.deviceContext);
    if (palette == nullptr) {
        return 0;
    }
    PIXELFORMATDESCRIPTOR description;
    if (!kitGetPixelFormat(kit.deviceContext, &description)) {
        return 0;
    }
    uint32_t written = GetPaletteEntries(palette, 0, 0, nullptr);
    if (description.cColorBits < 32 && ((uint32_t)1 << description.cColorBits) < written) {
        written = (uint32_t)1 << description.cColorBits;
    }
    PALETTEENTRY* buffer =
        (PALETTEENTRY*)kitAllocate((uint32_t)(sizeof(PALETTEENTRY) * (written > 0 ? written : 1)));
    if (buffer == nullptr) {
        return 0;
    }
    fillRamps(&description, buffer, written, description.cColorBits == 8);
    SetPaletteEntries(palette, 0, written, buffer);
    kitFree(buffer);
    return kitRealizePalette(kit.deviceContext, kit.palette, 0);
}

int kitGetColourMapSize(void) {
    kitEnsureIndexPalette(kit.deviceContext);
    if (kit.palette == nullptr) {
        return 0;
    }
    return (int)GetPaletteEntries(kit.palette, 0, 0, nullptr);
}
