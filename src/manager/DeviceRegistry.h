#ifndef VELQOR_DEVICEREGISTRY_H
#define VELQOR_DEVICEREGISTRY_H

#include "DeviceDetails.h"
#include "DeviceMap.h"
#include "NetworkInterface.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace velqor {

/// The devices that answered: the latest address of each serial, where it
/// answered and when, bounded in size, and the other addresses a serial
/// answered the same search from.
/// Not thread-safe: the manager guards it with its lock.
class DeviceRegistry {
public:
    /// More devices than any segment holds; a host inventing serials cannot
    /// grow the process beyond this.
    static constexpr std::size_t kMaxDevices = 65536;

    explicit DeviceRegistry(std::size_t capacity = kMaxDevices);

    /// Records an answer that arrived on via. False when its serial is new
    /// and the registry is full: the answer is dropped and counted. A device
    /// heard on two interfaces (both on one switch) keeps the one whose
    /// subnet holds its address.
    bool Record(const std::string &serial, const Ipv4Bytes &address, const NetworkInterface &via = {});
    /// Sets the address of a serial, as after an acknowledged change.
    void Set(const std::string &serial, const Ipv4Bytes &address);
    void Clear();
    /// A new search starts: forgets which serials answered from several
    /// addresses and the count of dropped answers.
    void BeginSearch();

    DeviceMap Map() const;
    /// Every device in serial order, without diagnostics.
    std::vector<DeviceDetails> Details() const;
    /// The devices that are new, changed or heard for the first time in this
    /// search since the last call, in serial order, without diagnostics.
    /// Costs what changed, not what is listed.
    std::vector<DeviceDetails> TakeChanged();
    /// Forgets the devices last heard before the time given and returns
    /// them: a run without end lists the devices that are there now. Costs
    /// what it forgets.
    std::vector<DeviceDetails> Expire(std::chrono::steady_clock::time_point heardBefore);
    /// Where the device last answered from and on which interface; none for
    /// an unknown serial.
    std::optional<std::pair<Ipv4Bytes, NetworkInterface>> Find(const std::string &serial) const;
    /// Every address that a serial other than this one last answered from.
    std::set<Ipv4Bytes> AddressesBesides(const std::string &serial) const;
    bool AnsweredFromSeveralAddresses(const std::string &serial) const;
    /// Answers with a new serial dropped since the search began (or Clear).
    std::size_t Dropped() const;

private:
    struct Entry {
        Ipv4Bytes address;
        std::uint64_t search; ///< The search it last answered in.
        NetworkInterface via;
        std::chrono::steady_clock::time_point lastSeen;
        /// When via last heard it.
        std::chrono::steady_clock::time_point viaHeard;
        /// The other addresses it answered from in its search.
        std::vector<Ipv4Bytes> alsoAt;
        /// Listed in changed.
        bool pending = false;
        /// Its place in byAge.
        std::list<std::string>::iterator age;
    };

    // Looked up for every answer, tens of thousands a second: hashed. Lists
    // come out in serial order by sorting when they are asked for.
    using Entries = std::unordered_map<std::string, Entry>;
    using EntryPtr = Entries::value_type *;
    void MarkChanged(EntryPtr entry);
    DeviceDetails DetailsOf(const Entries::value_type &entry) const;
    /// Every entry in serial order.
    std::vector<const Entries::value_type *> Sorted() const;

    std::size_t capacity;
    Entries entries;
    /// Entries changed since TakeChanged last ran (elements of a hashed
    /// map keep their address when it grows).
    std::vector<EntryPtr> changed;
    /// Every serial, the one heard longest ago first.
    std::list<std::string> byAge;
    std::uint64_t search = 0;
    std::size_t dropped = 0;
};

} // namespace velqor

#endif // VELQOR_DEVICEREGISTRY_H
