// Tokens over the machine's process token: every token handle of the process reaches the one
// set of privileges, so that what one handle enables the registry sees.
#include <windows.h>

#include <mutex>
#include <vector>

#include "machine/handles.h"
#include "machine/machine.h"
#include "machine/process_token.h"

namespace {

struct TokenObject : winsim::HandleObject {
    explicit TokenObject(DWORD granted) : access(granted) {}
    DWORD access;
};

bool HasTokens(winsim::Machine& machine) {
    if (machine.Version().platformId == VER_PLATFORM_WIN32_NT) return true;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    if (!HasTokens(machine)) return FALSE;
    if (!TokenHandle) return Fail(ERROR_NOACCESS);
    if (ProcessHandle != GetCurrentProcess()) return Fail(ERROR_INVALID_HANDLE);
    if (machine.Component<winsim::ProcessToken>().Refused()) return Fail(ERROR_ACCESS_DENIED);
    *TokenHandle = machine.Component<winsim::HandleTable>().Insert(
        std::make_shared<TokenObject>(DesiredAccess));
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) {
    winsim::Machine& machine = winsim::CurrentMachine();
    if (!HasTokens(machine)) return FALSE;
    if (!lpName || !lpLuid) return Fail(ERROR_INVALID_PARAMETER);
    // Only this machine's own names are known here.
    if (lpSystemName && *lpSystemName) return Fail(ERROR_INVALID_PARAMETER);
    auto luid = winsim::ProcessToken::LookupPrivilege(lpName);
    if (!luid) return Fail(ERROR_NO_SUCH_PRIVILEGE);
    lpLuid->LowPart = *luid;
    lpLuid->HighPart = 0;
    return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                  PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                                  PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    if (!HasTokens(machine)) return FALSE;
    auto token = machine.Component<winsim::HandleTable>().Find<TokenObject>(TokenHandle);
    if (!token) return Fail(ERROR_INVALID_HANDLE);
    if (!(token->access & TOKEN_ADJUST_PRIVILEGES)) return Fail(ERROR_ACCESS_DENIED);
    if (PreviousState && !(token->access & TOKEN_QUERY)) return Fail(ERROR_ACCESS_DENIED);
    if (!DisableAllPrivileges && !NewState) return Fail(ERROR_INVALID_PARAMETER);
    winsim::ProcessToken& process = machine.Component<winsim::ProcessToken>();

    // The changes to make: privilege and new state, and whether all named were held.
    std::vector<std::pair<std::uint32_t, bool>> changes;
    bool allAssigned = true;
    if (DisableAllPrivileges) {
        for (std::uint32_t luid : process.Enabled()) changes.emplace_back(luid, false);
    } else {
        for (DWORD i = 0; i < NewState->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& entry = NewState->Privileges[i];
            if (entry.Luid.HighPart != 0 || !process.Holds(entry.Luid.LowPart)) {
                allAssigned = false;
                continue;
            }
            bool enable = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
            if (process.IsEnabled(entry.Luid.LowPart) != enable)
                changes.emplace_back(entry.Luid.LowPart, enable);
        }
    }
    if (PreviousState) {
        // The earlier state of what changes, so that a caller can put it back.
        DWORD needed =
            static_cast<DWORD>(sizeof(DWORD) + changes.size() * sizeof(LUID_AND_ATTRIBUTES));
        if (ReturnLength) *ReturnLength = needed;
        if (BufferLength < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
        PreviousState->PrivilegeCount = static_cast<DWORD>(changes.size());
        LUID_AND_ATTRIBUTES* previous = PreviousState->Privileges;
        for (const auto& change : changes) {
            previous->Luid.LowPart = change.first;
            previous->Luid.HighPart = 0;
            previous->Attributes = change.second ? 0 : SE_PRIVILEGE_ENABLED;
            ++previous;
        }
    }
    for (const auto& change : changes) process.SetEnabled(change.first, change.second);
    SetLastError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}
