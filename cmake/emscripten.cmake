# Builds Wrendle for the web browser (WebAssembly on WebGL) with Debian's emscripten package:
# Emscripten's own platform file, with the flags every program of the web build links with.
set(WRENDLE_EMSCRIPTEN_ROOT /usr/share/emscripten CACHE PATH "Where the emscripten package lives")
include(${WRENDLE_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)

# ASYNCIFY keeps the kit's blocking loop: a wait yields to the browser with emscripten_sleep.
# EXIT_RUNTIME lets exit() reach the page's Module.onExit. The page is the project's own
# (data/web/index.html): 3.1.6's HTML minifier crashes at -O1 and above.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-sASYNCIFY -sEXIT_RUNTIME=1 -sALLOW_MEMORY_GROWTH=1 -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1")
set(CMAKE_EXECUTABLE_SUFFIX ".js")
