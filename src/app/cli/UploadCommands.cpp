#include "Commands.h"
#include "Console.h"
#include "HeadlessSession.h"

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

// Runs one batch to the end of its export; failed when any file or the export failed.
QCoro::Task<int> uploadBatch(HeadlessSession& session, QList<QUrl> files) {
    auto& viewModel = session.viewModel();
    auto& console = session.console();
    const auto progress = QObject::connect(
        &viewModel, &UploadViewModel::uploadChanged, &viewModel,
        [&](qsizetype index) { console.progress(progressLine(viewModel, index)); });
    viewModel.startUploadBatch(files);
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
    co_return co_await uploadBatch(session, std::move(urls));
}

} // namespace clipferry::cli
