#include "machine/registry_store.h"

#include <cctype>
#include <functional>
#include <mutex>

#include "machine/machine.h"
#include "machine/regf.h"
#include "machine/regfile.h"

namespace winsim {

namespace {

constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorNotRegistryFile = 1017;

// Seconds between 1601 and 1970, the two epochs of FILETIME and time_t.
constexpr std::uint64_t kEpochDifference = 11644473600ull;

}  // namespace

bool LessUpperCase::operator()(std::string_view a, std::string_view b) const {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = FoldUpper(a[i]), cb = FoldUpper(b[i]);
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

RegistryKey* RegistryKey::Subkey(std::string_view subName) const {
    auto it = subkeys.find(subName);
    return it == subkeys.end() ? nullptr : it->second.get();
}

RegistryKey& RegistryKey::AddSubkey(std::string_view subName, std::string_view cls, bool* created) {
    // One walk of the tree both to look and to insert.
    auto it = subkeys.lower_bound(subName);
    const bool exists = it != subkeys.end() && !subkeys.key_comp()(subName, it->first);
    if (created) *created = !exists;
    if (exists) return *it->second;
    auto key = std::make_shared<RegistryKey>();
    key->name = std::string(subName);
    key->className = std::string(cls);
    key->parent = this;
    key->lastWrite = lastWrite;
    RegistryKey& made = *key;
    subkeys.emplace_hint(it, made.name, std::move(key));
    return made;
}

RegistryKey* RegistryKey::SubkeyAt(std::size_t index) const {
    if (index >= subkeys.size()) return nullptr;
    return std::next(subkeys.begin(), static_cast<std::ptrdiff_t>(index))->second.get();
}

const RegistryValue* RegistryKey::FindValue(std::string_view valueName) const {
    auto it = m_valueIndex.find(valueName);
    return it == m_valueIndex.end() ? nullptr : &m_values[it->second];
}

void RegistryKey::SetValue(std::string_view valueName, std::uint32_t type, std::string data) {
    auto it = m_valueIndex.lower_bound(valueName);
    if (it != m_valueIndex.end() && !m_valueIndex.key_comp()(valueName, it->first)) {
        m_values[it->second].type = type;
        m_values[it->second].data = std::move(data);
        return;
    }
    m_valueIndex.emplace_hint(it, std::string(valueName), m_values.size());
    m_values.push_back(RegistryValue{std::string(valueName), type, std::move(data)});
}

bool RegistryKey::DeleteValue(std::string_view valueName) {
    auto it = m_valueIndex.find(valueName);
    if (it == m_valueIndex.end()) return false;
    size_t index = it->second;
    m_valueIndex.erase(it);
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(index));
    for (auto& entry : m_valueIndex)
        if (entry.second > index) --entry.second;
    return true;
}

void RegistryKey::Remove() {
    // Keep this key alive while its parent lets go of it.
    std::shared_ptr<RegistryKey> self = shared_from_this();
    if (parent) parent->subkeys.erase(name);
    // Handles may still hold keys of the removed subtree; none of them may reach the tree again.
    std::function<void(RegistryKey&)> cut = [&cut](RegistryKey& key) {
        key.deleted = true;
        key.parent = nullptr;
        for (auto& sub : key.subkeys) cut(*sub.second);
        key.subkeys.clear();
    };
    cut(*this);
}

bool RegistryKey::InHive() const {
    for (const RegistryKey* key = this; key; key = key->parent)
        if (!key->hiveFile.empty()) return true;
    return false;
}

std::vector<std::string_view> SplitKeyPath(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find('\\', pos);
        if (end == std::string_view::npos) end = path.size();
        if (end > pos) parts.push_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

namespace {

// Builds a tree from REGEDIT4 text. `root` maps the first component of a key path to the key
// it names, or to null for a root this text may not use.
class TreeLoader : public RegFileHandler {
public:
    TreeLoader(std::function<RegistryKey*(std::string_view)> root, std::uint64_t now,
               std::filesystem::path file)
        : m_root(std::move(root)), m_now(now), m_file(std::move(file)) {}

    void Key(std::string_view path, bool remove, int line) override {
        std::vector<std::string_view> parts = SplitKeyPath(path);
        RegistryKey* key = parts.empty() ? nullptr : m_root(parts[0]);
        if (!key)
            throw MachineError(
                m_file, line,
                "unknown root key \"" + std::string(path.substr(0, path.find('\\'))) + "\"");
        m_seenKey = true;
        m_current = nullptr;
        for (size_t i = 1; i < parts.size() && key; ++i)
            key = remove ? key->Subkey(parts[i]) : &key->AddSubkey(parts[i], "", nullptr);
        if (!remove) {
            m_current = key;
            key->lastWrite = m_now;
        } else if (key && parts.size() > 1) {
            // A root (or the alias of one) stays; only keys below it go.
            key->Remove();
        }
    }

    void Value(std::string_view name, std::uint32_t type, std::string data, int line) override {
        // Values after a [-key] line belong to nothing; regedit skips them.
        if (Current(line)) m_current->SetValue(name, type, std::move(data));
    }

    void DeleteValue(std::string_view name, int line) override {
        if (Current(line)) m_current->DeleteValue(name);
    }

private:
    bool Current(int line) {
        if (!m_seenKey) throw MachineError(m_file, line, "a value line before any [key] line");
        return m_current != nullptr;
    }

    std::function<RegistryKey*(std::string_view)> m_root;
    std::uint64_t m_now;
    std::filesystem::path m_file;
    RegistryKey* m_current = nullptr;
    bool m_seenKey = false;
};

void ExportKey(const RegistryKey& key, const std::string& path, bool writeEmpty, std::string& out) {
    if (writeEmpty || !key.Values().empty()) {
        out += '[';
        out += path;
        out += "]\r\n";
        for (const RegistryValue& value : key.Values())
            out += FormatRegValue(value.name, value.type, value.data);
        out += "\r\n";
    }
    for (const auto& sub : key.subkeys) {
        // A loaded hive lives in its own file.
        if (!sub.second->hiveFile.empty()) continue;
        ExportKey(*sub.second, path + "\\" + sub.second->name, true, out);
    }
}

bool IsRoot(std::string_view name, std::string_view full, std::string_view shortName) {
    return EqualNoCase(name, full) || EqualNoCase(name, shortName);
}

}  // namespace

RegistryStore::RegistryStore(Machine& machine)
    : m_machine(machine),
      m_localMachine(std::make_shared<RegistryKey>()),
      m_users(std::make_shared<RegistryKey>()) {
    m_localMachine->name = "HKEY_LOCAL_MACHINE";
    m_users->name = "HKEY_USERS";
    m_localMachine->lastWrite = m_users->lastWrite = Now();
    ClassesRoot();
    CurrentUser();
}

RegistryStore::~RegistryStore() = default;

std::uint64_t RegistryStore::Now() const {
    auto seconds = static_cast<std::uint64_t>(m_machine.Now());
    return (seconds + kEpochDifference) * 10000000ull;
}

RegistryKey& RegistryStore::ClassesRoot() {
    return m_localMachine->AddSubkey("SOFTWARE", "", nullptr).AddSubkey("Classes", "", nullptr);
}

RegistryKey& RegistryStore::CurrentUser() {
    std::string user = m_machine.Settings().Get("Registry", "CurrentUser", ".DEFAULT");
    return m_users->AddSubkey(user, "", nullptr);
}

void RegistryStore::LoadFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    Import(ReadWholeFile(file), file);
}

void RegistryStore::Import(std::string_view text, const std::filesystem::path& file) {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    TreeLoader loader(
        [this](std::string_view root) -> RegistryKey* {
            if (IsRoot(root, "HKEY_LOCAL_MACHINE", "HKLM")) return m_localMachine.get();
            if (IsRoot(root, "HKEY_USERS", "HKU")) return m_users.get();
            if (IsRoot(root, "HKEY_CLASSES_ROOT", "HKCR")) return &ClassesRoot();
            if (IsRoot(root, "HKEY_CURRENT_USER", "HKCU")) return &CurrentUser();
            return nullptr;
        },
        Now(), file);
    ParseRegFile(text, file, loader);
}

std::string RegistryStore::Export() const {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    std::string out = "REGEDIT4\r\n\r\n";
    ExportKey(*m_localMachine, m_localMachine->name, false, out);
    ExportKey(*m_users, m_users->name, false, out);
    return out;
}

void RegistryStore::Changed(RegistryKey& key) {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    key.lastWrite = Now();
    if (!m_machine.Persistent()) return;
    const RegistryKey* hive = &key;
    while (hive->parent && hive->hiveFile.empty()) hive = hive->parent;
    if (hive->hiveFile.empty()) {
        WriteFileAtomically(m_machine.Folder() / "registry.reg", Export());
        return;
    }
    // Text over a binary hive would lose what we do not read (security, volatile keys).
    if (hive->binaryHive) return;
    // A loaded hive keeps its changes in its own file, as Windows flushes a hive to its file.
    std::string out = "REGEDIT4\r\n\r\n";
    ExportKey(*hive, "HKEY_CURRENT_USER", true, out);
    WriteFileAtomically(hive->hiveFile, out);
}

std::uintptr_t RegistryStore::AddHandle(RegistryKey& key, std::uint32_t access) {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    std::uintptr_t handle = m_nextHandle;
    m_nextHandle += 4;
    m_handles[handle] = OpenKey{key.shared_from_this(), access};
    return handle;
}

RegistryStore::OpenKey* RegistryStore::FindHandle(std::uintptr_t handle) {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    auto it = m_handles.find(handle);
    return it == m_handles.end() ? nullptr : &it->second;
}

bool RegistryStore::CloseHandle(std::uintptr_t handle) {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    return m_handles.erase(handle) != 0;
}

bool RegistryStore::HasOpenHandlesBelow(const RegistryKey& key) const {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    for (const auto& entry : m_handles)
        for (const RegistryKey* k = entry.second.key.get(); k; k = k->parent)
            if (k == &key) return true;
    return false;
}

long LoadHiveFile(const std::filesystem::path& file, std::uint64_t lastWrite,
                  std::shared_ptr<RegistryKey>& root) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return kErrorFileNotFound;
    auto hive = std::make_shared<RegistryKey>();
    hive->lastWrite = lastWrite;
    TreeLoader loader(
        [&hive](std::string_view name) -> RegistryKey* {
            return IsRoot(name, "HKEY_CURRENT_USER", "HKCU") ? hive.get() : nullptr;
        },
        lastWrite, file);
    try {
        std::string bytes = ReadWholeFile(file);
        if (IsBinaryHive(bytes)) {
            if (long rc = ReadBinaryHive(bytes, lastWrite, hive)) return rc;
            hive->binaryHive = true;
        } else {
            ParseRegFile(bytes, file, loader);
        }
    } catch (const MachineError&) {
        return kErrorNotRegistryFile;
    }
    root = std::move(hive);
    return kErrorSuccess;
}

}  // namespace winsim
