#include "machine/regf.h"

#include <algorithm>
#include <string>
#include <vector>

#include "machine/ansi_text.h"
#include "machine/registry_store.h"

namespace winsim {

namespace {

constexpr long kErrorSuccess = 0;
constexpr long kErrorNotRegistryFile = 1017;

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegMultiSz = 7;

constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kBinHeaderSize = 0x20;
constexpr std::uint32_t kBinAlignment = 0x1000;
constexpr std::uint32_t kCellAlignment = 8;
constexpr std::uint32_t kNoCell = 0xFFFFFFFF;
// Data longer than this live in big-data segments of this size each.
constexpr std::uint32_t kSegmentSize = 16344;

// Base block fields.
constexpr std::size_t kPrimarySequence = 0x04;
constexpr std::size_t kSecondarySequence = 0x08;
constexpr std::size_t kMajorVersion = 0x14;
constexpr std::size_t kMinorVersion = 0x18;
constexpr std::size_t kFileType = 0x1C;
constexpr std::size_t kRootCell = 0x24;
constexpr std::size_t kBinsSize = 0x28;

// Key node fields, from the start of the cell's data.
constexpr std::size_t kNodeFlags = 0x02;
constexpr std::size_t kNodeLastWrite = 0x04;
constexpr std::size_t kNodeSubkeyCount = 0x14;
constexpr std::size_t kNodeSubkeyList = 0x1C;
constexpr std::size_t kNodeValueCount = 0x24;
constexpr std::size_t kNodeValueList = 0x28;
constexpr std::size_t kNodeClass = 0x30;
constexpr std::size_t kNodeNameLength = 0x48;
constexpr std::size_t kNodeClassLength = 0x4A;
constexpr std::size_t kNodeName = 0x4C;
constexpr std::uint16_t kNodeLatin1Name = 0x0020;

// Value record fields.
constexpr std::size_t kValueNameLength = 0x02;
constexpr std::size_t kValueDataSize = 0x04;
constexpr std::size_t kValueData = 0x08;
constexpr std::size_t kValueType = 0x0C;
constexpr std::size_t kValueFlags = 0x10;
constexpr std::size_t kValueName = 0x14;
constexpr std::uint16_t kValueLatin1Name = 0x0001;
constexpr std::uint32_t kDataInRecord = 0x80000000;

// Thrown wherever the file is not sound; the whole hive is then refused.
struct Unsound {};

std::uint16_t Read16(std::string_view bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < 2) throw Unsound{};
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t Read32(std::string_view bytes, std::size_t at) {
    return Read16(bytes, at) | static_cast<std::uint32_t>(Read16(bytes, at + 2)) << 16;
}

std::uint64_t Read64(std::string_view bytes, std::size_t at) {
    return Read32(bytes, at) | static_cast<std::uint64_t>(Read32(bytes, at + 4)) << 32;
}

std::string_view Slice(std::string_view bytes, std::size_t at, std::size_t length) {
    if (at > bytes.size() || bytes.size() - at < length) throw Unsound{};
    return bytes.substr(at, length);
}

bool HasSignature(std::string_view cell, std::string_view signature) {
    return cell.substr(0, signature.size()) == signature;
}

std::string NameText(std::string_view stored, bool latin1) {
    // Latin-1 names keep their bytes: code page 1252 holds every Latin-1 letter at the same place.
    return latin1 ? std::string(stored) : Utf16ToAnsi(stored);
}

// A key node as stored, before it joins the tree.
struct Node {
    std::string name;
    std::string className;
    std::uint64_t lastWrite = 0;
    std::uint32_t subkeyCount = 0;
    std::uint32_t subkeyList = kNoCell;
    std::uint32_t valueCount = 0;
    std::uint32_t valueList = kNoCell;
};

class HiveReader {
public:
    HiveReader(std::string_view bytes, std::uint64_t lastWrite)
        : m_file(bytes), m_lastWrite(lastWrite) {}

    std::shared_ptr<RegistryKey> Read() {
        std::uint32_t rootCell = ReadBaseBlock();
        ReadBins();
        auto root = std::make_shared<RegistryKey>();
        Fill(*root, ReadNode(rootCell), 0);
        return root;
    }

private:
    // Checks the base block and answers the root cell's offset.
    std::uint32_t ReadBaseBlock() {
        if (!IsBinaryHive(m_file) || m_file.size() < kBaseBlockSize) throw Unsound{};
        if (Read32(m_file, kPrimarySequence) != Read32(m_file, kSecondarySequence)) throw Unsound{};
        if (BaseBlockChecksum(m_file) != Read32(m_file, kChecksumOffset)) throw Unsound{};
        // 1.3 is Windows NT 4.0's layout; later minor versions only add to it.
        if (Read32(m_file, kMajorVersion) != 1 || Read32(m_file, kMinorVersion) < 3)
            throw Unsound{};
        if (Read32(m_file, kFileType) != 0) throw Unsound{};  // a log file, not a hive
        std::uint32_t binsSize = Read32(m_file, kBinsSize);
        if (binsSize == 0 || binsSize % kBinAlignment != 0) throw Unsound{};
        m_bins = Slice(m_file, kBaseBlockSize, binsSize);
        return Read32(m_file, kRootCell);
    }

    // Walks the bins that tile the data, each naming its own offset.
    void ReadBins() {
        std::size_t at = 0;
        while (at < m_bins.size()) {
            std::string_view header = Slice(m_bins, at, kBinHeaderSize);
            std::uint32_t size = Read32(header, 8);
            if (!HasSignature(header, "hbin") || Read32(header, 4) != at || size == 0 ||
                size % kBinAlignment != 0 || size > m_bins.size() - at)
                throw Unsound{};
            m_binEnds.push_back(at + size);
            at += size;
        }
        m_used.assign(m_bins.size() / kCellAlignment, false);
    }

    // The data of the allocated cell at `offset`. Each cell is reached once: a second visit
    // means a list reaching back to a key above, or records shared where none are.
    std::string_view Cell(std::uint32_t offset) {
        if (offset % kCellAlignment != 0 || offset >= m_bins.size()) throw Unsound{};
        auto bin = std::upper_bound(m_binEnds.begin(), m_binEnds.end(), std::size_t{offset});
        std::size_t binStart = bin == m_binEnds.begin() ? 0 : *(bin - 1);
        if (offset < binStart + kBinHeaderSize) throw Unsound{};
        if (m_used[offset / kCellAlignment]) throw Unsound{};
        m_used[offset / kCellAlignment] = true;
        auto size = static_cast<std::int32_t>(Read32(m_bins, offset));
        // Allocated cells have negative sizes; a size counts its own four bytes.
        if (size >= -4) throw Unsound{};
        std::size_t length = static_cast<std::size_t>(-static_cast<std::int64_t>(size));
        if (length > *bin - offset) throw Unsound{};
        return m_bins.substr(offset + 4, length - 4);
    }

    Node ReadNode(std::uint32_t offset) {
        std::string_view cell = Cell(offset);
        if (!HasSignature(cell, "nk")) throw Unsound{};
        Node node;
        node.lastWrite = Read64(cell, kNodeLastWrite);
        node.subkeyCount = Read32(cell, kNodeSubkeyCount);
        node.subkeyList = Read32(cell, kNodeSubkeyList);
        node.valueCount = Read32(cell, kNodeValueCount);
        node.valueList = Read32(cell, kNodeValueList);
        bool latin1 = (Read16(cell, kNodeFlags) & kNodeLatin1Name) != 0;
        node.name = NameText(Slice(cell, kNodeName, Read16(cell, kNodeNameLength)), latin1);
        std::uint16_t classLength = Read16(cell, kNodeClassLength);
        std::uint32_t classCell = Read32(cell, kNodeClass);
        if (classLength != 0 && classCell != kNoCell)
            node.className = Utf16ToAnsi(Slice(Cell(classCell), 0, classLength));
        return node;
    }

    void Fill(RegistryKey& key, const Node& node, int depth) {
        key.className = node.className;
        key.lastWrite = node.lastWrite ? node.lastWrite : m_lastWrite;
        if (node.valueCount != 0) {
            std::string_view list = Cell(node.valueList);
            if (node.valueCount > list.size() / 4) throw Unsound{};
            for (std::uint32_t i = 0; i < node.valueCount; ++i) ReadValue(key, Read32(list, 4 * i));
        }
        if (node.subkeyCount == 0) return;
        if (depth >= kMaxHiveDepth) throw Unsound{};
        std::vector<std::uint32_t> subkeys;
        ReadSubkeyList(node.subkeyList, 0, subkeys);
        if (subkeys.size() != node.subkeyCount) throw Unsound{};
        for (std::uint32_t offset : subkeys) {
            Node child = ReadNode(offset);
            if (key.Subkey(child.name)) {
                // Another name that became the same text: read for soundness, then dropped.
                RegistryKey dropped;
                Fill(dropped, child, depth + 1);
                continue;
            }
            Fill(key.AddSubkey(child.name, child.className, nullptr), child, depth + 1);
        }
    }

    // Appends the key node offsets a subkey list holds, index roots opened in place.
    void ReadSubkeyList(std::uint32_t offset, int depth, std::vector<std::uint32_t>& out) {
        std::string_view cell = Cell(offset);
        std::uint16_t count = Read16(cell, 2);
        if (HasSignature(cell, "lf") || HasSignature(cell, "lh")) {
            // Each entry: the node and a hint of its name.
            for (std::size_t i = 0; i < count; ++i) out.push_back(Read32(cell, 4 + 8 * i));
        } else if (HasSignature(cell, "li")) {
            for (std::size_t i = 0; i < count; ++i) out.push_back(Read32(cell, 4 + 4 * i));
        } else if (HasSignature(cell, "ri")) {
            if (depth >= kMaxHiveDepth) throw Unsound{};
            // Check the whole index before following it, so a short cell reads nothing.
            Slice(cell, 4, 4 * std::size_t{count});
            for (std::size_t i = 0; i < count; ++i)
                ReadSubkeyList(Read32(cell, 4 + 4 * i), depth + 1, out);
        } else {
            throw Unsound{};
        }
    }

    void ReadValue(RegistryKey& key, std::uint32_t offset) {
        std::string_view cell = Cell(offset);
        if (!HasSignature(cell, "vk")) throw Unsound{};
        std::uint32_t size = Read32(cell, kValueDataSize);
        std::uint32_t type = Read32(cell, kValueType);
        bool latin1 = (Read16(cell, kValueFlags) & kValueLatin1Name) != 0;
        std::string name =
            NameText(Slice(cell, kValueName, Read16(cell, kValueNameLength)), latin1);
        std::string data;
        if (size & kDataInRecord) {
            // Up to four bytes kept where the offset of a data cell would be.
            size &= ~kDataInRecord;
            if (size > 4) throw Unsound{};
            data = std::string(Slice(cell, kValueData, size));
        } else if (size != 0) {
            data = ReadData(Read32(cell, kValueData), size);
        }
        if (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz) data = Utf16ToAnsi(data);
        if (!key.FindValue(name)) key.SetValue(name, type, std::move(data));
    }

    // `size` bytes of value data: one cell, or a big-data record whose cell is too short
    // to hold them, naming its segments.
    std::string ReadData(std::uint32_t offset, std::uint32_t size) {
        std::string_view cell = Cell(offset);
        if (cell.size() >= size) return std::string(cell.substr(0, size));
        if (size <= kSegmentSize || !HasSignature(cell, "db")) throw Unsound{};
        std::uint16_t count = Read16(cell, 2);
        std::string_view list = Slice(Cell(Read32(cell, 4)), 0, 4 * std::size_t{count});
        std::string data;
        for (std::size_t i = 0; i < count && data.size() < size; ++i) {
            std::size_t part = std::min<std::size_t>(kSegmentSize, size - data.size());
            data += Slice(Cell(Read32(list, 4 * i)), 0, part);
        }
        if (data.size() != size) throw Unsound{};
        return data;
    }

    std::string_view m_file;
    std::string_view m_bins;
    std::uint64_t m_lastWrite;
    std::vector<std::size_t> m_binEnds;  // ascending: each bin ends where the next begins
    std::vector<bool> m_used;            // one flag a cell, by offset
};

}  // namespace

std::uint32_t BaseBlockChecksum(std::string_view bytes) {
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < kChecksumOffset; at += 4) sum ^= Read32(bytes, at);
    return sum == 0 ? 1 : sum == 0xFFFFFFFF ? 0xFFFFFFFE : sum;
}

bool IsBinaryHive(std::string_view bytes) {
    return bytes.substr(0, 4) == "regf";
}

long ReadBinaryHive(std::string_view bytes, std::uint64_t lastWrite,
                    std::shared_ptr<RegistryKey>& root) {
    try {
        root = HiveReader(bytes, lastWrite).Read();
    } catch (const Unsound&) {
        return kErrorNotRegistryFile;
    }
    return kErrorSuccess;
}

}  // namespace winsim
