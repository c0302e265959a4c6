// fwinspect run as its users run it: on a machine folder and on a raw image of the F000 window.
#include <sys/wait.h>

#include <cstdio>

#include "machine/bios_image.h"
#include "test_machine.h"

namespace zutest {
namespace {

struct ToolRun {
    int status;
    std::string out;
};

ToolRun Inspect(const std::string& arguments) {
    std::string command = std::string(ZU_FWINSPECT) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ToolRun run{-1, {}};
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) run.out += buffer;
    int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

class FwinspectTest : public ::testing::Test {
protected:
    void SetUp() override {
        winsim::WriteDefaultMachine(m_machine);
        fs::create_directories(m_machine / "firmware");
    }
    TempDir m_dir;
    fs::path m_machine = m_dir.Path() / "machine";
};

TEST_F(FwinspectTest, MachineFolderShowsMethodEntryAndStoreButNoPasswords) {
    WriteFile(m_machine / "firmware" / "tables.ini",
              "[Service]\nEntry=F000:8000\n"
              "[$DMI]\nAt=F9001\nTable=E000:0010\nStructure=01 00 00\nService=F000:8000\n");
    WriteFile(m_machine / "firmware" / "passwords.ini",
              "[Store]\nAdminPassword=1E 30 2E\nUserMinLength=15\nAdminDate=19 99 1 2\n");
    ToolRun run = Inspect(m_machine.string());
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("found by \"$DMI\" header at F000:8000\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("administrator password: set\nuser password: not set\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("user minimum length: 22 scan codes (raw 15)"), std::string::npos);
    EXPECT_NE(run.out.find("administrator password date: 1999-01-02"), std::string::npos);
    EXPECT_EQ(run.out.find("1E"), std::string::npos) << run.out;
}

TEST_F(FwinspectTest, ImageWithoutTablesGetsTheStartUpMessage) {
    WriteFile(m_dir.Path() / "f000.bin", std::string(65536, '\xFF'));
    ToolRun run = Inspect("--image " + (m_dir.Path() / "f000.bin").string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("start-up message: ZULOCK ERROR: Can't access DADO tables!!!"),
              std::string::npos)
        << run.out;
}

TEST_F(FwinspectTest, DriverAbsentGetsItsMessage) {
    WriteFile(m_machine / "machine.ini",
              ReadFile(m_machine / "machine.ini") + "\n[Drivers]\nZULOCK.VXD=absent\n");
    ToolRun run = Inspect(m_machine.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("ZULOCK ERROR: Can't open DLL ZUVXD.VXD!!!"), std::string::npos);
}

TEST_F(FwinspectTest, MalformedInputIsAClearError) {
    const struct {
        const char* file;
        std::string text;
        const char* says;
    } cases[] = {
        {"tables.ini", "[SMBIOS]\nAnchor=F0010\nTable=F1000\nStructure=zz\n", "tables.ini:4:"},
        {"tables.ini", "[Nonsense]\n", "unknown section [Nonsense]"},
        {"passwords.ini", "[Store]\nAdminPassword=1E 00\n", "AdminPassword"},
        {"passwords.ini", "[Store]\nUserMinLength=16\n", "UserMinLength"},
        {"f000.bin", std::string(100, '\0'), "65536"},
    };
    for (const auto& c : cases) {
        fs::remove_all(m_machine / "firmware");
        WriteFile(m_machine / "firmware" / c.file, c.text);
        ToolRun run = Inspect(m_machine.string());
        EXPECT_EQ(run.status, 2) << c.file << ": " << run.out;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
    }
    ToolRun missing = Inspect("--image " + (m_dir.Path() / "none.bin").string());
    EXPECT_EQ(missing.status, 2);
}

}  // namespace
}  // namespace zutest
