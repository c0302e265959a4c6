// INI files: what reads return and the bytes writes leave, as Windows has them.
#include "test_machine.h"

#include <windows.h>

namespace {

namespace fs = std::filesystem;
using zutest::ReadFile;
using zutest::WriteFile;

const char kFile[] = "C:\\data\\test.ini";

class ProfileTest : public zutest::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        fs::create_directories(Host().parent_path());
    }
    fs::path Host() { return Machine().Folder() / "drive_c" / "data" / "test.ini"; }
    std::string Read(const char* section, const char* key, const char* fallback = "def",
                     DWORD size = 64) {
        char buffer[64];
        DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer, size, kFile);
        EXPECT_EQ(n, std::strlen(buffer)) << key;
        return buffer;
    }
};

TEST_F(ProfileTest, WritesLeaveTheBytesWindowsLeaves) {
    struct Step {
        const char* section;
        const char* key;
        const char* value;
        const char* file;  // the whole file afterwards
    } steps[] = {
        {"GENERAL", "IP", "10.0.0.1", "[GENERAL]\r\nIP=10.0.0.1\r\n"},
        {"GENERAL", "MASK", "255.255.255.0", "[GENERAL]\r\nIP=10.0.0.1\r\nMASK=255.255.255.0\r\n"},
        {"DNS", "SERVER", "10.0.0.53",
         "[GENERAL]\r\nIP=10.0.0.1\r\nMASK=255.255.255.0\r\n[DNS]\r\nSERVER=10.0.0.53\r\n"},
        {"general", "ip", "10.0.0.2",
         "[GENERAL]\r\nIP=10.0.0.2\r\nMASK=255.255.255.0\r\n[DNS]\r\nSERVER=10.0.0.53\r\n"},
        {"GENERAL", "EMPTY", "",
         "[GENERAL]\r\nIP=10.0.0.2\r\nMASK=255.255.255.0\r\nEMPTY=\r\n[DNS]\r\nSERVER=10.0.0."
         "53\r\n"},
        {"GENERAL", "MASK", "  padded value  ",
         "[GENERAL]\r\nIP=10.0.0.2\r\nMASK=padded value  "
         "\r\nEMPTY=\r\n[DNS]\r\nSERVER=10.0.0.53\r\n"},
        {"DNS", "  SPK  ", "\"q v\"",
         "[GENERAL]\r\nIP=10.0.0.2\r\nMASK=padded value  "
         "\r\nEMPTY=\r\n[DNS]\r\nSERVER=10.0.0.53\r\n"
         "SPK  =\"q v\"\r\n"},
        {"GENERAL", "MASK", nullptr,
         "[GENERAL]\r\nIP=10.0.0.2\r\nEMPTY=\r\n[DNS]\r\nSERVER=10.0.0.53\r\nSPK  =\"q v\"\r\n"},
        {"GENERAL", "NONE", nullptr,
         "[GENERAL]\r\nIP=10.0.0.2\r\nEMPTY=\r\n[DNS]\r\nSERVER=10.0.0.53\r\nSPK  =\"q v\"\r\n"},
        {"general", nullptr, nullptr, "[DNS]\r\nSERVER=10.0.0.53\r\nSPK  =\"q v\"\r\n"},
        {"NONE", nullptr, nullptr, "[DNS]\r\nSERVER=10.0.0.53\r\nSPK  =\"q v\"\r\n"},
        {"DNS", "server", "10.0.0.53", "[DNS]\r\nSERVER=10.0.0.53\r\nSPK  =\"q v\"\r\n"},
    };
    for (const Step& s : steps) {
        EXPECT_TRUE(WritePrivateProfileStringA(s.section, s.key, s.value, kFile));
        EXPECT_EQ(ReadFile(Host()), s.file) << (s.key ? s.key : "(section)");
    }
}

TEST_F(ProfileTest, WritesKeepEveryLineTheyDoNotChange) {
    WriteFile(Host(), "; comment line\n[GENERAL]\nIP = 1.2.3.4\n\n; note\n[OTHER]\nX=1");
    EXPECT_TRUE(WritePrivateProfileStringA("GENERAL", "MASK", "255.0.0.0", kFile));
    EXPECT_TRUE(WritePrivateProfileStringA("other", "x", "2", kFile));
    EXPECT_EQ(ReadFile(Host()),
              "; comment line\n[GENERAL]\nIP = 1.2.3.4\nMASK=255.0.0.0\r\n\n; note\n[OTHER]\nX=2");
    // A value written again as it stands leaves even the blanks around '=' alone.
    EXPECT_TRUE(WritePrivateProfileStringA("GENERAL", "IP", "1.2.3.4", kFile));
    EXPECT_TRUE(WritePrivateProfileStringA("NEW", "K", "v", kFile));
    EXPECT_EQ(ReadFile(Host()),
              "; comment line\n[GENERAL]\nIP = 1.2.3.4\nMASK=255.0.0.0\r\n\n; note\n[OTHER]\nX=2"
              "\r\n[NEW]\r\nK=v\r\n");
    // A section whose header is the last line, without a line end, gets its first key below.
    WriteFile(Host(), "[A]\r\nk=1\r\n[B]");
    EXPECT_TRUE(WritePrivateProfileStringA("b", "K", "2", kFile));
    EXPECT_EQ(ReadFile(Host()), "[A]\r\nk=1\r\n[B]\r\nK=2\r\n");
}

TEST_F(ProfileTest, WriteFailuresAndTheFlushForm) {
    SetLastError(1234);
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, kFile));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_FALSE(fs::exists(Host()));

    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "IP", "1", kFile));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    EXPECT_FALSE(WritePrivateProfileStringA("GENERAL", "IP", "1", "C:\\nodir\\test.ini"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(fs::exists(Machine().Folder() / "drive_c" / "nodir"));

    // Deleting from a file that does not exist creates nothing.
    EXPECT_TRUE(WritePrivateProfileStringA("GENERAL", "IP", nullptr, kFile));
    EXPECT_TRUE(WritePrivateProfileStringA("GENERAL", nullptr, nullptr, kFile));
    EXPECT_FALSE(fs::exists(Host()));
}

const char kReadFixture[] =
    "[GENERAL]\r\n"
    "IP=10.0.0.1\r\n"
    "SPACED=   a b   \r\n"
    "  LEADKEY  =  v  \r\n"
    "DQ=\"quoted value\"\r\n"
    "DQS=\" in quotes \"\r\n"
    "SQ='single'\r\n"
    "HALFQ=\"open\r\n"
    "EMPTY=\r\n"
    "NOEQ\r\n"
    "=nameless\r\n"
    ";COMMENT=1\r\n"
    "LONG=01234567890123456789\r\n"
    "DUP=first\r\n"
    "DUP=second\r\n"
    "[SECOND]\n"
    "A=1\n";

TEST_F(ProfileTest, ReadsTrimUnquoteAndFallBack) {
    WriteFile(Host(), kReadFixture);
    struct Case {
        const char* section;
        const char* key;
        const char* fallback;
        const char* expected;
    } cases[] = {
        {"GENERAL", "IP", "def", "10.0.0.1"},     {"general", "ip", "def", "10.0.0.1"},
        {"GENERAL", "SPACED", "def", "a b"},      {"GENERAL", "leadkey", "def", "v"},
        {"GENERAL", "DQ", "def", "quoted value"}, {"GENERAL", "DQS", "def", " in quotes "},
        {"GENERAL", "SQ", "def", "single"},       {"GENERAL", "HALFQ", "def", "\"open"},
        {"GENERAL", "EMPTY", "def", ""},          {"GENERAL", "NOEQ", "def", "def"},
        {"GENERAL", ";COMMENT", "def", "1"},      {"GENERAL", "DUP", "def", "first"},
        {"GENERAL", "A", "def", "def"},           {"SECOND", "a", "def", "1"},
        {"MISSING", "IP", "  d e  ", "  d e"},    {"GENERAL", "MISSING", nullptr, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(c.section, c.key, c.fallback), c.expected) << c.key;
}

TEST_F(ProfileTest, ReadsCutToTheBuffer) {
    WriteFile(Host(), kReadFixture);
    struct Case {
        const char* key;
        DWORD size;
        const char* expected;
    } cases[] = {
        {"LONG", 21, "01234567890123456789"},
        {"LONG", 20, "0123456789012345678"},
        {"LONG", 10, "012345678"},
        {"LONG", 2, "0"},
        {"LONG", 1, ""},
        {"DQ", 6, "quote"},
        {"MISSING", 3, "de"},
    };
    for (const Case& c : cases) EXPECT_EQ(Read("GENERAL", c.key, "def", c.size), c.expected);

    char buffer[4] = "###";
    EXPECT_EQ(GetPrivateProfileStringA("GENERAL", "IP", "", buffer, 0, kFile), 0u);
    EXPECT_STREQ(buffer, "###");
}

TEST_F(ProfileTest, ListsEndInTwoNulsEvenWhenCut) {
    WriteFile(Host(), kReadFixture);
    struct Case {
        const char* section;  // nullptr: the sections
        DWORD size;
        std::string expected;  // the bytes written, NULs included
        DWORD count;
    } cases[] = {
        {nullptr, 64, std::string("GENERAL\0SECOND\0\0", 16), 15},
        {nullptr, 12, std::string("GENERAL\0SE\0\0", 12), 10},
        {nullptr, 1, std::string("\0", 1), 0},
        {"SECOND", 64, std::string("A\0\0", 3), 2},
        {"GENERAL", 8, std::string("IP\0SPA\0\0", 8), 6},
        {"NONE", 8, std::string("\0", 1), 0},
    };
    for (const Case& c : cases) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(GetPrivateProfileStringA(c.section, nullptr, "def", buffer, c.size, kFile),
                  c.count);
        EXPECT_EQ(std::string(buffer, c.expected.size()), c.expected);
        if (c.expected.size() < sizeof buffer) {
            EXPECT_EQ(buffer[c.expected.size()], '#');
        }
    }
    char buffer[128];
    DWORD n = GetPrivateProfileStringA("GENERAL", nullptr, "", buffer, sizeof buffer, kFile);
    EXPECT_EQ(
        std::string(buffer, n + 1),
        std::string("IP\0SPACED\0LEADKEY\0DQ\0DQS\0SQ\0HALFQ\0EMPTY\0LONG\0DUP\0DUP\0\0", 54));
}

TEST_F(ProfileTest, MissingFileGivesTheDefault) {
    SetLastError(0);
    EXPECT_EQ(Read("GENERAL", "IP", "fallback"), "fallback");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ProfileTest, BareNamesAreFilesOfTheWindowsDirectory) {
    Machine().Settings().Set("Windows", "Directory", "C:\\WINNT");
    fs::create_directories(Machine().Folder() / "drive_c" / "winnt");
    EXPECT_TRUE(WritePrivateProfileStringA("S", "K", "v", "bare.ini"));
    EXPECT_EQ(ReadFile(Machine().Folder() / "drive_c" / "winnt" / "bare.ini"), "[S]\r\nK=v\r\n");
}

TEST_F(ProfileTest, IntegersAsTheRuntimeConvertsThem) {
    WriteFile(Host(),
              "[N]\r\nIP=10.0.0.1\r\nE=\r\nW=a b\r\nH=0x1A\r\nNEG=-5\r\nT=  12abc\r\n"
              "D=0123456789ABCDEFGHIJ\r\nBIG=99999999999\r\n");
    struct Case {
        const char* key;
        UINT expected;
    } cases[] = {{"IP", 10}, {"MISSING", 7},   {"E", 7},
                 {"W", 0},   {"H", 26},        {"NEG", 4294967291u},
                 {"T", 12},  {"D", 123456789}, {"BIG", 1215752191u}};
    for (const Case& c : cases) EXPECT_EQ(GetPrivateProfileIntA("N", c.key, 7, kFile), c.expected);
}

// Real INI files from other projects: a write changes only the line it must, and reads of
// whatever they hold stay inside the buffer.
TEST_F(ProfileTest, RealFilesKeepTheirUntouchedBytes) {
    ZU_REQUIRE_SAMPLES();
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(zutest::SamplesDir() / "ini")) {
        if (entry.path().extension() != ".ini") continue;
        ++files;
        std::string original = ReadFile(entry.path());
        WriteFile(Host(), original);
        SCOPED_TRACE(entry.path().string());

        char sections[4096];
        GetPrivateProfileStringA(nullptr, nullptr, "", sections, sizeof sections, kFile);
        for (const char* s = sections; *s; s += std::strlen(s) + 1) {
            char keys[4096], value[8];
            GetPrivateProfileStringA(s, nullptr, "", keys, sizeof keys, kFile);
            for (const char* k = keys; *k; k += std::strlen(k) + 1)
                EXPECT_LT(GetPrivateProfileStringA(s, k, "", value, sizeof value, kFile), 8u);
        }

        // A new section is added at the end, after the file's own bytes.
        ASSERT_TRUE(WritePrivateProfileStringA("zu new", "k", "v", kFile));
        std::string grown = ReadFile(Host());
        ASSERT_EQ(grown.substr(0, original.size()), original);
        std::string tail = grown.substr(original.size());
        EXPECT_TRUE(tail == "[zu new]\r\nk=v\r\n" || tail == "\r\n[zu new]\r\nk=v\r\n") << tail;

        // Replacing a key changes that one line: what is before and after it stays.
        if (!*sections) continue;
        char keys[4096];
        GetPrivateProfileStringA(sections, nullptr, "", keys, sizeof keys, kFile);
        if (!*keys) continue;
        ASSERT_TRUE(WritePrivateProfileStringA(sections, keys, "zu value", kFile));
        char value[32];
        GetPrivateProfileStringA(sections, keys, "", value, sizeof value, kFile);
        EXPECT_STREQ(value, "zu value");
        std::string replaced = ReadFile(Host());
        size_t head = 0;
        while (head < grown.size() && head < replaced.size() && grown[head] == replaced[head])
            ++head;
        size_t back = 0;
        while (back < grown.size() - head && back < replaced.size() - head &&
               grown[grown.size() - 1 - back] == replaced[replaced.size() - 1 - back])
            ++back;
        std::string changed = grown.substr(head, grown.size() - head - back);
        EXPECT_EQ(changed.find('\n'), std::string::npos) << changed;
    }
    EXPECT_GT(files, 0);
}

}  // namespace
