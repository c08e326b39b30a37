#ifndef ORVANEMODEL_H
#define ORVANEMODEL_H

#include "ChangeOutcome.h"
#include "DeviceDetails.h"
#include "DeviceSession.h"
#include "LinkTarget.h"
#include "Serial.h"

#include <QAbstractTableModel>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <memory>
#include <set>
#include <vector>

// The devices found, one row each in serial order (a serial on two links is
// two rows, in link order): serial, then address. Editing an address cell
// asks the device to move there.
//
// Searches and address changes run in the device session, off this thread;
// rows appear and change as devices answer, each batch costing what changed.
// A device listed before that has not answered the current search yet is
// marked stale until the search ends. refresh() and setData() keep their
// promise to return when their operation is over by waiting for the session.
class OrvaneModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int SerialColumn = 0;
    static constexpr int AddressColumn = 1;
    // How long a status message shows.
    static constexpr int MessageMs = 5000;
    // More separate runs of rows than this that come or go are announced as
    // one layout change: every run costs the views and proxies a pass over
    // the list.
    static constexpr std::size_t MaxRuns = 8;

    // What the presentation layer reads beside the two columns' texts.
    enum Role {
        StaleRole = Qt::UserRole + 1, // bool: listed before, not heard in this search yet
        NetworkRole, // QString: interface and the workstation's address/prefix there
        WarningsRole, // QStringList: the device's diagnostics, as texts
        WarningIdsRole, // QStringList: the same as identifiers
        SerialRole, // QByteArray: the serial's exact bytes
        LinkRole, // QString: the interface it answers on; with the serial, the row's identity
        AddressRole, // quint32: the address as a number, for sorting
        // setData with this role asks for the change and returns at once; an
        // operation under way finishes first.
        RequestRole,
    };

    // One device as the table shows it.
    struct Row {
        velqor::DeviceDetails device;
        bool stale = false; // listed before, not heard in this search yet
        mutable QString text; // textAt's, made when first asked for
    };

    explicit OrvaneModel(QObject *parent = nullptr, velqor::LinkTarget target = {});
    ~OrvaneModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Searches for 1500 ms and returns the number of devices that answered
    // once the search is over (a row whose serial answered from several
    // addresses counts each of them; greyed rows kept from an earlier search
    // do not count).
    int refresh();
    // Starts a search and returns at once; false while another operation runs.
    bool startRefresh();
    // The number of rows.
    int count() const;
    int deviceCount() const;
    // The address of the device with this serial, given in its display form
    // (as column 0 shows it); empty when there is none.
    QString addressOf(const QString &serial) const;
    // The address of the device in this row; empty when there is none.
    QString addressAt(int row) const;
    // The row of the device; -1 when there is none.
    int rowOf(const velqor::DeviceId &device) const;
    // Whether the device's serial answers on several links: its link tells it apart.
    bool sharesSerial(int row) const;
    // While rows come, go or move: a current row or choice that changes now
    // follows the rows, not the user.
    bool isReshaping() const;
    // During a layout change (between layoutAboutToBeChanged and the end of
    // layoutChanged): where each row before it is now, -1 for a row that went.
    const std::vector<int> &layoutRemap() const;
    // Whether the last search failed on the device link; showMessage has said
    // why. A link that could not be opened is tried again by every search.
    bool searchFailed() const;
    // Devices that answered the last search but did not fit the list.
    std::size_t droppedCount() const;
    // Answers the last search lost before they were read; its rows that did
    // not answer stayed, greyed.
    std::uint64_t lostCount() const;
    // An operation is running.
    bool isBusy() const;
    // What is wrong with the workstation's networks, as found by the last search.
    const std::vector<velqor::Diagnostic> &workstationDiagnostics() const;
    // Everything known of the device in this row.
    const velqor::DeviceDetails &detailsAt(int row) const;
    // What the row shows (serial, address, network), one line each, kept
    // until the row changes: filtering reads every row at each key press.
    const QString &textAt(int row) const;
    // Where a device on a wrong subnet could go: the first free address of the
    // network it answered on; empty when it is not on a wrong subnet.
    QString moveIntoAddress(int row) const;
    // Every address a listed device of the link answers from (greyed ones too).
    std::set<velqor::Ipv4Bytes> usedAddresses(const std::string &link) const;
    // The workstation's networks as of the last search.
    const std::vector<velqor::NetworkInterface> &networks() const;
    // The workstation's addresses and its links' gateways, as of the last search.
    const velqor::AddressFacts &addressFacts() const;
    // How many of the rows answered the last search, and how many are kept
    // from an earlier one without having answered it.
    int heardCount() const;

    // Asks the device to move, then searches, reports the outcome through
    // showMessage and returns when that is over. An address that another
    // listed device holds is not sent unless force is set; the model asks
    // with confirmationNeeded instead.
    void moveDevice(int row, const QString &address, bool force);
    // The same, returning at once; queued behind an operation under way.
    void requestMove(const velqor::DeviceId &device, const QString &address, bool force);
    // Moves several devices one after another, then searches once; false
    // while another operation runs. Reported by changeDone and operationFinished.
    bool startBatch(std::vector<DeviceSession::Request> requests);
    DeviceSession *session() const;

signals:
    void editCompleted(const QString &address);
    void showMessage(const QString &message, int delay);
    // An operation starts or ends.
    void busyChanged(bool busy);
    // A search has run elapsedMs of its totalMs.
    void searchProgress(int elapsedMs, int totalMs);
    // Rows became stale (a search started) or fresh (they answered): only
    // StaleRole changed, for rows that stayed where they were.
    void staleChanged();
    // A search is over and the rows show its result (also after a change).
    void refreshed(int count);
    // A search of its own (Refresh), not one after a change, is over: count
    // devices answered it.
    void listRefreshed(int count);
    // The device was not moved onto address for a reason that force
    // overrides (another device answers from it: force swaps the two;
    // another host answers for it; it is outside the device's networks):
    // requestMove with force moves it anyway.
    void confirmationNeeded(const velqor::DeviceId &device, const QString &address,
                            const velqor::ChangeOutcome &outcome);
    // One device of a batch is done.
    void changeDone(int index, const velqor::RowResult &result);
    // An operation is over and the rows show the search that ended it.
    void operationFinished(const DeviceSession::Result &result);

private:
    // Rows move as pointers when a batch is merged in.
    using RowPtr = std::unique_ptr<Row>;

    DeviceSession::Request requestFor(const velqor::DeviceId &device, const QString &address, bool force) const;
    void searchStarting();
    // Takes in what a search found so far, in identity order: O(n + k).
    void applyFound(const std::vector<velqor::DeviceDetails> &found);
    // The search is over: its complete list; rows that did not answer go.
    void applySearch(const DeviceSession::SearchResult &result);
    void applyResult(const DeviceSession::Result &result);
    void insertRows(const std::vector<const velqor::DeviceDetails *> &added);
    void removeRowsNotIn(const std::vector<velqor::DeviceDetails> &heard);
    // Within a layout change: the row of every persistent index moves to
    // remap[row], or goes for a row of -1.
    void movePersistentRows();
    void reportChange(const DeviceSession::Result &result);
    void reportLinkError(const QString &error);
    // Makes the texts of some more rows while the window is idle, so that
    // the first key press in the filter does not make them all.
    void prepareTexts();

    std::vector<RowPtr> rows;
    std::vector<velqor::Diagnostic> workstation;
    std::vector<velqor::NetworkInterface> interfaces;
    velqor::AddressFacts facts;
    DeviceSession *deviceSession;
    QTimer *idleTexts;
    std::size_t textsFrom = 0;
    bool linkFailed = false;
    bool reshaping = false;
    std::vector<int> remap;
    std::size_t dropped = 0;
    std::uint64_t lost = 0;
};

#endif // ORVANEMODEL_H
