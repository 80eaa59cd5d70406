// OpenGL 1.1 for the kit and the game: <GL/gl.h> wants the platform's declarations first on
// Windows.
#pragma once

#include "platform/win32.h"
#include <GL/gl.h>
