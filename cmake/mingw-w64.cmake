# Cross-compiles Wrendle for 64-bit Windows with the MinGW-w64 compilers of the posix thread
# model, with the C and C++ runtimes linked in statically so wrendle.exe needs no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(WRENDLE_MINGW_PREFIX x86_64-w64-mingw32 CACHE STRING "Prefix of the MinGW-w64 tools")
set(CMAKE_C_COMPILER ${WRENDLE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WRENDLE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${WRENDLE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${WRENDLE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# winpthread is linked in statically by -static as well.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine; CTest puts the emulator in front of every test command.
find_program(WRENDLE_WINE NAMES wine wine64)
if(WRENDLE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WRENDLE_WINE})
endif()
