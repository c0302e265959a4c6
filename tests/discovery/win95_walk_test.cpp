// The Windows 95 adapter walk through Enum\PCI, the MSTCP binding and the class key.
#include "discovery_fixture.h"

namespace {

struct Fields {
    char ip[kSettingSize] = "";
    char mask[kSettingSize] = "";
    char domain[kSettingSize] = "";
    char nameServer[kSettingSize] = "";
    char gateway[kSettingSize] = "";
    char dhcp[kDhcpSize] = "";
    int Walk(int mode) {
        return WalkWin95Adapters(mode, ip, mask, domain, nameServer, gateway, dhcp);
    }
};

// A name as a REGEDIT4 string writes it.
std::string Escaped(const std::string& name) {
    std::string text;
    for (char c : name) text += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return text;
}

// A device of class "Class" whose binding "Binding" leads to the class key NetTrans\0001.
std::string Adapter(const std::string& cls, const std::string& binding = "MSTCP\\0001",
                    const std::string& ip = "10.0.0.5") {
    return "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_10B7&DEV_9050\\BUS_00&DEV_0B]\r\n"
           "\"Class\"=\"" +
           cls +
           "\"\r\n"
           "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_10B7&DEV_9050\\BUS_00&DEV_0B\\Bindings]\r\n"
           "\"" +
           Escaped(binding) +
           "\"=\"\"\r\n"
           "[HKEY_LOCAL_MACHINE\\Enum\\Network\\MSTCP\\0001]\r\n"
           "\"Driver\"=\"NetTrans\\\\0001\"\r\n"
           "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0001]\r\n" +
           (ip.empty() ? "" : "\"IPAddress\"=\"" + ip + "\"\r\n") +
           "\"IPMask\"=\"255.255.255.0\"\r\n"
           "\"DefaultGateway\"=\"10.0.0.1,10.0.0.2\"\r\n";
}

const char kDns[] =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\MSTCP]\r\n"
    "\"EnableDNS\"=\"1\"\r\n\"NameServer\"=\"10.0.0.53\"\r\n\"Domain\"=\"corp.example\"\r\n";

class Win95WalkTest : public DiscoveryTest {};

TEST_F(Win95WalkTest, ModeZeroReadsTheFirstNetAdapterWhole) {
    ImportRegistry(Adapter("Net") + kDns +
                   // A second card, after the first in enumeration order, is never looked at.
                   "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_8086&DEV_1229\\BUS_00&DEV_0C]\r\n"
                   "\"Class\"=\"Net\"\r\n");
    Fields f;
    EXPECT_EQ(f.Walk(0), 0);
    EXPECT_STREQ(f.ip, "10.0.0.5");
    EXPECT_STREQ(f.mask, "255.255.255.0");
    EXPECT_STREQ(f.gateway, "10.0.0.1,10.0.0.2");
    EXPECT_STREQ(f.dhcp, "NO");
    EXPECT_STREQ(f.nameServer, "10.0.0.53");
    EXPECT_STREQ(f.domain, "corp.example");
    ExpectNoOpenKeys();
}

TEST_F(Win95WalkTest, ModeOneKeepsTheWinsockAddress) {
    ImportRegistry(Adapter("net"));
    Fields f;
    std::strcpy(f.ip, "0.0.0.0");
    std::strcpy(f.mask, "255.0.0.0");
    EXPECT_EQ(f.Walk(1), 0);
    EXPECT_STREQ(f.ip, "0.0.0.0");
    EXPECT_STREQ(f.mask, "255.0.0.0");
    EXPECT_STREQ(f.gateway, "10.0.0.1,10.0.0.2");
    EXPECT_STREQ(f.dhcp, "YES");
}

TEST_F(Win95WalkTest, OnlyClassNetInAnyCaseIsTheAdapter) {
    struct Case {
        const char* cls;
        int result;
    } cases[] = {{"Net", 0}, {"NET", 0}, {"Network", 1}, {"net ", 1}, {"Display", 1}};
    for (const Case& c : cases) {
        SetUp();
        ImportRegistry(Adapter(c.cls));
        Fields f;
        EXPECT_EQ(f.Walk(0), c.result) << c.cls;
        if (c.result == 1) {
            EXPECT_STREQ(f.dhcp, "") << c.cls;
        }
        ExpectNoOpenKeys();
        TearDown();
    }
}

TEST_F(Win95WalkTest, InstanceWithoutClassIsSkipped) {
    ImportRegistry("[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_0001\\A]\r\n\"Other\"=\"x\"\r\n" +
                   Adapter("Net"));
    Fields f;
    EXPECT_EQ(f.Walk(0), 0);
    EXPECT_STREQ(f.ip, "10.0.0.5");
}

TEST_F(Win95WalkTest, BindingNameMustHoldMstcpInCapitals) {
    // "mstcp\0001" is not the TCP/IP binding: the walk goes on with an empty binding and so
    // finds no driver, but reports the adapter found.
    ImportRegistry(Adapter("Net", "mstcp\\0001"));
    Fields f;
    EXPECT_EQ(f.Walk(0), 0);
    EXPECT_STREQ(f.ip, "");
    EXPECT_STREQ(f.dhcp, "NO");
    ExpectNoOpenKeys();
}

TEST_F(Win95WalkTest, MissingTreesEndTheWalkWithFieldsUnchanged) {
    Fields f;
    std::strcpy(f.gateway, "kept");
    EXPECT_EQ(f.Walk(0), 1);
    ImportRegistry("[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_10B7\\BUS_00]\r\n\"Class\"=\"Net\"\r\n");
    EXPECT_EQ(f.Walk(0), 1);  // no Bindings key
    EXPECT_STREQ(f.gateway, "kept");
    EXPECT_STREQ(f.dhcp, "");
    ExpectNoOpenKeys();
}

TEST_F(Win95WalkTest, DhcpFollowsTheAddressAlone) {
    struct Case {
        const char* ip;  // "" for no IPAddress value
        const char* recorded;
        const char* dhcp;
    } cases[] = {{"0.0.0.0", "0.0.0.0", "YES"}, {"", "", "NO"}, {"10.0.0.5", "10.0.0.5", "NO"}};
    for (const Case& c : cases) {
        SetUp();
        ImportRegistry(Adapter("Net", "MSTCP\\0001", c.ip));
        Fields f;
        EXPECT_EQ(f.Walk(0), 0);
        EXPECT_STREQ(f.ip, c.recorded);
        EXPECT_STREQ(f.dhcp, c.dhcp) << c.ip;
        TearDown();
    }
}

TEST_F(Win95WalkTest, DnsIsReadOnlyWhenEnableDnsReadsAsOne) {
    struct Case {
        const char* enableDns;  // a REGEDIT4 value line, or "" for none
        bool read;
    } cases[] = {{"\"EnableDNS\"=\"1\"", true},
                 {"\"EnableDNS\"=dword:00000001", true},
                 {"\"EnableDNS\"=\"0\"", false},
                 {"\"EnableDNS\"=\"10\"", false},
                 {"", false}};
    for (const Case& c : cases) {
        SetUp();
        ImportRegistry(Adapter("Net") +
                       "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\MSTCP]\r\n" +
                       c.enableDns +
                       "\r\n\"NameServer\"=\"10.0.0.53\"\r\n\"Domain\"=\"d.example\"\r\n");
        Fields f;
        EXPECT_EQ(f.Walk(0), 0);
        EXPECT_STREQ(f.nameServer, c.read ? "10.0.0.53" : "") << c.enableDns;
        EXPECT_STREQ(f.domain, c.read ? "d.example" : "") << c.enableDns;
        TearDown();
    }
}

TEST_F(Win95WalkTest, ABindingTooLongForItsKeyPathReadsNoDriver) {
    // "Enum\Network\" and 90 characters do not fit the 100-byte path: no key is read under a
    // cut name.
    std::string binding = "MSTCP\\" + std::string(84, 'x');
    ImportRegistry(Adapter("Net", binding));
    Fields f;
    EXPECT_EQ(f.Walk(0), 0);
    EXPECT_STREQ(f.ip, "");
    ExpectNoOpenKeys();
}

}  // namespace
