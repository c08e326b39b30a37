#include "Serial.h"

#include "SerialEscapes.h"

#include <algorithm>
#include <cstdint>

namespace velqor {

namespace {

const char kHexDigits[] = "0123456789abcdef";
const std::string kHexPrefix = "hex:";

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendEscape(std::string &text, unsigned char byte)
{
    text += '\\';
    text += 'x';
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0x0f];
}

/// Length of the valid UTF-8 sequence at bytes[at] and its code point; 0 for
/// an invalid one (overlong forms, surrogates and values past U+10FFFF too).
std::size_t DecodeUtf8(const std::string &bytes, std::size_t at, std::uint32_t &codePoint)
{
    const auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xe0) == 0xc0) {
        length = 2;
        codePoint = lead & 0x1f;
        minimum = 0x80;
    } else if ((lead & 0xf0) == 0xe0) {
        length = 3;
        codePoint = lead & 0x0f;
        minimum = 0x800;
    } else if ((lead & 0xf8) == 0xf0) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[at + i]);
        if ((next & 0xc0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3f);
    }
    if (codePoint < minimum || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint <= 0xdfff))
        return 0;
    return length;
}

bool Escaped(std::uint32_t c)
{
    if (c >= 0x20 && c < 0x7f)
        return c == '\\';
    const CodePointRange *end = kEscapedCodePoints + kEscapedCodePointCount;
    const CodePointRange *found = std::upper_bound(
        kEscapedCodePoints, end, c, [](std::uint32_t v, const CodePointRange &r) { return v < r.first; });
    return found != kEscapedCodePoints && c <= (found - 1)->last;
}

/// Whether mark, after base, renders as one precomposed character: the same
/// look as another serial's single code point.
bool Composes(std::uint32_t base, std::uint32_t mark)
{
    // Hangul syllables compose by rule: a leading consonant and a vowel, then
    // a trailing consonant.
    if (base >= 0x1100 && base <= 0x1112 && mark >= 0x1161 && mark <= 0x1175)
        return true;
    if (base >= 0xac00 && base <= 0xd7a3 && (base - 0xac00) % 28 == 0 && mark >= 0x11a8 && mark <= 0x11c2)
        return true;
    if (mark < 0x300)
        return false;
    const CodePointPair *end = kComposingPairs + kComposingPairCount;
    return std::binary_search(kComposingPairs, end, CodePointPair {base, mark},
                              [](const CodePointPair &a, const CodePointPair &b) {
                                  return a.base != b.base ? a.base < b.base : a.mark < b.mark;
                              });
}

} // namespace

std::optional<Serial> Serial::FromText(const std::string &text)
{
    std::string bytes;
    if (text.compare(0, kHexPrefix.size(), kHexPrefix) == 0) {
        const std::string digits = text.substr(kHexPrefix.size());
        if (digits.size() % 2 != 0)
            return std::nullopt;
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            const int high = HexValue(digits[i]);
            const int low = HexValue(digits[i + 1]);
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes += static_cast<char>(high << 4 | low);
        }
        return Serial(std::move(bytes));
    }
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\') {
            bytes += text[at];
            continue;
        }
        // Only \xNN says a byte; anything else after a backslash is a typo
        // that must not become some other serial.
        if (at + 3 >= text.size() || text[at + 1] != 'x')
            return std::nullopt;
        const int high = HexValue(text[at + 2]);
        const int low = HexValue(text[at + 3]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high << 4 | low);
        at += 3;
    }
    return Serial(std::move(bytes));
}

std::string Serial::Display() const
{
    std::string text;
    text.reserve(bytes.size());
    std::size_t at = 0;
    if (bytes.compare(0, kHexPrefix.size(), kHexPrefix) == 0) {
        AppendEscape(text, static_cast<unsigned char>(bytes[0]));
        at = 1;
    }
    // The character shown before, which a combining mark would merge into;
    // none after an escape.
    std::uint32_t shown = 0;
    while (at < bytes.size()) {
        std::uint32_t codePoint = 0;
        const std::size_t length = DecodeUtf8(bytes, at, codePoint);
        if (length > 0 && !Escaped(codePoint) && !(shown != 0 && Composes(shown, codePoint))) {
            text.append(bytes, at, length);
            shown = codePoint;
            at += length;
            continue;
        }
        for (std::size_t i = 0; i < (length > 0 ? length : 1); ++i)
            AppendEscape(text, static_cast<unsigned char>(bytes[at + i]));
        shown = 0;
        at += length > 0 ? length : 1;
    }
    return text;
}

std::string Serial::Column() const
{
    if (bytes.empty())
        return kHexPrefix;
    std::string text = Display();
    // Spaces at either end would vanish in a column or a message.
    std::size_t first = 0;
    while (first < text.size() && text[first] == ' ')
        ++first;
    std::size_t last = text.size();
    while (last > first && text[last - 1] == ' ')
        --last;
    std::string column;
    column.reserve(text.size() + 3 * (first + text.size() - last));
    for (std::size_t i = 0; i < first; ++i)
        AppendEscape(column, ' ');
    column.append(text, first, last - first);
    for (std::size_t i = last; i < text.size(); ++i)
        AppendEscape(column, ' ');
    return column;
}

std::string Serial::Cell() const
{
    std::string cell = Column();
    if (std::string("=+-@'").find(cell.front()) == std::string::npos)
        return cell;
    std::string guarded;
    AppendEscape(guarded, static_cast<unsigned char>(cell.front()));
    return guarded + cell.substr(1);
}

std::string Serial::Hex() const
{
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0x0f];
    }
    return text;
}

} // namespace velqor
