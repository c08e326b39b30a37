#include "PlanReport.h"

#include "NetworkInterface.h"

namespace velqor {

namespace {

std::string Why(const ChangeOutcome &outcome)
{
    std::string text = NotSentText(outcome);
    if (Overridable(outcome.reason))
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
                                      const std::vector<MovePlan::Row> &rows, const std::vector<RowResult> *results)
{
    std::vector<PlanReportRow> report;
    report.reserve(rows.size());
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const MovePlan::Row &row = rows[index];
        PlanReportRow out;
        out.line = index < entries.size() ? entries[index].line : 0;
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
                out.detail = Why(ChangeOutcome::NotSent(*row.blocked, row.host));
            } else {
                out.status = "will-move";
            }
            report.push_back(std::move(out));
            continue;
        }
        const RowResult &result = (*results)[index];
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
            out.detail = Why(result.outcome);
            break;
        case RowResult::Kind::NotRun:
            out.status = "not-run";
            if (result.waitedFor)
                out.detail = (result.movedBack ? "moved back to " + out.from + ", since " : "waited for ") +
                    WaitedFor(rows, entries, *result.waitedFor) +
                    (result.movedBack ? " did not move" : ", which did not move");
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
                out.detail = "acknowledged, but not found at " + out.to;
                break;
            default:
                out.status = "no-answer";
                out.detail = "no answer, and not found at " + out.to;
                break;
            }
            break;
        }
        report.push_back(std::move(out));
    }
    return report;
}

std::vector<std::string> PlanReportHeader()
{
    return {"line", "serial", "interface", "from", "to", "status", "detail", "serial_hex"};
}

std::vector<std::string> PlanReportFields(const PlanReportRow &row)
{
    return {std::to_string(row.line), row.serial.Cell(), row.link, row.from, row.to, row.status, row.detail,
            row.serial.Hex()};
}

} // namespace velqor
