#include "DeviceRegistry.h"

#include <algorithm>

namespace velqor {

namespace {

// Answers to one query come within this; the next query is a second later.
constexpr std::chrono::milliseconds kOneQuery {500};

} // namespace

DeviceRegistry::DeviceRegistry(std::size_t capacity) : capacity(capacity) { }

bool DeviceRegistry::Record(const std::string &serial, const Ipv4Bytes &address, const NetworkInterface &via)
{
    const auto now = std::chrono::steady_clock::now();
    auto found = entries.find(serial);
    if (found == entries.end()) {
        if (entries.size() >= capacity) {
            ++dropped;
            return false;
        }
        entries.emplace(serial, Entry {address, search, via, now, now, {}});
        return true;
    }
    Entry &entry = found->second;
    if (entry.search != search)
        entry.alsoAt.clear();
    else if (entry.address != address) {
        // Another device with the same serial: the latest answer is the
        // row's address, every other one stays known.
        entry.alsoAt.erase(std::remove(entry.alsoAt.begin(), entry.alsoAt.end(), address), entry.alsoAt.end());
        entry.alsoAt.push_back(entry.address);
    }
    // The same answer heard on a second interface: keep the one whose subnet
    // holds the device, as long as that one still hears it.
    const bool keepInterface = entry.address == address && entry.via != via && entry.via.Contains(address) &&
        !via.Contains(address) && now - entry.viaHeard < kOneQuery;
    if (!keepInterface) {
        entry.via = via;
        entry.viaHeard = now;
    }
    entry.address = address;
    entry.search = search;
    entry.lastSeen = now;
    return true;
}

void DeviceRegistry::Set(const std::string &serial, const Ipv4Bytes &address)
{
    auto found = entries.find(serial);
    if (found != entries.end()) {
        // The device moved on request: its old address is no second device.
        found->second.address = address;
        found->second.alsoAt.clear();
    } else if (entries.size() < capacity) {
        entries.emplace(serial, Entry {address, search, {}, {}, {}, {}});
    }
}

void DeviceRegistry::Clear()
{
    entries.clear();
    dropped = 0;
}

void DeviceRegistry::BeginSearch()
{
    ++search;
    dropped = 0;
}

DeviceMap DeviceRegistry::Map() const
{
    DeviceMap map;
    for (const auto &[serial, entry] : entries)
        map.emplace_hint(map.end(), serial, FormatAddress(entry.address));
    return map;
}

std::vector<DeviceDetails> DeviceRegistry::Details() const
{
    std::vector<DeviceDetails> details;
    details.reserve(entries.size());
    for (const auto &[serial, entry] : entries) {
        details.push_back({Serial(serial),
                           entry.address,
                           entry.via,
                           entry.lastSeen,
                           {},
                           entry.search == search ? entry.alsoAt : std::vector<Ipv4Bytes> {}});
    }
    return details;
}

std::optional<std::pair<Ipv4Bytes, NetworkInterface>> DeviceRegistry::Find(const std::string &serial) const
{
    const auto found = entries.find(serial);
    if (found == entries.end())
        return std::nullopt;
    return std::make_pair(found->second.address, found->second.via);
}

std::set<Ipv4Bytes> DeviceRegistry::AddressesBesides(const std::string &serial) const
{
    std::set<Ipv4Bytes> addresses;
    for (const auto &[other, entry] : entries) {
        if (other != serial)
            addresses.insert(entry.address);
    }
    return addresses;
}

bool DeviceRegistry::AnsweredFromSeveralAddresses(const std::string &serial) const
{
    const auto found = entries.find(serial);
    return found != entries.end() && found->second.search == search && !found->second.alsoAt.empty();
}

std::size_t DeviceRegistry::Dropped() const
{
    return dropped;
}

} // namespace velqor
