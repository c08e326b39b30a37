#include "Protocol.h"

#include <algorithm>

namespace velqor {

namespace {

constexpr std::size_t kServiceOffset = 2;
constexpr const char *kSetAddressService = "SIPC";

bool HasCode(const Message &message, const char *code)
{
    return message.code == code;
}

} // namespace

std::string GreetingCommand()
{
    return kGreetingCode;
}

std::string QueryCommand()
{
    return kQueryCode;
}

std::string SetAddressCommand(const std::string &serial, const Ipv4Bytes &address)
{
    std::string datagram;
    datagram.reserve(kCodeLength + serial.size() + address.size());
    datagram += kSetAddressCode;
    datagram += serial;
    for (unsigned char octet : address)
        datagram += static_cast<char>(octet);
    return datagram;
}

std::optional<Message> SplitDatagram(const char *data, std::size_t length, const Ipv4Bytes &from)
{
    if (length < kCodeLength || length > kMaxDatagramLength)
        return std::nullopt;
    return Message {std::string(data, kCodeLength), std::string(data + kCodeLength, length - kCodeLength),
                    FormatAddress(from), from};
}

bool IsQueryReply(const Message &message)
{
    return HasCode(message, kQueryReplyCode);
}

bool IsSetAddressReply(const Message &message)
{
    return message.code.size() == kCodeLength && message.code.compare(kServiceOffset, 4, kSetAddressService) == 0;
}

std::optional<SetAddressAnswer> ParseSetAddressAnswer(const Message &message)
{
    if (!IsSetAddressReply(message))
        return std::nullopt;
    switch (message.code[1]) {
    case 'Q':
        return SetAddressAnswer {true, 0, false};
    case 'V':
        if (message.payload.empty())
            return SetAddressAnswer {false, 0, false};
        return SetAddressAnswer {false, static_cast<int>(static_cast<std::int8_t>(message.payload[0])), true};
    default:
        return std::nullopt;
    }
}

std::optional<SetAddressRequest> ParseSetAddressCommand(const Message &message)
{
    SetAddressRequest request;
    if (!HasCode(message, kSetAddressCode) || message.payload.size() < request.address.size())
        return std::nullopt;
    const std::size_t serialLength = message.payload.size() - request.address.size();
    request.serial = message.payload.substr(0, serialLength);
    for (std::size_t i = 0; i < request.address.size(); ++i)
        request.address[i] = static_cast<unsigned char>(message.payload[serialLength + i]);
    return request;
}

std::string QueryReply(const std::string &serial)
{
    return kQueryReplyCode + serial;
}

std::string SetAddressAccepted()
{
    return "VQSIPC";
}

std::string SetAddressRefused(std::int8_t code)
{
    // The first letter is not examined; "V" keeps the reply apart from the command.
    return std::string("VVSIPC") + static_cast<char>(code);
}

} // namespace velqor
