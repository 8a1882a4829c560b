#pragma once

#include "ui/library/LibraryNode.h"

#include <QSet>
#include <QUrl>
#include <functional>
#include <memory>
#include <variant>

namespace clipferry {

// The library's list grouped by city (and, inside, by animation) once per list change,
// so that a new search text or city table only refilters through the grouping functions.
class LibraryCatalog {
public:
    // What marks a video as new or modified.
    struct Markers {
        const QSet<QString>* assets = nullptr;
        const QSet<QUrl>* files = nullptr;
    };

    void setVideos(const QList<MuxAsset>& assets);
    void setVideos(const QList<LocalVideo>& videos);
    // Service videos grouped elsewhere, e.g. as they were read.
    void setGrouping(Grouping<MuxAsset> byCity) { m_byCity = std::move(byCity); }

    // The delivery state of a local clip, and which states the tree shows.
    struct DeliveryView {
        std::function<DeliveryStatus(const LocalVideo&)> statusOf;
        DeliveryFilter filter = DeliveryFilter::all;
    };

    // Cities -> animations -> videos as the library shows them for this search text. With
    // a filter, animations and cities left without a clip are not shown.
    [[nodiscard]] std::unique_ptr<LibraryNode> buildTree(const CityMap& cityMap,
                                                         const QString& search, Markers markers,
                                                         const DeliveryView& delivery) const;

private:
    std::variant<Grouping<MuxAsset>, Grouping<LocalVideo>> m_byCity;
};

} // namespace clipferry
