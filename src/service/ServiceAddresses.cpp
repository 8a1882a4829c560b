#include "service/ServiceAddresses.h"

namespace clipferry::service {
namespace {

// A playback ID names one resource whatever it holds: nothing in it may start a new
// path segment, query or fragment.
QString encodedID(const QString& playbackID) {
    return QString::fromLatin1(QUrl::toPercentEncoding(playbackID));
}

} // namespace

QUrl serviceLocation(const QUrl& base, const QString& path) {
    QString origin = base.toString(QUrl::FullyEncoded);
    while (origin.endsWith(QLatin1Char('/')))
        origin.chop(1);
    return QUrl(origin + path, QUrl::StrictMode);
}

QUrl streamLocation(const QUrl& streamBase, const QString& playbackID) {
    return serviceLocation(streamBase,
                           QLatin1Char('/') + encodedID(playbackID) + QStringLiteral(".m3u8"));
}

QUrl stillLocation(const QUrl& imageBase, const QString& playbackID) {
    return serviceLocation(imageBase, QLatin1Char('/') + encodedID(playbackID) +
                                          QStringLiteral("/thumbnail.jpg?width=160&height=90"
                                                         "&fit_mode=preserve"));
}

} // namespace clipferry::service
