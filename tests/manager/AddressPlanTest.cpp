#include "AddressPlan.h"
#include "AddressRules.h"
#include "Csv.h"
#include "LinkTarget.h"
#include "OrvaneManagerPrivate.h"

#include <gtest/gtest.h>

using namespace velqor;

TEST(AddressPlanTest, SuggestionsStayInsideTheSubnetAndOffWhatIsTaken)
{
    const NetworkInterface network {"eth1", 3, {192, 168, 5, 10}, 24};
    const NetworkInterface other {"eth2", 4, {192, 168, 5, 11}, 24}; // a second address of the workstation
    EXPECT_EQ(FirstFreeAddress(network, {{192, 168, 5, 12}}, {other}), (Ipv4Bytes {192, 168, 5, 13}))
        << "from .10 up: not the workstation's addresses, not a device's";
    const NetworkInterface small {"p2p", 4, {10, 0, 0, 1}, 30};
    EXPECT_EQ(FirstFreeAddress(small, {}), (Ipv4Bytes {10, 0, 0, 2})) << "too small to start at .10";
    EXPECT_FALSE(FirstFreeAddress(small, {{10, 0, 0, 2}})) << "10.0.0.3 is the broadcast address";

    const NetworkInterface half {"eth3", 5, {10, 1, 0, 1}, 25};
    EXPECT_EQ(PlanAddresses({10, 1, 0, 124}, 5, half, {{10, 1, 0, 125}}, {{"eth4", 6, {10, 1, 0, 126}, 25}}),
              (std::vector<Ipv4Bytes> {{10, 1, 0, 124}}))
        << "in use, the workstation's, then .127: the /25's broadcast";
    EXPECT_EQ(PlanAddresses({192, 168, 5, 8}, 3, network, {}, {other}),
              (std::vector<Ipv4Bytes> {{192, 168, 5, 8}, {192, 168, 5, 9}, {192, 168, 5, 12}}));
    // A start outside the network: its /24, and no further.
    EXPECT_EQ(
        PlanAddresses({10, 0, 0, 250}, 10, network, {}, {other}),
        (std::vector<Ipv4Bytes> {{10, 0, 0, 250}, {10, 0, 0, 251}, {10, 0, 0, 252}, {10, 0, 0, 253}, {10, 0, 0, 254}}));
}

TEST(AddressRulesTest, AddressesThatTakeADeviceOrTheWorkstationOffTheNetworkAreRefused)
{
    const NetworkInterface via {"eth1", 3, {192, 168, 5, 1}, 24};
    const NetworkInterface second {"eth2", 4, {10, 9, 0, 1}, 16};
    const std::vector<NetworkInterface> own {via, second};
    const std::set<Ipv4Bytes> others {{192, 168, 5, 20}};
    const struct {
        Ipv4Bytes address;
        NetworkInterface via;
        std::optional<NotSentReason> reason;
    } cases[] = {
        {{192, 168, 5, 30}, via, std::nullopt},
        {{169, 254, 3, 4}, via, std::nullopt}, // link-local: allowed
        {{127, 0, 0, 9}, via, NotSentReason::NotAssignable},
        {{192, 168, 5, 0}, via, NotSentReason::NetworkAddress},
        {{192, 168, 5, 255}, via, NotSentReason::BroadcastAddress},
        {{10, 9, 255, 255}, via, NotSentReason::BroadcastAddress}, // another network of the workstation
        {{192, 168, 5, 1}, via, NotSentReason::WorkstationAddress},
        {{10, 9, 0, 1}, via, NotSentReason::WorkstationAddress},
        {{192, 168, 5, 20}, via, NotSentReason::HeldByAnotherDevice},
        {{172, 16, 0, 0}, {"ptp", 5, {172, 16, 0, 1}, 31}, std::nullopt}, // RFC 3021: both usable
        {{172, 16, 0, 1}, {"ptp", 5, {172, 16, 0, 0}, 31}, std::nullopt},
        {{172, 17, 0, 0}, {"eth9", 6, {172, 17, 0, 1}, 22}, NotSentReason::NetworkAddress},
        {{172, 17, 3, 255}, {"eth9", 6, {172, 17, 0, 1}, 22}, NotSentReason::BroadcastAddress},
        {{172, 17, 3, 255}, {}, std::nullopt}, // no subnet known
        {{192, 168, 5, 254}, via, NotSentReason::Gateway},
        {{10, 9, 0, 77}, via, NotSentReason::OutsideSubnet}, // another interface's network
        {{8, 8, 8, 8}, via, NotSentReason::OutsideSubnet},
        {{10, 9, 0, 254}, second, std::nullopt}, // a gateway of eth1 only
    };
    AddressFacts facts;
    facts.own = own;
    facts.gateways["eth1"] = {{192, 168, 5, 254}, {10, 9, 0, 254}};
    for (const auto &c : cases)
        EXPECT_EQ(CheckNewAddress(c.address, c.via, facts, others), c.reason) << FormatAddress(c.address);
    for (NotSentReason forced :
         {NotSentReason::HeldByAnotherDevice, NotSentReason::OutsideSubnet, NotSentReason::InUseByHost})
        EXPECT_TRUE(Overridable(forced));
    for (NotSentReason never : {NotSentReason::Gateway, NotSentReason::BroadcastAddress,
                                NotSentReason::WorkstationAddress, NotSentReason::NotAssignable})
        EXPECT_FALSE(Overridable(never));
}

TEST(ChangeOutcomeTest, EveryRefusalCodeIsTheDevicesOwn)
{
    for (int code = -128; code <= 127; ++code) {
        const Message reply {"VVSIPC", SetAddressRefused(static_cast<std::int8_t>(code)).substr(6), "10.0.0.1"};
        const auto answer = ParseSetAddressAnswer(reply);
        ASSERT_TRUE(answer) << code;
        const ChangeOutcome outcome = OrvaneManagerPrivate::OutcomeOf(*answer);
        EXPECT_EQ(outcome.kind, ChangeOutcome::Kind::Refused) << code;
        EXPECT_EQ(outcome.deviceCode, std::optional<std::int8_t>(static_cast<std::int8_t>(code))) << code;
    }
    const auto bare = ParseSetAddressAnswer(Message {"VVSIPC", "", "10.0.0.1"});
    EXPECT_EQ(OrvaneManagerPrivate::OutcomeOf(*bare).deviceCode, std::nullopt) << "refused without a code";
    EXPECT_EQ(OrvaneManagerPrivate::OutcomeOf(*ParseSetAddressAnswer(Message {"VQSIPC", "", "10.0.0.1"})).kind,
              ChangeOutcome::Kind::Acknowledged);
}

TEST(CsvTest, CellsStayTextInASpreadsheetAndTheSerialKeepsItsBytes)
{
    EXPECT_EQ(CsvRecord({"plain", "a,b", "say \"hi\"", "two\nlines", ""}),
              "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\r\n");
    EXPECT_EQ(CsvRecord({"=1+1", "+1", "-1", "@SUM(A1)", "\tx", "\rx", "a=b"}),
              "'=1+1,'+1,'-1,'@SUM(A1),'\tx,\"'\rx\",a=b\r\n");
    EXPECT_EQ(TsvRecord({"=HYPERLINK(1)", "b"}), "'=HYPERLINK(1)\tb\n");

    DeviceDetails device;
    device.serial = Serial(std::string("=X\t\n\0", 5));
    device.address = {10, 0, 0, 1};
    device.alsoAt = {{10, 0, 0, 2}};
    device.via = {"-eth0", 2, {10, 0, 0, 9}, 24};
    device.warnings = {Diagnostic::Of(Diagnostic::Kind::SeveralAddresses, {}),
                       Diagnostic::Of(Diagnostic::Kind::AddressConflict, {})};
    EXPECT_EQ(
        DeviceCsvHeader(),
        (std::vector<std::string> {"serial", "address", "network", "serial_hex", "also_at", "interface", "warnings"}));
    EXPECT_EQ(CsvRecord(DeviceCsvFields(device)),
              "\\x3dX\\x09\\x0a\\x00,10.0.0.1,'-eth0 10.0.0.9/24,3d58090a00,"
              "10.0.0.2,'-eth0,several-addresses address-conflict\r\n");
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
