#include "workflow/AnimationGrouping.h"

#include "model/DisplayText.h"

#include <QLocale>
#include <algorithm>
#include <optional>

namespace clipferry {
namespace {

// Text below U+0300 is always in NFC, so the common ASCII and Latin-1 names skip the
// normalizer (and keep sharing their data).
QString nfc(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() >= 0x300)
            return text.normalized(QString::NormalizationForm_C);
    }
    return text;
}

// Orders by code point. UTF-16 units order the same except that U+E000..U+FFFF sort
// above the surrogates, so only the first differing unit needs fixing.
int compareScalars(QStringView a, QStringView b) {
    const auto common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x == y)
            continue;
        const auto rank = [](char16_t unit) -> char32_t {
            if (unit >= 0xE000)
                return unit - 0x800;
            if (unit >= 0xD800)
                return unit + 0x2000;
            return unit;
        };
        return rank(x) < rank(y) ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

void sortKeys(QStringList& keys) {
    std::sort(keys.begin(), keys.end(),
              [](const QString& a, const QString& b) { return compareScalars(a, b) < 0; });
}

QString lastPathComponent(const QString& path) {
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == QLatin1Char('/'))
        --end;
    if (end == 0)
        return QString();
    const auto slash = path.lastIndexOf(QLatin1Char('/'), end - 1);
    if (slash == 0 && end == 1)
        return path.left(1);
    return path.mid(slash + 1, end - slash - 1);
}

bool usesTurkicCasing(const QLocale& locale) {
    return locale.language() == QLocale::Turkish || locale.language() == QLocale::Azerbaijani;
}

// One search text prepared once, so that filtering thousands of names does not
// normalise, trim or consult the locale again for each of them.
class Query {
public:
    explicit Query(const QString& search)
        : m_raw(nfc(search))
        , m_trimmed(nfc(search.trimmed()))
        , m_active(!search.isEmpty()) {
        const QLocale locale;
        if (usesTurkicCasing(locale)) {
            m_locale = locale;
            m_rawLower = m_locale->toLower(m_raw);
            m_trimmedLower = m_locale->toLower(m_trimmed);
        }
    }

    [[nodiscard]] bool active() const { return m_active; }
    [[nodiscard]] bool trimmedIsEmpty() const { return m_trimmed.isEmpty(); }
    // Both haystacks must be in NFC already.
    [[nodiscard]] bool rawIn(const QString& haystack) const {
        return contains(haystack, m_raw, m_rawLower);
    }
    [[nodiscard]] bool trimmedIn(const QString& haystack) const {
        return contains(haystack, m_trimmed, m_trimmedLower);
    }

private:
    [[nodiscard]] bool contains(const QString& haystack, const QString& needle,
                                const QString& lowerNeedle) const {
        if (needle.isEmpty())
            return false;
        // Unicode case folding is locale-free; only the Turkic dotted and dotless i
        // need the locale's own lower-casing.
        if (m_locale)
            return m_locale->toLower(haystack).contains(lowerNeedle);
        return haystack.contains(needle, Qt::CaseInsensitive);
    }

    QString m_raw;
    QString m_trimmed;
    bool m_active = false;
    std::optional<QLocale> m_locale;
    QString m_rawLower;
    QString m_trimmedLower;
};

ParsedName parsedName(const QString& text) {
    const auto normalized = nfc(text);
    return ParsedName{normalized, parseVideoName(normalized)};
}

bool anyPartIn(const VideoNameParts& parts, const Query& query) {
    return query.trimmedIn(parts.city) || query.trimmedIn(parts.animation) ||
           query.trimmedIn(parts.fileName) || query.trimmedIn(parts.element) ||
           query.trimmedIn(parts.match);
}

bool videoMatches(const MuxAsset& asset, const ParsedName& name, const Query& query) {
    if (query.trimmedIsEmpty())
        return true;
    if (asset.passthrough && query.trimmedIn(name.text))
        return true;
    if (anyPartIn(name.parts, query))
        return true;
    const auto playbackID = asset.firstPlaybackID();
    return playbackID && query.trimmedIn(nfc(*playbackID));
}

bool videoMatches(const LocalVideo&, const ParsedName& name, const Query& query) {
    if (query.trimmedIsEmpty())
        return true;
    return query.trimmedIn(name.text) || anyPartIn(name.parts, query);
}

template <typename Video>
void append(Grouping<Video>& grouping, const QString& key, const Video& video,
            const ParsedName& name) {
    auto found = grouping.index.constFind(key);
    qsizetype position = 0;
    if (found == grouping.index.constEnd()) {
        position = grouping.keys.size();
        grouping.index.insert(key, position);
        grouping.keys.append(key);
        grouping.groups.emplace_back();
        grouping.names.emplace_back();
    } else {
        position = *found;
    }
    grouping.groups[position].append(video);
    grouping.names[position].append(name);
}

template <typename Video>
Grouping<Video> animationsOf(const QList<Video>& videos, const QList<ParsedName>& names) {
    Grouping<Video> grouping;
    for (qsizetype i = 0; i < videos.size(); ++i)
        append(grouping, names[i].parts.animation, videos[i], names[i]);
    return grouping;
}

// The city's group split by animation: precomputed by groupByCity, or made here for a
// grouping built some other way.
template <typename Video>
class CityAnimations {
public:
    CityAnimations(const Grouping<Video>& byCity, qsizetype city) {
        if (static_cast<std::size_t>(city) < byCity.byAnimation.size()) {
            m_grouping = &byCity.byAnimation[static_cast<std::size_t>(city)];
        } else {
            m_local = animationsOf(byCity.groups[city], byCity.names[city]);
            m_grouping = &m_local;
        }
    }
    const Grouping<Video>& operator*() const { return *m_grouping; }
    const Grouping<Video>* operator->() const { return m_grouping; }

private:
    const Grouping<Video>* m_grouping = nullptr;
    Grouping<Video> m_local;
};

const CityInfo* findCity(const CityMap& cityMap, const QString& code) {
    const auto exact = cityMap.constFind(code);
    if (exact != cityMap.constEnd())
        return &*exact;
    const auto key = nfc(code);
    for (auto it = cityMap.constBegin(); it != cityMap.constEnd(); ++it) {
        if (nfc(it.key()) == key)
            return &*it;
    }
    return nullptr;
}

template <typename Video>
bool anyVideoMatches(const Grouping<Video>& grouping, qsizetype position, const Query& query) {
    const auto& videos = grouping.groups[position];
    const auto& names = grouping.names[position];
    for (qsizetype i = 0; i < videos.size(); ++i) {
        if (videoMatches(videos[i], names[i], query))
            return true;
    }
    return false;
}

template <typename Video>
bool cityMatches(const Grouping<Video>& byCity, qsizetype position, const CityMap& cityMap,
                 const Query& query) {
    const auto& code = byCity.keys[position];
    if (query.rawIn(code))
        return true;
    if (const auto* info = findCity(cityMap, code); info && query.rawIn(nfc(info->name)))
        return true;
    return anyVideoMatches(byCity, position, query);
}

template <typename Video>
bool animationMatches(const Grouping<Video>& animations, qsizetype position, const Query& query) {
    return query.rawIn(animations.keys[position]) || anyVideoMatches(animations, position, query);
}

} // namespace

template <typename Video>
qsizetype Grouping<Video>::indexOf(const QString& key) const {
    return index.value(nfc(key), -1);
}

template <typename Video>
const QList<Video>* Grouping<Video>::find(const QString& key) const {
    const auto position = indexOf(key);
    return position < 0 ? nullptr : &groups[position];
}

VideoNameParts parseVideoName(const QString& name) {
    VideoNameParts parts;
    QString* const pieces[] = {&parts.element, &parts.animation, &parts.city, &parts.match,
                               &parts.fileName};
    qsizetype start = 0;
    for (QString* piece : pieces) {
        const auto underscore = name.indexOf(QLatin1Char('_'), start);
        if (underscore < 0) {
            *piece = start == 0 ? name : name.mid(start);
            break;
        }
        *piece = name.mid(start, underscore - start);
        start = underscore + 1;
    }
    return parts;
}

QString nameText(const MuxAsset& asset) {
    return asset.passthrough.value_or(QString());
}

QString nameText(const LocalVideo& video) {
    return withoutExtension(video.url.fileName());
}

QString displayTitle(const QString& fileName) {
    return withoutExtension(lastPathComponent(fileName));
}

QString expansionKey(const QString& city, const QString& animation) {
    return city + QLatin1Char('|') + animation;
}

bool libraryKeyLess(const QString& a, const QString& b) {
    return compareScalars(nfc(a), nfc(b)) < 0;
}

bool textContains(const QString& haystack, const QString& needle) {
    if (needle.isEmpty())
        return false;
    const auto hay = nfc(haystack);
    const auto pin = nfc(needle);
    const QLocale locale;
    if (usesTurkicCasing(locale))
        return locale.toLower(hay).contains(locale.toLower(pin));
    return hay.contains(pin, Qt::CaseInsensitive);
}

bool isSearchActive(const QString& search) {
    return !search.isEmpty();
}

template <typename Video>
Grouping<Video> groupByCity(const QList<Video>& videos) {
    Grouping<Video> byCity;
    for (const auto& video : videos) {
        const auto name = parsedName(nameText(video));
        append(byCity, name.parts.city, video, name);
    }
    byCity.byAnimation.reserve(static_cast<std::size_t>(byCity.keys.size()));
    for (qsizetype i = 0; i < byCity.keys.size(); ++i)
        byCity.byAnimation.push_back(animationsOf(byCity.groups[i], byCity.names[i]));
    return byCity;
}

template <typename Video>
Grouping<Video> groupByAnimation(const QList<Video>& videos) {
    Grouping<Video> byAnimation;
    for (const auto& video : videos) {
        const auto name = parsedName(nameText(video));
        append(byAnimation, name.parts.animation, video, name);
    }
    return byAnimation;
}

bool videoMatchesSearch(const MuxAsset& asset, const QString& search) {
    return videoMatches(asset, parsedName(nameText(asset)), Query(search));
}

bool videoMatchesSearch(const LocalVideo& video, const QString& search) {
    return videoMatches(video, parsedName(nameText(video)), Query(search));
}

template <typename Video>
bool cityMatchesSearch(const QString& city, const Grouping<Video>& byCity, const CityMap& cityMap,
                       const QString& search) {
    const Query query(search);
    const auto position = byCity.indexOf(city);
    if (position >= 0)
        return cityMatches(byCity, position, cityMap, query);
    // A code without videos can still match by its code or its table entry.
    if (query.rawIn(nfc(city)))
        return true;
    const auto* info = findCity(cityMap, city);
    return info && query.rawIn(nfc(info->name));
}

template <typename Video>
bool animationMatchesSearch(const QString& city, const QString& animation,
                            const Grouping<Video>& byCity, const QString& search) {
    const Query query(search);
    const auto cityPosition = byCity.indexOf(city);
    if (cityPosition < 0)
        return query.rawIn(nfc(animation));
    const CityAnimations<Video> animations(byCity, cityPosition);
    const auto position = animations->indexOf(animation);
    if (position < 0)
        return query.rawIn(nfc(animation));
    return animationMatches(*animations, position, query);
}

template <typename Video>
QStringList visibleCities(const Grouping<Video>& byCity, const CityMap& cityMap,
                          const QString& search) {
    const Query query(search);
    QStringList cities;
    if (!query.active()) {
        cities = byCity.keys;
    } else {
        for (qsizetype i = 0; i < byCity.keys.size(); ++i) {
            if (cityMatches(byCity, i, cityMap, query))
                cities.append(byCity.keys[i]);
        }
    }
    sortKeys(cities);
    return cities;
}

template <typename Video>
QStringList visibleAnimations(const QString& city, const Grouping<Video>& byCity,
                              const QString& search) {
    const auto cityPosition = byCity.indexOf(city);
    if (cityPosition < 0)
        return {};
    const Query query(search);
    const CityAnimations<Video> animations(byCity, cityPosition);
    QStringList names;
    if (!query.active()) {
        names = animations->keys;
    } else {
        for (qsizetype i = 0; i < animations->keys.size(); ++i) {
            if (animationMatches(*animations, i, query))
                names.append(animations->keys[i]);
        }
    }
    sortKeys(names);
    return names;
}

template <typename Video>
QList<Video> visibleVideos(const QString& city, const QString& animation,
                           const Grouping<Video>& byCity, const QString& search) {
    const auto cityPosition = byCity.indexOf(city);
    if (cityPosition < 0)
        return {};
    const CityAnimations<Video> animations(byCity, cityPosition);
    const auto position = animations->indexOf(animation);
    if (position < 0)
        return {};
    const auto& videos = animations->groups[position];
    const Query query(search);
    if (!query.active())
        return videos;
    const auto& names = animations->names[position];
    QList<Video> kept;
    for (qsizetype i = 0; i < videos.size(); ++i) {
        if (videoMatches(videos[i], names[i], query))
            kept.append(videos[i]);
    }
    return kept;
}

template <typename Video>
AnimationProgress animationProgress(const QString& city, const QString& animation,
                                    const Grouping<Video>& byCity, const CityMap& cityMap) {
    AnimationProgress progress;
    if (const auto cityPosition = byCity.indexOf(city); cityPosition >= 0) {
        const CityAnimations<Video> animations(byCity, cityPosition);
        if (const auto* videos = animations->find(animation))
            progress.count = videos->size();
    }
    if (const auto* info = findCity(cityMap, city)) {
        progress.required = info->requiredPerAnimation;
        progress.cityKnown = true;
    }
    return progress;
}

QString progressText(const AnimationProgress& progress) {
    if (!progress.cityKnown || progress.count >= progress.required)
        return QString();
    return QString::number(progress.count) + QLatin1Char('/') + QString::number(progress.required);
}

bool isComplete(const AnimationProgress& progress) {
    return progress.cityKnown && progress.count >= progress.required;
}

#define CLIPFERRY_INSTANTIATE_GROUPING(Video)                                                      \
    template struct Grouping<Video>;                                                               \
    template Grouping<Video> groupByCity<Video>(const QList<Video>&);                              \
    template Grouping<Video> groupByAnimation<Video>(const QList<Video>&);                         \
    template bool cityMatchesSearch<Video>(const QString&, const Grouping<Video>&, const CityMap&, \
                                           const QString&);                                        \
    template bool animationMatchesSearch<Video>(const QString&, const QString&,                    \
                                                const Grouping<Video>&, const QString&);           \
    template QStringList visibleCities<Video>(const Grouping<Video>&, const CityMap&,              \
                                              const QString&);                                     \
    template QStringList visibleAnimations<Video>(const QString&, const Grouping<Video>&,          \
                                                  const QString&);                                 \
    template QList<Video> visibleVideos<Video>(const QString&, const QString&,                     \
                                               const Grouping<Video>&, const QString&);            \
    template AnimationProgress animationProgress<Video>(const QString&, const QString&,            \
                                                        const Grouping<Video>&, const CityMap&);

CLIPFERRY_INSTANTIATE_GROUPING(MuxAsset)
CLIPFERRY_INSTANTIATE_GROUPING(LocalVideo)

#undef CLIPFERRY_INSTANTIATE_GROUPING

} // namespace clipferry
