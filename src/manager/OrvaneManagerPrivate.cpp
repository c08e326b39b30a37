#include "OrvaneManagerPrivate.h"

#include "AddressRules.h"
#include "OrvaneLogger.h"
#include "Protocol.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace velqor {

using boost::log::trivial::severity_level;

namespace {

constexpr std::uint32_t kTickMs = 1000;
constexpr std::uint32_t kSetAddressWaitMs = 1000;
constexpr std::chrono::milliseconds kForgetAfter {3500};

} // namespace

OrvaneManagerPrivate::OrvaneManagerPrivate() : OrvaneManagerPrivate(kBroadcastAddress, kDevicePort) { }

OrvaneManagerPrivate::OrvaneManagerPrivate(std::string address, unsigned short port, InterfaceLister lister)
    : OrvaneBase(std::move(address), port, 0, std::move(lister)),
      deadlineTimer(std::make_shared<boost::asio::steady_timer>(*ioService)),
      tickTimer(std::make_shared<boost::asio::steady_timer>(*ioService))
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

    Lock lock(mutex);
    if (busy)
        return ResultBusy;
    Begin(false);
    registry.BeginSearch();
    dropsAtSearch = DroppedDatagrams();
    listener = newListener;
    continuous = timeoutMs == 0;
    try {
        SendQuery();
        if (!continuous)
            ArmDeadline(timeoutMs);
        ArmTick();
    } catch (...) {
        // The run never started: leave the manager idle.
        Finish(result);
        throw;
    }
    return wait ? WaitResult(lock) : ResultOk;
}

void OrvaneManagerPrivate::StopSearch()
{
    Lock lock(mutex);
    if (busy && !changingAddress)
        Finish(ResultTimeout);
    // A listener already being served may still hold on to its registry copy;
    // the caller may free it once this returns.
    if (!OnIoThread()) {
        while (serving)
            condition.wait(lock);
    }
}

int OrvaneManagerPrivate::WaitResult()
{
    Lock lock(mutex);
    return WaitResult(lock);
}

int OrvaneManagerPrivate::WaitResult(Lock &lock)
{
    if (!busy)
        return ResultOk;
    if (continuous)
        return ResultBusy;
    while (busy)
        condition.wait(lock);
    return result;
}

bool OrvaneManagerPrivate::WaitIdle(std::chrono::steady_clock::time_point until)
{
    Lock lock(mutex);
    while (busy && !continuous) {
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= left.zero())
            break;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1;
        condition.wait_for(lock, boost::chrono::milliseconds(ms));
    }
    return !busy;
}

std::vector<DeviceDetails> OrvaneManagerPrivate::TakeChangedDevices()
{
    std::vector<DeviceDetails> changed;
    {
        Lock lock(mutex);
        changed = registry.TakeChanged();
    }
    Diagnose(changed, Interfaces());
    return changed;
}

std::vector<DeviceDetails> OrvaneManagerPrivate::TakeGoneDevices()
{
    std::vector<DeviceDetails> taken;
    {
        Lock lock(mutex);
        taken.swap(gone);
    }
    std::sort(taken.begin(), taken.end(),
              [](const DeviceDetails &a, const DeviceDetails &b) { return a.serial < b.serial; });
    return taken;
}

DeviceMap OrvaneManagerPrivate::GetDevices()
{
    Lock lock(mutex);
    return registry.Map();
}

std::vector<DeviceDetails> OrvaneManagerPrivate::GetDeviceDetails()
{
    std::vector<DeviceDetails> details;
    {
        Lock lock(mutex);
        details = registry.Details();
    }
    Diagnose(details, Interfaces());
    return details;
}

std::vector<Diagnostic> OrvaneManagerPrivate::GetWorkstationDiagnostics()
{
    return DiagnoseWorkstation(Interfaces());
}

void OrvaneManagerPrivate::Clear()
{
    Lock lock(mutex);
    registry.Clear();
}

std::uint64_t OrvaneManagerPrivate::GetLostCount()
{
    Lock lock(mutex);
    const std::uint64_t now = DroppedDatagrams();
    // Sockets closed since (a vanished interface) take their counts along.
    return now > dropsAtSearch ? now - dropsAtSearch : 0;
}

std::size_t OrvaneManagerPrivate::GetDroppedCount()
{
    Lock lock(mutex);
    return registry.Dropped();
}

int OrvaneManagerPrivate::SetAddress(std::string serial, std::string address)
{
    const std::optional<Ipv4Bytes> bytes = ParseDottedAddress(address);
    if (!bytes)
        return ResultInvalidArgument;
    return ResultCodeOf(ChangeAddress(Serial(std::move(serial)), *bytes));
}

ChangeOutcome OrvaneManagerPrivate::ChangeAddress(const Serial &serial, const Ipv4Bytes &address, bool force)
{
    const std::vector<NetworkInterface> own = Interfaces();
    Lock lock(mutex);
    if (busy)
        return ChangeOutcome::NotSent(NotSentReason::Busy);
    const std::optional<std::pair<Ipv4Bytes, NetworkInterface>> known = registry.Find(serial.Bytes());
    const NetworkInterface via = known ? known->second : NetworkInterface {};
    const std::string command = SetAddressCommand(serial.Bytes(), address);
    const std::optional<NotSentReason> unsafe =
        CheckNewAddress(address, via, own, registry.AddressesBesides(serial.Bytes()));
    if (unsafe && !(force && *unsafe == NotSentReason::HeldByAnotherDevice))
        return ChangeOutcome::NotSent(*unsafe);
    // No device would receive it whole.
    if (command.size() > kMaxDatagramLength)
        return ChangeOutcome::NotSent(NotSentReason::TooLong);
    if (registry.AnsweredFromSeveralAddresses(serial.Bytes()))
        return ChangeOutcome::NotSent(NotSentReason::SeveralAddresses);

    RefreshInterfaces();
    // Out of the address of the device's interface whose subnet holds it,
    // so that its answer comes back on its own subnet.
    const std::vector<NetworkInterface> sockets = Interfaces();
    auto sendOn = std::find_if(sockets.begin(), sockets.end(), [&](const NetworkInterface &network) {
        return known && network.name == via.name && network.Contains(known->first);
    });
    if (sendOn == sockets.end())
        sendOn = std::find(sockets.begin(), sockets.end(), via);
    const bool viaKnown = !via.name.empty() && sendOn != sockets.end();
    answerVia = viaKnown ? via.name : std::string();
    answerFrom.clear();
    if (known)
        answerFrom = {known->first, address};
    SendVia(command, viaKnown ? *sendOn : NetworkInterface {});
    Begin(true);
    changeOutcome = ChangeOutcome::NoAnswer();
    try {
        ArmDeadline(kSetAddressWaitMs);
    } catch (...) {
        Finish(result);
        throw;
    }
    WaitResult(lock);
    if (changeOutcome.kind == ChangeOutcome::Kind::Acknowledged)
        registry.Set(serial.Bytes(), address);
    return changeOutcome;
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
    Lock lock(mutex);
    if (IsQueryReply(message)) {
        registry.Record(message.payload, message.from, message.via);
        return;
    }
    const std::optional<SetAddressAnswer> answer = ParseSetAddressAnswer(message);
    if (!answer)
        return;
    // Replies carry no serial: one that comes while no change waits is late,
    // or not meant for us, and must not end a search.
    if (!busy || !changingAddress) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::debug)
            << "OrvaneManager: ignored a set-address answer from " << message.sender << ": no address change pending";
        return;
    }
    // Nor may another device's late answer, or a host that answers every
    // change, decide this one.
    const bool fromDevice =
        answerFrom.empty() || std::find(answerFrom.begin(), answerFrom.end(), message.from) != answerFrom.end();
    if (!fromDevice || (!answerVia.empty() && message.via.name != answerVia)) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::warning)
            << "OrvaneManager: ignored a set-address answer from " << message.sender << " on "
            << (message.via.name.empty() ? std::string("the link") : message.via.name)
            << ": not where the device answers";
        return;
    }
    changeOutcome = OutcomeOf(*answer);
    Finish(ResultCodeOf(changeOutcome));
}

void OrvaneManagerPrivate::Begin(bool addressChange)
{
    busy = true;
    changingAddress = addressChange;
    ++operation;
}

void OrvaneManagerPrivate::Finish(int code)
{
    if (!changingAddress && registry.Dropped() > 0) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::warning)
            << "OrvaneManager: registry full at " << DeviceRegistry::kMaxDevices << " devices; dropped "
            << registry.Dropped() << " answers with new serials";
    }
    result = code;
    busy = false;
    continuous = false;
    changingAddress = false;
    listener = nullptr;
    deadlineTimer->cancel();
    tickTimer->cancel();
    condition.notify_all();
}

void OrvaneManagerPrivate::Serve(Lock &lock, DeviceListener *served)
{
    serving = true;
    DeviceMap devices = registry.Map();
    // Without the lock, so that a listener may call back into the manager.
    lock.unlock();
    try {
        served->DevicesFound(std::move(devices));
    } catch (const std::exception &e) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::error) << "OrvaneManager: listener: " << e.what();
    }
    lock.lock();
    serving = false;
    condition.notify_all();
}

void OrvaneManagerPrivate::SendQuery()
{
    // Interfaces come and go: a cable, a VPN, a docking station.
    RefreshInterfaces();
    Send(QueryCommand());
}

void OrvaneManagerPrivate::ArmDeadline(std::uint32_t timeoutMs)
{
    deadlineTimer->expires_after(std::chrono::milliseconds(timeoutMs));
    deadlineTimer->async_wait(
        [this, run = operation](const boost::system::error_code &error) { OnDeadline(error, run); });
}

void OrvaneManagerPrivate::ArmTick()
{
    tickTimer->expires_after(std::chrono::milliseconds(kTickMs));
    tickTimer->async_wait([this, run = operation](const boost::system::error_code &error) { OnTick(error, run); });
}

void OrvaneManagerPrivate::OnTick(const boost::system::error_code &error, std::uint64_t run)
{
    Lock lock(mutex);
    if (error || !busy || run != operation)
        return;
    // A repeat that cannot go out now may next time: the run goes on rather
    // than leaving the manager busy with nothing armed.
    try {
        SendQuery();
    } catch (const std::exception &e) {
        BOOST_LOG_SEV(my_logger::get(), severity_level::error) << "OrvaneManager: repeated query: " << e.what();
    }
    ArmTick();
    if (continuous) {
        // A run without end lists who is there: a device that missed three
        // repeats is forgotten, and with it a flood of invented serials,
        // so that the list's limit applies to devices that answer.
        std::vector<DeviceDetails> forgotten = registry.Expire(std::chrono::steady_clock::now() - kForgetAfter);
        gone.insert(gone.end(), std::make_move_iterator(forgotten.begin()), std::make_move_iterator(forgotten.end()));
    }
    if (continuous && listener != nullptr)
        Serve(lock, listener);
}

void OrvaneManagerPrivate::OnDeadline(const boost::system::error_code &error, std::uint64_t run)
{
    Lock lock(mutex);
    if (error || !busy || run != operation)
        return;
    if (listener != nullptr) {
        // Served before the run ends, so the waiting caller cannot return and
        // drop its listener first.
        Serve(lock, listener);
        if (!busy || run != operation)
            return; // stopped meanwhile
    }
    Finish(ResultTimeout);
}

} // namespace velqor
