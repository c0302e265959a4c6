// CFileFind over the machine's drives, and the CTime it reports.
#include <afx.h>

#include <set>
#include <vector>

#include "test_machine.h"

namespace {

class FileFindTest : public zutest::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        drive = Machine().Folder() / "drive_c";
        zutest::WriteFile(drive / "WINNT/Profiles/Alice/NTUSER.DAT", "a");
        zutest::WriteFile(drive / "WINNT/Profiles/bob/ntuser.dat", "bb");
        zutest::WriteFile(drive / "WINNT/Profiles/notes.txt", "n");
        zutest::WriteFile(drive / "top.txt", "t");
    }
    std::vector<std::string> Names(const char* pattern) {
        std::vector<std::string> names;
        CFileFind finder;
        BOOL more = finder.FindFile(pattern);
        while (more) {
            more = finder.FindNextFile();
            names.push_back(static_cast<LPCTSTR>(finder.GetFileName()));
        }
        return names;
    }
    std::filesystem::path drive;
};

TEST_F(FileFindTest, PatternsMatchWithoutRegardToCase) {
    using Names_ = std::vector<std::string>;
    EXPECT_EQ(Names("c:\\winnt\\PROFILES\\*.*"), (Names_{".", "..", "Alice", "bob", "notes.txt"}));
    EXPECT_EQ(Names("C:\\WINNT\\Profiles\\*.TXT"), Names_{"notes.txt"});
    EXPECT_EQ(Names("C:\\WINNT\\Profiles\\?ob"), Names_{"bob"});
    EXPECT_EQ(Names("C:\\WINNT\\Profiles\\Alice\\ntuser.dat"), Names_{"NTUSER.DAT"});
    // A drive's root has no dot entries.
    EXPECT_EQ(Names("C:\\*.*"), (Names_{"top.txt", "WINNT"}));
    EXPECT_EQ(Names("C:\\WINNT\\Profiles\\carol\\ntuser.dat"), Names_{});
    EXPECT_EQ(Names("C:\\nowhere\\*.*"), Names_{});
    // A plain file is no folder to search.
    EXPECT_EQ(Names("C:\\top.txt\\ntuser.dat"), Names_{});
}

TEST_F(FileFindTest, EntriesTellPathKindAndTime) {
    std::filesystem::last_write_time(
        drive / "WINNT/Profiles/Alice/NTUSER.DAT",
        std::filesystem::file_time_type::clock::from_sys(
            std::chrono::sys_seconds(std::chrono::seconds(1000000000)) +
            std::chrono::milliseconds(700)));
    CFileFind finder;
    ASSERT_TRUE(finder.FindFile("C:\\WINNT\\Profiles\\Alice\\ntuser.dat"));
    EXPECT_FALSE(finder.FindNextFile());
    EXPECT_STREQ(finder.GetFilePath(), "C:\\WINNT\\Profiles\\Alice\\NTUSER.DAT");
    EXPECT_FALSE(finder.IsDirectory());
    CTime written;
    ASSERT_TRUE(finder.GetLastWriteTime(written));
    // Whole seconds.
    EXPECT_EQ(written.GetTime(), 1000000000);
    EXPECT_TRUE(written > CTime(999999999));
    EXPECT_FALSE(written > CTime(1000000000));

    std::set<std::string> dots;
    ASSERT_TRUE(finder.FindFile("C:\\WINNT\\Profiles\\*.*"));
    BOOL more = TRUE;
    while (more) {
        more = finder.FindNextFile();
        if (finder.IsDots()) {
            EXPECT_TRUE(finder.IsDirectory());
            dots.insert(static_cast<LPCTSTR>(finder.GetFilePath()));
        }
    }
    EXPECT_EQ(dots, (std::set<std::string>{"C:\\WINNT\\Profiles\\.", "C:\\WINNT\\Profiles\\.."}));
}

TEST(CTimeTest, LocalFieldsRoundTripAndFormat) {
    CTime t(2001, 12, 31, 23, 59, 58);
    EXPECT_EQ(t.GetYear(), 2001);
    EXPECT_EQ(t.GetMonth(), 12);
    EXPECT_EQ(t.GetDay(), 31);
    EXPECT_EQ(t.GetSecond(), 58);
    EXPECT_STREQ(t.Format("%m/%d/%Y - %H:%M:%S"), "12/31/2001 - 23:59:58");
    EXPECT_TRUE(CTime(2002, 1, 1, 0, 0, 0) > t);
}

}  // namespace
