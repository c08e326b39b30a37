#ifndef VELQOR_CSV_H
#define VELQOR_CSV_H

#include "DeviceDetails.h"

#include <string>
#include <vector>

namespace velqor {

/// A cell that a spreadsheet would take for a formula (it starts with = + -
/// @, a tab or a carriage return) with a leading ' so that it stays text.
std::string SpreadsheetSafe(const std::string &cell);

/// One CSV record (RFC 4180): every field spreadsheet-safe, quoted where it
/// holds a comma, a quote or a line break, quotes doubled, ended by CRLF.
std::string CsvRecord(const std::vector<std::string> &fields);

/// One tab-separated line as the clipboard takes it: spreadsheet-safe cells,
/// which must not hold a tab or a line break themselves.
std::string TsvRecord(const std::vector<std::string> &fields);

/// The columns of a device list as CSV: serial, address, network,
/// serial_hex, also_at, interface, warnings.
std::vector<std::string> DeviceCsvHeader();
/// One device's fields: the serial's cell form (which reads back to the
/// serial, and starts no formula), the address, the network as interface
/// and the workstation's address/prefix, the serial's exact bytes in hex,
/// the other addresses its serial answers from (space-separated), the
/// interface it answers on, and its warnings' identifiers (space-separated).
/// The window's export and clipboard and the command line write the same.
std::vector<std::string> DeviceCsvFields(const DeviceDetails &device);

} // namespace velqor

#endif // VELQOR_CSV_H
