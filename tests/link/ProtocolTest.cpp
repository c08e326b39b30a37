#include "Protocol.h"

#include <gtest/gtest.h>

using namespace velqor;

namespace {

Message Reply(const std::string &code, const std::string &payload = {})
{
    return Message {code, payload, "10.0.0.1"};
}

// The refusal's code, or -1000 for an acceptance; none when not an answer.
std::optional<int> Outcome(const Message &reply)
{
    const auto answer = ParseSetAddressAnswer(reply);
    if (!answer)
        return std::nullopt;
    return answer->accepted ? -1000 : answer->code;
}

} // namespace

TEST(ProtocolTest, CommandsHaveTheirExactBytes)
{
    EXPECT_EQ(GreetingCommand(), "QVPPPP");
    EXPECT_EQ(QueryCommand(), "QVCQRE");

    const std::string command = SetAddressCommand("ABC123", {10, 1, 2, 3});
    EXPECT_EQ(command, std::string("QVSIPCABC123\x0A\x01\x02\x03", 16));
    EXPECT_EQ(SetAddressCommand("", {255, 0, 128, 1}), std::string("QVSIPC\xFF\x00\x80\x01", 10));

    const std::string binarySerial("\x00S\xFF", 3);
    EXPECT_EQ(SetAddressCommand(binarySerial, {1, 2, 3, 4}), std::string("QVSIPC\x00S\xFF\x01\x02\x03\x04", 13));
}

TEST(ProtocolTest, SplitDatagramKeepsEveryByte)
{
    EXPECT_FALSE(SplitDatagram("QVCQR", 5, {1, 2, 3, 4}));
    EXPECT_FALSE(SplitDatagram("", 0, {1, 2, 3, 4}));
    const std::string longest(1023, 'x'), tooLong(1024, 'x');
    EXPECT_TRUE(SplitDatagram(longest.data(), longest.size(), {1, 2, 3, 4}));
    EXPECT_FALSE(SplitDatagram(tooLong.data(), tooLong.size(), {1, 2, 3, 4}));

    const auto bare = SplitDatagram("VQCQRE", 6, {1, 2, 3, 4});
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->code, "VQCQRE");
    EXPECT_EQ(bare->payload, "");
    EXPECT_EQ(bare->sender, "1.2.3.4");

    const std::string withZeros("VQCQRE\x00"
                                "A\x00",
                                9);
    const auto message = SplitDatagram(withZeros.data(), withZeros.size(), {1, 2, 3, 4});
    ASSERT_TRUE(message);
    EXPECT_EQ(message->payload,
              std::string("\x00"
                          "A\x00",
                          3));
}

TEST(ProtocolTest, QueryReplyIsRecognisedByItsWholeCode)
{
    EXPECT_TRUE(IsQueryReply(Reply("VQCQRE", "SN1")));
    EXPECT_FALSE(IsQueryReply(Reply("vqcqre")));
    EXPECT_FALSE(IsQueryReply(Reply("QVCQRE")));
    EXPECT_FALSE(IsQueryReply(Reply("VQPPPP")));
}

TEST(ProtocolTest, SetAddressReplyCarriesItsResultCode)
{
    EXPECT_EQ(Outcome(Reply("VQSIPC")), -1000);
    EXPECT_EQ(Outcome(Reply("XQSIPC", "\x05")), -1000) << "a 'Q' reply ignores its payload";
    EXPECT_EQ(Outcome(Reply("VVSIPC", "\x31")), 49);
    EXPECT_EQ(Outcome(Reply("VVSIPC", "\xFF")), -1);
    EXPECT_EQ(Outcome(Reply("VVSIPC", "\xFE")), -2);
    EXPECT_EQ(Outcome(Reply("VVSIPC", "\x80")), -128);
    EXPECT_EQ(Outcome(Reply("AVSIPC")), 0) << "an empty refusal is still a refusal";

    EXPECT_FALSE(Outcome(Reply("VXSIPC", "\x01"))) << "second letter neither V nor Q";
    EXPECT_FALSE(Outcome(Reply("VQSIPX")));
    EXPECT_FALSE(Outcome(Reply("VQCQRE")));
}

TEST(ProtocolTest, DeviceSideRoundTrip)
{
    const auto request = ParseSetAddressCommand(Reply("QVSIPC",
                                                      std::string("SN\x00"
                                                                  "9\x0A\x01\x02\x03",
                                                                  8)));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->serial,
              std::string("SN\x00"
                          "9",
                          4));
    EXPECT_EQ(request->address, (Ipv4Bytes {10, 1, 2, 3}));
    EXPECT_FALSE(ParseSetAddressCommand(Reply("QVSIPC", "abc"))) << "too short for an address";
    EXPECT_FALSE(ParseSetAddressCommand(Reply("QVCQRE", "abcdef")));

    EXPECT_EQ(QueryReply(std::string("\x00Z", 2)), std::string("VQCQRE\x00Z", 8));
    EXPECT_EQ(Outcome(Reply(SetAddressAccepted().substr(0, 6))), -1000);
    const std::string refusal = SetAddressRefused(-7);
    EXPECT_EQ(Outcome(Reply(refusal.substr(0, 6), refusal.substr(6))), -7);
}
