#include "DeviceTableProxy.h"

#include "OrvaneModel.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>

namespace {

constexpr int kAddressColumn = 1;

} // namespace

void DeviceTableProxy::setSourceModel(QAbstractItemModel *model)
{
    QIdentityProxyModel::setSourceModel(model);
    // The network cell changes with its row.
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles) {
                emit dataChanged(index(topLeft.row(), NetworkColumn), index(bottomRight.row(), NetworkColumn), roles);
            });
}

int DeviceTableProxy::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : NetworkColumn + 1;
}

QModelIndex DeviceTableProxy::index(int row, int column, const QModelIndex &parent) const
{
    // Every cell is a row and a column of the device model's table; made
    // directly, as sorting asks for two cells per comparison.
    if (parent.isValid() || row < 0 || column < 0 || column > NetworkColumn || !sourceModel() ||
        row >= sourceModel()->rowCount())
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex DeviceTableProxy::parent(const QModelIndex &) const
{
    return QModelIndex();
}

QModelIndex DeviceTableProxy::sibling(int row, int column, const QModelIndex &) const
{
    return index(row, column);
}

QModelIndex DeviceTableProxy::mapToSource(const QModelIndex &proxyIndex) const
{
    // The network cell has no cell of its own in the device model.
    if (!proxyIndex.isValid() || !sourceModel() || proxyIndex.column() == NetworkColumn)
        return QModelIndex();
    return sourceModel()->index(proxyIndex.row(), proxyIndex.column());
}

QModelIndex DeviceTableProxy::mapFromSource(const QModelIndex &sourceIndex) const
{
    return sourceIndex.isValid() ? createIndex(sourceIndex.row(), sourceIndex.column()) : QModelIndex();
}

QVariant DeviceTableProxy::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !sourceModel())
        return QVariant();
    const QModelIndex serialCell = sourceModel()->index(index.row(), 0);
    const bool stale = serialCell.data(OrvaneModel::StaleRole).toBool();
    if (role == Qt::ForegroundRole && stale)
        return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    if (role == Qt::ToolTipRole && stale && index.column() != kAddressColumn)
        return tr("not heard in the last search");
    if (index.column() == NetworkColumn) {
        if (role == Qt::DisplayRole || role == SortRole)
            return serialCell.data(OrvaneModel::NetworkRole);
        return QVariant();
    }
    if (index.column() == kAddressColumn) {
        const QStringList warnings = serialCell.data(OrvaneModel::WarningsRole).toStringList();
        if (role == Qt::DecorationRole && !warnings.isEmpty())
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        if (role == Qt::ToolTipRole && !warnings.isEmpty())
            return warnings.join(QLatin1Char('\n'));
        if (role == SortRole)
            return serialCell.data(OrvaneModel::AddressRole);
    }
    if (role == SortRole)
        return QIdentityProxyModel::data(index, Qt::DisplayRole);
    return QIdentityProxyModel::data(index, role);
}

QVariant DeviceTableProxy::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == NetworkColumn && orientation == Qt::Horizontal)
        return role == Qt::DisplayRole ? QVariant(tr("Network")) : QVariant();
    return QIdentityProxyModel::headerData(section, orientation, role);
}

Qt::ItemFlags DeviceTableProxy::flags(const QModelIndex &index) const
{
    if (index.isValid() && index.column() == NetworkColumn)
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    return QIdentityProxyModel::flags(index);
}
