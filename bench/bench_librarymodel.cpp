// Rebuild of the library tree for 10,000 assets in 40 cities × 25 animations, and its
// refilter for a one-letter search. Prints median milliseconds; asserts nothing.
#include "GeneratedLibrary.h"
#include "model/CredentialStore.h"
#include "ui/library/LibraryModel.h"
#include "workflow/ActivityLog.h"
#include "workflow/UploadViewModel.h"
#include "workflow/Workspace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace clipferry;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Step>
double measure(int runs, Step step) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step(i);
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);

    CityMap cities;
    QList<MuxAsset> assets;
    QSet<QString> changed;
    for (int c = 0; c < 40; ++c) {
        const QString code = QStringLiteral("C%1").arg(c, 2, 10, QLatin1Char('0'));
        cities.insert(code, {QStringLiteral("City %1").arg(c), QStringLiteral("#336699"), 10});
    }
    assets = bench::generatedLibrary(10000);
    for (int i = 0; i < assets.size(); i += 10)
        changed.insert(assets[i].id);

    QNetworkAccessManager network;
    const CredentialStore credentials(QStringLiteral("Clipferry bench"),
                                      std::chrono::milliseconds(1));
    ActivityLog log;
    Workspace workspace(log, network, credentials, Workspace::defaultOptions());
    UploadViewModel viewModel(PlatformConfig{}, workspace);
    viewModel.setCityMap(cities);
    LibraryModel model(viewModel);

    // A new listing: regroup and rebuild (what a refresh costs).
    const double rebuild = measure(15, [&](int run) {
        auto list = assets;
        list.detach(); // a fresh listing, not the same shared list
        viewModel.setFixtureLibrary(std::move(list), run % 2 ? changed : QSet<QString>{});
    });
    int rows = 0;
    for (int c = 0; c < model.rowCount(); ++c)
        for (int a = 0; a < model.rowCount(model.index(c, 0)); ++a)
            rows += model.rowCount(model.index(a, 0, model.index(c, 0)));

    // A keystroke: refilter only.
    const double filter = measure(31, [&](int run) {
        model.setSearchText(run % 2 ? QStringLiteral("a") : QStringLiteral("A"));
    });
    model.setSearchText(QStringLiteral("7"));
    const double narrow = measure(31, [&](int run) {
        model.setSearchText(run % 2 ? QStringLiteral("7") : QStringLiteral("9"));
    });

    std::printf("library tree: %d videos, %d cities\n", rows, model.rowCount());
    std::printf("rebuild for a new listing:       %.2f ms (median of 15)\n", rebuild);
    std::printf("refilter, one letter \"a\":      %.2f ms (median of 31)\n", filter);
    std::printf("refilter, narrowing one letter:  %.2f ms (median of 31)\n", narrow);
    return 0;
}
