// What the agent's tests share: registry values set in code, the partition's Network.ini, the
// machine's event log, and a fresh machine for each case of a table.
#pragma once

#include <windows.h>

#include <string>

#include "agent.h"
#include "test_machine.h"

namespace agenttest {

inline void SetValue(HKEY root, const char* path, const char* name, DWORD type,
                     const std::string& data) {
    HKEY key;
    DWORD disposition;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

inline void SetText(const char* path, const char* name, const std::string& text) {
    SetValue(HKEY_LOCAL_MACHINE, path, name, REG_SZ, text + '\0');
}

inline void SetDword(const char* path, const char* name, DWORD value) {
    SetValue(HKEY_LOCAL_MACHINE, path, name, REG_DWORD,
             std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

// The raw bytes of a value, or "-" when it cannot be read.
inline std::string RawValue(const char* path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "-";
    char data[512];
    DWORD size = sizeof data, type = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::string(data, size) : "-";
}

inline std::string NetworkIni(winsim::Machine& machine) {
    return zutest::ReadFile(machine.Folder() / "partition" / "Network.ini");
}

inline std::string EventLog(winsim::Machine& machine) {
    return zutest::ReadFile(machine.Folder() / "eventlog.txt");
}

}  // namespace agenttest
