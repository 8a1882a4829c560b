#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <optional>

class QWidget;

namespace clipferry {

// The folder chooser: a non-blocking QFileDialog limited to one folder. `finished` always
// follows `open`, from the event loop, with the chosen folder or an empty list on cancel.
// Tests give the next answer instead of a dialog with `setNextAnswer`.
class FolderChooser : public QObject {
    Q_OBJECT
public:
    explicit FolderChooser(QWidget* dialogParent);

    // An empty list answers like a cancelled dialog.
    void setNextAnswer(QList<QUrl> folders);
    void open();
    [[nodiscard]] bool isOpen() const { return m_open; }

Q_SIGNALS:
    void opened();
    void finished(const QList<QUrl>& folders);

private:
    void finish(const QList<QUrl>& folders);

    QPointer<QWidget> m_dialogParent;
    std::optional<QList<QUrl>> m_nextAnswer;
    bool m_open = false;
};

} // namespace clipferry
