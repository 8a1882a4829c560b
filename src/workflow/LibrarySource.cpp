#include "workflow/LibrarySource.h"

#include "model/DetachedTask.h"
#include "model/SeenState.h"
#include "workflow/ActivityLog.h"
#include "workflow/Credentials.h"
#include "workflow/DeliveryTracker.h"
#include "workflow/LibrarySync.h"
#include "workflow/LocalFolder.h"
#include "workflow/SheetExporter.h"

#include <QPointer>
#include <QSettings>

namespace clipferry {

namespace {
constexpr auto providerKey = "source";
constexpr auto localFolderKey = "localFolder";
} // namespace

LibrarySource::LibrarySource(Peers peers, bool keepChoice, QObject* parent)
    : QObject(parent)
    , m_peers(peers)
    , m_keepChoice(keepChoice) {
    if (!m_keepChoice)
        return;
    const QSettings settings;
    const QString folder = settings.value(QLatin1String(localFolderKey)).toString();
    if (!folder.isEmpty())
        m_peers.folder.setFolderURL(QUrl::fromLocalFile(folder));
    // The local source without a folder would show nothing to choose from.
    if (settings.value(QLatin1String(providerKey)).toString() == QLatin1String("localFolder") &&
        m_peers.folder.folderURL())
        m_provider = VideoProvider::localFolder;
    m_peers.delivery.setFolderShown(m_provider == VideoProvider::localFolder);
}

void LibrarySource::setProvider(VideoProvider provider) {
    if (m_provider == provider)
        return;
    m_provider = provider;
    if (m_keepChoice)
        QSettings().setValue(QLatin1String(providerKey), provider == VideoProvider::localFolder
                                                             ? QStringLiteral("localFolder")
                                                             : QStringLiteral("webMux"));
    m_peers.delivery.setFolderShown(provider == VideoProvider::localFolder);
    Q_EMIT providerChanged(provider);
}

void LibrarySource::keepFolder(const std::optional<QUrl>& folder) {
    if (m_keepChoice)
        QSettings().setValue(QLatin1String(localFolderKey),
                             folder ? folder->toLocalFile() : QString());
}

void LibrarySource::setFolderURL(std::optional<QUrl> folder) {
    keepFolder(folder);
    m_peers.folder.setFolderURL(std::move(folder));
}

QCoro::Task<> LibrarySource::selectFolder(QUrl folder) {
    keepFolder(folder);
    return m_peers.folder.select(std::move(folder));
}

QCoro::Task<> LibrarySource::refresh() {
    (void)co_await relist();
}

QCoro::Task<std::optional<QList<MuxAsset>>> LibrarySource::relist() {
    QPointer self(this);
    if (m_provider == VideoProvider::localFolder) {
        co_await m_peers.folder.reload();
        co_return std::nullopt;
    }
    // The first listing needs the tokens, which the secret store hands over asynchronously.
    co_await m_peers.credentials.waitUntilLoaded();
    if (!self)
        co_return std::nullopt;
    m_peers.library.beginRefresh();
    const auto& credentials = m_peers.credentials;
    auto listed =
        co_await m_peers.library.refreshService(credentials.tokenID(), credentials.tokenSecret());
    if (!listed)
        co_return std::nullopt;
    co_return std::move(*listed);
}

void LibrarySource::refreshIfNeverListed() {
    if (m_provider == VideoProvider::webMux && !m_peers.library.lastCompleteListing() &&
        !m_peers.library.isRefreshing())
        runDetached(refresh());
}

QCoro::Task<> LibrarySource::deleteAsset(MuxAsset asset) {
    QPointer self(this);
    const auto& credentials = m_peers.credentials;
    const QString id = asset.id;
    const bool deleted = co_await m_peers.library.deleteAsset(
        std::move(asset), credentials.tokenID(), credentials.tokenSecret());
    if (!self || !deleted)
        co_return;
    auto listed = co_await relist();
    if (!self)
        co_return;
    Q_EMIT assetDeleted(id);
    m_peers.log.append(QStringLiteral("Updating Google Sheet\u2026"));
    co_await m_peers.sheet.exportAfterLibraryChange(std::move(listed));
}

QCoro::Task<> LibrarySource::completeBatch() {
    QPointer self(this);
    auto listed = co_await relist();
    if (!self)
        co_return;
    co_await m_peers.sheet.exportAfterLibraryChange(std::move(listed));
}

QCoro::Task<> LibrarySource::reloadCredentials() {
    QPointer self(this);
    co_await m_peers.credentials.load();
    if (self && m_peers.credentials.hasTokens())
        refreshIfNeverListed();
}

void LibrarySource::markAllSeen() {
    const double now = currentTimeSeconds();
    m_peers.library.markAllSeen(now);
    m_peers.folder.markAllSeen(now);
    m_peers.log.append(QStringLiteral("Marked all videos as seen"));
}

} // namespace clipferry
