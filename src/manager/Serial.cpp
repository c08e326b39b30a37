#include "Serial.h"

#include <cstdint>
#include <vector>

namespace velqor {

namespace {

const char kHexDigits[] = "0123456789abcdef";

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

std::string Escape(unsigned char byte)
{
    return {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0x0f]};
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

/// Characters that act on a terminal, a cell or the direction of the text
/// around them instead of showing: C0 and C1 controls, DEL, the backslash
/// (it starts an escape), line and paragraph separators and bidi controls.
bool ShownAsItself(std::uint32_t c)
{
    if (c < 0x20 || c == '\\' || (c >= 0x7f && c <= 0x9f))
        return false;
    if (c == 0x200e || c == 0x200f || (c >= 0x2028 && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069))
        return false;
    return true;
}

/// The display form as tokens: one per shown character, one per escape.
std::vector<std::string> DisplayTokens(const std::string &bytes)
{
    std::vector<std::string> tokens;
    for (std::size_t at = 0; at < bytes.size();) {
        std::uint32_t codePoint = 0;
        const std::size_t length = DecodeUtf8(bytes, at, codePoint);
        if (length > 0 && ShownAsItself(codePoint)) {
            tokens.push_back(bytes.substr(at, length));
            at += length;
            continue;
        }
        for (std::size_t i = 0; i < (length > 0 ? length : 1); ++i)
            tokens.push_back(Escape(static_cast<unsigned char>(bytes[at + i])));
        at += length > 0 ? length : 1;
    }
    return tokens;
}

} // namespace

std::optional<Serial> Serial::FromText(const std::string &text)
{
    std::string bytes;
    static const std::string hexPrefix = "hex:";
    if (text.compare(0, hexPrefix.size(), hexPrefix) == 0) {
        const std::string digits = text.substr(hexPrefix.size());
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
    // The same as joining DisplayTokens, without a string per character:
    // tables read this for every row they paint.
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        std::uint32_t codePoint = 0;
        const std::size_t length = DecodeUtf8(bytes, at, codePoint);
        if (length > 0 && ShownAsItself(codePoint)) {
            text.append(bytes, at, length);
            at += length;
            continue;
        }
        for (std::size_t i = 0; i < (length > 0 ? length : 1); ++i)
            text += Escape(static_cast<unsigned char>(bytes[at + i]));
        at += length > 0 ? length : 1;
    }
    return text;
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

std::string Serial::Column(std::size_t width) const
{
    if (bytes.empty())
        return "\"\"";
    static const std::string ellipsis = "\xe2\x80\xa6";
    std::vector<std::string> tokens;
    for (std::string &token : DisplayTokens(bytes)) {
        if (token == ellipsis) {
            for (const char c : ellipsis)
                tokens.push_back(Escape(static_cast<unsigned char>(c)));
        } else {
            tokens.push_back(std::move(token));
        }
    }
    // Spaces at either end would vanish in a column.
    for (std::size_t i = 0; i < tokens.size() && tokens[i] == " "; ++i)
        tokens[i] = Escape(' ');
    for (std::size_t i = tokens.size(); i > 0 && tokens[i - 1] == " "; --i)
        tokens[i - 1] = Escape(' ');

    auto widthOf = [](const std::string &token) { return token[0] == '\\' ? token.size() : std::size_t(1); };
    std::size_t total = 0;
    for (const std::string &token : tokens)
        total += widthOf(token);
    std::string text;
    if (total <= width) {
        for (const std::string &token : tokens)
            text += token;
        return text;
    }
    // Whole tokens from both ends around the ellipsis, the head a little longer.
    const std::size_t room = width > 1 ? width - 1 : 0;
    std::size_t head = 0;
    std::size_t used = 0;
    while (head < tokens.size() && used + widthOf(tokens[head]) <= room - room / 2) {
        used += widthOf(tokens[head]);
        ++head;
    }
    std::size_t tail = tokens.size();
    while (tail > head && used + widthOf(tokens[tail - 1]) <= room) {
        used += widthOf(tokens[tail - 1]);
        --tail;
    }
    for (std::size_t i = 0; i < head; ++i)
        text += tokens[i];
    text += ellipsis;
    for (std::size_t i = tail; i < tokens.size(); ++i)
        text += tokens[i];
    return text;
}

} // namespace velqor
