#include "DeviceRegistry.h"
#include "Diagnostic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

using namespace std::chrono_literals;
using velqor::DeviceId;
using velqor::DeviceRegistry;
using velqor::Ipv4Bytes;
using velqor::NetworkInterface;
using velqor::Serial;

namespace {

const DeviceRegistry::Clock::time_point kStart {std::chrono::hours(1)};
const NetworkInterface kEth0 {"eth0", 2, {10, 0, 0, 1}, 24};

DeviceRegistry::Clock::time_point At(std::chrono::milliseconds ms)
{
    return kStart + ms;
}

// Whatever changed, as serial and address.
std::vector<std::string> Changes(DeviceRegistry &registry, std::chrono::milliseconds at)
{
    std::vector<std::string> changes;
    for (const velqor::DeviceDetails &device : registry.TakeChanged(At(at)))
        changes.push_back(device.Id().Text() + " " + velqor::FormatAddress(device.address));
    return changes;
}

} // namespace

TEST(DeviceRegistryTest, IsBoundedAndCountsWhatItDrops)
{
    DeviceRegistry registry;
    for (std::size_t i = 0; i < DeviceRegistry::kMaxDevices; ++i)
        ASSERT_TRUE(registry.Record("SN" + std::to_string(i), {10, 0, 0, 1}, kEth0, At(std::chrono::milliseconds(i))));
    // Full, a newcomer takes the place of the one heard least recently.
    EXPECT_TRUE(registry.Record("one too many", {10, 0, 0, 2}, kEth0, At(100s)));
    EXPECT_TRUE(registry.Record("two too many", {10, 0, 0, 2}, kEth0, At(100s)));
    registry.BeginRound();
    EXPECT_TRUE(registry.Record("SN7", {10, 0, 0, 7}, kEth0, At(100s))) << "a known serial still moves";
    EXPECT_EQ(registry.Map().size(), DeviceRegistry::kMaxDevices);
    EXPECT_EQ(registry.Map().at("SN7"), "10.0.0.7");
    EXPECT_EQ(registry.Map().count("SN0") + registry.Map().count("SN1"), 0u);
    EXPECT_EQ(registry.Map().count("two too many"), 1u);
    EXPECT_EQ(registry.Dropped(), 2u);
    const std::vector<velqor::DeviceDetails> gone = registry.Expire(kStart);
    ASSERT_EQ(gone.size(), 2u) << "said gone";
    EXPECT_EQ(gone[0].serial.Bytes(), "SN0");

    registry.BeginSearch();
    EXPECT_EQ(registry.Dropped(), 0u) << "counted per search";
    registry.Clear();
    EXPECT_TRUE(registry.Record("one too many", {10, 0, 0, 2}, kEth0, kStart));
}

TEST(DeviceRegistryTest, TwoAddressesInOneRoundAreTwinsAndAMoveIsAMove)
{
    const DeviceId twin {"eth0", Serial("TWIN")};
    const DeviceId mover {"eth0", Serial("MOVER")};
    DeviceRegistry registry;
    registry.BeginSearch();
    registry.Record("TWIN", {10, 0, 0, 1}, kEth0, At(0ms));
    registry.Record("MOVER", {10, 0, 0, 5}, kEth0, At(0ms));
    registry.Record("TWIN", {10, 0, 0, 2}, kEth0, At(1ms));
    EXPECT_EQ(Changes(registry, 1ms), (std::vector<std::string> {"MOVER on eth0 10.0.0.5", "TWIN on eth0 10.0.0.1"}));
    EXPECT_TRUE(registry.AnsweredFromSeveralAddresses(twin));
    EXPECT_FALSE(registry.AnsweredFromSeveralAddresses(mover));

    // Round after round the two answer in either order, one the other moves:
    // the twin stays one row at one address, and is no move.
    for (int round = 1; round < 30; ++round) {
        registry.BeginRound();
        const auto at = std::chrono::milliseconds(1000 * round);
        const Ipv4Bytes first = round % 2 == 0 ? Ipv4Bytes {10, 0, 0, 2} : Ipv4Bytes {10, 0, 0, 1};
        const Ipv4Bytes second = round % 2 == 0 ? Ipv4Bytes {10, 0, 0, 1} : Ipv4Bytes {10, 0, 0, 2};
        registry.Record("TWIN", first, kEth0, At(at));
        registry.Record("TWIN", second, kEth0, At(at));
        registry.Record("MOVER", {10, 0, 0, static_cast<unsigned char>(round < 10 ? 5 : 6)}, kEth0, At(at));
        const std::vector<std::string> changes = Changes(registry, at);
        if (round == 10)
            EXPECT_EQ(changes, (std::vector<std::string> {"MOVER on eth0 10.0.0.6"}));
        else
            EXPECT_TRUE(changes.empty()) << round << ": " << changes.front();
    }
    const std::vector<velqor::DeviceDetails> details = registry.Details();
    EXPECT_EQ(details[0].alsoAt, std::vector<Ipv4Bytes> {}) << "a moved device is not its own twin";
    EXPECT_EQ(details[1].address, (Ipv4Bytes {10, 0, 0, 1}));
    EXPECT_EQ(details[1].alsoAt, (std::vector<Ipv4Bytes> {{10, 0, 0, 2}}));
    EXPECT_EQ(details[1].DeviceCount(), 2u);

    // One of the twins goes silent: after a while it is no longer counted.
    for (int round = 30; round < 62; ++round) {
        registry.BeginRound();
        registry.Record("TWIN", {10, 0, 0, 1}, kEth0, At(std::chrono::milliseconds(1000 * round)));
    }
    EXPECT_FALSE(registry.AnsweredFromSeveralAddresses(twin));
    registry.BeginSearch();
    EXPECT_FALSE(registry.AnsweredFromSeveralAddresses(mover)) << "counted per search";
}

TEST(DeviceRegistryTest, ASerialIsADeviceOnEachLink)
{
    // Two machine cells on two cards with one address plan.
    const NetworkInterface cell1 {"cell1", 3, {192, 168, 1, 1}, 24};
    const NetworkInterface cell2 {"cell2", 4, {192, 168, 1, 1}, 24};
    DeviceRegistry registry;
    registry.BeginSearch();
    registry.Record("SAME", {192, 168, 1, 20}, cell1, kStart);
    registry.Record("SAME", {192, 168, 1, 20}, cell2, kStart);
    registry.Record("A", {192, 168, 1, 30}, cell1, kStart);
    registry.Record("B", {192, 168, 1, 30}, cell2, kStart);
    std::vector<velqor::DeviceDetails> devices = registry.Details();
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(registry.FindSerial(Serial("SAME")).size(), 2u);
    velqor::Diagnose(devices, {cell1, cell2});
    for (const velqor::DeviceDetails &device : devices)
        EXPECT_TRUE(device.warnings.empty()) << device.Id().Text() << ": " << device.warnings[0].text;
    EXPECT_EQ(registry.AddressesBesides({"cell1", Serial("A")}), (std::set<Ipv4Bytes> {{192, 168, 1, 20}}));

    registry.Record("C", {192, 168, 1, 30}, cell1, kStart);
    devices = registry.Details();
    velqor::Diagnose(devices, {cell1, cell2});
    EXPECT_EQ(devices[0].warnings[0].Id(), "address-conflict") << "on one link it is one";
}

TEST(DeviceRegistryTest, ListsComeInIdentityOrderWhateverTheBytes)
{
    // Serials alike for their first sixteen bytes and more, the lowest and
    // highest bytes, one serial the start of another; on two links.
    std::mt19937 random(7);
    const std::string bytes("\x00\x01"
                            "A\x7f\x80\xff",
                            6);
    const NetworkInterface cell2 {"cell2", 4, {10, 0, 0, 1}, 24};
    DeviceRegistry registry;
    registry.BeginSearch();
    for (int i = 0; i < 3000; ++i) {
        std::string serial = i % 2 == 0 ? "ORV-PLANT-000000" : "";
        for (std::size_t length = random() % 20 + 1; length > 0; --length)
            serial += bytes[random() % bytes.size()];
        registry.Record(serial, {10, 0, 1, 1}, i % 3 == 0 ? cell2 : kEth0, At(0ms));
    }
    const auto inOrder = [](const std::vector<velqor::DeviceDetails> &devices) {
        return std::adjacent_find(devices.begin(), devices.end(),
                                  [](const auto &a, const auto &b) { return !(a.Id() < b.Id()); }) == devices.end();
    };
    const std::vector<velqor::DeviceDetails> all = registry.Details();
    EXPECT_EQ(all.size(), registry.Size());
    EXPECT_TRUE(inOrder(all));
    EXPECT_TRUE(inOrder(registry.TakeChanged(At(0ms))));
}

TEST(DeviceRegistryTest, TwoCardsOnOneSegmentHearOneDevice)
{
    // Every answer arrives on both cards, in either order.
    const NetworkInterface eth1 {"eth1", 3, {10, 0, 0, 2}, 24};
    DeviceRegistry registry;
    registry.BeginSearch();
    registry.Record("SN", {10, 0, 0, 9}, kEth0, At(0ms));
    for (int query = 0; query < 3; ++query) {
        registry.BeginRound();
        registry.Record("SN", {10, 0, 0, 9}, eth1, At(std::chrono::milliseconds(1000 * query)));
        registry.Record("SN", {10, 0, 0, 9}, kEth0, At(std::chrono::milliseconds(1000 * query)));
    }
    ASSERT_EQ(registry.Details().size(), 1u);
    EXPECT_EQ(registry.Details()[0].via, kEth0);
    EXPECT_EQ(Changes(registry, 3000ms), (std::vector<std::string> {"SN on eth0 10.0.0.9"}));
    registry.Record("SN", {10, 0, 0, 9}, eth1, At(3000ms));
    EXPECT_TRUE(Changes(registry, 3000ms).empty()) << "nothing changed";

    // Heard first on a card whose subnet does not hold it: the other card's.
    const NetworkInterface narrow {"narrow", 5, {10, 0, 0, 3}, 32};
    registry.Record("FAR", {10, 0, 0, 8}, narrow, At(3000ms));
    registry.Record("FAR", {10, 0, 0, 8}, kEth0, At(3000ms));
    ASSERT_EQ(registry.FindSerial(Serial("FAR")).size(), 1u);
    EXPECT_EQ(registry.FindSerial(Serial("FAR"))[0].via, kEth0);
    const std::vector<velqor::DeviceDetails> left = registry.Expire(At(0ms));
    ASSERT_EQ(left.size(), 1u) << "the card it left says so";
    EXPECT_EQ(left[0].Id().Text(), "FAR on narrow");
}

TEST(DeviceRegistryTest, ChangesAreTakenOnceSettled)
{
    DeviceRegistry registry;
    registry.Record("EARLY", {10, 0, 0, 1}, kEth0, At(0ms));
    registry.Record("LATE", {10, 0, 0, 2}, kEth0, At(150ms));
    EXPECT_EQ(Changes(registry, 100ms), (std::vector<std::string> {"EARLY on eth0 10.0.0.1"}));
    EXPECT_EQ(Changes(registry, 200ms), (std::vector<std::string> {"LATE on eth0 10.0.0.2"}));
}

TEST(DeviceRegistryTest, ASearchForgetsOnlyWhenAskedWhatItDidNotHear)
{
    DeviceRegistry registry;
    registry.BeginSearch();
    registry.Record("GONE", {10, 0, 0, 1}, kEth0, kStart);
    registry.Record("STAYS", {10, 0, 0, 2}, kEth0, kStart);
    registry.BeginSearch();
    registry.Record("STAYS", {10, 0, 0, 2}, kEth0, kStart);
    const std::vector<velqor::DeviceDetails> kept = registry.Details();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_FALSE(kept[0].heard);
    EXPECT_TRUE(kept[1].heard);
    EXPECT_EQ(registry.AddressesBesides({"eth0", Serial("STAYS")}), (std::set<Ipv4Bytes> {{10, 0, 0, 1}}))
        << "a device kept from the last search still holds its address";
    EXPECT_EQ(registry.ForgetUnheard(), 1u);
    EXPECT_EQ(registry.Map().size(), 1u);
}

TEST(DeviceRegistryTest, ForgetsWhatWasNotHeardAndMakesRoomForWhatIs)
{
    DeviceRegistry registry(2);
    registry.Record("OLD", {10, 0, 0, 1}, kEth0, At(0ms));
    registry.Record("SILENT", {10, 0, 0, 2}, kEth0, At(0ms));
    registry.Record("OLD", {10, 0, 0, 1}, kEth0, At(1000ms));
    registry.Record("QUIET", {10, 0, 0, 4}, kEth0, At(1000ms));
    const std::vector<velqor::DeviceDetails> gone = registry.Expire(At(500ms));
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].serial.Bytes(), "SILENT") << "full, the one heard least recently made room";
    EXPECT_TRUE(registry.Expire(At(999ms)).empty()) << "heard since the time given";
    EXPECT_TRUE(registry.Record("NEW", {10, 0, 0, 3}, kEth0, At(1000ms)));
    EXPECT_EQ(registry.Map(), (velqor::DeviceMap {{"NEW", "10.0.0.3"}, {"QUIET", "10.0.0.4"}}));
}

// Lossless rounds at first, then every round loses answers (its among
// them): a run without end keeps the device 30 s, as README says, not the
// 3.5 s of rounds that lost nothing.
TEST(DeviceRegistryTest, UnderLossADeviceIsForgottenOnlyAfterThirtySeconds)
{
    for (const bool lossy : {true, false}) {
        DeviceRegistry registry;
        for (int round = 0; round < 3; ++round) {
            registry.BeginRound();
            registry.Record("QUIET", {10, 0, 0, 4}, kEth0, At(std::chrono::seconds(round)));
            registry.CompleteRound(At(std::chrono::seconds(round)));
        }
        std::chrono::milliseconds forgottenAt {0};
        for (std::chrono::milliseconds now = 3s; now <= 40s && forgottenAt == 0ms; now += 500ms) {
            registry.BeginRound();
            if (!lossy && now % 1000ms == 0ms)
                registry.CompleteRound(At(now));
            if (!registry.ExpireAbsent(At(now)).empty())
                forgottenAt = now;
        }
        if (lossy)
            EXPECT_EQ(forgottenAt, 2s + DeviceRegistry::kForgetUnderLoss + 500ms);
        else
            EXPECT_LE(forgottenAt, 2s + DeviceRegistry::kForgetAfter + 1s);
        EXPECT_GT(forgottenAt, 2s + DeviceRegistry::kForgetAfter) << (lossy ? "lossy" : "lossless");
    }
}

// Two devices that share a serial answer from two addresses: neither
// address is free for another device.
TEST(DeviceRegistryTest, ATwinsSecondAddressIsHeldAgainstOthers)
{
    DeviceRegistry registry;
    registry.BeginRound();
    registry.Record("TWIN", {10, 0, 0, 72}, kEth0, kStart);
    registry.Record("TWIN", {10, 0, 0, 73}, kEth0, kStart);
    registry.Record("A", {10, 0, 0, 81}, kEth0, kStart);
    const std::set<Ipv4Bytes> held = registry.AddressesBesides({"eth0", Serial("A")});
    EXPECT_EQ(held, (std::set<Ipv4Bytes> {{10, 0, 0, 72}, {10, 0, 0, 73}}));
}
