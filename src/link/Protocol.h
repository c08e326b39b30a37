#ifndef VELQOR_PROTOCOL_H
#define VELQOR_PROTOCOL_H

// The device protocol's datagram layouts, both directions. Nothing outside
// this file and Protocol.cpp knows where a field starts or ends.

#include "Message.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velqor {

constexpr std::size_t kCodeLength = 6;
/// Longest datagram taken in; a longer one is dropped whole.
constexpr std::size_t kMaxDatagramLength = 1023;
/// The longest serial a set-address command carries: the code and the four
/// address bytes take the rest.
constexpr std::size_t kMaxSerialLength = kMaxDatagramLength - kCodeLength - 4;
constexpr unsigned short kDevicePort = 4365;
constexpr const char *kBroadcastAddress = "255.255.255.255";

constexpr const char *kGreetingCode = "QVPPPP";
constexpr const char *kQueryCode = "QVCQRE";
constexpr const char *kQueryReplyCode = "VQCQRE";
constexpr const char *kSetAddressCode = "QVSIPC";

// Host to device.
std::string GreetingCommand();
std::string QueryCommand();
/// "QVSIPC", the serial byte for byte, then the address in network order.
std::string SetAddressCommand(const std::string &serial, const Ipv4Bytes &address);

/// Splits a received datagram; none for one shorter than the code or longer
/// than kMaxDatagramLength (a cut datagram would carry a cut serial).
std::optional<Message> SplitDatagram(const char *data, std::size_t length, const Ipv4Bytes &from);

// Device to host.
bool IsQueryReply(const Message &message);
/// Letters 3 to 6 of the code are "SIPC": an answer to the set-address command.
bool IsSetAddressReply(const Message &message);
/// What a set-address answer says.
struct SetAddressAnswer {
    bool accepted;
    /// A refusal's signed first payload byte; 0 for an acceptance and for a
    /// refusal without payload.
    int code;
    /// The refusal carried a code (a payload byte).
    bool withCode = false;
};
/// The answer a set-address reply carries; none for a second letter that is
/// neither "Q" (accepted) nor "V" (refused).
std::optional<SetAddressAnswer> ParseSetAddressAnswer(const Message &message);

// Device side, for simulators.
struct SetAddressRequest {
    std::string serial;
    Ipv4Bytes address;
};
/// The serial and new address of a "QVSIPC" command; none for any other datagram.
std::optional<SetAddressRequest> ParseSetAddressCommand(const Message &message);
std::string QueryReply(const std::string &serial);
std::string SetAddressAccepted();
std::string SetAddressRefused(std::int8_t code);

} // namespace velqor

#endif // VELQOR_PROTOCOL_H
