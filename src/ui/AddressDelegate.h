#ifndef ADDRESSDELEGATE_H
#define ADDRESSDELEGATE_H

#include <QStyledItemDelegate>

// Edits an address cell: accepts only a dotted IPv4 address, and starts from
// the current one, selected, so that typing replaces it.
class AddressDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
};

#endif // ADDRESSDELEGATE_H
