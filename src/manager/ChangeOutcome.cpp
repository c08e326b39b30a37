#include "ChangeOutcome.h"

namespace velqor {

bool Overridable(NotSentReason reason)
{
    return reason == NotSentReason::HeldByAnotherDevice || reason == NotSentReason::InUseByHost ||
        reason == NotSentReason::OutsideSubnet;
}

const char *ReasonText(NotSentReason reason)
{
    switch (reason) {
    case NotSentReason::Busy:
        return "another operation is running";
    case NotSentReason::NotAssignable:
        return "no device can take that address";
    case NotSentReason::TooLong:
        return "the serial is too long to address";
    case NotSentReason::SeveralAddresses:
        return "the serial answered from several addresses, and every one of them would move";
    case NotSentReason::NetworkAddress:
        return "that is the network address of the device's subnet";
    case NotSentReason::BroadcastAddress:
        return "that is the broadcast address of the device's subnet";
    case NotSentReason::WorkstationAddress:
        return "that is this workstation's own address";
    case NotSentReason::Gateway:
        return "that is the gateway of a route of this workstation";
    case NotSentReason::HeldByAnotherDevice:
        return "another device answers from that address";
    case NotSentReason::InUseByHost:
        return "another host answers for that address";
    case NotSentReason::OutsideSubnet:
        return "that address is outside the networks of the device's interface";
    case NotSentReason::NoFreeAddress:
        return "no free address is left to pass through";
    case NotSentReason::NotFound:
        return "no device with that serial answered";
    case NotSentReason::SeveralLinks:
        return "the serial answers on several interfaces; name one";
    case NotSentReason::TakenByAnotherRow:
        return "another row moves a device to the same address";
    case NotSentReason::LinkDown:
        return "the device's interface is down; nothing was sent";
    case NotSentReason::LinkInUse:
        return "another program is changing addresses on the interface";
    case NotSentReason::JournalUnwritable:
        return "the journal cannot be written, where the move is recorded before it is sent";
    case NotSentReason::NotWherePlanned:
        return "the device is not at the plan's from address: the plan is stale, or names another device";
    case NotSentReason::NoSuchInterface:
        return "this workstation has no such interface";
    }
    return "not sent";
}

std::string NotSentText(const ChangeOutcome &outcome)
{
    std::string text = ReasonText(outcome.reason);
    if ((outcome.reason == NotSentReason::InUseByHost || outcome.reason == NotSentReason::LinkInUse ||
         outcome.reason == NotSentReason::NotWherePlanned || outcome.reason == NotSentReason::NoSuchInterface) &&
        !outcome.host.empty())
        text += " (" + outcome.host + ")";
    return text;
}

} // namespace velqor
