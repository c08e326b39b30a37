#include "AddressDelegate.h"

#include "OrvaneModel.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

QWidget *AddressDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *editor = new QLineEdit(parent);
    const QString octet = QStringLiteral("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])");
    editor->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^(%1\\.){3}%1$").arg(octet)), editor));
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
    // An editor closed without a change sends nothing; a change is asked for
    // and the table goes on at once (it waits behind an operation under way).
    if (line->hasAcceptableInput() && line->text() != index.data(Qt::DisplayRole).toString())
        model->setData(index, line->text(), OrvaneModel::RequestRole);
}
