#ifndef VELQOR_DEVICEREGISTRY_H
#define VELQOR_DEVICEREGISTRY_H

#include "DeviceDetails.h"
#include "DeviceId.h"
#include "DeviceMap.h"
#include "NetworkInterface.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace velqor {

/// The devices that answered, each a serial on a link: the address it
/// answers from, where and when it last answered, and the other addresses
/// its serial answers from on that link at the same time (devices that share
/// a serial). Bounded in size. Times are given by the caller, so that the
/// rules can be run against a clock of the caller's.
/// Not thread-safe: the manager keeps it on its I/O thread.
class DeviceRegistry {
public:
    using Clock = std::chrono::steady_clock;

    /// More devices than any segment holds; a host inventing serials cannot
    /// grow the process beyond this.
    static constexpr std::size_t kMaxDevices = 65536;
    /// A device not heard for this long is forgotten by a run without end:
    /// queries go out once a second, so three were missed.
    static constexpr std::chrono::milliseconds kForgetAfter {3500};
    /// Only rounds that lost no answer show absence; under steady loss (a
    /// socket buffer too small for the segment) a device unheard this long
    /// is forgotten all the same.
    static constexpr std::size_t kCompleteRoundsMissed = 3;
    static constexpr std::chrono::seconds kForgetUnderLoss {30};
    /// A twin's other address not heard for this long is no longer counted.
    /// Far longer than kForgetAfter: lost answers must not make the other
    /// half of a twin, coming back, look like a move.
    static constexpr std::chrono::seconds kTwinMemory {30};

    explicit DeviceRegistry(std::size_t capacity = kMaxDevices);

    /// A query goes out: what answers from now on answers this round. A
    /// device answers each query once, so a serial heard from two addresses
    /// in one round is two devices.
    void BeginRound();
    /// A search starts, with its first round: which serials answered from
    /// several addresses, the count of dropped answers and the complete
    /// rounds start anew.
    void BeginSearch();
    /// The round whose query went out at sentAt lost no answer on our side:
    /// a device it did not hear was silent.
    void CompleteRound(Clock::time_point sentAt);

    /// Records an answer that arrived on via. A new device in a full registry
    /// takes the place of the one heard least recently, which is counted
    /// (Dropped) and said gone by the next Expire. Two
    /// network cards on one segment (different addresses in one subnet) both
    /// hear every device: an answer from the same address on the second is
    /// the device the first one hears.
    bool Record(const std::string &serial, const Ipv4Bytes &address, const NetworkInterface &via,
                Clock::time_point now);
    /// Sets the address of a device, as after an acknowledged change.
    void Set(const DeviceId &id, const Ipv4Bytes &address, Clock::time_point now);
    void Clear();
    /// Forgets the devices that did not answer the search in progress (or
    /// the last one) and returns how many.
    std::size_t ForgetUnheard();

    /// Serial to the address of its latest answer, the first link's where a
    /// serial is on several.
    DeviceMap Map() const;
    /// Every device in identity order, without diagnostics.
    std::vector<DeviceDetails> Details() const;
    /// The devices that are new, changed or heard for the first time in this
    /// search, changed before settledBefore, in identity order, without
    /// diagnostics; later changes stay for the next call. Costs what changed,
    /// not what is listed.
    std::vector<DeviceDetails> TakeChanged(Clock::time_point settledBefore);
    /// Forgets the devices last heard before the time given and returns
    /// them, with those that another card of their segment took over: a run
    /// without end lists the devices that are there now. Costs what it
    /// forgets.
    std::vector<DeviceDetails> Expire(Clock::time_point heardBefore);
    /// Expire for a run without end: forgets the devices that missed the
    /// last kCompleteRoundsMissed complete rounds and kForgetAfter, or went
    /// unheard for kForgetUnderLoss, whichever comes first.
    std::vector<DeviceDetails> ExpireAbsent(Clock::time_point now);
    /// The device, without diagnostics; none for one the registry does not know.
    std::optional<DeviceDetails> Find(const DeviceId &id) const;
    /// The serial on every link it answers on, in link order.
    std::vector<DeviceDetails> FindSerial(const Serial &serial) const;
    /// Every address that another device of the link answers from, also
    /// devices kept from an earlier search.
    std::set<Ipv4Bytes> AddressesBesides(const DeviceId &id) const;
    /// The address of every device by the interface it answers on, in no
    /// particular order: cheaper than Details where order does not matter.
    std::map<std::string, std::vector<Ipv4Bytes>> AddressesByLink() const;
    bool AnsweredFromSeveralAddresses(const DeviceId &id) const;
    /// The addresses the device answered from in the round now running.
    std::vector<Ipv4Bytes> HeardInRound(const DeviceId &id) const;
    /// Devices the full registry let go for new ones since the search began
    /// (or Clear).
    std::size_t Dropped() const;
    std::size_t Size() const { return entries.size(); }

private:
    struct TwinAddress {
        Ipv4Bytes address;
        Clock::time_point heard;
    };
    struct Entry {
        Ipv4Bytes address {};
        /// Where the latest answer came from: a twin's two alternate.
        Ipv4Bytes latest {};
        NetworkInterface via;
        std::uint64_t search = 0; ///< The search it last answered in.
        std::uint64_t round = 0; ///< The round it last answered in.
        /// The addresses it answered from in that round.
        std::vector<Ipv4Bytes> heardInRound;
        Clock::time_point lastSeen;
        /// When via last heard it.
        Clock::time_point viaHeard;
        Clock::time_point changedAt;
        std::vector<TwinAddress> alsoAt;
        /// Listed in changed.
        bool pending = false;
        /// Its place in byAge.
        std::list<DeviceId>::iterator age;
    };

    // Looked up for every answer, tens of thousands a second: hashed. Lists
    // come out in identity order by sorting when they are asked for.
    using Entries = std::unordered_map<DeviceId, Entry, DeviceIdHash>;
    using EntryPtr = Entries::value_type *;
    /// The entry that an answer on via belongs to, none for a new device.
    EntryPtr EntryFor(const std::string &serial, const Ipv4Bytes &address, const NetworkInterface &via,
                      Clock::time_point now);
    /// An answer from address on via, of a known device.
    void Heard(Entries::value_type &entry, const Ipv4Bytes &address, const NetworkInterface &via,
               Clock::time_point now);
    void MarkChanged(EntryPtr entry, Clock::time_point now);
    /// Forgets the entry, for the next Expire to say.
    void Forget(Entries::iterator entry);
    DeviceDetails DetailsOf(const Entries::value_type &entry) const;
    /// Every entry in identity order.
    std::vector<const Entries::value_type *> Sorted() const;

    std::size_t capacity;
    Entries entries;
    /// Entries changed since TakeChanged took them (elements of a hashed map
    /// keep their address when it grows).
    std::vector<EntryPtr> changed;
    /// Every device, the one heard longest ago first.
    std::list<DeviceId> byAge;
    /// The names of the links heard so far: few, and a serial is looked up
    /// on each only when it is new on one.
    std::vector<std::string> links;
    /// Devices that moved to another card of their segment, or made room
    /// for new ones, since Expire.
    std::vector<DeviceDetails> superseded;
    /// When the last complete rounds' queries went out, oldest first.
    std::deque<Clock::time_point> completeRounds;
    std::uint64_t search = 0;
    std::uint64_t round = 0;
    std::size_t dropped = 0;
};

} // namespace velqor

#endif // VELQOR_DEVICEREGISTRY_H
