#ifndef VELQOR_DEVICEEVENTS_H
#define VELQOR_DEVICEEVENTS_H

#include "DeviceDetails.h"
#include "DeviceId.h"
#include "NetworkInterface.h"

#include <map>
#include <vector>

namespace velqor {

/// One thing a run without end reports of a device.
struct DeviceEvent {
    enum class Kind { Appeared, Moved, Gone };
    Kind kind;
    DeviceDetails device;
};

/// Turns what a run without end forgot and what changed into events, so
/// that each device's last event says whether it answers now, and where: a
/// device is reported when it appears, when its address changes (not its
/// interface, not the workstation's address, not a twin's other address),
/// and when it is forgotten.
class DeviceEvents {
public:
    /// The events of one poll. What was forgotten comes first: a device
    /// forgotten and heard again since the last poll is there.
    std::vector<DeviceEvent> Take(const std::vector<DeviceDetails> &gone, const std::vector<DeviceDetails> &changed);
    /// Whether the device's last event says it is there; its address then.
    const Ipv4Bytes *Reported(const DeviceId &device) const;

private:
    std::map<DeviceId, Ipv4Bytes> seen;
};

} // namespace velqor

#endif // VELQOR_DEVICEEVENTS_H
