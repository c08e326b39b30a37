// Refresh overhead: what OrvaneModel::refresh and MainWindow::updateDeviceList
// cost beyond their 1500 ms search window, with the window shown offscreen
// and the table painted. Run inside scripts/vlan: bench_refresh DEVICES RUNS

#include "MainWindow.h"
#include "OrvaneModel.h"

#include <QApplication>
#include <QComboBox>
#include <QTableView>
#include <QTest>
#include <QTimer>

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

// The longest time between two turns of the event loop while work runs.
template<typename Work> double LongestGapMs(Work work)
{
    QTimer turn;
    turn.setInterval(0);
    auto last = Clock::now();
    double longest = 0;
    QObject::connect(&turn, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    });
    turn.start();
    last = Clock::now();
    work();
    const double tail = std::chrono::duration<double, std::milli>(Clock::now() - last).count();
    return std::max(longest, tail);
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

    // The window must keep answering: the longest stretch without an event
    // loop turn during a refresh and during an address change (target < 50 ms).
    std::vector<double> refreshGap, changeGap;
    for (int run = 0; run < runs; ++run) {
        refreshGap.push_back(LongestGapMs([&] { model->refresh(); }));
        if (model->count() > 0) {
            const QString address = QStringLiteral("10.100.200.%1").arg(run + 1);
            changeGap.push_back(LongestGapMs([&] { model->setData(model->index(0, 1), address, Qt::EditRole); }));
        }
    }
    std::printf("  longest event-loop gap: refresh %.1f ms, address change %s (target < 50 ms)\n", Median(refreshGap),
                changeGap.empty() ? "-" : QByteArray::number(Median(changeGap), 'f', 1).constData());
    return 0;
}
