// IP Helper over the machine's network: the adapter list and the network parameters, each
// delivered as one block that the caller sizes with a first call (ERROR_BUFFER_OVERFLOW and the
// size needed), the records first and the further address strings they chain to behind them.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "machine/machine.h"
#include "machine/network.h"

namespace {

const winsim::NetworkDescription& Description(winsim::NetworkState& net) {
    try {
        return net.Description();
    } catch (const winsim::MachineError& e) {
        std::fprintf(stderr, "winsim: %s\n", e.what());
        std::fflush(stderr);
        std::_Exit(3);
    }
}

template <size_t N>
void CopyText(char (&out)[N], const std::string& text) {
    std::snprintf(out, N, "%s", text.c_str());
}

// Writes a list of address/mask pairs as a chain that starts in `first` and continues in the
// spare strings at `*spare`; an empty list reads as 0.0.0.0.
void FillChain(IP_ADDR_STRING& first, const std::vector<winsim::NetAddress>& list,
               IP_ADDR_STRING*& spare) {
    std::memset(&first, 0, sizeof first);
    CopyText(first.IpAddress.String, list.empty() ? "0.0.0.0" : list[0].address);
    CopyText(first.IpMask.String, list.empty() ? "0.0.0.0" : list[0].mask);
    IP_ADDR_STRING* last = &first;
    for (size_t i = 1; i < list.size(); ++i) {
        IP_ADDR_STRING* next = spare++;
        std::memset(next, 0, sizeof *next);
        CopyText(next->IpAddress.String, list[i].address);
        CopyText(next->IpMask.String, list[i].mask);
        last->Next = next;
        last = next;
    }
}

size_t Spares(size_t listed) {
    return listed > 1 ? listed - 1 : 0;
}

std::vector<winsim::NetAddress> Gateways(const winsim::NetAdapter& adapter) {
    std::vector<winsim::NetAddress> list;
    for (const std::string& gateway : adapter.gateways)
        list.push_back({gateway, "255.255.255.255"});
    return list;
}

}  // namespace

DWORD WINAPI GetAdaptersInfo(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    winsim::NetworkState& net = winsim::CurrentMachine().Component<winsim::NetworkState>();
    if (!net.scriptedAdaptersInfoResults.empty()) {
        DWORD result = static_cast<DWORD>(net.scriptedAdaptersInfoResults.front());
        net.scriptedAdaptersInfoResults.pop_front();
        return result;
    }
    if (!pOutBufLen) return ERROR_INVALID_PARAMETER;
    const winsim::NetworkDescription& description = Description(net);
    if (!description.adaptersInfoSupported) return ERROR_NOT_SUPPORTED;
    const auto& adapters = description.adapters;
    if (adapters.empty()) return ERROR_NO_DATA;

    size_t spares = 0;
    for (const auto& adapter : adapters)
        spares += Spares(adapter.addresses.size()) + Spares(adapter.gateways.size());
    size_t needed = adapters.size() * sizeof(IP_ADAPTER_INFO) + spares * sizeof(IP_ADDR_STRING);
    if (!pAdapterInfo || *pOutBufLen < needed) {
        *pOutBufLen = static_cast<ULONG>(needed);
        return ERROR_BUFFER_OVERFLOW;
    }

    IP_ADDR_STRING* spare = reinterpret_cast<IP_ADDR_STRING*>(pAdapterInfo + adapters.size());
    for (size_t i = 0; i < adapters.size(); ++i) {
        const winsim::NetAdapter& adapter = adapters[i];
        IP_ADAPTER_INFO& info = pAdapterInfo[i];
        std::memset(&info, 0, sizeof info);
        info.Next = i + 1 < adapters.size() ? &pAdapterInfo[i + 1] : nullptr;
        info.Index = adapter.index ? adapter.index : static_cast<DWORD>(i + 1);
        info.ComboIndex = info.Index;
        CopyText(info.AdapterName, adapter.name);
        CopyText(info.Description, adapter.description);
        info.AddressLength = static_cast<UINT>(
            std::min(adapter.hardware.size(), static_cast<size_t>(MAX_ADAPTER_ADDRESS_LENGTH)));
        if (info.AddressLength)
            std::memcpy(info.Address, adapter.hardware.data(), info.AddressLength);
        info.Type = adapter.type;
        info.DhcpEnabled = adapter.dhcpEnabled ? 1 : 0;
        FillChain(info.IpAddressList, adapter.addresses, spare);
        FillChain(info.GatewayList, Gateways(adapter), spare);
        CopyText(info.DhcpServer.IpAddress.String,
                 adapter.dhcpServer.empty() ? "0.0.0.0" : adapter.dhcpServer);
        CopyText(info.DhcpServer.IpMask.String, "255.255.255.255");
        CopyText(info.PrimaryWinsServer.IpAddress.String, "0.0.0.0");
        CopyText(info.SecondaryWinsServer.IpAddress.String, "0.0.0.0");
    }
    return ERROR_SUCCESS;
}

DWORD WINAPI GetNetworkParams(PFIXED_INFO pFixedInfo, PULONG pOutBufLen) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    if (!pOutBufLen) return ERROR_INVALID_PARAMETER;
    const winsim::NetDns& dns =
        Description(winsim::CurrentMachine().Component<winsim::NetworkState>()).dns;
    size_t needed = sizeof(FIXED_INFO) + Spares(dns.nameServers.size()) * sizeof(IP_ADDR_STRING);
    if (!pFixedInfo || *pOutBufLen < needed) {
        *pOutBufLen = static_cast<ULONG>(needed);
        return ERROR_BUFFER_OVERFLOW;
    }
    std::memset(pFixedInfo, 0, sizeof *pFixedInfo);
    CopyText(pFixedInfo->HostName, dns.hostName);
    CopyText(pFixedInfo->DomainName, dns.domain);
    std::vector<winsim::NetAddress> servers;
    for (const std::string& server : dns.nameServers) servers.push_back({server, ""});
    IP_ADDR_STRING* spare = reinterpret_cast<IP_ADDR_STRING*>(pFixedInfo + 1);
    if (!servers.empty()) {
        FillChain(pFixedInfo->DnsServerList, servers, spare);
        pFixedInfo->CurrentDnsServer = &pFixedInfo->DnsServerList;
    }
    pFixedInfo->NodeType = HYBRID_NODETYPE;
    return ERROR_SUCCESS;
}
