#pragma once

#include <QStyledItemDelegate>

namespace clipferry {

// Paints one upload row from the roles of UploadListModel: title and coloured status,
// a progress bar, then the playback address and the error when present.
class UploadItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;
};

// The colour of a status label; grey while pending, blue while moving, then green or red.
[[nodiscard]] QColor uploadStatusColor(int status, const QPalette& palette);

} // namespace clipferry
