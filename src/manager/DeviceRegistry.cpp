#include "DeviceRegistry.h"

#include <algorithm>

namespace velqor {

namespace {

// An interface that heard a device this recently still hears it: queries go
// out once a second, and its answer to the next one may come second.
constexpr std::chrono::milliseconds kStillHeard {1500};

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
        auto added = entries.emplace(serial, Entry {address, search, via, now, now, {}, false, {}}).first;
        added->second.age = byAge.insert(byAge.end(), serial);
        MarkChanged(&*added);
        return true;
    }
    Entry &entry = found->second;
    byAge.splice(byAge.end(), byAge, entry.age);
    const NetworkInterface heardOn = entry.via;
    if (entry.search != search || entry.address != address)
        MarkChanged(&*found);
    if (entry.search != search)
        entry.alsoAt.clear();
    else if (entry.address != address) {
        // Another device with the same serial: the latest answer is the
        // row's address, every other one stays known.
        entry.alsoAt.erase(std::remove(entry.alsoAt.begin(), entry.alsoAt.end(), address), entry.alsoAt.end());
        entry.alsoAt.push_back(entry.address);
    }
    // Heard on a second interface too (two NICs on one switch hear every
    // answer twice): it is one device, and it stays with the interface that
    // heard it first for as long as that one keeps hearing it, unless only
    // the other's subnet holds it.
    const bool keepInterface = entry.via != via && now - entry.viaHeard < kStillHeard &&
        (entry.via.Contains(address) || !via.Contains(address));
    if (!keepInterface) {
        entry.via = via;
        entry.viaHeard = now;
    }
    if (entry.via != heardOn)
        MarkChanged(&*found);
    entry.address = address;
    entry.search = search;
    entry.lastSeen = now;
    return true;
}

void DeviceRegistry::MarkChanged(EntryPtr entry)
{
    if (!entry->second.pending) {
        entry->second.pending = true;
        changed.push_back(entry);
    }
}

void DeviceRegistry::Set(const std::string &serial, const Ipv4Bytes &address)
{
    auto found = entries.find(serial);
    if (found != entries.end()) {
        // The device moved on request: its old address is no second device.
        found->second.address = address;
        found->second.alsoAt.clear();
        MarkChanged(&*found);
    } else if (entries.size() < capacity) {
        const auto now = std::chrono::steady_clock::now();
        auto added = entries.emplace(serial, Entry {address, search, {}, now, now, {}, false, {}}).first;
        added->second.age = byAge.insert(byAge.end(), serial);
        MarkChanged(&*added);
    }
}

void DeviceRegistry::Clear()
{
    changed.clear();
    byAge.clear();
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
    for (const Entries::value_type *entry : Sorted())
        map.emplace_hint(map.end(), entry->first, FormatAddress(entry->second.address));
    return map;
}

std::vector<DeviceDetails> DeviceRegistry::Details() const
{
    std::vector<DeviceDetails> details;
    details.reserve(entries.size());
    for (const Entries::value_type *entry : Sorted())
        details.push_back(DetailsOf(*entry));
    return details;
}

std::vector<DeviceDetails> DeviceRegistry::TakeChanged()
{
    std::sort(changed.begin(), changed.end(), [](EntryPtr a, EntryPtr b) { return a->first < b->first; });
    std::vector<DeviceDetails> details;
    details.reserve(changed.size());
    for (const EntryPtr entry : changed) {
        entry->second.pending = false;
        details.push_back(DetailsOf(*entry));
    }
    changed.clear();
    return details;
}

std::vector<DeviceDetails> DeviceRegistry::Expire(std::chrono::steady_clock::time_point heardBefore)
{
    std::vector<DeviceDetails> gone;
    while (!byAge.empty()) {
        const auto entry = entries.find(byAge.front());
        if (entry->second.lastSeen >= heardBefore)
            break;
        gone.push_back(DetailsOf(*entry));
        if (entry->second.pending)
            changed.erase(std::find(changed.begin(), changed.end(), &*entry));
        byAge.pop_front();
        entries.erase(entry);
    }
    return gone;
}

std::vector<const DeviceRegistry::Entries::value_type *> DeviceRegistry::Sorted() const
{
    std::vector<const Entries::value_type *> sorted;
    sorted.reserve(entries.size());
    for (const auto &entry : entries)
        sorted.push_back(&entry);
    std::sort(sorted.begin(), sorted.end(), [](const auto *a, const auto *b) { return a->first < b->first; });
    return sorted;
}

DeviceDetails DeviceRegistry::DetailsOf(const Entries::value_type &entry) const
{
    const Entry &e = entry.second;
    return {Serial(entry.first), e.address, e.via,
            e.lastSeen,          {},        e.search == search ? e.alsoAt : std::vector<Ipv4Bytes> {}};
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
