#include "machine/partition_library.h"

#include "machine/paths.h"

namespace winsim {

PartitionLibrary::PartitionLibrary(Machine& machine) : m_machine(machine) {}

PartitionLibrary::~PartitionLibrary() {
    for (auto& [handle, open] : m_handles) std::fclose(open.file);
}

fs::path PartitionLibrary::Folder() const {
    return m_machine.Folder() / "partition";
}

bool PartitionLibrary::Available() const {
    return m_machine.Settings().GetBool("Partition", "Available", true);
}

void PartitionLibrary::SetAvailable(bool available) {
    m_machine.Settings().Set("Partition", "Available", available ? "yes" : "no");
}

void PartitionLibrary::FailRead(int nth, int result, bool sticky) {
    m_read = Fault{0, nth, result, sticky};
}

void PartitionLibrary::FailWrite(int nth, int result, bool sticky) {
    m_write = Fault{0, nth, result, sticky};
}

void PartitionLibrary::ClearFaults() {
    m_read = Fault{};
    m_write = Fault{};
}

bool PartitionLibrary::Fault::Next(long& answer) {
    ++calls;
    if (nth == 0 || calls < nth || (calls > nth && !sticky)) return false;
    answer = result;
    return true;
}

int PartitionLibrary::IsAvailable() {
    return Available() ? 1 : 0;
}

uintptr_t PartitionLibrary::Open(std::string_view name, std::string_view mode) {
    // Only bare names: the partition has one directory and nothing outside it is reachable.
    if (!Available() || name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\:") != std::string_view::npos || (mode != "r" && mode != "w"))
        return 0;
    const fs::path file = Folder() / FindEntry(Folder(), name).value_or(std::string(name));
    std::error_code ec;
    if (fs::is_directory(file, ec)) return 0;
    std::FILE* f = std::fopen(file.c_str(), mode == "r" ? "rb" : "wb");
    if (!f) return 0;
    uintptr_t handle = m_nextHandle++;
    m_handles[handle] = Handle{f, mode == "w"};
    return handle;
}

long PartitionLibrary::Read(void* buffer, size_t size, size_t count, uintptr_t handle) {
    long answer = -2;
    if (m_read.Next(answer)) return answer;
    auto it = m_handles.find(handle);
    if (it == m_handles.end() || it->second.writing || !buffer || size == 0 ||
        count > SIZE_MAX / size)
        return -2;
    size_t n = std::fread(buffer, size, count, it->second.file);
    if (n > 0) return static_cast<long>(n);
    return std::ferror(it->second.file) ? -2 : m_endOfFile;
}

long PartitionLibrary::Write(const void* buffer, size_t size, size_t count, uintptr_t handle) {
    long answer = -1;
    if (m_write.Next(answer)) return answer;
    auto it = m_handles.find(handle);
    if (it == m_handles.end() || !it->second.writing || !buffer || size == 0 ||
        count > SIZE_MAX / size)
        return -1;
    // Written through at once, so that a full partition shows in this call's answer.
    size_t n = std::fwrite(buffer, size, count, it->second.file);
    if (std::fflush(it->second.file) != 0 || (n == 0 && count > 0)) return -2;
    return static_cast<long>(n);
}

void PartitionLibrary::Close(uintptr_t handle) {
    auto it = m_handles.find(handle);
    if (it == m_handles.end()) return;
    std::fclose(it->second.file);
    m_handles.erase(it);
}

}  // namespace winsim
