// Window and rendering context creation: opening the kit's window with its single-buffer
// fallback, the class and window, the pixel-format choice, the tear-down and the error reporter.
#include "kit/core.h"
#include "platform/gl.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

const char* const CLASS_NAME = "tkLibWClass";
const WCHAR* const CLASS_NAME_WIDE = L"tkLibWClass";
const DWORD WINDOW_STYLE = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
const size_t ERROR_TEXT_SIZE = 256;

// The class stays registered for the rest of the process and the platform refuses a second
// registration of its name, so a later attempt (the single-buffer fallback's, or a window
// opened again after one was closed) goes on with the class that is there.
bool classRegistered = false;

// Set when an attempt of kitCreateWindow got as far as a window: its destruction has posted a
// quit message that the fallback must take back before it tries again.
bool attemptMadeWindow = false;

// The narrow and the wide class record hold the same values; only the name's form differs.
template <typename WindowClass, typename Name>
void fillWindowClass(WindowClass& windowClass, HINSTANCE instance, Name name) {
    std::memset(&windowClass, 0, sizeof(windowClass));
    windowClass.style = CS_VREDRAW | CS_HREDRAW;
    windowClass.lpfnWndProc = kitWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = name;
}

int registerWindowClass(int32_t wide, HINSTANCE instance) {
    if (classRegistered) {
        return 1;
    }
    ATOM atom = 0;
    if (wide != 0) {
        WNDCLASSW windowClass;
        fillWindowClass(windowClass, instance, CLASS_NAME_WIDE);
        atom = RegisterClassW(&windowClass);
    } else {
        WNDCLASSA windowClass;
        fillWindowClass(windowClass, instance, CLASS_NAME);
        atom = RegisterClassA(&windowClass);
    }
    if (atom == 0) {
        return 0;
    }
    classRegistered = true;
    return 1;
}

unsigned long handleNumber(const void* handle) {
    return (unsigned long)(uintptr_t)handle;
}

int openWindow(const void* title, int32_t wide) {
    int frontBufferOnly = 0;
    if (kitCreateWindow(title, wide) == 0) {
        if ((kit.facadeDisplayMode & KIT_DOUBLE) != 0) {
            return 0;
        }
        kitCoreSetDisplayMode(kit.facadeDisplayMode | KIT_DOUBLE);
        if (attemptMadeWindow) {
            // The first attempt's window was destroyed and posted the quit; it must not end
            // the loop that the client runs on the second attempt's window.
            MSG pending;
            PeekMessageA(&pending, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        }
        if (kitCreateWindow(title, wide) == 0) {
            return 0;
        }
        if (kit.showMessages != 0) {
            MessageBoxA(GetFocus(),
                        "Can't initialize a single buffer visual. Will use a double buffer "
                        "visual instead, only drawing into the front buffer.",
                        "Warning", MB_OK);
        }
        kit.facadeDisplayMode |= KIT_DOUBLE;
        frontBufferOnly = 1;
    }
    kitCoreSetReshapeHandler(kitDefaultReshape);
    kitSetMouseUpHandler(kitDispatchMouseUp);
    kitSetMouseDownHandler(kitDispatchMouseDown);
    kitSetMouseMoveHandler(kitDispatchMouseMove);
    kitSetKeyHandler(kitDispatchKey);
    kitBindKey(KIT_KEY_ESCAPE, kitQuit);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearIndex(0.0f);
    glLoadIdentity();
    if (frontBufferOnly != 0) {
        glDrawBuffer(GL_FRONT);
    }
    return 1;
}

} // namespace

// --- Facade ----------------------------------------------------------------------------------

int kitOpenWindow(const char* title) {
    return openWindow(title, 0);
}

int kitOpenWindowWide(const WCHAR* title) {
    return openWindow(title, 1);
}

void kitSetMessageBoxes(int32_t on) {
    kit.showMessages = (uint8_t)(on & 0xFF);
}

// --- Window creation -------------------------------------------------------------------------

int kitCreateWindow(const void* title, int32_t wide) {
    attemptMadeWindow = false;
    // One module handle serves the class and the window.
    HINSTANCE instance = GetModuleHandleA(nullptr);

    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    GetVersionExA(&version);
    // NT 3.5 and 3.51 have four fewer system colours than every later system. NT 3.5 reports
    // its minor version as 50; 5 is kept for anything that reports it so.
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 3 &&
        (version.dwMinorVersion == 5 || version.dwMinorVersion == 50 ||
         version.dwMinorVersion == 51)) {
        kit.systemColourCount = 21;
    } else {
        kit.systemColourCount = 25;
    }

    if (registerWindowClass(wide, instance) == 0) {
        kitReportError("Failed to register window class\n");
        return 0;
    }

    RECT outer;
    outer.left = kit.windowRect.x;
    outer.top = kit.windowRect.y;
    outer.right = kitClampToInt32((int64_t)kit.windowRect.x + kit.windowRect.width);
    outer.bottom = kitClampToInt32((int64_t)kit.windowRect.y + kit.windowRect.height);
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    int x = kit.useDefaultPosition != 0 ? CW_USEDEFAULT : (int)outer.left;
    int y = kit.useDefaultPosition != 0 ? CW_USEDEFAULT : (int)outer.top;
    int width = kitClampToInt32((int64_t)outer.right - outer.left);
    int height = kitClampToInt32((int64_t)outer.bottom - outer.top);
    if (wide != 0) {
        kit.window = CreateWindowExW(0, CLASS_NAME_WIDE, (const WCHAR*)title, WINDOW_STYLE, x, y,
                                     width, height, nullptr, nullptr, instance, nullptr);
    } else {
        kit.window = CreateWindowExA(0, CLASS_NAME, (const char*)title, WINDOW_STYLE, x, y, width,
                                     height, nullptr, nullptr, instance, nullptr);
    }
    if (kit.window == nullptr) {
        kitReportError("create window failed\n");
        return 0;
    }
    attemptMadeWindow = true;

    if (kit.useDefaultPosition != 0) {
        RECT placed;
        if (GetWindowRect(kit.window, &placed)) {
            kit.windowRect.x = placed.left + kitClientOffsetX();
            kit.windowRect.y = placed.top + kitClientOffsetY();
        }
    }

    kit.deviceContext = GetDC(kit.window);
    if (kit.deviceContext == nullptr) {
        kitReportError("Could not get an HDC for window 0x%08lX\n", handleNumber(kit.window));
        kitDestroyWindow();
        return 0;
    }

    ShowWindow(kit.window, SW_SHOWDEFAULT);

    // The window may be gone already: a handler run by ShowWindow may have destroyed it.
    if (kit.window == nullptr || kitSetPixelFormat(kit.deviceContext, kit.displayMode) == 0) {
        kitDestroyWindow();
        return 0;
    }

    kit.renderContext = wglCreateContext(kit.deviceContext);
    if (kit.renderContext == nullptr) {
        kitReportError("wglCreateContext Failed\n");
        kitDestroyWindow();
        return 0;
    }

    if (!wglMakeCurrent(kit.deviceContext, kit.renderContext)) {
        kitReportError("wglMakeCurrent Failed\n");
        kitDestroyWindow();
        return 0;
    }
    return 1;
}

int kitCreateWindowNarrow(const char* title) {
    return kitCreateWindow(title, 0);
}

// --- Pixel formats ---------------------------------------------------------------------------

int kitSetPixelFormat(HDC dc, int32_t mode) {
    PIXELFORMATDESCRIPTOR descriptor;
    std::memset(&descriptor, 0, sizeof(descriptor));
    int number = 0;
    if (kit.pixelFormatMethod == KIT_PF_CHOOSE) {
        number = kitRequestPixelFormat(dc, mode, &descriptor);
    } else if (kit.pixelFormatMethod == KIT_PF_SEARCH) {
        number = kitSearchPixelFormat(dc, mode, &descriptor);
    } else if (kitCheckPixelFormat(dc, kit.pixelFormatNumber, &descriptor) != 0) {
        number = kit.pixelFormatNumber;
    }
    if (number == 0) {
        kitReportError("Selecting a pixel format failed\n");
        return 0;
    }
    if (!SetPixelFormat(dc, number, &descriptor)) {
        kitReportError("SetPixelFormat failed\n");
        return 0;
    }
    kitCreateRgbPalette(dc);
    return 1;
}

int kitRequestPixelFormat(HDC dc, int32_t mode, PIXELFORMATDESCRIPTOR* descriptor) {
    PIXELFORMATDESCRIPTOR request;
    std::memset(&request, 0, sizeof(request));
    request.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if ((mode & KIT_DOUBLE) != 0) {
        request.dwFlags |= PFD_DOUBLEBUFFER;
    }
    bool index = (mode & KIT_INDEX) != 0;
    request.iPixelType = index ? PFD_TYPE_COLORINDEX : PFD_TYPE_RGBA;
    request.cColorBits = index ? 8 : 24;
    request.cAlphaBits = (mode & KIT_ALPHA) != 0 ? 8 : 0;
    if ((mode & KIT_ACCUM) != 0) {
        request.cAccumBits = (BYTE)(request.cColorBits + request.cAlphaBits);
    }
    if ((mode & KIT_DEPTH16) != 0) {
        request.cDepthBits = 16;
    } else if ((mode & KIT_DEPTH) != 0) {
        request.cDepthBits = 24;
    }
    request.cStencilBits = (mode & KIT_STENCIL) != 0 ? 4 : 0;
    request.cAuxBuffers = 0;
    request.iLayerType = PFD_MAIN_PLANE;
    *descriptor = request;
    return ChoosePixelFormat(dc, &request);
}

namespace {

// Whether a described format has everything the mode asks for and nothing it does not; bit
// counts are not weighed.
bool formatFitsMode(const PIXELFORMATDESCRIPTOR* candidate, int32_t mode) {
    const DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if ((candidate->dwFlags & needed) != needed || candidate->iLayerType != PFD_MAIN_PLANE) {
        return false;
    }
    bool index = (mode & KIT_INDEX) != 0;
    if (candidate->iPixelType == PFD_TYPE_RGBA && index) {
        return false;
    }
    if (candidate->iPixelType == PFD_TYPE_COLORINDEX && !index) {
        return false;
    }
    bool doubleBuffered = (candidate->dwFlags & PFD_DOUBLEBUFFER) != 0;
    if (doubleBuffered != ((mode & KIT_DOUBLE) != 0)) {
        return false;
    }
    if (!index) {
        bool accum = (mode & KIT_ACCUM) != 0;
        bool alpha = (mode & KIT_ALPHA) != 0;
        if ((candidate->cAccumBits > 0) != accum || (candidate->cAlphaBits > 0) != alpha) {
            return false;
        }
        if (accum && alpha && candidate->cAccumAlphaBits == 0) {
            return false;
        }
    }
    bool depth = (mode & (KIT_DEPTH | KIT_DEPTH16)) != 0;
    if ((candidate->cDepthBits > 0) != depth) {
        return false;
    }
    if ((candidate->cStencilBits > 0) != ((mode & KIT_STENCIL) != 0)) {
        return false;
    }
    return true;
}

} // namespace

int kitSearchPixelFormat(HDC dc, int32_t mode, PIXELFORMATDESCRIPTOR* descriptor) {
    int bestColourBits = 0;
    int bestNumber = 0;
    int count = 1;
    for (int number = 1; number <= count; number++) {
        PIXELFORMATDESCRIPTOR candidate;
        std::memset(&candidate, 0, sizeof(candidate));
        count = DescribePixelFormat(dc, number, sizeof(PIXELFORMATDESCRIPTOR), &candidate);
        if (count <= 0) {
            return 0;
        }
        if (formatFitsMode(&candidate, mode) && candidate.cColorBits > bestColourBits) {
            bestColourBits = candidate.cColorBits;
            bestNumber = number;
            *descriptor = candidate;
        }
    }
    return bestNumber;
}

int kitCheckPixelFormat(HDC dc, int32_t number, PIXELFORMATDESCRIPTOR* descriptor) {
    if (number <= 0) {
        return 0;
    }
    int count = DescribePixelFormat(dc, number, sizeof(PIXELFORMATDESCRIPTOR), descriptor);
    if (count < 0) {
        count = 0;
    }
    if (number > count) {
        return 0;
    }
    const DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    return (descriptor->dwFlags & needed) == needed ? 1 : 0;
}

int kitGetPixelFormat(HDC dc, PIXELFORMATDESCRIPTOR* descriptor) {
    int number = GetPixelFormat(dc);
    if (number <= 0) {
        kitReportError("Could not get pixel format for Dc 0x%08lX\n", handleNumber(dc));
        return 0;
    }
    if (DescribePixelFormat(dc, number, sizeof(PIXELFORMATDESCRIPTOR), descriptor) > 0) {
        return number;
    }
    kitReportError("Could not get a description of pixel format %d\n", number);
    return 0;
}

// --- Tear-down, reports, memory --------------------------------------------------------------

void kitCloseWindow(void) {
    if (kit.palette != nullptr) {
        HPALETTE stock = (HPALETTE)GetStockObject(DEFAULT_PALETTE);
        if (kit.systemPaletteMode != 0) {
            kitRealizePalette(kit.deviceContext, stock, 1);
        } else if (stock != nullptr) {
            SelectPalette(kit.deviceContext, stock, FALSE);
        }
        DeleteObject(kit.palette);
    }
    if (kit.renderContext != nullptr) {
        wglMakeCurrent(kit.deviceContext, nullptr);
        wglDeleteContext(kit.renderContext);
    }
    if (kit.deviceContext != nullptr) {
        ReleaseDC(kit.window, kit.deviceContext);
    }
    kit.window = nullptr;
    kit.deviceContext = nullptr;
    kit.renderContext = nullptr;
    kit.palette = nullptr;
    kit.reshapeHandler = nullptr;
    kit.displayHandler = nullptr;
    kit.idleHandler = nullptr;
    kit.keyHandler = nullptr;
    kit.mouseDownHandler = nullptr;
    kit.mouseUpHandler = nullptr;
    kit.mouseMoveHandler = nullptr;
    // A refused takeover's retry belongs to the window that was refused.
    kit.realizeRetry = KIT_RETRY_NONE;
}

// vsnprintf writes at most the buffer's size, terminator included: a longer text is cut to
// 255 characters, never written past the end.
void kitReportError(const char* format, ...) {
    char text[ERROR_TEXT_SIZE];
    va_list values;
    va_start(values, format);
    int written = std::vsnprintf(text, sizeof(text), format, values);
    va_end(values);
    if (written < 0) {
        text[0] = '\0';
    }
    if (kit.showMessages != 0) {
        MessageBoxA(GetFocus(), text, "Error", MB_OK);
    }
}

void* kitAllocate(uint32_t bytes) {
    return LocalAlloc(LMEM_FIXED, bytes);
}

void* kitAllocateZeroed(uint32_t bytes) {
    return LocalAlloc(LMEM_ZEROINIT, bytes);
}

void kitFree(void* block) {
    LocalFree(block);
}
