// The physical memory the lock driver can map: the BIOS window of 64 KB at F0000 and the areas
// where firmware tables live elsewhere (below 1 MB or above it). Memory is a set of areas; a
// byte outside every area does not exist, and reads as 0xFF through a mapping (an open bus).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

namespace winsim {

class Machine;

using Bytes = std::vector<std::uint8_t>;

class BiosMemory {
public:
    static constexpr std::uint32_t kWindowBase = 0xF0000;
    static constexpr std::uint32_t kWindowSize = 0x10000;

    // A machine component. Its content comes from the machine folder's firmware/ (see
    // LoadFolder) when it is first used, or the built-in image when that has no tables.
    explicit BiosMemory(Machine& machine);

    // Forgets all memory, the window included: a mapping of F000 then fails.
    void Clear();
    // A window of zero bytes and nothing else.
    void Reset();
    // Writes `bytes` at `address`, creating memory where there was none (from the 4 KB page
    // of `address` on, so that a page-wise mapping reaches it) and joining areas that touch.
    void Place(std::uint32_t address, const Bytes& bytes);
    // Copies what exists of [address, address + size) into `out` (absent bytes as 0xFF);
    // false when none of it exists.
    bool Read(std::uint32_t address, std::size_t size, std::uint8_t* out) const;
    // The same as a new buffer of `size` bytes; `exists` as Read answers.
    Bytes Copy(std::uint32_t address, std::size_t size, bool& exists) const;
    bool Exists(std::uint32_t address) const;
    // Changes whenever memory does, so that a copy of it can tell whether it is still current.
    std::uint64_t Generation() const { return m_generation; }
    // The 64 KB at F0000 as it is now (absent bytes as 0xFF).
    Bytes Window() const;

    // Loads firmware/f000.bin (exactly 64 KB), firmware/mem-XXXXXXXX.bin (raw memory at the
    // physical address in hex) and firmware/tables.ini (a description). Throws MachineError
    // naming the file that is malformed. Without any of them, the built-in image is used.
    void LoadFolder(const std::filesystem::path& firmwareFolder);

private:
    // Hands [address, address + size) to piece(bytes, count) in order, a run at a time: bytes
    // points into an area, or is null for a run that does not exist. True when any run exists.
    template <class Piece>
    bool Walk(std::uint32_t address, std::size_t size, Piece piece) const;

    std::map<std::uint32_t, Bytes> m_areas;  // start address -> bytes, never touching
    std::uint64_t m_generation = 0;
};

// The built-in image: an SMBIOS entry point in the window, a short structure table with the
// security service structure, and the service at kDefaultServiceEntry.
void PlaceBuiltinImage(BiosMemory& memory);

}  // namespace winsim
