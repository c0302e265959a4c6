// The choice of the user whose settings are read: a logged-on user, or the newest profile hive.
#include <chrono>

#include "discovery_fixture.h"

namespace {

class UserRootTest : public DiscoveryTest {
protected:
    void SetUp() override {
        DiscoveryTest::SetUp();
        Machine().Settings().Set("Windows", "Directory", "C:\\WINNT");
    }
    void SetMajor(unsigned long major) {
        winsim::WindowsVersion v = Machine().Version();
        v.major = major;
        Machine().SetVersion(v);
    }
    // A profile hive file under `folder` of drive C: written at `seconds` since 1970.
    void Hive(const std::string& relative, long seconds, const std::string& text = kHive) {
        std::filesystem::path file = Drive() / relative;
        zutest::WriteFile(file, text);
        std::filesystem::last_write_time(
            file, std::filesystem::file_time_type::clock::from_sys(
                      std::chrono::sys_seconds(std::chrono::seconds(seconds))));
    }
    static constexpr const char* kHive =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\"
        "Internet Settings]\r\n\"ProxyServer\"=\"hive.example:8080\"\r\n";
    std::string Newest() {
        char path[kPathSize];
        std::memset(path, '#', sizeof path);
        FindNewestUserHive(path);
        return path;
    }
};

TEST_F(UserRootTest, FirstUserKeyOtherThanDefaultIsChosen) {
    struct Case {
        const char* keys;  // HKEY_USERS subkeys in enumeration order
        bool found;
        const char* chosen;
    } cases[] = {
        {".DEFAULT S-1-5-21-1000", true, "S-1-5-21-1000"},
        {".DEFAULT", false, ""},
        // Only the exact spelling is the default user's key.
        {".default", true, ".default"},
    };
    for (const Case& c : cases) {
        SetUp();
        // The registry always holds the key of the machine's current user: let it be the first.
        std::string first = c.keys;
        Machine().Settings().Set("Registry", "CurrentUser", first.substr(0, first.find(' ')));
        std::string text;
        std::istringstream names(c.keys);
        for (std::string name; names >> name;) text += "[HKEY_USERS\\" + name + "\\Software]\r\n";
        ImportRegistry(text);
        EXPECT_EQ(FindUsersSubkey(), c.found) << c.keys;
        EXPECT_EQ(UserRootKey.underUsers, 1);
        EXPECT_STREQ(UserRootKey.usersSubkey, c.chosen);
        TearDown();
    }
}

TEST_F(UserRootTest, LoggedOnUserNeedsNoHive) {
    ImportRegistry("[HKEY_USERS\\.DEFAULT]\r\n[HKEY_USERS\\S-1-5-21-7]\r\n");
    Hive("WINNT/Profiles/Alice/NTUSER.DAT", 1000);
    EXPECT_EQ(SelectUserRoot(), 0);
    EXPECT_EQ(UserRootKey.underUsers, 1);
    EXPECT_STREQ(UserRootKey.usersSubkey, "S-1-5-21-7");
    HKEY key;
    EXPECT_NE(RegOpenKeyA(HKEY_LOCAL_MACHINE, USER_HIVE_KEY, &key), ERROR_SUCCESS);
    // The run's unloading then fails harmlessly.
    EXPECT_NE(RegUnLoadKeyA(HKEY_LOCAL_MACHINE, USER_HIVE_KEY), ERROR_SUCCESS);
}

TEST_F(UserRootTest, NewestHiveIsSoughtWhereTheVersionKeepsProfiles) {
    Hive("WINNT/Profiles/Alice/NTUSER.DAT", 2000);
    Hive("WINNT/Profiles/bob/ntuser.dat", 3000);
    Hive("WINNT/Profiles/Default User/NTUSER.DAT", 1000);
    zutest::WriteFile(Drive() / "WINNT/Profiles/Empty/desktop.ini", "");
    Hive("Documents and Settings/carol/NTUSER.DAT", 500);
    SetMajor(4);
    EXPECT_EQ(Newest(), "C:\\WINNT\\Profiles\\bob\\ntuser.dat");
    SetMajor(5);
    EXPECT_EQ(Newest(), "C:\\Documents and Settings\\carol\\NTUSER.DAT");
    // Versions that keep profiles elsewhere search nothing.
    SetMajor(6);
    EXPECT_EQ(Newest(), "");
    SetMajor(3);
    EXPECT_EQ(Newest(), "");
}

TEST_F(UserRootTest, EqualTimesKeepTheHiveFoundFirst) {
    SetMajor(4);
    Hive("WINNT/Profiles/zed/NTUSER.DAT", 5000);
    Hive("WINNT/Profiles/Amy/NTUSER.DAT", 5000);
    EXPECT_EQ(Newest(), "C:\\WINNT\\Profiles\\Amy\\NTUSER.DAT");
    // The folder itself ("." of the pattern) is a candidate like any profile.
    Hive("WINNT/Profiles/NTUSER.DAT", 6000);
    EXPECT_EQ(Newest(), "C:\\WINNT\\Profiles\\.\\NTUSER.DAT");
}

TEST_F(UserRootTest, WithoutUsersTheNewestHiveIsLoaded) {
    SetMajor(5);
    ImportRegistry("[HKEY_USERS\\.DEFAULT]\r\n");
    Hive("Documents and Settings/Alice/NTUSER.DAT", 9000);
    EXPECT_EQ(SelectUserRoot(), 0);
    EXPECT_EQ(UserRootKey.underUsers, 0);
    char proxy[kSettingSize] = "";
    EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE,
                                USER_HIVE_KEY "\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                                              "Internet Settings",
                                "ProxyServer", proxy),
              0);
    EXPECT_STREQ(proxy, "hive.example:8080");
    EXPECT_EQ(RegUnLoadKeyA(HKEY_LOCAL_MACHINE, USER_HIVE_KEY), ERROR_SUCCESS);
}

TEST_F(UserRootTest, RefusedTokenLoadsNothing) {
    SetMajor(5);
    Machine().Settings().Set("Process", "Token", "refused");
    Hive("Documents and Settings/Alice/NTUSER.DAT", 9000);
    EXPECT_EQ(SelectUserRoot(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(UserRootKey.underUsers, 1);
    EXPECT_STREQ(UserRootKey.usersSubkey, "");
    HKEY key;
    EXPECT_NE(RegOpenKeyA(HKEY_LOCAL_MACHINE, USER_HIVE_KEY, &key), ERROR_SUCCESS);
}

TEST_F(UserRootTest, NoProfileHiveStillClearsUnderUsers) {
    SetMajor(4);
    EXPECT_EQ(SelectUserRoot(), 0);
    EXPECT_EQ(UserRootKey.underUsers, 0);
    HKEY key;
    EXPECT_NE(RegOpenKeyA(HKEY_LOCAL_MACHINE, USER_HIVE_KEY, &key), ERROR_SUCCESS);
}

}  // namespace
