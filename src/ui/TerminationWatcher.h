#ifndef TERMINATIONWATCHER_H
#define TERMINATIONWATCHER_H

#include <QObject>

class QSocketNotifier;

// Says when the session ends the program, so that it can end in an orderly
// way: aboutToQuit runs and the window keeps what the user arranged. POSIX
// ends a session with SIGTERM (or SIGHUP); Windows tells Qt itself, which quits.
class TerminationWatcher : public QObject {
    Q_OBJECT

public:
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void terminated();

private:
    QSocketNotifier *notifier = nullptr;
};

#endif // TERMINATIONWATCHER_H
