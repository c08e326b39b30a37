#ifndef VELQOR_CHANGEOUTCOME_H
#define VELQOR_CHANGEOUTCOME_H

#include <cstdint>
#include <optional>

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
    HeldByAnotherDevice, ///< another listed device answers from it (may be forced)
};

/// What an address change came to.
struct ChangeOutcome {
    enum class Kind {
        Moved, ///< found at the new address after the change
        Acknowledged, ///< the device said yes; not (yet) seen at the new address
        Refused, ///< the device said no, with deviceCode or without a code
        NoAnswer, ///< no answer within the wait, and not found at the new address
        NotSent, ///< see reason
    };

    Kind kind = Kind::NoAnswer;
    /// A refusal's own code, as the device sent it; none for a refusal
    /// without a code (or with code 0, which must never read as success).
    std::optional<std::int8_t> deviceCode;
    NotSentReason reason = NotSentReason::Busy;

    static ChangeOutcome Acknowledged() { return {Kind::Acknowledged, std::nullopt, NotSentReason::Busy}; }
    static ChangeOutcome Refused(std::optional<std::int8_t> code) { return {Kind::Refused, code, NotSentReason::Busy}; }
    static ChangeOutcome NoAnswer() { return {Kind::NoAnswer, std::nullopt, NotSentReason::Busy}; }
    static ChangeOutcome NotSent(NotSentReason why) { return {Kind::NotSent, std::nullopt, why}; }

    /// Whether a search can settle it: the command went out and was not refused.
    bool Checkable() const { return kind == Kind::Acknowledged || kind == Kind::NoAnswer; }
};

/// The outcome once a search has looked for the device at its new address:
/// an answered or silent change that is found there has moved.
ChangeOutcome Confirm(ChangeOutcome sent, bool foundAtNewAddress);

/// A short English text for the reason, e.g. "the broadcast address of 10.0.0.0/24".
const char *ReasonText(NotSentReason reason);

} // namespace velqor

#endif // VELQOR_CHANGEOUTCOME_H
