// Real broadcasts to port 4365, run by scripts/vlan (see tests/manager/CMakeLists.txt).

#include "Network.h"
#include "OrvaneManager.h"

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace velqor;

namespace {

DeviceMap Refresh(OrvaneManager &manager)
{
    manager.Clear();
    EXPECT_EQ(manager.Search(1500, true, nullptr), ResultTimeout);
    return manager.GetDevices();
}

void Link(const char *state)
{
    ASSERT_TRUE(velqor::test::SetLink(std::getenv("ORVANE_VLAN_IFACE"), std::string(state) == "up"));
}

} // namespace

TEST(ManagerVirtualLanTest, FindsEveryDeviceAtItsOwnAddress)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    OrvaneManager manager;
    EXPECT_EQ(Refresh(manager),
              (DeviceMap {{"ACCEPT1", "10.100.1.1"},
                          {"ORV000000", "10.100.0.1"},
                          {"ORV000001", "10.100.0.2"},
                          {"ORV000002", "10.100.0.3"},
                          {"REFUSE1", "10.100.1.2"},
                          {"SILENT1", "10.100.1.3"}}));
}

TEST(ManagerVirtualLanTest, AddressChangesAreAnsweredAsTheDevicesDecide)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    OrvaneManager manager;
    EXPECT_EQ(manager.SetAddress("ACCEPT1", "10.100.7.7"), ResultOk);
    EXPECT_EQ(Refresh(manager).at("ACCEPT1"), "10.100.7.7") << "the device answers from its new address";

    EXPECT_EQ(manager.SetAddress("REFUSE1", "10.100.7.8"), -2);
    EXPECT_EQ(manager.SetAddress("SILENT1", "10.100.7.9"), ResultTimeout);
    const DeviceMap devices = Refresh(manager);
    EXPECT_EQ(devices.at("REFUSE1"), "10.100.1.2");
    EXPECT_EQ(devices.at("SILENT1"), "10.100.1.3");
}

TEST(ManagerVirtualLanTest, AQueryThatNeverLeftIsAnErrorNotAnEmptyList)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    OrvaneManager manager;
    // A queue that takes nothing: sendto succeeds, nothing reaches the wire,
    // as with a full neighbour table.
    ASSERT_EQ(std::system("tc qdisc replace dev h0 root pfifo limit 0"), 0);
    try {
        manager.Search(1500, true, nullptr);
        ADD_FAILURE() << "a search that sent nothing ended normally";
    } catch (const boost::system::system_error &e) {
        EXPECT_NE(std::string(e.what()).find("query never left h0"), std::string::npos) << e.what();
    }
    ASSERT_EQ(std::system("tc qdisc del dev h0 root"), 0);
    EXPECT_EQ(Refresh(manager).size(), 6u);
}

// Started by scripts/vlan --no-route; the test takes the workstation's only
// network down: no interface to search on, and no route for a broadcast.
TEST(ManagerVirtualLanTest, NoNetworkFailsLoudlyAndTheNextAttemptRecovers)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    Link("down");
    try {
        OrvaneManager manager;
        FAIL() << "opened without a network";
    } catch (const boost::system::system_error &e) {
        EXPECT_EQ(std::string(e.what()).rfind("send_to", 0), 0u) << e.what();
    }

    Link("up");
    OrvaneManager manager;
    EXPECT_EQ(Refresh(manager).size(), 2u) << "no route needed on a network of its own";
    Link("down");
    EXPECT_THROW(manager.Search(1500, true, nullptr), boost::system::system_error);
    EXPECT_THROW(manager.SetAddress("ORV000000", "10.100.9.9"), boost::system::system_error);

    Link("up");
    EXPECT_EQ(Refresh(manager), (DeviceMap {{"ORV000000", "10.100.0.1"}, {"ORV000001", "10.100.0.2"}}))
        << "a failed send leaves the manager usable";

    // Loose filtering without a default route: no route back to a device
    // outside h0's subnet, so its answers would be dropped. That is said.
    ASSERT_EQ(std::system("sysctl -qw net.ipv4.conf.all.rp_filter=2"), 0);
    const std::vector<Diagnostic> said = manager.GetWorkstationDiagnostics();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].Id(), "rp-filter");
    EXPECT_EQ(said[0].fix, "sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.h0.rp_filter=0");
}
