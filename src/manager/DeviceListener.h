#ifndef VELQOR_DEVICELISTENER_H
#define VELQOR_DEVICELISTENER_H

#include "DeviceMap.h"

namespace velqor {

/// Receives copies of the registry while a search runs: once at the end of a
/// timed run, after every repeated query of a run without end.
class DeviceListener {
public:
    /// Called on the I/O thread; must not block for long.
    virtual void DevicesFound(DeviceMap devices) = 0;

protected:
    ~DeviceListener() = default;
};

} // namespace velqor

#endif // VELQOR_DEVICELISTENER_H
