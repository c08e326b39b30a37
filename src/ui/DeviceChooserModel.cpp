#include "DeviceChooserModel.h"

#include "OrvaneModel.h"

DeviceChooserModel::DeviceChooserModel(OrvaneModel *devices, QObject *parent)
    : QIdentityProxyModel(parent), devices(devices)
{
    setSourceModel(devices);
}

QVariant DeviceChooserModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::DisplayRole && index.column() == 0 && devices->sharesSerial(index.row()))
        return QString::fromStdString(devices->detailsAt(index.row()).Id().Text());
    return QIdentityProxyModel::data(index, role);
}
