#ifndef VELQOR_CHANGEOUTCOME_H
#define VELQOR_CHANGEOUTCOME_H

#include "NetworkInterface.h"
#include "Phrase.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velqor {

/// Why an address change was not sent.
enum class NotSentReason {
    Busy, ///< another operation was running
    NotAssignable, ///< 0.x, 127.x, multicast, 240.x and above
    TooLong, ///< serial and address do not fit one datagram
    SeveralAddresses, ///< the serial answered from several addresses: it would move them all
    NetworkAddress, ///< the network address of the device's subnet
    BroadcastAddress, ///< the broadcast address of the device's subnet
    WorkstationAddress, ///< one of this workstation's own addresses
    Gateway, ///< the gateway of one of the workstation's routes on the device's link
    HeldByAnotherDevice, ///< another device of the link answers from it (force swaps the two)
    InUseByHost, ///< another host of the link answers for it (force moves it anyway)
    OutsideSubnet, ///< outside every subnet of the device's link (force moves it anyway)
    NoFreeAddress, ///< a swap found no free address to pass through
    NotFound, ///< no device with that serial answered (on the interface named)
    SeveralLinks, ///< the serial answers on several interfaces, and none was named
    TakenByAnotherRow, ///< another change of the same plan moves a device there
    LinkDown, ///< the device's interface is down or gone: it is not sent by another
    LinkInUse, ///< another program changes addresses on the interface (host: which)
    JournalUnwritable, ///< where the device goes could not be written down first
    NotWherePlanned, ///< not at the address a plan has it at (host: that address)
    NoSuchInterface, ///< a plan names an interface this workstation lacks (host: which, and where the serial answers)
};

/// What an address change came to: the device's own answer and where the
/// verifying search found it decide, not the first acknowledgement.
struct ChangeOutcome {
    enum class Kind {
        Moved, ///< found at the new address, and no longer at the old one
        /// The device said yes, and no search looked (or none found it anywhere).
        Acknowledged,
        /// The device said yes, but still answers from its old address.
        AcknowledgedNotMoved,
        Refused, ///< the device said no, with deviceCode or without a code
        NoAnswer, ///< no answer, and not found at the new address
        NotSent, ///< see reason
    };

    Kind kind = Kind::NoAnswer;
    /// A refusal's own code, as the device sent it; none for a refusal
    /// without a code (or with code 0, which must never read as success).
    std::optional<std::int8_t> deviceCode;
    NotSentReason reason = NotSentReason::Busy;
    /// For InUseByHost: the hardware address of the host that answers; for
    /// LinkInUse: the interface and the program that holds it.
    std::string host;
    /// Where the verifying search last found the device; none when it did
    /// not (or did not search).
    std::optional<Ipv4Bytes> foundAt;
    /// The device said yes (a Moved device may have said nothing).
    bool acknowledged = false;

    static ChangeOutcome Moved() { return {Kind::Moved, std::nullopt, NotSentReason::Busy, {}, {}, false}; }
    static ChangeOutcome Acknowledged()
    {
        return {Kind::Acknowledged, std::nullopt, NotSentReason::Busy, {}, {}, true};
    }
    static ChangeOutcome Refused(std::optional<std::int8_t> code)
    {
        return {Kind::Refused, code, NotSentReason::Busy, {}, {}, false};
    }
    static ChangeOutcome NoAnswer() { return {Kind::NoAnswer, std::nullopt, NotSentReason::Busy, {}, {}, false}; }
    static ChangeOutcome NotSent(NotSentReason why, std::string host = {})
    {
        return {Kind::NotSent, std::nullopt, why, std::move(host), {}, false};
    }

    /// The command went out and the device did not refuse: a search can settle it.
    bool Checkable() const { return kind == Kind::Acknowledged || kind == Kind::NoAnswer; }
};

/// Whether force lets a change through despite this reason.
bool Overridable(NotSentReason reason);

/// A short English text for the reason, e.g. "that is the broadcast address
/// of the device's subnet".
const char *ReasonText(NotSentReason reason);
/// The reason's text for this outcome, with the host's hardware address
/// where one answers.
std::string NotSentText(const ChangeOutcome &outcome);
/// The same, translatable.
Phrase NotSentPhrase(const ChangeOutcome &outcome);

} // namespace velqor

#endif // VELQOR_CHANGEOUTCOME_H
