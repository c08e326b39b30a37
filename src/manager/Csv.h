#ifndef VELQOR_CSV_H
#define VELQOR_CSV_H

#include "DeviceDetails.h"

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

/// The columns of a device list as CSV: serial, address, network, serial_hex.
std::vector<std::string> DeviceCsvHeader();
/// One device's fields: the serial's bytes as Latin-1 characters in UTF-8,
/// the network as interface and the workstation's address/prefix, and the
/// serial in hex where a byte is unprintable. The window's export and the
/// command line write the same.
std::vector<std::string> DeviceCsvFields(const DeviceDetails &device);

} // namespace velqor

#endif // VELQOR_CSV_H
