// The window's model and its device session aimed with a target at a
// simulator on loopback: no privileges and no broadcast needed, so it runs
// everywhere.

#include "ChangeOutcome.h"
#include "DeviceSimulator.h"
#include "DeviceTableProxy.h"
#include "HistoryDock.h"
#include "Journal.h"
#include "MainWindow.h"
#include "OrvaneModel.h"
#include "PlanDialog.h"
#include "Translations.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>
#include <iostream>
#include <sstream>

namespace {

bool commandSent(const velqor::sim::DeviceSimulator &simulator)
{
    const auto received = simulator.Received();
    return std::any_of(received.begin(), received.end(), [](const velqor::sim::ReceivedDatagram &datagram) {
        return datagram.bytes.rfind("QVSIPC", 0) == 0;
    });
}

bool saysWaiting(const MainWindow &window, const QString &address)
{
    const auto labels = window.findChildren<QLabel *>();
    return std::any_of(labels.begin(), labels.end(),
                       [&](const QLabel *label) { return label->isVisible() && label->text().contains(address); });
}

// Runs open(), which shows a modal dialog, and answers the dialog with
// answer() as soon as it shows; what it said, as answer() read it.
QString answerModal(const std::function<void()> &open, const std::function<QString(QWidget *)> &answer)
{
    QString seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget())
            seen = answer(modal);
    });
    poll.start(20);
    open();
    return seen;
}

} // namespace

class TargetTest final : public QObject {
    Q_OBJECT

private:
    velqor::sim::SimulatorOptions loopback()
    {
        velqor::sim::SimulatorOptions options;
        options.listenAddress = "127.0.0.1";
        options.port = 0;
        return options;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void findsAndMovesTheDevicesBehindItsTarget()
    {
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}, {"LOOP-2", "127.0.0.3"}}, loopback());
        OrvaneModel model(nullptr, {"127.0.0.1", simulator.Port()});
        QCOMPARE(model.refresh(), 2);
        QCOMPARE(model.addressOf("LOOP-2"), QStringLiteral("127.0.0.3"));
        QSignalSpy messages(&model, &OrvaneModel::showMessage);
        model.moveDevice(model.rowOf({"", velqor::Serial("LOOP-1")}), QStringLiteral("10.0.0.9"), false);
        QCOMPARE(simulator.AddressOf("LOOP-1"), std::string("10.0.0.9"));
        // It acknowledged, but cannot answer from there on loopback: no
        // search finds it, so the change is not confirmed.
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0][0].toString(), QStringLiteral("IP change not confirmed"));
    }

    void theSessionRunsOneOperationAndPushesWhatItFinds()
    {
        // Answers spread over half a second: some come in while the search runs.
        velqor::sim::SimulatorOptions options = loopback();
        options.jitter = std::chrono::milliseconds(500);
        std::vector<velqor::sim::SimulatedDevice> devices;
        for (int i = 0; i < 40; ++i)
            devices.push_back({"S" + std::to_string(100 + i), "127.0.1." + std::to_string(i + 1)});
        velqor::sim::DeviceSimulator simulator(devices, options);
        OrvaneModel model(nullptr, {"127.0.0.1", simulator.Port()});
        DeviceSession *session = model.session();
        QSignalSpy found(session, &DeviceSession::devicesFound);
        QSignalSpy finished(session, &DeviceSession::finished);
        QSignalSpy busy(session, &DeviceSession::busyChanged);

        QVERIFY(model.startRefresh());
        QVERIFY(session->running() == DeviceSession::Operation::Search);
        QVERIFY(!model.startRefresh()); // one at a time
        QVERIFY(found.wait(3000));
        const int listedMidway = model.count();
        QVERIFY(listedMidway > 0);
        QCOMPARE(finished.size(), 0);
        // An edit committed meanwhile waits for the search, then goes out.
        const std::string edited = model.detailsAt(0).serial.Bytes();
        QVERIFY(model.setData(model.index(0, 1), QStringLiteral("10.0.0.77"), OrvaneModel::RequestRole));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
        QCOMPARE(simulator.AddressOf(edited), std::string("10.0.0.77"));
        QCOMPARE(busy.size(), 2); // one busy stretch for both operations
        QVERIFY(!session->isBusy());
    }

    void theTableSortsByAddressBytesAndFiltersOnWhatItShows()
    {
        velqor::sim::DeviceSimulator simulator({{"B-9", "127.0.0.9"}, {"A-10", "127.0.0.10"}, {"C-100", "127.0.0.100"}},
                                               loopback());
        OrvaneModel model(nullptr, {"127.0.0.1", simulator.Port()});
        QCOMPARE(model.refresh(), 3);
        DeviceTableProxy sorted(&model);
        sorted.sort(1);
        auto column = [&](int which) {
            QStringList texts;
            for (int row = 0; row < sorted.rowCount(); ++row)
                texts << sorted.index(row, which).data().toString();
            return texts;
        };
        QCOMPARE(column(1), (QStringList {"127.0.0.9", "127.0.0.10", "127.0.0.100"})); // not as text
        // Typed on (fewer rows), changed, taken back (more): always in order.
        const std::pair<QString, QStringList> typed[] = {{"1", {"B-9", "A-10", "C-100"}},
                                                         {"10", {"A-10", "C-100"}},
                                                         {"c-10", {"C-100"}},
                                                         {".10", {"A-10", "C-100"}},
                                                         {"", {"B-9", "A-10", "C-100"}}};
        for (const auto &[text, shown] : typed) {
            sorted.setFilterText(text);
            QCOMPARE(column(0), shown);
        }
    }

    // A change typed while a search runs waits, and says so; closing asks
    // whether to send it or drop it, and does what the answer says.
    void aChangeThatWaitsIsSentOrDroppedAsAskedOnQuit()
    {
        for (const QString &answer : {QStringLiteral("&Discard and quit"), QStringLiteral("&Send and quit")}) {
            velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}}, loopback());
            MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
            window.show();
            auto *model = window.findChild<OrvaneModel *>();
            QVERIFY(model->startRefresh());
            model->requestMove({"", velqor::Serial("LOOP-1")}, QStringLiteral("10.0.0.8"), false);
            QVERIFY(saysWaiting(window, QStringLiteral("10.0.0.8")));
            QTimer::singleShot(200, [answer] {
                if (auto *question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    for (QAbstractButton *button : question->buttons()) {
                        if (button->text() == answer)
                            button->click();
                    }
                }
            });
            QVERIFY(window.close());
            model->session()->wait();
            QCOMPARE(commandSent(simulator), answer.startsWith(QStringLiteral("&Send")));
        }
    }

    // The count says who answered; rows kept greyed are said apart.
    void theStatusBarCountsWhoAnsweredAndTheGreyedApart()
    {
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}, {"LOOP-2", "127.0.0.3"}}, loopback());
        MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
        auto *model = window.findChild<OrvaneModel *>();
        QCOMPARE(model->count(), 2);
        DeviceSession::Result lossy;
        lossy.operation = DeviceSession::Operation::Search;
        for (int row = 0; row < model->count(); ++row) {
            lossy.search.devices.push_back(model->detailsAt(row));
            lossy.search.devices.back().heard = row == 0;
        }
        lossy.search.lost = 7;
        emit model->session()->busyChanged(true);
        emit model->session()->finished(lossy);
        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("1 Orvane found; 1 not heard (kept, greyed); 7 answers lost: search again"));
    }

    // A run that was killed mid-swap left its device to the journal: the
    // next window says where it may be.
    void anEarlierRunThatDidNotEndIsSaidAtStart()
    {
        velqor::Journal journal(velqor::Journal::DefaultPath());
        const velqor::DeviceId parked {"", velqor::Serial("LOOP-9")};
        QVERIFY(journal.Add({parked, {127, 0, 0, 9}, {10, 0, 0, 77}, {127, 0, 0, 8}}));
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}}, loopback());
        MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
        const QString said = window.statusBar()->currentMessage();
        QVERIFY(journal.Remove(parked));
        QVERIFY2(said.contains(QStringLiteral("LOOP-9 may be stranded at 10.0.0.77 (it was on its way from "
                                              "127.0.0.9 to 127.0.0.8)")),
                 qPrintable(said));
    }

    // An imported plan is checked before anything is sent, runs as a batch
    // and its report is saved as apply writes it.
    void aPlanIsPreviewedRunAndReported()
    {
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}, {"LOOP-2", "127.0.0.3"}}, loopback());
        MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
        auto *model = window.findChild<OrvaneModel *>();
        QCOMPARE(model->count(), 2);
        const velqor::PlanFile plan =
            velqor::PlanFile::Parse("serial,address\nGONE,\nLOOP-1,10.0.0.9\nLOOP-2,127.0.0.3\nNOPE,10.0.0.10\n");
        PlanDialog dialog(model, plan, &window);
        // A row without an address comes first: the rows after it still send their own devices.
        QCOMPARE(dialog.statusOf(0), QStringLiteral("skipped: no address in the plan: left as it is"));
        QCOMPARE(dialog.statusOf(1), QStringLiteral("will-move"));
        QCOMPARE(dialog.statusOf(2), QStringLiteral("already-there"));
        QVERIFY(dialog.statusOf(3).startsWith(QStringLiteral("not-sent: no device with that serial")));
        QVERIFY(!commandSent(simulator));

        dialog.run();
        QCOMPARE(simulator.AddressOf("LOOP-1"), std::string("10.0.0.9"));
        // It acknowledged, but cannot answer from there on loopback: no search finds it.
        QCOMPARE(dialog.statusOf(1),
                 QStringLiteral("not-confirmed: acknowledged, but not found at 10.0.0.9; not "
                                "found by the last search"));
        QCOMPARE(dialog.statusOf(2), QStringLiteral("already-there"));
        QCOMPARE(dialog.statusOf(0), QStringLiteral("skipped: no address in the plan: left as it is"));
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("report.csv"));
        QVERIFY(dialog.saveReport(path));
        QFile report(path);
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = report.readAll().split('\n');
        QCOMPARE(lines.value(0),
                 QByteArray("line,serial,interface,from,to,status,detail,serial_hex,ended_at,identified_by\r"));
        QVERIFY2(lines.value(1).startsWith("2,GONE,,,,skipped,"), lines.value(1).constData());
        QVERIFY2(lines.value(2).startsWith("3,LOOP-1,"), lines.value(2).constData());
        QVERIFY2(lines.value(2).contains(",127.0.0.2,10.0.0.9,not-confirmed,"), lines.value(2).constData());
        QVERIFY2(lines.value(4).startsWith("5,NOPE,,,10.0.0.10,not-sent,"), lines.value(4).constData());
    }

    // A typed address moves the device only on Enter: a click on another
    // row leaves it where it is, and says how to send it.
    void anAddressIsSentOnlyOnEnter()
    {
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}, {"LOOP-2", "127.0.0.3"}}, loopback());
        MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *table = window.findChild<QTableView *>(QStringLiteral("orvanesTableView"));
        table->setFocus();
        table->setCurrentIndex(table->model()->index(0, 0));
        const QString first = table->model()->index(0, 0).data().toString();
        QTest::keyClick(table, Qt::Key_F2);
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("10.0.0.9"));
        const QRect other = table->visualRect(table->model()->index(1, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, other.center());
        QTest::qWait(300);
        QVERIFY(!commandSent(simulator));
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("not sent: press Enter to move %1").arg(first));

        table->setCurrentIndex(table->model()->index(0, 0));
        QTest::keyClick(table, Qt::Key_F2);
        editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("10.0.0.9"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(commandSent(simulator), 5000);
    }

    // A filter that hides the current device hands the choice to the first
    // row it shows, or to none: Enter, F2 and Launch never act on a device
    // the table hides.
    void theDeviceActedOnIsOneTheTableShows()
    {
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}, {"LOOP-2", "127.0.0.3"}}, loopback());
        MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
        auto *table = window.findChild<QTableView *>(QStringLiteral("orvanesTableView"));
        auto *chooser = window.findChild<QComboBox *>(QStringLiteral("orvanesComboBox"));
        auto *filter = window.findChild<QLineEdit *>(QStringLiteral("filterLineEdit"));
        table->setCurrentIndex(table->model()->index(0, 0));
        const QString hidden = table->model()->index(0, 0).data().toString();
        const QString other = table->model()->index(1, 0).data().toString();
        QTest::keyClicks(filter, other);
        QCOMPARE(table->model()->rowCount(), 1);
        QCOMPARE(table->currentIndex().row(), 0);
        QVERIFY2(chooser->currentText().contains(other), qPrintable(chooser->currentText() + " not " + other));
        QVERIFY(!chooser->currentText().contains(hidden));
        auto *count = window.findChild<QLabel *>(QStringLiteral("filterCountLabel"));
        QCOMPARE(count->text(), QStringLiteral("1 of 2 shown"));
        QTest::keyClicks(filter, QStringLiteral("-none"));
        QCOMPARE(table->model()->rowCount(), 0);
        QVERIFY(!table->currentIndex().isValid());
        QCOMPARE(chooser->currentIndex(), -1);
        QCOMPARE(count->text(), QStringLiteral("0 of 2 shown"));
        filter->clear();
        QVERIFY(count->isHidden());
    }

    // Onto another device's address: the question names both devices and
    // where each goes; No sends nothing and says so, as no failure.
    void theSwapQuestionNamesBothDevices()
    {
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}, {"LOOP-2", "127.0.0.3"}}, loopback());
        MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
        auto *model = window.findChild<OrvaneModel *>();
        int row = 0;
        while (row < model->count() && model->detailsAt(row).serial != velqor::Serial("LOOP-1"))
            ++row;
        QVERIFY(row < model->count());
        const velqor::DeviceId device = model->detailsAt(row).Id();
        const QString asked = answerModal(
            [&] {
                // As the model asks when the address is another device's.
                emit model->confirmationNeeded(
                    device, QStringLiteral("127.0.0.3"),
                    velqor::ChangeOutcome::NotSent(velqor::NotSentReason::HeldByAnotherDevice));
                QTest::qWait(500);
            },
            [](QWidget *modal) {
                auto *box = qobject_cast<QMessageBox *>(modal);
                if (!box)
                    return QString();
                const QString text = box->text();
                box->button(QMessageBox::No)->click();
                return text;
            });
        QCOMPARE(asked,
                 QStringLiteral("LOOP-2 answers from 127.0.0.3. Swap the two: LOOP-1 to 127.0.0.3, and LOOP-2 "
                                "to 127.0.0.2, where LOOP-1 is now?"));
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("not sent: LOOP-1 stays where it is"));
        QVERIFY(!commandSent(simulator));
    }

    // A row whose device moved away from what the filter matches leaves the
    // table; one that moved into it comes.
    void theFilterFollowsADeviceThatMoved()
    {
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}, {"LOOP-2", "127.0.0.3"}}, loopback());
        MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
        auto *model = window.findChild<OrvaneModel *>();
        auto *table = window.findChild<QTableView *>(QStringLiteral("orvanesTableView"));
        window.findChild<QLineEdit *>(QStringLiteral("filterLineEdit"))->setText(QStringLiteral("127.0.0.2"));
        QCOMPARE(table->model()->rowCount(), 1);
        DeviceSession::Result moved;
        moved.operation = DeviceSession::Operation::Search;
        for (int row = 0; row < model->count(); ++row)
            moved.search.devices.push_back(model->detailsAt(row));
        for (velqor::DeviceDetails &device : moved.search.devices)
            device.address = device.address == velqor::Ipv4Bytes {127, 0, 0, 2} ? velqor::Ipv4Bytes {127, 0, 0, 7}
                                                                                : velqor::Ipv4Bytes {127, 0, 0, 2};
        emit model->session()->finished(moved);
        QCOMPARE(table->model()->rowCount(), 1);
        QCOMPARE(table->model()->index(0, 1).data().toString(), QStringLiteral("127.0.0.2"));
        QVERIFY(table->model()->index(0, 0).data().toString() != QStringLiteral("LOOP-1"));
    }

    // A serial that answers on two interfaces is two devices: the chooser
    // names the interface on each of its rows, and on no other row.
    void theChooserNamesTheInterfaceOfEachRowOfASharedSerial()
    {
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}}, loopback());
        MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
        auto *model = window.findChild<OrvaneModel *>();
        auto *chooser = window.findChild<QComboBox *>(QStringLiteral("orvanesComboBox"));
        DeviceSession::Result twins;
        twins.operation = DeviceSession::Operation::Search;
        twins.search.devices.push_back(model->detailsAt(0));
        for (const char *link : {"eth0", "eth1", "eth2"}) {
            velqor::DeviceDetails twin = model->detailsAt(0);
            twin.serial = velqor::Serial("TWIN");
            twin.via.name = link;
            twins.search.devices.push_back(twin);
        }
        emit model->session()->finished(twins);
        QStringList items;
        for (int row = 0; row < chooser->count(); ++row)
            items << chooser->itemText(row);
        items.sort();
        QCOMPARE(items, (QStringList {"LOOP-1", "TWIN on eth0", "TWIN on eth1", "TWIN on eth2"}));
    }

    // The window in German where the locale is German, Qt's own buttons
    // and the device layer's reasons too; in English under C.
    void theWindowSpeaksTheUsersLanguage()
    {
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}}, loopback());
        velqor::ChangeOutcome taken;
        taken.kind = velqor::ChangeOutcome::Kind::NotSent;
        taken.reason = velqor::NotSentReason::InUseByHost;
        taken.host = "02:00:0a:64:00:05";
        const auto texts = [&] {
            MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
            QMessageBox box;
            box.setStandardButtons(QMessageBox::Yes);
            PlanDialog plan(window.findChild<OrvaneModel *>(),
                            velqor::PlanFile::Parse("serial,address\nNOSUCH,10.0.0.2\n"), &window);
            return QStringList {window.findChild<QPushButton *>(QStringLiteral("searchOrvanesPushButton"))->text(),
                                window.statusBar()->currentMessage(), box.button(QMessageBox::Yes)->text(),
                                Translations::phrase(velqor::NotSentPhrase(taken)), plan.statusOf(0)};
        };
        QVERIFY(Translations::install(QLocale(QLocale::German, QLocale::Germany)));
        const QStringList german = texts();
        QVERIFY(!Translations::install(QLocale::c()));
        const QStringList english = texts();
        Translations::remove();
        QCOMPARE(german,
                 (QStringList {"&Aktualisieren", "1 Orvane gefunden", "&Ja",
                               "ein anderer Rechner antwortet für diese Adresse (02:00:0a:64:00:05)",
                               "nicht gesendet: kein Gerät mit dieser Seriennummer antwortete"}));
        QCOMPARE(english,
                 (QStringList {"&Refresh", "1 Orvane found", "&Yes",
                               "another host answers for that address (02:00:0a:64:00:05)",
                               "not-sent: no device with that serial answered"}));
    }

    // What the status bar said stays readable: whole in the history and in
    // the line's tooltip; each change with its device, from and to; all of
    // it saved as CSV.
    void whatHappenedStaysReadable()
    {
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}}, loopback());
        MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
        auto *history = window.findChild<HistoryDock *>();
        auto *model = window.findChild<OrvaneModel *>();
        QVERIFY(history);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!history->isVisible());
        QTest::keyClick(&window, Qt::Key_H, Qt::ControlModifier);
        QVERIFY(history->isVisible());
        const QString said = window.statusBar()->currentMessage();
        QVERIFY(!said.isEmpty());
        QCOMPARE(window.statusBar()->toolTip(), said);
        const auto holds = [&](const QString &start) {
            for (int row = 0; row < history->count(); ++row) {
                if (history->textAt(row).startsWith(start))
                    return true;
            }
            return false;
        };
        QVERIFY(holds(said));
        QSignalSpy done(model, &OrvaneModel::operationFinished);
        model->requestMove(model->detailsAt(0).Id(), QStringLiteral("10.0.0.9"), false);
        QVERIFY(done.wait(10000));
        QVERIFY(holds(QStringLiteral("LOOP-1: 127.0.0.2 → 10.0.0.9: ")));
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("history.csv"));
        QVERIFY(history->save(path));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray csv = saved.readAll();
        QVERIFY(csv.startsWith("time,text\r\n"));
        QVERIFY2(csv.contains(said.toUtf8()), csv.constData());
    }

    // Import plan… as a person reaches it: a file on disk, through the
    // function its file dialog calls. A spreadsheet opens as a plan; a
    // broken file says where it breaks.
    void aPlanFileFromDiskOpensInTheWindow()
    {
        velqor::sim::DeviceSimulator simulator({{"000123", "127.0.0.2"}}, loopback());
        MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
        const auto shown = [&](const QString &path) {
            return answerModal(
                [&] { window.importPlan(path); },
                [](QWidget *modal) {
                    QString seen;
                    if (auto *dialog = qobject_cast<PlanDialog *>(modal)) {
                        const auto *table = dialog->findChild<QTableWidget *>();
                        seen = QStringLiteral("%1 rows: %2").arg(table->rowCount()).arg(dialog->statusOf(0));
                        static_cast<QDialog *>(dialog)->reject();
                    } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                        seen = box->text();
                        box->reject();
                    }
                    return seen;
                });
        };
        const QString opened = shown(QStringLiteral(ORVANE_TEST_DATA "/lo-text.ods"));
        QVERIFY2(opened.startsWith(QStringLiteral("3 rows: not-sent: the device is not at the plan's from address")),
                 qPrintable(opened));
        QTemporaryDir folder;
        QFile broken(folder.filePath(QStringLiteral("plan.csv")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("serial,address\nA,10.0.0.2\nB,10.0.0\n");
        broken.close();
        const QString refused = shown(broken.fileName());
        QVERIFY2(refused.endsWith(QStringLiteral("is no address plan: line 3: \"10.0.0\" is not an IPv4 address")),
                 qPrintable(refused));
        QVERIFY(!commandSent(simulator));
    }

    void aSessionsEndKeepsTheWindowsLayout();
    // Last: the session's end quits every event loop of the process.
    void aSessionsEndDropsTheChangesThatWaitAndSaysSo();
};

void TargetTest::aSessionsEndKeepsTheWindowsLayout()
{
    // SIGTERM as a logout sends, SIGHUP as a closed terminal does.
    for (const int signal : {SIGTERM, SIGHUP}) {
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}}, loopback());
        QTemporaryDir config;
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", config.path());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.start(ORVANE_MANAGER, {"--target", QStringLiteral("127.0.0.1:%1").arg(simulator.Port())});
        QVERIFY(program.waitForStarted());
        // The window shows after its first search; the greeting comes first.
        QVERIFY(simulator.WaitForReceived(3, std::chrono::seconds(5)));
        QTest::qWait(1000);
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), signal), 0);
        QVERIFY(program.waitForFinished(5000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QFile settings(config.filePath("Velqor/Orvane Manager.conf"));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray saved = settings.readAll();
        QVERIFY2(saved.contains("geometry=") && saved.contains("tableHeader="), saved.constData());
    }
}

// The last test: the session's end quits every event loop of the process.
void TargetTest::aSessionsEndDropsTheChangesThatWaitAndSaysSo()
{
    velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}}, loopback());
    MainWindow window(nullptr, {"127.0.0.1", simulator.Port()});
    auto *model = window.findChild<OrvaneModel *>();
    QVERIFY(model->startRefresh());
    model->requestMove({"", velqor::Serial("LOOP-1")}, QStringLiteral("10.0.0.8"), false);
    std::ostringstream said;
    std::streambuf *const original = std::cerr.rdbuf(said.rdbuf());
    window.endSession();
    std::cerr.rdbuf(original);
    model->session()->wait();
    QCOMPARE(QString::fromStdString(said.str()),
             QStringLiteral("orvane-manager: discarded the change of LOOP-1 to 10.0.0.8, which waited: the session "
                            "ended\n"));
    QVERIFY(!commandSent(simulator));
}

QTEST_MAIN(TargetTest)
#include "TargetTest.moc"
