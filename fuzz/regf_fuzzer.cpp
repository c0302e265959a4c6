// Fuzzes the binary hive reader behind RegLoadKeyA: arbitrary bytes are read into a tree or
// refused whole. The checksum is set right first, or almost every input would stop there.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "machine/regf.h"
#include "machine/registry_store.h"

namespace {

void SetChecksum(std::string& bytes) {
    if (bytes.size() < winsim::kChecksumOffset + 4) return;
    std::uint32_t sum = winsim::BaseBlockChecksum(bytes);
    for (int i = 0; i < 4; ++i)
        bytes[winsim::kChecksumOffset + i] = static_cast<char>(sum >> (8 * i));
}

// Every name, class and data byte of the tree comes from a cell of its own, so the tree can
// never hold more than the file.
std::size_t Bytes(const winsim::RegistryKey& key) {
    std::size_t total = key.className.size();
    for (const winsim::RegistryValue& value : key.Values())
        total += value.name.size() + value.data.size();
    for (const auto& sub : key.subkeys) total += sub.second->name.size() + Bytes(*sub.second);
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    SetChecksum(bytes);
    std::shared_ptr<winsim::RegistryKey> root;
    long rc = winsim::ReadBinaryHive(bytes, 0, root);
    if (rc != 0 && (rc != 1017 || root)) std::abort();
    if (rc == 0 && (!root || Bytes(*root) > size)) std::abort();
    return 0;
}
