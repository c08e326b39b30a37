#ifndef VELQOR_DEVICEREGISTRY_H
#define VELQOR_DEVICEREGISTRY_H

#include "DeviceMap.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>

namespace velqor {

/// The devices that answered: the latest address of each serial, bounded in
/// size, and which serials answered one search from more than one address.
/// Not thread-safe: the manager guards it with its lock.
class DeviceRegistry {
public:
    /// More devices than any segment holds; a host inventing serials cannot
    /// grow the process beyond this.
    static constexpr std::size_t kMaxDevices = 65536;

    explicit DeviceRegistry(std::size_t capacity = kMaxDevices);

    /// Records an answer. False when its serial is new and the registry is
    /// full: the answer is dropped and counted.
    bool Record(const std::string &serial, const std::string &address);
    /// Sets the address of a serial, as after an acknowledged change.
    void Set(const std::string &serial, const std::string &address);
    void Clear();
    /// A new search starts: forgets which serials answered from several
    /// addresses and the count of dropped answers.
    void BeginSearch();

    DeviceMap Map() const;
    bool AnsweredFromSeveralAddresses(const std::string &serial) const;
    /// Answers with a new serial dropped since the search began (or Clear).
    std::size_t Dropped() const;

private:
    struct Entry {
        std::string address;
        std::uint64_t search; ///< The search it last answered in.
    };

    std::size_t capacity;
    std::map<std::string, Entry> entries;
    std::set<std::string> severalAddresses;
    std::uint64_t search = 0;
    std::size_t dropped = 0;
};

} // namespace velqor

#endif // VELQOR_DEVICEREGISTRY_H
