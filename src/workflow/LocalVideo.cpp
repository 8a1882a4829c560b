#include "LocalVideo.h"

namespace clipferry {

QString LocalVideo::resolution() const {
    return QStringLiteral("Loading...");
}

QString LocalVideo::duration() const {
    return QStringLiteral("Loading...");
}

QString LocalVideo::fileFormat() const {
    const auto name = url.fileName();
    const auto dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toUpper();
}

} // namespace clipferry
