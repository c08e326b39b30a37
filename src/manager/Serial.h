#ifndef VELQOR_SERIAL_H
#define VELQOR_SERIAL_H

#include <cstddef>
#include <optional>
#include <string>

namespace velqor {

/// A device's serial number: the exact bytes it answered with, compared as
/// bytes. Text forms come from here and nowhere else.
///
/// The display form shows valid UTF-8 as its text and writes every other
/// byte, every control character and the backslash as \xNN, so it is safe on
/// a terminal and in a cell, and reads back to the same bytes.
class Serial {
public:
    Serial() = default;
    explicit Serial(std::string bytes) : bytes(std::move(bytes)) { }

    /// A serial as a person types it: "hex:" and pairs of hex digits, or the
    /// display form (UTF-8 text with \xNN escapes). None for text that does
    /// not say one exact byte string (a stray backslash, odd hex digits).
    static std::optional<Serial> FromText(const std::string &text);

    const std::string &Bytes() const { return bytes; }
    bool Empty() const { return bytes.empty(); }

    /// The display form, UTF-8.
    std::string Display() const;
    /// The bytes as lower-case hex digits, two per byte.
    std::string Hex() const;
    /// The display form for a column of at most width characters: leading
    /// and trailing spaces as \x20, a literal ellipsis escaped so that "…"
    /// only ever marks where a long serial was elided (never inside an
    /// escape), and "" for the empty serial.
    std::string Column(std::size_t width) const;

    bool operator==(const Serial &other) const { return bytes == other.bytes; }
    bool operator!=(const Serial &other) const { return bytes != other.bytes; }
    bool operator<(const Serial &other) const { return bytes < other.bytes; }

private:
    std::string bytes;
};

} // namespace velqor

#endif // VELQOR_SERIAL_H
