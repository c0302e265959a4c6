// The firmware security service behind the lock driver: "DCPG" calls over the password store
// kept in the machine folder's firmware/passwords.ini, with a record of every call and fault
// injection for tests. docs/machine/firmware.md states its rules.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "machine/bios_memory.h"

namespace winsim {

class Machine;

// Where the built-in image publishes the service and where the service lives by default.
constexpr std::uint32_t kDefaultServiceEntry = 0xF0009A40;

// Function codes and fields as the firmware knows them.
enum : std::uint16_t {
    kDcpgRead = 256,
    kDcpgWrite = 258,
    kDcpgTestAdmin = 272,
    kDcpgTestUser = 273,
};
enum : std::uint8_t {
    kFieldUserPassword = 32,
    kFieldAdminPassword = 33,
    kFieldUserMinLength = 34,
    kFieldAdminMinLength = 35,
    kFieldAttemptsLimit = 36,
    kFieldUserDate = 39,
    kFieldUserPresent = 48,
    kFieldAdminPresent = 49,
    kFieldAdminDate = 51,
};
// Error bytes (the high byte of the result word).
enum : std::uint8_t {
    kErrUnknownFunction = 0x81,
    kErrBadField = 0x82,  // no such field, wrong size, or a field that cannot be written
    kErrNotAuthorised = 0x83,
    kErrBadValue = 0x84,    // a password too long or shorter than its minimum length
    kErrBadAddress = 0x85,  // a password or value address that nothing is mapped at
    kErrNoService = 0x86,   // the driver found no service at the entry point called
};

// The non-volatile store: both passwords as scan codes, the raw minimum lengths (0-15: 0 no
// minimum, r a minimum of r + 7), the attempts limit (0-7) and the date records (century,
// year, month, day; all zero when never stamped).
struct PasswordStore {
    std::string adminPassword;
    std::string userPassword;
    std::uint8_t adminMinLength = 0;
    std::uint8_t userMinLength = 0;
    std::uint8_t attemptsLimit = 3;
    std::uint8_t adminDate[4] = {0, 0, 0, 0};
    std::uint8_t userDate[4] = {0, 0, 0, 0};

    // firmware/passwords.ini; throws MachineError for a malformed line or value.
    static PasswordStore Parse(const std::string& text, const std::filesystem::path& file);
    std::string Text() const;
};

// One call as the firmware received it: what the request block said, the password and the
// value bytes it read (a write) or returned (a read), and the result word.
struct FirmwareCall {
    std::uint16_t function = 0;
    std::uint8_t field = 0;
    std::uint16_t bits = 0;
    std::string password;
    Bytes value;
    std::uint16_t result = 0;
    bool operator==(const FirmwareCall&) const = default;
};

class FirmwareService {
public:
    // A machine component: the store comes from firmware/passwords.ini when it exists, and
    // the service lives at firmware/tables.ini's [Service] Entry (else kDefaultServiceEntry).
    explicit FirmwareService(Machine& machine);

    PasswordStore& Store() { return m_store; }
    // Where the service's code is; a call to any other entry point finds no service.
    std::uint32_t Entry() const { return m_entry; }
    void SetEntry(std::uint32_t entry) { m_entry = entry; }

    // One "DCPG" call with the block's fields; the addresses are 32-bit driver addresses.
    std::uint16_t Call(std::uint32_t entry, std::uint16_t function, std::uint32_t passwordAddress,
                       std::uint32_t valueAddress, std::uint8_t field, std::uint16_t bits);

    const std::vector<FirmwareCall>& Calls() const { return m_calls; }
    void ClearCalls() { m_calls.clear(); }

    // Fault injection: the next calls of `function` on `field` (any field for the two tests)
    // fail with `error` and change nothing; error 0 takes the fault away.
    void InjectError(std::uint16_t function, std::uint8_t field, std::uint8_t error);
    // A presence flag (field 48 or 49) that reads back as `value` whatever the store holds.
    void OverridePresence(std::uint8_t field, std::optional<std::uint8_t> value);

    // Saves the store to firmware/passwords.ini when the machine is persistent.
    void Save();

private:
    std::uint16_t Serve(FirmwareCall& call, std::uint32_t valueAddress);

    Machine& m_machine;
    PasswordStore m_store;
    std::uint32_t m_entry = kDefaultServiceEntry;
    std::vector<FirmwareCall> m_calls;
    std::map<std::pair<std::uint16_t, std::uint8_t>, std::uint8_t> m_faults;
    std::map<std::uint8_t, std::uint8_t> m_presence;
};

}  // namespace winsim
