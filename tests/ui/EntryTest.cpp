// Runs the program's own main (renamed at compile time) in the virtual LAN
// with no devices, closes the window as soon as it is shown, and checks the
// exit code and what the window showed.

#include "Network.h"

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>

#include <iostream>

int orvaneManagerMain(int argc, char **argv);

namespace {

bool shown = false;
QString message;

void closeOnceShown()
{
    QTimer::singleShot(0, [] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<QMainWindow *>(widget)) {
                shown = window->isVisible();
                message = window->statusBar()->currentMessage();
            }
        }
        QApplication::closeAllWindows();
    });
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
    check(message == QLatin1String("No Orvanes found"), "with no device it opens with \"No Orvanes found\"");
    std::cout << (3 - failed) << " passed, " << failed << " failed" << std::endl;
    return failed == 0 ? 0 : 1;
}
