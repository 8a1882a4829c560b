#pragma once

#include <QString>
#include <QUrl>

namespace clipferry {

// One video file of the local folder, identified by its location. The three texts come
// from the process-wide metadata cache; until a file has an entry they are placeholders.
struct LocalVideo {
    QUrl url;

    [[nodiscard]] QString resolution() const;
    [[nodiscard]] QString duration() const;
    [[nodiscard]] QString fileFormat() const;

    friend bool operator==(const LocalVideo&, const LocalVideo&) = default;
};

} // namespace clipferry
