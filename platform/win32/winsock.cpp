// Winsock over the machine's network: version negotiation, datagram sockets that exist only to
// be asked, and the interface list of SIO_GET_INTERFACE_LIST.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "machine/machine.h"
#include "machine/network.h"

namespace {

thread_local int t_wsaError = 0;

int Fail(int error) {
    t_wsaError = error;
    return SOCKET_ERROR;
}

winsim::NetworkState& Network() {
    return winsim::CurrentMachine().Component<winsim::NetworkState>();
}

// The network description; a network.ini that cannot be used ends the program as a machine
// folder that cannot be loaded does.
const winsim::NetworkDescription& Description() {
    try {
        return Network().Description();
    } catch (const winsim::MachineError& e) {
        std::fprintf(stderr, "winsim: %s\n", e.what());
        std::fflush(stderr);
        std::_Exit(3);
    }
}

void FillAddress(sockaddr_gen& out, const std::string& text) {
    std::memset(&out, 0, sizeof out);
    out.AddressIn.sin_family = AF_INET;
    out.AddressIn.sin_addr.s_addr = winsim::ParseIpv4(text).value_or(0);
}

}  // namespace

int WINAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    if (!lpWSAData) return WSAEFAULT;
    if (Description().startupFails) return WSASYSNOTREADY;
    // Versions below 1.1 are not offered; anything later is answered with 2.2 at most.
    BYTE major = LOBYTE(wVersionRequested), minor = HIBYTE(wVersionRequested);
    if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
    std::memset(lpWSAData, 0, sizeof *lpWSAData);
    lpWSAData->wVersion =
        (major > 2 || (major == 2 && minor > 2)) ? MAKEWORD(2, 2) : wVersionRequested;
    lpWSAData->wHighVersion = MAKEWORD(2, 2);
    std::snprintf(lpWSAData->szDescription, sizeof lpWSAData->szDescription, "WinSock 2.0");
    std::snprintf(lpWSAData->szSystemStatus, sizeof lpWSAData->szSystemStatus, "Running");
    ++Network().startups;
    return 0;
}

int WINAPI WSACleanup(void) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    winsim::NetworkState& net = Network();
    if (net.startups == 0) return Fail(WSANOTINITIALISED);
    // The last cleanup closes the sockets the process left open.
    if (--net.startups == 0) net.sockets.clear();
    return 0;
}

int WINAPI WSAGetLastError(void) {
    return t_wsaError;
}

SOCKET WINAPI WSASocketA(int af, int type, int protocol, LPWSAPROTOCOL_INFOA, GROUP, DWORD) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    winsim::NetworkState& net = Network();
    if (net.startups == 0) {
        Fail(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    if (af != AF_INET || (type != SOCK_DGRAM && type != SOCK_STREAM) ||
        (protocol != 0 && protocol != (type == SOCK_DGRAM ? IPPROTO_UDP : IPPROTO_TCP))) {
        Fail(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (Description().socketFails) {
        Fail(WSAENETDOWN);
        return INVALID_SOCKET;
    }
    SOCKET s = net.nextSocket;
    net.nextSocket += 4;
    net.sockets.insert(s);
    return s;
}

int WINAPI WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID, DWORD, LPVOID lpvOutBuffer,
                    DWORD cbOutBuffer, LPDWORD lpcbBytesReturned, LPWSAOVERLAPPED,
                    LPWSAOVERLAPPED_COMPLETION_ROUTINE) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    winsim::NetworkState& net = Network();
    if (net.startups == 0) return Fail(WSANOTINITIALISED);
    if (!net.sockets.count(s)) return Fail(WSAENOTSOCK);
    if (dwIoControlCode != SIO_GET_INTERFACE_LIST) return Fail(WSAEINVAL);
    if (!lpcbBytesReturned) return Fail(WSAEFAULT);
    *lpcbBytesReturned = 0;

    // Every interface with an IPv4 address, in the machine's order; the list must fit whole.
    const auto& interfaces = Description().interfaces;
    size_t needed = interfaces.size() * sizeof(INTERFACE_INFO);
    if (!lpvOutBuffer || cbOutBuffer < needed) return Fail(WSAEFAULT);
    auto* entries = static_cast<INTERFACE_INFO*>(lpvOutBuffer);
    for (size_t i = 0; i < interfaces.size(); ++i) {
        entries[i].iiFlags = interfaces[i].flags;
        FillAddress(entries[i].iiAddress, interfaces[i].address);
        FillAddress(entries[i].iiBroadcastAddress, interfaces[i].broadcast);
        FillAddress(entries[i].iiNetmask, interfaces[i].mask);
    }
    *lpcbBytesReturned = static_cast<DWORD>(needed);
    return 0;
}

char* WINAPI inet_ntoa(struct in_addr in) {
    // One buffer per thread, overwritten by the next call, as Winsock keeps it.
    thread_local char text[16];
    const auto& b = in.S_un.S_un_b;
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b.s_b1, b.s_b2, b.s_b3, b.s_b4);
    return text;
}

int WINAPI closesocket(SOCKET s) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    winsim::NetworkState& net = Network();
    if (net.startups == 0) return Fail(WSANOTINITIALISED);
    if (net.sockets.erase(s) == 0) return Fail(WSAENOTSOCK);
    return 0;
}
