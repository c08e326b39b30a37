#include "DeviceFormatter.h"

#include "Csv.h"
#include "XlsxWriter.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <algorithm>

namespace {

QString address(const velqor::Ipv4Bytes &bytes)
{
    return QString::fromStdString(velqor::FormatAddress(bytes));
}

QString warningIds(const velqor::DeviceDetails &device)
{
    QStringList ids;
    for (const velqor::Diagnostic &warning : device.warnings)
        ids << QString::fromStdString(warning.Id());
    return ids.join(QLatin1Char(','));
}

} // namespace

bool DeviceFormatter::parseFormat(const QString &text, Format *format)
{
    if (text == QLatin1String("table"))
        *format = Format::Table;
    else if (text == QLatin1String("json"))
        *format = Format::Json;
    else if (text == QLatin1String("csv"))
        *format = Format::Csv;
    else if (text == QLatin1String("xlsx"))
        *format = Format::Xlsx;
    else
        return false;
    return true;
}

QString DeviceFormatter::printableSerial(const velqor::DeviceDetails &device)
{
    return QString::fromStdString(device.serial.Column());
}

QByteArray DeviceFormatter::withoutTrailingSpaces(const QString &line)
{
    // Only the padding: what a cell starts with is part of it.
    qsizetype end = line.size();
    while (end > 0 && line[end - 1] == QLatin1Char(' '))
        --end;
    return line.left(end).toUtf8() + '\n';
}

QJsonObject DeviceFormatter::toJson(const velqor::DeviceDetails &device)
{
    QJsonArray warnings;
    for (const velqor::Diagnostic &warning : device.warnings)
        warnings.append(QString::fromStdString(warning.Id()));
    QJsonArray alsoAt;
    for (const velqor::Ipv4Bytes &other : device.alsoAt)
        alsoAt.append(address(other));
    return QJsonObject {
        {QStringLiteral("serial"), QString::fromStdString(device.serial.Display())},
        {QStringLiteral("serial_hex"), QString::fromStdString(device.serial.Hex())},
        {QStringLiteral("address"), address(device.address)},
        {QStringLiteral("also_at"), alsoAt},
        {QStringLiteral("interface"), QString::fromStdString(device.via.name)},
        {QStringLiteral("local_address"),
         device.via.name.empty() ? QString() : QString::fromStdString(device.via.SubnetText())},
        {QStringLiteral("warnings"), warnings},
    };
}

QByteArray DeviceFormatter::list(const std::vector<velqor::DeviceDetails> &devices, Format format)
{
    QByteArray out;
    switch (format) {
    case Format::Json: {
        QJsonArray array;
        for (const velqor::DeviceDetails &device : devices)
            array.append(toJson(device));
        return QJsonDocument(array).toJson(QJsonDocument::Indented);
    }
    case Format::Csv:
        out += QByteArray::fromStdString(velqor::CsvRecord(velqor::DeviceCsvHeader()));
        for (const velqor::DeviceDetails &device : devices)
            out += QByteArray::fromStdString(velqor::CsvRecord(velqor::DeviceCsvFields(device)));
        return out;
    case Format::Xlsx: {
        std::vector<std::vector<std::string>> rows;
        rows.reserve(devices.size());
        for (const velqor::DeviceDetails &device : devices)
            rows.push_back(velqor::DeviceCsvFields(device));
        return QByteArray::fromStdString(velqor::XlsxWriter::Write("Devices", velqor::DeviceCsvHeader(), rows));
    }
    case Format::Table:
        break;
    }
    const QStringList header {QStringLiteral("SERIAL"), QStringLiteral("ADDRESS"), QStringLiteral("NETWORK"),
                              QStringLiteral("WARNINGS")};
    std::vector<QStringList> rows;
    for (const velqor::DeviceDetails &device : devices)
        rows.push_back({printableSerial(device), address(device.address), QString::fromStdString(device.via.Label()),
                        warningIds(device)});
    return table(header, rows);
}

QByteArray DeviceFormatter::table(const QStringList &header, const std::vector<QStringList> &rows)
{
    QByteArray out;
    std::vector<int> widths;
    for (const QString &title : header)
        widths.push_back(static_cast<int>(title.size()));
    for (const QStringList &row : rows) {
        for (int column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], static_cast<int>(row[column].size()));
    }
    auto line = [&](const QStringList &cells) {
        QString text;
        for (int column = 0; column < cells.size(); ++column)
            text += column + 1 < cells.size() ? cells[column].leftJustified(widths[column] + 2) : cells[column];
        out += withoutTrailingSpaces(text);
    };
    line(header);
    for (const QStringList &row : rows)
        line(row);
    return out;
}

QByteArray DeviceFormatter::planReport(const std::vector<velqor::PlanReportRow> &rows, Format format)
{
    QByteArray out;
    switch (format) {
    case Format::Json: {
        QJsonArray array;
        for (const velqor::PlanReportRow &row : rows) {
            array.append(QJsonObject {
                {QStringLiteral("line"), static_cast<qint64>(row.line)},
                {QStringLiteral("serial"), QString::fromStdString(row.serial.Display())},
                {QStringLiteral("serial_hex"), QString::fromStdString(row.serial.Hex())},
                {QStringLiteral("interface"), QString::fromStdString(row.link)},
                {QStringLiteral("from"), QString::fromStdString(row.from)},
                {QStringLiteral("to"), QString::fromStdString(row.to)},
                {QStringLiteral("status"), QString::fromStdString(row.status)},
                {QStringLiteral("detail"), QString::fromStdString(row.detail)},
                {QStringLiteral("ended_at"), QString::fromStdString(row.at)},
                {QStringLiteral("identified_by"), QString::fromStdString(row.identifiedBy)},
            });
        }
        return QJsonDocument(array).toJson(QJsonDocument::Indented);
    }
    case Format::Csv:
        out += QByteArray::fromStdString(velqor::CsvRecord(velqor::PlanReportHeader()));
        for (const velqor::PlanReportRow &row : rows)
            out += QByteArray::fromStdString(velqor::CsvRecord(velqor::PlanReportFields(row)));
        return out;
    case Format::Xlsx: {
        std::vector<std::vector<std::string>> cells;
        cells.reserve(rows.size());
        for (const velqor::PlanReportRow &row : rows)
            cells.push_back(velqor::PlanReportFields(row));
        return QByteArray::fromStdString(velqor::XlsxWriter::Write("Report", velqor::PlanReportHeader(), cells));
    }
    case Format::Table:
        break;
    }
    const QStringList header {QStringLiteral("LINE"),      QStringLiteral("SERIAL"), QStringLiteral("BY"),
                              QStringLiteral("INTERFACE"), QStringLiteral("FROM"),   QStringLiteral("TO"),
                              QStringLiteral("AT"),        QStringLiteral("STATUS"), QStringLiteral("DETAIL")};
    std::vector<QStringList> cells;
    for (const velqor::PlanReportRow &row : rows)
        cells.push_back({QString::number(row.line), QString::fromStdString(row.serial.Column()),
                         QString::fromStdString(row.identifiedBy), QString::fromStdString(row.link),
                         QString::fromStdString(row.from), QString::fromStdString(row.to),
                         QString::fromStdString(row.at), QString::fromStdString(row.status),
                         QString::fromStdString(row.detail)});
    return table(header, cells);
}

QByteArray DeviceFormatter::event(const QString &what, const velqor::DeviceDetails &device, Format format, bool first)
{
    // RFC 3339: local time with its offset from UTC, to the millisecond.
    const QDateTime now = QDateTime::currentDateTime();
    const QString time = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
    switch (format) {
    case Format::Json: {
        QJsonObject object = toJson(device);
        object.insert(QStringLiteral("event"), what);
        object.insert(QStringLiteral("time"), time);
        return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    }
    case Format::Csv: {
        std::vector<std::string> fields {what.toStdString(), time.toStdString()};
        const std::vector<std::string> device_fields = velqor::DeviceCsvFields(device);
        fields.insert(fields.end(), device_fields.begin(), device_fields.end());
        QByteArray out;
        if (first) {
            std::vector<std::string> header {"event", "time"};
            const std::vector<std::string> deviceHeader = velqor::DeviceCsvHeader();
            header.insert(header.end(), deviceHeader.begin(), deviceHeader.end());
            out += QByteArray::fromStdString(velqor::CsvRecord(header));
        }
        return out + QByteArray::fromStdString(velqor::CsvRecord(fields));
    }
    case Format::Xlsx: // a stream of lines; watch refuses it
    case Format::Table:
        break;
    }
    return withoutTrailingSpaces(QStringLiteral("%1 %2 %3 %4 %5 %6")
                                     .arg(time, what.leftJustified(8), printableSerial(device), address(device.address),
                                          QString::fromStdString(device.via.Label()), warningIds(device)));
}
