#include "ChangeOutcome.h"

#include "ResultCodes.h"

namespace velqor {

ChangeOutcome JudgeChange(int resultCode, bool foundAtNewAddress)
{
    switch (resultCode) {
    case ResultOk:
        return ChangeOutcome::Moved;
    case ResultTimeout:
        // A device that moved without a word counts only where it is found.
        return foundAtNewAddress ? ChangeOutcome::Moved : ChangeOutcome::NotConfirmed;
    case ResultSeveralAddresses:
        return ChangeOutcome::SeveralAddresses;
    case ResultInvalidArgument:
        return ChangeOutcome::InvalidAddress;
    case ResultBusy:
        return ChangeOutcome::Busy;
    default:
        return ChangeOutcome::Refused;
    }
}

} // namespace velqor
