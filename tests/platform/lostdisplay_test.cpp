// Displays of this test's own: one that goes away while a child process waits in GetMessageA
// (the child must end with a message and a non-zero code), and one without GLX.
#include <gtest/gtest.h>

#include "platform/emulated/x11/x11.h"
#include "tests/support/messages.h"

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads what is there within the timeout; empty when nothing came.
std::string readWithin(int fd, int timeoutMs) {
    pollfd wait = {fd, POLLIN, 0};
    if (poll(&wait, 1, timeoutMs) <= 0) {
        return std::string();
    }
    char buffer[256];
    ssize_t length = read(fd, buffer, sizeof(buffer));
    return length > 0 ? std::string(buffer, (size_t)length) : std::string();
}

// Starts an Xvfb of this test's own on a display number that nobody uses; 0 pid when none
// could be started. The number is chosen here, not by -displayfd, so that a server started by
// another test at the same moment can never be mistaken for this one.
pid_t startXvfb(std::string* display, bool withGlx = true) {
    for (int attempt = 0; attempt < 10; attempt++) {
        int number = 100 + (int)((getpid() * 7 + attempt * 131) % 800);
        std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (access(socket.c_str(), F_OK) == 0) {
            continue;
        }
        std::string name = ":" + std::to_string(number);
        pid_t pid = fork();
        if (pid == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
                   withGlx ? "+extension" : "-extension", "GLX", (char*)nullptr);
            _exit(127);
        }
        for (int i = 0; i < 100; i++) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                break; // it could not take the number
            }
            Display* probe = XOpenDisplay(name.c_str());
            if (probe != nullptr) {
                XCloseDisplay(probe);
                *display = name;
                return pid;
            }
            usleep(50 * 1000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return 0;
}

[[noreturn]] void runWindowUntilTheEnd(const std::string& display, int readyFd, int errorFd) {
    setenv("DISPLAY", display.c_str(), 1);
    dup2(errorFd, 2);
    registerTestClass("lostDisplayClass", DefWindowProcA);
    HWND window = CreateWindowExA(0, "lostDisplayClass", "x", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                                  nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "no window on %s (display %s)\n", display.c_str(),
                     x11Display() != nullptr ? "open" : "not open");
        _exit(90);
    }
    ShowWindow(window, SW_SHOW);
    if (write(readyFd, "r", 1) != 1) {
        _exit(91);
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    _exit(0); // a quit message that nobody posted: wrong, and seen as code 0 by the test
}

TEST(LostDisplayTest, ProgramEndsWithAMessageAndAnErrorCode) {
    std::string display;
    pid_t server = startXvfb(&display);
    if (server == 0) {
        GTEST_SKIP() << "Xvfb could not be started";
    }
    int ready[2];
    int errors[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(errors), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        close(errors[0]);
        runWindowUntilTheEnd(display, ready[1], errors[1]);
    }
    close(ready[1]);
    close(errors[1]);
    EXPECT_EQ(readWithin(ready[0], 10000), "r") << "on display " << display;
    // Give the child time to block in GetMessageA, then take its server away.
    usleep(300 * 1000);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);

    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 100 && done == 0; i++) {
        done = waitpid(child, &status, WNOHANG);
        if (done == 0) {
            usleep(100 * 1000);
        }
    }
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the program hung after its display went away";
    }
    std::string message = readWithin(errors[0], 1000);
    close(ready[0]);
    close(errors[0]);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_LT(WEXITSTATUS(status), 90) << "the window could not be opened";
    EXPECT_NE(message.find("lost the connection to the X display"), std::string::npos) << message;
}

// A display without GLX: no pixel format can be chosen, and standard error says why in the
// words a user can act on, before the caller reports its own failure.
TEST(LostDisplayTest, ADisplayWithoutGlxSaysOpenGlIsMissing) {
    std::string display;
    pid_t server = startXvfb(&display, false);
    if (server == 0) {
        GTEST_SKIP() << "Xvfb could not be started";
    }
    int errors[2];
    ASSERT_EQ(pipe(errors), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(errors[0]);
        setenv("DISPLAY", display.c_str(), 1);
        dup2(errors[1], 2);
        registerTestClass("noGlxClass", DefWindowProcA);
        HWND window = CreateWindowExA(0, "noGlxClass", "x", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                                      nullptr, nullptr, nullptr, nullptr);
        if (window == nullptr) {
            _exit(90);
        }
        PIXELFORMATDESCRIPTOR wanted;
        std::memset(&wanted, 0, sizeof(wanted));
        wanted.nSize = sizeof(wanted);
        wanted.nVersion = 1;
        wanted.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        wanted.iPixelType = PFD_TYPE_RGBA;
        wanted.cColorBits = 24;
        HDC dc = GetDC(window);
        int first = ChoosePixelFormat(dc, &wanted);
        int second = ChoosePixelFormat(dc, &wanted);
        std::fflush(stderr);
        _exit(first == 0 && second == 0 ? 0 : 91);
    }
    close(errors[1]);
    std::string written;
    char buffer[256];
    ssize_t length;
    while ((length = read(errors[0], buffer, sizeof(buffer))) > 0) {
        written.append(buffer, (size_t)length);
    }
    close(errors[0]);
    int status = 0;
    waitpid(child, &status, 0);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a format without GLX, or no window: " << written;
    std::string said = "platform_lostdisplay_test: the X display '" + display +
                       "' has no GLX extension: OpenGL (GLX) is missing\n";
    size_t at = written.find(said);
    EXPECT_NE(at, std::string::npos) << written;
    EXPECT_EQ(written.find(said, at + 1), std::string::npos) << "said more than once: " << written;
}

} // namespace
