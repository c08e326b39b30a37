#include "DeviceFormatter.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using velqor::DeviceDetails;

namespace {

DeviceDetails Device(std::string serial, velqor::Ipv4Bytes address)
{
    DeviceDetails device;
    device.serial = velqor::Serial(std::move(serial));
    device.address = address;
    device.via = {"eth1", 3, {192, 168, 5, 1}, 24};
    return device;
}

} // namespace

TEST(DeviceFormatterTest, TheTableIsSafeOnATerminalAndNeverPrintsTwoSerialsAlike)
{
    std::string longer(200, 'L');
    longer[100] = 'M';
    const QByteArray table = DeviceFormatter::list({Device(std::string("\x1b]0;pwned\x07", 10), {192, 168, 5, 7}),
                                                    Device(std::string(200, 'L'), {192, 168, 5, 8}),
                                                    Device(longer, {192, 168, 5, 9}), Device(" X", {192, 168, 5, 10})},
                                                   DeviceFormatter::Format::Table);
    EXPECT_FALSE(table.contains('\x1b'));
    EXPECT_TRUE(table.contains("\\x1b]0;pwned\\x07 "));
    EXPECT_TRUE(table.contains(QByteArray::fromStdString(longer)));
    EXPECT_TRUE(table.contains(QByteArray(200, 'L')));
    EXPECT_TRUE(table.contains("\n\\x20X ")) << "a leading space is no padding";
}

TEST(DeviceFormatterTest, WatchCsvStartsWithOneHeader)
{
    const DeviceDetails device = Device("SN,1", {192, 168, 5, 9});
    const QByteArray first = DeviceFormatter::event("appeared", device, DeviceFormatter::Format::Csv, true);
    const QByteArray next = DeviceFormatter::event("gone", device, DeviceFormatter::Format::Csv, false);
    EXPECT_TRUE(
        first.startsWith("event,time,serial,address,network,serial_hex,also_at,interface,warnings\r\nappeared,"));
    EXPECT_TRUE(next.startsWith("gone,"));
    EXPECT_TRUE(QRegularExpression("^gone,\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d),")
                    .match(QString::fromUtf8(next))
                    .hasMatch())
        << "RFC 3339 with the offset and milliseconds: " << next.constData();
    EXPECT_TRUE(next.endsWith(",\"SN,1\",192.168.5.9,eth1 192.168.5.1/24,534e2c31,,eth1,\r\n")) << next.constData();
}
