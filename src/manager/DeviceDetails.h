#ifndef VELQOR_DEVICEDETAILS_H
#define VELQOR_DEVICEDETAILS_H

#include "DeviceId.h"
#include "Diagnostic.h"
#include "NetworkInterface.h"
#include "Serial.h"

#include <chrono>
#include <vector>

namespace velqor {

/// Everything known of one device: where it answered and what is wrong.
struct DeviceDetails {
    Serial serial;
    /// Where its last answer came from.
    Ipv4Bytes address {};
    /// The workstation's interface it answered on, with the address there
    /// whose subnet holds it; empty name when unknown.
    NetworkInterface via;
    std::chrono::steady_clock::time_point lastSeen;
    std::vector<Diagnostic> warnings;
    /// Other addresses its serial answers from on the same link at the same
    /// time: more devices that share one serial.
    std::vector<Ipv4Bytes> alsoAt;
    /// It answered the search in progress, or the last one; a device kept
    /// from an earlier search is not heard (a lossy search keeps them).
    bool heard = true;

    /// Its identity: the serial on the link it answers on.
    DeviceId Id() const { return {via.name, serial}; }
    /// How many devices this row stands for.
    std::size_t DeviceCount() const { return 1 + alsoAt.size(); }
};

} // namespace velqor

#endif // VELQOR_DEVICEDETAILS_H
