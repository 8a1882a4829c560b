#pragma once

#include "ui/sidebar/DashedFrame.h"

#include <QList>
#include <QUrl>

class QLabel;
class QMimeData;
class QPushButton;

namespace clipferry {

class FolderChooser;

// The local files a drag offers, in the order given. Anything that is not a local file
// location (remote addresses, text) is left out; folders are kept as they are.
[[nodiscard]] QList<QUrl> droppedFileUrls(const QMimeData& data);

// Takes video files by drag and drop, or from a file chooser ("Add Files…", Ctrl+O, for
// the keyboard): announces the files of one drop or choice. Outlined in blue while a file
// drag hovers.
class DropZone : public DashedFrame {
    Q_OBJECT
public:
    explicit DropZone(const QString& webDomain, QWidget* parent = nullptr);

    [[nodiscard]] bool dropActive() const { return isHighlighted(); }
    [[nodiscard]] QPushButton* addFilesButton() const { return m_addFiles; }
    [[nodiscard]] FolderChooser* fileChooser() const { return m_fileChooser; }

Q_SIGNALS:
    // The files of one drop, in their order.
    void filesDropped(const QList<QUrl>& files);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateSymbol();

    QLabel* m_symbol;
    QPushButton* m_addFiles;
    FolderChooser* m_fileChooser;
};

} // namespace clipferry
