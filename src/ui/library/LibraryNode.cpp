#include "ui/library/LibraryNode.h"

namespace clipferry {

LibraryNode* LibraryNode::addChild(decltype(payload) childPayload) {
    auto child = std::make_unique<LibraryNode>();
    child->payload = std::move(childPayload);
    child->parent = this;
    child->row = static_cast<int>(children.size());
    children.push_back(std::move(child));
    return children.back().get();
}

QString progressLabel(const AnimationGroup& group) {
    if (!group.progress.cityKnown)
        return {};
    if (group.local)
        return QStringLiteral("%1/%2 clips").arg(group.progress.count).arg(group.progress.required);
    return isComplete(group.progress) ? QStringLiteral("complete") : progressText(group.progress);
}

QStringList VideoCells::toList() const {
    return {title, fileName, element, match, resolution, duration, format};
}

VideoCells videoCells(const LibraryVideo& video) {
    return std::visit(
        [](const auto& v) {
            using Video = std::decay_t<decltype(v)>;
            const QString name = nameText(v);
            const VideoNameParts parts = parseVideoName(name);
            VideoCells cells;
            // A name against the convention has no file-name part: the row shows it whole.
            cells.title = displayTitle(parts.city.isEmpty() ? name : parts.fileName);
            cells.element = parts.element;
            cells.match = parts.match;
            if constexpr (std::is_same_v<Video, MuxAsset>) {
                cells.fileName = v.passthrough.value_or(QString());
                cells.resolution = v.resolutionText();
                cells.duration = v.durationText();
                cells.format = QStringLiteral("M3U8");
            } else {
                cells.fileName = name;
                cells.resolution = v.resolution();
                cells.duration = v.duration();
                cells.format = v.fileFormat();
            }
            return cells;
        },
        video);
}

QString videoIdentity(const LibraryVideo& video) {
    if (const auto* asset = std::get_if<MuxAsset>(&video))
        return asset->id;
    return std::get<LocalVideo>(video).url.toString();
}

} // namespace clipferry
