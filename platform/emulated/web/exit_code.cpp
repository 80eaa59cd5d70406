// A program's exit code when its main returns after having waited. Built with ASYNCIFY, main
// unwinds at its first wait and is resumed later by the browser; emscripten 3.1.6 drops the value
// a resumed main returns, so a program that failed (a kit that could not make its window returns
// 1) would end with 0 in the page: a failure reported as success. The link wraps the program's
// main (an `int main()`, which the C library's entry point calls as __original_main) so that
// whatever it returns goes through exit(), which reaches the page with the right code. This file
// is linked in only when a program has such a main.
#include <cstdlib>

extern "C" int __real___original_main(void);

extern "C" int __wrap___original_main(void) {
    std::exit(__real___original_main());
}
