// The agent as a program: its command line, the NT service around one collection run, the
// status reports, the error events and the two console commands.
#include <mutex>

#include "agent.h"

SERVICE_STATUS g_serviceStatus;
SERVICE_STATUS_HANDLE g_hServiceStatus;
DWORD g_dwCheckPoint = 1;
DWORD g_dwSavedError;
char g_szErrorText[256];

namespace {

char g_szServiceName[] = AGENT_SERVICE_NAME;

// The service thread and the control handler on the main thread both report; a report's update
// of the record and its SetServiceStatus call must not interleave with another's. Recursive, so
// that the handler can read the current state and report it under one hold.
std::recursive_mutex g_statusLock;

}  // namespace

SERVICE_TABLE_ENTRYA g_serviceTable[2] = {{g_szServiceName, AgentServiceMain}, {nullptr, nullptr}};

int AgentMain(int argc, char** argv) {
    if (argc > 1 && (argv[1][0] == '-' || argv[1][0] == '/')) {
        const char* word = argv[1] + 1;
        if (EqualNoCaseAscii(word, "install"))
            InstallAgentService();
        else if (EqualNoCaseAscii(word, "remove"))
            RemoveAgentService();
        else if (EqualNoCaseAscii(word, "debug"))
            CollectLanConfig();
        return 0;
    }
    if (!StartServiceCtrlDispatcherA(g_serviceTable))
        LogAgentError("StartServiceCtrlDispatcher failed.");
    return 0;
}

void WINAPI AgentServiceMain(DWORD, LPSTR*) {
    g_hServiceStatus = RegisterServiceCtrlHandlerA(AGENT_SERVICE_NAME, AgentControlHandler);
    if (!g_hServiceStatus) ExitProcess(static_cast<UINT>(-1));
    g_serviceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_serviceStatus.dwServiceSpecificExitCode = 0;
    RunAgentService();
}

void WINAPI AgentControlHandler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) {
        // The run is not interrupted; it reports its own end.
        ReportServiceState(SERVICE_STOP_PENDING, NO_ERROR, 0);
        return;
    }
    std::lock_guard<std::recursive_mutex> lock(g_statusLock);
    ReportServiceState(g_serviceStatus.dwCurrentState, NO_ERROR, 0);
}

BOOL ReportServiceState(DWORD state, DWORD exitCode, DWORD waitHint) {
    std::lock_guard<std::recursive_mutex> lock(g_statusLock);
    g_serviceStatus.dwControlsAccepted = 0;
    g_serviceStatus.dwCurrentState = state;
    g_serviceStatus.dwWin32ExitCode = exitCode;
    g_serviceStatus.dwWaitHint = waitHint;
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED)
        g_serviceStatus.dwCheckPoint = 0;
    else
        g_serviceStatus.dwCheckPoint = g_dwCheckPoint++;
    BOOL taken = SetServiceStatus(g_hServiceStatus, &g_serviceStatus);
    if (!taken) LogAgentError("SetServiceStatus");
    return taken;
}

void RunAgentService() {
    if (!ReportServiceState(SERVICE_START_PENDING, NO_ERROR, 3000))
        LogAgentError("Finchwell service Fail.");
    if (!ReportServiceState(SERVICE_RUNNING, NO_ERROR, 0)) LogAgentError("Finchwell service Fail.");
    CollectLanConfig();
    if (!ReportServiceState(SERVICE_STOP_PENDING, NO_ERROR, 0))
        LogAgentError("Finchwell service Fail.");
    if (!ReportServiceState(SERVICE_STOPPED, NO_ERROR, 0)) LogAgentError("Finchwell service Fail.");
}

void LogAgentError(LPCSTR message) {
    g_dwSavedError = GetLastError();
    HANDLE hEventSource = RegisterEventSourceA(nullptr, AGENT_SERVICE_NAME);
    char szText[256];
    std::snprintf(szText, sizeof szText, "%s error: %d", AGENT_SERVICE_NAME,
                  static_cast<int>(g_dwSavedError));
    LPCSTR strings[2] = {szText, message};
    if (hEventSource) {
        ReportEventA(hEventSource, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 2, 0, strings, nullptr);
        DeregisterEventSource(hEventSource);
    }
}

LPSTR FormatSystemError(LPSTR buffer, DWORD size) {
    LPSTR text = nullptr;
    DWORD count = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, GetLastError(), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (count == 0 || size < count + 14) {
        if (size > 0) buffer[0] = '\0';
    } else {
        // System texts end in CR LF.
        if (count >= 2) text[count - 2] = '\0';
        std::snprintf(buffer, size, "%s (0x%x)", text, static_cast<unsigned>(GetLastError()));
    }
    if (text) LocalFree(text);
    return buffer;
}

void InstallAgentService() {
    char szPath[512];
    DWORD length = GetModuleFileNameA(nullptr, szPath, sizeof szPath);
    // A path cut to the buffer would register some other program.
    if (length == 0 || length >= sizeof szPath) {
        std::printf("Unable to install %s - %s\n", AGENT_DISPLAY_NAME,
                    FormatSystemError(g_szErrorText, sizeof g_szErrorText));
        return;
    }
    // Unquoted, a path with a blank in it ("C:\Program Files\...") would let the SCM start
    // "C:\Program.exe" in its place.
    char szBinaryPath[sizeof szPath + 2];
    if (std::strchr(szPath, ' '))
        std::snprintf(szBinaryPath, sizeof szBinaryPath, "\"%s\"", szPath);
    else
        std::snprintf(szBinaryPath, sizeof szBinaryPath, "%s", szPath);

    SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!hManager) {
        std::printf("OpenSCManager failed - %s\n",
                    FormatSystemError(g_szErrorText, sizeof g_szErrorText));
        return;
    }
    SC_HANDLE hService =
        CreateServiceA(hManager, AGENT_SERVICE_NAME, AGENT_DISPLAY_NAME, SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                       szBinaryPath, nullptr, nullptr, "\0\0", nullptr, nullptr);
    if (hService) {
        std::printf("%s installed.\n", AGENT_DISPLAY_NAME);
        CloseServiceHandle(hService);
    } else {
        std::printf("CreateService failed - %s\n",
                    FormatSystemError(g_szErrorText, sizeof g_szErrorText));
    }
    CloseServiceHandle(hManager);
}

void RemoveAgentService() {
    SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!hManager) {
        std::printf("OpenSCManager failed - %s\n",
                    FormatSystemError(g_szErrorText, sizeof g_szErrorText));
        return;
    }
    SC_HANDLE hService = OpenServiceA(hManager, AGENT_SERVICE_NAME, SERVICE_ALL_ACCESS);
    if (!hService) {
        std::printf("OpenService failed - %s\n",
                    FormatSystemError(g_szErrorText, sizeof g_szErrorText));
        CloseServiceHandle(hManager);
        return;
    }
    if (ControlService(hService, SERVICE_CONTROL_STOP, &g_serviceStatus)) {
        std::printf("Stopping %s.", AGENT_DISPLAY_NAME);
        std::fflush(stdout);
        Sleep(1000);
        while (QueryServiceStatus(hService, &g_serviceStatus) &&
               g_serviceStatus.dwCurrentState == SERVICE_STOP_PENDING) {
            std::printf(".");
            std::fflush(stdout);
            Sleep(1000);
        }
        if (g_serviceStatus.dwCurrentState == SERVICE_STOPPED)
            std::printf("\n%s stopped.\n", AGENT_DISPLAY_NAME);
        else
            std::printf("\n%s failed to stop.\n", AGENT_DISPLAY_NAME);
    }
    if (DeleteService(hService))
        std::printf("%s removed.\n", AGENT_DISPLAY_NAME);
    else
        std::printf("DeleteService failed - %s\n",
                    FormatSystemError(g_szErrorText, sizeof g_szErrorText));
    CloseServiceHandle(hService);
    CloseServiceHandle(hManager);
}
