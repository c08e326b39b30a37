#include "MainWindow.h"

#include "AddressDelegate.h"
#include "AssignDialog.h"
#include "ChooserStyle.h"
#include "Csv.h"
#include "DetailsDock.h"
#include "DeviceChooserModel.h"
#include "DeviceTableProxy.h"
#include "Diagnostic.h"
#include "HistoryDock.h"
#include "Journal.h"
#include "LinkLock.h"
#include "OrvaneLogger.h"
#include "OrvaneModel.h"
#include "PlanDialog.h"
#include "PlanFile.h"
#include "Translations.h"
#include "XlsxWriter.h"
#include "ui_MainWindow.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

namespace {

// The chooser is sized for this many characters, never for its longest serial.
constexpr int kChooserCharacters = 24;
// Room for the window frame and the task bar around the first size.
constexpr int kFrameMargin = 48;
// The table's rows: never fewer shown, and as many in a first window with room.
constexpr int kLeastRows = 3;
constexpr int kRoomyRows = 12;
constexpr int kCompactMargin = 4;

// The text is already safe on a terminal: serials come in their display form.
void writeLine(const QString &text)
{
    std::cout << text.toStdString() << std::endl;
    // A closed output fails this line, not the launch nor the next lines.
    std::cout.clear();
}

// What lies beside the program and is no companion: the program itself, the
// command line, the uninstaller and the installer.
bool isCompanion(const QString &name, const QString &self)
{
    const QString base = QFileInfo(name).completeBaseName().toLower();
    return name != self && base != QLatin1String("orvane-cli") && !base.startsWith(QLatin1String("uninst")) &&
        !base.startsWith(QLatin1String("orvane-manager"));
}

void ignoreBrokenPipes()
{
#ifdef SIGPIPE
    // POSIX: a write to a pipe nobody reads fails instead of ending the program.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // Windows has no such signal: the write just fails.
}

} // namespace

MainWindow::MainWindow(QWidget *parent, const velqor::LinkTarget &target) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    ui->statusBar->showMessage(tr("Ready"));
    ignoreBrokenPipes();
    // Sharp at any scaling: a large rendering beside the form's icon.
    QIcon icon = windowIcon();
    icon.addFile(QStringLiteral(":/orvane-manager-256.png"));
    setWindowIcon(icon);

    model = new OrvaneModel(this, target);
    tableProxy = new DeviceTableProxy(model, this);
    chooserModel = new DeviceChooserModel(model, this);
    QTableView *table = ui->orvanesTableView;
    table->setModel(tableProxy);
    // Columns as wide as the user drags them (remembered), the last one
    // taking what is left; a long serial is cut, never wrapped onto a
    // second line.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setWordWrap(false);
    // The focus shows on the table's frame, even with no current cell to mark.
    table->setStyleSheet(QStringLiteral("QTableView { border: 2px solid palette(mid); }"
                                        " QTableView:focus { border: 2px solid palette(highlight); }"));
    table->setTextElideMode(Qt::ElideMiddle);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto *addressDelegate = new AddressDelegate(table);
    table->setItemDelegateForColumn(OrvaneModel::AddressColumn, addressDelegate);
    connect(addressDelegate, &AddressDelegate::discarded, this, [this](const QModelIndex &index) {
        const int row = sourceRow(index);
        if (row < 0)
            return;
        const QString who = QString::fromStdString(model->detailsAt(row).serial.Column());
        ui->statusBar->showMessage(tr("not sent: press Enter to move %1").arg(who), 4 * OrvaneModel::MessageMs);
    });
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    // Unsorted (the devices' own order) until a header is clicked.
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    connect(ui->filterLineEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        tableProxy->setFilterText(text);
        keepChosenShown();
        showFilterCount();
    });
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(tableProxy, signal, this, &MainWindow::showFilterCount);
    connect(tableProxy, &QAbstractItemModel::modelReset, this, &MainWindow::showFilterCount);
    connect(tableProxy, &QAbstractItemModel::layoutChanged, this, &MainWindow::showFilterCount);
    showFilterCount();

    progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("searchProgressBar"));
    progress->setAccessibleName(tr("Search progress"));
    progress->setAccessibleDescription(tr("How much of the search's time has passed"));
    progress->setMaximumWidth(120);
    progress->setTextVisible(false);
    progress->hide();
    ui->statusBar->addPermanentWidget(progress);
    waitingLabel = new QLabel(this);
    waitingLabel->setObjectName(QStringLiteral("waitingLabel"));
    waitingLabel->setAccessibleName(tr("Waiting changes"));
    waitingLabel->hide();
    ui->statusBar->addPermanentWidget(waitingLabel);
    connect(model->session(), &DeviceSession::waitingChanged, this, &MainWindow::showWaiting);

    // The status bar's line goes after seconds: each message stays, whole,
    // in the history, and the line's tooltip holds the latest.
    // Hidden until asked for (the button, or Ctrl+H), so that the first
    // window still fits a small screen; shown, it is remembered.
    history = new HistoryDock(this);
    addDockWidget(Qt::BottomDockWidgetArea, history);
    history->hide();
    QAction *showHistory = history->toggleViewAction();
    showHistory->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    addAction(showHistory);
    auto *historyButton = new QToolButton(this);
    historyButton->setObjectName(QStringLiteral("historyToolButton"));
    historyButton->setDefaultAction(showHistory);
    historyButton->setAccessibleName(tr("History"));
    historyButton->setAccessibleDescription(tr("Shows or hides every outcome, hint and warning so far (Ctrl+H)"));
    ui->statusBar->addPermanentWidget(historyButton);
    details = new DetailsDock(this);
    addDockWidget(Qt::RightDockWidgetArea, details);
    details->hide();
    QAction *showDetailsAction = details->toggleViewAction();
    showDetailsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    addAction(showDetailsAction);
    auto *detailsButton = new QToolButton(this);
    detailsButton->setObjectName(QStringLiteral("detailsToolButton"));
    detailsButton->setDefaultAction(showDetailsAction);
    detailsButton->setAccessibleName(tr("Details"));
    detailsButton->setAccessibleDescription(tr("Shows or hides the chosen device in full (Ctrl+I)"));
    ui->statusBar->addPermanentWidget(detailsButton);
    connect(details, &QDockWidget::visibilityChanged, this, &MainWindow::showDetails);
    connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &first, const QModelIndex &last) {
        const int row = chosen ? model->rowOf(*chosen) : -1;
        if (row >= first.row() && row <= last.row())
            showDetails();
    });
    connect(ui->statusBar, &QStatusBar::messageChanged, this, [this](const QString &text) {
        if (text.isEmpty())
            return;
        history->add(text);
        ui->statusBar->setToolTip(text);
    });
    // Each change, with its device, where from, where to and how it ended.
    connect(model, &OrvaneModel::operationFinished, this, [this](const DeviceSession::Result &result) {
        if (result.operation != DeviceSession::Operation::Change && result.operation != DeviceSession::Operation::Batch)
            return;
        for (std::size_t row = 0; row < result.rows.size() && row < result.results.size(); ++row) {
            const velqor::MovePlan::Row &moved = result.rows[row];
            history->add(tr("%1: %2 → %3: %4")
                             .arg(QString::fromStdString(moved.device.Text()),
                                  moved.found ? QString::fromStdString(velqor::FormatAddress(moved.found->address))
                                              : tr("(not found)"),
                                  QString::fromStdString(velqor::FormatAddress(moved.to)),
                                  AssignDialog::describe(result.results[row])));
        }
    });
    connect(model, &OrvaneModel::busyChanged, this, &MainWindow::setBusy);
    // Stale rows are drawn grey: a repaint, not a change of any cell.
    connect(model, &OrvaneModel::staleChanged, ui->orvanesTableView->viewport(), qOverload<>(&QWidget::update));
    connect(model, &OrvaneModel::searchProgress, this, [this](int elapsed, int total) {
        progress->setRange(0, total);
        progress->setValue(elapsed);
    });

    // Sized and laid out without reading every row: tens of thousands of
    // devices, or one serial of a thousand bytes, must not stall or widen it.
    ui->orvanesComboBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ui->orvanesComboBox->setMinimumContentsLength(kChooserCharacters);
    ui->orvanesComboBox->view()->setTextElideMode(Qt::ElideMiddle);
    auto *chooserStyle = new ChooserStyle;
    chooserStyle->setParent(ui->orvanesComboBox);
    ui->orvanesComboBox->setStyle(chooserStyle);
    if (auto *list = qobject_cast<QListView *>(ui->orvanesComboBox->view()))
        list->setUniformItemSizes(true);

    // The chosen device and the table's current row are one and the same,
    // as the user moves either; rows that come and go move neither, unless
    // the chosen one goes.
    connect(table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex &current) {
        if (current.isValid() && !model->isReshaping())
            choose(sourceRow(current));
    });
    connect(ui->orvanesComboBox, &QComboBox::activated, this, &MainWindow::choose);
    // After the proxies, which were connected first, have followed.
    connect(model, &QAbstractItemModel::rowsInserted, this, &MainWindow::followChosenDevice);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &MainWindow::followChosenDevice);
    connect(model, &QAbstractItemModel::layoutChanged, this, &MainWindow::followChosenDevice);
    connect(model, &QAbstractItemModel::modelReset, this, &MainWindow::followChosenDevice);

    auto *refreshKey = new QShortcut(QKeySequence::Refresh, this);
    connect(refreshKey, &QShortcut::activated, ui->searchOrvanesPushButton, &QPushButton::click);
    auto *findKey = new QShortcut(QKeySequence::Find, this);
    connect(findKey, &QShortcut::activated, ui->filterLineEdit, [this] { ui->filterLineEdit->setFocus(); });
    auto *copyKey = new QShortcut(QKeySequence::Copy, table, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copyKey, &QShortcut::activated, this, &MainWindow::copySelectedRows);
    for (const QKeySequence &key :
         {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter), QKeySequence(Qt::Key_F2)}) {
        auto *editKey = new QShortcut(key, table, nullptr, nullptr, Qt::WidgetShortcut);
        connect(editKey, &QShortcut::activated, this, &MainWindow::editCurrentAddress);
    }

    QSettings settings;
    fitFirstWindow();
    restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    restoreState(settings.value(QStringLiteral("window/docks")).toByteArray());
    // A session that ends (logout, SIGTERM) quits the application without
    // closing the window: keep what the user arranged all the same.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWindow::saveSettings);
    const QByteArray header = settings.value(QStringLiteral("window/tableHeader")).toByteArray();
    if (!header.isEmpty()) {
        table->horizontalHeader()->restoreState(header);
        table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        // A state saved by an earlier version holds columns that could not be resized.
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
        table->horizontalHeader()->setStretchLastSection(true);
    } else {
        // At first the columns share the table's width alike, once it has one.
        QTimer::singleShot(0, table, [table] {
            QHeaderView *columns = table->horizontalHeader();
            const int width = table->viewport()->width() / std::max(1, columns->count());
            for (int column = 0; column + 1 < columns->count(); ++column)
                columns->resizeSection(column, width);
        });
    }

    // Connected before the first search, so that a device link that cannot be
    // opened at start is reported too.
    connect(model, &OrvaneModel::showMessage, ui->statusBar, &QStatusBar::showMessage);
    connect(model, &OrvaneModel::listRefreshed, this, &MainWindow::showSearchMessage);
    connect(model, &OrvaneModel::operationFinished, this, &MainWindow::showBatchSummary);
    // Asked after the editor has closed, never from inside its commit.
    connect(model, &OrvaneModel::confirmationNeeded, this, &MainWindow::confirmMove, Qt::QueuedConnection);
    auto *quitKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quitKey, &QShortcut::activated, this, &QWidget::close);
    // The program ends: where a run it cut short left a device is said.
    connect(model, &OrvaneModel::operationFinished, this, [this](const DeviceSession::Result &result) {
        if (ending)
            sayWhereLeft(result);
    });
    updateDeviceList();
    fillApplicationList();
    showJournal();
}

void MainWindow::sayWhereLeft(const DeviceSession::Result &result)
{
    for (std::size_t row = 0; row < result.results.size() && row < result.rows.size(); ++row) {
        const velqor::RowResult &ended = result.results[row];
        if (ended.kind != velqor::RowResult::Kind::Stranded)
            continue;
        const std::string line = result.rows[row].device.Text() + " was left at " +
            (ended.endedAt ? velqor::FormatAddress(*ended.endedAt) : std::string("an address not found")) +
            "; orvane-cli apply --resume takes it on";
        std::cerr << "orvane-manager: " << line << std::endl;
        BOOST_LOG_SEV(velqor::my_logger::get(), boost::log::trivial::warning) << "MainWindow: " << line;
    }
}

void MainWindow::showJournal()
{
    // What an earlier run left on a temporary address, unless a program
    // moves it now.
    QStringList stranded;
    const velqor::Journal journal(velqor::Journal::DefaultPath());
    for (const velqor::Journal::Entry &entry : journal.Entries()) {
        if (!velqor::LinkLock::TryAcquire(velqor::LinkLock::DefaultFolder(), {entry.device.link}, "orvane-manager"))
            continue;
        stranded << tr("%1 may be stranded at %2 (it was on its way from %3 to %4)")
                        .arg(QString::fromStdString(entry.device.Text()),
                             QString::fromStdString(velqor::FormatAddress(entry.temporary)),
                             QString::fromStdString(velqor::FormatAddress(entry.original)),
                             QString::fromStdString(velqor::FormatAddress(entry.planned)));
    }
    if (stranded.isEmpty())
        return;
    const QString text = tr("An earlier run did not end: %1; orvane-cli apply --resume takes them where they belong")
                             .arg(stranded.join(QStringLiteral("; ")));
    std::cerr << "orvane-manager: " << text.toStdString() << std::endl;
    ui->statusBar->showMessage(text);
}

MainWindow::~MainWindow()
{
    // An editor open while the window goes hands its text over as the window
    // hides, after this part of it is gone, and a shown details pane says it
    // is hidden: nothing is to be said then.
    if (QAbstractItemDelegate *editing = ui->orvanesTableView->itemDelegateForColumn(OrvaneModel::AddressColumn))
        editing->disconnect(this);
    details->disconnect(this);
    delete ui;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const std::size_t waiting = model->session()->waiting().size();
    if (waiting > 0 && !ending) {
        // A change the user asked for is neither sent nor lost unasked.
        QMessageBox question(QMessageBox::Question, tr("Address changes wait"),
                             tr("%n address change(s) wait for the running operation.", nullptr, int(waiting)),
                             QMessageBox::NoButton, this);
        question.setTextFormat(Qt::PlainText);
        QPushButton *send = question.addButton(tr("&Send and quit"), QMessageBox::AcceptRole);
        QPushButton *discard = question.addButton(tr("&Discard and quit"), QMessageBox::DestructiveRole);
        question.addButton(QMessageBox::Cancel);
        question.setDefaultButton(send);
        question.exec();
        if (question.clickedButton() == send) {
            model->session()->wait();
        } else if (question.clickedButton() == discard) {
            model->session()->discardWaiting();
        } else {
            event->ignore();
            return;
        }
    }
    if (model->isBusy() && model->session()->running() != DeviceSession::Operation::Search) {
        // Ctrl+Q mid-swap: the change under way finishes, what was parked
        // goes back where that is safe, and where each device is is said.
        ending = true;
        model->session()->cancel();
        model->session()->wait();
    }
    saveSettings();
    QMainWindow::closeEvent(event);
}

void MainWindow::endSession()
{
    for (const DeviceSession::Request &dropped : model->session()->discardWaiting()) {
        const std::string line = "discarded the change of " + dropped.device.Text() + " to " +
            dropped.typed.toStdString() + ", which waited: the session ended";
        std::cerr << "orvane-manager: " << line << std::endl;
        BOOST_LOG_SEV(velqor::my_logger::get(), boost::log::trivial::warning) << "MainWindow: " << line;
    }
    ending = true;
    model->session()->abandon();
    if (assignDialog)
        assignDialog->abandon();
    if (planDialog)
        planDialog->abandon();
    // Quits every event loop, an open dialog's too; the session's worker
    // ends first, in the window's teardown.
    if (!model->isBusy()) {
        QCoreApplication::exit(0);
        return;
    }
    connect(model, &OrvaneModel::busyChanged, this, [](bool busy) {
        if (!busy)
            QCoreApplication::exit(0);
    });
}

void MainWindow::showWaiting()
{
    const std::deque<DeviceSession::Request> &waiting = model->session()->waiting();
    waitingLabel->setVisible(!waiting.empty());
    if (waiting.size() == 1)
        waitingLabel->setText(
            tr("waits: %1 to %2").arg(QString::fromStdString(waiting.front().device.Text()), waiting.front().typed));
    else
        waitingLabel->setText(tr("%n change(s) wait", nullptr, int(waiting.size())));
}

void MainWindow::saveSettings()
{
    QSettings settings;
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/tableHeader"), ui->orvanesTableView->horizontalHeader()->saveState());
    settings.setValue(QStringLiteral("window/docks"), saveState());
}

int MainWindow::updateDeviceList()
{
    // The count message comes with the model's listRefreshed.
    const int found = model->refresh();
    ui->orvanesComboBox->setModel(chooserModel);
    ui->orvanesComboBox->setModelColumn(0);
    ui->orvanesComboBox->setPlaceholderText(QString());
    chosen.reset();
    if (model->count() > 0)
        choose(0);
    else
        ui->orvanesComboBox->setCurrentIndex(-1);
    return found;
}

void MainWindow::fitFirstWindow()
{
    ensurePolished(); // the style's sizes, as the window will show them
    QTableView *table = ui->orvanesTableView;
    const int rowHeight = table->verticalHeader()->defaultSectionSize();
    const int tableFrame = 2 * table->frameWidth();
    const auto tableHeight = [&](int rows) {
        return table->horizontalHeader()->sizeHint().height() + rows * rowHeight + tableFrame;
    };
    table->setMinimumHeight(tableHeight(kLeastRows));
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize room = screen->availableGeometry().size() - QSize(kFrameMargin, 2 * kFrameMargin);
    layout()->activate();
    if (minimumSizeHint().height() > room.height()) {
        compactLayout();
        layout()->activate();
    }

    // Each of the three equal columns holds the longest of what it usually shows.
    const QFontMetrics metrics = table->fontMetrics();
    const int padding = 2 * table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 8;
    int column = 0;
    for (const QString &sample : {QStringLiteral("ORV00000000000"), QStringLiteral("255.255.255.255"),
                                  QStringLiteral("enp0s31f6 192.168.100.100/24")})
        column = std::max(column, metrics.horizontalAdvance(sample) + padding);
    column += table->iconSize().width() > 0 ? table->iconSize().width() : 16; // the warning sign
    const int scrollBar = table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table);
    const QMargins outer = centralWidget()->layout()->contentsMargins();
    const QMargins inner = ui->groupBox->layout()->contentsMargins();
    const int groupFrame = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, ui->groupBox);
    const QSize least = minimumSizeHint();
    const QSize wanted(outer.left() + outer.right() + inner.left() + inner.right() + groupFrame + 3 * column +
                           tableFrame + scrollBar,
                       least.height() - table->minimumHeight() + tableHeight(kRoomyRows));
    resize(wanted.expandedTo(least).boundedTo(room.expandedTo(least)));
}

void MainWindow::compactLayout()
{
    const QList<QLayout *> layouts = {centralWidget()->layout(), ui->groupBox->layout(), ui->groupBox_2->layout()};
    for (QLayout *layout : layouts) {
        layout->setContentsMargins(kCompactMargin, kCompactMargin, kCompactMargin, kCompactMargin);
        layout->setSpacing(kCompactMargin / 2);
    }
    // The layouts that hold them take in their new sizes now, not when shown.
    ui->groupBox->updateGeometry();
    ui->groupBox_2->updateGeometry();
    centralWidget()->updateGeometry();
    // It has no actions: its room goes to the table.
    ui->mainToolBar->hide();
}

void MainWindow::showSearchMessage(int found)
{
    if (model->searchFailed())
        return; // the model has said why
    QString message;
    if (found < 1) { // and what may be why
        QString hint;
        for (const velqor::Phrase &phrase : velqor::NothingFoundPhrases(model->networks()))
            hint = hint.isEmpty() ? Translations::phrase(phrase) : tr("%1; %2").arg(hint, Translations::phrase(phrase));
        message = tr("%1 — %2").arg(tr("No Orvanes found"), hint);
    } else {
        message = found == 1 ? tr("%1 Orvane found").arg(found) : tr("%1 Orvanes found").arg(found);
    }
    if (model->droppedCount() > 0)
        message += tr(" (%1 more answered beyond the list's limit)").arg(model->droppedCount());
    const int notHeard = model->deviceCount() - found;
    if (notHeard > 0)
        message += tr("; %1 not heard (kept, greyed)").arg(notHeard);
    if (model->lostCount() > 0)
        message += tr("; %1 answers lost: search again").arg(model->lostCount());
    const auto &warnings = model->workstationDiagnostics();
    if (!warnings.empty() && !workstationWarned) {
        // Said once: it does not change from one search to the next.
        workstationWarned = true;
        message = tr("%1; fix: %2")
                      .arg(Translations::phrase(warnings.front().phrase), QString::fromStdString(warnings.front().fix));
        ui->statusBar->showMessage(message, 4 * OrvaneModel::MessageMs);
    } else {
        ui->statusBar->showMessage(message, OrvaneModel::MessageMs);
    }
}

void MainWindow::showBatchSummary(const DeviceSession::Result &result)
{
    if (result.operation != DeviceSession::Operation::Batch)
        return;
    // How many ended each way, verified, in the order a technician reads them.
    std::map<QString, int> ended;
    QStringList order;
    for (const velqor::RowResult &row : result.results) {
        QString what;
        switch (row.kind) {
        case velqor::RowResult::Kind::Moved:
            what = tr("moved");
            break;
        case velqor::RowResult::Kind::AlreadyThere:
            what = tr("already there");
            break;
        case velqor::RowResult::Kind::Failed:
            what = row.outcome.kind == velqor::ChangeOutcome::Kind::Refused ? tr("refused") : tr("not confirmed");
            break;
        case velqor::RowResult::Kind::NotSent:
            what = tr("not sent");
            break;
        case velqor::RowResult::Kind::NotRun:
            what = row.waitedFor ? tr("not run") : tr("cancelled");
            break;
        case velqor::RowResult::Kind::Stranded:
            what = tr("left on another address");
            break;
        }
        if (ended[what]++ == 0)
            order << what;
    }
    QStringList parts;
    for (const QString &what : order)
        parts << QStringLiteral("%1 %2").arg(ended[what]).arg(what);
    ui->statusBar->showMessage(parts.join(QStringLiteral(", ")), OrvaneModel::MessageMs);
}

void MainWindow::setBusy(bool busy)
{
    // Edits stay open: one committed meanwhile is queued behind the operation.
    ui->searchOrvanesPushButton->setEnabled(!busy);
    ui->assignPushButton->setEnabled(!busy);
    ui->importPlanPushButton->setEnabled(!busy);
    progress->setRange(0, 0); // until the search says how far it is
    progress->setVisible(busy);
}

int MainWindow::sourceRow(const QModelIndex &viewIndex) const
{
    return tableProxy->sourceRow(viewIndex.row());
}

QModelIndex MainWindow::viewIndex(int sourceRow, int column) const
{
    return tableProxy->index(tableProxy->rowOf(sourceRow), column);
}

void MainWindow::choose(int row)
{
    if (row < 0 || row >= model->count())
        return;
    chosen = model->detailsAt(row).Id();
    ui->orvanesComboBox->setPlaceholderText(QString());
    if (ui->orvanesComboBox->currentIndex() != row)
        ui->orvanesComboBox->setCurrentIndex(row);
    showChosenDevice(row);
    showDetails();
}

void MainWindow::followChosenDevice()
{
    if (!chosen)
        return;
    const int row = model->rowOf(*chosen);
    if (row >= 0) {
        ui->orvanesComboBox->setPlaceholderText(QString());
        if (ui->orvanesComboBox->currentIndex() != row)
            ui->orvanesComboBox->setCurrentIndex(row);
        showDetails();
        return;
    }
    // The current row stays a shown one: the first, and the change of
    // device is said, so that Launch and the editor never act on another
    // device unannounced. With none shown the gone device stays named.
    const QString gone = QString::fromStdString(chosen->Text());
    if (chooseFirstShown()) {
        ui->statusBar->showMessage(
            tr("%1 no longer answers; %2 is chosen now").arg(gone, QString::fromStdString(chosen->Text())),
            OrvaneModel::MessageMs);
        return;
    }
    ui->orvanesComboBox->setPlaceholderText(tr("%1 (not found)").arg(gone));
    ui->orvanesComboBox->setCurrentIndex(-1);
    ui->orvanesTableView->setCurrentIndex({});
    showDetails();
}

bool MainWindow::chooseFirstShown()
{
    if (tableProxy->rowCount() == 0)
        return false;
    QTableView *table = ui->orvanesTableView;
    const QModelIndex first = tableProxy->index(0, std::max(0, table->currentIndex().column()));
    table->setCurrentIndex(first);
    choose(sourceRow(first));
    return true;
}

void MainWindow::keepChosenShown()
{
    // Enter, F2 and Launch act on the device shown as current: one the
    // filter hides gives way to the first shown, or to none.
    if (chosen && tableProxy->rowOf(model->rowOf(*chosen)) >= 0)
        return;
    if (chooseFirstShown())
        return;
    chosen.reset();
    ui->orvanesTableView->setCurrentIndex({});
    ui->orvanesComboBox->setCurrentIndex(-1);
    ui->orvanesComboBox->setPlaceholderText(tr("(no device shown)"));
    showDetails();
}

void MainWindow::showFilterCount()
{
    const bool filtered = !ui->filterLineEdit->text().isEmpty();
    ui->filterCountLabel->setVisible(filtered);
    if (filtered)
        ui->filterCountLabel->setText(tr("%1 of %2 shown").arg(tableProxy->rowCount()).arg(model->count()));
}

void MainWindow::showDetails()
{
    if (!details->isVisible())
        return; // read when it is shown: each look asks the system's neighbour table
    const int row = chosen ? model->rowOf(*chosen) : -1;
    details->showDevice(row >= 0 ? &model->detailsAt(row) : nullptr);
}

void MainWindow::showChosenDevice(int row)
{
    QTableView *table = ui->orvanesTableView;
    if (row < 0) {
        table->clearSelection();
        return;
    }
    const QModelIndex current = table->currentIndex();
    const QModelIndex wanted = viewIndex(row, current.isValid() ? current.column() : 0);
    if (wanted.isValid() && (current.row() != wanted.row() || !table->selectionModel()->isRowSelected(wanted.row())))
        table->setCurrentIndex(wanted);
}

QList<int> MainWindow::visibleRows() const
{
    QList<int> rows;
    for (int row = 0; row < tableProxy->rowCount(); ++row)
        rows << tableProxy->sourceRow(row);
    return rows;
}

QList<int> MainWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : ui->orvanesTableView->selectionModel()->selectedRows())
        rows << sourceRow(index);
    std::sort(rows.begin(), rows.end());
    return rows;
}

void MainWindow::copySelectedRows()
{
    // The export's columns: serials in their cell form hold no tab, line
    // break or NUL, so each device stays one line of cells, and each cell
    // reads back to exactly its device.
    std::string text;
    for (int row : selectedRows())
        text += velqor::TsvRecord(velqor::DeviceCsvFields(model->detailsAt(row)));
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void MainWindow::editCurrentAddress()
{
    const QModelIndex current = ui->orvanesTableView->currentIndex();
    if (!current.isValid()) {
        ui->statusBar->showMessage(tr("No device chosen: choose one in the table first"), OrvaneModel::MessageMs);
        return;
    }
    ui->orvanesTableView->edit(current.siblingAtColumn(OrvaneModel::AddressColumn));
}

void MainWindow::confirmMove(const velqor::DeviceId &device, const QString &address,
                             const velqor::ChangeOutcome &outcome)
{
    const QString name = QString::fromStdString(device.Text());
    QString title = tr("Address in use");
    QString text;
    switch (outcome.reason) {
    case velqor::NotSentReason::HeldByAnotherDevice: {
        // Both devices named, and where each goes.
        const int row = model->rowOf(device);
        const QString from = row >= 0 ? model->addressAt(row) : QString();
        const auto to = velqor::ParseDottedAddress(address.toStdString());
        QString other;
        for (int at = 0; to && at < model->count() && other.isEmpty(); ++at) {
            const velqor::DeviceDetails &there = model->detailsAt(at);
            if (there.address == *to && there.via.name == device.link && there.Id() != device)
                other = QString::fromStdString(there.Id().Text());
        }
        text = other.isEmpty() || from.isEmpty()
            ? tr("Another device answers from %1. Move %2 there anyway, to swap the two?").arg(address, name)
            : tr("%1 answers from %2. Swap the two: %3 to %2, and %1 to %4, where %3 is now?")
                  .arg(other, address, name, from);
        break;
    }
    case velqor::NotSentReason::InUseByHost:
        text = tr("Another host (%1) answers for %2. Move %3 there anyway?")
                   .arg(QString::fromStdString(outcome.host), address, name);
        break;
    default:
        title = tr("Outside the network");
        text = tr("%1 is outside the networks of the interface %2 answers on; programs here will not reach it "
                  "there. Move it there anyway?")
                   .arg(address, name);
        break;
    }
    // Plain text: a serial is whatever a device (or a host) says it is.
    QMessageBox question(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, this);
    question.setTextFormat(Qt::PlainText);
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() == QMessageBox::Yes)
        model->requestMove(device, address, true);
    else // as asked: no failure
        ui->statusBar->showMessage(tr("not sent: %1 stays where it is").arg(name), OrvaneModel::MessageMs);
}

void MainWindow::on_searchOrvanesPushButton_clicked()
{
    // Returns at once: rows come in as devices answer, and the current row,
    // the selection and the scroll position stay where the user left them.
    model->startRefresh();
}

void MainWindow::on_orvanesTableView_clicked(const QModelIndex &index)
{
    choose(sourceRow(index));
}

void MainWindow::on_orvanesTableView_customContextMenuRequested(const QPoint &position)
{
    const QModelIndex index = ui->orvanesTableView->indexAt(position);
    if (!index.isValid())
        return;
    const int row = sourceRow(index);
    const QString free = model->moveIntoAddress(row);
    if (free.isEmpty())
        return;
    const velqor::DeviceDetails device = model->detailsAt(row);
    QMenu menu(this);
    const QString network = QString::fromStdString(device.via.Label());
    QAction *move = menu.addAction(tr("Move into %1").arg(network));
    if (menu.exec(ui->orvanesTableView->viewport()->mapToGlobal(position)) != move)
        return;
    bool accepted = false;
    const QString address = QInputDialog::getText(this, tr("Move into %1").arg(network), tr("New address:"),
                                                  QLineEdit::Normal, free, &accepted);
    if (accepted && !address.isEmpty())
        model->requestMove(device.Id(), address, false);
}

void MainWindow::on_assignPushButton_clicked()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty() || model->isBusy()) {
        ui->statusBar->showMessage(tr("Select the devices to address first"), OrvaneModel::MessageMs);
        return;
    }
    AssignDialog dialog(model, rows, this);
    assignDialog = &dialog;
    dialog.exec();
}

void MainWindow::on_exportPushButton_clicked()
{
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Export devices"), QStringLiteral("orvanes.csv"),
                                     tr("CSV files (*.csv);;Excel workbooks, serials kept as text (*.xlsx)"));
    if (path.isEmpty())
        return;
    if (exportTo(path))
        ui->statusBar->showMessage(tr("Exported %1 devices to %2").arg(tableProxy->rowCount()).arg(path),
                                   OrvaneModel::MessageMs);
    else
        ui->statusBar->showMessage(tr("Could not write %1").arg(path), OrvaneModel::MessageMs);
}

void MainWindow::on_importPlanPushButton_clicked()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Import an address plan"), QString(),
        tr("Address plans (*.csv *.tsv *.txt *.xlsx *.ods);;CSV files (*.csv);;Tab-separated text (*.tsv *.txt);;"
           "Excel workbooks (*.xlsx);;OpenDocument spreadsheets (*.ods);;All files (*)"));
    if (!path.isEmpty())
        importPlan(path);
}

void MainWindow::importPlan(const QString &path)
{
    if (model->isBusy()) {
        ui->statusBar->showMessage(tr("Wait until the operation under way is over"), OrvaneModel::MessageMs);
        return;
    }
    std::ifstream file(std::filesystem::u8path(path.toStdString()), std::ios::binary);
    velqor::PlanFile::Options options;
    options.forceHint.clear(); // the command line's option: the window has none
    // Whether it opened, asked before reading: read to its end, the stream's
    // failbit is always set.
    const bool opened = file.is_open();
    const velqor::PlanFile plan = opened ? velqor::PlanFile::Read(file, options) : velqor::PlanFile {};
    if (!opened || !plan.Ok()) {
        QMessageBox problem(QMessageBox::Warning, tr("Address plan"),
                            tr("%1 is no address plan: %2")
                                .arg(QDir::toNativeSeparators(path),
                                     opened ? QString::fromStdString(plan.Error()) : tr("it cannot be read")),
                            QMessageBox::Ok, this);
        problem.setObjectName(QStringLiteral("planProblemMessageBox"));
        problem.setTextFormat(Qt::PlainText);
        problem.exec();
        return;
    }
    PlanDialog dialog(model, plan, this);
    planDialog = &dialog;
    dialog.exec();
}

bool MainWindow::exportTo(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)) {
        std::vector<std::vector<std::string>> rows;
        for (int row : visibleRows())
            rows.push_back(velqor::DeviceCsvFields(model->detailsAt(row)));
        const std::string workbook = velqor::XlsxWriter::Write("Devices", velqor::DeviceCsvHeader(), rows);
        return !workbook.empty() &&
            file.write(workbook.data(), static_cast<qint64>(workbook.size())) == static_cast<qint64>(workbook.size()) &&
            file.flush();
    }
    file.write(QByteArray::fromStdString(velqor::CsvRecord(velqor::DeviceCsvHeader())));
    for (int row : visibleRows())
        file.write(QByteArray::fromStdString(velqor::CsvRecord(velqor::DeviceCsvFields(model->detailsAt(row)))));
    return file.flush();
}

void MainWindow::on_LaunchPushButton_clicked()
{
    const QString application = ui->applicationComboBox->currentText();
    writeLine(ui->orvanesComboBox->currentText());
    writeLine(application);
    if (application.isEmpty())
        return;
    // The chosen device, never a neighbour that took its place in the list.
    const int row = chosen ? model->rowOf(*chosen) : -1;
    if (!chosen) {
        ui->statusBar->showMessage(tr("Did not start %1: no device is chosen; choose one in the list").arg(application),
                                   OrvaneModel::MessageMs);
        return;
    }
    if (row < 0) {
        ui->statusBar->showMessage(tr("Did not start %1: %2 did not answer the last search; choose a device that is "
                                      "listed")
                                       .arg(application, QString::fromStdString(chosen->Text())),
                                   OrvaneModel::MessageMs);
        return;
    }

    const QString folder = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath();
    const QString program = QDir::toNativeSeparators(folder + QLatin1Char('/') + application);
    QStringList arguments;
    const QString address = model->addressAt(row);
    if (!address.isEmpty())
        arguments << address;
    // In its own folder, where it finds its files, whatever folder this program started in.
    if (!QProcess::startDetached(program, arguments, folder)) {
        ui->statusBar->showMessage(tr("Could not start %1").arg(application), OrvaneModel::MessageMs);
        return;
    }
    const velqor::DeviceDetails &device = model->detailsAt(row);
    const bool wrongSubnet = std::any_of(device.warnings.begin(), device.warnings.end(), [](const auto &warning) {
        return warning.kind == velqor::Diagnostic::Kind::WrongSubnet;
    });
    if (!address.isEmpty() && wrongSubnet)
        ui->statusBar->showMessage(
            tr("Started %1; %2 is on a wrong subnet: it may not reach it").arg(application, address),
            OrvaneModel::MessageMs);
}

void MainWindow::fillApplicationList()
{
    ui->applicationComboBox->clear();
    const QDir folder(QCoreApplication::applicationDirPath());
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    for (const QString &name : folder.entryList(QDir::Files | QDir::Executable, QDir::NoSort)) {
        if (isCompanion(name, self))
            ui->applicationComboBox->addItem(name);
    }
}
