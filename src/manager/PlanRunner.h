#ifndef VELQOR_PLANRUNNER_H
#define VELQOR_PLANRUNNER_H

#include "ChangeOutcome.h"
#include "MovePlan.h"

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velqor {

class OrvaneManager;

/// What one row of a plan came to.
struct RowResult {
    enum class Kind {
        Moved, ///< verified at its new address
        AlreadyThere, ///< nothing to do
        Failed, ///< its change failed: see outcome
        NotRun, ///< it waited for a row that failed (waitedFor), or the run was cancelled
        NotSent, ///< the plan's checks stopped it: outcome.reason
    };
    Kind kind = Kind::NotRun;
    /// Failed: how the device's own change ended; NotSent: why.
    ChangeOutcome outcome;
    /// NotRun: the row whose change it waited for; none when cancelled.
    std::optional<std::size_t> waitedFor;
    /// Where the device is now, as far as the searches tell.
    std::optional<Ipv4Bytes> endedAt;
    /// It moved, and went back when its cycle failed.
    bool movedBack = false;
};

/// Free addresses of each link that the plan's cycles may pass through, a
/// few more than they need (one may turn out to be another host's).
std::map<std::string, std::vector<Ipv4Bytes>>
TemporaryCandidates(const MovePlan &plan, const std::vector<DeviceDetails> &devices, const AddressFacts &facts);
/// The plan checked and ordered against what a search found, without asking
/// the links which addresses other hosts answer for: a preview; sends nothing.
MovePlan PreviewPlan(const std::vector<MovePlan::Row> &rows, const std::vector<DeviceDetails> &devices,
                     const AddressFacts &facts, bool force);

/// Carries out a plan of address changes through the manager: step after
/// step in the plan's order, each layer's changes sent one after the other
/// and then verified together, a row whose step failed stopping the rows
/// that wait for it. A cycle (a swap) that fails moves back what moved.
class PlanRunner {
public:
    struct Control {
        /// Asked before each change: true stops the run there.
        std::function<bool()> cancelled;
        /// Asked before a verifying search: true when the program ends, and
        /// what was sent is left unverified.
        std::function<bool()> abandoned;
        /// Each row, once its result is final.
        std::function<void(std::size_t row, const RowResult &result)> rowDone;
    };

    explicit PlanRunner(OrvaneManager &manager);

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
};

} // namespace velqor

#endif // VELQOR_PLANRUNNER_H
