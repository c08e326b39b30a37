#ifndef HISTORYDOCK_H
#define HISTORYDOCK_H

#include <QDockWidget>

namespace Ui {
class HistoryDock;
}

// What happened since the program started, each outcome, hint and warning
// whole and with its time: the status bar's line is gone after seconds, this
// stays, can be copied and saved.
class HistoryDock : public QDockWidget {
    Q_OBJECT

public:
    explicit HistoryDock(QWidget *parent = nullptr);
    ~HistoryDock() override;

    void add(const QString &text);
    int count() const;
    QString textAt(int row) const;
    // The history as CSV: time, text.
    bool save(const QString &path) const;

private slots:
    void on_saveHistoryPushButton_clicked();

private:
    void copySelected() const;

    Ui::HistoryDock *ui;
};

#endif // HISTORYDOCK_H
