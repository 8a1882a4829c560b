#pragma once

#include <QString>

namespace clipferry {

// What a local file's library row shows of its content, as read from the file once.
struct VideoMetadata {
    QString resolution;
    QString duration;
    QString fileFormat;

    friend bool operator==(const VideoMetadata&, const VideoMetadata&) = default;
};

} // namespace clipferry
