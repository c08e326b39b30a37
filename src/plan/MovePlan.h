#ifndef VELQOR_MOVEPLAN_H
#define VELQOR_MOVEPLAN_H

#include "AddressRules.h"
#include "ChangeOutcome.h"
#include "ChangeTransaction.h"
#include "DeviceDetails.h"
#include "DeviceId.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velqor {

/// Hosts that answer for addresses, by link and address: their hardware address.
using HostMap = std::map<std::pair<std::string, Ipv4Bytes>, std::string>;

/// Address changes of several devices, checked together before anything is
/// sent, and put in an order that works: a device moves onto an address
/// another device of the plan holds only once that one has left it (a chain
/// runs from its free end), and a cycle (A to B's address, B to A's, a swap
/// among them) passes through a free address of its link.
class MovePlan {
public:
    struct Row {
        DeviceId device;
        Ipv4Bytes to {};
        /// The device as the last search found it; none when it did not answer.
        std::optional<DeviceDetails> found;
        /// What stops it; none when it can run.
        std::optional<NotSentReason> blocked;
        /// The host that answers for the address, when that stops it.
        std::string host;
        /// The device is there already: nothing to do.
        bool alreadyThere = false;
    };

    /// One change the plan sends, in order.
    using Step = ChangeTransaction::Step;

    /// rows: the devices and where they go, with what the search found of
    /// them (and a reason given already where a device was not found);
    /// devices: every device the search knows, on every link; hosts: who
    /// answers for the rows' addresses. Force lets through what may be
    /// forced, but never a move onto a device that stays where it is.
    MovePlan(std::vector<Row> rows, const std::vector<DeviceDetails> &devices, const AddressFacts &facts,
             const HostMap &hosts, bool force);

    /// How many free addresses each link needs: one for each cycle on it.
    std::map<std::string, std::size_t> TemporariesNeeded() const;
    /// Orders the changes into steps, passing each cycle through one of the
    /// addresses given for its link (free, and no host answers for them); a
    /// cycle without one cannot run.
    void Order(const std::map<std::string, std::vector<Ipv4Bytes>> &temporaries = {});

    const std::vector<Row> &Rows() const { return rows; }
    const std::vector<Step> &Steps() const { return steps; }
    /// The free addresses given to Order that no cycle took, by link: for a
    /// temporary address found taken when it is to be used.
    const std::map<std::string, std::vector<Ipv4Bytes>> &Spares() const { return spares; }
    /// Every row can run or is there already.
    bool Runnable() const;

private:
    /// The row whose device holds the address row's device is to take, on
    /// its link; none when no device of the plan holds it.
    std::optional<std::size_t> HolderOf(std::size_t row) const;
    bool Moves(std::size_t row) const { return !rows[row].blocked && !rows[row].alreadyThere; }
    /// Rows that wait for a row that cannot run cannot run either.
    void BlockDependents();
    /// The rows of each cycle of moves.
    std::vector<std::vector<std::size_t>> Cycles() const;

    std::vector<Row> rows;
    /// Which row's device holds an address, by link and address: looked up
    /// for every row and step of a plan that may hold a whole list.
    std::map<std::pair<std::string, Ipv4Bytes>, std::size_t> holders;
    std::vector<Step> steps;
    std::map<std::string, std::vector<Ipv4Bytes>> spares;
};

} // namespace velqor

#endif // VELQOR_MOVEPLAN_H
