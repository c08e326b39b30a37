// Runs in the virtual LAN with the devices that tests/ui/CMakeLists.txt gives.

#include "Network.h"
#include "OrvaneModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace {

// As the table shows it: bytes that are not UTF-8 as \xNN.
const QString kBinarySerial = QStringLiteral("\\x00\\xffA\\xe9");

} // namespace

class ModelTest final : public QObject {
    Q_OBJECT

private:
    int rowOf(const OrvaneModel &model, const QString &serial)
    {
        for (int row = 0; row < model.rowCount(); ++row) {
            if (model.index(row, 0).data().toString() == serial)
                return row;
        }
        return -1;
    }

    // Edits the address cell of serial's row and returns the status text shown.
    QString edit(OrvaneModel &model, const QString &serial, const QString &address)
    {
        QSignalSpy messages(&model, &OrvaneModel::showMessage);
        QSignalSpy edits(&model, &OrvaneModel::editCompleted);
        QSignalSpy reloads(&model, &OrvaneModel::refreshed);
        const int row = rowOf(model, serial);
        if (row < 0)
            return QStringLiteral("<no row>");
        if (!model.setData(model.index(row, 1), address, Qt::EditRole))
            return QStringLiteral("<setData false>");
        if (messages.count() != 1 || edits.count() != 1 || reloads.count() != 1)
            return QStringLiteral("<signals %1 %2 %3>").arg(messages.count()).arg(edits.count()).arg(reloads.count());
        if (edits.at(0).at(0).toString() != address || messages.at(0).at(1).toInt() != 5000)
            return QStringLiteral("<wrong arguments>");
        return messages.at(0).at(0).toString();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // never the user's settings
        if (!velqor::test::InVirtualLan())
            QSKIP("broadcasts: runs only inside scripts/vlan");
    }

    void emptyUntilTheFirstRefresh()
    {
        OrvaneModel model;
        QCOMPARE(model.count(), 0);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 2);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Serial"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("IP"));
        QVERIFY(!model.headerData(2, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
        QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::DecorationRole).isValid());
        QVERIFY(!model.searchFailed());
    }

    void refreshListsDevicesInByteOrder()
    {
        OrvaneModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reloads(&model, &OrvaneModel::refreshed);
        QSignalSpy layouts(&model, &OrvaneModel::layoutChanged);
        QVERIFY(model.startRefresh());
        QTest::qWait(700);
        QCOMPARE(model.count(), 6); // rows appear as devices answer
        QCOMPARE(reloads.count(), 0);
        QVERIFY(reloads.wait(3000));
        QCOMPARE(layouts.count(), 0); // announced row by row
        QCOMPARE(model.count(), 6);

        QStringList serials;
        for (int row = 0; row < model.rowCount(); ++row)
            serials << model.index(row, 0).data().toString();
        QCOMPARE(serials, (QStringList {kBinarySerial, "10", "9", "MOVER", "REFUSE", "SILENT"}));
        QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("10.100.0.10"));
        QCOMPARE(model.addressOf("9"), QStringLiteral("10.100.0.9"));
        QCOMPARE(model.addressOf(kBinarySerial), QStringLiteral("10.100.0.11"));
        QVERIFY(model.addressOf("gone").isNull());

        QVERIFY(!model.index(1, 2).data().isValid());
        QVERIFY(!model.index(1, 1).data(Qt::EditRole).isValid());
        QVERIFY(!model.index(1, 0).data(Qt::DecorationRole).isValid());
        QVERIFY(!model.index(6, 0).data().isValid());
        QCOMPARE(model.rowCount(model.index(0, 0)), 0);
        QCOMPARE(int(model.flags(model.index(1, 0))), 33);
        QCOMPARE(int(model.flags(model.index(1, 1))), 35);
    }

    // The first window waits for its search: the rows come in as the devices
    // answer, not all at once when it ends.
    void aWaitedForSearchTakesRowsInWhileItRuns()
    {
        OrvaneModel model;
        int whileRunning = 0;
        connect(&model, &OrvaneModel::rowsInserted, this, [&] { whileRunning += model.session()->isBusy(); });
        QCOMPARE(model.refresh(), 6);
        QVERIFY(whileRunning > 0);
        QCOMPARE(model.count(), 6);
    }

    void listedDevicesStayVisibleUntilTheSearchEnds()
    {
        OrvaneModel model;
        model.refresh();
        QSignalSpy reloads(&model, &OrvaneModel::refreshed);
        QVERIFY(model.startRefresh());
        QCOMPARE(model.index(0, 0).data(OrvaneModel::StaleRole), QVariant(true));
        QVERIFY(reloads.wait(3000));
        QCOMPARE(model.count(), 6);
        QCOMPARE(model.index(0, 0).data(OrvaneModel::StaleRole), QVariant(false));
    }

    // While one device's change is verified, the others are not greyed:
    // nothing says they stopped answering.
    void otherRowsKeepTheirLookWhileAChangeIsVerified()
    {
        OrvaneModel model;
        model.refresh();
        QSignalSpy done(&model, &OrvaneModel::operationFinished);
        const int mover = rowOf(model, "MOVER");
        QVERIFY(model.setData(model.index(mover, 1), "10.100.3.9", OrvaneModel::RequestRole));
        QVERIFY(model.session()->isBusy());
        for (int row = 0; row < model.rowCount(); ++row)
            QCOMPARE(model.index(row, 0).data(OrvaneModel::StaleRole), QVariant(false));
        QVERIFY(done.wait(10000));
        QCOMPARE(model.addressOf("MOVER"), QStringLiteral("10.100.3.9"));
    }

    // A search whose answers the system partly dropped lists what it heard
    // and keeps, greyed, what it did not; one without loss removes them.
    void aLossySearchKeepsTheRowsItDidNotHear()
    {
        OrvaneModel model;
        model.refresh();
        QCOMPARE(model.count(), 6);
        DeviceSession::Result lossy;
        lossy.operation = DeviceSession::Operation::Search;
        for (int row = 0; row < model.count(); ++row) {
            lossy.search.devices.push_back(model.detailsAt(row));
            lossy.search.devices.back().heard = row == 0;
        }
        lossy.search.lost = 5;
        QSignalSpy found(&model, &OrvaneModel::listRefreshed);
        emit model.session()->busyChanged(true); // rows turn stale as a search starts
        emit model.session()->finished(lossy);
        QCOMPARE(model.count(), 6);
        QCOMPARE(found.takeFirst().at(0).toInt(), 1); // found are those that answered
        QCOMPARE(model.lostCount(), 5u);
        QCOMPARE(model.index(0, 0).data(OrvaneModel::StaleRole), QVariant(false));
        QCOMPARE(model.index(1, 0).data(OrvaneModel::StaleRole), QVariant(true));

        DeviceSession::Result whole = lossy;
        whole.search.lost = 0;
        whole.search.devices.resize(1);
        emit model.session()->finished(whole);
        QCOMPARE(model.count(), 1);
    }

    void editsThatSendNothing()
    {
        OrvaneModel model;
        model.refresh();
        QSignalSpy messages(&model, &OrvaneModel::showMessage);
        QSignalSpy edits(&model, &OrvaneModel::editCompleted);
        QSignalSpy reloads(&model, &OrvaneModel::refreshed);
        QVERIFY(model.setData(model.index(1, 1), QString(), Qt::EditRole));
        QVERIFY(model.setData(model.index(1, 0), "10.100.3.3", Qt::EditRole));
        QVERIFY(model.setData(model.index(1, 1), "10.100.3.3", Qt::DisplayRole));
        QCOMPARE(messages.count() + edits.count() + reloads.count(), 0);
        QCOMPARE(model.addressOf("10"), QStringLiteral("10.100.0.10"));
    }

    void editOutcomesAreReportedAndTheTableReloads()
    {
        OrvaneModel model;
        model.refresh();
        QCOMPARE(edit(model, "REFUSE", "10.100.3.1"), QStringLiteral("Could not change IP"));
        QCOMPARE(edit(model, "9", "10.100.3"), QStringLiteral("Could not change IP"));
        QCOMPARE(edit(model, "SILENT", "10.100.3.2"), QStringLiteral("IP change not confirmed"));
        QCOMPARE(model.addressOf("SILENT"), QStringLiteral("10.100.0.13"));
        QCOMPARE(edit(model, "MOVER", "10.100.3.3"), QStringLiteral("IP updated succesfully"));
        QCOMPARE(model.addressOf("MOVER"), QStringLiteral("10.100.3.3"));
        QCOMPARE(edit(model, "10", "10.100.3.4"), QStringLiteral("IP updated succesfully"));
        QCOMPARE(model.index(rowOf(model, "10"), 1).data().toString(), QStringLiteral("10.100.3.4"));
    }

    void everySerialByteRoundTrips()
    {
        OrvaneModel model;
        model.refresh();
        QCOMPARE(edit(model, kBinarySerial, "10.100.3.5"), QStringLiteral("IP updated succesfully"));
        QCOMPARE(model.addressOf(kBinarySerial), QStringLiteral("10.100.3.5"));
    }
};

QTEST_MAIN(ModelTest)
#include "ModelTest.moc"
