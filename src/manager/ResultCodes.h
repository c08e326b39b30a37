#ifndef VELQOR_RESULTCODES_H
#define VELQOR_RESULTCODES_H

namespace velqor {

// Outcomes of the manager's operations. Any other value is a device's own
// refusal code, -128 to 127.
constexpr int ResultOk = 0;
constexpr int ResultInvalidArgument = 5;
constexpr int ResultBusy = 253;
constexpr int ResultTimeout = 254;

} // namespace velqor

#endif // VELQOR_RESULTCODES_H
