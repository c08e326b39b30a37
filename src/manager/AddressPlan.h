#ifndef VELQOR_ADDRESSPLAN_H
#define VELQOR_ADDRESSPLAN_H

#include "NetworkInterface.h"

#include <cstddef>
#include <optional>
#include <set>
#include <vector>

namespace velqor {

/// Suggestions start this far above a subnet's network address, clear of
/// the low addresses that routers and servers usually take.
constexpr unsigned kFirstSuggestedHost = 10;

/// The first address of the network's subnet that a device may take, from
/// kFirstSuggestedHost up (from the bottom in a subnet too small for that):
/// not the network or broadcast address, not one of the workstation's (own),
/// not in used.
std::optional<Ipv4Bytes> FirstFreeAddress(const NetworkInterface &network, const std::set<Ipv4Bytes> &used,
                                          const std::vector<NetworkInterface> &own = {});

/// Up to count addresses from start upwards within the network's subnet (the
/// /24 around start when network has no name or does not hold start),
/// skipping those in used, the workstation's (own), the subnet's network and
/// broadcast addresses and any that no device can take. Fewer when the
/// subnet runs out: the plan's size says how many fit.
std::vector<Ipv4Bytes> PlanAddresses(const Ipv4Bytes &start, std::size_t count, const NetworkInterface &network,
                                     const std::set<Ipv4Bytes> &used, const std::vector<NetworkInterface> &own = {});

} // namespace velqor

#endif // VELQOR_ADDRESSPLAN_H
