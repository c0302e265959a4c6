// The agent's costs beside their baselines: one Network.ini key written through the partition
// store against copying the file down and up with no INI work, a whole collection run, and the
// registry file loaded, saved and read against reading the file's bytes.
#include <benchmark/benchmark.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "CPartitionIni.h"
#include "agent.h"
#include "bench_machine.h"
#include "machine/registry_store.h"
#include "registry_value.h"

namespace {

using zubench::BenchMachine;
namespace fs = std::filesystem;

// A Network.ini of about `size` bytes: the agent's section first, then padding keys.
std::string NetworkIniOfSize(std::size_t size) {
    std::string text = "[GENERAL]\r\nIP=10.0.0.1\r\nGATEWAY=10.0.0.254\r\n\r\n[PADDING]\r\n";
    for (int i = 0; text.size() < size; ++i)
        text += "KEY" + std::to_string(i) + "=0123456789abcdefghij\r\n";
    return text;
}

void WriteValueCase(benchmark::State& state, bool iniWork) {
    BenchMachine machine;
    const std::string ini = NetworkIniOfSize(static_cast<std::size_t>(state.range(0)));
    winsim::WriteFileAtomically(machine.Folder() / "partition" / "Network.ini", ini);
    CPartitionIni store;
    int i = 0;
    for (auto _ : state) {
        if (iniWork) {
            // A new value each time, so the file really changes.
            std::string value = "10.0.0." + std::to_string(i++ % 200);
            store.WriteValue("GENERAL", "IP", value.c_str(), "Network.ini");
        } else {
            benchmark::DoNotOptimize(store.CopyFromPartition("Network.ini") &&
                                     store.CopyToPartition("Network.ini"));
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ini.size()));
}

void BM_WriteValue(benchmark::State& state) { WriteValueCase(state, true); }
void BM_WriteValueBaseline_CopyDownAndUp(benchmark::State& state) { WriteValueCase(state, false); }
BENCHMARK(BM_WriteValue)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_WriteValueBaseline_CopyDownAndUp)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20);

// A whole run on the Windows 2000 example: every field of the record plus the stamp.
void BM_CollectLanConfig(benchmark::State& state) {
    BenchMachine machine("win2000-dhcp");
    for (auto _ : state) benchmark::DoNotOptimize(CollectLanConfig());
}
BENCHMARK(BM_CollectLanConfig)->Unit(benchmark::kMicrosecond);

// REGEDIT4 text of `keys` keys under HKEY_LOCAL_MACHINE\SOFTWARE\Bench, each with a text, a
// dword and a binary value.
std::string GeneratedRegistry(int keys) {
    std::string text = "REGEDIT4\r\n\r\n";
    char line[160];
    for (int i = 0; i < keys; ++i) {
        std::snprintf(line, sizeof line,
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Group%03d\\Key%06d]\r\n"
                      "\"Name\"=\"value number %d\"\r\n\"Count\"=dword:%08x\r\n"
                      "\"Data\"=hex:01,02,03,04,05,06,07,08\r\n\r\n",
                      i % 100, i, i, i);
        text += line;
    }
    return text;
}

// 10 MB of generated text (about 70,000 keys) and 1 MB, to see that loading is linear.
constexpr int kKeysPer10Mb = 70000;

// Each benchmark gets its file written once into a folder of its own.
struct RegistryFile {
    fs::path file;
    std::size_t size = 0;
};

RegistryFile MakeRegistryFile(const BenchMachine& machine, benchmark::State& state) {
    RegistryFile result;
    if (state.range(0) == 0) {
        result.file = fs::path(ZU_SAMPLES_DIR) / "reg" / "wince-export" / "registry.reg";
        if (!fs::exists(result.file)) return {};
    } else {
        result.file = machine.Folder() / "generated.reg";
        winsim::WriteFileAtomically(result.file,
                                    GeneratedRegistry(static_cast<int>(state.range(0))));
    }
    result.size = fs::file_size(result.file);
    return result;
}

enum class RegistryWork { kReadBytes, kLoad, kSave };

void RegistryCase(benchmark::State& state, RegistryWork work) {
    BenchMachine machine;
    RegistryFile reg = MakeRegistryFile(machine, state);
    if (reg.size == 0) {
        state.SkipWithError("real-world samples not present beside the project");
        return;
    }
    winsim::RegistryStore loaded(machine.Machine());
    if (work == RegistryWork::kSave) loaded.LoadFile(reg.file);
    for (auto _ : state) {
        switch (work) {
        case RegistryWork::kReadBytes:
            benchmark::DoNotOptimize(winsim::ReadWholeFile(reg.file));
            break;
        case RegistryWork::kLoad: {
            auto store = std::make_unique<winsim::RegistryStore>(machine.Machine());
            store->LoadFile(reg.file);
            benchmark::DoNotOptimize(store.get());
            // Loading is measured; freeing the tree is not part of it.
            state.PauseTiming();
            store.reset();
            state.ResumeTiming();
            break;
        }
        case RegistryWork::kSave:
            winsim::WriteFileAtomically(machine.Folder() / "saved.reg", loaded.Export());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reg.size));
}

void BM_RegistryBaseline_ReadBytes(benchmark::State& s) { RegistryCase(s, RegistryWork::kReadBytes); }
void BM_RegistryLoad(benchmark::State& s) { RegistryCase(s, RegistryWork::kLoad); }
void BM_RegistrySave(benchmark::State& s) { RegistryCase(s, RegistryWork::kSave); }
// Argument: keys to generate, 0 for the real export.
#define ZU_REGISTRY_SIZES ->Arg(0)->Arg(kKeysPer10Mb / 10)->Arg(kKeysPer10Mb)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_RegistryBaseline_ReadBytes) ZU_REGISTRY_SIZES;
BENCHMARK(BM_RegistryLoad) ZU_REGISTRY_SIZES;
BENCHMARK(BM_RegistrySave) ZU_REGISTRY_SIZES;

// One value read as the agent reads it, from a registry of 100,000 keys.
void BM_ReadRegistryValue(benchmark::State& state) {
    BenchMachine machine;
    machine.Machine().Component<winsim::RegistryStore>().Import(GeneratedRegistry(100000),
                                                                "generated.reg");
    char text[100];
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadRegistryValue(
            HKEY_LOCAL_MACHINE, "SOFTWARE\\Bench\\Group050\\Key054950", "Name", text));
    }
}
BENCHMARK(BM_ReadRegistryValue);

}  // namespace

BENCHMARK_MAIN();
