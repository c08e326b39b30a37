#include "PlanReport.h"

#include "NetworkInterface.h"

#include <algorithm>

namespace velqor {

namespace {

// Forced, the hint would name what was done already.
std::string Why(const ChangeOutcome &outcome, bool forced)
{
    std::string text = NotSentText(outcome);
    if (Overridable(outcome.reason) && !forced)
        text += outcome.reason == NotSentReason::HeldByAnotherDevice ? " (--force swaps the two)"
                                                                     : " (--force moves it anyway)";
    return text;
}

std::string WaitedFor(const std::vector<MovePlan::Row> &rows, const std::vector<PlanFile::Entry> &entries,
                      std::size_t row)
{
    const std::string who = rows[row].device.serial.Column();
    return row < entries.size() ? who + " (line " + std::to_string(entries[row].line) + ")" : who;
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
                out.detail = Why(ChangeOutcome::NotSent(*row.blocked, row.host), forced);
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
            out.detail = Why(result.outcome, forced);
            if (!result.heldBy.empty())
                out.detail += ": " + tried + " is held by " + result.heldBy;
            break;
        case RowResult::Kind::NotRun:
            out.status = "not-run";
            if (result.waitedFor)
                out.detail = (result.movedBack ? "moved back to " + out.from + ", since " : "waited for ") +
                    WaitedFor(rows, entries, *result.waitedFor) +
                    (result.movedBack ? " did not move" : ", which did not move");
            else if (result.interrupted)
                out.detail = result.movedBack ? "moved back to " + out.from + ": the run was interrupted"
                                              : "the run was interrupted";
            else
                out.detail = "the run was cancelled";
            break;
        case RowResult::Kind::Failed:
            switch (result.outcome.kind) {
            case ChangeOutcome::Kind::Refused:
                out.status = "refused";
                out.detail = result.outcome.deviceCode
                    ? "refused with code " + std::to_string(static_cast<int>(*result.outcome.deviceCode))
                    : "refused without a code";
                break;
            case ChangeOutcome::Kind::AcknowledgedNotMoved:
                out.status = "not-moved";
                out.detail = "acknowledged, but still answers at " + out.from;
                break;
            case ChangeOutcome::Kind::Acknowledged:
                out.status = "not-confirmed";
                out.detail = "acknowledged, but not found at " + tried;
                break;
            default:
                out.status = "no-answer";
                out.detail = "no answer, and not found at " + tried;
                break;
            }
            if (result.movedBack)
                out.detail += "; moved back to " + out.from;
            break;
        case RowResult::Kind::Stranded:
            out.status = "stranded";
            out.detail = (!result.located     ? "last found at " + FormatAddress(result.endedAt.value_or(Ipv4Bytes {}))
                              : result.parked ? "left at " + out.at + ", the temporary address of its swap"
                                              : "found at " + out.at) +
                (result.heldBy.empty() ? std::string() : ": " + out.from + " may be held by " + result.heldBy) +
                "; orvane-cli apply --resume takes it on";
            break;
        }
        if (result.searched && !result.located)
            out.detail += (out.detail.empty() ? "" : "; ") + std::string("not found by the last search");
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
        out.detail = "no address in the plan: left as it is";
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
