#include "AddressPlan.h"

#include "AddressRules.h"

#include <boost/asio/ip/address_v4.hpp>

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

} // namespace

std::optional<Ipv4Bytes> FirstFreeAddress(const NetworkInterface &network, const std::set<Ipv4Bytes> &used)
{
    const std::uint32_t broadcast = ToNumber(network.Broadcast());
    const std::uint32_t hostBits = network.prefixLength >= 32 ? 0 : (0xffffffffu >> network.prefixLength);
    const std::uint32_t base = broadcast & ~hostBits;
    for (std::uint32_t candidate = base + 1; candidate < broadcast; ++candidate) {
        const Ipv4Bytes bytes = ToBytes(candidate);
        if (bytes != network.address && used.count(bytes) == 0 && IsAssignable(bytes))
            return bytes;
    }
    return std::nullopt;
}

std::vector<Ipv4Bytes> PlanAddresses(const Ipv4Bytes &start, std::size_t count, const std::set<Ipv4Bytes> &used)
{
    std::vector<Ipv4Bytes> plan;
    for (std::uint64_t candidate = ToNumber(start); plan.size() < count && candidate <= 0xffffffffu; ++candidate) {
        const Ipv4Bytes bytes = ToBytes(static_cast<std::uint32_t>(candidate));
        if (used.count(bytes) == 0 && IsAssignable(bytes) && bytes[3] != 0 && bytes[3] != 255)
            plan.push_back(bytes);
    }
    return plan;
}

} // namespace velqor
