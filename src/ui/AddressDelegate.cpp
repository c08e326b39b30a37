#include "AddressDelegate.h"

#include "OrvaneModel.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QToolTip>

namespace {

// Set on the editor by Enter: what it holds is to be sent.
const char *const kCommitted = "orvaneCommitted";
// Set once its discarding was reported: a click elsewhere both ends the
// editor and moves the current row, and each hands it over.
const char *const kReported = "orvaneReported";

} // namespace

QString AddressDelegate::address(const QString &typed)
{
    QString text = typed;
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    static const QRegularExpression dotted(QStringLiteral(
        "^((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])$"));
    return dotted.match(text).hasMatch() ? text : QString();
}

QWidget *AddressDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *editor = new QLineEdit(parent);
    editor->setAccessibleName(tr("New address"));
    editor->setAccessibleDescription(tr("Type the device's new IPv4 address and press Enter to move it; Escape, "
                                        "Tab or a click elsewhere sends nothing"));
    return editor;
}

void AddressDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *line = static_cast<QLineEdit *>(editor);
    line->setText(index.data(Qt::DisplayRole).toString());
    line->selectAll();
}

void AddressDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    auto *line = static_cast<QLineEdit *>(editor);
    const QString typed = line->text().trimmed();
    const QString shown = index.data(Qt::DisplayRole).toString();
    if (!line->property(kCommitted).toBool()) {
        if (!typed.isEmpty() && typed != shown && !line->property(kReported).toBool()) {
            line->setProperty(kReported, true);
            emit const_cast<AddressDelegate *>(this)->discarded(index, typed);
        }
        return;
    }
    // A change is asked for and the table goes on at once (it waits behind
    // an operation under way); an unchanged address sends nothing.
    const QString to = address(typed);
    if (!to.isEmpty() && to != shown)
        model->setData(index, to, OrvaneModel::RequestRole);
}

bool AddressDelegate::eventFilter(QObject *object, QEvent *event)
{
    auto *line = qobject_cast<QLineEdit *>(object);
    if (line && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (address(line->text()).isEmpty()) {
                const QString why = tr("%1 is no IPv4 address: four numbers from 0 to 255, separated by dots. "
                                       "Escape leaves the address as it is.")
                                        .arg(line->text().trimmed());
                line->setToolTip(why);
                QToolTip::showText(line->mapToGlobal(QPoint(0, line->height())), why, line);
                return true;
            }
            line->setProperty(kCommitted, true);
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}
