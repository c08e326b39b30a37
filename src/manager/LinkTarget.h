#ifndef VELQOR_LINKTARGET_H
#define VELQOR_LINKTARGET_H

#include "Protocol.h"

#include <optional>
#include <string>

namespace velqor {

/// Where the device link sends its commands: the limited broadcast address
/// and the device port unless told otherwise, e.g. a directed broadcast or
/// one device's address behind a router.
struct LinkTarget {
    std::string address = kBroadcastAddress;
    unsigned short port = kDevicePort;
};

/// "ADDRESS" or "ADDRESS:PORT" with a dotted IPv4 address and a port from 1
/// to 65535; none for anything else.
std::optional<LinkTarget> ParseLinkTarget(const std::string &text);

} // namespace velqor

#endif // VELQOR_LINKTARGET_H
