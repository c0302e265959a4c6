// The agent frame: program entry, service control, event log and the collection run.
#pragma once

#include <windows.h>

#define AGENT_SERVICE_NAME "vantorlancfg"
#define AGENT_DISPLAY_NAME "Quessa LAN Configuration Agent"
// The agent's own values under HKEY_LOCAL_MACHINE: SaveToNesk, CopyNow and SaveUserInfo are
// read, LastUpdate is written.
#define AGENT_REGISTRY_KEY "Software\\Corvane\\Vantor LAN Finchwell"
// The record's file on the diagnostics partition and its section.
#define NETWORK_INI_FILE "Network.ini"
#define NETWORK_INI_SECTION "GENERAL"
// What the address fields say when DHCP hands out the address.
#define DHCP_MARKER "- DHCP -"

// ASCII comparison without regard to case: the command line words and the DHCP word.
inline bool EqualNoCaseAscii(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb) return false;
    }
    return *a == *b;
}

// The settings one run collects, 8-bit NUL-terminated text each. Writers never put more into a
// field than it holds.
struct LanConfigRecord {
    char ip[100];
    char subnetMask[100];
    char gateway[100];
    char domain[100];
    char dhcp[8];
    char nameServer[100];
    char proxyServer[100];
    char smtpServer[100];
};
extern LanConfigRecord LanConfig;

// One collection run: 0 when it went through (written or not), 1 when the Windows version
// could not be read, 2 when on Windows NT a network library the run needs failed to load.
int CollectLanConfig();
// Writes the record from LanConfig into the "GENERAL" section of Network.ini.
void WriteNetworkIni();

// The program: "-install", "-remove" or "-debug" (either prefix, any case), or, with none of
// them, the service started by the service control manager. Returns the process exit code.
int AgentMain(int argc, char** argv);

void WINAPI AgentServiceMain(DWORD argc, LPSTR* argv);
void WINAPI AgentControlHandler(DWORD control);
// Sets the status record and reports it; nonzero when the SCM took the report.
BOOL ReportServiceState(DWORD state, DWORD exitCode, DWORD waitHint);
void RunAgentService();
// An error event of the source "vantorlancfg": "vantorlancfg error: <last error>", `message`.
void LogAgentError(LPCSTR message);
// The system text of the last error and its code, "<text> (0x<code>)"; empty when the text is
// unknown or does not fit `size`.
LPSTR FormatSystemError(LPSTR buffer, DWORD size);
void InstallAgentService();
void RemoveAgentService();

// Process-wide service state, shared by the service thread and the control handler.
extern SERVICE_STATUS g_serviceStatus;
extern SERVICE_STATUS_HANDLE g_hServiceStatus;
extern DWORD g_dwCheckPoint;
extern DWORD g_dwSavedError;
extern char g_szErrorText[256];
extern SERVICE_TABLE_ENTRYA g_serviceTable[2];
