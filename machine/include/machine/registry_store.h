// The machine's registry: a tree of keys with classes and typed values, kept in memory and
// saved to the machine folder's registry.reg (REGEDIT4 text) when a program changes it.
//
// Names keep the case they were created with and match without regard to case. Subkeys
// enumerate sorted by their upper-cased names (so "_u" comes after "Z"); values enumerate in
// the order they were first set, which is also the order registry.reg lists them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Machine;

// Orders names by their upper-cased bytes, the order Windows keeps subkeys in.
struct LessUpperCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

struct RegistryValue {
    std::string name;  // "" is the key's default value
    std::uint32_t type = 0;
    std::string data;  // the exact bytes stored
};

struct RegistryKey : std::enable_shared_from_this<RegistryKey> {
    std::string name;
    std::string className;
    RegistryKey* parent = nullptr;
    std::uint64_t lastWrite = 0;     // FILETIME: 100 ns since 1601
    bool deleted = false;            // removed from the tree while a handle still held it
    std::filesystem::path hiveFile;  // set on the root of a hive loaded from this file
    // Set on the root of a hive read from a binary file: its changes stay in memory.
    bool binaryHive = false;
    std::map<std::string, std::shared_ptr<RegistryKey>, LessUpperCase> subkeys;

    RegistryKey* Subkey(std::string_view name) const;
    // The subkey `name`, made with class `className` when missing.
    RegistryKey& AddSubkey(std::string_view name, std::string_view className, bool* created);
    // The subkey at index `index` of the enumeration order, or null past the end.
    RegistryKey* SubkeyAt(std::size_t index) const;

    const std::vector<RegistryValue>& Values() const { return m_values; }
    const RegistryValue* FindValue(std::string_view name) const;
    // Replaces the data and type of an existing value (keeping its spelling and place) or
    // appends a new one.
    void SetValue(std::string_view name, std::uint32_t type, std::string data);
    bool DeleteValue(std::string_view name);

    // Marks this key and everything below it deleted and takes it out of its parent.
    void Remove();
    bool InHive() const;

private:
    std::vector<RegistryValue> m_values;
    std::map<std::string, std::size_t, LessUpperCase> m_valueIndex;
};

// The components of a key path: backslashes separate, empty components (a doubled or
// trailing backslash) are dropped.
std::vector<std::string_view> SplitKeyPath(std::string_view path);

class RegistryStore {
public:
    explicit RegistryStore(Machine& machine);
    ~RegistryStore();

    // Reads registry.reg into the tree (a missing file is an empty registry). Throws
    // MachineError naming the file and line of anything it cannot read.
    void LoadFile(const std::filesystem::path& file);
    // Reads REGEDIT4 text into the tree, as LoadFile does; `file` names it in errors.
    void Import(std::string_view text, const std::filesystem::path& file);
    // The whole registry as REGEDIT4 text with CRLF line ends, every key in enumeration order,
    // without the keys of loaded hives.
    std::string Export() const;
    // After a program changed the tree: stamps `key` and, on a persistent machine, writes
    // registry.reg again (a new file renamed over the old), or the text hive file the key is
    // in. A hive read from a binary file is never written: its changes last until it is
    // unloaded.
    void Changed(RegistryKey& key);

    RegistryKey& LocalMachine() { return *m_localMachine; }
    RegistryKey& Users() { return *m_users; }
    // HKEY_LOCAL_MACHINE\SOFTWARE\Classes, as on Windows NT.
    RegistryKey& ClassesRoot();
    // HKEY_USERS\<machine.ini [Registry] CurrentUser, ".DEFAULT" when not set>.
    RegistryKey& CurrentUser();

    // Open key handles (HKEY values). Predefined keys are not in this table.
    struct OpenKey {
        std::shared_ptr<RegistryKey> key;
        std::uint32_t access = 0;
    };
    std::uintptr_t AddHandle(RegistryKey& key, std::uint32_t access);
    OpenKey* FindHandle(std::uintptr_t handle);
    bool CloseHandle(std::uintptr_t handle);
    // Whether a handle is still open to `key` or to a key below it.
    bool HasOpenHandlesBelow(const RegistryKey& key) const;

    std::uint64_t Now() const;

private:
    Machine& m_machine;
    std::shared_ptr<RegistryKey> m_localMachine;
    std::shared_ptr<RegistryKey> m_users;
    std::map<std::uintptr_t, OpenKey> m_handles;
    std::uintptr_t m_nextHandle = 0x1000;
};

// Reads a user hive file: a binary hive (machine/regf.h, the root marked binaryHive), or the
// keys of the hive as REGEDIT4 text, each key path beginning with HKEY_CURRENT_USER (the
// hive's root). Answers ERROR_SUCCESS with the hive's root key, ERROR_FILE_NOT_FOUND, or
// ERROR_NOT_REGISTRY_FILE for a file that is neither.
long LoadHiveFile(const std::filesystem::path& file, std::uint64_t lastWrite,
                  std::shared_ptr<RegistryKey>& root);

}  // namespace winsim
