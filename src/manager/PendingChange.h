#ifndef VELQOR_PENDINGCHANGE_H
#define VELQOR_PENDINGCHANGE_H

#include "ChangeOutcome.h"
#include "DeviceId.h"
#include "NetworkInterface.h"

namespace velqor {

/// A change whose command went out: where the device was and is to go, and
/// what its own answer said so far.
struct PendingChange {
    DeviceId device;
    Ipv4Bytes from {};
    Ipv4Bytes to {};
    ChangeOutcome sent;
};

} // namespace velqor

#endif // VELQOR_PENDINGCHANGE_H
