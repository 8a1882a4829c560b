#include "model/SeenState.h"

#include "model/JsonDecode.h"

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
    const json::Members members(*root);
    MuxState state;
    QJsonObject seen;
    CLIPFERRY_TRY_ASSIGN(state.lastLaunchedAt, members.required(lastLaunchedAtKey, json::toDouble));
    CLIPFERRY_TRY_ASSIGN(seen, members.required(seenAssetTimesKey, json::toObject));
    for (auto it = seen.begin(); it != seen.end(); ++it) {
        double time = 0;
        CLIPFERRY_TRY_ASSIGN(time, json::toDouble(it.value(), json::Path(it.key())));
        state.seenAssetTimes.insert(it.key(), time);
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
    const json::Members members(*root);
    LocalVideoState state;
    QJsonObject files;
    CLIPFERRY_TRY_ASSIGN(state.lastLaunchedAt, members.required(lastLaunchedAtKey, json::toDouble));
    CLIPFERRY_TRY_ASSIGN(files, members.required(fileTimesKey, json::toObject));
    for (auto it = files.begin(); it != files.end(); ++it) {
        QJsonObject object;
        CLIPFERRY_TRY_ASSIGN(object, json::toObject(it.value(), json::Path(it.key())));
        // Members are named on their own, as the file's editor knows them.
        const json::Members record(object);
        FileRecord file;
        CLIPFERRY_TRY_ASSIGN(file.modified, record.required(modifiedKey, json::toDouble));
        CLIPFERRY_TRY_ASSIGN(file.size, record.required(sizeKey, json::toInt64));
        state.fileTimes.insert(it.key(), file);
    }
    return state;
}

} // namespace clipferry
