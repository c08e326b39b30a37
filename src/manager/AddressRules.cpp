#include "AddressRules.h"

namespace velqor {

bool IsAssignable(const Ipv4Bytes &address)
{
    const unsigned first = address[0];
    return first != 0 && first != 127 && first < 224;
}

} // namespace velqor
