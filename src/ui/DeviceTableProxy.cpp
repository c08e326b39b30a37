#include "DeviceTableProxy.h"

#include "OrvaneModel.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>

#include <algorithm>
#include <tuple>

namespace {

// Identity order: by serial, then by link.
int compareIds(const velqor::DeviceDetails &a, const velqor::DeviceDetails &b)
{
    const int bySerial = a.serial.Bytes().compare(b.serial.Bytes());
    return bySerial != 0 ? bySerial : a.via.name.compare(b.via.name);
}

} // namespace

DeviceTableProxy::DeviceTableProxy(OrvaneModel *devices, QObject *parent)
    : QAbstractProxyModel(parent), devices(devices)
{
    QAbstractProxyModel::setSourceModel(devices);
    connect(devices, &QAbstractItemModel::rowsInserted, this, &DeviceTableProxy::onRowsInserted);
    connect(devices, &QAbstractItemModel::rowsAboutToBeRemoved, this, &DeviceTableProxy::onRowsAboutToBeRemoved);
    connect(devices, &QAbstractItemModel::rowsRemoved, this, &DeviceTableProxy::onRowsRemoved);
    connect(devices, &QAbstractItemModel::layoutAboutToBeChanged, this, &DeviceTableProxy::onLayoutAboutToBeChanged);
    connect(devices, &QAbstractItemModel::layoutChanged, this, &DeviceTableProxy::onLayoutChanged);
    connect(devices, &QAbstractItemModel::dataChanged, this, &DeviceTableProxy::onDataChanged);
    connect(devices, &QAbstractItemModel::modelAboutToBeReset, this, &DeviceTableProxy::onModelAboutToBeReset);
    connect(devices, &QAbstractItemModel::modelReset, this, &DeviceTableProxy::onModelReset);
    for (int row = 0; row < devices->rowCount(); ++row) {
        if (accepts(row))
            table.push_back(row);
    }
    rebuildPositions();
}

QModelIndex DeviceTableProxy::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || column < 0 || column > NetworkColumn || row >= rowCount())
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

int DeviceTableProxy::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(table.size());
}

int DeviceTableProxy::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : NetworkColumn + 1;
}

bool DeviceTableProxy::hasChildren(const QModelIndex &parent) const
{
    return !parent.isValid() && !table.empty();
}

QModelIndex DeviceTableProxy::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!proxyIndex.isValid() || proxyIndex.row() >= rowCount())
        return QModelIndex();
    const int column = proxyIndex.column() == NetworkColumn ? OrvaneModel::SerialColumn : proxyIndex.column();
    return devices->index(table[static_cast<std::size_t>(proxyIndex.row())], column);
}

QModelIndex DeviceTableProxy::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid())
        return QModelIndex();
    const int row = rowOf(sourceIndex.row());
    return row < 0 ? QModelIndex() : createIndex(row, sourceIndex.column());
}

int DeviceTableProxy::sourceRow(int row) const
{
    return row >= 0 && row < rowCount() ? table[static_cast<std::size_t>(row)] : -1;
}

int DeviceTableProxy::rowOf(int sourceRow) const
{
    return sourceRow >= 0 && sourceRow < static_cast<int>(positions.size())
        ? positions[static_cast<std::size_t>(sourceRow)]
        : -1;
}

QVariant DeviceTableProxy::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const QModelIndex serialCell =
        devices->index(table[static_cast<std::size_t>(index.row())], OrvaneModel::SerialColumn);
    const bool stale = serialCell.data(OrvaneModel::StaleRole).toBool();
    if (role == Qt::ForegroundRole && stale)
        return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    // What the tooltip says, screen readers read as the cell's description.
    const bool described = role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole;
    if (described && stale && index.column() != OrvaneModel::AddressColumn)
        return tr("not heard in the last search");
    if (index.column() == NetworkColumn)
        return role == Qt::DisplayRole ? serialCell.data(OrvaneModel::NetworkRole) : QVariant();
    if (index.column() == OrvaneModel::AddressColumn) {
        const QStringList warnings = serialCell.data(OrvaneModel::WarningsRole).toStringList();
        if (role == Qt::DecorationRole && !warnings.isEmpty())
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        if (described && !warnings.isEmpty())
            return warnings.join(QLatin1Char('\n'));
    }
    return mapToSource(index).data(role);
}

QVariant DeviceTableProxy::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (section == NetworkColumn)
        return role == Qt::DisplayRole ? QVariant(tr("Network")) : QVariant();
    return devices->headerData(section, orientation, role);
}

Qt::ItemFlags DeviceTableProxy::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.column() == NetworkColumn)
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    return mapToSource(index).flags();
}

void DeviceTableProxy::sort(int column, Qt::SortOrder order)
{
    sortColumn = column > NetworkColumn ? -1 : column;
    sortOrder = order;
    beginLayout();
    placeAll();
    endLayout();
}

void DeviceTableProxy::setFilterText(const QString &text)
{
    if (text == filterText)
        return;
    // A text that holds the last one shows some of the rows shown, in the
    // order they have: a key typed costs a pass, not a sort.
    const bool narrower = text.contains(filterText, Qt::CaseInsensitive);
    filterText = text;
    beginLayout();
    if (narrower)
        table.erase(std::remove_if(table.begin(), table.end(), [this](int row) { return !accepts(row); }), table.end());
    else
        placeAll();
    endLayout();
}

bool DeviceTableProxy::accepts(int sourceRow) const
{
    return filterText.isEmpty() || devices->textAt(sourceRow).contains(filterText, Qt::CaseInsensitive);
}

bool DeviceTableProxy::before(int sourceA, int sourceB) const
{
    if (sortColumn < 0)
        return sourceA < sourceB; // the devices' own order
    const bool ascending = sortOrder == Qt::AscendingOrder;
    const velqor::DeviceDetails &a = devices->detailsAt(ascending ? sourceA : sourceB);
    const velqor::DeviceDetails &b = devices->detailsAt(ascending ? sourceB : sourceA);
    switch (sortColumn) {
    case OrvaneModel::AddressColumn:
        if (a.address != b.address)
            return a.address < b.address;
        break;
    case NetworkColumn:
        if (std::tie(a.via.name, a.via.address) != std::tie(b.via.name, b.via.address))
            return std::tie(a.via.name, a.via.address) < std::tie(b.via.name, b.via.address);
        break;
    default:
        break;
    }
    return compareIds(a, b) < 0;
}

void DeviceTableProxy::rebuildPositions()
{
    positions.assign(static_cast<std::size_t>(devices->rowCount()), -1);
    for (std::size_t row = 0; row < table.size(); ++row)
        positions[static_cast<std::size_t>(table[row])] = static_cast<int>(row);
}

void DeviceTableProxy::place(std::vector<int> added)
{
    const auto order = [this](int a, int b) { return before(a, b); };
    std::sort(added.begin(), added.end(), order);
    std::vector<int> merged;
    merged.reserve(table.size() + added.size());
    std::merge(table.begin(), table.end(), added.begin(), added.end(), std::back_inserter(merged), order);
    table.swap(merged);
}

void DeviceTableProxy::placeAll()
{
    table.clear();
    std::vector<int> all;
    for (int row = 0; row < devices->rowCount(); ++row) {
        if (accepts(row))
            all.push_back(row);
    }
    place(std::move(all));
}

void DeviceTableProxy::beginLayout()
{
    emit layoutAboutToBeChanged();
    layoutCells = persistentIndexList();
    layoutSources.clear();
    layoutSources.reserve(static_cast<std::size_t>(layoutCells.size()));
    for (const QModelIndex &cell : layoutCells)
        layoutSources.emplace_back(sourceRow(cell.row()), cell.column());
}

void DeviceTableProxy::endLayout()
{
    rebuildPositions();
    QModelIndexList after;
    after.reserve(layoutCells.size());
    for (const auto &[source, column] : layoutSources) {
        const int row = rowOf(source);
        after << (row < 0 ? QModelIndex() : createIndex(row, column));
    }
    changePersistentIndexList(layoutCells, after);
    layoutCells.clear();
    layoutSources.clear();
    emit layoutChanged();
}

void DeviceTableProxy::onRowsInserted(const QModelIndex &, int first, int last)
{
    const int count = last - first + 1;
    for (int &row : table)
        row += row >= first ? count : 0;
    std::vector<int> added;
    for (int row = first; row <= last; ++row) {
        if (accepts(row))
            added.push_back(row);
    }
    rebuildPositions();
    if (added.empty())
        return;
    const auto order = [this](int a, int b) { return before(a, b); };
    std::sort(added.begin(), added.end(), order);
    // Where each goes among the rows shown now.
    std::vector<int> at;
    at.reserve(added.size());
    for (int row : added)
        at.push_back(static_cast<int>(std::upper_bound(table.begin(), table.end(), row, order) - table.begin()));
    std::size_t runs = 1;
    for (std::size_t i = 1; i < at.size(); ++i)
        runs += at[i] != at[i - 1] ? 1 : 0;
    if (runs > OrvaneModel::MaxRuns) {
        beginLayout();
        place(std::move(added));
        endLayout();
        return;
    }
    // From the bottom up, so that the places above stay right.
    for (std::size_t end = added.size(); end > 0;) {
        std::size_t begin = end - 1;
        while (begin > 0 && at[begin - 1] == at[end - 1])
            --begin;
        const int row = at[begin];
        beginInsertRows(QModelIndex(), row, row + static_cast<int>(end - begin) - 1);
        table.insert(table.begin() + row, added.begin() + static_cast<std::ptrdiff_t>(begin),
                     added.begin() + static_cast<std::ptrdiff_t>(end));
        rebuildPositions();
        endInsertRows();
        end = begin;
    }
}

void DeviceTableProxy::onRowsAboutToBeRemoved(const QModelIndex &, int first, int last)
{
    std::vector<int> gone;
    for (int source = first; source <= last; ++source) {
        const int row = rowOf(source);
        if (row >= 0)
            gone.push_back(row);
    }
    std::sort(gone.begin(), gone.end());
    std::size_t runs = gone.empty() ? 0 : 1;
    for (std::size_t i = 1; i < gone.size(); ++i)
        runs += gone[i] != gone[i - 1] + 1 ? 1 : 0;
    if (runs > OrvaneModel::MaxRuns) {
        // Finished once the rows are gone from the device model.
        removingAsLayout = true;
        beginLayout();
        return;
    }
    for (std::size_t end = gone.size(); end > 0;) {
        std::size_t begin = end - 1;
        while (begin > 0 && gone[begin - 1] == gone[begin] - 1)
            --begin;
        beginRemoveRows(QModelIndex(), gone[begin], gone[end - 1]);
        table.erase(table.begin() + gone[begin], table.begin() + gone[end - 1] + 1);
        rebuildPositions();
        endRemoveRows();
        end = begin;
    }
}

void DeviceTableProxy::onRowsRemoved(const QModelIndex &, int first, int last)
{
    const int count = last - first + 1;
    const auto shifted = [&](int source) { return source < first ? source : source > last ? source - count : -1; };
    table.erase(std::remove_if(table.begin(), table.end(), [&](int row) { return shifted(row) < 0; }), table.end());
    for (int &row : table)
        row = shifted(row);
    if (removingAsLayout) {
        removingAsLayout = false;
        for (auto &source : layoutSources)
            source.first = source.first < 0 ? -1 : shifted(source.first);
        endLayout();
        return;
    }
    rebuildPositions();
}

void DeviceTableProxy::onLayoutAboutToBeChanged()
{
    beginLayout();
}

void DeviceTableProxy::onLayoutChanged()
{
    // The device model says where each of its rows went.
    const std::vector<int> &moved = devices->layoutRemap();
    const auto remapped = [&](int source) {
        return source >= 0 && source < static_cast<int>(moved.size()) ? moved[static_cast<std::size_t>(source)] : -1;
    };
    std::vector<bool> shown(static_cast<std::size_t>(devices->rowCount()), false);
    std::vector<int> kept;
    kept.reserve(table.size());
    for (int row : table) {
        const int now = remapped(row);
        if (now >= 0) {
            kept.push_back(now);
            shown[static_cast<std::size_t>(now)] = true;
        }
    }
    // The rows keep their order among themselves: only new ones are placed.
    table.swap(kept);
    std::vector<int> added;
    for (int row = 0; row < devices->rowCount(); ++row) {
        if (!shown[static_cast<std::size_t>(row)] && accepts(row))
            added.push_back(row);
    }
    place(std::move(added));
    for (auto &source : layoutSources)
        source.first = remapped(source.first);
    endLayout();
}

void DeviceTableProxy::onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                     const QList<int> &roles)
{
    // A row whose key or filter text changed may have to move, or come or go.
    std::vector<int> misplaced;
    for (int source = topLeft.row(); source <= bottomRight.row(); ++source) {
        const int row = rowOf(source);
        if ((row >= 0) != accepts(source)) {
            misplaced.push_back(source);
            continue;
        }
        if (row < 0 || sortColumn < 0)
            continue;
        const bool afterPrevious = row == 0 || before(table[static_cast<std::size_t>(row) - 1], source);
        const bool beforeNext = row + 1 >= rowCount() || before(source, table[static_cast<std::size_t>(row) + 1]);
        if (!afterPrevious || !beforeNext)
            misplaced.push_back(source);
    }
    if (!misplaced.empty()) {
        beginLayout();
        std::vector<bool> moving(positions.size(), false);
        for (int source : misplaced)
            moving[static_cast<std::size_t>(source)] = true;
        table.erase(std::remove_if(table.begin(), table.end(),
                                   [&](int source) { return moving[static_cast<std::size_t>(source)]; }),
                    table.end());
        std::vector<int> back;
        for (int source : misplaced) {
            if (accepts(source))
                back.push_back(source);
        }
        place(std::move(back));
        endLayout();
    }
    int top = rowCount();
    int bottom = -1;
    for (int source = topLeft.row(); source <= bottomRight.row(); ++source) {
        const int row = rowOf(source);
        if (row >= 0) {
            top = std::min(top, row);
            bottom = std::max(bottom, row);
        }
    }
    if (bottom >= 0)
        emit dataChanged(index(top, 0), index(bottom, NetworkColumn), roles);
}

void DeviceTableProxy::onModelAboutToBeReset()
{
    beginResetModel();
}

void DeviceTableProxy::onModelReset()
{
    placeAll();
    rebuildPositions();
    endResetModel();
}
