#include "MainWindow.h"

#include "OrvaneModel.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <iostream>

namespace {

constexpr int kMessageMs = 5000;

void writeLine(const QByteArray &bytes)
{
    std::cout.write(bytes.constData(), bytes.size());
    std::cout << std::endl;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    ui->statusBar->showMessage(tr("Ready"));

    model = new OrvaneModel(this);
    ui->orvanesTableView->setModel(model);
    ui->orvanesTableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

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
        ui->statusBar->showMessage(message, kMessageMs);
    }

    ui->orvanesComboBox->setModel(model);
    ui->orvanesComboBox->setModelColumn(0);
    ui->orvanesComboBox->setCurrentIndex(found > 0 ? 0 : -1);
    ui->orvanesComboBox->setMinimumWidth(ui->orvanesComboBox->minimumSizeHint().width());
    return found;
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
    QProcess::startDetached(program, arguments);
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
