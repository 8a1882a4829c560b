#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace clipferry {

// What a drop or an "Open with" brings, sorted by content: FFmpeg must find a moving
// picture in a file for it to count as a clip, whatever its extension says. A folder
// gives the clips inside it (its subfolders' too with `recursive`), hidden files left out.
struct DroppedClips {
    QList<QUrl> clips;
    QStringList refused; // file names, in the order met
};

// Lists folders and reads file headers: blocks, so run it off the user-interface thread.
[[nodiscard]] DroppedClips sortDroppedItems(const QList<QUrl>& items, bool recursive);

// The one log line naming what a drop left out, "Not added, not video clips: a.txt, b.png".
[[nodiscard]] QString refusedLine(const QStringList& refused);

// "a.mov, b.mov, c.mov, d.mov, e.mov and 3 more": a question names at most five clips.
[[nodiscard]] QString clipNames(const QList<QUrl>& files);

} // namespace clipferry
