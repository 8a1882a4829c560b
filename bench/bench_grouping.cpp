// Grouping, filtering and sorting of a large library, as one keystroke in the search
// field costs it: visible cities, their animations, their videos and progress.
#include "workflow/AnimationGrouping.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <cstdio>

using namespace clipferry;

namespace {

QList<LocalVideo> library(int count) {
    const QStringList cities{"PAR", "LON", "NYC", "TOK", "BER", "ROM",
                             "MAD", "SYD", "RIO", "CAI", "lon", "S\u00C3O"};
    QRandomGenerator random(42);
    QList<LocalVideo> videos;
    videos.reserve(count);
    for (int i = 0; i < count; ++i) {
        const auto name = QStringLiteral("/show/clips/E%1_Animation%2_%3_M%4_take%5.mov")
                              .arg(random.bounded(9))
                              .arg(random.bounded(120))
                              .arg(cities[random.bounded(cities.size())])
                              .arg(random.bounded(64), 2, 10, QLatin1Char('0'))
                              .arg(i);
        videos.append(LocalVideo{QUrl::fromLocalFile(name)});
    }
    return videos;
}

// What the library view asks for one redraw of the whole tree.
qsizetype redraw(const Grouping<LocalVideo>& byCity, const CityMap& cityMap,
                 const QString& search) {
    qsizetype rows = 0;
    for (const auto& city : visibleCities(byCity, cityMap, search)) {
        for (const auto& animation : visibleAnimations(city, byCity, search)) {
            rows += visibleVideos(city, animation, byCity, search).size();
            rows += animationProgress(city, animation, byCity, cityMap).count > 0 ? 1 : 0;
        }
    }
    return rows;
}

template <typename F>
double millisecondsPerRun(int runs, F&& work) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i)
        work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6 / runs;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = 20;
    const auto videos = library(count);
    const auto cityMap = defaultCityMap();

    Grouping<LocalVideo> byCity;
    const double group = millisecondsPerRun(runs, [&] { byCity = groupByCity(videos); });
    qsizetype rows = 0;
    const double none = millisecondsPerRun(runs, [&] { rows = redraw(byCity, cityMap, {}); });
    const double letter =
        millisecondsPerRun(runs, [&] { rows = redraw(byCity, cityMap, QStringLiteral("a")); });
    const double narrow =
        millisecondsPerRun(runs, [&] { rows = redraw(byCity, cityMap, QStringLiteral("take99")); });
    const double keystroke = millisecondsPerRun(
        runs, [&] { rows = redraw(groupByCity(videos), cityMap, QStringLiteral("a")); });

    std::printf("videos: %d (%lld cities)\n", count, static_cast<long long>(byCity.keys.size()));
    std::printf("full parse and grouping:            %8.2f ms\n", group);
    std::printf("filter+sort, no search:             %8.2f ms\n", none);
    std::printf("filter+sort, search \"a\":            %8.2f ms\n", letter);
    std::printf("filter+sort, search \"take99\":       %8.2f ms\n", narrow);
    std::printf("re-parse + filter+sort, search \"a\": %8.2f ms\n", keystroke);
    return rows >= 0 ? 0 : 1;
}
