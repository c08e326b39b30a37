#include "AddressPlan.h"
#include "Csv.h"
#include "LinkTarget.h"

#include <gtest/gtest.h>

using namespace velqor;

TEST(AddressPlanTest, FreeAddressesSkipWhatIsTaken)
{
    const NetworkInterface network {"eth1", 3, {192, 168, 5, 1}, 24};
    EXPECT_EQ(FirstFreeAddress(network, {{192, 168, 5, 2}}), (Ipv4Bytes {192, 168, 5, 3}))
        << "not the network address, not the workstation's, not a device's";
    const NetworkInterface full {"p2p", 4, {10, 0, 0, 1}, 30};
    EXPECT_FALSE(FirstFreeAddress(full, {{10, 0, 0, 2}})) << "10.0.0.3 is the broadcast address";

    EXPECT_EQ(PlanAddresses({192, 168, 5, 253}, 3, {{192, 168, 5, 254}}),
              (std::vector<Ipv4Bytes> {{192, 168, 5, 253}, {192, 168, 6, 1}, {192, 168, 6, 2}}))
        << "in use, .255 and .0 are skipped";
}

TEST(CsvTest, QuotesWhatNeedsQuotingAndHexesUnprintableSerials)
{
    EXPECT_EQ(CsvRecord({"plain", "a,b", "say \"hi\"", "two\nlines", ""}),
              "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\r\n");
    EXPECT_FALSE(HasUnprintable("ORV-01 ~"));
    EXPECT_TRUE(HasUnprintable(std::string("A\0B", 3)));
    EXPECT_EQ(Hex(std::string("\x00\xff"
                              "A",
                              3)),
              "00ff41");
}

TEST(LinkTargetTest, TakesAnAddressAndAPort)
{
    const auto directed = ParseLinkTarget("192.168.5.255");
    ASSERT_TRUE(directed);
    EXPECT_EQ(directed->address, "192.168.5.255");
    EXPECT_EQ(directed->port, kDevicePort);
    const auto loopback = ParseLinkTarget("127.0.0.1:43650");
    ASSERT_TRUE(loopback);
    EXPECT_EQ(loopback->port, 43650);
    for (const char *wrong :
         {"", "host.example", "10.0.0.1:", "10.0.0.1:0", "10.0.0.1:65536", "10.0.0.1:4x", "1.2.3:80"})
        EXPECT_FALSE(ParseLinkTarget(wrong)) << wrong;
}
