#include "DeviceRegistry.h"

#include "Protocol.h"

namespace velqor {

namespace {

// Answers to one query come within this; the next query is a second later.
constexpr std::chrono::milliseconds kOneQuery {500};

} // namespace

DeviceRegistry::DeviceRegistry(std::size_t capacity) : capacity(capacity) { }

bool DeviceRegistry::Record(const std::string &serial, const std::string &address, const NetworkInterface &via)
{
    const auto now = std::chrono::steady_clock::now();
    auto found = entries.find(serial);
    if (found == entries.end()) {
        if (entries.size() >= capacity) {
            ++dropped;
            return false;
        }
        entries.emplace(serial, Entry {address, search, via, now, now});
        return true;
    }
    Entry &entry = found->second;
    if (entry.search == search && entry.address != address)
        severalAddresses.insert(serial);
    // The same answer heard on a second interface: keep the one whose subnet
    // holds the device, as long as that one still hears it.
    const std::optional<Ipv4Bytes> bytes = ParseDottedAddress(address);
    const bool keepInterface = entry.address == address && entry.via != via && bytes && entry.via.Contains(*bytes) &&
        !via.Contains(*bytes) && now - entry.viaHeard < kOneQuery;
    if (!keepInterface) {
        entry.via = via;
        entry.viaHeard = now;
    }
    entry.address = address;
    entry.search = search;
    entry.lastSeen = now;
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
        entries.emplace(serial, Entry {address, search, {}, {}, {}});
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

std::vector<DeviceDetails> DeviceRegistry::Details() const
{
    std::vector<DeviceDetails> details;
    details.reserve(entries.size());
    for (const auto &[serial, entry] : entries)
        details.push_back({serial, entry.address, entry.via, entry.lastSeen, {}});
    return details;
}

std::string DeviceRegistry::InterfaceOf(const std::string &serial) const
{
    const auto found = entries.find(serial);
    return found == entries.end() ? std::string() : found->second.via.name;
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
