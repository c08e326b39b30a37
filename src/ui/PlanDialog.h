#ifndef PLANDIALOG_H
#define PLANDIALOG_H

#include "DeviceSession.h"
#include "PlanFile.h"
#include "PlanReport.h"

#include <QDialog>
#include <QString>

#include <cstddef>
#include <map>
#include <vector>

class OrvaneModel;

QT_BEGIN_NAMESPACE
namespace Ui {
class PlanDialog;
}
QT_END_NAMESPACE

// A commissioning plan read from a file: every row checked against the
// listed devices before anything is sent (what would stop it is shown),
// then run as one batch in the device session, as Assign runs: chains and
// cycles in an order that works, each move verified, a status per row. The
// report can be saved as CSV, as orvane-cli apply writes it.
class PlanDialog : public QDialog {
    Q_OBJECT

public:
    PlanDialog(OrvaneModel *model, velqor::PlanFile plan, QWidget *parent = nullptr);
    ~PlanDialog() override;

    // Runs the rows whose device is listed and returns at once; false when
    // none is, or another operation runs.
    bool start();
    // The session ends: a run under way stops after the device under way,
    // and the dialog closes once it has.
    void abandon();
    // Starts the run and returns once its confirming search is over.
    void run();
    bool saveReport(const QString &path) const;
    // A row's status as shown: the report's status word, and what stopped it.
    QString statusOf(int row) const;
    const std::vector<velqor::PlanReportRow> &report() const { return rows; }

private slots:
    void on_runPushButton_clicked();
    void on_saveReportPushButton_clicked();
    void on_closePushButton_clicked();

private:
    void showRow(std::size_t row);
    void showSummary();
    void finish(const DeviceSession::Result &result);
    void reject() override;

    Ui::PlanDialog *ui;
    OrvaneModel *model;
    velqor::PlanFile plan;
    std::vector<velqor::PlanReportRow> rows;
    // The plan's rows sent in the batch, in its order.
    std::vector<std::size_t> sent;
    // Which of the plan's entries a report row shows, by its line.
    std::map<std::size_t, std::size_t> entryAt;
    bool running = false;
    bool ran = false;
    bool closeWhenDone = false;
};

#endif // PLANDIALOG_H
