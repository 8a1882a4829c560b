#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <optional>

class QWidget;

namespace clipferry {

// The folder chooser: a non-blocking QFileDialog limited to one folder, or to video files
// (any number). `finished` always follows `open`, from the event loop, with the choice or
// an empty list on cancel. Tests give the next answer instead of a dialog with
// `setNextAnswer`.
class FolderChooser : public QObject {
    Q_OBJECT
public:
    enum class Mode { folder, videoFiles };
    explicit FolderChooser(QWidget* dialogParent, Mode mode = Mode::folder);

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
    Mode m_mode;
    std::optional<QList<QUrl>> m_nextAnswer;
    bool m_open = false;
};

} // namespace clipferry
