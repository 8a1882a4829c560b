#pragma once

#include <QObject>

namespace clipferry {

// Still pictures of local video files, with a disk cache.
class ThumbnailProvider : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
};

} // namespace clipferry
