// The table's presentation over the device model: no network needed. The
// model is aimed at loopback, and its rows come through its session's
// signals as a search would bring them.

#include "AddressDelegate.h"
#include "DeviceTableProxy.h"
#include "MainWindow.h"
#include "OrvaneModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <random>

namespace {

velqor::DeviceDetails device(const std::string &serial, velqor::Ipv4Bytes address, const std::string &link = "eth0")
{
    velqor::DeviceDetails details;
    details.serial = velqor::Serial(serial);
    details.address = address;
    details.via = {link, 2, {10, 0, 0, 1}, 8};
    return details;
}

// The whole list at the end of a search, in identity order.
void finishSearch(OrvaneModel &model, std::vector<velqor::DeviceDetails> devices)
{
    std::sort(devices.begin(), devices.end(),
              [](const velqor::DeviceDetails &a, const velqor::DeviceDetails &b) { return a.Id() < b.Id(); });
    DeviceSession::Result result;
    result.operation = DeviceSession::Operation::Search;
    result.search.devices = std::move(devices);
    emit model.session()->finished(result);
}

velqor::Ipv4Bytes address(int n)
{
    return {10, 1, static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)};
}

} // namespace

class PresentationTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // never the user's settings
    }

    void addressesSortByNumberAndWarningsShowOnTheAddress()
    {
        OrvaneModel model(nullptr, {"127.0.0.1", 9});
        std::vector<velqor::DeviceDetails> devices {device("S0", {10, 0, 0, 10}), device("S1", {9, 255, 255, 255}),
                                                    device("S2", {10, 0, 0, 9})};
        devices[1].warnings.push_back(
            velqor::Diagnostic::Of(velqor::Diagnostic::Kind::WrongSubnet, {"Wrong subnet", {}}));
        finishSearch(model, devices);
        DeviceTableProxy table(&model);
        QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
        table.sort(1);

        QStringList order;
        for (int row = 0; row < table.rowCount(); ++row)
            order << table.index(row, 1).data().toString();
        QCOMPARE(order, (QStringList {"9.255.255.255", "10.0.0.9", "10.0.0.10"}));
        QCOMPARE(table.index(0, 1).data(Qt::ToolTipRole).toString(), QStringLiteral("Wrong subnet"));
        QVERIFY(!table.index(0, 1).data(Qt::DecorationRole).isNull());
        QVERIFY(table.index(1, 1).data(Qt::DecorationRole).isNull());

        QSignalSpy changed(&table, &QAbstractItemModel::dataChanged);
        devices[2].via = {"eth0", 2, {192, 168, 5, 1}, 24}; // another address of its link
        finishSearch(model, devices);
        QCOMPARE(table.index(1, DeviceTableProxy::NetworkColumn).data().toString(),
                 QStringLiteral("eth0 192.168.5.1/24"));
        QVERIFY(std::any_of(changed.begin(), changed.end(), [](const QList<QVariant> &signal) {
            return signal.at(1).toModelIndex().column() == DeviceTableProxy::NetworkColumn;
        }));
    }

    // Rows come and go in scattered runs, many enough to be one layout
    // change: whatever the sort order, the selected devices stay selected
    // in every column, and the current cell stays on its device.
    void theSelectionStaysOnItsDevicesWhileRowsComeAndGo()
    {
        for (int column : {-1, 0, 1, 2}) {
            for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                OrvaneModel model(nullptr, {"127.0.0.1", 9});
                std::vector<velqor::DeviceDetails> devices;
                for (int n = 0; n < 60; n += 2)
                    devices.push_back(device("S" + std::to_string(100 + n), address(1000 - n), n % 3 ? "a" : "b"));
                finishSearch(model, devices);
                DeviceTableProxy table(&model);
                table.sort(column, order);
                QItemSelectionModel selection(&table);
                const std::vector<std::string> chosen {"S104", "S130", "S152"};
                for (const std::string &serial : chosen) {
                    const int row = table.rowOf(model.rowOf(devices[(std::stoi(serial.substr(1)) - 100) / 2].Id()));
                    selection.select(table.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
                }
                const velqor::DeviceId current = devices[15].Id();
                selection.setCurrentIndex(table.index(table.rowOf(model.rowOf(current)), 2),
                                          QItemSelectionModel::NoUpdate);

                // Ten new devices between the others, twelve others gone.
                std::vector<velqor::DeviceDetails> next;
                for (int n = 0; n < 60; ++n) {
                    const bool old = n % 2 == 0;
                    if ((old && n % 10 != 2) || (!old && n % 6 == 1))
                        next.push_back(device("S" + std::to_string(100 + n), address(1000 - n), n % 3 ? "a" : "b"));
                }
                finishSearch(model, next);
                QCOMPARE(model.count(), 34);

                QStringList selected;
                for (const QModelIndex &row : selection.selectedRows())
                    selected << row.data().toString();
                selected.sort();
                QCOMPARE(selected, (QStringList {"S104", "S130"})); // S152 went
                for (const QModelIndex &row : selection.selectedRows())
                    QVERIFY(selection.isSelected(row.siblingAtColumn(DeviceTableProxy::NetworkColumn)));
                QCOMPARE(selection.currentIndex().column(), 2);
                QCOMPARE(model.detailsAt(table.sourceRow(selection.currentIndex().row())).Id(), current);
                for (int row = 1; row < table.rowCount(); ++row) {
                    if (column < 0)
                        QVERIFY(table.sourceRow(row - 1) < table.sourceRow(row));
                }
            }
        }
    }

    // Ctrl+C copies the selected devices, each as a line of cells that name
    // it, also after a refresh moved every row.
    void copiesTheSelectedDevicesAfterRowsCameAndWent()
    {
        MainWindow window(nullptr, {"127.0.0.1", 9}); // a search that finds nothing
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *model = window.findChild<OrvaneModel *>();
        auto *table = window.findChild<QTableView *>("orvanesTableView");
        std::vector<velqor::DeviceDetails> devices;
        for (int n = 0; n < 40; ++n)
            devices.push_back(device(n == 7 ? "=X" : "S" + std::to_string(100 + n), address(n)));
        finishSearch(*model, devices);
        table->sortByColumn(1, Qt::DescendingOrder);
        table->setFocus(); // which makes a first row current and selected
        table->clearSelection();
        for (const int n : {7, 20}) {
            const QModelIndex cell = table->model()->index(table->model()->rowCount() - 1 - n, 0);
            table->selectionModel()->select(cell, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        std::vector<velqor::DeviceDetails> next;
        for (int n = 0; n < 40; ++n) {
            if (n % 4 != 1)
                next.push_back(devices[static_cast<std::size_t>(n)]);
        }
        for (int n = 40; n < 60; n += 2)
            next.push_back(device("S" + std::to_string(100 + n), address(n)));
        finishSearch(*model, next);
        QTest::keySequence(table, QKeySequence::Copy);
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("\\x3dX\t10.1.0.7\teth0 10.0.0.1/8\t3d58\t\teth0\t\n"
                                "S120\t10.1.0.20\teth0 10.0.0.1/8\t53313230\t\teth0\t\n"));
    }

    // Qt's own checks of the model contract, while a large list arrives in
    // pushes and a search ends removing some of it.
    void theTableKeepsTheModelContractAtSixteenThousandRows()
    {
        OrvaneModel model(nullptr, {"127.0.0.1", 9});
        DeviceTableProxy table(&model);
        table.sort(1, Qt::DescendingOrder);
        QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
        std::vector<velqor::DeviceDetails> all;
        for (int n = 0; n < 16384; ++n)
            all.push_back(device("S" + std::to_string(n), address(n)));
        std::mt19937 random(11);
        std::shuffle(all.begin(), all.end(), random);
        for (std::size_t from = 0; from < all.size(); from += 2048) {
            std::vector<velqor::DeviceDetails> push(all.begin() + static_cast<std::ptrdiff_t>(from),
                                                    all.begin() + static_cast<std::ptrdiff_t>(from + 2048));
            std::sort(push.begin(), push.end(),
                      [](const velqor::DeviceDetails &a, const velqor::DeviceDetails &b) { return a.Id() < b.Id(); });
            emit model.session()->devicesFound(push);
        }
        QCOMPARE(table.rowCount(), 16384);
        all.resize(12000);
        finishSearch(model, all);
        QCOMPARE(table.rowCount(), 12000);
        for (int row = 1; row < table.rowCount(); ++row)
            QVERIFY(model.detailsAt(table.sourceRow(row)).address < model.detailsAt(table.sourceRow(row - 1)).address);
    }

    void addressEditorCommitsOnlyAWholeAddressOnEnter()
    {
        QStandardItemModel devices(1, 2);
        devices.setData(devices.index(0, 1), QStringLiteral("10.0.0.1"));
        AddressDelegate delegate;
        QSignalSpy discarded(&delegate, &AddressDelegate::discarded);
        QWidget parent;
        auto *editor = qobject_cast<QLineEdit *>(delegate.createEditor(&parent, {}, devices.index(0, 1)));
        QVERIFY(editor);
        editor->installEventFilter(&delegate); // as the table does
        delegate.setEditorData(editor, devices.index(0, 1));
        QCOMPARE(editor->selectedText(), QStringLiteral("10.0.0.1"));
        // Left without Enter (a click elsewhere commits the editor's data):
        // nothing is asked for, and the typed address is reported once.
        editor->setText(QStringLiteral("192.168.0.250"));
        delegate.setModelData(editor, &devices, devices.index(0, 1));
        delegate.setModelData(editor, &devices, devices.index(0, 1));
        QVERIFY(!devices.index(0, 1).data(OrvaneModel::RequestRole).isValid());
        QCOMPARE(discarded.count(), 1);
        // Enter on what is no whole address keeps the editor and says why.
        for (const char *rejected : {"10.0.0.256", "10.0.0", "010.0.0.1", "10.0.0.1x"}) {
            editor->setText(QString::fromLatin1(rejected));
            QTest::keyClick(editor, Qt::Key_Return);
            delegate.setModelData(editor, &devices, devices.index(0, 1));
            QVERIFY2(!devices.index(0, 1).data(OrvaneModel::RequestRole).isValid(), rejected);
            QVERIFY2(editor->toolTip().startsWith(QString::fromLatin1(rejected) + " is no IPv4 address"), rejected);
        }
        // A paste from a spreadsheet cell: its line break and spaces dropped.
        editor->setText(QStringLiteral(" 192.168.0.251\n"));
        QTest::keyClick(editor, Qt::Key_Return);
        delegate.setModelData(editor, &devices, devices.index(0, 1));
        QCOMPARE(devices.index(0, 1).data(OrvaneModel::RequestRole).toString(), QStringLiteral("192.168.0.251"));
    }
};

QTEST_MAIN(PresentationTest)
#include "PresentationTest.moc"
