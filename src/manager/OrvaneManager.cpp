#include "OrvaneManager.h"

#include "OrvaneManagerPrivate.h"

#include <algorithm>
#include <thread>

namespace velqor {

OrvaneManager::OrvaneManager() : d(std::make_unique<OrvaneManagerPrivate>()) { }

OrvaneManager::OrvaneManager(std::string address, unsigned short port)
    : d(std::make_unique<OrvaneManagerPrivate>(std::move(address), port))
{
}

OrvaneManager::~OrvaneManager() = default;

int OrvaneManager::Search(std::uint32_t timeoutMs, bool wait, DeviceListener *listener)
{
    return d->Search(timeoutMs, wait, listener);
}

bool OrvaneManager::WaitIdle(std::chrono::steady_clock::time_point until)
{
    return d->WaitIdle(until);
}

std::vector<DeviceDetails> OrvaneManager::TakeChangedDevices(std::chrono::milliseconds settled)
{
    return d->TakeChangedDevices(settled);
}

std::vector<DeviceDetails> OrvaneManager::TakeGoneDevices()
{
    return d->TakeGoneDevices();
}

void OrvaneManager::WaitQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds atMost)
{
    // Once, as a program ends: a bounded sleep, not a watch on every datagram.
    constexpr auto kLook = std::chrono::milliseconds(50);
    const auto called = std::chrono::steady_clock::now();
    const auto until = called + atMost;
    for (auto now = called; now < until && now - std::max(called, d->LastReceived()) < quiet;
         now = std::chrono::steady_clock::now())
        std::this_thread::sleep_for(kLook);
}

void OrvaneManager::StopSearch()
{
    d->StopSearch();
}

void OrvaneManager::Clear()
{
    d->Clear();
}

std::size_t OrvaneManager::ForgetUnheard()
{
    return d->ForgetUnheard();
}

int OrvaneManager::SetAddress(std::string serial, std::string address)
{
    return d->SetAddress(std::move(serial), std::move(address));
}

ChangeOutcome OrvaneManager::ChangeAddress(const DeviceId &id, const Ipv4Bytes &address, bool force, bool verify)
{
    return d->ChangeAddress(id, address, force, verify);
}

ChangeOutcome OrvaneManager::SendChange(const DeviceId &id, const Ipv4Bytes &address, bool force)
{
    return d->SendChange(id, address, force);
}

std::vector<ChangeOutcome> OrvaneManager::VerifyChanges(const std::vector<PendingChange> &changes)
{
    return d->VerifyChanges(changes);
}

std::vector<std::vector<Ipv4Bytes>> OrvaneManager::Locate(const std::vector<DeviceId> &devices,
                                                          std::chrono::milliseconds atLeast)
{
    return d->Locate(devices, atLeast);
}

std::optional<DeviceDetails> OrvaneManager::FindDevice(const DeviceId &id)
{
    return d->FindDevice(id);
}

std::set<Ipv4Bytes> OrvaneManager::AddressesBesides(const DeviceId &id)
{
    return d->AddressesBesides(id);
}

AddressFacts OrvaneManager::GetAddressFacts()
{
    return d->GetAddressFacts();
}

std::map<Ipv4Bytes, std::string> OrvaneManager::FindHosts(const std::string &link,
                                                          const std::vector<Ipv4Bytes> &addresses,
                                                          const std::vector<Ipv4Bytes> &devicesToAsk,
                                                          std::chrono::milliseconds patience)
{
    return d->FindHosts(link, addresses, devicesToAsk, patience);
}

DeviceMap OrvaneManager::GetDevices()
{
    return d->GetDevices();
}

std::vector<DeviceDetails> OrvaneManager::GetDeviceDetails()
{
    return d->GetDeviceDetails();
}

std::vector<Diagnostic> OrvaneManager::GetWorkstationDiagnostics()
{
    return d->GetWorkstationDiagnostics();
}

std::vector<NetworkInterface> OrvaneManager::GetInterfaces()
{
    return d->Interfaces();
}

std::uint64_t OrvaneManager::GetLostCount()
{
    return d->GetLostCount();
}

std::size_t OrvaneManager::GetDroppedCount()
{
    return d->GetDroppedCount();
}

} // namespace velqor
