// Runs in the virtual LAN; ORVANE_EXPECT is the number of simulated devices.

#include "AssignDialog.h"
#include "ClickRefresh.h"
#include "DetailsDock.h"
#include "MainWindow.h"
#include "Network.h"
#include "OrvaneModel.h"
#include "PlanDialog.h"
#include "PlanFile.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTime>
#include <QToolBar>

class WindowTest final : public QObject {
    Q_OBJECT

private:
    template<typename T> static T *child(const MainWindow &window, const char *name)
    {
        T *object = window.findChild<T *>(QString::fromLatin1(name));
        if (!object)
            qFatal("no %s", name);
        return object;
    }

    static QString countMessage(int devices)
    {
        if (devices == 0)
            return QStringLiteral("No Orvanes found");
        return devices == 1 ? QStringLiteral("1 Orvane found") : QStringLiteral("%1 Orvanes found").arg(devices);
    }

    int expected = 0;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // never the user's settings
        QSettings().clear(); // the form's own size, whatever an earlier run left
        if (!velqor::test::InVirtualLan())
            QSKIP("broadcasts: runs only inside scripts/vlan");
        expected = qEnvironmentVariableIntValue("ORVANE_EXPECT");
    }

    void formHasItsObjectsAndTexts()
    {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Velqor - Orvane Manager"));
        QVERIFY(window.windowIcon().availableSizes().contains(QSize(84, 84)));
        QCOMPARE(child<QGroupBox>(window, "groupBox")->title(), QStringLiteral("Detected Orvanes"));
        QCOMPARE(child<QGroupBox>(window, "groupBox_2")->title(), QStringLiteral("Application Launcher"));
        QCOMPARE(child<QPushButton>(window, "searchOrvanesPushButton")->text(), QStringLiteral("&Refresh")); // Alt+R
        QCOMPARE(child<QPushButton>(window, "LaunchPushButton")->text(), QStringLiteral("&Launch"));
        QCOMPARE(child<QPushButton>(window, "importPlanPushButton")->text(), QStringLiteral("&Import plan…")); // Alt+I
        QCOMPARE(child<QLabel>(window, "label")->text(), QStringLiteral("&Orvane: ")); // Alt+O
        QCOMPARE(child<QLabel>(window, "label_2")->text(), QStringLiteral("A&pplication: ")); // Alt+P
        QVERIFY(child<QToolBar>(window, "mainToolBar")->actions().isEmpty());
        QVERIFY(!child<QComboBox>(window, "applicationComboBox")->isEditable());

        auto *table = child<QTableView>(window, "orvanesTableView");
        QVERIFY(table->verticalHeader()->isHidden());
        QVERIFY(table->isSortingEnabled()); // column headers sort
        QCOMPARE(table->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Network"));
        QVERIFY(!table->isCornerButtonEnabled());
        QCOMPARE(table->frameShape(), QFrame::WinPanel);
        // Columns the user resizes; the last takes what is left, and no cell wraps.
        QCOMPARE(table->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        QVERIFY(table->horizontalHeader()->stretchLastSection());
        QVERIFY(!table->wordWrap());
        QCOMPARE(table->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Serial"));
    }

    void columnWidthsAreRemembered()
    {
        {
            MainWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            child<QTableView>(window, "orvanesTableView")->horizontalHeader()->resizeSection(0, 211);
            window.close();
        }
        MainWindow again;
        QCOMPARE(child<QTableView>(again, "orvanesTableView")->horizontalHeader()->sectionSize(0), 211);
    }

    // Every control a screen reader reaches, in the window and in both
    // dialogs, has a name and a description.
    void everyControlHasAnAccessibleNameAndDescription()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *model = window.findChild<OrvaneModel *>();
        PlanDialog plan(model, velqor::PlanFile::Parse("serial,address\nA,10.0.0.2\n"), &window);
        AssignDialog assign(model, {}, &window);
        QStringList unnamed;
        for (QWidget *top : std::initializer_list<QWidget *> {&window, &plan, &assign}) {
            QList<QWidget *> widgets = top->findChildren<QWidget *>();
            widgets.prepend(top);
            for (QWidget *widget : widgets) {
                // Qt's own parts (viewports, scroll bars, headers) are named by Qt.
                if (widget->objectName().isEmpty() || widget->objectName().startsWith(QLatin1String("qt_")) ||
                    widget->inherits("QGroupBox") || widget->inherits("QLabel") || widget->inherits("QToolBar") ||
                    widget->inherits("QDockWidget") || widget->objectName() == QLatin1String("centralWidget") ||
                    widget->objectName() == QLatin1String("historyContents") ||
                    widget->objectName() == QLatin1String("detailsContents"))
                    continue;
                QAccessibleInterface *described = QAccessible::queryAccessibleInterface(widget);
                if (!described || described->text(QAccessible::Name).isEmpty() ||
                    described->text(QAccessible::Description).isEmpty())
                    unnamed << widget->objectName();
            }
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    }

    void resourcesAreCompiledIn()
    {
        QCOMPARE(QImage(":/velqor_logo.png").size(), QSize(92, 32));
        QCOMPARE(QImage(":/red-on-16.png").size(), QSize(16, 16));
        QCOMPARE(QImage(":/green-on-16.png").size(), QSize(16, 16));
        QCOMPARE(QImage(":/velqor_icon.ico").size(), QSize(84, 84));
    }

    void firstSearchReplacesReadyBeforeTheWindowShows()
    {
        MainWindow window;
        auto *model = window.findChild<OrvaneModel *>();
        QVERIFY(model);
        QCOMPARE(model->count(), expected);
        // With nothing found it goes on to say where it searched and why.
        QVERIFY2(window.statusBar()->currentMessage().startsWith(countMessage(expected)),
                 qPrintable(window.statusBar()->currentMessage()));
        if (expected == 0)
            QVERIFY(window.statusBar()->currentMessage().contains(QStringLiteral("searched on h0 10.77.0.1/10")));

        auto *chooser = child<QComboBox>(window, "orvanesComboBox");
        QCOMPARE(chooser->count(), expected);
        QCOMPARE(chooser->currentIndex(), expected > 0 ? 0 : -1);
        if (expected > 0)
            QCOMPARE(chooser->currentText(), model->index(0, 0).data().toString());

        // Messages time out and leave the status bar empty.
        QTRY_VERIFY_WITH_TIMEOUT(window.statusBar()->currentMessage().isEmpty(), 8000);
    }

    void clickingAnyCellChoosesItsDeviceAndRefreshKeepsTheChoice()
    {
        if (expected < 3)
            QSKIP("needs three devices");
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *table = child<QTableView>(window, "orvanesTableView");
        auto *chooser = child<QComboBox>(window, "orvanesComboBox");
        const QModelIndex third = table->model()->index(2, 1);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(third).center());
        QCOMPARE(chooser->currentText(), table->model()->index(2, 0).data().toString());

        clickRefresh(window);
        QCOMPARE(chooser->currentIndex(), 2);
        QCOMPARE(window.statusBar()->currentMessage(), countMessage(expected));
        // The table keeps the chosen device selected.
        QCOMPARE(table->selectionModel()->selectedRows(), (QModelIndexList {table->model()->index(2, 0)}));
    }

    void movingTheCurrentRowWithTheKeyboardChoosesItsDevice()
    {
        if (expected < 3)
            QSKIP("needs three devices");
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *table = child<QTableView>(window, "orvanesTableView");
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Down);
        QTest::keyClick(table, Qt::Key_Down);
        QCOMPARE(table->currentIndex().row(), 2);
        QCOMPARE(child<QComboBox>(window, "orvanesComboBox")->currentIndex(), 2);
    }

    // Ctrl+I shows the current device in full, down to what its label says.
    void theDetailsPaneFollowsTheCurrentRow()
    {
        if (expected < 3)
            QSKIP("needs three devices");
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *table = child<QTableView>(window, "orvanesTableView");
        table->setFocus();
        QTest::keyClick(table, Qt::Key_I, Qt::ControlModifier);
        auto *details = window.findChild<DetailsDock *>();
        QVERIFY(details->isVisible());
        // The simulators' namespace resolves addresses with its first
        // device's: the workstation's neighbour table knows that one.
        QVERIFY2(details->text().startsWith("Serial: ORV000000\n") &&
                     details->text().contains(QRegularExpression("\nHardware address: ([0-9a-f]{2}:){5}[0-9a-f]{2}\n")),
                 qPrintable(details->text()));
        QTest::keyClick(table, Qt::Key_Down);
        const QString text = details->text();
        for (const char *line :
             {"^Serial: ORV000001$", "^Serial \\(hex\\): 4f5256303030303031$", "^Address: 10\\.100\\.0\\.2$",
              "^Network: h0 ", "^Last heard: \\d\\d:\\d\\d:\\d\\d$", "^Hardware address: ", "^Warnings: none$"})
            QVERIFY2(text.contains(QRegularExpression(line, QRegularExpression::MultilineOption)),
                     qPrintable(QStringLiteral("%1 in\n%2").arg(line, text)));
        // Heard by the search just made, not at some other time.
        const QString heard = QRegularExpression("Last heard: (\\S+)").match(text).captured(1);
        const int since = QTime::fromString(heard, QStringLiteral("HH:mm:ss")).secsTo(QTime::currentTime());
        QVERIFY2((since >= 0 && since < 60) || since < 60 - 86400, qPrintable(heard));
    }

    void tabLeavesTheTableForTheButtonsAndTheLists()
    {
        MainWindow window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *filter = child<QLineEdit>(window, "filterLineEdit");
        auto *table = child<QTableView>(window, "orvanesTableView");
        filter->setFocus();
        QStringList visited;
        QImage focused;
        for (int step = 0; step < 8; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
            if (step == 0)
                focused = table->grab().toImage();
        }
        // The table shows that it has the focus, with rows or without.
        QVERIFY(table->grab().toImage() != focused);
        QCOMPARE(visited,
                 QStringList({"orvanesTableView", "searchOrvanesPushButton", "assignPushButton", "exportPushButton",
                              "importPlanPushButton", "orvanesComboBox", "applicationComboBox", "LaunchPushButton"}));
        QTest::keyClick(&window, Qt::Key_O, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), child<QComboBox>(window, "orvanesComboBox"));
        QTest::keyClick(&window, Qt::Key_P, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), child<QComboBox>(window, "applicationComboBox"));
    }

    void ctrlQQuits()
    {
        // Closing saves the layout: into settings of this process's own, so
        // that no other test starts from them.
        const QString name = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(name + QString::number(QCoreApplication::applicationPid()));
        {
            MainWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
            QVERIFY(!window.isVisible());
        }
        QSettings().clear();
        QFile::remove(QSettings().fileName());
        QCoreApplication::setApplicationName(name);
    }

    void addressChangeMessageReplacesTheCount()
    {
        if (expected < 1)
            QSKIP("needs a device");
        MainWindow window;
        auto *model = window.findChild<OrvaneModel *>();
        QVERIFY(model->setData(model->index(0, 1), QStringLiteral("1.2.3"), Qt::EditRole));
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Could not change IP"));
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
