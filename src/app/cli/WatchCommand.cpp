#include "app/TestSeams.h"
#include "app/cli/Commands.h"
#include "app/cli/Console.h"
#include "app/cli/HeadlessSession.h"
#include "app/cli/StopSignals.h"
#include "workflow/UploadQueue.h"
#include "workflow/WatchDelivery.h"

#include <QCoro/QCoroSignal>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

// `watch`: a render machine's unattended delivery. It runs until a signal stops it; the
// uploads then in flight stay in the ledger, owned by a process that is gone, and the next
// run takes them over from the stage they reached.
namespace clipferry::cli {
namespace {

QString waitingLine(const WatchDelivery& watch, const UploadQueue& queue) {
    for (const auto& item : queue.items())
        if (item.status != UploadStatus::done && item.status != UploadStatus::failed &&
            item.status != UploadStatus::cancelled && item.status != UploadStatus::pending)
            return QStringLiteral("%1 \u2013 %2 %3 %")
                .arg(printable(item.fileURL.fileName()), uploadStatusLabel(item.status))
                .arg(qRound(item.progress * 100));
    if (!watch.claim().isHeld())
        return QStringLiteral("Waiting for %1 to stop watching this folder")
            .arg(printable(watch.claim().holder()));
    const auto unsettled = watch.watcher().unsettled();
    if (unsettled.isEmpty())
        return QStringLiteral("Watching %1 for new clips")
            .arg(printable(watch.options().watch.folder));
    const auto& first = unsettled.first();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(first.unchangedFor);
    QString line =
        QStringLiteral("Waiting for %1 to settle (unchanged for %2 of %3 s)")
            .arg(printable(QFileInfo(first.path).fileName()))
            .arg(seconds.count())
            .arg(std::chrono::duration_cast<std::chrono::seconds>(watch.options().watch.settle)
                     .count());
    if (unsettled.size() > 1)
        line += QStringLiteral(" and %1 more").arg(unsettled.size() - 1);
    return line;
}

} // namespace

QCoro::Task<int> runWatch(HeadlessSession& session, Command command) {
    auto& console = session.console();
    if (!operandIsFolder(console, command, "watch"))
        co_return exitUsage;
    const QFileInfo folder(command.operands.first());
    StopSignals stop;
    if (!stop.isValid()) {
        console.error(QStringLiteral("clipferry watch: cannot take the stop signals."));
        co_return exitFailed;
    }
    if (!co_await session.signIn())
        co_return exitUsage;

    auto& workspace = session.workspace();
    WatchDelivery::Options options;
    options.watch.folder = folder.absoluteFilePath();
    options.watch.recursive = command.recursive;
    options.watch.settle = std::chrono::seconds(command.settleSeconds);
    options.replaceChanged = command.replaceChanged;
    applyWatchTestSeams(options);
    WatchDelivery watch(
        {workspace.library(), workspace.credentials(), workspace.delivery(), workspace.log()},
        options);

    // One line per clip that ends, for a script or the journal.
    QSet<QUuid> reported;
    const auto& queue = workspace.uploadQueue();
    QObject::connect(&queue, &UploadQueue::itemChanged, &watch, [&](qsizetype index) {
        const UploadItem& item = queue.items().at(index);
        const bool done = item.status == UploadStatus::done;
        if ((!done && item.status != UploadStatus::failed) || reported.contains(item.id))
            return;
        reported.insert(item.id);
        console.out((done ? QStringLiteral("delivered\t") : QStringLiteral("failed\t")) +
                    printable(item.fileURL.toLocalFile()) + QLatin1Char('\t') +
                    printable(done ? item.playbackURL.value_or(QString())
                                   : item.error.value_or(QString())) +
                    QLatin1Char('\n'));
    });
    QObject::connect(&watch, &WatchDelivery::changedAfterDelivery, &watch, [&](const QUrl& file) {
        console.out(QStringLiteral("changed\t") + printable(file.toLocalFile()) +
                    QLatin1Char('\n'));
    });

    // On a terminal, one line says what the run waits for; the seconds of a settling clip
    // tick only while there is one, so an idle watcher stays asleep.
    QTimer ticker;
    ticker.setInterval(1000);
    const auto redraw = [&] {
        console.progress(waitingLine(watch, queue));
        const bool settling = !watch.watcher().unsettled().isEmpty();
        if (settling && !ticker.isActive())
            ticker.start();
        else if (!settling)
            ticker.stop();
    };
    if (console.showsProgress()) {
        QObject::connect(&ticker, &QTimer::timeout, &watch, redraw);
        QObject::connect(&watch, &WatchDelivery::waitingChanged, &watch, redraw);
        QObject::connect(&queue, &UploadQueue::itemChanged, &watch, redraw);
    }

    watch.start();
    co_await qCoro(&stop, &StopSignals::stopRequested);
    console.progress({});
    console.error(QStringLiteral("clipferry watch: stopped; unfinished uploads go on at the "
                                 "next run."));
    co_return exitDone;
}

} // namespace clipferry::cli
