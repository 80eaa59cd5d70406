// The loop of bench_kit's "loop" mode written on GLFW, as a peer: an open window and a loop of
// glfwPollEvents and a counter for S seconds; prints calls per second.
#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    double seconds = argc >= 2 ? atof(argv[1]) : 1.0;
    if (!glfwInit()) {
        fprintf(stderr, "bench_glfw: glfwInit failed\n");
        return 1;
    }
    glfwWindowHint(GLFW_DEPTH_BITS, 16);
    GLFWwindow* window = glfwCreateWindow(1000, 750, "GLFW peer", nullptr, nullptr);
    if (window == nullptr) {
        fprintf(stderr, "bench_glfw: no window\n");
        return 1;
    }
    glfwMakeContextCurrent(window);
    unsigned long calls = 0;
    double start = glfwGetTime(), end = start + seconds;
    for (;;) {
        glfwPollEvents();
        calls++;
        if ((calls & 1023) == 0 && glfwGetTime() >= end) {
            break;
        }
    }
    printf("%.0f\n", (double)calls / (glfwGetTime() - start));
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
