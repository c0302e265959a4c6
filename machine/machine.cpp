#include "machine/machine.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "machine/registry_store.h"

namespace winsim {

MachineError::MachineError(fs::path file, int line, const std::string& why)
    : std::runtime_error(file.string() + (line > 0 ? ":" + std::to_string(line) : "") + ": " +
                         why),
      m_file(std::move(file)),
      m_line(line) {}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldLower(a[i]) != FoldLower(b[i])) return false;
    }
    return true;
}

bool LessNoCase::operator()(std::string_view a, std::string_view b) const {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = FoldLower(a[i]), cb = FoldLower(b[i]);
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

}  // namespace

MachineSettings MachineSettings::Parse(std::string_view text, const fs::path& file) {
    MachineSettings settings;
    std::string section;
    int lineNumber = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNumber;
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3)
                throw MachineError(file, lineNumber, "a section line must read [name]");
            section = std::string(Trim(line.substr(1, line.size() - 2)));
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0)
            throw MachineError(file, lineNumber, "expected key=value, a [section] or a ; comment");
        if (section.empty())
            throw MachineError(file, lineNumber, "key outside any [section]");
        settings.Set(section, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
    return settings;
}

std::optional<std::string> MachineSettings::Find(std::string_view section,
                                                 std::string_view key) const {
    for (const Entry& e : m_entries)
        if (EqualNoCase(e.section, section) && EqualNoCase(e.key, key)) return e.value;
    return std::nullopt;
}

std::string MachineSettings::Get(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
    auto value = Find(section, key);
    return value ? *value : std::string(fallback);
}

bool MachineSettings::GetBool(std::string_view section, std::string_view key,
                              bool fallback) const {
    auto value = Find(section, key);
    if (!value) return fallback;
    for (const char* yes : {"yes", "true", "1", "on", "present"})
        if (EqualNoCase(*value, yes)) return true;
    for (const char* no : {"no", "false", "0", "off", "absent"})
        if (EqualNoCase(*value, no)) return false;
    return fallback;
}

unsigned long MachineSettings::GetNumber(std::string_view section, std::string_view key,
                                         unsigned long fallback) const {
    auto value = Find(section, key);
    if (!value || value->empty()) return fallback;
    char* end = nullptr;
    unsigned long n = std::strtoul(value->c_str(), &end, 0);
    return (end && *end == '\0') ? n : fallback;
}

void MachineSettings::Set(std::string_view section, std::string_view key,
                          std::string_view value) {
    for (Entry& e : m_entries) {
        if (EqualNoCase(e.section, section) && EqualNoCase(e.key, key)) {
            e.value = std::string(value);
            return;
        }
    }
    // Keep the keys of a section together, so that Text() writes each section once.
    auto last = m_entries.end();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (EqualNoCase(it->section, section)) last = it + 1;
    m_entries.insert(last, Entry{std::string(section), std::string(key), std::string(value)});
}

std::vector<std::pair<std::string, std::string>> MachineSettings::Section(
    std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> keys;
    for (const Entry& e : m_entries)
        if (EqualNoCase(e.section, section)) keys.emplace_back(e.key, e.value);
    return keys;
}

std::string MachineSettings::Text() const {
    std::string text;
    const std::string* section = nullptr;
    for (const Entry& e : m_entries) {
        if (!section || !EqualNoCase(*section, e.section)) {
            if (section) text += "\n";
            text += "[" + e.section + "]\n";
            section = &e.section;
        }
        text += e.key + "=" + e.value + "\n";
    }
    return text;
}

Machine::Machine(fs::path folder, MachineSettings settings)
    : m_folder(std::move(folder)), m_settings(std::move(settings)) {}

Machine::~Machine() = default;

std::unique_ptr<Machine> Machine::Create(const fs::path& folder) {
    fs::create_directories(folder);
    return std::unique_ptr<Machine>(new Machine(folder, MachineSettings{}));
}

std::unique_ptr<Machine> Machine::Load(const fs::path& folder) {
    if (!fs::is_directory(folder))
        throw MachineError(folder, 0, "the machine folder does not exist");
    fs::path ini = folder / "machine.ini";
    MachineSettings settings = MachineSettings::Parse(ReadWholeFile(ini), ini);
    std::unique_ptr<Machine> machine(new Machine(folder, std::move(settings)));
    // The clock must parse before anything runs on this machine.
    (void)machine->LocalTime();
    machine->Component<RegistryStore>().LoadFile(folder / "registry.reg");
    machine->m_persistent = true;
    return machine;
}

WindowsVersion Machine::Version() const {
    WindowsVersion v;
    v.platformId = m_settings.GetNumber("Windows", "PlatformId", 2);
    v.major = m_settings.GetNumber("Windows", "Major", 5);
    v.minor = m_settings.GetNumber("Windows", "Minor", 0);
    v.build = m_settings.GetNumber("Windows", "Build", 2195);
    v.csd = m_settings.Get("Windows", "CSDVersion", v.platformId == 2 ? "Service Pack 4" : "");
    return v;
}

void Machine::SetVersion(const WindowsVersion& v) {
    m_settings.Set("Windows", "PlatformId", std::to_string(v.platformId));
    m_settings.Set("Windows", "Major", std::to_string(v.major));
    m_settings.Set("Windows", "Minor", std::to_string(v.minor));
    m_settings.Set("Windows", "Build", std::to_string(v.build));
    m_settings.Set("Windows", "CSDVersion", v.csd);
}

std::tm Machine::LocalTime() const {
    std::string pinned = m_settings.Get("Clock", "Time", "host");
    std::tm t{};
    if (EqualNoCase(pinned, "host")) {
        std::time_t now = std::time(nullptr);
        localtime_r(&now, &t);
        return t;
    }
    int year, month, day, hour, minute, second;
    char tail;
    if (std::sscanf(pinned.c_str(), "%d-%d-%d %d:%d:%d%c", &year, &month, &day, &hour, &minute,
                    &second, &tail) != 6 ||
        month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60 || year < 1601 || year > 9999)
        throw MachineError(m_folder / "machine.ini", 0,
                           "[Clock] Time must be \"host\" or YYYY-MM-DD HH:MM:SS, not \"" +
                               pinned + "\"");
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    std::tm normalised = t;
    std::time_t when = mktime(&normalised);
    if (when != static_cast<std::time_t>(-1)) localtime_r(&when, &t);
    return t;
}

std::time_t Machine::Now() const {
    std::tm t = LocalTime();
    return mktime(&t);
}

void Machine::PinClock(const std::tm& local) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    m_settings.Set("Clock", "Time", text);
}

namespace {

std::mutex g_currentMutex;
std::unique_ptr<Machine> g_current;

}  // namespace

fs::path CurrentMachineFolder() {
    if (const char* named = std::getenv("WINSIM_MACHINE"); named && *named) return named;
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".winsim";
}

Machine& CurrentMachine() {
    std::lock_guard<std::mutex> lock(g_currentMutex);
    if (!g_current) {
        fs::path folder = CurrentMachineFolder();
        try {
            if (!std::getenv("WINSIM_MACHINE") && !fs::exists(folder))
                WriteDefaultMachine(folder);
            g_current = Machine::Load(folder);
        } catch (const MachineError& e) {
            std::fprintf(stderr, "winsim: %s\n", e.what());
            std::fflush(stderr);
            std::_Exit(3);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "winsim: %s: %s\n", folder.string().c_str(), e.what());
            std::fflush(stderr);
            std::_Exit(3);
        }
    }
    return *g_current;
}

void SetCurrentMachine(std::unique_ptr<Machine> machine) {
    std::lock_guard<std::mutex> lock(g_currentMutex);
    g_current = std::move(machine);
}

std::string ReadWholeFile(const fs::path& file) {
    // One read at the file's size: this sits under every INI call, which the agent makes
    // eighteen times a record on files of any size.
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) throw MachineError(file, 0, "cannot be read");
    std::streamoff size = in.tellg();
    if (size < 0) throw MachineError(file, 0, "cannot be read");
    std::string text(static_cast<size_t>(size), '\0');
    in.seekg(0);
    in.read(text.data(), size);
    if (in.gcount() != size) throw MachineError(file, 0, "cannot be read");
    return text;
}

void WriteFileAtomically(const fs::path& file, std::string_view text) {
    fs::path temporary = file;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) throw MachineError(temporary, 0, "cannot be written");
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) throw MachineError(temporary, 0, "cannot be written");
    }
    std::error_code ec;
    fs::rename(temporary, file, ec);
    if (ec) throw MachineError(file, 0, "cannot be replaced: " + ec.message());
}

}  // namespace winsim
