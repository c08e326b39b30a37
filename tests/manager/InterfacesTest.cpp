// One socket per interface, on loopback with a fake interface list: each
// "interface" is a loopback address the simulator's answers come back to.

#include "ManagerFixture.h"
#include "Network.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

using namespace std::chrono_literals;
using namespace velqor;
using velqor::test::Device;

namespace {

// Index 0: no interface of the system's, so nothing is pinned to one.
NetworkInterface Fake(const char *name, unsigned char last, int prefixLength)
{
    return NetworkInterface {name, 0, {127, 0, 0, last}, prefixLength};
}

/// An interface list that the test changes while the manager runs.
class FakeInterfaces {
public:
    explicit FakeInterfaces(std::vector<NetworkInterface> list) : list(std::move(list)) { }
    void Set(std::vector<NetworkInterface> newList)
    {
        std::lock_guard<std::mutex> lock(mutex);
        list = std::move(newList);
    }
    InterfaceLister Lister()
    {
        return [this] {
            std::lock_guard<std::mutex> lock(mutex);
            return list;
        };
    }

private:
    std::mutex mutex;
    std::vector<NetworkInterface> list;
};

/// The source addresses that sent the simulator a query since index from.
std::set<std::string> QueriedFrom(const sim::DeviceSimulator &simulator, std::size_t from)
{
    std::set<std::string> sources;
    const auto received = simulator.Received();
    for (std::size_t i = from; i < received.size(); ++i) {
        if (received[i].bytes == "QVCQRE")
            sources.insert(received[i].source.substr(0, received[i].source.find(':')));
    }
    return sources;
}

} // namespace

// A device known on one interface: its answer counts only when it comes in
// on that interface, even from its own address.
TEST(InterfacesTest, OnlyAnAnswerOnTheDevicesInterfaceDecidesItsChange)
{
    sim::SimulatorOptions options;
    options.listenAddress = "127.0.0.1";
    options.port = 0;
    sim::DeviceSimulator simulator({Device("QUIET", "127.0.0.5", sim::SimulatedDevice::Answer::Silent)}, options);
    const NetworkInterface first = Fake("first", 2, 32);
    const NetworkInterface second = Fake("second", 3, 32); // two /32s: separate links
    FakeInterfaces interfaces({first, second});
    OrvaneManagerPrivate manager("127.0.0.1", simulator.Port(), interfaces.Lister());
    ASSERT_EQ(manager.Search(300, true, nullptr), ResultTimeout);
    const DeviceId device {"first", Serial("QUIET")};
    ASSERT_TRUE(manager.FindDevice(device));
    for (const NetworkInterface &on : {second, first}) {
        const std::size_t before = simulator.Received().size();
        std::thread answer([&] {
            if (simulator.WaitForReceived(before + 1, 5s))
                test::SendDatagram("VQSIPC", on.AddressText(), manager.LocalPort(on), "127.0.0.5");
        });
        const ChangeOutcome outcome = manager.ChangeAddress(device, {10, 0, 0, 60}, true, false);
        answer.join();
        EXPECT_EQ(outcome.kind, on == first ? ChangeOutcome::Kind::Acknowledged : ChangeOutcome::Kind::NoAnswer)
            << on.name;
    }
}

TEST(InterfacesTest, SendsOnEveryInterfaceAndTagsAnswersWithTheirs)
{
    ORVANE_REQUIRE_LOOPBACK_SOURCES();
    sim::SimulatorOptions options;
    options.listenAddress = "127.0.0.1";
    options.port = 0;
    sim::DeviceSimulator simulator({Device("NEAR", "127.0.0.5")}, options);
    // 10.255.255.1 is nobody's address here: it cannot be bound, and is skipped.
    FakeInterfaces interfaces({Fake("wide", 2, 8), Fake("narrow", 3, 32), {"gone", 9, {10, 255, 255, 1}, 24}});
    OrvaneManagerPrivate manager("127.0.0.1", simulator.Port(), interfaces.Lister());
    ASSERT_TRUE(simulator.WaitForReceived(2, 2s));
    EXPECT_EQ(simulator.Received().size(), 2u) << "a greeting on each usable interface";

    EXPECT_EQ(manager.Search(300, true, nullptr), ResultTimeout);
    EXPECT_EQ(QueriedFrom(simulator, 0), (std::set<std::string> {"127.0.0.2", "127.0.0.3"}));
    const auto devices = manager.GetDeviceDetails();
    ASSERT_EQ(devices.size(), 1u) << "heard on both, listed once";
    EXPECT_EQ(devices[0].via.name, "wide") << "the interface whose subnet holds the device";
    EXPECT_TRUE(devices[0].warnings.empty());

    // Between repeats of a run without end: one interface comes, one goes.
    ASSERT_EQ(manager.Search(0, false, nullptr), ResultOk);
    interfaces.Set({Fake("narrow", 3, 32), Fake("new", 4, 32)});
    std::this_thread::sleep_for(1300ms);
    const std::size_t mark = simulator.Received().size();
    std::this_thread::sleep_for(1100ms);
    manager.StopSearch();
    EXPECT_EQ(QueriedFrom(simulator, mark), (std::set<std::string> {"127.0.0.3", "127.0.0.4"}));
    // Two /32 networks share no subnet: each is a link of its own, and the
    // device on it is outside it.
    std::set<std::string> heardOn;
    for (const DeviceDetails &device : manager.GetDeviceDetails()) {
        if (device.via.name == "wide")
            continue; // not heard since it went; forgotten after a while
        heardOn.insert(device.via.name);
        ASSERT_EQ(device.warnings.size(), 1u);
        EXPECT_EQ(device.warnings[0].Id(), "wrong-subnet") << device.via.name;
    }
    EXPECT_EQ(heardOn, (std::set<std::string> {"narrow", "new"}));
}

// A device known on one interface that has gone since: its change is sent
// through no other, where a device with the same serial would move instead.
TEST(InterfacesTest, AChangeForAnInterfaceThatWentIsSentNowhere)
{
    sim::SimulatorOptions options;
    options.listenAddress = "127.0.0.1";
    options.port = 0;
    sim::DeviceSimulator simulator({Device("TWIN", "127.0.0.5")}, options);
    const NetworkInterface cell = Fake("cell", 2, 32);
    const NetworkInterface other = Fake("other", 3, 32);
    FakeInterfaces interfaces({cell, other});
    OrvaneManagerPrivate manager("127.0.0.1", simulator.Port(), interfaces.Lister());
    ASSERT_EQ(manager.Search(300, true, nullptr), ResultTimeout);
    ASSERT_TRUE(manager.FindDevice({"cell", Serial("TWIN")}));
    interfaces.Set({other}); // the cable of the cell is pulled
    const ChangeOutcome outcome = manager.SendChange({"cell", Serial("TWIN")}, {10, 0, 0, 60}, true);
    EXPECT_EQ(outcome.kind, ChangeOutcome::Kind::NotSent);
    EXPECT_EQ(outcome.reason, NotSentReason::LinkDown);
    const auto received = simulator.Received();
    EXPECT_TRUE(std::none_of(received.begin(), received.end(), [](const sim::ReceivedDatagram &datagram) {
        return datagram.bytes.rfind("QVSIPC", 0) == 0;
    })) << "sent on another interface";
}
