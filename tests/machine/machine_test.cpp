#include <gtest/gtest.h>

#include <windows.h>

#include "test_machine.h"

namespace {

using zutest::MachineTest;

TEST(MachineSettingsTest, NamesMatchWithoutCaseAndBadLinesNameTheLine) {
    auto settings = winsim::MachineSettings::Parse(
        "; comment\n[Windows]\nMajor = 4\n\n[clock]\nTime=host\n", "machine.ini");
    EXPECT_EQ(settings.GetNumber("WINDOWS", "major", 0), 4u);
    EXPECT_EQ(settings.Get("Clock", "TIME"), "host");
    EXPECT_EQ(settings.Get("Clock", "Missing", "fallback"), "fallback");

    for (const char* bad : {"[Windows]\nMajor\n", "Major=4\n", "[Windows\n"}) {
        try {
            winsim::MachineSettings::Parse(bad, "machine.ini");
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const winsim::MachineError& e) {
            EXPECT_EQ(e.File(), "machine.ini");
            EXPECT_GE(e.Line(), 1);
        }
    }
}

TEST_F(MachineTest, PinnedClockStandsStillAndBadClockIsRefused) {
    Machine().Settings().Set("Clock", "Time", "1999-12-31 23:59:58");
    std::tm t = Machine().LocalTime();
    EXPECT_EQ(t.tm_year, 99);
    EXPECT_EQ(t.tm_mon, 11);
    EXPECT_EQ(t.tm_mday, 31);
    EXPECT_EQ(t.tm_sec, 58);
    Machine().Settings().Set("Clock", "Time", "yesterday");
    EXPECT_THROW(Machine().LocalTime(), winsim::MachineError);
}

TEST_F(MachineTest, LoadRefusesAnUnreadableMachineIniWithoutTouchingTheFolder) {
    zutest::TempDir dir;
    zutest::WriteFile(dir.Path() / "machine.ini", "[Windows]\nnot a setting\n");
    try {
        winsim::Machine::Load(dir.Path());
        FAIL() << "loaded a broken machine.ini";
    } catch (const winsim::MachineError& e) {
        EXPECT_EQ(e.File(), dir.Path() / "machine.ini");
        EXPECT_EQ(e.Line(), 2);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "registry.reg"));
}

struct VersionCase {
    const char* name;
    winsim::WindowsVersion version;
    DWORD buildNumber;
    DWORD getVersion;
};

TEST_F(MachineTest, GetVersionExAnswersFromTheMachine) {
    const VersionCase cases[] = {
        {"Windows 95", {1, 4, 0, 950, ""}, 0x040003B6, 0xC0000004},
        {"Windows 98", {1, 4, 10, 1998, " A "}, 0x040A07CE, 0xC0000A04},
        {"Windows NT 4.0", {2, 4, 0, 1381, "Service Pack 6a"}, 1381, 0x05650004},
        {"Windows 2000", {2, 5, 0, 2195, "Service Pack 4"}, 2195, 0x08930005},
    };
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.name);
        Machine().SetVersion(c.version);
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_TRUE(GetVersionExA(&info));
        EXPECT_EQ(info.dwPlatformId, c.version.platformId);
        EXPECT_EQ(info.dwMajorVersion, c.version.major);
        EXPECT_EQ(info.dwMinorVersion, c.version.minor);
        EXPECT_EQ(info.dwBuildNumber, c.buildNumber);
        EXPECT_STREQ(info.szCSDVersion, c.version.csd.c_str());
        EXPECT_EQ(GetVersion(), c.getVersion);
    }
    OSVERSIONINFOA small{};
    small.dwOSVersionInfoSize = sizeof small - 1;
    EXPECT_FALSE(GetVersionExA(&small));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
