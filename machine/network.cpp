#include "machine/network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "machine/machine.h"

namespace winsim {

namespace {

// Items of a list separated by commas and/or blanks.
std::vector<std::string> SplitList(std::string_view text) {
    std::vector<std::string> items;
    std::string item;
    for (char c : text) {
        if (c == ',' || std::isspace(static_cast<unsigned char>(c))) {
            if (!item.empty()) items.push_back(item);
            item.clear();
        } else {
            item += c;
        }
    }
    if (!item.empty()) items.push_back(item);
    return items;
}

std::string Ipv4Text(std::uint32_t networkOrder) {
    char text[INET_ADDRSTRLEN] = "";
    in_addr addr{};
    addr.s_addr = networkOrder;
    inet_ntop(AF_INET, &addr, text, sizeof text);
    return text;
}

class IniReader {
public:
    IniReader(const MachineSettings& settings, const std::filesystem::path& file)
        : m_settings(settings), m_file(file) {}

    std::string Text(const std::string& section, const char* key, const char* fallback = "") {
        return m_settings.Get(section, key, fallback);
    }
    std::string Address(const std::string& section, const char* key, const char* fallback) {
        std::string text = Text(section, key, fallback);
        Check(section, key, text);
        return text;
    }
    std::vector<std::string> Addresses(const std::string& section, const char* key) {
        std::vector<std::string> list = SplitList(Text(section, key));
        for (const std::string& item : list) Check(section, key, item);
        return list;
    }
    bool Switch(const std::string& section, const char* key, const char* on, const char* off,
                bool fallback) {
        auto text = m_settings.Find(section, key);
        if (!text) return fallback;
        if (EqualNoCase(*text, on)) return true;
        if (EqualNoCase(*text, off)) return false;
        return Fail(section, key, "must be " + std::string(on) + " or " + off);
    }
    [[noreturn]] bool Fail(const std::string& section, const char* key, const std::string& why) {
        throw MachineError(m_file, 0, "[" + section + "] " + key + " " + why);
    }

private:
    void Check(const std::string& section, const char* key, const std::string& text) {
        if (!ParseIpv4(text)) Fail(section, key, "\"" + text + "\" is no IPv4 address");
    }
    const MachineSettings& m_settings;
    const std::filesystem::path& m_file;
};

std::uint32_t ParseFlags(IniReader& ini, const std::string& section) {
    static const std::pair<const char*, std::uint32_t> kWords[] = {
        {"up", kIfUp},
        {"broadcast", kIfBroadcast},
        {"loopback", kIfLoopback},
        {"point-to-point", kIfPointToPoint},
        {"multicast", kIfMulticast},
    };
    std::uint32_t flags = 0;
    for (const std::string& word : SplitList(ini.Text(section, "Flags"))) {
        bool known = false;
        for (const auto& [name, bit] : kWords) {
            if (EqualNoCase(word, name)) {
                flags |= bit;
                known = true;
            }
        }
        if (!known)
            ini.Fail(section, "Flags",
                     "\"" + word + "\": use up, broadcast, loopback, point-to-point, multicast");
    }
    return flags;
}

unsigned ParseAdapterType(IniReader& ini, const std::string& section) {
    static const std::pair<const char*, unsigned> kTypes[] = {
        {"ethernet", 6}, {"tokenring", 9}, {"ppp", 23}, {"loopback", 24}, {"slip", 28}};
    std::string text = ini.Text(section, "Type", "ethernet");
    for (const auto& [name, type] : kTypes)
        if (EqualNoCase(text, name)) return type;
    char* end = nullptr;
    unsigned long number = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number > 0xffff)
        ini.Fail(section, "Type",
                 "\"" + text +
                     "\": use ethernet, tokenring, ppp, loopback, "
                     "slip or a number");
    return static_cast<unsigned>(number);
}

std::vector<std::uint8_t> ParseHardware(IniReader& ini, const std::string& section) {
    std::vector<std::uint8_t> bytes;
    std::string text = ini.Text(section, "Hardware");
    if (text.empty()) return bytes;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, text.find(':') != std::string::npos ? ':' : '-')) {
        char* end = nullptr;
        unsigned long byte = std::strtoul(part.c_str(), &end, 16);
        if (part.empty() || part.size() > 2 || *end != '\0' || bytes.size() == 8)
            ini.Fail(section, "Hardware", "must be up to 8 hex bytes such as 00-a0-c9-12-34-56");
        bytes.push_back(static_cast<std::uint8_t>(byte));
    }
    return bytes;
}

}  // namespace

std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
    // inet_pton takes exactly four decimal parts, as dotted text from Windows has.
    std::string copy(text);
    in_addr addr{};
    if (copy.empty() || inet_pton(AF_INET, copy.c_str(), &addr) != 1) return std::nullopt;
    return addr.s_addr;
}

NetworkDescription ParseNetworkIni(std::string_view text, const std::filesystem::path& file) {
    MachineSettings settings = MachineSettings::Parse(text, file);
    IniReader ini(settings, file);
    NetworkDescription net;

    std::string source = ini.Text("Network", "Source", "file");
    if (EqualNoCase(source, "live")) {
        net = ReadLiveNetwork();
    } else if (!EqualNoCase(source, "file")) {
        ini.Fail("Network", "Source", "must be file or live");
    } else {
        for (int n = 1; !settings.Section("Interface" + std::to_string(n)).empty(); ++n) {
            std::string section = "Interface" + std::to_string(n);
            NetInterface entry;
            entry.name = ini.Text(section, "Name");
            entry.flags = ParseFlags(ini, section);
            entry.address = ini.Address(section, "Address", "0.0.0.0");
            entry.mask = ini.Address(section, "Mask", "0.0.0.0");
            entry.broadcast = ini.Address(section, "Broadcast", "0.0.0.0");
            net.interfaces.push_back(entry);
        }
        for (int n = 1; !settings.Section("Adapter" + std::to_string(n)).empty(); ++n) {
            std::string section = "Adapter" + std::to_string(n);
            NetAdapter adapter;
            adapter.name = ini.Text(section, "Name");
            adapter.description = ini.Text(section, "Description");
            adapter.type = ParseAdapterType(ini, section);
            adapter.index = static_cast<unsigned>(n);
            adapter.hardware = ParseHardware(ini, section);
            // Address=10.0.0.5/255.255.255.0, 10.0.0.6/255.255.0.0: address and mask pairs.
            for (const std::string& pair : SplitList(ini.Text(section, "Address"))) {
                size_t slash = pair.find('/');
                NetAddress address{pair.substr(0, slash),
                                   slash == std::string::npos ? "" : pair.substr(slash + 1)};
                if (!ParseIpv4(address.address) || !ParseIpv4(address.mask))
                    ini.Fail(section, "Address",
                             "\"" + pair +
                                 "\" must be address/mask, such as "
                                 "10.0.0.5/255.255.255.0");
                adapter.addresses.push_back(address);
            }
            adapter.gateways = ini.Addresses(section, "Gateway");
            adapter.dhcpEnabled = ini.Switch(section, "Dhcp", "yes", "no", false);
            adapter.dhcpServer = ini.Text(section, "DhcpServer");
            if (!adapter.dhcpServer.empty()) ini.Address(section, "DhcpServer", "");
            net.adapters.push_back(adapter);
        }
        net.dns.hostName = ini.Text("DNS", "HostName");
        net.dns.domain = ini.Text("DNS", "Domain");
        net.dns.nameServers = ini.Addresses("DNS", "NameServers");
    }
    net.adaptersInfoSupported =
        ini.Switch("IpHelper", "GetAdaptersInfo", "supported", "unsupported", true);
    net.startupFails = ini.Switch("Winsock", "Startup", "fail", "ok", false);
    net.socketFails = ini.Switch("Winsock", "Socket", "fail", "ok", false);
    return net;
}

NetworkDescription ReadLiveNetwork() {
    NetworkDescription net;

    // Default routes by interface: /proc/net/route prints the gateway as the hex of the
    // address's four bytes read as a host-order number.
    std::vector<std::pair<std::string, std::string>> routes;
    std::ifstream routeFile("/proc/net/route");
    std::string line;
    std::getline(routeFile, line);  // the heading
    while (std::getline(routeFile, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway;
        if (!(fields >> iface >> destination >> gateway)) continue;
        if (std::strtoul(destination.c_str(), nullptr, 16) != 0) continue;
        std::uint32_t address =
            static_cast<std::uint32_t>(std::strtoul(gateway.c_str(), nullptr, 16));
        if (address != 0) routes.emplace_back(iface, Ipv4Text(address));
    }

    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
            if (!entry->ifa_name) continue;
            std::string name = entry->ifa_name;
            unsigned flags = entry->ifa_flags;
            bool loopback = (flags & IFF_LOOPBACK) != 0;

            // Every interface is an adapter but the loopback, which IP Helper does not list.
            NetAdapter* adapter = nullptr;
            for (NetAdapter& known : net.adapters)
                if (known.description == name) adapter = &known;
            if (!adapter && !loopback) {
                NetAdapter fresh;
                fresh.description = name;
                fresh.index = if_nametoindex(entry->ifa_name);
                char guid[64];
                std::snprintf(guid, sizeof guid, "{%08X-0000-0000-0000-000000000000}", fresh.index);
                fresh.name = guid;
                fresh.type = (flags & IFF_POINTOPOINT) ? 23 : 6;
                for (const auto& [iface, gateway] : routes)
                    if (iface == name) fresh.gateways.push_back(gateway);
                net.adapters.push_back(fresh);
                adapter = &net.adapters.back();
            }

            if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
            auto address = [](sockaddr* sa) {
                return sa && sa->sa_family == AF_INET
                           ? Ipv4Text(reinterpret_cast<sockaddr_in*>(sa)->sin_addr.s_addr)
                           : std::string("0.0.0.0");
            };
            NetInterface iface;
            iface.name = name;
            if (flags & IFF_UP) iface.flags |= kIfUp;
            if (flags & IFF_BROADCAST) iface.flags |= kIfBroadcast;
            if (flags & IFF_LOOPBACK) iface.flags |= kIfLoopback;
            if (flags & IFF_POINTOPOINT) iface.flags |= kIfPointToPoint;
            if (flags & IFF_MULTICAST) iface.flags |= kIfMulticast;
            iface.address = address(entry->ifa_addr);
            iface.mask = address(entry->ifa_netmask);
            if (flags & IFF_BROADCAST) iface.broadcast = address(entry->ifa_broadaddr);
            net.interfaces.push_back(iface);
            if (adapter) adapter->addresses.push_back({iface.address, iface.mask});
        }
        freeifaddrs(list);
    }

    char host[256] = "";
    if (gethostname(host, sizeof host - 1) == 0) {
        net.dns.hostName = host;
        net.dns.hostName = net.dns.hostName.substr(0, net.dns.hostName.find('.'));
    }
    // The resolver takes the last "domain" or "search" line; its first domain is the one.
    std::ifstream resolv("/etc/resolv.conf");
    while (std::getline(resolv, line)) {
        std::istringstream fields(line);
        std::string word, value;
        if (!(fields >> word >> value)) continue;
        if (word == "domain" || word == "search") net.dns.domain = value;
        // IP Helper's server texts hold IPv4 addresses only.
        if (word == "nameserver" && ParseIpv4(value)) net.dns.nameServers.push_back(value);
    }
    return net;
}

NetworkState::NetworkState(Machine& machine) : m_machine(machine) {}

const NetworkDescription& NetworkState::Description() {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    if (!m_description) {
        std::filesystem::path file = m_machine.Folder() / "network.ini";
        std::error_code ec;
        m_description = std::filesystem::exists(file, ec)
                            ? ParseNetworkIni(ReadWholeFile(file), file)
                            : NetworkDescription{};
    }
    return *m_description;
}

void NetworkState::SetDescription(NetworkDescription description) {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    m_description = std::move(description);
}

}  // namespace winsim
