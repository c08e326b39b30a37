#ifndef VELQOR_SERIAL_H
#define VELQOR_SERIAL_H

#include <optional>
#include <string>

namespace velqor {

/// A device's serial number: the exact bytes it answered with, compared as
/// bytes. Text forms come from here and nowhere else, and every one of them
/// reads back through FromText to exactly these bytes.
///
/// The display form shows valid UTF-8 as its text and writes as \xNN every
/// byte that is not UTF-8 and every character that would not show as
/// itself: controls, the backslash, invisible and format characters, every
/// space but U+0020, unassigned code points, characters that normalisation
/// replaces by another, and a combining mark that would merge into the
/// character before it. A serial that begins with "hex:" has its "h"
/// escaped, since that prefix introduces the hex form. So two different
/// serials never look the same.
class Serial {
public:
    Serial() = default;
    explicit Serial(std::string bytes) : bytes(std::move(bytes)) { }

    /// A serial as a person types it: "hex:" and pairs of hex digits, or any
    /// of the forms below (UTF-8 text with \xNN escapes). None for text that
    /// does not say one exact byte string (a stray backslash, odd hex digits).
    static std::optional<Serial> FromText(const std::string &text);

    const std::string &Bytes() const { return bytes; }
    bool Empty() const { return bytes.empty(); }

    /// The display form, UTF-8: for JSON, logs and messages.
    std::string Display() const;
    /// The display form for a table or a message, where spaces at either end
    /// would vanish: those as \x20, and "hex:" for the empty serial.
    std::string Column() const;
    /// The column form for a spreadsheet cell: a first character that would
    /// start a formula (= + - @) or that a spreadsheet swallows (') as \xNN.
    std::string Cell() const;
    /// The bytes as lower-case hex digits, two per byte.
    std::string Hex() const;

    bool operator==(const Serial &other) const { return bytes == other.bytes; }
    bool operator!=(const Serial &other) const { return bytes != other.bytes; }
    bool operator<(const Serial &other) const { return bytes < other.bytes; }

private:
    std::string bytes;
};

} // namespace velqor

#endif // VELQOR_SERIAL_H
