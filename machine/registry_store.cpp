#include "machine/registry_store.h"

#include "machine/machine.h"

namespace winsim {

RegistryStore::RegistryStore(Machine& machine) : m_machine(machine) {}
RegistryStore::~RegistryStore() = default;

void RegistryStore::LoadFile(const std::filesystem::path&) {}

}  // namespace winsim
