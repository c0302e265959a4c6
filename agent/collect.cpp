// One collection run: the LAN settings by Windows version, one user's mail server and proxy,
// the DHCP override, the gates, the LastUpdate stamp and the Network.ini record.
#include <cstring>

#include "CPartitionIni.h"
#include "agent.h"
#include "bounded_text.h"
#include "discovery.h"
#include "partition.h"
#include "registry_value.h"

LanConfigRecord LanConfig;

namespace {

const char kNetworkCardKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\1";
const char kTcpipParametersKey[] = "System\\CurrentControlSet\\Services\\TCPIP\\Parameters";

// A switch of the agent's key is on only when its text is exactly "1".
bool AgentSwitchIsOn(const char* valueName) {
    char szValue[100] = "";
    ReadRegistryValue(HKEY_LOCAL_MACHINE, AGENT_REGISTRY_KEY, valueName, szValue);
    return std::strcmp(szValue, "1") == 0;
}

// Windows NT 4.0 keeps the adapter's TCP/IP settings under its network card's service.
void ReadNt4TcpipSettings() {
    char szServiceName[100] = "";
    ReadRegistryValue(HKEY_LOCAL_MACHINE, kNetworkCardKey, "ServiceName", szServiceName);
    char szAdapterKey[256];
    std::snprintf(szAdapterKey, sizeof szAdapterKey,
                  "System\\CurrentControlSet\\Services\\%s\\Parameters\\TCPIP", szServiceName);

    // Any registry text is read whole before the comparison, so a long one cannot spill out of
    // the DHCP field; only "0" means a fixed address.
    char szEnableDhcp[100] = "";
    ReadRegistryValue(HKEY_LOCAL_MACHINE, szAdapterKey, "EnableDHCP", szEnableDhcp);
    CopyBounded(LanConfig.dhcp, sizeof LanConfig.dhcp,
                std::strcmp(szEnableDhcp, "0") == 0 ? "NO" : "YES");

    ReadRegistryValue(HKEY_LOCAL_MACHINE, szAdapterKey, "DefaultGateway", LanConfig.gateway);
    ReadRegistryValue(HKEY_LOCAL_MACHINE, kTcpipParametersKey, "Domain", LanConfig.domain);

    // The servers are separated by blanks; the last one goes.
    char szNameServer[256] = "";
    if (ReadRegistryValue(HKEY_LOCAL_MACHINE, kTcpipParametersKey, "NameServer", szNameServer) ==
        0) {
        if (char* blank = std::strrchr(szNameServer, ' ')) *blank = '\0';
        CopyBounded(LanConfig.nameServer, sizeof LanConfig.nameServer, szNameServer);
    }
}

}  // namespace

int CollectLanConfig() {
    std::memset(&LanConfig, 0, sizeof LanConfig);

    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return 1;

    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (info.dwMinorVersion == 0) {
            WalkWin95Adapters(0, LanConfig.ip, LanConfig.subnetMask, LanConfig.domain,
                              LanConfig.nameServer, LanConfig.gateway, LanConfig.dhcp);
        } else {
            ReadInterfaceAddress(LanConfig.ip, LanConfig.subnetMask);
            if (ReadAdapterSettings(LanConfig.ip, LanConfig.domain, LanConfig.nameServer,
                                    LanConfig.gateway, LanConfig.dhcp) == ERROR_NOT_SUPPORTED)
                WalkWin95Adapters(1, LanConfig.ip, LanConfig.subnetMask, LanConfig.domain,
                                  LanConfig.nameServer, LanConfig.gateway, LanConfig.dhcp);
        }
    } else if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        if (ReadInterfaceAddress(LanConfig.ip, LanConfig.subnetMask) == 2) return 2;
        if (info.dwMajorVersion == 4) {
            ReadNt4TcpipSettings();
        } else if (info.dwMajorVersion == 5) {
            if (ReadAdapterSettings(LanConfig.ip, LanConfig.domain, LanConfig.nameServer,
                                    LanConfig.gateway, LanConfig.dhcp) == 2)
                return 2;
        }
    }

    SelectUserRoot();
    FindSmtpServer(LanConfig.smtpServer);
    FindHttpProxy(LanConfig.proxyServer);
    // Fails harmlessly when no user hive was loaded.
    RegUnLoadKeyA(HKEY_LOCAL_MACHINE, USER_HIVE_KEY);

    // The discovery routines write the word in more than one case.
    if (EqualNoCaseAscii(LanConfig.dhcp, "YES")) {
        for (char* field : {LanConfig.ip, LanConfig.subnetMask, LanConfig.gateway,
                            LanConfig.nameServer, LanConfig.domain})
            CopyBounded(field, sizeof LanConfig.ip, DHCP_MARKER);
    }

    if (!AgentSwitchIsOn("SaveToNesk") && !AgentSwitchIsOn("CopyNow")) return 0;
    if (!NeskIsAvailable()) return 0;

    // 21 characters, their NUL and three more zero bytes: the stamp is stored as 25 bytes.
    SYSTEMTIME now;
    GetLocalTime(&now);
    char szStamp[25] = "";
    std::snprintf(szStamp, sizeof szStamp, "%02u/%02u/%04u - %02u:%02u:%02u", now.wMonth % 100u,
                  now.wDay % 100u, now.wYear % 10000u, now.wHour % 100u, now.wMinute % 100u,
                  now.wSecond % 100u);
    WriteRegistryValue(HKEY_LOCAL_MACHINE, AGENT_REGISTRY_KEY, "LastUpdate", szStamp,
                       sizeof szStamp);

    WriteNetworkIni();
    return 0;
}

void WriteNetworkIni() {
    CPartitionIni ini;
    const struct {
        const char* key;
        const char* value;
    } addressKeys[] = {
        {"IP", LanConfig.ip},           {"SUBNET_MASK", LanConfig.subnetMask},
        {"GATEWAY", LanConfig.gateway}, {"DOMAIN", LanConfig.domain},
        {"DHCP", LanConfig.dhcp},       {"NAME_SERVER", LanConfig.nameServer},
    };
    for (const auto& entry : addressKeys)
        if (entry.value[0])
            ini.WriteValue(NETWORK_INI_SECTION, entry.key, entry.value, NETWORK_INI_FILE);
    if (AgentSwitchIsOn("SaveUserInfo")) {
        ini.WriteValue(NETWORK_INI_SECTION, "HTTP_PROXY", LanConfig.proxyServer, NETWORK_INI_FILE);
        ini.WriteValue(NETWORK_INI_SECTION, "SMTP_SERVER", LanConfig.smtpServer, NETWORK_INI_FILE);
    }
    ini.WriteValue(NETWORK_INI_SECTION, "Cfg_Method", "2", NETWORK_INI_FILE);
}
