#include "AssignDialog.h"

#include "AddressPlan.h"
#include "OrvaneModel.h"
#include "Translations.h"
#include "ui_AssignDialog.h"

#include <QMessageBox>

#include <algorithm>
#include <map>
#include <set>

namespace {

QString dotted(const velqor::Ipv4Bytes &address)
{
    return QString::fromStdString(velqor::FormatAddress(address));
}

} // namespace

QString AssignDialog::describe(const velqor::RowResult &result)
{
    const velqor::ChangeOutcome &outcome = result.outcome;
    switch (result.kind) {
    case velqor::RowResult::Kind::Moved:
        return tr("moved");
    case velqor::RowResult::Kind::AlreadyThere:
        return tr("already there");
    case velqor::RowResult::Kind::NotRun:
        return result.waitedFor ? tr("not run") : tr("cancelled");
    case velqor::RowResult::Kind::NotSent:
        return tr("not sent: %1").arg(Translations::phrase(velqor::NotSentPhrase(outcome)));
    case velqor::RowResult::Kind::Stranded:
        return tr("left at %1").arg(result.endedAt ? dotted(*result.endedAt) : QString());
    case velqor::RowResult::Kind::Failed:
        break;
    }
    switch (outcome.kind) {
    case velqor::ChangeOutcome::Kind::Refused:
        return outcome.deviceCode ? tr("refused with code %1").arg(int(*outcome.deviceCode))
                                  : tr("refused without a code");
    case velqor::ChangeOutcome::Kind::AcknowledgedNotMoved:
        return tr("acknowledged, but still at its old address");
    default:
        return tr("not confirmed");
    }
}

AssignDialog::AssignDialog(OrvaneModel *model, const QList<int> &rows, QWidget *parent)
    : QDialog(parent), ui(new Ui::AssignDialog), model(model)
{
    ui->setupUi(this);
    ui->cancelPushButton->setEnabled(false);
    ui->devicesTableWidget->setRowCount(static_cast<int>(rows.size()));
    for (int row : rows) {
        const velqor::DeviceDetails &device = model->detailsAt(row);
        const int index = static_cast<int>(devices.size());
        devices.push_back({device.Id(), device.via, {}});
        ui->devicesTableWidget->setItem(index, 0,
                                        new QTableWidgetItem(QString::fromStdString(
                                            model->sharesSerial(row) ? device.Id().Text() : device.serial.Column())));
        ui->devicesTableWidget->setItem(index, 1, new QTableWidgetItem);
        setStatus(index, tr("waiting"));
        // Prefilled with the first free address of the first device's network.
        if (index == 0 && !device.via.name.empty()) {
            std::set<velqor::Ipv4Bytes> used = model->usedAddresses(device.via.name);
            const auto gateways = model->addressFacts().gateways.find(device.via.name);
            if (gateways != model->addressFacts().gateways.end())
                used.insert(gateways->second.begin(), gateways->second.end());
            if (const auto free = velqor::FirstFreeAddress(device.via, used, model->networks()))
                ui->startLineEdit->setText(dotted(*free));
        }
    }
    connect(model, &OrvaneModel::changeDone, this, [this](int index, const velqor::RowResult &result) {
        if (running)
            showDone(index, result);
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

bool AssignDialog::plan(const velqor::Ipv4Bytes &first)
{
    const bool inside = std::any_of(devices.begin(), devices.end(),
                                    [&](const Device &device) { return device.network.Contains(first); });
    bool outside = false;
    if (!inside) {
        QMessageBox question(QMessageBox::Question, tr("Outside the network"),
                             tr("%1 is outside the networks of the selected devices; programs here will not reach "
                                "them there. Give them addresses from it anyway?")
                                 .arg(dotted(first)),
                             QMessageBox::Yes | QMessageBox::No, this);
        question.setTextFormat(Qt::PlainText);
        question.setDefaultButton(QMessageBox::No);
        if (question.exec() != QMessageBox::Yes)
            return false;
        outside = true;
    }
    // Each device inside its own network: the devices of one interface
    // share a plan, from the first address where their network holds it.
    std::map<std::string, std::vector<std::size_t>> byLink;
    for (std::size_t i = 0; i < devices.size(); ++i)
        byLink[devices[i].id.link].push_back(i);
    for (const auto &[link, members] : byLink) {
        const velqor::NetworkInterface network = outside ? velqor::NetworkInterface {} : devices[members[0]].network;
        std::set<velqor::Ipv4Bytes> used = model->usedAddresses(link);
        const auto gateways = model->addressFacts().gateways.find(link);
        if (gateways != model->addressFacts().gateways.end())
            used.insert(gateways->second.begin(), gateways->second.end());
        std::optional<velqor::Ipv4Bytes> from = first;
        if (!outside && !network.Contains(first))
            from = velqor::FirstFreeAddress(network, used, model->networks());
        const std::vector<velqor::Ipv4Bytes> addresses = from
            ? velqor::PlanAddresses(*from, members.size(), network, used, model->networks())
            : std::vector<velqor::Ipv4Bytes> {};
        for (std::size_t i = 0; i < members.size(); ++i)
            devices[members[i]].address =
                i < addresses.size() ? std::optional<velqor::Ipv4Bytes>(addresses[i]) : std::nullopt;
    }
    return true;
}

bool AssignDialog::start()
{
    const auto first = velqor::ParseDottedAddress(ui->startLineEdit->text().toStdString());
    if (!first || devices.empty() || running || !plan(*first))
        return false;
    const bool outside = std::none_of(devices.begin(), devices.end(),
                                      [&](const Device &device) { return device.network.Contains(*first); });
    std::vector<DeviceSession::Request> requests;
    planned.clear();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const int index = static_cast<int>(i);
        if (!devices[i].address) {
            // The plan never leaves the network: say how many it had room for.
            setStatus(index, tr("no free address left in the subnet"));
            ui->devicesTableWidget->item(index, 1)->setText(QString());
            continue;
        }
        ui->devicesTableWidget->item(index, 1)->setText(dotted(*devices[i].address));
        setStatus(index, tr("waiting"));
        requests.push_back({devices[i].id, devices[i].address, outside, dotted(*devices[i].address)});
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

void AssignDialog::abandon()
{
    closeWhenDone = true;
    if (!running) {
        QDialog::reject();
        return;
    }
    model->session()->abandon();
}

void AssignDialog::run()
{
    if (start())
        model->session()->wait();
}

void AssignDialog::showDone(int index, const velqor::RowResult &result)
{
    if (index < 0 || index >= static_cast<int>(planned.size()))
        return;
    setStatus(planned[static_cast<std::size_t>(index)], describe(result));
    ui->progressBar->setValue(index + 1);
    if (index + 1 < static_cast<int>(planned.size()))
        setStatus(planned[static_cast<std::size_t>(index) + 1], tr("changing…"));
}

void AssignDialog::finish(const DeviceSession::Result &result)
{
    for (std::size_t i = 0; i < planned.size(); ++i) {
        const int index = planned[i];
        if (i >= result.results.size()) {
            setStatus(index, tr("device link error: %1").arg(result.search.linkError));
            continue;
        }
        confirmedCount += result.results[i].kind == velqor::RowResult::Kind::Moved ? 1 : 0;
        setStatus(index, describe(result.results[i]));
    }
    ui->progressBar->setValue(ui->progressBar->maximum());
    ui->cancelPushButton->setEnabled(false);
    ui->closePushButton->setEnabled(true);
    running = false;
    if (closeWhenDone)
        QDialog::reject();
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
        closeWhenDone = true;
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
