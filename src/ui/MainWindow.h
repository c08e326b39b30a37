#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>

class OrvaneModel;

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
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Searches (blocking for the search window), shows the count and rebinds
    // the device chooser; returns the number of devices found.
    int updateDeviceList();

private slots:
    void on_searchOrvanesPushButton_clicked();
    void on_orvanesTableView_clicked(const QModelIndex &index);
    void on_LaunchPushButton_clicked();

private:
    void fillApplicationList();
    // Makes the table's current row the chooser's device.
    void showChosenDevice(int row);

    Ui::MainWindow *ui;
    OrvaneModel *model;
};

#endif // MAINWINDOW_H
