#ifndef VELQOR_ADDRESSRULES_H
#define VELQOR_ADDRESSRULES_H

#include "Protocol.h"

namespace velqor {

/// Whether a device can be given this address: not in 0.0.0.0/8 ("this
/// network"), 127.0.0.0/8 (loopback), 224.0.0.0/4 (multicast) or 240.0.0.0/4
/// (reserved, the limited broadcast included).
bool IsAssignable(const Ipv4Bytes &address);

} // namespace velqor

#endif // VELQOR_ADDRESSRULES_H
