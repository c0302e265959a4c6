// The partition access library's exports, over the machine's partition library.
#include <windows.h>

#include "machine/machine.h"
#include "machine/partition_library.h"
// The agent's own declarations, so that the two sides cannot disagree on a signature.
#include "../../partition/partition.h"

namespace {

winsim::PartitionLibrary& Library() {
    return winsim::CurrentMachine().Component<winsim::PartitionLibrary>();
}

uintptr_t Id(HNESKFILE file) {
    return reinterpret_cast<uintptr_t>(file);
}

}  // namespace

extern "C" {

int NeskIsAvailable(void) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    return Library().IsAvailable();
}

HNESKFILE NeskOpen(const char* name, const char* mode) {
    if (!name || !mode) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    return reinterpret_cast<HNESKFILE>(Library().Open(name, mode));
}

int NeskRead(void* buffer, int size, int count, HNESKFILE file) {
    if (size <= 0 || count < 0) return -2;
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    return static_cast<int>(
        Library().Read(buffer, static_cast<size_t>(size), static_cast<size_t>(count), Id(file)));
}

int NeskWrite(const void* buffer, int size, int count, HNESKFILE file) {
    if (size <= 0 || count < 0) return -1;
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    return static_cast<int>(
        Library().Write(buffer, static_cast<size_t>(size), static_cast<size_t>(count), Id(file)));
}

void NeskClose(HNESKFILE file) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    Library().Close(Id(file));
}

}  // extern "C"
