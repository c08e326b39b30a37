#include "XlsxReader.h"

#include "XmlParser.h"
#include "ZipArchive.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <vector>

namespace velqor {

namespace {

// Excel writes characters XML cannot hold as _xHHHH_, and a literal "_x" so
// escaped as _x005F_.
std::string Unescaped(const std::string &text)
{
    if (text.find("_x") == std::string::npos)
        return text;
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text.compare(at, 2, "_x") == 0 && at + 6 < text.size() && text[at + 6] == '_' &&
            std::isxdigit(static_cast<unsigned char>(text[at + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[at + 3])) &&
            std::isxdigit(static_cast<unsigned char>(text[at + 4])) &&
            std::isxdigit(static_cast<unsigned char>(text[at + 5]))) {
            AppendUtf8(out, static_cast<std::uint32_t>(std::stoul(text.substr(at + 2, 4), nullptr, 16)));
            at += 6;
        } else {
            out += text[at];
        }
    }
    return out;
}

// A cell reference's column and row, from 0 and 1: B7 is (1, 7).
bool ParseReference(const std::string &reference, std::size_t &column, std::size_t &row)
{
    std::size_t at = 0;
    std::size_t letters = 0;
    for (; at < reference.size() && std::isalpha(static_cast<unsigned char>(reference[at])) && at < 4; ++at)
        letters =
            letters * 26 + static_cast<std::size_t>(std::toupper(static_cast<unsigned char>(reference[at])) - 'A' + 1);
    std::size_t number = 0;
    const std::size_t digitsFrom = at;
    for (; at < reference.size() && std::isdigit(static_cast<unsigned char>(reference[at])) && at - digitsFrom < 8;
         ++at)
        number = number * 10 + static_cast<std::size_t>(reference[at] - '0');
    if (letters == 0 || number == 0 || at != reference.size())
        return false;
    column = letters - 1;
    row = number;
    return true;
}

// The path of a part that a relationship of xl/workbook.xml names.
std::string PartPath(const std::string &target)
{
    return target.rfind('/', 0) == 0 ? target.substr(1) : "xl/" + target;
}

} // namespace

PlanTable XlsxReader::Read(const std::string &bytes, const std::string &wanted)
{
    ZipArchive zip(bytes);
    const auto part = [&](const std::string &name) { return zip.Member(name, PlanTable::kMaxPartBytes); };
    const std::optional<std::string> workbook = part("xl/workbook.xml");
    if (!zip.Ok() || !workbook) {
        PlanTable broken;
        broken.Fail(0, "not a workbook that can be read: the zip archive or its xl/workbook.xml is broken");
        return broken;
    }

    // The sheets, in the workbook's order, and where each is kept.
    std::vector<std::pair<std::string, std::string>> sheets; // name, relationship
    XmlParser xml;
    xml.onStart = [&](const std::string &name, const XmlParser::Attributes &attributes) {
        if (name == "sheet" && attributes.count("name") && attributes.count("id"))
            sheets.emplace_back(attributes.at("name"), attributes.at("id"));
    };
    std::map<std::string, std::string> targets;
    const std::optional<std::string> relationships = part("xl/_rels/workbook.xml.rels");
    bool read = xml.Parse(*workbook);
    xml.onStart = [&](const std::string &name, const XmlParser::Attributes &attributes) {
        if (name == "Relationship" && attributes.count("Id") && attributes.count("Target"))
            targets[attributes.at("Id")] = attributes.at("Target");
    };
    read = read && relationships && xml.Parse(*relationships);
    if (!read) {
        PlanTable broken;
        broken.Fail(0, "not a workbook that can be read: " + (xml.Error().empty() ? "a part is missing" : xml.Error()));
        return broken;
    }
    std::vector<std::string> names;
    std::optional<std::pair<std::string, std::string>> chosen;
    for (const auto &sheet : sheets) {
        names.push_back(sheet.first);
        if (!chosen && (wanted.empty() || sheet.first == wanted))
            chosen = sheet;
    }
    if (!chosen || !targets.count(chosen->second)) {
        PlanTable missing;
        missing.Fail(0, chosen ? "the workbook's first sheet cannot be found in it" : NoSuchSheet(wanted, names));
        return missing;
    }

    PlanTable table(chosen->first);
    // The workbook's strings, which cells name by their index.
    std::vector<std::string> shared;
    if (const std::optional<std::string> strings = part("xl/sharedStrings.xml")) {
        std::string text;
        int phonetic = 0; // inside a reading aid, whose text is no part of the cell
        bool inText = false;
        xml.onStart = [&](const std::string &name, const XmlParser::Attributes &) {
            if (name == "si")
                text.clear();
            phonetic += name == "rPh";
            inText = name == "t" && phonetic == 0;
        };
        xml.onEnd = [&](const std::string &name) {
            phonetic -= name == "rPh";
            inText = false;
            if (name == "si")
                shared.push_back(Unescaped(text));
        };
        xml.onText = [&](const char *chars, int length) {
            if (inText)
                text.append(chars, static_cast<std::size_t>(length));
        };
        if (!xml.Parse(*strings)) {
            table.Fail(0, "the workbook's strings cannot be read: " + xml.Error());
            return table;
        }
    }

    const std::optional<std::string> sheet = part(PartPath(targets.at(chosen->second)));
    if (!sheet) {
        table.Fail(0, "sheet " + SheetName(chosen->first) + " cannot be read from the workbook");
        return table;
    }
    PlanTable::Row row;
    std::size_t column = 0;
    std::string type;
    std::string value;
    bool inValue = false;
    bool hasValue = false;
    xml.onStart = [&](const std::string &name, const XmlParser::Attributes &attributes) {
        if (name == "row") {
            const auto number = attributes.find("r");
            row.cells.clear();
            row.line = number != attributes.end() ? std::strtoul(number->second.c_str(), nullptr, 10) : row.line + 1;
            column = 0;
        } else if (name == "c") {
            const auto reference = attributes.find("r");
            std::size_t referenced = 0, line = 0;
            if (reference != attributes.end() && ParseReference(reference->second, referenced, line))
                column = referenced;
            const auto typed = attributes.find("t");
            type = typed != attributes.end() ? typed->second : "n";
            value.clear();
            hasValue = false;
        } else if (name == "v" || name == "t") {
            inValue = true;
            hasValue = true;
        }
    };
    xml.onText = [&](const char *chars, int length) {
        if (inValue)
            value.append(chars, static_cast<std::size_t>(length));
    };
    xml.onEnd = [&](const std::string &name) {
        if (name == "v" || name == "t") {
            inValue = false;
        } else if (name == "c") {
            if (column >= PlanTable::kMaxColumns) {
                xml.Stop(table.Where(row.line, column) + " lies beyond the last column a sheet has");
                return;
            }
            PlanTable::Cell cell;
            if (type == "s") {
                const std::size_t index = std::strtoul(value.c_str(), nullptr, 10);
                if (!hasValue || index >= shared.size()) {
                    xml.Stop(table.Where(row.line, column) + " names a string the workbook does not hold");
                    return;
                }
                cell.text = shared[index];
            } else {
                cell.text = type == "str" || type == "inlineStr" ? Unescaped(value) : value;
                cell.number = hasValue && type != "str" && type != "inlineStr";
            }
            if (row.cells.size() <= column)
                row.cells.resize(column + 1);
            row.cells[column] = std::move(cell);
            ++column;
        } else if (name == "row" && !row.cells.empty()) {
            if (table.rows.size() < PlanTable::kMaxSheetRows)
                table.rows.push_back(row);
        }
    };
    if (!xml.Parse(*sheet))
        table.Fail(0, "sheet " + SheetName(chosen->first) + " cannot be read: " + xml.Error());
    return table;
}

} // namespace velqor
