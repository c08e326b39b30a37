#include "AddressPlan.h"

#include "AddressRules.h"

#include <boost/asio/ip/address_v4.hpp>

#include <algorithm>
#include <cstdint>

namespace velqor {

namespace {

std::uint32_t ToNumber(const Ipv4Bytes &bytes)
{
    return boost::asio::ip::address_v4(bytes).to_uint();
}

Ipv4Bytes ToBytes(std::uint32_t number)
{
    return boost::asio::ip::address_v4(number).to_bytes();
}

bool Usable(const Ipv4Bytes &candidate, const NetworkInterface &subnet, const std::set<Ipv4Bytes> &used,
            const std::vector<NetworkInterface> &own)
{
    return used.count(candidate) == 0 && IsAssignable(candidate) && !IsNetworkAddress(candidate, subnet) &&
        !IsBroadcastAddress(candidate, subnet) &&
        std::none_of(own.begin(), own.end(), [&](const NetworkInterface &n) { return n.address == candidate; });
}

} // namespace

std::optional<Ipv4Bytes> FirstFreeAddress(const NetworkInterface &network, const std::set<Ipv4Bytes> &used,
                                          const std::vector<NetworkInterface> &own)
{
    std::vector<NetworkInterface> workstation = own;
    workstation.push_back(network);
    const std::uint32_t first = ToNumber(network.Network());
    const std::uint32_t last = ToNumber(network.Broadcast());
    const std::uint32_t from = last - first > 2 * kFirstSuggestedHost ? first + kFirstSuggestedHost : first;
    for (std::uint64_t candidate = from; candidate <= last; ++candidate) {
        const Ipv4Bytes bytes = ToBytes(static_cast<std::uint32_t>(candidate));
        if (Usable(bytes, network, used, workstation))
            return bytes;
    }
    return std::nullopt;
}

std::vector<Ipv4Bytes> PlanAddresses(const Ipv4Bytes &start, std::size_t count, const NetworkInterface &network,
                                     const std::set<Ipv4Bytes> &used, const std::vector<NetworkInterface> &own)
{
    std::vector<NetworkInterface> workstation = own;
    NetworkInterface subnet = network;
    if (subnet.name.empty() || !subnet.Contains(start))
        subnet = NetworkInterface {"", 0, start, 24};
    else
        workstation.push_back(network);
    const std::uint32_t last = ToNumber(subnet.Broadcast());
    std::vector<Ipv4Bytes> plan;
    for (std::uint64_t candidate = ToNumber(start); plan.size() < count && candidate <= last; ++candidate) {
        const Ipv4Bytes bytes = ToBytes(static_cast<std::uint32_t>(candidate));
        if (Usable(bytes, subnet, used, workstation))
            plan.push_back(bytes);
    }
    return plan;
}

} // namespace velqor
