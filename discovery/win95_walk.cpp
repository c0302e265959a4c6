// The Windows 95 adapter walk: from the first PCI device instance of class "net" through its
// TCP/IP binding to the driver's class key, where the adapter's addresses are kept, then the
// TCP/IP stack's DNS settings.
#include "bounded_text.h"
#include "discovery.h"
#include "registry_value.h"

namespace {

const char kMstcpKey[] = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";

// Opens the first instance of class "net" under Enum\PCI into `adapter`. Returns 0 found,
// 1 not found or the tree cannot be walked.
int FindNetInstance(HKEY hPci, HKEY* adapter) {
    char deviceName[100];
    char instanceName[100];
    char className[100];
    for (DWORD device = 0;; ++device) {
        LONG result = RegEnumKeyA(hPci, device, deviceName, sizeof deviceName);
        if (result != ERROR_SUCCESS) {
            if (SkipsIndex(result)) continue;
            return 1;
        }
        HKEY hDevice;
        if (RegOpenKeyA(hPci, deviceName, &hDevice) != ERROR_SUCCESS) return 1;
        for (DWORD instance = 0;; ++instance) {
            result = RegEnumKeyA(hDevice, instance, instanceName, sizeof instanceName);
            if (result != ERROR_SUCCESS) {
                if (SkipsIndex(result)) continue;
                break;
            }
            HKEY hInstance;
            if (RegOpenKeyA(hDevice, instanceName, &hInstance) != ERROR_SUCCESS) continue;
            DWORD type;
            DWORD size = sizeof className;
            if (RegQueryValueExA(hInstance, "Class", nullptr, &type,
                                 reinterpret_cast<LPBYTE>(className), &size) == ERROR_SUCCESS) {
                // The stored text need not end in a terminator.
                className[size < sizeof className ? size : sizeof className - 1] = '\0';
                LowerText(className);
                if (std::strcmp(className, "net") == 0) {
                    RegCloseKey(hDevice);
                    *adapter = hInstance;
                    return 0;
                }
            }
            RegCloseKey(hInstance);
        }
        RegCloseKey(hDevice);
    }
}

// The first value name of the adapter's Bindings key that holds "MSTCP", or "" when none
// does. Returns 1 when the Bindings key cannot be opened.
int FindTcpBinding(HKEY hAdapter, char* binding, size_t size) {
    HKEY hBindings;
    if (RegOpenKeyA(hAdapter, "Bindings", &hBindings) != ERROR_SUCCESS) return 1;
    binding[0] = '\0';
    for (DWORD index = 0;; ++index) {
        binding[0] = '\0';
        DWORD length = static_cast<DWORD>(size);
        LONG result =
            RegEnumValueA(hBindings, index, binding, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_SUCCESS) {
            if (std::strstr(binding, "MSTCP")) break;
            continue;
        }
        // A failed call may have left a cut name behind.
        binding[0] = '\0';
        if (!SkipsIndex(result)) break;
    }
    RegCloseKey(hBindings);
    return 0;
}

}  // namespace

int WalkWin95Adapters(int mode, char* ip, char* subnetMask, char* domain, char* nameServer,
                      char* gateway, char* dhcp) {
    HKEY hEnum;
    HKEY hPci;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Enum", &hEnum) != ERROR_SUCCESS) return 1;
    if (RegOpenKeyA(hEnum, "PCI", &hPci) != ERROR_SUCCESS) {
        RegCloseKey(hEnum);
        return 1;
    }
    HKEY hAdapter;
    int found = FindNetInstance(hPci, &hAdapter);
    char binding[100] = "";
    if (found == 0) {
        found = FindTcpBinding(hAdapter, binding, sizeof binding);
        RegCloseKey(hAdapter);
    }
    RegCloseKey(hPci);
    RegCloseKey(hEnum);
    if (found != 0) return 1;

    // A path that does not fit its buffer would name another key: its reads are not made.
    char driver[100] = "";
    char keyPath[100];
    if (FormatBounded(keyPath, sizeof keyPath, "Enum\\Network\\%s", binding))
        ReadRegistryValue(HKEY_LOCAL_MACHINE, keyPath, "Driver", driver);
    if (FormatBounded(keyPath, sizeof keyPath, "System\\CurrentControlSet\\Services\\Class\\%s",
                      driver)) {
        ReadRegistryValue(HKEY_LOCAL_MACHINE, keyPath, "DefaultGateway", gateway);
        if (mode == 0) {
            ReadRegistryValue(HKEY_LOCAL_MACHINE, keyPath, "IPAddress", ip);
            ReadRegistryValue(HKEY_LOCAL_MACHINE, keyPath, "IPMask", subnetMask);
        }
    }
    CopyBounded(dhcp, kDhcpSize, std::strcmp(ip, "0.0.0.0") == 0 ? "YES" : "NO");

    char enableDns[100] = "";
    ReadRegistryValue(HKEY_LOCAL_MACHINE, kMstcpKey, "EnableDNS", enableDns);
    if (std::strcmp(enableDns, "1") == 0) {
        ReadRegistryValue(HKEY_LOCAL_MACHINE, kMstcpKey, "NameServer", nameServer);
        ReadRegistryValue(HKEY_LOCAL_MACHINE, kMstcpKey, "Domain", domain);
    }
    return 0;
}
