#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "DeviceId.h"
#include "DeviceSession.h"
#include "LinkTarget.h"

#include <QMainWindow>
#include <QPointer>

#include <optional>

class AssignDialog;
class PlanDialog;
class DeviceChooserModel;
class QLabel;
class DeviceTableProxy;
class OrvaneModel;
class QProgressBar;
class HistoryDock;
class DetailsDock;

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE

// The program's one window: the devices found, the launcher for companion
// applications, and every outcome as a timed status-bar message.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Aimed at the devices' broadcast address unless target says otherwise.
    explicit MainWindow(QWidget *parent = nullptr, const velqor::LinkTarget &target = {});
    ~MainWindow() override;

    // Searches, shows the count and rebinds the device chooser; returns the
    // number of devices found once the search is over. (Refresh starts a
    // search and returns at once.)
    int updateDeviceList();
    // Writes the rows the table shows as CSV; false when the file cannot be
    // written.
    bool exportTo(const QString &path);
    // Reads a plan and shows it in a dialog that runs it; a plan that does
    // not read is said, with its line, and nothing is shown.
    void importPlan(const QString &path);

public slots:
    // The session ends the program (SIGTERM, SIGHUP): changes that wait are
    // dropped, and said so on stderr and in the log; a batch stops after
    // the device under way; then the program quits.
    void endSession();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_searchOrvanesPushButton_clicked();
    void on_orvanesTableView_clicked(const QModelIndex &index);
    void on_LaunchPushButton_clicked();
    void on_assignPushButton_clicked();
    void on_exportPushButton_clicked();
    void on_importPlanPushButton_clicked();
    void on_orvanesTableView_customContextMenuRequested(const QPoint &position);

private:
    void fillApplicationList();
    // Says on stderr and in the log which devices a run left neither at
    // their old nor at their new address.
    void sayWhereLeft(const DeviceSession::Result &result);
    // Says which devices an earlier run that did not end left on a
    // temporary address (the journal holds them).
    void showJournal();
    // Asks before moving a device where it may be meant to go, but no
    // change goes by itself: onto another device's address (the two swap),
    // one another host answers for, or one outside its networks.
    void confirmMove(const velqor::DeviceId &device, const QString &address, const velqor::ChangeOutcome &outcome);
    // Says in the status bar which changes wait for the running operation.
    void showWaiting();
    void showSearchMessage(int found);
    // "12 moved, 1 refused, 1 not confirmed"
    void showBatchSummary(const DeviceSession::Result &result);
    void saveSettings();
    // The first window (no saved size): the three columns unwrapped and
    // twelve rows where the screen has room; never larger than the screen.
    void fitFirstWindow();
    // Narrower margins and spacing, for a screen the form is taller than.
    void compactLayout();
    // The user chose the device in this row (the chooser, a click, the keyboard).
    void choose(int row);
    // Makes the table's current row the chooser's device.
    void showChosenDevice(int row);
    // After rows came, went or moved: the chooser stays on the chosen
    // device, and says so when it is gone, rather than take a neighbour.
    void followChosenDevice();
    // The chosen device stays one the table shows, or there is none.
    void keepChosenShown();
    // The first row shown becomes current and chosen; false when none is shown.
    bool chooseFirstShown();
    // With a filter: "n of N shown" beside it.
    void showFilterCount();
    // The details pane shows the chosen device as it is now.
    void showDetails();
    void setBusy(bool busy);
    void copySelectedRows();
    void editCurrentAddress();
    // The device model's row of a cell of the table, and back.
    int sourceRow(const QModelIndex &viewIndex) const;
    QModelIndex viewIndex(int sourceRow, int column) const;
    // The device model's rows that the table shows, in the table's order.
    QList<int> visibleRows() const;
    QList<int> selectedRows() const;

    Ui::MainWindow *ui;
    OrvaneModel *model;
    DeviceTableProxy *tableProxy;
    DeviceChooserModel *chooserModel;
    QProgressBar *progress;
    QLabel *waitingLabel;
    HistoryDock *history;
    DetailsDock *details;
    QPointer<AssignDialog> assignDialog;
    QPointer<PlanDialog> planDialog;
    bool ending = false;
    // The device the launcher starts programs for, by identity.
    std::optional<velqor::DeviceId> chosen;
    bool workstationWarned = false;
};

#endif // MAINWINDOW_H
