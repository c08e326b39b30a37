#ifndef VELQOR_CHANGEOUTCOME_H
#define VELQOR_CHANGEOUTCOME_H

namespace velqor {

/// What an address change came to, judged from its result code and from
/// whether the next search found the device at its new address.
enum class ChangeOutcome {
    Moved, ///< acknowledged, or silent but found at the new address
    NotConfirmed, ///< no answer, and not found at the new address
    Refused, ///< the device said no (its code, or none)
    SeveralAddresses, ///< its serial answered from several addresses: nothing sent
    InvalidAddress, ///< no device can take that address, or the command is too long
    Busy, ///< another operation was running: nothing sent
};

ChangeOutcome JudgeChange(int resultCode, bool foundAtNewAddress);

} // namespace velqor

#endif // VELQOR_CHANGEOUTCOME_H
