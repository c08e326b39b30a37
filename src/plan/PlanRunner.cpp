#include "PlanRunner.h"

#include "AddressPlan.h"
#include "ChangeLink.h"
#include "OrvaneManager.h"
#include "PendingChange.h"

#include <algorithm>
#include <map>
#include <set>

namespace velqor {

namespace {

// Spare free addresses asked about for each cycle: one may turn out taken.
constexpr std::size_t kSpareTemporaries = 2;
constexpr std::chrono::milliseconds kAskedAgainWithin {1300};

// The device manager as a transaction's link.
class ManagerLink : public ChangeLink {
public:
    explicit ManagerLink(OrvaneManager &manager) : manager(manager) { }

    std::vector<DeviceDetails> Devices() override { return manager.GetDeviceDetails(); }
    ChangeOutcome Send(const DeviceId &device, const Ipv4Bytes &to) override
    {
        return manager.SendChange(device, to, true);
    }
    std::vector<ChangeOutcome> Verify(const std::vector<PendingChange> &changes) override
    {
        return manager.VerifyChanges(changes);
    }
    std::vector<std::vector<Ipv4Bytes>> Locate(const std::vector<DeviceId> &devices,
                                               std::chrono::milliseconds atLeast) override
    {
        return manager.Locate(devices, atLeast);
    }
    std::string HostAt(const std::string &link, const Ipv4Bytes &address) override
    {
        // Asked while the plan was checked, it may still be in resolution:
        // the system's next try, a second on, is waited for.
        const std::map<Ipv4Bytes, std::string> hosts = manager.FindHosts(link, {address}, {}, kAskedAgainWithin);
        return hosts.empty() ? std::string() : hosts.begin()->second;
    }

private:
    OrvaneManager &manager;
};

} // namespace

PlanRunner::PlanRunner(OrvaneManager &manager, ChangeTransaction::Safeguards safeguards)
    : manager(manager), safeguards(std::move(safeguards))
{
}

std::vector<MovePlan::Row> PlanRunner::MoveRows(const DeviceId &device, const Ipv4Bytes &to, bool swap)
{
    const std::optional<DeviceDetails> found = manager.FindDevice(device);
    std::vector<MovePlan::Row> rows {{device, to, found, std::nullopt, {}, false}};
    if (!found || !swap)
        return rows;
    for (const DeviceDetails &other : manager.GetDeviceDetails()) {
        if (other.via.name == device.link && other.Id() != device && other.address == to) {
            rows.push_back({other.Id(), found->address, other, std::nullopt, {}, false});
            break;
        }
    }
    return rows;
}

std::map<std::string, std::vector<Ipv4Bytes>>
TemporaryCandidates(const MovePlan &plan, const std::vector<DeviceDetails> &devices, const AddressFacts &facts)
{
    std::map<std::string, std::set<Ipv4Bytes>> used;
    std::map<std::string, std::vector<Ipv4Bytes>> moving;
    for (const DeviceDetails &device : devices) {
        used[device.via.name].insert(device.address);
        used[device.via.name].insert(device.alsoAt.begin(), device.alsoAt.end());
    }
    for (const MovePlan::Row &row : plan.Rows()) {
        used[row.device.link].insert(row.to);
        if (!row.blocked && !row.alreadyThere)
            moving[row.device.link].push_back(row.found->address);
    }
    // A cycle passes through a free address near its devices (after the
    // first one's), else from the bottom of the subnet.
    std::map<std::string, std::vector<Ipv4Bytes>> candidates;
    for (const auto &[link, needed] : plan.TemporariesNeeded()) {
        std::set<Ipv4Bytes> taken = used[link];
        const auto gateways = facts.gateways.find(link);
        if (gateways != facts.gateways.end())
            taken.insert(gateways->second.begin(), gateways->second.end());
        const std::size_t wanted = needed + kSpareTemporaries;
        std::vector<Ipv4Bytes> &found = candidates[link];
        for (const NetworkInterface &subnet : facts.SubnetsOf(link)) {
            std::vector<Ipv4Bytes> starts;
            if (!moving[link].empty() && subnet.Contains(moving[link].front()))
                starts.push_back(moving[link].front());
            if (const std::optional<Ipv4Bytes> bottom = FirstFreeAddress(subnet, taken, facts.own))
                starts.push_back(*bottom);
            for (const Ipv4Bytes &start : starts) {
                for (const Ipv4Bytes &address : PlanAddresses(start, wanted, subnet, taken, facts.own)) {
                    if (found.size() < wanted && std::find(found.begin(), found.end(), address) == found.end())
                        found.push_back(address);
                }
            }
        }
    }
    return candidates;
}

MovePlan PreviewPlan(const std::vector<MovePlan::Row> &rows, const std::vector<DeviceDetails> &devices,
                     const AddressFacts &facts, bool force)
{
    MovePlan plan(rows, devices, facts, {}, force);
    plan.Order(TemporaryCandidates(plan, devices, facts));
    return plan;
}

MovePlan PlanRunner::Prepare(std::vector<MovePlan::Row> rows, bool force)
{
    const std::vector<DeviceDetails> devices = manager.GetDeviceDetails();
    for (MovePlan::Row &row : rows) {
        if (row.found || row.blocked)
            continue;
        const auto found = std::find_if(devices.begin(), devices.end(),
                                        [&](const DeviceDetails &device) { return device.Id() == row.device; });
        if (found != devices.end())
            row.found = *found;
    }
    const AddressFacts facts = manager.GetAddressFacts();
    const MovePlan first(rows, devices, facts, {}, force);

    // What to ask each link: the new addresses, and free ones to pass cycles through.
    // A device's own address is asked only where another row moves there:
    // one entry each in the system's neighbour table, which holds about a
    // thousand by default and, full, drops the changes sent next.
    std::map<std::string, std::vector<Ipv4Bytes>> asked;
    for (const MovePlan::Row &row : first.Rows()) {
        if (!row.blocked && !row.alreadyThere)
            asked[row.device.link].push_back(row.to);
    }
    const std::map<std::string, std::vector<Ipv4Bytes>> candidates = TemporaryCandidates(first, devices, facts);
    for (const auto &[link, found] : candidates)
        asked[link].insert(asked[link].end(), found.begin(), found.end());
    HostMap hosts;
    for (const auto &[link, addresses] : asked) {
        for (const auto &[address, hardware] : manager.FindHosts(link, addresses))
            hosts[{link, address}] = hardware;
    }

    MovePlan plan(rows, devices, facts, hosts, force);
    std::map<std::string, std::vector<Ipv4Bytes>> temporaries;
    for (const auto &[link, addresses] : candidates) {
        for (const Ipv4Bytes &address : addresses) {
            if (hosts.count({link, address}) == 0)
                temporaries[link].push_back(address);
        }
    }
    plan.Order(temporaries);
    return plan;
}

std::vector<ChangeTransaction::Row> TransactionRows(const MovePlan &plan)
{
    std::vector<ChangeTransaction::Row> rows;
    rows.reserve(plan.Rows().size());
    for (const MovePlan::Row &row : plan.Rows()) {
        ChangeTransaction::Row planned;
        planned.device = row.device;
        planned.to = row.to;
        if (row.found)
            planned.from = row.found->address;
        if (row.blocked) {
            RowResult result;
            result.kind = RowResult::Kind::NotSent;
            result.outcome = ChangeOutcome::NotSent(*row.blocked, row.host);
            planned.settled = result;
        } else if (row.alreadyThere) {
            RowResult result;
            result.kind = RowResult::Kind::AlreadyThere;
            planned.settled = result;
        }
        rows.push_back(std::move(planned));
    }
    return rows;
}

std::vector<RowResult> PlanRunner::Run(const MovePlan &plan, const Control &control)
{
    ManagerLink link(manager);
    ChangeTransaction transaction(link, safeguards);
    return transaction.Run(TransactionRows(plan), plan.Steps(), plan.Spares(), control);
}

} // namespace velqor
