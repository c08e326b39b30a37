#include "DeviceSession.h"

#include "LinkLock.h"
#include "OrvaneManager.h"

#include <boost/system/system_error.hpp>

#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>

namespace {

// How often what a search found so far is pushed to the window.
constexpr auto kPushEvery = std::chrono::milliseconds(100);

QString linkErrorText(const std::exception &error)
{
    return QString::fromLocal8Bit(error.what());
}

} // namespace

DeviceSession::DeviceSession(velqor::LinkTarget target, QObject *parent)
    : QObject(parent),
      target(std::move(target)),
      journal(velqor::Journal::DefaultPath()),
      holder(QStringLiteral("pid %1: orvane-manager").arg(QCoreApplication::applicationPid()))
{
    connect(&watcher, &QFutureWatcherBase::finished, this, &DeviceSession::deliver);
    // Open the link now, so that the devices hear the greeting at once; one
    // that cannot be opened yet is tried again by every operation.
    try {
        manager = std::make_unique<velqor::OrvaneManager>(this->target.address, this->target.port);
    } catch (const boost::system::system_error &) {
    }
}

DeviceSession::~DeviceSession()
{
    cancelled = true;
    // The worker uses the manager: it ends first, within its own time limit.
    watcher.waitForFinished();
}

DeviceSession::Operation DeviceSession::running() const
{
    return current;
}

bool DeviceSession::isBusy() const
{
    return current != Operation::None;
}

bool DeviceSession::search()
{
    if (isBusy())
        return false;
    start(Operation::Search, [this, run = generation + 1] {
        Result result;
        result.operation = Operation::Search;
        result.search = runSearch(run);
        return result;
    });
    return true;
}

void DeviceSession::change(Request request)
{
    if (isBusy()) {
        queued.push_back(std::move(request));
        emit waitingChanged();
        return;
    }
    start(Operation::Change, [this, run = generation + 1, request = std::move(request)] {
        Result result = runChanges({request}, run);
        result.operation = Operation::Change;
        return result;
    });
}

bool DeviceSession::batch(std::vector<Request> requests)
{
    if (isBusy())
        return false;
    start(Operation::Batch, [this, run = generation + 1, requests = std::move(requests)] {
        Result result = runChanges(requests, run);
        result.operation = Operation::Batch;
        return result;
    });
    return true;
}

void DeviceSession::cancel()
{
    cancelled = true;
}

void DeviceSession::abandon()
{
    // The change under way is verified, what a swap parked goes back, and
    // the run's last search says where its devices are: quick, and nothing
    // is left on a temporary address unsaid.
    cancelled = true;
    abandoned = true;
}

const std::deque<DeviceSession::Request> &DeviceSession::waiting() const
{
    return queued;
}

std::deque<DeviceSession::Request> DeviceSession::discardWaiting()
{
    std::deque<Request> dropped;
    dropped.swap(queued);
    if (!dropped.empty())
        emit waitingChanged();
    return dropped;
}

void DeviceSession::wait()
{
    while (isBusy()) {
        // What the worker pushes is taken in while it runs, as the event
        // loop would take it: the wait ends with the list nearly whole, not
        // with every device still to be added at once.
        for (;;) {
            QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
            if (!isBusy())
                return; // what was taken in waited for the operation itself
            std::unique_lock<std::mutex> lock(workerMutex);
            workerSignal.wait(lock, [this] { return workerNews; });
            workerNews = false;
            if (workerDone)
                break;
        }
        watcher.waitForFinished();
        deliver();
    }
}

void DeviceSession::start(Operation operation, std::function<Result()> work)
{
    ++generation;
    current = operation;
    cancelled = abandoned.load();
    {
        const std::lock_guard<std::mutex> lock(workerMutex);
        workerDone = false;
    }
    watcher.setFuture(QtConcurrent::run([this, work = std::move(work)] {
        // wait() wakes when the work ends, however it ends.
        struct Done {
            DeviceSession *session;
            ~Done() { session->tellWaiter(true); }
        } done {this};
        return std::shared_ptr<const Result>(new Result(work()));
    }));
    if (!announcedBusy) {
        announcedBusy = true;
        emit busyChanged(true);
    }
    if (operation == Operation::Search)
        emit searchStarted();
}

void DeviceSession::deliver()
{
    // Reached twice for one operation when wait() delivered it first.
    if (!isBusy() || !watcher.isFinished())
        return;
    const std::shared_ptr<const Result> result = watcher.result();
    current = Operation::None;
    emit finished(*result);
    startQueued();
    if (!isBusy() && announcedBusy) {
        announcedBusy = false;
        emit busyChanged(false);
    }
}

void DeviceSession::startQueued()
{
    if (queued.empty() || isBusy())
        return;
    Request next = std::move(queued.front());
    queued.pop_front();
    emit waitingChanged();
    start(Operation::Change, [this, run = generation + 1, next = std::move(next)] {
        Result result = runChanges({next}, run);
        result.operation = Operation::Change;
        return result;
    });
}

void DeviceSession::post(quint64 run, std::function<void()> fn)
{
    QMetaObject::invokeMethod(
        this,
        [this, run, fn = std::move(fn)] {
            if (run == generation && isBusy())
                fn();
        },
        Qt::QueuedConnection);
    tellWaiter(false);
}

void DeviceSession::tellWaiter(bool done)
{
    {
        const std::lock_guard<std::mutex> lock(workerMutex);
        workerNews = true;
        workerDone = workerDone || done;
    }
    workerSignal.notify_one();
}

DeviceSession::Result DeviceSession::runChanges(std::vector<Request> requests, quint64 run)
{
    Result result;
    try {
        if (!manager)
            manager = std::make_unique<velqor::OrvaneManager>(target.address, target.port);
        velqor::PlanRunner runner(*manager, {&journal, velqor::LinkLock::DefaultFolder(), holder.toStdString()});
        // One plan for all: a change forced onto another device's address
        // brings that device in, and the two swap.
        std::vector<velqor::MovePlan::Row> rows;
        bool force = false;
        for (const Request &request : requests) {
            if (!request.address) {
                rows.push_back({request.device, {}, std::nullopt, velqor::NotSentReason::NotAssignable, {}, false});
                continue;
            }
            const bool swap = request.force && manager->AddressesBesides(request.device).count(*request.address) != 0;
            const std::vector<velqor::MovePlan::Row> moved = runner.MoveRows(request.device, *request.address, swap);
            rows.insert(rows.end(), moved.begin(), moved.end());
            force = force || request.force;
        }
        const velqor::MovePlan plan = runner.Prepare(rows, force);
        velqor::PlanRunner::Control control;
        control.cancelled = [this] { return cancelled.load(); };
        control.interrupted = [this] { return abandoned.load(); };
        control.rowDone = [this, run](std::size_t row, const velqor::RowResult &done) {
            post(run, [this, row, done] { emit requestDone(static_cast<int>(row), done); });
        };
        result.results = runner.Run(plan, control);
        result.rows = plan.Rows();
    } catch (const boost::system::system_error &error) {
        result.search.linkError = linkErrorText(error);
    }
    result.requests = std::move(requests);
    if (result.search.linkError.isEmpty() && !abandoned)
        result.search = runSearch(run);
    return result;
}

DeviceSession::SearchResult DeviceSession::runSearch(quint64 run)
{
    SearchResult result;
    try {
        // A link that could not be opened before is tried again.
        if (!manager)
            manager = std::make_unique<velqor::OrvaneManager>(target.address, target.port);
        manager->TakeChangedDevices();
        const auto started = std::chrono::steady_clock::now();
        manager->Search(kSearchMs, false, nullptr);
        for (bool idle = false; !idle;) {
            idle = manager->WaitIdle(std::chrono::steady_clock::now() + kPushEvery);
            std::vector<velqor::DeviceDetails> changed = manager->TakeChangedDevices();
            const int elapsed = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                    .count());
            post(run, [this, changed = std::move(changed), elapsed] {
                if (!changed.empty())
                    emit devicesFound(changed);
                emit searchProgress(std::min(elapsed, kSearchMs), kSearchMs);
            });
        }
        result.dropped = manager->GetDroppedCount();
        result.lost = manager->GetLostCount();
        // A device that did not answer a search that lost nothing is gone;
        // after one that lost answers it may be among them, and is kept.
        if (result.lost == 0)
            manager->ForgetUnheard();
        result.devices = manager->GetDeviceDetails();
        result.workstation = manager->GetWorkstationDiagnostics();
        result.interfaces = manager->GetInterfaces();
        result.facts = manager->GetAddressFacts();
    } catch (const boost::system::system_error &error) {
        result.linkError = linkErrorText(error);
    }
    return result;
}
