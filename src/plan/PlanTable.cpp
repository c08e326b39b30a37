#include "PlanTable.h"

namespace velqor {

void AppendUtf8(std::string &text, std::uint32_t code)
{
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xc0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xe0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
        text += static_cast<char>(0x80 | (code & 0x3f));
    } else {
        text += static_cast<char>(0xf0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
        text += static_cast<char>(0x80 | (code & 0x3f));
    }
}

std::string ColumnLetters(std::size_t column)
{
    std::string letters;
    for (std::size_t left = column + 1; left > 0; left = (left - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (left - 1) % 26));
    return letters;
}

std::string SheetName(const std::string &name)
{
    std::string shown;
    for (const char c : name.substr(0, 64))
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    return "\"" + shown + "\"";
}

std::string NoSuchSheet(const std::string &asked, const std::vector<std::string> &names)
{
    std::string text = "no sheet " + SheetName(asked) + ": the file has ";
    if (names.empty())
        return text + "no sheets";
    for (std::size_t at = 0; at < names.size() && at < 10; ++at)
        text += (at > 0 ? ", " : "") + SheetName(names[at]);
    return text + (names.size() > 10 ? ", …" : "");
}

std::string PlanTable::Where(std::size_t line, std::size_t column) const
{
    if (sheet.empty())
        return "line " + std::to_string(line);
    const std::string place =
        column == npos ? "row " + std::to_string(line) : "cell " + ColumnLetters(column) + std::to_string(line);
    return "sheet " + SheetName(sheet) + ", " + place;
}

std::string PlanTable::ColumnName(std::size_t column) const
{
    return "column " + (sheet.empty() ? std::to_string(column + 1) : ColumnLetters(column));
}

void PlanTable::Fail(std::size_t line, std::string what)
{
    rows.clear();
    error = line > 0 ? Where(line) + ": " + what : std::move(what);
}

} // namespace velqor
