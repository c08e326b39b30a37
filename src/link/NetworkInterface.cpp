#include "NetworkInterface.h"

#include <boost/asio/ip/address_v4.hpp>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>

#if defined(_WIN32)
#include <iphlpapi.h>
#include <netioapi.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <ifaddrs.h>
#if defined(__linux__)
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#endif
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace velqor {

namespace {

std::uint32_t ToNumber(const Ipv4Bytes &bytes)
{
    return boost::asio::ip::address_v4(bytes).to_uint();
}

std::uint32_t Mask(int prefixLength)
{
    return prefixLength <= 0 ? 0 : prefixLength >= 32 ? 0xffffffffu : ~((1u << (32 - prefixLength)) - 1);
}

#if !defined(_WIN32)
// Windows reports the prefix length itself.
int PrefixOf(std::uint32_t mask)
{
    int length = 0;
    while (length < 32 && (mask & (0x80000000u >> length)) != 0)
        ++length;
    return length;
}
#endif

#if defined(_WIN32)
// The name a person knows ("Ethernet 2"), not the adapter's GUID.
std::string FriendlyName(const IP_ADAPTER_ADDRESSES &adapter)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, adapter.FriendlyName, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return adapter.AdapterName;
    std::string name(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, adapter.FriendlyName, -1, name.data(), length, nullptr, nullptr);
    name.resize(static_cast<std::size_t>(length) - 1);
    return name;
}
#else
// The interface an address label names: ifupdown labels a second address
// "eth0:1", which sysctl and sysfs know as eth0.
std::string DeviceName(const std::string &label)
{
    return label.substr(0, label.find(':'));
}

bool IsBridgePort(const std::string &name)
{
#if defined(__linux__)
    return std::ifstream("/sys/class/net/" + DeviceName(name) + "/brport/state").good();
#else
    (void)name;
    return false;
#endif
}
#endif

std::string HardwareText(const unsigned char *bytes, std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += (i == 0 ? "" : ":") + std::string(pair);
    }
    return text;
}

#if defined(__linux__)
// Asks rtnetlink for a dump and hands each message of it to each; false when
// the system refused or did not answer.
template<typename Body>
bool DumpNetlink(unsigned short type, const Body &body, const std::function<void(const nlmsghdr &)> &each)
{
    struct {
        nlmsghdr header;
        Body body;
    } request {};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(Body));
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.body = body;
    const int handle = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (handle < 0)
        return false;
    const timeval patience {1, 0};
    setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    bool done = false;
    bool failed = sendto(handle, &request, request.header.nlmsg_len, 0, reinterpret_cast<const sockaddr *>(&kernel),
                         sizeof kernel) < 0;
    std::vector<char> reply(32 * 1024); // allocated, so aligned for any header
    while (!done && !failed) {
        ssize_t length = recv(handle, reply.data(), reply.size(), 0);
        if (length <= 0) {
            failed = true;
            break;
        }
        for (auto *header = reinterpret_cast<const nlmsghdr *>(reply.data()); NLMSG_OK(header, length);
             header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type == NLMSG_DONE) {
                done = true;
                break;
            }
            if (header->nlmsg_type == NLMSG_ERROR) {
                failed = true;
                break;
            }
            each(*header);
        }
    }
    close(handle);
    return done;
}

// One route lookup, as `ip route get` asks it: a request with these
// attributes (type and bytes); the kernel's one reply, or none when it gave
// none.
std::optional<std::vector<char>> GetRoute(const std::vector<std::pair<unsigned short, std::string>> &attributes)
{
    struct {
        nlmsghdr header;
        rtmsg route;
        char attributes[64];
    } request {};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.route.rtm_family = AF_INET;
    for (const auto &[type, data] : attributes) {
        if (type == RTA_DST)
            request.route.rtm_dst_len = 32;
        if (type == RTA_SRC)
            request.route.rtm_src_len = 32;
        auto *attribute =
            reinterpret_cast<rtattr *>(reinterpret_cast<char *>(&request) + NLMSG_ALIGN(request.header.nlmsg_len));
        attribute->rta_type = type;
        attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(data.size()));
        std::memcpy(RTA_DATA(attribute), data.data(), data.size());
        request.header.nlmsg_len = NLMSG_ALIGN(request.header.nlmsg_len) + RTA_ALIGN(attribute->rta_len);
    }
    const int handle = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (handle < 0)
        return std::nullopt;
    const timeval patience {1, 0};
    setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    std::optional<std::vector<char>> reply;
    std::vector<char> received(4096); // allocated, so aligned for any header
    if (sendto(handle, &request, request.header.nlmsg_len, 0, reinterpret_cast<const sockaddr *>(&kernel),
               sizeof kernel) >= 0) {
        const ssize_t length = recv(handle, received.data(), received.size(), 0);
        if (length >= static_cast<ssize_t>(NLMSG_LENGTH(0))) {
            received.resize(static_cast<std::size_t>(length));
            reply = std::move(received);
        }
    }
    close(handle);
    return reply;
}

std::string Bytes(const void *data, std::size_t size)
{
    return std::string(static_cast<const char *>(data), size);
}

// The attributes of an rtnetlink message after its fixed part.
void EachAttribute(const nlmsghdr &header, std::size_t fixed, const std::function<void(const rtattr &)> &each)
{
    auto length = static_cast<int>(header.nlmsg_len) - static_cast<int>(NLMSG_LENGTH(fixed));
    for (auto *attribute =
             reinterpret_cast<const rtattr *>(reinterpret_cast<const char *>(NLMSG_DATA(&header)) + NLMSG_ALIGN(fixed));
         RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length))
        each(*attribute);
}
#endif

} // namespace

std::optional<Ipv4Bytes> ParseDottedAddress(const std::string &text)
{
    boost::system::error_code error;
    const boost::asio::ip::address_v4 address = boost::asio::ip::make_address_v4(text, error);
    if (error || std::count(text.begin(), text.end(), '.') != 3)
        return std::nullopt;
    return address.to_bytes();
}

std::string FormatAddress(const Ipv4Bytes &address)
{
    return boost::asio::ip::address_v4(address).to_string();
}

std::string NetworkInterface::AddressText() const
{
    return FormatAddress(address);
}

std::string NetworkInterface::SubnetText() const
{
    return AddressText() + "/" + std::to_string(prefixLength);
}

std::string NetworkInterface::Label() const
{
    return name.empty() ? std::string() : name + " " + SubnetText();
}

Ipv4Bytes NetworkInterface::Broadcast() const
{
    return boost::asio::ip::address_v4(ToNumber(address) | ~Mask(prefixLength)).to_bytes();
}

Ipv4Bytes NetworkInterface::Network() const
{
    return boost::asio::ip::address_v4(ToNumber(address) & Mask(prefixLength)).to_bytes();
}

bool NetworkInterface::Contains(const Ipv4Bytes &other) const
{
    const std::uint32_t mask = Mask(prefixLength);
    return (ToNumber(address) & mask) == (ToNumber(other) & mask);
}

bool NetworkInterface::operator==(const NetworkInterface &other) const
{
    return name == other.name && index == other.index && address == other.address && prefixLength == other.prefixLength;
}

std::vector<NetworkInterface> ListNetworkInterfaces()
{
    // Every IPv4 address of every interface: a technician adds a second one
    // next to the DHCP address to reach factory-default devices.
    std::vector<NetworkInterface> list;
#if defined(_WIN32)
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        status =
            GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                 nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()), &size);
    }
    if (status != NO_ERROR)
        return list;
    for (auto *adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()); adapter; adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK ||
            adapter->IfType == IF_TYPE_PPP)
            continue;
        const std::string name = FriendlyName(*adapter);
        for (auto *unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const auto *address = reinterpret_cast<const sockaddr_in *>(unicast->Address.lpSockaddr);
            if (address->sin_family != AF_INET)
                continue;
            NetworkInterface entry;
            entry.name = name;
            entry.index = adapter->IfIndex;
            entry.address = boost::asio::ip::address_v4(ntohl(address->sin_addr.s_addr)).to_bytes();
            entry.prefixLength = unicast->OnLinkPrefixLength;
            list.push_back(entry);
        }
    }
#else
    ifaddrs *addresses = nullptr;
    if (getifaddrs(&addresses) != 0)
        return list;
    for (const ifaddrs *entry = addresses; entry != nullptr; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET || entry->ifa_netmask == nullptr ||
            (flags & IFF_UP) == 0 || (flags & IFF_RUNNING) == 0 || (flags & IFF_BROADCAST) == 0 ||
            (flags & IFF_LOOPBACK) != 0 || (flags & IFF_POINTOPOINT) != 0)
            continue;
        const auto *address = reinterpret_cast<const sockaddr_in *>(entry->ifa_addr);
        const auto *mask = reinterpret_cast<const sockaddr_in *>(entry->ifa_netmask);
        NetworkInterface item;
        item.name = DeviceName(entry->ifa_name);
        item.index = if_nametoindex(item.name.c_str());
        item.address = boost::asio::ip::address_v4(ntohl(address->sin_addr.s_addr)).to_bytes();
        item.prefixLength = PrefixOf(ntohl(mask->sin_addr.s_addr));
        list.push_back(item);
    }
    freeifaddrs(addresses);
#endif
    return list;
}

std::vector<std::string> ListInterfacesWithoutIpv4()
{
    std::vector<std::string> names;
#if defined(_WIN32)
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer(size);
    if (GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                             nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()), &size) != NO_ERROR)
        return names;
    for (auto *adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()); adapter; adapter = adapter->Next) {
        if (adapter->OperStatus == IfOperStatusUp && adapter->IfType != IF_TYPE_SOFTWARE_LOOPBACK &&
            adapter->FirstUnicastAddress == nullptr)
            names.push_back(FriendlyName(*adapter));
    }
#else
    ifaddrs *addresses = nullptr;
    if (getifaddrs(&addresses) != 0)
        return names;
    std::vector<std::string> up;
    std::vector<std::string> withIpv4;
    for (const ifaddrs *entry = addresses; entry != nullptr; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        if ((flags & IFF_UP) == 0 || (flags & IFF_RUNNING) == 0 || (flags & IFF_LOOPBACK) != 0 ||
            (flags & IFF_SLAVE) != 0 || IsBridgePort(entry->ifa_name))
            continue;
        up.push_back(DeviceName(entry->ifa_name));
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET)
            withIpv4.push_back(DeviceName(entry->ifa_name));
    }
    freeifaddrs(addresses);
    for (const std::string &name : up) {
        if (std::find(withIpv4.begin(), withIpv4.end(), name) == withIpv4.end() &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
#endif
    return names;
}

std::optional<bool> ReversePathAccepts(const NetworkInterface &via, const Ipv4Bytes &source)
{
#if defined(__linux__)
    // What `ip route get ADDRESS from SOURCE iif NAME` asks: the route lookup
    // of an arriving datagram, reverse-path filter included.
    const int index = static_cast<int>(via.index);
    const auto reply = GetRoute({{RTA_DST, Bytes(via.address.data(), 4)},
                                 {RTA_SRC, Bytes(source.data(), 4)},
                                 {RTA_IIF, Bytes(&index, sizeof index)}});
    std::optional<bool> accepted;
    if (!reply)
        return accepted;
    const auto *header = reinterpret_cast<const nlmsghdr *>(reply->data());
    const auto length = static_cast<ssize_t>(reply->size());
    if (length >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(nlmsgerr))) && header->nlmsg_type == NLMSG_ERROR) {
        if (IsReversePathRefusal(static_cast<const nlmsgerr *>(NLMSG_DATA(header))->error))
            accepted = false;
    } else if (header->nlmsg_type == RTM_NEWROUTE) {
        accepted = true;
    }
    return accepted;
#else
    // Windows and macOS filter no reverse paths by default and say nothing.
    (void)via;
    (void)source;
    return std::nullopt;
#endif
}

std::vector<Neighbour> ListNeighbours(const NetworkInterface &via)
{
    std::vector<Neighbour> found;
#if defined(__linux__)
    ndmsg all {};
    all.ndm_family = AF_INET;
    DumpNetlink(RTM_GETNEIGH, all, [&](const nlmsghdr &header) {
        const auto *entry = static_cast<const ndmsg *>(NLMSG_DATA(&header));
        if (header.nlmsg_type != RTM_NEWNEIGH || entry->ndm_ifindex != static_cast<int>(via.index) ||
            (entry->ndm_state & (NUD_INCOMPLETE | NUD_FAILED | NUD_NOARP | NUD_NONE)) != 0)
            return;
        Neighbour neighbour;
        EachAttribute(header, sizeof(ndmsg), [&](const rtattr &attribute) {
            if (attribute.rta_type == NDA_DST && RTA_PAYLOAD(&attribute) == 4)
                std::memcpy(neighbour.address.data(), RTA_DATA(&attribute), 4);
            else if (attribute.rta_type == NDA_LLADDR)
                neighbour.hardware =
                    HardwareText(static_cast<const unsigned char *>(RTA_DATA(&attribute)), RTA_PAYLOAD(&attribute));
        });
        if (!neighbour.hardware.empty())
            found.push_back(neighbour);
    });
#elif defined(_WIN32)
    MIB_IPNET_TABLE2 *table = nullptr;
    if (GetIpNetTable2(AF_INET, &table) != NO_ERROR)
        return found;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPNET_ROW2 &row = table->Table[i];
        if (row.InterfaceIndex != via.index || row.PhysicalAddressLength == 0 || row.State < NlnsProbe)
            continue;
        Neighbour neighbour;
        neighbour.address = boost::asio::ip::address_v4(ntohl(row.Address.Ipv4.sin_addr.s_addr)).to_bytes();
        neighbour.hardware = HardwareText(row.PhysicalAddress, row.PhysicalAddressLength);
        found.push_back(neighbour);
    }
    FreeMibTable(table);
#else
    // macOS: its routing socket would say; not read.
    (void)via;
#endif
    return found;
}

std::size_t NeighbourTableLimitIn(const std::string &text)
{
    constexpr std::size_t kKernelDefault = 1024;
    const std::size_t digits = text.find_first_not_of("0123456789");
    const std::string number = text.substr(0, digits);
    if (number.empty() || number.size() > 9 ||
        (digits != std::string::npos && text.find_first_not_of(" \n", digits) != std::string::npos))
        return kKernelDefault;
    const std::size_t limit = std::stoul(number);
    return limit > 0 ? limit : kKernelDefault;
}

std::size_t NeighbourTableLimit()
{
    std::ifstream file("/proc/sys/net/ipv4/neigh/default/gc_thresh3");
    std::string text;
    std::getline(file, text);
    return NeighbourTableLimitIn(text);
}

std::size_t NeighboursHeld(const NetworkInterface &via, const std::vector<Ipv4Bytes> &addresses)
{
    std::size_t held = 0;
#if defined(__linux__)
    std::vector<Ipv4Bytes> sorted(addresses);
    std::sort(sorted.begin(), sorted.end());
    ndmsg all {};
    all.ndm_family = AF_INET;
    DumpNetlink(RTM_GETNEIGH, all, [&](const nlmsghdr &header) {
        const auto *entry = static_cast<const ndmsg *>(NLMSG_DATA(&header));
        if (header.nlmsg_type != RTM_NEWNEIGH || entry->ndm_ifindex != static_cast<int>(via.index) ||
            (entry->ndm_state & (NUD_INCOMPLETE | NUD_REACHABLE | NUD_DELAY | NUD_PROBE)) == 0)
            return;
        EachAttribute(header, sizeof(ndmsg), [&](const rtattr &attribute) {
            Ipv4Bytes address {};
            if (attribute.rta_type != NDA_DST || RTA_PAYLOAD(&attribute) != 4)
                return;
            std::memcpy(address.data(), RTA_DATA(&attribute), 4);
            held += std::binary_search(sorted.begin(), sorted.end(), address) ? 1 : 0;
        });
    });
#else
    // Windows and macOS: their tables grow as needed.
    (void)via;
    (void)addresses;
#endif
    return held;
}

std::vector<Ipv4Bytes> ListGateways(const NetworkInterface &via)
{
    std::vector<Ipv4Bytes> gateways;
    auto add = [&](const Ipv4Bytes &gateway) {
        if (std::find(gateways.begin(), gateways.end(), gateway) == gateways.end())
            gateways.push_back(gateway);
    };
#if defined(__linux__)
    rtmsg all {};
    all.rtm_family = AF_INET;
    DumpNetlink(RTM_GETROUTE, all, [&](const nlmsghdr &header) {
        if (header.nlmsg_type != RTM_NEWROUTE)
            return;
        int through = 0;
        std::optional<Ipv4Bytes> gateway;
        EachAttribute(header, sizeof(rtmsg), [&](const rtattr &attribute) {
            if (attribute.rta_type == RTA_OIF && RTA_PAYLOAD(&attribute) == sizeof(int)) {
                std::memcpy(&through, RTA_DATA(&attribute), sizeof(int));
            } else if (attribute.rta_type == RTA_GATEWAY && RTA_PAYLOAD(&attribute) == 4) {
                gateway.emplace();
                std::memcpy(gateway->data(), RTA_DATA(&attribute), 4);
            } else if (attribute.rta_type == RTA_MULTIPATH) {
                // Several next hops, each with its interface and gateway.
                auto left = static_cast<int>(RTA_PAYLOAD(&attribute));
                for (auto *hop = static_cast<const rtnexthop *>(RTA_DATA(&attribute));
                     left >= static_cast<int>(sizeof(rtnexthop)) && hop->rtnh_len >= sizeof(rtnexthop);
                     left -= RTNH_ALIGN(hop->rtnh_len), hop = RTNH_NEXT(hop)) {
                    auto inner = static_cast<int>(hop->rtnh_len - sizeof(rtnexthop));
                    for (auto *part = reinterpret_cast<const rtattr *>(RTNH_DATA(hop)); RTA_OK(part, inner);
                         part = RTA_NEXT(part, inner)) {
                        if (part->rta_type == RTA_GATEWAY && RTA_PAYLOAD(part) == 4 &&
                            hop->rtnh_ifindex == static_cast<int>(via.index)) {
                            Ipv4Bytes next;
                            std::memcpy(next.data(), RTA_DATA(part), 4);
                            add(next);
                        }
                    }
                }
            }
        });
        if (gateway && through == static_cast<int>(via.index))
            add(*gateway);
    });
#elif defined(_WIN32)
    MIB_IPFORWARD_TABLE2 *table = nullptr;
    if (GetIpForwardTable2(AF_INET, &table) != NO_ERROR)
        return gateways;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPFORWARD_ROW2 &row = table->Table[i];
        if (row.InterfaceIndex == via.index && row.NextHop.si_family == AF_INET &&
            row.NextHop.Ipv4.sin_addr.s_addr != 0)
            add(boost::asio::ip::address_v4(ntohl(row.NextHop.Ipv4.sin_addr.s_addr)).to_bytes());
    }
    FreeMibTable(table);
#else
    // macOS: its routing socket would say; not read.
    (void)via;
#endif
    return gateways;
}

bool IsReversePathRefusal(int error)
{
#if defined(_WIN32)
    (void)error;
    return false; // Windows has no reverse-path filter to refuse
#else
    return error == -EINVAL || error == -EXDEV;
#endif
}

std::optional<unsigned> DirectRouteInterface(const Ipv4Bytes &destination)
{
#if defined(__linux__)
    // What `ip route get ADDRESS` says: the interface, and whether a gateway
    // is in between.
    const auto reply = GetRoute({{RTA_DST, Bytes(destination.data(), 4)}});
    std::optional<unsigned> direct;
    if (!reply)
        return direct;
    const auto *header = reinterpret_cast<const nlmsghdr *>(reply->data());
    if (reply->size() >= NLMSG_LENGTH(sizeof(rtmsg)) && header->nlmsg_type == RTM_NEWROUTE) {
        int through = 0;
        bool gateway = false;
        EachAttribute(*header, sizeof(rtmsg), [&](const rtattr &found) {
            if (found.rta_type == RTA_OIF && RTA_PAYLOAD(&found) == sizeof(int))
                std::memcpy(&through, RTA_DATA(&found), sizeof(int));
            else if (found.rta_type == RTA_GATEWAY)
                gateway = true;
        });
        if (through > 0 && !gateway)
            direct = static_cast<unsigned>(through);
    }
    return direct;
#elif defined(_WIN32)
    SOCKADDR_INET to {};
    to.Ipv4.sin_family = AF_INET;
    std::memcpy(&to.Ipv4.sin_addr, destination.data(), 4);
    MIB_IPFORWARD_ROW2 route {};
    SOCKADDR_INET source {};
    if (GetBestRoute2(nullptr, 0, nullptr, &to, 0, &route, &source) != NO_ERROR)
        return std::nullopt;
    if (route.NextHop.si_family == AF_INET && route.NextHop.Ipv4.sin_addr.s_addr != 0)
        return std::nullopt; // through a gateway
    return route.InterfaceIndex;
#else
    (void)destination;
    return std::nullopt;
#endif
}

std::optional<std::uint32_t> ReceiveDrops(boost::asio::ip::udp::socket &socket)
{
#if defined(__linux__)
    std::uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof info;
    if (getsockopt(socket.native_handle(), SOL_SOCKET, SO_MEMINFO, info, &length) != 0 ||
        length <= SK_MEMINFO_DROPS * sizeof info[0])
        return std::nullopt;
    return info[SK_MEMINFO_DROPS];
#else
    // Windows and macOS keep no such count per socket.
    (void)socket;
    return std::nullopt;
#endif
}

std::optional<std::uint64_t> TransmittedPackets(const NetworkInterface &via)
{
#if defined(__linux__)
    std::ifstream file("/sys/class/net/" + via.name + "/statistics/tx_packets");
    std::uint64_t packets = 0;
    if (via.name.empty() || via.name.find('/') != std::string::npos || !(file >> packets))
        return std::nullopt;
    return packets;
#elif defined(_WIN32)
    MIB_IF_ROW2 row {};
    row.InterfaceIndex = via.index;
    if (via.index == 0 || GetIfEntry2(&row) != NO_ERROR)
        return std::nullopt;
    return row.OutUcastPkts + row.OutNUcastPkts;
#else
    // macOS: its interface counters are 32 bits and wrap; not worth reading.
    (void)via;
    return std::nullopt;
#endif
}

std::optional<std::uint64_t> UdpSendsDropped()
{
#if defined(__linux__)
    std::ifstream file("/proc/net/snmp");
    std::ostringstream text;
    if (!(text << file.rdbuf()))
        return std::nullopt;
    return UdpSendsDroppedIn(text.str());
#else
    return std::nullopt;
#endif
}

std::optional<std::uint64_t> UdpSendsDroppedIn(const std::string &snmp)
{
    // A line of names, then one of values; kernels differ in which fields
    // they have, so the field is found by its name.
    std::istringstream lines(snmp);
    std::string names;
    std::string values;
    while (std::getline(lines, names)) {
        if (names.rfind("Udp: ", 0) != 0)
            continue;
        if (!std::getline(lines, values))
            return std::nullopt;
        std::istringstream nameWords(names);
        std::istringstream valueWords(values);
        std::string name;
        std::string value;
        while (nameWords >> name && valueWords >> value) {
            if (name != "SndbufErrors")
                continue;
            // Digits that fit 64 bits, or the text is not what it seems.
            if (value.find_first_not_of("0123456789") != std::string::npos)
                return std::nullopt;
            try {
                return std::stoull(value);
            } catch (const std::out_of_range &) {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

void RequestReceiveBuffer(boost::asio::ip::udp::socket &socket, int bytes)
{
#if defined(__linux__)
    if (setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0)
        return;
#endif
    // Windows and macOS, and Linux without the privilege: what the system allows.
    boost::system::error_code ignored;
    socket.set_option(boost::asio::socket_base::receive_buffer_size(bytes), ignored);
}

bool BindToInterface(boost::asio::ip::udp::socket &socket, const NetworkInterface &networkInterface)
{
#if defined(__APPLE__)
    // macOS sends a limited broadcast out of the routing table's interface
    // whatever the socket is bound to, unless it is tied to an interface.
    const unsigned index = networkInterface.index;
    return setsockopt(socket.native_handle(), IPPROTO_IP, IP_BOUND_IF, &index, sizeof index) == 0;
#else
    // Linux and Windows pick the interface of a limited broadcast by the
    // bound address, which two cards of two machine cells may share: the
    // outgoing interface is set instead (the index in network order on
    // both). What arrives is still taken by the bound address and port, so
    // answers that reach another card of the same segment are not lost.
    if (networkInterface.index == 0)
        return true; // no interface of the system's to pin to
    const std::uint32_t index = htonl(networkInterface.index);
    return setsockopt(socket.native_handle(), IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char *>(&index),
                      sizeof index) == 0;
#endif
}

} // namespace velqor
