// Watching a render folder of 20,000 clips in 200 folders, all on the service already:
// memory and CPU while nothing happens, and the time from a new clip settling to its
// create-upload request reaching the stand-in. Optionally with fewer watches allowed than
// folders, to measure the periodic listing that then stands in.
//     bench_watch [folders] [clips per folder] [settle ms] [max watched folders]
#include "StandInService.h"
#include "TempHome.h"
#include "TestFiles.h"
#include "model/CredentialStore.h"
#include "workflow/ActivityLog.h"
#include "workflow/Credentials.h"
#include "workflow/LibrarySync.h"
#include "workflow/UploadQueue.h"
#include "workflow/WatchDelivery.h"
#include "workflow/Workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

using namespace clipferry;

namespace {

qint64 rssKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename Condition>
bool runUntil(Condition condition, int ms, int step = 5) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        runFor(step);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int folders = argc > 1 ? std::atoi(argv[1]) : 200;
    const int perFolder = argc > 2 ? std::atoi(argv[2]) : 100;
    const int settleMs = argc > 3 ? std::atoi(argv[3]) : 3000;
    const int maxWatched = argc > 4 ? std::atoi(argv[4]) : 0;
    TempHome home;
    StandInService service;
    if (!service.isRunning()) {
        std::fprintf(stderr, "stand-in: %s\n", qPrintable(service.errorString()));
        return 1;
    }
    // Every clip is on the service, uploaded after it was written: nothing to deliver.
    const int clips = folders * perFolder;
    (void)service.seedGeneratedAssets(clips, QStringLiteral("4102444800"), {}, QStringLiteral("c"));
    const auto root = home.path() + QStringLiteral("/renders");
    for (int i = 0; i < clips; ++i) {
        const auto folder = root + QStringLiteral("/shot%1").arg(i / perFolder);
        if (i % perFolder == 0)
            QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/c%1.mov").arg(i + 1, 4, 10, QLatin1Char('0')));
        (void)file.open(QIODevice::WriteOnly);
        (void)file.write("x");
    }

    QNetworkAccessManager network;
    CredentialStore store(QStringLiteral("ClipferryBench"), std::chrono::milliseconds(100));
    auto options = Workspace::defaultOptions();
    options.apiBase = service.baseUrl();
    options.client = service.clientOptions();
    options.sheetWebAppUrl = service.sheetWebAppUrl();
    options.headless = true;
    options.fixedTokens = std::pair{service.tokenID(), service.tokenSecret()};
    ActivityLog log;
    Workspace workspace(log, network, store, options);
    auto& library = workspace.library();
    auto& queue = workspace.uploadQueue();
    runUntil([&] { return workspace.credentials().isLoaded(); }, 10000);
    const qint64 rssBefore = rssKiB();

    QElapsedTimer timer;
    timer.start();
    WatchDelivery watch({library, workspace.credentials(), workspace.delivery(), log},
                        {.watch = {.folder = root,
                                   .recursive = true,
                                   .settle = std::chrono::milliseconds(settleMs),
                                   .maxWatchedFolders = maxWatched}});
    watch.start();
    const qint64 started = timer.elapsed();
    // The clips found at the start settle, are compared with a first listing, and none goes.
    runUntil([&] { return watch.watcher().unsettled().isEmpty() && library.lastCompleteListing(); },
             600000, 50);
    runFor(2000);
    std::printf("%d clips in %d folders: start %lld ms, all settled and listed after %lld ms; "
                "%d folders watched%s; uploads started: %lld\n",
                clips, folders, static_cast<long long>(started),
                static_cast<long long>(timer.elapsed()), watch.watcher().watchedFolders(),
                watch.watcher().isScanningPeriodically() ? " (periodic listing)" : "",
                static_cast<long long>(queue.items().size()));

    const int idleMs = 20000;
    const double cpuBefore = cpuSeconds();
    runFor(idleMs);
    const double idleCpu = cpuSeconds() - cpuBefore;
    std::printf("idle %d s: CPU %.3f s (%.2f %%), RSS %lld KiB (%lld KiB more than before the "
                "watch)\n",
                idleMs / 1000, idleCpu, 100.0 * idleCpu / (idleMs / 1000.0),
                static_cast<long long>(rssKiB()), static_cast<long long>(rssKiB() - rssBefore));

    for (int round = 0; round < 3; ++round) {
        const int creates =
            service.countRequests(QStringLiteral("POST"), QStringLiteral("/video/v1/uploads"));
        const auto path =
            root + QStringLiteral("/shot%1/new%2.mov").arg(round * 37 % folders).arg(round);
        (void)writeRandomFile(path, 2 * 1024 * 1024);
        timer.restart();
        const bool sent = runUntil(
            [&] {
                return service.countRequests(QStringLiteral("POST"),
                                             QStringLiteral("/video/v1/uploads")) > creates;
            },
            settleMs + 60000, 20);
        std::printf("new clip %d: create-upload request %lld ms after it was written, %lld ms "
                    "after its settle time%s\n",
                    round, static_cast<long long>(timer.elapsed()),
                    static_cast<long long>(timer.elapsed() - settleMs), sent ? "" : " (never)");
        runUntil([&] { return queue.pendingBatchUploads() == queue.completedBatchUploads(); },
                 60000, 50);
    }
    return 0;
}
