// Refresh overhead: what OrvaneModel::refresh and MainWindow::updateDeviceList
// cost beyond their 1500 ms search window, with the window shown offscreen
// and the table painted. Run inside scripts/vlan: bench_refresh DEVICES RUNS

#include "MainWindow.h"
#include "OrvaneModel.h"

#include <QApplication>
#include <QComboBox>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template<typename Work> double OverheadMs(Work work)
{
    const auto started = Clock::now();
    work();
    QApplication::processEvents(); // paint what changed
    return std::chrono::duration<double, std::milli>(Clock::now() - started).count() - 1500.0;
}

} // namespace

int main(int argc, char **argv)
{
    if (std::getenv("ORVANE_VLAN") == nullptr || argc < 3) {
        std::fprintf(stderr, "usage, inside scripts/vlan: bench_refresh DEVICES RUNS\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int devices = std::atoi(argv[1]);
    const int runs = std::atoi(argv[2]);

    // The first search runs in the constructor; the first show sizes the
    // choosers, which reads every row once.
    const auto started = Clock::now();
    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    const double startMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count() - 1500.0;
    auto *model = window.findChild<OrvaneModel *>();

    auto *chooser = window.findChild<QComboBox *>("orvanesComboBox");
    std::vector<double> refresh, update, popup;
    int found = 0;
    for (int run = 0; run < runs; ++run) {
        refresh.push_back(OverheadMs([&] { found = model->refresh(); }));
        update.push_back(OverheadMs([&] { window.updateDeviceList(); }));
        popup.push_back(1500.0 + OverheadMs([&] { chooser->showPopup(); }));
        chooser->hidePopup();
    }
    std::printf("refresh overhead N=%d (found %d), median of %d, beyond the 1500 ms window\n", devices, found, runs);
    std::printf("  window built and shown       %7.1f ms\n", startMs);
    std::printf("  OrvaneModel::refresh        %8.1f ms\n", Median(refresh));
    std::printf("  MainWindow::updateDeviceList %7.1f ms\n", Median(update));
    std::printf("  device chooser opened        %7.1f ms\n", Median(popup));
    return 0;
}
