// Windows decorated through libdecor under sway: a compositor may answer the request for
// server-side decorations with client-side ones (KWin does where the user prefers them). sway
// never does, so its answer is delivered to the window's own listeners as such a compositor sends
// it; the window must then open at its size, show what is drawn, frame its message boxes the same
// way and hear the compositor's close. (weston, which offers no xdg-decoration, is the other way
// to libdecor: tests/wayland/weston_test.cpp.)
#include <gtest/gtest.h>

#include "platform/emulated/wayland/wayland.h"
#include "tests/support/support.h"
#include "tests/support/wayland.h"
#include "tests/support/messages.h"

#include <GL/gl.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

const char* const CLASS_NAME = "waylandDecorTest";
// The program's name, as the kernel keeps it (15 characters).
const char* const APP_ID = "wayland_decor_t";
const int WIDTH = 300;
const int HEIGHT = 200;

struct Logged {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Logged> logged;

LRESULT CALLBACK logProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    logged.push_back(Logged{message, wParam, lParam});
    if (message == WM_CLOSE) {
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int find(UINT message, size_t from) {
    for (size_t i = from; i < logged.size(); i++) {
        if (logged[i].message == message) {
            return (int)i;
        }
    }
    return -1;
}

// The compositor's answer of client-side decorations, then the configure that carries it.
void answerClientSide(WaylandWindow* part) {
    auto decorationCalls = (const zxdg_toplevel_decoration_v1_listener*)wl_proxy_get_listener(
        (wl_proxy*)part->decoration);
    auto surfaceCalls =
        (const xdg_surface_listener*)wl_proxy_get_listener((wl_proxy*)part->shellSurface);
    ASSERT_NE(decorationCalls, nullptr) << "nobody listens to the compositor's answer";
    decorationCalls->configure(wl_proxy_get_user_data((wl_proxy*)part->decoration),
                               part->decoration, ZXDG_TOPLEVEL_DECORATION_V1_MODE_CLIENT_SIDE);
    surfaceCalls->configure(wl_proxy_get_user_data((wl_proxy*)part->shellSurface),
                            part->shellSurface, 1);
}

// One window's whole life through libdecor after a client-side answer: shown at its size, a frame
// drawn with OpenGL on the output, a message box framed the same way, the compositor's close
// heard.
TEST(WaylandLibdecor, AClientSideAnswerGivesTheWindowAndItsBoxesLibdecorFrames) {
    ASSERT_TRUE(onWayland()) << "runs under scripts/with-sway";
    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof(wc));
    wc.lpfnWndProc = logProc;
    wc.lpszClassName = CLASS_NAME;
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND window = CreateWindowExA(0, CLASS_NAME, "Decorated by libdecor", WS_POPUP, 0, 0, WIDTH,
                                  HEIGHT, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    WaylandWindow* part = waylandPart(windowRecord(window));
    ASSERT_NE(part->decoration, nullptr) << "sway offers server-side decorations";
    ASSERT_EQ(part->frame, nullptr);
    answerClientSide(part);
    ASSERT_NE(part->frame, nullptr) << "no libdecor frame after a client-side answer";
    EXPECT_EQ(part->toplevel, nullptr) << "the plain toplevel is still there";
    EXPECT_EQ(part->decoration, nullptr);
    EXPECT_TRUE(pumpUntil([&] { return part->configured; }, 5)) << "the frame was not configured";
    int size = -1;
    ASSERT_TRUE(pumpUntil([&] { return (size = find(WM_SIZE, 0)) >= 0; }, 5));
    EXPECT_EQ(LOWORD(logged[size].lParam), WIDTH);
    EXPECT_EQ(HIWORD(logged[size].lParam), HEIGHT);
    int x = 0, y = 0, w = 0, h = 0;
    ASSERT_TRUE(pumpUntil([&] { return swayWindowRect(APP_ID, &x, &y, &w, &h); }, 5));
    EXPECT_EQ(w, WIDTH) << "the content keeps the window's size";
    EXPECT_EQ(h, HEIGHT);

    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR request;
    std::memset(&request, 0, sizeof(request));
    request.nSize = sizeof(request);
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 24;
    int format = ChoosePixelFormat(dc, &request);
    ASSERT_GT(format, 0);
    ASSERT_TRUE(SetPixelFormat(dc, format, &request));
    HGLRC context = wglCreateContext(dc);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(wglMakeCurrent(dc, context));
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(SwapBuffers(dc));
    std::vector<uint8_t> rgb;
    bool green = pumpUntil(
        [&] {
            if (!swayWindowRect(APP_ID, &x, &y, &w, &h) || !grimCapture(x, y, w, h, &rgb)) {
                return false;
            }
            const uint8_t* centre = &rgb[((size_t)(h / 2) * (size_t)w + (size_t)(w / 2)) * 3];
            return centre[1] > 200 && centre[0] < 50 && centre[2] < 50;
        },
        5);
    EXPECT_TRUE(green) << "the first frame shows";
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(context);
    ReleaseDC(window, dc);

    // A message box is framed the same way, and Escape still answers it.
    std::atomic<bool> boxFound{false};
    std::atomic<bool> boxShown{false};
    std::thread user([&] {
        int bx = 0, by = 0, bw = 0, bh = 0;
        boxFound =
            waitUntil([&] { return swayWindowRectTitled("Framed box", &bx, &by, &bw, &bh); }, 5);
        std::vector<uint8_t> paper;
        boxShown = boxFound && waitUntil(
                                   [&] {
                                       return grimCapture(bx, by, bw, bh, &paper) &&
                                              paper[0] > 200 && paper[1] > 200 && paper[2] > 200;
                                   },
                                   5);
        wtypeKey("Escape");
        if (!waitUntil([&] { return !swayWindowRectTitled("Framed box", &bx, &by, &bw, &bh); },
                       5)) {
            runCommand({"swaymsg", "[title=\"Framed box\"]", "kill"});
        }
    });
    EXPECT_EQ(MessageBoxA(window, "In a frame", "Framed box", MB_OK), IDOK);
    user.join();
    EXPECT_TRUE(boxFound) << "no box titled by its caption";
    EXPECT_TRUE(boxShown) << "the box's picture did not show";

    size_t from = logged.size();
    ASSERT_TRUE(swayClose(APP_ID));
    EXPECT_TRUE(pumpUntil([&] { return find(WM_CLOSE, from) >= 0; }, 5)) << "no WM_CLOSE";
    DestroyWindow(window);
    pump();
}

} // namespace
