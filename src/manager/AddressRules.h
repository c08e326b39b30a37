#ifndef VELQOR_ADDRESSRULES_H
#define VELQOR_ADDRESSRULES_H

#include "ChangeOutcome.h"
#include "NetworkInterface.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velqor {

/// Whether a device can be given this address: not in 0.0.0.0/8 ("this
/// network"), 127.0.0.0/8 (loopback), 224.0.0.0/4 (multicast) or 240.0.0.0/4
/// (reserved, the limited broadcast included).
bool IsAssignable(const Ipv4Bytes &address);

/// 169.254.0.0/16: allowed, but only reachable on the same link.
bool IsLinkLocal(const Ipv4Bytes &address);

/// Whether address is the network or the broadcast address of the subnet;
/// a /31 has neither and a /32 is one host (RFC 3021).
bool IsNetworkAddress(const Ipv4Bytes &address, const NetworkInterface &subnet);
bool IsBroadcastAddress(const Ipv4Bytes &address, const NetworkInterface &subnet);

/// What the address rules know of the workstation.
struct AddressFacts {
    /// Every address of every interface.
    std::vector<NetworkInterface> own;
    /// The gateways of its routes, by interface name.
    std::map<std::string, std::vector<Ipv4Bytes>> gateways;

    /// The subnets of the link (the interface's addresses).
    std::vector<NetworkInterface> SubnetsOf(const std::string &link) const;
};

/// Why a device that answers on via must not move to address, none when it
/// may. Never: an address no device can take, the network or broadcast
/// address of via's subnet or of any of the workstation's, one of the
/// workstation's own addresses, a gateway of the link. Unless forced: one
/// that another device of the link answers from (heldByOthers), one outside
/// every subnet of the link (a link-local address is on every link).
/// Another host that answers for it is found by asking the link, see
/// OrvaneManagerPrivate.
std::optional<NotSentReason> CheckNewAddress(const Ipv4Bytes &address, const NetworkInterface &via,
                                             const AddressFacts &facts, const std::set<Ipv4Bytes> &heldByOthers);

} // namespace velqor

#endif // VELQOR_ADDRESSRULES_H
