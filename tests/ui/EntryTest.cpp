// Runs the program's own main (renamed at compile time) in the virtual LAN
// with no devices, closes the window during a search once it is shown, and
// checks the exit code, what the window showed and how soon it ended.

#include "Network.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>

#include <iostream>

int orvaneManagerMain(int argc, char **argv);

namespace {

bool shown = false;
QString message;
QElapsedTimer sinceClose;

// Once the window shows, starts a Refresh and closes the window 300 ms into
// its search.
void closeOnceShown()
{
    QStandardPaths::setTestModeEnabled(true); // the window saves its size: never the user's settings
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<QMainWindow *>(widget);
            if (!window || !window->isVisible())
                continue;
            poll->stop();
            shown = true;
            message = window->statusBar()->currentMessage();
            QTimer::singleShot(300, [] {
                sinceClose.start();
                QApplication::closeAllWindows();
            });
            QMetaObject::invokeMethod(window->findChild<QPushButton *>("searchOrvanesPushButton"), "click",
                                      Qt::QueuedConnection);
        }
    });
    poll->start(10);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(closeOnceShown)

int main(int argc, char **argv)
{
    if (!velqor::test::InVirtualLan()) {
        std::cout << "SKIPPED: broadcasts: runs only inside scripts/vlan" << std::endl;
        return 77;
    }
    const int exitCode = orvaneManagerMain(argc, argv);
    int failed = 0;
    auto check = [&](bool ok, const char *what) {
        std::cout << (ok ? "PASS: " : "FAIL: ") << what << std::endl;
        failed += ok ? 0 : 1;
    };
    check(exitCode == 0, "closing the window ends the program with exit code 0");
    check(shown, "the window was shown");
    check(message.startsWith(QStringLiteral("No Orvanes found — searched on h0")),
          "with no device it opens with \"No Orvanes found\" and where it searched");
    check(sinceClose.isValid() && sinceClose.elapsed() < 2500,
          "closed during a search, it ends within the search's remaining time");
    std::cout << (4 - failed) << " passed, " << failed << " failed" << std::endl;
    return failed == 0 ? 0 : 1;
}
