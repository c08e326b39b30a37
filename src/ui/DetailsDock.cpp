#include "DetailsDock.h"

#include "DeviceDetails.h"
#include "NetworkInterface.h"
#include "Translations.h"
#include "ui_DetailsDock.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <vector>

DetailsDock::DetailsDock(QWidget *parent) : QDockWidget(parent), ui(new Ui::DetailsDock)
{
    ui->setupUi(this);
    showDevice(nullptr);
}

DetailsDock::~DetailsDock()
{
    delete ui;
}

void DetailsDock::showDevice(const velqor::DeviceDetails *device)
{
    if (!device) {
        ui->detailsPlainTextEdit->setPlainText(tr("No device chosen"));
        return;
    }
    const auto address = [](const velqor::Ipv4Bytes &bytes) {
        return QString::fromStdString(velqor::FormatAddress(bytes));
    };
    QStringList lines;
    lines << tr("Serial: %1").arg(QString::fromStdString(device->serial.Column()))
          << tr("Serial (hex): %1").arg(QString::fromStdString(device->serial.Hex()))
          << tr("Address: %1").arg(address(device->address));
    for (const velqor::Ipv4Bytes &other : device->alsoAt)
        lines << tr("Its serial also answers from: %1").arg(address(other));
    lines << tr("Network: %1")
                 .arg(device->via.name.empty() ? tr("unknown") : QString::fromStdString(device->via.Label()));
    const auto ago =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - device->lastSeen);
    const QString heard = QDateTime::currentDateTime().addMSecs(-ago.count()).toString(QStringLiteral("HH:mm:ss"));
    lines << (device->heard ? tr("Last heard: %1").arg(heard)
                            : tr("Last heard: %1; it did not answer the last search").arg(heard));
    // The workstation knows it only once the two have spoken directly.
    const std::vector<velqor::Neighbour> neighbours = velqor::ListNeighbours(device->via);
    const auto known = std::find_if(neighbours.begin(), neighbours.end(), [&](const velqor::Neighbour &neighbour) {
        return neighbour.address == device->address;
    });
    lines << (known != neighbours.end() ? tr("Hardware address: %1").arg(QString::fromStdString(known->hardware))
                                        : tr("Hardware address: not in the workstation's neighbour table"));
    if (device->warnings.empty())
        lines << tr("Warnings: none");
    for (const velqor::Diagnostic &warning : device->warnings)
        lines << tr("Warning: %1").arg(Translations::phrase(warning.phrase));
    ui->detailsPlainTextEdit->setPlainText(lines.join(QLatin1Char('\n')));
}

QString DetailsDock::text() const
{
    return ui->detailsPlainTextEdit->toPlainText();
}
