#include "ui/sidebar/FolderChooser.h"

#include <QFileDialog>
#include <QTimer>

namespace clipferry {

FolderChooser::FolderChooser(QWidget* dialogParent)
    : QObject(dialogParent)
    , m_dialogParent(dialogParent) {}

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

    auto* dialog = new QFileDialog(m_dialogParent, tr("Choose Folder"));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
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
