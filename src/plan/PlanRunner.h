#ifndef VELQOR_PLANRUNNER_H
#define VELQOR_PLANRUNNER_H

#include "ChangeOutcome.h"
#include "ChangeTransaction.h"
#include "MovePlan.h"

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velqor {

class OrvaneManager;

/// Free addresses of each link that the plan's cycles may pass through, a
/// few more than they need (one may turn out to be another host's).
std::map<std::string, std::vector<Ipv4Bytes>>
TemporaryCandidates(const MovePlan &plan, const std::vector<DeviceDetails> &devices, const AddressFacts &facts);
/// The plan checked and ordered against what a search found, without asking
/// the links which addresses other hosts answer for: a preview; sends nothing.
MovePlan PreviewPlan(const std::vector<MovePlan::Row> &rows, const std::vector<DeviceDetails> &devices,
                     const AddressFacts &facts, bool force);

/// The plan's rows as a transaction runs them: a row that the checks stopped,
/// or whose device is there already, with its result.
std::vector<ChangeTransaction::Row> TransactionRows(const MovePlan &plan);

/// Carries out a plan of address changes through the manager as one
/// transaction (see ChangeTransaction): step after step in the plan's
/// order, each layer's changes sent one after the other and then verified
/// together, a row whose step failed stopping the rows that wait for it. A
/// cycle (a swap) that fails moves back what moved, where it safely can.
class PlanRunner {
public:
    using Control = ChangeTransaction::Control;

    explicit PlanRunner(OrvaneManager &manager, ChangeTransaction::Safeguards safeguards = {});

    /// The rows that moving a device to an address takes: that one, and,
    /// with swap, the device that holds the address on its link going to the
    /// first one's address.
    std::vector<MovePlan::Row> MoveRows(const DeviceId &device, const Ipv4Bytes &to, bool swap);
    /// Checks the rows against what the last search found (asking each link
    /// which of the addresses another host answers for) and orders them,
    /// with a free address of the link for each cycle. Sends nothing.
    MovePlan Prepare(std::vector<MovePlan::Row> rows, bool force);
    /// Runs the plan's steps; one result per row, in row order.
    std::vector<RowResult> Run(const MovePlan &plan, const Control &control = {});

private:
    OrvaneManager &manager;
    ChangeTransaction::Safeguards safeguards;
};

} // namespace velqor

#endif // VELQOR_PLANRUNNER_H
