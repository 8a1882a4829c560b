#include "ui/library/LibraryCatalog.h"

namespace clipferry {
namespace {

bool isMarked(const MuxAsset& asset, LibraryCatalog::Markers markers) {
    return markers.assets && markers.assets->contains(asset.id);
}

bool isMarked(const LocalVideo& video, LibraryCatalog::Markers markers) {
    return markers.files && markers.files->contains(video.url);
}

const CityInfo* findCity(const CityMap& cityMap, const QString& code) {
    const auto it = cityMap.constFind(code);
    return it == cityMap.constEnd() ? nullptr : &*it;
}

DeliveryStatus statusOf(const MuxAsset&, const LibraryCatalog::DeliveryView&) {
    return {};
}

DeliveryStatus statusOf(const LocalVideo& video, const LibraryCatalog::DeliveryView& delivery) {
    return delivery.statusOf ? delivery.statusOf(video) : DeliveryStatus{};
}

// The clips of an animation on the service, whatever the search and filter show.
template <typename Video>
qsizetype deliveredCount(const QList<Video>& all, const LibraryCatalog::DeliveryView& delivery) {
    qsizetype delivered = 0;
    for (const Video& video : all) {
        const Delivery state = statusOf(video, delivery).state;
        if (state == Delivery::unknown)
            return -1;
        delivered += state == Delivery::onMux ? 1 : 0;
    }
    return delivered;
}

template <typename Video>
void addCities(LibraryNode& root, const Grouping<Video>& byCity, const CityMap& cityMap,
               const QString& search, LibraryCatalog::Markers markers,
               const LibraryCatalog::DeliveryView& delivery) {
    const bool filtering = delivery.filter != DeliveryFilter::all;
    for (const QString& code : visibleCities(byCity, cityMap, search)) {
        const CityInfo* info = findCity(cityMap, code);
        const QColor color = info ? QColor::fromString(info->color) : QColor();
        const QString name = info ? info->name : code.isEmpty() ? QStringLiteral("Unsorted") : code;
        LibraryNode* city = root.addChild(CitySection{code, name, color});
        for (const QString& animation : visibleAnimations(code, byCity, search)) {
            const AnimationProgress progress = animationProgress(code, animation, byCity, cityMap);
            AnimationGroup header{code, animation, expansionKey(code, animation), progress, color};
            header.delivered =
                deliveredCount(visibleVideos(code, animation, byCity, QString()), delivery);
            header.local = std::is_same_v<Video, LocalVideo>;
            LibraryNode* group = city->addChild(std::move(header));
            for (const Video& video : visibleVideos(code, animation, byCity, search)) {
                DeliveryStatus status = statusOf(video, delivery);
                if (filtering && !passesFilter(status.state, delivery.filter))
                    continue;
                const bool marked = isMarked(video, markers);
                std::get<AnimationGroup>(group->payload).newCount += marked ? 1 : 0;
                group->addChild(VideoEntry{LibraryVideo(video), marked, std::move(status)});
            }
            if (filtering && group->children.empty())
                city->children.pop_back();
        }
        if (filtering && city->children.empty())
            root.children.pop_back();
    }
}

} // namespace

void LibraryCatalog::setVideos(const QList<MuxAsset>& assets) {
    m_byCity = groupByCity(assets);
}

void LibraryCatalog::setVideos(const QList<LocalVideo>& videos) {
    m_byCity = groupByCity(videos);
}

std::unique_ptr<LibraryNode> LibraryCatalog::buildTree(const CityMap& cityMap,
                                                       const QString& search, Markers markers,
                                                       const DeliveryView& delivery) const {
    auto root = std::make_unique<LibraryNode>();
    std::visit(
        [&](const auto& byCity) { addCities(*root, byCity, cityMap, search, markers, delivery); },
        m_byCity);
    return root;
}

} // namespace clipferry
