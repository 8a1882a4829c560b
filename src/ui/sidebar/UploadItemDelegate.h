#pragma once

#include <QStyledItemDelegate>

namespace clipferry {

// Paints one upload row from the roles of UploadListModel: title, coloured status and
// the row's own buttons (cancel or remove, pause or resume, retry), a progress bar of the
// bytes sent (running without a value in the stages of unknown length), then the
// transfer's figures, the playback address and the error when present.
class UploadItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Where the row's button number `slot` (0: rightmost) sits within the row's rectangle.
    [[nodiscard]] static QRect actionRect(const QRect& row, int slot = 0);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;

Q_SIGNALS:
    // `action` is an UploadListModel::RowAction.
    void actionClicked(const QModelIndex& index, int action);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

// The colour of a status label; grey while pending, blue while moving, then green or red.
[[nodiscard]] QColor uploadStatusColor(int status, const QPalette& palette);

} // namespace clipferry
