#include "OdsReader.h"

#include "XmlParser.h"
#include "ZipArchive.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace velqor {

namespace {

std::size_t Repeats(const XmlParser::Attributes &attributes, const char *name)
{
    const auto found = attributes.find(name);
    if (found == attributes.end())
        return 1;
    return std::max<std::size_t>(1, std::strtoul(found->second.c_str(), nullptr, 10));
}

} // namespace

PlanTable OdsReader::Read(const std::string &bytes, const std::string &wanted)
{
    ZipArchive zip(bytes);
    const std::optional<std::string> content = zip.Member("content.xml", PlanTable::kMaxPartBytes);
    if (!zip.Ok() || !content) {
        PlanTable broken;
        broken.Fail(0, "not a spreadsheet that can be read: the zip archive or its content.xml is broken");
        return broken;
    }

    std::vector<std::string> names;
    std::optional<PlanTable> table;
    bool inTable = false; // the sheet chosen, being read
    bool done = false;
    int nested = 0; // a table within a cell, or a note on one: not the sheet's cells
    PlanTable::Row row;
    std::size_t line = 0; // rows before this one, repeats counted
    std::size_t rowRepeats = 1;
    std::size_t emptyCells = 0; // empty cells not yet placed: only a later cell with text places them
    PlanTable::Cell cell;
    std::size_t cellRepeats = 1;
    bool inCell = false;
    int paragraphs = 0;
    bool inParagraph = false;

    XmlParser xml;
    xml.onStart = [&](const std::string &name, const XmlParser::Attributes &attributes) {
        if (done)
            return;
        if (name == "table" && !inTable) {
            const auto sheet = attributes.find("name");
            names.push_back(sheet != attributes.end() ? sheet->second : std::string());
            if (wanted.empty() || names.back() == wanted) {
                table.emplace(names.back().empty() ? std::string("?") : names.back());
                inTable = true;
            }
            return;
        }
        if (!inTable)
            return;
        if (name == "table" || name == "annotation") {
            ++nested;
        } else if (nested > 0) {
            return;
        } else if (name == "table-row") {
            row.cells.clear();
            row.line = line + 1;
            rowRepeats = Repeats(attributes, "number-rows-repeated");
            emptyCells = 0;
        } else if (name == "table-cell" || name == "covered-table-cell") {
            cell = {};
            const auto type = attributes.find("value-type");
            cell.number = type != attributes.end() && type->second != "string";
            cellRepeats = Repeats(attributes, "number-columns-repeated");
            inCell = true;
            paragraphs = 0;
        } else if (inCell && name == "p") {
            if (paragraphs++ > 0)
                cell.text += '\n';
            inParagraph = true;
        } else if (inParagraph && name == "s") {
            cell.text.append(std::min<std::size_t>(Repeats(attributes, "c"), 1024), ' ');
        } else if (inParagraph && name == "tab") {
            cell.text += '\t';
        } else if (inParagraph && name == "line-break") {
            cell.text += '\n';
        }
    };
    xml.onText = [&](const char *chars, int length) {
        if (inParagraph && nested == 0)
            cell.text.append(chars, static_cast<std::size_t>(length));
    };
    xml.onEnd = [&](const std::string &name) {
        if (!inTable || done)
            return;
        if (name == "table" || name == "annotation") {
            if (nested > 0) {
                --nested;
            } else if (name == "table") {
                done = true;
            }
        } else if (nested > 0) {
            return;
        } else if (name == "p") {
            inParagraph = false;
        } else if (name == "table-cell" || name == "covered-table-cell") {
            inCell = false;
            if (cell.text.empty()) {
                emptyCells += cellRepeats;
                return;
            }
            if (row.cells.size() + emptyCells + cellRepeats > PlanTable::kMaxColumns) {
                xml.Stop(table->Where(row.line, row.cells.size() + emptyCells) +
                         " lies beyond the last column a sheet has");
                return;
            }
            row.cells.resize(row.cells.size() + emptyCells);
            emptyCells = 0;
            row.cells.insert(row.cells.end(), cellRepeats, cell);
        } else if (name == "table-row") {
            for (std::size_t copy = 0; !row.cells.empty() && copy < rowRepeats; ++copy) {
                if (table->rows.size() >= PlanTable::kMaxSheetRows)
                    break;
                table->rows.push_back(row);
                ++row.line;
            }
            line += rowRepeats;
        }
    };
    if (!xml.Parse(*content)) {
        PlanTable broken(table ? table->Sheet() : std::string("?"));
        broken.Fail(0, "the spreadsheet cannot be read: " + xml.Error());
        return broken;
    }
    if (!table) {
        PlanTable missing;
        missing.Fail(0, wanted.empty() ? std::string("the spreadsheet has no sheets") : NoSuchSheet(wanted, names));
        return missing;
    }
    return *table;
}

} // namespace velqor
