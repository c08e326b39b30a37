#ifndef ADDRESSDELEGATE_H
#define ADDRESSDELEGATE_H

#include <QStyledItemDelegate>

// Edits an address cell, starting from the current address, selected, so
// that typing replaces it. Only Enter sends what was typed: leaving the
// editor any other way (a click elsewhere, Tab, Escape) sends nothing, and
// a typed address left so is reported. Spaces and line breaks (a paste
// from a spreadsheet cell) are dropped; Enter on what is no dotted IPv4
// address says why, in place, and keeps the editor open.
class AddressDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

    // The address in text as typed or pasted: without whitespace, and only
    // if it is four numbers 0-255 without leading zeros; empty otherwise.
    static QString address(const QString &typed);

signals:
    // An address was typed and the editor left without Enter: nothing was sent.
    void discarded(const QModelIndex &index, const QString &typed);

protected:
    bool eventFilter(QObject *object, QEvent *event) override;
};

#endif // ADDRESSDELEGATE_H
