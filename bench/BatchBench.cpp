// Re-addressing in one batch: N simulated devices that answer at once get
// consecutive addresses, then one search confirms them. Run inside
// scripts/vlan: bench_batch DEVICES

#include "AssignDialog.h"
#include "OrvaneModel.h"

#include <QApplication>
#include <QLineEdit>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (std::getenv("ORVANE_VLAN") == nullptr || argc < 2) {
        std::fprintf(stderr, "usage, inside scripts/vlan: bench_batch DEVICES\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int devices = std::atoi(argv[1]);
    OrvaneModel model;
    const int found = model.refresh();
    QList<int> rows;
    for (int row = 0; row < found; ++row)
        rows << row;
    AssignDialog dialog(&model, rows);
    dialog.findChild<QLineEdit *>("startLineEdit")->setText(QStringLiteral("10.100.100.1"));
    const auto started = std::chrono::steady_clock::now();
    dialog.run();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("batch of %d devices (found %d): %.2f s including the confirming search, %d confirmed"
                " (target: all, under 10 s)\n",
                devices, found, seconds, dialog.confirmed());
    return 0;
}
