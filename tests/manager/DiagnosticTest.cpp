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

TEST(DiagnosticTest, StrictReversePathFilteringIsReportedWithItsFix)
{
    const std::vector<NetworkInterface> own {{"eth0", 2, {10, 0, 0, 1}, 8}, {"eth1", 3, {192, 168, 5, 1}, 24}};
    const auto found =
        DiagnoseWorkstation(own, [](const std::string &name) -> std::optional<int> { return name == "eth1" ? 1 : 2; });
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Id(), "strict-rp-filter");
    EXPECT_EQ(found[0].fix, "sysctl -w net.ipv4.conf.all.rp_filter=2 net.ipv4.conf.eth1.rp_filter=2");
    const auto vlan = DiagnoseWorkstation({{"eth0.10", 4, {10, 1, 0, 1}, 24}}, [](const std::string &) { return 1; });
    ASSERT_EQ(vlan.size(), 1u);
    EXPECT_EQ(vlan[0].fix, "sysctl -w net.ipv4.conf.all.rp_filter=2 net.ipv4.conf.eth0/10.rp_filter=2");
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
