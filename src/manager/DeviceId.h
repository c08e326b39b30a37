#ifndef VELQOR_DEVICEID_H
#define VELQOR_DEVICEID_H

#include "Serial.h"

#include <cstddef>
#include <functional>
#include <string>

namespace velqor {

/// A device as the workstation knows it: its serial on the link it answers
/// on (the workstation's interface, by name). The same serial on two links
/// is two devices: two machine cells wired to two network cards may hold
/// the same serial, even at the same address.
struct DeviceId {
    /// The interface's name; empty where the link has one socket for all.
    std::string link;
    Serial serial;

    /// The serial in its column form, and the link after " on " when there is one.
    std::string Text() const;

    bool operator==(const DeviceId &other) const { return serial == other.serial && link == other.link; }
    bool operator!=(const DeviceId &other) const { return !(*this == other); }
    /// In serial order, the links of one serial by name.
    bool operator<(const DeviceId &other) const
    {
        return serial != other.serial ? serial < other.serial : link < other.link;
    }
};

struct DeviceIdHash {
    std::size_t operator()(const DeviceId &id) const
    {
        const std::size_t serial = std::hash<std::string>()(id.serial.Bytes());
        return id.link.empty() ? serial : serial ^ (std::hash<std::string>()(id.link) * 31);
    }
};

} // namespace velqor

#endif // VELQOR_DEVICEID_H
