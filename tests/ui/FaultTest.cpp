// Faults on the network, each in a virtual LAN of its own; ORVANE_FAULT names
// the one this run's simulators produce (tests/ui/CMakeLists.txt).

#include "MainWindow.h"
#include "Network.h"
#include "OrvaneModel.h"

#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include <iostream>

class FaultTest final : public QObject {
    Q_OBJECT

private:
    static OrvaneModel *modelOf(const MainWindow &window) { return window.findChild<OrvaneModel *>(); }

    static void requireFault(const char *fault)
    {
        if (qgetenv("ORVANE_FAULT") != fault)
            QSKIP("another fault's run");
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // never the user's settings
        if (!velqor::test::InVirtualLan())
            QSKIP("broadcasts: runs only inside scripts/vlan");
    }

    // 100,000 junk datagrams of every size pour in during each search.
    void junkLeavesTheListExact()
    {
        requireFault("junk");
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        OrvaneModel *model = modelOf(window);
        for (int search = 0; search < 2; ++search) {
            QCOMPARE(model->count(), 3);
            QCOMPARE(model->addressOf("ORV000000"), QStringLiteral("10.100.0.1"));
            QCOMPARE(model->addressOf("ORV000002"), QStringLiteral("10.100.0.3"));
            QTest::mouseClick(window.findChild<QPushButton *>("searchOrvanesPushButton"), Qt::LeftButton);
        }
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("3 Orvanes found"));
        QTest::qWait(50); // the window still answers
        QVERIFY(window.isVisible());
    }

    // Answers of 1024 and 1106 bytes are dropped whole; 1023 bytes still pass.
    // Two devices answering with one serial are one row that stays at the
    // address heard first and names the other, whatever order they answer in.
    void oversizedAnswersAndSecondAddresses()
    {
        requireFault("shape");
        MainWindow window;
        OrvaneModel *model = modelOf(window);
        QCOMPARE(model->count(), 2);
        QCOMPARE(model->addressOf(QString(1017, 'Y')), QStringLiteral("10.100.0.61"));
        QCOMPARE(model->addressOf("TWIN"), QStringLiteral("10.100.0.50"));
        QCOMPARE(model->detailsAt(0).alsoAt, (std::vector<velqor::Ipv4Bytes> {{10, 100, 0, 51}}));
        for (int row = 0; row < model->count(); ++row)
            QVERIFY(!model->index(row, 0).data().toString().startsWith("XX"));
        QVERIFY2(window.sizeHint().width() < 1000, "a 1017-byte serial does not widen the window");

        // Both TWINs would move to the new address: refused, and said why.
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("TWIN"));
        QVERIFY(model->setData(model->index(0, 1), "10.100.0.70", Qt::EditRole));
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Serial answered from several addresses"));
    }

    // 30 % of the answers are lost; the repeated query finds most devices.
    void lossyLinkStillFindsMostDevices()
    {
        requireFault("loss");
        OrvaneModel model;
        const int found = model.refresh();
        std::cout << "30 % loss: one refresh found " << found << " of 256 devices" << std::endl;
        QVERIFY2(found >= 180, qPrintable(QString::number(found)));
        QVERIFY(found <= 256);
    }
};

QTEST_MAIN(FaultTest)
#include "FaultTest.moc"
