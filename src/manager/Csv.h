#ifndef VELQOR_CSV_H
#define VELQOR_CSV_H

#include <string>
#include <vector>

namespace velqor {

/// One CSV record (RFC 4180): fields quoted where they hold a comma, a quote
/// or a line break, quotes doubled, ended by CRLF.
std::string CsvRecord(const std::vector<std::string> &fields);

/// Whether the bytes hold anything but printable ASCII.
bool HasUnprintable(const std::string &bytes);

/// The bytes as lower-case hex digits, two per byte.
std::string Hex(const std::string &bytes);

} // namespace velqor

#endif // VELQOR_CSV_H
