#include "PlanReport.h"

#include "NetworkInterface.h"

#include <algorithm>
#include <utility>

namespace velqor {

namespace {

// A clause of the detail, after the punctuation that joins it to the ones before.
void Say(PlanReportRow &row, const char *joint, Phrase phrase)
{
    const std::string joined = row.clauses.empty() ? std::string() : joint;
    row.detail += joined + phrase.Text();
    row.clauses.emplace_back(joined, std::move(phrase));
}

// Forced, the hint would name what was done already.
void SayWhy(PlanReportRow &row, const ChangeOutcome &outcome, bool forced)
{
    Say(row, "", NotSentPhrase(outcome));
    if (Overridable(outcome.reason) && !forced)
        Say(row, " ",
            {outcome.reason == NotSentReason::HeldByAnotherDevice
                 ? VELQOR_PHRASE("velqor", "(--force swaps the two)")
                 : VELQOR_PHRASE("velqor", "(--force moves it anyway)"),
             {}});
}

// The row waited for: named by its line where the plan has one.
void SayWaitedFor(PlanReportRow &row, const std::vector<MovePlan::Row> &rows,
                  const std::vector<PlanFile::Entry> &entries, const RowResult &result)
{
    const std::size_t other = *result.waitedFor;
    const std::string who = rows[other].device.serial.Column();
    if (other < entries.size()) {
        const std::string line = std::to_string(entries[other].line);
        Say(row, "",
            result.movedBack
                ? Phrase {VELQOR_PHRASE("velqor", "moved back to %1, since %2 (line %3) did not move"),
                          {row.from, who, line}}
                : Phrase {VELQOR_PHRASE("velqor", "waited for %1 (line %2), which did not move"), {who, line}});
    } else {
        Say(row, "",
            result.movedBack
                ? Phrase {VELQOR_PHRASE("velqor", "moved back to %1, since %2 did not move"), {row.from, who}}
                : Phrase {VELQOR_PHRASE("velqor", "waited for %1, which did not move"), {who}});
    }
}

} // namespace

std::vector<PlanReportRow> PlanReport(const std::vector<PlanFile::Entry> &entries,
                                      const std::vector<MovePlan::Row> &rows, const std::vector<RowResult> *results,
                                      bool forced)
{
    std::vector<PlanReportRow> report;
    report.reserve(rows.size());
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const MovePlan::Row &row = rows[index];
        PlanReportRow out;
        out.line = index < entries.size() ? entries[index].line : 0;
        out.identifiedBy = IdentityName(index < entries.size() ? entries[index].identity : PlanFile::Identity::Serial);
        out.serial = row.device.serial;
        out.link = row.device.link;
        out.from = row.found ? FormatAddress(row.found->address) : std::string();
        out.to = FormatAddress(row.to);
        if (!results) {
            if (row.alreadyThere) {
                out.status = "already-there";
                out.reached = true;
            } else if (row.blocked) {
                out.status = "not-sent";
                SayWhy(out, ChangeOutcome::NotSent(*row.blocked, row.host), forced);
            } else {
                out.status = "will-move";
            }
            report.push_back(std::move(out));
            continue;
        }
        const RowResult &result = (*results)[index];
        out.at =
            result.endedAt && (result.located || !result.searched) ? FormatAddress(*result.endedAt) : std::string();
        const std::string tried = result.tried ? FormatAddress(*result.tried) : out.to;
        switch (result.kind) {
        case RowResult::Kind::Moved:
            out.status = "moved";
            out.reached = true;
            break;
        case RowResult::Kind::AlreadyThere:
            out.status = "already-there";
            out.reached = true;
            break;
        case RowResult::Kind::NotSent:
            out.status = "not-sent";
            SayWhy(out, result.outcome, forced);
            if (!result.heldBy.empty())
                Say(out, ": ", {VELQOR_PHRASE("velqor", "%1 is held by %2"), {tried, result.heldBy}});
            break;
        case RowResult::Kind::NotRun:
            out.status = "not-run";
            if (result.waitedFor)
                SayWaitedFor(out, rows, entries, result);
            else if (result.interrupted)
                Say(out, "",
                    result.movedBack
                        ? Phrase {VELQOR_PHRASE("velqor", "moved back to %1: the run was interrupted"), {out.from}}
                        : Phrase {VELQOR_PHRASE("velqor", "the run was interrupted"), {}});
            else
                Say(out, "", {VELQOR_PHRASE("velqor", "the run was cancelled"), {}});
            break;
        case RowResult::Kind::Failed:
            switch (result.outcome.kind) {
            case ChangeOutcome::Kind::Refused:
                out.status = "refused";
                Say(out, "",
                    result.outcome.deviceCode ? Phrase {VELQOR_PHRASE("velqor", "refused with code %1"),
                                                        {std::to_string(static_cast<int>(*result.outcome.deviceCode))}}
                                              : Phrase {VELQOR_PHRASE("velqor", "refused without a code"), {}});
                break;
            case ChangeOutcome::Kind::AcknowledgedNotMoved:
                out.status = "not-moved";
                Say(out, "", {VELQOR_PHRASE("velqor", "acknowledged, but still answers at %1"), {out.from}});
                break;
            case ChangeOutcome::Kind::Acknowledged:
                out.status = "not-confirmed";
                Say(out, "", {VELQOR_PHRASE("velqor", "acknowledged, but not found at %1"), {tried}});
                break;
            default:
                out.status = "no-answer";
                Say(out, "", {VELQOR_PHRASE("velqor", "no answer, and not found at %1"), {tried}});
                break;
            }
            if (result.movedBack)
                Say(out, "; ", {VELQOR_PHRASE("velqor", "moved back to %1"), {out.from}});
            break;
        case RowResult::Kind::Stranded:
            out.status = "stranded";
            if (!result.located)
                Say(out, "",
                    {VELQOR_PHRASE("velqor", "last found at %1"),
                     {FormatAddress(result.endedAt.value_or(Ipv4Bytes {}))}});
            else if (result.parked)
                Say(out, "", {VELQOR_PHRASE("velqor", "left at %1, the temporary address of its swap"), {out.at}});
            else
                Say(out, "", {VELQOR_PHRASE("velqor", "found at %1"), {out.at}});
            if (!result.heldBy.empty())
                Say(out, ": ", {VELQOR_PHRASE("velqor", "%1 may be held by %2"), {out.from, result.heldBy}});
            Say(out, "; ", {VELQOR_PHRASE("velqor", "orvane-cli apply --resume takes it on"), {}});
            break;
        }
        if (result.searched && !result.located)
            Say(out, "; ", {VELQOR_PHRASE("velqor", "not found by the last search"), {}});
        report.push_back(std::move(out));
    }
    return report;
}

void AddSkipped(std::vector<PlanReportRow> &report, const std::vector<PlanFile::Entry> &skipped)
{
    for (const PlanFile::Entry &entry : skipped) {
        PlanReportRow out;
        out.line = entry.line;
        out.serial = entry.serial;
        out.link = entry.link;
        out.status = "skipped";
        Say(out, "", {VELQOR_PHRASE("velqor", "no address in the plan: left as it is"), {}});
        out.identifiedBy = IdentityName(entry.identity);
        out.reached = true;
        report.push_back(std::move(out));
    }
    std::stable_sort(report.begin(), report.end(),
                     [](const PlanReportRow &one, const PlanReportRow &other) { return one.line < other.line; });
}

std::vector<std::string> PlanReportHeader()
{
    return {"line", "serial", "interface", "from", "to", "status", "detail", "serial_hex", "ended_at", "identified_by"};
}

std::vector<std::string> PlanReportFields(const PlanReportRow &row)
{
    return {std::to_string(row.line),
            row.serial.Cell(),
            row.link,
            row.from,
            row.to,
            row.status,
            row.detail,
            row.serial.Hex(),
            row.at,
            row.identifiedBy};
}

} // namespace velqor
