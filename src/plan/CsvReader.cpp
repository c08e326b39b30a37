#include "CsvReader.h"

#include <array>
#include <cstdint>
#include <utility>

namespace velqor {

namespace {

const char *const kSaveAsUtf8 = "save it as CSV UTF-8";

bool ValidUtf8(const std::string &text)
{
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        std::uint32_t least = 0;
        if (lead < 0x80) {
            ++at;
            continue;
        } else if ((lead & 0xe0) == 0xc0) {
            length = 2, code = lead & 0x1fu, least = 0x80;
        } else if ((lead & 0xf0) == 0xe0) {
            length = 3, code = lead & 0x0fu, least = 0x800;
        } else if ((lead & 0xf8) == 0xf0) {
            length = 4, code = lead & 0x07u, least = 0x10000;
        } else {
            return false;
        }
        if (at + length > text.size())
            return false;
        for (std::size_t next = 1; next < length; ++next) {
            const auto byte = static_cast<unsigned char>(text[at + next]);
            if ((byte & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (byte & 0x3fu);
        }
        if (code < least || code > 0x10ffff || (code >= 0xd800 && code < 0xe000))
            return false;
        at += length;
    }
    return true;
}

std::string FromUtf16(const std::string &bytes, bool bigEndian, std::string &error)
{
    if (bytes.size() % 2 != 0) {
        error = "UTF-16 text with an odd number of bytes: the file is cut short; " + std::string(kSaveAsUtf8);
        return {};
    }
    const auto unit = [&](std::size_t at) {
        const auto high = static_cast<unsigned char>(bytes[bigEndian ? at : at + 1]);
        const auto low = static_cast<unsigned char>(bytes[bigEndian ? at + 1 : at]);
        return static_cast<std::uint32_t>(high << 8 | low);
    };
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size(); at += 2) {
        std::uint32_t code = unit(at);
        if (code >= 0xd800 && code < 0xdc00 && at + 2 < bytes.size() && unit(at + 2) >= 0xdc00 &&
            unit(at + 2) < 0xe000) {
            code = 0x10000 + ((code - 0xd800) << 10) + (unit(at + 2) - 0xdc00);
            at += 2;
        } else if (code >= 0xd800 && code < 0xe000) {
            error = "UTF-16 text with a broken surrogate pair: " + std::string(kSaveAsUtf8);
            return {};
        }
        AppendUtf8(out, code);
    }
    return out;
}

// Windows-1252's characters for 0x80 to 0x9f; 0 where it has none.
constexpr std::array<std::uint16_t, 32> kWindows1252High {
    0x20ac, 0,      0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017d, 0,      0,      0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0,      0x017e, 0x0178};

std::string FromWindows1252(const std::string &bytes, std::string &error)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        std::uint32_t code = byte;
        if (byte >= 0x80 && byte < 0xa0)
            code = kWindows1252High[byte - 0x80];
        if (code == 0) {
            error = "the text is neither UTF-8 nor Windows-1252: " + std::string(kSaveAsUtf8);
            return {};
        }
        AppendUtf8(out, code);
    }
    return out;
}

// The separator the header row holds most of, outside quotes: a semicolon
// where a spreadsheet's locale has a decimal comma, a tab from a paste.
char Separator(const std::string &text)
{
    std::size_t at = 0;
    while (at < text.size() && (text[at] == '\r' || text[at] == '\n' || text[at] == ' '))
        ++at;
    std::size_t commas = 0, semicolons = 0, tabs = 0;
    bool quoted = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '\r' || c == '\n')
            break;
        commas += c == ',';
        semicolons += c == ';';
        tabs += c == '\t';
    }
    if (tabs > commas && tabs >= semicolons)
        return '\t';
    return semicolons > commas ? ';' : ',';
}

} // namespace

std::string CsvReader::Decoded(const std::string &bytes, std::string &error)
{
    if (bytes.rfind("\xef\xbb\xbf", 0) == 0)
        return bytes.substr(3);
    if (bytes.rfind("\xff\xfe", 0) == 0)
        return FromUtf16(bytes.substr(2), false, error);
    if (bytes.rfind("\xfe\xff", 0) == 0)
        return FromUtf16(bytes.substr(2), true, error);
    if (bytes.find('\0') != std::string::npos) {
        error = "holds NUL bytes: UTF-16 text without a byte-order mark, or no text file at all; " +
            std::string(kSaveAsUtf8);
        return {};
    }
    if (ValidUtf8(bytes))
        return bytes;
    return FromWindows1252(bytes, error);
}

PlanTable CsvReader::Read(const std::string &bytes)
{
    PlanTable table;
    std::string error;
    const std::string text = Decoded(bytes, error);
    if (!error.empty()) {
        table.Fail(0, error);
        return table;
    }
    const char separator = Separator(text);
    std::size_t at = 0;
    std::size_t line = 1;
    while (at < text.size()) {
        PlanTable::Row row;
        row.line = line;
        std::string field;
        bool quoted = false; // inside quotes
        bool wasQuoted = false; // this field was quoted, and its quotes closed
        bool ended = false;
        while (at < text.size() && !ended) {
            const char c = text[at++];
            if (quoted) {
                if (c == '"' && at < text.size() && text[at] == '"') {
                    field += '"';
                    ++at;
                } else if (c == '"') {
                    quoted = false;
                    wasQuoted = true;
                } else {
                    // CR LF within a cell is one line break, as outside one.
                    line += c == '\n' || (c == '\r' && (at >= text.size() || text[at] != '\n')) ? 1 : 0;
                    field += c;
                }
            } else if (c == separator) {
                row.cells.push_back({std::move(field), false});
                field.clear();
                wasQuoted = false;
            } else if (c == '\r' || c == '\n') {
                at += c == '\r' && at < text.size() && text[at] == '\n' ? 1 : 0;
                ++line;
                ended = true;
            } else if (c == '"' && field.find_first_not_of(" ") == std::string::npos && !wasQuoted) {
                // Spaces before the opening quote are a spreadsheet's padding.
                field.clear();
                quoted = true;
            } else if (wasQuoted && c != ' ') {
                table.Fail(line, "text after a closing quote: not a CSV file");
                return table;
            } else if (!wasQuoted) {
                field += c;
            }
        }
        if (quoted) {
            table.Fail(row.line, "a quoted cell is not closed");
            return table;
        }
        row.cells.push_back({std::move(field), false});
        table.rows.push_back(std::move(row));
    }
    return table;
}

} // namespace velqor
