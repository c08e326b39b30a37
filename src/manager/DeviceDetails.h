#ifndef VELQOR_DEVICEDETAILS_H
#define VELQOR_DEVICEDETAILS_H

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
    /// The workstation's interface it answered on; empty name when unknown.
    NetworkInterface via;
    std::chrono::steady_clock::time_point lastSeen;
    std::vector<Diagnostic> warnings;
    /// Other addresses its serial answered from in the same search: more
    /// devices that share one serial.
    std::vector<Ipv4Bytes> alsoAt;

    /// How many devices this row stands for.
    std::size_t DeviceCount() const { return 1 + alsoAt.size(); }
};

} // namespace velqor

#endif // VELQOR_DEVICEDETAILS_H
