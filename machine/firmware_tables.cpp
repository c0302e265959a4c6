#include <cstdlib>
#include <string>
#include <vector>

#include "machine/bios_image.h"
#include "machine/bios_tables.h"
#include "machine/machine.h"

namespace winsim {

namespace {

namespace fs = std::filesystem;

struct Line {
    int number;
    std::string key;
    std::string value;
};
struct Section {
    int number;
    std::string name;
    std::vector<Line> lines;
};

std::string Trim(std::string_view s) {
    std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string_view::npos) return {};
    std::size_t b = s.find_last_not_of(" \t\r");
    return std::string(s.substr(a, b - a + 1));
}

// Sections in file order; a section may appear more than once, a key too (Structure=).
std::vector<Section> ParseSections(std::string_view text, const fs::path& file) {
    std::vector<Section> sections;
    int number = 0;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        // A ';' outside quotes starts a comment.
        bool quoted = false;
        std::size_t cut = raw.size();
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '"') quoted = !quoted;
            if (raw[i] == ';' && !quoted) {
                cut = i;
                break;
            }
        }
        std::string line = Trim(raw.substr(0, cut));
        if (line.empty()) continue;
        if (line.front() == '[') {
            if (line.back() != ']') throw MachineError(file, number, "a section needs a ']'");
            sections.push_back({number, Trim(line.substr(1, line.size() - 2)), {}});
            continue;
        }
        if (sections.empty()) throw MachineError(file, number, "a key before any section");
        std::size_t eq = line.find('=');
        sections.back().lines.push_back({number, Trim(line.substr(0, eq)),
                                         eq == std::string::npos ? "" : Trim(line.substr(eq + 1))});
    }
    return sections;
}

std::uint32_t Hex(const Line& line, const fs::path& file, std::string_view what,
                  std::uint64_t limit = 0xFFFFFFFFull) {
    char* end = nullptr;
    std::uint64_t value = std::strtoull(line.value.c_str(), &end, 16);
    if (line.value.empty() || *end || value > limit)
        throw MachineError(file, line.number,
                           std::string(what) + " must be a hex number, not \"" + line.value + "\"");
    return static_cast<std::uint32_t>(value);
}

std::uint32_t Number(const Line& line, const fs::path& file, std::uint32_t limit) {
    char* end = nullptr;
    unsigned long value = std::strtoul(line.value.c_str(), &end, 0);
    if (line.value.empty() || *end || value > limit)
        throw MachineError(file, line.number,
                           line.key + " must be a number up to " + std::to_string(limit));
    return static_cast<std::uint32_t>(value);
}

// SSSS:OOOO
std::uint32_t SegmentOffset(const Line& line, const fs::path& file) {
    unsigned segment, offset;
    char tail;
    if (std::sscanf(line.value.c_str(), "%x:%x%c", &segment, &offset, &tail) != 2 ||
        segment > 0xFFFF || offset > 0xFFFF)
        throw MachineError(file, line.number,
                           line.key + " must be segment:offset in hex, not \"" + line.value + "\"");
    return SegOff(static_cast<std::uint16_t>(segment), static_cast<std::uint16_t>(offset));
}

bool Good(const Line& line, const fs::path& file) {
    if (EqualNoCase(line.value, "good")) return true;
    if (EqualNoCase(line.value, "bad")) return false;
    throw MachineError(file, line.number, line.key + " must be good or bad");
}

bool YesNo(const Line& line, const fs::path& file) {
    if (EqualNoCase(line.value, "yes")) return true;
    if (EqualNoCase(line.value, "no")) return false;
    throw MachineError(file, line.number, line.key + " must be yes or no");
}

// Hex bytes, then strings in double quotes: "80 05 5A 55 "a string"".
void ParseBytesAndStrings(const Line& line, const fs::path& file, Bytes& bytes,
                          std::vector<std::string>* strings) {
    const std::string& v = line.value;
    std::size_t i = 0;
    while (i < v.size()) {
        if (v[i] == ' ' || v[i] == '\t') {
            ++i;
        } else if (v[i] == '"') {
            std::size_t close = v.find('"', i + 1);
            if (!strings || close == std::string::npos)
                throw MachineError(file, line.number, "a string must be closed by '\"'");
            strings->push_back(v.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            std::size_t end = v.find_first_of(" \t\"", i);
            std::string word = v.substr(i, end - i);
            char* stop = nullptr;
            unsigned long b = std::strtoul(word.c_str(), &stop, 16);
            if (*stop || b > 0xFF || (strings && !strings->empty()))
                throw MachineError(file, line.number,
                                   "\"" + word + "\" is not a hex byte (strings come last)");
            bytes.push_back(static_cast<std::uint8_t>(b));
            i = end == std::string::npos ? v.size() : end;
        }
    }
}

[[noreturn]] void Unknown(const Line& line, const Section& s, const fs::path& file) {
    throw MachineError(file, line.number, "[" + s.name + "] has no key " + line.key);
}

void PlaceSmbios(const Section& s, const fs::path& file, BiosMemory& memory) {
    SmbiosEntry entry;
    SmbiosTable table;
    std::optional<std::uint32_t> anchor, tableLength;
    bool hasTable = false;
    for (const Line& line : s.lines) {
        if (EqualNoCase(line.key, "Anchor")) {
            anchor = Hex(line, file, "Anchor");
        } else if (EqualNoCase(line.key, "Table")) {
            entry.tableAddress = Hex(line, file, "Table");
            hasTable = true;
        } else if (EqualNoCase(line.key, "EntryLength")) {
            entry.length = static_cast<std::uint8_t>(Number(line, file, 255));
        } else if (EqualNoCase(line.key, "Checksum")) {
            entry.goodChecksum = Good(line, file);
        } else if (EqualNoCase(line.key, "TableLength")) {
            tableLength = Number(line, file, 0xFFFF);
        } else if (EqualNoCase(line.key, "Structure")) {
            Bytes bytes;
            std::vector<std::string> strings;
            ParseBytesAndStrings(line, file, bytes, &strings);
            if (bytes.empty()) throw MachineError(file, line.number, "a structure needs a type");
            table.Add(bytes[0], Bytes(bytes.begin() + 1, bytes.end()), strings);
        } else if (EqualNoCase(line.key, "Service")) {
            table.AddService(SegmentOffset(line, file));
        } else if (EqualNoCase(line.key, "ServiceWithoutMarker")) {
            table.AddService(SegmentOffset(line, file), false);
        } else if (EqualNoCase(line.key, "Raw")) {
            Bytes bytes;
            ParseBytesAndStrings(line, file, bytes, nullptr);
            table.AddRaw(bytes);
        } else if (EqualNoCase(line.key, "End")) {
            table.AddEnd();
        } else {
            Unknown(line, s, file);
        }
    }
    if (!anchor || !hasTable) throw MachineError(file, s.number, "[SMBIOS] needs Anchor and Table");
    entry.tableLength = static_cast<std::uint16_t>(
        tableLength.value_or(static_cast<std::uint32_t>(table.GetBytes().size())));
    entry.structureCount = static_cast<std::uint16_t>(table.Count());
    memory.Place(entry.tableAddress, table.GetBytes());
    memory.Place(*anchor, MakeSmbiosEntry(entry));
}

void PlaceDmi20Nt(const Section& s, const fs::path& file, BiosMemory& memory) {
    std::optional<std::uint32_t> at;
    std::vector<std::uint16_t> offsets;
    std::vector<std::pair<std::uint16_t, Bytes>> structures;
    bool terminated = true;
    for (const Line& line : s.lines) {
        if (EqualNoCase(line.key, "At")) {
            at = Hex(line, file, "At");
        } else if (EqualNoCase(line.key, "Terminated")) {
            terminated = YesNo(line, file);
        } else if (EqualNoCase(line.key, "Structure") || EqualNoCase(line.key, "Service")) {
            // Structure=OOOO TT SSSS:OOOO: a structure at window offset OOOO of type TT.
            unsigned offset, type = 128, segment, entryOffset;
            char tail;
            bool service = EqualNoCase(line.key, "Service");
            int n = service ? std::sscanf(line.value.c_str(), "%x %x:%x%c", &offset, &segment,
                                          &entryOffset, &tail)
                            : std::sscanf(line.value.c_str(), "%x %x %x:%x%c", &offset, &type,
                                          &segment, &entryOffset, &tail);
            if (n != (service ? 3 : 4) || offset > 0xFFF3 || type > 0xFF || segment > 0xFFFF ||
                entryOffset > 0xFFFF)
                throw MachineError(file, line.number,
                                   service ? "Service must be OOOO SSSS:OOOO (hex)"
                                           : "Structure must be OOOO TT SSSS:OOOO (hex)");
            offsets.push_back(static_cast<std::uint16_t>(offset));
            structures.emplace_back(
                static_cast<std::uint16_t>(offset),
                MakeDmi20NtStructure(static_cast<std::uint8_t>(type),
                                     SegOff(static_cast<std::uint16_t>(segment),
                                            static_cast<std::uint16_t>(entryOffset))));
        } else {
            Unknown(line, s, file);
        }
    }
    if (!at) throw MachineError(file, s.number, "[DMI20_NT] needs At");
    memory.Place(*at, MakeDmi20NtList(offsets, terminated));
    for (auto& [offset, bytes] : structures) memory.Place(BiosMemory::kWindowBase + offset, bytes);
}

void PlaceDmi(const Section& s, const fs::path& file, BiosMemory& memory) {
    std::optional<std::uint32_t> at;
    DmiHeader header;
    bool hasTable = false;
    Bytes table;
    for (const Line& line : s.lines) {
        if (EqualNoCase(line.key, "At")) {
            at = Hex(line, file, "At");
        } else if (EqualNoCase(line.key, "Table")) {
            std::uint32_t so = SegmentOffset(line, file);
            header.tableSegment = static_cast<std::uint16_t>(so >> 16);
            header.tableOffset = static_cast<std::uint16_t>(so);
            hasTable = true;
        } else if (EqualNoCase(line.key, "HeaderLength")) {
            header.headerLength = static_cast<std::uint8_t>(Number(line, file, 14));
        } else if (EqualNoCase(line.key, "HeaderChecksum")) {
            header.goodHeaderChecksum = Good(line, file);
        } else if (EqualNoCase(line.key, "TableChecksum")) {
            header.goodTableChecksum = Good(line, file);
        } else if (EqualNoCase(line.key, "Structure")) {
            Bytes bytes;
            ParseBytesAndStrings(line, file, bytes, nullptr);
            if (bytes.empty()) throw MachineError(file, line.number, "a structure needs a type");
            Bytes made = MakeDmiStructure(bytes[0], Bytes(bytes.begin() + 1, bytes.end()));
            table.insert(table.end(), made.begin(), made.end());
        } else if (EqualNoCase(line.key, "Service")) {
            Bytes made = MakeDmiService(SegmentOffset(line, file));
            table.insert(table.end(), made.begin(), made.end());
        } else if (EqualNoCase(line.key, "Raw")) {
            ParseBytesAndStrings(line, file, table, nullptr);
        } else {
            Unknown(line, s, file);
        }
    }
    if (!at || !hasTable) throw MachineError(file, s.number, "[$DMI] needs At and Table");
    memory.Place(static_cast<std::uint32_t>(header.tableSegment) * 16 + header.tableOffset, table);
    memory.Place(*at, MakeDmiHeader(header, table));
}

void PlaceBytes(const Section& s, const fs::path& file, BiosMemory& memory) {
    std::optional<std::uint32_t> at;
    Bytes bytes;
    std::string text;
    for (const Line& line : s.lines) {
        if (EqualNoCase(line.key, "At"))
            at = Hex(line, file, "At");
        else if (EqualNoCase(line.key, "Hex"))
            ParseBytesAndStrings(line, file, bytes, nullptr);
        else if (EqualNoCase(line.key, "Text") && line.value.size() >= 2 &&
                 line.value.front() == '"' && line.value.back() == '"')
            bytes.insert(bytes.end(), line.value.begin() + 1, line.value.end() - 1);
        else
            Unknown(line, s, file);
    }
    if (!at) throw MachineError(file, s.number, "[Bytes] needs At");
    memory.Place(*at, bytes);
}

}  // namespace

void PlaceTables(std::string_view text, const fs::path& file, BiosMemory& memory) {
    for (const Section& s : ParseSections(text, file)) {
        if (EqualNoCase(s.name, "Service"))
            continue;  // the security service's own place, read by ReadServiceEntry
        else if (EqualNoCase(s.name, "SMBIOS"))
            PlaceSmbios(s, file, memory);
        else if (EqualNoCase(s.name, "DMI20_NT"))
            PlaceDmi20Nt(s, file, memory);
        else if (EqualNoCase(s.name, "$DMI"))
            PlaceDmi(s, file, memory);
        else if (EqualNoCase(s.name, "Bytes"))
            PlaceBytes(s, file, memory);
        else
            throw MachineError(file, s.number, "unknown section [" + s.name + "]");
    }
}

std::optional<std::uint32_t> ReadServiceEntry(const fs::path& folder) {
    fs::path file = folder / "tables.ini";
    if (!fs::exists(file)) return std::nullopt;
    std::optional<std::uint32_t> entry;
    for (const Section& s : ParseSections(ReadWholeFile(file), file)) {
        if (!EqualNoCase(s.name, "Service")) continue;
        for (const Line& line : s.lines) {
            if (!EqualNoCase(line.key, "Entry")) Unknown(line, s, file);
            entry = SegmentOffset(line, file);
        }
    }
    return entry;
}

void BiosMemory::LoadFolder(const fs::path& folder) {
    fs::path image = folder / "f000.bin", tables = folder / "tables.ini";
    bool any = false;
    Reset();
    if (fs::exists(image)) {
        std::string bytes = ReadWholeFile(image);
        if (bytes.size() != kWindowSize)
            throw MachineError(
                image, 0,
                "must hold exactly the 65536 bytes at F0000, not " + std::to_string(bytes.size()));
        Place(kWindowBase, Bytes(bytes.begin(), bytes.end()));
        any = true;
    }
    std::error_code ec;
    if (fs::is_directory(folder, ec)) {
        for (const auto& item : fs::directory_iterator(folder)) {
            std::string name = item.path().filename().string();
            if (name.size() != 16 || !EqualNoCase(name.substr(0, 4), "mem-") ||
                !EqualNoCase(name.substr(12), ".bin"))
                continue;
            char* end = nullptr;
            std::string hex = name.substr(4, 8);
            unsigned long address = std::strtoul(hex.c_str(), &end, 16);
            if (*end) throw MachineError(item.path(), 0, "the name must be mem-XXXXXXXX.bin (hex)");
            std::string bytes = ReadWholeFile(item.path());
            if (address + bytes.size() > 0x100000000ull)
                throw MachineError(item.path(), 0, "runs past the end of 32-bit memory");
            Place(static_cast<std::uint32_t>(address), Bytes(bytes.begin(), bytes.end()));
            any = true;
        }
    }
    if (fs::exists(tables)) {
        PlaceTables(ReadWholeFile(tables), tables, *this);
        any = true;
    }
    if (!any) PlaceBuiltinImage(*this);
}

}  // namespace winsim
