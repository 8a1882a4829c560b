#pragma once

#include <QStyledItemDelegate>
#include <QUrl>
#include <array>
#include <functional>
#include <optional>

namespace clipferry {

class ThumbnailLoader;
struct AnimationGroup;
struct CitySection;
struct VideoEntry;

// Paints the three kinds of library row from the node the model hands out: city section
// headings, animation headers and video rows. Row heights depend only on the kind and
// the fonts, so they are computed once per font.
class LibraryDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // Whether an animation group, by its expansion key, is open: the view that paints with
    // this delegate keeps that, the model does not.
    using ExpansionCheck = std::function<bool(const QString& expansionKey)>;

    LibraryDelegate(ExpansionCheck isExpanded, ThumbnailLoader& remoteThumbnails,
                    ThumbnailLoader& localThumbnails, QUrl imageBase, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;

    // Where an animation header's parts go in `row`, laid out from the widths of their texts
    // in `font` so that none covers another; a part not drawn has an empty rectangle.
    struct HeaderLayout {
        QRect name;
        QRect chevron;
        QRect progress;
        QString progressText;
        QRect delivered;
        QString deliveredText;
        QRect newCount;
        // Filename … Format, above their columns when the group is open.
        std::array<QRect, 6> headings;
    };
    [[nodiscard]] static HeaderLayout animationHeaderLayout(const QRect& row, const QFont& font,
                                                            const AnimationGroup& group,
                                                            bool expanded);

    // Spinners turn with the view's clock; the view keeps it running while any was drawn.
    void setSpinnerPhase(int phase) { m_spinnerPhase = phase; }
    [[nodiscard]] bool takeSpinnerDrawn();
    void invalidateSizes() { m_heights.reset(); }

private:
    void paintCity(QPainter* painter, const QStyleOptionViewItem& option,
                   const CitySection& city) const;
    void paintAnimation(QPainter* painter, const QStyleOptionViewItem& option,
                        const AnimationGroup& group) const;
    // The blue dot with the count of new clips.
    void paintNewCount(QPainter* painter, const QRect& pill, const QFont& font, const QColor& fill,
                       qsizetype count) const;
    void paintVideo(QPainter* painter, const QStyleOptionViewItem& option, const VideoEntry& entry,
                    bool selected) const;
    void paintThumbnail(QPainter* painter, const QStyleOptionViewItem& option, const QRect& box,
                        const VideoEntry& entry) const;
    void paintDelivery(QPainter* painter, const QStyleOptionViewItem& option, const QRect& cell,
                       const VideoEntry& entry) const;
    void paintSpinner(QPainter* painter, const QRect& box, const QColor& color) const;
    void paintIconButton(QPainter* painter, const QStyleOptionViewItem& option, const QRect& box,
                         const QString& icon, bool enabled) const;
    [[nodiscard]] const std::array<int, 3>& heights(const QStyleOptionViewItem& option) const;

    ExpansionCheck m_isExpanded;
    ThumbnailLoader& m_remoteThumbnails;
    ThumbnailLoader& m_localThumbnails;
    QUrl m_imageBase;
    int m_spinnerPhase = 0;
    mutable bool m_spinnerDrawn = false;
    mutable std::optional<std::array<int, 3>> m_heights;
};

} // namespace clipferry
