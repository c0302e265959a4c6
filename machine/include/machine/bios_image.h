// Building BIOS images: the byte layouts of SMBIOS entry points and structure tables,
// "_DMI20_NT_" structure lists and "$DMI" headers and tables, with right or broken checksums,
// for tests and for machine folders (firmware/tables.ini is read into these).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "machine/bios_memory.h"

namespace winsim {

// An entry point: segment in the high word, offset in the low word.
constexpr std::uint32_t SegOff(std::uint16_t segment, std::uint16_t offset) {
    return (static_cast<std::uint32_t>(segment) << 16) | offset;
}

// The 8-bit sum of `bytes`.
std::uint8_t ByteSum(const std::uint8_t* bytes, std::size_t count);
// Appends `value` little-endian in `width` bytes.
void PutLittle(Bytes& out, std::uint32_t value, int width);
void SetLittle(Bytes& out, std::size_t at, std::uint32_t value, int width);

// An SMBIOS structure table, one structure after the other.
class SmbiosTable {
public:
    // A structure of `type` whose formatted area is the 4-byte header (type, length, handle)
    // followed by `data`, then its strings and the two closing zero bytes.
    SmbiosTable& Add(std::uint8_t type, const Bytes& data = {},
                     const std::vector<std::string>& strings = {});
    // The security service structure: type 128, "ZU" at offset 4 (or "XX" without the
    // marker), the entry point at offset 9.
    SmbiosTable& AddService(std::uint32_t entry, bool marker = true);
    // The end-of-table structure (type 127).
    SmbiosTable& AddEnd();
    // Bytes as they are (a broken structure, say).
    SmbiosTable& AddRaw(const Bytes& bytes);
    const Bytes& GetBytes() const { return m_bytes; }
    std::size_t Count() const { return m_count; }

private:
    Bytes m_bytes;
    std::uint16_t m_handle = 0;
    std::size_t m_count = 0;
};

struct SmbiosEntry {
    std::uint32_t tableAddress = 0;
    std::uint16_t tableLength = 0;
    std::uint16_t structureCount = 0;
    std::uint8_t length = 0x1F;  // the entry point length byte
    bool goodChecksum = true;
};
// The 31-byte SMBIOS 2.x entry point ("_SM_" ... "_DMI_"), checksummed over `length` bytes
// (a length byte of 0 needs no checksum to be valid; goodChecksum false then breaks the
// checksum over the full 31 bytes).
Bytes MakeSmbiosEntry(const SmbiosEntry& entry);

// "_DMI20_NT_", three bytes, then one 8-byte entry per structure offset (from the start of the
// F000 window) and, when `terminated`, an entry of offset 0.
Bytes MakeDmi20NtList(const std::vector<std::uint16_t>& structureOffsets, bool terminated = true);
// A structure of such a list: `type` at offset 0, the entry point at offset 9 (13 bytes).
Bytes MakeDmi20NtStructure(std::uint8_t type, std::uint32_t entry);

// A "$DMI" structure: type, length (the byte may claim another length than the bytes given),
// then `data`.
Bytes MakeDmiStructure(std::uint8_t type, const Bytes& data);
Bytes MakeDmiStructure(std::uint8_t type, std::uint8_t lengthByte, const Bytes& data);
// The "$DMI" service structure: type 132 with the entry point at offset 14 (18 bytes).
Bytes MakeDmiService(std::uint32_t entry);

struct DmiHeader {
    std::uint16_t tableSegment = 0;
    std::uint16_t tableOffset = 0;
    std::uint8_t headerLength = 14;
    bool goodHeaderChecksum = true;
    bool goodTableChecksum = true;
};
// The 14-byte "$DMI" header for `table`: its length and checksum, and its own checksum over
// (headerLength - 1) bytes at offset 13.
Bytes MakeDmiHeader(const DmiHeader& header, const Bytes& table);

}  // namespace winsim
