#include "ChangeTransaction.h"

#include "ChangeLink.h"
#include "Journal.h"
#include "LinkLock.h"
#include "OrvaneLogger.h"
#include "PendingChange.h"

#include <algorithm>

namespace velqor {

namespace {

bool Holds(const std::vector<Ipv4Bytes> &addresses, const Ipv4Bytes &address)
{
    return std::find(addresses.begin(), addresses.end(), address) != addresses.end();
}

} // namespace

ChangeTransaction::ChangeTransaction(ChangeLink &link) : link(link) { }

ChangeTransaction::ChangeTransaction(ChangeLink &link, Safeguards safeguards)
    : link(link), safeguards(std::move(safeguards))
{
}

std::string ChangeTransaction::HolderOf(std::size_t row, const Ipv4Bytes &address) const
{
    const Place place {rows[row].device.link, address};
    const auto devices = heard.find(place);
    if (devices != heard.end()) {
        for (const DeviceId &device : devices->second) {
            if (device != rows[row].device)
                return device.serial.Column();
        }
    }
    const auto rowsThere = maybeAt.find(place);
    if (rowsThere != maybeAt.end()) {
        for (const std::size_t other : rowsThere->second) {
            if (other != row)
                return rows[other].device.serial.Column();
        }
    }
    return {};
}

void ChangeTransaction::Found(std::size_t row, std::optional<Ipv4Bytes> address)
{
    const std::string &name = rows[row].device.link;
    if (at[row])
        heard[{name, *at[row]}].erase(rows[row].device);
    at[row] = address;
    if (address)
        heard[{name, *address}].insert(rows[row].device);
    for (const Ipv4Bytes &possible : maybe[row])
        maybeAt[{name, possible}].erase(row);
    maybe[row].clear();
}

void ChangeTransaction::MayBeAt(std::size_t row, const Ipv4Bytes &address)
{
    maybe[row].insert(address);
    maybeAt[{rows[row].device.link, address}].insert(row);
}

bool ChangeTransaction::MoveBack(std::size_t row, const Ipv4Bytes &address)
{
    const ChangeOutcome sent = link.Send(rows[row].device, address);
    if (!sent.Checkable())
        return false;
    MayBeAt(row, address);
    const ChangeOutcome back = link.Verify({{rows[row].device, *at[row], address, sent}}).front();
    if (back.kind == ChangeOutcome::Kind::Moved)
        Found(row, address);
    return back.kind == ChangeOutcome::Kind::Moved;
}

std::vector<RowResult> ChangeTransaction::Run(const std::vector<Row> &planned, const std::vector<Step> &steps,
                                              const std::map<std::string, std::vector<Ipv4Bytes>> &spares,
                                              const Control &control)
{
    rows = planned;
    at.assign(rows.size(), std::nullopt);
    maybe.assign(rows.size(), {});
    heard.clear();
    maybeAt.clear();
    std::vector<RowResult> results(rows.size());
    std::vector<bool> final(rows.size(), false);
    const auto settle = [&](std::size_t row, RowResult result) {
        results[row] = std::move(result);
        final[row] = true;
        if (control.rowDone)
            control.rowDone(row, results[row]);
    };
    for (std::size_t row = 0; row < rows.size(); ++row) {
        at[row] = rows[row].from;
        if (rows[row].settled) {
            RowResult result = *rows[row].settled;
            result.endedAt = rows[row].from;
            settle(row, result);
        }
    }
    if (steps.empty())
        return results;

    // No other program changes addresses on these interfaces meanwhile.
    std::set<std::string> links;
    for (const Step &step : steps)
        links.insert(rows[step.row].device.link);
    std::optional<LinkLock> lock;
    if (!safeguards.lockFolder.empty()) {
        std::string busy;
        lock = LinkLock::TryAcquire(safeguards.lockFolder, {links.begin(), links.end()}, safeguards.holder, &busy);
        if (!lock) {
            for (std::size_t row = 0; row < rows.size(); ++row) {
                if (!final[row]) {
                    RowResult result;
                    result.kind = RowResult::Kind::NotSent;
                    result.outcome = ChangeOutcome::NotSent(NotSentReason::LinkInUse, busy);
                    result.endedAt = rows[row].from;
                    settle(row, result);
                }
            }
            return results;
        }
    }

    // Who answers where, as the search heard it: the rows' own devices by
    // where they are found as they move.
    std::map<DeviceId, std::size_t> rowOf;
    for (std::size_t row = 0; row < rows.size(); ++row)
        rowOf.emplace(rows[row].device, row);
    for (const DeviceDetails &device : link.Devices()) {
        if (rowOf.count(device.Id()) == 0)
            heard[{device.via.name, device.address}].insert(device.Id());
        for (const Ipv4Bytes &other : device.alsoAt)
            heard[{device.via.name, other}].insert(device.Id());
    }
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (at[row])
            heard[{rows[row].device.link, *at[row]}].insert(rows[row].device);
    }

    std::vector<bool> failed(steps.size(), false);
    std::vector<bool> done(steps.size(), false);
    std::vector<bool> touched(rows.size(), false);
    std::vector<ChangeOutcome> verifiedAs(steps.size());
    std::vector<Ipv4Bytes> sentTo(steps.size());
    std::set<std::size_t> failedCycles;
    std::map<std::string, std::size_t> sparesUsed;
    // Which steps moved each device, in the order they did: a failed cycle
    // moves its devices back the other way round.
    std::vector<std::size_t> movedInCycle;
    bool cancelled = false;
    bool interrupted = false;
    // The row whose step failed first, in each cycle that failed.
    std::map<std::size_t, std::size_t> failedRowOf;
    // byRow: the step failed of itself, not because the run was stopped.
    const auto fail = [&](std::size_t s, bool byRow = true) {
        failed[s] = true;
        if (steps[s].cycle) {
            failedCycles.insert(*steps[s].cycle);
            if (byRow)
                failedRowOf.emplace(*steps[s].cycle, steps[s].row);
        }
    };
    for (std::size_t first = 0; first < steps.size();) {
        std::size_t end = first;
        while (end < steps.size() && steps[end].layer == steps[first].layer)
            ++end;
        std::vector<PendingChange> pending;
        std::vector<std::size_t> pendingSteps;
        for (std::size_t s = first; s < end; ++s) {
            const Step &step = steps[s];
            const std::size_t row = step.row;
            interrupted = interrupted || (control.interrupted && control.interrupted());
            cancelled = cancelled || interrupted || (control.cancelled && control.cancelled());
            const bool waits = step.after && !done[*step.after];
            if (cancelled || waits || (step.cycle && failedCycles.count(*step.cycle) != 0)) {
                fail(s, !cancelled);
                if (!final[row] && at[row] == rows[row].from) {
                    RowResult result;
                    result.waitedFor =
                        waits && !cancelled ? std::optional<std::size_t>(steps[*step.after].row) : std::nullopt;
                    result.interrupted = interrupted;
                    settle(row, result);
                }
                continue;
            }
            // Free as last heard, or not taken: a temporary address is asked
            // of the link once more, since it was chosen before the run.
            Ipv4Bytes to = step.to;
            std::string holder = HolderOf(row, to);
            if (step.temporary) {
                const std::string &name = rows[row].device.link;
                const auto more = spares.find(name);
                std::size_t &next = sparesUsed[name];
                while (!(holder = HolderOf(row, to)).empty() || !(holder = link.HostAt(name, to)).empty()) {
                    if (more == spares.end() || next >= more->second.size())
                        break;
                    to = more->second[next++];
                }
            }
            if (!holder.empty()) {
                fail(s);
                RowResult result;
                result.kind = RowResult::Kind::NotSent;
                result.outcome = ChangeOutcome::NotSent(step.temporary ? NotSentReason::NoFreeAddress
                                                                       : NotSentReason::HeldByAnotherDevice);
                result.heldBy = holder;
                result.tried = to;
                result.endedAt = at[row];
                if (!final[row] || at[row] == rows[row].from)
                    settle(row, result);
                continue;
            }
            // Where a parked device goes is written down before it leaves.
            if (step.temporary && safeguards.journal &&
                !safeguards.journal->Add({rows[row].device, *rows[row].from, to, rows[row].to})) {
                fail(s);
                RowResult result;
                result.kind = RowResult::Kind::NotSent;
                result.outcome = ChangeOutcome::NotSent(NotSentReason::JournalUnwritable);
                result.endedAt = at[row];
                settle(row, result);
                continue;
            }
            BOOST_LOG_SEV(my_logger::get(), boost::log::trivial::info)
                << "ChangeTransaction: " << rows[row].device.Text() << " from " << FormatAddress(*at[row]) << " to "
                << FormatAddress(to) << (step.temporary ? ", a temporary address" : "");
            const ChangeOutcome sent = link.Send(rows[row].device, to);
            if (!sent.Checkable()) {
                fail(s);
                if (step.temporary && safeguards.journal)
                    safeguards.journal->Remove(rows[row].device); // it has not left
                RowResult result;
                result.kind =
                    sent.kind == ChangeOutcome::Kind::NotSent ? RowResult::Kind::NotSent : RowResult::Kind::Failed;
                result.outcome = sent;
                result.tried = to;
                result.endedAt = at[row];
                settle(row, result);
                continue;
            }
            touched[row] = true;
            sentTo[s] = to;
            MayBeAt(row, to);
            pending.push_back({rows[row].device, *at[row], to, sent});
            pendingSteps.push_back(s);
        }
        const std::vector<ChangeOutcome> verified =
            pending.empty() ? std::vector<ChangeOutcome> {} : link.Verify(pending);
        for (std::size_t i = 0; i < pendingSteps.size() && i < verified.size(); ++i) {
            const std::size_t s = pendingSteps[i];
            const std::size_t row = steps[s].row;
            if (verified[i].kind == ChangeOutcome::Kind::Moved) {
                done[s] = true;
                verifiedAs[s] = verified[i];
                Found(row, sentTo[s]);
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
            fail(s);
            RowResult result;
            result.kind = RowResult::Kind::Failed;
            result.outcome = verified[i];
            result.tried = sentTo[s];
            // Found elsewhere: there. Acknowledged and found nowhere, or no
            // answer at all: it may yet be at the new address.
            const bool maybeMoved = verified[i].acknowledged || !verified[i].foundAt;
            const std::optional<Ipv4Bytes> seen = verified[i].foundAt;
            if (seen)
                Found(row, seen);
            if (maybeMoved && seen != sentTo[s])
                MayBeAt(row, sentTo[s]);
            settle(row, result);
        }
        first = end;
    }

    std::vector<DeviceId> touchedDevices;
    std::vector<std::size_t> touchedRows;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (touched[row]) {
            touchedDevices.push_back(rows[row].device);
            touchedRows.push_back(row);
        }
    }
    const auto locate = [&](std::chrono::milliseconds atLeast) {
        const std::vector<std::vector<Ipv4Bytes>> found = link.Locate(touchedDevices, atLeast);
        std::vector<bool> heardNow(rows.size(), false);
        for (std::size_t i = 0; i < touchedRows.size() && i < found.size(); ++i) {
            const std::size_t row = touchedRows[i];
            if (found[i].empty())
                continue;
            heardNow[row] = true;
            // Of several addresses (a clone with its serial answers too),
            // where it was found last says most, then the planned ones.
            Ipv4Bytes where = found[i].front();
            if (at[row] && Holds(found[i], *at[row]))
                where = *at[row];
            else if (Holds(found[i], rows[row].to))
                where = rows[row].to;
            else if (rows[row].from && Holds(found[i], *rows[row].from))
                where = *rows[row].from;
            Found(row, where);
        }
        return heardNow;
    };

    // A cycle that failed: what moved goes back, the last first, since each
    // took the address of the one before; each only onto an address that no
    // device may hold now, else it stays where it is and is named there.
    std::vector<std::string> heldBy(rows.size());
    std::vector<bool> movedBack(rows.size(), false);
    if (!failedCycles.empty()) {
        locate(std::chrono::milliseconds(0));
        std::reverse(movedInCycle.begin(), movedInCycle.end());
        for (const std::size_t s : movedInCycle) {
            const std::size_t row = steps[s].row;
            const Ipv4Bytes home = *rows[row].from;
            if (failedCycles.count(*steps[s].cycle) == 0 || at[row] == home)
                continue;
            std::string holder = HolderOf(row, home);
            if (holder.empty())
                holder = link.HostAt(rows[row].device.link, home);
            if (!holder.empty()) {
                heldBy[row] = holder;
                continue;
            }
            movedBack[row] = MoveBack(row, home);
        }
    }

    // The last word: where every device the run touched is now.
    // A program asked to end does not wait for late copies of its commands.
    const std::vector<bool> located = locate(interrupted ? std::chrono::milliseconds(0) : kFinalSearchAtLeast);
    for (const std::size_t row : touchedRows) {
        RowResult result = final[row] ? results[row] : RowResult {};
        if (!final[row]) {
            // A cycle's row: moved, unless the cycle failed.
            for (std::size_t s = 0; s < steps.size(); ++s) {
                if (steps[s].row == row && !steps[s].temporary && done[s] &&
                    failedCycles.count(steps[s].cycle.value_or(steps.size())) == 0) {
                    result.kind = RowResult::Kind::Moved;
                    result.outcome = verifiedAs[s];
                }
            }
        }
        result.searched = true;
        result.located = located[row];
        result.endedAt = at[row];
        result.interrupted = result.interrupted || (interrupted && result.kind == RowResult::Kind::NotRun);
        const Ipv4Bytes home = *rows[row].from;
        if (!located[row]) {
            // Not heard: what was verified last stands, and a device whose
            // cycle did not finish is named where it was last found.
            if (!final[row] || (at[row] != home && at[row] != rows[row].to)) {
                result.kind = RowResult::Kind::Stranded;
                result.heldBy = heldBy[row];
            }
        } else if (at[row] == rows[row].to) {
            if (result.kind != RowResult::Kind::Moved) {
                // It got there after all (a partner back from a restart).
                result.kind = RowResult::Kind::Moved;
                result.outcome = ChangeOutcome::Moved();
                result.outcome.acknowledged = true;
            }
        } else if (at[row] == home) {
            if (movedBack[row]) {
                result.movedBack = true;
                // Its own change failed: that is what it came to. Else it
                // went back for the row that failed.
                if (result.kind != RowResult::Kind::Failed) {
                    result.kind = RowResult::Kind::NotRun;
                    for (const Step &step : steps) {
                        const auto other = step.cycle ? failedRowOf.find(*step.cycle) : failedRowOf.end();
                        if (step.row == row && other != failedRowOf.end() && other->second != row)
                            result.waitedFor = other->second;
                    }
                }
            } else if (result.kind == RowResult::Kind::Moved) {
                // Moved and verified, then found back: a late copy of an
                // earlier command, say.
                result.kind = RowResult::Kind::Failed;
                result.outcome.kind = ChangeOutcome::Kind::AcknowledgedNotMoved;
            }
        } else if (at[row]) {
            result.kind = RowResult::Kind::Stranded;
            result.heldBy = heldBy[row].empty() ? HolderOf(row, home) : heldBy[row];
            for (std::size_t s = 0; s < steps.size(); ++s) {
                if (steps[s].row == row && steps[s].temporary && sentTo[s] == *at[row])
                    result.parked = true;
            }
        }
        // Found where it belongs: nothing left to take on.
        if (safeguards.journal && result.located && (at[row] == home || at[row] == rows[row].to))
            safeguards.journal->Remove(rows[row].device);
        settle(row, result);
    }
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (!final[row])
            settle(row, RowResult {});
    }
    return results;
}

} // namespace velqor
