// The simulated PC behind the platform: its settings (machine.ini), its registry, its drives,
// clock and Windows version, and the per-subsystem state of the outside world (firmware, lock
// driver, network, partition library, ...). System code never sees this header; tests and
// tools do.
#pragma once

#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

namespace winsim {

namespace fs = std::filesystem;

// A machine folder's file that cannot be read: which file, which line (0: the file as a
// whole), and why. Programs print it and stop before they change anything.
class MachineError : public std::runtime_error {
public:
    MachineError(fs::path file, int line, const std::string& why);
    const fs::path& File() const { return m_file; }
    int Line() const { return m_line; }

private:
    fs::path m_file;
    int m_line;
};

// Letter case of ASCII letters only, as the "C" locale the programs run in has it; inline, as
// registry and INI lookups fold every character they compare.
constexpr unsigned char FoldUpper(char c) {
    return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}
constexpr unsigned char FoldLower(char c) {
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

// Case-insensitive comparison of 8-bit names, as Windows compares registry and INI names.
bool EqualNoCase(std::string_view a, std::string_view b);
struct LessNoCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// machine.ini: sections of key=value lines, ';' comments. Section and key names match without
// regard to case. The README lists the sections and keys the platform reads.
class MachineSettings {
public:
    // Throws MachineError naming `file` and the line that is not a section, key or comment.
    static MachineSettings Parse(std::string_view text, const fs::path& file);

    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string Get(std::string_view section, std::string_view key,
                    std::string_view fallback = "") const;
    // "yes", "true", "1", "on", "present" are true; "no", "false", "0", "off", "absent" false.
    bool GetBool(std::string_view section, std::string_view key, bool fallback) const;
    unsigned long GetNumber(std::string_view section, std::string_view key,
                            unsigned long fallback) const;
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // The section's keys in file order.
    std::vector<std::pair<std::string, std::string>> Section(std::string_view section) const;
    std::string Text() const;

private:
    struct Entry {
        std::string section;
        std::string key;
        std::string value;
    };
    std::vector<Entry> m_entries;
};

struct WindowsVersion {
    unsigned long platformId;  // 1: Windows 95/98/ME, 2: Windows NT
    unsigned long major;
    unsigned long minor;
    unsigned long build;
    std::string csd;
};

class Machine {
public:
    // A machine with the built-in defaults (Windows 2000, empty registry) whose drives,
    // partition and firmware files live in `folder`, created when missing. Nothing is saved
    // back to registry.reg unless SetPersistent(true). Tests build machines this way.
    static std::unique_ptr<Machine> Create(const fs::path& folder);
    // Loads a machine folder (machine.ini, registry.reg). Throws MachineError naming the file
    // and line that cannot be read; nothing in the folder has been changed then.
    static std::unique_ptr<Machine> Load(const fs::path& folder);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    const fs::path& Folder() const { return m_folder; }
    MachineSettings& Settings() { return m_settings; }
    const MachineSettings& Settings() const { return m_settings; }

    bool Persistent() const { return m_persistent; }
    void SetPersistent(bool persistent) { m_persistent = persistent; }

    // [Windows] of machine.ini.
    WindowsVersion Version() const;
    void SetVersion(const WindowsVersion& version);

    // The machine's local time: the host's local time, or the time pinned by [Clock] Time=
    // "YYYY-MM-DD HH:MM:SS" (a pinned clock stands still).
    std::tm LocalTime() const;
    // The same instant as seconds since 1970 (a pinned time is taken as host local time).
    std::time_t Now() const;
    void PinClock(const std::tm& local);

    // Per-subsystem state, made on first use from this machine (T(Machine&)); the registry,
    // the firmware, the network and the services database are such components.
    template <class T>
    T& Component() {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        auto& slot = m_components[std::type_index(typeid(T))];
        if (!slot) slot = std::make_shared<T>(*this);
        return *static_cast<T*>(slot.get());
    }

    // One lock for the whole machine: the platform takes it around every call that reads or
    // changes machine state, so that the agent's two threads never see a half-made change.
    std::recursive_mutex& Mutex() { return m_mutex; }

private:
    Machine(fs::path folder, MachineSettings settings);

    fs::path m_folder;
    MachineSettings m_settings;
    bool m_persistent = false;
    std::recursive_mutex m_mutex;
    std::unordered_map<std::type_index, std::shared_ptr<void>> m_components;
};

// The machine of this process. On first use it is loaded from $WINSIM_MACHINE or, without it,
// from ~/.winsim, which is made from the built-in default machine when it does not exist. A
// folder that cannot be read ends the process with a message naming the file and line.
Machine& CurrentMachine();
// Tests install a machine of their own (and take it away again with nullptr).
void SetCurrentMachine(std::unique_ptr<Machine> machine);
// The folder CurrentMachine() loads.
fs::path CurrentMachineFolder();

// Writes the built-in default machine (Windows 2000, live network) into `folder`.
void WriteDefaultMachine(const fs::path& folder);

// Writes `text` to `file` so that a crash leaves either the old or the new content: a new file
// beside it, then a rename over it.
void WriteFileAtomically(const fs::path& file, std::string_view text);
// Reads a whole file; throws MachineError(file, 0, ...) when it cannot be read.
std::string ReadWholeFile(const fs::path& file);

}  // namespace winsim
