// The users of the example machines: whose settings are read, and the mail server and proxy
// found there, as each machine's README tells.
#include "discovery_fixture.h"

namespace {

class ExampleMachinesTest : public DiscoveryTest {};

TEST_F(ExampleMachinesTest, UsersMailServerAndProxy) {
    struct Case {
        const char* machine;
        int result;
        int underUsers;
        const char* smtp;
        const char* proxy;
    } cases[] = {
        // Windows 95 has no process tokens: nothing is loaded.
        {"win95", 120, 1, "", ""},
        {"win98", 0, 1, "mail.home.example", "proxy.home.example:8080"},
        {"win98-no-iphlpapi", 0, 1, "smtp.lab.example", "cache.lab.example:3128"},
        // Nobody logged on: the profile hive is loaded.
        {"nt40", 0, 0, "smtp.sales.example.com", "proxy.sales.example.com:8080"},
        {"win2000-dhcp", 0, 1, "smtp.corp.example.com", "webcache.corp.example.com:3128"},
    };
    for (const Case& c : cases) {
        zutest::TempDir copy;
        zutest::CopyTree(std::filesystem::path(ZU_SOURCE_DIR) / "examples/machines" / c.machine,
                         copy.Path());
        LoadMachine(copy.Path());
        Machine().SetPersistent(false);
        UserRootKey = UserRootKeyRecord{0, ""};
        EXPECT_EQ(SelectUserRoot(), c.result) << c.machine;
        EXPECT_EQ(UserRootKey.underUsers, c.underUsers) << c.machine;
        char smtp[kSettingSize] = "";
        char proxy[kSettingSize] = "";
        FindSmtpServer(smtp);
        FindHttpProxy(proxy);
        EXPECT_STREQ(smtp, c.smtp) << c.machine;
        EXPECT_STREQ(proxy, c.proxy) << c.machine;
        LONG unloaded = RegUnLoadKeyA(HKEY_LOCAL_MACHINE, USER_HIVE_KEY);
        EXPECT_EQ(unloaded == ERROR_SUCCESS, std::string(c.machine) == "nt40") << c.machine;
        ExpectNoOpenKeys();
    }
}

}  // namespace
