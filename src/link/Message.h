#ifndef VELQOR_MESSAGE_H
#define VELQOR_MESSAGE_H

#include "NetworkInterface.h"

#include <string>

namespace velqor {

/// One received datagram, split at its 6-letter code.
struct Message {
    std::string code; ///< The first 6 bytes, always exactly 6 characters.
    std::string payload; ///< The bytes after the code, copied by length.
    std::string sender; ///< The source IPv4 address as dotted text, no port.
    /// The same address as bytes, for everything but the log.
    Ipv4Bytes from {};
    /// The workstation's interface whose socket received it; empty name when
    /// the endpoint has one socket for all.
    NetworkInterface via {};
};

} // namespace velqor

#endif // VELQOR_MESSAGE_H
