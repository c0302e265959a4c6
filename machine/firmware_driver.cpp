#include "machine/firmware_driver.h"

#include <cstring>

#include "machine/firmware_service.h"
#include "machine/machine.h"

namespace winsim {

namespace {

std::uint32_t GetField(const std::uint8_t* block, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | block[at + i];
    return value;
}

void SetField(std::uint8_t* block, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) block[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

DriverAddressSpace::DriverAddressSpace(Machine&) {}

std::uint32_t DriverAddressSpace::Add(std::uint32_t& next, Range range) {
    std::uint32_t address = next;
    // A gap of at least a page after every range, so that running off one never lands in the
    // next.
    next += static_cast<std::uint32_t>((range.size + 0x1FFF) & ~std::size_t{0xFFF});
    m_ranges[address] = std::move(range);
    return address;
}

std::uint32_t DriverAddressSpace::MapTransient(const void* buffer, std::size_t size) {
    if (!buffer) return 0;
    if (m_nextTransient >= kViewBase - 0x100000 || size > 0x100000) return 0;
    return Add(m_nextTransient,
               Range{static_cast<std::uint8_t*>(const_cast<void*>(buffer)), size, {}});
}

std::uint32_t DriverAddressSpace::MapView(const std::shared_ptr<Bytes>& view) {
    // Mappings of closed handles free their addresses for reuse only by being overwritten;
    // drop them first so that the map stays small.
    for (auto it = m_ranges.begin(); it != m_ranges.end();)
        it = it->first >= kViewBase && it->second.view.expired() ? m_ranges.erase(it) : ++it;
    if (m_nextView >= 0xFFF00000u) m_nextView = kViewBase;
    return Add(m_nextView, Range{view->data(), view->size(), view});
}

void DriverAddressSpace::EndRequest() {
    m_ranges.erase(m_ranges.begin(), m_ranges.lower_bound(kViewBase));
    m_nextTransient = kTransientBase;
}

std::optional<DriverAddressSpace::Extent> DriverAddressSpace::Resolve(std::uint32_t address) {
    auto it = m_ranges.upper_bound(address);
    if (it == m_ranges.begin()) return std::nullopt;
    --it;
    const Range& range = it->second;
    std::size_t offset = address - it->first;
    if (offset >= range.size) return std::nullopt;
    if (it->first >= kViewBase && range.view.expired()) return std::nullopt;
    return Extent{range.data + offset, range.size - offset};
}

LockDriver::LockDriver(Machine& machine) : m_machine(machine) {}

bool LockDriver::Present() const {
    return m_machine.Settings().GetBool("Drivers", "ZULOCK.VXD", true);
}

void LockDriver::SetPresent(bool present) {
    m_machine.Settings().Set("Drivers", "ZULOCK.VXD", present ? "present" : "absent");
}

bool LockDriver::Request(LockDriverHandle& handle, std::uint32_t code, std::uint8_t* block) {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    if (code == kRequestMap) {
        std::uint32_t paragraph = GetField(block, 28, 4);
        m_mappings.push_back(paragraph);
        std::uint64_t physical = static_cast<std::uint64_t>(paragraph) * 16;
        std::uint32_t address = 0;
        if (physical < 0x100000000ull) {
            auto& view = handle.views[paragraph];
            // Copied again whenever memory has changed since, so that a mapping shows memory
            // as it is now; in place, as the address space points into the copy.
            const auto& memory = m_machine.Component<BiosMemory>();
            const auto at = static_cast<std::uint32_t>(physical);
            if (!view.bytes) {
                view.bytes = std::make_shared<Bytes>(memory.Copy(at, kMappingSize, view.exists));
                view.generation = memory.Generation();
            } else if (view.generation != memory.Generation()) {
                view.exists = memory.Read(at, kMappingSize, view.bytes->data());
                view.generation = memory.Generation();
            }
            if (view.exists) {
                if (!view.address)
                    view.address = m_machine.Component<DriverAddressSpace>().MapView(view.bytes);
                address = view.address;
            }
        }
        SetField(block, 28, address);
        return true;
    }
    if (code == kRequestCall) {
        std::uint32_t entry = (GetField(block, 76, 2) << 16) | (GetField(block, 72, 4) & 0xFFFF);
        std::uint32_t param = GetField(block, 28, 4);
        std::uint16_t result = m_machine.Component<FirmwareService>().Call(
            entry, static_cast<std::uint16_t>(param), GetField(block, 0, 4), GetField(block, 16, 4),
            static_cast<std::uint8_t>(GetField(block, 20, 4)),
            static_cast<std::uint16_t>(GetField(block, 24, 4)));
        SetField(block, 28, (param & 0xFFFF0000u) | result);
        return true;
    }
    return false;
}

}  // namespace winsim
