#pragma once

#include <QStyledItemDelegate>

namespace clipferry {

// Paints one upload row from the roles of UploadListModel: title, coloured status and
// the row's own button (cancel or retry), a progress bar, then the transfer's figures,
// the playback address and the error when present.
class UploadItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Where the row's button sits within the row's rectangle.
    [[nodiscard]] static QRect actionRect(const QRect& row);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;

Q_SIGNALS:
    void actionClicked(const QModelIndex& index);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

// The colour of a status label; grey while pending, blue while moving, then green or red.
[[nodiscard]] QColor uploadStatusColor(int status, const QPalette& palette);

} // namespace clipferry
