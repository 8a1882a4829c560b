#pragma once

#include "service/MuxRecords.h"

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// Whether a local clip is on the service. A file matches the assets whose passthrough is
// its name with the extension (the name an upload gives them); the newest of several
// counts. Pure: the listing, the file's modification time and the upload list come in.
namespace clipferry {

enum class Delivery {
    unknown, // no listing to compare with: no state rather than a wrong one
    onMux,
    notOnMux,
    changed, // modified more than a minute after the newest matching asset was created
    uploading,
};

struct DeliveryStatus {
    Delivery state = Delivery::unknown;
    // Matching assets in the listing; their ids, newest first.
    QStringList assetIDs;

    [[nodiscard]] qsizetype copies() const { return assetIDs.size(); }
    friend bool operator==(const DeliveryStatus&, const DeliveryStatus&) = default;
};

// What the Local Folder view shows: "All", "Not on Mux", "Changed".
enum class DeliveryFilter { all, notOnMux, changed };
[[nodiscard]] bool passesFilter(Delivery state, DeliveryFilter filter);

// "On Mux", "Not on Mux", "Changed since upload", "Uploading"; empty when unknown.
[[nodiscard]] QString deliveryLabel(Delivery state);
// The label, and "N copies on Mux" when several assets match.
[[nodiscard]] QString deliveryToolTip(const DeliveryStatus& status);

// One complete listing by passthrough, looked up per file.
class DeliveryIndex {
public:
    explicit DeliveryIndex(const QList<MuxAsset>& listing);

    // `modified` in seconds since 1970; absent when the file could not be read.
    [[nodiscard]] DeliveryStatus status(const QString& fileName,
                                        std::optional<double> modified) const;

private:
    struct Match {
        QString id;
        std::optional<double> created;
    };
    QHash<QString, QList<Match>> m_byName;
};

// The state of one file: "Uploading" while it is in flight, on the service once its upload
// delivered `deliveredAsset`, else from the listing (none: unknown).
[[nodiscard]] DeliveryStatus deliveryStatus(const DeliveryIndex* index, const QString& fileName,
                                            std::optional<double> modified, bool uploading,
                                            const QString& deliveredAsset = {});

} // namespace clipferry
