#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <optional>

namespace clipferry {

// The right to deliver the clips of one folder, among every watcher on every machine
// that sees it: a lock file in the folder itself (so two paths to one folder, or a share
// seen from several hosts, meet at the same file) names the holder's host, process and
// time, and is renewed while it watches. A holder that stops renewing for `staleAfter`,
// by this machine's clock, or a dead process of this host, loses it to the next watcher.
//
//     FolderClaim claim({.folder = "/renders"});
//     connect(&claim, &FolderClaim::heldChanged, this, [](bool held) { … });
//     claim.start();
class FolderClaim : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString folder;
        std::chrono::milliseconds renewInterval{std::chrono::seconds(10)};
        std::chrono::milliseconds staleAfter{std::chrono::seconds(60)};
    };
    static constexpr auto fileName = ".clipferry-watch.lock";

    explicit FolderClaim(Options options, QObject* parent = nullptr);
    // Gives the folder up, so the next watcher need not wait for it to go stale.
    ~FolderClaim() override;

    void start();
    [[nodiscard]] bool isHeld() const { return m_held; }
    // "host (process 123)" of the watcher holding the folder while this one waits.
    [[nodiscard]] const QString& holder() const { return m_holder; }

Q_SIGNALS:
    void heldChanged(bool held);
    void logMessage(const QString& message);

private:
    void tick();
    [[nodiscard]] QByteArray ownContent() const;
    [[nodiscard]] bool write();
    void setHeld(bool held);
    void waitFor(const QByteArray& content);

    Options m_options;
    QString m_path;
    QString m_token;
    QTimer m_timer;
    bool m_held = false;
    // Written over a stale claim: held once it still reads as ours a renewal later.
    bool m_confirming = false;
    QString m_holder;
    QByteArray m_othersContent;
    QElapsedTimer m_othersUnchanged;
    bool m_warnedUnwritable = false;
};

} // namespace clipferry
