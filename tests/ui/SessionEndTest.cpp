// The session ends (SIGTERM, as a logout sends) while a swap's change is
// under way, in a virtual LAN of its own: SLOWB acknowledges 1.5 s late.

#include "MainWindow.h"
#include "OrvaneManager.h"
#include "OrvaneModel.h"
#include "TerminationWatcher.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

class SessionEndTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        if (qEnvironmentVariableIsEmpty("ORVANE_VLAN"))
            QSKIP("broadcasts: runs only inside scripts/vlan");
    }

    // The step under way ends, the device parked for the swap goes back
    // where that is safe, and each device ends on an address of its own:
    // home, swapped, or named on stderr where it is. Then the program quits.
    void aSessionThatEndsMidSwapLeavesEachDeviceOnAnAddressOfItsOwn()
    {
        MainWindow window;
        TerminationWatcher watcher;
        connect(&watcher, &TerminationWatcher::terminated, &window, &MainWindow::endSession);
        auto *model = window.findChild<OrvaneModel *>();
        std::map<std::string, int> rows;
        for (int row = 0; row < model->count(); ++row)
            rows[model->detailsAt(row).serial.Column()] = row;
        QVERIFY(rows.count("SWAPA") != 0 && rows.count("SLOWB") != 0);
        const std::string home = velqor::FormatAddress(model->detailsAt(rows["SWAPA"]).address);
        const std::string there = velqor::FormatAddress(model->detailsAt(rows["SLOWB"]).address);
        std::ostringstream said;
        std::streambuf *const original = std::cerr.rdbuf(said.rdbuf());
        QTimer::singleShot(0, model, [&] {
            model->requestMove(model->detailsAt(rows["SWAPA"]).Id(), QString::fromStdString(there), true);
            QTimer::singleShot(700, [] { std::raise(SIGTERM); }); // SLOWB's step is under way
        });
        QTimer::singleShot(20000, qApp, &QCoreApplication::quit); // should the session not end
        QApplication::exec();
        model->session()->wait();
        std::cerr.rdbuf(original);
        const std::string text = said.str();
        QVERIFY2(!model->isBusy(), text.c_str());

        velqor::OrvaneManager look;
        look.Search(1500, true, nullptr);
        std::map<std::string, std::string> now;
        for (const velqor::DeviceDetails &device : look.GetDeviceDetails())
            now[device.serial.Column()] = velqor::FormatAddress(device.address);
        const std::string a = now["SWAPA"];
        const std::string b = now["SLOWB"];
        QVERIFY2(!a.empty() && a != b, (a + " " + b + "\n" + text).c_str());
        const bool back = a == home && b == there;
        const bool swapped = a == there && b == home;
        QVERIFY2(back || swapped || text.find("SWAPA was left at " + a) != std::string::npos,
                 (a + " " + b + "\n" + text).c_str());
    }
};

QTEST_MAIN(SessionEndTest)
#include "SessionEndTest.moc"
