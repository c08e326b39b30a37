#include "Diagnostic.h"
#include "DeviceDetails.h"
#include "Phrase.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

using namespace velqor;

namespace {

std::vector<std::string> Ids(const DeviceDetails &device)
{
    std::vector<std::string> ids;
    for (const Diagnostic &warning : device.warnings)
        ids.push_back(warning.Id());
    return ids;
}

} // namespace

TEST(DiagnosticTest, NamesWhatIsWrongWithEachDevicesAddress)
{
    const NetworkInterface eth {"eth1", 3, {192, 168, 5, 1}, 24};
    std::vector<DeviceDetails> devices {
        {Serial("FINE"), {192, 168, 5, 20}, eth, {}, {}, {}},
        {Serial("ELSEWHERE"), {172, 31, 7, 7}, eth, {}, {}, {}},
        {Serial("TWIN-A"), {192, 168, 5, 30}, eth, {}, {}, {}},
        {Serial("TWIN-B"), {192, 168, 5, 30}, eth, {}, {}, {}},
        {Serial("FACTORY"), {192, 168, 0, 20}, eth, {}, {}, {}},
    };
    // A second address on the same interface, for factory-default devices.
    const NetworkInterface second {"eth1", 3, {192, 168, 0, 100}, 24};
    const auto throughGateway = [](const Ipv4Bytes &) { return std::optional<unsigned>(); };
    Diagnose(devices, {eth, second}, throughGateway);
    EXPECT_TRUE(Ids(devices[0]).empty());
    EXPECT_EQ(Ids(devices[1]), std::vector<std::string> {"wrong-subnet"});
    EXPECT_NE(devices[1].warnings[0].text.find("192.168.5.1/24"), std::string::npos);
    EXPECT_EQ(Ids(devices[2]), std::vector<std::string> {"address-conflict"});
    EXPECT_EQ(Ids(devices[3]), std::vector<std::string> {"address-conflict"});
    EXPECT_TRUE(Ids(devices[4]).empty()) << "on the second address's subnet";
    EXPECT_EQ(devices[4].via.Label(), "eth1 192.168.0.100/24");

    // An interface with a /32 address and a route through it reaches every
    // device directly: none is on a wrong subnet.
    const NetworkInterface host {"ppp9", 9, {10, 9, 9, 9}, 32};
    std::vector<DeviceDetails> behind {{Serial("A"), {10, 20, 0, 5}, host, {}, {}, {}}};
    Diagnose(behind, {host}, [](const Ipv4Bytes &) { return std::optional<unsigned>(9); });
    EXPECT_TRUE(Ids(behind[0]).empty());
    Diagnose(behind, {host}, throughGateway);
    EXPECT_EQ(Ids(behind[0]), std::vector<std::string> {"wrong-subnet"});
}

TEST(DiagnosticTest, AReversePathThatDropsForeignAnswersIsNamedOncePerInterfaceWithItsFix)
{
    const std::vector<NetworkInterface> own {
        {"eth0", 2, {10, 0, 0, 1}, 8}, {"eth1", 3, {192, 168, 5, 1}, 24}, {"eth1", 3, {192, 168, 0, 100}, 24}};
    // eth0 has the default route; eth1 has a route back for nothing foreign,
    // nor link-local.
    const auto found = DiagnoseWorkstation(own, {}, [](const NetworkInterface &via, const Ipv4Bytes &source) {
        return via.name == "eth0" || source[0] != 169 ? std::optional<bool>(via.name == "eth0") : false;
    });
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Id(), "rp-filter");
    EXPECT_NE(found[0].text.find("eth1"), std::string::npos);
    EXPECT_EQ(found[0].fix, "sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.eth1.rp_filter=0");
    const auto linkLocalOnly = DiagnoseWorkstation(own, {}, [](const NetworkInterface &, const Ipv4Bytes &source) {
        return std::optional<bool>(source[0] != 169);
    });
    EXPECT_EQ(linkLocalOnly.size(), 2u) << "a link-local device is dropped too";
    // A VPN's route for 192.168.0.0/16 through another interface: a device
    // fresh from the factory behind eth0 is dropped there.
    const auto vpn = DiagnoseWorkstation(own, {}, [](const NetworkInterface &via, const Ipv4Bytes &source) {
        return std::optional<bool>(!(via.name == "eth0" && source == Ipv4Bytes {192, 168, 1, 20}));
    });
    ASSERT_EQ(vpn.size(), 1u);
    EXPECT_NE(vpn[0].text.find("on eth0 drops answers from addresses such as 192.168.1.20"), std::string::npos);
    // And the devices heard there are asked about too.
    const auto heard = DiagnoseWorkstation(own, {{"eth0", {{10, 77, 3, 4}, {172, 30, 0, 9}}}},
                                           [](const NetworkInterface &, const Ipv4Bytes &source) {
                                               return std::optional<bool>(source != Ipv4Bytes {172, 30, 0, 9});
                                           });
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NE(heard[0].text.find("172.30.0.9"), std::string::npos);
    const auto vlan = DiagnoseWorkstation({{"eth0.10", 4, {10, 1, 0, 1}, 24}}, {},
                                          [](const NetworkInterface &, const Ipv4Bytes &) { return false; });
    ASSERT_EQ(vlan.size(), 1u);
    EXPECT_EQ(vlan[0].fix, "sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.eth0/10.rp_filter=0");
    EXPECT_TRUE(
        DiagnoseWorkstation(own, {}, [](const NetworkInterface &, const Ipv4Bytes &) { return std::optional<bool>(); })
            .empty())
        << "a system that does not say claims no drop";
#if !defined(_WIN32)
    // The kernel's refusal, as 6.1 and as later kernels say it.
    EXPECT_TRUE(IsReversePathRefusal(-EXDEV));
    EXPECT_TRUE(IsReversePathRefusal(-EINVAL));
    EXPECT_FALSE(IsReversePathRefusal(-ENODEV));
#endif
    EXPECT_EQ(NetworkInterface({"x", 1, {192, 168, 5, 9}, 22}).Broadcast(), (Ipv4Bytes {192, 168, 7, 255}))
        << "computed, not trusted";
}

TEST(DiagnosticTest, ASearchThatFoundNothingSaysWhereItLookedAndWhy)
{
    const std::string hint =
        NothingFoundHint({{"eth0", 2, {10, 0, 0, 1}, 8}, {"eth1", 3, {192, 168, 5, 1}, 24}}, {"wlan0"});
    EXPECT_EQ(hint.rfind("searched on eth0 10.0.0.1/8, eth1 192.168.5.1/24; wlan0 is up without an IPv4 address; ", 0),
              0u)
        << hint;
    EXPECT_NE(hint.find("firewall"), std::string::npos);
    EXPECT_EQ(NothingFoundHint({}, {}).rfind("searched on the routing table's interface only", 0), 0u);
}

// A text's values go in once each, where its placeholders are: a value that
// holds a placeholder is not read again, and a % that is none stays.
TEST(DiagnosticTest, APhrasesValuesGoInOnceWhereItsPlaceholdersAre)
{
    const std::vector<std::pair<Phrase, std::string>> cases {
        {{"no values", {}}, "no values"},
        {{"%1 and %2", {"h0", "10.0.0.0/8"}}, "h0 and 10.0.0.0/8"},
        {{"%2 before %1", {"A", "%1"}}, "%1 before A"},
        {{"100% of %1, %3 missing", {"it"}}, "100% of it, %3 missing"},
        {{"ip route add SUBNET dev %1)", {"h0"}}, "ip route add SUBNET dev h0)"},
    };
    for (const auto &[phrase, text] : cases)
        EXPECT_EQ(phrase.Text(), text) << phrase.source;
}
