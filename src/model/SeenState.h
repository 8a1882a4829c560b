#pragma once

#include "model/Result.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace clipferry {

struct FileRecord {
    double modified = 0.0;
    qint64 size = 0;

    friend bool operator==(const FileRecord&, const FileRecord&) = default;
};

struct MuxState {
    double lastLaunchedAt = 0.0;
    QHash<QString, double> seenAssetTimes;

    friend bool operator==(const MuxState&, const MuxState&) = default;
};

struct LocalVideoState {
    double lastLaunchedAt = 0.0;
    QHash<QString, FileRecord> fileTimes;

    friend bool operator==(const LocalVideoState&, const LocalVideoState&) = default;
};

inline constexpr auto muxStateFileName = "MuxState.json";
inline constexpr auto localVideoStateFileName = "LocalVideoState.json";

// Doubles are written in the shortest form that reads back bit for bit: the local
// change detection compares modification times exactly.
[[nodiscard]] QByteArray encodeMuxState(const MuxState& state);
[[nodiscard]] Result<MuxState> decodeMuxState(const QByteArray& bytes);
[[nodiscard]] QByteArray encodeLocalVideoState(const LocalVideoState& state);
[[nodiscard]] Result<LocalVideoState> decodeLocalVideoState(const QByteArray& bytes);

// Seconds since 1970 with sub-second precision, as the seen-state stores times.
[[nodiscard]] double currentTimeSeconds();

} // namespace clipferry
