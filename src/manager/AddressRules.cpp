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

std::optional<NotSentReason> CheckNewAddress(const Ipv4Bytes &address, const NetworkInterface &via,
                                             const std::vector<NetworkInterface> &own,
                                             const std::set<Ipv4Bytes> &heldByOthers)
{
    if (!IsAssignable(address))
        return NotSentReason::NotAssignable;
    std::vector<NetworkInterface> subnets = own;
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
    if (heldByOthers.count(address) != 0)
        return NotSentReason::HeldByAnotherDevice;
    return std::nullopt;
}

} // namespace velqor
