#include <cstring>

#include "machine/bios_image.h"

namespace winsim {

std::uint8_t ByteSum(const std::uint8_t* bytes, std::size_t count) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    return sum;
}

void PutLittle(Bytes& out, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void SetLittle(Bytes& out, std::size_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

SmbiosTable& SmbiosTable::Add(std::uint8_t type, const Bytes& data,
                              const std::vector<std::string>& strings) {
    m_bytes.push_back(type);
    m_bytes.push_back(static_cast<std::uint8_t>(4 + data.size()));
    PutLittle(m_bytes, m_handle++, 2);
    m_bytes.insert(m_bytes.end(), data.begin(), data.end());
    for (const std::string& s : strings) {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        m_bytes.push_back(0);
    }
    if (strings.empty()) m_bytes.push_back(0);
    m_bytes.push_back(0);
    ++m_count;
    return *this;
}

SmbiosTable& SmbiosTable::AddService(std::uint32_t entry, bool marker) {
    Bytes data = {static_cast<std::uint8_t>(marker ? 'Z' : 'X'),
                  static_cast<std::uint8_t>(marker ? 'U' : 'X'), 0x01, 0x00, 0x00};
    PutLittle(data, entry, 4);
    return Add(128, data);
}

SmbiosTable& SmbiosTable::AddEnd() {
    return Add(127);
}

SmbiosTable& SmbiosTable::AddRaw(const Bytes& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

Bytes MakeSmbiosEntry(const SmbiosEntry& e) {
    Bytes b = {'_', 'S', 'M', '_', 0, e.length, 2,   3,   0,   0,   0,
               0,   0,   0,   0,   0, '_',      'D', 'M', 'I', '_', 0};
    PutLittle(b, e.tableLength, 2);
    PutLittle(b, e.tableAddress, 4);
    PutLittle(b, e.structureCount, 2);
    b.push_back(0x23);
    // The intermediate checksum makes bytes 16-30 add up to 0, the first one the whole.
    b[21] = static_cast<std::uint8_t>(-ByteSum(b.data() + 16, 15));
    std::size_t covered = std::min<std::size_t>(e.length, b.size());
    b[4] = static_cast<std::uint8_t>(-ByteSum(b.data(), covered));
    if (!e.goodChecksum) b[4] = static_cast<std::uint8_t>(b[4] + 1);
    return b;
}

Bytes MakeDmi20NtList(const std::vector<std::uint16_t>& offsets, bool terminated) {
    Bytes b = {'_', 'D', 'M', 'I', '2', '0', '_', 'N', 'T', '_', 0, 0, 0};
    for (std::uint16_t offset : offsets) {
        PutLittle(b, offset, 2);
        b.insert(b.end(), 6, 0);
    }
    if (terminated) b.insert(b.end(), 8, 0);
    return b;
}

Bytes MakeDmi20NtStructure(std::uint8_t type, std::uint32_t entry) {
    Bytes b = {type, 13, 0, 0, 0, 0, 0, 0, 0};
    PutLittle(b, entry, 4);
    return b;
}

Bytes MakeDmiStructure(std::uint8_t type, std::uint8_t lengthByte, const Bytes& data) {
    Bytes b;
    b.reserve(2 + data.size());
    b.push_back(type);
    b.push_back(lengthByte);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

Bytes MakeDmiStructure(std::uint8_t type, const Bytes& data) {
    return MakeDmiStructure(type, static_cast<std::uint8_t>(2 + data.size()), data);
}

Bytes MakeDmiService(std::uint32_t entry) {
    Bytes data(12, 0);
    PutLittle(data, entry, 4);
    return MakeDmiStructure(132, data);
}

Bytes MakeDmiHeader(const DmiHeader& h, const Bytes& table) {
    Bytes b = {'$', 'D', 'M', 'I', 0x10, h.headerLength};
    PutLittle(b, h.tableOffset, 2);
    PutLittle(b, h.tableSegment, 2);
    PutLittle(b, static_cast<std::uint32_t>(table.size()), 2);
    std::uint8_t tableSum = static_cast<std::uint8_t>(-ByteSum(table.data(), table.size()));
    b.push_back(static_cast<std::uint8_t>(h.goodTableChecksum ? tableSum : tableSum + 1));
    b.push_back(0);
    std::size_t covered = h.headerLength ? std::min<std::size_t>(h.headerLength - 1u, 13) : 0;
    std::uint8_t headerSum = static_cast<std::uint8_t>(-ByteSum(b.data(), covered));
    b[13] = static_cast<std::uint8_t>(h.goodHeaderChecksum ? headerSum : headerSum + 1);
    return b;
}

}  // namespace winsim
