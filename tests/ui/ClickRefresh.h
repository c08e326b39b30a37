#ifndef CLICKREFRESH_H
#define CLICKREFRESH_H

#include "MainWindow.h"
#include "OrvaneModel.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

// Clicks Refresh, which returns at once, and waits for the search to end.
inline void clickRefresh(MainWindow &window)
{
    QSignalSpy refreshed(window.findChild<OrvaneModel *>(), &OrvaneModel::refreshed);
    QTest::mouseClick(window.findChild<QPushButton *>("searchOrvanesPushButton"), Qt::LeftButton);
    QVERIFY(refreshed.wait(5000));
}

#endif // CLICKREFRESH_H
