// What tests under a Wayland compositor (scripts/with-sway, scripts/with-weston) share: whether
// they run there, the program's window found through sway's tree, screenshots with grim, keys with
// wtype, the compositor's close, and the test pointer client.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// True when the environment names a Wayland compositor and no X server.
bool onWayland(void);

// The rectangle (layout coordinates) of the first window whose app_id begins with `appId`,
// from `swaymsg -t get_tree`; false when there is none.
bool swayWindowRect(const char* appId, int* x, int* y, int* width, int* height);
// The same for the first window titled `title`, with its app_id when `appId` is given.
bool swayWindowRectTitled(const char* title, int* x, int* y, int* width, int* height,
                          std::string* appId = nullptr);
// Runs a sway command (`swaymsg [app_id=...] words`) on the windows whose app_id begins with
// `appId`, as a user's key binding would: "fullscreen toggle", say.
bool swayCommand(const char* appId, const std::vector<std::string>& command);
// Asks sway to close the windows whose app_id begins with `appId`, as the close box does.
bool swayClose(const char* appId);
// Gives that window the keyboard, as a click on it does.
bool swayFocus(const char* appId);
// Asks sway to put the window back in the middle of the output, as a user would drag it there.
bool swayCentre(const char* appId);

// A screenshot of a rectangle of the layout, as rows of RGB bytes from the top.
bool grimCapture(int x, int y, int width, int height, std::vector<uint8_t>* rgb);
// The whole output of a weston started with --debug (scripts/with-weston), the same way.
bool westonCapture(int* width, int* height, std::vector<uint8_t>* rgb);

// Types through the virtual-keyboard protocol: `wtype -k NAME` for a key by its keysym name,
// with Shift held if asked; or text.
bool wtypeKey(const char* keysymName, bool shift = false);
bool wtypeText(const char* text);

// Runs a command line and waits for it; its exit code (127 when it could not run), and what it
// wrote to standard output when `output` is given.
int runCommand(const std::vector<std::string>& words, std::string* output = nullptr);
