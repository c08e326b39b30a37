#include "NetworkInterface.h"

#include <boost/asio/ip/address_v4.hpp>

#include <algorithm>
#include <cstdint>
#include <fstream>

#if defined(_WIN32)
#include <iphlpapi.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <ifaddrs.h>
#if defined(__linux__)
#include <linux/sock_diag.h>
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
        // The name a person knows ("Ethernet 2"), not the adapter's GUID.
        std::string name;
        const int length = WideCharToMultiByte(CP_UTF8, 0, adapter->FriendlyName, -1, nullptr, 0, nullptr, nullptr);
        if (length > 1) {
            name.resize(static_cast<std::size_t>(length));
            WideCharToMultiByte(CP_UTF8, 0, adapter->FriendlyName, -1, name.data(), length, nullptr, nullptr);
            name.resize(static_cast<std::size_t>(length) - 1);
        } else {
            name = adapter->AdapterName;
        }
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
        item.name = entry->ifa_name;
        item.index = if_nametoindex(entry->ifa_name);
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
            names.push_back(adapter->AdapterName);
    }
#else
    ifaddrs *addresses = nullptr;
    if (getifaddrs(&addresses) != 0)
        return names;
    std::vector<std::string> up;
    std::vector<std::string> withIpv4;
    for (const ifaddrs *entry = addresses; entry != nullptr; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        if ((flags & IFF_UP) == 0 || (flags & IFF_RUNNING) == 0 || (flags & IFF_LOOPBACK) != 0)
            continue;
        up.push_back(entry->ifa_name);
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET)
            withIpv4.push_back(entry->ifa_name);
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

std::optional<int> ReversePathFilter(const std::string &interfaceName)
{
#if defined(__linux__)
    auto read = [](const std::string &name) -> std::optional<int> {
        std::ifstream file("/proc/sys/net/ipv4/conf/" + name + "/rp_filter");
        int value = 0;
        if (file >> value)
            return value;
        return std::nullopt;
    };
    const std::optional<int> all = read("all");
    const std::optional<int> own = read(interfaceName);
    if (!all || !own)
        return std::nullopt;
    return std::max(*all, *own);
#else
    (void)interfaceName; // Windows and macOS have no such filter to report
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
    // Linux and Windows: the bound address chooses the interface.
    (void)socket;
    (void)networkInterface;
    return true;
#endif
}

} // namespace velqor
