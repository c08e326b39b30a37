#include "OrvaneModel.h"

#include "AddressPlan.h"
#include "AddressRules.h"
#include "ChangeOutcome.h"
#include "Protocol.h"

#include <boost/system/system_error.hpp>

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <future>
#include <thread>

namespace {

constexpr int kColumnCount = 2;
constexpr int kSerialColumn = 0;
constexpr int kAddressColumn = 1;
constexpr std::uint32_t kSearchMs = 1500;
constexpr int kMessageMs = 5000;
// How often rows are taken in while a search runs.
constexpr int kLiveRowsMs = 100;

QString addressText(const velqor::Ipv4Bytes &address)
{
    return QString::fromStdString(velqor::FormatAddress(address));
}

} // namespace

OrvaneModel::OrvaneModel(QObject *parent, velqor::LinkTarget target)
    : QAbstractTableModel(parent), target(std::move(target))
{
    openLink();
}

OrvaneModel::~OrvaneModel() = default;

int OrvaneModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int OrvaneModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant OrvaneModel::data(const QModelIndex &index, int role) const
{
    if (index.row() < 0 || index.row() >= count() || index.column() < 0 || index.column() >= kColumnCount)
        return QVariant();
    const velqor::DeviceDetails &device = rows[static_cast<std::size_t>(index.row())]->second;
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == kSerialColumn ? QString::fromStdString(device.serial.Display())
                                               : addressText(device.address);
    case StaleRole:
        return stale.count(device.serial) != 0;
    case SerialRole:
        return QByteArray::fromStdString(device.serial.Bytes());
    case AddressRole:
        return quint32(device.address[0]) << 24 | quint32(device.address[1]) << 16 | quint32(device.address[2]) << 8 |
            quint32(device.address[3]);
    case NetworkRole:
        return QString::fromStdString(device.via.Label());
    case WarningsRole:
    case WarningIdsRole: {
        QStringList texts;
        for (const velqor::Diagnostic &warning : device.warnings)
            texts << QString::fromStdString(role == WarningsRole ? warning.text : warning.Id());
        return texts;
    }
    default:
        return QVariant();
    }
}

bool OrvaneModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || index.column() != kAddressColumn || index.row() < 0 || index.row() >= count() || busy)
        return true;
    const QString address = value.toString();
    if (address.isEmpty())
        return true;
    moveDevice(index.row(), address, false);
    return true;
}

void OrvaneModel::moveDevice(int row, const QString &addressText, bool force)
{
    if (row < 0 || row >= count() || busy)
        return;
    const velqor::Serial serial = rows[static_cast<std::size_t>(row)]->first;
    const std::optional<velqor::Ipv4Bytes> address = velqor::ParseDottedAddress(addressText.toStdString());
    if (!openLink()) {
        emit editCompleted(addressText);
        return;
    }
    setBusy(true);
    velqor::ChangeOutcome outcome = velqor::ChangeOutcome::NotSent(velqor::NotSentReason::NotAssignable);
    try {
        if (address)
            outcome = changeAddress(serial, *address, force);
    } catch (const boost::system::system_error &error) {
        reportLinkError(error);
        setBusy(false);
        emit editCompleted(addressText);
        return;
    }
    if (outcome.kind == velqor::ChangeOutcome::Kind::NotSent &&
        outcome.reason == velqor::NotSentReason::HeldByAnotherDevice) {
        setBusy(false);
        emit confirmationNeeded(row, addressText);
        return;
    }
    search();
    setBusy(false);

    // Without an answer the change counts only when the device is found there.
    const auto found = devices.find(serial);
    outcome = velqor::Confirm(outcome, address && found != devices.end() && found->second.address == *address);
    QString text;
    switch (outcome.kind) {
    case velqor::ChangeOutcome::Kind::Moved:
    case velqor::ChangeOutcome::Kind::Acknowledged:
        text = tr("IP updated succesfully");
        if (address && velqor::IsLinkLocal(*address))
            text += tr("; %1 is link-local: only hosts on the same link reach it").arg(addressText);
        break;
    case velqor::ChangeOutcome::Kind::NoAnswer:
        text = tr("IP change not confirmed");
        break;
    case velqor::ChangeOutcome::Kind::Refused:
        text = tr("Could not change IP");
        break;
    case velqor::ChangeOutcome::Kind::NotSent:
        switch (outcome.reason) {
        case velqor::NotSentReason::SeveralAddresses:
            text = tr("Serial answered from several addresses");
            break;
        case velqor::NotSentReason::NotAssignable:
        case velqor::NotSentReason::TooLong:
        case velqor::NotSentReason::Busy:
            text = tr("Could not change IP");
            break;
        default:
            // An address that would cut the device or the workstation off.
            text = tr("Could not change IP: %1").arg(QString::fromUtf8(velqor::ReasonText(outcome.reason)));
            break;
        }
        break;
    }
    emit showMessage(text, kMessageMs);
    emit editCompleted(addressText);
}

QVariant OrvaneModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QVariant();
    switch (section) {
    case kSerialColumn:
        return tr("Serial");
    case kAddressColumn:
        return tr("IP");
    default:
        return QVariant();
    }
}

Qt::ItemFlags OrvaneModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags; // the root: Qt's model contract
    if (index.column() == kAddressColumn && !busy)
        return Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

int OrvaneModel::refresh()
{
    if (busy)
        return deviceCount();
    setBusy(true);
    search();
    setBusy(false);
    return deviceCount();
}

int OrvaneModel::search()
{
    std::vector<velqor::DeviceDetails> found;
    dropped = 0;
    linkFailed = !openLink();
    if (!linkFailed) {
        for (const auto &entry : devices)
            stale.insert(entry.first);
        if (!devices.empty())
            emit dataChanged(index(0, 0), index(count() - 1, kColumnCount - 1), {StaleRole});
        try {
            manager->Clear();
            searching = true;
            searchClock.start();
            whileResponsive([this] { return manager->Search(kSearchMs, true, nullptr); });
            searching = false;
            found = manager->GetDeviceDetails();
            dropped = manager->GetDroppedCount();
            workstation = manager->GetWorkstationDiagnostics();
            interfaces = manager->GetInterfaces();
        } catch (const boost::system::system_error &error) {
            searching = false;
            linkFailed = true;
            reportLinkError(error);
        }
    }
    merge(found, true);
    emit refreshed(count());
    return count();
}

velqor::ChangeOutcome OrvaneModel::changeAddress(const velqor::Serial &serial, const velqor::Ipv4Bytes &address,
                                                 bool force)
{
    // A link that could not be opened before is tried again; its error leaves
    // as a failed send would.
    if (!manager)
        manager.emplace(target.address, target.port);
    return whileResponsive([this, serial, address, force] { return manager->ChangeAddress(serial, address, force); });
}

template<typename Work> auto OrvaneModel::whileResponsive(Work work) -> decltype(work())
{
    using Result = decltype(work());
    std::packaged_task<Result()> task(std::move(work));
    std::future<Result> done = task.get_future();
    QEventLoop loop;
    QTimer live;
    connect(&live, &QTimer::timeout, this, [this] {
        if (!searching || !manager)
            return;
        merge(manager->GetDeviceDetails(), false);
        emit searchProgress(static_cast<int>(searchClock.elapsed()), static_cast<int>(kSearchMs));
    });
    live.start(kLiveRowsMs);
    std::thread worker([&task, &loop] {
        task();
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    // The loop also ends when the application quits: the operation still
    // finishes first, within its own time limit.
    worker.join();
    return done.get();
}

void OrvaneModel::merge(const std::vector<velqor::DeviceDetails> &found, bool final)
{
    std::set<velqor::Serial> heard;
    std::vector<const velqor::DeviceDetails *> added;
    // Both lists are in serial order: one walk finds each row, and changed
    // rows are announced in runs.
    auto entry = devices.begin();
    int row = 0;
    int firstChanged = -1;
    int lastChanged = -1;
    auto announce = [&] {
        if (firstChanged >= 0)
            emit dataChanged(index(firstChanged, 0), index(lastChanged, kColumnCount - 1));
        firstChanged = -1;
    };
    for (const velqor::DeviceDetails &device : found) {
        heard.insert(device.serial);
        while (entry != devices.end() && entry->first < device.serial) {
            ++entry;
            ++row;
        }
        if (entry == devices.end() || entry->first != device.serial) {
            added.push_back(&device);
            continue;
        }
        velqor::DeviceDetails &known = entry->second;
        const bool differs = known.address != device.address || stale.erase(device.serial) != 0 ||
            known.via != device.via || known.warnings.size() != device.warnings.size() || known.alsoAt != device.alsoAt;
        known = device;
        if (!differs)
            continue;
        if (firstChanged >= 0 && row == lastChanged + 1) {
            lastChanged = row;
        } else {
            announce();
            firstChanged = lastChanged = row;
        }
    }
    announce();
    // New devices in runs that land between the same two listed rows.
    for (std::size_t first = 0; first < added.size();) {
        const auto position = devices.lower_bound(added[first]->serial);
        std::size_t last = first + 1;
        while (last < added.size() && (position == devices.end() || added[last]->serial < position->first))
            ++last;
        const int row = static_cast<int>(std::distance(devices.begin(), position));
        beginInsertRows(QModelIndex(), row, row + static_cast<int>(last - first) - 1);
        for (std::size_t i = first; i < last; ++i)
            devices.emplace(added[i]->serial, *added[i]);
        rebuildRows();
        endInsertRows();
        first = last;
    }
    if (!final)
        return;
    // Rows that did not answer go, in runs from the bottom up.
    for (int row = count() - 1; row >= 0;) {
        if (heard.count(rows[static_cast<std::size_t>(row)]->first) != 0) {
            --row;
            continue;
        }
        int top = row;
        while (top > 0 && heard.count(rows[static_cast<std::size_t>(top - 1)]->first) == 0)
            --top;
        beginRemoveRows(QModelIndex(), top, row);
        for (int r = top; r <= row; ++r)
            stale.erase(rows[static_cast<std::size_t>(r)]->first);
        devices.erase(rows[static_cast<std::size_t>(top)], std::next(rows[static_cast<std::size_t>(row)]));
        rebuildRows();
        endRemoveRows();
        row = top - 1;
    }
    stale.clear();
}

void OrvaneModel::rebuildRows()
{
    rows.clear();
    rows.reserve(devices.size());
    for (auto entry = devices.cbegin(); entry != devices.cend(); ++entry)
        rows.push_back(entry);
}

int OrvaneModel::count() const
{
    return static_cast<int>(devices.size());
}

int OrvaneModel::deviceCount() const
{
    std::size_t total = 0;
    for (const auto &entry : devices)
        total += entry.second.DeviceCount();
    return static_cast<int>(total);
}

int OrvaneModel::rowOf(const velqor::Serial &serial) const
{
    const auto found = devices.find(serial);
    return found == devices.end() ? -1 : static_cast<int>(std::distance(devices.begin(), found));
}

QString OrvaneModel::addressOf(const QString &serial) const
{
    const std::optional<velqor::Serial> bytes = velqor::Serial::FromText(serial.toStdString());
    return bytes ? addressAt(rowOf(*bytes)) : QString();
}

QString OrvaneModel::addressAt(int row) const
{
    if (row < 0 || row >= count())
        return QString();
    return addressText(rows[static_cast<std::size_t>(row)]->second.address);
}

bool OrvaneModel::searchFailed() const
{
    return linkFailed;
}

std::size_t OrvaneModel::droppedCount() const
{
    return dropped;
}

bool OrvaneModel::isBusy() const
{
    return busy;
}

const std::vector<velqor::Diagnostic> &OrvaneModel::workstationDiagnostics() const
{
    return workstation;
}

velqor::DeviceDetails OrvaneModel::detailsAt(int row) const
{
    if (row < 0 || row >= count())
        return {};
    return rows[static_cast<std::size_t>(row)]->second;
}

QString OrvaneModel::moveIntoAddress(int row) const
{
    const velqor::DeviceDetails device = detailsAt(row);
    const bool wrongSubnet = std::any_of(device.warnings.begin(), device.warnings.end(), [](const auto &warning) {
        return warning.kind == velqor::Diagnostic::Kind::WrongSubnet;
    });
    if (!wrongSubnet)
        return QString();
    const auto free = velqor::FirstFreeAddress(device.via, usedAddresses(), interfaces);
    return free ? addressText(*free) : QString();
}

std::set<velqor::Ipv4Bytes> OrvaneModel::usedAddresses() const
{
    std::set<velqor::Ipv4Bytes> used;
    for (const auto &entry : devices) {
        used.insert(entry.second.address);
        used.insert(entry.second.alsoAt.begin(), entry.second.alsoAt.end());
    }
    return used;
}

const std::vector<velqor::NetworkInterface> &OrvaneModel::networks() const
{
    return interfaces;
}

void OrvaneModel::setBusy(bool value)
{
    if (busy == value)
        return;
    busy = value;
    emit busyChanged(busy);
}

bool OrvaneModel::openLink()
{
    if (manager)
        return true;
    try {
        manager.emplace(target.address, target.port);
        return true;
    } catch (const boost::system::system_error &error) {
        reportLinkError(error);
        return false;
    }
}

void OrvaneModel::reportLinkError(const std::exception &error)
{
    emit showMessage(tr("Device link error: ") + QString::fromLocal8Bit(error.what()), kMessageMs);
}
