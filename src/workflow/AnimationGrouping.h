#pragma once

#include "model/CityInfo.h"
#include "service/MuxRecords.h"
#include "workflow/LocalVideo.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <variant>
#include <vector>

// Clip names follow element_animation_city_match_fileName. Everything the library shows
// about cities and animations is computed here, from the lists, the city table and the
// search text; nothing is stored. No toolkit beyond Qt Core.
//
// Typical use per redraw: byCity = groupByCity(list) once when the list changes, then
// visibleCities / visibleAnimations / visibleVideos / animationProgress per keystroke.
namespace clipferry {

using LibraryVideo = std::variant<MuxAsset, LocalVideo>;

struct VideoNameParts {
    QString city;
    QString animation;
    QString fileName;
    QString element;
    QString match;

    friend bool operator==(const VideoNameParts&, const VideoNameParts&) = default;
};

// A video's name text with its parsed parts, both in NFC, kept next to the video in a
// grouping so that searching and sub-grouping never parse a name twice.
struct ParsedName {
    QString text;
    VideoNameParts parts;
};

} // namespace clipferry

// Plain bundles of implicitly shared texts: lists may move them with memmove when they grow.
Q_DECLARE_TYPEINFO(clipferry::VideoNameParts, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(clipferry::ParsedName, Q_RELOCATABLE_TYPE);

namespace clipferry {

struct AnimationProgress {
    qint64 count = 0;
    qint64 required = 0;
    bool cityKnown = false;

    friend bool operator==(const AnimationProgress&, const AnimationProgress&) = default;
};

// Key -> videos in input order, with the keys in first-seen order. Canonically
// equivalent keys are one key: keys are stored in NFC, and `find` accepts any form.
template <typename Video>
struct Grouping {
    QStringList keys;
    QList<QList<Video>> groups;
    // names[i][j] is the parsed name of groups[i][j].
    QList<QList<ParsedName>> names;
    // Only in a city grouping: byAnimation[i] is groups[i] grouped by animation.
    std::vector<Grouping> byAnimation;
    // NFC key -> position in `keys`.
    QHash<QString, qsizetype> index;

    [[nodiscard]] qsizetype indexOf(const QString& key) const;
    [[nodiscard]] const QList<Video>* find(const QString& key) const;
};

[[nodiscard]] VideoNameParts parseVideoName(const QString& name);
[[nodiscard]] QString nameText(const MuxAsset& asset);
[[nodiscard]] QString nameText(const LocalVideo& video);
[[nodiscard]] QString displayTitle(const QString& fileName);
[[nodiscard]] QString expansionKey(const QString& city, const QString& animation);

// Cities and animations sort by Unicode scalar values after NFC, case-sensitively.
[[nodiscard]] bool libraryKeyLess(const QString& a, const QString& b);

// Case-insensitive containment under the current locale, canonically equivalent forms
// being equal; the empty needle is in nothing.
[[nodiscard]] bool textContains(const QString& haystack, const QString& needle);
// A search is active when the raw text has at least one character, blanks included.
[[nodiscard]] bool isSearchActive(const QString& search);

// The grouping functions, for both kinds of video (MuxAsset and LocalVideo).
// groupByCity also fills `byAnimation`, so the per-city questions below cost no parsing.
template <typename Video>
[[nodiscard]] Grouping<Video> groupByCity(const QList<Video>& videos);
template <typename Video>
[[nodiscard]] Grouping<Video> groupByAnimation(const QList<Video>& videos);

[[nodiscard]] bool videoMatchesSearch(const MuxAsset& asset, const QString& search);
[[nodiscard]] bool videoMatchesSearch(const LocalVideo& video, const QString& search);
template <typename Video>
[[nodiscard]] bool cityMatchesSearch(const QString& city, const Grouping<Video>& byCity,
                                     const CityMap& cityMap, const QString& search);
template <typename Video>
[[nodiscard]] bool animationMatchesSearch(const QString& city, const QString& animation,
                                          const Grouping<Video>& byCity, const QString& search);
template <typename Video>
[[nodiscard]] QStringList visibleCities(const Grouping<Video>& byCity, const CityMap& cityMap,
                                        const QString& search);
template <typename Video>
[[nodiscard]] QStringList visibleAnimations(const QString& city, const Grouping<Video>& byCity,
                                            const QString& search);
template <typename Video>
[[nodiscard]] QList<Video> visibleVideos(const QString& city, const QString& animation,
                                         const Grouping<Video>& byCity, const QString& search);
template <typename Video>
[[nodiscard]] AnimationProgress animationProgress(const QString& city, const QString& animation,
                                                  const Grouping<Video>& byCity,
                                                  const CityMap& cityMap);
// "count/required" while a known city is short of clips; empty when complete or unknown.
[[nodiscard]] QString progressText(const AnimationProgress& progress);
[[nodiscard]] bool isComplete(const AnimationProgress& progress);

// The templates are instantiated for MuxAsset and LocalVideo in AnimationGrouping.cpp.

} // namespace clipferry
