// Windows paths in the machine folder and the C runtime's path calls over them.
#include "test_machine.h"

#include <windows.h>

#include <unistd.h>

#include <cerrno>

#include "machine/paths.h"

namespace {

namespace fs = std::filesystem;
using zutest::ReadFile;
using zutest::WriteFile;

class FileTest : public zutest::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        WriteFile(Drive() / "WINNT" / "System32" / "Config.TXT", "x");
        fs::create_directories(Machine().Folder() / "drive_d");
    }
    fs::path Drive() { return Machine().Folder() / "drive_c"; }
};

TEST_F(FileTest, ResolvesWithoutRegardToCase) {
    Machine().Settings().Set("Files", "CurrentDirectory", "c:\\winnt\\");
    struct Case {
        const char* path;
        const char* host;  // below the machine folder; "" for no path
    } cases[] = {
        {"C:\\winnt\\SYSTEM32\\config.txt", "drive_c/WINNT/System32/Config.TXT"},
        {"c:/WinNT/system32/NEW\\Sub.ini", "drive_c/WINNT/System32/NEW/Sub.ini"},
        {"C:\\\\WINNT\\.\\System32\\..\\x", "drive_c/WINNT/x"},
        {"C:\\..\\..\\x", "drive_c/x"},
        {"C:\\WINNT\\..\\..\\..\\etc", "drive_c/etc"},
        {"\\s1a.", "drive_c/s1a"},
        {"C:\\name. .\\file ", "drive_c/name/file"},
        {"system32\\config.txt", "drive_c/WINNT/System32/Config.TXT"},
        {"C:system32", "drive_c/WINNT/System32"},
        {"D:rel", "drive_d/rel"},
        {"d:\\", "drive_d"},
        {"\\\\server\\share\\f", ""},
        {"\\\\.\\ZULOCK.VXD", ""},
        {"1:\\x", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        fs::path expected = *c.host ? Machine().Folder() / c.host : fs::path();
        EXPECT_EQ(winsim::ResolvePath(Machine(), c.path), expected) << c.path;
    }
}

TEST_F(FileTest, ListsEntriesInCaseInsensitiveOrder) {
    WriteFile(Drive() / "b.txt", "");
    WriteFile(Drive() / "A.txt", "");
    EXPECT_EQ(winsim::ListDirectory(Drive()),
              (std::vector<std::string>{"A.txt", "b.txt", "WINNT"}));
    EXPECT_TRUE(winsim::ListDirectory(Drive() / "missing").empty());
}

TEST_F(FileTest, TextModeTranslatesLineEndsBinaryModeDoesNot) {
    FILE* f = fopen("C:\\winnt\\t.txt", "w");
    ASSERT_NE(f, nullptr);
    fputs("one\ntwo\n", f);
    fclose(f);
    EXPECT_EQ(ReadFile(Drive() / "WINNT" / "t.txt"), "one\r\ntwo\r\n");

    WriteFile(Drive() / "WINNT" / "t.txt",
              "a\r\nb\rc\r\n\x1A"
              "after");
    char line[32];
    f = fopen("c:\\WINNT\\T.TXT", "rt");
    ASSERT_NE(f, nullptr);
    std::string text;
    while (fgets(line, sizeof line, f)) text += line;
    EXPECT_FALSE(ferror(f));
    fclose(f);
    EXPECT_EQ(text, "a\nb\rc\n");

    f = fopen("c:\\WINNT\\T.TXT", "rb");
    ASSERT_NE(f, nullptr);
    size_t n = fread(line, 1, sizeof line, f);
    fclose(f);
    EXPECT_EQ(std::string(line, n),
              "a\r\nb\rc\r\n\x1A"
              "after");
}

TEST_F(FileTest, OpenAndRemoveFailures) {
    errno = 0;
    EXPECT_EQ(fopen("C:\\missing\\x.txt", "w"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(fopen("C:\\nothing.txt", "r"), nullptr);
    for (const char* mode : {"q", "rw", "rbt", "rx", "", "r+z"}) {
        errno = 0;
        EXPECT_EQ(fopen("C:\\WINNT\\System32\\config.txt", mode), nullptr) << mode;
        EXPECT_EQ(errno, EINVAL) << mode;
    }
    EXPECT_EQ(fopen("C:\\WINNT", "r"), nullptr);

    // Exclusive creation refuses a name that is taken, whatever its case.
    errno = 0;
    EXPECT_EQ(fopen("C:\\winnt\\system32\\CONFIG.txt", "wbx"), nullptr);
    EXPECT_EQ(errno, EEXIST);
    FILE* f = fopen("C:\\fresh.tmp", "wbx");
    ASSERT_NE(f, nullptr);
    fclose(f);

    EXPECT_EQ(remove("c:\\FRESH.TMP"), 0);
    EXPECT_FALSE(fs::exists(Drive() / "fresh.tmp"));
    EXPECT_NE(remove("C:\\fresh.tmp"), 0);
    EXPECT_NE(remove("C:\\WINNT"), 0);
    EXPECT_TRUE(fs::exists(Drive() / "WINNT"));
}

TEST_F(FileTest, TmpnamNamesFreshFilesInTheDriveRoot) {
    std::string prefix;
    for (unsigned long pid = static_cast<unsigned long>(getpid()); pid > 0; pid /= 32)
        prefix.insert(prefix.begin(), "0123456789abcdefghijklmnopqrstuv"[pid % 32]);
    prefix = "\\s" + prefix + ".";

    // The count runs on through the process; the first name of all ends in a bare dot.
    std::string first = tmpnam(nullptr);
    ASSERT_EQ(first.substr(0, prefix.size()), prefix);
    unsigned count = first.size() == prefix.size() ? 0 : std::stoul(first.substr(prefix.size()));

    // A name that exists is passed over; a caller's buffer is filled and returned.
    WriteFile(Drive() / (prefix.substr(1) + std::to_string(count + 1)), "");
    char buffer[L_tmpnam];
    EXPECT_EQ(tmpnam(buffer), buffer);
    EXPECT_EQ(std::string(buffer), prefix + std::to_string(count + 2));
    char* again = tmpnam(nullptr);
    EXPECT_EQ(std::string(again), prefix + std::to_string(count + 3));
    EXPECT_EQ(tmpnam(nullptr), again);  // the one static buffer
}

}  // namespace
