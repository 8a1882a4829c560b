#include "app/cli/Commands.h"
#include "app/cli/Console.h"
#include "app/cli/HeadlessSession.h"
#include "workflow/DeliveryLedger.h"
#include "workflow/DeliveryTracker.h"
#include "workflow/LibrarySource.h"
#include "workflow/LibrarySync.h"
#include "workflow/LocalFolder.h"
#include "workflow/SheetExporter.h"
#include "workflow/UploadQueue.h"

#include <QCoro/QCoroSignal>
#include <QDir>
#include <QFileInfo>

// `upload` and `sync`: the run first takes over what an earlier run of these files left
// unfinished (a killed run resumes its sessions instead of uploading again), then hands the
// rest to the queue as one batch, and waits for the sheet export that ends every batch.
namespace clipferry::cli {
namespace {

QString progressLine(const UploadQueue& queue, qsizetype index) {
    const auto& item = queue.items().at(index);
    // While bytes move, the queue's meter says how many, how fast and how long still.
    return QStringLiteral("[%1/%2] %3 \u2013 %4 %5 %%6")
        .arg(index + 1)
        .arg(queue.items().size())
        .arg(printable(item.fileURL.fileName()), uploadStatusLabel(item.status))
        .arg(qRound(item.progress * 100))
        .arg(item.detail.isEmpty() ? QString() : QStringLiteral(" \u00b7 ") + item.detail);
}

QStringList pathsOf(const QList<QUrl>& files) {
    QStringList paths;
    for (const auto& file : files)
        paths.append(file.toLocalFile());
    return paths;
}

// Of `files`, those not yet in this run's upload list.
QList<QUrl> notListed(const UploadQueue& queue, const QList<QUrl>& files) {
    QSet<QUrl> listed;
    for (const auto& item : queue.items())
        listed.insert(item.fileURL);
    QList<QUrl> rest;
    for (const auto& file : files)
        if (!listed.contains(file))
            rest.append(file);
    return rest;
}

// Runs the batch `start` began (nothing, when it began none) to the end of its export.
QCoro::Task<int> deliverAndExport(HeadlessSession& session, std::function<void()> start) {
    auto& queue = session.workspace().uploadQueue();
    auto& sheet = session.workspace().sheetExporter();
    auto& console = session.console();
    const auto progress =
        QObject::connect(&queue, &UploadQueue::itemChanged, &queue,
                         [&](qsizetype index) { console.progress(progressLine(queue, index)); });
    start();
    bool exported = true;
    if (queue.pendingBatchUploads() != queue.completedBatchUploads())
        exported = co_await qCoro(&sheet, &SheetExporter::exportFinished);
    QObject::disconnect(progress);
    console.progress({});

    for (const auto& path : queue.filesRunElsewhere())
        console.error(QStringLiteral("clipferry: another Clipferry is uploading %1; run again "
                                     "once it is done.")
                          .arg(printable(path)));
    const bool anyFailed =
        std::any_of(queue.items().cbegin(), queue.items().cend(),
                    [](const UploadItem& item) { return item.status != UploadStatus::done; });
    if (anyFailed)
        co_return exitFailed;
    if (!queue.filesRunElsewhere().isEmpty())
        co_return exitUsage;
    co_return exported ? exitDone : exitSheetFailed;
}

} // namespace

QCoro::Task<int> runUpload(HeadlessSession& session, Command command) {
    // Checked before anything is sent: a typo must not leave half a batch on the service.
    QList<QUrl> urls;
    for (const auto& file : command.operands) {
        const QFileInfo info(file);
        if (!info.isFile() || !info.isReadable()) {
            session.console().error(QStringLiteral("clipferry upload: cannot read the file ") +
                                    printable(file) + QLatin1Char('\n') +
                                    usageLine(Subcommand::upload));
            co_return exitUsage;
        }
        urls.append(QUrl::fromLocalFile(info.absoluteFilePath()));
    }
    if (!co_await session.signIn())
        co_return exitUsage;
    auto& workspace = session.workspace();
    // The duplicate guard of a drop needs the library as it is now.
    co_await workspace.source().refresh();
    if (!workspace.library().lastCompleteListing())
        co_return exitFailed;
    auto& delivery = workspace.delivery();
    auto& queue = workspace.uploadQueue();
    // Named first: g++ 12 destroys a temporary inside a co_await expression twice.
    std::function<void()> start = [&queue, &delivery, &session, urls, command] {
        queue.resumeUnfinished(pathsOf(urls));
        const QList<QUrl> rest = notListed(queue, urls);
        const QList<QUrl> known = delivery.knownFiles(rest);
        DeliveryTracker::Candidates candidates;
        for (const auto& file : rest) {
            if (!known.contains(file) || command.copies)
                candidates.missing.append(file);
            else if (command.replace)
                candidates.changed.append(file);
            else
                session.console().error(
                    QStringLiteral("clipferry upload: already on Mux, passed over (--replace or "
                                   "--copies uploads it again): ") +
                    printable(file.toLocalFile()));
        }
        delivery.startDelivery(candidates, DeliveryTracker::ChangedClips::replace);
    };
    co_return co_await deliverAndExport(session, std::move(start));
}

bool operandIsFolder(Console& console, const Command& command, const char* name) {
    const QFileInfo folder(command.operands.first());
    if (folder.isDir())
        return true;
    console.error(QStringLiteral("clipferry %1: not a folder: ").arg(QLatin1String(name)) +
                  printable(folder.filePath()) + QLatin1Char('\n') + usageLine(command.subcommand));
    return false;
}

QCoro::Task<int> runSync(HeadlessSession& session, Command command) {
    auto& console = session.console();
    if (!operandIsFolder(console, command, "sync"))
        co_return exitUsage;
    const QFileInfo folder(command.operands.first());
    if (!co_await session.signIn())
        co_return exitUsage;
    auto& workspace = session.workspace();
    co_await workspace.source().refresh();
    if (!workspace.library().lastCompleteListing())
        co_return exitFailed;
    // The scan of the folder gives every clip its delivery state against that listing.
    auto& localFolder = workspace.localFolder();
    localFolder.setIncludeSubfolders(command.recursive);
    localFolder.setFolderURL(QUrl::fromLocalFile(folder.absoluteFilePath()));
    co_await localFolder.load();
    auto& delivery = workspace.delivery();
    auto& queue = workspace.uploadQueue();
    const QList<QUrl>& clips = localFolder.videoURLs();
    const QStringList folderFiles = pathsOf(clips);

    if (command.dryRun) {
        auto candidates = delivery.uploadCandidates(clips);
        QList<QUrl> kept;
        if (!command.replaceChanged)
            std::swap(kept, candidates.changed);
        QString plan;
        const auto add = [&plan](const char* action, const QList<QUrl>& files) {
            for (const auto& file : files)
                plan += QLatin1String(action) + QLatin1Char('\t') + printable(file.toLocalFile()) +
                        QLatin1Char('\n');
        };
        add("upload", candidates.missing);
        add("replace", candidates.changed);
        add("keep", kept);
        console.out(plan);
        co_return exitDone;
    }
    std::function<void()> start = [&queue, &delivery, &console, &clips, folderFiles, command] {
        // What an earlier run left of these clips goes on first; those files then show as
        // uploading and are no candidates of their own.
        queue.resumeUnfinished(folderFiles);
        // Clips in flight that this run does not hold are another process's: the queue
        // says so when handed them.
        QList<QUrl> elsewhere;
        for (const auto& file : notListed(queue, clips))
            if (delivery.status(file).state == Delivery::uploading)
                elsewhere.append(file);
        if (!elsewhere.isEmpty())
            queue.startUploadBatch(elsewhere);
        auto candidates = delivery.uploadCandidates(clips);
        if (!command.replaceChanged) {
            for (const auto& file : candidates.changed)
                console.error(
                    QStringLiteral("clipferry sync: changed since its upload, left as it is "
                                   "(--replace-changed uploads it again): ") +
                    printable(file.toLocalFile()));
            candidates.changed.clear();
        }
        delivery.startDelivery(candidates, DeliveryTracker::ChangedClips::replace);
    };
    co_return co_await deliverAndExport(session, std::move(start));
}

} // namespace clipferry::cli
