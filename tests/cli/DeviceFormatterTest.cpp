#include "DeviceFormatter.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using velqor::DeviceDetails;

namespace {

DeviceDetails Device(std::string serial, velqor::Ipv4Bytes address)
{
    return DeviceDetails {velqor::Serial(std::move(serial)), address, {"eth1", 3, {192, 168, 5, 1}, 24}, {}, {}, {}};
}

} // namespace

TEST(DeviceFormatterTest, TheTableIsSafeOnATerminalAndFitsIt)
{
    const QByteArray table = DeviceFormatter::list({Device(std::string("\x1b]0;pwned\x07", 10), {192, 168, 5, 7}),
                                                    Device(std::string(200, 'L'), {192, 168, 5, 8})},
                                                   DeviceFormatter::Format::Table);
    EXPECT_FALSE(table.contains('\x1b'));
    EXPECT_TRUE(table.contains("\\x1b]0;pwned\\x07 "));
    for (const QByteArray &line : table.split('\n'))
        EXPECT_LE(QString::fromUtf8(line).size(), 80) << line.constData();
}

TEST(DeviceFormatterTest, WatchCsvStartsWithOneHeader)
{
    const DeviceDetails device = Device("SN,1", {192, 168, 5, 9});
    const QByteArray first = DeviceFormatter::event("appeared", device, DeviceFormatter::Format::Csv, true);
    const QByteArray next = DeviceFormatter::event("gone", device, DeviceFormatter::Format::Csv, false);
    EXPECT_TRUE(first.startsWith("event,time,serial,address,network,serial_hex,also_at\r\nappeared,"));
    EXPECT_TRUE(next.startsWith("gone,"));
    EXPECT_TRUE(QRegularExpression("^gone,\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d),")
                    .match(QString::fromUtf8(next))
                    .hasMatch())
        << "RFC 3339 with the offset and milliseconds: " << next.constData();
    EXPECT_TRUE(next.endsWith(",\"SN,1\",192.168.5.9,eth1 192.168.5.1/24,534e2c31,\r\n")) << next.constData();
}
