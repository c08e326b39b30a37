#ifndef VELQOR_ORVANEMANAGERPRIVATE_H
#define VELQOR_ORVANEMANAGERPRIVATE_H

#include "AddressRules.h"
#include "ChangeOutcome.h"
#include "DeviceDetails.h"
#include "DeviceListener.h"
#include "DeviceMap.h"
#include "DeviceRegistry.h"
#include "Diagnostic.h"
#include "OrvaneBase.h"
#include "PendingChange.h"
#include "ResultCodes.h"

#include <boost/asio/steady_timer.hpp>
#include <boost/system/system_error.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velqor {

/// The device manager: a registry of the devices that answered the query,
/// search runs that repeat the query once a second, and the address change.
///
/// Its state belongs to the endpoint's I/O thread, where HandleMessage and the
/// timer handlers run: an operation called from another thread is posted
/// there, and a caller that waits for an operation's end waits for the
/// promise that ends it. The timers run on the steady clock, so a step of the
/// system time changes no wait.
class OrvaneManagerPrivate : public OrvaneBase {
public:
    /// Aimed at the broadcast address and the device port.
    OrvaneManagerPrivate();
    /// Aimed at another address and port, for tests on loopback; with a
    /// lister, one socket per interface that it lists.
    OrvaneManagerPrivate(std::string address, unsigned short port, InterfaceLister lister = {});
    virtual ~OrvaneManagerPrivate();

    /// Starts a search run: timed, or without end for timeoutMs 0. With wait,
    /// returns its result (ResultTimeout is the normal end of a timed run).
    int Search(std::uint32_t timeoutMs, bool wait, DeviceListener *listener);
    /// Ends a search run at once, timed or without end (or a verifying
    /// search, with what it found so far), without serving its listener; returns when the run has ended and no listener
    /// call is under way. Does nothing when no search runs. Not for use inside a listener's DevicesFound, whose own
    /// call it cannot wait for.
    void StopSearch();
    /// Blocks until no operation is in progress and returns its result;
    /// ResultBusy at once for a run without end.
    int WaitResult();
    /// Blocks until no operation is in progress or until the time given;
    /// true when none is. Throws what ended the operation, when it failed
    /// (a search whose queries never left).
    bool WaitIdle(std::chrono::steady_clock::time_point until);
    /// The devices that are new, have changed or answered the search for the
    /// first time since the last call, in serial order, with the warnings
    /// that each has on its own (an address conflict shows in
    /// GetDeviceDetails, which sees every device).
    /// Only changes at least settled old are taken: the other answers of
    /// the same query, a twin's among them, come within moments.
    std::vector<DeviceDetails> TakeChangedDevices(std::chrono::milliseconds settled = {});
    /// The devices that a run without end forgot since the last call: not
    /// heard for three repeats of the query. In serial order.
    std::vector<DeviceDetails> TakeGoneDevices();
    DeviceMap GetDevices();
    /// Every device with its interface, last answer and diagnostics, in
    /// serial order.
    std::vector<DeviceDetails> GetDeviceDetails();
    /// What is wrong with the workstation's networks.
    std::vector<Diagnostic> GetWorkstationDiagnostics();
    void Clear();
    /// Forgets the devices that did not answer the last search; returns how
    /// many. After a search that lost no answer, those are gone.
    std::size_t ForgetUnheard();
    /// Answers with a new serial that the full registry dropped during the
    /// last search.
    std::size_t GetDroppedCount();
    /// Datagrams the system dropped since the last query went out, its
    /// receive buffers being full: answers to it lost before they were read.
    std::uint64_t GetLostCount();
    /// Asks the device with this serial to move to address (dotted IPv4) and
    /// waits up to one second for its answer; the outcome as a result code,
    /// without a search. A serial that answers on several links is refused
    /// (ResultSeveralAddresses): which one is meant is not said.
    int SetAddress(std::string serial, std::string address);

    /// Asks the device to move to address and waits up to one second for its
    /// own answer: only one from where it last answered, on its link,
    /// decides (from anyone for a device the registry does not know). Sends
    /// nothing for an address that CheckNewAddress refuses, or that another
    /// host of the link answers for; force lets through what may be forced.
    /// Acknowledged, Refused, NoAnswer or NotSent: nothing is verified yet.
    ChangeOutcome SendChange(const DeviceId &id, const Ipv4Bytes &address, bool force = false);
    /// Searches until every change is settled or three seconds have passed:
    /// Moved once a round of queries finds the device at its new address and
    /// not at its old one; a refusal of its own, whenever it comes, is
    /// Refused; at the end, acknowledged and still at its old address is
    /// AcknowledgedNotMoved, not found at the new one NoAnswer (or
    /// Acknowledged where it was found nowhere). An answer from the new
    /// address decides nothing by itself.
    std::vector<ChangeOutcome> VerifyChanges(const std::vector<PendingChange> &changes);
    /// Searches until every device has answered a round of queries (after at
    /// least atLeast), or three seconds have passed: the addresses each
    /// answered from in the last round it answered, empty for one not heard.
    std::vector<std::vector<Ipv4Bytes>> Locate(const std::vector<DeviceId> &devices,
                                               std::chrono::milliseconds atLeast = {});
    /// SendChange, then, unless verify is false, VerifyChanges.
    ChangeOutcome ChangeAddress(const DeviceId &id, const Ipv4Bytes &address, bool force = false, bool verify = true);
    /// The outcome of a set-address answer.
    static ChangeOutcome OutcomeOf(const SetAddressAnswer &answer);
    /// The result code that SetAddress returns for an outcome.
    static int ResultCodeOf(const ChangeOutcome &outcome);

    /// The device as the registry knows it, with its link's diagnostics; none
    /// when unknown.
    std::optional<DeviceDetails> FindDevice(const DeviceId &id);
    /// Every address another device of the link answers from (also devices
    /// kept from an earlier search).
    std::set<Ipv4Bytes> AddressesBesides(const DeviceId &id);
    /// What the address rules need: the workstation's addresses and the
    /// gateways of each of its links.
    AddressFacts GetAddressFacts();
    /// Which of the addresses another host of the link answers for, with its
    /// hardware address: each is asked once, and the link is given a moment
    /// to answer. Devices of the link do not count: their address entries
    /// linger after they move. devicesToAsk and a few others are asked too,
    /// after the addresses, to learn the devices' hardware addresses. An
    /// address asked for lately is still being resolved, and the system asks
    /// again only a second later: patience, when given, waits for that.
    std::map<Ipv4Bytes, std::string> FindHosts(const std::string &link, const std::vector<Ipv4Bytes> &addresses,
                                               const std::vector<Ipv4Bytes> &devicesToAsk = {},
                                               std::chrono::milliseconds patience = {});

protected:
    void HandleMessage(Message message) override;

private:
    enum class State { Idle, Searching, SearchingWithoutEnd, ChangingAddress, Verifying };
    /// How an operation ended, for the caller that waits for it.
    struct Ending {
        int result = ResultOk;
        ChangeOutcome outcome;
        std::vector<ChangeOutcome> verified;
        std::vector<std::vector<Ipv4Bytes>> located;
    };
    /// A change being verified: what it came to so far.
    struct Verification {
        PendingChange change;
        bool acknowledged = false;
        std::optional<ChangeOutcome> settled;
        /// The addresses it answered from in the last round it answered.
        std::vector<Ipv4Bytes> lastHeard;
    };

    /// The operation in progress: its end, none when idle, and whether it is
    /// a run without end.
    struct InProgress {
        std::optional<std::shared_future<Ending>> end;
        bool endless = false;
    };
    InProgress Pending();
    /// Begins an operation under a new number; its end is what the returned
    /// future gives.
    std::shared_future<Ending> Begin(State next);
    /// Ends the operation in progress with this result, drops its listener
    /// and hands the end to its waiters.
    void Finish(int code);
    /// Ends it with a failure, which its waiters get.
    void FinishWithError(std::exception_ptr error);
    /// Back to idle: no listener, no timer.
    void EndRun();
    /// The query left through no interface, twice.
    struct QueryNeverLeft : boost::system::system_error {
        using boost::system::system_error::system_error;
    };
    /// Refreshes the interfaces and sends the query on each, a new round.
    /// With check, and when the system counts what its interfaces send:
    /// false when the query was not seen leaving through any of them; when
    /// that happened to the query before too, throws QueryNeverLeft.
    bool SendQuery(bool check = false);
    void ArmDeadline(std::uint32_t timeoutMs);
    void ArmTick();
    /// Watches the answers to the last query: once they have stopped, asks
    /// again if the system dropped some (a bounded number of rounds).
    void ArmRound();
    void OnRound(const boost::system::error_code &error, std::uint64_t run);
    /// A verifying search's round: once its answers have come, sees where
    /// each device answered, then asks again.
    void ArmVerifyRound();
    void OnVerifyRound(const boost::system::error_code &error, std::uint64_t run);
    /// Ends a verifying search with what each change came to.
    void FinishVerifying();
    /// A set-address answer while changes are verified: the device's own
    /// refusal settles its change.
    void TakeLateAnswer(const Message &message, const SetAddressAnswer &answer);
    void OnTick(const boost::system::error_code &error, std::uint64_t run);
    void OnDeadline(const boost::system::error_code &error, std::uint64_t run);
    /// Devices that take() picks on the I/O thread, with their warnings.
    std::vector<DeviceDetails> Diagnosed(const std::function<std::vector<DeviceDetails>()> &take);
    /// Calls the listener on the I/O thread; a listener may call back.
    void Serve(DeviceListener *served);

    DeviceRegistry registry;
    State state = State::Idle;
    /// Numbers the operations, so that a timer armed for one never acts on a
    /// later one, even when its completion was already queued.
    std::uint64_t operation = 0;
    std::promise<Ending> ending;
    std::shared_future<Ending> ended;
    std::uint64_t dropsAtQuery = 0;
    /// The search's first query was not seen leaving: its repeat decides.
    bool firstUnseen = false;
    int extraRounds = 0;
    /// Forgotten by a run without end, until TakeGoneDevices.
    std::vector<DeviceDetails> gone;
    boost::asio::steady_timer deadlineTimer;
    boost::asio::steady_timer tickTimer;
    boost::asio::steady_timer roundTimer;
    boost::asio::steady_timer verifyTimer;
    /// What the address change in progress came to, and what it moves.
    ChangeOutcome changeOutcome;
    DeviceId changeDevice;
    Ipv4Bytes changeAddress {};
    /// Where the device's answer to the change in progress comes from; any
    /// sender when none (a device the registry does not know).
    std::optional<Ipv4Bytes> answerFrom;
    /// The interface the command went out on; any when empty.
    std::string answerVia;
    /// The changes a verifying search looks at, and when its round's query left.
    std::vector<Verification> verifying;
    std::vector<ChangeOutcome> verified;
    /// The verifying search only looks where its devices are (Locate), and
    /// not before locateUntil.
    bool locating = false;
    std::chrono::steady_clock::time_point locateUntil;
    std::vector<std::vector<Ipv4Bytes>> located;
    std::chrono::steady_clock::time_point roundSent;
    DeviceListener *listener = nullptr;
};

} // namespace velqor

#endif // VELQOR_ORVANEMANAGERPRIVATE_H
