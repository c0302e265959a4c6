// The Winsock and IP Helper routines over machines described in network.ini text.
#include "discovery_fixture.h"
#include "machine/message_boxes.h"

namespace {

class IpHelperDiscoveryTest : public DiscoveryTest {
protected:
    void ExpectWinsockReleased() {
        EXPECT_EQ(Net().startups, 0);
        EXPECT_TRUE(Net().sockets.empty());
    }
};

const char kLoopbackAndDialUp[] =
    "[Interface1]\nFlags=up loopback\nAddress=127.0.0.1\nMask=255.0.0.0\n"
    "[Interface2]\nFlags=up point-to-point\nAddress=192.168.55.2\nMask=255.255.255.255\n";

TEST_F(IpHelperDiscoveryTest, InterfaceAddressSkipsLoopbackAndDialUpButNotDown) {
    Describe(std::string(kLoopbackAndDialUp) +
             "[Interface3]\nFlags=broadcast\nAddress=10.0.0.5\nMask=255.255.255.0\n"
             "[Interface4]\nFlags=up broadcast\nAddress=10.1.0.5\nMask=255.255.0.0\n");
    char ip[kSettingSize] = "";
    char mask[kSettingSize] = "";
    EXPECT_EQ(ReadInterfaceAddress(ip, mask), 0);
    EXPECT_STREQ(ip, "10.0.0.5");
    EXPECT_STREQ(mask, "255.255.255.0");
    ExpectWinsockReleased();
}

TEST_F(IpHelperDiscoveryTest, OnlyLoopbackAndDialUpLeaveEverythingEmpty) {
    Describe(std::string(kLoopbackAndDialUp) +
             "[Adapter1]\nType=ppp\nAddress=192.168.55.2/255.255.255.255\n");
    char ip[kSettingSize] = "";
    char mask[kSettingSize] = "";
    EXPECT_EQ(ReadInterfaceAddress(ip, mask), 0);
    EXPECT_STREQ(ip, "");
    EXPECT_STREQ(mask, "");
    char domain[kSettingSize] = "", ns[kSettingSize] = "", gw[kSettingSize] = "",
         dhcp[kDhcpSize] = "";
    EXPECT_EQ(ReadAdapterSettings(ip, domain, ns, gw, dhcp), 0);
    EXPECT_STREQ(dhcp, "");
    EXPECT_STREQ(gw, "");
}

TEST_F(IpHelperDiscoveryTest, WinsockFailuresAnswerOneOrTwo) {
    struct Case {
        const char* networkIni;
        const char* missingLibrary;
        int result;
    } cases[] = {
        {"[Winsock]\nStartup=fail\n", nullptr, 1},
        {"[Winsock]\nSocket=fail\n", nullptr, 1},
        {"", "WS2_32.dll", 2},
    };
    for (const Case& c : cases) {
        SetUp();
        Describe(c.networkIni);
        if (c.missingLibrary) Machine().Settings().Set("Libraries", c.missingLibrary, "absent");
        winsim::ClearMessageBoxes();
        char ip[kSettingSize] = "kept";
        char mask[kSettingSize] = "kept";
        EXPECT_EQ(ReadInterfaceAddress(ip, mask), c.result);
        EXPECT_STREQ(ip, "kept");
        EXPECT_STREQ(mask, "kept");
        ExpectWinsockReleased();
        auto boxes = winsim::MessageBoxes();
        if (c.result == 2) {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].caption, "Error");
            EXPECT_EQ(boxes[0].text,
                      "Error : LAN Finchwell couldn't load a DLL needed to run the application.");
            EXPECT_EQ(boxes[0].style, unsigned(MB_OK | MB_ICONERROR));
        } else {
            EXPECT_TRUE(boxes.empty());
        }
        TearDown();
    }
}

TEST_F(IpHelperDiscoveryTest, MoreInterfacesThanTheListHoldsFailTheRequest) {
    std::string ini;
    for (int n = 1; n <= 11; ++n)
        ini += "[Interface" + std::to_string(n) + "]\nFlags=up\nAddress=10.0.0." +
               std::to_string(n) + "\nMask=255.0.0.0\n";
    Describe(ini);
    char ip[kSettingSize] = "";
    char mask[kSettingSize] = "";
    EXPECT_EQ(ReadInterfaceAddress(ip, mask), 1);
    EXPECT_STREQ(ip, "");
    ExpectWinsockReleased();
}

const char kAdapters[] =
    "[Adapter1]\nAddress=10.0.0.10/255.255.255.0\nGateway=10.0.0.254\nDhcp=no\n"
    "[Adapter2]\nAddress=10.0.0.7/255.0.0.0, 10.0.0.1/255.0.0.0\nGateway=10.0.0.253\nDhcp=yes\n"
    "[Adapter3]\nAddress=10.0.0.1/255.255.255.0\nGateway=10.0.0.1\nDhcp=yes\n"
    "[DNS]\nDomain=corp.example\nNameServers=10.0.0.53 10.0.0.54\n";

TEST_F(IpHelperDiscoveryTest, AdapterIsMatchedExactlyOnItsFirstAddress) {
    Describe(kAdapters);
    struct Case {
        const char* ip;
        const char* gateway;
        const char* dhcp;
    } cases[] = {
        // 10.0.0.1 is not the beginning of 10.0.0.10, nor Adapter2's second address.
        {"10.0.0.1", "10.0.0.1", "Yes"},
        {"10.0.0.10", "10.0.0.254", "No"},
        {"10.0.0.7", "10.0.0.253", "Yes"},
    };
    for (const Case& c : cases) {
        char domain[kSettingSize] = "", ns[kSettingSize] = "", gw[kSettingSize] = "",
             dhcp[kDhcpSize] = "";
        EXPECT_EQ(ReadAdapterSettings(c.ip, domain, ns, gw, dhcp), 0);
        EXPECT_STREQ(gw, c.gateway) << c.ip;
        EXPECT_STREQ(dhcp, c.dhcp) << c.ip;
        EXPECT_STREQ(domain, "corp.example");
        EXPECT_STREQ(ns, "10.0.0.53");
    }
    char domain[kSettingSize] = "kept", ns[kSettingSize] = "kept", gw[kSettingSize] = "kept",
         dhcp[kDhcpSize] = "kept";
    EXPECT_EQ(ReadAdapterSettings("10.0.0.100", domain, ns, gw, dhcp), 0);
    EXPECT_STREQ(gw, "kept");
    EXPECT_STREQ(dhcp, "kept");
    EXPECT_STREQ(domain, "kept");
}

TEST_F(IpHelperDiscoveryTest, SizeProbeResultsDecideBetweenFiftyAndOne) {
    struct Case {
        std::deque<unsigned long> probes;
        int result;
    } cases[] = {
        {{}, 0},
        {{ERROR_NOT_SUPPORTED, ERROR_NOT_SUPPORTED}, 50},
        {{ERROR_NO_DATA, ERROR_NOT_SUPPORTED}, 50},
        {{ERROR_NOT_SUPPORTED, ERROR_NO_DATA}, 1},
        {{ERROR_NO_DATA, ERROR_BUFFER_OVERFLOW}, 1},
    };
    for (const Case& c : cases) {
        Describe(kAdapters);
        Net().scriptedAdaptersInfoResults = c.probes;
        char domain[kSettingSize] = "", ns[kSettingSize] = "", gw[kSettingSize] = "",
             dhcp[kDhcpSize] = "";
        EXPECT_EQ(ReadAdapterSettings("10.0.0.1", domain, ns, gw, dhcp), c.result);
        EXPECT_STREQ(dhcp, c.result == 0 ? "Yes" : "");
    }
    // A machine that says so answers ERROR_NOT_SUPPORTED at every call.
    Describe(std::string(kAdapters) + "[IpHelper]\nGetAdaptersInfo=unsupported\n");
    char domain[kSettingSize] = "", ns[kSettingSize] = "", gw[kSettingSize] = "",
         dhcp[kDhcpSize] = "";
    EXPECT_EQ(ReadAdapterSettings("10.0.0.1", domain, ns, gw, dhcp), 50);
}

TEST_F(IpHelperDiscoveryTest, IpHelperThatCannotBeUsed) {
    Describe(kAdapters);
    char domain[kSettingSize] = "", ns[kSettingSize] = "", gw[kSettingSize] = "",
         dhcp[kDhcpSize] = "";
    Machine().Settings().Set("MissingExports", "iphlpapi.dll", "GetNetworkParams");
    EXPECT_EQ(ReadAdapterSettings("10.0.0.1", domain, ns, gw, dhcp), 1);
    Machine().Settings().Set("Libraries", "iphlpapi.dll", "absent");
    EXPECT_EQ(ReadAdapterSettings("10.0.0.1", domain, ns, gw, dhcp), 2);
    EXPECT_STREQ(dhcp, "");
}

TEST_F(IpHelperDiscoveryTest, LongDomainIsCutToItsField) {
    winsim::NetworkDescription net;
    net.adapters.push_back({});
    net.adapters[0].addresses = {{"10.0.0.1", "255.0.0.0"}};
    net.dns.domain = std::string(131, 'd');
    Net().SetDescription(net);
    char domain[kSettingSize + 1];
    std::memset(domain, '#', sizeof domain);
    char ns[kSettingSize] = "", gw[kSettingSize] = "", dhcp[kDhcpSize] = "";
    EXPECT_EQ(ReadAdapterSettings("10.0.0.1", domain, ns, gw, dhcp), 0);
    EXPECT_EQ(std::string(domain), std::string(kSettingSize - 1, 'd'));
    EXPECT_EQ(domain[kSettingSize], '#');
}

}  // namespace
