#pragma once

#include <QSet>
#include <QTimer>
#include <QTreeView>

namespace clipferry {

class LibraryDelegate;
class LibraryModel;
class ThumbnailLoader;

// The library tree: sections always open, animation groups open while their expansion
// key is in expandedAnimations (which outlives model resets, searches and provider
// switches), rows painted by LibraryDelegate. The view turns clicks and keys into
// requests; the column carries them out.
class LibraryView : public QTreeView {
    Q_OBJECT
public:
    LibraryView(LibraryModel& model, ThumbnailLoader& remoteThumbnails,
                ThumbnailLoader& localThumbnails, QUrl imageBase, QWidget* parent = nullptr);
    ~LibraryView() override;

    [[nodiscard]] const QSet<QString>& expandedAnimations() const { return m_expandedAnimations; }
    [[nodiscard]] bool isAnimationExpanded(const QString& key) const {
        return m_expandedAnimations.contains(key);
    }
    void toggleAnimation(const QModelIndex& header);
    [[nodiscard]] LibraryDelegate& delegate() const { return *m_delegate; }
    // What an empty library says instead (what to do next); empty: nothing.
    [[nodiscard]] const QString& emptyText() const { return m_emptyText; }
    void setEmptyText(const QString& text);

    // Where the open and delete buttons of a video row are, in viewport coordinates.
    [[nodiscard]] QRect openButtonRect(const QModelIndex& video) const;
    [[nodiscard]] QRect deleteButtonRect(const QModelIndex& video) const;

Q_SIGNALS:
    // A click on a video row outside its buttons, or a key that moved onto it.
    void videoClicked(const QModelIndex& video);
    void videoSelectedByKey(const QModelIndex& video);
    void openRequested(const QModelIndex& video);
    void deleteRequested(const QModelIndex& video);
    // Return on a video row; Delete anywhere in the list.
    void openSelectedRequested();
    void deleteSelectedRequested();
    // Ctrl+C; a right click or the menu key on a video row.
    void copySelectedRequested();
    void menuRequested(const QModelIndex& video, const QPoint& globalPosition);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void click(const QPoint& position);
    void restoreExpansion();
    void rememberTopRow();
    void scrollToRememberedRow();
    [[nodiscard]] QString rowKey(const QModelIndex& index) const;

    LibraryModel& m_model;
    ThumbnailLoader& m_remoteThumbnails;
    ThumbnailLoader& m_localThumbnails;
    LibraryDelegate* m_delegate;
    QSet<QString> m_expandedAnimations;
    QTimer m_spinnerClock;
    int m_spinnerPhase = 0;
    QString m_rememberedTopRow;
    QString m_emptyText;
    bool m_restoring = false;
};

} // namespace clipferry
