#include "Csv.h"

namespace velqor {

std::string SpreadsheetSafe(const std::string &cell)
{
    if (!cell.empty() && std::string("=+-@\t\r").find(cell.front()) != std::string::npos)
        return "'" + cell;
    return cell;
}

std::string CsvRecord(const std::vector<std::string> &fields)
{
    std::string record;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            record += ',';
        const std::string field = SpreadsheetSafe(fields[i]);
        if (field.find_first_of(",\"\r\n") == std::string::npos) {
            record += field;
            continue;
        }
        record += '"';
        for (const char c : field) {
            if (c == '"')
                record += '"';
            record += c;
        }
        record += '"';
    }
    return record + "\r\n";
}

std::string TsvRecord(const std::vector<std::string> &fields)
{
    std::string record;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            record += '\t';
        record += SpreadsheetSafe(fields[i]);
    }
    return record + "\n";
}

std::vector<std::string> DeviceCsvHeader()
{
    return {"serial", "address", "network", "serial_hex", "also_at", "interface", "warnings"};
}

std::vector<std::string> DeviceCsvFields(const DeviceDetails &device)
{
    std::string alsoAt;
    for (const Ipv4Bytes &other : device.alsoAt)
        alsoAt += (alsoAt.empty() ? "" : " ") + FormatAddress(other);
    std::string warnings;
    for (const Diagnostic &warning : device.warnings)
        warnings += (warnings.empty() ? "" : " ") + warning.Id();
    return {device.serial.Cell(),
            FormatAddress(device.address),
            device.via.Label(),
            device.serial.Hex(),
            alsoAt,
            device.via.name,
            warnings};
}

} // namespace velqor
