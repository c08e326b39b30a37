#include "DeviceRegistry.h"

namespace velqor {

DeviceRegistry::DeviceRegistry(std::size_t capacity) : capacity(capacity) { }

bool DeviceRegistry::Record(const std::string &serial, const std::string &address)
{
    auto found = entries.find(serial);
    if (found == entries.end()) {
        if (entries.size() >= capacity) {
            ++dropped;
            return false;
        }
        entries.emplace(serial, Entry {address, search});
        return true;
    }
    Entry &entry = found->second;
    if (entry.search == search && entry.address != address)
        severalAddresses.insert(serial);
    entry.address = address;
    entry.search = search;
    return true;
}

void DeviceRegistry::Set(const std::string &serial, const std::string &address)
{
    // The device moved on request: its old address is no second device.
    severalAddresses.erase(serial);
    auto found = entries.find(serial);
    if (found != entries.end())
        found->second.address = address;
    else if (entries.size() < capacity)
        entries.emplace(serial, Entry {address, search});
}

void DeviceRegistry::Clear()
{
    entries.clear();
    severalAddresses.clear();
    dropped = 0;
}

void DeviceRegistry::BeginSearch()
{
    ++search;
    severalAddresses.clear();
    dropped = 0;
}

DeviceMap DeviceRegistry::Map() const
{
    DeviceMap map;
    for (const auto &[serial, entry] : entries)
        map.emplace_hint(map.end(), serial, entry.address);
    return map;
}

bool DeviceRegistry::AnsweredFromSeveralAddresses(const std::string &serial) const
{
    return severalAddresses.count(serial) != 0;
}

std::size_t DeviceRegistry::Dropped() const
{
    return dropped;
}

} // namespace velqor
