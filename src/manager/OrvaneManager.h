#ifndef VELQOR_ORVANEMANAGER_H
#define VELQOR_ORVANEMANAGER_H

#include "AddressRules.h"
#include "ChangeOutcome.h"
#include "DeviceDetails.h"
#include "DeviceListener.h"
#include "DeviceMap.h"
#include "Diagnostic.h"
#include "PendingChange.h"
#include "ResultCodes.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velqor {

class OrvaneManagerPrivate;

/// The public face of the device manager. Constructing it opens the device
/// link; destroying it stops the link's thread and closes its socket.
class OrvaneManager {
public:
    /// Aimed at the broadcast address and the device port. Throws
    /// boost::system::system_error when the link cannot be opened.
    OrvaneManager();
    /// Aimed at another address and port, for tests on loopback.
    OrvaneManager(std::string address, unsigned short port);
    OrvaneManager(const OrvaneManager &) = delete;
    OrvaneManager &operator=(const OrvaneManager &) = delete;
    ~OrvaneManager();

    int Search(std::uint32_t timeoutMs, bool wait, DeviceListener *listener);
    /// Blocks until no operation runs or until the time given; true when none does.
    bool WaitIdle(std::chrono::steady_clock::time_point until);
    /// What changed since the last call; see OrvaneManagerPrivate::TakeChangedDevices.
    std::vector<DeviceDetails> TakeChangedDevices(std::chrono::milliseconds settled = {});
    /// Keeps the link open until no datagram has come for quiet (counted from
    /// the call at the earliest), or until atMost has passed. A short-lived program that closed its sockets at
    /// once would draw an ICMP port-unreachable, and a neighbour entry, for
    /// every late answer; enough runs fill the neighbour table, and then the
    /// kernel drops the next queries although sending them succeeds.
    void WaitQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds atMost);
    /// What a run without end forgot; see OrvaneManagerPrivate::TakeGoneDevices.
    std::vector<DeviceDetails> TakeGoneDevices();
    /// Ends a search run at once without serving its listener; see
    /// OrvaneManagerPrivate::StopSearch.
    void StopSearch();
    void Clear();
    /// Forgets the devices that did not answer the last search; see
    /// OrvaneManagerPrivate::ForgetUnheard.
    std::size_t ForgetUnheard();
    int SetAddress(std::string serial, std::string address);
    /// One device's address change, decided by its own answer and, unless
    /// verify is false, by where a verifying search finds it; see
    /// OrvaneManagerPrivate::ChangeAddress.
    ChangeOutcome ChangeAddress(const DeviceId &id, const Ipv4Bytes &address, bool force = false, bool verify = true);
    /// The two halves of ChangeAddress, for changes verified together; see
    /// OrvaneManagerPrivate.
    ChangeOutcome SendChange(const DeviceId &id, const Ipv4Bytes &address, bool force = false);
    std::vector<ChangeOutcome> VerifyChanges(const std::vector<PendingChange> &changes);
    /// Where each device answers now; see OrvaneManagerPrivate::Locate.
    std::vector<std::vector<Ipv4Bytes>> Locate(const std::vector<DeviceId> &devices,
                                               std::chrono::milliseconds atLeast = {});
    /// The device with its diagnostics; none when it has not answered.
    std::optional<DeviceDetails> FindDevice(const DeviceId &id);
    /// Every address another device of the link answers from.
    std::set<Ipv4Bytes> AddressesBesides(const DeviceId &id);
    /// The workstation's addresses and its links' gateways.
    AddressFacts GetAddressFacts();
    /// Which addresses another host of the link answers for; see
    /// OrvaneManagerPrivate::FindHosts.
    std::map<Ipv4Bytes, std::string> FindHosts(const std::string &link, const std::vector<Ipv4Bytes> &addresses,
                                               const std::vector<Ipv4Bytes> &devicesToAsk = {},
                                               std::chrono::milliseconds patience = {});
    DeviceMap GetDevices();
    /// Every device with its interface, last answer and diagnostics.
    std::vector<DeviceDetails> GetDeviceDetails();
    /// What is wrong with the workstation's networks.
    std::vector<Diagnostic> GetWorkstationDiagnostics();
    /// The workstation's networks that the link searches on now.
    std::vector<NetworkInterface> GetInterfaces();
    /// Answers with a new serial that the full registry dropped during the
    /// last search.
    std::size_t GetDroppedCount();
    /// Answers the system dropped since the last search began; see
    /// OrvaneManagerPrivate::GetLostCount.
    std::uint64_t GetLostCount();

private:
    std::unique_ptr<OrvaneManagerPrivate> d;
};

} // namespace velqor

#endif // VELQOR_ORVANEMANAGER_H
