// registry.reg: REGEDIT4 read into the registry and written back.
#include <chrono>
#include <string>

#include "machine/machine.h"
#include "machine/registry_store.h"
#include "test_machine.h"

namespace {

using winsim::RegistryKey;
using winsim::RegistryStore;

std::string DataOf(const RegistryKey* key, std::string_view name) {
    const winsim::RegistryValue* value = key ? key->FindValue(name) : nullptr;
    return value ? value->data : "<no value>";
}

class RegFileTest : public zutest::MachineTest {
protected:
    RegistryStore& Store() { return Machine().Component<RegistryStore>(); }
    // The key at a path below HKEY_LOCAL_MACHINE, or null.
    RegistryKey* Key(std::string_view path) {
        RegistryKey* key = &Store().LocalMachine();
        for (std::string_view part : winsim::SplitKeyPath(path))
            if (!(key = key->Subkey(part))) return nullptr;
        return key;
    }
    std::string Data(std::string_view path, std::string_view name, std::uint32_t type) {
        RegistryKey* key = Key(path);
        if (!key) return "<no key>";
        const winsim::RegistryValue* value = key->FindValue(name);
        if (!value) return "<no value>";
        EXPECT_EQ(type, value->type) << name;
        return value->data;
    }
    // The error that importing `text` gives, or "" when it imports.
    std::string ImportError(std::string_view text) {
        try {
            Store().Import(text, "test.reg");
        } catch (const winsim::MachineError& e) {
            return e.what();
        }
        return "";
    }
};

// Every value type as registry.reg holds it, in the form a save writes.
const char kEveryType[] =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Types]\r\n"
    "@=\"default\"\r\n"
    "\"Text\"=\"C:\\\\Program Files\\\\\\\"quoted\\\"\"\r\n"
    "\"Empty\"=\"\"\r\n"
    "\"NoNul\"=hex(1):61,62\r\n"
    "\"Dword\"=dword:0000012c\r\n"
    "\"Expand\"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,00\r\n"
    "\"Multi\"=hex(7):61,00,62,00,00\r\n"
    "\"Binary\"=hex:01,02,ff\r\n"
    "\"ShortDword\"=hex(4):01\r\n"
    "\"Qword\"=hex(b):ff,00,00,00,00,00,00,00\r\n"
    "\"None\"=hex(0):\r\n"
    "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
    "  16,17,18,19\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Types\\Empty Key]\r\n"
    "\r\n"
    "[HKEY_USERS\\.DEFAULT]\r\n"
    "\r\n";

TEST_F(RegFileTest, EveryTypeReadsToItsBytesAndSavesBackAsItWas) {
    ASSERT_EQ("", ImportError(kEveryType));
    using std::string;
    struct Case {
        const char* name;
        std::uint32_t type;
        string data;
    } cases[] = {
        {"", 1, string("default\0", 8)},
        {"Text", 1, string("C:\\Program Files\\\"quoted\"") + '\0'},
        {"Empty", 1, string("\0", 1)},
        {"NoNul", 1, "ab"},
        {"Dword", 4, string("\x2c\x01\0\0", 4)},
        {"Expand", 2, string("%SystemRoot%\0", 13)},
        {"Multi", 7, string("a\0b\0\0", 5)},
        {"Binary", 3, "\x01\x02\xff"},
        {"ShortDword", 4, "\x01"},
        {"Qword", 11, string("\xff\0\0\0\0\0\0\0", 8)},
        {"None", 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.data, Data("SOFTWARE\\Types", c.name, c.type)) << c.name;
    EXPECT_EQ(26u, Data("SOFTWARE\\Types", "long", 3).size());
    EXPECT_EQ(kEveryType, Store().Export());
}

TEST_F(RegFileTest, ReadsWhatRegeditWritesAndPeopleEdit) {
    const char text[] =
        "REGEDIT4 ; exported\n"
        "; a comment line\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\App]\n"
        "\t\"Tabbed\"=\"yes\" ; trailing comment\n"
        "\"Bytes\"=hex:01,\\\n"
        "      02,\\ ; commented continuation\n"
        "  03\n"
        "\"Gone\"=\"x\"\n"
        "\"GONE\"=-\n"
        "[hkey_local_machine\\Keep\\Sub]\n"
        "[HKLM\\Drop\\Sub]\n"
        "[-HKEY_LOCAL_MACHINE\\Drop]\n"
        "\"Skipped\"=\"after a deleted key\"\n"
        "[HKEY_CLASSES_ROOT\\.txt]\n"
        "@=\"txtfile\"\n"
        "[HKEY_CLASSES_ROOT\\cabfile\\Shell\\Open\\Command]\n"
        "@=\"\\\\Windows\\\\wceload.exe \"%1\"\"\n";
    ASSERT_EQ("", ImportError(text));
    RegistryKey* app = Store().CurrentUser().Subkey("Software")->Subkey("App");
    ASSERT_NE(nullptr, app);
    EXPECT_EQ(DataOf(app, "Tabbed"), std::string("yes\0", 4));
    EXPECT_EQ(DataOf(app, "Bytes"), "\x01\x02\x03");
    EXPECT_EQ(nullptr, app->FindValue("Gone"));
    EXPECT_NE(nullptr, Key("Keep\\Sub"));
    EXPECT_EQ(nullptr, Key("Drop"));
    EXPECT_EQ(std::string("txtfile\0", 8), Data("SOFTWARE\\Classes\\.txt", "", 1));
    // Quotes left unescaped inside a text, as some exports have them.
    EXPECT_EQ(std::string("\\Windows\\wceload.exe \"%1\"") + '\0',
              Data("SOFTWARE\\Classes\\cabfile\\Shell\\Open\\Command", "", 1));
}

TEST_F(RegFileTest, TheLaterFormatInUtf16ReadsAsEightBitText) {
    std::string utf8 =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\V5]\r\n"
        "\"Caf\xC3\xA9\"=\"\xE2\x82\xAC 5 \xE6\x97\xA5\"\r\n"
        "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n";
    // UTF-8 to UTF-16LE with a byte-order mark; the text above stays within the BMP.
    std::string bytes = "\xFF\xFE";
    for (size_t i = 0; i < utf8.size();) {
        unsigned c = static_cast<unsigned char>(utf8[i]);
        unsigned code = c;
        int extra = c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) code = c & (extra == 2 ? 0x0F : 0x1F);
        for (int k = 1; k <= extra; ++k) code = (code << 6) | (utf8[i + k] & 0x3F);
        i += 1 + extra;
        bytes += static_cast<char>(code & 0xFF);
        bytes += static_cast<char>(code >> 8);
    }
    ASSERT_EQ("", ImportError(bytes));
    // The euro sign has its code page 1252 byte; what the code page lacks becomes '?'.
    EXPECT_EQ(std::string("\x80 5 ?\0", 6), Data("SOFTWARE\\V5", "Caf\xE9", 1));
    EXPECT_EQ(std::string("%A%\0", 4), Data("SOFTWARE\\V5", "Expand", 2));
}

TEST_F(RegFileTest, ALineItCannotReadIsNamedWithItsNumber) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "test.reg:1: empty file"},
        {"WINE REGISTRY Version 2\n", "test.reg:1: not a registry file"},
        {"REGEDIT4\n\n\"v\"=\"x\"\n", "test.reg:3: a value line before any [key] line"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n", "test.reg:2: a key line must end with ]"},
        {"REGEDIT4\n[HKEY_NOWHERE\\A]\n", "test.reg:2: unknown root key \"HKEY_NOWHERE\""},
        {"REGEDIT4\n[HKLM\\A]\nv=1\n", "test.reg:3: expected a [key]"},
        {"REGEDIT4\n[HKLM\\A]\n\"v\"=\"open\n", "test.reg:3: the text value has no closing quote"},
        {"REGEDIT4\n[HKLM\\A]\n\"v\"=dword:123456789\n", "test.reg:3: dword:"},
        {"REGEDIT4\n[HKLM\\A]\n\"v\"=hex:01,\\\n  0g\n", "test.reg:4: \"0g\" is not a hex byte"},
        {"REGEDIT4\n[HKLM\\A]\n\"v\"=str:\"x\"\n", "test.reg:3: unknown value type"},
        {"REGEDIT4\n[HKLM\\A]\n\"v\" \"x\"\n", "test.reg:3: expected = after the value name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error = ImportError(c.text);
        EXPECT_EQ(0u, error.find(c.error)) << error;
    }
}

TEST_F(RegFileTest, AFolderWithABadRegistryDoesNotLoadAndStaysAsItWas) {
    zutest::TempDir dir;
    winsim::WriteDefaultMachine(dir.Path());
    const std::string bad = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=dword:xyz\r\n";
    zutest::WriteFile(dir.Path() / "registry.reg", bad);
    try {
        winsim::Machine::Load(dir.Path());
        FAIL() << "loaded";
    } catch (const winsim::MachineError& e) {
        EXPECT_EQ(dir.Path() / "registry.reg", e.File());
        EXPECT_EQ(4, e.Line());
    }
    EXPECT_EQ(bad, zutest::ReadFile(dir.Path() / "registry.reg"));
}

TEST_F(RegFileTest, ALoadedFolderSavesEachChangeAndReloadsTheSame) {
    zutest::TempDir dir;
    winsim::WriteDefaultMachine(dir.Path());
    auto machine = winsim::Machine::Load(dir.Path());
    RegistryStore& store = machine->Component<RegistryStore>();
    store.Import(kEveryType, "types.reg");
    RegistryKey& key = *store.LocalMachine().Subkey("SOFTWARE")->Subkey("Types");
    key.SetValue("Added", 4, std::string("\1\0\0\0", 4));
    store.Changed(key);
    std::string saved = zutest::ReadFile(dir.Path() / "registry.reg");
    EXPECT_NE(std::string::npos, saved.find("\"Added\"=dword:00000001\r\n")) << saved;
    auto again = winsim::Machine::Load(dir.Path());
    EXPECT_EQ(saved, again->Component<RegistryStore>().Export());
}

TEST_F(RegFileTest, LoadTimeGrowsWithTheFileNotFaster) {
    // Many values in one key and many keys: both must stay linear.
    std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Big]\r\n";
    for (int i = 0; i < 40000; ++i) text += "\"Value" + std::to_string(i) + "\"=dword:00000001\r\n";
    for (int i = 0; i < 20000; ++i)
        text += "[HKEY_LOCAL_MACHINE\\Big\\Key" + std::to_string(i) + "]\r\n\"v\"=hex:01,02\r\n";
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ("", ImportError(text));
    std::string saved = Store().Export();
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(40000u, Key("Big")->Values().size());
    EXPECT_EQ(20000u, Key("Big")->subkeys.size());
    EXPECT_LT(seconds, 20.0);  // generous for sanitizer builds; a quadratic load takes minutes
}

TEST_F(RegFileTest, EverySampleImportsOrIsRefusedWithItsLine) {
    ZU_REQUIRE_SAMPLES();
    int imported = 0;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(zutest::SamplesDir() / "reg")) {
        if (entry.path().extension() != ".reg") continue;
        SCOPED_TRACE(entry.path().string());
        zutest::TempDir dir;
        auto machine = winsim::Machine::Create(dir.Path());
        RegistryStore& store = machine->Component<RegistryStore>();
        try {
            store.LoadFile(entry.path());
            ++imported;
            // What is saved reads back to the same text.
            std::string saved = store.Export();
            auto copy = winsim::Machine::Create(dir.Path() / "copy");
            copy->Component<RegistryStore>().Import(saved, "saved.reg");
            EXPECT_EQ(saved, copy->Component<RegistryStore>().Export());
        } catch (const winsim::MachineError& e) {
            EXPECT_EQ("wine-v2.reg", entry.path().filename()) << e.what();
            EXPECT_EQ(entry.path(), e.File());
            EXPECT_EQ(1, e.Line());
        }
    }
    EXPECT_GE(imported, 18);
}

TEST_F(RegFileTest, SamplesGiveTheirValues) {
    ZU_REQUIRE_SAMPLES();
    const auto reg = zutest::SamplesDir() / "reg";
    Store().LoadFile(reg / "regashii" / "irregular-regedit5.reg");
    RegistryKey* irregular = Store().CurrentUser().Subkey("Software")->Subkey("regashii");
    ASSERT_NE(nullptr, irregular);
    irregular = irregular->SubkeyAt(0);
    ASSERT_NE(nullptr, irregular);
    EXPECT_EQ(DataOf(irregular, "dword"), std::string(1, '\0'));
    EXPECT_EQ(DataOf(irregular, "sz-line-break"), std::string("a\nb\0", 4));
    EXPECT_EQ(DataOf(irregular, "hex-continuations"), std::string("\0\1\2", 3));
    EXPECT_EQ(DataOf(irregular, "semi;colons"), std::string("and\"quotes;\0", 12));
    EXPECT_EQ(32u, DataOf(irregular,
                          "hex-continuations-with-long-name ......................"
                          "...................... end")
                       .size());

    Store().LoadFile(reg / "run" / "pipcstats-autostart.reg");
    RegistryKey* run = Store().CurrentUser().Subkey("SOFTWARE")->Subkey("Microsoft");
    ASSERT_NE(nullptr, run);
    run = run->Subkey("Windows")->Subkey("CurrentVersion")->Subkey("Run");
    ASSERT_NE(nullptr, run);
    EXPECT_EQ(9u, run->Values().size());
    EXPECT_EQ(DataOf(run, "Steam"),
              std::string("\"C:\\Program Files (x86)\\Steam\\steam.exe\" -silent") + '\0');

    Store().LoadFile(reg / "regashii" / "repetition-regedit5.reg");
    RegistryKey* base = Store().CurrentUser().Subkey("Software")->Subkey("regashii");
    RegistryKey* repeated = base->Subkey("REPEATED-KEY");
    ASSERT_NE(nullptr, repeated);
    EXPECT_EQ("repeated-kEy", repeated->name);  // re-made after the delete, first spelling kept
    EXPECT_EQ(nullptr, repeated->FindValue("foo"));
    EXPECT_EQ(2u, repeated->Values().size());
    EXPECT_EQ(DataOf(base->Subkey("repeated-value"), "FOO"), std::string("3\0", 2));
}

}  // namespace
