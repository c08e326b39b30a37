#include "DeviceRegistry.h"
#include "Printable.h"

#include <gtest/gtest.h>

using velqor::DeviceRegistry;

TEST(DeviceRegistryTest, IsBoundedAndCountsWhatItDrops)
{
    DeviceRegistry registry;
    for (std::size_t i = 0; i < DeviceRegistry::kMaxDevices; ++i)
        ASSERT_TRUE(registry.Record("SN" + std::to_string(i), "10.0.0.1"));
    EXPECT_FALSE(registry.Record("one too many", "10.0.0.2"));
    EXPECT_FALSE(registry.Record("two too many", "10.0.0.2"));
    EXPECT_TRUE(registry.Record("SN7", "10.0.0.7")) << "a known serial still moves";
    EXPECT_EQ(registry.Map().size(), DeviceRegistry::kMaxDevices);
    EXPECT_EQ(registry.Map().at("SN7"), "10.0.0.7");
    EXPECT_EQ(registry.Dropped(), 2u);

    registry.BeginSearch();
    EXPECT_EQ(registry.Dropped(), 0u) << "counted per search";
    registry.Clear();
    EXPECT_TRUE(registry.Record("one too many", "10.0.0.2"));
}

TEST(DeviceRegistryTest, KnowsWhichSerialsAnsweredOneSearchFromSeveralAddresses)
{
    DeviceRegistry registry;
    registry.BeginSearch();
    registry.Record("TWIN", "10.0.0.1");
    registry.Record("TWIN", "10.0.0.1");
    registry.Record("ONE", "10.0.0.3");
    EXPECT_FALSE(registry.AnsweredFromSeveralAddresses("TWIN"));
    registry.Record("TWIN", "10.0.0.2");
    EXPECT_TRUE(registry.AnsweredFromSeveralAddresses("TWIN"));
    EXPECT_FALSE(registry.AnsweredFromSeveralAddresses("ONE"));
    EXPECT_EQ(registry.Map().at("TWIN"), "10.0.0.2") << "the latest address is kept";

    registry.BeginSearch();
    registry.Record("ONE", "10.0.0.4");
    EXPECT_FALSE(registry.AnsweredFromSeveralAddresses("TWIN")) << "forgotten with the search";
    EXPECT_FALSE(registry.AnsweredFromSeveralAddresses("ONE")) << "a device moved between searches";
}

TEST(PrintableTest, EscapesEveryByteATerminalWouldActOn)
{
    EXPECT_EQ(velqor::Printable("ORV-01 ok~"), "ORV-01 ok~");
    EXPECT_EQ(velqor::Printable(std::string("\x1b]0;X\x07\n\\\x00\xe9", 10)), "\\x1b]0;X\\x07\\x0a\\x5c\\x00\\xe9");
}
