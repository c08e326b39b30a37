#include "Csv.h"

namespace velqor {

std::string CsvRecord(const std::vector<std::string> &fields)
{
    std::string record;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            record += ',';
        const std::string &field = fields[i];
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

bool HasUnprintable(const std::string &bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f)
            return true;
    }
    return false;
}

std::string Hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += digits[byte >> 4];
        text += digits[byte & 0x0f];
    }
    return text;
}

std::vector<std::string> DeviceCsvHeader()
{
    return {"serial", "address", "network", "serial_hex"};
}

std::vector<std::string> DeviceCsvFields(const DeviceDetails &device)
{
    std::string serial;
    for (const char c : device.serial) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            serial += c;
        } else {
            serial += static_cast<char>(0xc0 | (byte >> 6));
            serial += static_cast<char>(0x80 | (byte & 0x3f));
        }
    }
    return {serial, device.address, device.via.Label(), HasUnprintable(device.serial) ? Hex(device.serial) : ""};
}

} // namespace velqor
