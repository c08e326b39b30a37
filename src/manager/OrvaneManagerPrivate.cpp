#include "OrvaneManagerPrivate.h"

#include "AddressRules.h"
#include "OrvaneLogger.h"
#include "Protocol.h"

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <thread>
#include <utility>

namespace velqor {

using boost::log::trivial::severity_level;

namespace {

constexpr std::uint32_t kTickMs = 1000;
constexpr std::uint32_t kSetAddressWaitMs = 1000;
/// Answers to one query come within a few hundred milliseconds; this long
/// without one, the burst is over.
constexpr std::chrono::milliseconds kRoundQuiet {100};
/// Queries sent again in a search because answers were lost: every device
/// answers each, so each round hears again most of what was lost before.
constexpr int kMaxExtraRounds = 3;
/// A query counts as sent once an interface's packet count has moved; a
/// queue in front of a real network card takes a moment.
constexpr std::chrono::milliseconds kLeaveWithin {50};
/// A host on the link answers address resolution within moments.
constexpr std::chrono::milliseconds kResolveWithin {200};
/// How long a batch of addresses asked for waits at most for room in the
/// neighbour table: one that nobody answers for is let go after three tries a
/// second apart.
constexpr std::chrono::milliseconds kNeighboursLetGo {10000};
/// Devices asked for besides the addresses in question, to learn the
/// devices' hardware addresses.
constexpr std::size_t kDevicesAsked = 8;
/// A verifying search: its rounds and how long it looks.
constexpr std::uint32_t kVerifyForMs = 3000;
constexpr std::chrono::milliseconds kVerifyLook {25};
constexpr std::chrono::milliseconds kVerifyRoundAtLeast {150};
constexpr std::chrono::milliseconds kVerifyRoundAtMost {1000};

} // namespace

OrvaneManagerPrivate::OrvaneManagerPrivate() : OrvaneManagerPrivate(kBroadcastAddress, kDevicePort) { }

OrvaneManagerPrivate::OrvaneManagerPrivate(std::string address, unsigned short port, InterfaceLister lister)
    : OrvaneBase(std::move(address), port, 0, std::move(lister)),
      deadlineTimer(*ioService),
      tickTimer(*ioService),
      roundTimer(*ioService),
      verifyTimer(*ioService)
{
    StartReceive();
}

OrvaneManagerPrivate::~OrvaneManagerPrivate()
{
    // The handlers use the members below; the I/O thread must end first.
    Shutdown();
}

int OrvaneManagerPrivate::Search(std::uint32_t timeoutMs, bool wait, DeviceListener *newListener)
{
    if (timeoutMs == 0 && wait)
        return ResultInvalidArgument;

    std::optional<std::shared_future<Ending>> run;
    Call([&] {
        if (state != State::Idle)
            return;
        run = Begin(timeoutMs == 0 ? State::SearchingWithoutEnd : State::Searching);
        registry.BeginSearch();
        extraRounds = 0;
        listener = newListener;
        try {
            firstUnseen = false;
            firstUnseen = !SendQuery(true);
            if (timeoutMs != 0)
                ArmDeadline(timeoutMs);
            ArmTick();
        } catch (...) {
            // The run never started: leave the manager idle.
            Finish(ResultOk);
            throw;
        }
    });
    if (!run)
        return ResultBusy;
    return wait ? run->get().result : ResultOk;
}

void OrvaneManagerPrivate::StopSearch()
{
    // Listeners are served on the I/O thread, so once this has run there no
    // listener call is under way and the caller may free its listener.
    Call([this] {
        if (state == State::Searching || state == State::SearchingWithoutEnd)
            Finish(ResultTimeout);
        else if (state == State::Verifying)
            FinishVerifying(); // with what it has found so far
    });
}

OrvaneManagerPrivate::InProgress OrvaneManagerPrivate::Pending()
{
    InProgress pending;
    Call([&] {
        pending.endless = state == State::SearchingWithoutEnd;
        if (state != State::Idle)
            pending.end = ended;
    });
    return pending;
}

int OrvaneManagerPrivate::WaitResult()
{
    const InProgress pending = Pending();
    if (pending.endless)
        return ResultBusy;
    return pending.end ? pending.end->get().result : ResultOk;
}

bool OrvaneManagerPrivate::WaitIdle(std::chrono::steady_clock::time_point until)
{
    const InProgress pending = Pending();
    if (!pending.end)
        return true;
    if (pending.end->wait_until(until) != std::future_status::ready)
        return false;
    pending.end->get(); // passes on how it failed
    return true;
}

std::vector<DeviceDetails> OrvaneManagerPrivate::Diagnosed(const std::function<std::vector<DeviceDetails>()> &take)
{
    std::vector<DeviceDetails> devices;
    std::vector<NetworkInterface> own;
    Call([&] {
        devices = take();
        own = Interfaces();
    });
    // Off the I/O thread: it is the caller's work, and grows with the list.
    Diagnose(devices, own);
    return devices;
}

std::vector<DeviceDetails> OrvaneManagerPrivate::TakeChangedDevices(std::chrono::milliseconds settled)
{
    return Diagnosed([&] { return registry.TakeChanged(std::chrono::steady_clock::now() - settled); });
}

std::vector<DeviceDetails> OrvaneManagerPrivate::TakeGoneDevices()
{
    std::vector<DeviceDetails> taken;
    Call([&] { taken.swap(gone); });
    std::sort(taken.begin(), taken.end(),
              [](const DeviceDetails &a, const DeviceDetails &b) { return a.Id() < b.Id(); });
    return taken;
}

DeviceMap OrvaneManagerPrivate::GetDevices()
{
    DeviceMap devices;
    Call([&] { devices = registry.Map(); });
    return devices;
}

std::vector<DeviceDetails> OrvaneManagerPrivate::GetDeviceDetails()
{
    return Diagnosed([this] { return registry.Details(); });
}

std::vector<Diagnostic> OrvaneManagerPrivate::GetWorkstationDiagnostics()
{
    // The sources that matter: the devices' own, where they are heard.
    std::map<std::string, std::vector<Ipv4Bytes>> heard;
    std::vector<NetworkInterface> own;
    Call([&] {
        own = Interfaces();
        heard = registry.AddressesByLink();
    });
    return DiagnoseWorkstation(own, heard);
}

void OrvaneManagerPrivate::Clear()
{
    Call([this] { registry.Clear(); });
}

std::size_t OrvaneManagerPrivate::ForgetUnheard()
{
    std::size_t forgotten = 0;
    Call([&] { forgotten = registry.ForgetUnheard(); });
    return forgotten;
}

std::uint64_t OrvaneManagerPrivate::GetLostCount()
{
    std::uint64_t lost = 0;
    Call([&] {
        const std::uint64_t now = DroppedDatagrams();
        // Per round: every device answers each query, so the last round says
        // what the list may lack; summed over rounds, one device lost
        // thrice would count thrice. Sockets closed since (a vanished
        // interface) take their counts along.
        lost = now > dropsAtQuery ? now - dropsAtQuery : 0;
    });
    return lost;
}

std::size_t OrvaneManagerPrivate::GetDroppedCount()
{
    std::size_t dropped = 0;
    Call([&] { dropped = registry.Dropped(); });
    return dropped;
}

int OrvaneManagerPrivate::SetAddress(std::string serial, std::string address)
{
    const std::optional<Ipv4Bytes> bytes = ParseDottedAddress(address);
    if (!bytes)
        return ResultInvalidArgument;
    // The facade's callers name a serial; it is a device only where it
    // answers on one link.
    std::vector<DeviceDetails> found;
    Call([&] { found = registry.FindSerial(Serial(serial)); });
    if (found.size() > 1)
        return ResultSeveralAddresses;
    const DeviceId id = found.empty() ? DeviceId {{}, Serial(std::move(serial))} : found.front().Id();
    const ChangeOutcome outcome = ChangeAddress(id, *bytes, false, false);
    // Its interface is gone: as a send that failed, which callers of this
    // form are told by the error.
    if (outcome.kind == ChangeOutcome::Kind::NotSent && outcome.reason == NotSentReason::LinkDown)
        throw boost::system::system_error(boost::asio::error::network_down, "send_to");
    return ResultCodeOf(outcome);
}

std::optional<DeviceDetails> OrvaneManagerPrivate::FindDevice(const DeviceId &id)
{
    // With the other devices of its link: an address conflict is theirs too.
    std::vector<DeviceDetails> link = Diagnosed([&] {
        std::vector<DeviceDetails> devices = registry.Details();
        devices.erase(std::remove_if(devices.begin(), devices.end(),
                                     [&](const DeviceDetails &device) { return device.via.name != id.link; }),
                      devices.end());
        return devices;
    });
    for (const DeviceDetails &device : link) {
        if (device.serial == id.serial)
            return device;
    }
    return std::nullopt;
}

std::set<Ipv4Bytes> OrvaneManagerPrivate::AddressesBesides(const DeviceId &id)
{
    std::set<Ipv4Bytes> held;
    Call([&] { held = registry.AddressesBesides(id); });
    return held;
}

AddressFacts OrvaneManagerPrivate::GetAddressFacts()
{
    AddressFacts facts;
    facts.own = Interfaces();
    for (const NetworkInterface &network : facts.own) {
        std::vector<Ipv4Bytes> &gateways = facts.gateways[network.name];
        for (const Ipv4Bytes &gateway : ListGateways(network)) {
            if (std::find(gateways.begin(), gateways.end(), gateway) == gateways.end())
                gateways.push_back(gateway);
        }
    }
    return facts;
}

std::map<Ipv4Bytes, std::string> OrvaneManagerPrivate::FindHosts(const std::string &link,
                                                                 const std::vector<Ipv4Bytes> &addresses,
                                                                 const std::vector<Ipv4Bytes> &devicesToAsk,
                                                                 std::chrono::milliseconds patience)
{
    std::map<Ipv4Bytes, std::string> hosts;
    std::vector<NetworkInterface> sockets;
    std::set<Ipv4Bytes> devices;
    std::vector<Ipv4Bytes> asked(devicesToAsk.begin(), devicesToAsk.end());
    Call([&] {
        for (const NetworkInterface &network : Interfaces()) {
            if (network.name == link)
                sockets.push_back(network);
        }
        std::size_t sampled = 0;
        for (const DeviceDetails &device : registry.Details()) {
            if (device.via.name != link)
                continue;
            devices.insert(device.address);
            devices.insert(device.alsoAt.begin(), device.alsoAt.end());
            if (sampled++ < kDevicesAsked)
                asked.push_back(device.address);
        }
    });
    if (sockets.empty())
        return hosts;
    // The devices' hardware addresses are learnt by asking for some of them,
    // first: the address entries a moved device leaves behind are no host's.
    const std::set<Ipv4Bytes> inQuestion(addresses.begin(), addresses.end());
    std::vector<Ipv4Bytes> ordered(asked.begin(), asked.end());
    ordered.insert(ordered.end(), addresses.begin(), addresses.end());
    // Asked at the pace the system's neighbour table takes: each probe makes
    // an entry there, which the table cannot let go of while it is being
    // resolved (three seconds for an address nobody answers for) or soon
    // after it was (15 to 45 seconds), and a full table drops what would
    // need a new one, the broadcasts that move the devices among it.
    // An eighth of the table is left to the rest of the workstation.
    const std::size_t limit = NeighbourTableLimit();
    const std::size_t room = std::max<std::size_t>(64, limit - limit / 8);
    // A batch's datagrams wait in their socket while resolved: a few hundred fit.
    const std::size_t batch = std::clamp<std::size_t>(limit / 4, 16, 256);
    std::vector<Ipv4Bytes> probedList;
    const auto waitForRoom = [&](std::size_t wanted) {
        const auto until = std::chrono::steady_clock::now() + kNeighboursLetGo;
        while (NeighboursHeld(sockets.front(), probedList) + wanted > room && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(kResolveWithin);
    };
    std::set<Ipv4Bytes> probed;
    std::set<std::string> deviceHardware;
    for (std::size_t start = 0; start < ordered.size(); start += batch) {
        const auto end = ordered.begin() + static_cast<std::ptrdiff_t>(std::min(ordered.size(), start + batch));
        const std::vector<Ipv4Bytes> slice(ordered.begin() + static_cast<std::ptrdiff_t>(start), end);
        if (start > 0)
            waitForRoom(slice.size());
        // Each address from the address of the link whose subnet holds it:
        // the system resolves it on the wire only there.
        std::set<Ipv4Bytes> asking;
        for (const NetworkInterface &network : sockets) {
            std::vector<Ipv4Bytes> here;
            for (const Ipv4Bytes &address : slice) {
                if (network.Contains(address) && probed.insert(address).second) {
                    here.push_back(address);
                    asking.insert(address);
                }
            }
            Probe(network, here);
        }
        probedList.insert(probedList.end(), asking.begin(), asking.end());
        const auto until = std::chrono::steady_clock::now() + std::max(patience, kResolveWithin);
        for (;;) {
            const std::vector<Neighbour> neighbours = ListNeighbours(sockets.front());
            for (const Neighbour &neighbour : neighbours) {
                if (devices.count(neighbour.address) != 0)
                    deviceHardware.insert(neighbour.hardware);
            }
            std::size_t resolved = 0;
            for (const Neighbour &neighbour : neighbours) {
                resolved += asking.count(neighbour.address);
                if (inQuestion.count(neighbour.address) != 0 && deviceHardware.count(neighbour.hardware) == 0)
                    hosts[neighbour.address] = neighbour.hardware;
                else if (deviceHardware.count(neighbour.hardware) != 0)
                    hosts.erase(neighbour.address); // a device's, learnt from a later batch
            }
            if (resolved >= asking.size() || std::chrono::steady_clock::now() >= until)
                break;
            std::this_thread::sleep_for(kResolveWithin / 10);
        }
    }
    // Room for what follows: a plan's changes go out next, and need an
    // entry for their broadcast.
    if (ordered.size() > batch)
        waitForRoom(kDevicesAsked * 4);
    return hosts;
}

ChangeOutcome OrvaneManagerPrivate::SendChange(const DeviceId &id, const Ipv4Bytes &address, bool force)
{
    std::optional<DeviceDetails> known;
    std::set<Ipv4Bytes> held;
    bool twin = false;
    bool busy = false;
    Call([&] {
        busy = state != State::Idle;
        known = registry.Find(id);
        held = registry.AddressesBesides(id);
        twin = registry.AnsweredFromSeveralAddresses(id);
    });
    if (busy) // nothing is looked at while another operation runs
        return ChangeOutcome::NotSent(NotSentReason::Busy);
    const NetworkInterface via = known ? known->via : NetworkInterface {};
    const std::optional<NotSentReason> unsafe = CheckNewAddress(address, via, GetAddressFacts(), held);
    if (unsafe && !(force && Overridable(*unsafe)))
        return ChangeOutcome::NotSent(*unsafe);
    if (SetAddressCommand(id.serial.Bytes(), address).size() > kMaxDatagramLength) // no device would receive it whole
        return ChangeOutcome::NotSent(NotSentReason::TooLong);
    if (twin)
        return ChangeOutcome::NotSent(NotSentReason::SeveralAddresses);
    if (!force && !id.link.empty() && !unsafe) {
        const std::map<Ipv4Bytes, std::string> hosts =
            FindHosts(id.link, {address}, known ? std::vector<Ipv4Bytes> {known->address} : std::vector<Ipv4Bytes> {});
        if (!hosts.empty())
            return ChangeOutcome::NotSent(NotSentReason::InUseByHost, hosts.begin()->second);
    }

    std::optional<ChangeOutcome> refused;
    std::shared_future<Ending> change;
    Call([&] {
        if (state != State::Idle) {
            refused = ChangeOutcome::NotSent(NotSentReason::Busy);
            return;
        }
        RefreshInterfaces();
        // Out of the address of the device's link whose subnet holds it, so
        // that its answer comes back on its own subnet; on the link it
        // answers on in any case.
        const std::vector<NetworkInterface> sockets = Interfaces();
        auto sendOn = std::find_if(sockets.begin(), sockets.end(), [&](const NetworkInterface &network) {
            return known && network.name == id.link && network.Contains(known->address);
        });
        if (sendOn == sockets.end())
            sendOn = std::find(sockets.begin(), sockets.end(), via);
        if (sendOn == sockets.end())
            sendOn = std::find_if(sockets.begin(), sockets.end(),
                                  [&](const NetworkInterface &network) { return network.name == id.link; });
        // A device of one link is moved through that link or not at all: on
        // the others a device with the same serial would move instead.
        if (!id.link.empty() && sendOn == sockets.end()) {
            refused = ChangeOutcome::NotSent(NotSentReason::LinkDown);
            return;
        }
        const bool onLink = !id.link.empty();
        answerVia = onLink ? id.link : std::string();
        answerFrom.reset();
        if (known)
            answerFrom = known->address;
        try {
            SendVia(SetAddressCommand(id.serial.Bytes(), address), onLink ? *sendOn : NetworkInterface {});
        } catch (const boost::system::system_error &) {
            if (!onLink)
                throw;
            refused = ChangeOutcome::NotSent(NotSentReason::LinkDown); // it went down just now
            return;
        }
        change = Begin(State::ChangingAddress);
        changeOutcome = ChangeOutcome::NoAnswer();
        changeDevice = id;
        changeAddress = address;
        try {
            ArmDeadline(kSetAddressWaitMs);
        } catch (...) {
            Finish(ResultOk);
            throw;
        }
    });
    if (refused)
        return *refused;
    return change.get().outcome;
}

std::vector<ChangeOutcome> OrvaneManagerPrivate::VerifyChanges(const std::vector<PendingChange> &changes)
{
    std::vector<ChangeOutcome> outcomes;
    std::vector<std::size_t> checked;
    std::vector<PendingChange> searched;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        outcomes.push_back(changes[i].sent);
        if (changes[i].sent.Checkable()) {
            checked.push_back(i);
            searched.push_back(changes[i]);
        }
    }
    if (searched.empty())
        return outcomes;
    std::shared_future<Ending> run;
    Call([&] {
        if (state != State::Idle)
            return;
        run = Begin(State::Verifying);
        verifying.clear();
        for (const PendingChange &change : searched) {
            Verification entry;
            entry.change = change;
            entry.acknowledged = change.sent.kind == ChangeOutcome::Kind::Acknowledged;
            verifying.push_back(entry);
        }
        try {
            SendQuery();
            ArmVerifyRound();
            ArmDeadline(kVerifyForMs);
        } catch (...) {
            Finish(ResultOk);
            throw;
        }
    });
    if (!run.valid()) {
        for (std::size_t i : checked)
            outcomes[i] = ChangeOutcome::NotSent(NotSentReason::Busy);
        return outcomes;
    }
    const std::vector<ChangeOutcome> verified = run.get().verified;
    for (std::size_t i = 0; i < checked.size() && i < verified.size(); ++i)
        outcomes[checked[i]] = verified[i];
    return outcomes;
}

std::vector<std::vector<Ipv4Bytes>> OrvaneManagerPrivate::Locate(const std::vector<DeviceId> &devices,
                                                                 std::chrono::milliseconds atLeast)
{
    if (devices.empty())
        return {};
    std::shared_future<Ending> run;
    Call([&] {
        if (state != State::Idle)
            return;
        run = Begin(State::Verifying);
        locating = true;
        locateUntil = std::chrono::steady_clock::now() + atLeast;
        verifying.clear();
        for (const DeviceId &device : devices) {
            Verification entry;
            entry.change.device = device;
            verifying.push_back(entry);
        }
        try {
            SendQuery();
            ArmVerifyRound();
            ArmDeadline(kVerifyForMs + static_cast<std::uint32_t>(atLeast.count()));
        } catch (...) {
            Finish(ResultOk);
            throw;
        }
    });
    if (!run.valid())
        return std::vector<std::vector<Ipv4Bytes>>(devices.size());
    return run.get().located;
}

ChangeOutcome OrvaneManagerPrivate::ChangeAddress(const DeviceId &id, const Ipv4Bytes &address, bool force, bool verify)
{
    std::optional<Ipv4Bytes> from;
    Call([&] {
        if (const auto known = registry.Find(id))
            from = known->address;
    });
    const ChangeOutcome sent = SendChange(id, address, force);
    if (!verify || !sent.Checkable() || !from)
        return sent;
    return VerifyChanges({{id, *from, address, sent}}).front();
}

ChangeOutcome OrvaneManagerPrivate::OutcomeOf(const SetAddressAnswer &answer)
{
    if (answer.accepted)
        return ChangeOutcome::Acknowledged();
    return ChangeOutcome::Refused(answer.withCode ? std::optional<std::int8_t>(static_cast<std::int8_t>(answer.code))
                                                  : std::nullopt);
}

int OrvaneManagerPrivate::ResultCodeOf(const ChangeOutcome &outcome)
{
    switch (outcome.kind) {
    case ChangeOutcome::Kind::Moved:
    case ChangeOutcome::Kind::Acknowledged:
    case ChangeOutcome::Kind::AcknowledgedNotMoved: // the device's yes, which SetAddress reports without searching
        return ResultOk;
    case ChangeOutcome::Kind::Refused:
        // A refusal must never read as the success code.
        return outcome.deviceCode.value_or(0) == 0 ? ResultRefusedWithoutCode : *outcome.deviceCode;
    case ChangeOutcome::Kind::NoAnswer:
        return ResultTimeout;
    case ChangeOutcome::Kind::NotSent:
        break;
    }
    switch (outcome.reason) {
    case NotSentReason::Busy:
        return ResultBusy;
    case NotSentReason::SeveralAddresses:
        return ResultSeveralAddresses;
    default:
        return ResultInvalidArgument;
    }
}

void OrvaneManagerPrivate::HandleMessage(Message message)
{
    if (IsQueryReply(message)) {
        registry.Record(message.payload, message.from, message.via, std::chrono::steady_clock::now());
        return;
    }
    const std::optional<SetAddressAnswer> answer = ParseSetAddressAnswer(message);
    if (!answer)
        return;
    if (state == State::Verifying) {
        TakeLateAnswer(message, *answer);
        return;
    }
    // Replies carry no serial: one that comes while no change waits is late,
    // or not meant for us, and must not end a search.
    if (state != State::ChangingAddress) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::debug)
            << "OrvaneManager: ignored a set-address answer from " << message.sender << ": no address change pending";
        return;
    }
    // Nor may another device's late answer, or a host that answers every
    // change; an answer from the new address decides nothing until a search
    // finds the device there.
    const bool fromDevice = !answerFrom || message.from == *answerFrom;
    if (!fromDevice || (!answerVia.empty() && message.via.name != answerVia)) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::warning)
            << "OrvaneManager: ignored a set-address answer from " << message.sender << " on "
            << (message.via.name.empty() ? std::string("the link") : message.via.name)
            << (message.from == changeAddress ? ": from the new address; a search decides"
                                              : ": not where the device answers");
        return;
    }
    changeOutcome = OutcomeOf(*answer);
    if (changeOutcome.kind == ChangeOutcome::Kind::Acknowledged)
        registry.Set(changeDevice, changeAddress, std::chrono::steady_clock::now());
    Finish(ResultCodeOf(changeOutcome));
}

void OrvaneManagerPrivate::TakeLateAnswer(const Message &message, const SetAddressAnswer &answer)
{
    for (Verification &entry : verifying) {
        const PendingChange &change = entry.change;
        if (entry.settled || message.from != change.from ||
            (!change.device.link.empty() && message.via.name != change.device.link))
            continue;
        if (answer.accepted) {
            entry.acknowledged = true;
        } else {
            entry.settled = OutcomeOf(answer);
            BOOST_LOG_SEV(my_logger::get(), severity_level::info)
                << "OrvaneManager: " << change.device.Text() << " refused late, from " << message.sender;
        }
        return;
    }
    BOOST_LOG_SEV(my_logger::get(), severity_level::warning)
        << "OrvaneManager: ignored a set-address answer from " << message.sender << ": not where a device answers";
}

void OrvaneManagerPrivate::ArmVerifyRound()
{
    verifyTimer.expires_after(kVerifyLook);
    verifyTimer.async_wait(
        [this, run = operation](const boost::system::error_code &error) { OnVerifyRound(error, run); });
}

void OrvaneManagerPrivate::OnVerifyRound(const boost::system::error_code &error, std::uint64_t run)
{
    if (error || state != State::Verifying || run != operation)
        return;
    const auto now = std::chrono::steady_clock::now();
    // The round's answers come within moments; wait for them to stop (not
    // forever, should something keep sending).
    const bool quiet = now - std::max(roundSent, LastReceived()) >= kRoundQuiet;
    if (now - roundSent < kVerifyRoundAtLeast || (!quiet && now - roundSent < kVerifyRoundAtMost)) {
        ArmVerifyRound();
        return;
    }
    bool open = false;
    for (Verification &entry : verifying) {
        if (entry.settled && !locating)
            continue;
        const std::vector<Ipv4Bytes> heard = registry.HeardInRound(entry.change.device);
        if (!heard.empty())
            entry.lastHeard = heard;
        if (locating) {
            // Where it is now: each round's answers count, the last one's most.
            open = open || heard.empty();
            continue;
        }
        const auto at = [&](const Ipv4Bytes &address) {
            return std::find(heard.begin(), heard.end(), address) != heard.end();
        };
        if (at(entry.change.to) && !at(entry.change.from)) {
            entry.settled = ChangeOutcome::Moved();
            entry.settled->foundAt = entry.change.to;
            entry.settled->acknowledged = entry.acknowledged;
        } else {
            open = true;
        }
    }
    if (!open && (!locating || now >= locateUntil)) {
        FinishVerifying();
        return;
    }
    try {
        SendQuery();
    } catch (const std::exception &e) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::error) << "OrvaneManager: verifying query: " << e.what();
    }
    ArmVerifyRound();
}

void OrvaneManagerPrivate::FinishVerifying()
{
    if (locating) {
        located.clear();
        for (const Verification &entry : verifying)
            located.push_back(entry.lastHeard);
        locating = false;
        verifying.clear();
        Finish(ResultOk);
        return;
    }
    std::vector<ChangeOutcome> outcomes;
    for (const Verification &entry : verifying) {
        if (entry.settled) {
            outcomes.push_back(*entry.settled);
            continue;
        }
        const auto at = [&](const Ipv4Bytes &address) {
            return std::find(entry.lastHeard.begin(), entry.lastHeard.end(), address) != entry.lastHeard.end();
        };
        ChangeOutcome outcome = ChangeOutcome::NoAnswer();
        outcome.acknowledged = entry.acknowledged;
        if (at(entry.change.from))
            outcome.kind =
                entry.acknowledged ? ChangeOutcome::Kind::AcknowledgedNotMoved : ChangeOutcome::Kind::NoAnswer;
        else if (entry.lastHeard.empty() && entry.acknowledged)
            outcome.kind = ChangeOutcome::Kind::Acknowledged; // found nowhere: nothing verified
        if (!entry.lastHeard.empty())
            outcome.foundAt = at(entry.change.from) ? entry.change.from : entry.lastHeard.front();
        outcomes.push_back(outcome);
    }
    verified = std::move(outcomes);
    verifying.clear();
    Finish(ResultOk);
}

std::shared_future<OrvaneManagerPrivate::Ending> OrvaneManagerPrivate::Begin(State next)
{
    state = next;
    ++operation;
    ending = std::promise<Ending>();
    ended = ending.get_future().share();
    return ended;
}

void OrvaneManagerPrivate::EndRun()
{
    state = State::Idle;
    listener = nullptr;
    deadlineTimer.cancel();
    tickTimer.cancel();
    roundTimer.cancel();
    verifyTimer.cancel();
}

void OrvaneManagerPrivate::FinishWithError(std::exception_ptr error)
{
    EndRun();
    ending.set_exception(std::move(error));
}

void OrvaneManagerPrivate::Finish(int code)
{
    if ((state == State::Searching || state == State::SearchingWithoutEnd) && registry.Dropped() > 0) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::warning)
            << "OrvaneManager: registry full at " << DeviceRegistry::kMaxDevices << " devices; dropped "
            << registry.Dropped() << " answers with new serials";
    }
    EndRun();
    ending.set_value(Ending {code, changeOutcome, std::move(verified), std::move(located)});
    verified.clear();
    located.clear();
}

bool OrvaneManagerPrivate::SendQuery(bool check)
{
    // Interfaces come and go: a cable, a VPN, a docking station.
    RefreshInterfaces();
    registry.BeginRound();
    dropsAtQuery = DroppedDatagrams();
    std::vector<std::pair<NetworkInterface, std::optional<std::uint64_t>>> sent;
    if (check) {
        for (const NetworkInterface &network : Interfaces())
            sent.emplace_back(network, TransmittedPackets(network));
    }
    const std::optional<std::uint64_t> droppedBefore = check ? UdpSendsDropped() : std::nullopt;
    Send(QueryCommand());
    const std::optional<std::uint64_t> droppedAfter = check ? UdpSendsDropped() : std::nullopt;
    roundSent = std::chrono::steady_clock::now();
    if (state != State::Verifying)
        ArmRound();
    // sendto succeeds even when the system drops the datagram before the
    // wire (a neighbour table filled by ICMP to thousands of devices): a
    // search that could hear nothing must not read as "none found". An
    // interface's count also moves with what else the host sends (its
    // address resolution, those very ICMP errors): where the system counts
    // the datagrams it dropped, as many drops as queries say it surely.
    const bool allDropped =
        droppedBefore && droppedAfter && !sent.empty() && *droppedAfter >= *droppedBefore + sent.size();
    std::string silent;
    const auto until = std::chrono::steady_clock::now() + kLeaveWithin;
    for (;;) {
        silent.clear();
        for (const auto &[network, before] : sent) {
            const std::optional<std::uint64_t> now = TransmittedPackets(network);
            if (!allDropped && (!before || !now || *now != *before))
                return true; // one left, or the system does not say
            if (silent.find(network.name) == std::string::npos)
                silent += (silent.empty() ? "" : ", ") + network.name;
        }
        if (silent.empty() || allDropped || std::chrono::steady_clock::now() >= until)
            break;
        std::this_thread::sleep_for(kLeaveWithin / 10);
    }
    if (silent.empty())
        return true;
    // A slow link may count it late: the first time only noted; the repeat
    // a second later settles it.
    if (!firstUnseen) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::info)
            << "OrvaneManager: the query was not seen leaving " << silent << " within " << kLeaveWithin.count()
            << " ms; the repeat will tell";
        return false;
    }
    throw QueryNeverLeft(boost::system::errc::make_error_code(boost::system::errc::no_buffer_space),
                         "query never left " + silent +
                             " (the system dropped it; a full neighbour table does: ip -s neigh)");
}

void OrvaneManagerPrivate::ArmDeadline(std::uint32_t timeoutMs)
{
    deadlineTimer.expires_after(std::chrono::milliseconds(timeoutMs));
    deadlineTimer.async_wait(
        [this, run = operation](const boost::system::error_code &error) { OnDeadline(error, run); });
}

void OrvaneManagerPrivate::ArmTick()
{
    tickTimer.expires_after(std::chrono::milliseconds(kTickMs));
    tickTimer.async_wait([this, run = operation](const boost::system::error_code &error) { OnTick(error, run); });
}

void OrvaneManagerPrivate::ArmRound()
{
    roundTimer.expires_after(kRoundQuiet);
    roundTimer.async_wait([this, run = operation](const boost::system::error_code &error) { OnRound(error, run); });
}

void OrvaneManagerPrivate::OnRound(const boost::system::error_code &error, std::uint64_t run)
{
    if (error || state == State::Idle || state == State::ChangingAddress || run != operation)
        return;
    if (std::chrono::steady_clock::now() - LastReceived() < kRoundQuiet) {
        ArmRound(); // still coming
        return;
    }
    const std::uint64_t dropped = DroppedDatagrams();
    if (dropped <= dropsAtQuery) {
        // Its answers all came: a device it did not hear is silent, not
        // lost in our buffers.
        registry.CompleteRound(roundSent);
        return;
    }
    if (extraRounds >= kMaxExtraRounds)
        return; // asked often enough: the next repeat asks again
    ++extraRounds;
    BOOST_LOG_SEV(my_logger::get(), severity_level::info)
        << "OrvaneManager: " << dropped - dropsAtQuery << " answers lost; asking again";
    try {
        SendQuery();
    } catch (const std::exception &e) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::error) << "OrvaneManager: repeated query: " << e.what();
    }
}

void OrvaneManagerPrivate::OnTick(const boost::system::error_code &error, std::uint64_t run)
{
    if (error || state == State::Idle || state == State::Verifying || run != operation)
        return;
    // Answers lost to this query are asked for again, as in a search.
    extraRounds = 0;
    // A repeat that cannot go out now may next time: the run goes on rather
    // than leaving the manager busy with nothing armed. The first repeat of
    // a search whose first query was not seen leaving settles whether it
    // can leave at all.
    try {
        SendQuery(firstUnseen);
        firstUnseen = false;
    } catch (const QueryNeverLeft &) {
        FinishWithError(std::current_exception());
        return;
    } catch (const std::exception &e) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::error) << "OrvaneManager: repeated query: " << e.what();
    }
    ArmTick();
    if (state != State::SearchingWithoutEnd)
        return;
    // A run without end lists who is there: a device that missed three
    // repeats is forgotten, and with it a flood of invented serials, so that
    // the list's limit applies to devices that answer.
    std::vector<DeviceDetails> forgotten = registry.ExpireAbsent(std::chrono::steady_clock::now());
    gone.insert(gone.end(), std::make_move_iterator(forgotten.begin()), std::make_move_iterator(forgotten.end()));
    if (listener != nullptr)
        Serve(listener);
}

void OrvaneManagerPrivate::OnDeadline(const boost::system::error_code &error, std::uint64_t run)
{
    if (error || state == State::Idle || run != operation)
        return;
    if (state == State::Verifying) {
        FinishVerifying();
        return;
    }
    if (state == State::Searching && listener != nullptr) {
        // Served before the run ends, so the waiting caller cannot return and
        // drop its listener first.
        Serve(listener);
        if (state == State::Idle || run != operation)
            return; // the listener stopped it
    }
    Finish(ResultTimeout);
}

void OrvaneManagerPrivate::Serve(DeviceListener *served)
{
    try {
        served->DevicesFound(registry.Map());
    } catch (const std::exception &e) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::error) << "OrvaneManager: listener: " << e.what();
    }
}

} // namespace velqor
