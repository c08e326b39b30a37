#include "Diagnostic.h"
#include "DeviceDetails.h"

#include <gtest/gtest.h>

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
    Diagnose(devices, {eth, second});
    EXPECT_TRUE(Ids(devices[0]).empty());
    EXPECT_EQ(Ids(devices[1]), std::vector<std::string> {"wrong-subnet"});
    EXPECT_NE(devices[1].warnings[0].text.find("192.168.5.1/24"), std::string::npos);
    EXPECT_EQ(Ids(devices[2]), std::vector<std::string> {"address-conflict"});
    EXPECT_EQ(Ids(devices[3]), std::vector<std::string> {"address-conflict"});
    EXPECT_TRUE(Ids(devices[4]).empty()) << "on the second address's subnet";
    EXPECT_EQ(devices[4].via.Label(), "eth1 192.168.0.100/24");
}

TEST(DiagnosticTest, AReversePathThatDropsForeignAnswersIsNamedOncePerInterfaceWithItsFix)
{
    const std::vector<NetworkInterface> own {
        {"eth0", 2, {10, 0, 0, 1}, 8}, {"eth1", 3, {192, 168, 5, 1}, 24}, {"eth1", 3, {192, 168, 0, 100}, 24}};
    // eth0 has the default route; eth1 has a route back for nothing foreign,
    // nor link-local.
    const auto found = DiagnoseWorkstation(own, [](const NetworkInterface &via, const Ipv4Bytes &source) {
        return via.name == "eth0" || source[0] != 169 ? std::optional<bool>(via.name == "eth0") : false;
    });
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Id(), "rp-filter");
    EXPECT_NE(found[0].text.find("eth1"), std::string::npos);
    EXPECT_EQ(found[0].fix, "sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.eth1.rp_filter=0");
    const auto linkLocalOnly = DiagnoseWorkstation(
        own, [](const NetworkInterface &, const Ipv4Bytes &source) { return std::optional<bool>(source[0] != 169); });
    EXPECT_EQ(linkLocalOnly.size(), 2u) << "a link-local device is dropped too";
    const auto vlan = DiagnoseWorkstation({{"eth0.10", 4, {10, 1, 0, 1}, 24}},
                                          [](const NetworkInterface &, const Ipv4Bytes &) { return false; });
    ASSERT_EQ(vlan.size(), 1u);
    EXPECT_EQ(vlan[0].fix, "sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.eth0/10.rp_filter=0");
    EXPECT_TRUE(
        DiagnoseWorkstation(own, [](const NetworkInterface &, const Ipv4Bytes &) { return std::optional<bool>(); })
            .empty())
        << "a system that does not say claims no drop";
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
