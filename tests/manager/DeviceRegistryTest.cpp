#include "DeviceRegistry.h"
#include "Diagnostic.h"

#include <gtest/gtest.h>

using velqor::DeviceRegistry;
using velqor::Ipv4Bytes;

TEST(DeviceRegistryTest, IsBoundedAndCountsWhatItDrops)
{
    DeviceRegistry registry;
    for (std::size_t i = 0; i < DeviceRegistry::kMaxDevices; ++i)
        ASSERT_TRUE(registry.Record("SN" + std::to_string(i), {10, 0, 0, 1}));
    EXPECT_FALSE(registry.Record("one too many", {10, 0, 0, 2}));
    EXPECT_FALSE(registry.Record("two too many", {10, 0, 0, 2}));
    EXPECT_TRUE(registry.Record("SN7", {10, 0, 0, 7})) << "a known serial still moves";
    EXPECT_EQ(registry.Map().size(), DeviceRegistry::kMaxDevices);
    EXPECT_EQ(registry.Map().at("SN7"), "10.0.0.7");
    EXPECT_EQ(registry.Dropped(), 2u);

    registry.BeginSearch();
    EXPECT_EQ(registry.Dropped(), 0u) << "counted per search";
    registry.Clear();
    EXPECT_TRUE(registry.Record("one too many", {10, 0, 0, 2}));
}

TEST(DeviceRegistryTest, KnowsWhichSerialsAnsweredOneSearchFromSeveralAddresses)
{
    DeviceRegistry registry;
    registry.BeginSearch();
    registry.Record("TWIN", {10, 0, 0, 1});
    registry.Record("TWIN", {10, 0, 0, 1});
    registry.Record("ONE", {10, 0, 0, 3});
    EXPECT_FALSE(registry.AnsweredFromSeveralAddresses("TWIN"));
    registry.Record("TWIN", {10, 0, 0, 2});
    EXPECT_TRUE(registry.AnsweredFromSeveralAddresses("TWIN"));
    EXPECT_FALSE(registry.AnsweredFromSeveralAddresses("ONE"));
    EXPECT_EQ(registry.Map().at("TWIN"), "10.0.0.2") << "the latest address is kept";

    registry.BeginSearch();
    registry.Record("ONE", {10, 0, 0, 4});
    EXPECT_FALSE(registry.AnsweredFromSeveralAddresses("TWIN")) << "forgotten with the search";
    EXPECT_FALSE(registry.AnsweredFromSeveralAddresses("ONE")) << "a device moved between searches";
}

TEST(DeviceRegistryTest, ARowShowsEveryAddressItsSerialAnsweredFrom)
{
    DeviceRegistry registry;
    registry.BeginSearch();
    registry.Record("TWIN", {10, 0, 0, 1});
    registry.Record("TWIN", {10, 0, 0, 2});
    registry.Record("TWIN", {10, 0, 0, 1});
    std::vector<velqor::DeviceDetails> details = registry.Details();
    ASSERT_EQ(details.size(), 1u);
    EXPECT_EQ(details[0].address, (Ipv4Bytes {10, 0, 0, 1})) << "the last answer";
    EXPECT_EQ(details[0].alsoAt, (std::vector<Ipv4Bytes> {{10, 0, 0, 2}}));
    EXPECT_EQ(details[0].DeviceCount(), 2u);
    velqor::Diagnose(details, {});
    ASSERT_EQ(details[0].warnings.size(), 1u);
    EXPECT_EQ(details[0].warnings[0].text,
              "Serial answered from several addresses: 10.0.0.1, 10.0.0.2 (the first answered last)");
}

TEST(DeviceRegistryTest, ADeviceHeardOnTwoInterfacesStaysWithTheFirst)
{
    // Two NICs on one switch: every answer arrives on both, in either order.
    const velqor::NetworkInterface eth0 {"eth0", 2, {10, 0, 0, 1}, 24};
    const velqor::NetworkInterface eth1 {"eth1", 3, {10, 0, 0, 2}, 24};
    DeviceRegistry registry;
    registry.Record("SN", {10, 0, 0, 9}, eth0);
    for (int query = 0; query < 3; ++query) {
        registry.Record("SN", {10, 0, 0, 9}, eth1);
        registry.Record("SN", {10, 0, 0, 9}, eth0);
    }
    EXPECT_EQ(registry.Details()[0].via, eth0);
    registry.TakeChanged();
    registry.Record("SN", {10, 0, 0, 9}, eth1);
    EXPECT_TRUE(registry.TakeChanged().empty()) << "nothing changed";
}

TEST(DeviceRegistryTest, ForgetsWhatWasNotHeardAndMakesRoomForWhatIs)
{
    DeviceRegistry registry(2);
    registry.Record("OLD", {10, 0, 0, 1});
    registry.Record("SILENT", {10, 0, 0, 2});
    registry.Record("OLD", {10, 0, 0, 1});
    EXPECT_FALSE(registry.Record("NEW", {10, 0, 0, 3})) << "full";
    const auto now = std::chrono::steady_clock::now();
    registry.Record("OLD", {10, 0, 0, 1});
    const std::vector<velqor::DeviceDetails> gone = registry.Expire(now);
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].serial.Bytes(), "SILENT") << "heard before the time given";
    EXPECT_TRUE(registry.Record("NEW", {10, 0, 0, 3})) << "room again";
    EXPECT_EQ(registry.Map().size(), 2u);
}
