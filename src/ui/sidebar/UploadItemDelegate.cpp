#include "ui/sidebar/UploadItemDelegate.h"

#include "model/UploadItem.h"
#include "ui/common/AppStyle.h"
#include "ui/sidebar/UploadListModel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace clipferry {
namespace {

constexpr int verticalInset = 4;
constexpr int horizontalInset = 8;
constexpr int lineSpacing = 4;
constexpr int barHeight = 6;
constexpr int actionSize = 16;

QString glyphOf(int action) {
    switch (action) {
    case UploadListModel::cancelAction:
    case UploadListModel::removeAction:
        return QStringLiteral("\u00d7");
    case UploadListModel::retryAction:
        return QStringLiteral("\u21bb");
    case UploadListModel::pauseAction:
        return QStringLiteral("\u2016");
    case UploadListModel::resumeAction:
        return QStringLiteral("\u25b6");
    default:
        return {};
    }
}

struct Fonts {
    QFont title;
    QFont status;
    QFont detail;
};

Fonts fontsFor(const QFont& base) {
    return {style::font(style::TextStyle::headline, base),
            style::font(style::TextStyle::caption, base),
            style::font(style::TextStyle::caption2, base)};
}

} // namespace

QColor uploadStatusColor(int status, const QPalette& palette) {
    switch (static_cast<UploadStatus>(status)) {
    case UploadStatus::pending:
    case UploadStatus::cancelled:
    case UploadStatus::paused:
        return style::secondaryColor(palette);
    case UploadStatus::done:
        return style::successGreen();
    case UploadStatus::failed:
        return style::failureRed();
    case UploadStatus::creatingUpload:
    case UploadStatus::uploading:
    case UploadStatus::waitingAsset:
    case UploadStatus::processingAsset:
        break;
    }
    return style::accentBlue();
}

void UploadItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    QStyle* widgetStyle = option.widget ? option.widget->style() : QApplication::style();
    widgetStyle->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, option.widget);

    const Fonts fonts = fontsFor(option.font);
    const QPalette& palette = option.palette;
    const QRect area =
        option.rect.adjusted(horizontalInset, verticalInset, -horizontalInset, -verticalInset);
    painter->save();

    // Title and status share the first line; the status keeps its full width.
    const QString statusLabel = index.data(UploadListModel::StatusLabelRole).toString();
    const QFontMetrics titleMetrics(fonts.title);
    const QFontMetrics statusMetrics(fonts.status);
    const int lineHeight = qMax(titleMetrics.height(), statusMetrics.height());
    const int statusWidth = statusMetrics.horizontalAdvance(statusLabel);
    QRect line(area.left(), area.top(), area.width(), lineHeight);
    const auto actions = index.data(UploadListModel::ActionsRole).value<QList<int>>();
    for (int slot = 0; slot < actions.size(); ++slot) {
        const QRect button = actionRect(option.rect, slot);
        painter->setFont(fonts.status);
        painter->setPen(style::secondaryColor(palette));
        painter->drawText(button, Qt::AlignCenter, glyphOf(actions[slot]));
        line.setRight(button.left() - horizontalInset / 2);
    }
    painter->setFont(fonts.status);
    painter->setPen(uploadStatusColor(index.data(UploadListModel::StatusRole).toInt(), palette));
    painter->drawText(line, Qt::AlignRight | Qt::AlignVCenter, statusLabel);
    painter->setFont(fonts.title);
    painter->setPen(palette.color(QPalette::Text));
    const QRect titleRect = line.adjusted(0, 0, -(statusWidth + horizontalInset), 0);
    painter->drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                      titleMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                              Qt::ElideMiddle, titleRect.width()));

    int y = line.bottom() + 1 + lineSpacing;
    QStyleOptionProgressBar bar;
    bar.rect = QRect(area.left(), y, area.width(), barHeight);
    bar.palette = palette;
    bar.state = option.state | QStyle::State_Horizontal;
    const auto status = static_cast<UploadStatus>(index.data(UploadListModel::StatusRole).toInt());
    const bool busy = index.data(UploadListModel::BusyRole).toBool();
    bar.minimum = 0;
    bar.maximum = busy ? 0 : 1000;
    bar.progress = busy ? 0 : qRound(index.data(UploadListModel::ProgressRole).toDouble() * 1000);
    // A failure is not a finished bar: it shows how far the bytes got, in the status's red.
    if (status == UploadStatus::failed) {
        bar.progress = qRound(index.data(UploadListModel::BytesFractionRole).toDouble() * 1000);
        bar.palette.setColor(QPalette::Highlight, style::failureRed());
    }
    bar.textVisible = false;
    widgetStyle->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
    y += barHeight + lineSpacing;

    const QFontMetrics detailMetrics(fonts.detail);
    painter->setFont(fonts.detail);
    auto drawDetail = [&](const QString& text, const QColor& color) {
        const QRect rect(area.left(), y, area.width(), detailMetrics.height());
        painter->setPen(color);
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter,
                          detailMetrics.elidedText(text, Qt::ElideMiddle, rect.width()));
        y += detailMetrics.height() + lineSpacing;
    };
    if (const QVariant detail = index.data(UploadListModel::DetailRole); detail.isValid())
        drawDetail(detail.toString(), style::secondaryColor(palette));
    if (const QVariant url = index.data(UploadListModel::PlaybackURLRole); url.isValid())
        drawDetail(url.toString(), style::secondaryColor(palette));
    if (const QVariant error = index.data(UploadListModel::ErrorRole); error.isValid())
        drawDetail(error.toString(), style::failureRed());

    painter->restore();
}

QSize UploadItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const Fonts fonts = fontsFor(option.font);
    int height = verticalInset * 2;
    height += qMax(QFontMetrics(fonts.title).height(), QFontMetrics(fonts.status).height());
    height += lineSpacing + barHeight;
    const int detailHeight = QFontMetrics(fonts.detail).height();
    if (index.data(UploadListModel::DetailRole).isValid())
        height += lineSpacing + detailHeight;
    if (index.data(UploadListModel::PlaybackURLRole).isValid())
        height += lineSpacing + detailHeight;
    if (index.data(UploadListModel::ErrorRole).isValid())
        height += lineSpacing + detailHeight;
    return {option.rect.width() > 0 ? option.rect.width() : 200, height};
}

QRect UploadItemDelegate::actionRect(const QRect& row, int slot) {
    return {row.right() - horizontalInset - (slot + 1) * actionSize - slot * 2 + 1,
            row.top() + verticalInset, actionSize, actionSize};
}

bool UploadItemDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                     const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto actions = index.data(UploadListModel::ActionsRole).value<QList<int>>();
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        for (int slot = 0; slot < actions.size(); ++slot) {
            if (actionRect(option.rect, slot).contains(at)) {
                Q_EMIT actionClicked(index, actions[slot]);
                return true;
            }
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

} // namespace clipferry
