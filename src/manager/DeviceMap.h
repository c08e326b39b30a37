#ifndef VELQOR_DEVICEMAP_H
#define VELQOR_DEVICEMAP_H

#include <map>
#include <string>

namespace velqor {

/// Serial number text to address text, both 8-bit strings, in byte-wise
/// ascending order of the serial: the order the device table shows.
using DeviceMap = std::map<std::string, std::string>;

} // namespace velqor

#endif // VELQOR_DEVICEMAP_H
