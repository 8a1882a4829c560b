#include "ui/sidebar/DropZone.h"

#include "ui/common/AppStyle.h"
#include "ui/common/FolderChooser.h"

#include <QDragEnterEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace clipferry {

QList<QUrl> droppedFileUrls(const QMimeData& data) {
    QList<QUrl> files;
    if (!data.hasUrls())
        return files;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files.append(url);
    }
    return files;
}

DropZone::DropZone(const QString& webDomain, QWidget* parent)
    : DashedFrame(parent)
    , m_symbol(new QLabel(this))
    , m_addFiles(new QPushButton(tr("Add Files\u2026"), this))
    , m_fileChooser(new FolderChooser(this, FolderChooser::Mode::videoFiles)) {
    setObjectName(QStringLiteral("dropZone"));
    setAcceptDrops(true);
    setAccessibleName(tr("Drop zone for video files"));
    m_addFiles->setObjectName(QStringLiteral("addFiles"));
    m_addFiles->setToolTip(tr("Choose video files to upload (Ctrl+O)"));
    m_addFiles->setAutoDefault(false);
    connect(m_addFiles, &QPushButton::clicked, m_fileChooser, &FolderChooser::open);
    // Only while the drop zone shows: in local mode Ctrl+O has nothing to add to.
    auto* shortcut = new QShortcut(QKeySequence::Open, this);
    connect(shortcut, &QShortcut::activated, m_fileChooser, &FolderChooser::open);
    connect(m_fileChooser, &FolderChooser::finished, this, [this](const QList<QUrl>& files) {
        if (!files.isEmpty())
            Q_EMIT filesDropped(files);
    });

    m_symbol->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(tr("Drag & Drop Videos"), this);
    title->setObjectName(QStringLiteral("dropTitle"));
    title->setAlignment(Qt::AlignCenter);
    style::applyFont(title, style::TextStyle::headline);
    auto* caption = new QLabel(QStringLiteral("Uploads to ") + webDomain +
                                   QStringLiteral(" + Updates Google Sheets"),
                               this);
    caption->setObjectName(QStringLiteral("dropCaption"));
    caption->setAlignment(Qt::AlignCenter);
    caption->setWordWrap(true);
    caption->setForegroundRole(QPalette::PlaceholderText);
    style::applyFont(caption, style::TextStyle::caption);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->addStretch();
    layout->addWidget(m_symbol);
    layout->addWidget(title);
    layout->addWidget(caption);
    layout->addWidget(m_addFiles, 0, Qt::AlignHCenter);
    layout->addStretch();
    updateSymbol();
}

void DropZone::updateSymbol() {
    m_symbol->setPixmap(style::symbol(QStringLiteral("tray-arrow-down"), 36,
                                      palette().color(QPalette::WindowText), devicePixelRatioF()));
}

void DropZone::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        updateSymbol();
    DashedFrame::changeEvent(event);
}

void DropZone::dragEnterEvent(QDragEnterEvent* event) {
    if (droppedFileUrls(*event->mimeData()).isEmpty())
        return;
    event->acceptProposedAction();
    setHighlighted(true);
}

void DropZone::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
}

void DropZone::dragLeaveEvent(QDragLeaveEvent*) {
    setHighlighted(false);
}

void DropZone::dropEvent(QDropEvent* event) {
    setHighlighted(false);
    // Accepted whatever it holds: a drop with nothing usable is simply a no-op.
    event->acceptProposedAction();
    if (const QList<QUrl> files = droppedFileUrls(*event->mimeData()); !files.isEmpty())
        Q_EMIT filesDropped(files);
}

} // namespace clipferry
