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
/// serial_hex, also_at.
std::vector<std::string> DeviceCsvHeader();
/// One device's fields: the serial's display form, the address, the network
/// as interface and the workstation's address/prefix, the serial's exact
/// bytes in hex, and the other addresses its serial answered from
/// (space-separated). The window's export and the command line write the same.
std::vector<std::string> DeviceCsvFields(const DeviceDetails &device);

} // namespace velqor

#endif // VELQOR_CSV_H
