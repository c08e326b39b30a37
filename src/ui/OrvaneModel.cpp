#include "OrvaneModel.h"

#include <boost/system/system_error.hpp>

namespace {

constexpr int kColumnCount = 2;
constexpr int kSerialColumn = 0;
constexpr int kAddressColumn = 1;
constexpr std::uint32_t kSearchMs = 1500;
constexpr int kMessageMs = 5000;

// Serials are arbitrary bytes: Latin-1 maps each one to a character and back.
QString fromBytes(const std::string &bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string toBytes(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

OrvaneModel::OrvaneModel(QObject *parent) : QAbstractTableModel(parent)
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
    if (role != Qt::DisplayRole || index.row() < 0 || index.row() >= count())
        return QVariant();
    const auto entry = rows[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case kSerialColumn:
        return fromBytes(entry->first);
    case kAddressColumn:
        return fromBytes(entry->second);
    default:
        return QVariant();
    }
}

bool OrvaneModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || index.column() != kAddressColumn || index.row() < 0 || index.row() >= count())
        return true;
    const QString serial = this->index(index.row(), kSerialColumn).data(Qt::DisplayRole).toString();
    const QString address = value.toString();
    if (address.isEmpty())
        return true;

    if (!openLink()) {
        emit editCompleted(address);
        return true;
    }
    int code = velqor::ResultOk;
    try {
        code = manager->SetAddress(toBytes(serial), toBytes(address));
    } catch (const boost::system::system_error &error) {
        reportLinkError(error);
        emit editCompleted(address);
        return true;
    }
    refresh();

    // Without an answer the change counts only when the device is found there.
    QString text;
    const auto found = devices.find(toBytes(serial));
    const bool foundThere = found != devices.end() && found->second == toBytes(address);
    if (code == velqor::ResultOk || (code == velqor::ResultTimeout && foundThere))
        text = tr("IP updated succesfully");
    else if (code == velqor::ResultTimeout)
        text = tr("IP change not confirmed");
    else if (code == velqor::ResultSeveralAddresses)
        text = tr("Serial answered from several addresses");
    else
        text = tr("Could not change IP");
    emit showMessage(text, kMessageMs);
    emit editCompleted(address);
    return true;
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
    if (index.column() == kAddressColumn)
        return Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

int OrvaneModel::refresh()
{
    velqor::DeviceMap found;
    dropped = 0;
    linkFailed = !openLink();
    if (!linkFailed) {
        try {
            manager->Clear();
            manager->Search(kSearchMs, true, nullptr);
            found = manager->GetDevices();
            dropped = manager->GetDroppedCount();
        } catch (const boost::system::system_error &error) {
            linkFailed = true;
            reportLinkError(error);
        }
    }
    devices.swap(found);
    rows.clear();
    rows.reserve(devices.size());
    for (auto entry = devices.cbegin(); entry != devices.cend(); ++entry)
        rows.push_back(entry);
    emit layoutChanged();
    return count();
}

int OrvaneModel::count() const
{
    return static_cast<int>(devices.size());
}

QString OrvaneModel::addressOf(const QString &serial) const
{
    const auto found = devices.find(toBytes(serial));
    return found == devices.end() ? QString() : fromBytes(found->second);
}

std::size_t OrvaneModel::droppedCount() const
{
    return dropped;
}

bool OrvaneModel::searchFailed() const
{
    return linkFailed;
}

bool OrvaneModel::openLink()
{
    if (manager)
        return true;
    try {
        manager.emplace();
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
