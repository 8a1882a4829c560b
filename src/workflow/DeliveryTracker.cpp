#include "workflow/DeliveryTracker.h"

#include "model/DetachedTask.h"
#include "service/MuxClient.h"
#include "workflow/ActivityLog.h"
#include "workflow/AnimationGrouping.h"
#include "workflow/Credentials.h"
#include "workflow/DeliveryLedger.h"
#include "workflow/DropIntake.h"
#include "workflow/FileAttributes.h"
#include "workflow/LibrarySync.h"
#include "workflow/LocalFolder.h"
#include "workflow/UploadQueue.h"

#include <QCoro/QCoroFuture>
#include <QDateTime>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace clipferry {
namespace {

std::optional<double> modificationTime(const QUrl& file) {
    const auto attributes = readFileAttributes(file.toLocalFile());
    return attributes ? std::optional(attributes->modified) : std::nullopt;
}

} // namespace

DeliveryTracker::DeliveryTracker(Peers peers, std::chrono::milliseconds maxListingAge)
    : m_peers(peers)
    , m_maxListingAge(maxListingAge) {
    connect(&peers.library, &LibrarySync::lastCompleteListingChanged, this,
            &DeliveryTracker::takeListing);
    connect(&peers.folder, &LocalFolder::videoURLsChanged, this, [this] {
        recompute();
        renewListingIfOld();
    });
    connect(&peers.credentials, &Credentials::loaded, this, &DeliveryTracker::renewListingIfOld);
    connect(&peers.queue, &UploadQueue::itemAppended, this, &DeliveryTracker::noteUploads);
    connect(&peers.queue, &UploadQueue::itemChanged, this, &DeliveryTracker::noteUploads);
    takeListing();
}

void DeliveryTracker::setFolderShown(bool shown) {
    if (m_folderShown == shown)
        return;
    m_folderShown = shown;
    renewListingIfOld();
}

DeliveryTracker::~DeliveryTracker() = default;

void DeliveryTracker::takeListing() {
    if (const auto& listing = m_peers.library.lastCompleteListing()) {
        m_index.emplace(*listing);
        // What was delivered before this listing began is in it now, or was deleted since.
        if (const auto& started = m_peers.library.lastCompleteListingStartTime(); started.isValid())
            (void)m_peers.ledger.forgetDeliveredBefore(started.toMSecsSinceEpoch());
    } else {
        m_index.reset();
    }
    readLedger();
    recompute();
}

void DeliveryTracker::noteUploads() {
    QHash<QUrl, int> uploads;
    for (const UploadItem& item : m_peers.queue.items())
        uploads.insert(item.fileURL, static_cast<int>(item.status));
    // Progress arrives many times a second; only a change of stage matters.
    if (uploads == m_seenUploads)
        return;
    m_seenUploads = std::move(uploads);
    readLedger();
    recompute();
}

void DeliveryTracker::readLedger() {
    m_inFlight.clear();
    m_delivered.clear();
    const auto entries = m_peers.ledger.entries();
    if (!entries)
        return;
    for (const UploadRecord& entry : *entries) {
        const QUrl file = QUrl::fromLocalFile(entry.filePath);
        if (entry.stage == UploadStatus::done)
            m_delivered.insert(file, entry.assetID);
        else if (entry.stage != UploadStatus::failed && entry.stage != UploadStatus::cancelled)
            m_inFlight.insert(file);
    }
}

void DeliveryTracker::refreshFromLedger() {
    readLedger();
    recompute();
}

DeliveryStatus DeliveryTracker::statusOf(const QUrl& file) const {
    const DeliveryIndex* index = m_index ? &*m_index : nullptr;
    return deliveryStatus(index, file.fileName(), modificationTime(file), m_inFlight.contains(file),
                          m_delivered.value(file));
}

void DeliveryTracker::recompute() {
    QHash<QUrl, DeliveryStatus> states;
    for (const QUrl& file : m_peers.folder.videoURLs())
        states.insert(file, statusOf(file));
    if (states == m_states)
        return;
    m_states = std::move(states);
    Q_EMIT statesChanged();
}

qsizetype DeliveryTracker::count(Delivery state) const {
    return std::count_if(m_states.cbegin(), m_states.cend(),
                         [state](const DeliveryStatus& status) { return status.state == state; });
}

void DeliveryTracker::renewListingIfOld() {
    if (m_listing || !m_folderShown || !m_peers.credentials.isLoaded() ||
        !m_peers.credentials.hasTokens())
        return;
    const QDateTime& listedAt = m_peers.library.lastCompleteListingTime();
    if (m_peers.library.lastCompleteListing() &&
        listedAt.msecsTo(QDateTime::currentDateTimeUtc()) < m_maxListingAge.count())
        return;
    m_listing = true;
    runDetached([](QPointer<DeliveryTracker> self) -> QCoro::Task<> {
        const Peers& peers = self->m_peers;
        auto listed = co_await peers.library.listAll(peers.credentials.tokenID(),
                                                     peers.credentials.tokenSecret());
        if (!self)
            co_return;
        self->m_listing = false;
        if (!listed)
            self->m_peers.log.append(QStringLiteral("Failed to fetch MUX assets: ") +
                                     listed.error().message);
    }(this));
}

DeliveryTracker::Candidates DeliveryTracker::uploadCandidates(const QList<QUrl>& shown) const {
    Candidates candidates;
    for (const QUrl& file : shown) {
        const Delivery state = status(file).state;
        if (state == Delivery::notOnMux)
            candidates.missing.append(file);
        else if (state == Delivery::changed)
            candidates.changed.append(file);
    }
    return candidates;
}

void DeliveryTracker::startDelivery(const Candidates& candidates, ChangedClips changed) {
    startBatch(candidates.missing + candidates.changed,
               changed == ChangedClips::replace ? candidates.changed : QList<QUrl>{});
}

QStringList DeliveryTracker::matchingAssets(const QUrl& file) const {
    const DeliveryIndex* index = m_index ? &*m_index : nullptr;
    return deliveryStatus(index, file.fileName(), std::nullopt, false, m_delivered.value(file))
        .assetIDs;
}

void DeliveryTracker::startBatch(const QList<QUrl>& files, const QList<QUrl>& replacing) {
    if (files.isEmpty())
        return;
    for (const QUrl& file : files)
        m_replacing.remove(file);
    for (const QUrl& file : replacing)
        if (const QStringList old = matchingAssets(file); !old.isEmpty())
            m_replacing.insert(file, old);
    m_peers.queue.startUploadBatch(files);
}

QList<QUrl> DeliveryTracker::knownFiles(const QList<QUrl>& files) const {
    QList<QUrl> known;
    for (const QUrl& file : files)
        if (!matchingAssets(file).isEmpty())
            known.append(file);
    return known;
}

QCoro::Task<std::optional<DeliveryTracker::DropQuestion>>
DeliveryTracker::dropFiles(QList<QUrl> items) {
    QPointer self(this);
    // FFmpeg reads every header: a drop of a hundred clips would stall the window.
    auto sorting =
        QtConcurrent::run(sortDroppedItems, std::move(items), m_peers.folder.includeSubfolders());
    const DroppedClips sorted = co_await sorting;
    if (!self)
        co_return std::nullopt;
    if (!sorted.refused.isEmpty())
        m_peers.log.append(refusedLine(sorted.refused));
    DropQuestion question;
    for (const QUrl& file : sorted.clips) {
        if (!matchingAssets(file).isEmpty())
            question.known.append(file);
        else if (parseVideoName(file.fileName()).city.isEmpty())
            question.unsorted.append(file);
        else
            m_peers.queue.startUploadBatch({file});
    }
    if (question.known.isEmpty() && question.unsorted.isEmpty())
        co_return std::nullopt;

    QStringList sentences;
    if (const auto count = question.known.size(); count > 0)
        sentences.append(
            (count == 1 ? QStringLiteral("1 of these clips is already on Mux: %1. Upload it again?")
                        : QStringLiteral("%1 of these clips are already on Mux: %2. Upload them "
                                         "again?")
                              .arg(count))
                .arg(clipNames(question.known)) +
            QStringLiteral(" Replace deletes the old version once the new one is done, and its "
                           "playback address stops working."));
    if (const auto count = question.unsorted.size(); count > 0)
        sentences.append(
            (count == 1 ? QStringLiteral("%1 does not follow the naming convention "
                                         "(element_animation_CITY_match_file) and will appear "
                                         "under \u201cUnsorted\u201d.")
                        : QStringLiteral("%1 clips do not follow the naming convention "
                                         "(element_animation_CITY_match_file) and will appear "
                                         "under \u201cUnsorted\u201d: %2.")
                              .arg(count))
                .arg(clipNames(question.unsorted)));
    if (question.known.isEmpty()) {
        sentences.append(QStringLiteral("Upload anyway?"));
        question.answers = {QStringLiteral("Upload"), QStringLiteral("Skip")};
    } else {
        question.answers = {QStringLiteral("Replace"), QStringLiteral("Upload as copies"),
                            QStringLiteral("Skip")};
    }
    question.text = sentences.join(QLatin1Char(' '));
    co_return question;
}

void DeliveryTracker::answerDrop(const DropQuestion& question, int answer) {
    if (answer < 0 || answer >= question.answers.size() - 1)
        return;
    const bool replace = !question.known.isEmpty() && answer == 0;
    startBatch(question.known + question.unsorted, replace ? question.known : QList<QUrl>{});
}

std::optional<DeliveryTracker::DeliveryQuestion>
DeliveryTracker::deliverShown(const QList<QUrl>& shown) {
    auto candidates = uploadCandidates(shown);
    if (candidates.changed.isEmpty()) {
        startDelivery(candidates, ChangedClips::keepBoth);
        return std::nullopt;
    }
    const auto count = candidates.changed.size();
    QString text =
        (count == 1
             ? QStringLiteral("1 of these clips changed since its upload: %1.")
             : QStringLiteral("%1 of these clips changed since their upload: %2.").arg(count))
            .arg(clipNames(candidates.changed)) +
        QStringLiteral(" Replace the old version on Mux once the new one is done (its "
                       "playback address then stops working), or keep both?");
    return DeliveryQuestion{
        std::move(text),
        {QStringLiteral("Replace"), QStringLiteral("Keep both"), QStringLiteral("Cancel")},
        std::move(candidates)};
}

void DeliveryTracker::answerDelivery(const DeliveryQuestion& question, int answer) {
    if (answer == 0 || answer == 1)
        startDelivery(question.candidates,
                      answer == 0 ? ChangedClips::replace : ChangedClips::keepBoth);
}

QCoro::Task<> DeliveryTracker::afterItemDone(QUrl file, QString newAssetID) {
    QPointer self(this);
    const QStringList old = m_replacing.take(file);
    for (const QString& id : old) {
        if (id == newAssetID)
            continue;
        m_peers.log.append(QStringLiteral("Deleting asset: ") + file.fileName());
        auto deleted = co_await m_peers.client.deleteAsset(id);
        if (!self)
            co_return;
        m_peers.log.append(deleted ? QStringLiteral("Deleted asset.")
                                   : QStringLiteral("Delete failed: ") + deleted.error().message);
    }
}

} // namespace clipferry
