// The machine's network as Winsock and IP Helper report it: the IP interfaces, the adapters, the
// resolver settings, and the failures a machine can show. Described by the machine folder's
// network.ini, or read from this Linux host when that file says [Network] Source=live.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Machine;

// Interface flags with the values Winsock gives them.
enum : std::uint32_t {
    kIfUp = 0x1,
    kIfBroadcast = 0x2,
    kIfLoopback = 0x4,
    kIfPointToPoint = 0x8,
    kIfMulticast = 0x10,
};

// One entry of the Winsock interface list. Addresses are dotted IPv4 text.
struct NetInterface {
    std::string name;
    std::uint32_t flags = 0;
    std::string address = "0.0.0.0";
    std::string mask = "0.0.0.0";
    std::string broadcast = "0.0.0.0";
};

struct NetAddress {
    std::string address;
    std::string mask;
};

// One adapter of the IP Helper adapter list.
struct NetAdapter {
    std::string name;         // AdapterName
    std::string description;  // Description
    unsigned type = 6;        // MIB_IF_TYPE_ETHERNET
    unsigned index = 0;       // 0: the position in the list, from 1
    std::vector<std::uint8_t> hardware;
    std::vector<NetAddress> addresses;  // none: listed as 0.0.0.0
    std::vector<std::string> gateways;  // none: listed as 0.0.0.0
    bool dhcpEnabled = false;
    std::string dhcpServer;
};

struct NetDns {
    std::string hostName;
    std::string domain;
    std::vector<std::string> nameServers;
};

struct NetworkDescription {
    std::vector<NetInterface> interfaces;
    std::vector<NetAdapter> adapters;
    NetDns dns;
    // The machine's failures: IP Helper without adapter information (Windows 98 before its
    // second edition answers ERROR_NOT_SUPPORTED), Winsock that cannot start or make a socket.
    bool adaptersInfoSupported = true;
    bool startupFails = false;
    bool socketFails = false;
};

// network.ini text; throws MachineError naming `file` for what it cannot use. [Network]
// Source=live is answered by ReadLiveNetwork, with the failure switches of the file kept.
NetworkDescription ParseNetworkIni(std::string_view text, const std::filesystem::path& file);
// This host's IPv4 interfaces (getifaddrs), the default route of each (/proc/net/route) and
// the resolver's domain and name servers (/etc/resolv.conf). Never throws; what cannot be read
// is left out.
NetworkDescription ReadLiveNetwork();
// Dotted IPv4 text to the four bytes in network order; nullopt when it is not one.
std::optional<std::uint32_t> ParseIpv4(std::string_view text);

// A machine component: machine.Component<NetworkState>().
class NetworkState {
public:
    explicit NetworkState(Machine& machine);

    // Loaded from network.ini on first use (a missing file is a machine without a network).
    // Throws MachineError when the file cannot be used.
    const NetworkDescription& Description();
    // Tests describe the network in code.
    void SetDescription(NetworkDescription description);

    // Winsock bookkeeping: WSAStartup calls not yet cleaned up, and the open sockets.
    int startups = 0;
    std::set<std::uintptr_t> sockets;
    std::uintptr_t nextSocket = 0x40;
    // Results that the next GetAdaptersInfo calls give instead of their own, front first.
    std::deque<unsigned long> scriptedAdaptersInfoResults;

private:
    Machine& m_machine;
    std::optional<NetworkDescription> m_description;
};

}  // namespace winsim
