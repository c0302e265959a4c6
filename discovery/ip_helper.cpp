// The address, mask, gateway, DHCP state and DNS settings as the operating system's networking
// libraries report them. Both libraries are loaded by name at run time, so that the agent also
// starts on systems that lack them.
#include <cstdlib>

#include "bounded_text.h"
#include "discovery.h"

namespace {

// Whether a fixed-size text field holds exactly `text`.
template <size_t N>
bool FieldEquals(const char (&field)[N], const char* text) {
    size_t length = strnlen(field, N);
    return length < N && std::strcmp(field, text) == 0;
}

}  // namespace

int ReadInterfaceAddress(char* ip, char* subnetMask) {
    HMODULE hWinsock = LoadLibraryA("WS2_32.dll");
    if (!hWinsock) {
        MessageBoxExA(nullptr,
                      "Error : LAN Finchwell couldn't load a DLL needed to run the application.",
                      "Error", MB_OK | MB_ICONERROR, MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL));
        return 2;
    }
    auto pWSAStartup = reinterpret_cast<LPFN_WSASTARTUP>(GetProcAddress(hWinsock, "WSAStartup"));
    auto pWSACleanup = reinterpret_cast<LPFN_WSACLEANUP>(GetProcAddress(hWinsock, "WSACleanup"));
    auto pWSASocketA = reinterpret_cast<LPFN_WSASOCKETA>(GetProcAddress(hWinsock, "WSASocketA"));
    auto pWSAIoctl = reinterpret_cast<LPFN_WSAIOCTL>(GetProcAddress(hWinsock, "WSAIoctl"));
    auto pInetNtoa = reinterpret_cast<LPFN_INET_NTOA>(GetProcAddress(hWinsock, "inet_ntoa"));
    auto pCloseSocket = reinterpret_cast<LPFN_CLOSESOCKET>(GetProcAddress(hWinsock, "closesocket"));
    // A library without all six cannot be asked.
    if (!pWSAStartup || !pWSACleanup || !pWSASocketA || !pWSAIoctl || !pInetNtoa || !pCloseSocket) {
        FreeLibrary(hWinsock);
        return 1;
    }

    WSADATA wsaData;
    if (pWSAStartup(MAKEWORD(2, 2), &wsaData) != 0) {
        FreeLibrary(hWinsock);
        return 1;
    }
    SOCKET s = pWSASocketA(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, 0);
    if (s == INVALID_SOCKET) {
        pWSACleanup();
        FreeLibrary(hWinsock);
        return 1;
    }
    INTERFACE_INFO interfaces[10];
    DWORD bytesReturned = 0;
    if (pWSAIoctl(s, SIO_GET_INTERFACE_LIST, nullptr, 0, interfaces, sizeof interfaces,
                  &bytesReturned, nullptr, nullptr) == SOCKET_ERROR) {
        pCloseSocket(s);
        pWSACleanup();
        FreeLibrary(hWinsock);
        return 1;
    }
    pCloseSocket(s);

    // Loopback and dial-up links carry no LAN address; whether the interface is up does not
    // matter.
    size_t count = bytesReturned / sizeof(INTERFACE_INFO);
    if (count > sizeof interfaces / sizeof interfaces[0])
        count = sizeof interfaces / sizeof interfaces[0];
    for (size_t i = 0; i < count; ++i) {
        if ((interfaces[i].iiFlags & (IFF_LOOPBACK | IFF_POINTTOPOINT)) != 0) continue;
        if (const char* text = pInetNtoa(interfaces[i].iiAddress.AddressIn.sin_addr))
            CopyBounded(ip, kSettingSize, text);
        if (const char* text = pInetNtoa(interfaces[i].iiNetmask.AddressIn.sin_addr))
            CopyBounded(subnetMask, kSettingSize, text);
        break;
    }
    pWSACleanup();
    FreeLibrary(hWinsock);
    return 0;
}

int ReadAdapterSettings(const char* ip, char* domain, char* nameServer, char* gateway, char* dhcp) {
    HMODULE hIpHelper = LoadLibraryA("iphlpapi.dll");
    if (!hIpHelper) return 2;
    auto pGetAdaptersInfo =
        reinterpret_cast<LPFN_GETADAPTERSINFO>(GetProcAddress(hIpHelper, "GetAdaptersInfo"));
    auto pGetNetworkParams =
        reinterpret_cast<LPFN_GETNETWORKPARAMS>(GetProcAddress(hIpHelper, "GetNetworkParams"));
    if (!pGetAdaptersInfo || !pGetNetworkParams) {
        FreeLibrary(hIpHelper);
        return 1;
    }

    ULONG size = 0;
    if (pGetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW) {
        // Only a second answer tells "not supported here" from a failure.
        size = 0;
        DWORD result = pGetAdaptersInfo(nullptr, &size);
        FreeLibrary(hIpHelper);
        return result == ERROR_NOT_SUPPORTED ? ERROR_NOT_SUPPORTED : 1;
    }
    auto* pAdapters = static_cast<PIP_ADAPTER_INFO>(std::malloc(size));
    if (!pAdapters) {
        FreeLibrary(hIpHelper);
        return 1;
    }
    if (pGetAdaptersInfo(pAdapters, &size) != ERROR_SUCCESS) {
        std::free(pAdapters);
        FreeLibrary(hIpHelper);
        return 1;
    }

    // The adapter whose first address is ours; its further addresses are not looked at.
    PIP_ADAPTER_INFO pChosen = pAdapters;
    while (pChosen && !FieldEquals(pChosen->IpAddressList.IpAddress.String, ip))
        pChosen = pChosen->Next;
    if (!pChosen) {
        std::free(pAdapters);
        FreeLibrary(hIpHelper);
        return 0;
    }
    CopyBounded(dhcp, kDhcpSize, pChosen->DhcpEnabled ? "Yes" : "No");
    CopyField(gateway, kSettingSize, pChosen->GatewayList.IpAddress.String);
    std::free(pAdapters);

    size = 0;
    PFIXED_INFO pParams = nullptr;
    if (pGetNetworkParams(nullptr, &size) == ERROR_BUFFER_OVERFLOW &&
        (pParams = static_cast<PFIXED_INFO>(std::malloc(size))) != nullptr &&
        pGetNetworkParams(pParams, &size) == ERROR_SUCCESS) {
        CopyField(domain, kSettingSize, pParams->DomainName);
        CopyField(nameServer, kSettingSize, pParams->DnsServerList.IpAddress.String);
    }
    std::free(pParams);
    FreeLibrary(hIpHelper);
    return 0;
}
