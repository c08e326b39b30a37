// The window at scale: how soon it shows, and the longest stall of its
// thread (the gap between two ticks of a 10 ms timer, beyond the 10 ms)
// while a Refresh takes in every device new, and again with every device
// listed and the table sorted by address; then sorting by a column, typing
// one filter character and the memory it holds. Devices should answer in
// random order (the simulator's --jitter). Run inside scripts/vlan:
//   bench_refresh DEVICES

#include "MainWindow.h"
#include "Network.h"
#include "OrvaneModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The longest stall of this thread while a Refresh runs to its end.
double LongestStallMs(MainWindow &window, OrvaneModel *model)
{
    QSignalSpy refreshed(model, &OrvaneModel::refreshed);
    QTimer tick;
    tick.setInterval(10);
    auto last = Clock::now();
    double longest = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longest = std::max(longest, Ms(now - last) - 10.0);
        last = now;
    });
    tick.start();
    last = Clock::now();
    QTest::keyClick(&window, Qt::Key_F5);
    refreshed.wait(10000);
    QTest::qWait(100); // what the end of the search still costs
    return longest;
}

template<typename Work> double TimedMs(Work work)
{
    const auto started = Clock::now();
    work();
    QApplication::processEvents(); // paint what changed
    return Ms(Clock::now() - started);
}

long ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    const auto programStart = Clock::now();
    const char *iface = std::getenv("ORVANE_VLAN_IFACE");
    if (std::getenv("ORVANE_VLAN") == nullptr || iface == nullptr || argc < 2) {
        std::fprintf(stderr, "usage, inside scripts/vlan: bench_refresh DEVICES\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int devices = std::atoi(argv[1]);

    double shownMs = 0;
    {
        MainWindow window; // the first search runs before the window shows
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return 1;
        shownMs = Ms(Clock::now() - programStart);
    }

    // A window that found nothing: its link's interface was down.
    velqor::test::SetLink(iface, false);
    MainWindow window;
    window.resize(800, 600);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window) || !velqor::test::SetLink(iface, true))
        return 1;
    auto *model = window.findChild<OrvaneModel *>();
    auto *table = window.findChild<QTableView *>(QStringLiteral("orvanesTableView"));

    const double allNew = LongestStallMs(window, model);
    const int listed = model->count();
    table->sortByColumn(1, Qt::AscendingOrder);
    const double allListed = LongestStallMs(window, model);
    const double sortMs = TimedMs([&] { table->sortByColumn(0, Qt::DescendingOrder); });
    const double filterMs = TimedMs([&] { window.findChild<QLineEdit *>(QStringLiteral("filterLineEdit"))->setText("7"); });

    std::printf("window at N=%d devices (listed %d)\n", devices, listed);
    std::printf("  window shown after program start %8.0f ms\n", shownMs);
    std::printf("  longest stall, all rows new      %8.1f ms\n", allNew);
    std::printf("  longest stall, all listed by IP  %8.1f ms\n", allListed);
    std::printf("  sort by a column                 %8.1f ms\n", sortMs);
    std::printf("  type one filter character        %8.1f ms\n", filterMs);
    std::printf("  resident memory                  %8ld MiB\n", ResidentKiB() / 1024);
    return 0;
}
