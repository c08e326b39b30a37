#include "PlanFile.h"

#include "NetworkInterface.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <utility>

namespace velqor {

namespace {

struct Record {
    std::vector<std::string> fields;
    std::size_t line = 0;
};

std::string Trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A cell quoted in a message: short, and in the serial's display form so
// that control bytes do not reach the terminal.
std::string Quoted(const std::string &cell)
{
    const std::string shown = Serial(cell).Display();
    return "\"" + (shown.size() > 40 ? shown.substr(0, 40) + "…" : shown) + "\"";
}

// RFC 4180 records, with line ends CRLF, LF or CR; a quoted field may span
// lines. Sets error (with its line) on text that is not CSV.
class CsvReader {
public:
    CsvReader(const std::string &text, char delimiter) : text(text), delimiter(delimiter) { }

    bool Next(Record &record, std::string &error, std::size_t &errorLine)
    {
        record.fields.clear();
        if (at >= text.size())
            return false;
        record.line = line;
        std::string field;
        bool quoted = false; // inside quotes
        bool wasQuoted = false; // this field was quoted, and its quotes closed
        while (at < text.size()) {
            const char c = text[at];
            if (c == '\0') {
                error = "holds a NUL byte: not a CSV file";
                errorLine = line;
                return false;
            }
            if (quoted) {
                ++at;
                if (c == '"' && at < text.size() && text[at] == '"') {
                    field += '"';
                    ++at;
                } else if (c == '"') {
                    quoted = false;
                    wasQuoted = true;
                } else {
                    line += c == '\n' || (c == '\r' && (at >= text.size() || text[at] != '\n')) ? 1 : 0;
                    field += c;
                }
                continue;
            }
            if (c == delimiter) {
                ++at;
                record.fields.push_back(std::move(field));
                field.clear();
                wasQuoted = false;
                continue;
            }
            if (c == '\r' || c == '\n') {
                at += c == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
                ++line;
                break;
            }
            if (wasQuoted) {
                error = "text after a closing quote: not a CSV file";
                errorLine = line;
                return false;
            }
            if (c == '"' && field.empty()) {
                quoted = true;
                ++at;
                continue;
            }
            field += c;
            ++at;
        }
        if (quoted) {
            error = "a quoted cell is not closed";
            errorLine = record.line;
            return false;
        }
        record.fields.push_back(std::move(field));
        return true;
    }

private:
    const std::string &text;
    const char delimiter;
    std::size_t at = 0;
    std::size_t line = 1;
};

bool Blank(const Record &record)
{
    return std::all_of(record.fields.begin(), record.fields.end(),
                       [](const std::string &field) { return Trimmed(field).empty(); });
}

// The header's delimiter: a semicolon where it has no comma (spreadsheets
// of locales with a decimal comma save so).
char Delimiter(const std::string &text)
{
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        const std::string header = text.substr(start, end - start);
        if (!Trimmed(header).empty())
            return header.find(',') == std::string::npos && header.find(';') != std::string::npos ? ';' : ',';
        start = end + 1;
    }
    return ',';
}

} // namespace

void PlanFile::Fail(std::size_t line, const std::string &what)
{
    entries.clear();
    error = line > 0 ? "line " + std::to_string(line) + ": " + what : what;
}

PlanFile PlanFile::Parse(const std::string &input)
{
    PlanFile plan;
    if (input.size() > kMaxBytes) {
        plan.Fail(0, "the plan is larger than " + std::to_string(kMaxBytes >> 20) + " MiB: not a plan");
        return plan;
    }
    // A byte-order mark, as some spreadsheets write.
    const std::string text = input.rfind("\xef\xbb\xbf", 0) == 0 ? input.substr(3) : input;
    CsvReader reader(text, Delimiter(text));
    Record record;
    std::string error;
    std::size_t errorLine = 0;

    // The header: the first row that is not blank.
    std::map<std::string, std::size_t> columns;
    while (columns.empty()) {
        if (!reader.Next(record, error, errorLine)) {
            plan.Fail(errorLine, error.empty() ? "the plan is empty: a header row names serial, address" : error);
            return plan;
        }
        if (Blank(record))
            continue;
        for (std::size_t column = 0; column < record.fields.size(); ++column)
            columns.emplace(Lower(Trimmed(record.fields[column])), column);
    }
    const std::size_t headerLine = record.line;
    const auto column = [&](const char *name) -> std::optional<std::size_t> {
        const auto found = columns.find(name);
        return found == columns.end() ? std::nullopt : std::optional<std::size_t>(found->second);
    };
    const auto serialColumn = column("serial");
    const auto hexColumn = column("serial_hex");
    const auto addressColumn = column("address");
    const auto linkColumn = column("interface");
    if ((!serialColumn && !hexColumn) || !addressColumn) {
        plan.Fail(headerLine,
                  std::string("no ") + (addressColumn ? "serial" : "address") +
                      " column: the header row names serial (or serial_hex), address, and optionally interface");
        return plan;
    }

    // Where each device is planned already, by serial: its interfaces and line.
    std::map<std::string, std::vector<std::pair<std::string, std::size_t>>> planned;
    while (reader.Next(record, error, errorLine)) {
        if (Blank(record))
            continue;
        const auto cell = [&](std::optional<std::size_t> index) {
            return index && *index < record.fields.size() ? record.fields[*index] : std::string();
        };
        if (plan.entries.size() == kMaxRows) {
            plan.Fail(record.line,
                      "more than " + std::to_string(kMaxRows) + " rows: a list holds at most that many devices");
            return plan;
        }
        Entry entry;
        entry.line = record.line;
        entry.link = Trimmed(cell(linkColumn));
        const std::string hex = Trimmed(cell(hexColumn));
        const std::string shown = cell(serialColumn);
        std::optional<Serial> serial;
        if (!hex.empty()) {
            serial = Serial::FromText("hex:" + hex);
            if (!serial) {
                plan.Fail(record.line, "serial_hex " + Quoted(hex) + " is not pairs of hex digits");
                return plan;
            }
            const auto alsoShown = shown.empty() ? std::nullopt : Serial::FromText(shown);
            if (!shown.empty() && alsoShown != serial) {
                plan.Fail(record.line,
                          "serial " + Quoted(shown) + " and serial_hex " + Quoted(hex) + " name different devices");
                return plan;
            }
        } else if (!shown.empty()) {
            serial = Serial::FromText(shown);
            if (!serial) {
                plan.Fail(record.line,
                          "serial " + Quoted(shown) +
                              " does not parse: a backslash starts \\xNN, and hex: takes pairs of hex digits");
                return plan;
            }
        }
        if (!serial || serial->Empty()) {
            plan.Fail(record.line, "no serial");
            return plan;
        }
        entry.serial = *serial;
        const std::string address = Trimmed(cell(addressColumn));
        const auto parsed = ParseDottedAddress(address);
        if (!parsed) {
            plan.Fail(record.line,
                      (address.empty() ? std::string("no address") : Quoted(address) + " is not an IPv4 address"));
            return plan;
        }
        entry.address = *parsed;
        auto &links = planned[entry.serial.Bytes()];
        for (const auto &[link, line] : links) {
            // The same device twice, or a row that may mean the other's device.
            if (link == entry.link || link.empty() || entry.link.empty()) {
                plan.Fail(record.line,
                          "serial " + entry.serial.Display() + " is planned twice (also on line " +
                              std::to_string(line) + ")");
                return plan;
            }
        }
        links.emplace_back(entry.link, entry.line);
        plan.entries.push_back(std::move(entry));
    }
    if (!error.empty())
        plan.Fail(errorLine, error);
    return plan;
}

PlanFile PlanFile::Read(std::istream &in)
{
    std::string text;
    char buffer[65536];
    while (text.size() <= kMaxBytes && in.read(buffer, sizeof buffer).gcount() > 0)
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        PlanFile plan;
        plan.Fail(0, "the plan cannot be read");
        return plan;
    }
    return Parse(text);
}

std::vector<MovePlan::Row> PlanFile::Rows(const std::vector<DeviceDetails> &devices) const
{
    std::map<std::string, std::vector<const DeviceDetails *>> bySerial;
    for (const DeviceDetails &device : devices)
        bySerial[device.serial.Bytes()].push_back(&device);
    std::vector<MovePlan::Row> rows;
    rows.reserve(entries.size());
    for (const Entry &entry : entries) {
        MovePlan::Row row;
        row.device = {entry.link, entry.serial};
        row.to = entry.address;
        std::vector<const DeviceDetails *> found;
        const auto known = bySerial.find(entry.serial.Bytes());
        if (known != bySerial.end()) {
            for (const DeviceDetails *device : known->second) {
                if (entry.link.empty() || device->via.name == entry.link)
                    found.push_back(device);
            }
        }
        if (found.size() == 1) {
            row.device.link = found.front()->via.name;
            row.found = *found.front();
        } else {
            row.blocked = found.empty() ? NotSentReason::NotFound : NotSentReason::SeveralLinks;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace velqor
