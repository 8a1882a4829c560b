#include "workflow/AutoDelivery.h"

#include "workflow/ActivityLog.h"
#include "workflow/LocalFolder.h"

#include <QSettings>

namespace clipferry {

AutoDelivery::AutoDelivery(WatchDelivery::Peers peers, LocalFolder& folder, Tweak tweak,
                           QObject* parent)
    : QObject(parent)
    , m_peers(peers)
    , m_folder(folder)
    , m_tweak(std::move(tweak)) {
    connect(&folder, &LocalFolder::folderChanged, this, &AutoDelivery::follow);
}

AutoDelivery::~AutoDelivery() = default;

void AutoDelivery::setDeliverNewClips(bool deliver) {
    setSwitch(m_deliverNewClips, deliver);
}

void AutoDelivery::setReplaceChangedClips(bool replace) {
    setSwitch(m_replaceChangedClips, replace);
}

void AutoDelivery::setSwitch(bool& value, bool on) {
    if (value == on)
        return;
    value = on;
    Q_EMIT switchesChanged();
    follow();
}

void AutoDelivery::follow() {
    const auto& folder = m_folder.folderURL();
    if (!m_deliverNewClips || !folder) {
        if (m_watch)
            m_peers.log.append(QStringLiteral("Stopped delivering new clips from %1.")
                                   .arg(m_watch->options().watch.folder));
        m_watch.reset();
        return;
    }
    WatchDelivery::Options options;
    options.watch.folder = folder->toLocalFile();
    options.watch.recursive = m_folder.includeSubfolders();
    options.replaceChanged = m_replaceChangedClips;
    options.watch.settle =
        std::chrono::seconds(qMax(1, QSettings().value(QLatin1String(settleSetting), 30).toInt()));
    if (m_tweak)
        m_tweak(options);
    if (m_watch && m_watch->options().watch.folder == options.watch.folder &&
        m_watch->options().watch.recursive == options.watch.recursive &&
        m_watch->options().replaceChanged == options.replaceChanged)
        return;
    // The old watcher gives up its claim before the new one asks for it.
    m_watch.reset();
    m_watch = std::make_unique<WatchDelivery>(m_peers, options);
    m_peers.log.append(
        QStringLiteral("Delivering new clips from %1 once each is unchanged for %2 s.")
            .arg(options.watch.folder)
            .arg(std::chrono::duration<double>(options.watch.settle).count()));
    m_watch->start();
}

} // namespace clipferry
