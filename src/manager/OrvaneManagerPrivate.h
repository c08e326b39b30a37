#ifndef VELQOR_ORVANEMANAGERPRIVATE_H
#define VELQOR_ORVANEMANAGERPRIVATE_H

#include "ChangeOutcome.h"
#include "DeviceDetails.h"
#include "DeviceListener.h"
#include "DeviceMap.h"
#include "DeviceRegistry.h"
#include "Diagnostic.h"
#include "OrvaneBase.h"
#include "ResultCodes.h"

#include <boost/asio/steady_timer.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
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
    /// Ends a search run at once, timed or without end, without serving its
    /// listener; returns when the run has ended and no listener call is under
    /// way. Does nothing when no search runs. Not for use inside a listener's
    /// DevicesFound, whose own call it cannot wait for.
    void StopSearch();
    /// Blocks until no operation is in progress and returns its result;
    /// ResultBusy at once for a run without end.
    int WaitResult();
    /// Blocks until no operation is in progress or until the time given;
    /// true when none is.
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
    /// Datagrams the system dropped since the last search began, its
    /// receive buffers being full: answers lost before they were read.
    std::uint64_t GetLostCount();
    /// Asks the device with this serial to move to address (dotted IPv4) and
    /// waits up to one second for its answer; ChangeAddress's outcome as a
    /// result code. A serial that answers on several links is refused
    /// (ResultSeveralAddresses): which one is meant is not said.
    int SetAddress(std::string serial, std::string address);
    /// Asks the device to move to address and waits up to one second for its
    /// answer. Sends nothing for an address that would
    /// take it or the workstation off the network (see CheckNewAddress);
    /// force allows one that another listed device holds. Only an answer
    /// from where the device last answered, or from the new address, on the
    /// interface the command went out on, counts.
    ChangeOutcome ChangeAddress(const DeviceId &id, const Ipv4Bytes &address, bool force = false);
    /// The outcome of a set-address answer.
    static ChangeOutcome OutcomeOf(const SetAddressAnswer &answer);
    /// The result code that SetAddress returns for an outcome.
    static int ResultCodeOf(const ChangeOutcome &outcome);

protected:
    void HandleMessage(Message message) override;

private:
    enum class State { Idle, Searching, SearchingWithoutEnd, ChangingAddress };
    /// How an operation ended, for the caller that waits for it.
    struct Ending {
        int result = ResultOk;
        ChangeOutcome outcome;
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
    /// Refreshes the interfaces and sends the query on each. With check, and
    /// when the system counts what its interfaces send, throws if the query
    /// left through none of them although it was sent.
    void SendQuery(bool check = false);
    void ArmDeadline(std::uint32_t timeoutMs);
    void ArmTick();
    /// Watches the answers to the last query: once they have stopped, asks
    /// again if the system dropped some (a bounded number of rounds).
    void ArmRound();
    void OnRound(const boost::system::error_code &error, std::uint64_t run);
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
    std::uint64_t dropsAtSearch = 0;
    std::uint64_t dropsAtQuery = 0;
    int extraRounds = 0;
    /// Forgotten by a run without end, until TakeGoneDevices.
    std::vector<DeviceDetails> gone;
    boost::asio::steady_timer deadlineTimer;
    boost::asio::steady_timer tickTimer;
    boost::asio::steady_timer roundTimer;
    /// What the address change in progress came to, and what it moves.
    ChangeOutcome changeOutcome;
    DeviceId changeDevice;
    Ipv4Bytes changeAddress {};
    /// Where the answer to the address change in progress may come from;
    /// any sender when empty (a device the registry does not know).
    std::vector<Ipv4Bytes> answerFrom;
    /// The interface the command went out on; any when empty.
    std::string answerVia;
    DeviceListener *listener = nullptr;
};

} // namespace velqor

#endif // VELQOR_ORVANEMANAGERPRIVATE_H
