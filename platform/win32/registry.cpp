// The registry functions over the machine's registry store. Windows NT rules throughout, on
// every Windows version the machine claims: Windows 9x's looser ones (a REG_SZ length taken
// from the text rather than from cbData, a create path with a leading backslash, RegDeleteKey
// taking whole trees) would let a caller's mistake pass on NT and fail in the field.
#include <windows.h>

#include <mutex>

#include "machine/machine.h"
#include "machine/paths.h"
#include "machine/process_token.h"
#include "machine/registry_store.h"

namespace {

using winsim::RegistryKey;
using winsim::RegistryStore;
using winsim::RegistryValue;

// The rights MAXIMUM_ALLOWED and the generic rights stand for.
constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericRead = 0x80000000;
constexpr std::uint32_t kRestorePrivilege = 18;

RegistryStore& Store() {
    return winsim::CurrentMachine().Component<RegistryStore>();
}

REGSAM GrantedAccess(REGSAM desired) {
    if (desired & (kMaximumAllowed | kGenericAll)) return KEY_ALL_ACCESS;
    REGSAM granted = desired & KEY_ALL_ACCESS;
    if (desired & (kGenericRead | kGenericExecute)) granted |= KEY_READ;
    if (desired & kGenericWrite) granted |= KEY_WRITE;
    return granted;
}

bool IsPredefined(HKEY hKey) {
    return hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE ||
           hKey == HKEY_USERS;
}

struct OpenedKey {
    RegistryKey* key = nullptr;
    REGSAM access = 0;
};

// The key behind a handle; `needed` are the rights the operation asks of it.
LONG Resolve(HKEY hKey, REGSAM needed, OpenedKey& out) {
    RegistryStore& store = Store();
    if (hKey == HKEY_LOCAL_MACHINE) {
        out = {&store.LocalMachine(), KEY_ALL_ACCESS};
    } else if (hKey == HKEY_USERS) {
        out = {&store.Users(), KEY_ALL_ACCESS};
    } else if (hKey == HKEY_CLASSES_ROOT) {
        out = {&store.ClassesRoot(), KEY_ALL_ACCESS};
    } else if (hKey == HKEY_CURRENT_USER) {
        out = {&store.CurrentUser(), KEY_ALL_ACCESS};
    } else {
        RegistryStore::OpenKey* open = store.FindHandle(reinterpret_cast<std::uintptr_t>(hKey));
        if (!open) return ERROR_INVALID_HANDLE;
        if (open->key->deleted) return ERROR_KEY_DELETED;
        out = {open->key.get(), open->access};
    }
    return (out.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

HKEY NewHandle(RegistryKey& key, REGSAM access) {
    return reinterpret_cast<HKEY>(Store().AddHandle(key, access));
}

// Windows refuses a subkey path that starts at a root of its own, except below
// HKEY_CLASSES_ROOT.
bool BadPath(HKEY hKey, LPCSTR lpSubKey) {
    return lpSubKey && lpSubKey[0] == '\\' && hKey != HKEY_CLASSES_ROOT;
}

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Copies value data into a buffer known to hold it. Text stored without its NUL gets one after
// it when the buffer has room, not counted in the size, as Windows adds it.
void CopyData(const RegistryValue& value, LPBYTE lpData, DWORD capacity) {
    std::memcpy(lpData, value.data.data(), value.data.size());
    if (IsText(value.type) && !value.data.empty() && value.data.back() != '\0' &&
        capacity > value.data.size())
        lpData[value.data.size()] = 0;
}

DWORD Size(const std::string& s) {
    return static_cast<DWORD>(s.size());
}

std::unique_lock<std::recursive_mutex> LockMachine() {
    return std::unique_lock<std::recursive_mutex>(winsim::CurrentMachine().Mutex());
}

}  // namespace

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    auto lock = LockMachine();
    *phkResult = nullptr;
    OpenedKey from;
    if (LONG rc = Resolve(hKey, 0, from)) return rc;
    if (BadPath(hKey, lpSubKey)) return ERROR_BAD_PATHNAME;
    std::vector<std::string_view> parts = winsim::SplitKeyPath(lpSubKey ? lpSubKey : "");
    if (parts.empty() && IsPredefined(hKey)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    RegistryKey* key = from.key;
    for (std::string_view part : parts)
        if (!(key = key->Subkey(part))) return ERROR_FILE_NOT_FOUND;
    *phkResult = NewHandle(*key, GrantedAccess(samDesired));
    return ERROR_SUCCESS;
}

LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    if (!lpSubKey || !*lpSubKey) {
        // The handle given comes back itself, once it is known to be open.
        auto lock = LockMachine();
        OpenedKey key;
        if (LONG rc = Resolve(hKey, 0, key)) return rc;
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    return RegOpenKeyExA(hKey, lpSubKey, 0, kMaximumAllowed, phkResult);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR lpClass, DWORD,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
    auto lock = LockMachine();
    *phkResult = nullptr;
    OpenedKey from;
    if (LONG rc = Resolve(hKey, 0, from)) return rc;
    if (BadPath(hKey, lpSubKey)) return ERROR_BAD_PATHNAME;
    std::vector<std::string_view> parts = winsim::SplitKeyPath(lpSubKey);
    RegistryKey* key = from.key;
    size_t existing = 0;
    while (existing < parts.size() && key->Subkey(parts[existing]))
        key = key->Subkey(parts[existing++]);
    bool creating = existing < parts.size();
    if (creating) {
        if (!(from.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
        // Every key made on the way gets the class; an existing key keeps the one it has.
        RegistryKey* parent = key;
        for (size_t i = existing; i < parts.size(); ++i)
            key = &key->AddSubkey(parts[i], lpClass ? lpClass : "", nullptr);
        Store().Changed(*parent);
    }
    if (lpdwDisposition)
        *lpdwDisposition = creating ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = NewHandle(*key, GrantedAccess(samDesired));
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return RegCreateKeyExA(hKey, lpSubKey ? lpSubKey : "", 0, nullptr, REG_OPTION_NON_VOLATILE,
                           kMaximumAllowed, nullptr, phkResult, nullptr);
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    auto lock = LockMachine();
    OpenedKey key;
    if (LONG rc = Resolve(hKey, KEY_QUERY_VALUE, key)) return rc;
    const RegistryValue* value = key.key->FindValue(lpValueName ? lpValueName : "");
    if (!value) {
        if (lpType) *lpType = 0;
        if (lpcbData) *lpcbData = 0;
        return ERROR_FILE_NOT_FOUND;
    }
    if (lpType) *lpType = value->type;
    if (!lpcbData) return ERROR_SUCCESS;
    DWORD capacity = *lpcbData;
    *lpcbData = Size(value->data);
    if (!lpData) return ERROR_SUCCESS;
    if (value->data.size() > capacity) return ERROR_MORE_DATA;
    CopyData(*value, lpData, capacity);
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, CONST BYTE* lpData,
                           DWORD cbData) {
    if (!lpData && cbData) return ERROR_NOACCESS;
    auto lock = LockMachine();
    OpenedKey key;
    if (LONG rc = Resolve(hKey, KEY_SET_VALUE, key)) return rc;
    key.key->SetValue(lpValueName ? lpValueName : "", dwType,
                      std::string(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0));
    Store().Changed(*key.key);
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    auto lock = LockMachine();
    OpenedKey key;
    if (LONG rc = Resolve(hKey, KEY_SET_VALUE, key)) return rc;
    if (!key.key->DeleteValue(lpValueName ? lpValueName : "")) return ERROR_FILE_NOT_FOUND;
    Store().Changed(*key.key);
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    auto lock = LockMachine();
    // The rights of the handle do not matter: deleting is a right on the key deleted.
    OpenedKey from;
    if (LONG rc = Resolve(hKey, 0, from)) return rc;
    if (BadPath(hKey, lpSubKey)) return ERROR_BAD_PATHNAME;
    RegistryKey* key = from.key;
    for (std::string_view part : winsim::SplitKeyPath(lpSubKey))
        if (!(key = key->Subkey(part))) return ERROR_FILE_NOT_FOUND;
    // Roots, hives (RegUnLoadKey removes those) and keys with subkeys stay.
    if (!key->parent || !key->hiveFile.empty() || !key->subkeys.empty()) return ERROR_ACCESS_DENIED;
    RegistryKey& parent = *key->parent;
    key->Remove();
    Store().Changed(parent);
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
    auto lock = LockMachine();
    OpenedKey key;
    if (LONG rc = Resolve(hKey, KEY_ENUMERATE_SUB_KEYS, key)) return rc;
    RegistryKey* sub = key.key->SubkeyAt(dwIndex);
    if (!sub) return ERROR_NO_MORE_ITEMS;
    if (sub->name.size() >= *lpcchName) return ERROR_MORE_DATA;
    if (lpClass && sub->className.size() >= *lpcchClass) return ERROR_MORE_DATA;
    std::memcpy(lpName, sub->name.c_str(), sub->name.size() + 1);
    *lpcchName = Size(sub->name);
    if (lpClass) {
        std::memcpy(lpClass, sub->className.c_str(), sub->className.size() + 1);
        *lpcchClass = Size(sub->className);
    }
    if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(sub->lastWrite);
        lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(sub->lastWrite >> 32);
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    return RegEnumKeyExA(hKey, dwIndex, lpName, &cchName, nullptr, nullptr, nullptr, nullptr);
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    auto lock = LockMachine();
    OpenedKey key;
    if (LONG rc = Resolve(hKey, KEY_QUERY_VALUE, key)) return rc;
    if (dwIndex >= key.key->Values().size()) return ERROR_NO_MORE_ITEMS;
    const RegistryValue& value = key.key->Values()[dwIndex];
    // Data that do not fit leave both buffers alone; a name that does not fit is cut to the
    // buffer beside data that do. Either way the name size stays as passed in and the data
    // size says what the data need.
    bool dataFits = !lpData || value.data.size() <= *lpcbData;
    bool nameFits = value.name.size() < *lpcchValueName;
    if (lpType) *lpType = value.type;
    DWORD capacity = lpcbData ? *lpcbData : 0;
    if (lpcbData) *lpcbData = Size(value.data);
    if (!dataFits) return ERROR_MORE_DATA;
    if (lpData) CopyData(value, lpData, capacity);
    if (!nameFits) {
        if (*lpcchValueName > 0) {
            std::memcpy(lpValueName, value.name.data(), *lpcchValueName - 1);
            lpValueName[*lpcchValueName - 1] = '\0';
        }
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
    *lpcchValueName = Size(value.name);
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
    if (lpClass && !lpcchClass) return ERROR_INVALID_PARAMETER;
    auto lock = LockMachine();
    OpenedKey opened;
    if (LONG rc = Resolve(hKey, KEY_QUERY_VALUE, opened)) return rc;
    const RegistryKey& key = *opened.key;
    DWORD maxSubKey = 0, maxClass = 0, maxName = 0, maxData = 0;
    for (const auto& sub : key.subkeys) {
        maxSubKey = std::max(maxSubKey, Size(sub.second->name));
        maxClass = std::max(maxClass, Size(sub.second->className));
    }
    for (const RegistryValue& value : key.Values()) {
        maxName = std::max(maxName, Size(value.name));
        maxData = std::max(maxData, Size(value.data));
    }
    if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(key.subkeys.size());
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSubKey;
    if (lpcbMaxClassLen) *lpcbMaxClassLen = maxClass;
    if (lpcValues) *lpcValues = static_cast<DWORD>(key.Values().size());
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
    if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(key.lastWrite);
        lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(key.lastWrite >> 32);
    }
    if (!lpcchClass) return ERROR_SUCCESS;
    if (!lpClass) {
        *lpcchClass = Size(key.className);
        return ERROR_SUCCESS;
    }
    if (key.className.size() >= *lpcchClass) {
        // As much of the class as fits, with its NUL.
        if (*lpcchClass > 0) {
            *lpcchClass -= 1;
            std::memcpy(lpClass, key.className.data(), *lpcchClass);
            lpClass[*lpcchClass] = '\0';
        }
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpClass, key.className.c_str(), key.className.size() + 1);
    *lpcchClass = Size(key.className);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    if (IsPredefined(hKey)) return ERROR_SUCCESS;
    auto lock = LockMachine();
    return Store().CloseHandle(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS
                                                                       : ERROR_INVALID_HANDLE;
}

namespace {

// The checks RegLoadKeyA and RegUnLoadKeyA share: a direct subkey of HKEY_LOCAL_MACHINE or
// HKEY_USERS, and a process allowed to restore. Windows 9x has no privileges to check.
LONG HiveParent(HKEY hKey, LPCSTR lpSubKey, RegistryKey*& parent) {
    if (hKey != HKEY_LOCAL_MACHINE && hKey != HKEY_USERS) return ERROR_INVALID_PARAMETER;
    if (!lpSubKey || !*lpSubKey || std::strchr(lpSubKey, '\\')) return ERROR_INVALID_PARAMETER;
    winsim::Machine& machine = winsim::CurrentMachine();
    if (machine.Version().platformId == VER_PLATFORM_WIN32_NT &&
        !machine.Component<winsim::ProcessToken>().IsEnabled(kRestorePrivilege))
        return ERROR_PRIVILEGE_NOT_HELD;
    parent = hKey == HKEY_LOCAL_MACHINE ? &Store().LocalMachine() : &Store().Users();
    return ERROR_SUCCESS;
}

}  // namespace

LONG WINAPI RegLoadKeyA(HKEY hKey, LPCSTR lpSubKey, LPCSTR lpFile) {
    if (!lpFile || !*lpFile) return ERROR_INVALID_PARAMETER;
    auto lock = LockMachine();
    RegistryKey* parent = nullptr;
    if (LONG rc = HiveParent(hKey, lpSubKey, parent)) return rc;
    if (parent->Subkey(lpSubKey)) return ERROR_ALREADY_EXISTS;
    winsim::Machine& machine = winsim::CurrentMachine();
    std::filesystem::path file = winsim::ResolvePath(machine, lpFile);
    if (file.empty()) return ERROR_FILE_NOT_FOUND;
    // One file backs one hive at a time.
    std::error_code ec;
    for (RegistryKey* root : {&Store().LocalMachine(), &Store().Users()}) {
        for (const auto& sub : root->subkeys) {
            if (!sub.second->hiveFile.empty() &&
                std::filesystem::equivalent(sub.second->hiveFile, file, ec))
                return ERROR_SHARING_VIOLATION;
        }
    }
    std::shared_ptr<RegistryKey> hive;
    if (LONG rc = winsim::LoadHiveFile(file, Store().Now(), hive)) return rc;
    hive->name = lpSubKey;
    hive->parent = parent;
    hive->hiveFile = file;
    parent->subkeys.emplace(hive->name, hive);
    return ERROR_SUCCESS;
}

LONG WINAPI RegUnLoadKeyA(HKEY hKey, LPCSTR lpSubKey) {
    auto lock = LockMachine();
    RegistryKey* parent = nullptr;
    if (LONG rc = HiveParent(hKey, lpSubKey, parent)) return rc;
    RegistryKey* hive = parent->Subkey(lpSubKey);
    if (!hive) return ERROR_FILE_NOT_FOUND;
    if (hive->hiveFile.empty()) return ERROR_INVALID_PARAMETER;
    // Windows keeps a hive that a program still has a key of open.
    if (Store().HasOpenHandlesBelow(*hive)) return ERROR_ACCESS_DENIED;
    hive->Remove();
    return ERROR_SUCCESS;
}
