#include "OrvaneManagerPrivate.h"

#include "Protocol.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace velqor {

namespace {

constexpr std::uint32_t kTickMs = 1000;
constexpr std::uint32_t kSetAddressWaitMs = 1000;

boost::posix_time::microseconds Milliseconds(std::uint32_t ms)
{
    return boost::posix_time::microseconds(static_cast<std::int64_t>(ms) * 1000);
}

} // namespace

OrvaneManagerPrivate::OrvaneManagerPrivate() : OrvaneManagerPrivate(kBroadcastAddress, kDevicePort) { }

OrvaneManagerPrivate::OrvaneManagerPrivate(std::string address, unsigned short port)
    : OrvaneBase(std::move(address), port, 0),
      deadlineTimer(std::make_shared<boost::asio::deadline_timer>(*ioService)),
      tickTimer(std::make_shared<boost::asio::deadline_timer>(*ioService))
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
    Begin();
    DeviceListener *const previousListener = listener;
    if (newListener != nullptr)
        listener = newListener;
    try {
        Send(QueryCommand());
        continuous = timeoutMs == 0;
        if (!continuous)
            ArmDeadline(timeoutMs);
        ArmTick();
    } catch (...) {
        // The run never started: leave the manager as it was.
        listener = previousListener;
        Finish(result);
        throw;
    }
    return wait ? WaitResult(lock) : ResultOk;
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

DeviceMap OrvaneManagerPrivate::GetDevices()
{
    Lock lock(mutex);
    return registry;
}

void OrvaneManagerPrivate::Clear()
{
    Lock lock(mutex);
    registry.clear();
}

int OrvaneManagerPrivate::SetAddress(std::string serial, std::string address)
{
    Lock lock(mutex);
    if (busy)
        return ResultBusy;
    const std::optional<Ipv4Bytes> bytes = ParseDottedAddress(address);
    if (!bytes)
        return ResultInvalidArgument;

    Send(SetAddressCommand(serial, *bytes));
    Begin();
    try {
        ArmDeadline(kSetAddressWaitMs);
    } catch (...) {
        Finish(result);
        throw;
    }
    const int outcome = WaitResult(lock);
    if (outcome == ResultOk)
        registry[serial] = address;
    return outcome;
}

void OrvaneManagerPrivate::HandleMessage(Message message)
{
    Lock lock(mutex);
    if (IsQueryReply(message)) {
        registry[message.payload] = message.sender;
        return;
    }
    // Any set-address answer ends the operation in progress, a search run included.
    const std::optional<int> code = SetAddressReplyResult(message);
    if (code && busy)
        Finish(*code);
}

void OrvaneManagerPrivate::Begin()
{
    busy = true;
    ++operation;
}

void OrvaneManagerPrivate::Finish(int code)
{
    result = code;
    busy = false;
    continuous = false;
    deadlineTimer->cancel();
    tickTimer->cancel();
    condition.notify_all();
}

void OrvaneManagerPrivate::ArmDeadline(std::uint32_t timeoutMs)
{
    deadlineTimer->expires_from_now(Milliseconds(timeoutMs));
    deadlineTimer->async_wait(
        [this, run = operation](const boost::system::error_code &error) { OnDeadline(error, run); });
}

void OrvaneManagerPrivate::ArmTick()
{
    tickTimer->expires_from_now(Milliseconds(kTickMs));
    tickTimer->async_wait([this, run = operation](const boost::system::error_code &error) { OnTick(error, run); });
}

void OrvaneManagerPrivate::OnTick(const boost::system::error_code &error, std::uint64_t run)
{
    Lock lock(mutex);
    if (error || !busy || run != operation)
        return;
    Send(QueryCommand());
    ArmTick();
    if (!continuous || listener == nullptr)
        return;
    DeviceListener *const served = listener;
    DeviceMap devices = registry;
    // Served without the lock, so a listener may call back into the manager.
    lock.unlock();
    served->DevicesFound(std::move(devices));
}

void OrvaneManagerPrivate::OnDeadline(const boost::system::error_code &error, std::uint64_t run)
{
    Lock lock(mutex);
    if (error || !busy || run != operation)
        return;
    if (DeviceListener *const served = listener) {
        listener = nullptr;
        DeviceMap devices = registry;
        // Served before the run ends, so the waiting caller cannot return and
        // drop its listener first; without the lock, so that it may read the
        // registry. While busy stays set nothing else can end the run.
        lock.unlock();
        served->DevicesFound(std::move(devices));
        lock.lock();
    }
    Finish(ResultTimeout);
}

} // namespace velqor
