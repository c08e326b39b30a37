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
