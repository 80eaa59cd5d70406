// The one way tests reach into the layer's behaviour: a record of functions that only the test
// library (platform/testctl) installs, for fault injection and the virtual clock alone. In the
// shipped program it stays null and every check is one branch. Its call sites: platformFails at
// the start of each operation named below, GetTickCount and Sleep (system.cpp). What a test says
// the display is (formats, a palette, boxes taken, the registry, the version) is the headless
// display's (platform/emulated/presented.h), not this.
#pragma once

#include "platform/win32.h"

// The operations that a test can make fail, and the calls that it counts.
enum PlatformCall {
    CALL_REGISTER_CLASS,
    CALL_CREATE_WINDOW,
    CALL_GET_DC,
    CALL_CHOOSE_PIXEL_FORMAT,
    CALL_DESCRIBE_PIXEL_FORMAT,
    CALL_GET_PIXEL_FORMAT,
    CALL_SET_PIXEL_FORMAT,
    CALL_WGL_CREATE_CONTEXT,
    CALL_WGL_MAKE_CURRENT,
    CALL_LOCAL_ALLOC,
    CALL_CREATE_PALETTE,
    CALL_SELECT_PALETTE,
    CALL_REALIZE_PALETTE,
    CALL_UNREALIZE_OBJECT,
    CALL_POST_MESSAGE,
    CALL_GET_CURSOR_POS,
    CALL_SWAP_BUFFERS,
    CALL_SET_SYSTEM_PALETTE_USE,
    CALL_BROADCAST,
    CALL_COUNT
};

struct PlatformHook {
    // True when this call of the operation is to fail as the platform reports failure.
    bool (*fail)(PlatformCall call);
    // The virtual clock: true when it answered, in place of the monotonic clock.
    bool (*tick)(DWORD* now);
    bool (*sleep)(DWORD milliseconds);
};

extern const PlatformHook* platformHook;

inline bool platformFails(PlatformCall call) {
    return platformHook != nullptr && platformHook->fail(call);
}
