#ifndef ASSIGNDIALOG_H
#define ASSIGNDIALOG_H

#include "ChangeOutcome.h"
#include "DeviceSession.h"
#include "NetworkInterface.h"
#include "Serial.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

class OrvaneModel;

QT_BEGIN_NAMESPACE
namespace Ui {
class AssignDialog;
}
QT_END_NAMESPACE

// Gives several devices consecutive addresses: one change after another
// (replies carry no serial, so two changes never overlap), a status per
// device, Cancel between devices, then one search that confirms them all.
// The batch runs in the device session; the dialog only shows it.
class AssignDialog : public QDialog {
    Q_OBJECT

public:
    AssignDialog(OrvaneModel *model, const QList<int> &rows, QWidget *parent = nullptr);
    ~AssignDialog() override;

    // Starts the batch from the first address in the form and returns at
    // once; false when nothing could start.
    bool start();
    // Starts the batch and returns once the confirming search is over.
    void run();
    // How many devices the confirming search found at their new address.
    int confirmed() const;
    QString statusOf(int index) const;
    // A device's status once its change is settled.
    static QString describe(const velqor::ChangeOutcome &outcome);

private slots:
    void on_startPushButton_clicked();
    void on_cancelPushButton_clicked();
    void on_closePushButton_clicked();

private:
    struct Device {
        velqor::DeviceId id;
        std::optional<velqor::Ipv4Bytes> address;
    };

    void setStatus(int index, const QString &text);
    void showDone(int index, const velqor::ChangeOutcome &outcome);
    void finish(const DeviceSession::Result &result);
    void reject() override;

    Ui::AssignDialog *ui;
    OrvaneModel *model;
    std::vector<Device> devices;
    // The network of the first device: the plan stays inside its subnet.
    velqor::NetworkInterface network;
    // Positions in the batch of the devices that got an address.
    std::vector<int> planned;
    bool running = false;
    int confirmedCount = 0;
};

#endif // ASSIGNDIALOG_H
