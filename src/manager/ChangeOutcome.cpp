#include "ChangeOutcome.h"

namespace velqor {

ChangeOutcome Confirm(ChangeOutcome sent, bool foundAtNewAddress)
{
    if (sent.Checkable() && foundAtNewAddress)
        sent.kind = ChangeOutcome::Kind::Moved;
    return sent;
}

const char *ReasonText(NotSentReason reason)
{
    switch (reason) {
    case NotSentReason::Busy:
        return "another operation is running";
    case NotSentReason::NotAssignable:
        return "no device can take that address";
    case NotSentReason::TooLong:
        return "the command does not fit a datagram";
    case NotSentReason::SeveralAddresses:
        return "the serial answered from several addresses, and every one of them would move";
    case NotSentReason::NetworkAddress:
        return "that is the network address of the device's subnet";
    case NotSentReason::BroadcastAddress:
        return "that is the broadcast address of the device's subnet";
    case NotSentReason::WorkstationAddress:
        return "that is this workstation's own address";
    case NotSentReason::HeldByAnotherDevice:
        return "another device answers from that address";
    }
    return "not sent";
}

} // namespace velqor
