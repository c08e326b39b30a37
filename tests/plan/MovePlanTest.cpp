// The checks and the order of a plan of address changes: no network.

#include "MovePlan.h"
#include "PlanRunner.h"

#include <gtest/gtest.h>

using namespace velqor;

namespace {

const NetworkInterface kCellLink {"eth0", 2, {10, 0, 0, 1}, 24};
const NetworkInterface kSecondCellLink {"eth1", 3, {10, 0, 0, 1}, 24}; // a second cell, one address plan

DeviceDetails Device(const std::string &serial, unsigned char last, const NetworkInterface &via = kCellLink)
{
    DeviceDetails device;
    device.serial = Serial(serial);
    device.address = {10, 0, 0, last};
    device.via = via;
    return device;
}

struct Planned {
    std::string serial;
    unsigned char to;
    std::string link = "eth0";
};

// The plan of the moves over the devices, and its steps as text:
// "SERIAL>last" in order, "~" for a temporary address, "|" between layers.
struct Outcome {
    std::vector<std::optional<NotSentReason>> blocked;
    std::string steps;
};

Outcome Plan(const std::vector<DeviceDetails> &devices, const std::vector<Planned> &moves, bool force = false,
             HostMap hosts = {}, std::vector<Ipv4Bytes> free = {{10, 0, 0, 200}, {10, 0, 0, 201}})
{
    AddressFacts facts;
    facts.own = {kCellLink, kSecondCellLink};
    facts.gateways["eth0"] = {{10, 0, 0, 254}};
    std::vector<MovePlan::Row> rows;
    for (const Planned &move : moves) {
        MovePlan::Row row;
        row.device = {move.link, Serial(move.serial)};
        row.to = {10, 0, 0, move.to};
        for (const DeviceDetails &device : devices) {
            if (device.Id() == row.device)
                row.found = device;
        }
        rows.push_back(row);
    }
    MovePlan plan(rows, devices, facts, hosts, force);
    plan.Order({{"eth0", free}, {"eth1", free}});
    Outcome outcome;
    for (const MovePlan::Row &row : plan.Rows())
        outcome.blocked.push_back(row.blocked);
    int layer = 0;
    for (const MovePlan::Step &step : plan.Steps()) {
        if (!outcome.steps.empty())
            outcome.steps += step.layer != layer ? " | " : " ";
        layer = step.layer;
        outcome.steps += plan.Rows()[step.row].device.serial.Bytes() + ">" + (step.temporary ? "~" : "") +
            std::to_string(step.to[3]);
    }
    return outcome;
}

} // namespace

TEST(MovePlanTest, ChainsRunFromTheirFreeEndAndCyclesPassThroughAFreeAddress)
{
    const std::vector<DeviceDetails> devices {Device("A", 21), Device("B", 22), Device("C", 23), Device("D", 24),
                                              Device("E", 25)};
    const struct {
        std::vector<Planned> moves;
        std::string steps;
    } cases[] = {
        {{{"A", 10}, {"B", 11}}, "A>10 B>11"}, // independent: one layer
        {{{"A", 22}, {"B", 23}, {"C", 30}}, "C>30 | B>23 | A>22"}, // a chain
        {{{"A", 22}, {"B", 21}}, "A>~200 | B>21 | A>22"}, // a swap
        {{{"A", 22}, {"B", 23}, {"C", 21}}, "A>~200 | C>21 | B>23 | A>22"}, // a cycle of three
        {{{"A", 22}, {"B", 21}, {"C", 24}, {"D", 23}, {"E", 31}}, "A>~200 C>~201 E>31 | B>21 D>23 | A>22 C>24"},
        {{{"E", 21}, {"A", 22}, {"B", 40}}, "B>40 | A>22 | E>21"}, // a chain into a device that moves
    };
    for (const auto &c : cases) {
        const Outcome outcome = Plan(devices, c.moves);
        EXPECT_EQ(outcome.steps, c.steps);
        for (const auto &blocked : outcome.blocked)
            EXPECT_FALSE(blocked) << c.steps << ": " << ReasonText(*blocked);
    }
}

TEST(MovePlanTest, EveryRowIsCheckedBeforeAnythingIsSent)
{
    std::vector<DeviceDetails> devices {Device("A", 21), Device("B", 22), Device("C", 23),
                                        Device("CELL", 27, kSecondCellLink), Device("TWIN", 28)};
    devices.back().alsoAt = {{10, 0, 0, 29}};
    const HostMap hosts {{{"eth0", {10, 0, 0, 50}}, "02:00:00:00:00:05"}};
    using R = NotSentReason;
    const struct {
        std::vector<Planned> moves;
        bool force;
        std::vector<std::optional<NotSentReason>> blocked;
    } cases[] = {
        {{{"A", 23}}, false, {R::HeldByAnotherDevice}}, // C stays where it is
        {{{"A", 23}}, true, {R::HeldByAnotherDevice}}, // forced or not
        {{{"A", 27}}, false, {std::nullopt}}, // CELL's address, on another link
        {{{"A", 40}, {"B", 40}}, false, {R::TakenByAnotherRow, R::TakenByAnotherRow}},
        {{{"A", 21}, {"B", 21}}, false, {std::nullopt, R::HeldByAnotherDevice}}, // A is there already
        {{{"A", 1}}, true, {R::WorkstationAddress}},
        {{{"A", 254}}, true, {R::Gateway}},
        {{{"A", 255}}, true, {R::BroadcastAddress}},
        {{{"A", 50}}, false, {R::InUseByHost}},
        {{{"A", 50}}, true, {std::nullopt}},
        {{{"A", 22}, {"B", 50}}, false, {R::HeldByAnotherDevice, R::InUseByHost}}, // A waits for B, who cannot go
        {{{"TWIN", 30}}, false, {R::SeveralAddresses}},
        {{{"NOBODY", 30}}, false, {R::NotFound}},
        {{{"CELL", 22, "eth0"}}, false, {R::NotFound}}, // CELL is on eth1
    };
    for (const auto &c : cases) {
        const Outcome outcome = Plan(devices, c.moves, c.force, hosts);
        EXPECT_EQ(outcome.blocked, c.blocked) << c.moves[0].serial << " to ." << int(c.moves[0].to);
    }
    // A cycle finds no free address: it, and what waits for it, cannot run.
    const Outcome stuck = Plan(devices, {{"A", 22}, {"B", 21}, {"C", 41}}, false, {}, {});
    EXPECT_EQ(stuck.blocked,
              (std::vector<std::optional<NotSentReason>> {R::NoFreeAddress, R::NoFreeAddress, std::nullopt}));
    EXPECT_EQ(stuck.steps, "C>41");
}

// A swap passes through a free address of the subnet, never the gateway of
// a route: the workstation would lose its way out while the device sits there.
TEST(MovePlanTest, ASwapsTemporaryAddressIsNeverAGateway)
{
    const NetworkInterface small {"eth0", 2, {10, 0, 0, 1}, 29}; // hosts .1 to .6
    std::vector<DeviceDetails> devices {Device("A", 2, small), Device("B", 3, small), Device("C", 5, small)};
    AddressFacts facts;
    facts.own = {small};
    facts.gateways["eth0"] = {{10, 0, 0, 4}};
    const std::vector<MovePlan::Row> rows {{devices[0].Id(), {10, 0, 0, 3}, devices[0], std::nullopt, {}, false},
                                           {devices[1].Id(), {10, 0, 0, 2}, devices[1], std::nullopt, {}, false}};
    const MovePlan plan = PreviewPlan(rows, devices, facts, false);
    ASSERT_TRUE(plan.Runnable());
    ASSERT_FALSE(plan.Steps().empty());
    EXPECT_TRUE(plan.Steps().front().temporary);
    EXPECT_EQ(plan.Steps().front().to, (Ipv4Bytes {10, 0, 0, 6})) << "the only free address but the gateway";
}
