#include "OrvaneModel.h"

#include "AddressPlan.h"
#include "AddressRules.h"
#include "Translations.h"

#include <algorithm>

namespace {

constexpr int kColumnCount = 2;

QString addressText(const velqor::Ipv4Bytes &address)
{
    return QString::fromStdString(velqor::FormatAddress(address));
}

// Identity order: by serial, then by link.
int compareIds(const velqor::Serial &serial, const std::string &link, const velqor::DeviceDetails &device)
{
    const int bySerial = serial.Bytes().compare(device.serial.Bytes());
    return bySerial != 0 ? bySerial : link.compare(device.via.name);
}

bool rowBefore(const std::unique_ptr<OrvaneModel::Row> &row, const velqor::DeviceDetails &device)
{
    return compareIds(row->device.serial, row->device.via.name, device) < 0;
}

bool sameDevice(const velqor::DeviceDetails &a, const velqor::DeviceDetails &b)
{
    return compareIds(a.serial, a.via.name, b) == 0;
}

// The first row at or after from that is not before device. Batches come in
// identity order, so the row is usually near: look 1, 2, 4… rows ahead
// before searching the stretch, so a batch as large as the list costs one
// walk, not a binary search per device.
template<typename Iterator> Iterator seek(Iterator from, Iterator end, const velqor::DeviceDetails &device)
{
    std::ptrdiff_t step = 1;
    Iterator low = from;
    while (end - low > step && rowBefore(*(low + step - 1), device)) {
        low += step;
        step *= 2;
    }
    return std::lower_bound(low, std::min(low + step, end), device, rowBefore);
}

bool sameWarnings(const velqor::DeviceDetails &a, const velqor::DeviceDetails &b)
{
    return std::equal(a.warnings.begin(), a.warnings.end(), b.warnings.begin(), b.warnings.end(),
                      [](const velqor::Diagnostic &x, const velqor::Diagnostic &y) { return x.text == y.text; });
}

} // namespace

OrvaneModel::OrvaneModel(QObject *parent, velqor::LinkTarget target)
    : QAbstractTableModel(parent),
      deviceSession(new DeviceSession(std::move(target), this)),
      idleTexts(new QTimer(this))
{
    idleTexts->setInterval(0);
    connect(idleTexts, &QTimer::timeout, this, &OrvaneModel::prepareTexts);
    connect(deviceSession, &DeviceSession::busyChanged, this, &OrvaneModel::busyChanged);
    connect(deviceSession, &DeviceSession::searchStarted, this, &OrvaneModel::searchStarting);
    connect(deviceSession, &DeviceSession::devicesFound, this, &OrvaneModel::applyFound);
    connect(deviceSession, &DeviceSession::searchProgress, this, &OrvaneModel::searchProgress);
    connect(deviceSession, &DeviceSession::requestDone, this, &OrvaneModel::changeDone);
    connect(deviceSession, &DeviceSession::finished, this, &OrvaneModel::applyResult);
}

OrvaneModel::~OrvaneModel() = default;

int OrvaneModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int OrvaneModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant OrvaneModel::data(const QModelIndex &index, int role) const
{
    if (index.row() < 0 || index.row() >= count() || index.column() < 0 || index.column() >= kColumnCount)
        return QVariant();
    const Row &row = *rows[static_cast<std::size_t>(index.row())];
    const velqor::DeviceDetails &device = row.device;
    switch (role) {
    case Qt::DisplayRole:
        // A serial's spaces at either end are escaped: they would not show.
        return index.column() == OrvaneModel::SerialColumn ? QString::fromStdString(device.serial.Column())
                                                           : addressText(device.address);
    case Qt::ToolTipRole:
        // A long serial is cut short in a narrow column.
        if (index.column() == OrvaneModel::SerialColumn)
            return QString::fromStdString(device.serial.Column() + "\nhex:" + device.serial.Hex());
        return QVariant();
    case StaleRole:
        return row.stale;
    case SerialRole:
        return QByteArray::fromStdString(device.serial.Bytes());
    case LinkRole:
        return QString::fromStdString(device.via.name);
    case AddressRole:
        return quint32(device.address[0]) << 24 | quint32(device.address[1]) << 16 | quint32(device.address[2]) << 8 |
            quint32(device.address[3]);
    case NetworkRole:
        return QString::fromStdString(device.via.Label());
    case WarningsRole:
    case WarningIdsRole: {
        QStringList texts;
        for (const velqor::Diagnostic &warning : device.warnings)
            texts << (role == WarningsRole ? Translations::phrase(warning.phrase)
                                           : QString::fromStdString(warning.Id()));
        return texts;
    }
    default:
        return QVariant();
    }
}

bool OrvaneModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if ((role != Qt::EditRole && role != RequestRole) || index.column() != OrvaneModel::AddressColumn ||
        index.row() < 0 || index.row() >= count())
        return true;
    const QString address = value.toString();
    if (address.isEmpty())
        return true;
    if (role == RequestRole)
        requestMove(rows[static_cast<std::size_t>(index.row())]->device.Id(), address, false);
    else
        moveDevice(index.row(), address, false);
    return true;
}

QVariant OrvaneModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QVariant();
    switch (section) {
    case OrvaneModel::SerialColumn:
        return tr("Serial");
    case OrvaneModel::AddressColumn:
        return tr("IP");
    default:
        return QVariant();
    }
}

Qt::ItemFlags OrvaneModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags; // the root: Qt's model contract
    if (index.column() == OrvaneModel::AddressColumn)
        return Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

int OrvaneModel::refresh()
{
    if (deviceSession->search())
        deviceSession->wait();
    return heardCount();
}

bool OrvaneModel::startRefresh()
{
    return deviceSession->search();
}

void OrvaneModel::moveDevice(int row, const QString &address, bool force)
{
    if (row < 0 || row >= count())
        return;
    requestMove(rows[static_cast<std::size_t>(row)]->device.Id(), address, force);
    deviceSession->wait();
}

void OrvaneModel::requestMove(const velqor::DeviceId &device, const QString &address, bool force)
{
    deviceSession->change(requestFor(device, address, force));
}

bool OrvaneModel::startBatch(std::vector<DeviceSession::Request> requests)
{
    return deviceSession->batch(std::move(requests));
}

DeviceSession *OrvaneModel::session() const
{
    return deviceSession;
}

DeviceSession::Request OrvaneModel::requestFor(const velqor::DeviceId &device, const QString &address, bool force) const
{
    return {device, velqor::ParseDottedAddress(address.toStdString()), force, address};
}

void OrvaneModel::searchStarting()
{
    for (const RowPtr &row : rows)
        row->stale = true;
    if (!rows.empty())
        emit staleChanged();
}

void OrvaneModel::applyFound(const std::vector<velqor::DeviceDetails> &found)
{
    std::vector<const velqor::DeviceDetails *> added;
    // That a row answered changes only how it looks: one staleChanged for
    // all, not a data change that sorted views would re-sort for. Rows
    // whose content changed are announced in runs.
    bool answered = false;
    int firstChanged = -1;
    int lastChanged = -1;
    auto announce = [&] {
        if (firstChanged >= 0)
            emit dataChanged(index(firstChanged, 0), index(lastChanged, kColumnCount - 1));
        firstChanged = -1;
    };
    // Both lists are in serial order: each row is looked for from the last.
    auto from = rows.begin();
    for (const velqor::DeviceDetails &device : found) {
        from = seek(from, rows.end(), device);
        if (from == rows.end() || !sameDevice((*from)->device, device)) {
            added.push_back(&device);
            continue;
        }
        Row &known = **from;
        const int row = static_cast<int>(from - rows.begin());
        const bool changed = known.device.address != device.address || known.device.via != device.via ||
            known.device.alsoAt != device.alsoAt || !sameWarnings(known.device, device);
        answered = answered || (known.stale && device.heard);
        known.stale = !device.heard;
        if (!changed)
            continue;
        known.device = device;
        known.text.clear();
        if (firstChanged >= 0 && row == lastChanged + 1) {
            lastChanged = row;
        } else {
            announce();
            firstChanged = lastChanged = row;
        }
    }
    announce();
    if (answered)
        emit staleChanged();
    insertRows(added);
}

void OrvaneModel::insertRows(const std::vector<const velqor::DeviceDetails *> &added)
{
    if (added.empty())
        return;
    // Where each new device goes, in the rows as they are now.
    std::vector<std::size_t> positions;
    positions.reserve(added.size());
    auto from = rows.begin();
    for (const velqor::DeviceDetails *device : added) {
        from = seek(from, rows.end(), *device);
        positions.push_back(static_cast<std::size_t>(from - rows.begin()));
    }
    std::size_t runs = 1;
    for (std::size_t i = 1; i < positions.size(); ++i)
        runs += positions[i] != positions[i - 1] ? 1 : 0;

    if (runs <= OrvaneModel::MaxRuns) {
        // From the bottom up, so that the positions above stay right.
        for (std::size_t last = added.size(); last > 0;) {
            std::size_t first = last - 1;
            while (first > 0 && positions[first - 1] == positions[last - 1])
                --first;
            const int at = static_cast<int>(positions[first]);
            reshaping = true;
            beginInsertRows(QModelIndex(), at, at + static_cast<int>(last - first) - 1);
            std::vector<RowPtr> run;
            run.reserve(last - first);
            for (std::size_t i = first; i < last; ++i)
                run.push_back(std::make_unique<Row>(Row {*added[i], !added[i]->heard, {}}));
            rows.insert(rows.begin() + at, std::make_move_iterator(run.begin()), std::make_move_iterator(run.end()));
            endInsertRows();
            reshaping = false;
            last = first;
        }
        return;
    }

    // Many scattered runs: one merge and one layout change.
    reshaping = true;
    emit layoutAboutToBeChanged();
    std::vector<RowPtr> merged;
    merged.reserve(rows.size() + added.size());
    remap.assign(rows.size(), -1);
    std::size_t next = 0;
    for (std::size_t old = 0; old <= rows.size(); ++old) {
        while (next < added.size() && positions[next] == old) {
            merged.push_back(std::make_unique<Row>(Row {*added[next], !added[next]->heard, {}}));
            ++next;
        }
        if (old < rows.size()) {
            remap[old] = static_cast<int>(merged.size());
            merged.push_back(std::move(rows[old]));
        }
    }
    rows.swap(merged);
    movePersistentRows();
    emit layoutChanged();
    reshaping = false;
}

void OrvaneModel::movePersistentRows()
{
    // The selection and the current row stay on their devices.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before) {
        const int row = remap[static_cast<std::size_t>(index.row())];
        after << (row < 0 ? QModelIndex() : createIndex(row, index.column()));
    }
    changePersistentIndexList(before, after);
}

bool OrvaneModel::isReshaping() const
{
    return reshaping;
}

const std::vector<int> &OrvaneModel::layoutRemap() const
{
    return remap;
}

void OrvaneModel::removeRowsNotIn(const std::vector<velqor::DeviceDetails> &heard)
{
    // Both in serial order: one walk marks the rows that stay.
    std::vector<bool> keep(rows.size(), false);
    std::size_t h = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const velqor::DeviceDetails &row = rows[r]->device;
        while (h < heard.size() && compareIds(heard[h].serial, heard[h].via.name, row) < 0)
            ++h;
        keep[r] = h < heard.size() && sameDevice(heard[h], row);
    }
    std::size_t runs = 0;
    for (std::size_t r = 0; r < rows.size(); ++r)
        runs += !keep[r] && (r == 0 || keep[r - 1]) ? 1 : 0;
    if (runs == 0)
        return;

    if (runs <= OrvaneModel::MaxRuns) {
        for (int row = count() - 1; row >= 0;) {
            if (keep[static_cast<std::size_t>(row)]) {
                --row;
                continue;
            }
            int top = row;
            while (top > 0 && !keep[static_cast<std::size_t>(top - 1)])
                --top;
            reshaping = true;
            beginRemoveRows(QModelIndex(), top, row);
            rows.erase(rows.begin() + top, rows.begin() + row + 1);
            endRemoveRows();
            reshaping = false;
            row = top - 1;
        }
        return;
    }

    reshaping = true;
    emit layoutAboutToBeChanged();
    remap.assign(rows.size(), -1);
    std::vector<RowPtr> kept;
    kept.reserve(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (keep[r]) {
            remap[r] = static_cast<int>(kept.size());
            kept.push_back(std::move(rows[r]));
        }
    }
    rows.swap(kept);
    movePersistentRows();
    emit layoutChanged();
    reshaping = false;
}

void OrvaneModel::applySearch(const DeviceSession::SearchResult &result)
{
    dropped = result.dropped;
    linkFailed = !result.linkError.isEmpty();
    if (linkFailed) {
        reportLinkError(result.linkError);
    } else {
        workstation = result.workstation;
        interfaces = result.interfaces;
        facts = result.facts;
    }
    lost = result.lost;
    // The complete list: what answered, and what the session kept, greyed,
    // because answers were lost and it may have been among them.
    applyFound(result.devices);
    removeRowsNotIn(result.devices);
    emit staleChanged();
}

void OrvaneModel::applyResult(const DeviceSession::Result &result)
{
    applySearch(result.search);
    textsFrom = 0;
    idleTexts->start();
    emit refreshed(deviceCount());
    if (result.operation == DeviceSession::Operation::Search)
        emit listRefreshed(heardCount());
    if (result.operation == DeviceSession::Operation::Change && !result.requests.empty())
        reportChange(result);
    emit operationFinished(result);
}

void OrvaneModel::reportChange(const DeviceSession::Result &result)
{
    const DeviceSession::Request &request = result.requests.front();
    const QString &address = request.typed;
    if (result.results.empty()) { // the link failed, and the search says so
        emit editCompleted(address);
        return;
    }
    const velqor::RowResult &moved = result.results.front();
    if (linkFailed && moved.kind == velqor::RowResult::Kind::NotSent &&
        moved.outcome.reason == velqor::NotSentReason::LinkDown) {
        emit editCompleted(address); // the link's error says why
        return;
    }
    if (moved.kind == velqor::RowResult::Kind::NotSent && velqor::Overridable(moved.outcome.reason) && !request.force) {
        emit confirmationNeeded(request.device, address, moved.outcome);
        return;
    }
    // A swap's other device, by its column form.
    const auto other = [&] {
        return result.rows.size() > 1 ? QString::fromStdString(result.rows[1].device.serial.Column()) : QString();
    };
    QString text;
    switch (moved.kind) {
    case velqor::RowResult::Kind::Moved:
    case velqor::RowResult::Kind::AlreadyThere:
        text = tr("IP updated succesfully");
        if (result.results.size() > 1 && result.results[1].kind == velqor::RowResult::Kind::Moved)
            text += tr("; %1 took its place").arg(other());
        if (request.address && velqor::IsLinkLocal(*request.address))
            text += tr("; %1 is link-local: only hosts on the same link reach it").arg(address);
        break;
    case velqor::RowResult::Kind::Failed:
        switch (moved.outcome.kind) {
        case velqor::ChangeOutcome::Kind::Refused:
            text = tr("Could not change IP");
            break;
        case velqor::ChangeOutcome::Kind::AcknowledgedNotMoved:
            text = tr("IP change not confirmed: the device acknowledged, but still answers at its old address");
            break;
        default:
            text = tr("IP change not confirmed");
            break;
        }
        break;
    case velqor::RowResult::Kind::NotRun:
        // The device of a swap waited for the other, which did not move.
        text = tr("Could not change IP: %1 did not move").arg(other());
        if (moved.movedBack)
            text += tr("; the device is back at its old address");
        break;
    case velqor::RowResult::Kind::Stranded:
        // A swap that could not finish, nor safely go back.
        text = tr("Could not change IP: the device was left at %1; orvane-cli apply --resume takes it on")
                   .arg(moved.endedAt ? addressText(*moved.endedAt) : QString());
        break;
    case velqor::RowResult::Kind::NotSent:
        switch (moved.outcome.reason) {
        case velqor::NotSentReason::SeveralAddresses:
            text = tr("Serial answered from several addresses");
            break;
        case velqor::NotSentReason::NotAssignable:
        case velqor::NotSentReason::Busy:
            text = tr("Could not change IP");
            break;
        default:
            // An address that would cut the device or the workstation off.
            text = tr("Could not change IP: %1").arg(Translations::phrase(velqor::NotSentPhrase(moved.outcome)));
            break;
        }
        break;
    }
    emit showMessage(text, OrvaneModel::MessageMs);
    emit editCompleted(address);
}

int OrvaneModel::count() const
{
    return static_cast<int>(rows.size());
}

int OrvaneModel::deviceCount() const
{
    std::size_t total = 0;
    for (const RowPtr &row : rows)
        total += row->device.DeviceCount();
    return static_cast<int>(total);
}

int OrvaneModel::rowOf(const velqor::DeviceId &device) const
{
    velqor::DeviceDetails key;
    key.serial = device.serial;
    key.via.name = device.link;
    const auto found = std::lower_bound(rows.begin(), rows.end(), key, rowBefore);
    return found == rows.end() || !sameDevice((*found)->device, key) ? -1 : static_cast<int>(found - rows.begin());
}

bool OrvaneModel::sharesSerial(int row) const
{
    if (row < 0 || row >= count())
        return false;
    const velqor::Serial &serial = rows[static_cast<std::size_t>(row)]->device.serial;
    return (row > 0 && rows[static_cast<std::size_t>(row) - 1]->device.serial == serial) ||
        (row + 1 < count() && rows[static_cast<std::size_t>(row) + 1]->device.serial == serial);
}

QString OrvaneModel::addressOf(const QString &serial) const
{
    // The serial's first row: the launcher's contract names a serial alone.
    const std::optional<velqor::Serial> bytes = velqor::Serial::FromText(serial.toStdString());
    if (!bytes)
        return QString();
    velqor::DeviceDetails key;
    key.serial = *bytes;
    const auto found = std::lower_bound(rows.begin(), rows.end(), key, rowBefore);
    return found == rows.end() || (*found)->device.serial != *bytes ? QString()
                                                                    : addressAt(static_cast<int>(found - rows.begin()));
}

QString OrvaneModel::addressAt(int row) const
{
    if (row < 0 || row >= count())
        return QString();
    return addressText(rows[static_cast<std::size_t>(row)]->device.address);
}

bool OrvaneModel::searchFailed() const
{
    return linkFailed;
}

std::uint64_t OrvaneModel::lostCount() const
{
    return lost;
}

std::size_t OrvaneModel::droppedCount() const
{
    return dropped;
}

bool OrvaneModel::isBusy() const
{
    return deviceSession->isBusy();
}

const std::vector<velqor::Diagnostic> &OrvaneModel::workstationDiagnostics() const
{
    return workstation;
}

const velqor::DeviceDetails &OrvaneModel::detailsAt(int row) const
{
    static const velqor::DeviceDetails none;
    if (row < 0 || row >= count())
        return none;
    return rows[static_cast<std::size_t>(row)]->device;
}

void OrvaneModel::prepareTexts()
{
    // A few milliseconds a turn of the event loop.
    constexpr std::size_t kRowsPerTurn = 2048;
    const std::size_t end = std::min(rows.size(), textsFrom + kRowsPerTurn);
    for (; textsFrom < end; ++textsFrom)
        textAt(static_cast<int>(textsFrom));
    if (textsFrom >= rows.size() || deviceSession->isBusy())
        idleTexts->stop();
}

const QString &OrvaneModel::textAt(int row) const
{
    static const QString none;
    if (row < 0 || row >= count())
        return none;
    const Row &shown = *rows[static_cast<std::size_t>(row)];
    if (shown.text.isEmpty()) {
        shown.text =
            QString::fromStdString(shown.device.serial.Column() + '\n' + velqor::FormatAddress(shown.device.address) +
                                   '\n' + shown.device.via.Label());
    }
    return shown.text;
}

QString OrvaneModel::moveIntoAddress(int row) const
{
    const velqor::DeviceDetails &device = detailsAt(row);
    const bool wrongSubnet = std::any_of(device.warnings.begin(), device.warnings.end(), [](const auto &warning) {
        return warning.kind == velqor::Diagnostic::Kind::WrongSubnet;
    });
    if (!wrongSubnet)
        return QString();
    std::set<velqor::Ipv4Bytes> used = usedAddresses(device.via.name);
    const auto gateways = facts.gateways.find(device.via.name);
    if (gateways != facts.gateways.end())
        used.insert(gateways->second.begin(), gateways->second.end());
    const auto free = velqor::FirstFreeAddress(device.via, used, interfaces);
    return free ? addressText(*free) : QString();
}

std::set<velqor::Ipv4Bytes> OrvaneModel::usedAddresses(const std::string &link) const
{
    std::set<velqor::Ipv4Bytes> used;
    for (const RowPtr &row : rows) {
        if (row->device.via.name != link)
            continue;
        used.insert(row->device.address);
        used.insert(row->device.alsoAt.begin(), row->device.alsoAt.end());
    }
    return used;
}

const std::vector<velqor::NetworkInterface> &OrvaneModel::networks() const
{
    return interfaces;
}

const velqor::AddressFacts &OrvaneModel::addressFacts() const
{
    return facts;
}

int OrvaneModel::heardCount() const
{
    std::size_t heard = 0;
    for (const RowPtr &row : rows)
        heard += row->stale ? 0 : row->device.DeviceCount();
    return static_cast<int>(heard);
}

void OrvaneModel::reportLinkError(const QString &error)
{
    emit showMessage(tr("Device link error: %1").arg(error), OrvaneModel::MessageMs);
}
