// The least a page needs to show Wrendle's first frame: plain C++ on Emscripten's HTML5 API and
// OpenGL ES 2 (WebGL 1), linked with nothing of game/, kit/ or platform/ and with Emscripten's
// defaults (no ASYNCIFY: it draws from main and from animation frames, and never blocks). The
// geometry is bench/first_layout.h's, drawn as OpenGL 1.1 rasterizes the game's picture: the grid
// as 1-pixel lines, and the wide border, the food's point, the obstacles and the serpent's
// octagons as triangles covering the pixels OpenGL 1.1 gives them, two draw calls in all.
//   index.html?program=bench_web_peer                 draw the frame once and stay
//   index.html?program=bench_web_peer&args=frames,N   then draw it N times, one per animation
//                                                     frame, each ended with glFinish; print the
//                                                     median frame time in microseconds
#include "bench/first_layout.h"
#include "bench/page_args.h"

#include <GLES2/gl2.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char* const CANVAS = "#canvas";

struct Vertex {
    float x, y;
    float r, g, b;
};

const float NAVY[3] = {0.0f, 0.0f, 0.5f};
const float WHITE[3] = {1.0f, 1.0f, 1.0f};
const float RED[3] = {1.0f, 0.0f, 0.0f};
const float YELLOW[3] = {1.0f, 1.0f, 0.0f};

Layout layout;
std::vector<Vertex> vertices; // the grid's lines first, then the triangles
GLsizei lineVertices = 0;

void add(float x, float y, const float* colour) {
    vertices.push_back(Vertex{x, y, colour[0], colour[1], colour[2]});
}

// The rectangle [x0, x1] x [y0, y1] as two triangles.
void addBox(float x0, float y0, float x1, float y1, const float* colour) {
    add(x0, y0, colour);
    add(x1, y0, colour);
    add(x1, y1, colour);
    add(x0, y0, colour);
    add(x1, y1, colour);
    add(x0, y1, colour);
}

// The frame's vertices, made anew for every frame as a program whose picture moves must.
void buildFrame(void) {
    vertices.clear();
    for (int i = 0; i <= 40; i++) {
        add(-10, 20.0f * i, NAVY);
        add(1000, 20.0f * i, NAVY);
    }
    for (int i = 0; i <= 50; i++) {
        add(20.0f * i, -10, NAVY);
        add(20.0f * i, 750, NAVY);
    }
    lineVertices = (GLsizei)vertices.size();
    // A line 5 pixels wide is OpenGL 1.1's parallelogram, widened across its major axis, its ends
    // square to it; WebGL draws no line wider than 1 pixel.
    addBox(40, 37.5f, 940, 42.5f, NAVY);
    addBox(37.5f, 40, 42.5f, 740, NAVY);
    addBox(40, 737.5f, 940, 742.5f, NAVY);
    addBox(937.5f, 40, 942.5f, 740, NAVY);
    // A point of odd size 5 is centred on the middle of its vertex's pixel.
    float fx = (float)layout.food[0], fy = (float)layout.food[1];
    addBox(fx - 2, fy - 2, fx + 3, fy + 3, WHITE);
    for (int i = 0; i < layout.obstacleCount; i++) {
        float x = (float)layout.obstacles[i][0], y = (float)layout.obstacles[i][1];
        addBox(x - 10, y - 10, x + 10, y + 10, NAVY);
    }
    const int octagon[8][2] = {{-5, -8}, {5, -8}, {9, -5}, {9, 5},
                               {5, 8},   {-5, 8}, {-8, 5}, {-8, -5}};
    for (int k = 0; k < 7; k++) {
        const float* colour = k == 0 ? RED : YELLOW;
        float x = (float)layout.serpent[k][0], y = (float)layout.serpent[k][1];
        for (int v = 1; v + 1 < 8; v++) { // a fan from the first corner
            add(x + (float)octagon[0][0], y + (float)octagon[0][1], colour);
            add(x + (float)octagon[v][0], y + (float)octagon[v][1], colour);
            add(x + (float)octagon[v + 1][0], y + (float)octagon[v + 1][1], colour);
        }
    }
}

void drawFrame(void) {
    buildFrame();
    glClearColor(0.4f, 0.4f, 0.4f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(vertices.size() * sizeof(Vertex)), vertices.data(),
                 GL_STREAM_DRAW);
    glDrawArrays(GL_LINES, 0, lineVertices);
    glDrawArrays(GL_TRIANGLES, lineVertices, (GLsizei)vertices.size() - lineVertices);
}

// Drawing coordinates are the canvas's pixels, y up, as the game's view has them.
const char* const VERTEX_SHADER =
    "attribute vec2 position;\n"
    "attribute vec3 colour;\n"
    "varying vec3 shade;\n"
    "void main() {\n"
    "    gl_Position = vec4(position / vec2(500.0, 375.0) - 1.0, 0.0, 1.0);\n"
    "    shade = colour;\n"
    "}\n";
const char* const FRAGMENT_SHADER = "precision mediump float;\n"
                                    "varying vec3 shade;\n"
                                    "void main() {\n"
                                    "    gl_FragColor = vec4(shade, 1.0);\n"
                                    "}\n";

GLuint compile(GLenum type, const char* source) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint done = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &done);
    return done ? shader : 0;
}

// The canvas at the game's size, a WebGL 1 context with the game's attributes (opaque, a depth
// buffer, no antialiasing, the drawing buffer preserved), the program and one vertex buffer.
bool start(void) {
    emscripten_set_canvas_element_size(CANVAS, WIDTH, HEIGHT);
    emscripten_set_element_css_size(CANVAS, WIDTH, HEIGHT);
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_TRUE;
    attributes.majorVersion = 1;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(CANVAS, &attributes);
    if (context <= 0 ||
        emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) {
        return false;
    }
    GLuint vertex = compile(GL_VERTEX_SHADER, VERTEX_SHADER);
    GLuint fragment = compile(GL_FRAGMENT_SHADER, FRAGMENT_SHADER);
    if (vertex == 0 || fragment == 0) {
        return false;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glBindAttribLocation(program, 0, "position");
    glBindAttribLocation(program, 1, "colour");
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        return false;
    }
    glUseProgram(program);
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), (const void*)0);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          (const void*)(2 * sizeof(float)));
    glViewport(0, 0, WIDTH, HEIGHT);
    vertices.reserve(1024);
    return true;
}

int framesWanted = 0;
std::vector<double> times;

// One timed frame per animation frame, so that each is presented before the next is drawn.
EM_BOOL timedFrame(double, void*) {
    double t0 = secondsNow();
    drawFrame();
    glFinish();
    times.push_back(secondsNow() - t0);
    if ((int)times.size() < framesWanted) {
        return EM_TRUE;
    }
    std::sort(times.begin(), times.end());
    printf("%.1f\n", times[times.size() / 2] * 1e6);
    return EM_FALSE;
}

} // namespace

int main(int argc, char** argv) {
    pageArguments(&argc, &argv);
    if (!start()) {
        fprintf(stderr, "bench_web_peer: no WebGL 1 context, or its shaders failed\n");
        return 1;
    }
    firstFrame(&layout);
    drawFrame();
    if (argc >= 3 && strcmp(argv[1], "frames") == 0) {
        framesWanted = std::max(1, atoi(argv[2]));
        times.reserve((size_t)framesWanted);
        emscripten_request_animation_frame_loop(timedFrame, nullptr);
    }
    // Returning leaves the runtime running: the frame stays, and the animation frames go on.
    return 0;
}
