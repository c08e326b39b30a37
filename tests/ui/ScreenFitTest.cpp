// The first window on the screen the test's platform describes
// (tests/ui/CMakeLists.txt: a screen size and a scale factor). Its target
// has no device, so nothing is broadcast.

#include "MainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

class ScreenFitTest final : public QObject {
    Q_OBJECT

private:
    // Whether the widget is shown whole inside the window's central area.
    static bool reachable(const MainWindow &window, const QWidget *widget)
    {
        const QRect area = window.rect();
        const QRect place(widget->mapTo(&window, QPoint(0, 0)), widget->size());
        return widget->isVisible() && area.contains(place);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // never the user's settings
        QSettings().clear(); // no size saved by an earlier run
    }

    void theFirstWindowFitsTheScreenAndShowsWhatItCan()
    {
        MainWindow window(nullptr, {"127.0.0.1", 9});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect screen = window.screen()->availableGeometry();
        QVERIFY2(screen.contains(window.frameGeometry()),
                 qPrintable(QStringLiteral("%1x%2 on %3x%4")
                                .arg(window.frameGeometry().width())
                                .arg(window.frameGeometry().height())
                                .arg(screen.width())
                                .arg(screen.height())));
        QVERIFY(window.height() >= window.minimumSizeHint().height());

        auto *table = window.findChild<QTableView *>(QStringLiteral("orvanesTableView"));
        const int rows = table->viewport()->height() / table->verticalHeader()->defaultSectionSize();
        QVERIFY2(rows >= 3, qPrintable(QString::number(rows)));
        for (const char *name : {"searchOrvanesPushButton", "assignPushButton", "exportPushButton", "orvanesComboBox",
                                 "applicationComboBox", "LaunchPushButton"})
            QVERIFY2(reachable(window, window.findChild<QWidget *>(QString::fromLatin1(name))), name);
        QVERIFY(reachable(window, window.statusBar()));

        if (screen.height() < 700)
            return; // no room for more
        QVERIFY2(rows >= 12, qPrintable(QString::number(rows)));
        // A network as Linux names it, and the longest address with its warning sign.
        const QFontMetrics metrics = table->fontMetrics();
        const int network = metrics.horizontalAdvance(QStringLiteral("enp0s31f6 192.168.100.100/24"));
        const int address = metrics.horizontalAdvance(QStringLiteral("255.255.255.255")) + 16;
        for (int column = 0; column < 3; ++column) {
            QVERIFY2(table->columnWidth(column) > std::max(network, address),
                     qPrintable(QStringLiteral("column %1: %2").arg(column).arg(table->columnWidth(column))));
        }
    }
};

QTEST_MAIN(ScreenFitTest)
#include "ScreenFitTest.moc"
