// A preloaded library that counts a program's heap allocations and its presented frames
// (glXSwapBuffers calls) without changing the program: with WRENDLE_COUNT_EVERY=n it writes
// "frames F allocations A own O driver D" to standard error after every n-th frame. Each
// allocation is put down to the call the executable made: into the OpenGL driver (libGL, GLX,
// the DRI renderer) counts as the driver's, anything else (malloc, new, Xlib, libc) as its own.
#include <GL/glx.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>
#include <new>
#include <unistd.h>

namespace {

unsigned long frames = 0;
unsigned long allocations = 0;
unsigned long ownAllocations = 0;
unsigned long driverAllocations = 0;
bool attributing = false; // backtrace() allocates the first time it runs
bool swapping = false;    // inside the real glXSwapBuffers, which this library wraps
unsigned long every = 0;
uintptr_t programStart = 0, programEnd = 0;

// dlsym may itself allocate; while it runs, allocations come from a small static arena.
alignas(16) char bootstrap[8192];
size_t bootstrapUsed = 0;
bool resolving = false;

void* (*realMalloc)(size_t) = nullptr;
void* (*realCalloc)(size_t, size_t) = nullptr;
void* (*realRealloc)(void*, size_t) = nullptr;
void (*realFree)(void*) = nullptr;
void (*realSwap)(Display*, GLXDrawable) = nullptr;

int findProgram(dl_phdr_info* info, size_t, void*) {
    // The first object listed is the main executable.
    for (int i = 0; i < info->dlpi_phnum; i++) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X)) {
            uintptr_t start = info->dlpi_addr + ph.p_vaddr;
            if (programStart == 0 || start < programStart) {
                programStart = start;
            }
            if (start + ph.p_memsz > programEnd) {
                programEnd = start + ph.p_memsz;
            }
        }
    }
    return 1;
}

void resolve(void) {
    if (realMalloc != nullptr || resolving) {
        return;
    }
    resolving = true;
    realMalloc = (void* (*)(size_t))dlsym(RTLD_NEXT, "malloc");
    realCalloc = (void* (*)(size_t, size_t))dlsym(RTLD_NEXT, "calloc");
    realRealloc = (void* (*)(void*, size_t))dlsym(RTLD_NEXT, "realloc");
    realFree = (void (*)(void*))dlsym(RTLD_NEXT, "free");
    const char* text = getenv("WRENDLE_COUNT_EVERY");
    every = text != nullptr ? strtoul(text, nullptr, 10) : 0;
    dl_iterate_phdr(findProgram, nullptr);
    resolving = false;
}

bool fromBootstrap(void* p) {
    return (char*)p >= bootstrap && (char*)p < bootstrap + sizeof bootstrap;
}

void* bootstrapAlloc(size_t n) {
    size_t at = (bootstrapUsed + 15) & ~(size_t)15;
    if (at + n > sizeof bootstrap) {
        return nullptr;
    }
    bootstrapUsed = at + n;
    return bootstrap + at;
}

void writeText(char* buffer, size_t* at, const char* text);

bool inProgram(void* address) {
    uintptr_t a = (uintptr_t)address;
    return a >= programStart && a < programEnd;
}

bool inThisLibrary(void* address) {
    Dl_info here, there;
    return dladdr((void*)&inProgram, &here) != 0 && dladdr(address, &there) != 0 &&
           here.dli_fbase == there.dli_fbase;
}

bool isDriver(const char* path) {
    return strstr(path, "libGL") != nullptr || strstr(path, "libOpenGL") != nullptr ||
           strstr(path, "libglapi") != nullptr || strstr(path, "_dri") != nullptr ||
           strstr(path, "libgallium") != nullptr || strstr(path, "libLLVM") != nullptr;
}

// With WRENDLE_COUNT_TRACE set, names the call behind each of the program's allocations after
// the first 200 frames (a few hundred lines at most), to find where they come from.
void traceOwn(void* at) {
    static int traced = 0;
    if (frames < 200 || traced >= 300 || getenv("WRENDLE_COUNT_TRACE") == nullptr) {
        return;
    }
    traced++;
    Dl_info info;
    char line[256];
    size_t n = 0;
    writeText(line, &n, "own allocation via ");
    if (dladdr(at, &info) != 0) {
        const char* name = info.dli_sname != nullptr ? info.dli_sname : info.dli_fname;
        for (size_t k = 0; name != nullptr && name[k] != '\0' && n < 200; k++) {
            line[n++] = name[k];
        }
        // The offset in the object, for addr2line.
        writeText(line, &n, " +0x");
        uintptr_t offset = (uintptr_t)at - (uintptr_t)info.dli_fbase;
        for (int shift = 28; shift >= 0; shift -= 4) {
            line[n++] = "0123456789abcdef"[(offset >> shift) & 15];
        }
    }
    line[n++] = '\n';
    ssize_t written = write(2, line, n);
    (void)written;
}

void count(void* caller) {
    allocations++;
    if (inProgram(caller)) {
        ownAllocations++;
        traceOwn(caller);
        return;
    }
    if (swapping) {
        driverAllocations++;
        return;
    }
    if (attributing) {
        return;
    }
    attributing = true;
    void* frames[64];
    int n = backtrace(frames, 64);
    for (int i = 1; i < n; i++) {
        if (!inProgram(frames[i])) {
            continue;
        }
        // frames[i - 1] lies in what the executable called.
        Dl_info info;
        if (inThisLibrary(frames[i - 1])) {
            ownAllocations++;
            traceOwn(frames[i]);
        } else if (dladdr(frames[i - 1], &info) != 0 && info.dli_fname != nullptr &&
                   isDriver(info.dli_fname)) {
            driverAllocations++;
        } else {
            ownAllocations++;
            traceOwn(frames[i - 1]);
        }
        break;
    }
    attributing = false;
}

void writeNumber(char* buffer, size_t* at, unsigned long value) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) {
        buffer[(*at)++] = digits[--n];
    }
}

void writeText(char* buffer, size_t* at, const char* text) {
    while (*text != '\0') {
        buffer[(*at)++] = *text++;
    }
}

void report(void) {
    char line[128];
    size_t at = 0;
    writeText(line, &at, "frames ");
    writeNumber(line, &at, frames);
    writeText(line, &at, " allocations ");
    writeNumber(line, &at, allocations);
    writeText(line, &at, " own ");
    writeNumber(line, &at, ownAllocations);
    writeText(line, &at, " driver ");
    writeNumber(line, &at, driverAllocations);
    line[at++] = '\n';
    ssize_t written = write(2, line, at);
    (void)written;
}

} // namespace

extern "C" {

void* malloc(size_t n) {
    resolve();
    if (realMalloc == nullptr) {
        return bootstrapAlloc(n);
    }
    count(__builtin_return_address(0));
    return realMalloc(n);
}

void* calloc(size_t n, size_t size) {
    resolve();
    if (realCalloc == nullptr) {
        return bootstrapAlloc(n * size); // the static arena starts zeroed
    }
    count(__builtin_return_address(0));
    return realCalloc(n, size);
}

void* realloc(void* p, size_t n) {
    resolve();
    count(__builtin_return_address(0));
    if (fromBootstrap(p)) {
        void* q = realMalloc(n);
        if (q != nullptr) {
            for (size_t i = 0; i < n && (char*)p + i < bootstrap + sizeof bootstrap; i++) {
                ((char*)q)[i] = ((char*)p)[i];
            }
        }
        return q;
    }
    return realRealloc(p, n);
}

void free(void* p) {
    if (p == nullptr || fromBootstrap(p)) {
        return;
    }
    resolve();
    realFree(p);
}

void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    if (realSwap == nullptr) {
        realSwap = (void (*)(Display*, GLXDrawable))dlsym(RTLD_NEXT, "glXSwapBuffers");
    }
    swapping = true;
    realSwap(display, drawable);
    swapping = false;
    frames++;
    if (every != 0 && frames % every == 0) {
        report();
    }
}

} // extern "C"

// operator new reached from the program's own code counts as the program's.
namespace {
void* newBlock(size_t n, void* caller) {
    resolve();
    count(caller);
    void* p = realMalloc(n == 0 ? 1 : n);
    if (p == nullptr) {
        std::abort();
    }
    return p;
}
} // namespace
void* operator new(size_t n) {
    return newBlock(n, __builtin_return_address(0));
}
void* operator new[](size_t n) {
    return newBlock(n, __builtin_return_address(0));
}
void operator delete(void* p) noexcept {
    free(p);
}
void operator delete[](void* p) noexcept {
    free(p);
}
void operator delete(void* p, size_t) noexcept {
    free(p);
}
void operator delete[](void* p, size_t) noexcept {
    free(p);
}
