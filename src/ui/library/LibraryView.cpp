#include "ui/library/LibraryView.h"

#include "ui/library/LibraryDelegate.h"
#include "ui/library/LibraryModel.h"
#include "ui/library/LibraryStyle.h"
#include "ui/library/ThumbnailLoader.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

namespace clipferry {
namespace {

int kindOf(const QModelIndex& index) {
    return index.isValid() ? index.data(LibraryModel::KindRole).toInt() : -1;
}

} // namespace

LibraryView::LibraryView(LibraryModel& model, ThumbnailLoader& remoteThumbnails,
                         ThumbnailLoader& localThumbnails, QUrl imageBase, QWidget* parent)
    : QTreeView(parent)
    , m_model(model)
    , m_remoteThumbnails(remoteThumbnails)
    , m_localThumbnails(localThumbnails)
    , m_delegate(
          new LibraryDelegate([this](const QString& key) { return isAnimationExpanded(key); },
                              remoteThumbnails, localThumbnails, std::move(imageBase), this)) {
    setObjectName(QStringLiteral("libraryView"));
    setModel(&model);
    setItemDelegate(m_delegate);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setIndentation(0);
    setUniformRowHeights(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(20);
    setExpandsOnDoubleClick(false);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Video library"));
    // Narrower than a full row, the list scrolls sideways instead of overlapping cells.
    header()->setStretchLastSection(true);
    header()->setMinimumSectionSize(libraryStyle::minimumRowWidth());

    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (!m_restoring && kindOf(index) == LibraryModel::AnimationKind)
            m_expandedAnimations.insert(index.data(LibraryModel::ExpansionKeyRole).toString());
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (kindOf(index) == LibraryModel::AnimationKind)
            m_expandedAnimations.remove(index.data(LibraryModel::ExpansionKeyRole).toString());
        else if (kindOf(index) == LibraryModel::CityKind)
            expand(index); // sections have no closed state
    });
    connect(&model, &QAbstractItemModel::modelAboutToBeReset, this, &LibraryView::rememberTopRow);
    connect(&model, &QAbstractItemModel::modelReset, this, [this] {
        restoreExpansion();
        scrollToRememberedRow();
    });
    auto repaint = [this] {
        viewport()->update();
    };
    connect(&remoteThumbnails, &ThumbnailLoader::thumbnailReady, this, repaint);
    connect(&localThumbnails, &ThumbnailLoader::thumbnailReady, this, repaint);

    m_spinnerClock.setInterval(80);
    connect(&m_spinnerClock, &QTimer::timeout, this, [this] {
        m_spinnerPhase = (m_spinnerPhase + 1) % 12;
        m_delegate->setSpinnerPhase(m_spinnerPhase);
        viewport()->update();
    });
    restoreExpansion();
}

LibraryView::~LibraryView() = default;

void LibraryView::toggleAnimation(const QModelIndex& header) {
    if (kindOf(header) != LibraryModel::AnimationKind)
        return;
    const QString key = header.data(LibraryModel::ExpansionKeyRole).toString();
    // The set decides, also for a group that shows no rows under the current search.
    if (m_expandedAnimations.remove(key)) {
        collapse(header);
    } else {
        m_expandedAnimations.insert(key);
        expand(header);
    }
    viewport()->update(visualRect(header));
}

QRect LibraryView::openButtonRect(const QModelIndex& video) const {
    return libraryStyle::videoRowGeometry(visualRect(video)).openButton;
}

QRect LibraryView::deleteButtonRect(const QModelIndex& video) const {
    return libraryStyle::videoRowGeometry(visualRect(video)).deleteButton;
}

void LibraryView::restoreExpansion() {
    m_restoring = true;
    for (int c = 0; c < m_model.rowCount(); ++c) {
        const QModelIndex city = m_model.index(c, 0);
        expand(city);
        for (int a = 0; a < m_model.rowCount(city); ++a) {
            const QModelIndex group = m_model.index(a, 0, city);
            if (m_expandedAnimations.contains(
                    group.data(LibraryModel::ExpansionKeyRole).toString()))
                expand(group);
        }
    }
    m_restoring = false;
}

QString LibraryView::rowKey(const QModelIndex& index) const {
    switch (kindOf(index)) {
    case LibraryModel::CityKind:
        return QStringLiteral("c|") + index.data(Qt::DisplayRole).toString();
    case LibraryModel::AnimationKind:
        return QStringLiteral("a|") + index.data(LibraryModel::ExpansionKeyRole).toString();
    case LibraryModel::VideoKind: {
        const auto* node = LibraryModel::nodeAt(index);
        return QStringLiteral("v|") + videoIdentity(std::get<VideoEntry>(node->payload).video);
    }
    default:
        return {};
    }
}

void LibraryView::rememberTopRow() {
    m_rememberedTopRow = rowKey(indexAt(QPoint(1, 1)));
}

void LibraryView::scrollToRememberedRow() {
    // A refresh or a city-table edit should not throw the user back to the top.
    const QString wanted = std::exchange(m_rememberedTopRow, QString());
    const QModelIndex selected = m_model.selectedVideoIndex();
    if (selected.isValid())
        setCurrentIndex(selected);
    if (wanted.isEmpty())
        return;
    for (int c = 0; c < m_model.rowCount(); ++c) {
        const QModelIndex city = m_model.index(c, 0);
        if (rowKey(city) == wanted)
            return scrollTo(city, PositionAtTop);
        for (int a = 0; a < m_model.rowCount(city); ++a) {
            const QModelIndex group = m_model.index(a, 0, city);
            if (rowKey(group) == wanted)
                return scrollTo(group, PositionAtTop);
            if (!wanted.startsWith(QLatin1String("v|")) || !isExpanded(group))
                continue;
            for (int v = 0; v < m_model.rowCount(group); ++v) {
                const QModelIndex video = m_model.index(v, 0, group);
                if (rowKey(video) == wanted)
                    return scrollTo(video, PositionAtTop);
            }
        }
    }
}

void LibraryView::click(const QPoint& position) {
    const QModelIndex index = indexAt(position);
    if (!index.isValid())
        return;
    setCurrentIndex(index);
    switch (kindOf(index)) {
    case LibraryModel::AnimationKind:
        toggleAnimation(index);
        break;
    case LibraryModel::VideoKind:
        if (index.data(LibraryModel::IsSelectedRole).toBool()) {
            if (openButtonRect(index).contains(position))
                return Q_EMIT openRequested(index);
            if (deleteButtonRect(index).contains(position)) {
                // The local row's delete button is shown disabled: it swallows the click.
                const auto* node = LibraryModel::nodeAt(index);
                if (std::holds_alternative<MuxAsset>(std::get<VideoEntry>(node->payload).video))
                    Q_EMIT deleteRequested(index);
                return;
            }
        }
        Q_EMIT videoClicked(index);
        break;
    default:
        break;
    }
}

// The row buttons are painted, not widgets, so their tooltips come from here.
bool LibraryView::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QTreeView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    QString tip;
    if (index.isValid() && kindOf(index) == LibraryModel::VideoKind &&
        index.data(LibraryModel::IsSelectedRole).toBool()) {
        if (openButtonRect(index).contains(help->pos()))
            tip = QStringLiteral("Open video");
        else if (deleteButtonRect(index).contains(help->pos()))
            tip = QStringLiteral("Delete video");
    }
    if (tip.isEmpty() && kindOf(index) == LibraryModel::VideoKind)
        tip = index.data(Qt::ToolTipRole).toString();
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, viewport());
    return true;
}

void LibraryView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QTreeView::mousePressEvent(event);
    click(event->position().toPoint());
    event->accept();
}

// The second press of a quick double click arrives as a double-click event: it is the
// second click of "click selects, click again opens".
void LibraryView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QTreeView::mouseDoubleClickEvent(event);
    click(event->position().toPoint());
    event->accept();
}

void LibraryView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QTreeView::mouseReleaseEvent(event);
    event->accept();
}

void LibraryView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        return event->accept();
    QTreeView::mouseMoveEvent(event);
}

void LibraryView::contextMenuEvent(QContextMenuEvent* event) {
    // From the keyboard the menu is about the current row, wherever the pointer is.
    const QModelIndex index = event->reason() == QContextMenuEvent::Mouse
                                  ? indexAt(viewport()->mapFromGlobal(event->globalPos()))
                                  : currentIndex();
    if (kindOf(index) != LibraryModel::VideoKind)
        return;
    const QPoint at = event->reason() == QContextMenuEvent::Mouse
                          ? event->globalPos()
                          : viewport()->mapToGlobal(visualRect(index).center());
    event->accept();
    Q_EMIT menuRequested(index, at);
}

void LibraryView::keyPressEvent(QKeyEvent* event) {
    const QModelIndex current = currentIndex();
    const int kind = kindOf(current);
    if (event->matches(QKeySequence::Copy)) {
        Q_EMIT copySelectedRequested();
        return event->accept();
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (kind == LibraryModel::AnimationKind)
            toggleAnimation(current);
        else
            Q_EMIT openSelectedRequested();
        return event->accept();
    case Qt::Key_Space:
        if (kind == LibraryModel::AnimationKind) {
            toggleAnimation(current);
            return event->accept();
        }
        break;
    case Qt::Key_Delete:
        Q_EMIT deleteSelectedRequested();
        return event->accept();
    case Qt::Key_Left:
        if (kind == LibraryModel::AnimationKind &&
            isAnimationExpanded(current.data(LibraryModel::ExpansionKeyRole).toString())) {
            toggleAnimation(current);
            return event->accept();
        }
        break;
    case Qt::Key_Right:
        if (kind == LibraryModel::AnimationKind &&
            !isAnimationExpanded(current.data(LibraryModel::ExpansionKeyRole).toString())) {
            toggleAnimation(current);
            return event->accept();
        }
        break;
    default:
        break;
    }
    QTreeView::keyPressEvent(event);
    const QModelIndex moved = currentIndex();
    if (moved != current && kindOf(moved) == LibraryModel::VideoKind)
        Q_EMIT videoSelectedByKey(moved);
}

void LibraryView::paintEvent(QPaintEvent* event) {
    const bool full = event->rect().contains(viewport()->rect());
    if (full) {
        m_remoteThumbnails.beginFullPaint();
        m_localThumbnails.beginFullPaint();
    }
    QTreeView::paintEvent(event);
    if (m_model.rowCount() == 0 && !m_emptyText.isEmpty()) {
        QPainter painter(viewport());
        const auto colors = libraryStyle::colors(palette());
        painter.setPen(colors.secondary);
        const QRect box = viewport()->rect().adjusted(24, 24, -24, -24);
        painter.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, m_emptyText);
    }
    const bool spinning = m_delegate->takeSpinnerDrawn();
    if (full) {
        m_remoteThumbnails.endFullPaint();
        m_localThumbnails.endFullPaint();
    }
    if (spinning && !m_spinnerClock.isActive())
        m_spinnerClock.start();
    else if (!spinning && full)
        m_spinnerClock.stop();
}

void LibraryView::setEmptyText(const QString& text) {
    if (text == m_emptyText)
        return;
    m_emptyText = text;
    viewport()->update();
}

void LibraryView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_delegate->invalidateSizes();
        scheduleDelayedItemsLayout();
    }
    QTreeView::changeEvent(event);
}

} // namespace clipferry
