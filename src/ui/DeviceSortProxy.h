#ifndef DEVICESORTPROXY_H
#define DEVICESORTPROXY_H

#include <QSortFilterProxyModel>

class OrvaneModel;

// Sorts and filters the table without going through item data: it compares
// the devices' own values (serial bytes, address bytes, interface) and
// searches the model's kept row texts, so that tens of thousands of rows
// sort and filter within a few frames.
class DeviceSortProxy : public QSortFilterProxyModel {
    Q_OBJECT

public:
    // source: the table's model over devices, whose rows are devices' rows.
    DeviceSortProxy(const OrvaneModel *devices, QObject *parent = nullptr);

    // Shows the rows that hold text in any column, ignoring case; all for
    // an empty text.
    void setFilterText(const QString &text);

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    const OrvaneModel *devices;
    QString filterText;
};

#endif // DEVICESORTPROXY_H
