// Start-up with a kept listing: the time until the window is shown, and until its rows are
// there, with 10,000 assets in the listing cache against none. Prints medians; asserts
// nothing. Run offscreen: QT_QPA_PLATFORM=offscreen bench/bench_startup
#include "GeneratedLibrary.h"
#include "model/CredentialStore.h"
#include "model/StateFolder.h"
#include "ui/MainWindow.h"
#include "workflow/ActivityLog.h"
#include "workflow/ListingCache.h"
#include "workflow/UploadViewModel.h"
#include "workflow/Workspace.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace clipferry;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double ms(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

struct Start {
    double shown = 0;
    double rows = -1; // -1: no rows within the wait
};

// From nothing to an exposed window, then to its first library rows.
Start startOnce(const QString& cacheFile) {
    QElapsedTimer timer;
    timer.start();
    QNetworkAccessManager network;
    const CredentialStore credentials(QStringLiteral("Clipferry bench"),
                                      std::chrono::milliseconds(1));
    auto options = Workspace::defaultOptions();
    options.apiBase = QUrl(QStringLiteral("http://127.0.0.1:1"));
    options.client.apiBase = options.apiBase;
    options.listingCacheFile = cacheFile;
    ActivityLog log;
    Workspace workspace(log, network, credentials, options);
    UploadViewModel viewModel(PlatformConfig{}, workspace);
    MainWindow window(viewModel, network, QUrl(QStringLiteral("http://127.0.0.1:1")));
    window.resize(1200, 700);
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    QCoreApplication::processEvents();
    Start start{ms(timer)};
    const auto* view = window.findChild<QAbstractItemView*>(QStringLiteral("libraryView"));
    QElapsedTimer wait;
    wait.start();
    while (view && view->model()->rowCount() == 0 && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    if (view && view->model()->rowCount() > 0)
        start.rows = ms(timer);
    else if (!cacheFile.endsWith(QLatin1String("none.json")))
        std::fprintf(stderr, "no rows: cached %d, shown %lld\n",
                     int(viewModel.showsCachedListing()),
                     qlonglong(viewModel.shownAssets().size()));
    window.close();
    return start;
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir home;
    for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, home.path().toUtf8());
    QApplication app(argc, argv);

    const QList<MuxAsset> assets = bench::generatedLibrary(10000);
    const QString cacheFile = home.path() + QStringLiteral("/MuxListing.json");
    if (!writeFileAtomically(cacheFile, encodeListing(assets))) {
        std::fputs("could not write the listing cache\n", stderr);
        return 1;
    }
    const QString noCache = home.path() + QStringLiteral("/none.json");

    std::vector<double> bareShown, keptShown, keptRows;
    startOnce(noCache); // warm-up: fonts, icons, styles
    for (int run = 0; run < 7; ++run) {
        bareShown.push_back(startOnce(noCache).shown);
        const Start kept = startOnce(cacheFile);
        keptShown.push_back(kept.shown);
        keptRows.push_back(kept.rows);
    }
    const double bare = median(bareShown);
    const double shown = median(keptShown);
    std::printf("window shown, no kept listing:        %.1f ms (median of 7)\n", bare);
    std::printf("window shown, 10,000 kept assets:     %.1f ms (%.2fx)\n", shown, shown / bare);
    std::printf("rows visible, 10,000 kept assets:     %.1f ms after start\n", median(keptRows));
    return 0;
}
