// Winsock and run-time library loading over the machine's network.
#include <windows.h>

#include <cstddef>

#include "machine/network.h"
#include "test_machine.h"

namespace {

class WinsockTest : public zutest::MachineTest {
protected:
    winsim::NetworkState& Net() { return Machine().Component<winsim::NetworkState>(); }
    void UseNetworkIni(const std::string& text) {
        zutest::WriteFile(Machine().Folder() / "network.ini", text);
    }
};

const char kTwoInterfaces[] =
    "[Interface1]\nName=lo\nFlags=up loopback\nAddress=127.0.0.1\nMask=255.0.0.0\n"
    "[Interface2]\nName=eth0\nFlags=up, broadcast, multicast\nAddress=192.0.2.2\n"
    "Mask=255.255.255.0\nBroadcast=192.0.2.255\n";

TEST(WinsockLayout, InterfaceEntriesKeepTheirOffsets) {
    EXPECT_EQ(offsetof(INTERFACE_INFO, iiAddress), 4u);
    EXPECT_EQ(offsetof(INTERFACE_INFO, iiBroadcastAddress), 28u);
    EXPECT_EQ(offsetof(INTERFACE_INFO, iiNetmask), 52u);
    EXPECT_EQ(sizeof(in_addr), 4u);
}

TEST_F(WinsockTest, InterfaceListComesFromNetworkIni) {
    UseNetworkIni(kTwoInterfaces);
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
    SOCKET s = WSASocketA(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, 0);
    ASSERT_NE(s, INVALID_SOCKET);

    INTERFACE_INFO list[10];
    DWORD bytes = 0;
    ASSERT_EQ(WSAIoctl(s, SIO_GET_INTERFACE_LIST, nullptr, 0, list, sizeof list, &bytes, nullptr,
                       nullptr),
              0);
    ASSERT_EQ(bytes, 2 * sizeof(INTERFACE_INFO));
    EXPECT_EQ(list[0].iiFlags, ULONG(IFF_UP | IFF_LOOPBACK));
    EXPECT_STREQ(inet_ntoa(list[0].iiAddress.AddressIn.sin_addr), "127.0.0.1");
    EXPECT_EQ(list[1].iiFlags, ULONG(IFF_UP | IFF_BROADCAST | IFF_MULTICAST));
    EXPECT_EQ(list[1].iiAddress.AddressIn.sin_family, AF_INET);
    EXPECT_STREQ(inet_ntoa(list[1].iiAddress.AddressIn.sin_addr), "192.0.2.2");
    EXPECT_STREQ(inet_ntoa(list[1].iiNetmask.AddressIn.sin_addr), "255.255.255.0");
    EXPECT_STREQ(inet_ntoa(list[1].iiBroadcastAddress.AddressIn.sin_addr), "192.0.2.255");

    // The whole list must fit: one entry's room is too little.
    bytes = 99;
    EXPECT_EQ(WSAIoctl(s, SIO_GET_INTERFACE_LIST, nullptr, 0, list, sizeof(INTERFACE_INFO), &bytes,
                       nullptr, nullptr),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(bytes, 0u);

    EXPECT_EQ(closesocket(s), 0);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(Net().startups, 0);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST_F(WinsockTest, MachineCanRefuseStartupOrSockets) {
    UseNetworkIni("[Winsock]\nStartup=fail\n");
    WSADATA data;
    EXPECT_NE(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(Net().startups, 0);

    Net().SetDescription([] {
        winsim::NetworkDescription net;
        net.socketFails = true;
        return net;
    }());
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(WSASocketA(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, 0), INVALID_SOCKET);
    EXPECT_EQ(WSACleanup(), 0);
    // Nothing is asked before startup.
    EXPECT_EQ(WSASocketA(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST_F(WinsockTest, NetworkIniThatCannotBeUsedNamesFileAndKey) {
    const char* bad[] = {
        "[Interface1]\nAddress=10.0.0.300\n",
        "[Interface1]\nFlags=up sideways\n",
        "[Adapter1]\nAddress=10.0.0.5\n",  // no mask
        "[Adapter1]\nDhcp=maybe\n",
        "[Network]\nSource=cloud\n",
        "[DNS]\nNameServers=10.0.0.1, ns.example\n",
    };
    for (const char* text : bad) {
        try {
            winsim::ParseNetworkIni(text, "/m/network.ini");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const winsim::MachineError& e) {
            EXPECT_EQ(e.File(), "/m/network.ini");
            EXPECT_NE(std::string(e.what()).find("] "), std::string::npos) << e.what();
        }
    }
}

// This host's own network: no particular addresses are assumed, only that what is reported is
// well-formed and that the loopback is among the interfaces but not among the adapters.
TEST(LiveNetwork, ReportsThisHostsInterfacesAndResolver) {
    winsim::NetworkDescription net = winsim::ReadLiveNetwork();
    bool loopback = false;
    for (const auto& iface : net.interfaces) {
        EXPECT_TRUE(winsim::ParseIpv4(iface.address)) << iface.name;
        EXPECT_TRUE(winsim::ParseIpv4(iface.mask)) << iface.name;
        if (iface.flags & winsim::kIfLoopback) loopback = true;
    }
    EXPECT_TRUE(loopback);
    for (const auto& adapter : net.adapters) {
        EXPECT_NE(adapter.type, 24u) << adapter.description;
        for (const auto& gateway : adapter.gateways) EXPECT_TRUE(winsim::ParseIpv4(gateway));
    }
    for (const auto& server : net.dns.nameServers) EXPECT_TRUE(winsim::ParseIpv4(server));
}

class ModuleTest : public zutest::MachineTest {};

TEST_F(ModuleTest, LibrariesLoadByNameUnlessTheMachineLacksThem) {
    HMODULE winsock = LoadLibraryA("ws2_32");
    ASSERT_NE(winsock, nullptr);
    EXPECT_EQ(LoadLibraryA("C:\\WINNT\\System32\\WS2_32.DLL"), winsock);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(winsock, "WSAIoctl")),
              reinterpret_cast<void*>(&WSAIoctl));
    // Entry point names are case-sensitive.
    EXPECT_EQ(GetProcAddress(winsock, "wsaioctl"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(winsock));
    EXPECT_TRUE(FreeLibrary(winsock));
    EXPECT_FALSE(FreeLibrary(winsock));
    EXPECT_EQ(GetProcAddress(winsock, "WSAIoctl"), nullptr);
    EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));

    Machine().Settings().Set("Libraries", "WS2_32.dll", "absent");
    Machine().Settings().Set("MissingExports", "iphlpapi.dll", "GetNetworkParams");
    EXPECT_EQ(LoadLibraryA("WS2_32.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    HMODULE ipHelper = LoadLibraryA("IPHLPAPI.DLL");
    ASSERT_NE(ipHelper, nullptr);
    EXPECT_NE(GetProcAddress(ipHelper, "GetAdaptersInfo"), nullptr);
    EXPECT_EQ(GetProcAddress(ipHelper, "GetNetworkParams"), nullptr);
    EXPECT_TRUE(FreeLibrary(ipHelper));
}

}  // namespace
