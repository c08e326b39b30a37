#ifndef VELQOR_CHANGELINK_H
#define VELQOR_CHANGELINK_H

#include "ChangeOutcome.h"
#include "DeviceDetails.h"
#include "DeviceId.h"
#include "PendingChange.h"

#include <chrono>
#include <string>
#include <vector>

namespace velqor {

/// What a run of address changes needs of the devices' links: the device
/// manager is one (see PlanRunner), a test's simulated network another.
class ChangeLink {
public:
    /// Every device the last search found.
    virtual std::vector<DeviceDetails> Devices() = 0;
    /// Sends the change through the device's own link and nowhere else,
    /// without the address rules (the run has checked the address itself):
    /// Acknowledged, Refused, NoAnswer or NotSent.
    virtual ChangeOutcome Send(const DeviceId &device, const Ipv4Bytes &to) = 0;
    /// Searches until each change is settled; see OrvaneManager::VerifyChanges.
    virtual std::vector<ChangeOutcome> Verify(const std::vector<PendingChange> &changes) = 0;
    /// Where each device answers now; see OrvaneManager::Locate.
    virtual std::vector<std::vector<Ipv4Bytes>> Locate(const std::vector<DeviceId> &devices,
                                                       std::chrono::milliseconds atLeast) = 0;
    /// The hardware address of a host, no device, that answers for the
    /// address on the link; empty when none does.
    virtual std::string HostAt(const std::string &link, const Ipv4Bytes &address) = 0;

protected:
    ~ChangeLink() = default;
};

} // namespace velqor

#endif // VELQOR_CHANGELINK_H
