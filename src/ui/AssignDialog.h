#ifndef ASSIGNDIALOG_H
#define ASSIGNDIALOG_H

#include "ChangeOutcome.h"
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
class AssignDialog : public QDialog {
    Q_OBJECT

public:
    AssignDialog(OrvaneModel *model, const QList<int> &rows, QWidget *parent = nullptr);
    ~AssignDialog() override;

    // Runs the batch from the first address in the form; returns once the
    // confirming search is over.
    void run();
    // How many devices the confirming search found at their new address.
    int confirmed() const;
    QString statusOf(int index) const;

private slots:
    void on_startPushButton_clicked();
    void on_cancelPushButton_clicked();
    void on_closePushButton_clicked();

private:
    struct Device {
        velqor::Serial serial;
        std::optional<velqor::Ipv4Bytes> address;
        std::optional<velqor::ChangeOutcome> outcome;
    };

    void setStatus(int index, const QString &text);
    void reject() override;

    Ui::AssignDialog *ui;
    OrvaneModel *model;
    std::vector<Device> devices;
    // The network of the first device: the plan stays inside its subnet.
    velqor::NetworkInterface network;
    bool running = false;
    bool cancelled = false;
    int confirmedCount = 0;
};

#endif // ASSIGNDIALOG_H
