// The window at scale: how soon it shows; while a Refresh takes in every
// device new, in each sort order (unsorted, and by each column both ways),
// the longest stall of its thread (the gap between two ticks of a 10 ms
// timer, beyond the 10 ms) and the most processor time the thread spent
// between two ticks (one push of new rows and its painting, whatever else
// the machine does); the longest stall again with every device listed and
// the table sorted by address; then sorting by a column, typing one filter
// character and the memory it holds. Devices should answer in random order
// (the simulator's --jitter). Run inside scripts/vlan:
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
#include <ctime>

using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

double ThreadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Stalls {
    double longestMs = 0; // the longest gap between two ticks, beyond the tick
    double mostCpuMs = 0; // the most processor time between two ticks
};

// While a Refresh runs to its end.
Stalls MeasureRefresh(MainWindow &window, OrvaneModel *model)
{
    QSignalSpy refreshed(model, &OrvaneModel::refreshed);
    QTimer tick;
    tick.setInterval(10);
    auto last = Clock::now();
    double lastCpu = ThreadCpuMs();
    Stalls stalls;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const double cpu = ThreadCpuMs();
        stalls.longestMs = std::max(stalls.longestMs, Ms(now - last) - 10.0);
        stalls.mostCpuMs = std::max(stalls.mostCpuMs, cpu - lastCpu);
        last = now;
        lastCpu = cpu;
    });
    tick.start();
    last = Clock::now();
    lastCpu = ThreadCpuMs();
    QTest::keyClick(&window, Qt::Key_F5);
    refreshed.wait(10000);
    QTest::qWait(100); // what the end of the search still costs
    return stalls;
}

// Empties the list: a search with the link down finds nothing.
bool Empty(MainWindow &window, OrvaneModel *model, const char *iface)
{
    if (!velqor::test::SetLink(iface, false))
        return false;
    QSignalSpy refreshed(model, &OrvaneModel::refreshed);
    QTest::keyClick(&window, Qt::Key_F5);
    const bool empty = refreshed.wait(10000) && model->count() == 0;
    return velqor::test::SetLink(iface, true) && empty;
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

    std::printf("window at N=%d devices\n", devices);
    std::printf("  window shown after program start %8.0f ms\n", shownMs);
    struct Order {
        const char *name;
        int column;
        Qt::SortOrder order;
    };
    const Order orders[] = {{"unsorted", -1, Qt::AscendingOrder},    {"serial", 0, Qt::AscendingOrder},
                            {"serial desc", 0, Qt::DescendingOrder}, {"IP", 1, Qt::AscendingOrder},
                            {"IP desc", 1, Qt::DescendingOrder},     {"network", 2, Qt::AscendingOrder},
                            {"network desc", 2, Qt::DescendingOrder}};
    int listed = 0;
    for (const Order &order : orders) {
        if (&order != orders && !Empty(window, model, iface))
            return 1;
        table->horizontalHeader()->setSortIndicator(order.column, order.order);
        const Stalls stalls = MeasureRefresh(window, model);
        listed = model->count();
        std::printf("  all rows new, %-12s longest stall %6.1f ms, most CPU between ticks %6.1f ms (listed %d)\n",
                    order.name, stalls.longestMs, stalls.mostCpuMs, listed);
    }
    table->sortByColumn(1, Qt::AscendingOrder);
    const double allListed = MeasureRefresh(window, model).longestMs;
    listed = model->count(); // what the sort and the filter below work on
    const double sortMs = TimedMs([&] { table->sortByColumn(0, Qt::DescendingOrder); });
    const double filterMs =
        TimedMs([&] { window.findChild<QLineEdit *>(QStringLiteral("filterLineEdit"))->setText("7"); });

    std::printf("  longest stall, all listed by IP  %8.1f ms (listed %d)\n", allListed, listed);
    std::printf("  sort by a column                 %8.1f ms\n", sortMs);
    std::printf("  type one filter character        %8.1f ms\n", filterMs);
    std::printf("  resident memory                  %8ld MiB\n", ResidentKiB() / 1024);
    return 0;
}
