#include "DeviceRegistry.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace velqor {

namespace {

// An interface that heard a device this recently still hears it: queries go
// out once a second, and its answer to the next one may come second.
constexpr std::chrono::milliseconds kStillHeard {1500};

bool OneSubnet(const NetworkInterface &a, const NetworkInterface &b)
{
    return a.Contains(b.address) || b.Contains(a.address);
}

bool Holds(const std::vector<Ipv4Bytes> &addresses, const Ipv4Bytes &address)
{
    return std::find(addresses.begin(), addresses.end(), address) != addresses.end();
}

/// The serial's first sixteen bytes as numbers that order as the bytes do
/// (a shorter serial padded with the lowest byte orders first or ties).
using OrderKey = std::pair<std::uint64_t, std::uint64_t>;

OrderKey OrderKeyOf(const Serial &serial)
{
    const std::string &bytes = serial.Bytes();
    const auto word = [&](std::size_t from) {
        std::uint64_t key = 0;
        for (std::size_t i = from; i < from + 8; ++i)
            key = key << 8 | (i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0U);
        return key;
    };
    return {word(0), word(8)};
}

/// Sorts map elements by identity. The elements lie scattered in the hashed
/// map: comparing keys held side by side spares a cache miss per
/// comparison, all but those of serials alike in their first sixteen bytes.
template<typename Element>
void SortByIdentity(typename std::vector<Element *>::iterator first, typename std::vector<Element *>::iterator last)
{
    std::vector<std::pair<OrderKey, Element *>> keyed;
    keyed.reserve(static_cast<std::size_t>(last - first));
    for (auto element = first; element != last; ++element)
        keyed.emplace_back(OrderKeyOf((*element)->first.serial), *element);
    std::sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : a.second->first < b.second->first;
    });
    for (const auto &[key, element] : keyed)
        *first++ = element;
}

} // namespace

DeviceRegistry::DeviceRegistry(std::size_t capacity) : capacity(capacity) { }

void DeviceRegistry::BeginRound()
{
    ++round;
}

void DeviceRegistry::BeginSearch()
{
    ++search;
    ++round;
    dropped = 0;
    superseded.clear();
    completeRounds.clear();
}

void DeviceRegistry::CompleteRound(Clock::time_point sentAt)
{
    completeRounds.push_back(sentAt);
    if (completeRounds.size() > kCompleteRoundsMissed)
        completeRounds.pop_front();
}

DeviceRegistry::EntryPtr DeviceRegistry::EntryFor(const std::string &serial, const Ipv4Bytes &address,
                                                  const NetworkInterface &via, Clock::time_point now)
{
    DeviceId id {via.name, Serial(serial)};
    const auto found = entries.find(id);
    if (found != entries.end())
        return &*found;
    // Two cards with different addresses in one subnet, both hearing the
    // device from the same address: one segment, one device. Cards with the
    // same address are on separate wires (one segment would not work).
    for (const std::string &link : links) {
        if (link == via.name)
            continue;
        const auto other = entries.find({link, id.serial});
        if (other == entries.end())
            continue;
        const Entry &known = other->second;
        if (known.address != address || known.via.address == via.address || !OneSubnet(known.via, via) ||
            now - known.viaHeard >= kStillHeard)
            continue;
        if (known.via.Contains(address) || !via.Contains(address))
            return &*other;
        // It belongs to the card whose subnet holds it: the device is that
        // card's, and leaves the other.
        superseded.push_back(DetailsOf(*other));
        Entry moved = std::move(other->second);
        if (moved.pending)
            changed.erase(std::find(changed.begin(), changed.end(), &*other));
        moved.pending = false;
        moved.via = via;
        moved.viaHeard = now;
        *moved.age = id;
        entries.erase(other);
        auto added = entries.emplace(id, std::move(moved)).first;
        MarkChanged(&*added, now);
        return &*added;
    }
    return nullptr;
}

bool DeviceRegistry::Record(const std::string &serial, const Ipv4Bytes &address, const NetworkInterface &via,
                            Clock::time_point now)
{
    if (std::find(links.begin(), links.end(), via.name) == links.end())
        links.push_back(via.name);
    if (const EntryPtr known = EntryFor(serial, address, via, now)) {
        Heard(*known, address, via, now);
        return true;
    }
    if (entries.size() >= capacity) {
        // Room for the newcomer: a flood of invented serials must not keep a
        // device that starts answering out of the list. The one heard least
        // recently goes, and is said gone.
        ++dropped;
        if (byAge.empty())
            return false;
        Forget(entries.find(byAge.front()));
    }
    const DeviceId id {via.name, Serial(serial)};
    auto added = entries.emplace(id, Entry {}).first;
    Entry &entry = added->second;
    entry.address = entry.latest = address;
    entry.via = via;
    entry.search = search;
    entry.round = round;
    entry.heardInRound = {address};
    entry.lastSeen = entry.viaHeard = now;
    entry.age = byAge.insert(byAge.end(), id);
    MarkChanged(&*added, now);
    return true;
}

void DeviceRegistry::Heard(Entries::value_type &item, const Ipv4Bytes &address, const NetworkInterface &via,
                           Clock::time_point now)
{
    Entry &entry = item.second;
    byAge.splice(byAge.end(), byAge, entry.age);
    bool changedNow = entry.search != search; // heard for the first time in this search
    if (entry.search != search)
        entry.alsoAt.clear(); // twins are counted per search
    if (entry.round != round) {
        entry.heardInRound.clear();
        entry.round = round;
    }
    const std::size_t twins = entry.alsoAt.size();
    entry.alsoAt.erase(std::remove_if(entry.alsoAt.begin(), entry.alsoAt.end(),
                                      [&](const TwinAddress &twin) { return now - twin.heard > kTwinMemory; }),
                       entry.alsoAt.end());
    changedNow = changedNow || entry.alsoAt.size() != twins;

    // A device answers each query once: a second address in one round is a
    // second device with the same serial, not a move.
    const bool addressHeard = Holds(entry.heardInRound, entry.address);
    entry.latest = address;
    if (!Holds(entry.heardInRound, address))
        entry.heardInRound.push_back(address);
    if (address != entry.address) {
        const auto twin = std::find_if(entry.alsoAt.begin(), entry.alsoAt.end(),
                                       [&](const TwinAddress &known) { return known.address == address; });
        if (twin != entry.alsoAt.end()) {
            twin->heard = now;
        } else if (addressHeard) {
            entry.alsoAt.push_back({address, now});
            changedNow = true;
        } else {
            // Silent at its address this round, answering from another: it moved.
            entry.address = address;
            entry.alsoAt.erase(std::remove_if(entry.alsoAt.begin(), entry.alsoAt.end(),
                                              [&](const TwinAddress &other) {
                                                  return other.address == address ||
                                                      !Holds(entry.heardInRound, other.address);
                                              }),
                               entry.alsoAt.end());
            changedNow = true;
        }
    }

    // Heard on another address of its own link (an interface with two
    // addresses hears it twice): it stays with the one that heard it first
    // while that one keeps hearing it, unless only the other's subnet holds it.
    if (via.name == item.first.link) {
        if (entry.via == via) {
            entry.viaHeard = now;
        } else if (now - entry.viaHeard >= kStillHeard ||
                   (!entry.via.Contains(entry.address) && via.Contains(entry.address))) {
            entry.via = via;
            entry.viaHeard = now;
            changedNow = true;
        }
    }
    entry.search = search;
    entry.lastSeen = now;
    if (changedNow)
        MarkChanged(&item, now);
}

void DeviceRegistry::Forget(Entries::iterator entry)
{
    superseded.push_back(DetailsOf(*entry));
    if (entry->second.pending)
        changed.erase(std::find(changed.begin(), changed.end(), &*entry));
    byAge.erase(entry->second.age);
    entries.erase(entry);
}

void DeviceRegistry::MarkChanged(EntryPtr entry, Clock::time_point now)
{
    if (!entry->second.pending) {
        entry->second.pending = true;
        entry->second.changedAt = now;
        changed.push_back(entry);
    }
}

void DeviceRegistry::Set(const DeviceId &id, const Ipv4Bytes &address, Clock::time_point now)
{
    auto found = entries.find(id);
    if (found != entries.end()) {
        // The device moved on request: its old address is no second device.
        found->second.address = found->second.latest = address;
        found->second.alsoAt.clear();
        MarkChanged(&*found, now);
    } else if (entries.size() < capacity) {
        auto added = entries.emplace(id, Entry {}).first;
        Entry &entry = added->second;
        entry.address = entry.latest = address;
        entry.via.name = id.link;
        entry.search = search;
        entry.round = round;
        entry.lastSeen = entry.viaHeard = now;
        entry.age = byAge.insert(byAge.end(), id);
        MarkChanged(&*added, now);
    }
}

void DeviceRegistry::Clear()
{
    changed.clear();
    byAge.clear();
    entries.clear();
    superseded.clear();
    dropped = 0;
}

std::size_t DeviceRegistry::ForgetUnheard()
{
    std::size_t forgotten = 0;
    for (auto entry = entries.begin(); entry != entries.end();) {
        if (entry->second.search == search) {
            ++entry;
            continue;
        }
        if (entry->second.pending)
            changed.erase(std::find(changed.begin(), changed.end(), &*entry));
        byAge.erase(entry->second.age);
        entry = entries.erase(entry);
        ++forgotten;
    }
    return forgotten;
}

DeviceMap DeviceRegistry::Map() const
{
    DeviceMap map;
    for (const Entries::value_type *entry : Sorted())
        map.emplace_hint(map.end(), entry->first.serial.Bytes(), FormatAddress(entry->second.latest));
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

std::vector<DeviceDetails> DeviceRegistry::TakeChanged(Clock::time_point settledBefore)
{
    const auto later = std::stable_partition(changed.begin(), changed.end(),
                                             [&](EntryPtr entry) { return entry->second.changedAt <= settledBefore; });
    SortByIdentity<Entries::value_type>(changed.begin(), later);
    std::vector<DeviceDetails> details;
    details.reserve(static_cast<std::size_t>(later - changed.begin()));
    for (auto entry = changed.begin(); entry != later; ++entry) {
        (*entry)->second.pending = false;
        details.push_back(DetailsOf(**entry));
    }
    changed.erase(changed.begin(), later);
    return details;
}

std::vector<DeviceDetails> DeviceRegistry::Expire(Clock::time_point heardBefore)
{
    std::vector<DeviceDetails> gone;
    gone.swap(superseded);
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

std::vector<DeviceDetails> DeviceRegistry::ExpireAbsent(Clock::time_point now)
{
    Clock::time_point heardBefore = now - kForgetUnderLoss;
    if (completeRounds.size() == kCompleteRoundsMissed)
        heardBefore = std::max(heardBefore, std::min(now - kForgetAfter, completeRounds.front()));
    return Expire(heardBefore);
}

std::vector<const DeviceRegistry::Entries::value_type *> DeviceRegistry::Sorted() const
{
    std::vector<const Entries::value_type *> sorted;
    sorted.reserve(entries.size());
    for (const auto &entry : entries)
        sorted.push_back(&entry);
    SortByIdentity<const Entries::value_type>(sorted.begin(), sorted.end());
    return sorted;
}

DeviceDetails DeviceRegistry::DetailsOf(const Entries::value_type &entry) const
{
    const Entry &e = entry.second;
    DeviceDetails details {entry.first.serial, e.address, e.via, e.lastSeen, {}, {}, e.search == search};
    if (details.heard) {
        for (const TwinAddress &twin : e.alsoAt)
            details.alsoAt.push_back(twin.address);
    }
    return details;
}

std::optional<DeviceDetails> DeviceRegistry::Find(const DeviceId &id) const
{
    const auto found = entries.find(id);
    if (found == entries.end())
        return std::nullopt;
    return DetailsOf(*found);
}

std::vector<DeviceDetails> DeviceRegistry::FindSerial(const Serial &serial) const
{
    std::vector<DeviceDetails> found;
    for (const std::string &link : links) {
        if (const auto device = Find({link, serial}))
            found.push_back(*device);
    }
    std::sort(found.begin(), found.end(),
              [](const DeviceDetails &a, const DeviceDetails &b) { return a.via.name < b.via.name; });
    return found;
}

std::set<Ipv4Bytes> DeviceRegistry::AddressesBesides(const DeviceId &id) const
{
    std::set<Ipv4Bytes> addresses;
    for (const auto &[other, entry] : entries) {
        if (other.link != id.link || other == id)
            continue;
        addresses.insert(entry.address);
        for (const TwinAddress &twin : entry.alsoAt)
            addresses.insert(twin.address);
    }
    return addresses;
}

std::map<std::string, std::vector<Ipv4Bytes>> DeviceRegistry::AddressesByLink() const
{
    std::map<std::string, std::vector<Ipv4Bytes>> addresses;
    for (const auto &[id, entry] : entries)
        addresses[entry.via.name].push_back(entry.address);
    return addresses;
}

bool DeviceRegistry::AnsweredFromSeveralAddresses(const DeviceId &id) const
{
    const auto found = entries.find(id);
    return found != entries.end() && found->second.search == search && !found->second.alsoAt.empty();
}

std::vector<Ipv4Bytes> DeviceRegistry::HeardInRound(const DeviceId &id) const
{
    const auto found = entries.find(id);
    if (found == entries.end() || found->second.round != round)
        return {};
    return found->second.heardInRound;
}

std::size_t DeviceRegistry::Dropped() const
{
    return dropped;
}

} // namespace velqor
