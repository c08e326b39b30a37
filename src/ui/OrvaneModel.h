#ifndef ORVANEMODEL_H
#define ORVANEMODEL_H

#include "ChangeOutcome.h"
#include "DeviceDetails.h"
#include "LinkTarget.h"
#include "OrvaneManager.h"
#include "Serial.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <vector>

// The devices found by the last search, one row each: serial, then address.
// Editing an address cell asks the device to move there.
//
// Searches and address changes run on a worker thread while the calling
// thread's event loop keeps turning, so the window repaints and answers;
// the calls still return only when their operation is over. Rows appear as
// devices answer; a device listed before that has not answered the current
// search yet is marked stale until the search ends.
class OrvaneModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // What the presentation layer reads beside the two columns' texts.
    enum Role {
        StaleRole = Qt::UserRole + 1, // bool: listed before, not heard in this search yet
        NetworkRole, // QString: interface and the workstation's address/prefix there
        WarningsRole, // QStringList: the device's diagnostics, as texts
        WarningIdsRole, // QStringList: the same as identifiers
        SerialRole, // QByteArray: the serial's exact bytes, the row's identity
        AddressRole, // quint32: the address as a number, for sorting
    };

    explicit OrvaneModel(QObject *parent = nullptr, velqor::LinkTarget target = {});
    ~OrvaneModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Searches for 1500 ms, updates the rows as devices answer and returns
    // the number of devices once the search is over (a row whose serial
    // answered from several addresses counts each of them).
    int refresh();
    // The number of rows.
    int count() const;
    int deviceCount() const;
    // The address of the device with this serial, given in its display form
    // (as column 0 shows it); empty when there is none.
    QString addressOf(const QString &serial) const;
    // The address of the device in this row; empty when there is none.
    QString addressAt(int row) const;
    // The row of the device with this serial; -1 when there is none.
    int rowOf(const velqor::Serial &serial) const;
    // Whether the last search failed on the device link; showMessage has said
    // why. A link that could not be opened is tried again by every search.
    bool searchFailed() const;
    // Devices that answered the last search but did not fit the list.
    std::size_t droppedCount() const;
    // A search or an address change is running.
    bool isBusy() const;
    // What is wrong with the workstation's networks, as found by the last search.
    const std::vector<velqor::Diagnostic> &workstationDiagnostics() const;
    // Everything known of the device in this row.
    velqor::DeviceDetails detailsAt(int row) const;
    // Where a device on a wrong subnet could go: the first free address of the
    // network it answered on; empty when it is not on a wrong subnet.
    QString moveIntoAddress(int row) const;
    // Every address a listed device answers from.
    std::set<velqor::Ipv4Bytes> usedAddresses() const;
    // Asks the device in this row to move, searches again and reports the
    // outcome through showMessage. Returns once that is over. An address that
    // another listed device holds is not sent unless force is set; the model
    // asks with confirmationNeeded instead.
    void moveDevice(int row, const QString &address, bool force);
    // The workstation's networks as of the last search.
    const std::vector<velqor::NetworkInterface> &networks() const;

    // Asks the device to move and returns the outcome; no reload and no
    // message. For batches, which confirm with one search.
    // Throws boost::system::system_error when the device link fails.
    velqor::ChangeOutcome changeAddress(const velqor::Serial &serial, const velqor::Ipv4Bytes &address,
                                        bool force = false);

signals:
    void editCompleted(const QString &address);
    void showMessage(const QString &message, int delay);
    // An operation starts or ends; nothing else may start meanwhile.
    void busyChanged(bool busy);
    // A search has run elapsedMs of its totalMs.
    void searchProgress(int elapsedMs, int totalMs);
    // A refresh is over.
    void refreshed(int count);
    // The device in this row was not moved onto address because another
    // listed device answers from it; moveDevice with force moves it anyway.
    void confirmationNeeded(int row, const QString &address);

private:
    bool openLink();
    void reportLinkError(const std::exception &error);
    void setBusy(bool busy);
    int search();
    // Runs work on a worker thread while this thread's events are served,
    // and returns its result or throws its exception.
    template<typename Work> auto whileResponsive(Work work) -> decltype(work());
    // Takes what the manager has found so far; a final merge also removes
    // the rows that did not answer.
    void merge(const std::vector<velqor::DeviceDetails> &found, bool final);
    void rebuildRows();

    using Devices = std::map<velqor::Serial, velqor::DeviceDetails>;
    Devices devices;
    // The entry of each row, so that reading a cell does not step through
    // the map: views and the chooser's size hint read every row.
    std::vector<Devices::const_iterator> rows;
    std::set<velqor::Serial> stale;
    std::vector<velqor::Diagnostic> workstation;
    std::vector<velqor::NetworkInterface> interfaces;
    velqor::LinkTarget target;
    std::optional<velqor::OrvaneManager> manager;
    bool linkFailed = false;
    bool busy = false;
    bool searching = false;
    QElapsedTimer searchClock;
    std::size_t dropped = 0;
};

#endif // ORVANEMODEL_H
