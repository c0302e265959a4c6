// Fuzzes the REGEDIT4 reader behind registry.reg and user hives: arbitrary bytes are imported
// into a registry tree, which is then exported; what was exported must read back.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_machine.h"
#include "machine/registry_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    winsim::Machine& machine = zufuzz::FuzzMachine("zu-regfile-fuzzer");
    std::string_view text(reinterpret_cast<const char*>(data), size);
    winsim::RegistryStore store(machine);
    try {
        store.Import(text, "fuzz.reg");
    } catch (const winsim::MachineError&) {
        return 0;  // refused with a file and line, as it should be
    }
    const std::string exported = store.Export();
    winsim::RegistryStore again(machine);
    try {
        again.Import(exported, "exported.reg");
    } catch (const winsim::MachineError&) {
        std::abort();  // the registry wrote a file it cannot read
    }
    return 0;
}
