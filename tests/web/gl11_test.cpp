// The OpenGL 1.1 layer of the browser, built natively on Mesa's OpenGL ES 2, against Mesa's own
// desktop OpenGL: the same scenes drawn both ways must give the same pixels, every one of them.
#include "platform/emulated/web/gl11.h"
#include "platform/emulated/web/gl11_raster.h"
#include "tests/web/scenes.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// The layer's entry points this file calls itself (the scenes reach the rest through
// through_layer.h).
extern "C" {
GLenum gl11_glGetError(void);
void gl11_glGetIntegerv(GLenum name, GLint* values);
void gl11_glClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void gl11_glViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void gl11_glClear(GLbitfield mask);
}

namespace {

// A surfaceless EGL display with one pbuffer of the scenes' size per API: desktop OpenGL in a
// compatibility profile (as the headless backend makes it) and OpenGL ES 2 for the layer. Both
// have a depth buffer, as the canvas always has (web/gl.cpp): without one, llvmpipe fills screen
// rectangles in 64-pixel tiles that hold nothing else through an 8-bit path of its own, which
// truncates a colour that is the same across the rectangle where every other path rounds it.
struct Contexts {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface desktopSurface = EGL_NO_SURFACE;
    EGLSurface esSurface = EGL_NO_SURFACE;
    EGLContext desktop = EGL_NO_CONTEXT;
    EGLContext es = EGL_NO_CONTEXT;
    bool layerStarted = false;
};
Contexts contexts;

bool makeContext(EGLenum api, const EGLint* contextAttributes, EGLint renderable,
                 EGLSurface* surface, EGLContext* context) {
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                       EGL_PBUFFER_BIT,
                                       EGL_RENDERABLE_TYPE,
                                       renderable,
                                       EGL_RED_SIZE,
                                       8,
                                       EGL_GREEN_SIZE,
                                       8,
                                       EGL_BLUE_SIZE,
                                       8,
                                       EGL_ALPHA_SIZE,
                                       8,
                                       EGL_DEPTH_SIZE,
                                       16,
                                       EGL_NONE};
    EGLConfig config;
    EGLint found = 0;
    if (!eglChooseConfig(contexts.display, configAttributes, &config, 1, &found) || found < 1) {
        return false;
    }
    const EGLint size[] = {EGL_WIDTH, SCENE_WIDTH, EGL_HEIGHT, SCENE_HEIGHT, EGL_NONE};
    *surface = eglCreatePbufferSurface(contexts.display, config, size);
    if (*surface == EGL_NO_SURFACE || !eglBindAPI(api)) {
        return false;
    }
    *context = eglCreateContext(contexts.display, config, EGL_NO_CONTEXT, contextAttributes);
    return *context != EGL_NO_CONTEXT;
}

bool useDesktop(void) {
    return eglMakeCurrent(contexts.display, contexts.desktopSurface, contexts.desktopSurface,
                          contexts.desktop);
}

bool useLayer(void) {
    return eglMakeCurrent(contexts.display, contexts.esSurface, contexts.esSurface, contexts.es);
}

// The current surface's pixels as RGBA bytes, bottom row first. The layer gathers primitives
// until it is told that its drawing is about to be read, as the web backend does at a swap.
std::vector<unsigned char> readBack(void) {
    std::vector<unsigned char> pixels((size_t)SCENE_WIDTH * SCENE_HEIGHT * 4);
    if (eglGetCurrentContext() == contexts.es) {
        gl11Flush();
    }
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, SCENE_WIDTH, SCENE_HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

class Gl11 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay =
            (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
        if (getPlatformDisplay == nullptr) {
            return;
        }
        contexts.display =
            getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (contexts.display == EGL_NO_DISPLAY ||
            !eglInitialize(contexts.display, nullptr, nullptr)) {
            return;
        }
        const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        const EGLint es2[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
        if (!makeContext(EGL_OPENGL_API, compatibility, EGL_OPENGL_BIT, &contexts.desktopSurface,
                         &contexts.desktop) ||
            !makeContext(EGL_OPENGL_ES_API, es2, EGL_OPENGL_ES2_BIT, &contexts.esSurface,
                         &contexts.es)) {
            return;
        }
        contexts.layerStarted = useLayer() && gl11Start();
    }

    // The display stays initialised until the process ends: terminating it leaves two blocks of
    // llvmpipe's compiled code unreachable, which the leak check reports with no frame to suppress.

    void SetUp() override { ASSERT_TRUE(contexts.layerStarted) << "no EGL contexts or no layer"; }
};

// Draws scene `index` both ways and counts the pixels that differ, and of them those more than
// one unit apart in some channel (a pixel covered on one side only); the first few of those are
// printed.
int differingPixels(int index, int* shapeDiffering = nullptr) {
    EXPECT_TRUE(useDesktop());
    desktopScenes[index].draw();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "desktop " << desktopScenes[index].name;
    std::vector<unsigned char> expected = readBack();
    EXPECT_TRUE(useLayer());
    layerScenes[index].draw();
    EXPECT_EQ(gl11_glGetError(), (GLenum)GL_NO_ERROR) << "layer " << layerScenes[index].name;
    std::vector<unsigned char> got = readBack();
    int differing = 0;
    int shape = 0; // of which more than one unit apart: a pixel of another primitive
    for (size_t p = 0; p < expected.size(); p += 4) {
        if (std::memcmp(&expected[p], &got[p], 3) == 0) {
            continue;
        }
        differing++;
        int most = 0;
        for (int c = 0; c < 3; c++) {
            int d = std::abs((int)expected[p + c] - (int)got[p + c]);
            most = d > most ? d : most;
        }
        if (most > 1 && ++shape <= 5) {
            int x = (int)(p / 4) % SCENE_WIDTH, y = (int)(p / 4) / SCENE_WIDTH;
            std::printf("  %s at (%d, %d): Mesa %d,%d,%d, the layer %d,%d,%d\n",
                        desktopScenes[index].name, x, y, expected[p], expected[p + 1],
                        expected[p + 2], got[p], got[p + 1], got[p + 2]);
        }
    }
    std::printf("%-18s %d differing pixels, %d of them by more than one unit\n",
                desktopScenes[index].name, differing, shape);
    if (shapeDiffering != nullptr) {
        *shapeDiffering = shape;
    }
    return differing;
}

// Where the layer cannot agree with Mesa, the difference is pinned here with its reason, so that
// the test fails when it grows and when it shrinks. Every other scene must agree on every pixel.
struct Known {
    const char* scene;
    int differing; // pixels, all of them one unit apart in a colour
    const char* reason;
};
const Known KNOWN[] = {
    {"smooth_lines", 92,
     "a line whose colour changes along it: llvmpipe works out each pixel's colour from the "
     "line's own plane, the GPU under the layer between the corners of the rectangles the layer "
     "draws; the two agree to the last bit of a float, which decides the byte where the colour "
     "lies a rounding away from a half"},
};

TEST_F(Gl11, EveryScenePixelForPixelAsMesa) {
    for (int i = 0; i < SCENE_COUNT; i++) {
        int expected = 0;
        for (const Known& k : KNOWN) {
            if (std::strcmp(k.scene, desktopScenes[i].name) == 0) {
                expected = k.differing;
            }
        }
        int shape = 0;
        EXPECT_EQ(differingPixels(i, &shape), expected) << desktopScenes[i].name;
        EXPECT_EQ(shape, 0) << desktopScenes[i].name;
    }
}

// The layer hands a colour that is the same across a primitive to WebGL as the byte Mesa writes
// for it, over 255: every byte must come back from that value unchanged, whatever rounds it.
TEST(Gl11Colours, EveryByteSurvivesTheWayThroughWebGl) {
    for (int k = 0; k < 256; k++) {
        EXPECT_EQ(gl11raster::colourByte((float)k / 255.0f), k) << k;
    }
    EXPECT_EQ(gl11raster::colourByte(-0.25f), 0);
    EXPECT_EQ(gl11raster::colourByte(1.5f), 255);
}

// The scenes draw something: a blank or one-colour picture would agree trivially.
TEST_F(Gl11, ScenesAreNotBlank) {
    for (int i = 0; i < SCENE_COUNT; i++) {
        ASSERT_TRUE(useLayer());
        layerScenes[i].draw();
        std::vector<unsigned char> got = readBack();
        int colours = 0;
        unsigned seen[8] = {};
        for (size_t p = 0; p < got.size() && colours < 2; p += 4) {
            unsigned rgb = (unsigned)got[p] << 16 | (unsigned)got[p + 1] << 8 | got[p + 2];
            if (colours == 0 || seen[0] != rgb) {
                seen[colours++] = rgb;
            }
        }
        EXPECT_EQ(colours, i == 0 ? 1 : 2) << layerScenes[i].name;
    }
}

// Matrices after transforms, the state read back, and the errors of misplaced calls, in order.
TEST_F(Gl11, StateAndErrorsAsMesa) {
    Queries expected = {}, got = {};
    ASSERT_TRUE(useDesktop());
    desktopQueries(&expected);
    ASSERT_TRUE(useLayer());
    layerQueries(&got);
    for (int i = 0; i < 16; i++) {
        EXPECT_FLOAT_EQ(got.modelview[i], expected.modelview[i]) << "modelview " << i;
        EXPECT_FLOAT_EQ(got.projection[i], expected.projection[i]) << "projection " << i;
    }
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(got.viewport[i], expected.viewport[i]);
        EXPECT_EQ(got.largestViewport[i], expected.largestViewport[i]);
        EXPECT_FLOAT_EQ(got.colour[i], expected.colour[i]);
    }
    EXPECT_EQ(got.pointSize, expected.pointSize);
    EXPECT_EQ(got.lineWidth, expected.lineWidth);
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(got.errors[i], expected.errors[i]) << "error " << i;
    }
    EXPECT_EQ(expected.errors[0], (unsigned)GL_STACK_UNDERFLOW);
}

// What a true-colour double-buffered context answers, and the drawing after a lost context.
TEST_F(Gl11, TrueColourDoubleBufferedAndRestoredAfterLoss) {
    ASSERT_TRUE(useLayer());
    GLint value = -1;
    gl11_glGetIntegerv(GL_DOUBLEBUFFER, &value);
    EXPECT_EQ(value, 1);
    gl11_glGetIntegerv(GL_RGBA_MODE, &value);
    EXPECT_EQ(value, 1);
    gl11_glGetIntegerv(GL_INDEX_MODE, &value);
    EXPECT_EQ(value, 0);
    gl11_glGetIntegerv(GL_DRAW_BUFFER, &value);
    EXPECT_EQ(value, GL_BACK);

    int before = differingPixels(6);
    gl11Lost();
    gl11_glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    gl11_glViewport(0, 0, SCENE_WIDTH, SCENE_HEIGHT);
    gl11_glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(gl11Restore());
    gl11_glClear(GL_COLOR_BUFFER_BIT);
    std::vector<unsigned char> got = readBack();
    EXPECT_EQ(got[0], 255);
    EXPECT_EQ(got[1], 0);
    EXPECT_EQ(differingPixels(6), before) << "the game after a restore";
}

} // namespace
