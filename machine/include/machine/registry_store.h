// The machine's registry: a tree of keys with classes and typed values, kept in memory and
// saved to the machine folder's registry.reg (REGEDIT4 text) when a program changes it.
#pragma once

#include <filesystem>
#include <string>

namespace winsim {

class Machine;

class RegistryStore {
public:
    explicit RegistryStore(Machine& machine);
    ~RegistryStore();

    // Reads registry.reg into the tree (a missing file is an empty registry). Throws
    // MachineError naming the file and line of anything it cannot read.
    void LoadFile(const std::filesystem::path& file);

private:
    Machine& m_machine;
};

}  // namespace winsim
