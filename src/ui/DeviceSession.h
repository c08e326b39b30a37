#ifndef DEVICESESSION_H
#define DEVICESESSION_H

#include "AddressRules.h"
#include "ChangeOutcome.h"
#include "DeviceDetails.h"
#include "DeviceId.h"
#include "Journal.h"
#include "LinkTarget.h"
#include "MovePlan.h"
#include "PlanRunner.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace velqor {
class OrvaneManager;
}

// The window's one way to the devices. It owns the device manager, runs one
// operation at a time on a worker thread, pushes what a search finds as it
// comes in, and says when an operation is over. It alone knows what runs.
class DeviceSession : public QObject {
    Q_OBJECT

public:
    enum class Operation { None, Search, Change, Batch };

    // A device to move; no address for a text that is no address at all
    // (nothing is sent, the search still runs). Forced onto another device's
    // address, the two swap.
    struct Request {
        velqor::DeviceId device;
        std::optional<velqor::Ipv4Bytes> address;
        bool force = false;
        QString typed; // the address as the user typed it
    };

    // What a search found at its end.
    struct SearchResult {
        // Identity order, with every warning: the devices that answered, and
        // those kept from an earlier search because answers were lost (not
        // heard). After a search that lost nothing, the others are gone.
        std::vector<velqor::DeviceDetails> devices;
        std::vector<velqor::Diagnostic> workstation;
        std::vector<velqor::NetworkInterface> interfaces;
        // The workstation's addresses and each link's gateways.
        velqor::AddressFacts facts;
        std::size_t dropped = 0;
        // Answers the system dropped before they were read: the list may
        // lack devices that are there.
        std::uint64_t lost = 0;
        QString linkError; // empty when the device link worked
    };

    // What an operation came to. Changes and batches end with a search
    // (unless abandoned).
    struct Result {
        Operation operation = Operation::None;
        std::vector<Request> requests;
        // The plan's rows: one per request, in order, and for a swap the
        // device it swapped with; and what each came to, verified. Empty when
        // the link failed first.
        std::vector<velqor::MovePlan::Row> rows;
        std::vector<velqor::RowResult> results;
        SearchResult search;
    };

    static constexpr int kSearchMs = 1500;

    explicit DeviceSession(velqor::LinkTarget target, QObject *parent = nullptr);
    ~DeviceSession() override;

    Operation running() const;
    bool isBusy() const;

    // Each returns at once. A search or batch while another operation runs
    // is refused (false); a change is queued and runs when it ends.
    bool search();
    void change(Request request);
    bool batch(std::vector<Request> requests);
    // A batch stops before its next device; the device under way finishes.
    void cancel();
    // The session is ending: a batch stops before its next device, what a
    // swap parked goes back where that is safe, and no search follows.
    void abandon();
    // The changes that wait for the running operation, in order.
    const std::deque<Request> &waiting() const;
    // Drops the changes that wait; returns them.
    std::deque<Request> discardWaiting();
    // For callers that need the outcome before they go on: blocks until no
    // operation runs and their results have been delivered.
    void wait();

signals:
    // A search of every device began: what was listed waits to be heard
    // again. A change's own searches look for its device alone.
    void searchStarted();
    void busyChanged(bool busy);
    // Devices that are new, changed, or answered this search for the first
    // time, in serial order, while a search runs.
    void devicesFound(const std::vector<velqor::DeviceDetails> &changed);
    void searchProgress(int elapsedMs, int totalMs);
    // One device of a batch is done (its row of the plan).
    void requestDone(int index, const velqor::RowResult &result);
    // A change was queued behind the running operation, or one that waited
    // started or was dropped.
    void waitingChanged();
    void finished(const DeviceSession::Result &result);

private:
    void start(Operation operation, std::function<Result()> work);
    void deliver();
    void startQueued();
    // On the worker thread.
    Result runChanges(std::vector<Request> requests, quint64 generation);
    SearchResult runSearch(quint64 generation);
    // Runs fn on this object's thread unless the operation has ended since.
    void post(quint64 generation, std::function<void()> fn);
    // On the worker thread: wakes wait() for what was posted, or because the
    // work is done.
    void tellWaiter(bool done);

    velqor::LinkTarget target;
    std::unique_ptr<velqor::OrvaneManager> manager; // used by the running operation only
    // Where parked devices are written down, and who holds the interfaces'
    // locks for another program's message.
    velqor::Journal journal;
    const QString holder;
    // The result travels as a pointer: a search's list of every device is
    // not copied on its way to the window.
    QFutureWatcher<std::shared_ptr<const Result>> watcher;
    Operation current = Operation::None;
    // Numbers the operations: what a worker posts for one that is over is dropped.
    quint64 generation = 0;
    std::deque<Request> queued;
    std::atomic<bool> cancelled {false};
    std::atomic<bool> abandoned {false};
    // busyChanged(true) was sent: a queued change that follows at once keeps it.
    bool announcedBusy = false;
    // What wait() sleeps on: the worker posted something, or is done.
    std::mutex workerMutex;
    std::condition_variable workerSignal;
    bool workerNews = false;
    bool workerDone = false;
};

#endif // DEVICESESSION_H
