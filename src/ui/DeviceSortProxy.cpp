#include "DeviceSortProxy.h"

#include "DeviceTableProxy.h"
#include "OrvaneModel.h"

#include <tuple>

namespace {

constexpr int kSerialColumn = 0;
constexpr int kAddressColumn = 1;

} // namespace

DeviceSortProxy::DeviceSortProxy(const OrvaneModel *devices, QObject *parent)
    : QSortFilterProxyModel(parent), devices(devices)
{
}

void DeviceSortProxy::setFilterText(const QString &text)
{
    if (text == filterText)
        return;
    filterText = text;
    invalidateFilter();
}

bool DeviceSortProxy::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    return filterText.isEmpty() || devices->textAt(sourceRow).contains(filterText, Qt::CaseInsensitive);
}

bool DeviceSortProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const velqor::DeviceDetails &a = devices->detailsAt(left.row());
    const velqor::DeviceDetails &b = devices->detailsAt(right.row());
    switch (left.column()) {
    case kSerialColumn:
        return a.serial < b.serial;
    case kAddressColumn:
        return a.address < b.address;
    case DeviceTableProxy::NetworkColumn:
        return std::tie(a.via.name, a.via.address, a.serial) < std::tie(b.via.name, b.via.address, b.serial);
    default:
        return QSortFilterProxyModel::lessThan(left, right);
    }
}
