#include "MovePlan.h"

#include <algorithm>
#include <functional>
#include <set>

namespace velqor {

MovePlan::MovePlan(std::vector<Row> planned, const std::vector<DeviceDetails> &devices, const AddressFacts &facts,
                   const HostMap &hosts, bool force)
    : rows(std::move(planned))
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].found)
            holders.emplace(std::make_pair(rows[i].device.link, rows[i].found->address), i);
    }
    for (Row &row : rows) {
        if (row.blocked)
            continue;
        if (!row.found)
            row.blocked = NotSentReason::NotFound;
        else if (!row.found->alsoAt.empty())
            row.blocked = NotSentReason::SeveralAddresses; // the command would move every one of them
        else if (row.found->address == row.to)
            row.alreadyThere = true;
    }
    // The addresses that stay taken: those of the devices that do not move.
    std::set<DeviceId> moving;
    std::map<std::pair<std::string, Ipv4Bytes>, int> targets;
    for (const Row &row : rows) {
        if (!row.blocked && !row.alreadyThere) {
            moving.insert(row.device);
            ++targets[{row.device.link, row.to}];
        }
    }
    std::map<std::string, std::set<Ipv4Bytes>> staying;
    for (const DeviceDetails &device : devices) {
        if (moving.count(device.Id()) != 0)
            continue;
        staying[device.via.name].insert(device.address);
        staying[device.via.name].insert(device.alsoAt.begin(), device.alsoAt.end());
    }
    for (Row &row : rows) {
        if (row.blocked || row.alreadyThere)
            continue;
        const std::string &link = row.device.link;
        if (targets[{link, row.to}] > 1) {
            row.blocked = NotSentReason::TakenByAnotherRow;
            continue;
        }
        const std::optional<NotSentReason> reason = CheckNewAddress(row.to, row.found->via, facts, staying[link]);
        // A device that stays where it is keeps its address, forced or not.
        if (reason && (*reason == NotSentReason::HeldByAnotherDevice || !force || !Overridable(*reason))) {
            row.blocked = reason;
            continue;
        }
        const auto host = hosts.find({link, row.to});
        if (host != hosts.end() && !force) {
            row.blocked = NotSentReason::InUseByHost;
            row.host = host->second;
        }
    }
    BlockDependents();
}

std::optional<std::size_t> MovePlan::HolderOf(std::size_t row) const
{
    const auto found = holders.find({rows[row].device.link, rows[row].to});
    if (found == holders.end() || found->second == row)
        return std::nullopt;
    return found->second;
}

void MovePlan::BlockDependents()
{
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (!Moves(row))
                continue;
            const std::optional<std::size_t> holder = HolderOf(row);
            if (holder && !Moves(*holder)) {
                rows[row].blocked = NotSentReason::HeldByAnotherDevice;
                changed = true;
            }
        }
    }
}

std::vector<std::vector<std::size_t>> MovePlan::Cycles() const
{
    // Each moving row waits for at most one other: the one whose address it
    // takes. Walking those links finds every cycle once.
    enum class Seen { No, Walking, Done };
    std::vector<Seen> seen(rows.size(), Seen::No);
    std::vector<std::vector<std::size_t>> cycles;
    for (std::size_t start = 0; start < rows.size(); ++start) {
        std::vector<std::size_t> path;
        std::optional<std::size_t> at = start;
        while (at && Moves(*at) && seen[*at] == Seen::No) {
            seen[*at] = Seen::Walking;
            path.push_back(*at);
            at = HolderOf(*at);
        }
        if (at && Moves(*at) && seen[*at] == Seen::Walking) {
            const auto first = std::find(path.begin(), path.end(), *at);
            std::vector<std::size_t> cycle(first, path.end());
            std::sort(cycle.begin(), cycle.end());
            cycles.push_back(cycle);
        }
        for (std::size_t row : path)
            seen[row] = Seen::Done;
    }
    return cycles;
}

std::map<std::string, std::size_t> MovePlan::TemporariesNeeded() const
{
    std::map<std::string, std::size_t> needed;
    for (const std::vector<std::size_t> &cycle : Cycles())
        ++needed[rows[cycle.front()].device.link];
    return needed;
}

void MovePlan::Order(const std::map<std::string, std::vector<Ipv4Bytes>> &temporaries)
{
    steps.clear();
    // Each cycle is broken at its first row, which first moves to a free
    // address; a cycle that finds none cannot run.
    std::map<std::size_t, Ipv4Bytes> parked;
    std::map<std::string, std::size_t> used;
    std::map<std::size_t, std::size_t> cycleOf;
    const std::vector<std::vector<std::size_t>> cycles = Cycles();
    for (std::size_t c = 0; c < cycles.size(); ++c) {
        const std::vector<std::size_t> &cycle = cycles[c];
        const std::string &link = rows[cycle.front()].device.link;
        const auto free = temporaries.find(link);
        std::size_t &next = used[link];
        if (free == temporaries.end() || next >= free->second.size()) {
            for (std::size_t row : cycle)
                rows[row].blocked = NotSentReason::NoFreeAddress;
            continue;
        }
        parked[cycle.front()] = free->second[next++];
        for (std::size_t row : cycle)
            cycleOf[row] = c;
    }
    BlockDependents();
    spares.clear();
    for (const auto &[link, addresses] : temporaries) {
        const std::size_t taken = used.count(link) != 0 ? used.at(link) : 0;
        if (taken < addresses.size())
            spares[link].assign(addresses.begin() + static_cast<std::ptrdiff_t>(taken), addresses.end());
    }

    std::vector<Step> made;
    std::map<std::size_t, std::size_t> vacates; // row -> the step that takes it from its address
    for (const auto &[row, address] : parked) {
        vacates[row] = made.size();
        made.push_back(Step {row, address, true, 0, std::nullopt, cycleOf.at(row)});
    }
    std::map<std::size_t, std::size_t> mainStep;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (!Moves(row))
            continue;
        mainStep[row] = made.size();
        vacates.emplace(row, made.size());
        const auto cycle = cycleOf.find(row);
        made.push_back(Step {row, rows[row].to, false, 0, std::nullopt,
                             cycle == cycleOf.end() ? std::nullopt : std::optional<std::size_t>(cycle->second)});
    }
    for (const auto &[row, step] : mainStep) {
        const std::optional<std::size_t> holder = HolderOf(row);
        if (holder)
            made[step].after = vacates.at(*holder);
    }
    // A step's layer is one past the layer of the step it waits for.
    std::vector<int> layer(made.size(), -1);
    const std::function<int(std::size_t)> layerOf = [&](std::size_t step) {
        if (layer[step] < 0)
            layer[step] = made[step].after ? layerOf(*made[step].after) + 1 : 0;
        return layer[step];
    };
    std::vector<std::size_t> order(made.size());
    for (std::size_t step = 0; step < made.size(); ++step) {
        made[step].layer = layerOf(step);
        order[step] = step;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return made[a].layer != made[b].layer ? made[a].layer < made[b].layer : made[a].row < made[b].row;
    });
    std::vector<std::size_t> placeOf(made.size());
    for (std::size_t place = 0; place < order.size(); ++place)
        placeOf[order[place]] = place;
    for (std::size_t step : order) {
        Step placed = made[step];
        if (placed.after)
            placed.after = placeOf[*placed.after];
        steps.push_back(placed);
    }
}

bool MovePlan::Runnable() const
{
    return std::none_of(rows.begin(), rows.end(), [](const Row &row) { return row.blocked.has_value(); });
}

} // namespace velqor
