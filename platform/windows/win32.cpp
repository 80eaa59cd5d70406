// On Windows the platform is <windows.h> itself; this unit only proves the header compiles alone.
#include "platform/win32.h"
