#ifndef DEVICETABLEPROXY_H
#define DEVICETABLEPROXY_H

#include <QIdentityProxyModel>

// What the table shows beyond the device model's two columns: a third
// column "Network", a warning icon and tooltip on the address of a device
// whose addressing is wrong, stale rows greyed, and sort keys.
class DeviceTableProxy : public QIdentityProxyModel {
    Q_OBJECT

public:
    // The key the table sorts by: addresses by number, not as text.
    static constexpr int SortRole = Qt::UserRole + 100;
    static constexpr int NetworkColumn = 2;

    using QIdentityProxyModel::QIdentityProxyModel;

    void setSourceModel(QAbstractItemModel *model) override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &index) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
};

#endif // DEVICETABLEPROXY_H
