#include "MainWindow.h"

#include "ChooserStyle.h"
#include "OrvaneModel.h"
#include "ui_MainWindow.h"

#include "Printable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QListView>
#include <QProcess>

#include <csignal>
#include <iostream>

namespace {

constexpr int kMessageMs = 5000;
// The chooser is sized for this many characters, never for its longest serial.
constexpr int kChooserCharacters = 24;

void writeLine(const QByteArray &bytes)
{
    std::cout << velqor::Printable(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()))) << std::endl;
    // A closed output fails this line, not the launch nor the next lines.
    std::cout.clear();
}

void ignoreBrokenPipes()
{
#ifdef SIGPIPE
    // POSIX: a write to a pipe nobody reads fails instead of ending the program.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // Windows has no such signal: the write just fails.
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    ui->statusBar->showMessage(tr("Ready"));

    ignoreBrokenPipes();

    model = new OrvaneModel(this);
    ui->orvanesTableView->setModel(model);
    ui->orvanesTableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    ui->orvanesTableView->setSelectionBehavior(QAbstractItemView::SelectRows);

    // Sized and laid out without reading every row: tens of thousands of
    // devices, or one serial of a thousand bytes, must not stall or widen it.
    ui->orvanesComboBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ui->orvanesComboBox->setMinimumContentsLength(kChooserCharacters);
    ui->orvanesComboBox->view()->setTextElideMode(Qt::ElideMiddle);
    auto *chooserStyle = new ChooserStyle;
    chooserStyle->setParent(ui->orvanesComboBox);
    ui->orvanesComboBox->setStyle(chooserStyle);
    if (auto *list = qobject_cast<QListView *>(ui->orvanesComboBox->view()))
        list->setUniformItemSizes(true);

    // The chosen device and the table's current row are one and the same.
    connect(ui->orvanesTableView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    ui->orvanesComboBox->setCurrentIndex(current.row());
            });
    connect(ui->orvanesComboBox, &QComboBox::currentIndexChanged, this, &MainWindow::showChosenDevice);

    // Connected before the first search, so that a device link that cannot be
    // opened at start is reported too.
    connect(model, &OrvaneModel::showMessage, ui->statusBar, &QStatusBar::showMessage);
    updateDeviceList();
    fillApplicationList();
}

MainWindow::~MainWindow()
{
    delete ui;
}

int MainWindow::updateDeviceList()
{
    const int found = model->refresh();
    if (!model->searchFailed()) {
        QString message;
        if (found < 1)
            message = tr("No Orvanes found");
        else
            message = QString::number(found) + (found == 1 ? tr(" Orvane found") : tr(" Orvanes found"));
        if (model->droppedCount() > 0)
            message += tr(" (%1 more answered beyond the list's limit)").arg(model->droppedCount());
        ui->statusBar->showMessage(message, kMessageMs);
    }

    ui->orvanesComboBox->setModel(model);
    ui->orvanesComboBox->setModelColumn(0);
    ui->orvanesComboBox->setCurrentIndex(found > 0 ? 0 : -1);
    showChosenDevice(ui->orvanesComboBox->currentIndex());
    return found;
}

void MainWindow::showChosenDevice(int row)
{
    QTableView *table = ui->orvanesTableView;
    if (row < 0) {
        table->clearSelection();
        return;
    }
    const QModelIndex current = table->currentIndex();
    if (current.row() != row || !table->selectionModel()->isRowSelected(row))
        table->setCurrentIndex(model->index(row, current.isValid() ? current.column() : 0));
}

void MainWindow::on_searchOrvanesPushButton_clicked()
{
    updateDeviceList();
}

void MainWindow::on_orvanesTableView_clicked(const QModelIndex &index)
{
    ui->orvanesComboBox->setCurrentIndex(index.row());
}

void MainWindow::on_LaunchPushButton_clicked()
{
    const QString serial = ui->orvanesComboBox->currentText();
    const QString application = ui->applicationComboBox->currentText();
    writeLine(serial.toLatin1());
    writeLine(application.toLocal8Bit());
    if (application.isEmpty())
        return;

    const QString program = QDir::toNativeSeparators(QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() +
                                                     QLatin1Char('/') + application);
    QStringList arguments;
    // A device chosen before the model reloaded may be gone: start without it.
    const QString address = model->count() > 0 ? model->addressOf(serial) : QString();
    if (!address.isEmpty())
        arguments << address;
    if (!QProcess::startDetached(program, arguments))
        ui->statusBar->showMessage(tr("Could not start %1").arg(application), kMessageMs);
}

void MainWindow::fillApplicationList()
{
    ui->applicationComboBox->clear();
    const QDir folder(QCoreApplication::applicationDirPath());
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    for (const QString &name : folder.entryList(QDir::Files | QDir::Executable, QDir::NoSort)) {
        if (name != self)
            ui->applicationComboBox->addItem(name);
    }
}
