#ifndef VELQOR_NETWORKINTERFACE_H
#define VELQOR_NETWORKINTERFACE_H

#include <boost/asio/ip/udp.hpp>

#include <array>
#include <cstddef>
#include <cstdint>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velqor {

/// An IPv4 address: its four bytes in network order.
using Ipv4Bytes = std::array<unsigned char, 4>;

/// The bytes of a dotted-decimal IPv4 text with exactly three dots; none for
/// any other text. The one way from text to an address.
std::optional<Ipv4Bytes> ParseDottedAddress(const std::string &text);
/// The dotted-decimal text of an address. The one way back.
std::string FormatAddress(const Ipv4Bytes &address);

/// One IPv4 network of the workstation: an interface and one of its addresses.
struct NetworkInterface {
    std::string name; ///< Empty for "no particular interface".
    unsigned index = 0;
    Ipv4Bytes address {};
    int prefixLength = 0;

    /// The dotted address, e.g. "192.168.5.1".
    std::string AddressText() const;
    /// Address and prefix, e.g. "192.168.5.1/24".
    std::string SubnetText() const;
    /// Name and subnet as lists show them, e.g. "eth1 192.168.5.1/24"; empty
    /// for no particular interface.
    std::string Label() const;
    /// Computed from address and prefix: what the system reports can be the
    /// interface's own address.
    Ipv4Bytes Broadcast() const;
    /// The subnet's lowest address.
    Ipv4Bytes Network() const;
    /// Whether address lies in this interface's subnet.
    bool Contains(const Ipv4Bytes &other) const;

    bool operator==(const NetworkInterface &other) const;
    bool operator!=(const NetworkInterface &other) const { return !(*this == other); }
};

using InterfaceLister = std::function<std::vector<NetworkInterface>()>;

/// The interfaces that are up, running and can broadcast, neither loopback
/// nor point-to-point: one entry for every IPv4 address of each. Names are
/// the ones a person knows (on Windows the adapter's friendly name).
std::vector<NetworkInterface> ListNetworkInterfaces();

/// The interfaces that are up and running but have no IPv4 address, by name
/// (the friendly one on Windows): a search cannot use them. Ports of a
/// bridge or a bond carry no address of their own and are left out.
std::vector<std::string> ListInterfacesWithoutIpv4();

/// The interface through which the workstation reaches the address
/// directly, on its link (no gateway between); none where it would go
/// through a gateway, has no route, or the system does not say (Linux: the
/// kernel's route lookup; Windows: GetBestRoute2).
std::optional<unsigned> DirectRouteInterface(const Ipv4Bytes &destination);

/// Whether the system would take in a datagram from source arriving on the
/// interface for its address, as its reverse-path filter decides (Linux: the
/// kernel's own input route lookup). None where the system does not say.
std::optional<bool> ReversePathAccepts(const NetworkInterface &via, const Ipv4Bytes &source);

/// Whether the route lookup's error (negative, as rtnetlink reports it) is
/// the reverse-path filter's refusal: Linux 6.1 says EXDEV, later kernels
/// EINVAL; anything else (a vanished interface) says nothing about it.
bool IsReversePathRefusal(int error);

/// A neighbour whose link-layer address the system knows, on one interface.
struct Neighbour {
    Ipv4Bytes address {};
    /// The hardware address, e.g. "02:00:0a:64:00:05".
    std::string hardware;
};

/// The neighbours of the interface that answered the system's address
/// resolution (Linux: the kernel's neighbour table over rtnetlink; Windows:
/// GetIpNetTable2); none where the system does not say. Entries still
/// being resolved, or that failed, are left out.
std::vector<Neighbour> ListNeighbours(const NetworkInterface &via);

/// How many entries the system's neighbour table holds at most: beyond that
/// it drops what would need a new one, broadcasts included (Linux:
/// net.ipv4.neigh.default.gc_thresh3, which only the first network
/// namespace can read; its default, 1024, elsewhere).
std::size_t NeighbourTableLimit();
/// The same from the text of that setting; the default for text that is no number.
std::size_t NeighbourTableLimitIn(const std::string &text);

/// How many of the addresses have an entry in the system's neighbour table
/// on the interface that it cannot let go of yet: one being resolved, or
/// resolved lately (Linux: incomplete, reachable, delayed or probed
/// entries); 0 where the system does not say.
std::size_t NeighboursHeld(const NetworkInterface &via, const std::vector<Ipv4Bytes> &addresses);

/// The gateways of the workstation's routes through the interface (Linux:
/// rtnetlink; Windows: GetIpForwardTable2): addresses a device must never take.
std::vector<Ipv4Bytes> ListGateways(const NetworkInterface &via);

/// Makes what a socket sends leave through its interface: binding to the
/// interface's address does not choose it where two interfaces share an
/// address (Linux, Windows) nor ever on macOS. Receiving is not restricted.
/// Returns false when the system refused.
bool BindToInterface(boost::asio::ip::udp::socket &socket, const NetworkInterface &networkInterface);

/// How many packets the interface has sent since it came up; none where the
/// system does not say. A datagram that sendto took but the system dropped
/// before the wire (a full neighbour table, a full queue) leaves it unchanged.
std::optional<std::uint64_t> TransmittedPackets(const NetworkInterface &via);

/// How many UDP datagrams the system has dropped before the wire, although
/// sendto took them (no neighbour entry to be had, a full queue), since it
/// started, in this network namespace; none where the system does not say
/// (Linux counts them in /proc/net/snmp, Windows and macOS do not).
std::optional<std::uint64_t> UdpSendsDropped();
/// The same from the text of /proc/net/snmp.
std::optional<std::uint64_t> UdpSendsDroppedIn(const std::string &snmp);

/// Asks for a receive buffer of this many bytes. Linux grants a process with
/// CAP_NET_ADMIN what it asks (SO_RCVBUFFORCE), anyone else at most
/// net.core.rmem_max; other systems have limits of their own. A smaller
/// buffer still works, so a refusal is no error.
void RequestReceiveBuffer(boost::asio::ip::udp::socket &socket, int bytes);

/// How many datagrams the system dropped for this socket since it was opened
/// because its receive buffer was full; none where the system does not say
/// (Linux says, through SO_MEMINFO).
std::optional<std::uint32_t> ReceiveDrops(boost::asio::ip::udp::socket &socket);

} // namespace velqor

#endif // VELQOR_NETWORKINTERFACE_H
