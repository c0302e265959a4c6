#include "machine/firmware_service.h"

#include <algorithm>
#include <cstring>

#include "machine/bios_tables.h"
#include "machine/firmware_driver.h"
#include "machine/machine.h"

namespace winsim {

namespace {

constexpr std::size_t kPasswordBuffer = 33;  // 32 scan codes and the closing zero
constexpr std::uint16_t kPasswordBits = 640;

std::uint16_t Fail(std::uint8_t error) {
    return static_cast<std::uint16_t>(error << 8);
}

unsigned ParseNumber(const std::string& text, unsigned limit, const std::filesystem::path& file,
                     const std::string& key) {
    char* end = nullptr;
    unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || *end || value > limit)
        throw MachineError(file, 0,
                           key + " must be a number from 0 to " + std::to_string(limit) +
                               ", not \"" + text + "\"");
    return static_cast<unsigned>(value);
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t,", at)) != std::string::npos) {
        std::size_t end = text.find_first_of(" \t,", at);
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

std::string ParsePassword(const std::string& text, const std::filesystem::path& file,
                          const std::string& key) {
    std::string password;
    for (const std::string& word : Words(text)) {
        char* end = nullptr;
        unsigned long code = std::strtoul(word.c_str(), &end, 16);
        if (*end || code == 0 || code > 0xFF)
            throw MachineError(file, 0,
                               key + " must be scan codes in hex (01-FF), not \"" + word + "\"");
        password.push_back(static_cast<char>(code));
    }
    if (password.size() > kPasswordBuffer - 1)
        throw MachineError(file, 0, key + " holds more than 32 scan codes");
    return password;
}

void ParseDate(const std::string& text, std::uint8_t date[4], const std::filesystem::path& file,
               const std::string& key) {
    std::vector<std::string> words = Words(text);
    if (words.size() != 4)
        throw MachineError(file, 0, key + " must be four numbers: century year month day");
    for (int i = 0; i < 4; ++i)
        date[i] = static_cast<std::uint8_t>(ParseNumber(words[i], 255, file, key));
}

std::string HexCodes(const std::string& password) {
    std::string text;
    char code[4];
    for (unsigned char c : password) {
        std::snprintf(code, sizeof code, text.empty() ? "%02X" : " %02X", c);
        text += code;
    }
    return text;
}

std::string DateText(const std::uint8_t date[4]) {
    return std::to_string(date[0]) + " " + std::to_string(date[1]) + " " + std::to_string(date[2]) +
           " " + std::to_string(date[3]);
}

// A value without the comment that may follow it.
std::string Value(const MachineSettings& ini, const char* key, const char* fallback) {
    std::string v = ini.Get("Store", key, fallback);
    v = v.substr(0, v.find(';'));
    std::size_t end = v.find_last_not_of(" \t\r");
    return end == std::string::npos ? "" : v.substr(0, end + 1);
}

}  // namespace

PasswordStore PasswordStore::Parse(const std::string& text, const std::filesystem::path& file) {
    MachineSettings ini = MachineSettings::Parse(text, file);
    PasswordStore store;
    store.adminPassword = ParsePassword(Value(ini, "AdminPassword", ""), file, "AdminPassword");
    store.userPassword = ParsePassword(Value(ini, "UserPassword", ""), file, "UserPassword");
    store.adminMinLength = static_cast<std::uint8_t>(
        ParseNumber(Value(ini, "AdminMinLength", "0"), 15, file, "AdminMinLength"));
    store.userMinLength = static_cast<std::uint8_t>(
        ParseNumber(Value(ini, "UserMinLength", "0"), 15, file, "UserMinLength"));
    store.attemptsLimit = static_cast<std::uint8_t>(
        ParseNumber(Value(ini, "AttemptsLimit", "3"), 7, file, "AttemptsLimit"));
    ParseDate(Value(ini, "AdminDate", "0 0 0 0"), store.adminDate, file, "AdminDate");
    ParseDate(Value(ini, "UserDate", "0 0 0 0"), store.userDate, file, "UserDate");
    return store;
}

std::string PasswordStore::Text() const {
    return "; The firmware's non-volatile password store. Passwords are scan codes in hex (empty:\n"
           "; not set); minimum lengths are raw (0: none, r: r + 7 scan codes); dates are\n"
           "; century year month day.\n"
           "[Store]\n"
           "AdminPassword=" +
           HexCodes(adminPassword) + "\n" + "UserPassword=" + HexCodes(userPassword) + "\n" +
           "AdminMinLength=" + std::to_string(adminMinLength) + "\n" +
           "UserMinLength=" + std::to_string(userMinLength) + "\n" +
           "AttemptsLimit=" + std::to_string(attemptsLimit) + "\n" +
           "AdminDate=" + DateText(adminDate) + "\n" + "UserDate=" + DateText(userDate) + "\n";
}

FirmwareService::FirmwareService(Machine& machine) : m_machine(machine) {
    std::filesystem::path folder = machine.Folder() / "firmware";
    if (std::filesystem::exists(folder / "passwords.ini"))
        m_store =
            PasswordStore::Parse(ReadWholeFile(folder / "passwords.ini"), folder / "passwords.ini");
    if (std::optional<std::uint32_t> entry = ReadServiceEntry(folder)) m_entry = *entry;
}

void FirmwareService::InjectError(std::uint16_t function, std::uint8_t field, std::uint8_t error) {
    if (function == kDcpgTestAdmin || function == kDcpgTestUser) field = 0;
    if (error)
        m_faults[{function, field}] = error;
    else
        m_faults.erase({function, field});
}

void FirmwareService::OverridePresence(std::uint8_t field, std::optional<std::uint8_t> value) {
    if (value)
        m_presence[field] = *value;
    else
        m_presence.erase(field);
}

void FirmwareService::Save() {
    if (!m_machine.Persistent()) return;
    std::filesystem::path folder = m_machine.Folder() / "firmware";
    std::filesystem::create_directories(folder);
    WriteFileAtomically(folder / "passwords.ini", m_store.Text());
}

std::uint16_t FirmwareService::Call(std::uint32_t entry, std::uint16_t function,
                                    std::uint32_t passwordAddress, std::uint32_t valueAddress,
                                    std::uint8_t field, std::uint16_t bits) {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    FirmwareCall call;
    call.function = function;
    call.field = field;
    call.bits = bits;
    std::uint16_t result;
    auto password = m_machine.Component<DriverAddressSpace>().Resolve(passwordAddress);
    const std::uint8_t* end =
        password ? static_cast<const std::uint8_t*>(std::memchr(password->data, 0, password->size))
                 : nullptr;
    if (end)
        call.password.assign(reinterpret_cast<const char*>(password->data),
                             static_cast<std::size_t>(end - password->data));
    if (entry != m_entry) {
        result = Fail(kErrNoService);
    } else if (!end) {
        result = Fail(kErrBadAddress);
    } else {
        bool test = function == kDcpgTestAdmin || function == kDcpgTestUser;
        auto fault = m_faults.find({function, test ? std::uint8_t{0} : field});
        result = fault != m_faults.end() ? Fail(fault->second) : Serve(call, valueAddress);
    }
    call.result = result;
    m_calls.push_back(call);
    return result;
}

std::uint16_t FirmwareService::Serve(FirmwareCall& call, std::uint32_t valueAddress) {
    PasswordStore& s = m_store;
    auto value = m_machine.Component<DriverAddressSpace>().Resolve(valueAddress);
    switch (call.function) {
        case kDcpgTestAdmin:
            return call.password == s.adminPassword ? 0 : 1;
        case kDcpgTestUser:
            return call.password == s.userPassword ? 0 : 1;
        case kDcpgRead: {
            std::uint32_t v;
            unsigned width;
            switch (call.field) {
                case kFieldUserMinLength:
                    v = s.userMinLength, width = 4;
                    break;
                case kFieldAdminMinLength:
                    v = s.adminMinLength, width = 4;
                    break;
                case kFieldAttemptsLimit:
                    v = s.attemptsLimit, width = 3;
                    break;
                case kFieldUserPresent:
                case kFieldAdminPresent: {
                    auto forced = m_presence.find(call.field);
                    const std::string& p =
                        call.field == kFieldUserPresent ? s.userPassword : s.adminPassword;
                    v = forced != m_presence.end() ? forced->second : !p.empty();
                    width = 1;
                    break;
                }
                case kFieldUserDate:
                case kFieldAdminDate: {
                    const std::uint8_t* d = call.field == kFieldUserDate ? s.userDate : s.adminDate;
                    v = d[0] | d[1] << 8 | d[2] << 16 | static_cast<std::uint32_t>(d[3]) << 24;
                    width = 32;
                    break;
                }
                default:
                    return Fail(kErrBadField);
            }
            if (call.bits < width) return Fail(kErrBadField);
            // A wider read gets the value zero-extended to every byte it asked for.
            std::size_t n = (call.bits + 7u) / 8u;
            if (!value || value->size < n) return Fail(kErrBadAddress);
            call.value.assign(n, 0);
            for (std::size_t i = 0; i < n && i < 4; ++i)
                call.value[i] = static_cast<std::uint8_t>(v >> (8 * i));
            std::copy(call.value.begin(), call.value.end(), value->data);
            return static_cast<std::uint16_t>(v & 0xFF);
        }
        case kDcpgWrite: {
            if (call.field == kFieldUserPassword || call.field == kFieldAdminPassword) {
                if (call.bits != kPasswordBits) return Fail(kErrBadField);
                if (!value) return Fail(kErrBadAddress);
                // The field holds 32 scan codes and a zero: nothing past that is read.
                std::size_t n = std::min(value->size, kPasswordBuffer);
                call.value.assign(value->data, value->data + n);
                const std::uint8_t* zero =
                    static_cast<const std::uint8_t*>(std::memchr(value->data, 0, n));
                if (!zero) return Fail(kErrBadValue);
                std::string fresh(reinterpret_cast<const char*>(value->data),
                                  reinterpret_cast<const char*>(zero));
                bool admin = call.field == kFieldAdminPassword;
                bool allowed =
                    admin ? s.adminPassword.empty() || call.password == s.adminPassword
                          : (s.adminPassword.empty() && s.userPassword.empty()) ||
                                (!s.userPassword.empty() && call.password == s.userPassword) ||
                                (!s.adminPassword.empty() && call.password == s.adminPassword);
                if (!allowed) return Fail(kErrNotAuthorised);
                std::uint8_t raw = admin ? s.adminMinLength : s.userMinLength;
                if (!fresh.empty() && raw && fresh.size() < raw + 7u) return Fail(kErrBadValue);
                (admin ? s.adminPassword : s.userPassword) = fresh;
                Save();
                return 0;
            }
            if (call.field == kFieldUserDate || call.field == kFieldAdminDate) {
                if (call.bits != 32) return Fail(kErrBadField);
                if (!value || value->size < 4) return Fail(kErrBadAddress);
                call.value.assign(value->data, value->data + 4);
                bool admin = call.field == kFieldAdminDate;
                // Only the password that now holds may stamp its date.
                if (call.password != (admin ? s.adminPassword : s.userPassword))
                    return Fail(kErrNotAuthorised);
                std::memcpy(admin ? s.adminDate : s.userDate, value->data, 4);
                Save();
                return 0;
            }
            return Fail(kErrBadField);
        }
        default:
            return Fail(kErrUnknownFunction);
    }
}

}  // namespace winsim
