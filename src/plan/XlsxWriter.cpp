#include "XlsxWriter.h"

#include "PlanTable.h"
#include "ZipArchive.h"

#include <algorithm>
#include <cstdio>

namespace velqor {

namespace {

// XML text, with what XML cannot hold, and a "_x" that a reader would take
// for such an escape, written as Excel writes them.
std::string Escaped(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else if ((c < 0x20 && c != '\t' && c != '\n') || c == '\r' || (c == '_' && text.compare(at, 2, "_x") == 0)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "_x%04X_", c);
            out += escape;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

void AppendRow(std::string &xml, std::size_t number, const std::vector<std::string> &cells)
{
    xml += "<row r=\"" + std::to_string(number) + "\">";
    for (std::size_t column = 0; column < cells.size(); ++column) {
        if (cells[column].empty())
            continue;
        xml += "<c r=\"" + ColumnLetters(column) + std::to_string(number) +
            "\" s=\"1\" t=\"inlineStr\"><is><t xml:space=\"preserve\">" + Escaped(cells[column]) + "</t></is></c>";
    }
    xml += "</row>";
}

} // namespace

std::string XlsxWriter::Write(const std::string &sheet, const std::vector<std::string> &header,
                              const std::vector<std::vector<std::string>> &rows)
{
    std::size_t columns = header.size();
    for (const auto &row : rows)
        columns = std::max(columns, row.size());
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string relationships = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

    std::string worksheet = declaration + "<worksheet xmlns=\"" + main + "\">";
    // Text format (number format 49, "@") for whole columns: what is typed
    // into them later stays text too.
    if (columns > 0)
        worksheet += "<cols><col min=\"1\" max=\"" + std::to_string(columns) + "\" width=\"18\" style=\"1\"/></cols>";
    worksheet += "<sheetData>";
    AppendRow(worksheet, 1, header);
    for (std::size_t index = 0; index < rows.size(); ++index)
        AppendRow(worksheet, index + 2, rows[index]);
    worksheet += "</sheetData></worksheet>";

    return ZipArchive::Write({
        {"[Content_Types].xml",
         declaration +
             "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
             "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
             "<Override PartName=\"/xl/workbook.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
             "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
             "<Override PartName=\"/xl/styles.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
             "</Types>"},
        {"_rels/.rels",
         declaration +
             "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId1\" Type=\"" +
             relationships +
             "/officeDocument\" Target=\"xl/workbook.xml\"/>"
             "</Relationships>"},
        {"xl/workbook.xml",
         declaration + "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + relationships + "\"><sheets><sheet name=\"" +
             Escaped(sheet) + "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         declaration +
             "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId1\" Type=\"" +
             relationships +
             "/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
             "<Relationship Id=\"rId2\" Type=\"" +
             relationships +
             "/styles\" Target=\"styles.xml\"/>"
             "</Relationships>"},
        {"xl/styles.xml",
         declaration + "<styleSheet xmlns=\"" + main +
             "\">"
             "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
             "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
             "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
             "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
             "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
             "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
             "<xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
             "</cellXfs></styleSheet>"},
        {"xl/worksheets/sheet1.xml", worksheet},
    });
}

} // namespace velqor
