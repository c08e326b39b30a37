// The window with a few thousand devices answering in random order, in the
// virtual LAN: every device listed once, in serial order, and the table
// stays sorted by address while rows come in.

#include "ClickRefresh.h"
#include "Network.h"

#include <QHeaderView>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>

class ManyDevicesTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // never the user's settings
        if (!velqor::test::InVirtualLan())
            QSKIP("broadcasts: runs only inside scripts/vlan");
    }

    void everyDeviceOnceInOrder()
    {
        const int expected = qEnvironmentVariableIntValue("ORVANE_EXPECT");
        MainWindow window;
        auto *model = window.findChild<OrvaneModel *>();
        QCOMPARE(model->count(), expected);
        for (int row = 1; row < model->count(); ++row)
            QVERIFY(model->detailsAt(row - 1).serial < model->detailsAt(row).serial);

        auto *table = window.findChild<QTableView *>("orvanesTableView");
        table->sortByColumn(1, Qt::AscendingOrder);
        clickRefresh(window);
        QCOMPARE(table->model()->rowCount(), expected);
        quint32 previous = 0;
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            const quint32 address = table->model()->index(row, 0).data(OrvaneModel::AddressRole).toUInt();
            QVERIFY(address > previous);
            previous = address;
        }
    }
};

QTEST_MAIN(ManyDevicesTest)
#include "ManyDevicesTest.moc"
