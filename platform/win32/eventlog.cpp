// The event log, kept as readable text in the machine folder.
#include <windows.h>

#include <fstream>
#include <memory>
#include <mutex>
#include <string>

#include "machine/handles.h"
#include "machine/machine.h"

namespace {

struct EventSource : winsim::HandleObject {
    std::string name;
};

const char* TypeName(WORD type) {
    switch (type) {
        case EVENTLOG_SUCCESS:
            return "Success";
        case EVENTLOG_ERROR_TYPE:
            return "Error";
        case EVENTLOG_WARNING_TYPE:
            return "Warning";
        case EVENTLOG_INFORMATION_TYPE:
            return "Information";
        case EVENTLOG_AUDIT_SUCCESS:
            return "Audit Success";
        case EVENTLOG_AUDIT_FAILURE:
            return "Audit Failure";
        default:
            return nullptr;
    }
}

// One field of the line: what would break the line or its columns is escaped.
void AppendField(std::string& line, const char* text) {
    line += '\t';
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '\t':
                line += "\\t";
                break;
            case '\r':
                line += "\\r";
                break;
            case '\n':
                line += "\\n";
                break;
            case '\\':
                line += "\\\\";
                break;
            default:
                line += *p;
        }
    }
}

}  // namespace

HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    if (machine.Version().platformId != VER_PLATFORM_WIN32_NT) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    if ((lpUNCServerName && *lpUNCServerName) ||
        !machine.Settings().GetBool("EventLog", "Available", true)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (!lpSourceName || !*lpSourceName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto source = std::make_shared<EventSource>();
    source->name = lpSourceName;
    return machine.Component<winsim::HandleTable>().Insert(std::move(source));
}

BOOL WINAPI DeregisterEventSource(HANDLE hEventLog) {
    auto& handles = winsim::CurrentMachine().Component<winsim::HandleTable>();
    if (!handles.Find<EventSource>(hEventLog) || !handles.Close(hEventLog)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD, DWORD, PSID, WORD wNumStrings, DWORD,
                         LPCSTR* lpStrings, LPVOID) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    auto source = machine.Component<winsim::HandleTable>().Find<EventSource>(hEventLog);
    if (!source) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const char* type = TypeName(wType);
    if (!type || (wNumStrings && !lpStrings)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::tm t = machine.LocalTime();
    char when[64];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    std::string line = when;
    AppendField(line, source->name.c_str());
    AppendField(line, type);
    for (WORD i = 0; i < wNumStrings; ++i) AppendField(line, lpStrings[i] ? lpStrings[i] : "");
    line += '\n';
    std::ofstream log(machine.Folder() / "eventlog.txt", std::ios::binary | std::ios::app);
    log << line;
    log.flush();
    if (!log) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}
