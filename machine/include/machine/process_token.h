// The access token of the process: which privileges it holds and which of them are enabled.
// machine.ini [Process] Token=refused makes OpenProcessToken fail with ERROR_ACCESS_DENIED;
// [Process] Privileges= lists the privileges held, by name and separated by commas (every known
// privilege when not set, as the LocalSystem account a service runs under holds them). Only
// SeChangeNotifyPrivilege starts enabled, as on Windows NT.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string_view>

namespace winsim {

class Machine;

class ProcessToken {
public:
    explicit ProcessToken(Machine& machine);

    bool Refused() const;
    // The locally unique id of a privilege name ("SeRestorePrivilege", any case).
    static std::optional<std::uint32_t> LookupPrivilege(std::string_view name);

    bool Holds(std::uint32_t privilege) const { return m_held.count(privilege) != 0; }
    bool IsEnabled(std::uint32_t privilege) const { return m_enabled.count(privilege) != 0; }
    // False when the token does not hold the privilege.
    bool SetEnabled(std::uint32_t privilege, bool enabled);
    const std::set<std::uint32_t>& Enabled() const { return m_enabled; }
    void DisableAll() { m_enabled.clear(); }

private:
    Machine& m_machine;
    std::set<std::uint32_t> m_held;
    std::set<std::uint32_t> m_enabled;
};

}  // namespace winsim
