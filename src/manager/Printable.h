#ifndef VELQOR_PRINTABLE_H
#define VELQOR_PRINTABLE_H

#include <string>

namespace velqor {

/// The bytes as text that is safe on a terminal: printable ASCII as it is,
/// every other byte (and the backslash) as \xNN, so that a serial can neither
/// move the cursor, retitle the window nor be confused with an escape.
std::string Printable(const std::string &bytes);

} // namespace velqor

#endif // VELQOR_PRINTABLE_H
