#include "Diagnostic.h"

#include "DeviceDetails.h"

#include <algorithm>
#include <array>
#include <map>
#include <numeric>
#include <set>
#include <tuple>
#include <utility>

namespace velqor {

namespace {

// sysctl's dotted names write a dot inside a name as a slash (a VLAN
// interface eth0.10 is net.ipv4.conf.eth0/10).
std::string SysctlName(std::string name)
{
    std::replace(name.begin(), name.end(), '.', '/');
    return name;
}

} // namespace

Diagnostic Diagnostic::Of(Kind kind, Phrase phrase, std::string fix)
{
    std::string text = phrase.Text();
    return {kind, std::move(text), std::move(fix), std::move(phrase)};
}

std::string Diagnostic::Id() const
{
    switch (kind) {
    case Kind::WrongSubnet:
        return "wrong-subnet";
    case Kind::AddressConflict:
        return "address-conflict";
    case Kind::SeveralAddresses:
        return "several-addresses";
    case Kind::ReversePathFilter:
        return "rp-filter";
    }
    return "unknown";
}

void Diagnose(std::vector<DeviceDetails> &devices, const std::vector<NetworkInterface> &own,
              const DirectRouteCheck &direct)
{
    // Addresses are per link: two cells on two cards may use one plan. The
    // devices in address order find those that share one in a walk.
    std::vector<std::size_t> byAddress(devices.size());
    std::iota(byAddress.begin(), byAddress.end(), 0);
    const auto place = [&](std::size_t i) { return std::tie(devices[i].address, devices[i].via.name); };
    std::sort(byAddress.begin(), byAddress.end(), [&](std::size_t a, std::size_t b) { return place(a) < place(b); });
    std::vector<bool> shared(devices.size());
    for (std::size_t i = 1; i < byAddress.size(); ++i) {
        if (place(byAddress[i - 1]) == place(byAddress[i]))
            shared[byAddress[i - 1]] = shared[byAddress[i]] = true;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        DeviceDetails &device = devices[i];
        device.warnings.clear();
        const Ipv4Bytes &address = device.address;
        if (!device.alsoAt.empty()) {
            std::string addresses = FormatAddress(address);
            for (const Ipv4Bytes &other : device.alsoAt)
                addresses += ", " + FormatAddress(other);
            device.warnings.push_back(
                Diagnostic::Of(Diagnostic::Kind::SeveralAddresses,
                               {VELQOR_PHRASE("velqor", "Serial answered from several addresses: %1"), {addresses}}));
        }
        // An interface can have several addresses, each with its subnet: the
        // device is on whichever of them covers it, and is named by that one.
        const auto covering = std::find_if(own.begin(), own.end(), [&](const NetworkInterface &network) {
            return network.name == device.via.name && network.Contains(address);
        });
        if (!device.via.name.empty() && !device.via.Contains(address) && covering != own.end())
            device.via = *covering;
        const auto reached = [&] {
            if (device.via.index == 0)
                return false;
            const std::optional<unsigned> through = direct(address);
            return through && *through == device.via.index;
        };
        if (!device.via.name.empty() && !device.via.Contains(address) && !reached()) {
            device.warnings.push_back(Diagnostic::Of(
                Diagnostic::Kind::WrongSubnet,
                {VELQOR_PHRASE(
                     "velqor",
                     "wrong subnet: outside %1 on %2; it can be re-addressed, companion programs cannot reach it"),
                 {device.via.SubnetText(), device.via.name}}));
        }
        if (shared[i]) {
            device.warnings.push_back(Diagnostic::Of(
                Diagnostic::Kind::AddressConflict,
                {VELQOR_PHRASE("velqor", "address conflict: another device answers from this address"), {}}));
        }
    }
}

std::vector<Phrase> NothingFoundPhrases(const std::vector<NetworkInterface> &searched,
                                        const std::vector<std::string> &withoutIpv4)
{
    std::vector<Phrase> phrases;
    if (searched.empty()) {
        phrases.push_back(
            {VELQOR_PHRASE("velqor",
                           "searched on the routing table's interface only (no broadcast-capable IPv4 interface)"),
             {}});
    } else {
        std::string networks;
        for (std::size_t i = 0; i < searched.size(); ++i)
            networks += (i == 0 ? "" : ", ") + searched[i].Label();
        phrases.push_back({VELQOR_PHRASE("velqor", "searched on %1"), {networks}});
    }
    for (const std::string &name : withoutIpv4)
        phrases.push_back({VELQOR_PHRASE("velqor", "%1 is up without an IPv4 address"), {name}});
    phrases.push_back({VELQOR_PHRASE("velqor",
                                     "are the devices powered and cabled, and does a firewall block inbound UDP "
                                     "to this program (it must accept UDP from source port 4365; see README, "
                                     "Firewall)?"),
                       {}});
    return phrases;
}

std::string NothingFoundHint(const std::vector<NetworkInterface> &searched, const std::vector<std::string> &withoutIpv4)
{
    std::string text;
    for (const Phrase &phrase : NothingFoundPhrases(searched, withoutIpv4))
        text += (text.empty() ? "" : "; ") + phrase.Text();
    return text;
}

std::vector<Diagnostic> DiagnoseWorkstation(const std::vector<NetworkInterface> &own,
                                            const std::map<std::string, std::vector<Ipv4Bytes>> &heard,
                                            const ReversePathCheck &accepts)
{
    // Where devices fresh from the factory answer from, one that gave
    // itself a link-local address, and one on a foreign network.
    const std::vector<Ipv4Bytes> usual {{192, 168, 0, 20}, {192, 168, 1, 20}, {10, 0, 0, 20},
                                        {172, 16, 0, 20},  {169, 254, 1, 1},  {198, 51, 100, 1}};
    constexpr std::size_t kHeardAsked = 16;
    std::vector<Diagnostic> found;
    std::vector<std::string> named;
    for (const NetworkInterface &network : own) {
        if (std::find(named.begin(), named.end(), network.name) != named.end())
            continue;
        std::vector<Ipv4Bytes> sources = usual;
        const auto devices = heard.find(network.name);
        if (devices != heard.end()) {
            // One of each network the devices answer from is enough.
            std::set<std::array<unsigned char, 3>> networks;
            for (const Ipv4Bytes &address : devices->second) {
                if (networks.size() < kHeardAsked && networks.insert({address[0], address[1], address[2]}).second)
                    sources.push_back(address);
            }
        }
        const auto dropped = std::find_if(sources.begin(), sources.end(), [&](const Ipv4Bytes &source) {
            return !network.Contains(source) && !accepts(network, source).value_or(true);
        });
        if (dropped == sources.end())
            continue;
        named.push_back(network.name);
        const std::string name = SysctlName(network.name);
        found.push_back(Diagnostic::Of(
            Diagnostic::Kind::ReversePathFilter,
            {VELQOR_PHRASE("velqor",
                           "reverse-path filtering on %1 drops answers from addresses such as %2: no route "
                           "back to them leads through it; turn the filter off there, or add a route to the "
                           "devices' subnet (ip route add SUBNET dev %1)"),
             {network.name, FormatAddress(*dropped)}},
            "sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf." + name + ".rp_filter=0"));
    }
    return found;
}

} // namespace velqor
