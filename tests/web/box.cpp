// A program for the page's test only (never in out/web): a kit window, a message box over it, and
// main returning 3 once the box is answered, so the test sees the box in the page and a non-zero
// exit code from a main that has waited.
#include "platform/win32.h"
#include "kit/kit.h"

int main() {
    kitSetWindowRect(0, 0, 200, 100);
    kitSetDisplayMode(KIT_RGBA | KIT_DOUBLE);
    if (!kitOpenWindow("Wrendle web check: box")) {
        return 1;
    }
    MessageBoxA(kitGetWindow(), "First line.\nSecond line.", "Wrendle check", MB_OK);
    return 3;
}
