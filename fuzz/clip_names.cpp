#include "FuzzCheck.h"
#include "workflow/AnimationGrouping.h"

// Input: a search text, then one clip name per line. Any names must group without losing
// or inventing a clip, and every question the library asks of the grouping must answer.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace clipferry;
    QStringList lines = QString::fromUtf8(fuzz::bytesOf(data, size)).split(QLatin1Char('\n'));
    const QString search = lines.takeFirst();
    QList<MuxAsset> assets;
    for (const QString& name : lines) {
        const VideoNameParts parts = parseVideoName(name);
        const QStringList pieces{parts.element, parts.animation, parts.city, parts.match,
                                 parts.fileName};
        const qsizetype used = std::min<qsizetype>(name.count(QLatin1Char('_')) + 1, 5);
        fuzz::check(pieces.mid(0, used).join(QLatin1Char('_')) ==
                        name.section(QLatin1Char('_'), 0, 4),
                    "a name's parts are its first five underscore pieces");
        (void)displayTitle(name);
        MuxAsset asset;
        asset.id = QString::number(assets.size());
        asset.passthrough = name;
        assets.append(asset);
    }
    const auto byCity = groupByCity(assets);
    qsizetype grouped = 0;
    for (qsizetype i = 0; i < byCity.keys.size(); ++i) {
        const QString& city = byCity.keys[i];
        fuzz::check(byCity.find(city) == &byCity.groups[i], "a city finds its own group");
        qsizetype inAnimations = 0;
        for (const auto& group : byCity.byAnimation[i].groups)
            inAnimations += group.size();
        fuzz::check(inAnimations == byCity.groups[i].size(), "animations hold the city's clips");
        grouped += byCity.groups[i].size();
        for (const QString& animation : byCity.byAnimation[i].keys) {
            const auto progress = animationProgress(city, animation, byCity, defaultCityMap());
            (void)progressText(progress);
            fuzz::check(visibleVideos(city, animation, byCity, search).size() <= progress.count,
                        "a search shows no more clips than there are");
        }
        (void)visibleAnimations(city, byCity, search);
    }
    fuzz::check(grouped == assets.size(), "every clip is in exactly one city");
    (void)visibleCities(byCity, defaultCityMap(), search);
    return 0;
}
