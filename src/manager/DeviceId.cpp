#include "DeviceId.h"

namespace velqor {

std::string DeviceId::Text() const
{
    return link.empty() ? serial.Column() : serial.Column() + " on " + link;
}

} // namespace velqor
