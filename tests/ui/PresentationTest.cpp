// The table's presentation over a plain source model: no network needed.

#include "AddressDelegate.h"
#include "DeviceTableProxy.h"
#include "OrvaneModel.h"

#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

class PresentationTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // never the user's settings
    }

    void addressesSortByNumberAndWarningsShowOnTheAddress()
    {
        QStandardItemModel devices(0, 2);
        const std::pair<const char *, quint32> addresses[] = {
            {"10.0.0.10", 0x0a00000a}, {"9.255.255.255", 0x09ffffff}, {"10.0.0.9", 0x0a000009}};
        for (const auto &[text, number] : addresses) {
            devices.appendRow({new QStandardItem(QStringLiteral("S%1").arg(devices.rowCount())),
                               new QStandardItem(QString::fromLatin1(text))});
            devices.setData(devices.index(devices.rowCount() - 1, 0), number, OrvaneModel::AddressRole);
        }
        devices.setData(devices.index(1, 0), QStringList {"Wrong subnet"}, OrvaneModel::WarningsRole);
        DeviceTableProxy table;
        table.setSourceModel(&devices);
        QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSortFilterProxyModel sorted;
        sorted.setSortRole(DeviceTableProxy::SortRole);
        sorted.setSourceModel(&table);
        sorted.sort(1);

        QStringList order;
        for (int row = 0; row < sorted.rowCount(); ++row)
            order << sorted.index(row, 1).data().toString();
        QCOMPARE(order, (QStringList {"9.255.255.255", "10.0.0.9", "10.0.0.10"}));
        QCOMPARE(table.index(1, 1).data(Qt::ToolTipRole).toString(), QStringLiteral("Wrong subnet"));
        QVERIFY(!table.index(1, 1).data(Qt::DecorationRole).isNull());
        QVERIFY(table.index(0, 1).data(Qt::DecorationRole).isNull());

        QSignalSpy changed(&table, &QAbstractItemModel::dataChanged);
        devices.setData(devices.index(2, 0), QStringLiteral("eth1 192.168.5.1/24"), OrvaneModel::NetworkRole);
        QCOMPARE(table.index(2, DeviceTableProxy::NetworkColumn).data().toString(),
                 QStringLiteral("eth1 192.168.5.1/24"));
        QVERIFY(std::any_of(changed.begin(), changed.end(), [](const QList<QVariant> &signal) {
            return signal.at(1).toModelIndex().column() == DeviceTableProxy::NetworkColumn;
        }));
    }

    void addressEditorCommitsOnlyAWholeAddress()
    {
        QStandardItemModel devices(1, 2);
        devices.setData(devices.index(0, 1), QStringLiteral("10.0.0.1"));
        AddressDelegate delegate;
        QWidget parent;
        auto *editor = qobject_cast<QLineEdit *>(delegate.createEditor(&parent, {}, devices.index(0, 1)));
        QVERIFY(editor);
        delegate.setEditorData(editor, devices.index(0, 1));
        QCOMPARE(editor->selectedText(), QStringLiteral("10.0.0.1"));
        // Committed as a request, which the device model carries out in the
        // background; nothing for a partial address or an unchanged one.
        for (const char *rejected : {"10.0.0.256", "10.0.0", "010.0.0.1", "10.0.0.1 ", "10.0.0.1"}) {
            editor->setText(QString::fromLatin1(rejected));
            delegate.setModelData(editor, &devices, devices.index(0, 1));
            QVERIFY2(!devices.index(0, 1).data(OrvaneModel::RequestRole).isValid(), rejected);
        }
        editor->setText(QStringLiteral("192.168.0.250"));
        delegate.setModelData(editor, &devices, devices.index(0, 1));
        QCOMPARE(devices.index(0, 1).data(OrvaneModel::RequestRole).toString(), QStringLiteral("192.168.0.250"));
    }
};

QTEST_MAIN(PresentationTest)
#include "PresentationTest.moc"
