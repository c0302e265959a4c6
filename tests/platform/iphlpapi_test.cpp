// IP Helper over the machine's network: layouts, the size probe and the chained lists.
#include <windows.h>

#include <cstddef>
#include <vector>

#include "machine/network.h"
#include "test_machine.h"

namespace {

TEST(IpHelperLayout, MatchesTheSixtyFourBitBuild) {
    EXPECT_EQ(sizeof(IP_ADDR_STRING), 48u);
    EXPECT_EQ(sizeof(IP_ADAPTER_INFO), 704u);
    EXPECT_EQ(offsetof(IP_ADAPTER_INFO, DhcpEnabled), 424u);
    EXPECT_EQ(offsetof(IP_ADAPTER_INFO, IpAddressList), 440u);
    EXPECT_EQ(offsetof(IP_ADAPTER_INFO, GatewayList), 488u);
    EXPECT_EQ(sizeof(FIXED_INFO), 600u);
}

class IpHelperTest : public zutest::MachineTest {
protected:
    winsim::NetworkState& Net() { return Machine().Component<winsim::NetworkState>(); }
    void Describe(const std::string& text) {
        Net().SetDescription(winsim::ParseNetworkIni(text, "network.ini"));
    }
};

const char kAdapters[] =
    "[Adapter1]\nName={LAN}\nDescription=3Com EtherLink\nHardware=00-a0-c9-12-34-56\n"
    "Address=10.0.0.5/255.255.255.0, 10.0.0.6/255.255.0.0\nGateway=10.0.0.1, 10.0.0.2\n"
    "Dhcp=yes\nDhcpServer=10.0.0.1\n"
    "[Adapter2]\nName={PPP}\nType=ppp\n"
    "[DNS]\nHostName=pc1\nDomain=corp.example\nNameServers=10.0.0.53, 10.0.0.54\n";

TEST_F(IpHelperTest, AdapterListIsSizedThenFilled) {
    Describe(kAdapters);
    EXPECT_EQ(GetAdaptersInfo(nullptr, nullptr), DWORD(ERROR_INVALID_PARAMETER));
    ULONG size = 0;
    ASSERT_EQ(GetAdaptersInfo(nullptr, &size), DWORD(ERROR_BUFFER_OVERFLOW));
    // Two records and the strings of the second address and the second gateway.
    EXPECT_EQ(size, 2 * sizeof(IP_ADAPTER_INFO) + 2 * sizeof(IP_ADDR_STRING));
    std::vector<unsigned char> block(size);
    auto* info = reinterpret_cast<PIP_ADAPTER_INFO>(block.data());
    ULONG small = size - 1;
    EXPECT_EQ(GetAdaptersInfo(info, &small), DWORD(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(small, size);
    ASSERT_EQ(GetAdaptersInfo(info, &size), DWORD(ERROR_SUCCESS));

    EXPECT_STREQ(info->AdapterName, "{LAN}");
    EXPECT_STREQ(info->Description, "3Com EtherLink");
    EXPECT_EQ(info->AddressLength, 6u);
    EXPECT_EQ(info->Address[5], 0x56);
    EXPECT_EQ(info->Type, UINT(MIB_IF_TYPE_ETHERNET));
    EXPECT_EQ(info->DhcpEnabled, 1u);
    EXPECT_STREQ(info->IpAddressList.IpAddress.String, "10.0.0.5");
    ASSERT_NE(info->IpAddressList.Next, nullptr);
    EXPECT_STREQ(info->IpAddressList.Next->IpAddress.String, "10.0.0.6");
    EXPECT_STREQ(info->IpAddressList.Next->IpMask.String, "255.255.0.0");
    EXPECT_STREQ(info->GatewayList.IpAddress.String, "10.0.0.1");
    ASSERT_NE(info->GatewayList.Next, nullptr);
    EXPECT_STREQ(info->GatewayList.Next->IpAddress.String, "10.0.0.2");
    EXPECT_STREQ(info->DhcpServer.IpAddress.String, "10.0.0.1");

    PIP_ADAPTER_INFO ppp = info->Next;
    ASSERT_NE(ppp, nullptr);
    EXPECT_EQ(ppp->Next, nullptr);
    EXPECT_EQ(ppp->Type, UINT(MIB_IF_TYPE_PPP));
    EXPECT_EQ(ppp->DhcpEnabled, 0u);
    EXPECT_STREQ(ppp->IpAddressList.IpAddress.String, "0.0.0.0");
    EXPECT_EQ(ppp->IpAddressList.Next, nullptr);
    EXPECT_STREQ(ppp->GatewayList.IpAddress.String, "0.0.0.0");
    // The chained strings lie inside the block.
    auto inside = [&](const void* p) {
        auto* byte = static_cast<const unsigned char*>(p);
        return byte >= block.data() && byte + sizeof(IP_ADDR_STRING) <= block.data() + block.size();
    };
    EXPECT_TRUE(inside(info->IpAddressList.Next));
    EXPECT_TRUE(inside(info->GatewayList.Next));
}

TEST_F(IpHelperTest, AdapterListFailuresTheMachineCanShow) {
    ULONG size = 0;
    // No adapters at all.
    EXPECT_EQ(GetAdaptersInfo(nullptr, &size), DWORD(ERROR_NO_DATA));
    Describe(std::string(kAdapters) + "[IpHelper]\nGetAdaptersInfo=unsupported\n");
    EXPECT_EQ(GetAdaptersInfo(nullptr, &size), DWORD(ERROR_NOT_SUPPORTED));
    // Scripted answers come first, one call each.
    Describe(kAdapters);
    Net().scriptedAdaptersInfoResults = {ERROR_NO_DATA, ERROR_NOT_SUPPORTED};
    EXPECT_EQ(GetAdaptersInfo(nullptr, &size), DWORD(ERROR_NO_DATA));
    EXPECT_EQ(GetAdaptersInfo(nullptr, &size), DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(GetAdaptersInfo(nullptr, &size), DWORD(ERROR_BUFFER_OVERFLOW));
}

TEST_F(IpHelperTest, NetworkParamsChainTheNameServersAndCutLongNames) {
    Describe(std::string(kAdapters, sizeof kAdapters - 1));
    ULONG size = 0;
    EXPECT_EQ(GetNetworkParams(nullptr, nullptr), DWORD(ERROR_INVALID_PARAMETER));
    ASSERT_EQ(GetNetworkParams(nullptr, &size), DWORD(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(size, sizeof(FIXED_INFO) + sizeof(IP_ADDR_STRING));
    std::vector<unsigned char> block(size);
    auto* info = reinterpret_cast<PFIXED_INFO>(block.data());
    ASSERT_EQ(GetNetworkParams(info, &size), DWORD(ERROR_SUCCESS));
    EXPECT_STREQ(info->HostName, "pc1");
    EXPECT_STREQ(info->DomainName, "corp.example");
    EXPECT_STREQ(info->DnsServerList.IpAddress.String, "10.0.0.53");
    ASSERT_NE(info->DnsServerList.Next, nullptr);
    EXPECT_STREQ(info->DnsServerList.Next->IpAddress.String, "10.0.0.54");

    winsim::NetworkDescription net;
    net.dns.domain = std::string(200, 'd');
    Net().SetDescription(net);
    size = sizeof(FIXED_INFO);
    ASSERT_EQ(GetNetworkParams(info, &size), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(std::string(info->DomainName), std::string(MAX_DOMAIN_NAME_LEN + 3, 'd'));
    EXPECT_STREQ(info->DnsServerList.IpAddress.String, "");
}

}  // namespace
