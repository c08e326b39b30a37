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
        return VELQOR_PHRASE("velqor", "another operation is running");
    case NotSentReason::NotAssignable:
        return VELQOR_PHRASE("velqor", "no device can take that address");
    case NotSentReason::TooLong:
        return VELQOR_PHRASE("velqor", "the serial is too long to address");
    case NotSentReason::SeveralAddresses:
        return VELQOR_PHRASE("velqor", "the serial answered from several addresses, and every one of them would move");
    case NotSentReason::NetworkAddress:
        return VELQOR_PHRASE("velqor", "that is the network address of the device's subnet");
    case NotSentReason::BroadcastAddress:
        return VELQOR_PHRASE("velqor", "that is the broadcast address of the device's subnet");
    case NotSentReason::WorkstationAddress:
        return VELQOR_PHRASE("velqor", "that is this workstation's own address");
    case NotSentReason::Gateway:
        return VELQOR_PHRASE("velqor", "that is the gateway of a route of this workstation");
    case NotSentReason::HeldByAnotherDevice:
        return VELQOR_PHRASE("velqor", "another device answers from that address");
    case NotSentReason::InUseByHost:
        return VELQOR_PHRASE("velqor", "another host answers for that address");
    case NotSentReason::OutsideSubnet:
        return VELQOR_PHRASE("velqor", "that address is outside the networks of the device's interface");
    case NotSentReason::NoFreeAddress:
        return VELQOR_PHRASE("velqor", "no free address is left to pass through");
    case NotSentReason::NotFound:
        return VELQOR_PHRASE("velqor", "no device with that serial answered");
    case NotSentReason::SeveralLinks:
        return VELQOR_PHRASE("velqor", "the serial answers on several interfaces; name one");
    case NotSentReason::TakenByAnotherRow:
        return VELQOR_PHRASE("velqor", "another row moves a device to the same address");
    case NotSentReason::LinkDown:
        return VELQOR_PHRASE("velqor", "the device's interface is down; nothing was sent");
    case NotSentReason::LinkInUse:
        return VELQOR_PHRASE("velqor", "another program is changing addresses on the interface");
    case NotSentReason::JournalUnwritable:
        return VELQOR_PHRASE("velqor", "the journal cannot be written, where the move is recorded before it is sent");
    case NotSentReason::NotWherePlanned:
        return VELQOR_PHRASE(
            "velqor", "the device is not at the plan's from address: the plan is stale, or names another device");
    case NotSentReason::NoSuchInterface:
        return VELQOR_PHRASE("velqor", "this workstation has no such interface");
    }
    return VELQOR_PHRASE("velqor", "not sent");
}

Phrase NotSentPhrase(const ChangeOutcome &outcome)
{
    if (!outcome.host.empty()) {
        // The host, interface or address the reason is about.
        switch (outcome.reason) {
        case NotSentReason::InUseByHost:
            return {VELQOR_PHRASE("velqor", "another host answers for that address (%1)"), {outcome.host}};
        case NotSentReason::LinkInUse:
            return {VELQOR_PHRASE("velqor", "another program is changing addresses on the interface (%1)"),
                    {outcome.host}};
        case NotSentReason::NotWherePlanned:
            return {VELQOR_PHRASE("velqor",
                                  "the device is not at the plan's from address: the plan is stale, or "
                                  "names another device (%1)"),
                    {outcome.host}};
        case NotSentReason::NoSuchInterface:
            return {VELQOR_PHRASE("velqor", "this workstation has no such interface (%1)"), {outcome.host}};
        default:
            break;
        }
    }
    return {ReasonText(outcome.reason), {}};
}

std::string NotSentText(const ChangeOutcome &outcome)
{
    return NotSentPhrase(outcome).Text();
}

} // namespace velqor
