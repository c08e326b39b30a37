#include "ManagerFixture.h"
#include "Network.h"
#include "OrvaneManager.h"

#include <thread>

using namespace std::chrono_literals;
using namespace velqor;
using velqor::sim::SimulatedDevice;
using velqor::test::Device;
using velqor::test::ManagerTest;
using velqor::test::SendDatagram;
using Clock = std::chrono::steady_clock;

TEST_F(ManagerTest, SetAddressSendsTheSerialAndAddressByteForByte)
{
    Start({Device("ABC123", "127.0.0.2"), Device("", "127.0.0.3")});
    EXPECT_EQ(manager->SetAddress("ABC123", "10.1.2.3"), ResultOk);
    EXPECT_EQ(manager->SetAddress("", "10.0.0.200"), ResultOk);
    const auto received = simulator->Received();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[1].bytes, std::string("QVSIPCABC123\x0A\x01\x02\x03", 16));
    EXPECT_EQ(received[2].bytes, std::string("QVSIPC\x0A\x00\x00\xC8", 10));
}

TEST_F(ManagerTest, SetAddressRefusesWhatNoDeviceCanTake)
{
    Start({Device("SN", "127.0.0.2")});
    for (const char *address :
         {"1.2.3", "a.b.c.d", "1.2.3.4.", "256.0.0.1", "", "1.2.3.4 ", "localhost", "1..2.3", "0.0.0.0", "0.1.2.3",
          "127.0.0.5", "224.0.0.1", "239.255.255.255", "240.0.0.1", "255.255.255.255"})
        EXPECT_EQ(manager->SetAddress("SN", address), ResultInvalidArgument) << address;
    const auto started = Clock::now();
    EXPECT_EQ(manager->SetAddress(std::string(1014, 'x'), "10.0.0.1"), ResultInvalidArgument) << "1024-byte command";
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - started).count(), 0.5);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Received(), 1u) << "only the greeting was sent";
}

TEST_F(ManagerTest, SetAddressReportsTheDevicesAnswer)
{
    Start({Device("OK", "127.0.0.2"), Device("R49", "127.0.0.3", SimulatedDevice::Answer::Refuse, 0x31),
           Device("RM1", "127.0.0.4", SimulatedDevice::Answer::Refuse, -1),
           Device("QUIET", "127.0.0.5", SimulatedDevice::Answer::Silent)});

    EXPECT_EQ(manager->SetAddress("OK", "10.0.0.20"), ResultOk);
    EXPECT_EQ(manager->GetDevices(), (DeviceMap {{"OK", "10.0.0.20"}})) << "an accepted unknown serial is added";
    EXPECT_EQ(simulator->AddressOf("OK"), "10.0.0.20");

    EXPECT_EQ(manager->SetAddress("R49", "10.0.0.21"), 49);
    EXPECT_EQ(manager->SetAddress("RM1", "10.0.0.22"), -1);

    const auto started = Clock::now();
    EXPECT_EQ(manager->SetAddress("QUIET", "10.0.0.23"), ResultTimeout);
    const double waited = std::chrono::duration<double>(Clock::now() - started).count();
    EXPECT_GT(waited, 0.95);
    EXPECT_LT(waited, 2.0);
    EXPECT_EQ(manager->GetDevices(), (DeviceMap {{"OK", "10.0.0.20"}})) << "refusals and silence change nothing";
}

TEST_F(ManagerTest, RefusalWithoutACodeIsNoSuccess)
{
    Start({Device("ZERO", "127.0.0.3", SimulatedDevice::Answer::Refuse, 0)});
    EXPECT_EQ(manager->SetAddress("ZERO", "10.0.0.31"), ResultRefusedWithoutCode);
    const unsigned short port = manager->LocalPort();
    std::thread device([&] {
        if (simulator->WaitForReceived(3, 5s))
            SendDatagram("VVSIPC", "127.0.0.1", port, "127.0.0.2");
    });
    EXPECT_EQ(manager->SetAddress("X", "10.0.0.30"), ResultRefusedWithoutCode);
    device.join();
}

TEST_F(ManagerTest, OnlyTheDevicesOwnAnswerDecidesItsChange)
{
    ORVANE_REQUIRE_LOOPBACK_SOURCES();
    Start({Device("QUIET", "127.0.0.2", SimulatedDevice::Answer::Silent)});
    ASSERT_EQ(manager->Search(300, true, nullptr), ResultTimeout);
    const unsigned short port = manager->LocalPort();
    // A host that acknowledges every change, then the device itself.
    for (const char *from : {"127.0.0.9", "127.0.0.2"}) {
        const std::size_t before = Received();
        std::thread host([&] {
            if (simulator->WaitForReceived(before + 1, 5s))
                SendDatagram("VQSIPC", "127.0.0.1", port, from);
        });
        const ChangeOutcome outcome = manager->ChangeAddress({"", Serial("QUIET")}, {10, 0, 0, 60}, false, false);
        host.join();
        EXPECT_EQ(outcome.kind,
                  std::string(from) == "127.0.0.2" ? ChangeOutcome::Kind::Acknowledged : ChangeOutcome::Kind::NoAnswer)
            << from;
    }
}

TEST_F(ManagerTest, AStaleDeadlineNeverEndsALaterRun)
{
    Start({Device("SN", "127.0.0.2")});
    ASSERT_EQ(manager->SetAddress("SN", "10.0.0.40"), ResultOk);
    ASSERT_EQ(manager->Search(0, false, nullptr), ResultOk);
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(manager->WaitResult(), ResultBusy) << "the run without end is still running";
    EXPECT_GE(Received(), 4u) << "greeting, command, query, repeated query";
}

TEST_F(ManagerTest, TheLongestCommandThatFitsIsSentAndTheManagerStaysUsable)
{
    const std::string longest(1013, 's');
    Start({Device("SN", "127.0.0.2"), Device(longest, "127.0.0.3")});
    EXPECT_EQ(manager->SetAddress(std::string(70000, 'x'), "10.0.0.50"), ResultInvalidArgument);
    EXPECT_EQ(manager->SetAddress(longest, "10.0.0.51"), ResultOk);
    EXPECT_EQ(simulator->Received().back().bytes.size(), 1023u);
    EXPECT_EQ(manager->SetAddress("SN", "10.0.0.50"), ResultOk);
    EXPECT_EQ(manager->Search(100, true, nullptr), ResultTimeout);
}

TEST(ManagerLifetimeTest, DestroyingManagersStopsThemCleanlyEvenMidRun)
{
    ORVANE_REQUIRE_LOOPBACK_SOURCES();
    sim::SimulatorOptions options;
    options.listenAddress = "127.0.0.1";
    options.port = 0;
    sim::DeviceSimulator simulator({Device("SN", "127.0.0.2")}, options);
    for (int i = 0; i < 20; ++i) {
        OrvaneManager manager("127.0.0.1", simulator.Port());
        if (i % 2 == 0)
            EXPECT_EQ(manager.Search(0, false, nullptr), ResultOk);
        else
            EXPECT_EQ(manager.Search(1000, false, nullptr), ResultOk);
    }
    OrvaneManager manager("127.0.0.1", simulator.Port());
    EXPECT_TRUE(manager.GetDevices().empty());
    EXPECT_EQ(manager.Search(300, true, nullptr), ResultTimeout);
    EXPECT_EQ(manager.GetDevices(), (DeviceMap {{"SN", "127.0.0.2"}}));
}
