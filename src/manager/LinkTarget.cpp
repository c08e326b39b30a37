#include "LinkTarget.h"

#include <cctype>

namespace velqor {

std::optional<LinkTarget> ParseLinkTarget(const std::string &text)
{
    const std::size_t colon = text.find(':');
    LinkTarget target;
    target.address = text.substr(0, colon);
    if (!ParseDottedAddress(target.address))
        return std::nullopt;
    if (colon == std::string::npos)
        return target;
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5)
        return std::nullopt;
    unsigned long value = 0;
    for (const char c : port) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value == 0 || value > 65535)
        return std::nullopt;
    target.port = static_cast<unsigned short>(value);
    return target;
}

} // namespace velqor
