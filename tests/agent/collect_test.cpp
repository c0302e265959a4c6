// One collection run: version dispatch, the NT 4.0 registry step, the DHCP override, the gates,
// the LastUpdate stamp and the Network.ini record.
#include <gtest/gtest.h>

#include "agent_test_support.h"
#include "machine/network.h"

namespace {

namespace fs = std::filesystem;
using agenttest::NetworkIni;
using agenttest::SetDword;
using agenttest::SetText;

const char kCardKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\1";
const char kAdapterKey[] = "System\\CurrentControlSet\\Services\\E100B1\\Parameters\\Tcpip";
const char kTcpipKey[] = "System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
const std::string kStamp = std::string("12/31/2001 - 23:59:58") + std::string(4, '\0');

class CollectTest : public zutest::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        Machine().Settings().Set("Clock", "Time", "2001-12-31 23:59:58");
        fs::create_directories(Machine().Folder() / "partition");
        fs::create_directories(Machine().Folder() / "drive_c");
        SetText(AGENT_REGISTRY_KEY, "SaveToNesk", "1");
        // One Ethernet interface and its adapter.
        winsim::NetworkDescription network;
        network.interfaces.push_back(
            {"lo", winsim::kIfUp | winsim::kIfLoopback, "127.0.0.1", "255.0.0.0", "0.0.0.0"});
        network.interfaces.push_back({"eth0", winsim::kIfUp | winsim::kIfBroadcast, "10.0.0.5",
                                      "255.0.0.0", "10.255.255.255"});
        winsim::NetAdapter adapter;
        adapter.name = "{0}";
        adapter.addresses.push_back({"10.0.0.5", "255.0.0.0"});
        adapter.gateways.push_back("10.0.0.1");
        network.adapters.push_back(adapter);
        network.dns.nameServers = {"10.0.0.53"};
        Machine().Component<winsim::NetworkState>().SetDescription(network);
    }

    void SetDhcp(bool enabled) {
        auto network = Machine().Component<winsim::NetworkState>().Description();
        network.adapters[0].dhcpEnabled = enabled;
        Machine().Component<winsim::NetworkState>().SetDescription(network);
    }

    std::string LastUpdate() { return agenttest::RawValue(AGENT_REGISTRY_KEY, "LastUpdate"); }
};

TEST_F(CollectTest, Nt40ReadsTheCardsTcpipKeyAndCutsNameServerAtItsLastBlank) {
    Machine().SetVersion({2, 4, 0, 1381, "Service Pack 6a"});
    struct Case {
        const char* nameServer;
        const char* recorded;
    };
    const Case cases[] = {
        {"10.0.0.1 10.0.0.2", "10.0.0.1"},
        {"10.0.0.1", "10.0.0.1"},
        {"10.0.0.1 10.0.0.2 10.0.0.3", "10.0.0.1 10.0.0.2"},
    };
    SetText(kCardKey, "ServiceName", "E100B1");
    SetDword(kAdapterKey, "EnableDHCP", 0);
    agenttest::SetValue(HKEY_LOCAL_MACHINE, kAdapterKey, "DefaultGateway", REG_MULTI_SZ,
                        std::string("10.1.2.1\0"
                                    "10.1.2.2\0\0",
                                    19));
    SetText(kTcpipKey, "Domain", "sales.example.com");
    for (const Case& c : cases) {
        SetText(kTcpipKey, "NameServer", c.nameServer);
        ASSERT_EQ(CollectLanConfig(), 0);
        EXPECT_STREQ(LanConfig.nameServer, c.recorded) << c.nameServer;
    }
    EXPECT_STREQ(LanConfig.ip, "10.0.0.5");
    EXPECT_STREQ(LanConfig.subnetMask, "255.0.0.0");
    EXPECT_STREQ(LanConfig.gateway, "10.1.2.1");
    EXPECT_STREQ(LanConfig.domain, "sales.example.com");
    EXPECT_STREQ(LanConfig.dhcp, "NO");
}

TEST_F(CollectTest, Nt40WithoutAFixedAddressRecordsDhcpAndALongValueNeverSpills) {
    Machine().SetVersion({2, 4, 0, 1381, "Service Pack 6a"});
    SetText(kTcpipKey, "NameServer", "10.0.0.1 10.0.0.2");
    // No NetworkCards\1: EnableDHCP cannot be read.
    ASSERT_EQ(CollectLanConfig(), 0);
    EXPECT_EQ(NetworkIni(Machine()),
              "[GENERAL]\r\nIP=- DHCP -\r\nSUBNET_MASK=- DHCP -\r\nGATEWAY=- DHCP -\r\n"
              "DOMAIN=- DHCP -\r\nDHCP=YES\r\nNAME_SERVER=- DHCP -\r\nCfg_Method=2\r\n");

    SetText(kCardKey, "ServiceName", "E100B1");
    SetText(kAdapterKey, "EnableDHCP", std::string(99, '0'));
    ASSERT_EQ(CollectLanConfig(), 0);
    EXPECT_STREQ(LanConfig.dhcp, "YES");
    EXPECT_STREQ(LanConfig.ip, DHCP_MARKER);
}

TEST_F(CollectTest, DhcpOverrideTakesTheWordInAnyCaseAndKeepsIt) {
    SetText(AGENT_REGISTRY_KEY, "SaveUserInfo", "1");
    SetDhcp(true);
    ASSERT_EQ(CollectLanConfig(), 0);
    EXPECT_STREQ(LanConfig.dhcp, "Yes");
    for (const char* field :
         {LanConfig.ip, LanConfig.subnetMask, LanConfig.gateway, LanConfig.nameServer})
        EXPECT_STREQ(field, DHCP_MARKER);
    // An empty domain becomes the marker too; the user's settings stay as found.
    EXPECT_STREQ(LanConfig.domain, DHCP_MARKER);
    EXPECT_STREQ(LanConfig.proxyServer, "");
    EXPECT_EQ(NetworkIni(Machine()),
              "[GENERAL]\r\nIP=- DHCP -\r\nSUBNET_MASK=- DHCP -\r\nGATEWAY=- DHCP -\r\n"
              "DOMAIN=- DHCP -\r\nDHCP=Yes\r\nNAME_SERVER=- DHCP -\r\nHTTP_PROXY=\r\n"
              "SMTP_SERVER=\r\nCfg_Method=2\r\n");

    SetDhcp(false);
    ASSERT_EQ(CollectLanConfig(), 0);
    EXPECT_STREQ(LanConfig.dhcp, "No");
    EXPECT_STREQ(LanConfig.ip, "10.0.0.5");
    EXPECT_STREQ(LanConfig.gateway, "10.0.0.1");
}

TEST_F(CollectTest, GatesDecideWhetherTheStampAndTheRecordAreWritten) {
    struct Case {
        const char* name;
        DWORD saveType;  // REG_NONE: missing
        std::string save;
        const char* copyNow;  // nullptr: missing
        bool partition;
        bool written;
    };
    const Case cases[] = {
        {"text 1", REG_SZ, std::string("1", 2), nullptr, true, true},
        {"dword 1", REG_DWORD, std::string("\1\0\0\0", 4), nullptr, true, true},
        {"01", REG_SZ, std::string("01", 3), nullptr, true, false},
        {"1 and a blank", REG_SZ, std::string("1 ", 3), nullptr, true, false},
        {"CopyNow", REG_SZ, std::string("0", 2), "1", true, true},
        {"both missing", REG_NONE, "", nullptr, true, false},
        {"no partition", REG_SZ, std::string("1", 2), nullptr, false, false},
    };
    for (const Case& c : cases) {
        TearDown();
        fs::remove_all(Folder());
        fs::create_directories(Folder());
        SetUp();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, AGENT_REGISTRY_KEY);
        if (c.saveType != REG_NONE)
            agenttest::SetValue(HKEY_LOCAL_MACHINE, AGENT_REGISTRY_KEY, "SaveToNesk", c.saveType,
                                c.save);
        if (c.copyNow) SetText(AGENT_REGISTRY_KEY, "CopyNow", c.copyNow);
        Machine().Settings().Set("Partition", "Available", c.partition ? "yes" : "no");
        ASSERT_EQ(CollectLanConfig(), 0) << c.name;
        EXPECT_EQ(fs::exists(Machine().Folder() / "partition" / "Network.ini"), c.written)
            << c.name;
        EXPECT_EQ(LastUpdate(), c.written ? kStamp : "-") << c.name;
    }
}

TEST_F(CollectTest, KeysTheRunDoesNotWriteKeepTheirEarlierValues) {
    zutest::WriteFile(Machine().Folder() / "partition" / "Network.ini",
                      "[GENERAL]\r\nHTTP_PROXY=old:3128\r\nDOMAIN=keep.example\r\n"
                      "SMTP_SERVER=oldmail\r\nCfg_Method=1\r\n");
    // SaveUserInfo missing; the resolver has no domain.
    ASSERT_EQ(CollectLanConfig(), 0);
    EXPECT_EQ(NetworkIni(Machine()),
              "[GENERAL]\r\nHTTP_PROXY=old:3128\r\nDOMAIN=keep.example\r\n"
              "SMTP_SERVER=oldmail\r\nCfg_Method=2\r\nIP=10.0.0.5\r\nSUBNET_MASK=255.0.0.0\r\n"
              "GATEWAY=10.0.0.1\r\nDHCP=No\r\nNAME_SERVER=10.0.0.53\r\n");
}

TEST_F(CollectTest, OtherVersionsCollectOnlyWhatTheirStepsFind) {
    // An NT version after 2000: Winsock's address and mask and the user's settings only.
    Machine().SetVersion({2, 6, 1, 7601, "Service Pack 1"});
    ASSERT_EQ(CollectLanConfig(), 0);
    EXPECT_STREQ(LanConfig.ip, "10.0.0.5");
    EXPECT_STREQ(LanConfig.gateway, "");
    EXPECT_STREQ(LanConfig.dhcp, "");

    // Windows 2000 without IP Helper: the run ends before anything is written.
    Machine().SetVersion({2, 5, 0, 2195, "Service Pack 4"});
    Machine().Settings().Set("Libraries", "iphlpapi.dll", "absent");
    fs::remove_all(Machine().Folder() / "partition" / "Network.ini");
    EXPECT_EQ(CollectLanConfig(), 2);
    EXPECT_FALSE(fs::exists(Machine().Folder() / "partition" / "Network.ini"));
}

}  // namespace
