// Runs in the virtual LAN from a folder of its own beside record-args;
// ORVANE_EXPECT is the number of simulated devices.

#include "HistoryDock.h"
#include "MainWindow.h"
#include "Network.h"
#include "NetworkInterface.h"
#include "OrvaneModel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include <unistd.h>

#include <iostream>
#include <sstream>

class LauncherTest final : public QObject {
    Q_OBJECT

private:
    QDir folder;
    int expected = 0;

    void makeFile(const QString &name, bool executable)
    {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\nexit 0\n");
        file.close();
        QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
        if (executable)
            permissions |= QFile::ExeOwner | QFile::ExeUser;
        QVERIFY(file.setPermissions(permissions));
    }

    QStringList offered(const MainWindow &window)
    {
        auto *chooser = window.findChild<QComboBox *>("applicationComboBox");
        QStringList names;
        for (int i = 0; i < chooser->count(); ++i)
            names << chooser->itemText(i);
        return names;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // never the user's settings
        if (!velqor::test::InVirtualLan())
            QSKIP("broadcasts: runs only inside scripts/vlan");
        expected = qEnvironmentVariableIntValue("ORVANE_EXPECT");
        folder = QDir(QCoreApplication::applicationDirPath());
        makeFile("alpha", true);
        makeFile("Zeta", true);
        makeFile("beta.txt", false);
        // What an installer leaves beside the program.
        makeFile("Uninstall", true);
        makeFile("orvane-manager-1.0.0-win64", true);
        QVERIFY(folder.mkpath("gamma.d"));
        QFile::remove(folder.filePath("self-copy"));
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), folder.filePath("self-copy")));
    }

    void cleanupTestCase()
    {
        for (const char *name : {"alpha", "Zeta", "beta.txt", "self-copy", "late", "record-args.out", "record-args.cwd",
                                 "broken", "Uninstall", "orvane-manager-1.0.0-win64"})
            QFile::remove(folder.filePath(name));
        folder.rmdir("gamma.d");
    }

    void offersEveryOtherExecutableFileByName()
    {
        MainWindow window;
        QCOMPARE(offered(window), (QStringList {"alpha", "record-args", "self-copy", "Zeta"}));

        makeFile("late", true);
        QTest::mouseClick(window.findChild<QPushButton *>("searchOrvanesPushButton"), Qt::LeftButton);
        QVERIFY2(!offered(window).contains("late"), "the list is made once, at start");
    }

    void launchPassesTheChosenDevicesAddress()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *table = window.findChild<QTableView *>("orvanesTableView");
        auto *model = window.findChild<OrvaneModel *>();
        QCOMPARE(model->count(), expected);
        QStringList arguments;
        QString serial;
        if (expected >= 2) {
            const QModelIndex second = table->model()->index(1, 0);
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(second).center());
            serial = second.data().toString();
            arguments << model->index(1, 1).data().toString();
        }
        window.findChild<QComboBox *>("applicationComboBox")->setCurrentText("record-args");
        const QString out = folder.filePath("record-args.out");
        QFile::remove(out);

        std::ostringstream printed;
        std::streambuf *const original = std::cout.rdbuf(printed.rdbuf());
        QTest::mouseClick(window.findChild<QPushButton *>("LaunchPushButton"), Qt::LeftButton);
        std::cout.rdbuf(original);
        QCOMPARE(QString::fromStdString(printed.str()), serial + "\nrecord-args\n");
        if (expected == 0) {
            // No device to hand it: the companion is not started without one.
            QCOMPARE(window.statusBar()->currentMessage(),
                     QStringLiteral("Did not start record-args: no device is chosen; choose one in the list"));
            QTest::qWait(500);
            QVERIFY(!QFile::exists(out));
            return;
        }

        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 5000);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList received = QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(received, arguments);
        // Started in its own folder, not in the one the window started in.
        QFile cwd(folder.filePath("record-args.cwd"));
        QVERIFY(cwd.open(QIODevice::ReadOnly));
        QCOMPARE(QDir(QString::fromLocal8Bit(cwd.readAll()).trimmed()), folder);
    }

    // The chosen device stops answering: the chooser says so and Launch
    // refuses; it never passes the address of the row that took its place.
    // A chosen device that stops answering gives way to the first shown row,
    // said aloud; with none shown it stays named and nothing starts for it.
    void aChosenDeviceThatGoesGivesWayOnlyToTheOneShownAndSaid()
    {
        if (expected < 3)
            QSKIP("needs three devices");
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *table = window.findChild<QTableView *>("orvanesTableView");
        auto *chooser = window.findChild<QComboBox *>("orvanesComboBox");
        auto *model = window.findChild<OrvaneModel *>();
        auto *history = window.findChild<HistoryDock *>();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(table->model()->index(1, 1)).center());
        QCOMPARE(chooser->currentText(), QStringLiteral("ORV000001"));
        std::vector<velqor::DeviceDetails> all;
        for (int row = 0; row < model->count(); ++row)
            all.push_back(model->detailsAt(row));
        DeviceSession::Result without;
        without.operation = DeviceSession::Operation::Search;
        without.search.devices = {all[0], all[2]};
        emit model->session()->finished(without); // a search it did not answer, none lost
        QCOMPARE(model->count(), 2);
        QCOMPARE(table->currentIndex().row(), 0);
        QCOMPARE(chooser->currentText(), table->model()->index(0, 0).data().toString());
        const auto said = [history](const QString &text) {
            for (int row = 0; row < history->count(); ++row)
                if (history->textAt(row).contains(text))
                    return true;
            return false;
        };
        QVERIFY(said(QStringLiteral("ORV000001 on h0 no longer answers; ORV000000 on h0 is chosen now")));

        window.findChild<QComboBox *>("applicationComboBox")->setCurrentText("record-args");
        const QString out = folder.filePath("record-args.out");
        const auto launched = [&]() -> QString {
            QFile file(out);
            if (!file.open(QIODevice::ReadOnly))
                return {};
            return QString::fromLocal8Bit(file.readAll()).trimmed();
        };
        QFile::remove(out);
        QTest::mouseClick(window.findChild<QPushButton *>("LaunchPushButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 5000);
        QTRY_COMPARE(launched(), QString::fromStdString(velqor::FormatAddress(all[0].address)));

        DeviceSession::Result none = without;
        none.search.devices.clear();
        emit model->session()->finished(none);
        QCOMPARE(chooser->currentIndex(), -1);
        QCOMPARE(chooser->placeholderText(), QStringLiteral("ORV000000 on h0 (not found)"));
        QVERIFY(!table->currentIndex().isValid());
        // Back from the Launch button, which the click focused. The nothing-found
        // advice may follow in the status bar: the history keeps both.
        table->setFocus();
        QTest::keyClick(table, Qt::Key_F2);
        QVERIFY(said(QStringLiteral("No device chosen: choose one in the table first")));
        QFile::remove(out);
        QTest::mouseClick(window.findChild<QPushButton *>("LaunchPushButton"), Qt::LeftButton);
        QVERIFY(said(QStringLiteral("Did not start record-args: ORV000000")));
        QTest::qWait(1000);
        QVERIFY2(!QFile::exists(out), "started for a device that is gone");

        DeviceSession::Result back = without;
        back.search.devices = all;
        emit model->session()->finished(back);
        QCOMPARE(chooser->currentText(), QStringLiteral("ORV000000"));
        QTest::mouseClick(window.findChild<QPushButton *>("LaunchPushButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 5000);
        QTRY_COMPARE(launched(), QString::fromStdString(velqor::FormatAddress(all[0].address)));
    }

    void launchSurvivesAClosedOutputAndSaysWhatCannotStart()
    {
        if (expected == 0)
            QSKIP("needs a device to start it for");
        QFile broken(folder.filePath("broken"));
        QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write("\x7f"
                     "ELF, but not a program");
        broken.close();
        QVERIFY(broken.setPermissions(broken.permissions() | QFile::ExeOwner | QFile::ExeUser));
        MainWindow window;
        window.findChild<QComboBox *>("applicationComboBox")->setCurrentText("broken");
        int ends[2];
        QVERIFY(::pipe(ends) == 0);
        ::close(ends[0]);
        const int output = ::dup(STDOUT_FILENO);
        ::dup2(ends[1], STDOUT_FILENO);
        ::close(ends[1]);
        QTest::mouseClick(window.findChild<QPushButton *>("LaunchPushButton"), Qt::LeftButton);
        ::dup2(output, STDOUT_FILENO);
        ::close(output);
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Could not start broken"));
        broken.remove();
    }
};

QTEST_MAIN(LauncherTest)
#include "LauncherTest.moc"
