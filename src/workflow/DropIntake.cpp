#include "workflow/DropIntake.h"

#include "media/MediaProbe.h"

#include <QDirIterator>
#include <QFileInfo>

namespace clipferry {
namespace {

constexpr qsizetype namesShown = 5;

void take(const QString& path, DroppedClips& sorted) {
    const auto facts = probeMedia(path);
    if (facts && facts->isClip)
        sorted.clips.append(QUrl::fromLocalFile(path));
    else
        sorted.refused.append(QFileInfo(path).fileName());
}

} // namespace

DroppedClips sortDroppedItems(const QList<QUrl>& items, bool recursive) {
    DroppedClips sorted;
    for (const QUrl& item : items) {
        const QFileInfo info(item.toLocalFile());
        if (info.isFile()) {
            take(info.absoluteFilePath(), sorted);
            continue;
        }
        if (!info.isDir()) {
            sorted.refused.append(info.fileName());
            continue;
        }
        // Sorted, so a folder's clips queue in the order a file manager lists them.
        QStringList paths;
        QDirIterator files(info.absoluteFilePath(), QDir::Files | QDir::NoDotAndDotDot,
                           recursive ? QDirIterator::Subdirectories
                                     : QDirIterator::NoIteratorFlags);
        while (files.hasNext())
            paths.append(files.next());
        paths.sort();
        for (const QString& path : paths)
            take(path, sorted);
    }
    return sorted;
}

QString refusedLine(const QStringList& refused) {
    return QStringLiteral("Not added, not video clips: ") + refused.join(QStringLiteral(", "));
}

QString clipNames(const QList<QUrl>& files) {
    QStringList names;
    for (qsizetype i = 0; i < files.size() && i < namesShown; ++i)
        names.append(files[i].fileName());
    QString text = names.join(QStringLiteral(", "));
    if (files.size() > namesShown)
        text += QStringLiteral(" and %1 more").arg(files.size() - namesShown);
    return text;
}

} // namespace clipferry
