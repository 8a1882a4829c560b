#include "ui/library/LibraryDelegate.h"

#include "ui/library/LibraryAddresses.h"
#include "ui/library/LibraryIcons.h"
#include "ui/library/LibraryModel.h"
#include "ui/library/LibraryStyle.h"
#include "ui/library/ThumbnailLoader.h"

#include <QPainter>
#include <QPainterPath>

namespace clipferry {
namespace {

constexpr int spinnerSpokes = 12;

const QString headerHeadings[] = {
    QStringLiteral("Filename"),   QStringLiteral("Element"),  QStringLiteral("Match"),
    QStringLiteral("Resolution"), QStringLiteral("Duration"), QStringLiteral("Format"),
};

void drawText(QPainter* painter, const QRect& box, const QFont& font, const QColor& color,
              const QString& text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    if (box.isEmpty())
        return;
    painter->setFont(font);
    painter->setPen(color);
    const QFontMetrics metrics(font);
    painter->drawText(box, static_cast<int>(alignment | Qt::TextSingleLine),
                      metrics.elidedText(text, Qt::ElideRight, box.width()));
}

QPainterPath roundedPath(const QRectF& box, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(box, radius, radius);
    return path;
}

} // namespace

LibraryDelegate::LibraryDelegate(ExpansionCheck isExpanded, ThumbnailLoader& remoteThumbnails,
                                 ThumbnailLoader& localThumbnails, QUrl imageBase, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_isExpanded(std::move(isExpanded))
    , m_remoteThumbnails(remoteThumbnails)
    , m_localThumbnails(localThumbnails)
    , m_imageBase(std::move(imageBase)) {}

bool LibraryDelegate::takeSpinnerDrawn() {
    return std::exchange(m_spinnerDrawn, false);
}

const std::array<int, 3>& LibraryDelegate::heights(const QStyleOptionViewItem& option) const {
    if (!m_heights) {
        const auto fonts = libraryStyle::fonts(option.font);
        const int city = QFontMetrics(fonts.sectionTitle).height() + 18;
        const int headerContent = std::max(
            {QFontMetrics(fonts.headline).height(), QFontMetrics(fonts.caption).height(), 16});
        const int animation =
            headerContent + 2 * (libraryStyle::headerInnerInsetY + libraryStyle::headerOuterInsetY);
        const int video = libraryStyle::thumbnailHeight + 2 * libraryStyle::rowInsetY;
        m_heights = std::array<int, 3>{city, animation, video};
    }
    return *m_heights;
}

QSize LibraryDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const int kind = index.data(LibraryModel::KindRole).toInt();
    const auto& h = heights(option);
    return {libraryStyle::minimumRowWidth(), h[static_cast<std::size_t>(std::clamp(kind, 0, 2))]};
}

void LibraryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const LibraryNode* node = LibraryModel::nodeAt(index);
    if (!node)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (const auto* city = std::get_if<CitySection>(&node->payload))
        paintCity(painter, option, *city);
    else if (const auto* group = std::get_if<AnimationGroup>(&node->payload))
        paintAnimation(painter, option, *group);
    else if (const auto* entry = std::get_if<VideoEntry>(&node->payload))
        paintVideo(painter, option, *entry, index.data(LibraryModel::IsSelectedRole).toBool());
    painter->restore();
}

void LibraryDelegate::paintCity(QPainter* painter, const QStyleOptionViewItem& option,
                                const CitySection& city) const {
    const auto fonts = libraryStyle::fonts(option.font);
    const auto colors = libraryStyle::colors(option.palette);
    const QRect text =
        option.rect.adjusted(libraryStyle::rowInsetX + 4, 12, -libraryStyle::rowInsetX, -4);
    drawText(painter, text, fonts.sectionTitle, colors.text, city.displayName,
             Qt::AlignLeft | Qt::AlignBottom);
}

void LibraryDelegate::paintAnimation(QPainter* painter, const QStyleOptionViewItem& option,
                                     const AnimationGroup& group) const {
    const auto fonts = libraryStyle::fonts(option.font);
    const auto colors = libraryStyle::colors(option.palette);
    const bool expanded = m_isExpanded(group.key);
    const QRect frame =
        option.rect.adjusted(libraryStyle::headerOuterInsetX, libraryStyle::headerOuterInsetY,
                             -libraryStyle::headerOuterInsetX, -libraryStyle::headerOuterInsetY);
    const QPainterPath shape = roundedPath(QRectF(frame), 6);
    painter->fillPath(shape, colors.headerFill);
    if (group.cityColor.isValid()) {
        // The city's colour as a mark on the leading edge, inside the rounded shape.
        painter->save();
        painter->setClipPath(shape);
        painter->fillRect(QRect(frame.left(), frame.top(), 4, frame.height()), group.cityColor);
        painter->restore();
    }
    if (option.state & QStyle::State_HasFocus) {
        QColor ring = colors.blue;
        ring.setAlphaF(0.7F);
        painter->setPen(QPen(ring, 1.5));
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(roundedPath(QRectF(frame).adjusted(0.75, 0.75, -0.75, -0.75), 6));
    }

    const HeaderLayout layout = animationHeaderLayout(option.rect, option.font, group, expanded);
    drawText(painter, layout.name, fonts.headline, colors.text, group.animation);
    painter->drawPixmap(layout.chevron.topLeft(),
                        libraryIcons::icon(expanded ? QStringLiteral("chevron-down")
                                                    : QStringLiteral("chevron-right"),
                                           layout.chevron.width(), colors.secondary,
                                           painter->device()->devicePixelRatioF()));
    const bool reached = group.progress.count >= group.progress.required;
    drawText(painter, layout.progress, fonts.caption, reached ? colors.green : colors.yellow,
             layout.progressText);
    drawText(painter, layout.delivered, fonts.caption, colors.secondary, layout.deliveredText);
    if (!layout.newCount.isEmpty())
        paintNewCount(painter, layout.newCount, fonts.caption, colors.blue, group.newCount);
    for (std::size_t i = 0; i < layout.headings.size(); ++i)
        drawText(painter, layout.headings[i], fonts.caption, colors.secondary, headerHeadings[i]);
}

LibraryDelegate::HeaderLayout LibraryDelegate::animationHeaderLayout(const QRect& row,
                                                                     const QFont& font,
                                                                     const AnimationGroup& group,
                                                                     bool expanded) {
    const auto fonts = libraryStyle::fonts(font);
    const QFontMetrics caption(fonts.caption);
    const QRect content =
        row.adjusted(libraryStyle::headerOuterInsetX + libraryStyle::headerInnerInsetX,
                     libraryStyle::headerOuterInsetY + libraryStyle::headerInnerInsetY,
                     -(libraryStyle::headerOuterInsetX + libraryStyle::headerInnerInsetX),
                     -(libraryStyle::headerOuterInsetY + libraryStyle::headerInnerInsetY));
    const auto span = [&](int left, int right) {
        return QRect(left, content.top(), std::max(0, right - left), content.height());
    };
    HeaderLayout layout;
    const int chevronSize = caption.height() - 2;
    layout.chevron =
        QRect(content.right() + 1 - chevronSize,
              content.top() + (content.height() - chevronSize) / 2, chevronSize, chevronSize);

    // Right to left from the chevron, each text as wide as it is written (a little slack:
    // the advance is rounded, and eliding "3/5" would hide it): the delivered count, then
    // the progress it stands beside.
    int right = layout.chevron.left() - libraryStyle::chevronLeadingInset;
    layout.progressText = progressLabel(group);
    if (group.delivered >= 0) {
        layout.deliveredText = QStringLiteral("%1 on Mux").arg(group.delivered);
        if (!layout.progressText.isEmpty())
            layout.deliveredText.prepend(QStringLiteral(" \u00B7 "));
        const int width = caption.horizontalAdvance(layout.deliveredText) + 2;
        layout.delivered = span(right - width, right);
        right -= width;
    }
    if (!layout.progressText.isEmpty()) {
        const int width = caption.horizontalAdvance(layout.progressText) + 2;
        layout.progress = span(right - width, right);
        right -= width;
    }
    // Open, the rows carry their own dots.
    if (!expanded && group.newCount > 0) {
        const QString count = QString::number(group.newCount);
        const int height = caption.height();
        const int width = std::max(height, caption.horizontalAdvance(count) + height / 2);
        right -= libraryStyle::spacing;
        layout.newCount =
            QRect(right - width, content.top() + (content.height() - height) / 2, width, height);
        right = layout.newCount.left();
    }
    const int limit = right - libraryStyle::spacing;
    layout.name =
        span(content.left(), std::min(content.left() + libraryStyle::headerNameWidth, limit));
    // Above their columns, but only up to the texts on the right: a heading that would
    // reach them is cut short rather than drawn under them.
    if (expanded) {
        int x = row.left() + libraryStyle::firstCellX;
        for (std::size_t i = 0; i < layout.headings.size() && x < limit; ++i) {
            layout.headings[i] = span(x, std::min(x + libraryStyle::cellWidths[i], limit));
            x += libraryStyle::cellWidths[i] + libraryStyle::spacing;
        }
    }
    return layout;
}

void LibraryDelegate::paintNewCount(QPainter* painter, const QRect& pill, const QFont& font,
                                    const QColor& fill, qsizetype count) const {
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    painter->drawRoundedRect(QRectF(pill), pill.height() / 2.0, pill.height() / 2.0);
    drawText(painter, pill, font, Qt::white, QString::number(count), Qt::AlignCenter);
}

void LibraryDelegate::paintDelivery(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QRect& cell, const VideoEntry& entry) const {
    const auto fonts = libraryStyle::fonts(option.font);
    const auto colors = libraryStyle::colors(option.palette);
    const Delivery state = entry.delivery.state;
    QColor color = colors.secondary;
    if (state == Delivery::onMux)
        color = colors.green;
    else if (state == Delivery::changed)
        color = colors.orange;
    else if (state == Delivery::uploading)
        color = colors.blue;
    constexpr int mark = 10;
    const QRectF circle(cell.left() + 0.5, cell.center().y() - mark / 2.0 + 0.5, mark - 1,
                        mark - 1);
    painter->save();
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(color, 1.5));
    if (state == Delivery::notOnMux) {
        painter->drawEllipse(circle);
    } else if (state == Delivery::uploading) {
        painter->drawArc(circle, 90 * 16, -270 * 16);
    } else {
        painter->setBrush(color);
        painter->setPen(Qt::NoPen);
        painter->drawEllipse(circle);
        painter->setPen(QPen(colors.background, 1.5, Qt::SolidLine, Qt::RoundCap));
        const QPointF c = circle.center();
        if (state == Delivery::onMux)
            painter->drawPolyline(
                QPolygonF{c + QPointF(-2.3, 0.1), c + QPointF(-0.6, 1.8), c + QPointF(2.4, -1.6)});
        else
            painter->drawLine(c + QPointF(0, -2.2), c + QPointF(0, 0.6));
    }
    painter->restore();
    drawText(painter, cell.adjusted(mark + 4, 0, 0, 0), fonts.caption, color, deliveryLabel(state));
}

void LibraryDelegate::paintVideo(QPainter* painter, const QStyleOptionViewItem& option,
                                 const VideoEntry& entry, bool selected) const {
    const auto fonts = libraryStyle::fonts(option.font);
    const auto colors = libraryStyle::colors(option.palette);
    const auto geometry = libraryStyle::videoRowGeometry(option.rect);
    if (selected)
        painter->fillRect(option.rect, colors.selection);

    paintThumbnail(painter, option, geometry.thumbnail, entry);
    if (entry.isNew) {
        const QRectF badge(geometry.thumbnail.left() - libraryStyle::badgeOverhang,
                           geometry.thumbnail.top() - libraryStyle::badgeOverhang,
                           libraryStyle::badgeSize, libraryStyle::badgeSize);
        painter->setPen(Qt::NoPen);
        painter->setBrush(colors.windowBackground);
        painter->drawEllipse(badge);
        const qreal inset = (libraryStyle::badgeSize - libraryStyle::badgeDotSize) / 2.0;
        painter->setBrush(colors.blue);
        painter->drawEllipse(badge.adjusted(inset, inset, -inset, -inset));
    }

    const VideoCells cells = videoCells(entry.video);
    const QString texts[] = {cells.title,      cells.fileName, cells.element, cells.match,
                             cells.resolution, cells.duration, cells.format};
    if (entry.delivery.state == Delivery::unknown) {
        drawText(painter, geometry.cells[0], fonts.headline, colors.text, texts[0]);
    } else {
        // The title over the delivery state, both in the title's cell.
        const QRect title = geometry.cells[0];
        const int half = title.height() / 2;
        drawText(painter, title.adjusted(0, 0, 0, -half), fonts.headline, colors.text, texts[0],
                 Qt::AlignLeft | Qt::AlignBottom);
        paintDelivery(painter, option, title.adjusted(0, half + 2, 0, -half / 3), entry);
    }
    for (std::size_t i = 1; i < std::size(texts); ++i)
        drawText(painter, geometry.cells[i], fonts.caption, colors.secondary, texts[i]);

    if (selected) {
        const bool local = std::holds_alternative<LocalVideo>(entry.video);
        paintIconButton(painter, option, geometry.openButton, QStringLiteral("play-circle"), true);
        paintIconButton(painter, option, geometry.deleteButton, QStringLiteral("trash"), !local);
    }
}

void LibraryDelegate::paintThumbnail(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QRect& box, const VideoEntry& entry) const {
    const auto colors = libraryStyle::colors(option.palette);
    const QPainterPath clip = roundedPath(QRectF(box), 4);

    ThumbnailLoader::Lookup lookup;
    QString failedIcon;
    int failedIconSize = 0;
    if (const auto* asset = std::get_if<MuxAsset>(&entry.video)) {
        // Without an address the still stays in its loading state.
        if (const auto url = thumbnailURL(*asset, m_imageBase))
            lookup = m_remoteThumbnails.lookup(url->toString());
        failedIcon = QStringLiteral("photo");
        failedIconSize = 28;
    } else {
        lookup = m_localThumbnails.lookup(std::get<LocalVideo>(entry.video).url.toString());
        failedIcon = QStringLiteral("film");
        failedIconSize = 22;
    }

    if (lookup.state == ThumbnailLoader::State::Ready) {
        painter->save();
        painter->setClipPath(clip);
        painter->drawPixmap(box, lookup.pixmap);
        painter->restore();
        return;
    }
    painter->fillPath(clip, colors.placeholderBox);
    if (lookup.state == ThumbnailLoader::State::Failed) {
        const QRect icon(box.center().x() - failedIconSize / 2 + 1,
                         box.center().y() - failedIconSize / 2 + 1, failedIconSize, failedIconSize);
        painter->drawPixmap(icon.topLeft(),
                            libraryIcons::icon(failedIcon, failedIconSize, colors.secondary,
                                               painter->device()->devicePixelRatioF()));
        return;
    }
    paintSpinner(painter, box, colors.secondary);
}

void LibraryDelegate::paintSpinner(QPainter* painter, const QRect& box, const QColor& color) const {
    m_spinnerDrawn = true;
    const QPointF center = QRectF(box).center();
    painter->save();
    painter->translate(center);
    for (int i = 0; i < spinnerSpokes; ++i) {
        // The spoke at the phase is darkest; the others fade behind it.
        const int age = (m_spinnerPhase - i + spinnerSpokes) % spinnerSpokes;
        QColor spoke = color;
        spoke.setAlphaF(
            static_cast<float>(color.alphaF() * (1.0 - age / double(spinnerSpokes)) * 0.9 + 0.1));
        painter->setPen(QPen(spoke, 1.8, Qt::SolidLine, Qt::RoundCap));
        painter->save();
        painter->rotate(i * 360.0 / spinnerSpokes);
        painter->drawLine(QPointF(0, -4), QPointF(0, -7.5));
        painter->restore();
    }
    painter->restore();
}

void LibraryDelegate::paintIconButton(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QRect& box, const QString& icon, bool enabled) const {
    const auto colors = libraryStyle::colors(option.palette);
    painter->save();
    if (!enabled)
        painter->setOpacity(0.35);
    QColor outline = colors.secondary;
    outline.setAlphaF(outline.alphaF() * 0.3F);
    // The outline is drawn at full strength: a half-pixel line in a pale colour vanishes.
    painter->setPen(QPen(outline, 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(roundedPath(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), 6));
    constexpr int symbol = 20;
    painter->drawPixmap(
        box.left() + (box.width() - symbol) / 2, box.top() + (box.height() - symbol) / 2,
        libraryIcons::icon(icon, symbol, colors.secondary, painter->device()->devicePixelRatioF()));
    painter->restore();
}

} // namespace clipferry
