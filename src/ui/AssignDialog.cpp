#include "AssignDialog.h"

#include "AddressPlan.h"
#include "OrvaneModel.h"
#include "ui_AssignDialog.h"

#include <set>

namespace {

QString dotted(const velqor::Ipv4Bytes &address)
{
    return QString::fromStdString(velqor::FormatAddress(address));
}

} // namespace

QString AssignDialog::describe(const velqor::ChangeOutcome &outcome)
{
    switch (outcome.kind) {
    case velqor::ChangeOutcome::Kind::Moved:
        return tr("moved");
    case velqor::ChangeOutcome::Kind::Acknowledged:
        return tr("moved, not found there yet");
    case velqor::ChangeOutcome::Kind::NoAnswer:
        return tr("not confirmed");
    case velqor::ChangeOutcome::Kind::Refused:
        return outcome.deviceCode ? tr("refused with code %1").arg(int(*outcome.deviceCode))
                                  : tr("refused without a code");
    case velqor::ChangeOutcome::Kind::NotSent:
        break;
    }
    return tr("not sent: %1").arg(QString::fromUtf8(velqor::ReasonText(outcome.reason)));
}

AssignDialog::AssignDialog(OrvaneModel *model, const QList<int> &rows, QWidget *parent)
    : QDialog(parent), ui(new Ui::AssignDialog), model(model)
{
    ui->setupUi(this);
    ui->cancelPushButton->setEnabled(false);
    ui->devicesTableWidget->setRowCount(static_cast<int>(rows.size()));
    const std::set<velqor::Ipv4Bytes> used = model->usedAddresses();
    for (int row : rows) {
        const velqor::DeviceDetails &device = model->detailsAt(row);
        const int index = static_cast<int>(devices.size());
        devices.push_back({device.Id(), {}});
        ui->devicesTableWidget->setItem(index, 0,
                                        new QTableWidgetItem(QString::fromStdString(
                                            model->sharesSerial(row) ? device.Id().Text() : device.serial.Column())));
        ui->devicesTableWidget->setItem(index, 1, new QTableWidgetItem);
        setStatus(index, tr("waiting"));
        // Prefilled with the first free address of the devices' network.
        if (index == 0 && !device.via.name.empty()) {
            network = device.via;
            if (const auto free = velqor::FirstFreeAddress(device.via, used, model->networks()))
                ui->startLineEdit->setText(dotted(*free));
        }
    }
    connect(model, &OrvaneModel::changeDone, this, [this](int index, const velqor::ChangeOutcome &outcome) {
        if (running)
            showDone(index, outcome);
    });
    connect(model, &OrvaneModel::operationFinished, this, [this](const DeviceSession::Result &result) {
        if (running && result.operation == DeviceSession::Operation::Batch)
            finish(result);
    });
}

AssignDialog::~AssignDialog()
{
    delete ui;
}

bool AssignDialog::start()
{
    const auto first = velqor::ParseDottedAddress(ui->startLineEdit->text().toStdString());
    if (!first || devices.empty() || running)
        return false;
    const auto plan = velqor::PlanAddresses(*first, devices.size(), network, model->usedAddresses(), model->networks());
    std::vector<DeviceSession::Request> requests;
    planned.clear();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const int index = static_cast<int>(i);
        if (i >= plan.size()) {
            // The plan never leaves the subnet: say how many it had room for.
            setStatus(index, tr("no free address left in the subnet (%n fit)", nullptr, int(plan.size())));
            continue;
        }
        devices[i].address = plan[i];
        ui->devicesTableWidget->item(index, 1)->setText(dotted(plan[i]));
        setStatus(index, tr("waiting"));
        requests.push_back({devices[i].id, plan[i], false, dotted(plan[i])});
        planned.push_back(index);
    }
    if (requests.empty() || !model->startBatch(std::move(requests)))
        return false;
    running = true;
    confirmedCount = 0;
    ui->startPushButton->setEnabled(false);
    ui->closePushButton->setEnabled(false);
    ui->cancelPushButton->setEnabled(true);
    ui->progressBar->setRange(0, static_cast<int>(planned.size()) + 1);
    ui->progressBar->setValue(0);
    if (!planned.empty())
        setStatus(planned.front(), tr("changing…"));
    return true;
}

void AssignDialog::run()
{
    if (start())
        model->session()->wait();
}

void AssignDialog::showDone(int index, const velqor::ChangeOutcome &outcome)
{
    if (index < 0 || index >= static_cast<int>(planned.size()))
        return;
    setStatus(planned[static_cast<std::size_t>(index)],
              outcome.Checkable() ? tr("answered, confirming…") : describe(outcome));
    ui->progressBar->setValue(index + 1);
    if (index + 1 < static_cast<int>(planned.size()))
        setStatus(planned[static_cast<std::size_t>(index) + 1], tr("changing…"));
}

void AssignDialog::finish(const DeviceSession::Result &result)
{
    for (std::size_t i = 0; i < planned.size() && i < result.outcomes.size(); ++i) {
        const int index = planned[i];
        if (!result.outcomes[i]) {
            setStatus(index,
                      result.search.linkError.isEmpty() ? tr("cancelled")
                                                        : tr("device link error: %1").arg(result.search.linkError));
            continue;
        }
        const Device &device = devices[static_cast<std::size_t>(index)];
        const int row = model->rowOf(device.id);
        const bool found = row >= 0 && device.address && model->detailsAt(row).address == *device.address;
        const velqor::ChangeOutcome outcome = velqor::Confirm(*result.outcomes[i], found);
        confirmedCount += outcome.kind == velqor::ChangeOutcome::Kind::Moved ? 1 : 0;
        setStatus(index, describe(outcome));
    }
    ui->progressBar->setValue(ui->progressBar->maximum());
    ui->cancelPushButton->setEnabled(false);
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
    start();
}

void AssignDialog::on_cancelPushButton_clicked()
{
    // Takes effect between two devices: a change under way finishes first.
    model->session()->cancel();
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
        model->session()->cancel();
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
