#ifndef VELQOR_PLANREPORT_H
#define VELQOR_PLANREPORT_H

#include "MovePlan.h"
#include "Phrase.h"
#include "PlanFile.h"
#include "PlanRunner.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace velqor {

/// One row of a plan as it would run or as it ran: what the command line
/// prints, and the window shows and saves.
struct PlanReportRow {
    std::size_t line = 0; ///< of the plan file
    Serial serial;
    std::string link;
    std::string from; ///< where the search found it; empty when it did not
    std::string to;
    /// will-move, already-there, not-sent or skipped before a run; after it moved,
    /// already-there, refused, no-answer, not-moved (acknowledged, still at
    /// its old address), not-confirmed (acknowledged, found nowhere),
    /// not-run, not-sent, or stranded (neither at its old nor at its new
    /// address, but at `at`).
    std::string status;
    std::string detail; ///< what stopped it, in words; empty when nothing did
    /// The detail, translatable: each clause with the punctuation before it
    /// ("", " ", ": " or "; ").
    std::vector<std::pair<std::string, Phrase>> clauses;
    /// Where the run's last search found the device (where it was last
    /// known, when it did not); empty before a run.
    std::string at;
    /// The plan's column that told its device: serial_hex, from or serial.
    std::string identifiedBy;
    bool reached = false; ///< the device is (or would be) at its planned address
};

/// The report of a plan's rows checked (results null: a dry run) or run
/// (one result per row), entries[i] being the line of rows[i]; forced: with
/// --force, whose hint it then does not give.
std::vector<PlanReportRow> PlanReport(const std::vector<PlanFile::Entry> &entries,
                                      const std::vector<MovePlan::Row> &rows, const std::vector<RowResult> *results,
                                      bool forced = false);

/// The plan's rows without an address, added to a report in the order of
/// their lines: skipped, their devices left as they are.
void AddSkipped(std::vector<PlanReportRow> &report, const std::vector<PlanFile::Entry> &skipped);

/// The report's columns: line, serial, interface, from, to, status,
/// detail, serial_hex, ended_at, identified_by.
std::vector<std::string> PlanReportHeader();
/// As CSV cells: the serial in its cell form.
std::vector<std::string> PlanReportFields(const PlanReportRow &row);

} // namespace velqor

#endif // VELQOR_PLANREPORT_H
