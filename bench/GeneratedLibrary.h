#pragma once

#include "service/MuxRecords.h"

#include <QList>

namespace clipferry::bench {

// A library of `count` ready clips named by the convention: 4 episodes, 25 animations,
// 40 cities, 7 matches, so the grouping has real work to do.
inline QList<MuxAsset> generatedLibrary(int count) {
    QList<MuxAsset> assets;
    assets.reserve(count);
    for (int i = 0; i < count; ++i) {
        MuxAsset asset;
        asset.id = QStringLiteral("asset%1").arg(i);
        asset.status = QStringLiteral("ready");
        asset.passthrough = QStringLiteral("E%1_Anim%2_C%3_M%4_clip%5.mov")
                                .arg(i % 4)
                                .arg(i % 25, 2, 10, QLatin1Char('0'))
                                .arg((i / 25) % 40, 2, 10, QLatin1Char('0'))
                                .arg(i % 7)
                                .arg(i);
        asset.playback_ids = QList<PlaybackID>{{QStringLiteral("pb%1").arg(i)}};
        asset.createdAt = QStringLiteral("1700000000");
        asset.duration = 12.5;
        asset.max_stored_resolution = QStringLiteral("HD");
        assets.append(asset);
    }
    return assets;
}

} // namespace clipferry::bench
