#include "SeenState.h"

#include "JsonDecode.h"

#include <QDateTime>
#include <QJsonDocument>

namespace clipferry {
namespace {
const auto lastLaunchedAtKey = QLatin1StringView("lastLaunchedAt");
const auto seenAssetTimesKey = QLatin1StringView("seenAssetTimes");
const auto fileTimesKey = QLatin1StringView("fileTimes");
const auto modifiedKey = QLatin1StringView("modified");
const auto sizeKey = QLatin1StringView("size");
} // namespace

double currentTimeSeconds() {
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

QByteArray encodeMuxState(const MuxState& state) {
    QJsonObject seen;
    for (auto it = state.seenAssetTimes.begin(); it != state.seenAssetTimes.end(); ++it)
        seen.insert(it.key(), it.value());
    const QJsonObject root{{lastLaunchedAtKey, state.lastLaunchedAt}, {seenAssetTimesKey, seen}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

Result<MuxState> decodeMuxState(const QByteArray& bytes) {
    auto root = json::parseObject(bytes);
    if (!root)
        return tl::unexpected(root.error());
    auto last = json::requiredDouble(*root, lastLaunchedAtKey);
    if (!last)
        return tl::unexpected(last.error());
    auto seen = json::requiredObject(*root, seenAssetTimesKey);
    if (!seen)
        return tl::unexpected(seen.error());
    MuxState state{*last, {}};
    for (auto it = seen->begin(); it != seen->end(); ++it) {
        auto time = json::toDouble(it.value(), it.key());
        if (!time)
            return tl::unexpected(time.error());
        state.seenAssetTimes.insert(it.key(), *time);
    }
    return state;
}

QByteArray encodeLocalVideoState(const LocalVideoState& state) {
    QJsonObject files;
    for (auto it = state.fileTimes.begin(); it != state.fileTimes.end(); ++it)
        files.insert(it.key(), QJsonObject{{modifiedKey, it->modified}, {sizeKey, it->size}});
    const QJsonObject root{{lastLaunchedAtKey, state.lastLaunchedAt}, {fileTimesKey, files}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

Result<LocalVideoState> decodeLocalVideoState(const QByteArray& bytes) {
    auto root = json::parseObject(bytes);
    if (!root)
        return tl::unexpected(root.error());
    auto last = json::requiredDouble(*root, lastLaunchedAtKey);
    if (!last)
        return tl::unexpected(last.error());
    auto files = json::requiredObject(*root, fileTimesKey);
    if (!files)
        return tl::unexpected(files.error());
    LocalVideoState state{*last, {}};
    for (auto it = files->begin(); it != files->end(); ++it) {
        auto record = json::toObject(it.value(), it.key());
        if (!record)
            return tl::unexpected(record.error());
        auto modified = json::requiredDouble(*record, modifiedKey);
        if (!modified)
            return tl::unexpected(modified.error());
        auto size = json::requiredInt64(*record, sizeKey);
        if (!size)
            return tl::unexpected(size.error());
        state.fileTimes.insert(it.key(), FileRecord{*modified, *size});
    }
    return state;
}

} // namespace clipferry
