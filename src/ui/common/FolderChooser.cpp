#include "ui/common/FolderChooser.h"

#include <QFileDialog>
#include <QTimer>

namespace clipferry {

FolderChooser::FolderChooser(QWidget* dialogParent, Mode mode)
    : QObject(dialogParent)
    , m_dialogParent(dialogParent)
    , m_mode(mode) {}

void FolderChooser::setNextAnswer(QList<QUrl> folders) {
    m_nextAnswer = std::move(folders);
}

void FolderChooser::open() {
    if (m_open)
        return;
    m_open = true;
    Q_EMIT opened();

    if (m_nextAnswer) {
        // Answer later, as the dialog would, so callers never rely on a synchronous reply.
        QTimer::singleShot(0, this, [this, answer = *std::exchange(m_nextAnswer, std::nullopt)] {
            finish(answer);
        });
        return;
    }

    const bool folder = m_mode == Mode::folder;
    auto* dialog = new QFileDialog(m_dialogParent, folder ? tr("Choose Folder") : tr("Add Files"));
    if (folder) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        // The filter only narrows the list: what is added is still judged by its content.
        dialog->setFileMode(QFileDialog::ExistingFiles);
        dialog->setNameFilters({tr("Video files (*.mov *.mp4 *.m4v *.mkv *.avi *.mxf *.webm "
                                   "*.mpg *.mpeg *.mts *.m2ts *.wmv *.3gp)"),
                                tr("All files (*)")});
    }
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::finished, this, [this, dialog](int result) {
        finish(result == QDialog::Accepted ? dialog->selectedUrls() : QList<QUrl>{});
    });
    // open(), not exec(): the chooser must not spin a nested event loop.
    dialog->open();
}

void FolderChooser::finish(const QList<QUrl>& folders) {
    m_open = false;
    Q_EMIT finished(folders);
}

} // namespace clipferry
