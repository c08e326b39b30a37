#ifndef VELQOR_RESULTCODES_H
#define VELQOR_RESULTCODES_H

namespace velqor {

// Outcomes of the manager's operations. Any other value is a device's own
// refusal code, -128 to 127 (never 0: see ResultRefusedWithoutCode).
constexpr int ResultOk = 0;
constexpr int ResultInvalidArgument = 5;
/// The serial answered the last search from more than one address, so the
/// command would move every one of those devices; nothing was sent.
constexpr int ResultSeveralAddresses = 251;
/// The device refused with code 0 or with no code at all.
constexpr int ResultRefusedWithoutCode = 252;
constexpr int ResultBusy = 253;
constexpr int ResultTimeout = 254;

} // namespace velqor

#endif // VELQOR_RESULTCODES_H
