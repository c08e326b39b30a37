#include "AssignDialog.h"

#include "AddressPlan.h"
#include "ChangeOutcome.h"
#include "OrvaneModel.h"
#include "Protocol.h"
#include "ui_AssignDialog.h"

#include <boost/system/system_error.hpp>

#include <set>

namespace {

QString dotted(const velqor::Ipv4Bytes &address)
{
    return QString::fromStdString(velqor::FormatAddress(address));
}

QString describe(const velqor::ChangeOutcome &outcome)
{
    switch (outcome.kind) {
    case velqor::ChangeOutcome::Kind::Moved:
        return AssignDialog::tr("moved");
    case velqor::ChangeOutcome::Kind::Acknowledged:
        return AssignDialog::tr("moved, not found there yet");
    case velqor::ChangeOutcome::Kind::NoAnswer:
        return AssignDialog::tr("not confirmed");
    case velqor::ChangeOutcome::Kind::Refused:
        return outcome.deviceCode ? AssignDialog::tr("refused with code %1").arg(int(*outcome.deviceCode))
                                  : AssignDialog::tr("refused without a code");
    case velqor::ChangeOutcome::Kind::NotSent:
        break;
    }
    return AssignDialog::tr("not sent: %1").arg(QString::fromUtf8(velqor::ReasonText(outcome.reason)));
}

} // namespace

AssignDialog::AssignDialog(OrvaneModel *model, const QList<int> &rows, QWidget *parent)
    : QDialog(parent), ui(new Ui::AssignDialog), model(model)
{
    ui->setupUi(this);
    ui->cancelPushButton->setEnabled(false);
    ui->devicesTableWidget->setRowCount(static_cast<int>(rows.size()));
    const std::set<velqor::Ipv4Bytes> used = model->usedAddresses();
    for (int row : rows) {
        const velqor::DeviceDetails device = model->detailsAt(row);
        const int index = static_cast<int>(devices.size());
        devices.push_back({device.serial, {}, {}});
        ui->devicesTableWidget->setItem(index, 0,
                                        new QTableWidgetItem(QString::fromStdString(device.serial.Display())));
        ui->devicesTableWidget->setItem(index, 1, new QTableWidgetItem);
        setStatus(index, tr("waiting"));
        // Prefilled with the first free address of the devices' network.
        if (index == 0 && !device.via.name.empty()) {
            network = device.via;
            if (const auto free = velqor::FirstFreeAddress(device.via, used, model->networks()))
                ui->startLineEdit->setText(dotted(*free));
        }
    }
}

AssignDialog::~AssignDialog()
{
    delete ui;
}

void AssignDialog::run()
{
    const auto start = velqor::ParseDottedAddress(ui->startLineEdit->text().toStdString());
    if (!start || devices.empty())
        return;
    const std::set<velqor::Ipv4Bytes> used = model->usedAddresses();
    const auto plan = velqor::PlanAddresses(*start, devices.size(), network, used, model->networks());
    running = true;
    cancelled = false;
    ui->startPushButton->setEnabled(false);
    ui->closePushButton->setEnabled(false);
    ui->cancelPushButton->setEnabled(true);
    ui->progressBar->setRange(0, static_cast<int>(devices.size()) + 1);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const int index = static_cast<int>(i);
        if (i >= plan.size()) {
            // The plan never leaves the subnet: say how many it had room for.
            setStatus(index, tr("no free address left in the subnet (%n fit)", nullptr, int(plan.size())));
            continue;
        }
        devices[i].address = plan[i];
        ui->devicesTableWidget->item(index, 1)->setText(dotted(plan[i]));
        if (cancelled) {
            setStatus(index, tr("cancelled"));
            continue;
        }
        setStatus(index, tr("changing…"));
        try {
            devices[i].outcome = model->changeAddress(devices[i].serial, plan[i]);
            setStatus(index, tr("answered, confirming…"));
        } catch (const boost::system::system_error &error) {
            setStatus(index, tr("device link error: %1").arg(QString::fromLocal8Bit(error.what())));
            cancelled = true;
        }
        ui->progressBar->setValue(index + 1);
    }
    ui->cancelPushButton->setEnabled(false);
    model->refresh();
    confirmedCount = 0;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (!devices[i].outcome)
            continue;
        const velqor::DeviceDetails now = model->detailsAt(model->rowOf(devices[i].serial));
        const bool found = now.serial == devices[i].serial && now.address == devices[i].address;
        const velqor::ChangeOutcome outcome = velqor::Confirm(*devices[i].outcome, found);
        confirmedCount += outcome.kind == velqor::ChangeOutcome::Kind::Moved ? 1 : 0;
        setStatus(static_cast<int>(i), describe(outcome));
    }
    ui->progressBar->setValue(ui->progressBar->maximum());
    ui->closePushButton->setEnabled(true);
    running = false;
}

int AssignDialog::confirmed() const
{
    return confirmedCount;
}

QString AssignDialog::statusOf(int index) const
{
    const QTableWidgetItem *item = ui->devicesTableWidget->item(index, 2);
    return item ? item->text() : QString();
}

void AssignDialog::on_startPushButton_clicked()
{
    run();
}

void AssignDialog::on_cancelPushButton_clicked()
{
    // Takes effect between two devices: a change under way finishes first.
    cancelled = true;
}

void AssignDialog::on_closePushButton_clicked()
{
    accept();
}

void AssignDialog::reject()
{
    // Escape or the window's close button: cancels a batch under way and
    // closes once it has stopped.
    if (running) {
        cancelled = true;
        return;
    }
    QDialog::reject();
}

void AssignDialog::setStatus(int index, const QString &text)
{
    auto *item = ui->devicesTableWidget->item(index, 2);
    if (!item) {
        item = new QTableWidgetItem;
        ui->devicesTableWidget->setItem(index, 2, item);
    }
    item->setText(text);
}
