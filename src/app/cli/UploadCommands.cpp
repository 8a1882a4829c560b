#include "app/cli/Commands.h"
#include "app/cli/Console.h"
#include "app/cli/HeadlessSession.h"
#include "workflow/DeliveryTracker.h"

#include <QCoro/QCoroSignal>
#include <QFileInfo>

// `upload`: one batch handed to the view model, as a drop does, and the wait for the sheet
// export that ends every batch.
namespace clipferry::cli {
namespace {

QString progressLine(const UploadViewModel& viewModel, qsizetype index) {
    const auto& item = viewModel.uploads().at(index);
    return QStringLiteral("[%1/%2] %3 \u2013 %4 %5 %")
        .arg(index + 1)
        .arg(viewModel.uploads().size())
        .arg(item.fileURL.fileName(), uploadStatusLabel(item.status))
        .arg(qRound(item.progress * 100));
}

// Runs the batch `start` begins to the end of its export; failed when any file or the
// export failed.
QCoro::Task<int> uploadBatch(HeadlessSession& session, std::function<void()> start) {
    auto& viewModel = session.viewModel();
    auto& console = session.console();
    const auto progress = QObject::connect(
        &viewModel, &UploadViewModel::uploadChanged, &viewModel,
        [&](qsizetype index) { console.progress(progressLine(viewModel, index)); });
    start();
    const bool exported = co_await qCoro(&viewModel, &UploadViewModel::sheetExportFinished);
    QObject::disconnect(progress);
    console.progress({});
    const bool anyFailed =
        std::any_of(viewModel.uploads().cbegin(), viewModel.uploads().cend(),
                    [](const UploadItem& item) { return item.status != UploadStatus::done; });
    co_return anyFailed || !exported ? exitFailed : exitDone;
}

} // namespace

QCoro::Task<int> runUpload(HeadlessSession& session, QStringList files) {
    // Checked before anything is sent: a typo must not leave half a batch on the service.
    QList<QUrl> urls;
    for (const auto& file : files) {
        const QFileInfo info(file);
        if (!info.isFile() || !info.isReadable()) {
            session.console().error(QStringLiteral("clipferry upload: cannot read the file ") +
                                    file + QLatin1Char('\n') + usageLine(Subcommand::upload));
            co_return exitUsage;
        }
        urls.append(QUrl::fromLocalFile(info.absoluteFilePath()));
    }
    if (!co_await session.signIn())
        co_return exitUsage;
    auto& viewModel = session.viewModel();
    // Named first: g++ 12 destroys a temporary inside a co_await expression twice.
    std::function<void()> start = [&viewModel, urls] {
        viewModel.startUploadBatch(urls);
    };
    co_return co_await uploadBatch(session, std::move(start));
}

QCoro::Task<int> runSync(HeadlessSession& session, Command command) {
    auto& console = session.console();
    const QFileInfo folder(command.operands.first());
    if (!folder.isDir()) {
        console.error(QStringLiteral("clipferry sync: not a folder: ") + folder.filePath() +
                      QLatin1Char('\n') + usageLine(Subcommand::sync));
        co_return exitUsage;
    }
    if (!co_await session.signIn())
        co_return exitUsage;
    auto& viewModel = session.viewModel();
    co_await viewModel.refreshLibrary();
    if (!viewModel.lastCompleteListing())
        co_return exitFailed;
    // The scan of the folder gives every clip its delivery state against that listing.
    viewModel.setIncludeSubfolders(command.recursive);
    viewModel.setLocalFolderURL(QUrl::fromLocalFile(folder.absoluteFilePath()));
    co_await viewModel.loadLocalVideos();
    auto& delivery = viewModel.delivery();
    auto candidates = delivery.uploadCandidates(viewModel.localVideoURLs());
    QList<QUrl> kept;
    if (!command.replaceChanged)
        std::swap(kept, candidates.changed);

    if (command.dryRun) {
        QString plan;
        const auto add = [&plan](const char* action, const QList<QUrl>& files) {
            for (const auto& file : files)
                plan += QLatin1String(action) + QLatin1Char('\t') + file.toLocalFile() +
                        QLatin1Char('\n');
        };
        add("upload", candidates.missing);
        add("replace", candidates.changed);
        add("keep", kept);
        console.out(plan);
        co_return exitDone;
    }
    for (const auto& file : kept)
        console.error(QStringLiteral("clipferry sync: changed since its upload, left as it is "
                                     "(--replace-changed uploads it again): ") +
                      file.toLocalFile());
    if (candidates.size() == 0)
        co_return exitDone;
    std::function<void()> start = [&delivery, candidates] {
        delivery.startDelivery(candidates, DeliveryTracker::ChangedClips::replace);
    };
    co_return co_await uploadBatch(session, std::move(start));
}

} // namespace clipferry::cli
