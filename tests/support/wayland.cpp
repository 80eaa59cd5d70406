// Wayland test helpers over sway's own tools: swaymsg for the window tree and closing, grim for
// screenshots, wtype for keys.
#include "tests/support/wayland.h"

#include "tests/support/support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

bool onWayland(void) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* x = std::getenv("DISPLAY");
    return wayland != nullptr && wayland[0] != '\0' && (x == nullptr || x[0] == '\0');
}

int runCommand(const std::vector<std::string>& words, std::string* output) {
    int pipeFds[2] = {-1, -1};
    if (output != nullptr && pipe(pipeFds) != 0) {
        return 127;
    }
    pid_t pid = fork();
    if (pid < 0) {
        return 127;
    }
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(output != nullptr ? pipeFds[1] : devnull, 1);
        if (output != nullptr) {
            close(pipeFds[0]);
            close(pipeFds[1]);
        }
        execWords(words);
    }
    if (output != nullptr) {
        close(pipeFds[1]);
        output->clear();
        char buffer[4096];
        ssize_t got;
        while ((got = read(pipeFds[0], buffer, sizeof(buffer))) > 0) {
            output->append(buffer, (size_t)got);
        }
        close(pipeFds[0]);
    }
    int code = 127;
    reapChild(pid, true, &code);
    return code;
}

namespace {

int numberAfter(const std::string& text, size_t from, const char* key, size_t limit) {
    size_t at = text.find(key, from);
    if (at == std::string::npos || at > limit) {
        return -1;
    }
    return std::atoi(text.c_str() + at + std::strlen(key));
}

} // namespace

// sway's JSON gives each node's "rect" before its "app_id"; the window's node is a leaf, so the
// last "rect" before its app_id is its own. Without borders that is the client area.
bool swayWindowRect(const char* appId, int* x, int* y, int* width, int* height) {
    std::string tree;
    if (runCommand({"swaymsg", "-r", "-t", "get_tree"}, &tree) != 0) {
        return false;
    }
    std::string needle = std::string("\"app_id\": \"") + appId;
    size_t at = tree.find(needle);
    if (at == std::string::npos) {
        return false;
    }
    size_t rect = tree.rfind("\"rect\": {", at);
    if (rect == std::string::npos) {
        return false;
    }
    size_t end = tree.find('}', rect);
    *x = numberAfter(tree, rect, "\"x\": ", end);
    *y = numberAfter(tree, rect, "\"y\": ", end);
    *width = numberAfter(tree, rect, "\"width\": ", end);
    *height = numberAfter(tree, rect, "\"height\": ", end);
    return *width > 0 && *height > 0;
}

// A view's "name" (its title) comes after its "rect" and before its "app_id".
bool swayWindowRectTitled(const char* title, int* x, int* y, int* width, int* height,
                          std::string* appId) {
    std::string tree;
    if (runCommand({"swaymsg", "-r", "-t", "get_tree"}, &tree) != 0) {
        return false;
    }
    size_t at = tree.find(std::string("\"name\": \"") + title + "\"");
    size_t rect = at == std::string::npos ? at : tree.rfind("\"rect\": {", at);
    if (rect == std::string::npos) {
        return false;
    }
    size_t end = tree.find('}', rect);
    *x = numberAfter(tree, rect, "\"x\": ", end);
    *y = numberAfter(tree, rect, "\"y\": ", end);
    *width = numberAfter(tree, rect, "\"width\": ", end);
    *height = numberAfter(tree, rect, "\"height\": ", end);
    if (appId != nullptr) {
        const char* key = "\"app_id\": \"";
        size_t id = tree.find(key, at);
        size_t start = id == std::string::npos ? id : id + std::strlen(key);
        *appId =
            start == std::string::npos ? "" : tree.substr(start, tree.find('"', start) - start);
    }
    return *width > 0 && *height > 0;
}

bool swayCommand(const char* appId, const std::vector<std::string>& command) {
    std::vector<std::string> words = {"swaymsg", std::string("[app_id=\"^") + appId + "\"]"};
    words.insert(words.end(), command.begin(), command.end());
    return runCommand(words) == 0;
}

bool swayClose(const char* appId) {
    return swayCommand(appId, {"kill"});
}

bool swayFocus(const char* appId) {
    return swayCommand(appId, {"focus"});
}

bool swayCentre(const char* appId) {
    return swayCommand(appId, {"move", "position", "center"});
}

namespace {

// A binary PPM (P6, maxval 255) as grim and ImageMagick write it: its size and its rows of RGB.
bool readPpm(const std::string& image, int* width, int* height, std::vector<uint8_t>* rgb) {
    int maxval = 0, consumed = 0;
    if (std::sscanf(image.c_str(), "P6 %d %d %d%n", width, height, &maxval, &consumed) != 3 ||
        *width <= 0 || *height <= 0 || maxval != 255) {
        return false;
    }
    size_t start = (size_t)consumed + 1; // one white-space byte ends the header
    size_t bytes = (size_t)*width * (size_t)*height * 3;
    if (image.size() < start + bytes) {
        return false;
    }
    rgb->assign(image.begin() + (long)start, image.begin() + (long)(start + bytes));
    return true;
}

} // namespace

bool grimCapture(int x, int y, int width, int height, std::vector<uint8_t>* rgb) {
    char geometry[64];
    std::snprintf(geometry, sizeof(geometry), "%d,%d %dx%d", x, y, width, height);
    std::string image;
    int w = 0, h = 0;
    return runCommand({"grim", "-t", "ppm", "-g", geometry, "-"}, &image) == 0 &&
           readPpm(image, &w, &h, rgb) && w == width && h == height;
}

// weston-screenshooter writes a PNG named by the time into the folder it runs in.
bool westonCapture(int* width, int* height, std::vector<uint8_t>* rgb) {
    char folder[] = "/tmp/wrendle-shot-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return false;
    }
    std::string listing;
    std::string image;
    bool taken =
        runCommand({"sh", "-c", std::string("cd ") + folder + " && weston-screenshooter"}) == 0 &&
        runCommand({"sh", "-c", std::string("ls ") + folder + "/*.png"}, &listing) == 0 &&
        !listing.empty();
    if (taken) {
        listing.erase(listing.find('\n'));
        taken = runCommand({"convert", listing, "ppm:-"}, &image) == 0 &&
                readPpm(image, width, height, rgb);
        std::remove(listing.c_str());
    }
    rmdir(folder);
    return taken;
}

bool wtypeKey(const char* keysymName, bool shift) {
    if (shift) {
        return runCommand({"wtype", "-M", "shift", "-k", keysymName, "-m", "shift"}) == 0;
    }
    return runCommand({"wtype", "-k", keysymName}) == 0;
}

bool wtypeText(const char* text) {
    return runCommand({"wtype", text}) == 0;
}
