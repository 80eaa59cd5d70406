// Text for titles, class names and boxes: truncating copies and UTF-8 from Latin-1 and from
// wide strings.
#include "platform/emulated/core/core.h"

#include <cstring>

namespace {

// Appends one code point as UTF-8 if it fits; returns the new length.
size_t putUtf8(char* out, size_t length, size_t capacity, uint32_t c) {
    char bytes[4];
    size_t n;
    if (c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) {
        c = 0xfffd;
    }
    if (c < 0x80) {
        bytes[0] = (char)c;
        n = 1;
    } else if (c < 0x800) {
        bytes[0] = (char)(0xc0 | (c >> 6));
        bytes[1] = (char)(0x80 | (c & 0x3f));
        n = 2;
    } else if (c < 0x10000) {
        bytes[0] = (char)(0xe0 | (c >> 12));
        bytes[1] = (char)(0x80 | ((c >> 6) & 0x3f));
        bytes[2] = (char)(0x80 | (c & 0x3f));
        n = 3;
    } else {
        bytes[0] = (char)(0xf0 | (c >> 18));
        bytes[1] = (char)(0x80 | ((c >> 12) & 0x3f));
        bytes[2] = (char)(0x80 | ((c >> 6) & 0x3f));
        bytes[3] = (char)(0x80 | (c & 0x3f));
        n = 4;
    }
    if (length + n + 1 > capacity) {
        return length;
    }
    std::memcpy(out + length, bytes, n);
    out[length + n] = 0;
    return length + n;
}

// Converts code point by code point until the text ends or the next one does not fit.
template <typename Unit> void toUtf8(const Unit* text, char* out, size_t capacity) {
    size_t length = 0;
    out[0] = 0;
    for (const Unit* p = text; p != nullptr && *p != 0; p++) {
        size_t next = putUtf8(out, length, capacity, (uint32_t)*p);
        if (next == length) {
            break;
        }
        length = next;
    }
}

} // namespace

bool copyText(char* out, size_t capacity, const char* text) {
    size_t i = 0;
    for (; text != nullptr && text[i] != 0 && i + 1 < capacity; i++) {
        out[i] = text[i];
    }
    out[i] = 0;
    return text == nullptr || text[i] == 0;
}

void latin1ToUtf8(const char* text, char* out, size_t capacity) {
    toUtf8((const unsigned char*)text, out, capacity);
}

void wideToUtf8(const wchar_t* text, char* out, size_t capacity) {
    toUtf8(text, out, capacity);
}
