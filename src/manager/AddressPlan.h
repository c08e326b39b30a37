#ifndef VELQOR_ADDRESSPLAN_H
#define VELQOR_ADDRESSPLAN_H

#include "NetworkInterface.h"

#include <cstddef>
#include <optional>
#include <set>
#include <vector>

namespace velqor {

/// The first address of the interface's subnet that a device may take: not
/// the network or broadcast address, not the workstation's, not in used.
std::optional<Ipv4Bytes> FirstFreeAddress(const NetworkInterface &network, const std::set<Ipv4Bytes> &used);

/// count addresses from start upwards, one apart, skipping those in used and
/// any that no device can take; fewer when the address space runs out.
std::vector<Ipv4Bytes> PlanAddresses(const Ipv4Bytes &start, std::size_t count, const std::set<Ipv4Bytes> &used);

} // namespace velqor

#endif // VELQOR_ADDRESSPLAN_H
