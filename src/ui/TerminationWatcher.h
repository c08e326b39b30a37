#ifndef TERMINATIONWATCHER_H
#define TERMINATIONWATCHER_H

#include <QObject>

class QSocketNotifier;

// Quits the application in an orderly way when the session ends it, so that
// aboutToQuit runs and the window keeps what the user arranged. POSIX ends a
// session with SIGTERM (or SIGHUP); Windows tells Qt itself, which quits.
class TerminationWatcher : public QObject {
    Q_OBJECT

public:
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;

private:
    QSocketNotifier *notifier = nullptr;
};

#endif // TERMINATIONWATCHER_H
