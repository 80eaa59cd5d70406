// The compositor goes away under a running program: the real game, and a kit window waiting in
// its message loop. Each runs under a sway of its own (scripts/with-sway), which the test kills;
// the program must end at once with a message and the code a lost X display gives, never hang.
#include <gtest/gtest.h>

#include "kit/kit.h"
#include "tests/support/support.h"
#include "tests/support/wayland.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#ifndef WRENDLE_GAME
#define WRENDLE_GAME "wrendle"
#endif
#ifndef WRENDLE_WITH_SWAY
#define WRENDLE_WITH_SWAY "scripts/with-sway"
#endif

namespace {

// What the X11 backend's lost display ends with.
const int LOST_DISPLAY_CODE = 3;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct SwayRun {
    pid_t pid = -1;     // scripts/with-sway, which passes the program's exit code on
    std::string info;   // the compositor's pid and IPC socket, written from inside
    std::string errors; // the program's standard error
};

// Starts `words` under a sway of its own; a shell inside writes where the compositor is.
bool start(SwayRun* run, const std::vector<std::string>& words) {
    char info[] = "/tmp/wrendle-lost-info-XXXXXX";
    char errors[] = "/tmp/wrendle-lost-err-XXXXXX";
    int infoFd = mkstemp(info);
    int errorFd = mkstemp(errors);
    if (infoFd < 0 || errorFd < 0) {
        return false;
    }
    close(infoFd);
    unlink(info); // written whole by the shell once the compositor is up
    run->info = info;
    run->errors = errors;
    std::vector<std::string> command = {
        WRENDLE_WITH_SWAY, "/bin/sh", "-c",
        "echo \"$WRENDLE_SWAY_PID $SWAYSOCK\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0\" && exec \"$@\"",
        run->info};
    command.insert(command.end(), words.begin(), words.end());
    run->pid = fork();
    if (run->pid == 0) {
        setpgid(0, 0); // a group of its own, to be ended whole if the program hangs
        dup2(errorFd, 2);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        execWords(command);
    }
    close(errorFd);
    return run->pid > 0;
}

// Waits until the program's window (app_id beginning `appId`) is on the compositor; its pid.
pid_t waitForWindow(const SwayRun& run, const char* appId) {
    pid_t sway = 0;
    std::string socket;
    bool shown = waitUntil(
        [&] {
            std::istringstream words(readFile(run.info));
            if (!(words >> sway >> socket)) {
                return false;
            }
            std::string tree;
            runCommand({"swaymsg", "-s", socket, "-r", "-t", "get_tree"}, &tree);
            return tree.find(std::string("\"app_id\": \"") + appId) != std::string::npos;
        },
        60, [](int ms) { pauseSeconds(ms / 1000.0); }, 50);
    return shown ? sway : 0;
}

// Kills the compositor and gives the program a few seconds to end.
void expectEndsWhenTheCompositorGoes(SwayRun* run, const char* appId) {
    pid_t sway = waitForWindow(*run, appId);
    if (sway <= 0) {
        kill(-run->pid, SIGKILL);
        int code;
        reapChild(run->pid, true, &code);
        FAIL() << "no window appeared; standard error:\n" << readFile(run->errors);
    }
    pauseSeconds(0.5); // well into its loop
    ASSERT_EQ(kill(sway, SIGKILL), 0);
    double killed = secondsNow();
    int code = -1;
    bool ended = waitUntil([&] { return reapChild(run->pid, false, &code); }, 10);
    double took = secondsNow() - killed;
    if (!ended) {
        kill(-run->pid, SIGKILL);
        reapChild(run->pid, true, &code);
    }
    std::string errors = readFile(run->errors);
    unlink(run->info.c_str());
    unlink(run->errors.c_str());
    ASSERT_TRUE(ended) << "still running 10 s after the compositor went";
    EXPECT_LT(took, 3.0);
    EXPECT_EQ(code, LOST_DISPLAY_CODE) << errors;
    EXPECT_NE(errors.find("lost the connection to the Wayland display"), std::string::npos)
        << errors;
    EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
}

TEST(LostCompositor, TheGameEndsWithTheCodeOfALostDisplay) {
    SwayRun run;
    ASSERT_TRUE(start(&run, {WRENDLE_GAME}));
    expectEndsWhenTheCompositorGoes(&run, "wrendle");
}

// The window of the next test, in a process of its own: it waits in GetMessageA for good.
TEST(LostCompositor, KitWindowInTheWaitingLoop) {
    if (std::getenv("WRENDLE_LOST_CHILD") == nullptr) {
        GTEST_SKIP() << "runs inside the next test";
    }
    ASSERT_EQ(kitOpenWindow("waiting"), 1);
    kitSetIdleHandler(nullptr);
    kitRun(nullptr);
    std::_Exit(90); // only a close would end the loop, and nobody closes it
}

TEST(LostCompositor, AKitWindowWaitingForMessagesEnds) {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(length, 0);
    self[length] = '\0';
    setenv("WRENDLE_LOST_CHILD", "1", 1);
    SwayRun run;
    bool started = start(&run, {self, "--gtest_filter=LostCompositor.KitWindowInTheWaitingLoop"});
    unsetenv("WRENDLE_LOST_CHILD");
    ASSERT_TRUE(started);
    // The kernel keeps the first 15 characters of the program's name.
    expectEndsWhenTheCompositorGoes(&run, "wayland_lost_te");
}

} // namespace
