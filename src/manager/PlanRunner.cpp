#include "PlanRunner.h"

#include "AddressPlan.h"
#include "OrvaneManager.h"
#include "PendingChange.h"

#include <algorithm>
#include <map>
#include <set>

namespace velqor {

namespace {

// Spare free addresses asked about for each cycle: one may turn out taken.
constexpr std::size_t kSpareTemporaries = 2;

} // namespace

PlanRunner::PlanRunner(OrvaneManager &manager) : manager(manager) { }

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

std::vector<RowResult> PlanRunner::Run(const MovePlan &plan, const Control &control)
{
    const std::vector<MovePlan::Row> &rows = plan.Rows();
    const std::vector<MovePlan::Step> &steps = plan.Steps();
    std::vector<RowResult> results(rows.size());
    std::vector<std::optional<Ipv4Bytes>> at(rows.size());
    std::vector<bool> final(rows.size(), false);
    const auto settle = [&](std::size_t row, RowResult result) {
        result.endedAt = result.endedAt ? result.endedAt : at[row];
        results[row] = result;
        final[row] = true;
        if (control.rowDone)
            control.rowDone(row, results[row]);
    };
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (rows[row].found)
            at[row] = rows[row].found->address;
        if (rows[row].blocked) {
            RowResult result;
            result.kind = RowResult::Kind::NotSent;
            result.outcome = ChangeOutcome::NotSent(*rows[row].blocked, rows[row].host);
            settle(row, result);
        } else if (rows[row].alreadyThere) {
            RowResult result;
            result.kind = RowResult::Kind::AlreadyThere;
            settle(row, result);
        }
    }

    std::vector<bool> failed(steps.size(), false);
    std::vector<bool> done(steps.size(), false);
    std::vector<ChangeOutcome> verifiedAs(steps.size());
    std::set<std::size_t> failedCycles;
    // Which steps moved each device, in the order they did: a failed cycle
    // moves its devices back the other way round.
    std::vector<std::size_t> movedInCycle;
    bool cancelled = false;
    for (std::size_t first = 0; first < steps.size();) {
        std::size_t end = first;
        while (end < steps.size() && steps[end].layer == steps[first].layer)
            ++end;
        std::vector<PendingChange> pending;
        std::vector<std::size_t> pendingSteps;
        for (std::size_t s = first; s < end; ++s) {
            const MovePlan::Step &step = steps[s];
            const std::size_t row = step.row;
            cancelled = cancelled || (control.cancelled && control.cancelled());
            const bool waits = step.after && !done[*step.after];
            if (cancelled || waits || (step.cycle && failedCycles.count(*step.cycle) != 0)) {
                failed[s] = true;
                if (step.cycle)
                    failedCycles.insert(*step.cycle);
                if (!final[row] && !(step.cycle && at[row] != rows[row].found->address)) {
                    RowResult result;
                    result.waitedFor =
                        waits && !cancelled ? std::optional<std::size_t>(steps[*step.after].row) : std::nullopt;
                    settle(row, result);
                }
                continue;
            }
            // Checked with the whole plan: sent as planned.
            const ChangeOutcome sent = manager.SendChange(rows[row].device, step.to, true);
            if (!sent.Checkable()) {
                failed[s] = true;
                if (step.cycle)
                    failedCycles.insert(*step.cycle);
                RowResult result;
                result.kind =
                    sent.kind == ChangeOutcome::Kind::NotSent ? RowResult::Kind::NotSent : RowResult::Kind::Failed;
                result.outcome = sent;
                settle(row, result);
                continue;
            }
            pending.push_back({rows[row].device, *at[row], step.to, sent});
            pendingSteps.push_back(s);
        }
        std::vector<ChangeOutcome> verified;
        if (control.abandoned && control.abandoned()) {
            for (const PendingChange &change : pending)
                verified.push_back(change.sent);
        } else {
            verified = manager.VerifyChanges(pending);
        }
        for (std::size_t i = 0; i < pendingSteps.size(); ++i) {
            const std::size_t s = pendingSteps[i];
            const std::size_t row = steps[s].row;
            if (verified[i].kind == ChangeOutcome::Kind::Moved) {
                done[s] = true;
                verifiedAs[s] = verified[i];
                at[row] = steps[s].to;
                if (steps[s].cycle)
                    movedInCycle.push_back(s);
                if (!steps[s].temporary && !steps[s].cycle) {
                    RowResult result;
                    result.kind = RowResult::Kind::Moved;
                    result.outcome = verified[i];
                    settle(row, result);
                }
                continue;
            }
            failed[s] = true;
            if (steps[s].cycle)
                failedCycles.insert(*steps[s].cycle);
            RowResult result;
            result.kind = RowResult::Kind::Failed;
            result.outcome = verified[i];
            if (verified[i].foundAt)
                at[row] = verified[i].foundAt;
            settle(row, result);
        }
        first = end;
    }

    // A cycle whose every step moved is done; one that failed moves back
    // what moved, the last first, since each took the address of the one before.
    std::reverse(movedInCycle.begin(), movedInCycle.end());
    for (const std::size_t s : movedInCycle) {
        const std::size_t row = steps[s].row;
        const std::size_t cycle = *steps[s].cycle;
        if (failedCycles.count(cycle) == 0) {
            if (!steps[s].temporary) {
                RowResult result;
                result.kind = RowResult::Kind::Moved;
                result.outcome = verifiedAs[s];
                settle(row, result);
            }
            continue;
        }
        if (at[row] == rows[row].found->address)
            continue; // back already
        const Ipv4Bytes home = rows[row].found->address;
        const ChangeOutcome back = manager.ChangeAddress(rows[row].device, home, true);
        RowResult result;
        std::size_t failedRow = row;
        for (std::size_t other = 0; other < steps.size(); ++other) {
            if (steps[other].cycle == cycle && failed[other] &&
                results[steps[other].row].kind == RowResult::Kind::Failed)
                failedRow = steps[other].row;
        }
        if (back.kind == ChangeOutcome::Kind::Moved) {
            at[row] = home;
            result.waitedFor = failedRow;
            result.movedBack = true;
        } else {
            result.kind = RowResult::Kind::Failed;
            result.outcome = back;
        }
        settle(row, result);
    }
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (!final[row])
            settle(row, RowResult {});
    }
    return results;
}

} // namespace velqor
