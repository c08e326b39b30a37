// Real broadcasts in a virtual LAN with two networks (scripts/vlan
// --second-net): h0 with a default route, h1 without one, and a device on a
// foreign subnet behind h1 (see tests/manager/CMakeLists.txt).

#include "Network.h"
#include "OrvaneManager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <thread>

using namespace std::chrono_literals;
using namespace velqor;

namespace {

// serial -> "address via interface [warning ids]"
std::map<std::string, std::string> Refresh(OrvaneManager &manager)
{
    manager.Clear();
    EXPECT_EQ(manager.Search(1500, true, nullptr), ResultTimeout);
    std::map<std::string, std::string> found;
    for (const DeviceDetails &device : manager.GetDeviceDetails()) {
        std::string text = FormatAddress(device.address) + " via " + device.via.name;
        for (const Diagnostic &warning : device.warnings)
            text += " " + warning.Id();
        found[device.serial.Bytes()] = text;
    }
    return found;
}

void Shell(const std::string &command)
{
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

} // namespace

TEST(TwoNetworksTest, OneSearchFindsEveryDeviceOfBothNetworksWithItsInterface)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    OrvaneManager manager;
    EXPECT_EQ(Refresh(manager),
              (std::map<std::string, std::string> {
                  {"FOREIGN1", "172.31.7.7 via h1 wrong-subnet"},
                  {"NET2-000000", "172.20.64.1 via h1"},
                  {"NET2-000001", "172.20.64.2 via h1"},
                  {"ORV000000", "10.100.0.1 via h0"},
                  {"ORV000001", "10.100.0.2 via h0"},
                  {"REF2", "172.20.64.50 via h1"},
              }));
    EXPECT_TRUE(manager.GetWorkstationDiagnostics().empty()) << "the host filters loosely";
}

TEST(TwoNetworksTest, DevicesOfTheSecondNetworkAreReaddressedThere)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    OrvaneManager manager;
    Refresh(manager);
    EXPECT_EQ(manager.SetAddress("REF2", "172.20.64.99"), -4) << "the refusal comes back from the second network";
    EXPECT_EQ(manager.SetAddress("FOREIGN1", "172.20.128.5"), ResultOk);
    EXPECT_EQ(Refresh(manager).at("FOREIGN1"), "172.20.128.5 via h1") << "moved into the network, no warning";
}

TEST(TwoNetworksTest, WithoutADefaultRouteEveryNetworkIsStillSearched)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    Shell("ip route del default dev h0");
    OrvaneManager manager;
    const auto found = Refresh(manager);
    Shell("ip route add default dev h0");
    EXPECT_EQ(found.at("NET2-000001"), "172.20.64.2 via h1");
    EXPECT_EQ(found.at("ORV000001"), "10.100.0.2 via h0");
}

TEST(TwoNetworksTest, AnInterfaceGoingDownDoesNotEndARunWithoutEnd)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    OrvaneManager manager;
    ASSERT_EQ(manager.Search(0, false, nullptr), ResultOk);
    std::this_thread::sleep_for(1200ms);
    ASSERT_TRUE(velqor::test::SetLink("h1", false));
    manager.Clear();
    std::this_thread::sleep_for(2200ms); // two repeats without h1
    EXPECT_EQ(manager.SetAddress("ORV000000", "10.100.0.9"), ResultBusy) << "the run goes on";
    const DeviceMap seen = manager.GetDevices();
    ASSERT_TRUE(velqor::test::SetLink("h1", true));
    manager.StopSearch();
    EXPECT_EQ(seen.count("ORV000000"), 1u) << "h0 is still searched";
    EXPECT_EQ(seen.count("NET2-000000"), 0u);
    EXPECT_EQ(manager.Search(300, true, nullptr), ResultTimeout) << "usable";
}
