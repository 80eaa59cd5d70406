// The test controls that make sense on real Win32: the virtual clock, fault injection for
// GetCursorPos and the record of message boxes. Test programs only, never the product;
// wrendle_test adds this file to every Windows test program that includes platform/testctl.h.
//
// The game and the kit call GetTickCount, Sleep, GetCursorPos and MessageBoxA through
// <windows.h>, that is through the import slots __imp_GetTickCount, __imp_Sleep,
// __imp_GetCursorPos and __imp_MessageBoxA. A test program linking this file takes those slots
// from here instead of from the system's import libraries, so the code under test runs
// unchanged while the test steers what it sees. The real services are reached through other
// entries: GetTickCount64, SleepEx, GetCursorInfo and MessageBoxExA. The slots carry these names
// with the 64-bit Windows toolchains (MinGW-w64, and MSVC for x64).
#include "platform/testctl.h"
#include "platform/testctl/clock.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct Fault {
    int skip = 0;
    int times = 0;
};

Fault faults[TEST_OPERATION_COUNT];

bool shouldFail(TestOperation op) {
    Fault& fault = faults[op];
    if (fault.skip > 0) {
        fault.skip--;
        return false;
    }
    if (fault.times > 0) {
        fault.times--;
        return true;
    }
    return false;
}

DWORD WINAPI steeredGetTickCount(void) {
    if (virtualClock.on) {
        return virtualClock.tick;
    }
    return (DWORD)GetTickCount64();
}

void WINAPI steeredSleep(DWORD milliseconds) {
    if (!virtualSleep(milliseconds)) {
        SleepEx(milliseconds, FALSE);
    }
}

BOOL WINAPI steeredGetCursorPos(LPPOINT point) {
    if (shouldFail(TEST_GET_CURSOR_POS)) {
        return FALSE;
    }
    CURSORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetCursorInfo(&info)) {
        return FALSE;
    }
    *point = info.ptScreenPos;
    return TRUE;
}

const int BOX_SLOTS = 32;
const int BOX_TEXT = 256;

struct BoxRecord {
    bool on = false;
    int count = 0;
    char text[BOX_SLOTS][BOX_TEXT] = {};
    char caption[BOX_SLOTS][BOX_TEXT] = {};
    void (*hook)(const char* text, const char* caption) = nullptr;
};

BoxRecord boxes;

// Cut short to the slot; a plain loop, as MSVC deprecates strncpy.
void copyText(char* to, const char* from) {
    int n = 0;
    for (; from != nullptr && from[n] != '\0' && n < BOX_TEXT - 1; n++) {
        to[n] = from[n];
    }
    to[n] = '\0';
}

int WINAPI steeredMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (!boxes.on) {
        return MessageBoxExA(owner, text, caption, type, 0);
    }
    // Boxes beyond the last slot are counted but not kept.
    if (boxes.count < BOX_SLOTS) {
        copyText(boxes.text[boxes.count], text);
        copyText(boxes.caption[boxes.count], caption);
    }
    boxes.count++;
    if (boxes.hook != nullptr) {
        boxes.hook(text, caption);
    }
    return IDOK;
}

} // namespace

extern "C" {
// The import slots; their names are fixed by the Windows toolchains.
DWORD(WINAPI* __imp_GetTickCount)(void) = steeredGetTickCount;
void(WINAPI* __imp_Sleep)(DWORD) = steeredSleep;
BOOL(WINAPI* __imp_GetCursorPos)(LPPOINT) = steeredGetCursorPos;
int(WINAPI* __imp_MessageBoxA)(HWND, LPCSTR, LPCSTR, UINT) = steeredMessageBoxA;
}

void testFailCall(TestOperation op, int skip, int times) {
    if (op < 0 || op >= TEST_OPERATION_COUNT) {
        return;
    }
    // A fault that cannot be injected here must not let a test pass without it.
    if (op != TEST_GET_CURSOR_POS) {
        std::fprintf(stderr, "testFailCall: operation %d cannot fail on Windows\n", (int)op);
        std::abort();
    }
    faults[op].skip = skip;
    faults[op].times = times;
}

void testClearFaults(void) {
    for (Fault& fault : faults) {
        fault = Fault();
    }
}

void testRecordMessageBoxes(int on) {
    boxes.on = on != 0;
}

int testMessageBoxCount(void) {
    return boxes.count;
}

const char* testMessageBoxText(int index) {
    return index >= 0 && index < boxes.count && index < BOX_SLOTS ? boxes.text[index] : "";
}

const char* testMessageBoxCaption(int index) {
    return index >= 0 && index < boxes.count && index < BOX_SLOTS ? boxes.caption[index] : "";
}

void testClearMessageBoxes(void) {
    boxes.count = 0;
}

void testSetMessageBoxHook(void (*hook)(const char* text, const char* caption)) {
    boxes.hook = hook;
}
