#pragma once

#include "workflow/AnimationGrouping.h"
#include "workflow/DeliveryState.h"

#include <QColor>
#include <QStringList>
#include <memory>
#include <variant>
#include <vector>

namespace clipferry {

struct CitySection {
    QString code;
    // The city table's name, the code itself for an unknown city, "Unsorted" for clips
    // whose names do not follow the convention.
    QString displayName;
    // Invalid for an unknown city or a colour text that does not parse.
    QColor color;
};

struct AnimationGroup {
    QString city;
    QString animation;
    QString key; // expansionKey(city, animation)
    AnimationProgress progress;
    QColor cityColor;
    // Its clips on the service, or -1 when that is not known (the service view, no listing).
    qsizetype delivered = -1;
    // Its clips marked new or modified, among those shown.
    qsizetype newCount = 0;
    // A local folder's group: its count is of files, not of deliveries.
    bool local = false;
};

// The header's progress: "complete" or "3/5" for the service's clips; for a local folder,
// what it counts, "10/10 clips", since "complete" there would read as delivered. Empty for
// an unknown city.
[[nodiscard]] QString progressLabel(const AnimationGroup& group);

struct VideoEntry {
    LibraryVideo video;
    bool isNew = false;
    // Only local clips have one.
    DeliveryStatus delivery;
};

// One row of the library tree: the root (monostate), a city, an animation or a video.
// Nodes own their children; `row` is the node's place under its parent.
struct LibraryNode {
    std::variant<std::monostate, CitySection, AnimationGroup, VideoEntry> payload;
    LibraryNode* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<LibraryNode>> children;

    LibraryNode* addChild(decltype(payload) childPayload);
};

// The texts of a video row, in the order of its cells.
struct VideoCells {
    QString title;
    QString fileName;
    QString element;
    QString match;
    QString resolution;
    QString duration;
    QString format;

    [[nodiscard]] QStringList toList() const;
};

[[nodiscard]] VideoCells videoCells(const LibraryVideo& video);
// The asset id, or the file URL as text: the identity the selection and markers use.
[[nodiscard]] QString videoIdentity(const LibraryVideo& video);

} // namespace clipferry
