// The applet's discovery of the firmware security service beside one memchr/memcmp pass over
// the same 64 KB per signature it looks for.
#include <benchmark/benchmark.h>

#include <cstring>

#include "CFirmwareLock.h"
#include "bench_machine.h"
#include "machine/bios_image.h"
#include "machine/bios_memory.h"
#include "machine/firmware_service.h"
#include "machine/message_boxes.h"

namespace {

using winsim::BiosMemory;
using zubench::BenchMachine;

// Arranges the window: worst case 64 KB of zeros, typical an SMBIOS entry point in the last
// paragraphs with a short table behind it that holds the service structure.
void ArrangeWindow(BenchMachine& machine, bool typical) {
    auto& memory = machine.Machine().Component<BiosMemory>();
    memory.Reset();
    winsim::SetMessageBoxHandler([](const winsim::MessageBoxRecord&) { return IDOK; });
    if (!typical) return;
    winsim::SmbiosTable table;
    table.Add(0, {1, 2}, {"Bench"}).AddService(winsim::kDefaultServiceEntry).AddEnd();
    winsim::SmbiosEntry entry;
    entry.tableAddress = BiosMemory::kWindowBase + 0xE000;
    entry.tableLength = static_cast<std::uint16_t>(table.GetBytes().size());
    memory.Place(entry.tableAddress, table.GetBytes());
    memory.Place(BiosMemory::kWindowBase + 0xFF00, winsim::MakeSmbiosEntry(entry));
}

void BM_FirmwareDiscovery(benchmark::State& state) {
    BenchMachine machine;
    ArrangeWindow(machine, state.range(0) != 0);
    for (auto _ : state) {
        CFirmwareLock lock;
        benchmark::DoNotOptimize(lock.serviceEntry);
        winsim::ClearMessageBoxes();
    }
    winsim::SetMessageBoxHandler({});
}

// Where `signature` first occurs in `bytes`, by memchr for its first byte and memcmp for it all.
std::size_t FindSignature(const std::uint8_t* bytes, std::size_t size, const char* signature) {
    const std::size_t length = std::strlen(signature);
    for (std::size_t at = 0; at + length <= size;) {
        const void* hit = std::memchr(bytes + at, signature[0], size - at - length + 1);
        if (!hit) return size;
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - bytes);
        if (std::memcmp(bytes + at, signature, length) == 0) return at;
        ++at;
    }
    return size;
}

void BM_FirmwareDiscoveryBaseline_MemchrPerMethod(benchmark::State& state) {
    BenchMachine machine;
    ArrangeWindow(machine, state.range(0) != 0);
    const winsim::Bytes window = machine.Machine().Component<BiosMemory>().Window();
    for (auto _ : state) {
        for (const char* signature : {"_SM_", "$DMI", "_DMI20_NT_"})
            benchmark::DoNotOptimize(FindSignature(window.data(), window.size(), signature));
    }
    winsim::SetMessageBoxHandler({});
}

// Argument: 0 the worst case (no tables), 1 the typical case.
BENCHMARK(BM_FirmwareDiscovery)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirmwareDiscoveryBaseline_MemchrPerMethod)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
