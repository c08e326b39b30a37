#ifndef DEVICETABLEPROXY_H
#define DEVICETABLEPROXY_H

#include <QAbstractProxyModel>

#include <utility>
#include <vector>

class OrvaneModel;

// What the table shows of the device model: its two columns and a third,
// "Network"; a warning icon and tooltip on the address of a device whose
// addressing is wrong; stale rows greyed; sorted by any column and filtered
// by text. Every cell maps to a cell of its device's row, so the selection
// and the current cell stay on their devices whatever the rows do. Rows
// that come or go cost what they change: new rows are placed into the
// order, not sorted anew with the others.
class DeviceTableProxy : public QAbstractProxyModel {
    Q_OBJECT

public:
    static constexpr int NetworkColumn = 2;

    explicit DeviceTableProxy(OrvaneModel *devices, QObject *parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    // The network cell maps to its device's serial cell.
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Addresses by number, networks by interface and address; unsorted is
    // the device model's own order. Ties go by the devices' identity.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Shows the rows that hold text in any column, ignoring case; all for
    // an empty text.
    void setFilterText(const QString &text);
    // The device model's row of a table row; -1 for none.
    int sourceRow(int row) const;
    // The table row of a device model's row; -1 when it is filtered out.
    int rowOf(int sourceRow) const;

private:
    bool accepts(int sourceRow) const;
    // Whether the first device comes before the second in the table.
    bool before(int sourceA, int sourceB) const;
    void rebuildPositions();
    // Places source rows that the table does not show yet, in its order.
    void place(std::vector<int> added);
    // Filters and sorts every row anew.
    void placeAll();
    // A layout change: the persistent cells are remembered by their device
    // model's row, and found again by it.
    void beginLayout();
    void endLayout();

    void onRowsInserted(const QModelIndex &parent, int first, int last);
    void onRowsAboutToBeRemoved(const QModelIndex &parent, int first, int last);
    void onRowsRemoved(const QModelIndex &parent, int first, int last);
    void onLayoutAboutToBeChanged();
    void onLayoutChanged();
    void onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles);
    void onModelAboutToBeReset();
    void onModelReset();

    OrvaneModel *devices;
    std::vector<int> table; // table row to source row
    std::vector<int> positions; // source row to table row, -1 when filtered out
    int sortColumn = -1;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    QString filterText;
    // Within a layout change: the persistent cells, and each one's source
    // row (-1 once gone) and column.
    QModelIndexList layoutCells;
    std::vector<std::pair<int, int>> layoutSources;
    // The rows of a removal from the source make one layout change.
    bool removingAsLayout = false;
};

#endif // DEVICETABLEPROXY_H
