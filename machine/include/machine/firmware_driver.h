// The lock driver ZULOCK.VXD and the 32-bit address space of the request blocks it reads.
// Request 3 maps 64 KB of physical memory from a paragraph (param in: the paragraph; out: the
// address of the mapping, 0 when no memory is there); request 11 hands the block to the
// firmware security service at serviceSegment:serviceOffset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "machine/bios_memory.h"
#include "machine/handles.h"

namespace winsim {

class Machine;

// Driver addresses: a buffer of the process gets a 32-bit address for one request (transient),
// a driver mapping one for as long as the device handle that made it is open.
class DriverAddressSpace {
public:
    explicit DriverAddressSpace(Machine& machine);

    std::uint32_t MapTransient(const void* buffer, std::size_t size);
    std::uint32_t MapView(const std::shared_ptr<Bytes>& view);
    // Forgets the transient addresses; every device request ends with it.
    void EndRequest();

    struct Extent {
        std::uint8_t* data;
        std::size_t size;  // bytes from `data` to the end of what is mapped there
    };
    std::optional<Extent> Resolve(std::uint32_t address);

private:
    struct Range {
        std::uint8_t* data = nullptr;
        std::size_t size = 0;
        std::weak_ptr<Bytes> view;  // set for mappings: they end with their handle
    };
    std::uint32_t Add(std::uint32_t& next, Range range);

    std::map<std::uint32_t, Range> m_ranges;
    std::uint32_t m_nextTransient = kTransientBase;
    std::uint32_t m_nextView = kViewBase;
    static constexpr std::uint32_t kTransientBase = 0x10000000;
    static constexpr std::uint32_t kViewBase = 0x40000000;
};

// One open handle of the driver, with the mappings it made.
struct LockDriverHandle : HandleObject {
    struct View {
        std::uint32_t address = 0;  // in the driver's address space; 0 until first mapped
        std::shared_ptr<Bytes> bytes;
        std::optional<std::uint64_t> generation;  // of the memory copied into bytes
        bool exists = false;                      // whether any of that memory existed
    };
    std::map<std::uint32_t, View> views;  // by paragraph
};

class LockDriver {
public:
    static constexpr std::uint32_t kRequestMap = 3;
    static constexpr std::uint32_t kRequestCall = 11;
    static constexpr std::size_t kBlockSize = 108;
    static constexpr std::size_t kMappingSize = 0x10000;

    // A machine component; present unless machine.ini says [Drivers] ZULOCK.VXD=absent.
    explicit LockDriver(Machine& machine);
    bool Present() const;
    void SetPresent(bool present);

    // Serves one request on `block` (kBlockSize bytes); false for an unknown request code.
    bool Request(LockDriverHandle& handle, std::uint32_t code, std::uint8_t* block);

    // The paragraphs of every mapping request, oldest first, for tests.
    const std::vector<std::uint32_t>& Mappings() const { return m_mappings; }
    void ClearMappings() { m_mappings.clear(); }

private:
    Machine& m_machine;
    std::vector<std::uint32_t> m_mappings;
};

}  // namespace winsim
