// Scanning a large folder tree: listing, change detection and the seen-state save, flat
// and recursive, through the view model as the library runs it.
#include "TempHome.h"
#include "model/CredentialStore.h"
#include "workflow/ActivityLog.h"
#include "workflow/UploadViewModel.h"
#include "workflow/Workspace.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QThreadPool>
#include <QTimer>
#include <cstdio>

using namespace clipferry;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int folders = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int perFolder = argc > 2 ? std::atoi(argv[2]) : 10;
    TempHome home;
    const auto root = home.path() + QStringLiteral("/clips");
    const char* names[] = {"a.mov", "b.MP4", "c.txt", "d.mkv", ".e.mp4"};
    int topLevel = 0;
    for (int f = 0; f < folders; ++f) {
        const auto folder = root + QStringLiteral("/f%1").arg(f);
        QDir().mkpath(folder);
        for (int i = 0; i < perFolder; ++i) {
            QFile file(folder + QStringLiteral("/E1_Op_PAR_M%1_").arg(i) + names[i % 5]);
            (void)file.open(QIODevice::WriteOnly);
        }
    }
    for (int i = 0; i < folders; ++i, ++topLevel) {
        QFile file(root + QStringLiteral("/top%1_").arg(i) + names[i % 5]);
        (void)file.open(QIODevice::WriteOnly);
    }

    QNetworkAccessManager network;
    CredentialStore store(QStringLiteral("ClipferryBench"), std::chrono::milliseconds(100));
    QThreadPool idle; // the metadata preload is not what is measured here
    idle.setMaxThreadCount(1);
    ActivityLog log;
    Workspace workspace(log, network, store, Workspace::defaultOptions());
    UploadViewModel viewModel(PlatformConfig{}, workspace);
    viewModel.setMetadataThreadPool(&idle);
    viewModel.setLocalFolderURL(QUrl::fromLocalFile(root));

    // The scan runs on a worker: the event loop's longest stall while it runs is what the
    // window would feel.
    QElapsedTimer timer;
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &app,
                     [&] { longestStall = std::max(longestStall, sinceTick.restart()); });
    for (bool recursive : {false, true, true}) {
        viewModel.setIncludeSubfolders(recursive);
        timer.start();
        sinceTick.start();
        longestStall = 0;
        ticker.start();
        QCoro::waitFor(viewModel.loadLocalVideos());
        ticker.stop();
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        std::fprintf(stderr, "%s: %lld videos in %.1f ms, event loop stalled at most %lld ms\n",
                     recursive ? "recursive" : "flat",
                     static_cast<long long>(viewModel.localVideoURLs().size()), ms,
                     static_cast<long long>(longestStall));
        idle.clear();
    }
    // The peer: the same tree walked by find(1), in the same run.
    QProcess find;
    timer.start();
    find.start(QStringLiteral("find"), {root, QStringLiteral("-type"), QStringLiteral("f")});
    find.waitForFinished(-1);
    std::fprintf(stderr, "find -type f: %lld entries in %.1f ms\n",
                 static_cast<long long>(find.readAllStandardOutput().count('\n')),
                 static_cast<double>(timer.nsecsElapsed()) / 1e6);
    std::fprintf(stderr, "entries: %d in %d folders (+%d at the top)\n", folders * perFolder,
                 folders, topLevel);
    return 0;
}
