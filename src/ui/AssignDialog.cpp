#include "AssignDialog.h"

#include "AddressPlan.h"
#include "ChangeOutcome.h"
#include "OrvaneModel.h"
#include "Protocol.h"
#include "ResultCodes.h"
#include "ui_AssignDialog.h"

#include <boost/system/system_error.hpp>

#include <set>

namespace {

QString dotted(const velqor::Ipv4Bytes &address)
{
    return QStringLiteral("%1.%2.%3.%4").arg(address[0]).arg(address[1]).arg(address[2]).arg(address[3]);
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
        devices.push_back({QString::fromLatin1(device.serial.data(), qsizetype(device.serial.size())), {}, {}});
        ui->devicesTableWidget->setItem(index, 0, new QTableWidgetItem(devices.back().serial));
        ui->devicesTableWidget->setItem(index, 1, new QTableWidgetItem);
        setStatus(index, tr("waiting"));
        // Prefilled with the first free address of the devices' network.
        if (index == 0 && !device.via.name.empty()) {
            if (const auto free = velqor::FirstFreeAddress(device.via, used))
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
    const auto plan = velqor::PlanAddresses(*start, devices.size(), used);
    running = true;
    cancelled = false;
    ui->startPushButton->setEnabled(false);
    ui->closePushButton->setEnabled(false);
    ui->cancelPushButton->setEnabled(true);
    ui->progressBar->setRange(0, static_cast<int>(devices.size()) + 1);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const int index = static_cast<int>(i);
        if (i >= plan.size()) {
            setStatus(index, tr("no free address left"));
            continue;
        }
        devices[i].address = dotted(plan[i]);
        ui->devicesTableWidget->item(index, 1)->setText(devices[i].address);
        if (cancelled) {
            setStatus(index, tr("cancelled"));
            continue;
        }
        setStatus(index, tr("changing…"));
        try {
            devices[i].code = model->changeAddress(devices[i].serial, devices[i].address);
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
        if (!devices[i].code)
            continue;
        const int code = *devices[i].code;
        const bool found = model->addressOf(devices[i].serial) == devices[i].address;
        QString text;
        switch (velqor::JudgeChange(code, found)) {
        case velqor::ChangeOutcome::Moved:
            text = found ? tr("moved") : tr("moved, not found there yet");
            confirmedCount += found ? 1 : 0;
            break;
        case velqor::ChangeOutcome::NotConfirmed:
            text = tr("not confirmed");
            break;
        case velqor::ChangeOutcome::Refused:
            text = code == velqor::ResultRefusedWithoutCode ? tr("refused without a code")
                                                            : tr("refused with code %1").arg(code);
            break;
        case velqor::ChangeOutcome::SeveralAddresses:
            text = tr("serial answered from several addresses");
            break;
        case velqor::ChangeOutcome::InvalidAddress:
            text = tr("invalid address");
            break;
        case velqor::ChangeOutcome::Busy:
            text = tr("busy");
            break;
        }
        setStatus(static_cast<int>(i), text);
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
