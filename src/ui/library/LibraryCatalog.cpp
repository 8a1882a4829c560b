#include "LibraryCatalog.h"

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

template <typename Video>
void addCities(LibraryNode& root, const Grouping<Video>& byCity, const CityMap& cityMap,
               const QString& search, LibraryCatalog::Markers markers) {
    for (const QString& code : visibleCities(byCity, cityMap, search)) {
        const CityInfo* info = findCity(cityMap, code);
        const QColor color = info ? QColor::fromString(info->color) : QColor();
        LibraryNode* city = root.addChild(CitySection{code, info ? info->name : code, color});
        for (const QString& animation : visibleAnimations(code, byCity, search)) {
            const AnimationProgress progress = animationProgress(code, animation, byCity, cityMap);
            LibraryNode* group = city->addChild(
                AnimationGroup{code, animation, expansionKey(code, animation), progress, color});
            const QList<Video> videos = visibleVideos(code, animation, byCity, search);
            group->children.reserve(static_cast<std::size_t>(videos.size()));
            for (const Video& video : videos)
                group->addChild(VideoEntry{LibraryVideo(video), isMarked(video, markers)});
        }
    }
}

} // namespace

void LibraryCatalog::setVideos(const QList<MuxAsset>& assets) {
    m_byCity = groupByCity(assets);
}

void LibraryCatalog::setVideos(const QList<LocalVideo>& videos) {
    m_byCity = groupByCity(videos);
}

std::unique_ptr<LibraryNode>
LibraryCatalog::buildTree(const CityMap& cityMap, const QString& search, Markers markers) const {
    auto root = std::make_unique<LibraryNode>();
    std::visit([&](const auto& byCity) { addCities(*root, byCity, cityMap, search, markers); },
               m_byCity);
    return root;
}

} // namespace clipferry
