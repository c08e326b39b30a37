// The window in a virtual LAN with two networks (scripts/vlan --second-net):
// where each device is, what is wrong with it, and working on many at once.

#include "AssignDialog.h"
#include "ClickRefresh.h"
#include "Journal.h"
#include "MainWindow.h"
#include "Network.h"
#include "OrvaneModel.h"
#include "PlanFile.h"
#include "TerminationWatcher.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <fstream>

class NetworksWindowTest final : public QObject {
    Q_OBJECT

private:
    static QStringList column(const QTableView *table, int column)
    {
        QStringList texts;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            texts << table->model()->index(row, column).data().toString();
        return texts;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // never the user's settings
        if (!velqor::test::InVirtualLan())
            QSKIP("broadcasts: runs only inside scripts/vlan");
        QCoreApplication::setOrganizationName(QStringLiteral("Velqor test"));
    }

    void showsEachDevicesNetworkAndFlagsWrongAddressing()
    {
        MainWindow window;
        auto *table = window.findChild<QTableView *>("orvanesTableView");
        QCOMPARE(column(table, 0),
                 (QStringList {"FOREIGN1", "NET2-000000", "NET2-000001", "ORV000000", "ORV000001", "REF2", "SLOW2"}));
        QCOMPARE(table->model()->index(0, 2).data().toString(), QStringLiteral("h1 172.20.0.1/16"));
        QCOMPARE(table->model()->index(3, 2).data().toString(), QStringLiteral("h0 10.77.0.1/10"));
        const QModelIndex foreign = table->model()->index(0, 1);
        QVERIFY(foreign.data(Qt::DecorationRole).isValid());
        QVERIFY(foreign.data(Qt::ToolTipRole).toString().startsWith("wrong subnet"));
        // Not a hover tooltip only: the cell's description, as a screen reader reads it.
        QAccessibleInterface *cells = QAccessible::queryAccessibleInterface(table);
        QVERIFY(cells && cells->tableInterface());
        QAccessibleInterface *cell = cells->tableInterface()->cellAt(0, 1);
        QVERIFY(cell);
        QVERIFY2(cell->text(QAccessible::Description).startsWith("wrong subnet"),
                 qPrintable(cell->text(QAccessible::Description)));
        QVERIFY(!table->model()->index(1, 1).data(Qt::DecorationRole).isValid());
        auto *model = window.findChild<OrvaneModel *>();
        QCOMPARE(model->moveIntoAddress(0),
                 QStringLiteral("172.20.0.10")); // the first free one of h1's network, from .10
        QVERIFY(model->moveIntoAddress(1).isEmpty());

        window.findChild<QLineEdit *>("filterLineEdit")->setText("h0 ");
        QCOMPARE(column(table, 0), (QStringList {"ORV000000", "ORV000001"}));
        table->sortByColumn(0, Qt::DescendingOrder);
        QCOMPARE(column(table, 0), (QStringList {"ORV000001", "ORV000000"}));
    }

    void devicesThatStopAnsweringLeaveTheList()
    {
        MainWindow window;
        auto *model = window.findChild<OrvaneModel *>();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(velqor::test::SetLink("h1", false));
        const int withoutH1 = window.updateDeviceList();
        QVERIFY(velqor::test::SetLink("h1", true));
        QCOMPARE(withoutH1, 2);
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("ORV000000"));
        QCOMPARE(window.updateDeviceList(), 7);
    }

    void exportsTheRowsShown()
    {
        MainWindow window;
        window.findChild<QLineEdit *>("filterLineEdit")->setText("h0 ");
        QTemporaryDir folder;
        const QString path = folder.filePath("devices.csv");
        QVERIFY(window.exportTo(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 QByteArray("serial,address,network,serial_hex,also_at,interface,warnings\r\n"
                            "ORV000000,10.100.0.1,h0 10.77.0.1/10,4f5256303030303030,,h0,\r\n"
                            "ORV000001,10.100.0.2,h0 10.77.0.1/10,4f5256303030303031,,h0,\r\n"));
        // A workbook, chosen by its name: the same rows, a plan of them.
        const QString workbook = folder.filePath("devices.xlsx");
        QVERIFY(window.exportTo(workbook));
        std::ifstream saved(workbook.toStdString(), std::ios::binary);
        const velqor::PlanFile plan = velqor::PlanFile::Read(saved);
        QVERIFY2(plan.Ok(), plan.Error().c_str());
        QCOMPARE(plan.Entries().size(), std::size_t {2});
        QCOMPARE(plan.Entries()[1].serial.Bytes(), std::string("ORV000001"));
        QCOMPARE(plan.Entries()[1].link, std::string("h0"));
    }

    void namesAReversePathThatDropsOnceWithItsFix()
    {
        QCOMPARE(std::system("sysctl -qw net.ipv4.conf.all.rp_filter=1 net.ipv4.conf.h1.rp_filter=1"), 0);
        MainWindow window;
        const QString said = window.statusBar()->currentMessage();
        clickRefresh(window);
        const QString saidAgain = window.statusBar()->currentMessage();
        QCOMPARE(std::system("sysctl -qw net.ipv4.conf.all.rp_filter=2 net.ipv4.conf.h1.rp_filter=2"), 0);
        // The default route leads through h0: only h1 drops anything.
        QVERIFY2(said.startsWith("reverse-path filtering on h1"), qPrintable(said));
        QVERIFY2(said.endsWith("; fix: sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.h1.rp_filter=0"),
                 qPrintable(said));
        QVERIFY2(saidAgain.endsWith("Orvanes found"), qPrintable(saidAgain));
    }

    void keyboardRefreshesEditsAndCopies()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *table = window.findChild<QTableView *>("orvanesTableView");
        auto *model = window.findChild<OrvaneModel *>();

        QSignalSpy refreshed(model, &OrvaneModel::refreshed);
        QTest::keyClick(&window, Qt::Key_F5); // returns at once
        QVERIFY(!window.findChild<QPushButton *>("searchOrvanesPushButton")->isEnabled());
        QVERIFY(refreshed.wait(5000));
        QVERIFY(window.findChild<QPushButton *>("searchOrvanesPushButton")->isEnabled());

        table->setFocus();
        table->selectAll();
        QTest::keySequence(table, QKeySequence::Copy);
        const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines[0],
                 QStringLiteral("FOREIGN1\t172.31.7.7\th1 172.20.0.1/16\t464f524549474e31\t\th1\twrong-subnet"));

        table->setCurrentIndex(table->model()->index(1, 0));
        QTest::keyClick(table, Qt::Key_Return);
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        QCOMPARE(editor->selectedText(), QStringLiteral("172.20.64.1"));
        QTest::keyClicks(editor, "1.2.3"); // not an address: nothing is sent
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(model->addressOf("NET2-000000"), QStringLiteral("172.20.64.1"));
        QCOMPARE(refreshed.count(), 1);
        // Still open, saying why; the window then closes with it open.
        QCOMPARE(QApplication::focusWidget(), editor);
        QVERIFY(editor->toolTip().startsWith(QStringLiteral("1.2.3 is no IPv4 address")));
    }

    void assignsAddressesToManyDevicesAndConfirmsThem()
    {
        MainWindow window;
        auto *model = window.findChild<OrvaneModel *>();
        AssignDialog dialog(model, {1, 2, 5}); // NET2-000000, NET2-000001, REF2
        auto *start = dialog.findChild<QLineEdit *>("startLineEdit");
        QCOMPARE(start->text(), QStringLiteral("172.20.0.10")); // the first free address of h1's network
        start->setText("172.20.64.1"); // taken by NET2-000000 itself: skipped
        dialog.run();
        QCOMPARE(dialog.statusOf(0), QStringLiteral("moved"));
        QCOMPARE(dialog.statusOf(1), QStringLiteral("moved"));
        QCOMPARE(dialog.statusOf(2), QStringLiteral("refused with code -4"));
        QCOMPARE(dialog.confirmed(), 2);
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("2 moved, 1 refused"));
        QCOMPARE(model->addressOf("NET2-000000"), QStringLiteral("172.20.64.3"));
        QCOMPARE(model->addressOf("NET2-000001"), QStringLiteral("172.20.64.4"));
    }

    // Devices of two networks each get an address of their own network; a
    // first address outside them is asked about before anything is planned.
    void assignsEachDeviceInsideItsOwnNetwork()
    {
        MainWindow window;
        auto *model = window.findChild<OrvaneModel *>();
        AssignDialog dialog(model, {2, 3}); // NET2-000001 on h1, ORV000000 on h0
        auto *start = dialog.findChild<QLineEdit *>("startLineEdit");
        QCOMPARE(start->text(), QStringLiteral("172.20.0.10"));
        start->setText(QStringLiteral("192.168.99.10"));
        QTimer::singleShot(200, [] {
            if (auto *question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                question->button(QMessageBox::No)->click();
        });
        QVERIFY(!dialog.start());
        QCOMPARE(dialog.statusOf(0), QStringLiteral("waiting"));

        start->setText(QStringLiteral("172.20.0.10"));
        dialog.run();
        QCOMPARE(dialog.statusOf(0), QStringLiteral("moved"));
        QCOMPARE(dialog.statusOf(1), QStringLiteral("moved"));
        QCOMPARE(model->addressOf("NET2-000001"), QStringLiteral("172.20.0.10"));
        QCOMPARE(model->addressOf("ORV000000"), QStringLiteral("10.64.0.10")); // in h0's network, from .10
    }

    // Cancel stops a batch before its next device; the one under way ends.
    void cancelStopsABatchBeforeItsNextDevice()
    {
        MainWindow window;
        AssignDialog dialog(window.findChild<OrvaneModel *>(), {6, 1, 2}); // SLOW2 answers after 1.5 s
        dialog.findChild<QLineEdit *>("startLineEdit")->setText(QStringLiteral("172.20.0.24"));
        QVERIFY(dialog.start());
        QTest::qWait(700); // while SLOW2's change is under way
        QTest::mouseClick(dialog.findChild<QPushButton *>("cancelPushButton"), Qt::LeftButton);
        window.findChild<OrvaneModel *>()->session()->wait();
        QCOMPARE(dialog.statusOf(0), QStringLiteral("moved"));
        QCOMPARE(dialog.statusOf(1), QStringLiteral("cancelled"));
        QCOMPARE(dialog.statusOf(2), QStringLiteral("cancelled"));
    }

    // Closed (Ctrl+Q) while a swap runs: the change under way finishes, and
    // what it parked goes back before the window goes.
    void closingMidSwapTakesBackWhatWasParked()
    {
        MainWindow window;
        auto *model = window.findChild<OrvaneModel *>();
        const velqor::DeviceId slow {"h1", velqor::Serial("SLOW2")}; // it answers changes 1.5 s late
        const velqor::DeviceId other {"h1", velqor::Serial("NET2-000000")};
        const QString slowAt = model->addressAt(model->rowOf(slow));
        const QString otherAt = model->addressAt(model->rowOf(other));
        QVERIFY(!slowAt.isEmpty() && !otherAt.isEmpty());
        model->requestMove(slow, otherAt, true);
        // Its way to the swap's temporary address is in the journal before it leaves.
        const velqor::Journal journal(velqor::Journal::DefaultPath());
        QTRY_VERIFY_WITH_TIMEOUT(!journal.Entries().empty(), 10000);
        window.close();
        QVERIFY(!window.isVisible());
        QVERIFY(!model->isBusy());
        QVERIFY2(journal.Entries().empty(), "found back home, and crossed off");
        QVERIFY(model->refresh() > 0);
        QCOMPARE(model->addressAt(model->rowOf(slow)), slowAt);
        QCOMPARE(model->addressAt(model->rowOf(other)), otherAt);
    }

    void remembersItsSize()
    {
        {
            MainWindow window;
            window.resize(640, 480);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.close();
        }
        MainWindow again;
        QCOMPARE(again.size(), QSize(640, 480));
    }

    // Last: the session's end quits every event loop of the process.
    void sigtermDuringAssignCancelsClosesAndQuits();
};

void NetworksWindowTest::sigtermDuringAssignCancelsClosesAndQuits()
{
    MainWindow window;
    TerminationWatcher watcher;
    connect(&watcher, &TerminationWatcher::terminated, &window, &MainWindow::endSession);
    auto *model = window.findChild<OrvaneModel *>();
    AssignDialog dialog(model, {6, 1, 2}); // SLOW2 answers after 1.5 s, then NET2-000000, NET2-000001
    dialog.findChild<QLineEdit *>("startLineEdit")->setText(QStringLiteral("172.20.0.20"));
    QElapsedTimer clock;
    QTimer::singleShot(0, &dialog, [&] {
        QVERIFY(dialog.start());
        clock.start();
        QTimer::singleShot(700, [] { std::raise(SIGTERM); }); // while SLOW2's change is under way
    });
    dialog.exec();
    QVERIFY2(clock.elapsed() < 1500 + 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(dialog.statusOf(1), QStringLiteral("cancelled"));
    QCOMPARE(dialog.statusOf(2), QStringLiteral("cancelled"));
}

QTEST_MAIN(NetworksWindowTest)
#include "NetworksWindowTest.moc"
