#include "DeviceEvents.h"

namespace velqor {

std::vector<DeviceEvent> DeviceEvents::Take(const std::vector<DeviceDetails> &gone,
                                            const std::vector<DeviceDetails> &changed)
{
    std::vector<DeviceEvent> events;
    for (const DeviceDetails &device : gone) {
        if (seen.erase(device.Id()) != 0)
            events.push_back({DeviceEvent::Kind::Gone, device});
    }
    for (const DeviceDetails &device : changed) {
        const auto known = seen.find(device.Id());
        if (known == seen.end())
            events.push_back({DeviceEvent::Kind::Appeared, device});
        else if (known->second != device.address)
            events.push_back({DeviceEvent::Kind::Moved, device});
        seen[device.Id()] = device.address;
    }
    return events;
}

const Ipv4Bytes *DeviceEvents::Reported(const DeviceId &device) const
{
    const auto found = seen.find(device);
    return found == seen.end() ? nullptr : &found->second;
}

} // namespace velqor
