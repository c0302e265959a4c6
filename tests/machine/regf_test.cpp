// Binary hive files: read into a registry tree, refused whole when anything is not sound, and
// loaded through RegLoadKeyA as the agent loads a profile's NTUSER.DAT.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "machine/process_token.h"
#include "machine/regf.h"
#include "machine/registry_store.h"
#include "test_machine.h"

namespace {

using winsim::RegistryKey;
using namespace std::literals;

constexpr std::uint32_t kNone = 0xFFFFFFFF;
constexpr std::uint64_t kStamp = 0x01D29B17FA3DB1E0ull;  // a FILETIME in 2017

void Put16(std::string& out, std::size_t at, std::uint32_t v) {
    if (out.size() < at + 2) out.resize(at + 2, '\0');
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::size_t at, std::uint32_t v) {
    Put16(out, at, v & 0xFFFF);
    Put16(out, at + 2, v >> 16);
}

std::uint32_t Get32(const std::string& in, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(in[at + i]);
    return v;
}

// UTF-16LE bytes of a text, as hives keep names and strings.
std::string Utf16(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// The fields of a key node the tests choose; the rest of its cell is filled in by NodeData.
struct KeyNode {
    std::string name = {};  // stored bytes: Latin-1, or UTF-16LE when !latin1
    bool latin1 = true;
    std::uint32_t subkeys = 0;
    std::uint32_t subkeyList = kNone;
    std::uint32_t values = 0;
    std::uint32_t valueList = kNone;
    std::string className = {};  // UTF-16LE
    std::uint64_t lastWrite = kStamp;
};

// Hive bytes made cell by cell: one base block, then bins of cells in the order added.
class HiveBuilder {
public:
    HiveBuilder() { m_bins.assign(0x20, '\0'); }

    // An allocated cell holding `data`; answers its offset.
    std::uint32_t Add(std::string_view data) {
        auto offset = static_cast<std::uint32_t>(m_bins.size());
        std::size_t length = (4 + data.size() + 7) / 8 * 8;
        Put32(m_bins, offset, static_cast<std::uint32_t>(-static_cast<std::int32_t>(length)));
        m_bins += data;
        m_bins.resize(offset + length, '\0');
        return offset;
    }
    // A field of the cell at `cell`, counted from the start of its data.
    void Patch(std::uint32_t cell, std::size_t field, std::uint32_t value) {
        Put32(m_bins, cell + 4 + field, value);
    }
    // Starts a new bin: what follows lies in it.
    void NewBin() {
        CloseBin();
        m_binStart = m_bins.size();
        m_bins.resize(m_binStart + 0x20, '\0');
    }

    std::uint32_t Node(const KeyNode& node) { return Add(NodeData(node)); }
    // What a key node's cell holds, field by field: flags, last-write time, subkey count and
    // list (stable; volatile ones empty), value count and list, no security cell, the class
    // name's cell, then the lengths of name and class and the name itself. A class name is
    // added as a cell of its own.
    std::string NodeData(const KeyNode& node) {
        std::string cell = "nk";
        Put16(cell, 0x02, node.latin1 ? 0x20 : 0);
        Put32(cell, 0x04, static_cast<std::uint32_t>(node.lastWrite));
        Put32(cell, 0x08, static_cast<std::uint32_t>(node.lastWrite >> 32));
        Put32(cell, 0x14, node.subkeys);
        Put32(cell, 0x18, 0);
        Put32(cell, 0x1C, node.subkeyList);
        Put32(cell, 0x20, kNone);
        Put32(cell, 0x24, node.values);
        Put32(cell, 0x28, node.valueList);
        Put32(cell, 0x2C, kNone);
        Put32(cell, 0x30, node.className.empty() ? kNone : Add(node.className));
        Put16(cell, 0x48, static_cast<std::uint32_t>(node.name.size()));
        Put16(cell, 0x4A, static_cast<std::uint32_t>(node.className.size()));
        return cell + node.name;
    }
    // A value record: data of up to 4 bytes in the record, longer in a cell, and beyond one
    // segment in big-data segments of 16344 bytes.
    std::uint32_t Value(std::string_view name, std::uint32_t type, std::string_view data,
                        bool latin1 = true) {
        std::string cell = "vk";
        Put16(cell, 0x02, static_cast<std::uint32_t>(name.size()));
        auto size = static_cast<std::uint32_t>(data.size());
        if (data.size() <= 4) {
            Put32(cell, 0x04, size | 0x80000000u);
            std::string inline_(data);
            inline_.resize(4, '\0');
            cell += inline_;
        } else {
            Put32(cell, 0x04, size);
            Put32(cell, 0x08, size <= 16344 ? Add(data) : BigData(data));
        }
        Put32(cell, 0x0C, type);
        Put16(cell, 0x10, latin1 ? 1 : 0);
        Put16(cell, 0x12, 0);
        return Add(cell + std::string(name));
    }
    // A subkey list: "lf"/"lh" entries with a name hint, "li" and "ri" plain offsets.
    std::uint32_t List(std::string_view kind, const std::vector<std::uint32_t>& cells) {
        std::string cell(kind);
        Put16(cell, 2, static_cast<std::uint32_t>(cells.size()));
        bool hinted = kind == "lf" || kind == "lh";
        for (std::uint32_t offset : cells) {
            Put32(cell, cell.size(), offset);
            if (hinted) Put32(cell, cell.size(), 0);
        }
        return Add(cell);
    }
    std::uint32_t ValueList(const std::vector<std::uint32_t>& cells) {
        std::string cell;
        for (std::uint32_t offset : cells) Put32(cell, cell.size(), offset);
        return Add(cell);
    }

    // The file: base block with its checksum, then the bins.
    std::string Bytes(std::uint32_t root, std::uint32_t secondarySequence = 1) {
        CloseBin();
        std::string base = "regf";
        Put32(base, 0x04, 1);
        Put32(base, 0x08, secondarySequence);
        Put32(base, 0x14, 1);
        Put32(base, 0x18, 5);
        Put32(base, 0x20, 1);
        Put32(base, 0x24, root);
        Put32(base, 0x28, static_cast<std::uint32_t>(m_bins.size()));
        Put32(base, 0x2C, 1);
        base.resize(0x1000, '\0');
        std::uint32_t sum = 0;
        for (std::size_t at = 0; at < 0x1FC; at += 4) sum ^= Get32(base, at);
        Put32(base, 0x1FC, sum == 0 ? 1 : sum == 0xFFFFFFFF ? 0xFFFFFFFE : sum);
        return base + m_bins;
    }

private:
    std::uint32_t BigData(std::string_view data) {
        std::vector<std::uint32_t> segments;
        for (std::size_t at = 0; at < data.size(); at += 16344)
            segments.push_back(Add(data.substr(at, 16344)));
        std::string cell = "db";
        Put16(cell, 2, static_cast<std::uint32_t>(segments.size()));
        Put32(cell, 4, ValueList(segments));
        return Add(cell);
    }
    // Fills the open bin to a whole number of pages with a free cell and writes its header.
    void CloseBin() {
        std::size_t end = (m_bins.size() + 0xFFF) / 0x1000 * 0x1000;
        // Cells are 8-byte multiples, so what is left is none or room for a free cell.
        if (end != m_bins.size())
            Put32(m_bins, m_bins.size(), static_cast<std::uint32_t>(end - m_bins.size()));
        m_bins.resize(end, '\0');
        std::memcpy(&m_bins[m_binStart], "hbin", 4);
        Put32(m_bins, m_binStart + 4, static_cast<std::uint32_t>(m_binStart));
        Put32(m_bins, m_binStart + 8, static_cast<std::uint32_t>(end - m_binStart));
    }

    std::string m_bins;
    std::size_t m_binStart = 0;
};

std::string DataOf(const RegistryKey* key, std::string_view name) {
    const winsim::RegistryValue* value = key ? key->FindValue(name) : nullptr;
    return value ? value->data : "<no value>";
}

std::vector<std::string> SubkeyNames(const RegistryKey& key) {
    std::vector<std::string> names;
    for (const auto& sub : key.subkeys) names.push_back(sub.second->name);
    return names;
}

std::vector<std::string> ValueNames(const RegistryKey& key) {
    std::vector<std::string> names;
    for (const winsim::RegistryValue& value : key.Values()) names.push_back(value.name);
    return names;
}

std::shared_ptr<RegistryKey> Read(const std::string& bytes) {
    std::shared_ptr<RegistryKey> root;
    EXPECT_EQ(0, winsim::ReadBinaryHive(bytes, 42, root));
    return root;
}

TEST(BinaryHive, KeysValuesClassesTimesAndNamesAsTheAFunctionsSeeThem) {
    HiveBuilder b;
    const std::string text = Utf16(u"\u20ACuro caf\u00E9 \u0442\u0435\u0441\u0442") + '\0' + '\0';
    std::uint32_t values = b.ValueList({
        b.Value("Zeta", REG_SZ, text),
        b.Value("", REG_EXPAND_SZ, Utf16(u"%SystemRoot%") + std::string(2, '\0')),
        b.Value("Multi", REG_MULTI_SZ, Utf16(u"a\0bc\0\0"sv)),
        b.Value("Count", REG_DWORD, std::string("\x2A\0\0\0", 4)),
        b.Value("Pair", REG_BINARY, "\x01\x02"), b.Value("Empty", REG_BINARY, ""),
        b.Value("Wide", REG_BINARY, std::string(13, '\x7F')),
        b.Value(Utf16(u"\u00EBigen"), REG_DWORD, std::string(4, '\0'), false),
        b.Value("\xEBigen", REG_DWORD, std::string("\1\0\0\0", 4)),  // the same name: dropped
    });
    std::uint32_t latin1 = b.Node({.name = "\xEBigenaardig", .lastWrite = kStamp + 1});
    std::uint32_t cyrillic = b.Node({.name = Utf16(u"\u041F\u0440\u0438"), .latin1 = false});
    std::uint32_t deseret = b.Node({.name = Utf16(u"\U00010410\u0100\u0101"), .latin1 = false});
    std::uint32_t software = b.Node({.name = "Software",
                                     .values = 9,
                                     .valueList = values,
                                     .className = Utf16(u"Shell"),
                                     .lastWrite = kStamp + 2});
    std::uint32_t root = b.Node({.name = "ROOT",
                                 .subkeys = 4,
                                 .subkeyList = b.List("lh", {software, latin1, cyrillic, deseret}),
                                 .className = Utf16(u"Top")});
    std::shared_ptr<RegistryKey> hive = Read(b.Bytes(root));
    ASSERT_TRUE(hive);

    // Three UTF-16 characters the code page lacks become '?' each: the later key is dropped.
    EXPECT_EQ((std::vector<std::string>{"???", "Software", "\xEBigenaardig"}), SubkeyNames(*hive));
    EXPECT_EQ(kStamp, hive->lastWrite);
    EXPECT_EQ("Top", hive->className);
    EXPECT_EQ(kStamp + 1, hive->Subkey("\xEBigenaardig")->lastWrite);

    const RegistryKey* key = hive->Subkey("software");
    ASSERT_TRUE(key);
    EXPECT_EQ("Shell", key->className);
    EXPECT_EQ(kStamp + 2, key->lastWrite);
    EXPECT_EQ((std::vector<std::string>{"Zeta", "", "Multi", "Count", "Pair", "Empty", "Wide",
                                        "\xEBigen"}),
              ValueNames(*key));
    EXPECT_EQ("\x80uro caf\xE9 ????"s + '\0', DataOf(key, "Zeta"));
    EXPECT_EQ(std::string("%SystemRoot%\0", 13), DataOf(key, ""));
    EXPECT_EQ(std::string("a\0bc\0\0", 6), DataOf(key, "Multi"));
    EXPECT_EQ(static_cast<std::uint32_t>(REG_MULTI_SZ), key->FindValue("Multi")->type);
    EXPECT_EQ(std::string("\x2A\0\0\0", 4), DataOf(key, "Count"));
    EXPECT_EQ("\x01\x02", DataOf(key, "Pair"));
    EXPECT_EQ("", DataOf(key, "Empty"));
    EXPECT_EQ(std::string(13, '\x7F'), DataOf(key, "Wide"));
    EXPECT_EQ(std::string(4, '\0'), DataOf(key, "\xEBIGEN"));
}

TEST(BinaryHive, KeysWithoutATimeGetTheLoadTime) {
    HiveBuilder b;
    std::uint32_t child = b.Node({.name = "Child", .lastWrite = 0});
    std::uint32_t root = b.Node({.name = "R", .subkeys = 1, .subkeyList = b.List("li", {child})});
    std::shared_ptr<RegistryKey> hive = Read(b.Bytes(root));
    ASSERT_TRUE(hive);
    EXPECT_EQ(42u, hive->Subkey("Child")->lastWrite);
}

// Data of one segment stay in one cell; longer data are cut into segments of 16344 bytes.
TEST(BinaryHive, BigDataJoinsItsSegments) {
    HiveBuilder b;
    auto pattern = [](std::size_t size) {
        std::string data(size, '\0');
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + i / 251);
        return data;
    };
    std::vector<std::size_t> sizes = {16343, 16344, 16345, 3 * 16344, 40000};
    std::vector<std::uint32_t> values;
    for (std::size_t size : sizes)
        values.push_back(b.Value(std::to_string(size), REG_BINARY, pattern(size)));
    std::uint32_t root = b.Node({.name = "R",
                                 .values = static_cast<std::uint32_t>(values.size()),
                                 .valueList = b.ValueList(values)});
    std::shared_ptr<RegistryKey> hive = Read(b.Bytes(root));
    ASSERT_TRUE(hive);
    for (std::size_t size : sizes)
        EXPECT_EQ(pattern(size), DataOf(hive.get(), std::to_string(size)));
}

TEST(BinaryHive, SubkeyListsOfEveryKindAndIndexRoots) {
    HiveBuilder b;
    std::vector<std::uint32_t> keys;
    for (const char* name : {"a", "b", "c", "d", "e", "f"}) keys.push_back(b.Node({.name = name}));
    // Keys spread over several bins, as a grown hive has them.
    b.NewBin();
    std::uint32_t index = b.List(
        "ri", {b.List("lf", {keys[0], keys[1]}), b.List("li", {keys[2]}), b.List("lh", {keys[3]})});
    std::uint32_t nested = b.List("ri", {b.List("ri", {b.List("li", {keys[4], keys[5]})})});
    std::uint32_t left = b.Node({.name = "Left", .subkeys = 4, .subkeyList = index});
    std::uint32_t right = b.Node({.name = "Right", .subkeys = 2, .subkeyList = nested});
    std::uint32_t root =
        b.Node({.name = "R", .subkeys = 2, .subkeyList = b.List("li", {right, left})});
    std::shared_ptr<RegistryKey> hive = Read(b.Bytes(root));
    ASSERT_TRUE(hive);
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "d"}), SubkeyNames(*hive->Subkey("Left")));
    EXPECT_EQ((std::vector<std::string>{"e", "f"}), SubkeyNames(*hive->Subkey("Right")));
}

// A chain of keys `depth` deep below the root.
std::string Chain(int depth) {
    HiveBuilder b;
    std::uint32_t key = b.Node({.name = "leaf"});
    for (int i = 0; i < depth; ++i)
        key = b.Node({.name = "k", .subkeys = 1, .subkeyList = b.List("li", {key})});
    return b.Bytes(key);
}

TEST(BinaryHive, NestingIsReadToItsLimitAndRefusedBeyond) {
    std::shared_ptr<RegistryKey> root;
    EXPECT_EQ(0, winsim::ReadBinaryHive(Chain(winsim::kMaxHiveDepth), 0, root));
    EXPECT_EQ(1017, winsim::ReadBinaryHive(Chain(winsim::kMaxHiveDepth + 1), 0, root));
}

// A sound hive of a root, one key with three values (a text in a cell, a dword in the record,
// big data) and one subkey; each case breaks one thing in it.
struct Small {
    HiveBuilder b;
    std::uint32_t sub, text, dword, big, values, key, keys, root;
    std::uint32_t secondarySequence = 1;
    Small() {
        sub = b.Node({.name = "Sub"});
        text = b.Value("Text", REG_SZ, Utf16(u"hello"));
        dword = b.Value("Dword", REG_DWORD, "\1\2\3\4");
        big = b.Value("Big", REG_BINARY, std::string(20000, 'x'));
        values = b.ValueList({text, dword, big});
        key = b.Node({.name = "Key",
                      .subkeys = 1,
                      .subkeyList = b.List("lf", {sub}),
                      .values = 3,
                      .valueList = values});
        keys = b.List("lh", {key});
        root = b.Node({.name = "R", .subkeys = 1, .subkeyList = keys});
    }
    std::string Bytes() { return b.Bytes(root, secondarySequence); }
};

TEST(BinaryHive, UnsoundFilesAreRefusedWhole) {
    struct Case {
        const char* what;
        std::function<std::string(Small&)> make;
    };
    auto patched = [](std::size_t at, std::string_view bytes) {
        return [at, bytes](Small& s) {
            std::string file = s.Bytes();
            file.replace(at, bytes.size(), bytes);
            return file;
        };
    };
    // A field of one of the hive's cells (its size at -4) set to `value`.
    auto field = [](std::uint32_t Small::*cell, int at, std::uint32_t value) {
        return [=](Small& s) {
            s.b.Patch(s.*cell + at, 0, value);
            return s.Bytes();
        };
    };
    const Case cases[] = {
        {"sound", [](Small& s) { return s.Bytes(); }},
        {"no signature", patched(0, "regF")},
        {"checksum", patched(0x1FC, "\x55")},
        {"a field the checksum covers", patched(0x30, "X")},
        {"sequence numbers differ",
         [](Small& s) {
             s.secondarySequence = 2;
             return s.Bytes();
         }},
        {"a log file, not a hive", patched(0x1C, "\x01")},
        {"root is a value",
         [](Small& s) {
             s.root = s.text;
             return s.Bytes();
         }},
        {"root outside the bins",
         [](Small& s) {
             s.root = 0x7FFFFFF8;
             return s.Bytes();
         }},
        {"root inside the bin header",
         [](Small& s) {
             s.root = 8;
             return s.Bytes();
         }},
        {"root inside another cell",
         [](Small& s) {
             // A cell of its own, size and all, in the data of another: aligned to 4, not 8.
             std::string inner = s.b.NodeData({.name = "Inner"});
             std::string cell;
             Put32(cell, 0,
                   static_cast<std::uint32_t>(-static_cast<std::int32_t>(inner.size() + 4)));
             s.root = s.b.Add(cell + inner) + 4;
             return s.Bytes();
         }},
        {"no hbin", patched(0x1000, "hbim")},
        {"bin at another offset", patched(0x1004, "\x10")},
        {"file shorter than its bins",
         [](Small& s) {
             std::string f = s.Bytes();
             return f.substr(0, f.size() - 0x1000);
         }},
        {"file cut inside the base block", [](Small& s) { return s.Bytes().substr(0, 0x100); }},
        {"value list past the end", field(&Small::key, 0x28, 0x00FFFFF0)},
        {"more values than the list holds", field(&Small::key, 0x24, 1000)},
        {"subkey count above the list's", field(&Small::key, 0x14, 2)},
        {"key name longer than its cell", field(&Small::sub, 0x48, 0x0400)},
        {"value name longer than its cell", field(&Small::dword, 0x02, 0x0100)},
        {"data longer than their cell", field(&Small::text, 0x04, 400)},
        {"more than four bytes in the record", field(&Small::dword, 0x04, 0x80000005)},
        {"big data short of segments", field(&Small::big, 0x04, 40000)},
        {"a cell running past its bin", field(&Small::sub, -4, 0xFFFF0000)},
        {"a free cell in use", field(&Small::sub, -4, 0x80)},
        {"a key listing itself",
         [](Small& s) {
             s.b.Patch(s.keys, 4, s.root);
             return s.Bytes();
         }},
        {"a key listing its parent",
         [](Small& s) {
             s.b.Patch(s.sub, 0x14, 1);
             s.b.Patch(s.sub, 0x1C, s.b.List("li", {s.key}));
             return s.Bytes();
         }},
        {"an index root holding itself",
         [](Small& s) {
             std::uint32_t index = s.b.List("ri", {0});
             s.b.Patch(index, 4, index);
             s.b.Patch(s.root, 0x1C, index);
             return s.Bytes();
         }},
        {"one value in two keys",
         [](Small& s) {
             s.b.Patch(s.sub, 0x24, 1);
             s.b.Patch(s.sub, 0x28, s.b.ValueList({s.big}));
             return s.Bytes();
         }},
        {"an unknown kind of list", field(&Small::keys, 0, 'z' | 'z' << 8 | 1 << 16)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Small small;
        std::string bytes = c.make(small);
        std::shared_ptr<RegistryKey> root;
        long rc = winsim::ReadBinaryHive(bytes, 0, root);
        if (std::string_view(c.what) == "sound") {
            ASSERT_EQ(0, rc);
            EXPECT_EQ(std::string(20000, 'x'), DataOf(root->Subkey("Key"), "Big"));
            EXPECT_EQ("hello", DataOf(root->Subkey("Key"), "Text"));
            continue;
        }
        EXPECT_EQ(1017, rc);
        EXPECT_FALSE(root);
    }
}

}  // namespace

// The real hives beside the project, read where they lie.
class BinaryHiveSamples : public ::testing::Test {
protected:
    void SetUp() override { ZU_REQUIRE_SAMPLES(); }
    static long Load(const std::string& name, std::shared_ptr<RegistryKey>& root) {
        return winsim::LoadHiveFile(zutest::SamplesDir() / "hive" / name, 0, root);
    }
    static const RegistryKey* Find(const RegistryKey& root, std::string_view path) {
        const RegistryKey* key = &root;
        for (std::string_view part : winsim::SplitKeyPath(path))
            if (!(key = key->Subkey(part))) return nullptr;
        return key;
    }
};

TEST_F(BinaryHiveSamples, ValuesOfRealHives) {
    struct Case {
        const char* file;
        std::string key;
        std::string value;
        std::uint32_t type;
        std::string data;
    } cases[] = {
        {"hivex/rlenvalue_test_hive", "ModerateValueParent", "3Bytes", REG_BINARY, "012"},
        {"hivex/rlenvalue_test_hive", "ModerateValueParent", "33Bytes", REG_BINARY,
         "0123456789ABCDEF0123456789ABCDEF0"},
        // Written by Windows XP: Latin-1 and UTF-16 names, a NUL inside names.
        {"hivex/special", "abcd_\xE4\xF6\xFC\xDF", "abcd_\xE4\xF6\xFC\xDF", REG_DWORD, "\0\0\0\0"s},
        {"hivex/special", "weird\x99", "symbols $\xA3??\x80", REG_DWORD, "\0\0\0\0"s},
        {"hivex/special", "zero\0key"s, "zero\0val"s, REG_DWORD, "\0\0\0\0"s},
        {"nt-hive/testhive", "big-data-test", "A", REG_BINARY, std::string(16343, 'A')},
        {"nt-hive/testhive", "big-data-test", "B", REG_BINARY, std::string(16344, 'B')},
        {"nt-hive/testhive", "big-data-test", "C", REG_BINARY, std::string(16345, 'C')},
        {"nt-hive/testhive", "data-test", "reg-sz", REG_SZ, "sz-test\0"s},
        {"nt-hive/testhive", "data-test", "reg-multi-sz", REG_MULTI_SZ,
         "multi-sz-test\0line2\0\0"s},
        {"nt-hive/testhive", "data-test", "qword", REG_QWORD, std::string(8, '\xFF')},
        {"yarp/BigDataHive", "key_with_bigdata", "", REG_BINARY, std::string(16345, '1')},
        {"yarp/BigDataHive", "key_with_bigdata", "v", REG_BINARY, std::string(81725, '2')},
        {"yarp/ExtendedASCIIHive", "\xEBigenaardig", "\xEBigenaardig", REG_SZ, "\xEBigenaardig\0"s},
        {"yarp/MultiSzHive", "key", "1", REG_MULTI_SZ, "\0"s},
        {"yarp/StringValuesHive", "key", "", REG_SZ, "test ????\0"s},
        {"yarp/StringValuesHive", "key", "1", REG_BINARY, "test"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.value);
        std::shared_ptr<RegistryKey> root;
        ASSERT_EQ(0, Load(c.file, root));
        EXPECT_TRUE(root->binaryHive);
        const RegistryKey* key = Find(*root, c.key);
        ASSERT_TRUE(key);
        const winsim::RegistryValue* value = key->FindValue(c.value);
        ASSERT_TRUE(value);
        EXPECT_EQ(c.type, value->type);
        EXPECT_EQ(c.data, value->data);
    }
}

TEST_F(BinaryHiveSamples, KeysOfRealHives) {
    std::shared_ptr<RegistryKey> root;
    ASSERT_EQ(0, Load("nt-hive/testhive", root));
    // 512 subkeys take an index root; four names that fold or fall outside the code page
    // leave two keys.
    EXPECT_EQ(512u, Find(*root, "subkey-test")->subkeys.size());
    EXPECT_EQ((std::vector<std::string>{"?", "\xE4\xF6\xFC"}),
              SubkeyNames(*Find(*root, "character-encoding-test")));
    EXPECT_TRUE(Find(*root, "subpath-test\\with-two-levels-of-subkeys\\subkey1\\subkey2"));
    EXPECT_EQ(0x01D92B3191ACE8C1u, root->lastWrite);

    ASSERT_EQ(0, Load("yarp/UnicodeHive", root));
    EXPECT_TRUE(Find(*root, "??????\\????"));
    for (const char* empty : {"hivex/minimal", "yarp/EmptyHive", "yarp/OffHive"}) {
        SCOPED_TRACE(empty);
        ASSERT_EQ(0, Load(empty, root));
        EXPECT_TRUE(root->subkeys.empty());
        EXPECT_TRUE(root->Values().empty());
    }
}

TEST_F(BinaryHiveSamples, DamagedRealHivesAreRefused) {
    // Checksum and sequence numbers wrong; checksum wrong; bins beyond the end of the file;
    // a bin with no base block.
    for (const char* file : {"yarp/BadBaseBlockHive", "yarp/GarbageHive", "yarp/TruncatedHive",
                             "yarp/TruncatedHiveBin"}) {
        SCOPED_TRACE(file);
        std::shared_ptr<RegistryKey> root;
        EXPECT_EQ(ERROR_NOT_REGISTRY_FILE, Load(file, root));
        EXPECT_FALSE(root);
    }
}

// A profile hive loaded the way the agent loads one; changes stay in memory.
class BinaryHiveLoad : public zutest::MachineTest {
protected:
    void SetUp() override {
        ZU_REQUIRE_SAMPLES();
        MachineTest::SetUp();
        m_sample = zutest::ReadFile(zutest::SamplesDir() / "hive" / "nt-hive" / "testhive");
        zutest::WriteFile(Hive(), m_sample);
        auto& token = Machine().Component<winsim::ProcessToken>();
        ASSERT_TRUE(
            token.SetEnabled(*winsim::ProcessToken::LookupPrivilege(SE_RESTORE_NAME), true));
    }
    std::filesystem::path Hive() {
        return Machine().Folder() / "drive_c" / "Profiles" / "ntuser.dat";
    }
    std::string m_sample;
};

TEST_F(BinaryHiveLoad, TheAgentsCallsReadALoadedProfile) {
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_USERS, "Profile", "C:\\Profiles\\NTUSER.DAT"));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_USERS, "Profile\\data-test", 0, KEY_READ, &key));
    char data[64];
    DWORD type = 0, size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "reg-multi-sz", nullptr, &type,
                                              reinterpret_cast<BYTE*>(data), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_EQ("multi-sz-test\0line2\0\0"s, std::string(data, size));
    RegCloseKey(key);

    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_USERS, "Profile\\subkey-test", 0, KEY_READ, &key));
    char name[32];
    DWORD length = sizeof name;
    ASSERT_EQ(ERROR_SUCCESS,
              RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("Key0", name);
    length = sizeof name;
    EXPECT_EQ(ERROR_SUCCESS,
              RegEnumKeyExA(key, 511, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumKeyExA(key, 512, name, &length, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, RegUnLoadKeyA(HKEY_USERS, "Profile"));
}

TEST_F(BinaryHiveLoad, ChangesLastUntilUnloadAndNeverReachTheFile) {
    Machine().SetPersistent(true);
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_USERS, "Profile", "C:\\Profiles\\ntuser.dat"));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_USERS, "Profile\\Software\\Added", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, "Server", 0, REG_SZ, reinterpret_cast<const BYTE*>("smtp"), 5));
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Server", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(5u, size);
    RegCloseKey(key);
    EXPECT_EQ(m_sample, zutest::ReadFile(Hive()));
    EXPECT_EQ(std::string::npos,
              zutest::ReadFile(Machine().Folder() / "registry.reg").find("Added"));

    ASSERT_EQ(ERROR_SUCCESS, RegUnLoadKeyA(HKEY_USERS, "Profile"));
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_USERS, "Profile", "C:\\Profiles\\ntuser.dat"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_USERS, "Profile\\Software\\Added", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegUnLoadKeyA(HKEY_USERS, "Profile"));
}

// Small sound hives for the fuzzer to start from, each within its 64 KB input limit, one of
// them with a value in big-data segments. With ZU_WRITE_REGF_SEEDS set, the test writes them
// to fuzz/seeds/regf/.
std::string ValuesSeed() {
    HiveBuilder b;
    std::uint32_t values = b.ValueList({
        b.Value("SMTP Server", REG_SZ, Utf16(u"mail.example.com") + std::string(2, '\0')),
        b.Value("Port", REG_DWORD, "\x19\0\0\0"s),
        b.Value(Utf16(u"Pfad\u00E9"), REG_EXPAND_SZ, Utf16(u"%USERPROFILE%\\x"), false),
        b.Value("Lines", REG_MULTI_SZ, Utf16(u"one\0two\0\0"sv)),
        b.Value("Blob", REG_BINARY, "0123456789"),
    });
    std::uint32_t account = b.Node(
        {.name = "00000001", .values = 5, .valueList = values, .className = Utf16(u"Account")});
    std::uint32_t accounts = b.Node({.name = Utf16(u"Accounts \u00FC"),
                                     .latin1 = false,
                                     .subkeys = 1,
                                     .subkeyList = b.List("lh", {account})});
    std::uint32_t root =
        b.Node({.name = "ROOT", .subkeys = 1, .subkeyList = b.List("lf", {accounts})});
    return b.Bytes(root);
}

std::string ListsSeed() {
    HiveBuilder b;
    std::uint32_t leaf = b.Node({.name = "\xE9t\xE9"});
    std::uint32_t middle = b.Node({.name = "m", .subkeys = 1, .subkeyList = b.List("li", {leaf})});
    std::vector<std::uint32_t> keys;
    for (const char* name : {"a", "b", "c"}) keys.push_back(b.Node({.name = name}));
    std::uint32_t index = b.List(
        "ri", {b.List("lf", {keys[0], middle}), b.List("lh", {keys[1]}), b.List("li", {keys[2]})});
    return b.Bytes(b.Node({.name = "R", .subkeys = 4, .subkeyList = index}));
}

std::string BigDataSeed() {
    HiveBuilder b;
    std::uint32_t values = b.ValueList({b.Value("Big", REG_BINARY, std::string(16345, 'B'))});
    return b.Bytes(b.Node({.name = "ROOT", .values = 1, .valueList = values}));
}

TEST(BinaryHive, FuzzSeedsAreSoundHives) {
    HiveBuilder empty;
    const std::pair<const char*, std::string> seeds[] = {
        {"root", empty.Bytes(empty.Node({.name = "ROOT"}))},
        {"values", ValuesSeed()},
        {"lists", ListsSeed()},
        {"bigdata", BigDataSeed()},
    };
    for (const auto& [name, bytes] : seeds) {
        SCOPED_TRACE(name);
        std::shared_ptr<RegistryKey> root;
        EXPECT_EQ(0, winsim::ReadBinaryHive(bytes, 0, root));
        EXPECT_LE(bytes.size(), 65536u);
        if (std::getenv("ZU_WRITE_REGF_SEEDS"))
            zutest::WriteFile(
                std::filesystem::path(ZU_SOURCE_DIR) / "fuzz" / "seeds" / "regf" / name, bytes);
    }
}
