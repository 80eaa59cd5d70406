// A read-only registry: keys and values under HKEY_CURRENT_USER as the display presents them
// (a real desktop's registry, for this layer, is empty), with Win32's results for every query.
#include "platform/emulated/backend.h"

#include <cstring>
#include <strings.h>

namespace {

const int OPEN_KEYS = 8;
const uintptr_t KEY_TAG = 0x5C000000u;

struct OpenKey {
    bool inUse;
    char subKey[REGISTRY_KEY_CHARS];
};

OpenKey openKeys[OPEN_KEYS];

// The values the display presents; none on a real one.
const RegistryValue* presentedValues(void) {
    const PresentedDisplay* presented = presentedDisplay(true);
    return presented != nullptr ? presented->registry : nullptr;
}

OpenKey* openKeyOf(HKEY key) {
    uintptr_t value = (uintptr_t)key;
    if ((value & ~(uintptr_t)0xFF) != KEY_TAG || (value & 0xFF) >= (uintptr_t)OPEN_KEYS) {
        return nullptr;
    }
    OpenKey* open = &openKeys[value & 0xFF];
    return open->inUse ? open : nullptr;
}

} // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, HKEY* result) {
    (void)options;
    (void)desired;
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    if (key != HKEY_CURRENT_USER || subKey == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    bool exists = false;
    const RegistryValue* values = presentedValues();
    for (int i = 0; values != nullptr && i < REGISTRY_VALUES; i++) {
        const RegistryValue& value = values[i];
        if (value.inUse && strcasecmp(value.subKey, subKey) == 0) {
            exists = true;
            break;
        }
    }
    if (!exists) {
        return ERROR_FILE_NOT_FOUND;
    }
    for (int i = 0; i < OPEN_KEYS; i++) {
        if (!openKeys[i].inUse) {
            openKeys[i].inUse = true;
            copyText(openKeys[i].subKey, sizeof openKeys[i].subKey, subKey);
            *result = (HKEY)(KEY_TAG | (uintptr_t)i);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

// As on Win32: a buffer too small for the value gives ERROR_MORE_DATA and the size needed,
// and nothing is written to it.
LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD dataSize) {
    const OpenKey* open = openKeyOf(key);
    if (open == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    const char* name = valueName != nullptr ? valueName : "";
    const RegistryValue* values = presentedValues();
    for (int i = 0; values != nullptr && i < REGISTRY_VALUES; i++) {
        const RegistryValue& value = values[i];
        if (!value.inUse || strcasecmp(value.subKey, open->subKey) != 0 ||
            strcasecmp(value.name, name) != 0) {
            continue;
        }
        if (type != nullptr) {
            *type = value.type;
        }
        if (data != nullptr && *dataSize < value.size) {
            *dataSize = value.size;
            return ERROR_MORE_DATA;
        }
        if (data != nullptr) {
            std::memcpy(data, value.data, value.size);
        }
        if (dataSize != nullptr) {
            *dataSize = value.size;
        }
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    OpenKey* open = openKeyOf(key);
    if (open == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    open->inUse = false;
    return ERROR_SUCCESS;
}
