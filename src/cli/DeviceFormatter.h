#ifndef DEVICEFORMATTER_H
#define DEVICEFORMATTER_H

#include "DeviceDetails.h"
#include "PlanReport.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <vector>

// How the command line prints devices: a table for people, JSON and CSV for
// scripts (CSV as the window's export).
class DeviceFormatter {
public:
    enum class Format { Table, Json, Csv, Xlsx };

    // The format a --format text names; false for an unknown one.
    static bool parseFormat(const QString &text, Format *format);

    static QByteArray list(const std::vector<velqor::DeviceDetails> &devices, Format format);
    // One line for a watch event ("appeared", "moved", "gone"); CSV starts
    // with a header line when first is set.
    static QByteArray event(const QString &what, const velqor::DeviceDetails &device, Format format, bool first);

    // A plan's report: a row per line of the plan.
    static QByteArray planReport(const std::vector<velqor::PlanReportRow> &rows, Format format);

    static QJsonObject toJson(const velqor::DeviceDetails &device);
    // The serial for a terminal column: its column form, whole, so that two
    // serials never print alike.
    static QString printableSerial(const velqor::DeviceDetails &device);

private:
    static QByteArray withoutTrailingSpaces(const QString &line);
    // Columns as wide as their widest cell.
    static QByteArray table(const QStringList &header, const std::vector<QStringList> &rows);
};

#endif // DEVICEFORMATTER_H
