// Real broadcasts to port 4365, run by scripts/vlan (see tests/manager/CMakeLists.txt).

#include "Network.h"
#include "OrvaneManager.h"
#include "PlanRunner.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

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
                          {"LATE1", "10.100.1.5"},
                          {"ORV000000", "10.100.0.1"},
                          {"ORV000001", "10.100.0.2"},
                          {"ORV000002", "10.100.0.3"},
                          {"REFUSE1", "10.100.1.2"},
                          {"SILENT1", "10.100.1.3"},
                          {"STAYS1", "10.100.1.4"}}));
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
    // Queues that take no query: sendto succeeds, nothing reaches the wire,
    // as with a full neighbour table. In the second the host sends other
    // packets meanwhile (as it answers address resolution), so the
    // interface's count moves all the same.
    const struct {
        const char *queue;
        bool otherTraffic;
    } cases[] = {
        {"tc qdisc replace dev h0 root pfifo limit 0", false},
        {"tc qdisc replace dev h0 root handle 1: htb default 2 && "
         "tc class add dev h0 parent 1: classid 1:1 htb rate 1gbit quantum 1514 && "
         "tc class add dev h0 parent 1: classid 1:2 htb rate 1gbit quantum 1514 && "
         "tc qdisc add dev h0 parent 1:1 pfifo limit 0 && "
         "tc filter add dev h0 parent 1: protocol ip u32 match ip dport 4365 0xffff flowid 1:1",
         true},
    };
    for (const auto &c : cases) {
        OrvaneManager manager;
        ASSERT_EQ(std::system(c.queue), 0);
        std::atomic<bool> searching {true};
        std::thread other([&] {
            boost::asio::io_context io;
            boost::asio::ip::udp::socket socket(io, boost::asio::ip::udp::v4());
            const boost::asio::ip::udp::endpoint discard(boost::asio::ip::make_address_v4("10.100.0.1"), 9);
            boost::system::error_code ignored;
            while (c.otherTraffic && searching) {
                socket.send_to(boost::asio::buffer("x", 1), discard, 0, ignored);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        try {
            manager.Search(1500, true, nullptr);
            ADD_FAILURE() << "a search that sent nothing ended normally: " << c.queue;
        } catch (const boost::system::system_error &e) {
            EXPECT_NE(std::string(e.what()).find("query never left h0"), std::string::npos) << e.what();
        }
        searching = false;
        other.join();
        ASSERT_EQ(std::system("tc qdisc del dev h0 root"), 0);
        EXPECT_EQ(Refresh(manager).size(), 8u);
    }
}

// Beside the devices a host acknowledges every change from the address the
// change names (LIAR): the device's own answer, whenever it comes, and
// where the verifying search finds it decide.
TEST(ManagerVirtualLanTest, TheEndStateDecidesAChangeNotTheFirstAnswer)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    OrvaneManager manager;
    Refresh(manager);
    const struct {
        const char *serial;
        Ipv4Bytes to;
        ChangeOutcome::Kind kind;
        std::optional<Ipv4Bytes> foundAt;
    } cases[] = {
        {"ACCEPT1", {10, 100, 2, 1}, ChangeOutcome::Kind::Moved, Ipv4Bytes {10, 100, 2, 1}},
        {"STAYS1", {10, 100, 2, 4}, ChangeOutcome::Kind::AcknowledgedNotMoved, Ipv4Bytes {10, 100, 1, 4}},
        {"LATE1", {10, 100, 2, 5}, ChangeOutcome::Kind::Refused, std::nullopt}, // after the second's wait
        {"REFUSE1", {10, 100, 2, 2}, ChangeOutcome::Kind::Refused, std::nullopt},
        {"SILENT1", {10, 100, 2, 3}, ChangeOutcome::Kind::NoAnswer, Ipv4Bytes {10, 100, 1, 3}},
    };
    for (const auto &c : cases) {
        const ChangeOutcome outcome = manager.ChangeAddress({"h0", Serial(c.serial)}, c.to);
        EXPECT_EQ(outcome.kind, c.kind) << c.serial;
        EXPECT_EQ(outcome.foundAt, c.foundAt) << c.serial;
    }
}

// The gateway of a route through the device's link, and an address another
// host answers for (scripts/vlan --host 10.101.0.9), are refused.
TEST(ManagerVirtualLanTest, GatewaysAndHostsKeepTheirAddresses)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    ASSERT_EQ(std::system("ip route add 198.18.0.0/15 via 10.77.0.254 dev h0"), 0);
    OrvaneManager manager;
    Refresh(manager);
    const ChangeOutcome gateway = manager.ChangeAddress({"h0", Serial("ORV000000")}, {10, 77, 0, 254});
    ASSERT_EQ(std::system("ip route del 198.18.0.0/15"), 0);
    EXPECT_EQ(gateway.kind, ChangeOutcome::Kind::NotSent);
    EXPECT_EQ(gateway.reason, NotSentReason::Gateway);

    const ChangeOutcome host = manager.ChangeAddress({"h0", Serial("ORV000000")}, {10, 101, 0, 9});
    EXPECT_EQ(host.kind, ChangeOutcome::Kind::NotSent);
    EXPECT_EQ(host.reason, NotSentReason::InUseByHost);
    EXPECT_EQ(host.host.size(), 17u) << "its hardware address: " << host.host;
    EXPECT_EQ(manager.ChangeAddress({"h0", Serial("ORV000000")}, {10, 100, 3, 9}).kind, ChangeOutcome::Kind::Moved)
        << "the devices' own addresses are no host's";
}

// A host takes the address a swap is to pass through after the plan was
// checked (scripts/vlan --quiet-arp --host 10.101.0.9: only the host answers
// for addresses): the address is asked once more when it is used, and the
// swap passes through another.
TEST(ManagerVirtualLanTest, ATemporaryAddressTakenMeanwhileIsNotUsed)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    OrvaneManager manager;
    Refresh(manager);
    PlanRunner runner(manager);
    const DeviceId a {"h0", Serial("ORV000000")};
    const DeviceId b {"h0", Serial("ORV000001")};
    const MovePlan plan = runner.Prepare(runner.MoveRows(a, {10, 100, 0, 2}, true), false);
    ASSERT_EQ(plan.Rows().size(), 2u);
    ASSERT_TRUE(plan.Runnable());
    ASSERT_TRUE(plan.Steps().front().temporary);
    const std::string taken = FormatAddress(plan.Steps().front().to);
    const std::string host = std::string(std::getenv("ORVANE_VLAN_ID")) + "-x0";
    ASSERT_EQ(std::system(("ip netns exec " + host + " ip addr add " + taken + "/10 dev x0").c_str()), 0);
    const std::vector<RowResult> results = runner.Run(plan);
    ASSERT_EQ(std::system(("ip netns exec " + host + " ip addr del " + taken + "/10 dev x0").c_str()), 0);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].kind, RowResult::Kind::Moved);
    EXPECT_EQ(results[1].kind, RowResult::Kind::Moved);
    const DeviceMap devices = Refresh(manager);
    EXPECT_EQ(devices.at("ORV000000"), "10.100.0.2");
    EXPECT_EQ(devices.at("ORV000001"), "10.100.0.1");
    // What the devices received: no change onto the host's address.
    std::ifstream record(std::getenv("ORVANE_VLAN_RECORD"));
    const std::string received((std::istreambuf_iterator<char>(record)), std::istreambuf_iterator<char>());
    const Ipv4Bytes bytes = plan.Steps().front().to;
    const std::string onto =
        "515653495043" + Serial("ORV000000").Hex() + Serial(std::string(bytes.begin(), bytes.end())).Hex();
    EXPECT_NE(received.find("515653495043"), std::string::npos) << "the record holds the changes";
    EXPECT_EQ(received.find(onto), std::string::npos) << "sent onto " << taken << ", the host's";
}

// ifupdown labels a second address "h0:1": it is h0's, for the search, for
// the check that a query left, and for the reverse-path fix.
TEST(ManagerVirtualLanTest, AnAddressLabelIsItsInterface)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    ASSERT_EQ(std::system("ip addr add 10.99.0.1/24 dev h0 label h0:1"), 0);
    OrvaneManager manager;
    for (const NetworkInterface &network : manager.GetInterfaces())
        EXPECT_EQ(network.name, "h0");
    ASSERT_EQ(std::system("tc qdisc replace dev h0 root pfifo limit 0"), 0);
    bool neverLeft = false;
    try {
        manager.Search(1500, true, nullptr);
    } catch (const boost::system::system_error &e) {
        neverLeft = std::string(e.what()).find("query never left h0") != std::string::npos;
    }
    ASSERT_EQ(std::system("tc qdisc del dev h0 root"), 0);
    ASSERT_EQ(std::system("ip addr del 10.99.0.1/24 dev h0"), 0);
    EXPECT_TRUE(neverLeft) << "the labelled address's interface counts what it sends";
}

// Strict filtering on h0 and a VPN's route for 192.168.0.0/16 through a
// point-to-point interface: devices fresh from the factory behind h0 are
// dropped. That is said, naming h0, and its fix works.
TEST(ManagerVirtualLanTest, AReversePathThatDropsFactoryDefaultsIsNamedAndItsFixWorks)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    ASSERT_EQ(std::system("ip tuntap add dev tun9 mode tun && ip addr add 10.201.0.1 peer 10.201.0.2 dev tun9 && "
                          "ip link set tun9 up && ip route add 192.168.0.0/16 dev tun9 && "
                          "sysctl -qw net.ipv4.conf.all.rp_filter=1 net.ipv4.conf.h0.rp_filter=1"),
              0);
    OrvaneManager manager;
    const std::vector<Diagnostic> said = manager.GetWorkstationDiagnostics();
    std::string fixed;
    if (said.size() == 1)
        fixed = said[0].fix;
    const int ran = fixed.empty() ? -1 : std::system((fixed + " >/dev/null").c_str());
    const std::vector<Diagnostic> after = manager.GetWorkstationDiagnostics();
    ASSERT_EQ(std::system("ip link del tun9 && sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.h0.rp_filter=0"),
              0);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].text.rfind("reverse-path filtering on h0 drops answers from addresses such as 192.168.", 0), 0u)
        << said[0].text;
    EXPECT_EQ(ran, 0) << fixed;
    EXPECT_TRUE(after.empty()) << after[0].text;

    // A bridge's port has no address of its own, and is not said to lack one.
    ASSERT_EQ(std::system("ip link add br9 type bridge && ip link add d9 type veth peer name d9p && "
                          "ip link set d9 master br9 && ip link set d9p up && ip link set d9 up && ip link set br9 up"),
              0);
    const std::vector<std::string> without = ListInterfacesWithoutIpv4();
    ASSERT_EQ(std::system("ip link del d9 && ip link del br9"), 0);
    EXPECT_EQ(std::count(without.begin(), without.end(), "d9"), 0);
    EXPECT_EQ(std::count(without.begin(), without.end(), "d9p"), 1) << "an interface without an address of its own";
}

const DeviceDetails *Find(const std::vector<DeviceDetails> &devices, const std::string &serial)
{
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const DeviceDetails &device) { return device.serial.Bytes() == serial; });
    return found == devices.end() ? nullptr : &*found;
}

// Started by scripts/vlan --second-address: h0 also has 192.168.0.100/24, and
// OLD1 answers from 192.168.0.50.
TEST(ManagerVirtualLanTest, ASecondAddressOnTheInterfaceIsASubnetOfItsOwn)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    OrvaneManager manager;
    Refresh(manager);
    std::vector<DeviceDetails> devices = manager.GetDeviceDetails();
    ASSERT_EQ(devices.size(), 3u);
    for (const DeviceDetails &device : devices)
        EXPECT_TRUE(device.warnings.empty()) << device.serial.Display() << ": " << device.warnings[0].text;
    ASSERT_TRUE(Find(devices, "OLD1"));
    EXPECT_EQ(Find(devices, "OLD1")->via.Label(), "h0 192.168.0.100/24");
    EXPECT_EQ(Find(devices, "ORV000000")->via.Label(), "h0 10.77.0.1/10");

    EXPECT_EQ(manager.ChangeAddress({"h0", Serial("ORV000000")}, {192, 168, 0, 60}).kind, ChangeOutcome::Kind::Moved);
    Refresh(manager);
    devices = manager.GetDeviceDetails();
    ASSERT_TRUE(Find(devices, "ORV000000"));
    EXPECT_EQ(FormatAddress(Find(devices, "ORV000000")->address), "192.168.0.60");
    EXPECT_EQ(Find(devices, "ORV000000")->via.Label(), "h0 192.168.0.100/24");
    EXPECT_TRUE(Find(devices, "ORV000000")->warnings.empty()) << "moved into the second subnet, nothing to flag";
}

// Started by scripts/vlan --twin-nic: h0 and h2 on one segment both hear
// every device.
TEST(ManagerVirtualLanTest, TwoNetworkCardsOnOneSegmentMoveNoDevice)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    OrvaneManager manager;
    ASSERT_EQ(manager.GetInterfaces().size(), 2u);
    ASSERT_EQ(manager.Search(0, false, nullptr), ResultOk);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(manager.TakeChangedDevices().size(), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    const std::vector<DeviceDetails> changed = manager.TakeChangedDevices();
    EXPECT_TRUE(changed.empty()) << changed.size() << " changed, e.g. " << changed[0].serial.Display() << " now on "
                                 << changed[0].via.Label();
    EXPECT_TRUE(manager.TakeGoneDevices().empty());
    manager.StopSearch();
}

// Started by scripts/vlan --cell2 2 --device3 ORV000001@10.100.0.9: h3 has
// h0's own address, on a wire of its own with a cell of the same address
// plan, and ORV000001 answers in both cells.
TEST(ManagerVirtualLanTest, TwoCellsWithOneAddressPlanAreEachSearchedOnTheirOwnCard)
{
    ORVANE_REQUIRE_VIRTUAL_LAN();
    OrvaneManager manager;
    Refresh(manager);
    auto listed = [&] {
        std::vector<std::string> devices;
        for (const DeviceDetails &device : manager.GetDeviceDetails()) {
            devices.push_back(device.Id().Text() + " " + FormatAddress(device.address));
            EXPECT_TRUE(device.warnings.empty()) << devices.back() << ": " << device.warnings[0].text;
        }
        return devices;
    };
    EXPECT_EQ(listed(),
              (std::vector<std::string> {"CELL2-000000 on h3 10.100.0.1", "CELL2-000001 on h3 10.100.0.2",
                                         "ORV000000 on h0 10.100.0.1", "ORV000001 on h0 10.100.0.2",
                                         "ORV000001 on h3 10.100.0.9"}));
    EXPECT_EQ(manager.ChangeAddress({"h3", Serial("ORV000001")}, {10, 100, 0, 20}).kind, ChangeOutcome::Kind::Moved);
    Refresh(manager);
    EXPECT_EQ(listed(),
              (std::vector<std::string> {"CELL2-000000 on h3 10.100.0.1", "CELL2-000001 on h3 10.100.0.2",
                                         "ORV000000 on h0 10.100.0.1", "ORV000001 on h0 10.100.0.2",
                                         "ORV000001 on h3 10.100.0.20"}))
        << "only the device of the cell named moved";
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
