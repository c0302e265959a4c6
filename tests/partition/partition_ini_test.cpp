// The partition INI store over the machine's partition library, with its faults.
#include "test_machine.h"

#include <windows.h>

#include "CPartitionIni.h"
#include "machine/partition_library.h"
#include "machine/paths.h"

namespace {

namespace fs = std::filesystem;
using zutest::ReadFile;
using zutest::WriteFile;

class PartitionIniTest : public zutest::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        fs::create_directories(Drive());
        fs::create_directories(Library().Folder());
    }
    fs::path Drive() { return Machine().Folder() / "drive_c"; }
    winsim::PartitionLibrary& Library() { return Machine().Component<winsim::PartitionLibrary>(); }
    fs::path Partition(const char* name) { return Library().Folder() / name; }
    // The files in the root of drive C:, where working files are made.
    std::vector<std::string> RootFiles() { return winsim::ListDirectory(Drive()); }
    std::string WorkingFile() {
        std::vector<std::string> files = RootFiles();
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? "" : ReadFile(Drive() / files[0]);
    }
};

// An INI file of `blocks` full copy blocks and then some, with the key IP in its first section.
std::string Record(int lines) {
    std::string text = "; diagnostics record\r\n[GENERAL]\r\nIP=10.0.0.1\r\nGATEWAY=10.0.0.254\r\n";
    for (int i = 0; i < lines; ++i) text += "PAD" + std::to_string(i) + "=0123456789012345678\r\n";
    return text + "\r\n[OTHER]\r\nX=1\r\n";
}

TEST_F(PartitionIniTest, WritesMakeAMissingFileAndKeepTheRest) {
    {
        CPartitionIni ini;
        ini.WriteValue("GENERAL", "IP", "10.0.0.1", "Network.ini");
        EXPECT_EQ(ReadFile(Partition("Network.ini")), "[GENERAL]\r\nIP=10.0.0.1\r\n");
        ini.WriteValue("GENERAL", "DHCP", "No", "Network.ini");
        EXPECT_EQ(ReadFile(Partition("Network.ini")), "[GENERAL]\r\nIP=10.0.0.1\r\nDHCP=No\r\n");
    }
    // A record of several blocks: the replaced key changes its own line and nothing else, and
    // the old record is kept as Network.BAK. The name matches without regard to case.
    std::string old = Record(60);
    ASSERT_GT(old.size(), 1024u);
    WriteFile(Partition("Network.ini"), old);
    CPartitionIni ini;
    ini.WriteValue("general", "ip", "192.168.1.7", "NETWORK.INI");
    std::string expected = old;
    expected.replace(expected.find("IP=10.0.0.1"), 11, "IP=192.168.1.7");
    EXPECT_EQ(ReadFile(Partition("Network.ini")), expected);
    EXPECT_EQ(ReadFile(Partition("Network.BAK")), old);  // the one made by the first write
    EXPECT_EQ(Library().OpenHandles(), 0u);

    char value[100];
    EXPECT_EQ(ini.ReadValue("GENERAL", "IP", "none", value, sizeof value, "Network.ini"), 11u);
    EXPECT_STREQ(value, "192.168.1.7");
    EXPECT_EQ(ini.ReadValue("GENERAL", "MISSING", "none", value, sizeof value, "Network.ini"), 4u);
    EXPECT_EQ(ini.ReadValue("GENERAL", "IP", "none", value, sizeof value, "Absent.ini"), 0u);
    EXPECT_STREQ(value, "none");
}

TEST_F(PartitionIniTest, UnavailablePartitionTouchesNothing) {
    WriteFile(Partition("Network.ini"), Record(3));
    Library().SetAvailable(false);
    CPartitionIni ini;
    ini.WriteValue("GENERAL", "IP", "1.2.3.4", "Network.ini");
    EXPECT_EQ(ReadFile(Partition("Network.ini")), Record(3));
    EXPECT_EQ(WorkingFile(), "");
    char value[8] = "keep";
    EXPECT_EQ(ini.ReadValue("GENERAL", "IP", "none", value, sizeof value, "Network.ini"), 0u);
    EXPECT_STREQ(value, "keep");
    EXPECT_EQ(Library().ReadCalls() + Library().WriteCalls(), 0);
    EXPECT_EQ(winsim::ListDirectory(Library().Folder()), std::vector<std::string>{"Network.ini"});
}

TEST_F(PartitionIniTest, CopyDownEndsAtZeroOrMinusOneAndFailsAtMinusTwo) {
    struct Case {
        size_t size;
        int endResult;
        int reads;  // read calls, the one that ends the copy included
    } cases[] = {{0, 0, 1},   {100, -1, 2},  {512, 0, 2}, {512, -1, 2},
                 {513, 0, 3}, {1024, -1, 3}, {1300, 0, 4}};
    for (const Case& c : cases) {
        std::string content(c.size, 'x');
        for (size_t i = 0; i < c.size; ++i) content[i] = static_cast<char>('a' + i % 26);
        WriteFile(Partition("Network.ini"), content);
        Library().SetEndOfFileResult(c.endResult);
        Library().ClearFaults();
        CPartitionIni ini;
        EXPECT_TRUE(ini.CopyFromPartition("Network.ini")) << c.size;
        EXPECT_EQ(WorkingFile(), content) << c.size;
        EXPECT_EQ(Library().ReadCalls(), c.reads) << c.size;
    }
    WriteFile(Partition("Network.ini"), std::string(1300, 'y'));
    Library().FailRead(2, -2);
    CPartitionIni ini;
    EXPECT_FALSE(ini.CopyFromPartition("Network.ini"));
    EXPECT_EQ(WorkingFile().size(), 512u);
    EXPECT_FALSE(ini.CopyFromPartition("Absent.ini"));
    EXPECT_EQ(WorkingFile(), "");
    EXPECT_EQ(Library().OpenHandles(), 0u);
}

TEST_F(PartitionIniTest, CopyUpFailsOnAnyWriteShortOfTheBlock) {
    WriteFile(Partition("Network.ini"), std::string(1300, 'z'));
    CPartitionIni ini;
    ASSERT_TRUE(ini.CopyFromPartition("Network.ini"));
    EXPECT_TRUE(ini.CopyToPartition("Copy.ini"));
    EXPECT_EQ(ReadFile(Partition("Copy.ini")), std::string(1300, 'z'));
    // The last block (276 bytes) answered with an error or with fewer bytes than it holds.
    for (int result : {-1, -2, 100}) {
        Library().FailWrite(3, result);
        EXPECT_FALSE(ini.CopyToPartition("Copy.ini")) << result;
        Library().FailWrite(3, result);
        EXPECT_FALSE(CopyPartitionFile("Network.ini", "Other.ini")) << result;
    }
    Library().ClearFaults();
    EXPECT_TRUE(CopyPartitionFile("Network.ini", "Other.ini"));
    EXPECT_EQ(ReadFile(Partition("Other.ini")), std::string(1300, 'z'));
    Library().FailRead(3, -2);
    EXPECT_FALSE(CopyPartitionFile("Network.ini", "Other.ini"));
    EXPECT_FALSE(CopyPartitionFile("Absent.ini", "New.ini"));
    EXPECT_FALSE(fs::exists(Partition("New.ini")));
    EXPECT_EQ(Library().OpenHandles(), 0u);
}

// Whatever single read or write of a write's copies fails, Network.ini holds the old record
// or the new one, never a part of either. When the library goes on failing, the old record
// is whole in Network.ini or in Network.BAK.
TEST_F(PartitionIniTest, NoFaultOfTheLibraryLosesTheRecord) {
    const std::string old = Record(60);
    std::string updated = old;
    updated.replace(updated.find("IP=10.0.0.1"), 11, "IP=10.9.9.9");
    auto run = [&] {
        WriteFile(Partition("Network.ini"), old);
        fs::remove_all(Partition("Network.BAK"));
        CPartitionIni ini;
        ini.WriteValue("GENERAL", "IP", "10.9.9.9", "Network.ini");
    };
    run();
    ASSERT_EQ(ReadFile(Partition("Network.ini")), updated);
    const int reads = Library().ReadCalls(), writes = Library().WriteCalls();

    struct Fault {
        bool write;
        int result;
        bool sticky;
    } faults[] = {{false, -2, false}, {true, -1, false}, {true, -2, false},
                  {false, -2, true},  {true, -1, true},  {true, -2, true}};
    for (const Fault& f : faults) {
        for (int nth = 1; nth <= (f.write ? writes : reads); ++nth) {
            SCOPED_TRACE((f.write ? "write " : "read ") + std::to_string(nth) + " answers " +
                         std::to_string(f.result) + (f.sticky ? " and after" : ""));
            if (f.write)
                Library().FailWrite(nth, f.result, f.sticky);
            else
                Library().FailRead(nth, f.result, f.sticky);
            run();
            std::string now = ReadFile(Partition("Network.ini"));
            if (f.sticky)
                EXPECT_TRUE(now == old || now == updated ||
                            ReadFile(Partition("Network.BAK")) == old);
            else
                EXPECT_TRUE(now == old || now == updated) << now.size() << " bytes";
            EXPECT_EQ(Library().OpenHandles(), 0u);
            EXPECT_TRUE(RootFiles().empty());
        }
    }
}

TEST_F(PartitionIniTest, EachObjectOwnsOneWorkingFile) {
    WriteFile(Drive() / "keep.txt", "mine");
    {
        CPartitionIni first;
        CPartitionIni second;
        EXPECT_EQ(RootFiles().size(), 3u);
    }
    EXPECT_EQ(RootFiles(), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(ReadFile(Drive() / "keep.txt"), "mine");

    // Without a drive to make it on there is no working file: nothing is written or removed.
    fs::remove_all(Drive());
    WriteFile(Partition("Network.ini"), "[GENERAL]\r\nIP=1\r\n");
    {
        CPartitionIni ini;
        ini.WriteValue("GENERAL", "IP", "2", "Network.ini");
        EXPECT_FALSE(ini.CopyFromPartition("Network.ini"));
    }
    EXPECT_EQ(ReadFile(Partition("Network.ini")), "[GENERAL]\r\nIP=1\r\n");
}

}  // namespace
