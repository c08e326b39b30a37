#ifndef ORVANEMODEL_H
#define ORVANEMODEL_H

#include "DeviceMap.h"
#include "OrvaneManager.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

// The devices found by the last search, one row each: serial, then address.
// Editing an address cell asks the device to move there.
class OrvaneModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit OrvaneModel(QObject *parent = nullptr);
    ~OrvaneModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Searches for 1500 ms (blocking), replaces the rows and returns their number.
    int refresh();
    int count() const;
    // The address of the device with this serial; empty when there is none.
    QString addressOf(const QString &serial) const;
    // Devices that answered the last search but did not fit the list.
    std::size_t droppedCount() const;
    // Whether the last search failed on the device link; showMessage has said
    // why. A link that could not be opened is tried again by every search.
    bool searchFailed() const;

signals:
    void editCompleted(const QString &address);
    void showMessage(const QString &message, int delay);

private:
    bool openLink();
    void reportLinkError(const std::exception &error);

    velqor::DeviceMap devices;
    // The entry of each row, so that reading a cell does not step through
    // the map: views and the chooser's size hint read every row.
    std::vector<velqor::DeviceMap::const_iterator> rows;
    std::optional<velqor::OrvaneManager> manager;
    bool linkFailed = false;
    std::size_t dropped = 0;
};

#endif // ORVANEMODEL_H
