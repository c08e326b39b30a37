// Runs in the virtual LAN started without a route, with two devices; the
// test takes the network down and up.

#include "ClickRefresh.h"
#include "MainWindow.h"
#include "Network.h"
#include "OrvaneModel.h"

#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include <cstring>

class WindowNoRouteTest final : public QObject {
    Q_OBJECT

private:
    // Down, the workstation has no network: no interface and no route.
    static void link(const char *state)
    {
        QVERIFY(velqor::test::SetLink(qgetenv("ORVANE_VLAN_IFACE").toStdString(), std::strcmp(state, "up") == 0));
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // never the user's settings
        if (!velqor::test::InVirtualLan())
            QSKIP("broadcasts: runs only inside scripts/vlan");
    }

    void linkErrorIsShownAndTheProgramRecovers()
    {
        link("down");
        MainWindow window;
        const QString error = window.statusBar()->currentMessage();
        QVERIFY2(error.startsWith("Device link error: "), qPrintable(error));
        QVERIFY2(error.contains("unreachable"), qPrintable(error));
        auto *model = window.findChild<OrvaneModel *>();
        QCOMPARE(model->count(), 0);

        link("up");
        clickRefresh(window);
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("2 Orvanes found"));
        QCOMPARE(model->count(), 2);

        link("down");
        QVERIFY(model->setData(model->index(0, 1), QStringLiteral("10.100.4.4"), Qt::EditRole));
        QVERIFY(window.statusBar()->currentMessage().startsWith("Device link error: "));
        clickRefresh(window);
        QVERIFY(window.statusBar()->currentMessage().startsWith("Device link error: "));
        QCOMPARE(model->count(), 0);

        link("up");
        clickRefresh(window);
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("2 Orvanes found"));
    }
};

QTEST_MAIN(WindowNoRouteTest)
#include "WindowNoRouteTest.moc"
