#ifndef VELQOR_CHANGETRANSACTION_H
#define VELQOR_CHANGETRANSACTION_H

#include "ChangeOutcome.h"
#include "DeviceId.h"
#include "NetworkInterface.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace velqor {

class ChangeLink;
class Journal;

/// What one row of a plan came to: decided by where the run's last search
/// found its device.
struct RowResult {
    enum class Kind {
        Moved, ///< found at its new address
        AlreadyThere, ///< nothing to do
        Failed, ///< its change failed: see outcome
        NotRun, ///< it waited for a row that failed (waitedFor), or the run was cancelled or interrupted
        NotSent, ///< the plan's checks stopped it: outcome.reason
        /// Neither at its original nor at its new address: at endedAt (a
        /// temporary address, say), which the run could not leave safely.
        Stranded,
    };
    Kind kind = Kind::NotRun;
    /// Failed: how the device's own change ended; NotSent: why.
    ChangeOutcome outcome;
    /// NotRun: the row whose change it waited for; none when cancelled.
    std::optional<std::size_t> waitedFor;
    /// Where the device is, as the last search found it (located), or as it
    /// was last known.
    std::optional<Ipv4Bytes> endedAt;
    /// The last search looked for it (a change of it went out), and heard it.
    bool searched = false;
    bool located = false;
    /// It moved, and went back when its cycle failed.
    bool movedBack = false;
    /// The run was interrupted (a signal, the session's end) before its change.
    bool interrupted = false;
    /// Failed: the address its failed change was sent to (a temporary one
    /// too); none when it is the row's own.
    std::optional<Ipv4Bytes> tried;
    /// Stranded on the temporary address its cycle passed through.
    bool parked = false;
    /// Stranded or NotRun: who may hold the address it was to take (a
    /// device's name, or a host's hardware address).
    std::string heldBy;
};

/// A run of address changes as one transaction, so that whatever happens,
/// each device the run touches ends at its planned address, at its original
/// one, or named with where it is. Before a step, the address is checked to
/// be free as last heard (and, for a temporary one, asked of the link once
/// more); a device is parked on a temporary address only once the journal
/// holds where it goes; a cycle that fails moves back what moved, each only
/// onto an address verified free; interfaces are locked against other
/// programs for the whole run; and its last word is a search that finds
/// every device it touched.
class ChangeTransaction {
public:
    struct Row {
        DeviceId device;
        /// Where the search found it; none when it did not.
        std::optional<Ipv4Bytes> from;
        Ipv4Bytes to {};
        /// Its result before anything runs: the plan's checks stopped it, or
        /// it is there already. Such a row is not touched.
        std::optional<RowResult> settled;
    };

    /// One change, in the order they run.
    struct Step {
        std::size_t row = 0;
        Ipv4Bytes to {};
        /// To the free address a cycle passes through.
        bool temporary = false;
        /// Steps of one layer wait for nothing of each other: sent one after
        /// the other, then verified together.
        int layer = 0;
        /// The step that must have moved its device away from to first.
        std::optional<std::size_t> after;
        /// The cycle it is part of: if one of its steps fails, those that
        /// moved go back.
        std::optional<std::size_t> cycle;
    };

    struct Control {
        /// Asked before each change: true stops the run there (Cancel).
        std::function<bool()> cancelled;
        /// Asked before each change: true when the program is asked to end
        /// (a signal, the session's end). The change under way finishes and
        /// what a cycle parked goes back, as after Cancel.
        std::function<bool()> interrupted;
        /// Each row, once it is done with (the last search may still say
        /// where it ended).
        std::function<void(std::size_t row, const RowResult &result)> rowDone;
    };

    /// What keeps the run safe beyond this process: none in tests of the
    /// run itself.
    struct Safeguards {
        /// Where parked devices are written down before they leave.
        Journal *journal = nullptr;
        /// Where the interfaces' locks lie; no lock when empty.
        std::filesystem::path lockFolder;
        /// Who holds them, for another program's message.
        std::string holder;
    };

    /// How long the last search listens at least, unless the run was
    /// interrupted: a late copy of a command (a network that duplicates)
    /// moves a device within it.
    static constexpr std::chrono::milliseconds kFinalSearchAtLeast {1000};

    explicit ChangeTransaction(ChangeLink &link);
    ChangeTransaction(ChangeLink &link, Safeguards safeguards);

    /// Runs the steps; one result per row, in row order. spares: more free
    /// addresses of each link, for a temporary address found taken when it
    /// is to be used.
    std::vector<RowResult> Run(const std::vector<Row> &rows, const std::vector<Step> &steps,
                               const std::map<std::string, std::vector<Ipv4Bytes>> &spares = {},
                               const Control &control = {});

private:
    using Place = std::pair<std::string, Ipv4Bytes>;

    /// Who may be at the address of row's link besides row's own device: a
    /// device heard there last, or a row's device that may have gone there.
    std::string HolderOf(std::size_t row, const Ipv4Bytes &address) const;
    /// The row's device was found at address (none: may be anywhere it was
    /// sent); still may be where a change went unconfirmed.
    void Found(std::size_t row, std::optional<Ipv4Bytes> address);
    void MayBeAt(std::size_t row, const Ipv4Bytes &address);
    /// Takes the row's device to address, verified; true once found there.
    bool MoveBack(std::size_t row, const Ipv4Bytes &address);

    ChangeLink &link;
    Safeguards safeguards;
    std::vector<Row> rows;
    /// Where each row's device was last found, and where else it may be.
    std::vector<std::optional<Ipv4Bytes>> at;
    std::vector<std::set<Ipv4Bytes>> maybe;
    /// Every device as last heard, by link and address; rows' devices by
    /// where they were last found.
    std::map<Place, std::set<DeviceId>> heard;
    std::map<Place, std::set<std::size_t>> maybeAt;
};

} // namespace velqor

#endif // VELQOR_CHANGETRANSACTION_H
