#include "AddressRules.h"

#include <algorithm>

namespace velqor {

bool IsAssignable(const Ipv4Bytes &address)
{
    const unsigned first = address[0];
    return first != 0 && first != 127 && first < 224;
}

bool IsLinkLocal(const Ipv4Bytes &address)
{
    return address[0] == 169 && address[1] == 254;
}

bool IsNetworkAddress(const Ipv4Bytes &address, const NetworkInterface &subnet)
{
    return subnet.prefixLength <= 30 && subnet.Contains(address) && address == subnet.Network();
}

bool IsBroadcastAddress(const Ipv4Bytes &address, const NetworkInterface &subnet)
{
    return subnet.prefixLength <= 30 && subnet.Contains(address) && address == subnet.Broadcast();
}

std::vector<NetworkInterface> AddressFacts::SubnetsOf(const std::string &link) const
{
    std::vector<NetworkInterface> subnets;
    std::copy_if(own.begin(), own.end(), std::back_inserter(subnets),
                 [&](const NetworkInterface &network) { return !link.empty() && network.name == link; });
    return subnets;
}

std::optional<NotSentReason> CheckNewAddress(const Ipv4Bytes &address, const NetworkInterface &via,
                                             const AddressFacts &facts, const std::set<Ipv4Bytes> &heldByOthers)
{
    if (!IsAssignable(address))
        return NotSentReason::NotAssignable;
    std::vector<NetworkInterface> subnets = facts.own;
    if (!via.name.empty())
        subnets.push_back(via);
    for (const NetworkInterface &subnet : subnets) {
        if (subnet.name.empty())
            continue;
        if (IsNetworkAddress(address, subnet))
            return NotSentReason::NetworkAddress;
        if (IsBroadcastAddress(address, subnet))
            return NotSentReason::BroadcastAddress;
    }
    if (std::any_of(subnets.begin(), subnets.end(), [&](const NetworkInterface &n) { return n.address == address; }))
        return NotSentReason::WorkstationAddress;
    const auto gateways = facts.gateways.find(via.name);
    if (gateways != facts.gateways.end() &&
        std::find(gateways->second.begin(), gateways->second.end(), address) != gateways->second.end())
        return NotSentReason::Gateway;
    if (heldByOthers.count(address) != 0)
        return NotSentReason::HeldByAnotherDevice;
    const std::vector<NetworkInterface> link = facts.SubnetsOf(via.name);
    if (!link.empty() && !IsLinkLocal(address) &&
        std::none_of(link.begin(), link.end(), [&](const NetworkInterface &n) { return n.Contains(address); }))
        return NotSentReason::OutsideSubnet;
    return std::nullopt;
}

} // namespace velqor
