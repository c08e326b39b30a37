#include "PlanDialog.h"

#include "AssignDialog.h"
#include "Csv.h"
#include "OrvaneModel.h"
#include "PlanRunner.h"
#include "Translations.h"
#include "ui_PlanDialog.h"

#include <QFile>
#include <QFileDialog>
#include <QHeaderView>

#include <algorithm>
#include <iterator>
#include <set>

PlanDialog::PlanDialog(OrvaneModel *model, velqor::PlanFile file, QWidget *parent)
    : QDialog(parent), ui(new Ui::PlanDialog), model(model), plan(std::move(file))
{
    ui->setupUi(this);
    std::vector<velqor::DeviceDetails> devices;
    devices.reserve(static_cast<std::size_t>(model->count()));
    for (int row = 0; row < model->count(); ++row)
        devices.push_back(model->detailsAt(row));
    // Checked as a dry run of orvane-cli apply checks it, but for the hosts
    // that answer for an address: the links are asked when it runs.
    std::set<std::string> links;
    for (const velqor::NetworkInterface &network : model->networks())
        links.insert(network.name);
    const velqor::MovePlan preview =
        velqor::PreviewPlan(plan.Rows(devices, links), devices, model->addressFacts(), false);
    rows = velqor::PlanReport(plan.Entries(), preview.Rows(), nullptr);
    velqor::AddSkipped(rows, plan.Skipped());
    for (std::size_t entry = 0; entry < plan.Entries().size(); ++entry)
        entryAt[plan.Entries()[entry].line] = entry;
    ui->planTableWidget->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t row = 0; row < rows.size(); ++row)
        showRow(row);
    ui->planTableWidget->horizontalHeader()->resizeSections(QHeaderView::ResizeToContents);
    showSummary();
    ui->runPushButton->setEnabled(std::any_of(
        rows.begin(), rows.end(), [](const velqor::PlanReportRow &row) { return row.status == "will-move"; }));

    connect(model, &OrvaneModel::changeDone, this, [this](int index, const velqor::RowResult &result) {
        if (!running || index < 0 || index >= static_cast<int>(sent.size()))
            return;
        auto *item = ui->planTableWidget->item(static_cast<int>(sent[static_cast<std::size_t>(index)]), 5);
        item->setText(AssignDialog::describe(result));
    });
    connect(model, &OrvaneModel::operationFinished, this, [this](const DeviceSession::Result &result) {
        if (running && result.operation == DeviceSession::Operation::Batch)
            finish(result);
    });
}

PlanDialog::~PlanDialog()
{
    delete ui;
}

void PlanDialog::showRow(std::size_t row)
{
    const velqor::PlanReportRow &shown = rows[row];
    const QStringList cells {QString::number(shown.line),        QString::fromStdString(shown.serial.Column()),
                             QString::fromStdString(shown.link), QString::fromStdString(shown.from),
                             QString::fromStdString(shown.to),   statusOf(static_cast<int>(row))};
    for (int column = 0; column < cells.size(); ++column) {
        auto *item = ui->planTableWidget->item(static_cast<int>(row), column);
        if (!item) {
            item = new QTableWidgetItem;
            ui->planTableWidget->setItem(static_cast<int>(row), column, item);
        }
        item->setText(cells[column]);
    }
}

QString PlanDialog::statusOf(int row) const
{
    if (row < 0 || row >= static_cast<int>(rows.size()))
        return {};
    const velqor::PlanReportRow &shown = rows[static_cast<std::size_t>(row)];
    // The report's own words for its statuses, as the saved report has them.
    static const char *const statuses[] = {
        QT_TR_NOOP("will-move"),     QT_TR_NOOP("already-there"), QT_TR_NOOP("not-sent"),  QT_TR_NOOP("skipped"),
        QT_TR_NOOP("moved"),         QT_TR_NOOP("refused"),       QT_TR_NOOP("no-answer"), QT_TR_NOOP("not-moved"),
        QT_TR_NOOP("not-confirmed"), QT_TR_NOOP("not-run"),       QT_TR_NOOP("stranded")};
    const auto known = std::find(std::begin(statuses), std::end(statuses), shown.status);
    const QString status = known != std::end(statuses) ? tr(*known) : QString::fromStdString(shown.status);
    QString detail;
    for (const auto &[joint, phrase] : shown.clauses)
        detail += QString::fromStdString(joint) + Translations::phrase(phrase);
    return detail.isEmpty() ? status : tr("%1: %2").arg(status, detail);
}

void PlanDialog::showSummary()
{
    const auto count = [this](const char *status) {
        return std::count_if(rows.begin(), rows.end(),
                             [&](const velqor::PlanReportRow &row) { return row.status == status; });
    };
    const auto reached =
        std::count_if(rows.begin(), rows.end(), [](const velqor::PlanReportRow &row) { return row.reached; });
    const qsizetype total = static_cast<qsizetype>(rows.size());
    if (!ran)
        ui->summaryLabel->setText(tr("%1 rows: %2 will move, %3 are there already, %4 cannot run, %5 are left "
                                     "as they are. Nothing has been sent.")
                                      .arg(total)
                                      .arg(count("will-move"))
                                      .arg(count("already-there"))
                                      .arg(count("not-sent"))
                                      .arg(count("skipped")));
    else
        ui->summaryLabel->setText(
            tr("%1 rows: %2 reached their address, %3 did not.").arg(total).arg(reached).arg(total - reached));
}

bool PlanDialog::start()
{
    if (running || ran)
        return false;
    std::vector<DeviceSession::Request> requests;
    sent.clear();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        // Rows whose device was not found, or not told apart, stay as the
        // check left them; so do those the plan leaves alone.
        const auto entryIndex = entryAt.find(rows[row].line);
        if (rows[row].from.empty() || entryIndex == entryAt.end())
            continue;
        const velqor::PlanFile::Entry &entry = plan.Entries()[entryIndex->second];
        requests.push_back(
            {{rows[row].link, entry.serial}, entry.address, false, QString::fromStdString(rows[row].to)});
        sent.push_back(row);
    }
    if (requests.empty() || !model->startBatch(std::move(requests)))
        return false;
    running = true;
    ui->runPushButton->setEnabled(false);
    ui->closePushButton->setEnabled(false);
    for (std::size_t row : sent)
        ui->planTableWidget->item(static_cast<int>(row), 5)->setText(tr("waiting"));
    return true;
}

void PlanDialog::finish(const DeviceSession::Result &result)
{
    running = false;
    ran = true;
    if (result.results.size() == result.rows.size() && result.rows.size() == sent.size()) {
        std::vector<velqor::PlanFile::Entry> entries;
        for (std::size_t row : sent)
            entries.push_back(plan.Entries()[entryAt.at(rows[row].line)]);
        const std::vector<velqor::PlanReportRow> done = velqor::PlanReport(entries, result.rows, &result.results);
        for (std::size_t i = 0; i < sent.size(); ++i)
            rows[sent[i]] = done[i];
    } else {
        for (std::size_t row : sent) {
            rows[row].status = "not-run";
            rows[row].detail = tr("device link error: %1").arg(result.search.linkError).toStdString();
            rows[row].reached = false;
        }
    }
    for (std::size_t row = 0; row < rows.size(); ++row)
        showRow(row);
    showSummary();
    ui->closePushButton->setEnabled(true);
    if (closeWhenDone)
        QDialog::reject();
}

void PlanDialog::abandon()
{
    closeWhenDone = true;
    if (!running) {
        QDialog::reject();
        return;
    }
    model->session()->abandon();
}

void PlanDialog::run()
{
    if (start())
        model->session()->wait();
}

bool PlanDialog::saveReport(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QByteArray::fromStdString(velqor::CsvRecord(velqor::PlanReportHeader())));
    for (const velqor::PlanReportRow &row : rows)
        file.write(QByteArray::fromStdString(velqor::CsvRecord(velqor::PlanReportFields(row))));
    return file.flush();
}

void PlanDialog::on_runPushButton_clicked()
{
    start();
}

void PlanDialog::on_saveReportPushButton_clicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save the plan's report"),
                                                      QStringLiteral("plan-report.csv"), tr("CSV files (*.csv)"));
    if (!path.isEmpty() && !saveReport(path))
        ui->summaryLabel->setText(tr("Could not write %1").arg(path));
}

void PlanDialog::on_closePushButton_clicked()
{
    accept();
}

void PlanDialog::reject()
{
    // Escape or the window's close button: cancels a run under way and
    // closes once it has stopped.
    if (running) {
        closeWhenDone = true;
        model->session()->cancel();
        return;
    }
    QDialog::reject();
}
