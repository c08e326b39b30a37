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

// Gives several devices consecutive addresses, each inside the networks of
// its own interface (asking first before going outside them): one change
// after another (replies carry no serial, so two changes never overlap),
// verified together, a status per device, Cancel between devices, then one
// search for the table. The batch runs in the device session; the dialog
// only shows it.
class AssignDialog : public QDialog {
    Q_OBJECT

public:
    AssignDialog(OrvaneModel *model, const QList<int> &rows, QWidget *parent = nullptr);
    ~AssignDialog() override;

    // Starts the batch from the first address in the form and returns at
    // once; false when nothing could start. A first address outside the
    // networks of every device is asked about first; outside, every device
    // is planned from it.
    bool start();
    // The session ends: a batch under way stops after the device under way,
    // and the dialog closes once it has.
    void abandon();
    // Starts the batch and returns once the confirming search is over.
    void run();
    // How many devices the confirming search found at their new address.
    int confirmed() const;
    QString statusOf(int index) const;
    // A device's status once its change is settled.
    static QString describe(const velqor::RowResult &result);

private slots:
    void on_startPushButton_clicked();
    void on_cancelPushButton_clicked();
    void on_closePushButton_clicked();

private:
    struct Device {
        velqor::DeviceId id;
        velqor::NetworkInterface network; // of its interface, holding it where one does
        std::optional<velqor::Ipv4Bytes> address;
    };

    // Addresses for every device from first: within each device's own
    // network, from first where that network holds it; all from first
    // (its /24) when outside is set. False when the user would rather not.
    bool plan(const velqor::Ipv4Bytes &first);
    void setStatus(int index, const QString &text);
    void showDone(int index, const velqor::RowResult &result);
    void finish(const DeviceSession::Result &result);
    void reject() override;

    Ui::AssignDialog *ui;
    OrvaneModel *model;
    std::vector<Device> devices;
    // Positions in the batch of the devices that got an address.
    std::vector<int> planned;
    bool running = false;
    bool closeWhenDone = false;
    int confirmedCount = 0;
};

#endif // ASSIGNDIALOG_H
