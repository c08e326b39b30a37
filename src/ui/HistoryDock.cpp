#include "HistoryDock.h"

#include "Csv.h"
#include "ui_HistoryDock.h"

#include <QClipboard>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QShortcut>

HistoryDock::HistoryDock(QWidget *parent) : QDockWidget(parent), ui(new Ui::HistoryDock)
{
    ui->setupUi(this);
    ui->historyTableWidget->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    auto *copy = new QShortcut(QKeySequence::Copy, ui->historyTableWidget, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, &HistoryDock::copySelected);
}

HistoryDock::~HistoryDock()
{
    delete ui;
}

void HistoryDock::add(const QString &text)
{
    QTableWidget *table = ui->historyTableWidget;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, 0, new QTableWidgetItem(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"))));
    table->setItem(row, 1, new QTableWidgetItem(text));
    table->resizeRowToContents(row);
    table->scrollToBottom();
}

int HistoryDock::count() const
{
    return ui->historyTableWidget->rowCount();
}

QString HistoryDock::textAt(int row) const
{
    const QTableWidgetItem *item = ui->historyTableWidget->item(row, 1);
    return item ? item->text() : QString();
}

bool HistoryDock::save(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QByteArray::fromStdString(velqor::CsvRecord({"time", "text"})));
    for (int row = 0; row < count(); ++row)
        file.write(QByteArray::fromStdString(velqor::CsvRecord(
            {ui->historyTableWidget->item(row, 0)->text().toStdString(), textAt(row).toStdString()})));
    return file.flush();
}

void HistoryDock::on_saveHistoryPushButton_clicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save the history"), QStringLiteral("history.csv"),
                                                      tr("CSV files (*.csv)"));
    if (!path.isEmpty() && !save(path))
        add(tr("Could not write %1").arg(path));
}

void HistoryDock::copySelected() const
{
    QStringList lines;
    const QModelIndexList rows = ui->historyTableWidget->selectionModel()->selectedRows();
    for (const QModelIndex &index : rows)
        lines << ui->historyTableWidget->item(index.row(), 0)->text() + QLatin1Char('\t') + textAt(index.row());
    QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}
