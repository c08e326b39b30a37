#include "PlanFile.h"

#include "CsvReader.h"
#include "NetworkInterface.h"
#include "OdsReader.h"
#include "PlanTable.h"
#include "XlsxReader.h"
#include "ZipArchive.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <unordered_map>
#include <utility>

namespace velqor {

namespace {

// A spreadsheet's padding: spaces, tabs and no-break spaces at either end.
std::string Trimmed(const std::string &text)
{
    const std::string noBreak = "\xc2\xa0";
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last) {
        if (text[first] == ' ' || text[first] == '\t')
            first += 1;
        else if (text.compare(first, 2, noBreak) == 0)
            first += 2;
        else
            break;
    }
    while (last > first) {
        if (text[last - 1] == ' ' || text[last - 1] == '\t')
            last -= 1;
        else if (last - first >= 2 && text.compare(last - 2, 2, noBreak) == 0)
            last -= 2;
        else
            break;
    }
    return text.substr(first, last - first);
}

// A header as people type it: no case, no spaces, no underscores.
std::string HeaderKey(const std::string &text)
{
    std::string key;
    for (const char c : Trimmed(text)) {
        if (c != ' ' && c != '_' && c != '-')
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

enum Column { SerialColumn, HexColumn, AddressColumn, LinkColumn, FromColumn, ColumnCount };
const char *const kColumnNames[ColumnCount] = {"serial", "serial_hex", "address", "interface", "from"};

std::optional<Column> ColumnOf(const std::string &header)
{
    static const std::map<std::string, Column> names {
        {"serial", SerialColumn},   {"serialnumber", SerialColumn}, {"serialhex", HexColumn},
        {"address", AddressColumn}, {"ip", AddressColumn},          {"ipaddress", AddressColumn},
        {"ipv4", AddressColumn},    {"ipv4address", AddressColumn}, {"interface", LinkColumn},
        {"from", FromColumn},       {"currentaddress", FromColumn},
    };
    const auto found = names.find(HeaderKey(header));
    return found == names.end() ? std::nullopt : std::optional<Column>(found->second);
}

// A cell quoted in a message: short, and in the serial's display form so
// that control bytes do not reach the terminal.
std::string Quoted(const std::string &cell)
{
    const std::string shown = Serial(cell).Display();
    return "\"" + (shown.size() > 40 ? shown.substr(0, 40) + "…" : shown) + "\"";
}

// What a spreadsheet writes for a number: digits with at most one point
// and an exponent, and no leading zero but that of "0" or "0.5". 000123
// was typed as text; 123 or 1000 may be what became of 000123 or 1E3.
bool LooksMadeByASpreadsheet(const std::string &text)
{
    std::size_t at = text.size() > 0 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const std::size_t start = at;
    std::size_t digits = 0;
    bool point = false;
    for (; at < text.size() && (std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == '.'); ++at) {
        if (text[at] == '.') {
            if (point)
                return false;
            point = true;
        } else {
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    bool exponent = false;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        exponent = true;
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            ++at;
        const std::size_t exponentStart = at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])))
            ++at;
        if (at == exponentStart)
            return false;
    }
    if (at != text.size())
        return false;
    const bool leadingZero = text.size() > start + 1 && text[start] == '0' && text[start + 1] != '.';
    return point || exponent || !leadingZero;
}

// Where each serial is planned already, for "planned twice": the first row
// without an interface, and the rows by interface. Work per row stays the
// same however many interfaces one serial is planned on.
struct Planned {
    std::size_t first = 0;
    std::size_t withoutLink = 0;
    std::unordered_map<std::string, std::size_t> byLink;
};

} // namespace

const char *IdentityName(PlanFile::Identity identity)
{
    switch (identity) {
    case PlanFile::Identity::SerialHex:
        return "serial_hex";
    case PlanFile::Identity::From:
        return "from";
    case PlanFile::Identity::Serial:
        break;
    }
    return "serial";
}

void PlanFile::Fail(const std::string &what)
{
    entries.clear();
    skipped.clear();
    error = what;
}

PlanFile PlanFile::Parse(const std::string &bytes, const Options &options)
{
    PlanFile plan;
    if (bytes.size() > kMaxBytes) {
        plan.Fail("the plan is larger than " + std::to_string(kMaxBytes >> 20) + " MiB: not a plan");
        return plan;
    }
    if (bytes.rfind("\xd0\xcf\x11\xe0", 0) == 0) {
        plan.Fail("an Excel 97-2003 workbook (.xls), which is not read: save it as .xlsx");
        return plan;
    }
    if (ZipArchive::Looks(bytes)) {
        const ZipArchive zip(bytes);
        const std::optional<std::string> type = zip.Member("mimetype", 256);
        if (type && type->rfind("application/vnd.oasis.opendocument.spreadsheet", 0) == 0)
            return FromTable(OdsReader::Read(bytes, options.sheet), options);
        if (zip.Member("xl/workbook.xml", PlanTable::kMaxPartBytes))
            return FromTable(XlsxReader::Read(bytes, options.sheet), options);
        plan.Fail("a zip archive, but neither an .xlsx nor an .ods spreadsheet");
        return plan;
    }
    if (!options.sheet.empty()) {
        plan.Fail("a text file has no sheets: --sheet is for .xlsx and .ods files");
        return plan;
    }
    return FromTable(CsvReader::Read(bytes), options);
}

PlanFile PlanFile::Read(std::istream &in, const Options &options)
{
    std::string bytes;
    char buffer[65536];
    while (bytes.size() <= kMaxBytes && in.read(buffer, sizeof buffer).gcount() > 0)
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    // Reading to the end sets failbit as well as eofbit: only badbit says
    // that the file could not be read.
    if (in.bad()) {
        PlanFile plan;
        plan.Fail("the plan cannot be read");
        return plan;
    }
    return Parse(bytes, options);
}

PlanFile PlanFile::FromTable(const PlanTable &table, const Options &options)
{
    PlanFile plan;
    if (!table.Ok()) {
        plan.Fail(table.Error());
        return plan;
    }
    const auto blank = [](const PlanTable::Row &row) {
        return std::all_of(row.cells.begin(), row.cells.end(),
                           [](const PlanTable::Cell &cell) { return Trimmed(cell.text).empty(); });
    };
    auto row = table.rows.begin();
    while (row != table.rows.end() && blank(*row))
        ++row;
    if (row == table.rows.end()) {
        plan.Fail("the plan is empty: a header row names serial, address");
        return plan;
    }

    // The header: the first row that is not blank.
    const std::size_t headerLine = row->line;
    std::optional<std::size_t> columns[ColumnCount];
    for (std::size_t index = 0; index < row->cells.size(); ++index) {
        const auto column = ColumnOf(row->cells[index].text);
        if (!column)
            continue;
        if (columns[*column]) {
            const auto named = [&](std::size_t at) {
                return table.ColumnName(at) + " (" + Quoted(Trimmed(row->cells[at].text)) + ")";
            };
            plan.Fail(table.Where(headerLine) + ": " + named(*columns[*column]) + " and " + named(index) +
                      " both give the " + kColumnNames[*column] + ": keep one of them");
            return plan;
        }
        columns[*column] = index;
    }
    if ((!columns[SerialColumn] && !columns[HexColumn]) || !columns[AddressColumn]) {
        plan.Fail(table.Where(headerLine) + ": no " + (columns[AddressColumn] ? "serial" : "address") +
                  " column: the header row names serial (or serial_hex), address, and optionally interface and "
                  "from");
        return plan;
    }

    std::unordered_map<std::string, Planned> planned;
    for (++row; row != table.rows.end(); ++row) {
        if (blank(*row))
            continue;
        const std::size_t line = row->line;
        if (plan.entries.size() + plan.skipped.size() == kMaxRows) {
            plan.Fail(table.Where(line) + ": more than " + std::to_string(kMaxRows) +
                      " rows: a list holds at most that many devices");
            return plan;
        }
        const auto cell = [&](Column column) {
            const auto index = columns[column];
            return index && *index < row->cells.size() ? row->cells[*index] : PlanTable::Cell {};
        };
        const auto fail = [&](Column column, const std::string &what) {
            plan.Fail(table.Where(line, columns[column].value_or(PlanTable::npos)) + ": " + what);
            return plan;
        };
        for (const Column column : {SerialColumn, HexColumn}) {
            if (cell(column).number)
                return fail(column,
                            std::string(kColumnNames[column]) + " " + Quoted(cell(column).text) +
                                " is a number in the sheet, which may have dropped its leading zeros or written it "
                                "in exponent form: format the " +
                                kColumnNames[column] + " column as Text, and type its cells again");
        }
        Entry entry;
        entry.line = line;
        entry.link = Trimmed(cell(LinkColumn).text);
        const std::string hex = Trimmed(cell(HexColumn).text);
        const std::string shown = Trimmed(cell(SerialColumn).text);
        std::optional<Serial> serial;
        if (!hex.empty()) {
            serial = Serial::FromText("hex:" + hex);
            if (!serial)
                return fail(HexColumn,
                            "serial_hex " + Quoted(hex) +
                                (LooksMadeByASpreadsheet(hex)
                                     ? " is a number a spreadsheet made of the hex digits: format the "
                                       "serial_hex column as Text, and export the list anew"
                                     : " is not pairs of hex digits"));
            const auto alsoShown = shown.empty() ? std::nullopt : Serial::FromText(shown);
            if (!shown.empty() && alsoShown != serial)
                return fail(SerialColumn,
                            "serial " + Quoted(shown) + " and serial_hex " + Quoted(hex) + " name different devices");
            entry.identity = Identity::SerialHex;
        } else if (!shown.empty()) {
            serial = Serial::FromText(shown);
            if (!serial)
                return fail(SerialColumn,
                            "serial " + Quoted(shown) +
                                " does not parse: a backslash starts \\xNN, and hex: takes pairs of hex digits");
        }
        if (!serial || serial->Empty())
            return fail(SerialColumn, "no serial");
        entry.serial = *serial;
        const std::string from = Trimmed(cell(FromColumn).text);
        if (!from.empty()) {
            entry.from = ParseDottedAddress(from);
            if (!entry.from)
                return fail(FromColumn, "from " + Quoted(from) + " is not an IPv4 address");
            if (entry.identity == Identity::Serial)
                entry.identity = Identity::From;
        }
        const std::string address = Trimmed(cell(AddressColumn).text);
        const bool skip = address.empty();
        if (!skip) {
            const auto parsed = ParseDottedAddress(address);
            if (!parsed)
                return fail(AddressColumn, Quoted(address) + " is not an IPv4 address");
            entry.address = *parsed;
        }
        if (!skip && entry.identity == Identity::Serial && !options.force && LooksMadeByASpreadsheet(shown))
            return fail(SerialColumn,
                        "serial " + Quoted(shown) +
                            " reads as a number, which a spreadsheet may have made of another serial (000123 "
                            "becomes 123, 1E3 becomes 1000): add the serial_hex column (orvane-cli list --format "
                            "csv writes it) or a from column with each device's address now" +
                            (options.forceHint.empty()
                                 ? std::string()
                                 : ", or give " + options.forceHint + " if the serials are right"));

        // The same device twice, or a row that may mean the other's device.
        Planned &before = planned[entry.serial.Bytes()];
        std::size_t clash = 0;
        if (before.first != 0) {
            if (entry.link.empty())
                clash = before.first;
            else if (before.withoutLink != 0)
                clash = before.withoutLink;
            else if (const auto same = before.byLink.find(entry.link); same != before.byLink.end())
                clash = same->second;
        }
        if (clash != 0)
            return fail(SerialColumn,
                        "serial " + entry.serial.Display() + " is planned twice (also on " + table.Where(clash) + ")");
        if (before.first == 0)
            before.first = line;
        if (entry.link.empty())
            before.withoutLink = line;
        else
            before.byLink.emplace(entry.link, line);
        (skip ? plan.skipped : plan.entries).push_back(std::move(entry));
    }
    if (plan.entries.empty() && plan.skipped.empty())
        plan.Fail(table.Where(headerLine) + ": the plan has no rows, only its header");
    return plan;
}

std::vector<MovePlan::Row> PlanFile::Rows(const std::vector<DeviceDetails> &devices,
                                          const std::set<std::string> &links) const
{
    std::unordered_map<std::string, std::vector<const DeviceDetails *>> bySerial;
    for (const DeviceDetails &device : devices)
        bySerial[device.serial.Bytes()].push_back(&device);
    std::vector<MovePlan::Row> rows;
    rows.reserve(entries.size());
    static const std::vector<const DeviceDetails *> none;
    for (const Entry &entry : entries) {
        MovePlan::Row row;
        row.device = {entry.link, entry.serial};
        row.to = entry.address;
        const auto known = bySerial.find(entry.serial.Bytes());
        const auto &answering = known == bySerial.end() ? none : known->second;
        if (!entry.link.empty() && !links.empty() && !links.count(entry.link)) {
            std::string where;
            for (const DeviceDetails *device : answering)
                where += (where.empty() ? "" : ", ") + device->via.name;
            row.blocked = NotSentReason::NoSuchInterface;
            row.host = entry.link + "; the serial answers " + (where.empty() ? "on none" : "on " + where);
            rows.push_back(std::move(row));
            continue;
        }
        std::vector<const DeviceDetails *> found;
        bool elsewhere = false; // on the interface named, but not where the plan has it
        for (const DeviceDetails *device : answering) {
            if (!entry.link.empty() && device->via.name != entry.link)
                continue;
            if (entry.from && device->address != *entry.from)
                elsewhere = true;
            else
                found.push_back(device);
        }
        if (found.size() == 1) {
            row.device.link = found.front()->via.name;
            row.found = *found.front();
        } else if (found.empty() && elsewhere) {
            row.blocked = NotSentReason::NotWherePlanned;
            row.host = FormatAddress(*entry.from);
        } else {
            row.blocked = found.empty() ? NotSentReason::NotFound : NotSentReason::SeveralLinks;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace velqor
