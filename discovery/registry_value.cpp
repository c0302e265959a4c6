#include "registry_value.h"

#include <cstdio>
#include <cstring>

namespace {

const DWORD kQueryArea = 100;

}  // namespace

int ReadRegistryValue(HKEY root, LPCSTR subKey, LPCSTR valueName, LPSTR text) {
    HKEY key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
    // Zeroed, so that what the data leave out reads as zero.
    BYTE area[kQueryArea] = {};
    DWORD type = REG_NONE;
    DWORD size = kQueryArea;
    LONG result = RegQueryValueExA(key, valueName, NULL, &type, area, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return 1;

    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        // Text that fills the whole area without a NUL gives what fits beside one.
        size_t length = strnlen(reinterpret_cast<const char*>(area), size);
        if (length > kQueryArea - 1) length = kQueryArea - 1;
        std::memcpy(text, area, length);
        text[length] = '\0';
    } else {
        unsigned long value = static_cast<unsigned long>(area[0]) |
                              (static_cast<unsigned long>(area[1]) << 8) |
                              (static_cast<unsigned long>(area[2]) << 16) |
                              (static_cast<unsigned long>(area[3]) << 24);
        std::snprintf(text, 11, "%lu", value);
    }
    return 0;
}

int WriteRegistryValue(HKEY root, LPCSTR subKey, LPCSTR valueName, LPCSTR data, DWORD length) {
    HKEY key;
    DWORD disposition;
    char szClass[] = "Bool";
    if (RegCreateKeyExA(root, subKey, 0, szClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                        &key, &disposition) != ERROR_SUCCESS)
        return 1;
    LONG result =
        RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), length);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 1;
}

int DeleteRegistryValue(HKEY root, LPCSTR subKey, LPCSTR valueName) {
    HKEY key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return 1;
    LONG result = RegDeleteValueA(key, valueName);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 1;
}
