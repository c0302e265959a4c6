#include "machine/process_token.h"

#include <string>

#include "machine/machine.h"

namespace winsim {

namespace {

struct Privilege {
    const char* name;
    std::uint32_t luid;
};

// The privileges of Windows NT 4.0 and 2000 with the ids that LookupPrivilegeValue gives.
const Privilege kPrivileges[] = {
    {"SeCreateTokenPrivilege", 2},
    {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},
    {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},
    {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},
    {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},
    {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},
    {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14},
    {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},
    {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},
    {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},
    {"SeChangeNotifyPrivilege", 23},
    {"SeRemoteShutdownPrivilege", 24},
    {"SeUndockPrivilege", 25},
    {"SeSyncAgentPrivilege", 26},
    {"SeEnableDelegationPrivilege", 27},
};

constexpr std::uint32_t kChangeNotify = 23;

}  // namespace

ProcessToken::ProcessToken(Machine& machine) : m_machine(machine) {
    std::optional<std::string> list = machine.Settings().Find("Process", "Privileges");
    if (!list) {
        for (const Privilege& p : kPrivileges) m_held.insert(p.luid);
    } else {
        size_t pos = 0;
        while (pos <= list->size()) {
            size_t comma = list->find(',', pos);
            if (comma == std::string::npos) comma = list->size();
            std::string name = list->substr(pos, comma - pos);
            name.erase(0, name.find_first_not_of(" \t"));
            name.erase(name.find_last_not_of(" \t") + 1);
            if (auto luid = LookupPrivilege(name)) m_held.insert(*luid);
            pos = comma + 1;
        }
    }
    if (Holds(kChangeNotify)) m_enabled.insert(kChangeNotify);
}

bool ProcessToken::Refused() const {
    return EqualNoCase(m_machine.Settings().Get("Process", "Token", "opens"), "refused");
}

std::optional<std::uint32_t> ProcessToken::LookupPrivilege(std::string_view name) {
    for (const Privilege& p : kPrivileges)
        if (EqualNoCase(name, p.name)) return p.luid;
    return std::nullopt;
}

bool ProcessToken::SetEnabled(std::uint32_t privilege, bool enabled) {
    if (!Holds(privilege)) return false;
    if (enabled)
        m_enabled.insert(privilege);
    else
        m_enabled.erase(privilege);
    return true;
}

}  // namespace winsim
