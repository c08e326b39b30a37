#ifndef VELQOR_DEVICEDETAILS_H
#define VELQOR_DEVICEDETAILS_H

#include "Diagnostic.h"
#include "NetworkInterface.h"

#include <chrono>
#include <string>
#include <vector>

namespace velqor {

/// Everything known of one device: where it answered and what is wrong.
struct DeviceDetails {
    std::string serial;
    std::string address;
    /// The workstation's interface it answered on; empty name when unknown.
    NetworkInterface via;
    std::chrono::steady_clock::time_point lastSeen;
    std::vector<Diagnostic> warnings;
};

} // namespace velqor

#endif // VELQOR_DEVICEDETAILS_H
