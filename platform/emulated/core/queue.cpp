// The thread's message queue: the storage of posted and input messages, the paint and quit
// flags, and the Win32 calls that post, send, retrieve and dispatch in Win32's order.
#include "platform/emulated/backend.h"

#include <cstring>
#include <initializer_list>

namespace {

const int QUEUE_SIZE = 512;
// Events stay with the display while fewer free entries than this are left.
const int QUEUE_RESERVE = 8;

// Fixed arrays kept in arrival order; taking from the middle (a filtered Peek) shifts the rest.
struct Queue {
    InputEntry entries[QUEUE_SIZE];
    int count;
};

Queue posted;
Queue input;
bool quitPending = false;
int quitCode = 0;

bool push(Queue& queue, const InputEntry& entry) {
    if (queue.count >= QUEUE_SIZE) {
        return false;
    }
    queue.entries[queue.count++] = entry;
    return true;
}

void removeAt(Queue& queue, int index) {
    std::memmove(&queue.entries[index], &queue.entries[index + 1],
                 sizeof(InputEntry) * (size_t)(queue.count - index - 1));
    queue.count--;
}

bool matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
    if (window != nullptr && msg.hwnd != window) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) {
        return true;
    }
    return msg.message >= filterMin && msg.message <= filterMax;
}

int find(const Queue& queue, HWND window, UINT filterMin, UINT filterMax) {
    for (int i = 0; i < queue.count; i++) {
        if (matches(queue.entries[i].msg, window, filterMin, filterMax)) {
            return i;
        }
    }
    return -1;
}

} // namespace

// --- Shared with the rest of the core ---------------------------------------------------------

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    return msg;
}

bool queuePosted(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    InputEntry entry = InputEntry();
    entry.msg = makeMessage(window, message, wParam, lParam);
    return push(posted, entry);
}

bool queueInput(const InputEntry* entry) {
    // Motion coalesces as on Win32: a newer position replaces one not yet taken.
    if (entry->msg.message == WM_MOUSEMOVE && input.count > 0) {
        InputEntry& last = input.entries[input.count - 1];
        if (last.msg.message == WM_MOUSEMOVE && last.msg.hwnd == entry->msg.hwnd &&
            last.msg.wParam == entry->msg.wParam) {
            last = *entry;
            return true;
        }
    }
    return push(input, *entry);
}

bool queueHasRoom(void) {
    return input.count < QUEUE_SIZE - QUEUE_RESERVE && posted.count < QUEUE_SIZE - QUEUE_RESERVE;
}

void queueMarkInputStale(void) {
    for (int i = 0; i < input.count; i++) {
        input.entries[i].stale = true;
    }
}

void queuePurgeWindow(HWND window) {
    for (Queue* queue : {&posted, &input}) {
        for (int i = queue->count - 1; i >= 0; i--) {
            if (queue->entries[i].msg.hwnd == window) {
                removeAt(*queue, i);
            }
        }
    }
}

void pumpEvents(void) {
    const Backend* backend = connectedBackend();
    if (backend != nullptr) {
        inputKeepCapture();
        backend->pumpEvents();
    }
}

void waitForEvents(int timeoutMs) {
    const Backend* backend = connectedBackend();
    if (backend != nullptr) {
        backend->waitForEvents(timeoutMs);
    }
}

// Win32's order: posted (and sent-like) messages; the quit message once no posted message of
// the thread is left, whatever the filters ask for (as Win32 and Wine do); then input; then
// paint.
bool queueTake(MSG* msg, HWND window, UINT filterMin, UINT filterMax, bool remove, bool allowQuit) {
    int index = find(posted, window, filterMin, filterMax);
    if (index >= 0) {
        *msg = posted.entries[index].msg;
        if (remove) {
            removeAt(posted, index);
        }
        return true;
    }
    if (allowQuit && quitPending && posted.count == 0) {
        *msg = makeMessage(nullptr, WM_QUIT, (WPARAM)quitCode, 0);
        if (remove) {
            quitPending = false;
        }
        return true;
    }
    index = find(input, window, filterMin, filterMax);
    if (index >= 0) {
        InputEntry entry = input.entries[index];
        *msg = entry.msg;
        if (remove) {
            removeAt(input, index);
            inputTaken(&entry);
        }
        return true;
    }
    bool paintInRange =
        (filterMin == 0 && filterMax == 0) || (WM_PAINT >= filterMin && WM_PAINT <= filterMax);
    if (paintInRange) {
        WindowRecord* windows = windowRecords();
        for (int i = 0; i < MAX_WINDOWS; i++) {
            WindowRecord& record = windows[i];
            if (record.used && !record.destroying && record.paintPending &&
                (window == nullptr || record.handle == window)) {
                // A paint stays waiting until BeginPaint validates the window.
                *msg = makeMessage(record.handle, WM_PAINT, 0, 0);
                return true;
            }
        }
    }
    return false;
}

// --- The queue's Win32 operations ------------------------------------------------------------

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (msg == nullptr) {
        return failWith(ERROR_INVALID_PARAMETER, FALSE);
    }
    // Every look at the queue reads what the display has sent meanwhile.
    pumpEvents();
    return queueTake(msg, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0, true)
               ? TRUE
               : FALSE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    if (msg == nullptr) {
        return failWith(ERROR_INVALID_PARAMETER, -1);
    }
    if (window != nullptr && windowRecord(window) == nullptr) {
        return failWith(ERROR_INVALID_WINDOW_HANDLE, -1);
    }
    for (;;) {
        pumpEvents();
        if (queueTake(msg, window, filterMin, filterMax, true, true)) {
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        if (connectedBackend() == nullptr) {
            // Nothing could ever arrive: one thread, no display. Fail instead of hanging.
            std::memset(msg, 0, sizeof(*msg));
            return failWith(ERROR_DEVICE_NOT_AVAILABLE, -1);
        }
        // Blocks in the kernel until the display sends something.
        waitForEvents(-1);
    }
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (platformFails(CALL_POST_MESSAGE)) {
        return failWith(ERROR_NOT_ENOUGH_QUOTA, FALSE);
    }
    if (window == HWND_BROADCAST) {
        if (platformFails(CALL_BROADCAST)) {
            return failWith(ERROR_NOT_ENOUGH_QUOTA, FALSE);
        }
        WindowRecord* windows = windowRecords();
        for (int i = 0; i < MAX_WINDOWS; i++) {
            if (windows[i].used && !windows[i].destroying) {
                queuePosted(windows[i].handle, message, wParam, lParam);
            }
        }
        return TRUE;
    }
    if (window != nullptr && windowRecord(window) == nullptr) {
        return failWith(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    }
    return queuePosted(window, message, wParam, lParam) ? TRUE
                                                        : failWith(ERROR_NOT_ENOUGH_QUOTA, FALSE);
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == HWND_BROADCAST) {
        if (platformFails(CALL_BROADCAST)) {
            return 0;
        }
        WindowRecord* windows = windowRecords();
        HWND handles[MAX_WINDOWS];
        int count = 0;
        for (int i = 0; i < MAX_WINDOWS; i++) {
            if (windows[i].used && !windows[i].destroying) {
                handles[count++] = windows[i].handle;
            }
        }
        // Handles taken first: a window destroyed by an earlier one's handler is skipped.
        for (int i = 0; i < count; i++) {
            sendToWindow(handles[i], message, wParam, lParam);
        }
        return 0;
    }
    return sendToWindow(window, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
    quitPending = true;
    quitCode = exitCode;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) {
        return 0;
    }
    return sendToWindow(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_SYSKEYDOWN:
        // Alt+F4 closes the window, as the system menu's Close does.
        if (wParam == VK_F4 && (HIWORD(lParam) & KF_ALTDOWN) != 0) {
            SendMessageA(window, WM_CLOSE, 0, 0);
        }
        return 0;
    default:
        return 0;
    }
}

BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    (void)rect;
    (void)erase;
    if (window == nullptr) {
        WindowRecord* windows = windowRecords();
        for (int i = 0; i < MAX_WINDOWS; i++) {
            if (windows[i].used) {
                windows[i].paintPending = true;
            }
        }
        return TRUE;
    }
    WindowRecord* record = windowRecord(window);
    if (record == nullptr) {
        return failWith(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    }
    record->paintPending = true;
    return TRUE;
}

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    WindowRecord* record = windowRecord(window);
    if (record == nullptr || paint == nullptr) {
        return failWith(ERROR_INVALID_WINDOW_HANDLE, (HDC) nullptr);
    }
    record->paintPending = false;
    std::memset(paint, 0, sizeof(*paint));
    paint->hdc = dcOfWindow(record);
    paint->fErase = FALSE;
    paint->rcPaint.right = record->minimized ? 0 : record->width;
    paint->rcPaint.bottom = record->minimized ? 0 : record->height;
    return paint->hdc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
    (void)paint;
    return windowRecord(window) != nullptr ? TRUE : failWith(ERROR_INVALID_WINDOW_HANDLE, FALSE);
}
