#include <algorithm>
#include <cstring>

#include "machine/bios_image.h"
#include "machine/bios_memory.h"
#include "machine/firmware_service.h"
#include "machine/machine.h"

namespace winsim {

BiosMemory::BiosMemory(Machine& machine) {
    LoadFolder(machine.Folder() / "firmware");
}

void BiosMemory::Clear() {
    ++m_generation;
    m_areas.clear();
}

void BiosMemory::Reset() {
    ++m_generation;
    m_areas.clear();
    m_areas[kWindowBase] = Bytes(kWindowSize, 0);
}

void BiosMemory::Place(std::uint32_t address, const Bytes& bytes) {
    if (bytes.empty()) return;
    ++m_generation;
    std::uint64_t low = address & ~0xFFFu;
    std::uint64_t high = static_cast<std::uint64_t>(address) + bytes.size();
    if (high > 0x100000000ull) high = 0x100000000ull;
    // Gather every area that overlaps or touches [low, high) into one.
    auto it = m_areas.upper_bound(static_cast<std::uint32_t>(low));
    if (it != m_areas.begin()) --it;
    std::vector<std::pair<std::uint32_t, Bytes>> joined;
    while (it != m_areas.end() && it->first <= high) {
        std::uint64_t end = static_cast<std::uint64_t>(it->first) + it->second.size();
        if (end >= low) {
            low = std::min<std::uint64_t>(low, it->first);
            high = std::max(high, end);
            joined.emplace_back(it->first, std::move(it->second));
            it = m_areas.erase(it);
        } else {
            ++it;
        }
    }
    Bytes area(static_cast<std::size_t>(high - low), 0);
    for (auto& [start, old] : joined)
        std::copy(old.begin(), old.end(), area.begin() + (start - low));
    std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), high - address));
    std::copy_n(bytes.begin(), count, area.begin() + (address - low));
    m_areas[static_cast<std::uint32_t>(low)] = std::move(area);
}

template <class Piece>
bool BiosMemory::Walk(std::uint32_t address, std::size_t size, Piece piece) const {
    bool any = false;
    const std::uint64_t low = address, high = low + size;
    std::uint64_t done = low;  // [low, done) has been handed to `piece`
    auto it = m_areas.upper_bound(address);
    if (it != m_areas.begin()) --it;
    for (; it != m_areas.end() && it->first < high; ++it) {
        const std::uint64_t start = it->first, end = start + it->second.size();
        const std::uint64_t from = std::max(low, start), to = std::min(high, end);
        if (from >= to) continue;
        if (from > done) piece(nullptr, from - done);
        piece(it->second.data() + (from - start), to - from);
        done = to;
        any = true;
    }
    if (high > done) piece(nullptr, high - done);
    return any;
}

bool BiosMemory::Read(std::uint32_t address, std::size_t size, std::uint8_t* out) const {
    return Walk(address, size, [&out](const std::uint8_t* bytes, std::size_t count) {
        if (bytes)
            std::memcpy(out, bytes, count);
        else
            std::memset(out, 0xFF, count);
        out += count;
    });
}

Bytes BiosMemory::Copy(std::uint32_t address, std::size_t size, bool& exists) const {
    Bytes copy;
    copy.reserve(size);
    exists = Walk(address, size, [&copy](const std::uint8_t* bytes, std::size_t count) {
        if (bytes)
            copy.insert(copy.end(), bytes, bytes + count);
        else
            copy.insert(copy.end(), count, 0xFF);
    });
    return copy;
}

bool BiosMemory::Exists(std::uint32_t address) const {
    auto it = m_areas.upper_bound(address);
    if (it == m_areas.begin()) return false;
    --it;
    return address - it->first < it->second.size();
}

Bytes BiosMemory::Window() const {
    bool exists;
    return Copy(kWindowBase, kWindowSize, exists);
}

void PlaceBuiltinImage(BiosMemory& memory) {
    memory.Reset();
    SmbiosTable table;
    table
        .Add(0, {0x01, 0x02, 0x00, 0xE0, 0x03, 0x07, 0x80, 0x98, 0x8B, 0x7F, 0x01, 0x00},
             {"Corvane", "1.02", "11/12/2000"})
        .Add(1, {0x01, 0x02, 0x03, 0x04}, {"Corvane", "Vantor Desktop", "1.0", "CV000001"})
        .AddService(kDefaultServiceEntry)
        .AddEnd();
    const std::uint32_t tableAddress = BiosMemory::kWindowBase + 0x1000;
    memory.Place(tableAddress, table.GetBytes());
    SmbiosEntry entry;
    entry.tableAddress = tableAddress;
    entry.tableLength = static_cast<std::uint16_t>(table.GetBytes().size());
    entry.structureCount = static_cast<std::uint16_t>(table.Count());
    memory.Place(BiosMemory::kWindowBase + 0x0A40, MakeSmbiosEntry(entry));
}

}  // namespace winsim
