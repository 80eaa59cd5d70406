// Drives a real program from outside: starts it, finds its window, reads the window's pixels,
// sends keys with XTest and the close box as WM_DELETE_WINDOW, and waits for it to end. The same
// on a Wayland compositor, and for the web build in headless Chromium (see onWeb).
#pragma once

#include "tests/support/support.h"

#include <X11/keysym.h>

#include <cstdint>
#include <string>
#include <vector>

// The program under test: WRENDLE_EXE if set (a command line, e.g. "wine /path/wrendle.exe"),
// else the wrendle of this build.
std::string programCommand(void);

// True when the program under test is the web build's page: WRENDLE_E2E_WEB names the page's
// folder, and tests/web/drive.js runs the page in headless Chromium in the program's place.
bool onWeb(void);

struct Program {
    int pid = -1;
    double startedAt = 0;    // seconds on the monotonic clock
    std::string errorFile;   // its standard error goes here
    void* display = nullptr; // the test's own X connection (Display*), kept out of this header
    unsigned long window = 0;
    int exitCode = -1; // once it has ended: its code, or 128 + signal
    bool ended = false;
    int toPage = -1; // the web build's page: commands to drive.js, and its answers
    int fromPage = -1;
    int pageWidth = 0; // its canvas's drawing buffer
    int pageHeight = 0;
    // The page knows which pixels a capture of the samples reads: set by the first capture.
    mutable bool pagePointsSent = false;
};

// The shared clock's pause under the name the e2e tests use.
inline void pause(double seconds) {
    pauseSeconds(seconds);
}

// Starts the program with DISPLAY set to `displayName` (null: inherited). `extraEnv` entries
// are "NAME=value", or "NAME" to unset it. Returns false when it could not be started at all.
bool launch(Program* program, const char* displayName = nullptr,
            const std::vector<std::string>& extraEnv = {});
// Finds the program's window (WM_CLASS "tkLibWClass", or a title beginning "<<Wrendle>>") once
// it is viewable; gives it the input focus. False after `seconds`.
bool waitForWindow(Program* program, double seconds);
// Waits until the program has ended; false after `seconds`.
bool waitForExit(Program* program, double seconds);
// Ends a program that is still running (SIGKILL) and reaps it.
void stopProgram(Program* program);
// Whatever the program wrote to standard error.
std::string errorText(const Program& program);
// Closes the display connection and removes the error file.
void releaseProgram(Program* program);

// The window's client size and its origin on the root window.
bool windowGeometry(const Program& program, int* x, int* y, int* width, int* height);

// Reads the window and returns the shade of every sample pixel (see model.h), with grey and
// navy folded together where the sample may lie on a grid line. False when the window could not
// be read. `drawn` tells whether the field's border is on show (anything drawn yet).
bool captureShades(const Program& program, std::vector<uint8_t>* shades, bool* drawn);
// The colour of one pixel in drawing coordinates; false if it cannot be seen.
bool pixelAt(const Program& program, int x, int y, int* red, int* green, int* blue);

// XTest input: a key by keysym (with Shift held if asked), pointer motion in client
// coordinates, a button click.
void pressKey(const Program& program, unsigned long keysym, bool shift = false);
void movePointer(const Program& program, int x, int y);
void clickButton(const Program& program, unsigned button);
// The close box: a WM_PROTOCOLS ClientMessage with WM_DELETE_WINDOW, as a window manager sends.
void sendCloseBox(const Program& program);
// A one-finger swipe across the window (a touch screen): "left", "right", "up" or "down". Only
// the web build's page takes touches.
void swipe(const Program& program, const char* direction);
// Presses or releases a pointer button alone; syncs.
void setButton(const Program& program, unsigned button, bool down);
// Resizes the window, or moves and resizes it (root coordinates), as another client may.
void resizeWindow(const Program& program, int width, int height);
void moveResizeWindow(const Program& program, int x, int y, int width, int height);
